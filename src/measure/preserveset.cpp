#include "measure/preserveset.h"

#include <QSignalBlocker>

#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "platform/qt_text.h"

TPreserveSetting* PreserveSetting = nullptr;

namespace {

int CheckedIndex(std::initializer_list<const QRadioButton*> buttons) {
    int i = 0;
    for (const QRadioButton* b : buttons) {
        if (b->isChecked()) return i;
        ++i;
    }
    return -1;
}

// Runs a routine on the main window's values; without a main window there is
// nothing to read or apply. A reading routine gives every value back to the
// window; a writing one changes only the capture folder it may have filled.
template <typename Routine>
SettingsStatus OnPlatform(bool reading, Routine&& routine) {
    if (!Platform) return {};
    SettingsValues v = GatherSettings(*Platform);
    SettingsStatus status = routine(ProgramSettingsFile(), v);
    if (reading) ApplySettings(*Platform, v);
    else Platform->State.CaptureFilePath = v.CaptureFilePath;
    return status;
}

}  // namespace

SettingsValues GatherSettings(const TPlatform& p) {
    const MeasureState& s = p.State;
    SettingsValues v;
    v.VideoFolder = s.VideoFolder;
    v.SavedResultsFolder = s.SavedResultsFolder;
    v.ResultsFolder = s.ResultsFolder;
    v.CsvFolderFollowsVideo = s.CsvFolderFollowsVideo;
    v.RememberVideoFolder = s.RememberVideoFolder;
    v.RememberSavedResultsFolder = s.RememberSavedResultsFolder;
    v.RememberResultsFolder = s.RememberResultsFolder;
    v.UseAviSynth = s.UseAviSynth;
    v.DirectShowSelected = s.DirectShowSelected;
    v.PsfPhotometry = p.CheckBox14->isChecked();
    v.FieldMeasure = p.CheckBox2->isChecked();
    v.FieldOrderItem = p.RadioGroup2->ItemIndex();
    v.TopFieldFirst = s.TopFieldFirst;
    v.ApertureRadius = p.UpDown1->Position();
    v.BkgInnerRadius = p.UpDown2->Position();
    v.BkgOuterRadius = p.UpDown3->Position();
    v.BkgForm = CheckedIndex({p.RadioButton1, p.RadioButton2, p.RadioButton3});
    v.BkgGap = p.UpDown6->Position();
    v.BkgWidth = p.UpDown8->Position();
    v.GapEnabled = p.UpDown6->isEnabled();
    v.WidthEnabled = p.UpDown8->isEnabled();
    v.ObjectABkgShape = s.FrameObject(1).BkgShape;
    v.TrackMode = CheckedIndex({p.RadioButton4, p.RadioButton5, p.RadioButton6});
    v.TrackRadius = p.UpDown5->Position();
    v.TrackThreshold = p.UpDown7->Position();
    v.SyncTracking = p.CheckBox3->isChecked();
    v.OverlayThreshold = p.UpDown4->Position();
    v.ReadOverlayTime = p.CheckBox5->isChecked();
    v.TimeInserterType = s.TimeInserterType;
    v.OverlayGridLocated = s.OverlayGridLocated;
    v.TIViReading = s.TIViReading;
    v.OverlayTimeReading = s.OverlayTimeReading;
    v.SignalBoxesEnabled = s.SignalBoxesEnabled;
    v.SignalButtonsEnabled = p.RadioButton11->isEnabled() && p.RadioButton12->isEnabled();
    v.StarPositionSet = p.RadioButton10->isChecked();
    v.CaptureFilePath = s.CaptureFilePath;
    v.ObserverName = s.ObserverName;
    v.PredictionFilePath = s.PredictionFilePath;
    v.MemorizedRadii = s.MemorizedRadii;
    return v;
}

void ApplySettings(TPlatform& p, const SettingsValues& v) {
    MeasureState& s = p.State;
    s.VideoFolder = v.VideoFolder;
    s.SavedResultsFolder = v.SavedResultsFolder;
    s.ResultsFolder = v.ResultsFolder;
    s.CsvFolderFollowsVideo = v.CsvFolderFollowsVideo;
    s.RememberVideoFolder = v.RememberVideoFolder;
    s.RememberSavedResultsFolder = v.RememberSavedResultsFolder;
    s.RememberResultsFolder = v.RememberResultsFolder;
    s.UseAviSynth = v.UseAviSynth;
    // The reader read here is the one for the next opening: the box follows
    // without reopening the video (the reader holding it stays).
    s.DirectShowSelected = v.DirectShowSelected;
    p.ShowReaderChoice();

    // The two boxes' handlers run as for a change the user made.
    p.SetPsfPhotometry(v.PsfPhotometry);
    p.SetFieldMeasure(v.FieldMeasure);
    if (v.FieldOrderItem >= 0) p.RadioGroup2->SetItemIndex(v.FieldOrderItem);
    s.TopFieldFirst = v.TopFieldFirst;

    // The values form a valid chain; the ranges are opened first so that no
    // up-down clips a value against its neighbour's old position.
    for (TUpDown* u : {p.UpDown1, p.UpDown2, p.UpDown3}) u->SetRange(0, 25);
    p.UpDown1->SetPosition(v.ApertureRadius);
    p.UpDown2->SetPosition(v.BkgInnerRadius);
    p.UpDown3->SetPosition(v.BkgOuterRadius);
    s.MemorizedRadii = v.MemorizedRadii;

    QRadioButton* forms[3] = {p.RadioButton1, p.RadioButton2, p.RadioButton3};
    if (v.BkgForm >= 0 && v.BkgForm < 3) forms[v.BkgForm]->setChecked(true);
    p.UpDown6->setEnabled(v.GapEnabled);
    p.UpDown8->setEnabled(v.WidthEnabled);
    // An object's settings are the same in the frame line and both field lines.
    s.ForAllLines(1, [&](DataLineObject& o) { o.BkgShape = v.ObjectABkgShape; });
    p.UpDown6->SetPosition(v.BkgGap);
    p.UpDown8->SetPosition(v.BkgWidth);

    QRadioButton* modes[3] = {p.RadioButton4, p.RadioButton5, p.RadioButton6};
    if (v.TrackMode >= 0 && v.TrackMode < 3) modes[v.TrackMode]->setChecked(true);
    p.UpDown5->SetPosition(v.TrackRadius);
    p.UpDown7->SetPosition(v.TrackThreshold);
    p.CheckBox3->setChecked(v.SyncTracking);

    p.UpDown4->SetPosition(v.OverlayThreshold);
    p.CheckBox5->setChecked(v.ReadOverlayTime);

    s.SignalBoxesEnabled = v.SignalBoxesEnabled;
    p.RadioButton11->setEnabled(v.SignalButtonsEnabled);
    p.RadioButton12->setEnabled(v.SignalButtonsEnabled);
    if (v.StarPositionSet) p.RadioButton10->setChecked(true);

    s.TimeInserterType = static_cast<uint8_t>(v.TimeInserterType);
    {
        // Choosing the inserter here does not locate the overlay.
        QSignalBlocker quiet(p.ComboBox1);
        p.ComboBox1->setCurrentIndex(v.TimeInserterType);
    }
    s.OverlayGridLocated = v.OverlayGridLocated;
    s.TIViReading = v.TIViReading;
    s.OverlayTimeReading = v.OverlayTimeReading;

    p.ChainRadiusLimits();
    p.ShowRadiusTexts();

    s.CaptureFilePath = v.CaptureFilePath;
    s.ObserverName = v.ObserverName;
    s.PredictionFilePath = v.PredictionFilePath;
    p.TakeControlsIntoCurrentObject();
}

bool IniExists() { return ProgramSettingsFile().IniExists(); }

SettingsStatus LoadSettings() {
    return OnPlatform(true, [](const SettingsFile& f, SettingsValues& v) { return f.LoadSettings(v); });
}

SettingsStatus WriteDefaultSettings() {
    return OnPlatform(false, [](const SettingsFile& f, SettingsValues& v) { return f.WriteDefaultSettings(v); });
}

SettingsStatus SaveCurrentSettings() {
    return OnPlatform(false, [](const SettingsFile& f, SettingsValues& v) { return f.SaveCurrentSettings(v); });
}

SettingsStatus SaveDialogSettings(const SettingsDialogTicks& ticks) {
    return OnPlatform(false, [&](const SettingsFile& f, SettingsValues& v) { return f.SaveDialogSettings(v, ticks); });
}

SettingsStatus SaveLatestPaths() {
    return OnPlatform(false, [](const SettingsFile& f, SettingsValues& v) { return f.SaveLatestPaths(v); });
}

SettingsStatus SavePageSettings(const SettingsDialogTicks& ticks, SettingsPage page) {
    return OnPlatform(false, [&](const SettingsFile& f, SettingsValues& v) { return f.SavePageSettings(v, ticks, page); });
}

SettingsStatus StartupSettings() {
    return OnPlatform(true, [](const SettingsFile& f, SettingsValues& v) { return f.StartupSettings(v); });
}

SettingsStatus ReloadSettingsAfterVideoOpen() {
    return OnPlatform(true, [](const SettingsFile& f, SettingsValues& v) { return f.ReloadAfterVideoOpen(v); });
}

void ReportSettingsFailure(std::initializer_list<SettingsStatus> statuses) {
    SettingsStatus first = FirstFailure(statuses);
    if (!first.ok) Dialogs().ShowError(first.message);
}

// ---------------------------------------------------------------- the settings dialog

TPreserveSetting::TPreserveSetting(TPlatform& owner) : QDialog(&owner), platform_(owner) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    PreserveSetting = this;
    connect(Button1, &QPushButton::clicked, this, &TPreserveSetting::Button1Click);
    connect(Button3, &QPushButton::clicked, this, &TPreserveSetting::Button3Click);
    for (QPushButton* b : {Button2, Button5, Button6, Button7, Button8}) connect(b, &QPushButton::clicked, this, &QWidget::close);
    connect(Button4, &QPushButton::clicked, this, [this] { SavePage(SettingsPage::FileReading); });
    connect(Button9, &QPushButton::clicked, this, [this] { SavePage(SettingsPage::Measurement); });
    connect(Button10, &QPushButton::clicked, this, [this] { SavePage(SettingsPage::Tracking); });
    connect(Button11, &QPushButton::clicked, this, [this] {
        SavePage(SettingsPage::TimeInserter);
        platform_.ShowNeighbor();
    });
    connect(CheckBox16, &QCheckBox::toggled, this, [this](bool on) { platform_.State.UseAviSynth = on; });
    connect(CheckBox22, &QCheckBox::toggled, this, [this](bool on) { platform_.State.CsvFolderFollowsVideo = on; });
    // A radio button's handler runs when it becomes checked, by a click or in code.
    const auto onChecked = [this](QRadioButton* b, void (TPreserveSetting::*handler)()) {
        connect(b, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on) (this->*handler)();
        });
    };
    onChecked(RadioButton1, &TPreserveSetting::RadioButton1Click);
    onChecked(RadioButton2, &TPreserveSetting::RadioButton2Click);
    onChecked(RadioButton3, &TPreserveSetting::RadioButton3Click);
    onChecked(RadioButton4, &TPreserveSetting::RadioButton4Click);
    onChecked(RadioButton5, &TPreserveSetting::RadioButton5Click);
    connect(CheckBox19, &QCheckBox::toggled, this, &TPreserveSetting::CheckBox19Click);
    FormCreate();
}

TPreserveSetting::~TPreserveSetting() {
    if (PreserveSetting == this) PreserveSetting = nullptr;
}

void TPreserveSetting::FormCreate() {
    // 1
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setFixedSize(429, 424);
    move(587, 3);
    const TPlatform& p = platform_;
    const MeasureState& s = p.State;
    // 2
    CheckBox14->setChecked(s.RememberVideoFolder);
    CheckBox15->setChecked(s.RememberSavedResultsFolder);
    CheckBox17->setChecked(s.RememberResultsFolder);
    Edit1->setText(QStr(s.VideoFolder));
    Edit2->setText(QStr(s.SavedResultsFolder));
    Edit3->setText(QStr(s.ResultsFolder));
    CheckBox16->setChecked(s.UseAviSynth);
    CheckBox22->setChecked(s.CsvFolderFollowsVideo);
    // 3: checking "Video for Windows" runs its handler, which reopens the video.
    if (s.DirectShowSelected) RadioButton1->setChecked(true);
    else RadioButton2->setChecked(true);
    // 4
    const auto onOff = [](bool on) { return QString(on ? "ON" : "OFF"); };
    Label1->setText(p.CheckBox2->isChecked() ? "Field by field" : "Frame by frame");
    Label20->setText(p.CheckBox14->isChecked() ? "PSF photometry" : "Aperture photometry");
    Label2->setText(p.RadioGroup2->ItemIndex() == 0 ? "Top(even) first" : "Bottom(Odd line) first");
    Label3->setText(p.Edit1->text() + " / " + p.Edit2->text() + " / " + p.Edit3->text());
    Label4->setText(p.RadioButton1->isChecked()   ? "Standard"
                    : p.RadioButton2->isChecked() ? "Avoid Sunlit Face"
                                                  : "Meteor/Lunar Limb");
    Label5->setText(p.Edit14->text());
    Label6->setText(p.Edit22->text());
    Label7->setText(p.RadioButton4->isChecked() ? "Anchor" : p.RadioButton5->isChecked() ? "Drift" : "OFF");
    Label8->setText(onOff(p.CheckBox3->isChecked()));
    Label9->setText(p.EditTrackRadius->text());
    Label10->setText(p.Edit42->text());
    Label11->setText(p.Edit4->text());
    Label12->setText(onOff(p.CheckBox5->isChecked()));
    Label13->setText(onOff(s.SignalBoxesEnabled));
    // 5
    QRadioButton* inserters[3] = {RadioButton3, RadioButton4, RadioButton5};
    if (s.TimeInserterType < 3) inserters[s.TimeInserterType]->setChecked(true);
    // 6
    CheckBox19->setChecked(p.CheckBox5->isChecked());
}

SettingsDialogTicks TPreserveSetting::Ticks() const {
    SettingsDialogTicks t;
    t.RememberVideoFolder = CheckBox14->isChecked();
    t.RememberSavedResultsFolder = CheckBox15->isChecked();
    t.RememberResultsFolder = CheckBox17->isChecked();
    t.UseAviSynth = CheckBox16->isChecked();
    t.ReadOverlayTime = CheckBox19->isChecked();
    t.Photometry = CheckBox2->isChecked();
    t.Measure = CheckBox3->isChecked();
    t.FieldOrder = CheckBox4->isChecked();
    t.Radii = CheckBox5->isChecked();
    t.Form = CheckBox6->isChecked();
    t.Width = CheckBox7->isChecked();
    t.Gap = CheckBox8->isChecked();
    t.TrackingMode = CheckBox9->isChecked();
    t.TrackingRadius = CheckBox10->isChecked();
    t.Synchronize = CheckBox11->isChecked();
    t.TrackingThreshold = CheckBox12->isChecked();
    t.TimeSignalThreshold = CheckBox13->isChecked();
    t.SignalBoxes = CheckBox20->isChecked();
    return t;
}

void TPreserveSetting::Button1Click() {
    if (!Dialogs().AskYesNo("Setting will be Saved . Are you sure?")) return;
    SettingsStatus defaults;
    if (!IniExists()) defaults = WriteDefaultSettings();
    const SettingsStatus saved = defaults ? SaveDialogSettings(Ticks()) : SettingsStatus{};
    // A failed write is reported once and not followed by the success box.
    if (!defaults || !saved) return ReportSettingsFailure({defaults, saved});
    Dialogs().YesOnly("Setting was saved.");
}

void TPreserveSetting::Button3Click() {
    if (!Dialogs().AskYesNo("Default Setting will be saved. Sure?")) return;
    const SettingsStatus written = WriteDefaultSettings();
    if (!written) return ReportSettingsFailure({written});
    const SettingsStatus loaded = LoadSettings();
    if (!loaded) return ReportSettingsFailure({loaded});
    Dialogs().YesOnly("Default Setting was saved.");
}

void TPreserveSetting::SavePage(SettingsPage page) { ReportSettingsFailure({SavePageSettings(Ticks(), page)}); }

void TPreserveSetting::RadioButton1Click() { SelectReader(RadioButton1->isChecked()); }

void TPreserveSetting::RadioButton2Click() { SelectReader(!RadioButton2->isChecked()); }

void TPreserveSetting::SelectReader(bool directShow) {
    platform_.SelectReader(directShow);
    // A reader that could not take the video over leaves the other one chosen.
    const QSignalBlocker quiet1(RadioButton1), quiet2(RadioButton2);
    (platform_.State.DirectShowSelected ? RadioButton1 : RadioButton2)->setChecked(true);
}

void TPreserveSetting::RadioButton3Click() {
    TPlatform& p = platform_;
    MeasureState& s = p.State;
    s.TimeInserterType = 0;
    s.OverlayGridLocated = 1;
    s.OverlayTimeReading = 1;
    if (s.VideoOpen) {
        p.UpDown4->SetPosition(80);
        p.Edit4->setText("80");
        p.OverlayThreshold = 80;
        // The line is located as the main window's "IOTA" locates it, so the next
        // frames are read on its columns and not on the previous inserter's.
        p.LocateIotaLine();
        p.ShowNeighbor();
    }
    const QSignalBlocker quiet(p.ComboBox1);
    p.ComboBox1->setCurrentIndex(0);
}

void TPreserveSetting::RadioButton4Click() {
    {
        const QSignalBlocker quiet(platform_.ComboBox1);
        platform_.ComboBox1->setCurrentIndex(1);
    }
    platform_.State.TimeInserterType = 1;
}

void TPreserveSetting::RadioButton5Click() {
    {
        const QSignalBlocker quiet(platform_.ComboBox1);
        platform_.ComboBox1->setCurrentIndex(2);
    }
    platform_.State.TimeInserterType = 2;
}

void TPreserveSetting::CheckBox19Click() { platform_.CheckBox5->setChecked(CheckBox19->isChecked()); }
