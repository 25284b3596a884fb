#include "measure/linked_tracking.h"

#include <cmath>

#include "platform/numtext.h"

namespace {
int32_t Round(double v) { return static_cast<int32_t>(numtext::RoundHalfEven(v)); }
int32_t RoundNonNegative(double v) {
    int32_t r = Round(v);
    return r < 0 ? 0 : r;
}

// Angle of an offset with y scaled by the aspect factor, in [-pi/2, 3pi/2).
double OffsetAngle(double x, double y, double aspect) {
    if (x == 0) return y >= 0 ? M_PI / 2 : 3 * M_PI / 2;
    double a = std::atan(y * aspect / x);
    return x < 0 ? a + M_PI : a;
}

// An angle difference reduced to (-pi, pi], so that a turn through the branch cut
// of the angle is the short way round.
double Reduce(double d) {
    d = std::remainder(d, 2 * M_PI);
    return d <= -M_PI ? d + 2 * M_PI : d;
}
}  // namespace

IntPoint PredictLinkedPosition(const FramePoint& p1, const FramePoint& p2, int n, int rightLimit, int bottomLimit) {
    const double df = static_cast<double>(p2.frame) - p1.frame;
    const double vx0 = (p2.x - p1.x) / df;
    const double vy0 = (p2.y - p1.y) / df;
    const double x1 = p1.x, y1 = p1.y;
    int32_t x = Round(x1 - (p1.frame - static_cast<double>(n)) * vx0);
    int32_t y = Round(y1 - (p1.frame - static_cast<double>(n)) * vy0);
    // The clipping moves along the line; a flat slope counts as 1 there.
    const double vx = vx0 == 0 ? 1.0 : vx0;
    const double vy = vy0 == 0 ? 1.0 : vy0;
    if (x < 0) {
        x = 0;
        y = RoundNonNegative(y1 - x1 / vx * vy);
    }
    if (y < 0) {
        y = 0;
        x = RoundNonNegative(x1 - y1 / vy * vx);
    }
    if (x > rightLimit) {
        x = rightLimit;
        y = RoundNonNegative((rightLimit - x1) / vx * vy + y1);
    }
    if (y > bottomLimit) {
        y = bottomLimit;
        x = RoundNonNegative((bottomLimit - y1) / vy * vx + x1);
    }
    return {x, y};
}

LinkedOffsets PredictLinkedOffsets(const PerObject<std::array<FramePoint, 2>>& keys, int n, bool rotate, double aspect) {
    const FramePoint* b = keys[2].data();
    const double f1 = b[0].frame, f2 = b[1].frame;
    auto offset = [&](int k, int i) {
        return std::pair<double, double>{static_cast<double>(keys[k][i].x) - b[i].x,
                                         static_cast<double>(keys[k][i].y) - b[i].y};
    };
    LinkedOffsets out;
    if (!rotate) {
        auto lerp = [&](int k) {
            auto [x1, y1] = offset(k, 0);
            auto [x2, y2] = offset(k, 1);
            return IntPoint{Round(x1 + (n - f1) * (x2 - x1) / (f2 - f1)), Round(y1 + (n - f1) * (y2 - y1) / (f2 - f1))};
        };
        out.a = lerp(1);
        out.c = lerp(3);
        return out;
    }
    auto [cx1, cy1] = offset(3, 0);
    auto [cx2, cy2] = offset(3, 1);
    const double rate = Reduce(OffsetAngle(cx2, cy2, aspect) - OffsetAngle(cx1, cy1, aspect)) / (f2 - f1);
    auto turn = [&](int k) {
        auto [x1, y1] = offset(k, 0);
        auto [x2, y2] = offset(k, 1);
        const double len = (std::hypot(x1, y1 * aspect) + std::hypot(x2, y2 * aspect)) / 2;
        const double angle = OffsetAngle(x1, y1, aspect) + (n - f1) * rate;
        return IntPoint{Round(len * std::cos(angle)), Round(len * std::sin(angle) / aspect)};
    };
    out.a = turn(1);
    out.c = turn(3);
    return out;
}
