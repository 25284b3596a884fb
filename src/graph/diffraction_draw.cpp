#include "graph/diffraction_draw.h"

#include <QPainter>
#include <QPolygon>
#include <cmath>

#include "platform/numtext.h"

namespace diffraction {

namespace {

constexpr uint32_t kRed = 0x0000FF, kYellow = 0x00FFFF, kNavy = 0x800000;
constexpr uint32_t kResidualLine = 0xFF8888, kResidualMarker = 0xFF0000;  // object A's colours
constexpr int kResidualBase = 75;

int Round(double v) {
    if (!(std::fabs(v) < 30000)) return v != v ? 0 : v < 0 ? -30000 : 30000;
    return static_cast<int>(numtext::RoundHalfEven(v));
}

void Ellipse(QPainter& p, int x, int y, int r) { p.drawEllipse(QRect(x - r, y - r, 2 * r, 2 * r)); }

}  // namespace

void DrawFit(const GraphView& g, const GraphTable& table, const FitDrawing& d, QImage& image1, QImage& image2) {
    if (!d.run || !d.run->Ok()) return;
    const FitRun& run = *d.run;
    const FitReport& rep = run.report;
    const FitSetup& f = run.plan.setup;
    const bool reapp = rep.isReappearance != 0;
    const long double sigma = static_cast<long double>(rep.fitTimeShift) * (reapp ? 1 : -1);
    ModelCurve curve(f, sigma, rep.fresnelRate);
    const double fps = d.frameRate;
    const int h1 = image1.height();
    const int d0 = g.SelectedFrame - g.FirstShownFrame;
    const double rowsPerMs = fps / 1000 * (g.FieldMode ? 2 : 1);
    auto xOf = [&](int64_t t) { return Round(t * rowsPerMs * g.XScale + d0 * g.XScale) + g.PlotMarginLeft; };
    const int xLeft = g.PlotMarginLeft, xRight = g.PlotImageWidth - g.PlotMarginRight;

    // 7: the curve at every millisecond of the view.
    QPainter p1(&image1);
    p1.setPen(TColorToQColor(kRed));
    const int64_t tFrom = -numtext::RoundHalfEven(d0 * 1000.0 / fps);
    const int64_t tTo = numtext::RoundHalfEven((g.ShownFrameCount - d0) * 1000.0 / fps);
    QPolygon line;
    for (int64_t t = tFrom; t <= tTo; ++t) {
        const int x = xOf(t);
        if (x < xLeft) continue;
        if (x > xRight) break;
        const long double mean = curve.MeanAt(t);
        const QPoint pt(x, ValueToY(g, h1, static_cast<double>(f.lower + (f.upper - f.lower) * mean)));
        if (line.isEmpty() || line.back() != pt) line.append(pt);
        if (d.textOut)
            d.textOut->push_back(numtext::FormatFixed(t / 1000.0, 5, 4) + "," +
                                 numtext::FormatFixed(static_cast<double>(mean), 5, 4));
    }
    if (line.size() == 1) p1.drawPoint(line[0]);
    else if (line.size() > 1) p1.drawPolyline(line);

    // 8: the event marks (and the second component's) with the error bars.
    QPainter p2(&image2);
    const int tEvent = rep.fitTimeShift / 10;
    const int diff = static_cast<int>(g.DoubleStarTimeDiff);
    int marks[2] = {reapp ? -tEvent : tEvent, 0};
    marks[1] = reapp ? marks[0] - diff : marks[0] + diff;
    const int markCount = g.DoubleStarMode ? 2 : 1;
    for (int m = 0; m < markCount; ++m) {
        const int x = xOf(marks[m]);
        const int y = ValueToY(g, h1, static_cast<double>(curve.ValueAt(marks[m])));
        p1.setPen(TColorToQColor(kYellow));
        p1.drawLine(x, g.PlotMarginTop, x, h1 - g.PlotMarginBottom);
        if (rep.errorMs >= 0) {
            const double err = static_cast<double>(rep.errorMs);
            const int e = Round(err * fps * g.XScale * 2 / 1000);
            p1.drawLine(x - 3 * e, y, x + 3 * e, y);
            const int e2 = Round(err * fps * g.XScale / 1000) * (g.FieldMode ? 2 : 1);
            p1.setPen(TColorToQColor(kNavy));
            p1.drawLine(x - e2, y, x + e2, y);
            p1.drawLine(x - e2, y - 3, x - e2, y + 3);
            p1.drawLine(x + e2, y - 3, x + e2, y + 3);
        }
        p2.setPen(TColorToQColor(kYellow));
        p2.drawLine(x, 2, x, 149);
    }

    // 9: residuals about the line y = 75 of the lower plot.
    p2.setPen(Qt::black);
    p2.drawLine(10, kResidualBase, 730, kResidualBase);
    p1.setPen(TColorToQColor(kRed));
    p1.setBrush(Qt::NoBrush);
    bool havePrev = false;
    QPoint prev;
    for (int i = 0; i < g.ShownFrameCount; ++i) {
        const int row = g.FirstShownFrame + i;
        if (row < 0 || row >= table.Rows()) continue;
        const Cell& c = table.At(row, 1);
        if (c.kind != CellKind::Number) continue;
        const long double model = curve.ValueAtRow(row - g.SelectedFrame);
        const int x = RowToX(g, i);
        const int ym = ValueToY(g, h1, static_cast<double>(model));
        Ellipse(p1, x, ym, 2);
        const QPoint pt(x, kResidualBase + ValueToY(g, h1, c.value) - ym);
        if (d.dataLines && havePrev) {
            p2.setPen(TColorToQColor(kResidualLine));
            p2.drawLine(prev, pt);
        }
        p2.setPen(TColorToQColor(kResidualMarker));
        p2.setBrush(TColorToQColor(kResidualMarker));
        Ellipse(p2, pt.x(), pt.y(), d.markerRadius);
        prev = pt;
        havePrev = true;
    }
}

}  // namespace diffraction
