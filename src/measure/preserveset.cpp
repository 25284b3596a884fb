#include "measure/preserveset.h"

#include <QSignalBlocker>

#include "measure/main_2.h"
#include "platform/dialogs.h"

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
    s.DirectShowSelected = v.DirectShowSelected;
    p.CheckBox7->setChecked(v.DirectShowSelected);

    p.CheckBox14->setChecked(v.PsfPhotometry);
    p.CheckBox2->setChecked(v.FieldMeasure);
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
