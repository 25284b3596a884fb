#pragma once
// Star tracking: moving an object's position onto its star before it is
// measured. Two trackers: the thresholded centroid (TrackStar) and the search
// with the object's learnt Gaussian template (TrackStarPsf), which also decides
// when a star is lost and may then take the predicted track's position. Also the
// reference points of the drift tracks.
//
// Pixel bounds of both trackers: a pixel (px, py) is read only when
// 0 <= px < frame width and 1 <= py < frame height (the top row is never read);
// other cells count 0. Positions that come out are clamped to
// 0..width-1, 0..height-1 of the frame.
#include <cstdint>
#include <string>

#include "measure/image_primitives.h"
#include "measure/masks.h"
#include "measure/measure_state.h"
#include "measure/predict_track.h"
#include "measure/psf.h"
#include "platform/bitmap24.h"

// Tracker state kept outside the frame records, one instance beside MeasureState.
struct TrackingState {
    // The lost-star limit of the PSF tracker per object, percent of its reference
    // flux ("Threshold", UpDown7).
    PerObject<int32_t> LostPercent;
    // Object A was lost while the automatic passed points were on.
    uint8_t StarLostFlag = 0;
    PerObject<PredictTrackRecord> PredictTrack;
    uint8_t SetPredictTrackOpen = 0;

    TrackingState() {
        for (int k = 1; k <= 3; ++k) LostPercent[k] = 20;
    }
};

// What the trackers read from the main window's controls.
struct TrackControls {
    int GaussianKernel = kGaussian3;  // "Gaussian Filtre" item (0 off)
    int TrackRadiusControl = 6;       // position of the tracking-radius control
    bool EstimatedTrack = false;      // "Estimated track" checked: lost stars follow the prediction
    bool AutoPassedPoints = false;    // CheckBox17: a lost object A sets its Frame2
    const GammaLut* Gamma = nullptr;  // the gamma table when the gamma mode is "Measure"
};

struct TrackOutcome {
    int32_t x = 0, y = 0;
    // The position is to be shown (for the current object). False only when the
    // centroid tracker found nothing in its disc.
    bool show = false;
    // The PSF tracker set object A's Frame2 (its box shows the frame).
    bool frame2Set = false;
    // The PSF tracker found the star below its lost limit.
    bool lost = false;
};

// Centroid tracker for object k at (x, y): the brightness (R+G+B) of the disc
// `mask`, thresholded at TrackThreshold percent of the brightest cell within
// TrackRadius, and its centroid rounded to a whole pixel (ties to the lower
// position, at most 20 pixels away). An empty disc leaves the position as it is.
TrackOutcome TrackStar(const Bitmap24& frame, const TrackGrid& mask, const DataLineObject& object, int32_t x,
                       int32_t y, int gaussianKernel);

// The search patch of the PSF tracker, (t(R) + t(G) + t(B)) / 3 over offsets
// -53..53 (t the gamma table or the identity), smoothed when the kernel is on.
void ReadPsfSearchPatch(const Bitmap24& frame, int32_t x, int32_t y, const GammaLut* gamma, int kernel,
                        PsfSearchPatch& patch);
// Mean of the patch over the background cells (value 2) of the mask whose pixels
// lie within the bounds; 0 when there are none.
double PsfBackground(const PsfSearchPatch& patch, const ApertureGrid& mask, const Bitmap24& frame, int32_t x,
                     int32_t y);

struct PsfSearchResult {
    int32_t sx = 0, sy = 0;  // best whole-pixel shift
    double net = 0;          // aperture sum less background at that shift
};
// The template search over the shifts of the disc of `radius` (0..25): the first
// shift with the smallest distance between the template and the background-
// subtracted patch, and the net flux of the mask's aperture there.
PsfSearchResult PsfSearch(const PsfSearchPatch& patch, double background, const PsfTemplateGrid& tmpl,
                          const ApertureGrid& mask, int radius);

// True when object k's template holds anything (learnt, or restored from a
// results file).
bool HasPsfTemplate(const PsfState& psf, int k);

// PSF tracker for object k at (x, y) in frame `frameNo`, with the object's
// PsfTemplate and ReferenceFlux. Object B, while psf.ProfileLearning is clear,
// runs a wide search (radius 25) when its narrow search finds it lost. While the
// object has no template the centroid tracker runs instead (a zero template
// would walk the object off its star). May add to the object's predicted track,
// and set object A's Frame2 and StarLostFlag (on the first lost frame only).
TrackOutcome TrackStarPsf(const Bitmap24& frame, int32_t frameNo, int k, int32_t x, int32_t y, MeasureState& state,
                          const MaskState& masks, TrackingState& tracking, const PsfState& psf,
                          const TrackControls& controls);

// ---- Reference points of the drift tracks ----

inline constexpr const char* kFrame1Caption = "Frame1";
inline constexpr const char* kFrame2Caption = "Frame2";

// Each sets the triple to -100, -100, -100. After the two numbered ones the
// window shows kFrame1Caption in Edit40 or kFrame2Caption in Edit41.
void ClearTrackStartPoint(MeasureState& state, int k);
void ClearTrackRefPoint1(MeasureState& state, int k);
void ClearTrackRefPoint2(MeasureState& state, int k);
// Stores (frame, PosX, PosY of the frame line) and returns the text for Edit40
// or Edit41 (the frame number).
std::string SetTrackRefPoint1(MeasureState& state, int k, int32_t frame);
std::string SetTrackRefPoint2(MeasureState& state, int k, int32_t frame);
// Every object's linked Frame1 or Frame2 := -100; the window shows
// kFrame1Caption in Edit11 or kFrame2Caption in Edit32.
void ClearLinkRefPoint1(MeasureState& state);
void ClearLinkRefPoint2(MeasureState& state);
