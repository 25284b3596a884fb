// The read-ahead ring: frames in plan order, a failure handed over at its own
// frame with nothing read after it, and the source given back on a miss or Stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "video/read_ahead.h"

namespace {

// A source whose frame n is a 1x1 bitmap of value n % 256; frame `bad` fails.
struct Source {
    std::atomic<int> calls{0}, last{-1};
    int bad = -1;
    video::FrameReadAhead::Fetch Fetch() {
        return [this](int n, Bitmap24& out, std::string& error) {
            ++calls;
            last = n;
            if (n == bad) {
                error = "frame " + std::to_string(n) + " is lost";
                return false;
            }
            out.Resize(1, 1);
            out.Bits()[0] = static_cast<uint8_t>(n);
            return true;
        };
    }
};

TEST(FrameReadAhead, DeliversThePlanInOrderAndGivesTheSourceBackOnAMiss) {
    Source src;
    video::FrameReadAhead ahead;
    ahead.Start(src.Fetch(), 9, -2, 20);
    Bitmap24 frame;
    bool ok = false;
    std::string error;
    for (int n : {9, 7, 5}) {
        ASSERT_TRUE(ahead.Take(n, frame, ok, error));
        EXPECT_TRUE(ok);
        EXPECT_EQ(frame.Bits()[0], n);
    }
    // The same plan again keeps the worker and what it has read.
    const int before = src.calls;
    ahead.Start(src.Fetch(), 3, -2, 20);
    ASSERT_TRUE(ahead.Take(3, frame, ok, error));
    EXPECT_EQ(frame.Bits()[0], 3);
    EXPECT_LE(src.calls, before + 2);
    // Another frame is a miss: the worker is gone and reads nothing more.
    EXPECT_FALSE(ahead.Take(2, frame, ok, error));
    EXPECT_FALSE(ahead.Running());
    const int after = src.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(src.calls, after);
    // The end of the plan (frame -1 is outside) is a miss too, not a wait.
    ahead.Start(src.Fetch(), 1, -2, 20);
    ASSERT_TRUE(ahead.Take(1, frame, ok, error));
    EXPECT_FALSE(ahead.Take(-1, frame, ok, error));
}

TEST(FrameReadAhead, AFailureComesAtItsFrameAndNothingAfterItIsRead) {
    Source src;
    src.bad = 6;
    video::FrameReadAhead ahead;
    ahead.Start(src.Fetch(), 0, 2, 100);
    Bitmap24 frame;
    bool ok = false;
    std::string error;
    for (int n : {0, 2, 4}) ASSERT_TRUE(ahead.Take(n, frame, ok, error) && ok);
    ASSERT_TRUE(ahead.Take(6, frame, ok, error));
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "frame 6 is lost");
    EXPECT_EQ(frame.Bits()[0], 4);  // untouched
    EXPECT_EQ(src.last, 6);
    // The owner reads on by itself.
    EXPECT_FALSE(ahead.Take(8, frame, ok, error));
    EXPECT_EQ(src.last, 6);
}

TEST(FrameReadAhead, StopsWhileTheRingIsFullAndWhenDestroyed) {
    Source src;
    {
        video::FrameReadAhead ahead;
        ahead.Start(src.Fetch(), 0, 1, 1000000);
        while (src.calls < video::FrameReadAhead::kRingSize) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(src.calls, video::FrameReadAhead::kRingSize);  // bounded
        ahead.Stop();
        EXPECT_FALSE(ahead.Running());
        ahead.Start(src.Fetch(), 5, 1, 1000000);
    }  // destroyed while running
    SUCCEED();
}

TEST(FrameReadAhead, StagedRingIsBoundedAndAFailedConversionEndsTheRead) {
    std::atomic<int> calls{0};
    // Decoding "succeeds" with no picture, so every conversion fails.
    const auto decode = [&](int, video::DecodedPicture&, std::string&) {
        ++calls;
        return true;
    };
    video::FrameReadAhead ahead;
    ahead.StartStaged(decode, 0, 1, 1000000, 1);
    while (calls < video::FrameReadAhead::kMaxRingSize) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(calls, video::FrameReadAhead::kMaxRingSize);  // bounded
    Bitmap24 frame(1, 1);
    frame.Bits()[0] = 7;
    bool ok = true;
    std::string error;
    ASSERT_TRUE(ahead.Take(0, frame, ok, error));
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "A frame of  has no picture.");
    EXPECT_EQ(frame.Bits()[0], 7);  // untouched
    EXPECT_FALSE(ahead.Running());
    EXPECT_FALSE(ahead.Take(1, frame, ok, error));
    // Large frames get a smaller ring, never below the plain one.
    calls = 0;
    ahead.StartStaged(decode, 0, 1, 1000000, video::FrameReadAhead::kRingBytes);
    while (calls < video::FrameReadAhead::kRingSize) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(calls, video::FrameReadAhead::kRingSize);
}  // destroyed while running

}  // namespace
