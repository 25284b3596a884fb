#include "overlay/signal_tivi.h"

#include <algorithm>

#include "platform/numtext.h"

namespace overlay {

namespace {

int Round(double v) {
    // Marker values are tenths of a pixel of frames at most a few thousand wide; a
    // saturated value is clamped so that later sums stay in range.
    return static_cast<int>(std::clamp<int64_t>(numtext::RoundHalfEven(v), -100000000, 100000000));
}

// R+G+B over the w x w pixels from (x, y), all inside the frame.
int SumSquareInside(const Bitmap24& bmp, int x, int y, int w) {
    int s = 0;
    for (int j = 0; j < w; ++j) {
        const uint8_t* p = bmp.Scanline(y + j) + 3 * x;
        for (int i = 0; i < 3 * w; ++i) s += p[i];
    }
    return s;
}

bool SquareInside(const Bitmap24& bmp, int x, int y, int w) {
    return x >= 0 && y >= 0 && x <= bmp.Width() - w && y <= bmp.Height() - w;
}

int Brightness3x3(const Bitmap24& bmp, int x, int y) {
    if (SquareInside(bmp, x - 1, y - 1, 3)) return SumSquareInside(bmp, x - 1, y - 1, 3) / 27;
    const PixelSum s = SumRGB3x3(bmp, x, y);
    return (s.r + s.g + s.b) / 27;
}

}  // namespace

PixelSum SumRGB3x3(const Bitmap24& bmp, int x, int y) {
    PixelSum s;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            const PixelSum p = GetPixelRGB(bmp, x + i, y + j);
            s.r += p.r;
            s.g += p.g;
            s.b += p.b;
        }
    return s;
}

SignalReading DetectSignal(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y) {
    SignalReading r;
    // Away from the edges every pixel counts: one pass over the rows.
    if (SquareInside(bmp, x - 2, y - 2, 5) && y - 2 >= 1 && x < c.DisplayWidth && y < c.DisplayHeight) {
        r.sum = SumSquareInside(bmp, x - 2, y - 2, 5);
    } else {
        const PixelSum s = SumRGB5x5(st, c, bmp, x, y);
        r.sum = s.r + s.g + s.b;
    }
    r.lit = c.UpDown4 > r.sum / 75 ? 0 : 1;
    return r;
}

BrightBox FindBrightBox(const Bitmap24& bmp, int threshold, int x0, int y0) {
    const int t = Round(threshold * 1.28);
    BrightBox b;
    b.left = x0 + 1000;
    b.leftRow = y0 + 1000;
    b.right = 0;
    b.top = y0 + 100;
    b.bottom = 0;
    bool topFound = false;
    for (int j = 0; j <= 40; ++j) {
        const int y = y0 + j;
        bool inside = false, ended = false;
        for (int i = 0; i <= 45; ++i) {
            const int x = x0 + i;
            const int v = Brightness3x3(bmp, x, y);
            if (!inside && v >= t) {
                inside = true;
                if (x < b.left) b.left = x, b.leftRow = y;
            } else if (inside && v < t) {
                if (x > b.right) b.right = x - 1, b.rightRow = y;
                ended = true;
                break;
            }
        }
        if (!topFound) {
            if (ended) b.top = y, topFound = true;
        } else if (!ended) {
            b.bottom = y;
            break;
        }
    }
    return b;
}

TIViTemplate DefaultTIViTemplate() {
    return {{{100, -125}, {100, -75}, {100, -25}, {-90, 25}, {100, 90}, {50, 125}, {-70, -25}, {0, 0}, {-85, 125}}};
}

bool LocateTIViDigits(const Bitmap24& bmp, int threshold, int x, int y, TIViMarker& m) {
    const BrightBox a = FindBrightBox(bmp, threshold, x, y);
    const BrightBox b = FindBrightBox(bmp, threshold, a.right + 2, y);
    m.x1 = Round(5.0 * (a.left + a.right));
    m.height = Round(5.0 * ((a.bottom - a.top) + (b.bottom - b.top)));
    if (m.height < 0) {
        m.x2 = 500;
        m.y1 = m.y2 = 4750;
        m.height = 50;
        return false;
    }
    m.x2 = Round(5.0 * (b.left + b.right));
    m.y1 = m.y2 = Round(2.5 * (a.top + a.bottom + b.top + b.bottom));
    return true;
}

TIViSamples SetTIViSamplePoints(const TIViMarker& m, const TIViTemplate& tmpl) {
    const double sx = (m.x1 - m.x2) / 275.0, sy = m.height / 300.0;
    TIViSamples out;
    for (int k = 0; k < kTIViPointCount; ++k) {
        const TIViPoint t = tmpl[static_cast<size_t>(k)];
        out[static_cast<size_t>(k)] = {Round((m.x1 - t.x * sx) / 10), Round((t.y * sy + m.y1) / 10)};
        out[static_cast<size_t>(kTIViPointCount + k)] = {Round((m.x2 - t.x * sx) / 10), Round((t.y * sy + m.y2) / 10)};
    }
    return out;
}

char TIViDigitOf(const std::array<bool, kTIViPointCount>& lit) {
    auto L = [&](int k) { return lit[static_cast<size_t>(k - 1)]; };
    if (!L(2) && !L(3) && !L(4) && !L(5) && L(6)) return '1';
    if (L(2) && !L(4) && !L(5) && L(6) && L(9)) return '2';
    if (L(4) && L(6) && !L(9)) return '4';
    if (!L(2) && !L(4) && L(5) && L(6)) return '5';
    if (!L(3) && L(4) && L(5) && L(6)) return '6';
    if (!L(4) && !L(5) && L(8) && !L(9)) return '7';
    if (L(2) && !L(4) && L(5) && L(6) && !L(7)) return '3';
    if (L(2) && !L(4) && L(5) && L(6) && L(7)) return '9';
    if (L(2) && L(4) && L(5) && L(6) && L(8)) return '8';
    if (L(2) && L(4) && L(5) && L(6) && !L(8)) return '0';
    return 'E';
}

std::string ReadTIViDigits(const Bitmap24& bmp, int threshold, const TIViSamples& points) {
    std::string text;
    for (int d = 0; d < 2; ++d) {
        std::array<bool, kTIViPointCount> lit{};
        for (int k = 0; k < kTIViPointCount; ++k) {
            const TIViPoint p = points[static_cast<size_t>(d * kTIViPointCount + k)];
            int v = Brightness3x3(bmp, p.x, p.y);
            // The third point sits on a thinner stroke end and is weighed down.
            if (k == 2) v = Round(v * 0.9);
            v = Round(v * 1.17);
            lit[static_cast<size_t>(k)] = v >= threshold;
        }
        text += TIViDigitOf(lit);
    }
    return text;
}

std::array<MarkerRect, 2 + 16> TIViMarkerRects(const TIViMarker& m, const TIViSamples& points) {
    std::array<MarkerRect, 2 + 16> r{};
    const double hw = 125.0 * (m.x1 - m.x2) / 275.0;
    const double hh = m.height / 2.0;
    const TIViPoint centres[2] = {{m.x1, m.y1}, {m.x2, m.y2}};
    for (int d = 0; d < 2; ++d) {
        const TIViPoint c = centres[d];
        r[static_cast<size_t>(d)] = {Round((c.x - hw) / 10), Round((c.y - hh) / 10), Round((c.x + hw) / 10),
                                     Round((c.y + hh) / 10)};
    }
    for (int d = 0; d < 2; ++d)
        for (int k = 0; k < 8; ++k) {
            const TIViPoint p = points[static_cast<size_t>(d * kTIViPointCount + k)];
            r[static_cast<size_t>(2 + d * 8 + k)] = {p.x - 2, p.y - 2, p.x + 2, p.y + 2};
        }
    return r;
}

}  // namespace overlay
