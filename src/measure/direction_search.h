#pragma once
// The direction of the band-shaped background ("Meteor/Lunar Limb"): the
// automatic search after an object is placed, and the "Opitimize" button.
//
// Both fetch the current frame through a frame source of the caller's, so that
// they work with whatever reader is open. The source reports its own failures to
// the user; a failed fetch leaves everything as it was.
#include <cstdint>
#include <functional>

#include "measure/image_primitives.h"
#include "measure/masks.h"
#include "measure/measure_state.h"
#include "measure/tracking.h"
#include "platform/bitmap24.h"

// Fetches frame `frame` into the bitmap; false on failure (after telling the user).
using FrameSource = std::function<bool(int32_t frame, Bitmap24& out)>;

inline constexpr int kDirectionSteps = 200;
// Width of the band during the search after placement.
inline constexpr int kDirectionSearchWidth = 20;

enum class DirectionScore {
    Moment,   // brightness moment about the line (after placement)
    Balance,  // brightness difference of the two sides ("Opitimize")
};

// R+G+B over offsets -27..27 around (x, y); 0 where the pixel has x < 0, y < 1,
// x >= width or y >= height of the frame.
void ReadDirectionPatch(const Bitmap24& frame, int32_t x, int32_t y, TrackPatch& patch);

// Tries the 200 directions (sin, cos of pi i / 100, times 500) with the band
// mask built from `geometry` and returns the first one with the smallest score.
IntPoint SearchDirection(const TrackPatch& patch, MaskGeometry geometry, DirectionScore score);

// The search after object k was placed: only with a video open and object k's
// background shape "Meteor/Lunar Limb". Reads the patch around (x, y), object k's
// position in this frame, searches with the band 20 wide, and sets object k's
// direction (its spin point and SpinX/SpinY in all lines) and masks; the width is
// left as it was. Returns true when the direction changed hands (the window then
// refreshes its mask counts).
bool AutoDirectionOnPlace(MeasureState& state, MaskState& masks, int k, int32_t x, int32_t y, int32_t frameNo,
                          const FrameSource& source);

struct OptimizeOutcome {
    bool done = false;      // false: no video, or the fetch failed; nothing changed
    int32_t threshold = 0;  // the new tracking threshold and lost percent (UpDown7, Edit42)
};
// "Opitimize" for the current object: with a "Meteor/Lunar Limb" background the
// direction search (balance score, the object's own width) around its start
// position; then its TrackThreshold (all lines) and LostPercent := 95 when
// `upDown12` is 0, else 0. The window then sets UpDown7, Edit42 and shows the
// frame again.
OptimizeOutcome OptimizeCurrentObject(MeasureState& state, MaskState& masks, TrackingState& tracking, int32_t frameNo,
                                      int upDown12, const FrameSource& source);
