#pragma once
// "Setting for predicted track": switches the predicted track on per object and
// sets how many recent points its fit uses. Edits the TrackingState it was given
// (the main window's); frees itself when closed.
#include <QWidget>

#include "measure/tracking.h"
#include "ui_SetPredictTrack1.h"

class TSetPredictTrack : public QWidget, public Ui::TSetPredictTrack {
    Q_OBJECT
public:
    explicit TSetPredictTrack(TrackingState& tracking, QWidget* parent = nullptr);
    ~TSetPredictTrack() override;

    void FormCreate();
    // Object n = 1..3.
    void CheckBoxClick(int n);
    void UpDownClick(int n);

    QCheckBox* ObjectBox(int n) const;
    TUpDown* RangeUpDown(int n) const;
    QLineEdit* RangeEdit(int n) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TrackingState& tracking_;
};

// The open window, or null.
extern TSetPredictTrack* SetPredictTrack;

// Creates and shows the window, or raises it when it is open already.
TSetPredictTrack* OpenSetPredictTrack(TrackingState& tracking, QWidget* parent = nullptr);
