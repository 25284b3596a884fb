#pragma once
// "Histogram": the red levels of the frame shown in the main window, counted once
// at creation and drawn at the scale of the up-down.
#include <QWidget>

#include "analysis/histogram_linearity.h"
#include "ui_Histogram1.h"

class THistogram : public QWidget, public Ui::THistogram {
    Q_OBJECT
public:
    // `frame` is the main window's picture; its top-left width x height area counts.
    THistogram(const QImage& frame, int width, int height, QWidget* parent = nullptr);
    ~THistogram() override;
    histogram::Bins HistogramBins{};
    int Scale() const { return -UpDown1->Position(); }
    void FormCreate(const QImage& frame, int width, int height);
    void UpDown1Click();

private:
    void Draw();
};

// The last window opened (each opening makes a new one).
extern THistogram* Histogram;
