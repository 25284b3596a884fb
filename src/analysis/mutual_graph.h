#pragma once
// The unit graph of the mutual-event window: corrected comparison and target per
// unit against time, the selection lines, and the fitted curve with its slope.
// Drawn into a QImage so that tests read the pixels back.
#include <QImage>
#include <cstdint>
#include <vector>

#include "analysis/mutual_event.h"
#include "analysis/poly_fit.h"

namespace mutual {

// Colour values of the class library (0x00BBGGRR).
QColor ColourValue(uint32_t value);

struct GraphView {
    int hZoom = 100;   // ScrollBar1, percent
    int vOffset = 0;   // ScrollBar2
    int vZoom = 100;   // ScrollBar3, percent
};

// The scales of the last drawing.
struct GraphGeometry {
    int width = 0, height = 0;
    int plotWidth = 0, plotHeight = 0;
    double pixelsPerUnit = 1;
    long double scale = 1;  // pixels per value
    GraphView view;
    int UnitX(int u) const;
    int ValueY(long double v, long double valueScale) const;
    int ValueY(long double v) const { return ValueY(v, scale); }
    // The unit under picture column x, or 0 when x is off the plot.
    int UnitAt(int x) const;
};

GraphGeometry DrawMutualGraph(QImage& image, const std::vector<Unit>& units, const GraphView& view);
// A green line at one selection end and a magenta one at the other, full height.
void DrawSelectionLines(QImage& image, const GraphGeometry& g, int greenUnit, int magentaUnit);
// The fitted curve in red, the grey line at the minimum unit and the time label;
// with `slope`, the slope curve in green and the magenta turning marks with times.
void DrawFit(QImage& image, const GraphGeometry& g, const FitResult& fit, bool slope);

}  // namespace mutual
