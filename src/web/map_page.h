#pragma once
// The station map page: an XHTML page that centres the map service's map and a
// marker on the observer's position read from the time inserter's GPS page, and
// the lines that list the GPS values beside it.
//
// Everything here is plain text work with no state: the same record gives the same
// page. Coordinates that cannot be read become 1000.0 ("no position"), which is
// written into the page as it is; no input text throws. Numbers on the page always
// use "." whatever the locale.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "overlay/overlay_locate.h"

namespace web {

// The map service; the script path below is appended to it.
extern const char* const kMapServiceHost;  // "https://maps.googleapis.com"
extern const char* const kMapScriptPath;   // "/maps/api/js?sensor=false"

constexpr int kMapPageLineCount = 33;
// 0-based lines that carry the position.
constexpr int kMapCentreLine = 13;
constexpr int kMapMarkerLine = 22;
// The value of a coordinate that could not be read.
constexpr double kNoPosition = 1000.0;

// A position in decimal degrees, north and east positive.
struct MapCentre {
    double Latitude = 0, Longitude = 0;
};

// The 33 page lines with the default centre (35.709984, 139.810703).
std::vector<std::string> BuildMapPage();

// An IOTA-VTI text "dddmm.mmmm H": degrees + minutes / 60 of the number before the
// first blank, always positive; 1000.0 unless the first "." is at character 2 or
// later and the first blank at character 7 or later (1-based), or when the number
// does not read.
double ParseGpsCoordinate(std::string_view text);

// A GHS-OSD text in fixed 1-based columns: degrees 2-4, minutes 7-8, seconds 11-12,
// tenths 14, hemisphere 17 ("E" or "N" positive, anything else negative). A field
// that is not a number counts 0; an empty text gives 1000.0.
double ParseDmsCoordinate(std::string_view text);

// Rewrites the two position lines of `lines` (a page from BuildMapPage) from the
// record and returns the position. SetMapCentre reads IOTA-VTI texts (negative
// unless the latitude ends in "N", the longitude in "E"); SetMapCentreDms reads
// GHS-OSD texts. Pages with fewer lines are left as they are.
MapCentre SetMapCentre(std::vector<std::string>& lines, const overlay::GpsRecord& gps);
MapCentre SetMapCentreDms(std::vector<std::string>& lines, const overlay::GpsRecord& gps);

// The list of GPS values. IOTA-VTI: satellites with HDOP, UTC, latitude,
// longitude, altitude and WGS separation; other inserters: latitude and longitude
// only. `centre` is null when no position was read (empty latitude text): the
// position lines are then left out.
std::vector<std::string> MapMemo2Lines(const overlay::GpsRecord& gps, uint8_t timeInserterType,
                                       const MapCentre* centre);

// One coordinate line of that list: `label` ("Latitude   : ") followed by " " or
// "-", degrees "o ", minutes "'", seconds with two decimals, a double quote and the
// decimal value in brackets.
std::string MapCoordinateLine(const std::string& label, double value);

// What the map window shows when it opens: the page, centred on the record's
// position when its latitude text is not empty, and the list of GPS values.
struct MapPage {
    std::vector<std::string> MapPageLines;
    std::vector<std::string> Memo2;
};
MapPage MakeMapPage(const overlay::GpsRecord& gps, uint8_t timeInserterType);

// Whether the record read for "Map" holds enough to show the map window: a latitude
// and, for IOTA-VTI, a satellite count, for the other inserters a longitude.
bool MapWindowHasPosition(const overlay::GpsRecord& gps, uint8_t timeInserterType);

}  // namespace web
