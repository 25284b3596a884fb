#pragma once
// The spectrum picture of the diffraction model: the star's spectrum, the chosen
// camera's sensitivity, the air's transparency and their product against
// wavelength, drawn into an image so that tests read its pixels.
#include <QImage>

#include "graph/spectral_model.h"

namespace spectrum {

constexpr int kImageWidth = 393, kImageHeight = 457;

// 400..800 nm onto x 40..360, intensity 0..1 onto y 350..50 (halves to even).
int WavelengthToX(double lambda);
int IntensityToY(double v);

// Redraws the whole picture (393 x 457) from the model's arrays at 400, 405, ...,
// 800 nm and its CcdIndex (an index outside 0..10 draws no camera curve).
void DrawSpectrumGraph(QImage& image, const diffraction::DiffractionModel& model);

}  // namespace spectrum
