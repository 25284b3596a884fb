#pragma once
// The 3-D star view: a wire-mesh relief of the R+G+B values around one object,
// turned and tilted, with the object's aperture outlines drawn on it.
//
// Contract:
// - A patch is 55 x 55 cells over the offsets -27..27 (x major). A cell whose
//   pixel lies outside the frame (0 <= x < width, 0 <= y < height) holds -1 and no
//   pixel beyond the frame is read. The relief uses the offsets -25..25.
// - Heights are round(raw x (30 - scale) / 10), halves to even; the scale is
//   clamped to 0..30. Whether a cell is valid comes from the raw value (>= 0),
//   never from its height, which rounds to 0 for an outside cell at scales 25..30.
// - Smoothing over a neighbourhood without a valid cell keeps the cell's height.
// - The mesh is a list of quadrilaterals in painting order (farther first, by the
//   turn's band), each with the outline colour of each of its four edges; painting
//   clears the whole picture first. Everything here is deterministic and runs on
//   the calling thread; no Qt Widgets.
#include <array>
#include <cstdint>
#include <vector>

#include "measure/image_primitives.h"
#include "measure/masks.h"
#include "platform/bitmap24.h"

class QImage;

namespace threed {

constexpr int kReach = 25;         // the relief's offsets -25..25
constexpr int kPictureWidth = 252;  // TDGImage1
constexpr int kPictureHeight = 414;
constexpr int kCentreX = 125, kCentreY = 280;  // where vertex (0, 0, 0) lands

using Patch = OffsetGrid<int32_t, 27>;
using Relief = OffsetGrid<int32_t, kReach>;

enum class SmoothSize { kFive, kThree, kOff };  // "Processing Size": "5", "3", "OFF"
enum class SmoothFilter { kMean, kMedian };     // "Noise Reduction": "Moving Average", "Median"

// R+G+B of the pixels around (x, y), -1 outside the frame.
void ReadRaw(const Bitmap24& frame, int x, int y, Patch& raw);
// round(raw x (30 - scale) / 10) for every cell.
void ComputeHeights(const Patch& raw, int scale, Patch& heights);
// The heights over -25..25, smoothed over the valid cells of each neighbourhood:
// "5" the 5 x 5 square without its corners (21 cells), "3" the 3 x 3 square.
// Mean: rounded, halves to even. Median: sorted descending, element (n + 1) div 2.
void Smooth(const Patch& raw, const Patch& heights, SmoothSize size, SmoothFilter filter, Relief& out);

struct ScreenPoint {
    int x = 0, y = 0;
};
using ScreenGrid = OffsetGrid<ScreenPoint, kReach>;

// Vertex (i, j) is (5 i, -round(h / 3), 5 j), turned about the vertical axis by
// `turn` then tilted about the horizontal axis by `tilt` (degrees, converted with
// 3.14 / 180), and shifted to (round(X') + 125, round(Y'') + 280).
ScreenPoint Project(int i, int j, int height, double tilt, double turn);
void ProjectRelief(const Relief& relief, double tilt, double turn, ScreenGrid& out);

enum EdgeColour : uint8_t { kEdgePlain = 0, kEdgeStar = 1, kEdgeBackground = 2 };

// One mesh cell: its corners (i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1) and
// the outline of each edge (corner n to corner n + 1), with the cell's (i, j).
struct Quad {
    std::array<ScreenPoint, 4> corner;
    std::array<uint8_t, 4> edge{};
    int i = 0, j = 0;
};

// The 50 x 50 cells in painting order for the turn's band: below -45 the columns
// from the left, from -45 to below 45 the rows from the back, 45 and above the
// columns from the right. With `mask`, each edge between a cell and a neighbour of
// another mask class (the class of a cell is that of its first corner's pixel) is
// a star outline when either side is star, else a background outline.
std::vector<Quad> BuildMesh(const ScreenGrid& points, double turn, const ApertureGrid* mask);

// Clears the picture to white and paints the cells (white with a black outline,
// outlines with a 2-pixel pen: star red, background blue). The picture must be
// kPictureWidth x kPictureHeight; anything drawn beyond it is clipped.
void Paint(const std::vector<Quad>& mesh, QImage& picture);

// Everything the window's drawing reads.
struct ViewSettings {
    double Tilt = -30, Turn = 0;
    SmoothSize Size = SmoothSize::kOff;
    SmoothFilter Filter = SmoothFilter::kMean;
    bool ShowAperture = true;
};
// Smooths, projects, builds the mesh and paints it.
void Draw(const Patch& raw, const Patch& heights, const ApertureGrid& mask, const ViewSettings& view, QImage& picture);

}  // namespace threed
