#pragma once
// Locating the time line of an IOTA-VTI or GHS-OSD overlay (the character columns
// of row set 5, the row, the pitch and the brightness level), the bright-box grid
// of a clicked KIWI-OSD line, and reading the GPS page of an IOTA-VTI and the
// position line of a GHS-OSD.
//
// The locators scan the frame for readable digits around the expected columns,
// fit a straight line x = a + b c through the found columns and put every cell on
// that line. They work on a copy of the reader's state and change it only when the
// locate succeeds: a frame without an overlay leaves the previous grid in place.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "overlay/overlay_reader.h"

namespace overlay {

// The least-squares line x = a + b c with the probable errors (0.6745 sigma) of
// a and b; `ok` is false with fewer than two points.
struct LineFit {
    long double a = 0, b = 0, ea = 0, eb = 0;
    int count = 0;
    bool ok = false;
};
struct FitPoint {
    long double c = 0, x = 0;
};
LineFit FitLineLeastSquares(const FitPoint* points, int count);

// What the locators keep beside the reader's state.
struct LocatorState {
    std::array<double, 24> OverlayCharX{};  // fitted x of the time-line cells
    int OverlayCharHeight = 14;
    int GpsRow = 0;
    uint8_t GhsSearchPending = 1;
    uint8_t GhsLocateEnabled = 0;
    bool WideScan = false;  // "IOTA-VTI Wide scan"
};

// The frame's R+G+B level block must have its maximum at least this far above its
// mean, and fewer than half of its horizontally neighbouring pixels may differ by
// more than 60: a frame of plain sky or of noise has no overlay to locate.
constexpr double kLevelContrast = 150;

// Scans columns x - n .. x + n (n 14 for IOTA-VTI with the wide scan, else 7) on
// row y and moves x to the centre of the best-read character. True when the best
// digit scored above 200.
bool FindCharacterColumn(OverlayState& st, const OverlayControls& c, const LocatorState& loc, const Bitmap24& bmp,
                         int& x, int y);
// The same scan, also taking "U"; returns the best character or ' ' when its score
// is 200 or less.
char FindCharacterColumnOrMark(OverlayState& st, const OverlayControls& c, const LocatorState& loc,
                               const Bitmap24& bmp, int& x, int y);
// Reads column x on rows y - 4 .. y + 4 (step 2) and moves y to the best one; true
// when its score is above 0.
bool RefineCharacterRow(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int& y);

enum class LocateStatus : uint8_t { kLocated, kNotFound, kNotRun };

struct LocateResult {
    LocateStatus status = LocateStatus::kNotFound;
    std::string reason;  // why nothing was located, or why a located grid is not trusted
    LineFit fit;
    int points = 0;
    // IOTA-VTI: the grid reads a line the inserter could have printed (below).
    bool trusted = false;
    int passing = 0;  // candidate grids that did
};

// The IOTA-VTI time line. On success row set 5 columns 7..28, OverlayRow,
// OverlayCharPitch, OverlayLevel, OverlayCharX and OverlayCharHeight are set.
//
// The line found by the scans and the least-squares fit is then checked against
// what the inserter guarantees: on candidate grids around it (both rows of its row
// pair, the x within +-2 px, the pitch within +-0.1 px) both fields of `bmp` must
// read every digit (a valid hh:mm:ss, the fraction in one four-digit group, the
// counter), the two fields in different groups, their counters 1 apart and their
// times one field period apart (200 x 0.1 ms at 25 frames per second, 166 or 167
// at 29.97); the first two frames of `later` (frames after `bmp`, in order) must
// read every digit. Of the largest connected block of passing grids the middle is
// taken, or, with later frames, the grid nearest it among those that read the most
// later frames with their two fields agreeing as above; `trusted` is set. When no
// grid passes, the scanned row snapped to its pair and the plain fit are kept and
// `trusted` stays false with the reason. Costs about 20 ms and 10 ms per later frame
// on a 720 x 576 frame.
LocateResult LocateOverlay(OverlayState& st, const OverlayControls& c, LocatorState& loc, const Bitmap24& bmp,
                           std::span<const Bitmap24* const> later = {});
// The check above for one grid x = a + b c on row `row` (OverlayRow), with the
// level and threshold of `st`.
bool CheckIotaGrid(const OverlayState& st, const OverlayControls& c, const Bitmap24& bmp,
                   std::span<const Bitmap24* const> later, long double a, long double b, int row);
// The grid a locate installs when the frame cannot be fetched.
void ApplyDefaultIotaGrid(OverlayState& st, LocatorState& loc, int frameWidth);

// The GHS-OSD time line from the cell origin (x, y); with GhsSearchPending the
// frame is first searched for the "U" mark. Runs only at 26 frames per second or
// more and with GhsLocateEnabled (kNotRun otherwise). x and y take the origin used.
LocateResult LocateOverlayAt(OverlayState& st, const OverlayControls& c, LocatorState& loc, const Bitmap24& bmp,
                             int& x, int& y);

// Eight cells of a KIWI-OSD line from the bright boxes right of and below (x, y).
// False (and nothing changed but OverlayGridLocated := 0) when a box is missing.
bool LocateOverlayGrid(OverlayState& st, LocatorState& loc, const Bitmap24& bmp, int threshold, int x, int y);

// The seven texts of a GPS reading.
struct GpsRecord {
    std::string Satellites, HDOP, UTC, Latitude, Longitude, Altitude, WGSSeparation;
};
// A blue cell rectangle marked on the frame display.
struct CellMark {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct GpsResult {
    bool read = false;
    std::string reason;
    std::array<CellMark, 24> marks{};
    int markCount = 0;
};

// The IOTA-VTI GPS page; row set 10 and GpsRow on success. `gps` is unchanged when
// the first digit is not found.
GpsResult ReadIotaGpsPage(OverlayState& st, const OverlayControls& c, LocatorState& loc, const Bitmap24& bmp,
                          GpsRecord& gps);
// The GHS-OSD position line from (x, y); row set 20.
GpsResult ReadGhsGpsLine(OverlayState& st, const OverlayControls& c, LocatorState& loc, const Bitmap24& bmp, int x,
                         int y, GpsRecord& gps);

}  // namespace overlay
