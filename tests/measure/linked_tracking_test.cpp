#include "measure/linked_tracking.h"

#include <gtest/gtest.h>

namespace {
bool Eq(IntPoint p, int x, int y) { return p.x == x && p.y == y; }
}  // namespace

TEST(PredictLinkedPosition, FollowsTheLineAndClipsAlongIt) {
    const FramePoint p1{10, 100, 50}, p2{20, 120, 40};  // 2 px right and 1 px up per frame
    EXPECT_TRUE(Eq(PredictLinkedPosition(p1, p2, 30, 719, 575), 140, 30));
    EXPECT_TRUE(Eq(PredictLinkedPosition(p1, p2, 10, 719, 575), 100, 50));
    // Past the top edge: stops where the line meets y = 0.
    EXPECT_TRUE(Eq(PredictLinkedPosition(p1, p2, 70, 719, 575), 200, 0));
    // Past the right edge: stops where the line meets x = 150.
    EXPECT_TRUE(Eq(PredictLinkedPosition(p1, p2, 40, 150, 575), 150, 25));
    // Backwards past the left edge: y at x = 0 is 100.
    EXPECT_TRUE(Eq(PredictLinkedPosition(p1, p2, -50, 719, 575), 0, 100));
    // Halves go to even.
    EXPECT_TRUE(Eq(PredictLinkedPosition({0, 0, 0}, {4, 2, 6}, 1, 719, 575), 0, 2));
    // Past the bottom edge: x where the line meets the limit.
    EXPECT_TRUE(Eq(PredictLinkedPosition({0, 10, 10}, {10, 20, 30}, 100, 719, 100), 55, 100));
}

TEST(PredictLinkedOffsets, StraightAndRotating) {
    PerObject<std::array<FramePoint, 2>> keys;
    keys[2] = {FramePoint{0, 100, 100}, FramePoint{10, 110, 100}};
    keys[1] = {FramePoint{0, 90, 100}, FramePoint{10, 110, 110}};    // A: (-10, 0) -> (0, 10)
    keys[3] = {FramePoint{0, 110, 100}, FramePoint{10, 110, 110}};   // C: (10, 0) -> (0, 10)
    LinkedOffsets o = PredictLinkedOffsets(keys, 5, false, 1.0);
    EXPECT_TRUE(Eq(o.a, -5, 5));
    EXPECT_TRUE(Eq(o.c, 5, 5));

    // Rotating: C turns a quarter in 10 frames; A turns at C's rate.
    keys[1] = {FramePoint{0, 90, 100}, FramePoint{10, 110, 90}};     // A: (-10, 0) -> (0, -10)
    o = PredictLinkedOffsets(keys, 5, true, 1.0);
    EXPECT_TRUE(Eq(o.c, 7, 7));
    EXPECT_TRUE(Eq(o.a, -7, -7));
    o = PredictLinkedOffsets(keys, 10, true, 1.0);
    EXPECT_TRUE(Eq(o.c, 0, 10));

    // Aspect 1.125: the length is the mean of 10 and 10 x 1.125 with y scaled up.
    o = PredictLinkedOffsets(keys, 0, true, 1.125);
    EXPECT_TRUE(Eq(o.c, 11, 0));

    // A turn across straight down takes the short way (not almost a full circle).
    keys[3] = {FramePoint{0, 101, 90}, FramePoint{10, 109, 90}};  // C: (1, -10) -> (-1, -10) relative to B
    keys[2] = {FramePoint{0, 100, 100}, FramePoint{10, 110, 100}};
    o = PredictLinkedOffsets(keys, 5, true, 1.0);
    EXPECT_TRUE(Eq(o.c, 0, -10));
}
