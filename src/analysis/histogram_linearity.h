#pragma once
// Grey-level histogram of the shown frame and the fixed LED-drift linearity example.
#include <array>
#include <cstdint>
#include <string>

#include <QFont>
#include <QImage>
#include <QRect>
#include <vector>

class QPainter;

namespace histogram {

using Bins = std::array<uint64_t, 256>;

// Counts the red component of every pixel of the top-left width x height area
// (clipped to the image).
Bins HistogramBins(const QImage& frame, int width, int height);
// Clears `canvas` white, draws bin i as magenta lines at x = 30 + 2i and 31 + 2i
// from y = 530 up RoundHalfAway(count / scale) pixels, then the black axes.
void DrawHistogram(QImage& canvas, const Bins& bins, int scale);
constexpr int kCanvasWidth = 580, kCanvasHeight = 560;

}  // namespace histogram

namespace linearity {

// Intensity measured at LED time shifts of 0..70 ms.
extern const std::array<double, 71> kLinearityExample;
constexpr double kLinearityIntercept = -6551.42576923076;
constexpr double kLinearitySlope = 1530.33069230769;  // per millisecond
// The memo text.
std::string LinearityText();

constexpr int kGraphWidth = 600, kGraphHeight = 400;
constexpr double kIntensityTop = 40000;  // the vertical axis' range from 0
// Pixel of time t (ms) and intensity v in a picture of the given size: the time
// axis spans width - 70 pixels from x = 40, the intensity origin is 60 pixels
// above the bottom.
int LinearityX(int width, double t);
int LinearityY(int height, double v);
// The axes' rectangle, from (0 ms, 40000) to (70 ms, 0).
QRect LinearityPlot(int width, int height);

// A text of the graph: its box in the picture (a turned text's box is upright,
// as tall as the text is long) and what it says.
struct GraphText {
    QRect box;
    std::string text;
    bool turned = false;  // read from the bottom up
};
QFont LinearityFont();
// Every text of the graph in `font`, none over another: the time labels every
// 10 ms, the intensity labels every 20,000 (ticks every 10,000) and the two
// titles, the turned one between the labels 20000 and 40000.
std::vector<GraphText> LinearityTexts(int width, int height, const QFont& font);
void DrawGraphText(QPainter& p, const GraphText& t);

// Clears `image` (kGraphWidth x kGraphHeight when null) white; axes with their
// ticks, LinearityTexts, the 71 points as blue 4 x 4 circles and the fitted line
// over t = 1..33 in red, clipped to the plot.
void DrawLinearityGraph(QImage& image);

}  // namespace linearity
