#pragma once
// The magnitude calculator's text on the graph picture: the report's statistics
// ("Doublestar") or its event time ("Time") drawn over a snapshot of the graph, in
// the system's fixed-pitch font, so that moving or switching the text never
// accumulates on the picture.
#include <QImage>
#include <string>
#include <vector>

namespace magnitude {

enum class TextOut { Off, Transparent, Opaque };  // RadioGroup1
enum class TextMode { Doublestar, Time };          // RadioGroup2

constexpr int kLineSpacing = 12;

struct GraphText {
    TextOut out = TextOut::Off;
    TextMode mode = TextMode::Doublestar;
    int x = 380, y = 30;
    // With "120N" the time mode adds the delay line.
    bool n120 = false;
    int delayMs = 0, integratedFrames = 0;
};

// The delay line of the time mode.
std::string DelayCorrectionLine(int delayMs, int integratedFrames);

// Copies `snapshot` into `graph` and, unless the output is off, draws the lines of
// the mode at (x, y): the statistics 12 pixels apart, or the first time line in
// bold, a second one 12 pixels below and the delay line below the last time line.
// Nothing is drawn when the report lacks the mode's lines; a null snapshot leaves
// the picture as it is.
void DrawReportOnGraph(QImage& graph, const QImage& snapshot, const std::vector<std::string>& report,
                       const GraphText& how);

}  // namespace magnitude
