#include "platform/shell_service.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using platform::ShellRecording;
using platform::ShellRequest;

TEST(ShellService, RecordedRequestsAreNotRun) {
    testutil::TempDir dir;
    const std::string marker = dir.File("ran");
    {
        ShellRecording rec;
        EXPECT_TRUE(platform::StartDetached("/bin/sh", {"-c", "echo x > '" + marker + "'"}));
        EXPECT_TRUE(platform::OpenUrl("https://example.invalid/a b?c=1"));
        ASSERT_EQ(rec.requests.size(), 2u);
        EXPECT_EQ(rec.requests[0].kind, "start");
        EXPECT_EQ(rec.requests[0].target, "/bin/sh");
        EXPECT_EQ(rec.requests[0].args, (std::vector<std::string>{"-c", "echo x > '" + marker + "'"}));
        EXPECT_EQ(rec.requests[1].kind, "open");
        EXPECT_EQ(rec.requests[1].target, "https://example.invalid/a b?c=1");
        EXPECT_TRUE(rec.requests[1].args.empty());
        EXPECT_EQ(platform::ShellRequestLine(rec.requests[0]), "start\t/bin/sh\t-c\techo x > '" + marker + "'");
        EXPECT_EQ(platform::ShellRequestLine(rec.requests[1]), "open\thttps://example.invalid/a b?c=1");
    }
    // Give a wrongly started shell time to write: nothing may appear.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(ShellService, NestedRecordingsRestoreTheOuterOne) {
    ShellRecording outer;
    {
        ShellRecording inner;
        platform::OpenUrl("file:///a");
        EXPECT_EQ(inner.requests.size(), 1u);
    }
    platform::OpenUrl("file:///b");
    ASSERT_EQ(outer.requests.size(), 1u);
    EXPECT_EQ(outer.requests[0].target, "file:///b");
}

TEST(ShellService, StartsAProgramThatOutlivesTheCall) {
    testutil::TempDir dir;
    const std::string marker = dir.File("ran");
    // Arguments with blanks and quotes reach the program unchanged (no shell in between).
    ASSERT_TRUE(platform::StartDetached("/bin/sh", {"-c", "printf '%s' \"$1\" > \"$2\"", "sh", "a 'b' \"c\"", marker}));
    for (int i = 0; i < 100 && testutil::ReadAll(marker).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(testutil::ReadAll(marker), "a 'b' \"c\"");
    EXPECT_FALSE(platform::StartDetached(dir.File("no-such-program"), {}));
}
