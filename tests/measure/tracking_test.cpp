// The centroid tracker against positions computed from the definition by numpy
// (golden file written by tracking_oracle.py), the template tracker on frames
// rendered from its own template, and the reference points.
#include "measure/tracking.h"

#include <cmath>

#include "golden.h"

namespace {

TrackGrid Disc(int r) {
    TrackGrid g;
    FillTrackDisc(g, r, 1);
    return g;
}

DataLineObject Tracked(int radius = 6, int threshold = 50) {
    DataLineObject o;
    o.TrackRadius = radius;
    o.TrackThreshold = threshold;
    return o;
}

void SetGrey(Bitmap24& f, int x, int y, int v) { std::fill_n(f.Scanline(y) + 3 * x, 3, uint8_t(v)); }

TEST(TrackStar, MatchesNumpyCentroids) {
    const auto cases = golden::Of(golden::Read("tracking_golden.txt", {"track", "fit"}), "track");
    ASSERT_EQ(cases.size(), 10u);
    for (const golden::Block& c : cases) {  // w h x y maskRadius radius threshold; expect x y found
        const int w = c.H(0), h = c.H(1), x = c.H(2), y = c.H(3);
        const std::vector<double>& rgb = c.f.at("rgb");
        ASSERT_EQ(rgb.size(), size_t(3 * w * h));
        Bitmap24 f(w, h);
        for (int yy = 0; yy < h; ++yy)
            for (int i = 0; i < 3 * w; ++i) f.Scanline(yy)[i] = uint8_t(rgb[size_t(yy * 3 * w + i)]);
        const TrackOutcome out = TrackStar(f, Disc(c.H(4)), Tracked(c.H(5), c.H(6)), x, y, kGaussianOff);
        const std::vector<double>& e = c.f.at("expect");
        EXPECT_EQ(std::tuple(out.x, out.y, out.show), std::tuple(int(e[0]), int(e[1]), e[2] != 0)) << x << "," << y;
    }
}

// Ties, edges and empty discs are in the golden cases; smoothing and hostile positions here.
TEST(TrackStar, SmoothingKeepsTiesAndFarPositionsStay) {
    // Two equal columns at x 21 and 22: half-way goes to 21, with or without smoothing.
    Bitmap24 f(40, 30);
    for (int y = 14; y <= 16; ++y) SetGrey(f, 21, y, 200), SetGrey(f, 22, y, 200);
    for (int kernel : {kGaussianOff, kGaussian3}) {
        const TrackOutcome out = TrackStar(f, Disc(6), Tracked(), 20, 15, kernel);
        EXPECT_EQ(std::tuple(out.x, out.y), std::tuple(21, 15)) << kernel;
    }
    for (auto [x, y] : {std::pair{-500, 7}, {7, 100000}, {INT32_MAX, INT32_MIN}}) {
        const TrackOutcome out = TrackStar(f, Disc(6), Tracked(), x, y, kGaussian3);
        EXPECT_EQ(std::tuple(out.x, out.y, out.show), std::tuple(x, y, false));
    }
}

// ---- The template tracker ----

constexpr int kW = 160, kH = 120, kX = 80, kY = 60, kSky = 30;

// Sky plus an integer-valued template at (cx, cy), grey, so a frame carries it exactly.
Bitmap24 StarFrame(const PsfTemplateGrid& t, int cx, int cy) {
    Bitmap24 f(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            SetGrey(f, x, y, kSky + (PsfTemplateGrid::InRange(x - cx, y - cy) ? int(t.at(x - cx, y - cy)) : 0));
    return f;
}

struct PsfRig {
    MeasureState state;
    MaskState masks;
    TrackingState tracking;
    PsfTemplateGrid tmpl;
    PsfState psf;
    TrackControls controls;
    PsfRig() {
        for (int dx = -25; dx <= 25; ++dx)
            for (int dy = -25; dy <= 25; ++dy)
                tmpl.at(dx, dy) = std::round(150 * std::exp(-2 * (dx * dx + dy * dy) / (1.8 * 1.8)));
        for (int k = 1; k <= 3; ++k) {
            state.ForAllLines(k, [](DataLineObject& o) {
                o.ApertureRadius = 4, o.BkgInnerRadius = 10, o.BkgOuterRadius = 14;
                o.TrackRadius = 6, o.TrackThreshold = 50;
            });
            BuildApertureMasks(masks, state, k);
            BuildTrackMask(masks, k, 6);
            psf.PsfTemplate[k] = tmpl;
        }
        controls.GaussianKernel = kGaussianOff;
        controls.TrackRadiusControl = 6;
    }
    // The net flux of a star sitting exactly in the aperture.
    double CentredNet(int k) const {
        double s = 0;
        for (int dx = -25; dx <= 25; ++dx)
            for (int dy = -25; dy <= 25; ++dy)
                if (masks.ApertureMask[k].at(dx, dy) == kMaskStar) s += tmpl.at(dx, dy);
        return s;
    }
    TrackOutcome Run(const Bitmap24& f, int k, int frameNo = 100, double referenceFlux = 0, int x = kX) {
        psf.ReferenceFlux[k] = referenceFlux;
        return TrackStarPsf(f, frameNo, k, x, kY, state, masks, tracking, psf, controls);
    }
};

TEST(TrackStarPsf, RecoversIntegerShiftsAndMeasuresNet) {
    PsfRig rig;
    for (auto [sx, sy] : {std::pair{0, 0}, {3, -2}, {-5, 1}, {-4, -4}, {0, 6}}) {
        const Bitmap24 f = StarFrame(rig.tmpl, kX + sx, kY + sy);
        PsfSearchPatch patch;
        ReadPsfSearchPatch(f, kX, kY, nullptr, kGaussianOff, patch);
        const double bg = PsfBackground(patch, rig.masks.ApertureMask[1], f, kX, kY);
        EXPECT_DOUBLE_EQ(bg, kSky);
        const PsfSearchResult r = PsfSearch(patch, bg, rig.tmpl, rig.masks.ApertureMask[1], 8);
        EXPECT_EQ(std::tuple(r.sx, r.sy), std::tuple(sx, sy));
        EXPECT_NEAR(r.net, rig.CentredNet(1), 1e-9);
        const TrackOutcome out = rig.Run(f, 1);
        EXPECT_EQ(std::tuple(out.x, out.y, out.show, out.lost), std::tuple(kX + sx, kY + sy, true, false));
    }
}

// Where the search lands or stays, by control radius, reference flux and object.
TEST(TrackStarPsf, ControlLimitLostLimitAndWideSearch) {
    PsfRig rig;
    rig.tracking.LostPercent[1] = 50;
    const double net = rig.CentredNet(1);
    struct Case {
        int k, sx, sy, control;
        double ref;
        bool learning;
        int wantX, wantY;
        bool lost;
    };
    for (const Case& c : {
             // (6, 5) lies in the narrow disc (round(1.4 x 6) = 8) but rounds to 8 pixels, beyond a control of 6.
             Case{1, 6, 5, 6, 0, false, kX, kY, false}, Case{1, 6, 5, 8, 0, false, kX + 6, kY + 5, false},
             // Lost at 50 % of the reference flux, just above and just below the net.
             Case{1, 2, 1, 6, 2 * net + 0.01, false, kX, kY, true}, Case{1, 2, 1, 6, 2 * net - 0.01, false, kX + 2, kY + 1, false},
             // Object B searches wide when lost, but not in the learning pass; A never does.
             Case{2, 15, -3, 6, net, false, kX + 15, kY - 3, false}, Case{1, 15, -3, 6, net, false, kX, kY, true},
             Case{2, 15, -3, 6, net, true, kX, kY, true}}) {
        rig.controls.TrackRadiusControl = c.control;
        rig.psf.ProfileLearning = c.learning;
        const TrackOutcome out = rig.Run(StarFrame(rig.tmpl, kX + c.sx, kY + c.sy), c.k, 100, c.ref);
        EXPECT_EQ(std::tuple(out.x, out.y), std::tuple(c.wantX, c.wantY)) << c.k << " " << c.sx << "," << c.sy;
        if (c.k == 1 && c.sx != 15) {
            EXPECT_EQ(out.lost, c.lost) << c.sx;
        }
    }
}

TEST(TrackStarPsf, LostStarFollowsThePredictionWithElevenPoints) {
    PsfRig rig;
    rig.state.ForAllLines(1, [](DataLineObject& o) { o.EstimatedTrack = 1; });
    rig.controls.EstimatedTrack = true;
    PredictTrackRecord& track = rig.tracking.PredictTrack[1];
    PredictTrackReset(track);
    for (int n = 0; n < 10; ++n) PredictTrackAdd(track, n, 50 + n, 40);  // one pixel per frame in x
    const Bitmap24 f = StarFrame(rig.tmpl, kX, kY);
    const double lostRef = 10 * rig.CentredNet(1);  // 20 % of it is above the net
    TrackOutcome out = rig.Run(f, 1, 20, lostRef);
    EXPECT_TRUE(out.lost);
    EXPECT_EQ(out.x, kX);  // too few points: stays
    EXPECT_EQ(track.Count, 9);
    PredictTrackAdd(track, 10, 60, 40);
    out = rig.Run(f, 1, 20, lostRef);
    EXPECT_EQ(std::tuple(out.x, out.y), std::tuple(70, 40));
    // Found: the position joins the track; without "Estimated track" nothing is recorded.
    out = rig.Run(f, 1, 21, 0);
    EXPECT_FALSE(out.lost);
    EXPECT_EQ(track.Count, 11);
    EXPECT_EQ(track.Frames[size_t(track.Head)], 21);
    EXPECT_EQ(track.X[size_t(track.Head)], kX);
    rig.state.ForAllLines(1, [](DataLineObject& o) { o.EstimatedTrack = 0; });
    rig.Run(f, 1, 22, 0);
    EXPECT_EQ(track.Count, 11);
}

TEST(TrackStarPsf, AutomaticFrame2OnlyOnTheFirstLostFrame) {
    PsfRig rig;
    rig.controls.AutoPassedPoints = true;
    rig.state.FrameObject(1).PosX = 77;
    rig.state.FrameObject(1).PosY = 55;
    // Found in place, but fainter than 20 % of the reference.
    const Bitmap24 sky = StarFrame(rig.tmpl, kX, kY);
    const double ref = 10 * rig.CentredNet(1);
    const FramePoint& p = rig.state.TrackRefPoints[1][2];
    TrackOutcome out = rig.Run(sky, 1, 300, ref);
    EXPECT_TRUE(out.lost && out.frame2Set);
    EXPECT_EQ(rig.tracking.StarLostFlag, 1);
    EXPECT_EQ(std::tuple(p.frame, p.x, p.y), std::tuple(300, 77, 55));
    EXPECT_FALSE(rig.Run(sky, 1, 301, ref).frame2Set);
    rig.tracking.StarLostFlag = 0;
    rig.Run(sky, 2, 302, ref);  // object B never touches A's points
    EXPECT_EQ(p.frame, 300);
}

TEST(TrackStarPsf, WithoutATemplateTheCentroidTrackerRuns) {
    PsfRig rig;
    const Bitmap24 f = StarFrame(rig.tmpl, kX + 3, kY + 2);
    const TrackOutcome centroid = TrackStar(f, rig.masks.TrackMask[1], rig.state.FrameObject(1), kX, kY, kGaussianOff);
    EXPECT_EQ(std::tuple(centroid.x, centroid.y), std::tuple(kX + 3, kY + 2));
    EXPECT_TRUE(HasPsfTemplate(rig.psf, 1));
    rig.psf.PsfTemplate[1] = PsfTemplateGrid{};
    EXPECT_FALSE(HasPsfTemplate(rig.psf, 1));
    const TrackOutcome out = rig.Run(f, 1, 5, 1e9);
    EXPECT_EQ(std::tuple(out.x, out.y, out.lost), std::tuple(centroid.x, centroid.y, false));
    rig.psf.PsfTemplate[1].at(25, -25) = 1e-300;  // one non-zero cell counts as a template
    EXPECT_TRUE(HasPsfTemplate(rig.psf, 1));
}

TEST(TrackStarPsf, EdgesAndTinyFrames) {
    PsfRig rig;
    // A star on the last column stays there; a position past the edge comes back inside.
    const Bitmap24 f = StarFrame(rig.tmpl, kW - 1, kY);
    EXPECT_EQ(rig.Run(f, 1, 0, 0, kW - 1).x, kW - 1);
    rig.controls.TrackRadiusControl = 8;
    const int x = rig.Run(f, 1, 0, 0, kW + 2).x;
    EXPECT_TRUE(x <= kW - 1 && x >= kW - 8) << x;
    // Tiny and empty frames: nothing is read, positions stay in range.
    for (auto [w, h] : {std::pair{1, 1}, {0, 0}, {3, 2}}) {
        const TrackOutcome o = TrackStarPsf(Bitmap24(w, h), 0, 1, 0, 0, rig.state, rig.masks, rig.tracking, rig.psf, rig.controls);
        EXPECT_TRUE(o.x >= 0 && o.y >= 0) << w << "x" << h;
    }
}

}  // namespace
