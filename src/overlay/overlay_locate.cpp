#include "overlay/overlay_locate.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "overlay/signal_tivi.h"
#include "platform/numtext.h"

namespace overlay {

namespace {

int Away(long double v) { return static_cast<int>(std::clamp<int64_t>(numtext::RoundHalfAway(static_cast<double>(v)), -1000000, 1000000)); }
int Even(long double v) { return static_cast<int>(std::clamp<int64_t>(numtext::RoundHalfEven(static_cast<double>(v)), -1000000, 1000000)); }

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// Mean and maximum of R+G+B over the part of the block (x, y, w x h) that lies in
// the frame; false when none does.
struct Level {
    double mean = 0, max = 0;
    double rough = 0;  // share of horizontal neighbours differing by more than 60
};
bool BlockLevel(const Bitmap24& bmp, int x, int y, int w, int h, Level& out) {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min<int64_t>(static_cast<int64_t>(x) + w, bmp.Width()) , y1 = std::min<int64_t>(static_cast<int64_t>(y) + h, bmp.Height());
    if (x1 <= x0 || y1 <= y0) return false;
    int64_t sum = 0, rough = 0, pairs = 0;
    int max = 0;
    for (int yy = y0; yy < y1; ++yy) {
        const uint8_t* p = bmp.Scanline(yy) + 3 * x0;
        int last = -1;
        for (int xx = x0; xx < x1; ++xx, p += 3) {
            const int v = p[0] + p[1] + p[2];
            sum += v;
            max = std::max(max, v);
            if (last >= 0) rough += std::abs(v - last) > 60, ++pairs;
            last = v;
        }
    }
    out.mean = static_cast<double>(sum) / (static_cast<double>(x1 - x0) * (y1 - y0));
    out.max = max;
    out.rough = pairs ? static_cast<double>(rough) / static_cast<double>(pairs) : 0;
    return true;
}

// Characters stand out of a calm background: the block's maximum lies well above
// its mean, and most neighbouring pixels are alike (in noise nearly none are).
bool LooksLikeText(const Level& lv) { return lv.max - lv.mean >= kLevelContrast && lv.rough < 0.5; }

// The GHS-OSD level block at (x, y): min(50, width - x + 1) + 1 columns by
// min(35, height - y + 1) + 1 rows.
bool GhsBlock(const Bitmap24& bmp, int x, int y, Level& out) {
    const int w = std::min(50, bmp.Width() - x + 1) + 1, h = std::min(35, bmp.Height() - y + 1) + 1;
    if (w <= 0 || h <= 0) return false;
    return BlockLevel(bmp, x, y, w, h, out);
}

struct ScanBest {
    char ch = 0;
    double score = 0;
};

constexpr double kSmooth[5] = {0.36, 0.775, 1, 0.775, 0.36};

ScanBest ScanColumns(OverlayState& st, const OverlayControls& c, const LocatorState& loc, const Bitmap24& bmp, int& x,
                     int y, bool takeU) {
    const int n = (c.TimeInserterType == kIotaVti && loc.WideScan) ? 14 : 7;
    std::array<double, 29> score{};
    ScanBest best;
    for (int i = 0; i <= 2 * n; ++i) {
        const OverlayCharacter ch = ReadOverlayCharacter(st, c, bmp, x - n + i, y);
        score[static_cast<size_t>(i)] = ch.score;
        if ((IsDigit(ch.character) || (takeU && ch.character == 'U')) && ch.score > best.score)
            best = {ch.character, ch.score};
    }
    // Smoothed over x - n - 3 .. x + n + 3; scores outside the scan count 0.
    double top = 0;
    int at = x;
    for (int j = -3; j <= 2 * n + 3; ++j) {
        double s = 0;
        for (int k = -2; k <= 2; ++k) {
            const int i = j + k;
            if (i >= 0 && i <= 2 * n) s += kSmooth[k + 2] * score[static_cast<size_t>(i)];
        }
        s /= 10.692;
        if (s > top) top = s, at = x - n + j;
    }
    x = at;
    if (c.TimeInserterType == kIotaVti && best.ch) {
        // The score peak of these digits lies left of the cell's centre.
        const char d = best.ch;
        if (d == '3' || d == '7' || d == '2') x += 2;
        else if (d == '8' || d == '9' || d == '4' || d == '0') x += 1;
    }
    return best;
}

// The cells of the IOTA-VTI time line (row set 5, columns 7..28).
constexpr int kIotaCells[22] = {0, 1, 3, 4, 6, 7, 9, 10, 11, 12, 14, 15, 16, 17, 19, 20, 21, 22, 23, 24, 25, 26};

struct FitBuffer {
    std::array<FitPoint, 40> p{};
    int n = 0;
    void Add(long double c, long double x) {
        if (n < static_cast<int>(p.size())) p[static_cast<size_t>(n++)] = {c, x};
    }
    LineFit Fit() const { return FitLineLeastSquares(p.data(), n); }
};

}  // namespace

LineFit FitLineLeastSquares(const FitPoint* pts, int count) {
    LineFit f;
    f.count = count;
    if (count < 2) return f;
    long double sc = 0, sx = 0, scc = 0, scx = 0;
    for (int i = 0; i < count; ++i) {
        sc += pts[i].c;
        sx += pts[i].x;
        scc += pts[i].c * pts[i].c;
        scx += pts[i].c * pts[i].x;
    }
    const long double n = count;
    long double d = n * scc - sc * sc;
    // All points in one cell: no line through them.
    if (d == 0) return f;
    f.b = (n * scx - sx * sc) / d;
    f.a = (sx * scc - scx * sc) / d;
    if (count >= 3) {
        long double s = 0;
        for (int i = 0; i < count; ++i) {
            const long double r = pts[i].x - (f.a + f.b * pts[i].c);
            s += r * r;
        }
        f.eb = 0.6745L * std::sqrt(s * n / d / (n - 2));
        f.ea = 0.6745L * std::sqrt(s * scc / d / (n - 2));
    }
    f.ok = std::isfinite(static_cast<double>(f.a)) && std::isfinite(static_cast<double>(f.b));
    return f;
}

bool FindCharacterColumn(OverlayState& st, const OverlayControls& c, const LocatorState& loc, const Bitmap24& bmp,
                         int& x, int y) {
    return ScanColumns(st, c, loc, bmp, x, y, false).score > 200;
}

char FindCharacterColumnOrMark(OverlayState& st, const OverlayControls& c, const LocatorState& loc,
                               const Bitmap24& bmp, int& x, int y) {
    const ScanBest b = ScanColumns(st, c, loc, bmp, x, y, true);
    return b.score > 200 ? b.ch : ' ';
}

bool RefineCharacterRow(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int& y) {
    double best = 0;
    int at = y;
    bool any = false;
    for (int d = -4; d <= 4; d += 2) {
        const double s = ReadOverlayCharacter(st, c, bmp, x, y + d).score;
        if (!any || s > best) best = s, at = y + d, any = true;
    }
    y = at;
    return best > 0;
}

void ApplyDefaultIotaGrid(OverlayState& st, LocatorState& loc, int frameWidth) {
    for (int i = 0; i < 22; ++i) {
        st.CharacterColumns[5][static_cast<size_t>(7 + i)] = 88 + 24 * kIotaCells[i];
        loc.OverlayCharX[static_cast<size_t>(i)] = 88 + 24 * kIotaCells[i];
    }
    st.OverlayCharPitch = frameWidth * 25.0L / 720;
    loc.OverlayCharHeight = 14;
}

namespace {

// One line of the IOTA-VTI locate on scanning row y from the first cell x0: the
// pitch from cell 19, the time cells, the counter cells to the right, the fit.
struct LineTry {
    LineFit fit;
    int points = 0;
    long double pitch = 0;  // from the first cell and cell 19
};

LineTry TryIotaLine(OverlayState& w, const OverlayControls& c, const LocatorState& loc, const Bitmap24& bmp, int x0,
                    int y) {
    LineTry t;
    const int width = bmp.Width();
    FindCharacterColumn(w, c, loc, bmp, x0, y);
    // Cell 19 is looked for at its distance from the first cell found: from a fixed
    // column the wide scan of a shifted line reaches cell 20 as well.
    int x19 = x0 + Away(width * 458.0L / 720);
    FindCharacterColumn(w, c, loc, bmp, x19, y);
    const long double pitch = (x19 - x0) / 19.0L;
    w.OverlayCharPitch = pitch;
    t.pitch = pitch;
    FitBuffer fit;
    for (int cell : {0, 1, 3, 4, 6, 7}) {
        int x = x0 + Away(pitch * cell);
        if (FindCharacterColumn(w, c, loc, bmp, x, y)) fit.Add(cell, x);
    }
    LineFit f = fit.Fit();
    if (!f.ok) return t;
    int p = Away(f.a + 19 * f.b);
    int previous = p - Even(f.b);
    for (int k = 1; k <= 7; ++k) {
        if (!FindCharacterColumn(w, c, loc, bmp, p, y)) break;
        if (std::abs(p - (previous + Even(f.b))) < 8) {
            fit.Add(18 + k, p);
            previous = p;
            p = Away(f.a + (19 + k) * f.b);
        }
    }
    t.fit = fit.Fit();
    t.points = fit.n;
    return t;
}

// The GHS-OSD position line read with the columns of x = A + b (c - pivot).
// Which cells of a line are read, on which rows, around which cell the line turns.
struct LineCells {
    const int* cells;
    int count;
    int rows[2];
    int rowCount;
    int pivot;
};

double LineScore(OverlayState& w, const OverlayControls& c, const Bitmap24& bmp, long double A, long double b,
                 const LineCells& lc) {
    double s = 0;
    for (int i = 0; i < lc.count; ++i) {
        const int x = Away(A + b * (lc.cells[i] - lc.pivot));
        for (int r = 0; r < lc.rowCount; ++r) {
            ReadOverlayCharacter(w, c, bmp, x, lc.rows[r]);
            // The margin of the best digit over the runner-up: a column where the
            // digit is told apart from its neighbours in shape reads right.
            double first = 0, second = 0;
            for (int k = 0; k <= 9; ++k) {
                const double v = w.ClassScores[static_cast<size_t>(k)];
                if (v > first) second = first, first = v;
                else if (v > second) second = v;
            }
            s += first - second;
        }
    }
    return s;
}

// The fit puts the cells within about a pixel; the reading wants a fraction of one.
// The line's centre, then its pitch, then the centre again move to the middle of
// the span where the whole line reads most distinctly (within 2 % of the best): the
// best value alone often sits at one edge of a flat top, where a stroke just
// touches a sample run.
constexpr double kTopShare = 0.02;
long double MiddleOfTop(const std::array<double, 41>& v, int n, long double step) {
    const double top = *std::max_element(v.begin(), v.begin() + n);
    const int at = static_cast<int>(std::max_element(v.begin(), v.begin() + n) - v.begin());
    int lo = at, hi = at;
    while (lo > 0 && v[static_cast<size_t>(lo - 1)] >= top - kTopShare * std::fabs(top)) --lo;
    while (hi < n - 1 && v[static_cast<size_t>(hi + 1)] >= top - kTopShare * std::fabs(top)) ++hi;
    return step * ((lo + hi) / 2.0L - (n - 1) / 2.0L);
}

void RefineLine(OverlayState& w, const OverlayControls& c, const Bitmap24& bmp, LineFit& fit, double& score,
                const LineCells& lc) {
    long double A = fit.a + lc.pivot * fit.b, b = fit.b;
    std::array<double, 41> v{};
    auto centre = [&] {
        for (int i = 0; i < 31; ++i) v[static_cast<size_t>(i)] = LineScore(w, c, bmp, A + 0.1L * (i - 15), b, lc);
        A += MiddleOfTop(v, 31, 0.1L);
    };
    centre();
    for (int i = 0; i < 41; ++i) v[static_cast<size_t>(i)] = LineScore(w, c, bmp, A, b + 0.004L * (i - 20), lc);
    b += MiddleOfTop(v, 41, 0.004L);
    centre();
    fit.a = A - lc.pivot * b;
    fit.b = b;
    score = LineScore(w, c, bmp, A, b, lc);
}

// What the inserter guarantees of every line it prints: each field shows hh:mm:ss,
// its fraction in one of the two four-digit groups and its field counter. A located
// grid is trusted only when it reads a line that keeps these promises; a grid a
// field line too low or a pixel off still classifies most digits with a confident
// score, so the score alone cannot tell it.
struct FieldLine {
    bool read = false;  // every expected digit read and the clock valid
    int group = -1;     // 0 fraction in cells 9-12, 1 in cells 14-17
    int64_t time = 0;   // 0.1 ms since midnight
    int64_t counter = 0;
};

constexpr int kPivotCell = 13;  // the line turns about its middle, so x and pitch hardly interact
constexpr int64_t kDayTicks = 86400LL * 10000;

struct Grid {
    long double A = 0, b = 0;  // x of the pivot cell, pitch
    int row = 0;
};

class GridReader {
public:
    GridReader(OverlayState& w, const OverlayControls& c) : w_(w), c_(c) {}

    void Use(const Grid& g) {
        for (int cell = 0; cell < 27; ++cell) cols_[static_cast<size_t>(cell)] = Away(g.A + g.b * (cell - kPivotCell));
        w_.OverlayCharPitch = g.b;
        w_.OverlayRow = g.row;
        w_.OverlayGridLocated = 1;
        w_.KiwiRowOffset1 = w_.KiwiRowOffset2 = 2;
        rows_[0] = OverlayRowY(w_, c_, 5, 0);
        rows_[1] = OverlayRowY(w_, c_, 5, 1);
    }

    FieldLine Read(const Bitmap24& bmp, int field) {
        FieldLine f;
        const int y = rows_[static_cast<size_t>(field)];
        int v[6];
        static constexpr int kClock[6] = {0, 1, 3, 4, 6, 7};
        for (int i = 0; i < 6; ++i)
            if ((v[i] = Digit(bmp, kClock[i], y)) < 0) return f;
        const int h = 10 * v[0] + v[1], m = 10 * v[2] + v[3], s = 10 * v[4] + v[5];
        if (h > 23 || m > 59 || s > 59) return f;
        const int low = Group(bmp, 9, y), high = Group(bmp, 14, y);
        if ((low >= 0) == (high >= 0)) return f;
        int digits = 0;
        for (int cell = 19; cell <= 26; ++cell, ++digits) {
            const int d = Digit(bmp, cell, y);
            if (d < 0) break;
            f.counter = 10 * f.counter + d;
        }
        if (digits == 0) return f;
        f.group = low >= 0 ? 0 : 1;
        f.time = ((h * 60LL + m) * 60 + s) * 10000 + (low >= 0 ? low : high);
        f.read = true;
        return f;
    }

    // How a frame reads: both fields' digits, and then whether the fields agree with
    // each other: other fraction groups, counters one apart, times one field period
    // apart (a second, minute or day turning between them counts).
    enum Judgement { kUnread, kRead, kAgreeing };
    Judgement Judge(const Bitmap24& bmp) {
        const FieldLine a = Read(bmp, 0);
        if (!a.read) return kUnread;
        const FieldLine b = Read(bmp, 1);
        if (!b.read) return kUnread;
        if (a.group == b.group || std::llabs(a.counter - b.counter) != 1) return kRead;
        const FieldLine& first = a.counter < b.counter ? a : b;
        const FieldLine& second = a.counter < b.counter ? b : a;
        const int64_t dt = ((second.time - first.time) % kDayTicks + kDayTicks) % kDayTicks;
        // 0.1 ms per field: 200 at 50 fields a second, 166.8 at 59.94.
        return (c_.VideoFrameRateInt < 27 ? dt == 200 : (dt == 166 || dt == 167)) ? kAgreeing : kRead;
    }

private:
    int Digit(const Bitmap24& bmp, int cell, int y) {
        const char ch = ReadOverlayCharacter(w_, c_, bmp, cols_[static_cast<size_t>(cell)], y).character;
        return IsDigit(ch) ? ch - '0' : -1;
    }
    int Group(const Bitmap24& bmp, int first, int y) {
        int v = 0;
        for (int cell = first; cell < first + 4; ++cell) {
            const int d = Digit(bmp, cell, y);
            if (d < 0) return -1;
            v = 10 * v + d;
        }
        return v;
    }

    OverlayState& w_;
    const OverlayControls& c_;
    std::array<int, 27> cols_{};
    std::array<int, 2> rows_{};
};

// The frames after the located one whose digits must all read.
constexpr size_t kDigitFrames = 2;

bool SameSize(const Bitmap24* f, const Bitmap24& bmp) {
    return f && f->Width() == bmp.Width() && f->Height() == bmp.Height();
}

// Whether grid `g` passes: the located frame's fields agree and the first later
// frames read every digit. With `kept`, also counts the later frames whose fields
// agree too.
bool GridPasses(GridReader& reader, const Grid& g, const Bitmap24& bmp, std::span<const Bitmap24* const> later,
                int* kept = nullptr) {
    reader.Use(g);
    if (reader.Judge(bmp) != GridReader::kAgreeing) return false;
    // The next frames only for their digits: a dropped or repeated frame, or a step
    // of a tenth of a millisecond more, breaks the relations between frames and
    // between their fields, not the grid.
    const size_t judged = kept ? later.size() : std::min(later.size(), kDigitFrames);
    for (size_t k = 0; k < judged; ++k) {
        if (!SameSize(later[k], bmp)) continue;
        const GridReader::Judgement j = reader.Judge(*later[k]);
        if (k < kDigitFrames && j == GridReader::kUnread) return false;
        if (kept) *kept += j == GridReader::kAgreeing;
    }
    return true;
}

// The candidates around the fitted line: x of the pivot cell within +-2 px, the
// pitch within +-0.1 px.
constexpr int kShiftSteps = 17, kPitchSteps = 11;
constexpr long double kShiftStep = 0.25L, kPitchStep = 0.02L;

struct Block {
    int size = 0;
    long double u = 0, v = 0;  // its middle, in steps of shift and pitch
    std::vector<std::pair<int, int>> cells;
};

using PassMap = std::array<std::array<bool, kPitchSteps>, kShiftSteps>;

// The largest 4-connected block of passing candidates on one row.
Block LargestBlock(const PassMap& pass) {
    Block best;
    PassMap seen{};
    for (int i = 0; i < kShiftSteps; ++i)
        for (int j = 0; j < kPitchSteps; ++j) {
            if (!pass[i][j] || seen[i][j]) continue;
            Block b;
            std::vector<std::pair<int, int>> stack{{i, j}};
            seen[i][j] = true;
            while (!stack.empty()) {
                const auto [u, v] = stack.back();
                stack.pop_back();
                b.cells.push_back({u, v});
                static constexpr int kStep[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
                for (const auto& s : kStep) {
                    const int nu = u + s[0], nv = v + s[1];
                    if (nu < 0 || nv < 0 || nu >= kShiftSteps || nv >= kPitchSteps || !pass[nu][nv] || seen[nu][nv])
                        continue;
                    seen[nu][nv] = true;
                    stack.push_back({nu, nv});
                }
            }
            b.size = static_cast<int>(b.cells.size());
            if (b.size > best.size) best = std::move(b);
        }
    if (best.size) {
        for (const auto& [u, v] : best.cells) best.u += u, best.v += v;
        best.u /= best.size;
        best.v /= best.size;
    }
    return best;
}

// The grid the line's promises pick around the fits on both rows of the pair: the
// row of the largest connected block of passing grids, and the block's middle.
// Near a stroke's edge a sample run can turn one digit into another that still
// keeps every promise of the located frame ("8" into "6"), and the reading window
// of a digit can be narrower than a pixel; such a grid usually breaks the promises
// between the two fields of some later frame. So when later frames are given, the
// block's grid nearest its middle among those whose reading keeps those promises on
// the most later frames is taken (a frame that really breaks them, with a field
// dropped or a step of 201, counts alike for every grid). False when none passes.
bool CheckedGrid(OverlayState& w, const OverlayControls& c, const Bitmap24& bmp,
                 std::span<const Bitmap24* const> later, const std::array<Grid, 2> fits, Grid& out, int& passing) {
    GridReader reader(w, c);
    auto candidate = [&](int r, long double i, long double j) {
        return Grid{fits[r].A + kShiftStep * (i - (kShiftSteps - 1) / 2),
                    fits[r].b + kPitchStep * (j - (kPitchSteps - 1) / 2), fits[r].row};
    };
    std::array<PassMap, 2> pass{};
    std::array<std::array<std::array<int, kPitchSteps>, kShiftSteps>, 2> kept{};
    passing = 0;
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < kShiftSteps; ++i)
            for (int j = 0; j < kPitchSteps; ++j)
                passing += pass[r][i][j] = GridPasses(reader, candidate(r, i, j), bmp, later, &kept[r][i][j]);
    if (!passing) return false;
    Block best;
    int r = 0;
    for (int k = 0; k < 2; ++k) {
        Block b = LargestBlock(pass[k]);
        if (b.size > best.size) best = std::move(b), r = k;
    }
    int most = 0;
    for (const auto& [u, v] : best.cells) most = std::max(most, kept[r][u][v]);
    if (most == 0) {
        out = candidate(r, best.u, best.v);
        if (GridPasses(reader, out, bmp, later)) return true;
        // A block bent round a failing grid: its member nearest the middle.
    }
    long double nearest = std::numeric_limits<long double>::max();
    for (const auto& [u, v] : best.cells) {
        const long double d = std::hypot(static_cast<double>(u - best.u), static_cast<double>(v - best.v));
        if (kept[r][u][v] == most && d < nearest) nearest = d, out = candidate(r, u, v);
    }
    return true;
}

}  // namespace

LocateResult LocateOverlay(OverlayState& st, const OverlayControls& c, LocatorState& loc, const Bitmap24& bmp,
                           std::span<const Bitmap24* const> later) {
    LocateResult r;
    OverlayState w = st;
    const int width = bmp.Width();
    const bool slow = c.VideoFrameRateInt < 27;
    w.OverlayCharPitch = width * 25.0L / 720;
    Level lv;
    if (!BlockLevel(bmp, 100, slow ? 526 : 418, 51, 36, lv)) {
        r.reason = "the level block lies outside the frame";
        return r;
    }
    if (!LooksLikeText(lv)) {
        r.reason = "no overlay (no bright characters in the level block)";
        return r;
    }
    w.OverlayLevel = static_cast<double>(numtext::RoundHalfAway((lv.mean + lv.max) / 2));

    int x0 = Away(width * 82.0L / 720);
    int y = slow ? 545 : 435;
    if (!FindCharacterColumn(w, c, loc, bmp, x0, y)) {
        y = slow ? 511 : 401;
        x0 = Away(width * 82.0L / 720);
        if (!FindCharacterColumn(w, c, loc, bmp, x0, y)) {
            r.reason = "no first digit";
            return r;
        }
    }
    // The wide scan reaches the second cell of a line shifted left; the hours' first
    // cell has nothing left of it.
    {
        LocatorState narrow = loc;
        narrow.WideScan = false;
        const long double nominal = width * 24.1L / 720;
        // A wide scan over two cells can peak between them: settle on one first.
        FindCharacterColumn(w, c, narrow, bmp, x0, y);
        int xl = x0 - Away(nominal);
        if (FindCharacterColumn(w, c, narrow, bmp, xl, y) && std::fabs((x0 - xl) - nominal) < nominal / 4) x0 = xl;
    }
    RefineCharacterRow(w, c, bmp, x0, y);
    const int snapped = slow ? (y < 512 ? 509 : y < 520 ? 511 : y < 548 ? 545 : 547)
                             : (y < 402 ? 399 : y < 410 ? 401 : y < 438 ? 435 : 437);
    // Once the first cell is known the cells lie about a pitch apart: a wide scan
    // there would only reach the neighbouring cells.
    LocatorState narrow = loc;
    narrow.WideScan = false;
    // The line is fitted on the scanned row and on the other row of its pair: a scan
    // a field line off the digits can find a cell or two a pitch wrong.
    const bool upper = snapped == 399 || snapped == 435 || snapped == 509 || snapped == 545;
    const int other = upper ? snapped + 2 : snapped - 2;
    const LineTry t = TryIotaLine(w, c, narrow, bmp, x0, y);
    const LineTry u = TryIotaLine(w, c, narrow, bmp, x0, other % 2 == 0 ? other : other - 1);
    if (!t.fit.ok && !u.fit.ok) {
        r.reason = "fewer than two digits of the time found";
        return r;
    }
    auto pivot = [](const LineTry& l, int row) { return Grid{l.fit.a + kPivotCell * l.fit.b, l.fit.b, row}; };
    const LineTry& own = t.fit.ok ? t : u;
    Grid grid = pivot(own, snapped);
    long double pitch = own.pitch;
    OverlayState trial = w;
    r.trusted = CheckedGrid(trial, c, bmp, later, {pivot(own, snapped), pivot(u.fit.ok ? u : t, other)}, grid,
                            r.passing);
    if (r.trusted) pitch = grid.b;
    else r.reason = "no grid near the fitted line reads a time line the inserter could have printed";
    w.OverlayRow = grid.row;
    w.OverlayCharPitch = pitch;
    LineFit f = own.fit;
    f.a = grid.A - kPivotCell * grid.b;
    f.b = grid.b;
    for (int i = 0; i < 22; ++i) {
        const long double x = f.a + f.b * kIotaCells[i];
        loc.OverlayCharX[static_cast<size_t>(i)] = static_cast<double>(x);
        w.CharacterColumns[5][static_cast<size_t>(7 + i)] = Away(x);
    }
    st.CharacterColumns[5] = w.CharacterColumns[5];
    st.OverlayRow = w.OverlayRow;
    st.OverlayCharPitch = w.OverlayCharPitch;
    st.OverlayLevel = w.OverlayLevel;
    loc.OverlayCharHeight = 14;
    r.status = LocateStatus::kLocated;
    r.fit = f;
    r.points = own.points;
    return r;
}

bool CheckIotaGrid(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp,
                   std::span<const Bitmap24* const> later, long double a, long double b, int row) {
    OverlayState w = st;
    GridReader reader(w, c);
    return GridPasses(reader, Grid{a + kPivotCell * b, b, row}, bmp, later);
}

LocateResult LocateOverlayAt(OverlayState& st, const OverlayControls& c, LocatorState& loc, const Bitmap24& bmp,
                             int& x, int& y) {
    LocateResult r;
    if (c.VideoFrameRateInt < 26 || !loc.GhsLocateEnabled) {
        r.status = LocateStatus::kNotRun;
        r.reason = c.VideoFrameRateInt < 26 ? "below 26 frames per second" : "GHS-OSD locating not enabled";
        return r;
    }
    OverlayState w = st;
    const int width = bmp.Width();
    w.OverlayCharPitch = width * 20.0L / 720;
    w.ReadLetters = false;
    Level lv;
    if (loc.GhsSearchPending) {
        const uint8_t saved = w.GpsPageMode;
        w.GpsPageMode = 2;
        bool found = false;
        for (int j = 24; j >= 1 && !found; --j) {
            const int cy = 18 * j + 9;
            for (int i = 1; i <= 12 && !found; ++i) {
                const int cx = 20 * i + 9;
                if (!GhsBlock(bmp, cx, cy, lv) || !LooksLikeText(lv)) continue;
                w.OverlayLevel = lv.max / 3 - 40;
                for (int row = cy - 2; row <= cy + 2 && !found; ++row) {
                    int ux = cx;
                    if (FindCharacterColumnOrMark(w, c, loc, bmp, ux, row) != 'U') continue;
                    int dx = ux + 210, dy = row;
                    const char d = FindCharacterColumnOrMark(w, c, loc, bmp, dx, dy);
                    RefineCharacterRow(w, c, bmp, dx, dy);
                    if (IsDigit(d)) {
                        x = ux + 210;
                        y = dy;
                        found = true;
                    }
                }
            }
        }
        if (!found) y = 386;
        w.GpsPageMode = saved;
    }
    loc.GhsSearchPending = 1;
    if (!GhsBlock(bmp, x, y, lv)) {
        r.reason = "the level block lies outside the frame";
        return r;
    }
    if (!LooksLikeText(lv)) {
        r.reason = "no overlay (no bright characters in the level block)";
        return r;
    }
    w.OverlayLevel = lv.max / 3 - 40;
    int x0 = x + Away(w.OverlayCharPitch / 2);
    if (!FindCharacterColumn(w, c, loc, bmp, x0, y)) {
        r.reason = "no first digit";
        return r;
    }
    // The span estimates from the pitch alone; the frame width is in the pitch already.
    int x11 = x0 + Away(w.OverlayCharPitch * 11), xm9 = x0 + Away(w.OverlayCharPitch * -9);
    FindCharacterColumn(w, c, loc, bmp, x11, y);
    FindCharacterColumn(w, c, loc, bmp, xm9, y);
    w.OverlayCharPitch = (x11 - xm9) / 20.0L;
    w.OverlayRow = y;
    static constexpr int kTime[9] = {0, 1, 3, 4, 6, 7, 9, 10, 11};
    static constexpr int kDate[6] = {-9, -8, -6, -5, -3, -2};
    FitBuffer fit;
    for (int cell : kTime) {
        int cx = x0 + Away(w.OverlayCharPitch * cell);
        if (FindCharacterColumn(w, c, loc, bmp, cx, y)) fit.Add(cell, cx);
    }
    for (int cell : kDate) {
        int cx = x0 + Away(w.OverlayCharPitch * cell);
        if (FindCharacterColumn(w, c, loc, bmp, cx, y)) fit.Add(cell, cx);
    }
    const LineFit f = fit.Fit();
    if (!f.ok) {
        r.reason = "fewer than two digits of the time found";
        return r;
    }
    for (int i = 0; i < 9; ++i) {
        const long double cx = f.a + f.b * kTime[i];
        loc.OverlayCharX[static_cast<size_t>(i)] = static_cast<double>(cx);
        w.CharacterColumns[5][static_cast<size_t>(7 + i)] = Away(cx);
    }
    for (int i = 0; i < 6; ++i) w.CharacterColumns[5][static_cast<size_t>(i)] = Away(f.a + f.b * kDate[i]);
    st.CharacterColumns[5] = w.CharacterColumns[5];
    st.OverlayRow = w.OverlayRow;
    st.OverlayCharPitch = w.OverlayCharPitch;
    st.OverlayLevel = w.OverlayLevel;
    st.ReadLetters = false;
    loc.OverlayCharHeight = 14;
    r.status = LocateStatus::kLocated;
    r.fit = f;
    r.points = fit.n;
    return r;
}

bool LocateOverlayGrid(OverlayState& st, LocatorState& loc, const Bitmap24& bmp, int threshold, int x, int y) {
    const BrightBox A = FindBrightBox(bmp, threshold, x, y);
    const BrightBox B = FindBrightBox(bmp, threshold, A.right + 2, y);
    const int hA = A.bottom - A.top, hB = B.bottom - B.top;
    if (Even(5.0L * (hA + hB)) <= 0 || hA < 0 || hB < 0) {
        st.OverlayGridLocated = 0;
        return false;
    }
    std::array<long double, 8> X{};
    X[0] = (A.left + A.right) / 2.0L;
    X[1] = (B.left + B.right) / 2.0L;
    const long double pitch = X[1] - X[0];
    const BrightBox C = FindBrightBox(bmp, threshold, A.left + Even(pitch * 79 / 27) - 2, y);
    const BrightBox D = FindBrightBox(bmp, threshold, C.right + 2, y);
    if (C.bottom - C.top <= 0 || D.bottom - D.top <= 0) {
        st.OverlayGridLocated = 0;
        return false;
    }
    X[2] = (C.left + C.right) / 2.0L;
    X[3] = (D.left + D.right) / 2.0L;
    const long double g = (X[2] - X[0] + X[3] - X[1]) / 2;
    X[4] = X[0] + 2 * g;
    X[5] = X[4] + pitch;
    X[6] = X[0] + 3 * g;
    X[7] = X[6] + pitch;
    for (int i = 0; i < 8; ++i) {
        loc.OverlayCharX[static_cast<size_t>(i)] = static_cast<double>(X[static_cast<size_t>(i)]);
        st.CharacterColumns[5][static_cast<size_t>(7 + i)] = Even(X[static_cast<size_t>(i)]);
    }
    st.OverlayRow = Even((A.top + B.top) / 2.0L);
    st.OverlayCharPitch = pitch;
    loc.OverlayCharHeight = (hA + hB) / 2;
    st.OverlayGridLocated = 1;
    return true;
}

}  // namespace overlay

namespace overlay {

namespace {

// Reads one cell's character directly on a row (no column scan).
char CellChar(OverlayState& w, const OverlayControls& c, const Bitmap24& bmp, long double x, int y) {
    return ReadOverlayCharacterBest(w, c, bmp, Away(x), y).character;
}

// A letter read in a hemisphere cell: ReadLetters only for that one reading.
char CellLetter(OverlayState& w, const OverlayControls& c, const Bitmap24& bmp, long double x, int y) {
    w.ReadLetters = true;
    const char ch = CellChar(w, c, bmp, x, y);
    w.ReadLetters = false;
    return ch;
}

// Restores the reading switches of the GPS readers on every way out.
struct GpsModeGuard {
    OverlayState& st;
    explicit GpsModeGuard(OverlayState& s) : st(s) {}
    ~GpsModeGuard() {
        st.GpsPageMode = 0;
        st.ReadLetters = false;
    }
};

}  // namespace

GpsResult ReadIotaGpsPage(OverlayState& st, const OverlayControls& c, LocatorState& loc, const Bitmap24& bmp,
                          GpsRecord& gps) {
    GpsResult r;
    GpsModeGuard guard(st);
    OverlayState w = st;
    GpsModeGuard wguard(w);
    const int width = bmp.Width();
    w.GpsPageMode = 1;
    w.ReadLetters = false;
    w.GpsCharPitch = width * 25.0L / 720;
    Level lv;
    if (!BlockLevel(bmp, 320, 128, 51, 36, lv) || !LooksLikeText(lv)) {
        r.reason = "no GPS page (no bright characters in the level block)";
        return r;
    }
    w.OverlayLevel = static_cast<double>(numtext::RoundHalfAway((lv.mean + lv.max) / 2));
    int x0 = Away(width * 178.0L / 720);
    int y = 71;
    if (!FindCharacterColumn(w, c, loc, bmp, x0, y)) {
        r.reason = "no first digit of the UTC line";
        return r;
    }
    int y0 = y;
    RefineCharacterRow(w, c, bmp, x0, y0);
    long double rows = y0;
    for (int k : {1, 3, 4}) {
        int yk = y0;
        RefineCharacterRow(w, c, bmp, x0 + Away(30.5556L * k), yk);
        rows += yk;
    }
    y = Away(rows / 4);
    int x18 = Away(width * 615.0L / 720);
    FindCharacterColumn(w, c, loc, bmp, x18, y);
    loc.GpsRow = y;
    w.GpsCharPitch = (x18 - x0) / 18.0L;
    FitBuffer fit;
    for (int cell : {0, 1, 3, 4, 6, 7, 9, 10, 11, 12, 14, 15, 17, 18}) {
        int x = x0 + Away(w.GpsCharPitch * cell);
        if (FindCharacterColumn(w, c, loc, bmp, x, y)) fit.Add(cell, x);
    }
    LineFit f = fit.Fit();
    if (!f.ok) {
        r.reason = "fewer than two digits of the UTC line found";
        return r;
    }
    // The fitted line also gives the cells right of the UTC line, where latitude and
    // longitude digits run on.
    std::array<long double, 30> X{};
    for (int cell = 0; cell < 30; ++cell) X[static_cast<size_t>(cell)] = f.a + f.b * cell;
    const long double half = w.GpsCharPitch / 2;
    for (int cell = 0; cell <= 18; ++cell) {
        st.CharacterColumns[10][static_cast<size_t>(7 + cell)] = Away(X[static_cast<size_t>(cell)]);
        r.marks[static_cast<size_t>(cell)] = {Away(X[static_cast<size_t>(cell)] - half), y,
                                              Away(X[static_cast<size_t>(cell)] + half), y + 28};
    }
    r.markCount = 19;
    auto at = [&](int cell) { return X[static_cast<size_t>(std::clamp(cell, 0, 29))]; };
    auto digit = [&](int cell, int row) {
        const char ch = cell < 30 ? CellChar(w, c, bmp, at(cell), row) : 0;
        return IsDigit(ch) ? ch : 0;
    };

    GpsRecord g;
    // Satellites: cells 7-9 of the line above; s counts the cells looked at.
    int s = 0;
    for (int cell = 7; cell <= 9; ++cell) {
        ++s;
        const char ch = digit(cell, y - 36);
        if (!ch) break;
        g.Satellites += ch;
    }
    // HDOP: digits, the cell that stops them as the point, digits up to 3 characters.
    {
        int cell = s + 13, n = 0;
        bool stopped = false;
        for (; n < 4; ++n, ++cell) {
            const char ch = digit(cell, y - 36);
            if (!ch) {
                stopped = true;
                break;
            }
            g.HDOP += ch;
        }
        if (stopped) {
            g.HDOP += '.';
            for (++cell; g.HDOP.size() < 3; ++cell) {
                const char ch = digit(cell, y - 36);
                if (!ch) break;
                g.HDOP += ch;
            }
        }
    }
    // UTC: hh:mm:ss yyyy-mm-dd.
    {
        static constexpr int kCells[14] = {0, 1, 3, 4, 6, 7, 9, 10, 11, 12, 14, 15, 17, 18};
        static constexpr char kMarks[19] = {0, 0, ':', 0, 0, ':', 0, 0, ' ', 0, 0, 0, 0, '-', 0, 0, '-', 0, 0};
        int next = 0;
        for (int pos = 0; pos < 19; ++pos) {
            if (kMarks[pos]) {
                g.UTC += kMarks[pos];
                continue;
            }
            const char ch = digit(kCells[next++], y);
            if (!ch) break;
            g.UTC += ch;
        }
    }
    // Latitude and longitude: up to `first` digits from `from`, the stopping cell as
    // the point, digits up to `last`, then the hemisphere letter in the cell after.
    auto position = [&](int row, int from, int first, int last, char keep, char otherwise) {
        std::string head, tail;
        int cell = from;
        for (; cell < from + first; ++cell) {
            const char ch = digit(cell, row);
            if (!ch) break;
            head += ch;
        }
        for (++cell; cell <= last; ++cell) {
            const char ch = digit(cell, row);
            if (!ch) break;
            tail += ch;
        }
        const char letter = CellLetter(w, c, bmp, at(cell + 1), row);
        return head + "." + tail + " " + (letter == keep ? keep : otherwise);
    };
    g.Latitude = position(y + 36, 5, 6, 24, 'S', 'N');
    g.Longitude = position(y + 72, 6, 7, 25, 'E', 'W');
    // Altitude and the geoid separation: digits, the stopping cell as the point, digits.
    auto height = [&](int row, int from) {
        std::string text;
        int cell = from;
        for (; cell < from + 6; ++cell) {
            const char ch = digit(cell, row);
            if (!ch) break;
            text += ch;
        }
        text += '.';
        for (++cell; cell < 30; ++cell) {
            const char ch = digit(cell, row);
            if (!ch) break;
            text += ch;
        }
        return text;
    };
    g.Altitude = height(y + 108, 5) + " m MSL";
    g.WGSSeparation = height(y + 144, 13) + " m";
    gps = g;
    st.GpsCharPitch = w.GpsCharPitch;
    r.read = true;
    return r;
}

GpsResult ReadGhsGpsLine(OverlayState& st, const OverlayControls& c, LocatorState& loc, const Bitmap24& bmp, int x,
                         int y, GpsRecord& gps) {
    GpsResult r;
    GpsModeGuard guard(st);
    if (c.VideoFrameRateInt < 26 || !loc.GhsLocateEnabled) {
        r.reason = c.VideoFrameRateInt < 26 ? "below 26 frames per second" : "GHS-OSD locating not enabled";
        return r;
    }
    // The position line is read on a copy: the time line keeps its row and pitch.
    OverlayState w = st;
    GpsModeGuard wguard(w);
    const int width = bmp.Width();
    w.OverlayCharPitch = width * 20.5L / 720;
    w.ReadLetters = false;
    w.GpsPageMode = 0;
    Level lv;
    if (!GhsBlock(bmp, x, y, lv) || !LooksLikeText(lv)) {
        r.reason = "no position line (no bright characters in the level block)";
        return r;
    }
    w.OverlayLevel = lv.max / 3 - 40;
    int x0 = x + Away(1.5L * w.OverlayCharPitch);
    if (!FindCharacterColumn(w, c, loc, bmp, x0, y)) {
        r.reason = "no first digit of the position line";
        return r;
    }
    // The span is measured to cell 23, the last digit: cell 22 holds the decimal
    // point of the latitude seconds, where no digit is found.
    int x23 = x0 + Away(w.OverlayCharPitch * 23);
    FindCharacterColumn(w, c, loc, bmp, x23, y);
    w.OverlayRow = y;
    w.OverlayCharPitch = (x23 - x0) / 23.0L;
    static constexpr int kScanned[17] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 13, 14, 15, 17, 18, 20, 21, 23};
    FitBuffer fit;
    for (int cell : kScanned) {
        int cx = x0 + Away(w.OverlayCharPitch * cell);
        if (FindCharacterColumn(w, c, loc, bmp, cx, y)) fit.Add(cell, cx);
    }
    LineFit f = fit.Fit();
    if (!f.ok) {
        r.reason = "fewer than two digits of the position line found";
        return r;
    }
    {
        static constexpr int kDigits[15] = {1, 2, 3, 5, 6, 8, 9, 11, 14, 15, 17, 18, 20, 21, 23};
        double score = 0;
        RefineLine(w, c, bmp, f, score, {kDigits, 15, {y, y}, 1, 12});
    }
    std::array<long double, 24> X{};
    const long double half = w.OverlayCharPitch / 2;
    for (int cell = 0; cell < 24; ++cell) {
        X[static_cast<size_t>(cell)] = f.a + f.b * cell;
        st.CharacterColumns[20][static_cast<size_t>(6 + cell)] = Away(X[static_cast<size_t>(cell)]);
        r.marks[static_cast<size_t>(cell)] = {Away(X[static_cast<size_t>(cell)] - half), y,
                                              Away(X[static_cast<size_t>(cell)] + half), y + 28};
    }
    r.markCount = 24;
    auto digitAt = [&](int cell) {
        const char ch = CellChar(w, c, bmp, X[static_cast<size_t>(cell)], y);
        return IsDigit(ch) ? ch : ' ';
    };
    GpsRecord g;
    std::string lon(17, ' '), lat(18, ' ');
    for (std::string* t : {&lon, &lat}) {
        (*t)[4] = 'o';
        (*t)[8] = '\'';
        (*t)[12] = '.';
        (*t)[14] = '"';
    }
    const std::pair<int, int> lonCells[] = {{1, 1}, {2, 2}, {3, 3}, {5, 6}, {6, 7}, {8, 10}, {9, 11}, {11, 13}};
    for (auto [cell, pos] : lonCells) lon[static_cast<size_t>(pos)] = digitAt(cell);
    lon[16] = CellLetter(w, c, bmp, X[0], y) == 'W' ? 'W' : 'E';
    const std::pair<int, int> latCells[] = {{14, 2}, {15, 3}, {17, 6}, {18, 7}, {20, 10}, {21, 11}, {23, 13}};
    for (auto [cell, pos] : latCells) lat[static_cast<size_t>(pos)] = digitAt(cell);
    lat[16] = CellLetter(w, c, bmp, X[13], y) == 'S' ? 'S' : 'N';
    g.Longitude = lon;
    g.Latitude = lat;
    gps = g;
    r.read = true;
    return r;
}

}  // namespace overlay
