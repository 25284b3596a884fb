// The band direction search on frames with a bright straight limb: the best
// direction runs along the limb's normal, where both sides of the line see the
// same sky (the reflection across that line maps the lit half-plane onto itself).
#include "measure/direction_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kX = 100, kY = 80;

// Lit (200) where the offset from the object, projected on the normal at angle
// alpha (from +y toward +x), exceeds `edge`; dark (20) elsewhere.
Bitmap24 LimbFrame(double alpha, double edge) {
    Bitmap24 f(200, 160);
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 200; ++x)
            std::fill_n(f.Scanline(y) + 3 * x, 3, (x - kX) * std::sin(alpha) + (y - kY) * std::cos(alpha) > edge ? 200 : 20);
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
        if (!fail) out = frame;
        return !fail;
    };
    explicit Rig(const Bitmap24& f) : frame(f) {
        state.VideoOpen = 1;
        state.CurrentObject = 2;
        for (int k = 1; k <= 3; ++k) {
            state.ForAllLines(k, [](DataLineObject& o) {
                o.ApertureRadius = 3, o.BkgInnerRadius = 5, o.BkgOuterRadius = 25, o.BkgShape = kShapeLimb;
                o.BkgGap = 4, o.BkgWidth = 7, o.StartX = kX, o.StartY = kY, o.TrackThreshold = 50;
            });
            state.SpinPoint[k] = {0, -100};
            BuildApertureMasks(masks, state, k);
        }
    }
    bool Auto() { return AutoDirectionOnPlace(state, masks, 2, kX, kY, 42, source); }
    OptimizeOutcome Optimize(int stepBack = 0) { return OptimizeCurrentObject(state, masks, tracking, 42, stepBack, source); }
};

// Angle of the found direction against the truth, both folded into 0..pi.
double FoldedError(IntPoint spin, double alpha) {
    const double d = std::fmod(std::abs(std::atan2(double(spin.x), double(spin.y)) - alpha), kPi);
    return std::min(d, kPi - d);
}

TEST(DirectionSearch, FindsTheLimbNormalWithinOneStep) {
    for (double degrees : {30.0, 100.0, 137.0, 251.0, 333.0})
        for (int edge : {3, 8}) {
            const double alpha = degrees * kPi / 180;
            Rig rig(LimbFrame(alpha, edge)), opt(rig.frame);
            ASSERT_TRUE(rig.Auto());
            const IntPoint spin = rig.state.SpinPoint[2];
            EXPECT_LE(FoldedError(spin, alpha), kPi / 100 + 1e-9) << degrees << " degrees, edge " << edge;
            EXPECT_NEAR(std::hypot(spin.x, spin.y), 500, 1) << degrees;
            // The direction reaches all lines, the width stays, the stored mask is the one
            // its settings build, and other objects are untouched.
            for (const DataLine& line : rig.state.DataLines)
                EXPECT_EQ(std::tuple(line.Objects[2].SpinX, line.Objects[2].SpinY, line.Objects[2].BkgWidth), std::tuple(spin.x, spin.y, 7));
            MaskState fresh = rig.masks;
            BuildApertureMasks(fresh, rig.state, 2);
            EXPECT_EQ(fresh.ApertureMask[2].cells, rig.masks.ApertureMask[2].cells);
            EXPECT_EQ(rig.state.SpinPoint[1].y, -100);
            // "Opitimize" balances the two sides: the same normal, within the few steps
            // over which the counted cells stay balanced.
            ASSERT_TRUE(opt.Optimize().done);
            EXPECT_LE(FoldedError(opt.state.SpinPoint[2], alpha), 3 * kPi / 100) << degrees << " degrees, edge " << edge;
        }
}

TEST(DirectionSearch, NothingHappensWithoutVideoShapeOrFrame) {
    Rig rig(LimbFrame(1.0, 4));
    const auto before = rig.masks.ApertureMask[2].cells;
    rig.state.VideoOpen = 0;
    EXPECT_FALSE(rig.Auto());
    EXPECT_FALSE(rig.Optimize().done);
    rig.state.VideoOpen = 1;
    rig.state.ForAllLines(2, [](DataLineObject& o) { o.BkgShape = kShapeRing; });
    EXPECT_FALSE(rig.Auto());
    EXPECT_EQ(rig.fetches, 0);
    rig.state.ForAllLines(2, [](DataLineObject& o) { o.BkgShape = kShapeLimb; });
    rig.fail = true;
    EXPECT_FALSE(rig.Auto());
    EXPECT_FALSE(rig.Optimize().done);
    EXPECT_EQ(rig.fetches, 2);
    EXPECT_EQ(rig.state.SpinPoint[2].y, -100);
    EXPECT_EQ(rig.masks.ApertureMask[2].cells, before);
    EXPECT_EQ(std::tuple(rig.state.FrameObject(2).TrackThreshold, rig.tracking.LostPercent[2]), std::tuple(50, 20));
    EXPECT_FALSE(AutoDirectionOnPlace(rig.state, rig.masks, 2, kX, kY, 42, FrameSource{}));
}

TEST(DirectionSearch, OptimizeSetsThresholdAndLostPercent) {
    Rig rig(LimbFrame(0.5, 4));
    rig.state.ForAllLines(2, [](DataLineObject& o) { o.BkgShape = kShapeRing; });
    for (auto [stepBack, want] : {std::pair{0, 95}, {3, 0}}) {
        const OptimizeOutcome o = rig.Optimize(stepBack);
        ASSERT_TRUE(o.done);
        EXPECT_EQ(o.threshold, want);
        EXPECT_EQ(rig.state.SpinPoint[2].y, -100);  // a ring keeps its direction
        for (const DataLine& line : rig.state.DataLines) EXPECT_EQ(line.Objects[2].TrackThreshold, want);
        EXPECT_EQ(std::tuple(rig.tracking.LostPercent[2], rig.tracking.LostPercent[1]), std::tuple(want, 20));
    }
}

TEST(DirectionSearch, PatchBoundsAndEdges) {
    Bitmap24 f(10, 8);
    f.Fill(1, 2, 3);
    TrackPatch p;
    ReadDirectionPatch(f, 0, 0, p);
    // The top row and cells beyond the frame are not read.
    for (auto [dx, dy, want] : {std::tuple{0, 0, 0}, {0, 1, 6}, {-1, 1, 0}, {9, 7, 6}, {10, 7, 0}, {9, 8, 0}})
        EXPECT_EQ(p.at(dx, dy), want) << dx << "," << dy;
    // Far outside: an empty patch, and a search on it still returns a direction (the first candidate).
    ReadDirectionPatch(f, INT32_MIN, INT32_MAX, p);
    for (int32_t v : p.cells) ASSERT_EQ(v, 0);
    MaskGeometry g;
    g.BkgShape = kShapeLimb;
    g.ApertureRadius = 2, g.BkgInnerRadius = 4, g.BkgOuterRadius = 20, g.OuterControl = 20, g.Width = 20;
    EXPECT_EQ(SearchDirection(p, g, DirectionScore::Moment).y, 500);
}

}  // namespace
