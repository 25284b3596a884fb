// The main window: creating, selecting, placing and removing the measured
// objects, their aperture and tracking controls, and what is drawn over the frame.
#include <QAction>
#include <QSignalBlocker>
#include <algorithm>

#include "measure/Profile.h"
#include "measure/main_2.h"

namespace {

constexpr uint32_t kSignal1Colour = 0xFF00FF;
constexpr uint32_t kSignal2Colour = 0x00FF00;
}  // namespace

void TPlatform::ConnectObjectHandlers() {
    connect(Add1, &QAction::triggered, this, &TPlatform::ObjectStarAdd);
    connect(SetPositiononly1, &QAction::triggered, this, &TPlatform::SetPositionOnly);
    connect(Remove1, &QAction::triggered, this, &TPlatform::RemoveObject);
    QRadioButton* objectButtons[3] = {RadioButton7, RadioButton8, RadioButton9};
    QAction* objectItems[3] = {Object11, Object21, Object31};
    for (int k = 1; k <= 3; ++k) {
        connect(objectButtons[k - 1], &QRadioButton::toggled, this, [this, k](bool on) {
            if (on && !showingSettings_) SelectObject(k);
        });
        connect(objectItems[k - 1], &QAction::triggered, this, [this, k] { SelectObject(k); });
    }
    connect(Image1, &TImage::MouseDown, this, &TPlatform::Image1MouseDown);
    connect(UpDown1, &TUpDown::Click, this, [this](bool) { UpDown1Click(); });
    connect(UpDown2, &TUpDown::Click, this, [this](bool) { UpDown2Click(); });
    connect(UpDown3, &TUpDown::Click, this, [this](bool) { UpDown3Click(); });
    connect(UpDown5, &TUpDown::Click, this, [this](bool) { UpDown5Click(); });
    connect(RadioGroup2, &TRadioGroup::Click, this, [this](int) {
        if (!State.RunningFlag) ShowNeighbor();
    });
    QRadioButton* modeButtons[4] = {RadioButton4, RadioButton5, RadioButton6, RadioButton14};
    for (int mode = 0; mode < 4; ++mode) {
        connect(modeButtons[mode], &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on && !showingSettings_) TrackModeClick(mode);
        });
    }
}

int TPlatform::PositionSetMode() const {
    if (RadioButton11->isChecked()) return 1;
    if (RadioButton12->isChecked()) return 2;
    if (RadioButton13->isChecked()) return 3;
    return 0;
}

// ---------------------------------------------------------------- objects

void TPlatform::CheckObjectRadio(int k) {
    QRadioButton* buttons[3] = {RadioButton7, RadioButton8, RadioButton9};
    const bool was = showingSettings_;
    showingSettings_ = true;
    buttons[std::clamp(k, 1, 3) - 1]->setChecked(true);
    showingSettings_ = was;
}

void TPlatform::ShowObjectMenu() {
    const int n = State.ObjectCount;
    RadioButton8->setVisible(true);
    RadioButton9->setVisible(true);
    RadioButton8->setEnabled(n >= 2);
    RadioButton9->setEnabled(n >= 3);
    Object11->setEnabled(n >= 2);
    Object21->setEnabled(n >= 2);
    Object31->setEnabled(n >= 3);
}

void TPlatform::ObjectStarAdd() {
    MeasureState& s = State;
    if (s.RecordingFlag || !s.VideoOpen || s.DirectionMode || s.ObjectCount >= 3) return;
    // 1
    const DataLineSet copy = s.DataLines;
    s.ObjectCount += 1;
    s.CurrentObject = s.ObjectCount;
    const int k = s.CurrentObject;
    // 2
    const IntPoint click = s.ClickPosition;
    s.ForAllLines(k, [&](DataLineObject& o) {
        o.PosX = o.StartX = click.x;
        o.PosY = o.StartY = click.y;
    });
    // 3
    if (k == 2) {
        s.FrameObject(2).TrackThreshold = UpDown7->Position();
        Tracking.LostPercent[2] = UpDown7->Position();
    }
    ShowObjectMenu();
    CheckObjectRadio(k);
    // 4
    Remove1->setEnabled(true);
    Add1->setEnabled(s.ObjectCount < 3);
    ShowObjectSettings();
    RebuildMasks(k);
    BuildTrackMask(Masks, k, s.FrameObject(k).TrackRadius);
    Psf.ProfileLearning = 1;
    PlacementRequest = k;
    SetStarsPosition(click.x, click.y);
    // 5
    for (int j = 1; j <= 3; ++j) {
        const uint8_t shape = copy[0].Objects[j].BkgShape;
        s.ForAllLines(j, [&](DataLineObject& o) { o.BkgShape = shape; });
    }
}

void TPlatform::SetPositionOnly() {
    MeasureState& s = State;
    if (!s.VideoOpen || s.RecordingFlag) return;
    DataLineObject& o = s.FrameObject(s.CurrentObject);
    o.StartX = o.PosX = s.ClickPosition.x;
    o.StartY = o.PosY = s.ClickPosition.y;
    ShowNeighbor();
}

void TPlatform::RemoveObject() {
    MeasureState& s = State;
    if (s.RecordingFlag || !s.VideoOpen || s.DirectionMode || s.CurrentObject == 1) return;
    const int removed = s.CurrentObject;
    // Object C's whole state moves into B's place when B goes and C stays, so
    // the new B measures as C did: records, masks' inputs, PSF, references.
    if (removed == 2 && s.ObjectCount == 3) {
        for (auto& line : s.DataLines) line.Objects[2] = line.Objects[3];
        s.SpinPoint[2] = s.SpinPoint[3];
        s.PsfSigma[2] = s.PsfSigma[3];
        s.TrackRefPoints[2] = s.TrackRefPoints[3];
        s.LinkRefPoints[2] = s.LinkRefPoints[3];
        s.RectangleAperture[2] = s.RectangleAperture[3];
        s.RectangleWidth[2] = s.RectangleWidth[3];
        s.RectangleHeight[2] = s.RectangleHeight[3];
        Psf.PsfTemplate[2] = Psf.PsfTemplate[3];
        Psf.ReferenceFlux[2] = Psf.ReferenceFlux[3];
        Tracking.LostPercent[2] = Tracking.LostPercent[3];
        Tracking.PredictTrack[2] = Tracking.PredictTrack[3];
        Photometry.RectangleReference[2] = Photometry.RectangleReference[3];
        Photometry.RectangleReferencePending[2] = Photometry.RectangleReferencePending[3];
        Placed[2] = Placed[3];
        ZoomCentre[2] = ZoomCentre[3];
    }
    // The slot that is given up starts again from the start-up state.
    const int freed = s.ObjectCount == 3 ? 3 : removed;
    for (int i = 0; i < 3; ++i) s.DataLines[static_cast<size_t>(i)].Objects[freed] = s.DataLinesDefault[static_cast<size_t>(i)].Objects[freed];
    s.SpinPoint[freed] = {0, -100};
    s.PsfSigma[freed] = 5.0;
    s.TrackRefPoints[freed] = {};
    s.LinkRefPoints[freed] = {};
    s.RectangleAperture[freed] = 0;
    s.RectangleWidth[freed] = s.DataLinesDefault[0].Objects[freed].BkgWidth;
    s.RectangleHeight[freed] = s.DataLinesDefault[0].Objects[freed].BkgGap;
    Psf.PsfTemplate[freed] = PsfTemplateGrid{};
    Psf.ReferenceFlux[freed] = 0;
    Tracking.LostPercent[freed] = 20;
    Tracking.PredictTrack[freed] = PredictTrackRecord{};
    Photometry.RectangleReference[freed] = RectangleReferenceSet{};
    Photometry.RectangleReferencePending[freed] = 0;
    Placed[freed] = 0;
    BeingPlaced[freed] = 0;
    ZoomCentre[freed] = {};

    s.ObjectCount -= 1;
    s.CurrentObject = s.ObjectCount;
    for (int k = 2; k <= 3; ++k) {
        RebuildMasks(k);
        BuildTrackMask(Masks, k, s.FrameObject(k).TrackRadius);
    }
    ShowObjectMenu();
    CheckObjectRadio(s.CurrentObject);
    if (s.ObjectCount < 2) {
        CheckBox6->setChecked(false);
        UpdateLinkControls();
    }
    Add1->setEnabled(s.ObjectCount < 3);
    Remove1->setEnabled(s.ObjectCount > 1);
    ShowObjectSettings();
    RebuildMasks(s.CurrentObject);
    ShowNeighbor();
}

void TPlatform::ShowObjectSettings() {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    const DataLineObject o = s.FrameObject(k);
    const bool was = showingSettings_;
    showingSettings_ = true;
    UpDown1->SetRange(0, 23);
    UpDown2->SetRange(1, 24);
    UpDown3->SetRange(2, 25);
    UpDown3->SetPosition(o.BkgOuterRadius);
    UpDown2->SetPosition(o.BkgInnerRadius);
    UpDown1->SetPosition(o.ApertureRadius);
    ChainRadiusLimits();
    switch (o.BkgShape) {
        case kShapeSunlitFace: RadioButton2->setChecked(true); break;
        case kShapeLimb: RadioButton3->setChecked(true); break;
        default: RadioButton1->setChecked(true); break;
    }
    RectangleAperture1->setChecked(o.BkgShape == kShapeRectangle);
    // The form buttons were set without their handlers, so the gap and width
    // take this object's form here, not the previous object's.
    if (!s.DirectionMode) {
        UpDown6->setEnabled(o.BkgShape != kShapeRing);
        UpDown8->setEnabled(o.BkgShape != kShapeRing);
    }
    UpDown8->SetPosition(o.BkgWidth);
    UpDown6->SetPosition(o.BkgGap);
    UpDown5->SetPosition(o.TrackRadius);
    UpDown7->SetPosition(o.TrackThreshold);
    CheckBox3->setChecked(o.SyncTracking != 0);
    QRadioButton* modes[4] = {RadioButton4, RadioButton5, RadioButton6, RadioButton14};
    modes[std::min<int>(o.TrackMode, 3)]->setChecked(true);
    const bool estimatedAllowed = o.TrackMode == kTrackDrift && CheckBox15->isChecked();
    CheckBox4->setEnabled(estimatedAllowed);
    CheckBox4->setChecked(estimatedAllowed && o.EstimatedTrack != 0);
    if (o.TrackMode != kTrackDrift) {
        ClearTrackRefPoint1(s, k);
        ClearTrackRefPoint2(s, k);
        Edit40->setText(kFrame1Caption);
        Edit41->setText(kFrame2Caption);
    }
    Edit40->setEnabled(o.TrackMode == kTrackDrift);
    Edit41->setEnabled(o.TrackMode == kTrackDrift);
    ShowRadiusTexts();
    showingSettings_ = was;
}

void TPlatform::TakeControlsIntoCurrentObject() {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    QRadioButton* modes[4] = {RadioButton4, RadioButton5, RadioButton6, RadioButton14};
    const auto mode = std::find_if(modes, modes + 4, [](QRadioButton* b) { return b->isChecked(); }) - modes;
    s.ForAllLines(k, [&](DataLineObject& o) {
        o.ApertureRadius = UpDown1->Position();
        o.BkgInnerRadius = UpDown2->Position();
        o.BkgOuterRadius = UpDown3->Position();
        o.BkgWidth = UpDown8->Position();
        o.BkgGap = UpDown6->Position();
        if (mode < 4) o.TrackMode = static_cast<uint8_t>(mode);
        o.TrackRadius = UpDown5->Position();
        o.TrackThreshold = UpDown7->Position();
        o.SyncTracking = CheckBox3->isChecked() ? 1 : 0;
    });
    RebuildMasks(k);
    BuildTrackMask(Masks, k, UpDown5->Position());
}

void TPlatform::SelectObject(int k) {
    MeasureState& s = State;
    if (s.RecordingFlag || !s.VideoOpen || s.DirectionMode || k == s.CurrentObject || k < 1 || k > s.ObjectCount) {
        // A refused choice leaves the radio buttons on the current object.
        CheckObjectRadio(s.CurrentObject);
        return;
    }
    s.CurrentObject = k;
    CheckObjectRadio(k);
    ShowObjectSettings();
    const DataLineObject& o = s.FrameObject(k);
    s.SpinPoint[k] = {o.SpinX, o.SpinY};
    ChainRadiusLimits();
    RebuildMasks(k);
    if (!s.RunningFlag) ShowNeighbor();
    RedrawThreeDView();
    const bool last = k == s.ObjectCount;
    Add1->setEnabled(last && s.ObjectCount < 3);
    Remove1->setEnabled(last && k > 1);
    RedrawGraph();
}

// ---------------------------------------------------------------- clicks on the frame

void TPlatform::Image1MouseDown(Qt::MouseButton button, int x, int y) {
    MeasureState& s = State;
    if (!s.VideoOpen || s.RecordingFlag) return;
    // Every click position is kept inside the frame: nothing later reads or
    // draws beyond it on the strength of a click in the empty canvas.
    x = std::clamp(x, 0, std::max(0, s.FrameWidth - 1));
    y = std::clamp(y, 0, std::max(0, s.FrameHeight - 1));
    if (button == Qt::RightButton || button == Qt::MiddleButton) {
        s.ClickPosition = {x, y};
        if (button == Qt::RightButton) PopupMenu1->popup(Image1->mapToGlobal(QPoint(x, y)));
        return;
    }
    if (button != Qt::LeftButton) return;
    if (s.DirectionMode) {
        // The mask and its direction lines follow the spin point that was set.
        RebuildMasks(s.CurrentObject);
        s.DirectionMode = 0;
        EndDirectionMode();
        ShowNeighbor();
        return;
    }
    if (CheckBox1->isChecked()) return;
    switch (PositionSetMode()) {
        case 0:
            SetStarsPosition(x, y);
            for (int k = 1; k <= 3; ++k) s.RectangleAperture[k] = 0;
            break;
        case 1:
            s.Signal1Position = {x, y};
            ShowNeighbor();
            break;
        case 2:
            s.Signal2Position = {x, y};
            ShowNeighbor();
            break;
        default:
            TIViMarkerPoint = {x, y};
            if (CheckBox5->isChecked()) {
                if (y <= 577 && s.TimeInserterType != 2) TIViMarkerPoint.y = y + 2;
                s.OverlayTimeReading = 1;
                if (s.TimeInserterType == 2) PlaceGhsOverlay(x, y);
            } else {
                s.TIViReading = 1;
            }
            if (CheckBox5->isChecked() && s.TimeInserterType == 2) {
                // The GHS-OSD line is located from the cell under the click, not by boxes.
                ShowNeighbor();
                ApplyDetectedFieldOrder();
                RadioButton10->setChecked(true);
                break;
            }
            TIViMarkerPlaced = 1;
            TIViLocateRequest = 1;
            ShowNeighbor();
            TIViLocateRequest = 0;
            break;
    }
    DrawPositionMarkers();
}

void TPlatform::SetStarsPosition(int x, int y) {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    const bool linkSaved = CheckBox6->isChecked();
    CheckBox6->setChecked(false);
    UpdateLinkControls();
    BeingPlaced[k] = 1;
    {
        DataLineObject& o = s.FrameObject(k);
        o.PosX = o.StartX = x;
        o.PosY = o.StartY = y;
    }
    if (s.FrameObject(k).BkgShape == kShapeRectangle) {
        Photometry.RequestRectangleReference(k);
        ShowNeighbor();
    } else {
        // 1: a small aperture and a tight tracking disc while the object settles.
        RebuildMasks(k);
        const int thresholdSaved = UpDown7->Position();
        UpDown7->SetPosition(95);
        UpDown1->SetRange(0, 7);
        UpDown1->SetPosition(6);
        UpDown2->SetRange(7, 25);
        UpDown2->SetPosition(8);
        UpDown3->SetRange(7, 25);
        if (UpDown3->Position() < UpDown2->Position()) {
            UpDown3->SetPosition(UpDown2->Position());
            UpDown2->SetMax(UpDown2->Position());
        }
        s.ForAllLines(k, [&](DataLineObject& o) {
            o.ApertureRadius = UpDown1->Position();
            o.BkgInnerRadius = UpDown2->Position();
            o.BkgOuterRadius = UpDown3->Position();
        });
        RebuildMasks(k);
        if (UpDown5->Position() > 4) UpDown5->SetPosition(4);
        BuildTrackMask(Masks, k, UpDown5->Position());
        s.ForAllLines(k, [&](DataLineObject& o) { o.TrackRadius = UpDown5->Position(); });

        // 2: settle on the star with the centroid tracker.
        const bool psfTrackingSaved = CheckBox15->isChecked();
        CheckBox15->setChecked(false);
        const uint8_t modeSaved = s.FrameObject(k).TrackMode;
        const int32_t radiusSaved = s.FrameObject(k).TrackRadius;
        s.FrameObject(k).TrackMode = RadioButton4->isChecked() || RadioButton6->isChecked() ? kTrackAnchor : kTrackDrift;
        s.FrameObject(k).TrackRadius = 6;
        for (int i = 0; i < 3; ++i) {
            PlacementRequest = k;
            ShowNeighbor();
        }
        PlacementRequest = 0;
        s.FrameObject(k).TrackRadius = radiusSaved;
        s.FrameObject(k).TrackMode = modeSaved;

        // 3: five fits on this frame; the best one's width goes first.
        for (int i = 0; i < 5; ++i) {
            Psf.ProfileLearning = 1;
            Psf.LearningIndex = i;
            ShowNeighbor();
        }
        double best = 1e7;
        for (size_t i = 0; i < std::min<size_t>(5, Psf.LearningRecords.size()); ++i) {
            if (Psf.LearningRecords[i].rms < best) {
                best = Psf.LearningRecords[i].rms;
                Psf.LearningRecords[0].sigma = Psf.LearningRecords[i].sigma;
            }
        }
        CheckBox15->setChecked(psfTrackingSaved);

        // 4: one fit per frame over the next frames; their mean width is the object's.
        const int start = Position();
        const int frames = UpDown14->Position() + 1;
        Psf.LearningRecords.clear();
        double sum = 0;
        int written = 0;
        for (int i = 0; i < frames && start + i <= MaxPosition(); ++i) {
            {
                const QSignalBlocker block(ScrollBar1);
                ScrollBar1->setValue(start + i);
            }
            Psf.ProfileLearning = 1;
            Psf.LearningIndex = i;
            ShowNeighbor();
            if (Psf.LearningRecords.size() > static_cast<size_t>(i)) {
                sum += Psf.LearningRecords[static_cast<size_t>(i)].sigma;
                ++written;
            }
        }
        {
            const QSignalBlocker block(ScrollBar1);
            ScrollBar1->setValue(start);
        }
        if (written > 0) s.PsfSigma[k] = sum / written;
        Psf.ProfileLearning = 0;
        Psf.LearningIndex = 0;

        // 5
        if (s.FrameObject(k).BkgShape == kShapeLimb) {
            AutoDirectionPending = 1;
            ShowNeighbor();
        }

        // 6
        s.FrameObject(k).TrackMode = modeSaved;
        UpDown7->SetPosition(thresholdSaved);
        s.ForAllLines(k, [&](DataLineObject& o) { o.TrackThreshold = thresholdSaved; });
        CheckBox15->setChecked(psfTrackingSaved);
        if (UpDown5->Position() < 4) UpDown5->SetPosition(4);
        BuildTrackMask(Masks, k, UpDown5->Position());
        s.ForAllLines(k, [&](DataLineObject& o) { o.TrackRadius = UpDown5->Position(); });
    }
    // Common end: the frame shown again at its own position, with the markers.
    // Under PSF photometry the operation guide shows the fit of the placed star.
    if (CheckBox14->isChecked()) {
        // Shown without the button's own redraw: the frame is shown below, with the
        // placement request.
        if (!GuideOpen) OpenWindow("Button32", false);
        PlacementRequest = k;
        Psf.ProfileLearning = 1;
    }
    ShowNeighbor();
    PlacementRequest = 0;
    Psf.ProfileLearning = 0;
    RedrawThreeDView();
    BeingPlaced[k] = 0;
    Placed[k] = 1;
    CheckBox6->setChecked(linkSaved);
    if (linkSaved) UpdateLinkControls();
    CheckBox6->setEnabled(s.ObjectCount >= 2 && s.FrameObject(2).TrackMode == kTrackDrift);
    GuidePlacementFlag = 1;
    if (Profile) {
        Profile->Button2->setEnabled(s.ObjectCount == 3);
        Profile->Button1->setEnabled(s.ObjectCount == 2);
        // The comparison star can be added as soon as the base star exists.
        if (s.ObjectCount >= 2) Profile->RadioButton3->setEnabled(true);
        // The analyzer can be linked once the base star has been placed.
        if (Placed[2]) Profile->CheckBox1->setEnabled(true);
    }
    if (EasyClick) ApplyOccultationPreset();
}

// ---------------------------------------------------------------- aperture and tracking controls

void TPlatform::RadiusChanged(TUpDown* control, int32_t DataLineObject::*field) {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    if (s.RecordingFlag) {
        // Refused: the control goes back to the object's radius.
        control->SetPosition(s.FrameObject(k).*field);
        return;
    }
    CheckBox1->setChecked(false);
    const int value = control->Position();
    s.ForAllLines(k, [&](DataLineObject& o) { o.*field = value; });
    ChainRadiusLimits();
    RebuildMasks(k);
    if (!s.RunningFlag) {
        RunPauseIfDshow();
        ShowNeighbor();
    }
    ShowRadiusTexts();
    RedrawThreeDView();
}

void TPlatform::UpDown1Click() {
    RadiusChanged(UpDown1, &DataLineObject::ApertureRadius);
    if (State.RecordingFlag || !CheckBox3->isChecked() || UpDown1->Position() > UpDown5->Max()) return;
    // The tracking disc follows the aperture: the same as choosing that radius.
    UpDown5->SetPosition(UpDown1->Position());
    UpDown5Click();
}

void TPlatform::UpDown2Click() { RadiusChanged(UpDown2, &DataLineObject::BkgInnerRadius); }

void TPlatform::UpDown3Click() { RadiusChanged(UpDown3, &DataLineObject::BkgOuterRadius); }

void TPlatform::UpDown5Click() {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    const int r = UpDown5->Position();
    s.ForAllLines(k, [&](DataLineObject& o) { o.TrackRadius = r; });
    BuildTrackMask(Masks, k, r);
    if (!s.RunningFlag && !s.RecordingFlag) ShowNeighbor();
}

void TPlatform::TrackModeClick(int mode) {
    MeasureState& s = State;
    const bool estimatedAllowed = RadioButton5->isChecked() && CheckBox15->isChecked();
    if (!estimatedAllowed) CheckBox4->setChecked(false);
    CheckBox4->setEnabled(estimatedAllowed);
    const int k = s.CurrentObject;
    if (s.RecordingFlag || !s.VideoOpen || s.DirectionMode || s.FrameObject(k).TrackMode == mode) return;
    s.ForAllLines(k, [&](DataLineObject& o) { o.TrackMode = static_cast<uint8_t>(mode); });
    RunPauseIfDshow();
    ShowNeighbor();
    RedrawThreeDView();
    Edit40->setEnabled(mode == kTrackDrift);
    Edit41->setEnabled(mode == kTrackDrift);
    if (k == 2) UpdateLinkControls();
}

void TPlatform::UpdateLinkControls() {
    CheckBox11->setEnabled(CheckBox6->isChecked() && State.ObjectCount >= 3);
}

// ---------------------------------------------------------------- drawing

void TPlatform::DrawObjectOutlines() {
    const MeasureState& s = State;
    for (int k = s.ObjectCount; k >= 1; --k) {
        const DataLineObject& o = s.FrameObject(k);
        const OutlineColours c = OutlineColoursFor(k, k == s.CurrentObject, o.BkgShape == kShapeRectangle,
                                                   MeasurementRegionDisplay, s.DirectionMode != 0);
        DrawMaskOutlines(FrameBitmap, Masks.ApertureMask[k], o.PosX, o.PosY, c);
    }
}

void TPlatform::DrawZoomView(int k, int x, int y) {
    if (ZoomBitmaps[0].Empty()) return;
    ZoomBitmaps[1] = ZoomBitmaps[0];
    DrawDirectionLine(ZoomBitmaps[1], State.SpinPoint[k]);
    DrawZoomOutlines(ZoomBitmaps[1], Masks.ApertureMask[k], State.DirectionMode != 0);
    DrawZoomOnto(Image1->Picture(), ZoomBitmaps[1], PlaceZoomView(State.FrameWidth, State.FrameHeight, x, y));
    Image1->Changed();
}

void TPlatform::DrawPositionMarkers() {
    if (State.SignalBoxesEnabled) {
        DrawSignalMarker(Image1->Picture(), State.Signal1Position, kSignal1Colour);
        DrawSignalMarker(Image1->Picture(), State.Signal2Position, kSignal2Colour);
    }
    DrawSignalAndTIViMarkers();
    Image1->Changed();
}

void TPlatform::Position1Show(int k) {
    Edit12->setText(QString::number(State.FrameObject(k).StartX));
    Edit13->setText(QString::number(State.FrameObject(k).StartY));
}
