// Main window: reading the inserter's time line into the time boxes and the
// results strings, the field order it detects, and the controls of the reading.
#include "measure/main_2.h"

namespace {

QString QStr(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void TPlatform::ConnectOverlayHandlers() {
    UpDown10->SetRange(-20, 20);
    UpDown10->SetPosition(0);
    UpDown10->SetAssociate(Edit29);
    connect(UpDown10, &TUpDown::Click, this, [this](bool) { UpDown10Click(); });
    connect(UpDown4, &TUpDown::Click, this, [this](bool) { UpDown4Click(); });
    // The threshold the readers use follows the control whoever sets it (loading a
    // results file, the "TIVi" placement, the settings), not only the arrows.
    connect(UpDown4, &TUpDown::Changing, this, [this](int position) { OverlayThreshold = position; });
}

void TPlatform::ShowOverlayTime(const Bitmap24& bmp) {
    MeasureState& s = State;
    overlay::OverlayControls c;
    c.UpDown4 = UpDown4->Position();
    c.UpDown10 = UpDown10->Position();
    c.ShowField = CheckBox1->isChecked();
    c.TimeInserterType = s.TimeInserterType;
    c.VideoFrameRateInt = s.VideoFrameRateInt;
    c.FrameWidth = s.FrameWidth;
    c.FrameHeight = s.FrameHeight;
    c.DisplayWidth = Image1->Picture().width();
    c.DisplayHeight = Image1->Picture().height();
    OverlayReader.OverlayThreshold = OverlayThreshold;
    OverlayReader.OverlayGridLocated = s.OverlayGridLocated;
    OverlayLine.TopFieldFirst = s.TopFieldFirst;
    overlay::ReadTimeOverlayLine(OverlayReader, c, {RadioGroup2->ItemIndex(), CheckBox2->isChecked()}, bmp,
                                 OverlayLine);
    s.TopFieldFirst = OverlayLine.TopFieldFirst;
    OverlayTimeText& o = s.Overlay;
    o.OverlayHour1 = OverlayLine.OverlayHour1;
    o.OverlayMinute1 = OverlayLine.OverlayMinute1;
    o.OverlaySeconds1 = OverlayLine.OverlaySeconds1;
    o.OverlayHour2 = OverlayLine.OverlayHour2;
    o.OverlayMinute2 = OverlayLine.OverlayMinute2;
    o.OverlaySeconds2 = OverlayLine.OverlaySeconds2;
    o.VtiFieldCount1 = OverlayLine.VtiFieldCount1;
    o.VtiFieldCount2 = OverlayLine.VtiFieldCount2;
    Edit24->setText(QStr(o.OverlayHour1));
    Edit25->setText(QStr(o.OverlayMinute1));
    Edit26->setText(QStr(o.OverlaySeconds1));
    Edit27->setText(QStr(o.OverlaySeconds2));
}

void TPlatform::ApplyDetectedFieldOrder() {
    RadioGroup2->SetItemIndex(State.TopFieldFirst == 1 ? 0 : 1);
    OverlayLine.FieldTimeComparison = 2;
}

std::string TPlatform::OverlayReading() const {
    return overlay::FormatOverlayTimeLine(OverlayLine, OverlayReader);
}

void TPlatform::UpDown10Click() {
    Edit29->setText(QString::number(UpDown10->Position()));
    ShowNeighbor();
}

void TPlatform::UpDown4Click() {
    OverlayThreshold = UpDown4->Position();
    if (State.TimeInserterType == 0 && CheckBox5->isChecked()) {
        LocateOverlay();
        ApplyDetectedFieldOrder();
    }
}

void TPlatform::ReadFrameTime(const Bitmap24& bmp) {
    if (bmp.Empty()) return;
    const MeasureState& s = State;
    if (CheckBox5->isChecked()) {
        // A TIVi placement click waits for its locate while the overlay reading is off.
        if (PositionSetMode() != 3 || s.OverlayTimeReading) ShowOverlayTime(bmp);
    } else if (s.TIViReading) {
        ShowTIViReading(bmp);
    }
}
