#pragma once
// Reading the characters that a time inserter prints into the frame. A character
// cell is sampled by a fixed set of short horizontal pixel runs; each run becomes
// one number, and the inserter type's rule classifier (overlay_classify.h) scores
// the sample vector against every character class.
//
// Everything here is plain computation on a frame bitmap and the overlay state;
// nothing allocates, nothing fails. Pixels outside the frame read as black.
#include <array>
#include <cstdint>

#include "overlay/overlay_classify.h"
#include "platform/bitmap24.h"

namespace overlay {

// Time inserter types (the main window's "time inserter" choice).
enum InserterType : uint8_t { kIotaVti = 0, kKiwiOsd = 1, kGhsOsd = 2 };

// One sample run: starts dx pixels right of the character column, on character
// row `row` (0..6), covering width + 1 pixels.
struct SampleRun {
    int8_t dx;
    uint8_t row;
    uint8_t width;
};

// Layout 0: KIWI-OSD above 25 frames per second (italic digits); layout 1: KIWI-OSD
// at 25 or less; layout 2: the located grid (IOTA-VTI, GHS-OSD, located KIWI-OSD).
extern const std::array<std::array<SampleRun, kSampleRunCount>, 3> CharacterSampleRuns;

// The character columns of the fixed KIWI-OSD time lines (hours, minutes,
// seconds, two groups of three fraction digits), one row per row set 1..5.
extern const std::array<std::array<int, 12>, 5> KiwiCharacterPositions;

constexpr int kRowSetCount = 21;
constexpr int kColumnsPerRowSet = 36;
using CharacterColumnTable = std::array<std::array<int, kColumnsPerRowSet>, kRowSetCount>;

// What the overlay reader takes from the main window's controls and the video.
struct OverlayControls {
    int UpDown4 = 0;           // "Threshold" position, 0..255
    int UpDown10 = 0;          // horizontal adjustment of the fixed KIWI-OSD columns, -20..20
    bool ShowField = false;    // CheckBox1 "Show Field": the frame shown as two stacked fields
    uint8_t TimeInserterType = kIotaVti;
    int VideoFrameRateInt = 0;
    int FrameWidth = 0;
    int FrameHeight = 0;
    int DisplayWidth = 0;      // size of the frame display Image1
    int DisplayHeight = 0;
};

// The overlay reader's state, shared by the time-line reader, the signal boxes
// and the locators.
struct OverlayState {
    // Row sets 1-4: fixed KIWI-OSD layouts; 5: the located time line; 10: the
    // IOTA-VTI GPS page; 20: the GHS-OSD position line.
    CharacterColumnTable CharacterColumns{};
    int OverlayThreshold = 0;          // copy of the "Threshold" position
    double OverlayLevel = 0;           // brightness (R+G+B) of the overlay background
    long double OverlayCharPitch = 0;  // character pitch of the located grid
    long double GpsCharPitch = 0;      // pitch used while the GPS page is read
    uint8_t OverlayGridLocated = 0;
    int OverlayRow = 0;
    int KiwiRowOffset1 = 0;
    int KiwiRowOffset2 = 0;
    int KiwiColumnShift = 0;
    uint8_t GpsPageMode = 0;  // 0 time line, 1 GPS page, 2 all 16 classes
    bool ReadLetters = false;
    SampleVector CharacterSamples;
    ScoreVector ClassScores{};
    // The located grid's run offsets and widths at the last scale read with, so that
    // a line of characters scales the runs once.
    struct ScaledRuns {
        long double scale = -1;
        std::array<int, kSampleRunCount> dx{}, width{};
    } ScaledGrid;
};

// Copies KiwiCharacterPositions row r into columns 7..18 of row set r + 1 (at
// start-up and whenever KIWI-OSD is chosen).
void CopyKiwiCharacterColumns(OverlayState& st);

struct PixelSum {
    int r = 0, g = 0, b = 0;
};

PixelSum GetPixelRGB(const Bitmap24& bmp, int x, int y);
// Per-channel sums over the 5 x 5 pixels around (x, y); pixels with x < 0 or
// y < 1 do not count, and nothing counts unless the centre lies on the display.
PixelSum SumRGB5x5(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y);

// Sum of R+G+B over (x..x+w, y) minus the same over the next line of the same
// field (y + 1 on a located grid or in the field view, else y + 2). May be negative.
int EdgeRunSample(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y, int w);
// Thresholded brightness over (x..x+w, y), by the inserter type.
int ThresholdRunSample(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y, int w);

// The y of the top character row of a row set for field 0 (field 1) or 1 (field 2).
int OverlayRowY(const OverlayState& st, const OverlayControls& c, int rowSet, int field);

// A character read from the frame: the character ('\0' for none) and its score
// (0 when rejected).
struct OverlayCharacter {
    char character = 0;
    double score = 0;
};

// Samples the cell whose column is x and top row y into st.CharacterSamples,
// scores it into st.ClassScores and picks the best candidate class.
OverlayCharacter ReadOverlayCharacter(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y);
inline OverlayCharacter ReadOverlayCharacterBest(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x,
                                                 int y) {
    return ReadOverlayCharacter(st, c, bmp, x, y);
}

// The character of class k on an IOTA-VTI or GHS-OSD overlay ('\0' for class 13).
char ClassCharacter(int k);

}  // namespace overlay
