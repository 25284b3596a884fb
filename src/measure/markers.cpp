#include "measure/markers.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/numtext.h"

namespace {
constexpr int kOutlineReach = 25;

QRgb ToRgb(uint32_t c) { return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF)); }

int Round(double v) { return static_cast<int>(numtext::RoundHalfEven(v)); }

void PutCanvasPixel(QImage& canvas, int x, int y, QRgb rgb) {
    if (x < 0 || y < 0 || x >= canvas.width() || y >= canvas.height()) return;
    canvas.setPixel(x, y, rgb);
}
}  // namespace

void PutPixelColor(Bitmap24& bitmap, int x, int y, uint32_t colour) {
    if (!bitmap.Contains(x, y)) return;
    uint8_t* p = bitmap.Scanline(y) + 3 * x;
    p[0] = static_cast<uint8_t>(colour >> 16);
    p[1] = static_cast<uint8_t>((colour >> 8) & 0xFF);
    p[2] = static_cast<uint8_t>(colour & 0xFF);
}

bool IsOutlineCell(const ApertureGrid& mask, int dx, int dy) {
    const int32_t v = mask.at(dx, dy);
    if (dx == -kOutlineReach || dx == kOutlineReach || dy == -kOutlineReach || dy == kOutlineReach) return true;
    return mask.at(dx - 1, dy) != v || mask.at(dx + 1, dy) != v || mask.at(dx, dy - 1) != v || mask.at(dx, dy + 1) != v;
}

OutlineColours OutlineColoursFor(int k, bool current, bool rectangle, int regionDisplay, bool directionMode) {
    OutlineColours c;
    if (regionDisplay == kRegionHide || k < 1 || k > 3) return c;
    const bool faint = regionDisplay == kRegionFaint;
    c.star = true;
    if (faint) c.starColour = 0x444444;
    else if (rectangle) c.starColour = current ? 0xCCCCCC : 0x888888;
    else c.starColour = current ? 0x0000FF : 0x000080;
    if (rectangle) return c;
    c.background = true;
    // Columns: current and "Hilight", current and "Faint", not current.
    static constexpr uint32_t kBackground[3][3] = {{0xFFFF00, 0x330000, 0x800000},
                                                   {0x00FFFF, 0x003333, 0x008888},
                                                   {0xFF00FF, 0x330033, 0x800080}};
    if (directionMode) c.backgroundColour = kColourGreen;
    else c.backgroundColour = kBackground[k - 1][current ? (faint ? 1 : 0) : 2];
    return c;
}

void DrawMaskOutlines(Bitmap24& bitmap, const ApertureGrid& mask, int x, int y, const OutlineColours& colours) {
    if (!colours.star && !colours.background) return;
    for (int dx = -kOutlineReach; dx <= kOutlineReach; ++dx) {
        for (int dy = -kOutlineReach; dy <= kOutlineReach; ++dy) {
            const int32_t v = mask.at(dx, dy);
            if (v == kMaskStar ? !colours.star : v == kMaskBackground ? !colours.background : true) continue;
            if (!IsOutlineCell(mask, dx, dy)) continue;
            PutPixelColor(bitmap, x + dx, y + dy, v == kMaskStar ? colours.starColour : colours.backgroundColour);
        }
    }
}

void CopyZoomRegion(const Bitmap24& frame, int x, int y, Bitmap24& zoom) {
    if (zoom.Width() != kZoomSide || zoom.Height() != kZoomSide) zoom.Resize(kZoomSide, kZoomSide);
    // The columns of the frame that fall inside the view, as one run per row.
    const int first = std::max(0, x - kZoomHalf), last = std::min(frame.Width() - 1, x + kZoomHalf);
    for (int j = 0; j < kZoomSide; ++j) {
        uint8_t* dst = zoom.Scanline(j);
        std::memset(dst, 0, static_cast<size_t>(kZoomSide) * 3);
        const int fy = y - kZoomHalf + j;
        if (fy < 0 || fy >= frame.Height() || first > last) continue;
        std::memcpy(dst + 3 * (first - (x - kZoomHalf)), frame.Scanline(fy) + 3 * first,
                    static_cast<size_t>(last - first + 1) * 3);
    }
}

void DrawDirectionLine(Bitmap24& work, IntPoint spin) {
    if (spin.x == 0) return;
    const double q = static_cast<double>(spin.y) / spin.x;
    const double s = std::sqrt(q * q + 1);
    double a = 26 / s, b = 50 / s;
    if (spin.x < 0) {
        a = -a;
        b = -b;
    }
    const int sx = kZoomHalf + Round(a), sy = kZoomHalf + Round(q * a);
    const int ex = kZoomHalf + Round(b), ey = kZoomHalf + Round(q * b);
    if (sx == ex) {
        const int step = ey >= sy ? 1 : -1;
        for (int y = sy;; y += step) {
            PutPixelColor(work, sx, y, kColourGreen);
            if (y == ey) break;
        }
        return;
    }
    const double slope = static_cast<double>(ey - sy) / (ex - sx);
    const int step = ex >= sx ? 1 : -1;
    for (int x = sx;; x += step) {
        PutPixelColor(work, x, Round(sy + (x - sx) * slope), kColourGreen);
        if (x == ex) break;
    }
}

void DrawZoomOutlines(Bitmap24& work, const ApertureGrid& mask, bool directionMode) {
    OutlineColours c;
    c.star = c.background = true;
    c.starColour = kColourRed;
    c.backgroundColour = directionMode ? kColourGreen : 0xFFFF00;
    DrawMaskOutlines(work, mask, kZoomHalf, kZoomHalf, c);
}

ZoomPlacement PlaceZoomView(int frameWidth, int frameHeight, int x, int y) {
    ZoomPlacement p;
    // Right and bottom: the view ends at the frame's last column and row.
    int w = kZoomSide, h = kZoomSide;
    if (x >= frameWidth - kZoomHalf) w = frameWidth + kZoomHalf - x;
    if (y >= frameHeight - kZoomHalf) h = frameHeight + kZoomHalf - y;
    // Left and top: nothing goes before the canvas's first column and row.
    p.dstX = x - kZoomHalf;
    p.dstY = y - kZoomHalf;
    if (p.dstX < 0) {
        p.srcX = -p.dstX;
        p.dstX = 0;
    }
    if (p.dstY < 0) {
        p.srcY = -p.dstY;
        p.dstY = 0;
    }
    p.width = std::clamp(w - p.srcX, 0, kZoomSide);
    p.height = std::clamp(h - p.srcY, 0, kZoomSide);
    if (p.width == 0 || p.height == 0) p.width = p.height = 0;
    return p;
}

void DrawZoomOnto(QImage& canvas, const Bitmap24& work, const ZoomPlacement& place) {
    const int w = std::min({place.width, work.Width() - place.srcX, canvas.width() - place.dstX});
    const int h = std::min({place.height, work.Height() - place.srcY, canvas.height() - place.dstY});
    if (w <= 0 || h <= 0 || place.srcX < 0 || place.srcY < 0 || place.dstX < 0 || place.dstY < 0) return;
    const bool direct = canvas.format() == QImage::Format_RGB32 || canvas.format() == QImage::Format_ARGB32;
    for (int j = 0; j < h; ++j) {
        const uint8_t* src = work.Scanline(place.srcY + j) + 3 * place.srcX;
        if (direct) {
            QRgb* dst = reinterpret_cast<QRgb*>(canvas.scanLine(place.dstY + j)) + place.dstX;
            for (int i = 0; i < w; ++i, src += 3) dst[i] = qRgb(src[2], src[1], src[0]);
        } else {
            for (int i = 0; i < w; ++i, src += 3) canvas.setPixel(place.dstX + i, place.dstY + j, qRgb(src[2], src[1], src[0]));
        }
    }
}

void DrawRectangleOutline(QImage& canvas, int x1, int y1, int x2, int y2, uint32_t colour) {
    if (x2 <= x1 || y2 <= y1) return;
    const QRgb rgb = ToRgb(colour);
    // Only the part over the canvas is walked: a far-off marker costs nothing.
    for (int x = std::max(x1, 0), xe = std::min(x2, canvas.width()); x < xe; ++x) {
        PutCanvasPixel(canvas, x, y1, rgb);
        PutCanvasPixel(canvas, x, y2 - 1, rgb);
    }
    for (int y = std::max(y1, 0), ye = std::min(y2, canvas.height()); y < ye; ++y) {
        PutCanvasPixel(canvas, x1, y, rgb);
        PutCanvasPixel(canvas, x2 - 1, y, rgb);
    }
}

void DrawSignalMarker(QImage& canvas, IntPoint p, uint32_t colour) {
    DrawRectangleOutline(canvas, p.x - 2, p.y - 2, p.x + 2, p.y + 2, colour);
}
