#include "analysis/Histogram1.h"

THistogram* Histogram = nullptr;

THistogram::THistogram(const QImage& frame, int width, int height, QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window);
    Histogram = this;
    UpDown1->SetRange(-50, -1);
    UpDown1->SetPosition(-10);
    Image1->SetPictureSize(histogram::kCanvasWidth, histogram::kCanvasHeight);
    connect(UpDown1, &TUpDown::Click, this, &THistogram::UpDown1Click);
    FormCreate(frame, width, height);
}

THistogram::~THistogram() {
    if (Histogram == this) Histogram = nullptr;
}

void THistogram::FormCreate(const QImage& frame, int width, int height) {
    HistogramBins = histogram::HistogramBins(frame, width, height);
    Draw();
}

// A new scale redraws the kept counts.
void THistogram::UpDown1Click() { Draw(); }

void THistogram::Draw() {
    Edit1->setText(QString::number(Scale()));
    histogram::DrawHistogram(Image1->Picture(), HistogramBins, Scale());
    Image1->Changed();
}
