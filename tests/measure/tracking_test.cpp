// The centroid tracker against positions computed from the definition by numpy
// (golden file written by tracking_oracle.py), the template tracker on frames
// rendered from its own template, and the reference points.
#include "measure/tracking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "support/test_util.h"

namespace {

const std::string kGoldenPath = testutil::DataFile("measure/tracking_golden.txt");

struct TrackCase {
    int w = 0, h = 0, x = 0, y = 0, maskRadius = 0, radius = 0, threshold = 0;
    std::vector<int> rgb;
    int ex = 0, ey = 0, found = 0;
};

std::vector<TrackCase> ReadTrackCases() {
    std::vector<TrackCase> cases;
    std::istringstream lines(testutil::ReadAll(kGoldenPath));
    std::string line;
    bool inTrack = false;
    while (std::getline(lines, line)) {
        std::istringstream ss(line);
        std::string key;
        ss >> key;
        if (key == "track") {
            cases.emplace_back();
            TrackCase& c = cases.back();
            ss >> c.w >> c.h >> c.x >> c.y >> c.maskRadius >> c.radius >> c.threshold;
            inTrack = true;
        } else if (key == "fit") {
            inTrack = false;
        } else if (inTrack && key == "rgb") {
            int v;
            while (ss >> v) cases.back().rgb.push_back(v);
        } else if (inTrack && key == "expect") {
            ss >> cases.back().ex >> cases.back().ey >> cases.back().found;
        }
    }
    return cases;
}

Bitmap24 FrameOf(const TrackCase& c) {
    Bitmap24 f(c.w, c.h);
    for (int y = 0; y < c.h; ++y)
        for (int i = 0; i < 3 * c.w; ++i) f.Scanline(y)[i] = static_cast<uint8_t>(c.rgb[static_cast<size_t>(y * 3 * c.w + i)]);
    return f;
}

TrackGrid Disc(int r) {
    TrackGrid g;
    FillTrackDisc(g, r, 1);
    return g;
}

DataLineObject Tracked(int radius, int threshold) {
    DataLineObject o;
    o.TrackRadius = radius;
    o.TrackThreshold = threshold;
    return o;
}

void SetGrey(Bitmap24& f, int x, int y, int v) {
    uint8_t* p = f.Scanline(y) + 3 * x;
    p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
}

TEST(TrackStar, MatchesNumpyCentroids) {
    const auto cases = ReadTrackCases();
    ASSERT_EQ(cases.size(), 10u);
    for (const TrackCase& c : cases) {
        ASSERT_EQ(c.rgb.size(), static_cast<size_t>(3 * c.w * c.h));
        const TrackOutcome out = TrackStar(FrameOf(c), Disc(c.maskRadius), Tracked(c.radius, c.threshold), c.x, c.y,
                                           kGaussianOff);
        EXPECT_EQ(out.x, c.ex) << "case at " << c.x << "," << c.y;
        EXPECT_EQ(out.y, c.ey) << "case at " << c.x << "," << c.y;
        EXPECT_EQ(out.show, c.found != 0) << "case at " << c.x << "," << c.y;
    }
}

TEST(TrackStar, TiesEmptyDiscsAndEdges) {
    Bitmap24 f(40, 30);
    // Two equal columns at x 21 and 22: the star is half-way and goes to 21.
    for (int y = 14; y <= 16; ++y) {
        SetGrey(f, 21, y, 200);
        SetGrey(f, 22, y, 200);
    }
    TrackOutcome out = TrackStar(f, Disc(6), Tracked(6, 50), 20, 15, kGaussianOff);
    EXPECT_EQ(out.x, 21);
    EXPECT_EQ(out.y, 15);
    // The 3 x 3 smoothing keeps the symmetry.
    out = TrackStar(f, Disc(6), Tracked(6, 50), 20, 15, kGaussian3);
    EXPECT_EQ(out.x, 21);

    // Nothing in the disc: the position stays and nothing is shown, even far off
    // the frame.
    Bitmap24 dark(40, 30);
    for (auto [x, y] : {std::pair{10, 10}, {-500, 7}, {7, 100000}, {INT32_MAX, INT32_MIN}}) {
        out = TrackStar(dark, Disc(6), Tracked(6, 50), x, y, kGaussian3);
        EXPECT_FALSE(out.show);
        EXPECT_EQ(out.x, x);
        EXPECT_EQ(out.y, y);
    }
    // A star beyond the frame's right edge is never read; one on the last column
    // pulls the position onto that column at most.
    SetGrey(f, 39, 5, 255);
    out = TrackStar(f, Disc(6), Tracked(6, 50), 36, 5, kGaussianOff);
    EXPECT_EQ(out.x, 39);
    // The top row is never read.
    Bitmap24 top(40, 30);
    SetGrey(top, 10, 0, 255);
    EXPECT_FALSE(TrackStar(top, Disc(6), Tracked(6, 50), 10, 2, kGaussianOff).show);
    // A bright pixel outside the tracking disc is ignored.
    Bitmap24 corner(60, 60);
    SetGrey(corner, 36, 36, 255);  // offset (6, 6) lies outside the radius-6 disc
    EXPECT_FALSE(TrackStar(corner, Disc(6), Tracked(6, 50), 30, 30, kGaussianOff).show);
}

// ---- The template tracker ----

constexpr int kW = 160, kH = 120, kX = 80, kY = 60;
constexpr int kSky = 30;

// An integer-valued template, so that a frame can carry it exactly.
PsfTemplateGrid IntegerTemplate() {
    PsfTemplateGrid t;
    for (int dx = -25; dx <= 25; ++dx)
        for (int dy = -25; dy <= 25; ++dy)
            t.at(dx, dy) = std::round(150 * std::exp(-2 * (dx * dx + dy * dy) / (1.8 * 1.8)));
    return t;
}

// Sky plus the template centred at (cx, cy); grey pixels, so (R+G+B)/3 is exact.
Bitmap24 StarFrame(const PsfTemplateGrid& t, int cx, int cy) {
    Bitmap24 f(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int dx = x - cx, dy = y - cy;
            const double v = PsfTemplateGrid::InRange(dx, dy) ? t.at(dx, dy) : 0;
            SetGrey(f, x, y, kSky + static_cast<int>(v));
        }
    return f;
}

struct PsfRig {
    MeasureState state;
    MaskState masks;
    TrackingState tracking;
    PsfTemplateGrid tmpl = IntegerTemplate();
    PsfState psf;
    TrackControls controls;
    PsfRig() {
        for (int k = 1; k <= 3; ++k) {
            state.ForAllLines(k, [](DataLineObject& o) {
                o.ApertureRadius = 4;
                o.BkgInnerRadius = 10;
                o.BkgOuterRadius = 14;
                o.TrackRadius = 6;
                o.TrackThreshold = 50;
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
        EXPECT_EQ(r.sx, sx);
        EXPECT_EQ(r.sy, sy);
        EXPECT_NEAR(r.net, rig.CentredNet(1), 1e-9);
        const TrackOutcome out = rig.Run(f, 1);
        EXPECT_EQ(out.x, kX + sx);
        EXPECT_EQ(out.y, kY + sy);
        EXPECT_TRUE(out.show);
        EXPECT_FALSE(out.lost);
    }
}

TEST(TrackStarPsf, ShiftBeyondTheControlLimitStays) {
    PsfRig rig;
    // (6, 5) lies inside the narrow disc (radius round(1.4 x 6) = 8) but rounds to
    // 8 pixels, beyond the control's 6.
    const Bitmap24 f = StarFrame(rig.tmpl, kX + 6, kY + 5);
    TrackOutcome out = rig.Run(f, 1);
    EXPECT_EQ(out.x, kX);
    EXPECT_EQ(out.y, kY);
    rig.controls.TrackRadiusControl = 8;
    out = rig.Run(f, 1);
    EXPECT_EQ(out.x, kX + 6);
    EXPECT_EQ(out.y, kY + 5);
}

TEST(TrackStarPsf, LostTestAroundTheLimit) {
    PsfRig rig;
    rig.tracking.LostPercent[1] = 50;
    const Bitmap24 f = StarFrame(rig.tmpl, kX + 2, kY + 1);
    const double net = rig.CentredNet(1);
    // Limit = 50 % of the reference flux, just above and just below the net.
    TrackOutcome out = rig.Run(f, 1, 100, 2 * net + 0.01);
    EXPECT_TRUE(out.lost);
    EXPECT_EQ(out.x, kX);
    EXPECT_EQ(out.y, kY);
    out = rig.Run(f, 1, 100, 2 * net - 0.01);
    EXPECT_FALSE(out.lost);
    EXPECT_EQ(out.x, kX + 2);
    EXPECT_EQ(out.y, kY + 1);
}

TEST(TrackStarPsf, LostStarFollowsThePredictionWithElevenPoints) {
    PsfRig rig;
    rig.state.ForAllLines(1, [](DataLineObject& o) { o.EstimatedTrack = 1; });
    rig.controls.EstimatedTrack = true;
    PredictTrackRecord& track = rig.tracking.PredictTrack[1];
    PredictTrackReset(track);
    // Ten points of a track moving one pixel per frame in x.
    for (int n = 0; n < 10; ++n) PredictTrackAdd(track, n, 50 + n, 40);
    const Bitmap24 f = StarFrame(rig.tmpl, kX, kY);
    const double lostRef = 10 * rig.CentredNet(1);  // 20 % of it is above the net
    TrackOutcome out = rig.Run(f, 1, 20, lostRef);
    EXPECT_TRUE(out.lost);
    EXPECT_EQ(out.x, kX);  // too few points: stays
    EXPECT_EQ(track.Count, 9);
    PredictTrackAdd(track, 10, 60, 40);
    out = rig.Run(f, 1, 20, lostRef);
    EXPECT_EQ(out.x, 70);
    EXPECT_EQ(out.y, 40);
    // Found: the position joins the track.
    out = rig.Run(f, 1, 21, 0);
    EXPECT_FALSE(out.lost);
    EXPECT_EQ(track.Count, 11);
    EXPECT_EQ(track.Frames[static_cast<size_t>(track.Head)], 21);
    EXPECT_EQ(track.X[static_cast<size_t>(track.Head)], kX);
    // Without the object's "Estimated track" nothing is recorded.
    rig.state.ForAllLines(1, [](DataLineObject& o) { o.EstimatedTrack = 0; });
    rig.Run(f, 1, 22, 0);
    EXPECT_EQ(track.Count, 11);
}

TEST(TrackStarPsf, ObjectBSearchesWideWhenLost) {
    PsfRig rig;
    const Bitmap24 f = StarFrame(rig.tmpl, kX + 15, kY - 3);
    const double ref = rig.CentredNet(2);
    TrackOutcome out = rig.Run(f, 2, 100, ref);
    EXPECT_FALSE(out.lost);
    EXPECT_EQ(out.x, kX + 15);
    EXPECT_EQ(out.y, kY - 3);
    // Object A gets the narrow search only and keeps its place.
    out = rig.Run(f, 1, 100, ref);
    EXPECT_EQ(out.x, kX);
    EXPECT_EQ(out.y, kY);
    // During the learning pass B gets the narrow search only, too.
    rig.psf.ProfileLearning = 1;
    out = rig.Run(f, 2, 100, ref);
    EXPECT_EQ(out.x, kX);
}

TEST(TrackStarPsf, AutomaticFrame2OnlyOnTheFirstLostFrame) {
    PsfRig rig;
    rig.controls.AutoPassedPoints = true;
    rig.state.FrameObject(1).PosX = 77;
    rig.state.FrameObject(1).PosY = 55;
    // Found in place, but fainter than 20 % of the reference.
    const Bitmap24 sky = StarFrame(rig.tmpl, kX, kY);
    const double ref = 10 * rig.CentredNet(1);
    TrackOutcome out = rig.Run(sky, 1, 300, ref);
    EXPECT_TRUE(out.lost);
    EXPECT_TRUE(out.frame2Set);
    EXPECT_EQ(rig.tracking.StarLostFlag, 1);
    EXPECT_EQ(rig.state.TrackRefPoints[1][2].frame, 300);
    EXPECT_EQ(rig.state.TrackRefPoints[1][2].x, 77);
    EXPECT_EQ(rig.state.TrackRefPoints[1][2].y, 55);
    out = rig.Run(sky, 1, 301, ref);
    EXPECT_FALSE(out.frame2Set);
    EXPECT_EQ(rig.state.TrackRefPoints[1][2].frame, 300);
    // Object B never touches A's points.
    rig.tracking.StarLostFlag = 0;
    rig.Run(sky, 2, 302, ref);
    EXPECT_EQ(rig.state.TrackRefPoints[1][2].frame, 300);
}

TEST(TrackStarPsf, WithoutATemplateTheCentroidTrackerRuns) {
    PsfRig rig;
    const Bitmap24 f = StarFrame(rig.tmpl, kX + 3, kY + 2);
    const TrackOutcome centroid = TrackStar(f, rig.masks.TrackMask[1], rig.state.FrameObject(1), kX, kY, kGaussianOff);
    EXPECT_TRUE(HasPsfTemplate(rig.psf, 1));
    rig.psf.PsfTemplate[1] = PsfTemplateGrid{};
    EXPECT_FALSE(HasPsfTemplate(rig.psf, 1));
    const TrackOutcome out = rig.Run(f, 1, 5, 1e9);
    EXPECT_EQ(out.x, centroid.x);
    EXPECT_EQ(out.y, centroid.y);
    EXPECT_FALSE(out.lost);
    // One non-zero cell counts as a template.
    rig.psf.PsfTemplate[1].at(25, -25) = 1e-300;
    EXPECT_TRUE(HasPsfTemplate(rig.psf, 1));
    EXPECT_EQ(centroid.x, kX + 3);
    EXPECT_EQ(centroid.y, kY + 2);
}

TEST(TrackStarPsf, EdgesAndTinyFrames) {
    PsfRig rig;
    // A star on the last column stays there; a position past the edge (from a
    // file, say) comes back inside the frame.
    const Bitmap24 f = StarFrame(rig.tmpl, kW - 1, kY);
    TrackOutcome out = rig.Run(f, 1, 0, 0, kW - 1);
    EXPECT_EQ(out.x, kW - 1);
    rig.controls.TrackRadiusControl = 8;
    out = rig.Run(f, 1, 0, 0, kW + 2);
    EXPECT_LE(out.x, kW - 1);
    EXPECT_GE(out.x, kW - 8);
    // A 1 x 1 frame and an empty one: nothing is read, positions stay in range.
    for (auto [w, h] : {std::pair{1, 1}, {0, 0}, {3, 2}}) {
        Bitmap24 tiny(w, h);
        const TrackOutcome o = TrackStarPsf(tiny, 0, 1, 0, 0, rig.state, rig.masks, rig.tracking, rig.psf, rig.controls);
        EXPECT_GE(o.x, 0);
        EXPECT_GE(o.y, 0);
    }
}

TEST(TrackRefPoints, SetAndClear) {
    MeasureState s;
    s.FrameObject(2).PosX = 12;
    s.FrameObject(2).PosY = 34;
    EXPECT_EQ(SetTrackRefPoint1(s, 2, 1234), "1234");
    EXPECT_EQ(SetTrackRefPoint2(s, 2, 0), "0");
    EXPECT_EQ(s.TrackRefPoints[2][1].frame, 1234);
    EXPECT_EQ(s.TrackRefPoints[2][1].x, 12);
    EXPECT_EQ(s.TrackRefPoints[2][2].y, 34);
    EXPECT_TRUE(s.TrackRefPoints[2][2].IsSet());
    s.TrackRefPoints[2][0] = {5, 6, 7};
    ClearTrackStartPoint(s, 2);
    ClearTrackRefPoint1(s, 2);
    ClearTrackRefPoint2(s, 2);
    for (const FramePoint& p : s.TrackRefPoints[2]) {
        EXPECT_EQ(p.frame, -100);
        EXPECT_EQ(p.x, -100);
        EXPECT_EQ(p.y, -100);
    }
    for (int k = 1; k <= 3; ++k) s.LinkRefPoints[k] = {FramePoint{1, 2, 3}, FramePoint{4, 5, 6}};
    ClearLinkRefPoint1(s);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_FALSE(s.LinkRefPoints[k][0].IsSet());
        EXPECT_EQ(s.LinkRefPoints[k][1].frame, 4);
    }
    ClearLinkRefPoint2(s);
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(s.LinkRefPoints[k][1].y, -100);
    EXPECT_STREQ(kFrame1Caption, "Frame1");
    EXPECT_STREQ(kFrame2Caption, "Frame2");
}

// Re-derives the golden file with numpy when it is installed, so the checked-in
// reference cannot drift from its script.
TEST(TrackingOracle, ScriptReproducesGolden) {
    if (testutil::Run("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0) GTEST_SKIP() << "numpy not available";
    testutil::TempDir dir;
    const std::string out = dir.File("golden.txt");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + std::string(TEVORIN_SOURCE_DIR) +
                            "/tests/measure/tracking_oracle.py' --out '" + out + "'"),
              0);
    EXPECT_EQ(testutil::ReadAll(out), testutil::ReadAll(kGoldenPath));
}

}  // namespace
