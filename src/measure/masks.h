#pragma once
// Aperture and background masks of the measured objects, and the tracking disc.
//
// Each object carries a 55 x 55 grid over the pixel offsets -27..27 around its
// position: 1 star (aperture), 2 background, 0 neither. The builders write only
// the central 51 x 51 cells; the outer ring stays 0. Every size is clamped to the
// grid before anything is written (radii, gap and width 0..25, rectangle sides
// 1..51), so no value from a file or a control can write outside a grid.
#include <cstdint>
#include <string>

#include "measure/image_primitives.h"
#include "measure/measure_state.h"

enum MaskCellKind : int32_t { kMaskNone = 0, kMaskStar = 1, kMaskBackground = 2 };

using ApertureGrid = OffsetGrid<int32_t, 27>;
using TrackGrid = OffsetGrid<int32_t, 25>;

// The lines of a shaped background in offset space, each y = m x + c: the pair
// y = m1 x +- c1 runs along the spin direction at the gap's distance, the pair
// y = m2 x +- c2 across it at the width's distance. A vertical line has the
// slope 1000000.
struct DirectionLines {
    double m1 = 0, c1 = 0, m2 = 0, c2 = 0;
};

struct MaskState {
    PerObject<ApertureGrid> ApertureMask;
    PerObject<TrackGrid> TrackMask;
    PerObject<DirectionLines> SpinLines;
    // Measurement options "Cutting Off the Side of BKG": "Upper", "Lower".
    uint8_t CutBkgUpper = 0;
    uint8_t CutBkgLower = 0;
};

// Everything one object's aperture mask is built from.
struct MaskGeometry {
    int32_t ApertureRadius = 0, BkgInnerRadius = 0, BkgOuterRadius = 0;
    uint8_t BkgShape = kShapeRing;
    int32_t Gap = 0, Width = 0;
    // The limb band is cut only when this radius is at least the gap.
    int32_t OuterControl = 0;
    int32_t RectangleWidth = 1, RectangleHeight = 1;
    IntPoint Spin{0, -100};
    bool CutUpper = false, CutLower = false;
};

// Object k's own settings: radii, shape, gap and width of its frame line, its
// rectangle sizes and spin point. Every object's mask so depends on that object
// only, whichever object the controls show; the window writes a control's value
// into the current object's lines before it rebuilds the mask.
MaskGeometry MaskGeometryOf(const MeasureState& state, const MaskState& masks, int k);

DirectionLines ComputeDirectionLines(IntPoint spin, int gap, int width);

void ClearApertureMask(ApertureGrid& grid);
// Disc rule: column 0 gets rows -r..r; columns +-i (i = 1..r) get rows -h..h with
// h = round(sqrt(r^2 - (i - 0.5)^2)). A negative r writes nothing; r is capped at 25.
void FillMaskDisc(ApertureGrid& grid, int r, int32_t value);
// Star cells for columns -(a div 2)..(a - 1) div 2 and rows -((b - 1) div 2)..b div 2,
// background elsewhere in the central 51 x 51; a and b clamped to 1..51.
void BuildRectangleMask(ApertureGrid& grid, int a, int b);
// "Avoid Sunlit Face": background cells beyond the gap line on the far side of the
// spin direction go, and optionally those above or below the width band.
void CutSunlitSide(ApertureGrid& grid, IntPoint spin, const DirectionLines& lines, int gap, int width, bool cutUpper,
                   bool cutLower);
// "Meteor/Lunar Limb": keeps background at least the gap away from the trail line
// and within the width along it; does nothing when outerControl < gap.
void CutLimbBand(ApertureGrid& grid, IntPoint spin, const DirectionLines& lines, int gap, int width, int outerControl);

// Builds one aperture mask from its geometry; also stores the direction lines.
// Returns true when the cell counts are to be shown (every shape but the rectangle).
bool BuildApertureMask(ApertureGrid& grid, DirectionLines& lines, const MaskGeometry& g);
// Object k's mask from MaskGeometryOf; true when its counts are to be shown.
bool BuildApertureMasks(MaskState& masks, const MeasureState& state, int k);
// All three objects (opening a video, start-up, the presets).
void BuildAllApertureMasks(MaskState& masks, const MeasureState& state);

struct MaskCounts {
    int32_t star = 0, background = 0;
};
// Cells with value 1 and 2 in the central 51 x 51.
MaskCounts CountMaskCells(const ApertureGrid& grid);

// Texts of the aperture and background count boxes: both empty under PSF
// photometry, otherwise the two counts.
struct MaskCountTexts {
    std::string Edit20, Edit21;
};
MaskCountTexts ShowMaskCounts(const ApertureGrid& grid, bool psfPhotometry);

void ClearTrackMask(TrackGrid& grid);
// The disc rule on the tracking grid; the centre cell is set to 1 afterwards
// whatever the value.
void FillTrackDisc(TrackGrid& grid, int r, int32_t value);
// Clear and fill with 1: what the tracking-radius control does for an object.
void BuildTrackMask(MaskState& masks, int k, int r);
