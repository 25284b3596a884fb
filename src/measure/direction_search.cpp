#include "measure/direction_search.h"

#include <cmath>
#include <numbers>

#include "platform/numtext.h"

namespace {

constexpr int kReach = 25;
constexpr double kPi = std::numbers::pi;

// Angle of each offset, arctan2(dx, dy) in 0..2 pi.
const OffsetGrid<double, kReach>& OffsetAngles() {
    static const OffsetGrid<double, kReach> table = [] {
        OffsetGrid<double, kReach> t;
        for (int dx = -kReach; dx <= kReach; ++dx)
            for (int dy = -kReach; dy <= kReach; ++dy) {
                double phi = std::atan2(static_cast<double>(dx), static_cast<double>(dy));
                if (phi < 0) phi += 2 * kPi;
                t.at(dx, dy) = phi;
            }
        return t;
    }();
    return table;
}

void ApplyDirection(MeasureState& state, MaskState& masks, int k, IntPoint spin) {
    state.SpinPoint[k] = spin;
    state.ForAllLines(k, [&](DataLineObject& o) {
        o.SpinX = spin.x;
        o.SpinY = spin.y;
    });
    BuildApertureMasks(masks, state, k);
}

}  // namespace

void ReadDirectionPatch(const Bitmap24& frame, int32_t x, int32_t y, TrackPatch& patch) {
    patch.Fill(0);
    constexpr int half = TrackPatch::kHalf;
    const int64_t w = frame.Width(), h = frame.Height();
    for (int dy = -half; dy <= half; ++dy) {
        const int64_t py = static_cast<int64_t>(y) + dy;
        if (py < 1 || py >= h) continue;
        const uint8_t* row = frame.Scanline(static_cast<int>(py));
        for (int dx = -half; dx <= half; ++dx) {
            const int64_t px = static_cast<int64_t>(x) + dx;
            if (px < 0 || px >= w) continue;
            const uint8_t* p = row + 3 * px;
            patch.at(dx, dy) = p[0] + p[1] + p[2];
        }
    }
}

IntPoint SearchDirection(const TrackPatch& patch, MaskGeometry geometry, DirectionScore score) {
    const OffsetGrid<double, kReach>& angles = OffsetAngles();
    ApertureGrid grid;
    DirectionLines lines;
    IntPoint winner = geometry.Spin;
    double best = 1e13;
    for (int i = 0; i < kDirectionSteps; ++i) {
        const double theta = kPi * i / 100;
        const double s = std::sin(theta), c = std::cos(theta);
        geometry.Spin = {static_cast<int32_t>(numtext::RoundHalfEven(500 * s)),
                         static_cast<int32_t>(numtext::RoundHalfEven(500 * c))};
        BuildApertureMask(grid, lines, geometry);
        double sum = 0;
        for (int dx = -kReach; dx <= kReach; ++dx)
            for (int dy = -kReach; dy <= kReach; ++dy) {
                if (grid.at(dx, dy) != kMaskBackground || (dx == 0 && dy == 0)) continue;
                const double phi = angles.at(dx, dy);
                const bool plus = (theta < phi && phi < theta + kPi) || phi < theta - kPi;
                const bool minus = (theta - kPi < phi && phi < theta) || phi > theta + kPi;
                if (!plus && !minus) continue;  // on the line
                const double p = patch.at(dx, dy);
                if (score == DirectionScore::Moment)
                    sum += (dx * c - dy * s) * p;  // r sin(phi - theta), the signed distance from the line
                else
                    sum += plus ? p : -p;
            }
        const double e = std::abs(sum);
        if (e < best) {
            best = e;
            winner = geometry.Spin;
        }
    }
    return winner;
}

bool AutoDirectionOnPlace(MeasureState& state, MaskState& masks, int k, int32_t x, int32_t y, int32_t frameNo,
                          const FrameSource& source) {
    if (!state.VideoOpen || state.FrameObject(k).BkgShape != kShapeLimb || !source) return false;
    Bitmap24 frame;
    if (!source(frameNo, frame)) return false;
    TrackPatch patch;
    ReadDirectionPatch(frame, x, y, patch);
    MaskGeometry g = MaskGeometryOf(state, masks, k);
    g.Width = kDirectionSearchWidth;
    ApplyDirection(state, masks, k, SearchDirection(patch, g, DirectionScore::Moment));
    return true;
}

OptimizeOutcome OptimizeCurrentObject(MeasureState& state, MaskState& masks, TrackingState& tracking, int32_t frameNo,
                                      int upDown12, const FrameSource& source) {
    OptimizeOutcome out;
    if (!state.VideoOpen || !source) return out;
    const int k = state.CurrentObject;
    Bitmap24 frame;
    if (!source(frameNo, frame)) return out;
    const DataLineObject& o = state.FrameObject(k);
    if (o.BkgShape == kShapeLimb) {
        TrackPatch patch;
        ReadDirectionPatch(frame, o.StartX, o.StartY, patch);
        ApplyDirection(state, masks, k, SearchDirection(patch, MaskGeometryOf(state, masks, k), DirectionScore::Balance));
    }
    out.threshold = upDown12 == 0 ? 95 : 0;
    state.ForAllLines(k, [&](DataLineObject& line) { line.TrackThreshold = out.threshold; });
    tracking.LostPercent[k] = out.threshold;
    out.done = true;
    return out;
}
