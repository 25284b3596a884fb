#include "analysis/TimeError.h"

#include "analysis/timing_graph.h"

TTimingError* TimingError = nullptr;
bool TimingErrorOpen = false;

TTimingError::TTimingError(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    TimingError = this;
    TimingErrorOpen = true;
    FormCreate();
}

TTimingError::~TTimingError() {
    if (TimingError == this) {
        TimingError = nullptr;
        TimingErrorOpen = false;
    }
}

void TTimingError::FormCreate() {
    timing::DrawTimingErrorGraph(Image1->Picture());
    Image1->Changed();
}
