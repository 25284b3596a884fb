#include "web/map_page.h"

#include <cmath>
#include <cstdio>

#include "platform/numtext.h"

namespace web {

const char* const kMapServiceHost = "https://maps.googleapis.com";
const char* const kMapScriptPath = "/maps/api/js?sensor=false";

namespace {

std::string DegreesText(double value) { return numtext::FormatFixed(value, 10, 6); }

std::string CentreLine(const MapCentre& c) {
    return "      var latlng = new google.maps.LatLng(" + DegreesText(c.Latitude) + "," +
           DegreesText(c.Longitude) + ");";
}

std::string MarkerLine(const MapCentre& c) {
    return "        position: new google.maps.LatLng(" + DegreesText(c.Latitude) + "," +
           DegreesText(c.Longitude) + "),";
}

void WritePosition(std::vector<std::string>& lines, const MapCentre& c) {
    if (lines.size() < static_cast<size_t>(kMapPageLineCount)) return;
    lines[kMapCentreLine] = CentreLine(c);
    lines[kMapMarkerLine] = MarkerLine(c);
}

bool EndsWith(std::string_view text, char c) { return !text.empty() && text.back() == c; }

// Characters `first`..`last` (1-based) as an integer; a field that is missing or
// not a number counts 0.
int DmsField(std::string_view text, size_t first, size_t last) {
    if (text.size() < first) return 0;
    const std::string_view field = text.substr(first - 1, last - first + 1);
    return numtext::ParseInt32(field).value_or(0);
}

}  // namespace

std::vector<std::string> BuildMapPage() {
    return {
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"",
        "  \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">",
        "<html xmlns=\"http://www.w3.org/1999/xhtml\">",
        "  <head>",
        "    <meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"/>",
        "    <title>Google Maps for observation station</title>",
        "    <style type=\"text/css\">",
        "      html, body, #map_canvas {margin: 0; padding: 0; height: 100%;}",
        "    </style>",
        "    <script type=\"text/javascript\"",
        std::string("        src=\"") + kMapServiceHost + kMapScriptPath + "\"></script>",
        "    <script type=\"text/javascript\">",
        "    function initialize() {",
        "      var latlng = new google.maps.LatLng(35.709984,139.810703);",
        "      var myOptions = {",
        "        zoom: 15,",
        "        center: latlng,",
        "        mapTypeId: google.maps.MapTypeId.ROADMAP",
        "      };",
        "      var map = new google.maps.Map(document.getElementById(\"map_canvas\"),",
        "          myOptions);",
        "      var marker = new google.maps.Marker({",
        "        position: new google.maps.LatLng(35.709984,139.810703),",
        "        map: map,",
        "        title: \"marker test\"",
        "      });",
        "    }",
        "    </script>",
        "  </head>",
        "  <body onload=\"initialize()\">",
        "    <div id=\"map_canvas\" style=\"width:865px; height:482px\"></div>",
        "  </body>",
        "</html> ",
    };
}

double ParseGpsCoordinate(std::string_view text) {
    const size_t dot = text.find('.');
    const size_t blank = text.find(' ');
    // 0-based positions: "." at character 2 or later, the blank at 7 or later.
    if (dot == std::string_view::npos || dot < 1 || blank == std::string_view::npos || blank < 6)
        return kNoPosition;
    const std::optional<double> v = numtext::ParseFloat(text.substr(0, blank));
    // A reading error gives letters or stray marks; that is no position, not a failure.
    if (!v || !std::isfinite(*v)) return kNoPosition;
    const double whole = std::trunc(*v / 100);
    return whole + (*v - 100 * whole) / 60;
}

double ParseDmsCoordinate(std::string_view text) {
    if (text.empty()) return kNoPosition;
    const double value = DmsField(text, 2, 4) + DmsField(text, 7, 8) / 60.0 +
                         (DmsField(text, 11, 12) + DmsField(text, 14, 14) / 10.0) / 3600.0;
    const bool positive = text.size() >= 17 && (text[16] == 'E' || text[16] == 'N');
    return positive ? value : -value;
}

MapCentre SetMapCentre(std::vector<std::string>& lines, const overlay::GpsRecord& gps) {
    MapCentre c;
    c.Latitude = ParseGpsCoordinate(gps.Latitude);
    if (!EndsWith(gps.Latitude, 'N')) c.Latitude = -c.Latitude;
    c.Longitude = ParseGpsCoordinate(gps.Longitude);
    if (!EndsWith(gps.Longitude, 'E')) c.Longitude = -c.Longitude;
    WritePosition(lines, c);
    return c;
}

MapCentre SetMapCentreDms(std::vector<std::string>& lines, const overlay::GpsRecord& gps) {
    MapCentre c;
    c.Latitude = ParseDmsCoordinate(gps.Latitude);
    c.Longitude = ParseDmsCoordinate(gps.Longitude);
    WritePosition(lines, c);
    return c;
}

std::string MapCoordinateLine(const std::string& label, double value) {
    // Split after rounding to the hundredths shown, so that a value a hair below a
    // whole minute reads 39'0.00" and never 38'60.00".
    const double a = std::fabs(value);
    double degrees = std::trunc(a);
    long long hundredths = std::llround((a - degrees) * 360000.0);  // below one degree: fits
    if (hundredths >= 360000) {
        degrees += 1;
        hundredths -= 360000;
    }
    const long long minutes = hundredths / 6000;
    const long long rest = hundredths % 6000;
    char whole[400];
    std::snprintf(whole, sizeof whole, "%.0f", degrees);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%lld.%02lld", rest / 100, rest % 100);
    return label + (value < 0 ? "-" : " ") + whole + "o " + std::to_string(minutes) + "'" +
           seconds + "\"   (" + DegreesText(value) + ")";
}

std::vector<std::string> MapMemo2Lines(const overlay::GpsRecord& gps, uint8_t timeInserterType,
                                       const MapCentre* centre) {
    std::vector<std::string> out;
    const bool vti = timeInserterType == overlay::kIotaVti;
    if (vti) {
        out.push_back("Satellites : " + gps.Satellites + "   HDOP : " + gps.HDOP);
        out.push_back("UTC        : " + gps.UTC);
    }
    if (centre) {
        out.push_back(MapCoordinateLine("Latitude   : ", centre->Latitude));
        out.push_back(MapCoordinateLine("Longitude  : ", centre->Longitude));
    }
    if (vti) {
        out.push_back("Altitude   : " + gps.Altitude);
        out.push_back("WGSSeparation : " + gps.WGSSeparation);
    }
    return out;
}

MapPage MakeMapPage(const overlay::GpsRecord& gps, uint8_t timeInserterType) {
    MapPage page;
    page.MapPageLines = BuildMapPage();
    MapCentre centre;
    const bool read = !gps.Latitude.empty();
    if (read)
        centre = timeInserterType == overlay::kIotaVti ? SetMapCentre(page.MapPageLines, gps)
                                                       : SetMapCentreDms(page.MapPageLines, gps);
    page.Memo2 = MapMemo2Lines(gps, timeInserterType, read ? &centre : nullptr);
    return page;
}

bool MapWindowHasPosition(const overlay::GpsRecord& gps, uint8_t timeInserterType) {
    if (gps.Latitude.empty()) return false;
    return timeInserterType == overlay::kIotaVti ? !gps.Satellites.empty() : !gps.Longitude.empty();
}

}  // namespace web
