#include "imagefile/BitmapConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace imagefile {

namespace {

const TColorMatrix kRGBToYCbCr = {
    {0.299, 0.587, 0.114, 0}, {0.569, -0.275, -0.321, 127.5}, {0.212, -0.523, 0.311, 127.5}, {0, 0, 0, 1}};
const TColorMatrix kXYZToRGB = {{3.240479, -1.53715, -0.498535, 0},
                                {-0.969256, 1.875992, 0.041556, 0},
                                {0.055648, -0.204043, 1.057311, 0},
                                {0, 0, 0, 1}};

struct Inverses {
    TColorMatrix yccToRgb, rgbToXyz;
    Inverses() {
        InvertColorMatrix(kRGBToYCbCr, yccToRgb);
        InvertColorMatrix(kXYZToRGB, rgbToXyz);
    }
};
const Inverses kInverses;

uint8_t ClampByte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

double Det3(double a, double b, double c, double d, double e, double f, double g, double h, double i) {
    return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

}  // namespace

const TColorMatrix& RGBToYCbCr = kRGBToYCbCr;
const TColorMatrix& YCbCrToRGB = kInverses.yccToRgb;
const TColorMatrix& XYZToRGB = kXYZToRGB;
const TColorMatrix& RGBToXYZ = kInverses.rgbToXyz;

void ConvertToGrayscale(TLinearBitmap& bitmap) {
    if (!bitmap.Present) return;
    if (bitmap.PixelFormat == pf32bit) bitmap.SetPixelFormat(pf24bit);
    if (bitmap.PixelFormat == pf8bit) {
        uint8_t grey[256];
        for (int i = 0; i < 256; ++i) {
            const uint8_t* p = bitmap.Palette + 3 * i;
            grey[i] = GrayValue(p[2], p[1], p[0]);
        }
        for (int64_t i = 0; i < bitmap.Size; ++i) bitmap.Map[i] = grey[bitmap.Map[i]];
        std::memcpy(bitmap.Palette, GrayPalette, 768);
    } else if (bitmap.PixelFormat == pf24bit) {
        TLinearBitmap out;
        out.New(bitmap.Width, bitmap.Height, pf8bit);
        std::memcpy(out.Palette, GrayPalette, 768);
        const uint8_t* p = bitmap.Map;
        for (int64_t i = 0, n = int64_t{bitmap.Width} * bitmap.Height; i < n; ++i, p += 3)
            out.Map[i] = GrayValue(p[2], p[1], p[0]);
        bitmap.TakeOver(out);
    }
}

void ApplyColorMatrix(const TColorMatrix& m, const uint8_t in[3], uint8_t out[3]) {
    for (int r = 0; r < 3; ++r) out[r] = ClampByte(in[0] * m[r][0] + in[1] * m[r][1] + in[2] * m[r][2] + m[r][3]);
}

bool InvertColorMatrix(const TColorMatrix& m, TColorMatrix& inverse) {
    // Cofactors of the full 4 x 4 matrix.
    double cof[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double s[9];
            int k = 0;
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j)
                    if (i != r && j != c) s[k++] = m[i][j];
            cof[r][c] = ((r + c) % 2 ? -1 : 1) * Det3(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8]);
        }
    double det = 0;
    for (int c = 0; c < 4; ++c) det += m[0][c] * cof[0][c];
    if (det == 0) return false;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) inverse[r][c] = cof[c][r] / det;  // adjugate is the transposed cofactors
    return true;
}

void LabToRGB(const uint8_t lab[3], uint8_t rgb[3]) {
    const double L = lab[0] * 100.0 / 255.0, a = lab[1] - 127.5, b = lab[2] - 127.5;
    const double fy = (L + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
    auto finv = [](double t) { return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29); };
    const double xyz[3] = {0.950456 * finv(fx), finv(fy), 1.088754 * finv(fz)};
    for (int r = 0; r < 3; ++r)
        rgb[r] = ClampByte(255 * (xyz[0] * kXYZToRGB[r][0] + xyz[1] * kXYZToRGB[r][1] + xyz[2] * kXYZToRGB[r][2]));
}

}  // namespace imagefile
