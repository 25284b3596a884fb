// Pictures that declare far more than they hold, opened with the identification
// window's "Open graph png file" in the real program (tevorin-harness, offscreen):
// refused from their header with the reason, while a picture at the windows'
// limit opens, the window's two copies within the library's 1 GiB cap.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include "imagefile/hostile_pictures.h"
#include "support/test_util.h"

namespace {

// The largest peak memory of any child this test process has waited for, in
// bytes: an upper bound of the last harness run's own peak.
long long ChildrenPeakBytes() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss * 1024LL;
}

std::string OpenPicture(const std::string& path) {
    return "press Identificationforlightcurve1\nexpect-shown Identification 1\nanswer-file " + path +
           "\npress Identification.Button4\n";
}

}  // namespace

TEST(HostilePictures, TheIdentificationWindowRefusesThemWithTheReason) {
    testutil::TempDir dir;
    for (const hostile::File& f : hostile::WindowBombs()) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.File(f.name);
        testutil::WriteAll(path, f.bytes);
        std::string out;
        const std::string script = OpenPicture(path) + "expect-errors 1\nexpect-error Picture too large to open: " + f.size +
                                   " pixels (at most 134217728 pixels)||" + path + "\n";
        EXPECT_EQ(testutil::RunHarness(dir.File("run"), script, &out, "", true), 0) << out;
        // Refused before anything of the picture's size was made (the program
        // itself takes about 100 MB).
        EXPECT_LT(ChildrenPeakBytes(), 400LL << 20);
    }
}

TEST(HostilePictures, APictureAtTheLimitOpensWithinTheCap) {
    testutil::TempDir dir;
    // 11585 x 11585 pixels (134,212,225): the window's picture and its clean copy
    // at 32 bits are 1,074 MB together.
    const std::string path = dir.File("limit.bmp");
    testutil::WriteAll(path, hostile::RleBmp(11585, 11585));
    const long long before = ChildrenPeakBytes();
    std::string out;
    const std::string script = OpenPicture(path) +
                               "expect-errors 0\nset Identification.ScrollBar1 99999\nexpect-text Identification.ScrollBar1 "
                               "11575\nset Identification.ScrollBar2 99999\nexpect-text Identification.ScrollBar2 11385\n";
    ASSERT_EQ(testutil::RunHarness(dir.File("run"), script, &out, "", true), 0) << out;
    if (before >= 1300000000LL) GTEST_SKIP() << "an earlier child already peaked higher";
    EXPECT_LT(ChildrenPeakBytes(), 1300000000LL);
}
