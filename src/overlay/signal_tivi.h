#pragma once
// The LED signal boxes and the two seven-segment digits of a TIVi time display.
//
// Signal boxes are lit when the brightness around their point reaches the
// threshold. The TIVi display is found from a click by two boxes of bright pixels
// (the two digits) and read at nine sample points per digit. The bright-box finder
// also serves the overlay-grid locator. Pixels outside the frame read black, so a
// marker near an edge or far off reads dark without any out-of-range read.
#include <array>
#include <cstdint>
#include <string>

#include "overlay/overlay_reader.h"

namespace overlay {

struct TIViPoint {
    int x = 0, y = 0;
};

// Per-channel sums over the 3 x 3 pixels around (x, y).
PixelSum SumRGB3x3(const Bitmap24& bmp, int x, int y);

// A signal box reading: the R+G+B sum over the 5 x 5 pixels around the box's point
// and whether it is lit (sum div 75 at or above the threshold position).
struct SignalReading {
    int sum = 0;
    uint8_t lit = 0;
};
SignalReading DetectSignal(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y);

// The box of bright pixels right of and below (x0, y0): the leftmost x where a
// bright run starts (with its row), the rightmost x where one ends (with its row),
// the first and the row after the last row that hold a closed bright run. When
// nothing is found the start values stay: left x0 + 1000, right 0, top y0 + 100,
// bottom 0 (so bottom - top is negative).
struct BrightBox {
    int left = 0, leftRow = 0, right = 0, rightRow = 0, top = 0, bottom = 0;
};
BrightBox FindBrightBox(const Bitmap24& bmp, int threshold, int x0, int y0);

// The display's place in tenths of a pixel: the centres of the two digits and the
// digit height.
struct TIViMarker {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0, height = 0;
};

constexpr int kTIViPointCount = 9;
using TIViTemplate = std::array<TIViPoint, kTIViPointCount>;
// Left digit's nine points first, then the right digit's.
using TIViSamples = std::array<TIViPoint, 2 * kTIViPointCount>;

// The nine sample points of one digit, in a frame 275 units wide (between the two
// digit centres) and 300 units high (the digit height); y grows downwards.
TIViTemplate DefaultTIViTemplate();

// Sets the marker from the two bright boxes right of and below (x, y). Returns true
// when the display was found; otherwise the marker takes its not-found values.
bool LocateTIViDigits(const Bitmap24& bmp, int threshold, int x, int y, TIViMarker& marker);

TIViSamples SetTIViSamplePoints(const TIViMarker& marker, const TIViTemplate& tmpl);

// The two digits as text ("E" for a digit no pattern matches).
std::string ReadTIViDigits(const Bitmap24& bmp, int threshold, const TIViSamples& points);
// The digit of nine lit flags (lit[k - 1] for point k), or 'E'.
char TIViDigitOf(const std::array<bool, kTIViPointCount>& lit);

// Rectangles of the TIVi marker drawing (pixel corners, right and bottom included
// as the drawing routine takes them): the two digit boxes then +-2 boxes around the
// first eight sample points of each digit.
struct MarkerRect {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
std::array<MarkerRect, 2 + 16> TIViMarkerRects(const TIViMarker& marker, const TIViSamples& points);

}  // namespace overlay
