// The main window: the timer loop, the per-frame pipeline and run control.
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cstdlib>

#include "measure/linked_tracking.h"
#include "measure/main_2_audio.h"
#include "platform/qt_text.h"
#include "graph/graph_view.h"
#include "measure/Profile.h"
#include "measure/main_2.h"
#include "measure/direction_search.h"
#include "measure/predict_track.h"
#include "video/avidshow.h"
#include "video/read_ahead.h"
#include "platform/dialogs.h"

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
    // Frames follow each other within one tick for up to a screen refresh, so that
    // the window is painted at most at screen rate; the picture of the last frame
    // is composed before the tick returns to the event loop.
    if (!ScreenRateDisplay()) return TimerStep();
    QElapsedTimer clock;
    clock.start();
    batching_ = true;
    for (;;) {
        const int before = Position();
        TimerStep();
        if (!Timer1->isActive() || !State.RunningFlag || Position() == before || clock.nsecsElapsed() >= RefreshNs())
            break;
    }
    batching_ = false;
    if (composePending_) ComposeFrame();
}

bool TPlatform::ScreenRateDisplay() { return video::FrameReadAhead::Enabled(); }

qint64 TPlatform::RefreshNs() const {
    const QScreen* screen = this->screen();
    const double hz = screen ? screen->refreshRate() : 0.0;
    return static_cast<qint64>(1e9 / (hz >= 24 && hz <= 500 ? hz : 60.0));
}

void TPlatform::TimerStep() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode) return;
    const int next = Position() + s.FrameStep;
    if (s.ReverseFlag) {
        if (next >= 0) ScrollBar1->setValue(next);
        if (Position() < 1) s.RunningFlag = 0;
        if (Position() == 0) Timer1->stop();
    } else {
        if (next <= MaxPosition()) {
            ScrollBar1->setValue(next);
        } else {
            // A run started closer to the end than one interval has no next frame:
            // it ends here instead of ticking on for ever.
            s.RunningFlag = 0;
            Timer1->stop();
            if (s.RecordingFlag) StopMeasurement();
        }
        if (Position() >= MaxPosition()) s.RunningFlag = 0;
    }
}

void TPlatform::ScrollBar1Change(int position) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode) return;
    const int p = position;
    AudioFrameChanged(*this);
    ShowNeighbor();
    if (p == 0 && s.ReverseFlag) {
        s.ReverseFlag = 0;
        s.FrameStep = std::abs(s.FrameStep);
    }
    RedrawThreeDView();
    if (p + s.FrameStep - 1 >= MaxPosition()) {
        s.RunningFlag = 0;
        Timer1->stop();
        if (s.RecordingFlag) StopMeasurement();
        for (TUpDown* u : {UpDown1, UpDown2, UpDown6, UpDown8}) u->setEnabled(true);
        if (!CheckBox14->isChecked()) Button40->setEnabled(true);
        CheckBox14->setEnabled(true);
        CheckBox7->setEnabled(true);
        if (Profile) Profile->Button6->setEnabled(true);
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

PsfOptions TPlatform::CurrentPsfOptions() const {
    PsfOptions o;
    o.FixedSigma = CheckBox9->isChecked();
    o.SaturationLimit = SaturationLimit;
    o.InitialPeak = InitialPeak;
    o.SmoothKernel = RadioGroup1->ItemIndex() < 0 ? 0 : RadioGroup1->ItemIndex();
    o.SigmaLowPercent = UpDown15->Position();
    o.SigmaHighPercent = UpDown16->Position();
    o.Gamma = &Gamma;
    return o;
}

TrackControls TPlatform::CurrentTrackControls() const {
    TrackControls c;
    c.GaussianKernel = RadioGroup1->ItemIndex() < 0 ? 0 : RadioGroup1->ItemIndex();
    c.TrackRadiusControl = UpDown5->Position();
    c.EstimatedTrack = CheckBox4->isChecked();
    c.AutoPassedPoints = CheckBox17->isChecked();
    c.Gamma = Gamma.GammaMode == kGammaMeasure ? &Gamma.GammaTable : nullptr;
    return c;
}

void TPlatform::SetObjectPosition(int k, IntPoint p, bool start, bool tracked) {
    State.ForAllLines(k, [&](DataLineObject& o) {
        if (start) {
            o.StartX = p.x;
            o.StartY = p.y;
        }
        if (tracked) {
            o.PosX = p.x;
            o.PosY = p.y;
        }
    });
}

IntPoint TPlatform::TrackOnce(int k, int n, int x, int y) {
    TrackOutcome out;
    if (CheckBox15->isChecked()) {
        out = TrackStarPsf(FrameBitmap, n, k, x, y, State, Masks, Tracking, Psf, CurrentTrackControls());
    } else {
        out = TrackStar(FrameBitmap, Masks.TrackMask[k], State.FrameObject(k), x, y, CurrentTrackControls().GaussianKernel);
    }
    if (out.show && k == State.CurrentObject) {
        Edit7->setText(QString::number(out.x));
        Edit8->setText(QString::number(out.y));
    }
    if (out.frame2Set) Edit41->setText(QString::number(n));
    return {out.x, out.y};
}

void TPlatform::FollowLinkedObjects(IntPoint bStart, IntPoint bTracked, int n) {
    MeasureState& s = State;
    const auto& bKeys = s.LinkRefPoints[2];
    IntPoint a, c;
    if (bKeys[0].frame < 0 || bKeys[1].frame < 0 || bKeys[0].frame == bKeys[1].frame) {
        const int dx = bTracked.x - bStart.x, dy = bTracked.y - bStart.y;
        a = {s.FrameObject(1).StartX + dx, s.FrameObject(1).StartY + dy};
        c = {s.FrameObject(3).StartX + dx, s.FrameObject(3).StartY + dy};
    } else {
        const double aspect = s.VideoFrameRate < 26 ? 1.0 : 1.125;
        const LinkedOffsets o = PredictLinkedOffsets(s.LinkRefPoints, n, CheckBox11->isChecked(), aspect);
        a = {bTracked.x + o.a.x, bTracked.y + o.a.y};
        c = {bTracked.x + o.c.x, bTracked.y + o.c.y};
    }
    SetObjectPosition(1, a, true, false);
    if (s.ObjectCount >= 3) SetObjectPosition(3, c, true, false);
}

void TPlatform::MeasureObject(int k, int n, bool learning) {
    MeasureState& s = State;
    const DataLineObject& f = s.FrameObject(k);
    IntPoint pos{f.StartX, f.StartY};
    const bool current = k == s.CurrentObject;

    if (learning && current) {
        Psf.ProfileLearning = 1;
        const ProfileCanvas canvas = GuideCanvas();
        const ProfileResult r = MeasureStarProfile(false, k, FrameBitmap, pos.x, pos.y, s, Masks, Psf, CurrentPsfOptions(), &canvas);
        GuideCanvasDrawn();
        Psf.ProfileLearning = 0;
        if (!r.failed) {
            const LearnedRadii radii = ApplyLearnedRadii(s, Masks, k, r.sigma, CheckBox3->isChecked());
            if (radii.applied) {
                UpDown3->SetRange(0, 25);
                UpDown2->SetRange(0, 25);
                UpDown1->SetRange(0, 25);
                UpDown5->SetPosition(s.FrameObject(k).TrackRadius);
                UpDown2->SetPosition(s.FrameObject(k).BkgInnerRadius);
                UpDown3->SetPosition(s.FrameObject(k).BkgOuterRadius);
                UpDown1->SetPosition(s.FrameObject(k).ApertureRadius);
                ChainRadiusLimits();
                ShowRadiusTexts();
            }
        }
    }
    if (AutoDirectionPending) {
        if (AutoDirectionEnabled) {
            auto source = [this](int32_t frame, Bitmap24& out) {
                std::string status;
                if (FetchFrame(frame, out, status)) return true;
                ShowFetchError(status);
                return false;
            };
            if (AutoDirectionOnPlace(s, Masks, k, pos.x, pos.y, n, source)) RebuildMasks(k);
        }
        AutoDirectionPending = 0;
    }

    const uint8_t mode = f.TrackMode;
    const bool linkedFollower = CheckBox6->isChecked() && k != 2 && s.ObjectCount >= 2;
    if (mode == kTrackOff || mode == kTrackCsv) {
        if (current) {
            Edit7->setText(QString::number(f.PosX));
            Edit8->setText(QString::number(f.PosY));
        }
    } else if (linkedFollower && s.FrameObject(2).TrackMode != kTrackDrift) {
        // B does not drift: A and C sit at their linked places without tracking.
        SetObjectPosition(k, pos, false, true);
    } else {
        const IntPoint bStart = pos;
        IntPoint t = TrackOnce(k, n, pos.x, pos.y);
        SetObjectPosition(k, t, false, true);
        const auto& ref = s.TrackRefPoints[k];
        if (PlacementRequest == k) {
            SetObjectPosition(k, t, true, true);
            PlacementRequest = 0;
        } else if (mode == kTrackDrift && ref[1].IsSet() && ref[2].IsSet()) {
            const IntPoint start = ref[1].frame == ref[2].frame
                                       ? t
                                       : PredictLinkedPosition(ref[1], ref[2], n, s.FrameWidth - 1, s.FrameHeight - 1);
            SetObjectPosition(k, start, true, false);
            SetObjectPosition(k, TrackOnce(k, n, start.x, start.y), false, true);
        } else if (mode == kTrackDrift) {
            SetObjectPosition(k, t, true, true);
            const int passes = BeingPlaced[k] ? 1 : 5;
            for (int i = 0; i < passes; ++i) {
                const IntPoint next = TrackOnce(k, n, t.x, t.y);
                const bool moved = next.x != t.x || next.y != t.y;
                t = next;
                SetObjectPosition(k, t, true, true);
                if (!moved) break;
            }
        }
        if (CheckBox6->isChecked() && k == 2) FollowLinkedObjects(bStart, {s.FrameObject(2).PosX, s.FrameObject(2).PosY}, n);
    }

    ReadThreeDPatch(k);
    if (s.DirectionMode && current) RebuildMasks(k);

    const int x = s.FrameObject(k).PosX, y = s.FrameObject(k).PosY;
    ApertureOptions options;
    options.CurrentObject = s.CurrentObject;
    options.ValuePanelShown = ValuePanelShown();
    const ApertureReadouts* r = nullptr;
    ApertureReadouts aperture;
    PsfReadouts psf;
    if (!CheckBox14->isChecked()) {
        aperture = StoreApertureValues(FrameBitmap, k, x, y, s.DataLines, Masks, Photometry, options);
        r = &aperture;
    } else {
        const ProfileCanvas canvas = GuideCanvas();
        psf = StorePsfValues(FrameBitmap, s.CurrentObject, k, x, y, s, Masks, Psf, CurrentPsfOptions(), Photometry, options,
                             &canvas);
        GuideCanvasDrawn();
        if (psf.Failed) r = &psf.Aperture;
    }
    if (r) {
        if (r->Current) {
            const std::pair<QLineEdit*, const std::string*> boxes[] = {
                {Edit20, &r->Edit20}, {Edit36, &r->Edit36}, {Edit37, &r->Edit37}, {Edit21, &r->Edit21},
                {Edit38, &r->Edit38}, {Edit39, &r->Edit39}, {Edit35, &r->Edit35}, {Edit9, &r->Edit9},
                {Edit43, &r->Edit43}, {Edit44, &r->Edit44}};
            for (auto [box, text] : boxes) box->setText(QStr(*text));
        }
        Edit23->setText(QStr(r->Edit23));
    } else {
        if (psf.Current) {
            for (QLineEdit* box : {Edit20, Edit21, Edit35, Edit36, Edit37, Edit38, Edit39}) box->clear();
            Edit9->setText(QStr(psf.Edit9));
        }
        Edit23->setText(QStr(psf.Edit23));
    }
    ShowValuePanel(r, psf.PanelCleared);
}

void TPlatform::ProcessFrame(int n) {
    MeasureState& s = State;
    const bool inRange = n >= 0 && n <= MaxPosition();
    fetchFailed_ = false;
    if (!inRange) {
        composePending_ = false;
        Image1->SetPictureSize(720, 579);
        QPainter(&Image1->Picture()).fillRect(0, 0, 720, 480, Qt::black);
        Image1->Changed();
    } else {
        if (!s.DirectionMode) {
            std::string status;
            // While the picture of the frame before waits to be composed, the
            // fetch goes beside it: a failure still shows that frame.
            const bool pending = composePending_;
            const bool fetched = FetchFrame(n, pending ? FetchBitmap : FrameBitmap, status);
            if (pending && fetched) {
                std::swap(FrameBitmap, FetchBitmap);
            } else if (pending) {
                ComposeFrame();
                // The DirectShow road clears the bitmap of a failed fetch, as in place.
                if (s.ReaderKind == 1 && !status.empty()) std::swap(FrameBitmap, FetchBitmap);
            }
            if (fetched) ReadAheadAfter(n);
            if (!fetched) {
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
        Edit10->setText(QStr(ShowFrameNumber(n)));

        const bool learning = Psf.ProfileLearning != 0;
        Psf.ProfileLearning = 0;
        if (!FrameBitmap.Empty()) {
            for (int k : ObjectOrder(s.ObjectCount)) {
                try {
                    MeasureObject(k, n, learning);
                } catch (const std::exception&) {
                    // A fault in one object's measurement still leaves the frame's row.
                }
            }
        }
        LocateOnTIViRequest(FrameBitmap);
        DetectSignals(FrameBitmap);
        AudioSignalOverride(*this);
        ReadFrameTime(FrameBitmap);
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

        if (!s.DirectionMode) Position1Show(s.CurrentObject);
        // Within a run's tick only the last frame is composed (by Timer1Timer).
        if (batching_) composePending_ = true;
        else ComposeFrame();

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

void TPlatform::ComposeFrame() {
    MeasureState& s = State;
    composePending_ = false;
    if (s.DirectionMode) {
        const int k = s.CurrentObject;
        DrawZoomView(k, ZoomCentre[k].x, ZoomCentre[k].y);
        return;
    }
    if (!FrameBitmap.Empty()) {
        DrawObjectOutlines();
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
    DrawPositionMarkers();
}

void TPlatform::ReadAheadAfter(int n) {
    const MeasureState& s = State;
    if (!s.RunningFlag || s.FrameStep == 0 || BitmapMode) return;
    if (s.ReaderKind == 1) DshowReadAhead(n + s.FrameStep, s.FrameStep);
    else if (VfwAvi1) VfwAvi1->ReadAhead(n + s.FrameStep, s.FrameStep);
}

void TPlatform::ProcessFieldView(int n) {
    MeasureState& s = State;
    Edit10->setText(QStr(ShowFrameNumber(n)));
    if (n < 0 || n > MaxPosition()) return;
    if (s.RunningFlag && s.ReaderKind == 1)
        s.FrameStep = s.ReverseFlag ? -UpDown9->Position() : UpDown9->Position();
    std::string status;
    if (!FetchFrame(n, FrameBitmap, status)) {
        ShowFetchError(status);
        if (s.ReaderKind == 1) return;
    } else {
        ReadAheadAfter(n);
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
    if (CheckBox5->isChecked()) ShowOverlayTime(FieldBitmap);
}

// ---------------------------------------------------------------- run control

void TPlatform::SpeedButton1Click() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag || s.RunningFlag) return;
    RunPauseIfDshow();
    s.RunningFlag = 1;
    CheckBox14->setEnabled(false);
    Button40->setEnabled(false);
    CheckBox7->setEnabled(false);
    if (Position() + UpDown9->Position() <= MaxPosition()) ShowNeighbor();
    s.ReverseFlag = 0;
    s.FrameStep = std::abs(s.FrameStep);
    if (s.CurrentObject == 1 && RadioButton5->isChecked() && CheckBox17->isChecked()) {
        ClearTrackRefPoint1(s, 1);
        ClearTrackRefPoint2(s, 1);
        Edit41->setText(kFrame2Caption);
        Edit40->setText(QStr(SetTrackRefPoint1(s, 1, Position())));
        Tracking.StarLostFlag = 0;
    }
    if (CheckBox4->isChecked())
        for (int k = 1; k <= 3; ++k) PredictTrackReset(Tracking.PredictTrack[k]);
    Timer1->start();
}

void TPlatform::SpeedButton10Click() {
    MeasureState& s = State;
    // Backwards play would skip frames under a recording measurement: refused then.
    if (s.ReverseFlag || s.RecordingFlag || !s.VideoOpen) return;
    RunPauseIfDshow();
    s.RunningFlag = 1;
    s.ReverseFlag = 1;
    s.FrameStep = -std::abs(s.FrameStep);
    if (UpDown9->Position() <= Position()) ShowNeighbor();
    Timer1->start();
}

void TPlatform::SpeedButton2Click() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag) return;
    RunPauseIfDshow();
    s.RunningFlag = 0;
    CheckBox14->setEnabled(true);
    if (!CheckBox14->isChecked()) Button40->setEnabled(true);
    CheckBox7->setEnabled(true);
    s.ReverseFlag = 0;
    s.FrameStep = std::abs(s.FrameStep);
    s.RecordingFlag = 0;
    Timer1->stop();
    ShowNeighbor();
    RedrawThreeDView();
    if (s.CurrentObject == 1 && RadioButton5->isChecked() && CheckBox17->isChecked()) {
        ClearTrackRefPoint1(s, 1);
        ClearTrackRefPoint2(s, 1);
        Edit40->setText(kFrame1Caption);
        Edit41->setText(kFrame2Caption);
    }
}

void TPlatform::SpeedButton3Click() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag || s.RunningFlag) return;
    RunPauseIfDshow();
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    s.FrameStep = std::abs(s.FrameStep);
    Timer1->stop();
    ScrollBar1->setValue(0);
    RedrawThreeDView();
    AudioFrameChanged(*this);
}

void TPlatform::StepBy(int delta) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag || s.RunningFlag) return;
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    const int target = Position() + delta;
    if (target < 0 || target > MaxPosition()) return;
    RunPauseIfDshow();
    ScrollBar1->setValue(target);
}

void TPlatform::GoToFrame(int n) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || s.RecordingFlag || s.RunningFlag) return;
    if (n < 0 || n > MaxPosition()) return;
    RunPauseIfDshow();
    s.RunningFlag = 0;
    s.ReverseFlag = 0;
    ScrollBar1->setValue(n);
}

void TPlatform::StartMeasurement() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.DirectionMode || CheckBox1->isChecked()) return;
    if (MaxPosition() == s.LastMeasuredFrame && s.LastMeasuredFrame == Position()) return;
    RunPauseIfDshow();
    CheckBox2->setEnabled(false);
    CheckBox14->setEnabled(false);
    if (CheckBox4->isChecked())
        for (int k = 1; k <= 3; ++k) PredictTrackReset(Tracking.PredictTrack[k]);
    if (Position() + UpDown9->Position() <= MaxPosition()) ShowNeighbor();
    s.FrameStep = std::abs(s.FrameStep);
    if (s.ReaderKind == 1 && Position() == s.LastMeasuredFrame && Position() + s.FrameStep <= MaxPosition()) {
        // The next frame must come before the run starts.
        Bitmap24 test;
        std::string status;
        DshowGetFrame(Position() + s.FrameStep, test, status);
        if (status != "S_OK") {
            Dialogs().ShowError("Fail to get a bitmap.\r\n" + status);
            return;
        }
    }
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
    RunPauseIfDshow();
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
    RunPauseIfDshow();
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
    RunPauseIfDshow();
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
    RunPauseIfDshow();
    SetRadiusUpDownsEnabled(true);
    if (!Dialogs().AskYesNo("Measurement data will be removed. Are you sure?")) return;
    CheckBox2->setEnabled(true);
    WriteResultsHeader();
    Graph.GraphResetPending = 1;
    ShowNeighbor();
    s.LastMeasuredFrame = -1;
}
