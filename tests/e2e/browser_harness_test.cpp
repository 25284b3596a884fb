// The browser windows through the harness and the main window's openers: the web
// browser on local pages, the map from a set GPS record, the data viewer's address
// recorded instead of opened.
#include <gtest/gtest.h>

#include "support/test_util.h"

namespace {

class BrowserScripts : public ::testing::Test {
protected:
    void SetUp() override {
        testutil::WriteAll(dir.File("tevorin-harness.ini"), "[TimeSignal]\r\nVideoTimeInserter=IOTA-VTI\r\n");
        testutil::WriteAll(dir.File("a.html"), "<html><head><title>Page A</title></head><body>a</body></html>");
        testutil::WriteAll(dir.File("b.html"), "<html><head><title>Page B</title></head><body>b</body></html>");
    }
    // What the script printed (the browser's own notices on stderr are left out).
    std::string Run(const std::string& script) {
        const std::string path = dir.File("script.txt");
        testutil::WriteAll(path, script);
        std::string out;
        EXPECT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + path + " 2>/dev/null", &out), 0) << out;
        return out;
    }
    testutil::TempDir dir;
};

}  // namespace

TEST_F(BrowserScripts, BrowserFromTheMenuNavigatesBackAndForward) {
    const std::string a = "file://" + dir.File("a.html"), b = "file://" + dir.File("b.html");
    const std::string out = Run("press WebBrowser1\nexpect-shown Browser1 1\nnavigate " + a + "\nwait load\n"
                                "navigate " + b + "\nwait load\nprint-window-title Browser1\n"
                                "press Browser1.BackButton\nwait load\nprint-url Browser1\nprint-window-title Browser1\n"
                                "press Browser1.ForwardButton\nwait load\nprint-window-title Browser1\n"
                                "press Browser1.HomeButton\nwait load\nexpect-text Browser1.Edit1 " + a + "\n"
                                "close Browser1\nexpect-shown Browser1 0\n");
    const std::string want = "Page B\nok 7 print-window-title Browser1\nok 8 press Browser1.BackButton\nok 9 wait load\n" +
                             a + "\nok 10 print-url Browser1\nPage A\nok 11 print-window-title Browser1\n"
                             "ok 12 press Browser1.ForwardButton\nok 13 wait load\nPage B\n";
    EXPECT_NE(out.find(want), std::string::npos) << out;
    EXPECT_NE(out.find("ok 19 expect-shown Browser1 0"), std::string::npos) << out;
}

TEST_F(BrowserScripts, MapFromTheRecordAndTheDataViewersAddress) {
    const std::string out = Run("gps Satellites 08\ngps HDOP 0.9\ngps UTC 01:02:03\ngps Latitude 3542.5990 N\n"
                                "gps Longitude 13948.6422 E\ngps Altitude 5 m\ngps WGSSeparation\n"
                                "open-window Map\nwait load\nprint-window-title Map\nprint-url Map\nprint-text Map.Memo2\n"
                                "press Button38\npress DataViewer.OpenButton\nprint-shell\nclose DataViewer\n"
                                "expect-shown DataViewer 0\n");
    EXPECT_NE(out.find("\nGoogle Maps for observation station\nok 10 print-window-title Map\nabout:blank\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Satellites : 08   HDOP : 0.9|UTC        : 01:02:03|"
                       "Latitude   :  35o 42'35.94\"   (35.709983)|Longitude  :  139o 48'38.53\"   (139.810703)|"
                       "Altitude   : 5 m|WGSSeparation : \nok 12 print-text Map.Memo2"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("ok 14 press DataViewer.OpenButton\nopen\thttps://"), std::string::npos) << out;
    EXPECT_NE(out.find("/data/occult-e/Index%20Asteroidal%20Occultation%20Worldwide.xls\nok 15 print-shell"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("ok 17 expect-shown DataViewer 0"), std::string::npos) << out;
}
