#pragma once
// "Estimated error of timing": the timing-error curve with the simulated reference
// points, drawn once at creation by timing_graph.
#include <QWidget>

#include "ui_TimeError.h"

class TTimingError : public QWidget, public Ui::TTimingError {
    Q_OBJECT
public:
    // Sets the open flag; the window frees itself on closing and clears it.
    explicit TTimingError(QWidget* parent = nullptr);
    ~TTimingError() override;
    void FormCreate();
};

// The one window and its open flag.
extern TTimingError* TimingError;
extern bool TimingErrorOpen;
