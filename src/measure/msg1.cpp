#include "measure/msg1.h"

#include <QFontMetrics>
#include <QPainter>

Tmsg::Tmsg(QWidget* owner) : QWidget(owner, Qt::Window) {
    setupUi(this);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setFixedSize(size());
}

void Tmsg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(Qt::black);
    // The text's top left corner at (10, 10) of the canvas.
    p.drawText(10, 10 + QFontMetrics(font()).ascent(), kText);
}
