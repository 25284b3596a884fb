#include "measure/threed_view.h"

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/numtext.h"

namespace threed {

void ReadRaw(const Bitmap24& frame, int x, int y, Patch& raw) {
    for (int dx = -Patch::kHalf; dx <= Patch::kHalf; ++dx) {
        for (int dy = -Patch::kHalf; dy <= Patch::kHalf; ++dy) {
            const long px = static_cast<long>(x) + dx, py = static_cast<long>(y) + dy;
            int32_t v = -1;
            if (px >= 0 && py >= 0 && px < frame.Width() && py < frame.Height()) {
                const PixelRgb p = ReadScanlinePixel(frame, static_cast<int>(px), static_cast<int>(py));
                v = p.r + p.g + p.b;
            }
            raw.at(dx, dy) = v;
        }
    }
}

void ComputeHeights(const Patch& raw, int scale, Patch& heights) {
    const int factor = 30 - std::clamp(scale, 0, 30);
    for (size_t n = 0; n < raw.cells.size(); ++n)
        heights.cells[n] = static_cast<int32_t>(numtext::RoundHalfEven(raw.cells[n] * static_cast<double>(factor) / 10.0));
}

void Smooth(const Patch& raw, const Patch& heights, SmoothSize size, SmoothFilter filter, Relief& out) {
    const int r = size == SmoothSize::kFive ? 2 : 1;
    std::array<int32_t, 25> values{};
    for (int i = -kReach; i <= kReach; ++i) {
        for (int j = -kReach; j <= kReach; ++j) {
            const int32_t own = heights.at(i, j);
            if (size == SmoothSize::kOff) {
                out.at(i, j) = own;
                continue;
            }
            int n = 0;
            for (int a = -r; a <= r; ++a) {
                for (int b = -r; b <= r; ++b) {
                    if (r == 2 && std::abs(a) == 2 && std::abs(b) == 2) continue;  // the 5 x 5 without corners
                    if (raw.at(i + a, j + b) < 0) continue;
                    values[static_cast<size_t>(n++)] = heights.at(i + a, j + b);
                }
            }
            if (n == 0) {
                out.at(i, j) = own;
            } else if (filter == SmoothFilter::kMean) {
                int64_t sum = 0;
                for (int m = 0; m < n; ++m) sum += values[static_cast<size_t>(m)];
                out.at(i, j) = static_cast<int32_t>(numtext::RoundHalfEven(static_cast<double>(sum) / n));
            } else {
                std::sort(values.begin(), values.begin() + n, std::greater<>());
                out.at(i, j) = values[static_cast<size_t>((n + 1) / 2 - 1)];
            }
        }
    }
}

ScreenPoint Project(int i, int j, int height, double tilt, double turn) {
    const double t = turn * 3.14 / 180, a = tilt * 3.14 / 180;
    const double X = 5.0 * i, Z = 5.0 * j;
    const double Y = -static_cast<double>(numtext::RoundHalfEven(height / 3.0));
    const double x1 = X * std::cos(t) + Z * std::sin(t);
    const double z1 = -X * std::sin(t) + Z * std::cos(t);
    const double y2 = Y * std::cos(a) - z1 * std::sin(a);
    return {static_cast<int>(numtext::RoundHalfEven(x1)) + kCentreX, static_cast<int>(numtext::RoundHalfEven(y2)) + kCentreY};
}

void ProjectRelief(const Relief& relief, double tilt, double turn, ScreenGrid& out) {
    for (int i = -kReach; i <= kReach; ++i)
        for (int j = -kReach; j <= kReach; ++j) out.at(i, j) = Project(i, j, relief.at(i, j), tilt, turn);
}

namespace {

uint8_t EdgeBetween(int32_t a, int32_t b) {
    if (a == b) return kEdgePlain;
    return (a == kMaskStar || b == kMaskStar) ? kEdgeStar : kEdgeBackground;
}

Quad MakeQuad(const ScreenGrid& p, int i, int j, const ApertureGrid* mask) {
    Quad q;
    q.i = i, q.j = j;
    q.corner = {p.at(i, j), p.at(i + 1, j), p.at(i + 1, j + 1), p.at(i, j + 1)};
    if (mask) {
        const int32_t own = mask->at(i, j);
        // Neighbours across edge 0..3: the cell before in j, after in i, after in j, before in i.
        q.edge = {EdgeBetween(own, mask->at(i, j - 1)), EdgeBetween(own, mask->at(i + 1, j)),
                  EdgeBetween(own, mask->at(i, j + 1)), EdgeBetween(own, mask->at(i - 1, j))};
    }
    return q;
}

}  // namespace

std::vector<Quad> BuildMesh(const ScreenGrid& points, double turn, const ApertureGrid* mask) {
    std::vector<Quad> mesh;
    mesh.reserve(static_cast<size_t>(2 * kReach) * 2 * kReach);
    const int lo = -kReach, hi = kReach - 1;
    // Depth grows with -X sin(turn) + Z cos(turn); the nearer cells go last.
    if (turn < -45) {
        for (int i = lo; i <= hi; ++i)
            for (int j = lo; j <= hi; ++j) mesh.push_back(MakeQuad(points, i, j, mask));
    } else if (turn < 45) {
        for (int j = lo; j <= hi; ++j) {
            if (turn < 0)
                for (int i = lo; i <= hi; ++i) mesh.push_back(MakeQuad(points, i, j, mask));
            else
                for (int i = hi; i >= lo; --i) mesh.push_back(MakeQuad(points, i, j, mask));
        }
    } else {
        for (int i = hi; i >= lo; --i)
            for (int j = lo; j <= hi; ++j) mesh.push_back(MakeQuad(points, i, j, mask));
    }
    return mesh;
}

void Paint(const std::vector<Quad>& mesh, QImage& picture) {
    picture.fill(Qt::white);
    QPainter g(&picture);
    const QPen black(Qt::black, 1);
    const QPen star(QColor(255, 0, 0), 2);
    const QPen background(QColor(0, 0, 255), 2);
    g.setBrush(Qt::white);
    for (const Quad& q : mesh) {
        QPoint pts[4];
        for (int n = 0; n < 4; ++n) pts[n] = QPoint(q.corner[static_cast<size_t>(n)].x, q.corner[static_cast<size_t>(n)].y);
        g.setPen(black);
        g.drawPolygon(pts, 4);
        for (int n = 0; n < 4; ++n) {
            const uint8_t e = q.edge[static_cast<size_t>(n)];
            if (e == kEdgePlain) continue;
            g.setPen(e == kEdgeStar ? star : background);
            g.drawLine(pts[n], pts[(n + 1) % 4]);
        }
    }
}

void Draw(const Patch& raw, const Patch& heights, const ApertureGrid& mask, const ViewSettings& view, QImage& picture) {
    Relief relief;
    Smooth(raw, heights, view.Size, view.Filter, relief);
    ScreenGrid points;
    ProjectRelief(relief, view.Tilt, view.Turn, points);
    Paint(BuildMesh(points, view.Turn, view.ShowAperture ? &mask : nullptr), picture);
}

}  // namespace threed
