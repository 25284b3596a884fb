// The band direction search on frames with a bright straight limb: the best
// direction runs along the limb's normal, where both sides of the line see the
// same sky (the reflection across that line maps the lit half-plane onto itself).
#include "measure/direction_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kW = 200, kH = 160, kX = 100, kY = 80;

// Lit (200) where the offset from the object, projected on the normal at angle
// alpha (measured from +y toward +x), exceeds `edge`; dark (20) elsewhere.
Bitmap24 LimbFrame(double alpha, double edge) {
    Bitmap24 f(kW, kH);
    const double nx = std::sin(alpha), ny = std::cos(alpha);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool lit = (x - kX) * nx + (y - kY) * ny > edge;
            uint8_t* p = f.Scanline(y) + 3 * x;
            p[0] = p[1] = p[2] = lit ? 200 : 20;
        }
    return f;
}

struct Rig {
    MeasureState state;
    MaskState masks;
    TrackingState tracking;
    int fetches = 0;
    Bitmap24 frame;
    bool fail = false;
    FrameSource source = [this](int32_t n, Bitmap24& out) {
        ++fetches;
        EXPECT_EQ(n, 42);
        if (fail) return false;
        out = frame;
        return true;
    };
    Rig() {
        state.VideoOpen = 1;
        state.CurrentObject = 2;
        for (int k = 1; k <= 3; ++k) {
            state.ForAllLines(k, [](DataLineObject& o) {
                o.ApertureRadius = 3;
                o.BkgInnerRadius = 5;
                o.BkgOuterRadius = 25;
                o.BkgShape = kShapeLimb;
                o.BkgGap = 4;
                o.BkgWidth = 7;
                o.StartX = kX;
                o.StartY = kY;
                o.TrackThreshold = 50;
            });
            state.SpinPoint[k] = {0, -100};
            BuildApertureMasks(masks, state, k);
        }
    }
};

// Angle of the found direction folded into 0..pi, against the truth folded likewise.
double FoldedError(IntPoint spin, double alpha) {
    const double theta = std::atan2(static_cast<double>(spin.x), static_cast<double>(spin.y));
    double d = std::fmod(std::abs(theta - alpha), kPi);
    return std::min(d, kPi - d);
}

TEST(DirectionSearch, FindsTheLimbNormalWithinOneStep) {
    for (double degrees : {30.0, 100.0, 137.0, 251.0, 333.0}) {
        const double alpha = degrees * kPi / 180;
        for (int edge : {3, 8}) {
            Rig rig;
            rig.frame = LimbFrame(alpha, edge);
            ASSERT_TRUE(AutoDirectionOnPlace(rig.state, rig.masks, 2, kX, kY, 42, rig.source));
            const IntPoint spin = rig.state.SpinPoint[2];
            EXPECT_LE(FoldedError(spin, alpha), kPi / 100 + 1e-9) << degrees << " degrees, edge " << edge;
            EXPECT_NEAR(std::hypot(spin.x, spin.y), 500, 1) << degrees;
            // The direction reaches all lines; the width is as before.
            for (const DataLine& line : rig.state.DataLines) {
                EXPECT_EQ(line.Objects[2].SpinX, spin.x);
                EXPECT_EQ(line.Objects[2].SpinY, spin.y);
                EXPECT_EQ(line.Objects[2].BkgWidth, 7);
            }
            // The stored mask is the one its settings build.
            MaskState fresh = rig.masks;
            BuildApertureMasks(fresh, rig.state, 2);
            EXPECT_EQ(fresh.ApertureMask[2].cells, rig.masks.ApertureMask[2].cells);
            // Other objects are untouched.
            EXPECT_EQ(rig.state.SpinPoint[1].y, -100);

            // "Opitimize" balances the two sides: the same normal, within the few
            // steps over which the counted cells stay balanced.
            Rig opt;
            opt.frame = rig.frame;
            const OptimizeOutcome o = OptimizeCurrentObject(opt.state, opt.masks, opt.tracking, 42, 0, opt.source);
            ASSERT_TRUE(o.done);
            EXPECT_LE(FoldedError(opt.state.SpinPoint[2], alpha), 3 * kPi / 100) << degrees << " degrees, edge " << edge;
        }
    }
}

TEST(DirectionSearch, NothingHappensWithoutVideoShapeOrFrame) {
    Rig rig;
    rig.frame = LimbFrame(1.0, 4);
    const auto before = rig.masks.ApertureMask[2].cells;

    rig.state.VideoOpen = 0;
    EXPECT_FALSE(AutoDirectionOnPlace(rig.state, rig.masks, 2, kX, kY, 42, rig.source));
    EXPECT_FALSE(OptimizeCurrentObject(rig.state, rig.masks, rig.tracking, 42, 0, rig.source).done);
    EXPECT_EQ(rig.fetches, 0);
    rig.state.VideoOpen = 1;

    rig.state.ForAllLines(2, [](DataLineObject& o) { o.BkgShape = kShapeRing; });
    EXPECT_FALSE(AutoDirectionOnPlace(rig.state, rig.masks, 2, kX, kY, 42, rig.source));
    EXPECT_EQ(rig.fetches, 0);
    rig.state.ForAllLines(2, [](DataLineObject& o) { o.BkgShape = kShapeLimb; });

    rig.fail = true;
    EXPECT_FALSE(AutoDirectionOnPlace(rig.state, rig.masks, 2, kX, kY, 42, rig.source));
    const OptimizeOutcome o = OptimizeCurrentObject(rig.state, rig.masks, rig.tracking, 42, 0, rig.source);
    EXPECT_FALSE(o.done);
    EXPECT_EQ(rig.fetches, 2);
    EXPECT_EQ(rig.state.SpinPoint[2].y, -100);
    EXPECT_EQ(rig.masks.ApertureMask[2].cells, before);
    EXPECT_EQ(rig.state.FrameObject(2).TrackThreshold, 50);
    EXPECT_EQ(rig.tracking.LostPercent[2], 20);
    EXPECT_FALSE(AutoDirectionOnPlace(rig.state, rig.masks, 2, kX, kY, 42, FrameSource{}));
}

TEST(DirectionSearch, OptimizeSetsThresholdAndLostPercent) {
    Rig rig;
    rig.frame = LimbFrame(0.5, 4);
    rig.state.ForAllLines(2, [](DataLineObject& o) { o.BkgShape = kShapeRing; });
    OptimizeOutcome o = OptimizeCurrentObject(rig.state, rig.masks, rig.tracking, 42, 0, rig.source);
    ASSERT_TRUE(o.done);
    EXPECT_EQ(o.threshold, 95);
    EXPECT_EQ(rig.state.SpinPoint[2].y, -100);  // a ring keeps its direction
    for (const DataLine& line : rig.state.DataLines) EXPECT_EQ(line.Objects[2].TrackThreshold, 95);
    EXPECT_EQ(rig.tracking.LostPercent[2], 95);
    EXPECT_EQ(rig.tracking.LostPercent[1], 20);
    o = OptimizeCurrentObject(rig.state, rig.masks, rig.tracking, 42, 3, rig.source);
    EXPECT_EQ(o.threshold, 0);
    EXPECT_EQ(rig.state.DataLines[2].Objects[2].TrackThreshold, 0);
    EXPECT_EQ(rig.tracking.LostPercent[2], 0);
}

TEST(DirectionSearch, PatchBoundsAndEdges) {
    Bitmap24 f(10, 8);
    f.Fill(1, 2, 3);
    TrackPatch p;
    ReadDirectionPatch(f, 0, 0, p);
    EXPECT_EQ(p.at(0, 0), 0);   // the top row is not read
    EXPECT_EQ(p.at(0, 1), 6);
    EXPECT_EQ(p.at(-1, 1), 0);  // left of the frame
    EXPECT_EQ(p.at(9, 7), 6);
    EXPECT_EQ(p.at(10, 7), 0);
    EXPECT_EQ(p.at(9, 8), 0);
    // Far outside: an empty patch, and a search on it still returns a direction.
    ReadDirectionPatch(f, INT32_MIN, INT32_MAX, p);
    for (int32_t v : p.cells) ASSERT_EQ(v, 0);
    MaskGeometry g;
    g.BkgShape = kShapeLimb;
    g.ApertureRadius = 2;
    g.BkgInnerRadius = 4;
    g.BkgOuterRadius = 20;
    g.OuterControl = 20;
    g.Width = 20;
    EXPECT_EQ(SearchDirection(p, g, DirectionScore::Moment).y, 500);  // the first candidate
}

}  // namespace
