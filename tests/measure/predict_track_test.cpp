// The predicted track: ring and slot rules by construction, the fit against
// numpy.polyfit (golden file written by tracking_oracle.py).
#include "measure/predict_track.h"

#include <cmath>
#include <functional>

#include "golden.h"

namespace {

PredictTrackRecord Track(int n, const std::function<void(PredictTrackRecord&, int)>& add) {
    PredictTrackRecord t;
    PredictTrackReset(t);
    for (int i = 0; i < n; ++i) add(t, i);
    return t;
}

TEST(PredictTrack, FitMatchesNumpyPolyfit) {
    const auto cases = golden::Of(golden::Read("tracking_golden.txt", {"track", "fit"}), "fit");
    ASSERT_EQ(cases.size(), 5u);
    for (const golden::Block& c : cases) {
        const std::vector<double>&frames = c.f.at("frames"), &x = c.f.at("x"), &want = c.f.at("expect");
        ASSERT_EQ(frames.size(), size_t(c.H(0)));
        ASSERT_EQ(want.size(), 4u);
        PredictTrackRecord t = Track(c.H(0), [&](PredictTrackRecord& t, int i) {
            PredictTrackAdd(t, int32_t(frames[size_t(i)]), x[size_t(i)], c.f.at("y")[size_t(i)]);
        });
        t.FrameRange = c.H(1);
        ASSERT_EQ(PredictTrackFit(t), kPredictFitOk) << c.H(0) << " points";
        const double got[] = {t.SlopeX, t.InterceptX, t.SlopeY, t.InterceptY};
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[size_t(i)], 1e-9 * std::max(1.0, std::abs(want[size_t(i)]))) << c.H(0) << " points, " << i;
        // The prediction at the newest frame rounds the fitted line.
        const int32_t f = int32_t(frames.back());
        EXPECT_EQ(PredictTrackX(t, f), int32_t(std::lround(want[0] * f + want[1])));
    }
}

TEST(PredictTrack, RingAndSlots) {
    PredictTrackRecord t;
    EXPECT_EQ(std::tuple(t.Enabled, t.FrameRange), std::tuple(0, 30));
    PredictTrackReset(t);
    EXPECT_EQ(std::tuple(t.Enabled, t.Count, t.Head, t.X[999]), std::tuple(1, -1, -1, 100.0));
    EXPECT_EQ(PredictTrackSlot(t, 0), -1000);  // empty
    for (int i = 0; i < 5; ++i) PredictTrackAdd(t, 10 + i, i, -i);
    EXPECT_EQ(std::tuple(t.Count, t.Head), std::tuple(4, 4));
    // Slots back from the newest point; -1000 beyond the points, the future, the ring or the frame range.
    for (auto [back, want] : {std::pair{0, 4}, {-4, 0}, {-5, -1000}, {1, -1000}}) EXPECT_EQ(PredictTrackSlot(t, back), want) << back;
    for (int i = 5; i < 1003; ++i) PredictTrackAdd(t, 10 + i, i, -i);  // the ring wraps past 1,000 points
    EXPECT_EQ(std::tuple(t.Head, t.Count, t.Frames[2], t.Frames[0], t.Frames[999]), std::tuple(2, 1002, 1012, 1010, 1009));
    for (auto [back, want] : {std::pair{-3, 999}, {-30, 972}, {-31, -1000}}) EXPECT_EQ(PredictTrackSlot(t, back), want) << back;
    t.FrameRange = 5000;  // a range past the ring never reaches round to the newest point again
    EXPECT_EQ(PredictTrackSlot(t, -999), 3);
    EXPECT_EQ(PredictTrackSlot(t, -1000), -1000);
    ASSERT_EQ(PredictTrackFit(t), kPredictFitOk);
    EXPECT_NEAR(t.SlopeX, 1.0, 1e-12);
    EXPECT_NEAR(t.InterceptX, -10.0, 1e-9);
    EXPECT_NEAR(t.SlopeY, -1.0, 1e-12);
    PredictTrackAdd(t, 2000, 0, 0);  // adding a point clears the fit
    EXPECT_EQ(std::tuple(t.SlopeX, t.InterceptY), std::tuple(0.0, 0.0));
}

TEST(PredictTrack, ElevenPointsAreNeededAndOneFrameIsNoLine) {
    PredictTrackRecord t = Track(10, [](PredictTrackRecord& t, int i) { PredictTrackAdd(t, i, 2.0 * i + 1, 5); });
    EXPECT_EQ(PredictTrackFit(t), kPredictFitFailed);
    EXPECT_EQ(t.SlopeX, 0.0);
    PredictTrackAdd(t, 10, 21, 5);
    ASSERT_EQ(PredictTrackFit(t), kPredictFitOk);
    EXPECT_NEAR(t.SlopeX, 2.0, 1e-12);
    EXPECT_NEAR(t.InterceptX, 1.0, 1e-12);
    EXPECT_EQ(std::tuple(PredictTrackX(t, 20), PredictTrackY(t, 20)), std::tuple(41, 5));
    // Every point on one frame: no prediction (a zero line would send the star to the origin); two frames will do.
    t = Track(20, [](PredictTrackRecord& t, int i) { PredictTrackAdd(t, 77, 100 + i, 50); });
    EXPECT_EQ(PredictTrackFit(t), kPredictFitFailed);
    EXPECT_EQ(std::tuple(t.SlopeX, t.InterceptX), std::tuple(0.0, 0.0));
    PredictTrackAdd(t, 78, 200, 52);
    EXPECT_EQ(PredictTrackFit(t), kPredictFitOk);
}

TEST(PredictTrack, LargeFrameNumbersAndHalves) {
    // t^2 passes 32 bits beyond frame 46,340; the fit must not care.
    PredictTrackRecord t =
        Track(40, [](PredictTrackRecord& t, int i) { PredictTrackAdd(t, 2'000'000'000 + 3 * i, 0.5 * i + 10, 300 - 0.25 * i); });
    ASSERT_EQ(PredictTrackFit(t), kPredictFitOk);
    EXPECT_EQ(PredictTrackX(t, 2'000'000'000 + 3 * 52), 36);   // 0.5 x 52 + 10
    EXPECT_EQ(PredictTrackY(t, 2'000'000'000 + 3 * 52), 287);  // 300 - 0.25 x 52
    // Halves go away from zero.
    t = Track(12, [](PredictTrackRecord& t, int i) { PredictTrackAdd(t, 2 * i, -0.25 * i - 10, 0.25 * i + 20); });
    ASSERT_EQ(PredictTrackFit(t), kPredictFitOk);
    for (auto [frame, x, y] : {std::tuple{1, -10, 20}, {4, -11, 21}, {12, -12, 22}}) {  // x -10.125, -10.5, -11.5; y 20.125, 20.5, 21.5
        EXPECT_EQ(PredictTrackX(t, frame), x) << frame;
        EXPECT_EQ(PredictTrackY(t, frame), y) << frame;
    }
}

}  // namespace
