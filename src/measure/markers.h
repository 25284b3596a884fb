#pragma once
// What the main window draws over the frame, without widgets: the outlines of
// an object's aperture and background cells in the frame bitmap, the close-up
// ("zoom") view with its spin-direction line, and the small marker rectangles.
//
// Every write is clipped: a pixel outside the target image is never touched,
// whatever position, mask or marker comes in.
#include <cstdint>

#include "measure/masks.h"
#include "measure/measure_state.h"
#include "platform/bitmap24.h"

class QImage;

// Colours are 0x00BBGGRR values.
constexpr uint32_t kColourRed = 0x0000FF;
constexpr uint32_t kColourGreen = 0x00FF00;

// "Display Measurement Region".
enum RegionDisplayKind : uint8_t { kRegionHilight = 0, kRegionFaint = 1, kRegionHide = 2 };

// Writes colour c at (x, y) when the pixel lies inside the bitmap.
void PutPixelColor(Bitmap24& bitmap, int x, int y, uint32_t colour);

// Outline rule over the mask's offsets -25..25: a non-empty cell lies on the
// outline when it is on the border of that square or one of its four
// neighbours holds another value.
bool IsOutlineCell(const ApertureGrid& mask, int dx, int dy);

// Which cells are painted and in which colour.
struct OutlineColours {
    bool star = false, background = false;
    uint32_t starColour = 0, backgroundColour = 0;
};
// Colours of object k's outlines (k 1..3).
OutlineColours OutlineColoursFor(int k, bool current, bool rectangle, int regionDisplay, bool directionMode);

// Paints the outline cells (dx, dy) of `mask` at (x + dx, y + dy).
void DrawMaskOutlines(Bitmap24& bitmap, const ApertureGrid& mask, int x, int y, const OutlineColours& colours);

// ---- Zoom view ----

constexpr int kZoomSide = 101;
constexpr int kZoomHalf = 50;

// The 101 x 101 pixels at offsets -50..50 around (x, y); pixels outside the
// frame become black.
void CopyZoomRegion(const Bitmap24& frame, int x, int y, Bitmap24& zoom);

// The spin direction as a line in the zoom bitmap from 26 to 50 pixels away
// from its centre (50, 50); nothing for a vertical direction (spin.x == 0).
void DrawDirectionLine(Bitmap24& work, IntPoint spin);

// The mask's outline cells around the zoom centre: star cells red, background
// cells green in direction mode and cyan otherwise.
void DrawZoomOutlines(Bitmap24& work, const ApertureGrid& mask, bool directionMode);

// Where the zoom view goes on a canvas: the view's top-left corner is at
// (x - 50, y - 50) and the part beyond the frame's right and bottom edge (and
// left of or above the canvas) is cut off. `width` or `height` 0: nothing.
struct ZoomPlacement {
    int srcX = 0, srcY = 0;  // first pixel of the view that is drawn
    int dstX = 0, dstY = 0;  // where it goes on the canvas
    int width = 0, height = 0;
};
ZoomPlacement PlaceZoomView(int frameWidth, int frameHeight, int x, int y);

// Copies the placed part of the working view onto the canvas (clipped to it too).
void DrawZoomOnto(QImage& canvas, const Bitmap24& work, const ZoomPlacement& place);

// ---- Markers on the canvas ----

// Outline of the rectangle from (x1, y1) to (x2, y2), right and bottom edges
// excluded, one pixel wide, clipped to the canvas.
void DrawRectangleOutline(QImage& canvas, int x1, int y1, int x2, int y2, uint32_t colour);

// A signal box marker: the rectangle from (x - 2, y - 2) to (x + 2, y + 2).
void DrawSignalMarker(QImage& canvas, IntPoint p, uint32_t colour);
