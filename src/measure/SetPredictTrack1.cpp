#include "measure/SetPredictTrack1.h"

#include <QCloseEvent>

#include "measure/main_2.h"

TSetPredictTrack* SetPredictTrack = nullptr;

namespace {
constexpr int kRangeMin = 10, kRangeMax = 300, kRangeStep = 10;
}

TSetPredictTrack::TSetPredictTrack(TrackingState& tracking, QWidget* parent)
    : QWidget(parent, Qt::Window), tracking_(tracking) {
    setupUi(this);
    setObjectName("SetPredictTrack");  // the instance variable, as scripts name the window
    setAttribute(Qt::WA_DeleteOnClose);
    SetPredictTrack = this;
    for (int n = 1; n <= 3; ++n) {
        TUpDown* u = RangeUpDown(n);
        u->SetRange(kRangeMin, kRangeMax);
        u->SetIncrement(kRangeStep);
        u->SetAssociate(RangeEdit(n));
    }
    FormCreate();
    for (int n = 1; n <= 3; ++n) {
        // Also on changes made by the main window's "Estimated track", as a box's
        // click event follows any change of its state.
        connect(ObjectBox(n), &QCheckBox::toggled, this, [this, n] { CheckBoxClick(n); });
        connect(RangeUpDown(n), &TUpDown::Click, this, [this, n] { UpDownClick(n); });
    }
}

TSetPredictTrack::~TSetPredictTrack() {
    tracking_.SetPredictTrackOpen = 0;
    if (SetPredictTrack == this) SetPredictTrack = nullptr;
}

QCheckBox* TSetPredictTrack::ObjectBox(int n) const { return n == 1 ? CheckBox1 : n == 2 ? CheckBox2 : CheckBox3; }
TUpDown* TSetPredictTrack::RangeUpDown(int n) const { return n == 1 ? UpDown1 : n == 2 ? UpDown2 : UpDown3; }
QLineEdit* TSetPredictTrack::RangeEdit(int n) const { return n == 1 ? Edit1 : n == 2 ? Edit2 : Edit3; }

void TSetPredictTrack::FormCreate() {
    tracking_.SetPredictTrackOpen = 1;
    for (int n = 1; n <= 3; ++n) {
        const PredictTrackRecord& t = tracking_.PredictTrack[n];
        ObjectBox(n)->setChecked(t.Enabled != 0);
        RangeUpDown(n)->SetPosition(t.FrameRange);
        RangeEdit(n)->setText(QString::number(t.FrameRange));
    }
}

void TSetPredictTrack::CheckBoxClick(int n) {
    const bool on = ObjectBox(n)->isChecked();
    tracking_.PredictTrack[n].Enabled = on ? 1 : 0;
    if (Platform && Platform->State.CurrentObject == n) Platform->CheckBox4->setChecked(on);
}

void TSetPredictTrack::UpDownClick(int n) {
    const int range = RangeUpDown(n)->Position();
    tracking_.PredictTrack[n].FrameRange = range;
    RangeEdit(n)->setText(QString::number(range));
}

void TSetPredictTrack::closeEvent(QCloseEvent* event) {
    tracking_.SetPredictTrackOpen = 0;
    event->accept();
}

TSetPredictTrack* OpenSetPredictTrack(TrackingState& tracking, QWidget* parent) {
    if (!SetPredictTrack) SetPredictTrack = new TSetPredictTrack(tracking, parent);
    SetPredictTrack->show();
    SetPredictTrack->raise();
    return SetPredictTrack;
}
