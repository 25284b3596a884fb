#include "web/map_page.h"

#include <gtest/gtest.h>

#include "support/test_util.h"

namespace {

using overlay::GpsRecord;

// The parsers do a handful of double operations on values below 1000, so they agree
// with the exact decimal arithmetic to far better than this; the page prints 6 decimals.
constexpr double kTol = 1e-11;

GpsRecord VtiRecord(const std::string& lat, const std::string& lon) {
    GpsRecord g;
    g.Satellites = "07";
    g.HDOP = "1.2";
    g.UTC = "12:34:56 2026-12-07";
    g.Latitude = lat;
    g.Longitude = lon;
    g.Altitude = "12.3 m MSL";
    g.WGSSeparation = "39.5 m";
    return g;
}

std::string ProbeOutput(const std::string& args) {
    std::string out;
    EXPECT_EQ(testutil::Run("'" + testutil::BinFile("tevorin-probe") + "' map-page " + args, &out), 0) << args;
    return out;
}

TEST(MapPage, FixedLinesAreTheDesignedOnes) {
    const std::vector<std::string> p = web::BuildMapPage();
    ASSERT_EQ(p.size(), 33u);
    EXPECT_EQ(p[0], "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\"");
    EXPECT_EQ(p[1], "  \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">");
    EXPECT_EQ(p[3], "  <head>");
    EXPECT_EQ(p[4], "    <meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"/>");
    EXPECT_EQ(p[5], "    <title>Google Maps for observation station</title>");
    EXPECT_EQ(p[7], "      html, body, #map_canvas {margin: 0; padding: 0; height: 100%;}");
    EXPECT_NE(p[10].find("https://maps.googleapis.com/maps/api/js?sensor=false"), std::string::npos);
    EXPECT_EQ(p[13], "      var latlng = new google.maps.LatLng(35.709984,139.810703);");
    EXPECT_EQ(p[15], "        zoom: 15,");
    EXPECT_EQ(p[22], "        position: new google.maps.LatLng(35.709984,139.810703),");
    EXPECT_EQ(p[23], "        map: map,");
    EXPECT_EQ(p[24], "        title: \"marker test\"");
    EXPECT_EQ(p[29], "  <body onload=\"initialize()\">");
    EXPECT_EQ(p[30], "    <div id=\"map_canvas\" style=\"width:865px; height:482px\"></div>");
    EXPECT_EQ(p[31], "  </body>");
    EXPECT_EQ(p[32], "</html> ");  // the trailing blank is part of the page
}

// The probe prints the page and the value list; default (no GPS page read), an
// IOTA-VTI page and a GHS-OSD line, each against its checked-in page.
TEST(MapPage, GoldenPagesThroughTheProbe) {
    const std::string vti =
        "--inserter vti --lat '3542.5990 N' --lon '13948.6422 E' --sat 07 --hdop 1.2 "
        "--utc '12:34:56 2026-12-07' --alt '12.3 m MSL' --sep '39.5 m'";
    const std::string ghs = "--inserter ghs --lat '  35o 42'\\'' 35.9\" S ' --lon ' 139o 48'\\'' 38.5\" W'";
    EXPECT_EQ(ProbeOutput("--inserter vti --lat '' --lon ''"),
              testutil::ReadAll(testutil::DataFile("web/map_page_default.txt")));
    EXPECT_EQ(ProbeOutput(vti), testutil::ReadAll(testutil::DataFile("web/map_page_vti.txt")));
    EXPECT_EQ(ProbeOutput(ghs), testutil::ReadAll(testutil::DataFile("web/map_page_ghs.txt")));
    std::string out;
    EXPECT_NE(testutil::Run("'" + testutil::BinFile("tevorin-probe") + "' map-page --inserter kiwi --lat x --lon y 2>/dev/null",
                            &out),
              0);
}

TEST(MapPage, IotaTextsGiveDegreesAndMinutes) {
    EXPECT_NEAR(web::ParseGpsCoordinate("3542.5990 N"), 35 + 42.599 / 60, kTol);  // 35.7099833...
    EXPECT_NEAR(web::ParseGpsCoordinate("13948.6422 E"), 139 + 48.6422 / 60, kTol);
    EXPECT_NEAR(web::ParseGpsCoordinate("0000.0060 S"), 0.0001, kTol);
    EXPECT_NEAR(web::ParseGpsCoordinate("354.25 N"), 3 + 54.25 / 60, kTol);  // blank at character 7
    EXPECT_NEAR(web::ParseGpsCoordinate("8959.9999 N"), 89 + 59.9999 / 60, kTol);

    std::vector<std::string> page = web::BuildMapPage();
    web::MapCentre c = web::SetMapCentre(page, VtiRecord("3542.5990 N", "13948.6422 E"));
    EXPECT_NEAR(c.Latitude, 35.709983333333333, kTol);
    EXPECT_EQ(page[13], "      var latlng = new google.maps.LatLng(35.709983,139.810703);");
    EXPECT_EQ(page[22], "        position: new google.maps.LatLng(35.709983,139.810703),");

    // South and west are negative, anything but "N" / "E" at the end counts as such.
    page = web::BuildMapPage();
    c = web::SetMapCentre(page, VtiRecord("3351.9000 S", "15112.6000 W"));
    EXPECT_NEAR(c.Latitude, -(33 + 51.9 / 60), kTol);
    EXPECT_NEAR(c.Longitude, -(151 + 12.6 / 60), kTol);
    EXPECT_EQ(page[13], "      var latlng = new google.maps.LatLng(-33.865000,-151.210000);");
}

TEST(MapPage, UnreadableIotaTextsGiveNoPosition) {
    // Misplaced "." or blank, letters in the number, an empty or non-finite text:
    // 1000.0, never an exception.
    for (const char* t : {"", "abc", "garbage text N", ".3542599 N", "35.25 N", "3542 5990 N", "35a2.599 N",
                          "3542.59x9 N", "nan.00000 N", "1e999.000 N", "3542.5990"})
        EXPECT_EQ(web::ParseGpsCoordinate(t), 1000.0) << t;
    // The hemisphere rule still applies to the no-position value.
    std::vector<std::string> page = web::BuildMapPage();
    web::SetMapCentre(page, VtiRecord("garbage", "junk E"));
    EXPECT_EQ(page[13], "      var latlng = new google.maps.LatLng(-1000.000000,1000.000000);");
    EXPECT_EQ(page[22], "        position: new google.maps.LatLng(-1000.000000,1000.000000),");
}

TEST(MapPage, GhsTextsReadFixedColumns) {
    // 1-based columns: degrees 2-4, minutes 7-8, seconds 11-12, tenths 14, hemisphere 17.
    EXPECT_NEAR(web::ParseDmsCoordinate(" 139o 48' 38.5\" E"), 139 + 48 / 60.0 + 38.5 / 3600, kTol);
    EXPECT_NEAR(web::ParseDmsCoordinate("  35o 42' 35.9\" N "), 35 + 42 / 60.0 + 35.9 / 3600, kTol);
    EXPECT_NEAR(web::ParseDmsCoordinate("  35o 42' 35.9\" S "), -(35 + 42 / 60.0 + 35.9 / 3600), kTol);
    EXPECT_NEAR(web::ParseDmsCoordinate(" 139o 48' 38.5\" W"), -(139 + 48 / 60.0 + 38.5 / 3600), kTol);
    // A cell that read no digit leaves a blank inside a field: that field counts 0.
    EXPECT_NEAR(web::ParseDmsCoordinate(" 1 9o 48' 38.5\" E"), 48 / 60.0 + 38.5 / 3600, kTol);
    EXPECT_NEAR(web::ParseDmsCoordinate(" 139o 48'  x.5\" E"), 139 + 48 / 60.0 + 0.5 / 3600, kTol);
    // Short texts: missing fields count 0, a missing hemisphere is negative.
    EXPECT_NEAR(web::ParseDmsCoordinate(" 139o 48"), -(139 + 48 / 60.0), kTol);
    EXPECT_EQ(web::ParseDmsCoordinate("x"), -0.0);
    EXPECT_EQ(web::ParseDmsCoordinate(""), 1000.0);

    std::vector<std::string> page = web::BuildMapPage();
    GpsRecord g;
    g.Latitude = "  35o 42' 35.9\" S ";
    const web::MapCentre c = web::SetMapCentreDms(page, g);
    EXPECT_LT(c.Latitude, 0);
    EXPECT_EQ(c.Longitude, 1000.0);
    EXPECT_EQ(page[13], "      var latlng = new google.maps.LatLng(-35.709972,1000.000000);");
}

TEST(MapPage, ValueListLines) {
    web::MapPage p = web::MakeMapPage(VtiRecord("3542.5990 N", "13948.6422 W"), overlay::kIotaVti);
    const std::vector<std::string> vti = {
        "Satellites : 07   HDOP : 1.2",
        "UTC        : 12:34:56 2026-12-07",
        "Latitude   :  35o 42'35.94\"   (35.709983)",
        "Longitude  : -139o 48'38.53\"   (-139.810703)",
        "Altitude   : 12.3 m MSL",
        "WGSSeparation : 39.5 m",
    };
    EXPECT_EQ(p.Memo2, vti);
    EXPECT_EQ(p.MapPageLines[22], "        position: new google.maps.LatLng(35.709983,-139.810703),");

    // Other inserters list only the position.
    GpsRecord g = VtiRecord("  35o 42' 35.9\" S ", " 139o 48' 38.5\" E");
    p = web::MakeMapPage(g, overlay::kGhsOsd);
    EXPECT_EQ(p.Memo2, (std::vector<std::string>{"Latitude   : -35o 42'35.90\"   (-35.709972)",
                                                 "Longitude  :  139o 48'38.50\"   (139.810694)"}));

    // No GPS page read: the default centre and only what the record holds.
    g = VtiRecord("", "");
    p = web::MakeMapPage(g, overlay::kIotaVti);
    EXPECT_EQ(p.MapPageLines, web::BuildMapPage());
    EXPECT_EQ(p.Memo2.size(), 4u);
    EXPECT_EQ(p.Memo2[1], "UTC        : 12:34:56 2026-12-07");
    EXPECT_TRUE(web::MakeMapPage(g, overlay::kGhsOsd).Memo2.empty());

    // Degrees, minutes and seconds of the absolute value.
    EXPECT_EQ(web::MapCoordinateLine("Latitude   : ", -0.5), "Latitude   : -0o 30'0.00\"   (-0.500000)");
    EXPECT_EQ(web::MapCoordinateLine("Latitude   : ", 1000.0), "Latitude   :  1000o 0'0.00\"   (1000.000000)");
}

}  // namespace
