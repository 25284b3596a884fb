#pragma once
// Grey conversion and colour-space matrices.
#include <cstdint>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

// (2 x red + 3 x green + blue + 3) div 6
inline uint8_t GrayValue(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint8_t>((2 * r + 3 * g + b + 3) / 6); }

// 8-bit pictures take GrayPalette with their pixels mapped through the old
// palette's grey values; 24- and 32-bit pictures become 8 bit; 16-bit grey stays.
void ConvertToGrayscale(TLinearBitmap& bitmap);

// Rows of three coefficients and an offset; the fourth row is 0, 0, 0, 1.
using TColorMatrix = double[4][4];
// Each output byte is the rounded sum of in[0..2] times its row plus the offset,
// clamped to 0..255.
void ApplyColorMatrix(const TColorMatrix& m, const uint8_t in[3], uint8_t out[3]);
// The inverse by the adjugate and the determinant; false when singular.
bool InvertColorMatrix(const TColorMatrix& m, TColorMatrix& inverse);

// R,G,B to the plug-ins' "YCbCr" planes and back (the reverse is inverted at start-up).
extern const TColorMatrix& RGBToYCbCr;
extern const TColorMatrix& YCbCrToRGB;
// CIE XYZ to linear sRGB (D65) and back (the reverse is inverted at start-up).
extern const TColorMatrix& XYZToRGB;
extern const TColorMatrix& RGBToXYZ;

// L*a*b* bytes (L 0..255 for 0..100, a and b centred at 127.5) to R,G,B bytes.
void LabToRGB(const uint8_t lab[3], uint8_t rgb[3]);

}  // namespace imagefile
