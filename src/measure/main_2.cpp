#include "measure/main_2.h"
#include "measure/main_2_audio.h"
#include "platform/qt_text.h"

#include <QCloseEvent>
#include <QMenu>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include "graph/fresnel.h"
#include "graph/graph_view.h"
#include "imagefile/loader_dialogs.h"
#include "measure/preserveset.h"
#include "platform/dialogs.h"
#include "video/avidshow.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "web/software_update.h"

TPlatform* Platform = nullptr;

namespace {
std::string Caption() {
    return std::string("Light Measurement tool for Occultation bservation using Video Recorder [Tevorin ") +
           web::kRunningVersion + "]";
}
const char* kCsvFilter = "CSV files (*.csv);;All files (*)";

}  // namespace

TPlatform::TPlatform(QWidget* parent) : QMainWindow(parent) {
    setupUi(this);
    Platform = this;
    Timer1 = new QTimer(this);
    // The next frame as soon as the event loop is free. (A 1 ms interval would add
    // 1 ms of idle time per frame: an overdue Qt timer restarts its interval when
    // its tick returns.)
    Timer1->setInterval(0);
    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(Add1);
    PopupMenu1->addAction(SetPositiononly1);
    PopupMenu1->addAction(Remove1);
    SetDialogParent(this);
    imagefile::InstallImageLoaderDialogs();
    // A modal box must not let the timer tick underneath it.
    // Boxes shown over a modal window nest: the timer resumes when the last closes.
    Dialogs().modalHook = [this](bool shown) {
        if (shown) {
            if (modalDepth_++ == 0) timerWasActive_ = Timer1->isActive();
            Timer1->stop();
        } else if (modalDepth_ > 0 && --modalDepth_ == 0 && timerWasActive_) {
            Timer1->start();
        }
    };
    VfwAvi1 = std::make_unique<TVfwAvi>();
    DshowVideoSink = [this](const QImage& frame) { Image1->Draw(0, 0, frame); };
    DshowClearMemo2 = [this] {
        Memo2Table.Clear();
        Memo2->Refresh();
    };
    SetupControls();
    SetupScrolling();
    ConnectHandlers();
    ConnectRunHandlers();
    ConnectObjectHandlers();
    ConnectGraphHandlers();
    ConnectOpeners();
    ConnectToolHandlers();
    ConnectSwitchHandlers();
    ConnectPictureHandlers();
    ConnectSettingsHandlers();
    ConnectOverlayHandlers();
    ConnectSignalHandlers();
    ConnectLocateHandlers();
    FormCreate();
}

TPlatform::~TPlatform() {
    DshowVideoSink = nullptr;
    DshowClearMemo2 = nullptr;
    if (State.ReaderKind == 1) DshowClose();
    Dialogs().modalHook = nullptr;
    SetDialogParent(nullptr);
    if (Platform == this) Platform = nullptr;
}

void TPlatform::SetupScrolling() {
    // A frame larger than the image area scrolls there, 1:1, so that a click
    // still lands on the frame pixel under the pointer.
    auto* imageArea = new QScrollArea(centralwidget);
    imageArea->setObjectName("ImageScrollBox");
    imageArea->setGeometry(Image1->geometry());
    imageArea->setFrameShape(QFrame::NoFrame);
    imageArea->setWidget(Image1);
    Image1->SetSizeFollowsPicture(true);
    // The window's content keeps its designed layout and scrolls on a screen
    // smaller than the window.
    const QRect used = centralwidget->childrenRect();
    const int margin = used.left();
    centralwidget->setMinimumSize(used.right() + 1 + margin, used.bottom() + 1 + margin);
    const QSize designed = size();
    takeCentralWidget();
    auto* content = new QScrollArea(this);
    content->setObjectName("WindowScrollBox");
    content->setFrameShape(QFrame::NoFrame);
    content->setWidgetResizable(true);
    content->setWidget(centralwidget);
    setCentralWidget(content);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // Room for the scroll bar that a cut side brings.
        const QSize room = screen->availableGeometry().size();
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        QSize fit = designed;
        if (fit.height() > room.height()) fit.rwidth() += bar;
        if (fit.width() > room.width()) fit.rheight() += bar;
        resize(fit.boundedTo(room));
    }
}

void TPlatform::SetupControls() {
    Memo1->SetTable(&Table);
    Memo2->SetTable(&Memo2Table);
    Memo2->hide();
    Memo3->SetTable(&Memo3Table);
    Memo3->hide();
    WrapButtonCaption(Button40);
    UpDown1->SetAssociate(Edit1);
    UpDown2->SetAssociate(Edit2);
    UpDown3->SetAssociate(Edit3);
    UpDown4->SetAssociate(Edit4);
    UpDown5->SetAssociate(EditTrackRadius);
    UpDown6->SetAssociate(Edit22);
    UpDown7->SetAssociate(Edit42);
    UpDown8->SetAssociate(Edit14);
    UpDown9->SetAssociate(Edit19);
    UpDown14->SetAssociate(Edit50);
    UpDown1->SetRange(0, 7);
    UpDown1->SetPosition(6);
    UpDown2->SetRange(7, 25);
    UpDown2->SetPosition(8);
    UpDown3->SetRange(8, 25);
    UpDown3->SetPosition(25);
    UpDown4->SetRange(0, 255);
    UpDown4->SetPosition(80);
    UpDown5->SetRange(0, 25);
    UpDown5->SetPosition(6);
    UpDown6->SetRange(0, 25);
    UpDown6->SetPosition(0);
    UpDown7->SetRange(0, 99);
    UpDown7->SetPosition(50);
    UpDown8->SetRange(0, 25);
    UpDown8->SetPosition(5);
    UpDown9->SetRange(1, 256);
    UpDown9->SetPosition(1);
    UpDown14->SetRange(0, 500);
    UpDown14->SetIncrement(5);
    UpDown14->SetPosition(10);
    RadioGroup2->SetItems({"Even first", "Odd first"});
    RadioGroup2->SetItemIndex(1);
    RadioGroup1->SetItems({"OFF", "3", "5"});
    RadioGroup1->SetItemIndex(1);
    RadioGroup5->SetItems({"OFF", "3", "5"});
    RadioGroup5->SetItemIndex(0);
    RadioGroup3->SetItems({"ON", "OFF"});
    ComboBox1->addItems({"IOTA", "KIWI", "GHS"});
    RadioButton7->setChecked(true);
    RadioButton1->setChecked(true);
    RadioButton5->setChecked(true);
    RadioButton15->setChecked(true);
    CheckBox3->setChecked(true);
}

void TPlatform::ConnectHandlers() {
    connect(Button2, &QPushButton::clicked, this, &TPlatform::Button2Click);
    connect(Exit1, &QAction::triggered, this, &TPlatform::Button2Click);
    connect(Button6, &QPushButton::clicked, this, &TPlatform::Button6Click);
    connect(SavetoCSVFile1, &QAction::triggered, this, &TPlatform::SaveResultsFile);
    connect(Button20, &QPushButton::clicked, this, &TPlatform::Button20Click);
    connect(LoadCSVFile1, &QAction::triggered, this, [this] { LoadResultsFile(); });
}

void TPlatform::FormCreate() {
    MeasureState& s = State;
    // 1
    for (int k = 1; k <= 3; ++k) s.RectangleAperture[k] = 0;
    s.PredictionLoaded = 0;
    s.TimeInserterType = 0;
    s.TopFieldFirst = RadioGroup2->ItemIndex() == 0 ? 1 : 0;
    OverlayThreshold = UpDown4->Position();
    // 2
    setWindowTitle(QString::fromStdString(Caption()));
    s.RunningFlag = 0;
    s.DirectShowSelected = 1;
    s.ReaderKind = 2;
    s.UseAviSynth = 1;
    s.AnalyseAfterCapture = 1;
    s.VideoOpened = 0;
    // 3
    for (int k = 1; k <= 3; ++k) {
        s.RectangleWidth[k] = UpDown8->Position();
        s.RectangleHeight[k] = UpDown6->Position();
        s.PsfSigma[k] = 5.0;
    }
    // 4
    s.FrameStep = 1;
    UpDown9->SetPosition(1);
    Edit19->setText("1");
    s.ObjectCount = 1;
    s.CurrentObject = 1;
    s.ResultsFormatVersion = 2;
    s.VideoFileName.clear();
    // 5
    RadioButton8->setEnabled(false);
    RadioButton9->setEnabled(false);
    // 6
    s.VideoOpen = 0;
    s.ResultsLoaded = 0;
    s.RecordingFlag = 0;
    s.GraphWindowOpen = 0;
    s.LastMeasuredFrame = -1;
    // 7
    UpDown7->SetPosition(50);
    RadioButton10->setChecked(true);
    // 8
    const IntPoint start[3] = {{40, 40}, {120, 40}, {200, 40}};
    for (int k = 1; k <= 3; ++k) {
        DataLineObject& o = s.FrameObject(k);
        o.StartX = o.PosX = start[k - 1].x;
        o.StartY = o.PosY = start[k - 1].y;
    }
    s.Signal1Position = {355, 470};
    s.Signal2Position = {365, 470};
    s.ClickPosition = {120, 40};
    // 9
    for (int k = 1; k <= 3; ++k) s.LinkRefPoints[k] = {};
    overlay::CopyKiwiCharacterColumns(OverlayReader);
    // 10 (the masks are built after step 12, once the objects have their radii)
    ChainRadiusLimits();
    ShowRadiusTexts();
    UpDown4->SetPosition(80);
    RadioGroup3->SetItemIndex(1);
    WriteStartupResultsHeader();
    // 11
    for (int k = 1; k <= 3; ++k) s.SpinPoint[k] = {0, -100};
    s.DirectionMode = 0;
    // 12
    for (auto& line : s.DataLines) {
        line.FrameNo10 = 0;
        for (int k = 1; k <= 3; ++k) {
            DataLineObject& o = line.Objects[k];
            o.ApertureRadius = UpDown1->Position();
            o.BkgInnerRadius = UpDown2->Position();
            o.BkgOuterRadius = UpDown3->Position();
            o.BkgWidth = UpDown8->Position();
            o.BkgGap = UpDown6->Position();
            o.TrackMode = kTrackDrift;
            o.TrackRadius = UpDown5->Position();
            o.TrackThreshold = UpDown7->Position();
            o.SyncTracking = CheckBox3->isChecked() ? 1 : 0;
            o.PosX = s.FrameObject(k).PosX;
            o.PosY = s.FrameObject(k).PosY;
            o.SpinX = s.SpinPoint[k].x;
            o.SpinY = s.SpinPoint[k].y;
        }
    }
    s.DataLinesDefault = s.DataLines;
    for (int k = 1; k <= 3; ++k) {
        RebuildMasks(k);
        BuildTrackMask(Masks, k, UpDown5->Position());
    }
    const TimeCaptions captions = ShowTimeCaptions();
    Edit24->setText(QStr(captions.Edit24));
    Edit25->setText(QStr(captions.Edit25));
    Edit26->setText(QStr(captions.Edit26));
    Edit27->setText(QStr(captions.Edit27));
    // 13
    Edit18->setText(QStr(numtext::FormatFixed(1.0, 15, 2)));
    Edit18->setEnabled(false);
    Add1->setEnabled(false);
    Remove1->setEnabled(false);
    // 14: the Fresnel tables build in the background; their first reader waits.
    fresnel::StartFresnelTableBuild();
    // 15
    if (!CheckBox14->isChecked()) {
        CheckBox2->setEnabled(true);
        GroupBox3->setTitle("Half Flux");
        Label11->setText("Diameter");
    } else {
        CheckBox2->setChecked(false);
        CheckBox2->setEnabled(false);
        GroupBox3->setTitle("FWHM");
        Label11->setText(" ");
    }
    // 16: a settings file that cannot be written is reported; start-up goes on.
    ReportSettingsFailure({StartupSettings()});
    // 17
    ComboBox1->setCurrentIndex(s.TimeInserterType);
    CheckBox7->setChecked(s.DirectShowSelected == 1);
    CheckBox7->setText(s.DirectShowSelected == 1 ? "DShow" : "VFW");
}

RowContext TPlatform::CurrentRowContext() const {
    RowContext c;
    c.fieldMode = CheckBox2->isChecked();
    c.overlayTime = CheckBox5->isChecked();
    c.psfPhotometry = CheckBox14->isChecked();
    c.oddFirst = RadioGroup2->ItemIndex() != 0;
    c.tiviText = StdStr(Edit26->text());
    return c;
}

void TPlatform::AppendResultRows() {
    ::AppendResultRows(Table, State, CurrentRowContext());
    UnsavedRows = true;
    Memo1->Refresh();
}

void TPlatform::WriteResultsHeader() {
    ::WriteResultsHeader(Table, State, CurrentRowContext());
    UnsavedRows = false;
    Memo1->Refresh();
}

void TPlatform::WriteStartupResultsHeader() {
    ::WriteStartupResultsHeader(Table, State, CurrentRowContext());
    UnsavedRows = false;
    Memo1->Refresh();
}

bool TPlatform::ConfirmDiscardRows() {
    if (!UnsavedRows) return true;
    const int rows = static_cast<int>(Table.Count()) - DetectResultsFormat(Table).headerLines;
    if (rows <= 0) return true;
    return Dialogs().AskYesNo("Measurement data (" + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
                              ") has not been saved and will be removed. Are you sure?");
}

void TPlatform::RefreshResultsView() { Memo1->Refresh(); }

void TPlatform::ChainRadiusLimits() {
    UpDown1->SetRange(0, UpDown2->Position() - 1);
    UpDown2->SetRange(UpDown1->Position() + 1, UpDown3->Position());
    UpDown3->SetRange(UpDown2->Position(), 25);
}

void TPlatform::ShowRadiusTexts() {
    Edit1->setText(QString::number(UpDown1->Position()));
    Edit2->setText(QString::number(UpDown2->Position()));
    Edit3->setText(QString::number(UpDown3->Position()));
}

void TPlatform::RebuildMasks(int k) {
    if (!BuildApertureMasks(Masks, State, k) || k != State.CurrentObject) return;
    const MaskCountTexts counts = ShowMaskCounts(Masks.ApertureMask[k], CheckBox14->isChecked());
    Edit20->setText(QStr(counts.Edit20));
    Edit21->setText(QStr(counts.Edit21));
}

void TPlatform::Button6Click() {
    if (State.RunningFlag) return;
    SaveResultsFile();
}

void TPlatform::SaveResultsFile() {
    if (State.RecordingFlag || State.DirectionMode || CheckBox1->isChecked()) return;
    std::string path = Dialogs().SaveFileName({"Save results", State.SavedResultsFolder, "", kCsvFilter});
    if (path.empty()) return;
    std::string error;
    if (!Table.SaveToFile(path, error)) {
        Dialogs().ShowError("Could not save the results file.\r\n" + path + "\r\n" + error);
        return;
    }
    UnsavedRows = false;
    State.SavedResultsFolder = fileio::ExtractFileDir(path);
    ReportSettingsFailure({SaveLatestPaths()});
}

void TPlatform::ResetBackgroundFormControls(bool overlayThresholdForGhs) {
    RectangleAperture1->setChecked(false);
    for (int k = 1; k <= 3; ++k) State.RectangleAperture[k] = 0;
    StaticText10->setStyleSheet(QString());
    Label2->setStyleSheet(QString());
    Label2->setText("Gap");
    const DataLineObject& o = State.FrameObject(State.CurrentObject);
    UpDown8->SetRange(0, 25);
    UpDown8->SetPosition(o.BkgWidth);
    UpDown6->SetRange(0, 25);
    UpDown6->SetPosition(o.BkgGap);
    if (State.TimeInserterType == 0 || (overlayThresholdForGhs && State.TimeInserterType == 2)) {
        UpDown4->SetPosition(100);
        Edit4->setText("100");
    }
    for (QRadioButton* b : {RadioButton1, RadioButton2, RadioButton3}) b->setEnabled(true);
    switch (o.BkgShape) {
        case kShapeSunlitFace: RadioButton2->setChecked(true); break;
        case kShapeLimb: RadioButton3->setChecked(true); break;
        default: RadioButton1->setChecked(true); break;
    }
    switch (o.TrackMode) {
        case kTrackAnchor: RadioButton4->setChecked(true); break;
        case kTrackDrift: RadioButton5->setChecked(true); break;
        case kTrackOff: RadioButton6->setChecked(true); break;
        default: RadioButton14->setChecked(true); break;
    }
}

void TPlatform::Button20Click() {
    if (State.RunningFlag) return;
    // Asked before anything changes, so that "No" leaves the window as it was.
    const bool mayLoad = !State.RecordingFlag && !State.DirectionMode && !CheckBox1->isChecked();
    if (mayLoad && !ConfirmDiscardRows()) return;
    ResetBackgroundFormControls(true);
    const bool psf = CheckBox14->isChecked();
    CheckBox14->setChecked(false);
    LoadResultsFile(false);
    CheckBox14->setChecked(psf);
}

bool TPlatform::LoadResultsFile(bool askDiscard) {
    if (State.RecordingFlag || State.DirectionMode || CheckBox1->isChecked()) return false;
    if (askDiscard && !ConfirmDiscardRows()) return false;
    std::string path = Dialogs().OpenFileName({"Load results", State.ResultsFolder, "", kCsvFilter});
    if (path.empty()) return false;
    State.ResultsFolder = fileio::ExtractFileDir(path);
    ReportSettingsFailure({SaveLatestPaths()});
    return LoadResultsFrom(path);
}

bool TPlatform::LoadResultsFrom(const std::string& path) {
    // Everything is read and checked before anything changes.
    std::string error;
    LoadedResults r;
    if (!ReadResultsFile(path, r, error)) {
        Dialogs().ShowError("Could not load the results file.\r\n" + path + "\r\n" + error);
        return false;
    }
    MeasureState& s = State;
    s.ResultsLoaded = 1;
    Graph.GraphResetPending = 1;
    CheckBox2->setEnabled(true);
    for (TUpDown* u : {UpDown1, UpDown2, UpDown3, UpDown6}) u->setEnabled(true);
    GroupBox8->setEnabled(true);

    Table.Assign(std::move(r.lines));
    UnsavedRows = false;
    s.ResultsFormatVersion = r.format.version;
    s.ResultsHeaderLines = r.format.headerLines;

    if (r.frameStep) {
        UpDown9->SetPosition(*r.frameStep);
        s.FrameStep = *r.frameStep;
        Edit19->setText(QString::number(*r.frameStep));
    }
    Edit33->setText(" " + QStr(r.firstDataRow));

    s.ObjectCount = r.objectCount;
    Object11->setEnabled(true);
    Object21->setEnabled(r.objectCount >= 2);
    Object31->setEnabled(r.objectCount >= 3);
    RadioButton8->setEnabled(r.objectCount >= 2);
    RadioButton9->setEnabled(r.objectCount >= 3);

    s.VideoFrameRate = r.frameRate;
    s.FirstRowFrame = r.firstRowFrame;
    // Every line starts from the first row's positions: the pipeline tracks from StartX/StartY.
    for (int k = 1; k <= 3; ++k)
        s.ForAllLines(k, [&](DataLineObject& o) {
            o.StartX = o.PosX = r.objects[k].posX;
            o.StartY = o.PosY = r.objects[k].posY;
        });
    for (int k = 1; k <= r.objectCount; ++k) {
        ApplyLoadedObject(s, k, r.objects[k], r.format.version);
        if (r.objects[k].psfSigma) GaussianPsfModel(Psf, k, s.PsfSigma[k], 200);
    }

    // Object A's radii go into the radius controls, widest range first.
    const DataLineObject& a = s.FrameObject(1);
    UpDown1->SetRange(0, 23);
    UpDown2->SetRange(1, 24);
    UpDown3->SetRange(2, 25);
    UpDown3->SetPosition(a.BkgOuterRadius);
    UpDown2->SetPosition(a.BkgInnerRadius);
    UpDown1->SetPosition(a.ApertureRadius);
    ChainRadiusLimits();
    ShowRadiusTexts();

    Memo1->Refresh();
    // The video the results came from is opened again (the table stays). Opening
    // resets the object controls to one object; the loaded objects are kept.
    if (OpenVideo(r.videoFileName, true)) {
        s.ObjectCount = r.objectCount;
        Add1->setEnabled(r.objectCount < 3);
        RadioButton8->setEnabled(r.objectCount >= 2);
        RadioButton9->setEnabled(r.objectCount >= 3);
    } else {
        s.VideoFileName = r.videoFileName;
        s.AvsFileName = fileio::ChangeFileExt(r.videoFileName, ".avs");
        s.VideoFileExt = fileio::ExtractFileExt(r.videoFileName);
    }
    return true;
}


void TPlatform::Button2Click() {
    if (State.RecordingFlag || State.DirectionMode || ThreeDViewShown()) return;
    if (!ConfirmDiscardRows()) return;
    UnsavedRows = false;  // agreed: closing does not ask again
    if (State.VideoOpen) DshowClose();
    close();
}

void TPlatform::closeEvent(QCloseEvent* event) {
    if (!ConfirmDiscardRows()) {
        event->ignore();
        return;
    }
    Timer1->stop();
    AudioMainClosing();
    if (VfwAvi1) VfwAvi1->Close();
    if (State.ReaderKind == 1) DshowClose();
    event->accept();
}
