#include "overlay/overlay_reader.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "measure/image_primitives.h"
#include "platform/numtext.h"

namespace overlay {

// clang-format off
const std::array<std::array<SampleRun, kSampleRunCount>, 3> CharacterSampleRuns{{
    {{{-9, 0, 4}, {-10, 1, 4}, {-12, 2, 4}, {-14, 3, 4}, {-15, 4, 4}, {-17, 5, 4}, {-19, 6, 4}, {6, 0, 4}, {4, 1, 4}, {2, 2, 4}, {0, 3, 4}, {-2, 4, 4}, {-4, 5, 4}, {-5, 6, 4}, {-5, 0, 10}, {-6, 1, 10}, {-8, 2, 10}, {-10, 3, 10}, {-11, 4, 10}, {-13, 5, 10}, {-15, 6, 10}, {-2, 0, 5}, {-7, 1, 9}, {-5, 2, 4}, {-7, 3, 4}, {-9, 4, 5}, {-11, 5, 5}, {2, 2, 5}, {-4, 3, 5}, {-9, 4, 4}, {-14, 5, 4}, {-7, 3, 8}, {2, 0, 3}, {-3, 1, 7}, {-9, 2, 4}, {-2, 2, 4}, {-14, 3, 4}, {-4, 3, 4}, {-7, 5, 4}, {-9, 6, 4}, {-3, 3, 4}, {-5, 4, 4}, {-11, 5, 4}, {-12, 6, 4}, {-9, 2, 4}, {-9, 4, 3}}},
    {{{-9, 0, 4}, {-9, 1, 4}, {-9, 2, 4}, {-9, 3, 4}, {-9, 4, 4}, {-9, 5, 4}, {-9, 6, 4}, {5, 0, 4}, {5, 1, 4}, {5, 2, 4}, {5, 3, 4}, {5, 4, 4}, {5, 5, 4}, {5, 6, 4}, {-5, 0, 10}, {-5, 1, 10}, {-5, 2, 10}, {-5, 3, 10}, {-5, 4, 10}, {-5, 5, 10}, {-5, 6, 10}, {-1, 0, 5}, {-4, 1, 7}, {-1, 2, 4}, {-1, 3, 4}, {-1, 4, 4}, {-1, 5, 4}, {5, 2, 5}, {1, 3, 5}, {-2, 4, 4}, {-5, 5, 4}, {-3, 3, 8}, {3, 0, 4}, {-1, 1, 7}, {-5, 2, 4}, {3, 2, 4}, {-7, 3, 4}, {2, 3, 5}, {2, 5, 5}, {2, 6, 5}, {2, 3, 4}, {2, 4, 4}, {-2, 5, 4}, {-2, 6, 4}, {-4, 2, 4}, {2, 4, 3}}},
    {{{-10, 0, 4}, {-10, 1, 4}, {-10, 2, 4}, {-10, 3, 4}, {-10, 4, 4}, {-10, 5, 4}, {-10, 6, 4}, {7, 0, 4}, {7, 1, 4}, {7, 2, 4}, {7, 3, 4}, {7, 4, 4}, {7, 5, 4}, {7, 6, 4}, {-6, 0, 13}, {-6, 1, 13}, {-6, 2, 13}, {-6, 3, 13}, {-6, 4, 13}, {-6, 5, 13}, {-6, 6, 13}, {-2, 0, 4}, {-8, 1, 10}, {-2, 2, 4}, {-2, 3, 4}, {-2, 4, 4}, {-2, 5, 4}, {7, 2, 4}, {4, 3, 4}, {-1, 4, 4}, {-6, 5, 4}, {-2, 3, 10}, {4, 0, 4}, {0, 1, 7}, {-5, 2, 5}, {4, 2, 4}, {-10, 3, 4}, {4, 3, 4}, {4, 5, 4}, {4, 6, 4}, {3, 2, 4}, {-2, 4, 4}, {-2, 5, 4}, {-2, 6, 4}, {-4, 2, 3}, {2, 4, 3}}},
}};

const std::array<std::array<int, 12>, 5> KiwiCharacterPositions{{
    {85, 109, 156, 180, 227, 251, 322, 345, 369, 440, 463, 487},
    {70, 94, 140, 164, 210, 234, 306, 330, 353, 424, 448, 472},
    {56, 80, 127, 150, 196, 220, 292, 316, 339, 410, 434, 458},
    {29, 53, 100, 123, 171, 195, 266, 289, 313, 384, 407, 431},
    {20, 30, 40, 50, 60, 70, 80, 90, 600, 600, 600, 600},
}};
// clang-format on

void CopyKiwiCharacterColumns(OverlayState& st) {
    for (size_t r = 0; r < KiwiCharacterPositions.size(); ++r)
        std::copy(KiwiCharacterPositions[r].begin(), KiwiCharacterPositions[r].end(),
                  st.CharacterColumns[r + 1].begin() + 7);
}

namespace {

// Positions beyond this lie off every frame (at most 16,384 wide) even after the
// largest run offset (100,000), so clamping them changes no reading and keeps
// every sum of positions within int, whatever a caller passes.
constexpr int kPositionLimit = 1 << 20;
int Position(int v) { return std::clamp(v, -kPositionLimit, kPositionLimit); }

}  // namespace

PixelSum GetPixelRGB(const Bitmap24& bmp, int x, int y) {
    if (!bmp.Contains(x, y)) return {};
    const PixelRgb p = ReadScanlinePixel(bmp, x, y);
    return {p.r, p.g, p.b};
}

PixelSum SumRGB5x5(const OverlayState&, const OverlayControls& c, const Bitmap24& bmp, int x, int y) {
    PixelSum s;
    x = Position(x), y = Position(y);
    if (x < 0 || y < 0 || x >= c.DisplayWidth || y >= c.DisplayHeight) return s;
    for (int j = -2; j <= 2; ++j)
        for (int i = -2; i <= 2; ++i) {
            if (x + i < 0 || y + j < 1) continue;
            const PixelSum p = GetPixelRGB(bmp, x + i, y + j);
            s.r += p.r;
            s.g += p.g;
            s.b += p.b;
        }
    return s;
}

namespace {

// The part of the run x..x+w that lies on line y of the frame, as a pointer to its
// first pixel and a pixel count; pixels off the frame read black.
struct RunSpan {
    const uint8_t* p = nullptr;
    int count = 0;
};

RunSpan Clip(const Bitmap24& bmp, int x, int y, int w) {
    if (y < 0 || y >= bmp.Height() || w < 0) return {};
    const int64_t first = std::max<int64_t>(x, 0);
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(x) + w, bmp.Width() - 1);
    if (last < first) return {};
    return {bmp.Scanline(y) + 3 * first, static_cast<int>(last - first + 1)};
}

int RunBrightness(const Bitmap24& bmp, int x, int y, int w) {
    const RunSpan r = Clip(bmp, x, y, w);
    int s = 0;
    for (int i = 0; i < r.count; ++i) s += r.p[3 * i] + r.p[3 * i + 1] + r.p[3 * i + 2];
    return s;
}

}  // namespace

int EdgeRunSample(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y, int w) {
    // Without the field view the next line of the same field is two frame lines down.
    const int d = (st.OverlayGridLocated || c.ShowField) ? 1 : 2;
    y = Position(y);
    return RunBrightness(bmp, x, y, w) - RunBrightness(bmp, x, y + d, w);
}

namespace {

// The thresholding of one inserter type, worked out once per character.
struct ThresholdRule {
    int64_t iotaLimit;   // IOTA-VTI: pixels at or above count with their brightness
    double ghsLimit;     // GHS-OSD: pixels at or above count 750
    int kiwiSubtract;    // KIWI-OSD: subtracted from the run's sum
};

// A threshold or level beyond this passes every pixel sum (at most 765 a pixel,
// 765 x 16,384 a run) or none, as any larger one would.
constexpr int kThresholdLimit = 1 << 24;

ThresholdRule MakeThresholdRule(const OverlayState& st, const OverlayControls& c) {
    const int threshold = std::clamp(c.UpDown4, -kThresholdLimit, kThresholdLimit);
    const double level = std::isfinite(st.OverlayLevel) ? std::clamp(st.OverlayLevel, -1e9, 1e9) : 0.0;
    return {numtext::RoundHalfAway(level) - 100 + threshold, (static_cast<double>(st.OverlayThreshold) - 100 + st.OverlayLevel) * 3,
            3 * threshold};
}

template <uint8_t Type>
inline int ThresholdRunOf(const ThresholdRule& rule, const Bitmap24& bmp, int x, int y, int w) {
    const RunSpan r = Clip(bmp, x, y, w);
    switch (Type) {
    case kKiwiOsd: {
        int s = 0;
        for (int i = 0; i < r.count; ++i) s += r.p[3 * i] + r.p[3 * i + 1] + r.p[3 * i + 2];
        return std::max(0, s - rule.kiwiSubtract);
    }
    case kGhsOsd: {
        int64_t n = 0;
        for (int i = 0; i < r.count; ++i) n += (r.p[3 * i] + r.p[3 * i + 1] + r.p[3 * i + 2]) >= rule.ghsLimit;
        // Pixels off the frame are black; they pass only a limit of 0 or below. A
        // run of any int width saturates rather than overflows.
        if (w >= 0 && 0 >= rule.ghsLimit) n += int64_t{w} + 1 - r.count;
        return static_cast<int>(std::min<int64_t>(750 * n, INT_MAX));
    }
    default: {
        int s = 0;
        for (int i = 0; i < r.count; ++i) {
            const int v = r.p[3 * i] + r.p[3 * i + 1] + r.p[3 * i + 2];
            if (v >= rule.iotaLimit) s += v;
        }
        return s;
    }
    }
}

}  // namespace

int ThresholdRunSample(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y, int w) {
    const ThresholdRule rule = MakeThresholdRule(st, c);
    if (c.TimeInserterType == kKiwiOsd) return ThresholdRunOf<kKiwiOsd>(rule, bmp, x, y, w);
    if (c.TimeInserterType == kGhsOsd) return ThresholdRunOf<kGhsOsd>(rule, bmp, x, y, w);
    return ThresholdRunOf<kIotaVti>(rule, bmp, x, y, w);
}

int OverlayRowY(const OverlayState& st, const OverlayControls& c, int rowSet, int field) {
    const int o = Position(field == 0 ? st.KiwiRowOffset1 : st.KiwiRowOffset2);
    const bool evenSet = rowSet == 2 || rowSet == 4, oddSet = rowSet == 1 || rowSet == 3;
    const int r = Position(st.OverlayRow);
    const bool rEven = r % 2 == 0;
    if (!c.ShowField) {
        // Interlaced frame: field 1 on even lines, field 2 on odd lines.
        if (evenSet) return (field == 0 ? 508 : 509) + 2 * o;
        if (oddSet) return (field == 0 ? 410 : 409) + 2 * o;
        if (field == 0) return (rEven ? r : r - 1) + o;
        return (rEven ? r + 1 : r) + o;
    }
    // Field view: the two fields stacked, field 2 starting half-way down the frame.
    if (evenSet) return (field == 0 ? 254 : 542) + o;
    if (oddSet) return (field == 0 ? 205 : 444) + o;
    if (field == 0) return (rEven ? r / 2 : (r + 1) / 2) + o;
    return (r + 1) / 2 + Position(c.FrameHeight) / 2 + o;
}

char ClassCharacter(int k) {
    static constexpr char kChars[kClassCount] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                 '8', '9', 'E', 'N', 'W', 0,   'S', 'U'};
    return k >= 0 && k < kClassCount ? kChars[k] : 0;
}

namespace {

// A scaled run offset or width, halves to even; a pitch that is not a number
// samples nothing rather than overflowing.
int ScaleRun(int value, long double scale) {
    const long double v = std::nearbyint(static_cast<long double>(value) * scale);
    if (!(v > -100000.0L && v < 100000.0L)) return v > 0 ? 100000 : (v < 0 ? -100000 : 0);
    return static_cast<int>(v);
}

}  // namespace

OverlayCharacter ReadOverlayCharacter(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y) {
    const uint8_t type = c.TimeInserterType;
    const bool located = st.OverlayGridLocated != 0;
    x = Position(x), y = Position(y);
    const int layout = (located || type == kIotaVti || type == kGhsOsd) ? 2 : (c.VideoFrameRateInt > 25 ? 0 : 1);
    const int step = c.ShowField ? 2 : 4;
    const int count = st.GpsPageMode == 1 ? kSampleRunCount : kSampleRunCount - 2;
    const auto& runs = CharacterSampleRuns[static_cast<size_t>(layout)];

    // Runs not sampled keep value and width 0, so nothing of an earlier cell leaks in.
    SampleVector& s = st.CharacterSamples;
    s.v.fill(0);
    s.w.fill(0);
    if (layout < 2) {
        for (int i = 0; i < count; ++i) {
            const SampleRun& r = runs[static_cast<size_t>(i)];
            s.v[static_cast<size_t>(i)] = EdgeRunSample(st, c, bmp, x + r.dx, y + r.row * step, r.width);
            s.w[static_cast<size_t>(i)] = r.width;
        }
    } else {
        const long double scale = (st.GpsPageMode == 1 ? st.GpsCharPitch : st.OverlayCharPitch) / 21.5L;
        auto& grid = st.ScaledGrid;
        if (!(grid.scale == scale)) {
            for (size_t i = 0; i < runs.size(); ++i) {
                grid.dx[i] = ScaleRun(runs[i].dx, scale);
                grid.width[i] = ScaleRun(runs[i].width, scale);
            }
            grid.scale = scale;
        }
        const ThresholdRule rule = MakeThresholdRule(st, c);
        auto sampleAll = [&]<uint8_t Type>() {
            for (int i = 0; i < count; ++i) {
                const size_t k = static_cast<size_t>(i);
                s.v[k] = ThresholdRunOf<Type>(rule, bmp, x + grid.dx[k], y + runs[k].row * step, grid.width[k]);
                s.w[k] = grid.width[k];
            }
        };
        if (type == kKiwiOsd) sampleAll.template operator()<kKiwiOsd>();
        else if (type == kGhsOsd) sampleAll.template operator()<kGhsOsd>();
        else sampleAll.template operator()<kIotaVti>();
    }

    if (type == kGhsOsd)
        ClassifyGhsCharacter(s, st.ClassScores);
    else if (type == kKiwiOsd && !located)
        ClassifyKiwiCharacter(s, st.ClassScores);
    else
        ClassifyIotaCharacter(s, st.ClassScores);

    int lo = 0, hi = 9;
    if (st.GpsPageMode == 1) {
        if (st.ReadLetters) lo = 10, hi = 14;
    } else if (st.GpsPageMode == 2) {
        hi = 15;
    } else if (st.ReadLetters) {
        hi = 14;
    }
    double best = -10000;
    int bestClass = -1;
    for (int k = lo; k <= hi; ++k)
        if (st.ClassScores[static_cast<size_t>(k)] > best) {
            best = st.ClassScores[static_cast<size_t>(k)];
            bestClass = k;
        }
    if (bestClass < 0) return {};
    if (type == kKiwiOsd) {
        if (best >= c.UpDown4) return {static_cast<char>('0' + bestClass), best};
        return {};
    }
    const char ch = ClassCharacter(bestClass);
    if (best >= 100 && ch != 0) return {ch, best};
    return {};
}

}  // namespace overlay
