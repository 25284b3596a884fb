#include "analysis/identification_draw.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace identification {

namespace {

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QFont IdTextFont() {
    QFont f("Arial");
    f.setPixelSize(12);
    f.setBold(true);
    return f;
}

QRect IdTextBox(const std::string& text, int x, int y) {
    if (text.empty()) return {};
    const QFontMetrics fm(IdTextFont());
    return QRect(x, y, fm.horizontalAdvance(Latin1(text)), fm.height());
}

void DrawIdText(QImage& target, const QImage& backup, const QRect& backupRect, const std::string& text, int x, int y) {
    if (target.isNull()) return;
    QPainter p(&target);
    if (!backup.isNull()) {
        const QRect r = backupRect.intersected(backup.rect()).intersected(target.rect());
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(r.topLeft(), backup, r);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    const QRect box = IdTextBox(text, x, y);
    if (box.isEmpty()) return;
    p.setFont(IdTextFont());
    p.fillRect(box, Qt::white);
    p.setPen(Qt::black);
    p.drawText(QPoint(x, y + QFontMetrics(p.font()).ascent()), Latin1(text));
}

}  // namespace identification
