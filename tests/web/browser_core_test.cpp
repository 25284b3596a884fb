// The plain parts of the map, browser and data viewer windows: when the map window
// opens, the minutes and seconds listed beside the map, the address a typed text
// goes to, Home, and the prediction index's address.
#include <gtest/gtest.h>

#include <cstdio>

#include "web/browser_core.h"
#include "web/map_page.h"

namespace {

std::string Dms(long long d, int m, int hundredths) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lldo %d'%d.%02d\"", d, m, hundredths / 100, hundredths % 100);
    return buf;
}

}  // namespace

TEST(MapCoordinates, MinutesAndSecondsNeverReachSixty) {
    // Values built as d + m/60 + s/3600 in doubles land a hair above or below the
    // exact value; the listed degrees, minutes and seconds must be the ones built.
    for (long long d : {0LL, 35LL, 139LL, 179LL, 543LL, 1000LL}) {
        for (int m = 0; m < 60; ++m) {
            for (int h : {0, 1, 50, 3050, 5999}) {
                const double v = static_cast<double>(d) + m / 60.0 + (h / 100.0) / 3600.0;
                if (v == 0) continue;  // -0.0 is not negative
                const std::string line = web::MapCoordinateLine("L : ", -v);
                const std::string want = "L : -" + Dms(d, m, h);
                ASSERT_EQ(line.substr(0, want.size()), want) << d << " " << m << " " << h;
                ASSERT_EQ(line.substr(want.size(), 4), "   (");
            }
        }
    }
    // Just below a whole degree rounds up into it.
    EXPECT_EQ(web::MapCoordinateLine("L : ", 59.9999999), "L :  60o 0'0.00\"   (60.000000)");
    EXPECT_EQ(web::MapCoordinateLine("L : ", 543.65), "L :  543o 39'0.00\"   (543.650000)");
    // A garbage reading far out of range still prints whole degrees.
    EXPECT_EQ(web::MapCoordinateLine("L : ", 1e20).substr(0, 27), "L :  100000000000000000000o");
}

TEST(MapCoordinates, TheMapOpensOnlyWithAPosition) {
    overlay::GpsRecord g;
    EXPECT_FALSE(web::MapWindowHasPosition(g, overlay::kIotaVti));
    EXPECT_FALSE(web::MapWindowHasPosition(g, overlay::kGhsOsd));
    g.Latitude = "3542.5990 N";
    // IOTA-VTI needs the satellite count as well, the others the longitude.
    EXPECT_FALSE(web::MapWindowHasPosition(g, overlay::kIotaVti));
    EXPECT_FALSE(web::MapWindowHasPosition(g, overlay::kGhsOsd));
    g.Satellites = "07";
    EXPECT_TRUE(web::MapWindowHasPosition(g, overlay::kIotaVti));
    EXPECT_FALSE(web::MapWindowHasPosition(g, overlay::kKiwiOsd));
    g.Longitude = " 139o 48' 38.5\" E";
    EXPECT_TRUE(web::MapWindowHasPosition(g, overlay::kGhsOsd));
    g.Latitude.clear();
    EXPECT_FALSE(web::MapWindowHasPosition(g, overlay::kIotaVti));
    EXPECT_FALSE(web::MapWindowHasPosition(g, overlay::kGhsOsd));
}

TEST(BrowserAddress, TypedTextsBecomeAddresses) {
    EXPECT_EQ(web::BrowserTarget("http://127.0.0.1:8080/a.html"), "http://127.0.0.1:8080/a.html");
    EXPECT_EQ(web::BrowserTarget("  file:///tmp/a b.html \t"), "file:///tmp/a%20b.html");
    EXPECT_EQ(web::BrowserTarget("/tmp/page.html"), "file:///tmp/page.html");
    EXPECT_EQ(web::BrowserTarget("www.example.org"), "http://www.example.org");
    EXPECT_EQ(web::BrowserTarget(""), "");
    EXPECT_EQ(web::BrowserTarget("   "), "");
}

TEST(BrowserAddress, HomeIsTheFirstPageShown) {
    web::BrowserHome home;
    EXPECT_EQ(home.Url(), "");
    home.PageShown("");
    home.PageShown("about:blank");
    EXPECT_EQ(home.Url(), "");
    home.PageShown("file:///tmp/a.html");
    home.PageShown("file:///tmp/b.html");
    EXPECT_EQ(home.Url(), "file:///tmp/a.html");
}

TEST(BrowserAddress, PredictionIndex) {
    const std::string url = web::PredictionIndexUrl();
    EXPECT_EQ(url, std::string(web::kPredictionSiteHost) +
                       "/data/occult-e/Index%20Asteroidal%20Occultation%20Worldwide.xls");
    EXPECT_EQ(url.rfind("https://", 0), 0u);
}

TEST(BrowserAddress, LocalAddresses) {
    for (const char* local : {"file:///tmp/a.html", "data:text/html,x", "about:blank", "http://127.0.0.1:8000/a",
                              "http://127.9.8.7/", "https://localhost/x", "http://LOCALHOST:1/", "http://[::1]:80/"})
        EXPECT_TRUE(web::IsLocalAddress(local)) << local;
    for (const char* remote : {"https://maps.googleapis.com/maps/api/js?sensor=false", "http://192.0.2.1/",
                               "http://128.0.0.1/", "http://localhost.example.org/", "ftp://127.0.0.1/",
                               "http://[::2]/", "", "mailto:x@localhost"})
        EXPECT_FALSE(web::IsLocalAddress(remote)) << remote;
}
