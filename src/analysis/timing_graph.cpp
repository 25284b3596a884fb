#include "analysis/timing_graph.h"

#include <QPainter>
#include <QPolygon>

#include "platform/numtext.h"

namespace timing {

using numtext::RoundHalfAway;

int CurveX(double noise) { return 60 + static_cast<int>(RoundHalfAway(noise * 10 * 30)); }
int CurveY(double error) { return 452 - static_cast<int>(RoundHalfAway(error * 36)); }

void DrawTimingErrorGraph(QImage& image) {
    image = QImage(kCurveImageWidth, kCurveImageHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(60, 452, 60, 20);
    p.drawLine(60, 452, CurveX(1.6), 452);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    for (int k = 1; k <= 12; ++k) {
        const int y = CurveY(k);
        p.drawLine(k == 10 ? 50 : 55, y, 60, y);
        p.drawText(QRect(25, y - 7, 22, 14), Qt::AlignRight | Qt::AlignVCenter, QString::number(k));
    }
    for (int k = 1; k <= 16; ++k) {
        const int x = CurveX(k / 10.0);
        p.drawLine(x, 452, x, 457);
        p.drawText(QRect(x - 15, 459, 30, 14), Qt::AlignCenter, QString::number(k / 10.0, 'f', 1));
    }
    p.drawText(QRect(60, 476, 480, 16), Qt::AlignCenter,
               "Noise (Standard deviation of intensity / Luminous drop of event)");
    p.save();
    p.translate(12, 236);
    p.rotate(-90);
    p.drawText(QRect(-216, -8, 432, 16), Qt::AlignCenter, "Time error as 1-sigma (frame or integration)");
    p.restore();
    QPolygon curve;
    for (int i = 0; i <= 155; ++i) curve << QPoint(CurveX(i / 100.0), CurveY(static_cast<double>(TimingErrorEstimate(i / 100.0))));
    p.drawPolyline(curve);
    p.setPen(QPen(Qt::red, 1));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i <= 30; ++i) {
        const int x = CurveX(i / 20.0), y = CurveY(kTimingReferencePoints[static_cast<size_t>(i)]);
        p.drawEllipse(QRect(x - 2, y - 2, 4, 4));
    }
}

void DrawSimulationRun(QImage& image, const Run& run, int graphWidthFactor) {
    image = QImage(kRunImageWidth, kRunImageHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    const int f = std::max(graphWidthFactor, 1);
    auto X = [&](double i) { return 450 + static_cast<int>(RoundHalfAway(i * 400 / 100)) * f; };
    auto Y = [](double v) { return 240 - static_cast<int>(RoundHalfAway(80 * v)); };
    p.setPen(QPen(Qt::gray, 1));
    p.drawLine(0, Y(0), kRunImageWidth, Y(0));
    p.drawLine(0, Y(1), kRunImageWidth, Y(1));
    p.setPen(QPen(Qt::blue, 1));
    const int trueX = X(run.u - 0.5);
    p.drawLine(trueX, 20, trueX, 380);
    p.setPen(QPen(Qt::red, 1));
    const int foundX = X(run.found / 100.0);
    p.drawLine(foundX, 20, foundX, 380);
    p.setPen(QPen(Qt::black, 1));
    QPolygon line;
    for (int i = kSampleMin; i <= kSampleMax; ++i) line << QPoint(X(i), Y(run.samples[static_cast<size_t>(i - kSampleMin)]));
    p.drawPolyline(line);
    for (const QPoint& q : line) p.drawRect(q.x() - 1, q.y() - 1, 2, 2);
}

}  // namespace timing
