#pragma once
// Framed panels for picture previews.
//
// TPanelFrame paints its outer and inner bevels as 3-D frames (a raised bevel
// light at the top left and dark at the bottom right, a lowered one the other way
// round), then calls OnPaint with the inside rectangle. Both bevels are off after
// creation. TDoubleBufferedPanel keeps an off-screen picture of the inside (the
// client size less twice the bevel and border widths) that callers draw into
// through Canvas(); painting draws the frames, calls OnPaint and copies the
// picture to the inside, so a preview redrawn often does not flicker.
#include <QImage>
#include <QWidget>
#include <functional>

class TPanelFrame : public QWidget {
    Q_OBJECT
public:
    enum TBevel { bvNone, bvLowered, bvRaised };
    explicit TPanelFrame(QWidget* parent = nullptr);

    TBevel BevelOuter = bvNone;
    TBevel BevelInner = bvNone;
    int BevelWidth = 1;
    int BorderWidth = 0;
    std::function<void(QPainter&, const QRect& inside)> OnPaint;
    std::function<void()> OnClick;

    // The client rectangle less the bevels and the border.
    QRect InsideRect() const;
    // The width of all frames on one side.
    int FrameWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void PaintFrames(QPainter& painter);
};

class TDoubleBufferedPanel : public TPanelFrame {
    Q_OBJECT
public:
    explicit TDoubleBufferedPanel(QWidget* parent = nullptr);
    // The off-screen picture, sized to the inside.
    QImage& Canvas();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage bitmap_;
};
