#include "graph/magnitude_text.h"

#include <QFontDatabase>
#include <QPainter>

#include "graph/magnitude_calc.h"
#include "platform/numtext.h"

namespace magnitude {

std::string DelayCorrectionLine(int delayMs, int integratedFrames) {
    return "Correction - " + numtext::FormatFixed(delayMs / 1000.0, 15, 3) + "sec " + "for delay due to " +
           std::to_string(integratedFrames) + "Frame integration " + "is applied";
}

void DrawReportOnGraph(QImage& graph, const QImage& snapshot, const std::vector<std::string>& report,
                       const GraphText& how) {
    // Without a snapshot there is nothing to draw over; the picture stays.
    if (snapshot.isNull()) return;
    graph = snapshot;
    if (how.out == TextOut::Off) return;
    QPainter p(&graph);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    font.setBold(false);
    p.setFont(font);
    p.setPen(Qt::black);
    p.setBackground(Qt::white);
    p.setBackgroundMode(how.out == TextOut::Opaque ? Qt::OpaqueMode : Qt::TransparentMode);
    auto text = [&](int x, int y, const std::string& s, bool bold) {
        QFont f = font;
        f.setBold(bold);
        p.setFont(f);
        const QString q = QString::fromLatin1(s.c_str());
        const QRect box = QFontMetrics(f).boundingRect(QRect(x, y, 2000, 40), Qt::AlignLeft | Qt::AlignTop, q);
        if (how.out == TextOut::Opaque) p.fillRect(box, Qt::white);
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop, q);
    };
    if (how.mode == TextMode::Doublestar) {
        const std::vector<std::string> lines = DoublestarLines(report);
        for (size_t i = 0; i < lines.size(); ++i) text(how.x, how.y + kLineSpacing * static_cast<int>(i), lines[i], false);
        return;
    }
    const std::vector<std::string> times = EventTimeLines(report);
    if (times.empty()) return;
    text(how.x, how.y, times[0], true);
    int below = how.y + kLineSpacing;
    if (times.size() > 1) {
        text(how.x, below, times[1], false);
        // The delay line goes under the second time instead of over it.
        below += kLineSpacing;
    }
    if (how.n120) text(how.x, below, DelayCorrectionLine(how.delayMs, how.integratedFrames), false);
}

}  // namespace magnitude
