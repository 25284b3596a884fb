#pragma once
// Positions predicted from two reference points: the straight-line drift of one
// object, and the offsets that objects A and C keep from object B under "Link".
#include <cstdint>

#include "measure/measure_state.h"

// Where an object drifting from (f1, x1, y1) to (f2, x2, y2) stands in frame n,
// clipped along its line to 0..rightLimit and 0..bottomLimit. f1 must differ from f2.
IntPoint PredictLinkedPosition(const FramePoint& p1, const FramePoint& p2, int n, int rightLimit, int bottomLimit);

struct LinkedOffsets {
    IntPoint a, c;  // offsets of A and C from B
};

// Offsets of A and C from B in frame n, from the key points of the three objects
// at the two key frames (index 0 Frame1, 1 Frame2; f1 != f2). With `rotate` the
// offsets turn at C's angular rate instead of moving in a straight line;
// `aspect` scales y (1.0 below 26 frames per second, 1.125 from 26).
LinkedOffsets PredictLinkedOffsets(const PerObject<std::array<FramePoint, 2>>& keys, int n, bool rotate, double aspect);
