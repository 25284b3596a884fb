#include "graph/spectrum_graph.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>

#include "platform/numtext.h"

namespace spectrum {

int WavelengthToX(double lambda) { return static_cast<int>(numtext::RoundHalfEven((lambda - 400) * 0.8 + 40)); }
int IntensityToY(double v) {
    // A value far off the picture (a broken sensitivity file) stays near it.
    if (!std::isfinite(v)) v = 0;
    v = std::clamp(v, -100.0, 100.0);
    return static_cast<int>(numtext::RoundHalfEven(350 - 300 * v));
}

namespace {

void TextAt(QPainter& p, int x, int y, const QString& text) {
    // Text positions are the top-left corner of the text cell.
    p.drawText(QRect(x, y, 400, 40), Qt::AlignLeft | Qt::AlignTop, text);
}

void Curve(QPainter& p, const QColor& colour, int width, const diffraction::WavelengthArray& a,
           const diffraction::WavelengthArray* b = nullptr, const diffraction::WavelengthArray* c = nullptr) {
    p.setPen(QPen(colour, width));
    QPolygon line;
    for (int r = 0; r < diffraction::kSpectralLines; ++r) {
        const size_t i = static_cast<size_t>(r * diffraction::kWavelengthStep);
        double v = a[i];
        if (b) v *= (*b)[i];
        if (c) v *= (*c)[i];
        line << QPoint(WavelengthToX(400 + r * diffraction::kWavelengthStep), IntensityToY(v));
    }
    p.drawPolyline(line);
}

}  // namespace

void DrawSpectrumGraph(QImage& image, const diffraction::DiffractionModel& m) {
    if (image.width() != kImageWidth || image.height() != kImageHeight || image.format() != QImage::Format_RGB32)
        image = QImage(kImageWidth, kImageHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 1));
    p.setBackgroundMode(Qt::TransparentMode);
    QFont base = p.font();
    base.setPixelSize(11);
    base.setBold(false);
    QFont title = base;
    title.setBold(true);
    title.setPixelSize(17);
    p.setFont(title);
    TextAt(p, 120, 20, "Spectral intensity");

    p.setFont(base);
    p.drawRect(40, 50, 320, 300);
    for (int i = 0; i <= 10; ++i) {
        const int y = 50 + 30 * i;
        p.drawLine(40, y, 48, y);
        p.drawLine(360, y, 352, y);
    }
    TextAt(p, 12, 46, "100");
    for (int i = 1; i <= 9; ++i) TextAt(p, 20, 30 * i + 46, QString::number(100 - 10 * i));
    TextAt(p, 28, 346, "0");
    for (int i = 0; i <= 4; ++i) {
        const int x = 40 + 80 * i;
        p.drawLine(x, 350, x, 342);
        TextAt(p, 80 * i + 32, 354, QString::number(400 + 100 * i));
    }
    TextAt(p, 372, 354, "nm");
    QFont axis = base;
    axis.setBold(true);
    axis.setPixelSize(16);
    p.setFont(axis);
    TextAt(p, 160, 366, "Wave length");
    p.setFont(base);

    struct Legend {
        QColor colour;
        int lineY, textY;
        const char* text;
    };
    const Legend legend[] = {{QColor(255, 0, 255), 400, 392, "Star's spectral intensity (S)"},
                             {QColor(0, 0, 255), 416, 408, "CCD spectral sensitivity (C)"},
                             {QColor(0, 255, 0), 432, 424, "Air's transparency (A)"},
                             {QColor(255, 0, 0), 448, 440, "Total effect (=SxCxA)"}};
    for (const Legend& l : legend) {
        p.setPen(QPen(l.colour, 1));
        p.drawLine(40, l.lineY, 70, l.lineY);
        p.setPen(QPen(Qt::black, 1));
        TextAt(p, 76, l.textY, l.text);
    }

    const bool camera = m.CcdIndex >= 0 && m.CcdIndex < diffraction::kCcdColumns;
    if (camera) Curve(p, QColor(0, 0, 255), 1, m.CcdSensitivity[static_cast<size_t>(m.CcdIndex)]);
    Curve(p, QColor(0, 255, 0), 1, m.AirTransparency);
    Curve(p, QColor(255, 0, 255), 1, m.StarSpectrum);
    if (camera)
        Curve(p, QColor(255, 0, 0), 2, m.AirTransparency, &m.CcdSensitivity[static_cast<size_t>(m.CcdIndex)],
              &m.StarSpectrum);
}

}  // namespace spectrum
