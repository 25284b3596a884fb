// The capture window's file naming: the extension, the numbering of names already
// taken, and the question before the video open for measurement is overwritten.
#include <gtest/gtest.h>

#include <set>

#include "support/test_util.h"
#include "video/capture_name.h"

namespace {

struct Folder {
    std::set<std::string> files;
    std::function<bool(const std::string&)> Exists() const {
        return [this](const std::string& p) { return files.count(p) != 0; };
    }
};

capture::CaptureName Name(const Folder& f, const std::string& name, const std::string& open = "", int* asked = nullptr,
                          bool answer = true) {
    return capture::CaptureFileNameSetting("/cap", name, open, [&] {
        if (asked) ++*asked;
        return answer;
    }, f.Exists());
}

TEST(CaptureName, ExtensionsAndTheNumberingOfTakenNames) {
    struct Case {
        std::set<std::string> taken;
        const char* name;
        const char* file;
        const char* edit2;
    } cases[] = {
        {{}, "", "/cap/Untitled.avi", "Untitled"},
        {{"/cap/Untitled.avi"}, "", "/cap/Untitled_001.avi", "Untitled_001"},
        {{"/cap/Untitled.avi", "/cap/Untitled_001.avi"}, "", "/cap/Untitled_002.avi", "Untitled_002"},
        {{"/cap/run_009.avi"}, "run_009", "/cap/run_010.avi", "run_010"},
        {{"/cap/run_099.avi"}, "run_099", "/cap/run_100.avi", "run_100"},
        {{"/cap/run_999.avi"}, "run_999", "/cap/run_1000.avi", "run_1000"},
        {{"/cap/run_999.avi", "/cap/run_1000.avi"}, "run_999", "/cap/run_1000_001.avi", "run_1000_001"},
        {{"/cap/abc.avi"}, "abc", "/cap/abc_001.avi", "abc_001"},
        {{"/cap/_001.avi"}, "_001", "/cap/_001_001.avi", "_001_001"},     // shorter than five
        {{"/cap/a_0x1.avi"}, "a_0x1", "/cap/a_0x1_001.avi", "a_0x1_001"},  // not three digits
        {{}, "night.mpg", "/cap/night.avi", "night.mpg"},  // the box keeps what was typed until numbered
        {{"/cap/night.avi"}, "night.mpg", "/cap/night_001.avi", "night_001"},
        {{}, "x.y.AVI", "/cap/x.y.avi", "x.y.AVI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder f{c.taken};
        const capture::CaptureName r = Name(f, c.name);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.capturedFileName, c.file);
        EXPECT_EQ(r.edit2, c.edit2);
    }
    // A folder given with its separator gets no second one.
    EXPECT_EQ(capture::CaptureFileNameSetting("/cap/", "a", "", nullptr, Folder{}.Exists()).capturedFileName, "/cap/a.avi");
}

TEST(CaptureName, TheVideoOpenForMeasurementIsAskedAbout) {
    Folder f{{"/cap/run_005.avi"}};
    int asked = 0;
    // No (or anything but Yes) refuses and keeps the name.
    capture::CaptureName r = Name(f, "run_005", "/cap/run_005.avi", &asked, false);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.edit2, "run_005");
    // Yes goes on, and the existing file still makes the name numbered.
    r = Name(f, "run_005", "/cap/run_005.avi", &asked, true);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.capturedFileName, "/cap/run_006.avi");
    // Another open video is not asked about.
    r = Name(f, "run_005", "/cap/other.avi", &asked);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(std::string(capture::kOverwriteQuestion), "New captured file will be overwrited onto the now analyzed file. Are you sure?");
    EXPECT_EQ(std::string(capture::kOverwriteCaption), "File name was still assigned by analyzer.");
}

TEST(CaptureName, ProbeAgainstARealFolder) {
    testutil::TempDir dir;
    const std::string d = dir.Path();
    for (const char* n : {"Untitled.avi", "Untitled_001.avi", "run_099.avi"}) testutil::WriteAll(d + "/" + n, "");
    const std::string probe = testutil::BinFile("tevorin-probe");
    std::string out;
    ASSERT_EQ(testutil::Run(probe + " capture-name " + d + " ''", &out), 0);
    EXPECT_EQ(out, d + "/Untitled_002.avi\nUntitled_002\n");
    ASSERT_EQ(testutil::Run(probe + " capture-name " + d + " run_099.mpg", &out), 0);
    EXPECT_EQ(out, d + "/run_100.avi\nrun_100\n");
    ASSERT_EQ(testutil::Run(probe + " capture-name " + d + " run_099 --open " + d + "/run_099.avi --answer no", &out), 0);
    EXPECT_EQ(out, "refused\n");
    EXPECT_NE(testutil::Run(probe + " capture-name " + d + " x --answer maybe 2>/dev/null", &out), 0);
}

}  // namespace
