#pragma once
// Aperture photometry: sums of the aperture and background pixels of one object
// around its position, for the frame (line 0) and its two fields (line 1 the odd
// frame rows, line 2 the even ones), and what they turn into in the object's
// records and read-out boxes.
//
// Pixels are read only inside the frame bitmap: a cell is used when
// 0 <= x < width and 0 <= y < height of the frame, whatever the display's size;
// cells outside are skipped and the counts shrink. An object's sums are bounded
// by its own outer radius.
#include <array>
#include <cstdint>
#include <string>

#include "measure/masks.h"
#include "measure/measure_state.h"
#include "platform/bitmap24.h"

struct ApertureSums {
    double StarR = 0, StarG = 0, StarB = 0;
    double BkgR = 0, BkgG = 0, BkgB = 0;
    int32_t StarCount = 0;
    int32_t BkgCount = 0;
    double Diameter = 0;  // half-flux diameter, line 0 only
    int32_t Peak = 0;     // brightest aperture pixel's red value, line 0 only
};
// Line 0 the frame, 1 the odd frame rows, 2 the even ones.
using ApertureSumSet = std::array<ApertureSums, 3>;

struct RgbSum {
    double r = 0, g = 0, b = 0;
};
using RectangleReferenceSet = std::array<RgbSum, 3>;  // per line

struct PhotometryState {
    // Aperture sums of the rectangle aperture taken as the reference, per object
    // and line, and the per-object request for a new capture.
    PerObject<RectangleReferenceSet> RectangleReference;
    PerObject<uint8_t> RectangleReferencePending;
    // Measurement option "Subtract background".
    uint8_t SubtractBackground = 1;

    // The next frame measured becomes object k's reference (rectangle switched on
    // or its size changed; object placed).
    void RequestRectangleReference(int k) {
        RectangleReferencePending[k] = 1;
        RectangleReference[k] = RectangleReferenceSet{};
    }
};

// The patch: the pixels at offsets (dx, dy) around the position (x, y), the
// offsets within a reach. A cell is used only when its pixel lies inside the
// frame; the rest of the patch is skipped and the counts shrink.

// Star and background sums of a ring-type mask (shapes 0..2) over the cells with
// |dx|, |dy| <= outerRadius (clamped to 0..25), with peak and half-flux diameter.
ApertureSumSet SumAperturePatch(const Bitmap24& frame, int x, int y, const ApertureGrid& mask, int outerRadius);
// Star sums of the rectangle aperture over the central 51 x 51, less the
// reference; the first call after a request stores the sums as the reference and
// gives 0. Background sums are 0, background counts 2 for line 0 and 1 for the
// fields; the peak is the brightest aperture pixel.
ApertureSumSet SumRectanglePatch(const Bitmap24& frame, int x, int y, const ApertureGrid& mask,
                                 RectangleReferenceSet& reference, uint8_t& pending);

// Measures object k at (x, y) with its mask, by its shape and outer radius.
ApertureSumSet MeasureAperture(int k, const Bitmap24& frame, int x, int y, const DataLineObject& object,
                               const MaskState& masks, PhotometryState& photometry);

struct ApertureOptions {
    int CurrentObject = 1;
    bool Acurate = false;          // "Acurate": fields scaled to half the frame's aperture
    bool ValuePanelShown = false;  // the value panel is open
};

// Texts for the main window's boxes after one object's photometry. The boxes of
// the current object are filled only when `Current`; Edit23 always.
struct ApertureReadouts {
    bool Current = false;
    std::string Edit20, Edit36, Edit37;  // aperture pixel counts: frame, line 1, line 2
    std::string Edit21, Edit38, Edit39;  // background pixel counts
    std::string Edit35;                  // background per pixel (written per line, line 2 last)
    std::string Edit9, Edit43, Edit44;   // values
    std::string Edit23;                  // half-flux diameter
    // Value panel, filled when `PanelFilled`: per line (frame, line 1, line 2) the
    // star sums R, G, B then the background sums R, G, B. Edits of the frame row:
    // Edit26-Edit28, Edit32-Edit34; line 1: Edit14-Edit16, Edit17-Edit19; line 2:
    // Edit23-Edit25, Edit29-Edit31.
    bool PanelFilled = false;
    std::array<std::array<std::string, 6>, 3> Panel;
};

// Measures object k at (x, y) and writes Value, PeakHeight, BackgroundLevel,
// AperturePixels, BackgroundPixels, Fwhm and PeakAboveBackground of object k in
// all three lines.
ApertureReadouts StoreApertureValues(const Bitmap24& frame, int k, int x, int y, DataLineSet& lines,
                                     const MaskState& masks, PhotometryState& photometry, const ApertureOptions& options);

// round(|value| x 10) (halves to even) as "n div 10" "." "n mod 10", with "-" in
// front of any negative value: -0.04 gives "-0.0", 2.25 gives "2.2".
std::string FormatOneDecimal(double value);
// Scientific notation 23 characters wide: sign or blank, 15 significant digits,
// "E", exponent sign and four digits (" 1.23400000000000E+0003").
std::string FormatExponent23(double value);
// The value panel's short form of such a text: 5 significant digits and the
// four-digit exponent, no blank before it (" 5.64000000000000E+0003" gives
// "5.6400E+0003"); a text that is no number comes back trimmed.
std::string ShortExponentText(const std::string& text);
