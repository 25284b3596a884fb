#include "imagefile/PanelFrame.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

// A 3-D frame of `width` lines inside `rect`: `topLeft` on the top and left edges,
// `bottomRight` on the others; `rect` shrinks by the frame.
void Frame3D(QPainter& p, QRect& rect, const QColor& topLeft, const QColor& bottomRight, int width) {
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        p.setPen(topLeft);
        p.drawLine(rect.left(), rect.bottom(), rect.left(), rect.top());
        p.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
        p.setPen(bottomRight);
        p.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
        p.drawLine(rect.right(), rect.bottom(), rect.left(), rect.bottom());
        rect.adjust(1, 1, -1, -1);
    }
}

}  // namespace

TPanelFrame::TPanelFrame(QWidget* parent) : QWidget(parent) {}

int TPanelFrame::FrameWidth() const {
    return (BevelOuter != bvNone ? BevelWidth : 0) + BorderWidth + (BevelInner != bvNone ? BevelWidth : 0);
}

QRect TPanelFrame::InsideRect() const {
    const int f = FrameWidth();
    return rect().adjusted(f, f, -f, -f);
}

void TPanelFrame::PaintFrames(QPainter& painter) {
    const QColor light = palette().color(QPalette::Light), dark = palette().color(QPalette::Dark);
    QRect r = rect();
    if (BevelOuter != bvNone)
        Frame3D(painter, r, BevelOuter == bvRaised ? light : dark, BevelOuter == bvRaised ? dark : light, BevelWidth);
    r.adjust(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth);
    if (BevelInner != bvNone)
        Frame3D(painter, r, BevelInner == bvRaised ? light : dark, BevelInner == bvRaised ? dark : light, BevelWidth);
}

void TPanelFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintFrames(painter);
    if (OnPaint) OnPaint(painter, InsideRect());
}

void TPanelFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && OnClick) OnClick();
    QWidget::mousePressEvent(event);
}

TDoubleBufferedPanel::TDoubleBufferedPanel(QWidget* parent) : TPanelFrame(parent) {}

QImage& TDoubleBufferedPanel::Canvas() {
    const QSize size = InsideRect().size().expandedTo(QSize(1, 1));
    if (bitmap_.size() != size) {
        bitmap_ = QImage(size, QImage::Format_RGB32);
        bitmap_.fill(Qt::white);
    }
    return bitmap_;
}

void TDoubleBufferedPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintFrames(painter);
    if (OnPaint) OnPaint(painter, InsideRect());
    painter.drawImage(InsideRect().topLeft(), Canvas());
}
