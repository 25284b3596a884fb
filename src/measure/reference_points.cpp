#include "measure/reference_points.h"

#include <utility>

bool StoreReferencePoint(FramePoint& frame1, FramePoint& frame2, int which, const FramePoint& point) {
    (which == 1 ? frame1 : frame2) = point;
    if (frame1.frame == frame2.frame || (frame1.x == frame2.x && frame1.y == frame2.y)) return false;
    if (frame1.IsSet() && frame2.IsSet() && frame1.frame > frame2.frame) std::swap(frame1, frame2);
    return true;
}

void OrderLinkedPoints(PerObject<std::array<FramePoint, 2>>& points) {
    if (!points[1][0].IsSet() || !points[1][1].IsSet()) return;
    for (int k = 1; k <= 3; ++k)
        if (points[k][0].frame > points[k][1].frame) std::swap(points[k][0], points[k][1]);
}
