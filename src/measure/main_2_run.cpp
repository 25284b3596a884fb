// The main window: the timer loop, the per-frame pipeline and run control.
#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "measure/linked_tracking.h"
#include "measure/main_2.h"
#include "platform/dialogs.h"

namespace {
QString Q(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<int>(s.size())); }
}  // namespace

std::vector<int> TPlatform::ObjectOrder(int objectCount) {
    if (objectCount >= 3) return {2, 3, 1};
    if (objectCount == 2) return {2, 1};
    return {1};
}

void TPlatform::ConnectRunHandlers() {
    connect(Timer1, &QTimer::timeout, this, &TPlatform::Timer1Timer);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TPlatform::ScrollBar1Change);
    connect(SpeedButton1, &QToolButton::clicked, this, &TPlatform::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TPlatform::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TPlatform::SpeedButton3Click);
    connect(SpeedButton10, &QToolButton::clicked, this, &TPlatform::SpeedButton10Click);
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { StepBy(1); });
    connect(SpeedButton5, &QToolButton::clicked, this, [this] { StepBy(-1); });
    connect(SpeedButton6, &QToolButton::clicked, this, [this] { StepBy(State.VideoFrameRateInt); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { StepBy(-State.VideoFrameRateInt); });
    connect(SpeedButton8, &QToolButton::clicked, this, [this] { StepBy(10 * State.VideoFrameRateInt); });
    connect(SpeedButton9, &QToolButton::clicked, this, [this] { StepBy(-10 * State.VideoFrameRateInt); });
    connect(Button3, &QPushButton::clicked, this, &TPlatform::StartMeasurement);
    connect(Button4, &QPushButton::clicked, this, &TPlatform::StopMeasurement);
    connect(Button16, &QPushButton::clicked, this, &TPlatform::Button16Click);
    connect(Button21, &QPushButton::clicked, this, &TPlatform::Button21Click);
    connect(Button5, &QPushButton::clicked, this, &TPlatform::ClearMeasurementData);
    connect(Button1, &QPushButton::clicked, this, &TPlatform::Button1Click);
    connect(AVIRileOpen1, &QAction::triggered, this, &TPlatform::AVIRileOpen1Click);
}

void TPlatform::SetRadiusUpDownsEnabled(bool on) {
    for (TUpDown* u : {UpDown1, UpDown2, UpDown3}) u->setEnabled(on);
}

void TPlatform::SetFiveUpDownsEnabled(bool on) {
    for (TUpDown* u : {UpDown1, UpDown2, UpDown3, UpDown6, UpDown8}) u->setEnabled(on);
}

// ---------------------------------------------------------------- timer and scroll bar

void TPlatform::Timer1Timer() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode) return;
    const int next = Position() + s.FrameStep;
    if (s.ReverseFlag) {
        if (next >= 0) ScrollBar1->setValue(next);
        if (Position() < 1) s.RunningFlag = 0;
        if (Position() == 0) Timer1->stop();
    } else {
        if (next <= MaxPosition()) ScrollBar1->setValue(next);
        if (Position() >= MaxPosition()) s.RunningFlag = 0;
    }
}

void TPlatform::ScrollBar1Change(int position) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode) return;
    const int p = position;
    ShowNeighbor();
    if (p == 0 && s.ReverseFlag) {
        s.ReverseFlag = 0;
        s.FrameStep = std::abs(s.FrameStep);
    }
    if (p + s.FrameStep - 1 >= MaxPosition()) {
        s.RunningFlag = 0;
        Timer1->stop();
        if (s.RecordingFlag) StopMeasurement();
        for (TUpDown* u : {UpDown1, UpDown2, UpDown6, UpDown8}) u->setEnabled(true);
        if (!CheckBox14->isChecked()) Button40->setEnabled(true);
        CheckBox14->setEnabled(true);
        CheckBox7->setEnabled(true);
        if (CheckBox21->isChecked()) Memo1->EndUpdate();
        CheckBox21->setEnabled(true);
    } else if (p == ScrollBar1->minimum()) {
        CheckBox14->setEnabled(true);
    }
}

// ---------------------------------------------------------------- one frame

void TPlatform::ShowNeighbor() {
    if (!State.VideoOpen || inFrame_) return;
    inFrame_ = true;
    const DataLineSet saved = State.DataLines;
    if (CheckBox1->isChecked()) ProcessFieldView(Position());
    else ProcessFrame(Position());
    for (int k = 1; k <= 3; ++k) State.FrameObject(k).BkgShape = saved[0].Objects[k].BkgShape;
    inFrame_ = false;
}

void TPlatform::MeasureObject(int k, int n) {
    MeasureState& s = State;
    DataLineObject& f = s.FrameObject(k);
    const int x = f.StartX, y = f.StartY;
    if (s.DirectionMode && k == s.CurrentObject) RebuildMasks(k);
    ApertureOptions options;
    options.CurrentObject = s.CurrentObject;
    const ApertureReadouts r = StoreApertureValues(FrameBitmap, k, x, y, s.DataLines, Masks, Photometry, options);
    if (r.Current) {
        const std::pair<QLineEdit*, const std::string*> boxes[] = {
            {Edit20, &r.Edit20}, {Edit36, &r.Edit36}, {Edit37, &r.Edit37}, {Edit21, &r.Edit21}, {Edit38, &r.Edit38},
            {Edit39, &r.Edit39}, {Edit35, &r.Edit35}, {Edit9, &r.Edit9},   {Edit43, &r.Edit43}, {Edit44, &r.Edit44}};
        for (auto [box, text] : boxes) box->setText(Q(*text));
    }
    Edit23->setText(Q(r.Edit23));
    for (auto& line : s.DataLines) line.FrameNo10 = n * 10;
}

void TPlatform::ProcessFrame(int n) {
    MeasureState& s = State;
    const bool inRange = n >= 0 && n <= MaxPosition();
    fetchFailed_ = false;
    if (!inRange) {
        Image1->SetPictureSize(720, 579);
        QPainter(&Image1->Picture()).fillRect(0, 0, 720, 480, Qt::black);
        Image1->Changed();
    } else {
        if (!s.DirectionMode) {
            std::string status;
            if (!FetchFrame(n, FrameBitmap, status)) {
                fetchFailed_ = true;
                if (s.RecordingFlag) {
                    // No row is written for a frame that could not be read.
                    StopMeasurement();
                    SingleFrameRequest = false;
                    ShowFetchError(status);
                    return;
                }
                ShowFetchError(status);
            }
            if (Gamma.GammaMode == 2) ApplyGammaTable(FrameBitmap, Gamma.GammaTable);
            if (RadioGroup5->ItemIndex() > 0) GaussianFilterFrame(FrameBitmap, RadioGroup5->ItemIndex(), &FieldBitmap);
        }
        Edit10->setText(Q(ShowFrameNumber(n)));

        if (!FrameBitmap.Empty()) {
            for (int k : ObjectOrder(s.ObjectCount)) {
                try {
                    MeasureObject(k, n);
                } catch (const std::exception&) {
                    // A fault in one object's measurement still leaves the frame's row.
                }
            }
        }
        for (auto& line : s.DataLines) {
            line.FrameNo10 = n * 10;
            DataLineObject& o = line.Objects[s.CurrentObject];
            o.ApertureRadius = UpDown1->Position();
            o.BkgInnerRadius = UpDown2->Position();
            o.BkgOuterRadius = UpDown3->Position();
            o.BkgWidth = UpDown8->Position();
            o.BkgGap = UpDown6->Position();
            o.TrackThreshold = UpDown7->Position();
            o.SyncTracking = CheckBox3->isChecked() ? 1 : 0;
            o.SpinX = s.SpinPoint[s.CurrentObject].x;
            o.SpinY = s.SpinPoint[s.CurrentObject].y;
        }

        if (!s.DirectionMode && !FrameBitmap.Empty()) {
            if (CheckBox19->isChecked()) {
                for (int y = 0; y < FrameBitmap.Height(); ++y) {
                    uint8_t* p = FrameBitmap.Scanline(y);
                    for (int x = 0; x < FrameBitmap.Width(); ++x, p += 3)
                        if (p[0] % 10 == 0) {
                            p[0] = 0;
                            p[1] = 0xFF;
                            p[2] = 0xFF;
                        }
                }
            }
            Image1->SetPictureSize(std::max(720, FrameBitmap.Width()), std::max(579, FrameBitmap.Height()));
            Image1->Draw(0, 0, FrameBitmap.View());
        }

        if (s.RecordingFlag == 1) {
            AppendResultRows();
            s.LastMeasuredFrame = n;
            if (n == MaxPosition()) {
                s.RecordingFlag = 0;
                SetRadiusUpDownsEnabled(true);
            }
        }
    }
    if (SingleFrameRequest) {
        s.RecordingFlag = 0;
        SingleFrameRequest = false;
    }
    if (Position() >= MaxPosition()) {
        Timer1->stop();
        s.RecordingFlag = 0;
    }
}

void TPlatform::ProcessFieldView(int n) {
    MeasureState& s = State;
    Edit10->setText(Q(ShowFrameNumber(n)));
    if (n < 0 || n > MaxPosition()) return;
    if (s.RunningFlag && s.DirectShowSelected)
        s.FrameStep = s.ReverseFlag ? -UpDown9->Position() : UpDown9->Position();
    std::string status;
    if (!FetchFrame(n, FrameBitmap, status)) {
        ShowFetchError(status);
        if (s.DirectShowSelected) return;
    }
    if (FrameBitmap.Empty()) return;
    FieldBitmap.Resize(FrameBitmap.Width(), FrameBitmap.Height());
    const int h = FrameBitmap.Height() / 2;
    const size_t rowBytes = static_cast<size_t>(FrameBitmap.Width()) * 3;
    for (int i = 0; i < h; ++i) {
        std::copy_n(FrameBitmap.Scanline(2 * i), rowBytes, FieldBitmap.Scanline(i));
        std::copy_n(FrameBitmap.Scanline(2 * i + 1), rowBytes, FieldBitmap.Scanline(h + i));
    }
    Image1->SetPictureSize(std::max(720, FieldBitmap.Width()), std::max(579, FieldBitmap.Height()));
    Image1->Draw(0, 0, FieldBitmap.View());
}

// ---------------------------------------------------------------- run control

void TPlatform::SpeedButton1Click() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag || s.RunningFlag) return;
    s.RunningFlag = 1;
    CheckBox14->setEnabled(false);
    Button40->setEnabled(false);
    CheckBox7->setEnabled(false);
    if (Position() + UpDown9->Position() <= MaxPosition()) ShowNeighbor();
    s.ReverseFlag = 0;
    s.FrameStep = std::abs(s.FrameStep);
    Timer1->start();
}

void TPlatform::SpeedButton10Click() {
    MeasureState& s = State;
    // Backwards play would skip frames under a recording measurement: refused then.
    if (s.ReverseFlag || s.RecordingFlag || !s.VideoOpen) return;
    s.RunningFlag = 1;
    s.ReverseFlag = 1;
    s.FrameStep = -std::abs(s.FrameStep);
    if (UpDown9->Position() <= Position()) ShowNeighbor();
    Timer1->start();
}

void TPlatform::SpeedButton2Click() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag) return;
    s.RunningFlag = 0;
    CheckBox14->setEnabled(true);
    if (!CheckBox14->isChecked()) Button40->setEnabled(true);
    CheckBox7->setEnabled(true);
    s.ReverseFlag = 0;
    s.FrameStep = std::abs(s.FrameStep);
    s.RecordingFlag = 0;
    Timer1->stop();
    ShowNeighbor();
}

void TPlatform::SpeedButton3Click() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag || s.RunningFlag) return;
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    s.FrameStep = std::abs(s.FrameStep);
    Timer1->stop();
    ScrollBar1->setValue(0);
}

void TPlatform::StepBy(int delta) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag || s.RunningFlag) return;
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    const int target = Position() + delta;
    if (target < 0 || target > MaxPosition()) return;
    ScrollBar1->setValue(target);
}

void TPlatform::GoToFrame(int n) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag || s.RunningFlag) return;
    if (n < 0 || n > MaxPosition()) return;
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    ScrollBar1->setValue(n);
}

void TPlatform::StartMeasurement() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || CheckBox1->isChecked()) return;
    if (MaxPosition() == s.LastMeasuredFrame && s.LastMeasuredFrame == Position()) return;
    CheckBox2->setEnabled(false);
    CheckBox14->setEnabled(false);
    if (Position() + UpDown9->Position() <= MaxPosition()) ShowNeighbor();
    s.FrameStep = std::abs(s.FrameStep);
    s.RunningFlag = 1;
    s.ReverseFlag = 0;
    s.RecordingFlag = 1;
    SetFiveUpDownsEnabled(false);
    Button40->setEnabled(false);
    Add1->setEnabled(false);
    Remove1->setEnabled(false);
    CheckBox21->setEnabled(false);
    if (CheckBox21->isChecked()) Memo1->BeginUpdate();
    if (Position() != s.LastMeasuredFrame) ShowNeighbor();
    // The frame could not be read: the measurement has already stopped.
    if (!s.RecordingFlag) return;
    Timer1->start();
}

void TPlatform::StopMeasurement() {
    MeasureState& s = State;
    if (!s.VideoOpen || !s.RecordingFlag || s.DirectionMode || CheckBox1->isChecked()) return;
    s.RecordingFlag = 0;
    Timer1->stop();
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    SetFiveUpDownsEnabled(true);
    if (!CheckBox14->isChecked()) Button40->setEnabled(true);
    CheckBox14->setEnabled(true);
    CheckBox7->setEnabled(true);
    ScrollBar1->setEnabled(true);
    const bool last = s.CurrentObject == s.ObjectCount;
    Add1->setEnabled(s.ObjectCount < 3 && last);
    Remove1->setEnabled(s.ObjectCount > 1 && last);
    if (CheckBox21->isChecked()) Memo1->EndUpdate();
    CheckBox21->setEnabled(true);
}

void TPlatform::Button16Click() {
    MeasureState& s = State;
    if (s.RunningFlag || !s.VideoOpen || s.DirectionMode || CheckBox1->isChecked()) return;
    if (MaxPosition() == s.LastMeasuredFrame && s.LastMeasuredFrame == Position()) return;
    SetFiveUpDownsEnabled(false);
    CheckBox7->setEnabled(false);
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    s.RecordingFlag = 1;
    SingleFrameRequest = true;
    if (Position() != s.LastMeasuredFrame) ShowNeighbor();
    s.RecordingFlag = 0;
    SingleFrameRequest = false;
    ScrollBar1->setEnabled(true);
    SetFiveUpDownsEnabled(true);
    CheckBox7->setEnabled(true);
}

void TPlatform::Button21Click() {
    MeasureState& s = State;
    if (s.RunningFlag || !s.VideoOpen || s.DirectionMode || CheckBox1->isChecked()) return;
    if (MaxPosition() == s.LastMeasuredFrame && s.LastMeasuredFrame == Position()) return;
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    SetFiveUpDownsEnabled(false);
    s.RecordingFlag = 0;
    // Never into the header: at least one data row must be there to delete.
    const size_t least = static_cast<size_t>(DetectResultsFormat(Table).headerLines) + 1;
    const size_t rows = CheckBox2->isChecked() ? 2 : 1;
    if (Position() == s.LastMeasuredFrame && Table.Count() >= least + rows - 1) {
        for (size_t i = 0; i < rows; ++i) Table.Delete(Table.Count() - 1);
        Memo1->Refresh();
        s.LastMeasuredFrame -= 1;
        ScrollBar1->setValue(Position() - 1);
    }
    SingleFrameRequest = false;
    ScrollBar1->setEnabled(true);
    SetFiveUpDownsEnabled(true);
}

void TPlatform::ClearMeasurementData() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.RecordingFlag || s.RunningFlag || s.DirectionMode || CheckBox1->isChecked() ||
        s.GraphWindowOpen)
        return;
    SetRadiusUpDownsEnabled(true);
    if (!Dialogs().AskYesNo("Measurement data will be removed. Are you sure?")) return;
    CheckBox2->setEnabled(true);
    WriteResultsHeader();
    ShowNeighbor();
    s.LastMeasuredFrame = -1;
}
