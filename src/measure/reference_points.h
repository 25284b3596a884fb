#pragma once
// The Frame1 and Frame2 reference points of the estimated and linked tracks, as
// the "Set" buttons store them: Frame1 always holds the earlier frame once both
// are set.
#include "measure/measure_state.h"

// Stores `point` as Frame1 (which 1) or Frame2 (2). When the two points then
// hold different frames and different positions, an earlier Frame2 changes
// places with Frame1 and the result is true (the labels are shown again);
// otherwise the points stay as stored and the labels as they were.
bool StoreReferencePoint(FramePoint& frame1, FramePoint& frame2, int which, const FramePoint& point);

// After a linked "Set": when object A holds both linked points, every object whose
// Frame1 is later than its Frame2 gets the two swapped.
void OrderLinkedPoints(PerObject<std::array<FramePoint, 2>>& points);
