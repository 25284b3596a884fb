#pragma once
// The picture of a finished diffraction fit on the graph: the model curve (red)
// across the shown rows, the event marks with the timing-error bars, and the
// residuals on the lower plot. Drawn on top of a GraphShow3 picture with the same
// mapping (RowToX, ValueToY) as the light curve.
#include <QImage>
#include <string>
#include <vector>

#include "graph/diffraction_fit.h"
#include "graph/light_curve.h"

namespace diffraction {

struct FitDrawing {
    const FitRun* run = nullptr;  // a successful fit
    double frameRate = 29.97;
    bool dataLines = true;        // the graph's "Data" box
    int markerRadius = 3;
    // Lines "t,mean" of every curve point ("fresnel textout"); null: none.
    std::vector<std::string>* textOut = nullptr;
};

// Steps 7 to 9 of the fit's drawing into image1 (upper plot) and image2 (lower
// plot, 740 x 151). `table` holds the parsed rows of the last GraphShow3.
void DrawFit(const GraphView& g, const GraphTable& table, const FitDrawing& d, QImage& image1, QImage& image2);

}  // namespace diffraction
