// The predicted track: ring and slot rules by construction, the fit against
// numpy.polyfit (golden file written by tracking_oracle.py).
#include "measure/predict_track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "support/test_util.h"

namespace {

struct FitCase {
    int n = 0, range = 0;
    std::vector<int32_t> frames;
    std::vector<double> x, y;
    double slopeX = 0, interceptX = 0, slopeY = 0, interceptY = 0;
};

std::vector<FitCase> ReadFitCases() {
    std::vector<FitCase> cases;
    std::istringstream lines(testutil::ReadAll(testutil::DataFile("measure/tracking_golden.txt")));
    std::string line;
    bool inFit = false;
    while (std::getline(lines, line)) {
        std::istringstream ss(line);
        std::string key;
        ss >> key;
        if (key == "fit") {
            cases.emplace_back();
            ss >> cases.back().n >> cases.back().range;
            inFit = true;
        } else if (key == "track") {
            inFit = false;
        } else if (inFit) {
            FitCase& c = cases.back();
            std::string tok;
            if (key == "frames") {
                while (ss >> tok) c.frames.push_back(static_cast<int32_t>(std::strtol(tok.c_str(), nullptr, 10)));
            } else if (key == "x" || key == "y") {
                while (ss >> tok) (key == "x" ? c.x : c.y).push_back(std::strtod(tok.c_str(), nullptr));
            } else if (key == "expect") {
                std::vector<double> v;
                while (ss >> tok) v.push_back(std::strtod(tok.c_str(), nullptr));
                if (v.size() == 4) {
                    c.slopeX = v[0];
                    c.interceptX = v[1];
                    c.slopeY = v[2];
                    c.interceptY = v[3];
                }
            }
        }
    }
    return cases;
}

void ExpectClose(double got, double want, const std::string& what) {
    EXPECT_NEAR(got, want, 1e-9 * std::max(1.0, std::abs(want))) << what;
}

TEST(PredictTrack, FitMatchesNumpyPolyfit) {
    const auto cases = ReadFitCases();
    ASSERT_EQ(cases.size(), 5u);
    for (const FitCase& c : cases) {
        ASSERT_EQ(c.frames.size(), static_cast<size_t>(c.n));
        ASSERT_EQ(c.x.size(), static_cast<size_t>(c.n));
        PredictTrackRecord t;
        PredictTrackReset(t);
        t.FrameRange = c.range;
        for (int i = 0; i < c.n; ++i) PredictTrackAdd(t, c.frames[static_cast<size_t>(i)], c.x[static_cast<size_t>(i)], c.y[static_cast<size_t>(i)]);
        const std::string what = "case of " + std::to_string(c.n) + " points";
        ASSERT_EQ(PredictTrackFit(t), kPredictFitOk) << what;
        ExpectClose(t.SlopeX, c.slopeX, what);
        ExpectClose(t.InterceptX, c.interceptX, what);
        ExpectClose(t.SlopeY, c.slopeY, what);
        ExpectClose(t.InterceptY, c.interceptY, what);
        // The prediction at the newest frame rounds the fitted line.
        const int32_t f = c.frames.back();
        EXPECT_EQ(PredictTrackX(t, f), static_cast<int32_t>(std::lround(c.slopeX * f + c.interceptX))) << what;
    }
}

TEST(PredictTrack, RingAndSlots) {
    PredictTrackRecord t;
    EXPECT_EQ(t.Enabled, 0);
    EXPECT_EQ(t.FrameRange, 30);
    PredictTrackReset(t);
    EXPECT_EQ(t.Enabled, 1);
    EXPECT_EQ(t.Count, -1);
    EXPECT_EQ(t.Head, -1);
    EXPECT_EQ(t.X[999], 100.0);
    EXPECT_EQ(PredictTrackSlot(t, 0), -1000);  // empty

    for (int i = 0; i < 5; ++i) PredictTrackAdd(t, 10 + i, i, -i);
    EXPECT_EQ(t.Count, 4);
    EXPECT_EQ(t.Head, 4);
    EXPECT_EQ(PredictTrackSlot(t, 0), 4);
    EXPECT_EQ(PredictTrackSlot(t, -4), 0);
    EXPECT_EQ(PredictTrackSlot(t, -5), -1000);  // beyond the points
    EXPECT_EQ(PredictTrackSlot(t, 1), -1000);

    // Past 1,000 points the ring wraps: the points before the wrap are at its end.
    for (int i = 5; i < 1003; ++i) PredictTrackAdd(t, 10 + i, i, -i);
    EXPECT_EQ(t.Head, 2);
    EXPECT_EQ(t.Count, 1002);
    EXPECT_EQ(t.Frames[2], 1012);
    EXPECT_EQ(t.Frames[0], 1010);
    EXPECT_EQ(PredictTrackSlot(t, -3), 999);
    EXPECT_EQ(t.Frames[999], 1009);
    EXPECT_EQ(PredictTrackSlot(t, -30), 972);
    EXPECT_EQ(PredictTrackSlot(t, -31), -1000);  // beyond the frame range
    // A frame range past the ring never reaches round to the newest point again.
    t.FrameRange = 5000;
    EXPECT_EQ(PredictTrackSlot(t, -999), 3);
    EXPECT_EQ(PredictTrackSlot(t, -1000), -1000);
    ASSERT_EQ(PredictTrackFit(t), kPredictFitOk);
    EXPECT_NEAR(t.SlopeX, 1.0, 1e-12);
    EXPECT_NEAR(t.InterceptX, -10.0, 1e-9);
    EXPECT_NEAR(t.SlopeY, -1.0, 1e-12);

    // Adding a point clears the fit.
    PredictTrackAdd(t, 2000, 0, 0);
    EXPECT_EQ(t.SlopeX, 0.0);
    EXPECT_EQ(t.InterceptY, 0.0);
}

TEST(PredictTrack, ElevenPointsAreNeededAndOneFrameIsNoLine) {
    PredictTrackRecord t;
    PredictTrackReset(t);
    for (int i = 0; i < 10; ++i) PredictTrackAdd(t, i, 2.0 * i + 1, 5);
    EXPECT_EQ(PredictTrackFit(t), kPredictFitFailed);
    EXPECT_EQ(t.SlopeX, 0.0);
    PredictTrackAdd(t, 10, 21, 5);
    ASSERT_EQ(PredictTrackFit(t), kPredictFitOk);
    EXPECT_NEAR(t.SlopeX, 2.0, 1e-12);
    EXPECT_NEAR(t.InterceptX, 1.0, 1e-12);
    EXPECT_EQ(PredictTrackX(t, 20), 41);
    EXPECT_EQ(PredictTrackY(t, 20), 5);

    // Every point on one frame: no prediction (a zero line would send the star to
    // the origin).
    PredictTrackReset(t);
    for (int i = 0; i < 20; ++i) PredictTrackAdd(t, 77, 100 + i, 50);
    EXPECT_EQ(PredictTrackFit(t), kPredictFitFailed);
    EXPECT_EQ(t.SlopeX, 0.0);
    EXPECT_EQ(t.InterceptX, 0.0);
    // Two distinct frames are enough.
    PredictTrackAdd(t, 78, 200, 52);
    EXPECT_EQ(PredictTrackFit(t), kPredictFitOk);
}

TEST(PredictTrack, LargeFrameNumbersAndHalves) {
    PredictTrackRecord t;
    PredictTrackReset(t);
    // t^2 passes 32 bits beyond frame 46,340; the fit must not care.
    for (int i = 0; i < 40; ++i) PredictTrackAdd(t, 2'000'000'000 + 3 * i, 0.5 * i + 10, 300 - 0.25 * i);
    ASSERT_EQ(PredictTrackFit(t), kPredictFitOk);
    const int32_t f = 2'000'000'000 + 3 * 52;
    EXPECT_EQ(PredictTrackX(t, f), 36);   // 0.5 x 52 + 10
    EXPECT_EQ(PredictTrackY(t, f), 287);  // 300 - 0.25 x 52

    // Halves go away from zero.
    PredictTrackReset(t);
    for (int i = 0; i < 12; ++i) PredictTrackAdd(t, 2 * i, -0.25 * i - 10, 0.25 * i + 20);
    ASSERT_EQ(PredictTrackFit(t), kPredictFitOk);
    EXPECT_EQ(PredictTrackX(t, 1), -10);  // -10.125
    EXPECT_EQ(PredictTrackX(t, 4), -11);  // -10.5
    EXPECT_EQ(PredictTrackY(t, 4), 21);   // 20.5
    EXPECT_EQ(PredictTrackY(t, 12), 22);  // 21.5
}

}  // namespace
