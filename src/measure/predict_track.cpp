#include "measure/predict_track.h"

#include <algorithm>
#include <limits>

#include "platform/numtext.h"

namespace {

void ClearFit(PredictTrackRecord& t) {
    t.SlopeX = t.InterceptX = t.SpareX = 0;
    t.SlopeY = t.InterceptY = t.SpareY = 0;
}

int32_t ToInt32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

void PredictTrackReset(PredictTrackRecord& t) {
    t.Enabled = 1;
    t.Count = -1;
    t.Head = -1;
    t.Frames.fill(0);
    t.X.fill(100.0);
    t.Y.fill(100.0);
}

void PredictTrackAdd(PredictTrackRecord& t, int32_t frame, double x, double y) {
    if (t.Count < std::numeric_limits<int32_t>::max()) ++t.Count;
    if (t.Head < 0 || t.Head >= kPredictTrackRing - 1)
        t.Head = 0;
    else
        ++t.Head;
    const auto h = static_cast<size_t>(t.Head);
    t.Frames[h] = frame;
    t.X[h] = x;
    t.Y[h] = y;
    ClearFit(t);
}

int32_t PredictTrackSlot(const PredictTrackRecord& t, int32_t j) {
    constexpr int32_t kNone = -1000;
    const int32_t range = std::min(t.FrameRange, kPredictTrackRing - 1);
    if (j > 0 || j < -range || j < -t.Count || t.Head < 0 || t.Head >= kPredictTrackRing) return kNone;
    const int32_t s = t.Head + j;
    return s < 0 ? kPredictTrackRing + s : s;
}

int PredictTrackFit(PredictTrackRecord& t) {
    ClearFit(t);
    if (t.Count < 10) return kPredictFitFailed;
    const int64_t t0 = t.Frames[static_cast<size_t>(t.Head)];
    long double n = 0, su = 0, suu = 0, sux = 0, sx = 0, suy = 0, sy = 0;
    bool distinct = false;
    for (int32_t j = -std::min(t.FrameRange, kPredictTrackRing - 1); j <= 0; ++j) {
        const int32_t s = PredictTrackSlot(t, j);
        if (s < 0) continue;
        const auto i = static_cast<size_t>(s);
        const int64_t u = t.Frames[i] - t0;  // whole frames about the newest point
        distinct = distinct || u != 0;
        const long double lu = static_cast<long double>(u);
        n += 1;
        su += lu;
        suu += lu * lu;
        sux += lu * t.X[i];
        sx += t.X[i];
        suy += lu * t.Y[i];
        sy += t.Y[i];
    }
    // One frame only: there is no line to draw, and a zero slope would send a lost
    // star to the origin.
    if (!distinct) return kPredictFitFailed;
    const long double d = n * suu - su * su;
    const long double slopeX = (n * sux - su * sx) / d;
    const long double slopeY = (n * suy - su * sy) / d;
    const long double at0X = (suu * sx - sux * su) / d;
    const long double at0Y = (suu * sy - suy * su) / d;
    t.SlopeX = static_cast<double>(slopeX);
    t.InterceptX = static_cast<double>(at0X - slopeX * static_cast<long double>(t0));
    t.SlopeY = static_cast<double>(slopeY);
    t.InterceptY = static_cast<double>(at0Y - slopeY * static_cast<long double>(t0));
    return kPredictFitOk;
}

int32_t PredictTrackX(const PredictTrackRecord& t, int32_t frame) {
    return ToInt32(numtext::RoundHalfAway(t.SlopeX * frame + t.InterceptX));
}

int32_t PredictTrackY(const PredictTrackRecord& t, int32_t frame) {
    return ToInt32(numtext::RoundHalfAway(t.SlopeY * frame + t.InterceptY));
}
