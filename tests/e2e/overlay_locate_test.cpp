// Locating the overlay through the main window on generator clips: GHS-OSD on
// opening, with the "U" search and from a click, nothing at 25 fps; the bright-box
// grid of a click on a KIWI-OSD line; the GPS page read by "LongLat recognition"
// and "Map".
#include <gtest/gtest.h>

#include <QImage>
#include <sstream>
#include <string>

#include "support/test_util.h"

namespace {

class LocateClips : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    }
    std::string Py(const std::string& args) {
        std::string out;
        EXPECT_EQ(testutil::Run("/usr/bin/python3 " + std::string(TEVORIN_SOURCE_DIR) + "/tests/overlay/" + args + " 2>&1",
                                &out),
                  0)
            << out;
        return out;
    }
    std::string Harness(const std::string& folder, const std::string& ini, const std::string& script) {
        std::string out;
        EXPECT_EQ(testutil::RunHarness(dir.File(folder), script, &out, ini, true), 0) << out;
        return out;
    }
    // Columns of the print-grid line that follows the n-th "row=" (0-based).
    static std::vector<int> Columns(const std::string& out, int n) {
        size_t at = 0;
        for (int i = 0; i <= n; ++i) at = out.find("columns=", at + 1);
        std::vector<int> v;
        if (at == std::string::npos) return v;
        std::stringstream ss(out.substr(at + 8, out.find('\n', at) - at - 8));
        std::string part;
        while (std::getline(ss, part, ',')) v.push_back(std::stoi(part));
        return v;
    }
    // Pixels of the grid marker colour (blue) in the frame picture.
    static int BluePixels(const std::string& png) {
        QImage img(QString::fromStdString(png));
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == qRgb(0, 0, 255);
        return n;
    }
    testutil::TempDir dir;
};

const char* kGhsIni = "[TimeSignal]\r\nVideoTimeInserter=GHS-OSD\r\n";
const char* kIotaIni = "[TimeSignal]\r\nVideoTimeInserter=IOTA-VTI\r\n";

}  // namespace

TEST_F(LocateClips, GhsOnOpeningWithTheSearchAndFromAClick) {
    Py("overlay_synth.py --type ghs --face freemono --zero-width 20 --size 720x480 --rate 29.97 --frames 3 --video ffv1 --out " +
       dir.File("g30"));
    Py("overlay_synth.py --type ghs --face freemono --zero-width 20 --size 720x576 --rate 25 --frames 3 --video ffv1 --out " +
       dir.File("g25"));
    const std::string out =
        Harness("a", kGhsIni,
                "reader vfw\nopen " + dir.File("g30/video.avi") +
                    "\nprint-grid\nset CheckBox5 1\nprint-grid\nplace-mode tivi\nclick 380 390\nprint-grid\n"
                    "expect-checked RadioButton10 1\ndump-image Image1 " + dir.File("a/img.png") + "\n");
    // The hours' first cell is centred at 384 (pitch 20): time cells 0, 1, 3, 4, 6, 7,
    // 9, 10, 11 and the date cells -9 .. -2, within 2 px.
    const int time[9] = {0, 1, 3, 4, 6, 7, 9, 10, 11}, date[6] = {-9, -8, -6, -5, -3, -2};
    for (int n = 0; n < 3; ++n) {
        const std::vector<int> c = Columns(out, n);
        ASSERT_GE(c.size(), 16u) << out;
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(c[static_cast<size_t>(7 + i)], 384 + 20 * time[i], 2) << n << " " << i;
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(c[static_cast<size_t>(i)], 384 + 20 * date[i], 2) << n << " " << i;
    }
    EXPECT_EQ(out.find("last=not"), std::string::npos) << out;
    EXPECT_GT(BluePixels(dir.File("a/img.png")), 100);

    // 25 frames per second: nothing is located and no grid is drawn.
    const std::string slow = Harness("b", kGhsIni,
                                     "reader vfw\nopen " + dir.File("g25/video.avi") + "\nset CheckBox5 1\nprint-grid\n"
                                     "dump-image Image1 " + dir.File("b/img.png") + "\n");
    EXPECT_NE(slow.find("last=not-run"), std::string::npos) << slow;
    EXPECT_EQ(BluePixels(dir.File("b/img.png")), 0);
}

TEST_F(LocateClips, KiwiClickGivesTheBrightBoxGrid) {
    Py("overlay_synth.py --type kiwi --face dejavu --zero-width 20 --size 720x576 --rate 25 --frames 2 --kiwi-centres "
       "70,94,140,164,210,234,306,330,353,424,448,472 --kiwi-tops 508,509 --video ffv1 --out " + dir.File("k"));
    const std::string out = Harness("k", "",
                                    "reader vfw\nopen " + dir.File("k/video.avi") +
                                        "\nset ComboBox1 1\nset CheckBox5 1\nplace-mode tivi\nclick 60 500\nprint-grid\n");
    EXPECT_NE(out.find("located=1 last=located"), std::string::npos) << out;
    const std::vector<int> c = Columns(out, 0);
    ASSERT_GE(c.size(), 15u) << out;
    // Hours, minutes and seconds on the glyph centres (the two cells after them are
    // placed one pair-gap further, where this layout has its wider gap).
    const int centres[6] = {70, 94, 140, 164, 210, 234};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(c[static_cast<size_t>(7 + i)], centres[i], 2) << i;
}

TEST_F(LocateClips, GpsPageByButtonAndMap) {
    const std::string want = Py("gps_synth.py iota-page " + dir.File("page.avi") + " --hdop 12. --lat-letter S");
    const std::string out = Harness("p", kIotaIni,
                                    "reader vfw\nopen " + dir.File("page.avi") +
                                        "\nprint-gps\nset CheckBox5 1\npress Button39\nprint-gps\npress Map1\nprint-gps\n"
                                        "expect-shown Map 1\nprint-text Map.Memo2\nwait load\nprint-window-title Map\n");
    // Nothing before the reading; the page's seven texts after each.
    EXPECT_NE(out.find("Satellites=\nHDOP=\nUTC=\n"), std::string::npos) << out;
    size_t first = out.find(want);
    ASSERT_NE(first, std::string::npos) << out << "\nwant\n" << want;
    EXPECT_NE(out.find(want, first + 1), std::string::npos) << out;
    // "Map" opened the map on the record's position, listing its values.
    EXPECT_NE(out.find("Satellites : "), std::string::npos) << out;
    EXPECT_NE(out.find("|Latitude   : -"), std::string::npos) << out;
    EXPECT_NE(out.find("\nGoogle Maps for observation station\n"), std::string::npos) << out;
}
