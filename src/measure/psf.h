#pragma once
// PSF photometry: a circular Gaussian star image on a flat background fitted to
// the pixels around an object by a staged grid search,
//
//     M(dx, dy) = Bg + a A0 exp(-2 (r / sigma)^2),
//     r^2 = (dx + cx)^2 + (k (dy + cy))^2,  k = 1.125 with PixelAspect, else 1,
//
// whose volume pi sigma^2 A / 2 (over k) is the measured value. The same fit in
// the profile-learning pass gives the object's width PsfSigma, the PSF tracker's
// template and the reference flux of its lost-star test.
//
// Contract of the fit:
// - Cells whose pixel is outside the frame (or on its top row, which the readers
//   never use) take no part: not in the background mean, not in the fit. Cells at
//   or above the saturation limit leave the fit too.
// - When no usable cell is left in the fit's core (-10..10), every candidate would
//   score the same; the fit is then reported as failed and changes no state.
// - A width candidate <= 0 contributes a model term of 0; no NaN reaches a
//   comparison. Every result is finite.
// - Nothing here allocates per pixel; all grids live in the caller's objects.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "measure/image_primitives.h"
#include "measure/masks.h"
#include "measure/measure_state.h"
#include "measure/photometry.h"
#include "platform/bitmap24.h"

class QImage;

using PsfTemplateGrid = OffsetGrid<double, 25>;

// One frame of the learning pass.
struct LearningRecord {
    double rms = 0;
    double amplitude = 0;  // |A|
    double sigma = 0;
};

struct PsfState {
    PerObject<PsfTemplateGrid> PsfTemplate;
    PerObject<double> ReferenceFlux;
    // Indexed by LearningIndex; grows as records are written (up to kMaxLearningRecords).
    std::vector<LearningRecord> LearningRecords;
    int32_t LearningIndex = 0;
    uint8_t ProfileLearning = 0;
    uint8_t PixelAspect = 0;
    static constexpr int32_t kMaxLearningRecords = 4096;
};

// Set for wide frames of a fast (NTSC-like) video: frame rate above 26 and
// width / height above 1.4.
uint8_t PixelAspectFor(double frameRate, int width, int height);

// PsfTemplate[k](dx, dy) := amplitude x exp(-2 (r / s)^2) over -25..25, s = sigma
// but at least 1.0 (a sigma that is no number counts as 1.0), r with the pixel
// aspect when set. Cells that are not finite become 0.
void GaussianPsfModel(PsfState& psf, int k, double sigma, double amplitude);

// The options that steer the fit.
struct PsfOptions {
    int SaturationLimit = 235;  // patch values at or above are not fitted (127..255)
    int InitialPeak = 350;      // A0 of a saturated star (250..700)
    bool FixedSigma = true;     // "Fixed": keep PsfSigma outside the learning pass
    int SigmaLowPercent = 50;   // limits of the fitted sigma in percent of PsfSigma
    int SigmaHighPercent = 140;
    int SmoothKernel = kGaussian3;         // "Gaussian Filtre" of the patches
    const GammaState* Gamma = nullptr;     // the table is used when its mode is kGammaMeasure
};

// Where the fit is drawn: the operation guide's picture while the guide is open,
// until then an image that nothing shows. Drawn for the current object only.
struct ProfileCanvas {
    QImage* Image = nullptr;
    int CurrentObject = 1;
    double ReaderFrameRate = 0;
};

// Cell roles on the fit disc.
enum FitCellKind : uint8_t { kFitNone = 0, kFitUsed = 1, kFitSaturated = 2, kFitOutside = 3 };
using FitMarks = OffsetGrid<uint8_t, 25>;
using InsideGrid = OffsetGrid<uint8_t, 27>;

// Everything one fit works on and produces.
struct ProfileFit {
    // Input: the patch (-27..27), which of its cells lie inside the frame, the
    // background level and the centre value.
    ProfilePatch P;
    InsideGrid Inside;
    double Bg = 0;
    double C = 0;

    // Results.
    FitMarks Marks;
    int Rf = 0;
    double Peak = 0;
    bool Saturated = false;
    bool Failed = false;
    double A0 = 0;
    double Sigma = 0;
    double Cx = 0, Cy = 0;
    double AmplitudeFactor = 0;
    double A = 0;
    double Rms = 0;
};

struct ProfileFitSettings {
    bool Learning = false;
    double PsfSigma = 5.0;  // the object's current width (not finite or <= 0: 5.0; at most 1000)
    int SaturationLimit = 235;
    int InitialPeak = 350;
    bool FixedSigma = true;
    int SigmaLowPercent = 50;
    int SigmaHighPercent = 140;
    bool PixelAspect = false;
};

// Fills P, Inside, Bg and C from the frame around (x, y): P := the mean of the
// three colour bytes (through the gamma table when given), Bg := the mean of P
// over the inside cells of the mask's background, C := P(0, 0); then smooths the
// patch (cells outside the frame are first set to Bg, so the frame edge does not
// darken the smoothed cells).
void ReadProfilePatch(const Bitmap24& frame, int x, int y, const ApertureGrid& mask, const GammaLut* gamma,
                      int smoothKernel, ProfileFit& fit);

// The staged grid search over the prepared patch: fit disc, saturation, width,
// centre, width again, amplitude. Sets every result field of `fit`.
void FitProfile(ProfileFit& fit, const ProfileFitSettings& settings);

// Model value of the fitted Gaussian at distance r from its centre.
double ProfileModelAt(const ProfileFit& fit, double r);

struct ProfileResult {
    double rms = 0, fwhm = 0, value = 0;
    bool failed = false;     // no usable fit cell: nothing was measured or stored
    bool saturated = false;  // the star's core reached the saturation limit
    double sigma = 0, amplitude = 0;
    double cx = 0, cy = 0;
};

// Fits object k at (x, y). `measuring` is the photometry call; otherwise this is
// the learning call, which fits freely (disc radius 8, wider centre search),
// writes LearningRecords[LearningIndex], rebuilds PsfTemplate[k] and sets
// ReferenceFlux[k]. Both write PeakEstimate of object k in the frame line. A
// failed fit writes nothing. Draws into the canvas when k is its current object.
ProfileResult MeasureStarProfile(bool measuring, int k, const Bitmap24& frame, int x, int y, MeasureState& state,
                                 const MaskState& masks, PsfState& psf, const PsfOptions& options,
                                 const ProfileCanvas* canvas = nullptr);

// Star-aperture sum minus the background share of the pixels around the fitted
// centre, read without the gamma table; cells outside the frame are left out of
// both sums and their counts.
double ComputeReferenceFlux(const Bitmap24& frame, int x, int y, double cx, double cy, const ApertureGrid& mask);

// The picture of the fit: the radial profile of the fit cells over the fitted
// curve, in the object's colour. Paints the whole image.
void DrawProfileFit(QImage& image, const ProfileFit& fit, int k, double readerFrameRate);

// After a learning call of the current object: the radii that follow from sigma.
// s := RoundHalfAway(sigma); when s < 21 ApertureRadius := s and BkgInnerRadius :=
// s + 2 in all lines (an outer radius below that is raised to it), TrackRadius :=
// s when `syncTracking`, and the object's masks are rebuilt. Returns s (the
// window sets its radius controls from it) and whether the lines changed.
struct LearnedRadii {
    int s = 0;
    bool applied = false;
};
LearnedRadii ApplyLearnedRadii(MeasureState& state, MaskState& masks, int k, double sigma, bool syncTracking);

// What the photometry call leaves for the window. When the fit failed, the
// object was measured by aperture photometry instead and `Aperture` holds those
// read-outs; otherwise the window empties the current object's pixel-count,
// background and value-panel boxes and shows Edit9 (current object) and Edit23.
struct PsfReadouts {
    bool Failed = false;
    bool Current = false;
    bool PanelCleared = false;
    std::string Edit9;
    std::string Edit23;
    ApertureReadouts Aperture;
    ProfileResult Fit;
};

// PSF photometry of object k at (x, y): the measuring fit, then Value (the same
// in all three lines), PeakHeight, BackgroundLevel 0, AperturePixels 1,
// BackgroundPixels 1 and Fwhm. A failed fit stores the aperture photometry of the
// same masks instead (PsfSigma untouched) and says so in `Failed`.
PsfReadouts StorePsfValues(const Bitmap24& frame, int currentObject, int k, int x, int y, MeasureState& state,
                           const MaskState& masks, PsfState& psf, const PsfOptions& options,
                           PhotometryState& photometry, const ApertureOptions& apertureOptions,
                           const ProfileCanvas* canvas = nullptr);
