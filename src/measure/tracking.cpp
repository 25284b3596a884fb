#include "measure/tracking.h"

#include <algorithm>
#include <cmath>

#include "platform/numtext.h"

namespace {

constexpr int kFill = 25;      // cells the trackers read around the position
constexpr int kCentroid = 20;  // reach of the centroid sums and of its shift
constexpr int kSearch = 53;    // the PSF search patch
constexpr int kSearchMax = 25; // widest PSF search

// Offsets within `reach` whose pixels lie inside the trackers' bounds.
struct Window {
    int dxLo = 0, dxHi = -1, dyLo = 0, dyHi = -1;
    bool Contains(int dx, int dy) const { return dx >= dxLo && dx <= dxHi && dy >= dyLo && dy <= dyHi; }
};
Window Bounds(const Bitmap24& frame, int32_t x, int32_t y, int reach) {
    // 64-bit, so that positions near the ends of int cannot overflow.
    const int64_t w = frame.Width(), h = frame.Height(), px = x, py = y;
    const int64_t dxLo = std::max<int64_t>(-reach, -px), dxHi = std::min<int64_t>(reach, w - 1 - px);
    const int64_t dyLo = std::max<int64_t>(-reach, 1 - py), dyHi = std::min<int64_t>(reach, h - 1 - py);
    if (dxLo > dxHi || dyLo > dyHi) return {};
    return {static_cast<int>(dxLo), static_cast<int>(dxHi), static_cast<int>(dyLo), static_cast<int>(dyHi)};
}

int32_t ClampTo(int64_t v, int size) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::max(size, 1) - 1));
}

// The shift c in -20..20 minimising |sum of S(i) (i - c)|, the lowest c on a tie;
// 0 when every candidate scores the same (an empty profile).
int CentroidShift(const std::array<int64_t, 2 * kCentroid + 1>& s) {
    int64_t best = 0;
    int shift = 0;
    bool allEqual = true;
    for (int c = -kCentroid; c <= kCentroid; ++c) {
        int64_t m = 0;
        for (int i = -kCentroid; i <= kCentroid; ++i) m += s[static_cast<size_t>(i + kCentroid)] * (i - c);
        m = m < 0 ? -m : m;
        if (c == -kCentroid) {
            best = m;
            shift = c;
        } else {
            if (m != best) allEqual = false;
            if (m < best) {
                best = m;
                shift = c;
            }
        }
    }
    return allEqual ? 0 : shift;
}

void SetRefPoint(MeasureState& state, int k, int index, int32_t frame) {
    const DataLineObject& o = state.FrameObject(k);
    state.TrackRefPoints[k][static_cast<size_t>(index)] = {frame, o.PosX, o.PosY};
}

}  // namespace

bool HasPsfTemplate(const PsfState& psf, int k) {
    for (double v : psf.PsfTemplate[k].cells)
        if (v != 0) return true;
    return false;
}

TrackOutcome TrackStar(const Bitmap24& frame, const TrackGrid& mask, const DataLineObject& object, int32_t x,
                       int32_t y, int gaussianKernel) {
    TrackOutcome out;
    out.x = x;
    out.y = y;
    const Window win = Bounds(frame, x, y, kFill);
    TrackPatch patch;  // zero outside the bounds
    for (int dy = win.dyLo; dy <= win.dyHi; ++dy) {
        const uint8_t* row = frame.Scanline(y + dy) + 3 * (static_cast<int64_t>(x) + win.dxLo);
        for (int dx = win.dxLo; dx <= win.dxHi; ++dx, row += 3) patch.at(dx, dy) = row[0] + row[1] + row[2];
    }
    SmoothTrackPatch(patch, gaussianKernel);

    const int r = std::clamp(object.TrackRadius, 0, kFill);
    int32_t peak = 0;
    for (int dx = -r; dx <= r; ++dx)
        for (int dy = -r; dy <= r; ++dy)
            if (mask.at(dx, dy) == 1 && win.Contains(dx, dy)) peak = std::max(peak, patch.at(dx, dy));
    if (peak <= 0) return out;

    const int64_t thr = numtext::RoundHalfEven(static_cast<double>(peak) * object.TrackThreshold / 100.0);
    std::array<int64_t, 2 * kCentroid + 1> cols{}, rows{};
    for (int i = -kCentroid; i <= kCentroid; ++i)
        for (int j = -kCentroid; j <= kCentroid; ++j) {
            const int32_t v = patch.at(i, j);
            if (mask.at(i, j) != 1 || v <= thr) continue;
            cols[static_cast<size_t>(i + kCentroid)] += v;
            rows[static_cast<size_t>(j + kCentroid)] += v;
        }
    out.x = ClampTo(static_cast<int64_t>(x) + CentroidShift(cols), frame.Width());
    out.y = ClampTo(static_cast<int64_t>(y) + CentroidShift(rows), frame.Height());
    out.show = true;
    return out;
}

void ReadPsfSearchPatch(const Bitmap24& frame, int32_t x, int32_t y, const GammaLut* gamma, int kernel,
                        PsfSearchPatch& patch) {
    patch.Fill(0.0);
    const Window win = Bounds(frame, x, y, kSearch);
    static const GammaLut kIdentity = GammaState::MakeIdentity();
    const GammaLut& t = gamma ? *gamma : kIdentity;
    for (int dy = win.dyLo; dy <= win.dyHi; ++dy) {
        const uint8_t* row = frame.Scanline(y + dy) + 3 * (static_cast<int64_t>(x) + win.dxLo);
        for (int dx = win.dxLo; dx <= win.dxHi; ++dx, row += 3)
            patch.at(dx, dy) = (t[row[0]] + t[row[1]] + t[row[2]]) / 3.0;
    }
    SmoothPsfSearchPatch(patch, kernel);
}

double PsfBackground(const PsfSearchPatch& patch, const ApertureGrid& mask, const Bitmap24& frame, int32_t x,
                     int32_t y) {
    const Window win = Bounds(frame, x, y, ApertureGrid::kHalf);
    double sum = 0;
    int n = 0;
    for (int dx = win.dxLo; dx <= win.dxHi; ++dx)
        for (int dy = win.dyLo; dy <= win.dyHi; ++dy)
            if (mask.at(dx, dy) == kMaskBackground) {
                sum += patch.at(dx, dy);
                ++n;
            }
    return sum / std::max(n, 1);
}

PsfSearchResult PsfSearch(const PsfSearchPatch& patch, double background, const PsfTemplateGrid& tmpl,
                          const ApertureGrid& mask, int radius) {
    const int r = std::clamp(radius, 0, kSearchMax);
    // Column half-heights of the disc, and template + background so that each
    // term is one subtraction.
    std::array<int, 2 * kSearchMax + 1> half{};
    for (int i = -r; i <= r; ++i)
        half[static_cast<size_t>(i + kSearchMax)] = static_cast<int>(std::sqrt(static_cast<double>(r * r - i * i)));
    PsfTemplateGrid lifted;
    for (size_t c = 0; c < lifted.cells.size(); ++c) lifted.cells[c] = tmpl.cells[c] + background;

    PsfSearchResult res;
    double best = 1e15;
    for (int sy = -r; sy <= r; ++sy)
        for (int sx = -r; sx <= r; ++sx) {
            if (sx * sx + sy * sy > r * r) continue;
            double sum = 0;
            for (int i = -r; i <= r; ++i) {
                const int h = half[static_cast<size_t>(i + kSearchMax)];
                const double* t = &lifted.at(i, -h);
                const double* p = &patch.at(sx + i, sy - h);
                for (int j = 0; j <= 2 * h; ++j) {
                    const double d = t[j] - p[j];
                    sum += d * d;
                }
            }
            const double e = std::sqrt(sum);
            if (e < best) {
                best = e;
                res.sx = sx;
                res.sy = sy;
            }
        }

    double star = 0, bkg = 0;
    int ns = 0, nb = 0;
    for (int i = -kSearchMax; i <= kSearchMax; ++i)
        for (int j = -kSearchMax; j <= kSearchMax; ++j) {
            const int32_t m = mask.at(i, j);
            if (m == kMaskStar) {
                star += patch.at(res.sx + i, res.sy + j);
                ++ns;
            } else if (m == kMaskBackground) {
                bkg += patch.at(res.sx + i, res.sy + j);
                ++nb;
            }
        }
    res.net = star - ns * bkg / std::max(nb, 1);
    return res;
}

TrackOutcome TrackStarPsf(const Bitmap24& frame, int32_t frameNo, int k, int32_t x, int32_t y, MeasureState& state,
                          const MaskState& masks, TrackingState& tracking, const PsfState& psf,
                          const TrackControls& controls) {
    const DataLineObject& object = state.FrameObject(k);
    // A zero template matches an empty sky best and would walk the object off
    // its star.
    if (!HasPsfTemplate(psf, k)) return TrackStar(frame, masks.TrackMask[k], object, x, y, controls.GaussianKernel);

    static thread_local PsfSearchPatch patch;
    ReadPsfSearchPatch(frame, x, y, controls.Gamma, controls.GaussianKernel, patch);
    const ApertureGrid& mask = masks.ApertureMask[k];
    const double bg = PsfBackground(patch, mask, frame, x, y);
    const double lostLimit = tracking.LostPercent[k] * psf.ReferenceFlux[k] / 100;

    TrackOutcome out;
    out.x = x;
    out.y = y;
    out.show = true;
    // Both searches measure their shift from the patch centre (x, y), so a wide
    // search after a narrow one never adds the two shifts up.
    auto step = [&](bool wide) {
        const int radius = wide ? kSearchMax
                                : static_cast<int>(std::min<int64_t>(
                                      kSearchMax, numtext::RoundHalfAway(1.4 * std::max(object.TrackRadius, 0))));
        const PsfSearchResult res = PsfSearch(patch, bg, psf.PsfTemplate[k], mask, radius);
        const double d = std::sqrt(static_cast<double>(res.sx * res.sx + res.sy * res.sy));
        const int limit = wide ? kSearchMax : controls.TrackRadiusControl;
        if (numtext::RoundHalfEven(d) > limit) return res.net;
        if (res.net < lostLimit) {
            out.lost = true;
            if (k == 1 && controls.AutoPassedPoints && tracking.StarLostFlag == 0) {
                tracking.StarLostFlag = 1;
                SetTrackRefPoint2(state, 1, frameNo);
                out.frame2Set = true;
            }
            PredictTrackRecord& track = tracking.PredictTrack[k];
            if (controls.EstimatedTrack && PredictTrackFit(track) == kPredictFitOk) {
                out.x = ClampTo(PredictTrackX(track, frameNo), frame.Width());
                out.y = ClampTo(PredictTrackY(track, frameNo), frame.Height());
            }
        } else {
            out.lost = false;
            out.x = ClampTo(static_cast<int64_t>(x) + res.sx, frame.Width());
            out.y = ClampTo(static_cast<int64_t>(y) + res.sy, frame.Height());
            if (object.EstimatedTrack) PredictTrackAdd(tracking.PredictTrack[k], frameNo, out.x, out.y);
        }
        return res.net;
    };
    if (k == 2 && !psf.ProfileLearning) {
        if (step(false) <= lostLimit) step(true);
    } else {
        step(false);
    }
    return out;
}

void ClearTrackStartPoint(MeasureState& state, int k) { state.TrackRefPoints[k][0] = {}; }
void ClearTrackRefPoint1(MeasureState& state, int k) { state.TrackRefPoints[k][1] = {}; }
void ClearTrackRefPoint2(MeasureState& state, int k) { state.TrackRefPoints[k][2] = {}; }

std::string SetTrackRefPoint1(MeasureState& state, int k, int32_t frame) {
    SetRefPoint(state, k, 1, frame);
    return std::to_string(frame);
}

std::string SetTrackRefPoint2(MeasureState& state, int k, int32_t frame) {
    SetRefPoint(state, k, 2, frame);
    return std::to_string(frame);
}

void ClearLinkRefPoint1(MeasureState& state) {
    for (int k = 1; k <= 3; ++k) state.LinkRefPoints[k][0] = {};
}

void ClearLinkRefPoint2(MeasureState& state) {
    for (int k = 1; k <= 3; ++k) state.LinkRefPoints[k][1] = {};
}
