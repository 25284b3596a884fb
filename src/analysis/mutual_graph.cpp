#include "analysis/mutual_graph.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/numtext.h"
#include "platform/qt_text.h"

namespace mutual {
namespace {

int Round(long double v) {
    if (!std::isfinite(v)) return v > 0 ? 1000000 : -1000000;
    // Coordinates far off the picture are clamped so that the painter stays in range.
    return static_cast<int>(numtext::RoundHalfEven(static_cast<double>(std::clamp(v, -1e6L, 1e6L))));
}

class Canvas {
public:
    explicit Canvas(QImage& image) : p_(&image) {
        QFont font = p_.font();
        font.setPixelSize(10);
        p_.setFont(font);
    }
    void Pen(uint32_t colour) { p_.setPen(QPen(ColourValue(colour), 0)); }
    // From (x0, y0) to (x1, y1), the end point excluded as the class library's LineTo does.
    void Line(int x0, int y0, int x1, int y1) {
        if (x0 == x1 && y0 == y1) return;
        const int dx = x1 - x0, dy = y1 - y0;
        if (dx == 0) p_.drawLine(x0, y0, x0, y1 - (dy > 0 ? 1 : -1));
        else if (dy == 0) p_.drawLine(x0, y0, x1 - (dx > 0 ? 1 : -1), y0);
        else p_.drawLine(x0, y0, x1, y1);
    }
    void Polyline(const std::vector<QPoint>& pts) {
        if (pts.size() == 1) p_.drawPoint(pts[0]);
        else if (pts.size() > 1) p_.drawPolyline(pts.data(), static_cast<int>(pts.size()));
    }
    void Text(int x, int y, const std::string& text, uint32_t colour) {
        p_.setPen(ColourValue(colour));
        p_.drawText(QRect(x, y, 400, 14), Qt::AlignLeft | Qt::AlignTop, QStr(text));
    }

private:
    QPainter p_;
};

}  // namespace

QColor ColourValue(uint32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

int GraphGeometry::UnitX(int u) const { return Round(u * static_cast<long double>(pixelsPerUnit)) + 50; }

int GraphGeometry::ValueY(long double v, long double valueScale) const {
    return height - 30 - Round(v * valueScale * 100 / view.vZoom - static_cast<long double>(view.vOffset) * plotHeight / 100);
}

int GraphGeometry::UnitAt(int x) const {
    if (x < 50 || x > plotWidth + 50) return 0;
    return static_cast<int>(numtext::RoundHalfEven((x - 50) / pixelsPerUnit));
}

GraphGeometry DrawMutualGraph(QImage& image, const std::vector<Unit>& units, const GraphView& view) {
    GraphGeometry g;
    g.width = image.width();
    g.height = image.height();
    g.view = view;
    if (g.view.hZoom < 1) g.view.hZoom = 1;
    if (g.view.vZoom < 1) g.view.vZoom = 1;
    const int count = units.empty() ? 0 : static_cast<int>(units.size()) - 1;
    // With no unit the axes are drawn for 500 units over 5 minutes.
    long double tFirst = count > 0 ? UnitMinutes(units[1]) : 0, tLast = count > 0 ? UnitMinutes(units[count]) : 0;
    if (tLast < tFirst) tLast += 1440;
    long double span = tLast - tFirst;
    if (span == 0) span = 5;
    g.plotWidth = Round((g.width - 80) * static_cast<long double>(g.view.hZoom) / 100);
    g.pixelsPerUnit = static_cast<double>(g.plotWidth) / (count > 0 ? count : 500);
    long double range = -100000;
    for (int u = 1; u <= count; ++u) range = std::max({range, units[u].Ts, units[u].Cs});
    if (range == 0 || count == 0) range = 100;
    g.plotHeight = g.height - 50;
    g.scale = g.plotHeight / range;

    image.fill(Qt::white);
    Canvas c(image);
    c.Pen(0);
    const int axisY = g.height - 30;
    c.Line(50, 20, 50, axisY);
    c.Line(50, axisY, g.plotWidth + 50, axisY);
    const long double f = 1 - (tFirst - std::trunc(tFirst));
    const int64_t m0 = (count > 0 ? units[1].minute : 0) + (f != 1 ? 1 : 0);
    // A mark per minute; beyond a week of minutes they would be denser than pixels.
    const int64_t marks = std::min<int64_t>(static_cast<int64_t>(std::trunc(span)), 10080);
    for (int64_t k = 0; k <= marks; ++k) {
        const int x = Round((k + f) * g.plotWidth / span) + 50;
        c.Pen(0);
        c.Line(x, axisY, x, axisY + 5);
        const std::string label = std::to_string(m0 + k);
        c.Text(x - 3 * static_cast<int>(label.size()), axisY + 5 + 3, label, 0);
    }
    const int step = 1 / g.scale >= 10 ? 5000 : 500;
    for (int i = -2; i <= 30; ++i) {
        const int y = g.ValueY(static_cast<long double>(i) * step);
        if (y < 20 || y > axisY) continue;
        c.Pen(0);
        c.Line(50, y, i % 2 == 0 ? 60 : 55, y);
        c.Text(17, y - 5, PadLeft(std::to_string(i * step), 5), 0);
    }
    std::vector<QPoint> cs, ts;
    for (int u = 1; u <= count; ++u) {
        cs.emplace_back(g.UnitX(u), g.ValueY(units[u].Cs));
        ts.emplace_back(g.UnitX(u), g.ValueY(units[u].Ts));
    }
    c.Pen(65535);
    c.Polyline(cs);
    c.Pen(0xFF0000);
    c.Polyline(ts);
    return g;
}

void DrawSelectionLines(QImage& image, const GraphGeometry& g, int greenUnit, int magentaUnit) {
    Canvas c(image);
    c.Pen(65280);
    c.Line(g.UnitX(greenUnit), 0, g.UnitX(greenUnit), g.height);
    c.Pen(0xFF00FF);
    c.Line(g.UnitX(magentaUnit), 0, g.UnitX(magentaUnit), g.height);
}

void DrawFit(QImage& image, const GraphGeometry& g, const FitResult& fit, bool slope) {
    Canvas c(image);
    std::vector<QPoint> curve, slopes;
    const long double slopeScale = std::fabs(g.plotHeight / fit.largestSlope);
    for (const FitPoint& p : fit.points) {
        curve.emplace_back(g.UnitX(p.unit), g.ValueY(p.value));
        slopes.emplace_back(g.UnitX(p.unit), g.ValueY(p.slope, slopeScale));
    }
    c.Pen(255);
    c.Polyline(curve);
    const int xMin = g.UnitX(fit.minUnit);
    c.Pen(0x808080);
    c.Line(xMin, 20, xMin, g.height - 30);
    c.Text(xMin - 32, 10, fit.minimumText, 0);
    if (!slope) return;
    c.Pen(0x8000);
    c.Polyline(slopes);
    for (size_t i = 0; i < fit.turnUnits.size(); ++i) {
        const int u = fit.turnUnits[i];
        const auto it = std::find_if(fit.points.begin(), fit.points.end(), [u](const FitPoint& p) { return p.unit == u; });
        if (it == fit.points.end()) continue;
        const int x = g.UnitX(u), y = g.ValueY(it->slope, slopeScale);
        c.Pen(0xFF00FF);
        c.Line(x, y - 50, x, y + 50);
        c.Text(x, y - 30, fit.turnTexts[i], 0xFF0000);
    }
}

}  // namespace mutual
