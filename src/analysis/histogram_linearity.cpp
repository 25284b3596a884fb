#include "analysis/histogram_linearity.h"

#include <QPainter>
#include <algorithm>

#include "platform/controls.h"
#include "platform/numtext.h"

namespace histogram {

Bins HistogramBins(const QImage& frame, int width, int height) {
    Bins bins{};
    const QImage img = frame.convertToFormat(QImage::Format_RGB32);
    const int w = std::clamp(width, 0, img.width()), h = std::clamp(height, 0, img.height());
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) ++bins[static_cast<size_t>(qRed(line[x]))];
    }
    return bins;
}

void DrawHistogram(QImage& canvas, const Bins& bins, int scale) {
    if (canvas.isNull()) canvas = QImage(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    p.setPen(QPen(Qt::magenta, 1));
    const int s = std::max(scale, 1);
    for (int i = 0; i < 256; ++i) {
        const int64_t hgt = numtext::RoundHalfAway(static_cast<double>(bins[static_cast<size_t>(i)]) / s);
        if (hgt <= 0) continue;
        const int top = static_cast<int>(std::max<int64_t>(530 - hgt, -1000000));
        // Lines drawn from 530 up to (but not including) the end point, as the canvas does.
        p.drawLine(30 + 2 * i, 530, 30 + 2 * i, top + 1);
        p.drawLine(31 + 2 * i, 530, 31 + 2 * i, top + 1);
    }
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(30, 30, 30, 530);
    p.drawLine(30, 530, 550, 530);
}

}  // namespace histogram

namespace linearity {

const std::array<double, 71> kLinearityExample = {
    14.5,    0.0,     -1.0,    0.0,     0.0,     890.1,   2443.8,  4046.3,  5684.0,  7263.1,  8859.8,
    10440.0, 11994.0, 13592.2, 15019.1, 16578.8, 18071.2, 19513.6, 20916.5, 22399.5, 23847.6, 25329.5,
    26945.6, 28517.7, 30116.2, 31753.2, 33252.9, 34874.3, 36339.2, 37916.7, 39053.4, 39011.7, 39079.2,
    39000.6, 39070.4, 38966.7, 39010.9, 38931.7, 37857.1, 36264.2, 34681.3, 33001.1, 31467.2, 29920.5,
    28201.3, 26582.1, 25188.4, 23762.6, 22320.1, 20921.9, 19470.0, 18074.6, 16487.6, 14923.1, 13398.5,
    11785.7, 10292.9, 8731.7,  7152.7,  5578.6,  4039.9,  2398.2,  873.8,   -106.8,  -84.0,   14.0,
    22.5,    -55.7,   -35.5,   22.2,    -18.8};

int LinearityX(int width, double t) { return static_cast<int>(numtext::RoundHalfAway((width - 70) * t / 70)) + 40; }

int LinearityY(int height, double v) {
    return height - 60 - static_cast<int>(numtext::RoundHalfAway(v * (height - 80) / kIntensityTop));
}

QRect LinearityPlot(int width, int height) {
    return QRect(QPoint(LinearityX(width, 0), LinearityY(height, kIntensityTop)),
                 QPoint(LinearityX(width, 70), LinearityY(height, 0)));
}

// The forms' font: its five-digit labels fit the 40 pixels left of the axis.
QFont LinearityFont() { return FormFont(); }

std::vector<GraphText> LinearityTexts(int width, int height, const QFont& font) {
    const QFontMetrics fm(font);
    const int lineHeight = fm.height();
    // A pixel more on each side than the advance: a glyph's ink may stand out by one.
    auto box = [&](const std::string& text, int left, int top) {
        return GraphText{QRect(left, top, fm.horizontalAdvance(QString::fromStdString(text)) + 2, lineHeight), text};
    };
    std::vector<GraphText> texts;
    const int axisY = LinearityY(height, 0), axisX = LinearityX(width, 0);
    for (int t = 0; t <= 70; t += 10) {
        GraphText g = box(std::to_string(t), 0, axisY + 6);
        g.box.moveLeft(LinearityX(width, t) - g.box.width() / 2);
        texts.push_back(g);
    }
    // Intensity labels right-aligned to the ticks, every second tick: the turned
    // title needs the room of one label between them.
    QRect between;
    for (int v = 0; v <= kIntensityTop; v += 20000) {
        GraphText g = box(std::to_string(v), 0, LinearityY(height, v) - lineHeight / 2);
        g.box.moveRight(axisX - 6);
        texts.push_back(g);
        if (v == 20000) between.setBottom(g.box.top() - 1);
        if (v == 40000) between.setTop(g.box.bottom() + 1);
    }
    GraphText bottom = box("Time shift of LED starting from the end of each frame (milli second)", 0, height - 30);
    bottom.box.moveLeft((width - bottom.box.width()) / 2);
    texts.push_back(bottom);
    GraphText side = box("Luminous intensity", 0, 0);
    side.turned = true;
    side.box = QRect(1, 0, lineHeight, side.box.width());
    side.box.moveTop((between.top() + between.bottom() - side.box.height()) / 2);
    texts.push_back(side);
    return texts;
}

void DrawGraphText(QPainter& p, const GraphText& t) {
    const QString s = QString::fromStdString(t.text);
    if (!t.turned) {
        p.drawText(t.box, Qt::AlignCenter, s);
        return;
    }
    p.save();
    p.translate(t.box.left(), t.box.bottom() + 1);
    p.rotate(-90);
    p.drawText(QRect(0, 0, t.box.height(), t.box.width()), Qt::AlignCenter, s);
    p.restore();
}

void DrawLinearityGraph(QImage& image) {
    if (image.isNull()) image = QImage(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int w = image.width(), h = image.height();
    QPainter p(&image);
    const QFont font = LinearityFont();
    p.setFont(font);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(LinearityX(w, 0), LinearityY(h, 0), LinearityX(w, 70), LinearityY(h, 0));
    p.drawLine(LinearityX(w, 0), LinearityY(h, 0), LinearityX(w, 0), LinearityY(h, kIntensityTop));
    for (int t = 0; t <= 70; t += 10) {
        const int x = LinearityX(w, t), y = LinearityY(h, 0);
        p.drawLine(x, y, x, y + 5);
    }
    for (int v = 10000; v <= kIntensityTop; v += 10000) {
        const int x = LinearityX(w, 0), y = LinearityY(h, v);
        p.drawLine(x - 5, y, x, y);
    }
    for (const GraphText& t : LinearityTexts(w, h, font)) DrawGraphText(p, t);
    // The fit runs from below the time axis (t = 1) to above the top (t = 33).
    p.save();
    p.setClipRect(LinearityPlot(w, h));
    p.setPen(QPen(Qt::red, 1));
    p.drawLine(LinearityX(w, 1), LinearityY(h, kLinearityIntercept + kLinearitySlope * 1), LinearityX(w, 33),
               LinearityY(h, kLinearityIntercept + kLinearitySlope * 33));
    p.restore();
    p.setPen(QPen(Qt::blue, 1));
    for (int t = 0; t <= 70; ++t) {
        const int x = LinearityX(w, t), y = LinearityY(h, kLinearityExample[static_cast<size_t>(t)]);
        p.drawEllipse(QRect(x - 2, y - 2, 4, 4));
    }
}

std::string LinearityText() {
    return std::string("Explanation\r\n") +
           "NTSC signal consists of 29.97 interlaced frames of video per second.  " +
           "Due to this no-integer frame rate, " +
           "the start of frame exposure loses 1.001 milli socond per a second (30/29.97).  " +
           "As a result of it, the start of the LED flash, which synchronized to GPS" + "'" +
           " accurate 1 PPS, appears to \"drift\" through the video frame " +
           "at a rate of 1 millisecond per second.  " + "When the photometric analysis is made on each 30 frame, " +
           "the luminous intensity recorded on frame is expected to be in proportion " +
           "to the time from the begining of flush starting frame. " + "\r\n" +
           "Above graph shows that the luminous intensity measured by Tevorin is " +
           "in proportion to time length of LED illumination very well.  " +
           "From this experiment, it is concluded that the observation with video " +
           "has extremely high accuracy which is smaller than 1 milli second.  ";
}

}  // namespace linearity
