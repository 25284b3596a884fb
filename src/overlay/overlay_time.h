#pragma once
// Reading the time line that the inserter prints for each of the two video fields,
// and deciding which field is the earlier one.
//
// The line reader takes the character reader as a parameter so that the assembly
// of the strings can be driven by scripted characters; the program passes
// ReadOverlayCharacterBest.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "overlay/overlay_reader.h"

namespace overlay {

using CharacterReader =
    std::function<OverlayCharacter(OverlayState&, const OverlayControls&, const Bitmap24&, int x, int y)>;

// The main-window switches the line reader follows besides OverlayControls.
struct TimeLineControls {
    int FieldOrderItem = 0;     // RadioGroup2 "Field Order": item 1 swaps the rows of the two fields
    bool FieldMeasure = false;  // CheckBox2 "Field Measure"
};

// What a reading leaves: the strings of both fields and the field-order state.
struct OverlayTimeLine {
    std::string OverlayHour1, OverlayMinute1, OverlaySecond1;
    std::string OverlayHour2, OverlayMinute2, OverlaySecond2;
    std::string OverlaySeconds1, OverlaySeconds2;
    std::string VtiFieldCount1, VtiFieldCount2;
    std::string OverlayYear, OverlayMonth, OverlayDay;
    uint8_t TopFieldFirst = 0;
    uint8_t FieldTimeComparison = 2;  // 0/1 the last comparison, 2 not decided
    int CalibrationResult = 1;        // 0 read 10 px left, 1 nominal, 2 no text found
    // Characters of the time strings that were not recognised (stored as "0"), per field.
    std::array<int, 2> Unread{};
};

// 2 when either text is empty; else 1 when a is at or after b, 0 otherwise, a
// minute turning between the two counting as later.
int CompareFieldSeconds(const std::string& a, const std::string& b);

// The fixed KIWI-OSD row set for a frame: 1/2 above/at most 25 frames per second,
// 3/4 for frames at most 640 wide.
int KiwiRowSet(const OverlayControls& c);

// Finds the row offset of one field (0 or 1) of the fixed KIWI-OSD line and the
// column shift; 1 nominal column, 0 the column 10 px left, 2 no character found.
int CalibrateKiwiRowOffset(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int field,
                           const CharacterReader& read);
int CalibrateKiwiRowOffset(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int field);

// Reads both fields' time line into `line` (and the field order state it carries).
void ReadTimeOverlayLine(OverlayState& st, const OverlayControls& c, const TimeLineControls& t, const Bitmap24& bmp,
                         OverlayTimeLine& line, const CharacterReader& read);
void ReadTimeOverlayLine(OverlayState& st, const OverlayControls& c, const TimeLineControls& t, const Bitmap24& bmp,
                         OverlayTimeLine& line);

}  // namespace overlay

namespace overlay {

// One line of blank-separated key=value pairs of a reading (an empty value as
// "key="): hour1 minute1 second1 seconds1 hour2 minute2 second2 seconds2 count1
// count2 year month day top cmp cal offsets=o1,o2 shift unread=u1,u2.
std::string FormatOverlayTimeLine(const OverlayTimeLine& line, const OverlayState& st);

// Fills row set 5 as the locators would for the inserter type from a grid's first
// column x0, pitch and row (KIWI-OSD: pairs `gap` apart) and marks it located.
void SetLocatedGrid(OverlayState& st, uint8_t type, double x0, double pitch, int row, double gap, double level);

}  // namespace overlay
