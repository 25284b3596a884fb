#pragma once
// Pictures of the timing-error windows, drawn into images so tests read pixels.
#include <QImage>

#include "analysis/timing_error.h"

namespace timing {

constexpr int kCurveImageWidth = 560, kCurveImageHeight = 500;
// Pixel of a point of the error graph: 30 pixels per 0.1 of noise, 36 per frame.
int CurveX(double noise);
int CurveY(double error);
// Axes, ticks, titles, the curve TimingErrorEstimate(i / 100) for i = 0..155 and
// the 31 reference points as red 4 x 4 circles.
void DrawTimingErrorGraph(QImage& image);

constexpr int kRunImageWidth = 900, kRunImageHeight = 400;
// One run: samples at x = 450 + RoundHalfAway(i x 4) x factor, y = 240 - 80 value.
void DrawSimulationRun(QImage& image, const Run& run, int graphWidthFactor);

}  // namespace timing
