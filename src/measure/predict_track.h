#pragma once
// The predicted star track: a ring of the positions the PSF tracker found for one
// object, and a straight-line fit of x and of y against the frame number that
// tells where the star should be while it cannot be seen.
#include <array>
#include <cstdint>

inline constexpr int kPredictTrackRing = 1000;

struct PredictTrackRecord {
    uint8_t Enabled = 0;     // "Enabled" box of the object in the settings window
    int32_t FrameRange = 30; // how many points back the fit may reach (10..300)
    int32_t Count = -1;      // points recorded minus 1 (-1 empty)
    int32_t Head = -1;       // ring index of the newest point (-1 empty)
    std::array<int32_t, kPredictTrackRing> Frames{};
    std::array<double, kPredictTrackRing> X{};
    std::array<double, kPredictTrackRing> Y{};
    // x = SlopeX x frame + InterceptX, y likewise.
    double SlopeX = 0, InterceptX = 0, SpareX = 0;
    double SlopeY = 0, InterceptY = 0, SpareY = 0;
};

// Enabled := 1, the ring emptied (frames 0, positions 100.0).
void PredictTrackReset(PredictTrackRecord& t);
// Records one found position as the newest point; clears the fit.
void PredictTrackAdd(PredictTrackRecord& t, int32_t frame, double x, double y);
// Ring index of the point j steps back (j <= 0), or -1000 when there is no such
// point within FrameRange (FrameRange is taken as at most 999, so no ring cell
// is ever counted twice).
int32_t PredictTrackSlot(const PredictTrackRecord& t, int32_t j);

inline constexpr int kPredictFitOk = 0;
inline constexpr int kPredictFitFailed = 1;
// Least-squares lines through the points j = -FrameRange..0. Fails (fit values 0,
// result 1) with fewer than 11 points recorded or when the points used all lie on
// one frame. The sums are taken about the newest frame in extended precision, so
// frame numbers of any size give the same accuracy.
int PredictTrackFit(PredictTrackRecord& t);
// The fitted position at a frame, halves away from zero, saturated to int32.
int32_t PredictTrackX(const PredictTrackRecord& t, int32_t frame);
int32_t PredictTrackY(const PredictTrackRecord& t, int32_t frame);
