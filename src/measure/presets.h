#pragma once
// The occultation-type presets chosen in the operation guide: object settings
// for the measurement that type of event needs.
#include "measure/measure_state.h"

// The guide's type list, item 0 first.
inline constexpr const char* kOccultationTypes[5] = {
    "Select type of observed occultation. ",
    "Lunar occultation <bright star - drift track>",
    "Lunar occultation <dim star - anchor track>",
    "Asteroidal occultation <use tracking star>",
    "Asteroidal occultation <single star - bright star>",
};

// Writes preset `preset` (0..4; others change nothing) into every object of all
// three lines. Tracking radii of A and C come from `psfSigma` (rounded half away
// from zero, clamped to 0..25); object B's is never changed. `link` is the
// main window's "Link" box. Returns false for an unknown preset.
bool ApplyPresetToLines(DataLineSet& lines, const PerObject<double>& psfSigma, int preset, bool link);

// "Set radius to memoried": the aperture, inner and outer radius of every object
// from `memorized` (the settings file's radii, frame line) into all three lines,
// kept to the controls' chain: 0 <= aperture < inner <= outer <= 25.
void ApplyMemorizedRadii(DataLineSet& lines, const DataLineSet& memorized);
