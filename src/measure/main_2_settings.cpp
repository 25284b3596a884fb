// The main window: the settings dialog and options openers, the reader and
// time-inserter switches, the background form with its gap and width, the
// rectangle aperture, "Direction Setting", "Show Field", the playback speed and
// the reference frames of the estimated and linked tracks.
#include <QAction>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

#include "measure/Measurement_option.h"
#include "measure/main_2.h"
#include "measure/preserveset.h"
#include "measure/reference_points.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"
#include "video/avidshow.h"

namespace {

// The rectangle aperture's caption colour (0x00BBGGRR 0xF0CAA6).
const char* kRectangleLabelStyle = "background-color: #A6CAF0;";

template <typename W>
void SetQuietly(W* widget, bool checked) {
    const QSignalBlocker quiet(widget);
    widget->setChecked(checked);
}

}  // namespace

void TPlatform::ConnectSettingsHandlers() {
    connect(CheckBox7, &QCheckBox::toggled, this, [this](bool on) {
        if (State.RecordingFlag || State.RunningFlag) return SetQuietly(CheckBox7, !on);
        ReaderSwitch();
    });
    // Only a user's choice runs the inserter handler; set in code it runs nothing.
    connect(ComboBox1, &QComboBox::activated, this, &TPlatform::ComboBox1Change);
    connect(CheckBox5, &QCheckBox::toggled, this, &TPlatform::CheckBox5Click);
    connect(RectangleAperture1, &QAction::triggered, this, &TPlatform::RectangleAperture1Click);
    QRadioButton* forms[3] = {RadioButton1, RadioButton2, RadioButton3};
    for (int form = 0; form < 3; ++form) {
        connect(forms[form], &QRadioButton::toggled, this, [this, form](bool on) {
            if (on && !showingSettings_) BkgFormClick(form);
        });
    }
    connect(UpDown6, &TUpDown::Click, this, [this](bool) { UpDown6Click(); });
    connect(UpDown8, &TUpDown::Click, this, [this](bool) { UpDown8Click(); });
    connect(UpDown7, &TUpDown::Click, this, [this](bool) { UpDown7Click(); });
    connect(Button7, &QPushButton::clicked, this, &TPlatform::Button7Click);
    connect(Image1, &TImage::MouseMove, this, &TPlatform::Image1MouseMove);
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool) { CheckBox1Click(); });
    connect(RadioGroup3, &TRadioGroup::Click, this, &TPlatform::RadioGroup3Click);
    TrackBar1->setRange(1, 1000);
    TrackBar1->setValue(1);
    connect(TrackBar1, &QSlider::valueChanged, this, &TPlatform::TrackBar1Change);
    connect(Button11, &QPushButton::clicked, this, [this] { SetTrackRefClick(1); });
    connect(Button12, &QPushButton::clicked, this, [this] { ClearTrackRefClick(1); });
    connect(Button13, &QPushButton::clicked, this, [this] { SetTrackRefClick(2); });
    connect(Button14, &QPushButton::clicked, this, [this] { ClearTrackRefClick(2); });
    connect(Button23, &QPushButton::clicked, this, [this] { SetLinkRefClick(1); });
    connect(Button24, &QPushButton::clicked, this, [this] { ClearLinkRefClick(1); });
    connect(Button25, &QPushButton::clicked, this, [this] { SetLinkRefClick(2); });
    connect(Button26, &QPushButton::clicked, this, [this] { ClearLinkRefClick(2); });
    connect(Button10, &QPushButton::clicked, this, &TPlatform::Button10Click);
}

void TPlatform::SyncUpDownTexts() {
    ShowRadiusTexts();
    EditTrackRadius->setText(QString::number(UpDown5->Position()));
    Edit42->setText(QString::number(UpDown7->Position()));
    Edit14->setText(QString::number(UpDown8->Position()));
    Edit22->setText(QString::number(UpDown6->Position()));
    Edit4->setText(QString::number(UpDown4->Position()));
}

// ---------------------------------------------------------------- reader and inserter

void TPlatform::ReaderSwitch() {
    MeasureState& s = State;
    const bool dshow = CheckBox7->isChecked();
    s.DirectShowSelected = dshow ? 1 : 0;
    CheckBox7->setText(dshow ? "DShow" : "VFW");
    if (!s.VideoOpened) return;
    // The reader given up keeps the video until the other one has opened it.
    if (!OpenVideoReader()) {
        s.DirectShowSelected = s.ReaderKind == 1 ? 1 : 0;
        ShowReaderChoice();
        return;
    }
    if (s.DirectShowSelected) DshowRunPause();
    ShowNeighbor();
}

void TPlatform::ShowReaderChoice() {
    const bool dshow = State.DirectShowSelected != 0;
    SetQuietly(CheckBox7, dshow);
    CheckBox7->setText(dshow ? "DShow" : "VFW");
}

void TPlatform::SelectReader(bool directShow) {
    State.DirectShowSelected = directShow ? 1 : 0;
    SetQuietly(CheckBox7, directShow);
    ReaderSwitch();
}

void TPlatform::ComboBox1Change(int item) {
    MeasureState& s = State;
    if (s.RecordingFlag || s.RunningFlag || item < 0 || item > 2) {
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->setCurrentIndex(s.TimeInserterType);
        return;
    }
    s.TimeInserterType = static_cast<uint8_t>(item);
    if (item == 1) {
        s.OverlayGridLocated = 0;
        s.TIViReading = 0;
        s.OverlayTimeReading = 0;
        overlay::CopyKiwiCharacterColumns(OverlayReader);
    } else {
        OverlayThreshold = item == 0 ? 80 : 100;
        if (s.VideoOpen) {
            s.OverlayGridLocated = 1;
            s.OverlayTimeReading = item == 0 ? 1 : 0;
            if (item == 2) s.TIViReading = 0;
        }
    }
    UpDown4->SetPosition(item == 0 ? 80 : 100);
    Edit4->setText(item == 0 ? "80" : "100");
    if (item == 0 && s.VideoOpen) {
        LocateIotaLine();
    } else if (item == 2 && s.VideoOpen) {
        Locator.GhsLocateEnabled = 1;
        LocateOverlayAt(374, 387);
        ShowNeighbor();
        ApplyDetectedFieldOrder();
    }
    ShowNeighbor();
}

void TPlatform::LocateIotaLine() {
    // After each locate of the grid the reading decides the field order anew.
    LocateOverlay();
    ApplyDetectedFieldOrder();
    ShowNeighbor();
    LocateOverlay();
    ApplyDetectedFieldOrder();
}

void TPlatform::CheckBox5Click() {
    MeasureState& s = State;
    const bool on = CheckBox5->isChecked();
    if (s.DirectionMode) return SetQuietly(CheckBox5, !on);
    const int threshold = s.TimeInserterType == 0 || (s.TimeInserterType == 1 && on) ? 80 : 100;
    UpDown4->SetPosition(threshold);
    OverlayThreshold = threshold;
    Edit4->setText(QString::number(UpDown4->Position()));
    if (!on) {
        for (QLineEdit* e : {Edit24, Edit25, Edit26, Edit27}) e->clear();
        s.Overlay.VtiFieldCount1.clear();
        s.Overlay.VtiFieldCount2.clear();
    }
    if (on && s.TimeInserterType == 0 && s.VideoOpen) {
        LocateOverlay();
        ApplyDetectedFieldOrder();
        // The first reading decides the order under the "Field Order" item it finds;
        // the decided fraction groups follow that item only when it matches, so the
        // order is applied once more after that reading.
        ShowNeighbor();
        ApplyDetectedFieldOrder();
    }
    if (on && s.TimeInserterType == 2 && s.VideoOpen) {
        s.RunningFlag = 0;
        s.OverlayGridLocated = 1;
        Locator.GhsLocateEnabled = 1;
        Locator.GhsSearchPending = 1;
        LocateOverlayAt(374, 387);
        ShowNeighbor();
        ApplyDetectedFieldOrder();
    }
    if (!s.RecordingFlag) {
        RunPauseIfDshow();
        ShowNeighbor();
    }
    Edit4->setText(QString::number(UpDown4->Position()));
}

// ---------------------------------------------------------------- background form

void TPlatform::BkgFormClick(int form) {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    if (s.DirectionMode || CheckBox1->isChecked()) {
        // Refused: the buttons go back to the object's form.
        const bool was = std::exchange(showingSettings_, true);
        QRadioButton* forms[3] = {RadioButton1, RadioButton2, RadioButton3};
        const uint8_t shape = s.FrameObject(k).BkgShape;
        forms[shape <= kShapeLimb ? shape : 0]->setChecked(true);
        showingSettings_ = was;
        return;
    }
    // "Meteor/Lunar Limb" needs a video to become the object's form.
    if (form != kShapeLimb || s.VideoOpen) s.ForAllLines(k, [&](DataLineObject& o) { o.BkgShape = static_cast<uint8_t>(form); });
    ChainRadiusLimits();
    RebuildMasks(k);
    UpDown6->setEnabled(form != kShapeRing);
    UpDown8->setEnabled(form != kShapeRing);
    if ((form == kShapeLimb || s.VideoOpen) && !s.RecordingFlag && !s.RunningFlag) ShowNeighbor();
    SyncUpDownTexts();
    RedrawThreeDView();
}

namespace {
// Which object field a gap or width click writes.
struct BandControl {
    int32_t DataLineObject::*field;
    PerObject<int32_t> MeasureState::*rectangle;
};
}  // namespace

static void BandClick(TPlatform& p, TUpDown* control, const BandControl& c) {
    MeasureState& s = p.State;
    const int k = s.CurrentObject;
    DataLineObject& o = s.FrameObject(k);
    const bool rectangle = o.BkgShape == kShapeRectangle;
    if (s.RecordingFlag || !s.VideoOpen || o.BkgShape == kShapeRing) {
        // Refused: the control goes back to what the object uses.
        control->SetPosition(rectangle ? (s.*c.rectangle)[k] : o.*c.field);
        return;
    }
    p.CheckBox1->setChecked(false);
    const int value = control->Position();
    if (rectangle) (s.*c.rectangle)[k] = value;
    else s.ForAllLines(k, [&](DataLineObject& line) { line.*c.field = value; });
    // The direction lines are rebuilt with the masks.
    p.ChainRadiusLimits();
    p.RebuildMasks(k);
    p.Photometry.RequestRectangleReference(k);
    p.RunPauseIfDshow();
    p.ShowNeighbor();
    p.SyncUpDownTexts();
    p.DrawPositionMarkers();
    p.RedrawThreeDView();
}

void TPlatform::UpDown6Click() { BandClick(*this, UpDown6, {&DataLineObject::BkgGap, &MeasureState::RectangleHeight}); }

void TPlatform::UpDown8Click() { BandClick(*this, UpDown8, {&DataLineObject::BkgWidth, &MeasureState::RectangleWidth}); }

void TPlatform::UpDown7Click() {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    if (s.RecordingFlag) {
        UpDown7->SetPosition(s.FrameObject(k).TrackThreshold);
        return;
    }
    CheckBox1->setChecked(false);
    Tracking.LostPercent[k] = UpDown7->Position();
    if (!s.RunningFlag) ShowNeighbor();
    Edit42->setText(QString::number(UpDown7->Position()));
    RedrawThreeDView();
}

void TPlatform::RectangleAperture1Click() {
    MeasureState& s = State;
    const bool on = RectangleAperture1->isChecked();
    if (!s.VideoOpen) return SetQuietly(RectangleAperture1, false);
    const int k = s.CurrentObject;
    QRadioButton* forms[3] = {RadioButton1, RadioButton2, RadioButton3};
    if (on) {
        StaticText10->setStyleSheet(kRectangleLabelStyle);
        Label2->setStyleSheet(kRectangleLabelStyle);
        Label2->setText("Height");
        SavedBkgWidth[k] = UpDown8->Position();
        SavedBkgGap[k] = UpDown6->Position();
        UpDown8->SetRange(1, 51);
        s.RectangleWidth[k] = 5;
        UpDown8->SetPosition(5);
        Edit14->setText("5");
        UpDown6->SetRange(1, 51);
        s.RectangleHeight[k] = 51;
        UpDown6->SetPosition(51);
        Edit22->setText("51");
        // The rectangle is sized with both, whatever the form before it allowed.
        if (!s.DirectionMode) {
            UpDown8->setEnabled(true);
            UpDown6->setEnabled(true);
        }
        for (QRadioButton* b : forms) b->setEnabled(false);
        SavedBkgShape[k] = s.FrameObject(k).BkgShape;
        SavedTrackMode[k] = s.FrameObject(k).TrackMode;
        s.ForAllLines(k, [](DataLineObject& o) {
            o.BkgShape = kShapeRectangle;
            o.TrackMode = kTrackOff;
        });
        s.RectangleAperture[k] = 1;
        RadioButton6->setChecked(true);
        Photometry.RequestRectangleReference(k);
        RebuildMasks(k);
        ShowNeighbor();
        return;
    }
    StaticText10->setStyleSheet(QString());
    Label2->setStyleSheet(QString());
    Label2->setText("Gap");
    UpDown8->SetRange(0, 25);
    UpDown8->SetPosition(SavedBkgWidth[k]);
    UpDown6->SetRange(0, 25);
    UpDown6->SetPosition(SavedBkgGap[k]);
    for (QRadioButton* b : forms) b->setEnabled(true);
    const uint8_t shape = static_cast<uint8_t>(SavedBkgShape[k] <= kShapeLimb ? SavedBkgShape[k] : 0);
    s.ForAllLines(k, [&](DataLineObject& o) {
        o.BkgShape = shape;
        o.TrackMode = SavedTrackMode[k];
        o.BkgWidth = UpDown8->Position();
        o.BkgGap = UpDown6->Position();
    });
    s.RectangleAperture[k] = 0;
    {
        const bool was = std::exchange(showingSettings_, true);
        QRadioButton* modes[4] = {RadioButton4, RadioButton5, RadioButton6, RadioButton14};
        modes[std::min<int>(SavedTrackMode[k], 3)]->setChecked(true);
        forms[shape]->setChecked(true);
        showingSettings_ = was;
    }
    // The saved form's own button, with its handler (not always "Meteor/Lunar Limb").
    BkgFormClick(shape);
    // The restored form's enabling, also when the form's handler was refused.
    if (!s.DirectionMode) {
        UpDown6->setEnabled(shape != kShapeRing);
        UpDown8->setEnabled(shape != kShapeRing);
    }
    ChainRadiusLimits();
    RebuildMasks(k);
    ShowNeighbor();
    SyncUpDownTexts();
}

// ---------------------------------------------------------------- direction setting

void TPlatform::SetDirectionControlsEnabled(bool on) {
    QWidget* controls[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6,
                           UpDown1,      UpDown2,      UpDown3,      UpDown4,      UpDown5,      UpDown6,
                           GroupBox15,   RadioGroup3,  Button8,      Button9,      Button12,     Button13,
                           Button14,     CheckBox1,    CheckBox2};
    static_assert(std::size(controls) == kDirectionLockedCount);
    if (!on) {
        for (size_t i = 0; i < std::size(controls); ++i) {
            directionLocked_[i] = controls[i]->isEnabled();
            controls[i]->setEnabled(false);
        }
        return;
    }
    // Each control gets back the state it had (placeholders without a handler stay off).
    for (size_t i = 0; i < std::size(controls); ++i) controls[i]->setEnabled(directionLocked_[i]);
}

void TPlatform::Button7Click() {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    if (s.RecordingFlag || s.RunningFlag || !s.VideoOpen || s.DirectionMode || s.FrameObject(k).BkgShape == kShapeRing ||
        CheckBox1->isChecked())
        return;
    // 1
    SetDirectionControlsEnabled(false);
    // 2
    ZoomBitmaps[0] = Bitmap24(kZoomSide, kZoomSide);
    ZoomBitmaps[1] = Bitmap24(kZoomSide, kZoomSide);
    // 3
    DirectionPsfSaved = CheckBox14->isChecked() ? 1 : 0;
    CheckBox14->setChecked(false);
    // 4
    Bitmap24 frame;
    std::string status;
    if (!FetchFrame(Position(), frame, status)) {
        ShowFetchError(status);
        if (s.ReaderKind == 1) {
            // Nothing to set a direction on: everything as it was before the button.
            SetDirectionControlsEnabled(true);
            CheckBox14->setChecked(DirectionPsfSaved != 0);
            ZoomBitmaps[0] = Bitmap24();
            ZoomBitmaps[1] = Bitmap24();
            return;
        }
    }
    // 5
    ZoomCentre[k] = {s.FrameObject(k).PosX, s.FrameObject(k).PosY};
    CopyZoomRegion(frame, ZoomCentre[k].x, ZoomCentre[k].y, ZoomBitmaps[0]);
    // 6
    s.DirectionMode = 1;
    ChainRadiusLimits();
    RebuildMasks(k);
    ShowNeighbor();
    SyncUpDownTexts();
}

void TPlatform::EndDirectionMode() {
    SetDirectionControlsEnabled(true);
    CheckBox14->setChecked(DirectionPsfSaved != 0);
}

void TPlatform::Image1MouseMove(int x, int y) {
    const bool inside = x >= 0 && x <= Image1->width() - 1 && y >= 0 && y <= Image1->height() - 1;
    Image1->setCursor(inside && PositionSetMode() == 3 ? Qt::CrossCursor : Qt::ArrowCursor);
    MeasureState& s = State;
    if (!s.DirectionMode) return;
    const int k = s.CurrentObject;
    s.SpinPoint[k] = {x - ZoomCentre[k].x, y - ZoomCentre[k].y};
    s.ForAllLines(k, [&](DataLineObject& o) {
        o.SpinX = s.SpinPoint[k].x;
        o.SpinY = s.SpinPoint[k].y;
    });
    RunPauseIfDshow();
    ShowNeighbor();
    DirectionPointer = {x, y};
}

// ---------------------------------------------------------------- field view, speed

void TPlatform::CheckBox1Click() {
    MeasureState& s = State;
    const bool on = CheckBox1->isChecked();
    if (on && (s.RecordingFlag || !s.VideoOpen || s.DirectionMode)) return SetQuietly(CheckBox1, false);
    QWidget* locked[] = {GroupBox15, RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6,
                         UpDown1,    UpDown2,      UpDown3,      UpDown6,      UpDown8,      UpDown5,      UpDown7,
                         CheckBox2};
    for (QWidget* w : locked) w->setEnabled(!on);
    FieldViewShown = on ? 1 : 0;
    ShowNeighbor();
}

// Qt double-buffers every widget, so "FrameFlickerFree" has nothing left to switch.
void TPlatform::RadioGroup3Click(int) {}

void TPlatform::TrackBar1Change(int position) {
    // Position 1 keeps the timer that fires as soon as the event loop is free.
    Timer1->setInterval(position <= 1 ? 0 : position);
}

// ---------------------------------------------------------------- reference frames

void TPlatform::ShowTrackRefLabels() {
    const auto& r = State.TrackRefPoints[State.CurrentObject];
    Edit40->setText(r[1].IsSet() ? QString::number(r[1].frame) : QString(kFrame1Caption));
    Edit41->setText(r[2].IsSet() ? QString::number(r[2].frame) : QString(kFrame2Caption));
}

void TPlatform::ShowLinkRefLabels() {
    const auto& r = State.LinkRefPoints[1];
    Edit11->setText(r[0].IsSet() ? QString::number(r[0].frame) : QString(kFrame1Caption));
    Edit32->setText(r[1].IsSet() ? QString::number(r[1].frame) : QString(kFrame2Caption));
}

void TPlatform::SetTrackRefClick(int which) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.RecordingFlag) return;
    const int k = s.CurrentObject;
    const DataLineObject& o = s.FrameObject(k);
    auto& r = s.TrackRefPoints[k];
    if (StoreReferencePoint(r[1], r[2], which, {Position(), o.PosX, o.PosY})) ShowTrackRefLabels();
}

void TPlatform::ClearTrackRefClick(int which) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.RecordingFlag) return;
    if (which == 1) {
        ClearTrackRefPoint1(s, s.CurrentObject);
        Edit40->setText(kFrame1Caption);
    } else {
        ClearTrackRefPoint2(s, s.CurrentObject);
        Edit41->setText(kFrame2Caption);
    }
}

void TPlatform::SetLinkRefClick(int which) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.RecordingFlag || s.ObjectCount < 2) return;
    for (int k = 1; k <= 3; ++k)
        s.LinkRefPoints[k][static_cast<size_t>(which - 1)] = {Position(), s.FrameObject(k).PosX, s.FrameObject(k).PosY};
    const FramePoint& b = s.LinkRefPoints[2][static_cast<size_t>(which - 1)];
    Edit15->setText(QString::number(b.x));
    Edit16->setText(QString::number(b.y));
    OrderLinkedPoints(s.LinkRefPoints);
    ShowLinkRefLabels();
}

void TPlatform::ClearLinkRefClick(int which) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.RecordingFlag || s.ObjectCount < 2) return;
    if (which == 1) {
        ClearLinkRefPoint1(s);
        Edit11->setText(kFrame1Caption);
    } else {
        ClearLinkRefPoint2(s);
        Edit32->setText(kFrame2Caption);
    }
}

void TPlatform::Button10Click() {
    for (int k = 1; k <= 2; ++k) {
        const PsfTemplateGrid& t = Psf.PsfTemplate[k];
        for (int dy = -25; dy <= 25; ++dy) {
            std::string line;
            for (int dx = -25; dx <= 25; ++dx) line += "  " + numtext::FormatFixed(t.at(dx, dy), 15, 2);
            Memo2Table.Append(std::move(line));
        }
    }
    Memo2->Refresh();
}

// ---------------------------------------------------------------- openers

// What follows "Measurement Option", whether its window was open already or not.
void TPlatform::AfterMeasurementOption() {
    MeasureState& s = State;
    CheckBox1->setChecked(false);
    ChainRadiusLimits();
    RebuildMasks(s.CurrentObject);
    ShowNeighbor();
    SyncUpDownTexts();
    DrawPositionMarkers();
    RedrawThreeDView();
}
