#include "measure/settings_file.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

#include "platform/file_io.h"
#include "platform/ini_file.h"

namespace {

// Sections.
constexpr const char* kFiles = "Files";
constexpr const char* kFileRead = "FileRead";
constexpr const char* kMeasurement = "Measurement";
constexpr const char* kAperture = "Aperture Size";
constexpr const char* kBackground = "Background Area";
constexpr const char* kTracking = "Star Tracking";
constexpr const char* kTimeSignal = "TimeSignal";
constexpr const char* kSignalArea = "SignalDetectionArea for LED";
constexpr const char* kCapture = "Capture";
constexpr const char* kIdentification = "Identification";

// Keys.
constexpr const char* kVideoPath = "Path to .AVI files";
constexpr const char* kCsvPath = "Path to .CSV files";
constexpr const char* kCsvInputPath = "Path to .CSV input files";
constexpr const char* kCsvSameAsVideo = "CSV path is same as AVI";
constexpr const char* kRememberVideo = "Memory Latest Access to .AVI files";
constexpr const char* kRememberCsv = "Memory Latest Access to .CSV files";
constexpr const char* kRememberCsvInput = "Memory Latest Access to .CSV input files";
constexpr const char* kUseAviSynth = "Use AviSynth to read file";
constexpr const char* kReaderApi = "API for reading file";
constexpr const char* kPhotometry = "Photometry";
constexpr const char* kMeasure = "Measure";
constexpr const char* kFieldOrder = "FieldOrder";
constexpr const char* kRadius = "Radius of Aperture";
constexpr const char* kInner = "Inner Radius of Background";
constexpr const char* kOuter = "Outer Radius of Background";
constexpr const char* kForm = "Form";
constexpr const char* kGap = "Gap";
constexpr const char* kWidth = "Width";
constexpr const char* kTrackingMode = "Tracking Mode";
constexpr const char* kTrackingRadius = "Radius";
constexpr const char* kThreshold = "Threshold";
constexpr const char* kSynchronize = "Synchronize to Radius of Aperture";
constexpr const char* kReadKiwi = "Read from KIWI-OSD";
constexpr const char* kInserter = "VideoTimeInserter";
constexpr const char* kSignalBoxes = "Signal1,2";
constexpr const char* kCapturePath = "Capture File Path";
constexpr const char* kObserver = "Observer";
constexpr const char* kPredictionFile = "Prediction file";

// Choice words.
constexpr const char* kDirectShow = "DirectShow";
constexpr const char* kVideoForWindows = "VideoForWindows";
constexpr const char* kPsf = "PSF photometry";
constexpr const char* kAperturePhotometry = "Aperture photometry";
constexpr const char* kEachFrame = "for each Frame";
constexpr const char* kEachField = "for each Field";
constexpr const char* kTopFirst = "Top first";
constexpr const char* kBottomFirst = "Bottom first";
constexpr const char* kForms[3] = {"Standard", "Avoid Sunlit Face", "Meteor/Lunar Limb"};
constexpr const char* kTrackModes[3] = {"Anchor", "Drift", "OFF"};
constexpr const char* kInserters[3] = {"IOTA-VTI", "KIWI-OSD", "GHS-OSD"};
constexpr const char* kOn = "ON";
constexpr const char* kOff = "OFF";

constexpr int kMaxOverlayThreshold = 255;

int IndexOf(const char* const (&words)[3], const std::string& word) {
    for (int i = 0; i < 3; ++i)
        if (word == words[i]) return i;
    return -1;
}

// Collects writes; after the first refused one the rest are skipped.
class Writer {
public:
    explicit Writer(IniFile& ini) : ini_(ini) {}
    void Str(const char* section, const char* key, const std::string& value) {
        ok_ = ok_ && ini_.WriteString(section, key, value);
    }
    void Int(const char* section, const char* key, int value) { ok_ = ok_ && ini_.WriteInteger(section, key, value); }
    void Bool(const char* section, const char* key, bool value) { ok_ = ok_ && ini_.WriteBool(section, key, value); }
    bool Ok() const { return ok_; }

private:
    IniFile& ini_;
    bool ok_ = true;
};

// One key each, shared by the current-settings and dialog writers.
// The folders, the folder-memory flags and the reader: written by every full save.
struct FileFlags {
    bool rememberVideo, rememberCsv, rememberCsvInput, useAviSynth;
};
void PutFilesAndReader(Writer& w, const SettingsValues& v, const FileFlags& f) {
    w.Str(kFiles, kVideoPath, v.VideoFolder);
    w.Str(kFiles, kCsvPath, v.SavedResultsFolder);
    w.Str(kFiles, kCsvInputPath, v.ResultsFolder);
    w.Bool(kFiles, kCsvSameAsVideo, v.CsvFolderFollowsVideo);
    w.Bool(kFiles, kRememberVideo, f.rememberVideo);
    w.Bool(kFiles, kRememberCsv, f.rememberCsv);
    w.Bool(kFiles, kRememberCsvInput, f.rememberCsvInput);
    w.Bool(kFileRead, kUseAviSynth, f.useAviSynth);
    w.Str(kFileRead, kReaderApi, v.DirectShowSelected ? kDirectShow : kVideoForWindows);
}

void PutPhotometry(Writer& w, const SettingsValues& v) { w.Str(kMeasurement, kPhotometry, v.PsfPhotometry ? kPsf : kAperturePhotometry); }
void PutMeasure(Writer& w, const SettingsValues& v) { w.Str(kMeasurement, kMeasure, v.FieldMeasure ? kEachField : kEachFrame); }
void PutFieldOrder(Writer& w, const SettingsValues& v) {
    if (v.FieldOrderItem == 0) w.Str(kMeasurement, kFieldOrder, kTopFirst);
    if (v.FieldOrderItem == 1) w.Str(kMeasurement, kFieldOrder, kBottomFirst);
}
void PutRadii(Writer& w, const SettingsValues& v) {
    w.Int(kAperture, kRadius, v.ApertureRadius);
    w.Int(kAperture, kInner, v.BkgInnerRadius);
    w.Int(kAperture, kOuter, v.BkgOuterRadius);
}
void PutForm(Writer& w, const SettingsValues& v) {
    if (v.BkgForm >= 0 && v.BkgForm < 3) w.Str(kBackground, kForm, kForms[v.BkgForm]);
}
void PutTrackMode(Writer& w, const SettingsValues& v) {
    if (v.TrackMode >= 0 && v.TrackMode < 3) w.Str(kTracking, kTrackingMode, kTrackModes[v.TrackMode]);
}
void PutSynchronize(Writer& w, const SettingsValues& v) { w.Str(kTracking, kSynchronize, v.SyncTracking ? kOn : kOff); }
void PutInserter(Writer& w, const SettingsValues& v) {
    if (v.TimeInserterType >= 0 && v.TimeInserterType < 3) w.Str(kTimeSignal, kInserter, kInserters[v.TimeInserterType]);
}

std::string ReadFailure(const std::string& path, const std::string& detail) {
    return "Could not read the settings file.\r\n" + path + "\r\n" + detail;
}
std::string WriteFailure(const std::string& path, const std::string& detail) {
    return "Could not write the settings file.\r\n" + path + "\r\n" + detail;
}

}  // namespace

SettingsStatus FirstFailure(std::initializer_list<SettingsStatus> steps) {
    for (const auto& s : steps)
        if (!s.ok) return s;
    return {};
}

SettingsFile::SettingsFile(std::string path, std::string programFolder)
    : path_(std::move(path)), programFolder_(std::move(programFolder)) {}

bool SettingsFile::IniExists() const {
    struct stat st {};
    return ::lstat(path_.c_str(), &st) == 0;
}

void SettingsFile::ApplyDocument(const IniFile& ini, SettingsValues& v, const std::string& programFolder) {
    // Folders and their memory flags.
    v.VideoFolder = ini.ReadString(kFiles, kVideoPath, "");
    v.SavedResultsFolder = ini.ReadString(kFiles, kCsvPath, "");
    v.ResultsFolder = ini.ReadString(kFiles, kCsvInputPath, "");
    v.CsvFolderFollowsVideo = ini.ReadBool(kFiles, kCsvSameAsVideo, true);
    v.RememberVideoFolder = ini.ReadBool(kFiles, kRememberVideo, true);
    v.RememberSavedResultsFolder = ini.ReadBool(kFiles, kRememberCsv, true);
    v.RememberResultsFolder = ini.ReadBool(kFiles, kRememberCsvInput, true);

    // Reader.
    v.UseAviSynth = ini.ReadBool(kFileRead, kUseAviSynth, false);
    v.DirectShowSelected = ini.ReadString(kFileRead, kReaderApi, kVideoForWindows) == kDirectShow;

    // Measurement type, frame or field, field order.
    v.PsfPhotometry = ini.ReadString(kMeasurement, kPhotometry, kPsf) == kPsf;
    v.FieldMeasure = ini.ReadString(kMeasurement, kMeasure, kEachFrame) == kEachField;
    bool top = ini.ReadString(kMeasurement, kFieldOrder, kBottomFirst) == kTopFirst;
    v.FieldOrderItem = top ? 0 : 1;
    v.TopFieldFirst = top;

    // Radii, all three read before the chain of limits is applied. Every number is
    // clamped into its control's range (the masks and tracking discs are built
    // for radii of at most 25) before anything uses it.
    DataLineObject geometry;
    geometry.ApertureRadius = ini.ReadInteger(kAperture, kRadius, 5);
    geometry.BkgInnerRadius = ini.ReadInteger(kAperture, kInner, 10);
    geometry.BkgOuterRadius = ini.ReadInteger(kAperture, kOuter, 25);

    // Background form: an unknown word leaves the form controls as they are.
    int form = IndexOf(kForms, ini.ReadString(kBackground, kForm, kForms[0]));
    if (form >= 0) {
        v.BkgForm = form;
        v.GapEnabled = form >= 1;
        v.WidthEnabled = form == 2;
        v.ObjectABkgShape = static_cast<uint8_t>(form);
    }
    geometry.BkgGap = ini.ReadInteger(kBackground, kGap, 10);
    geometry.BkgWidth = ini.ReadInteger(kBackground, kWidth, 25);

    // Tracking: an unknown mode word leaves the mode buttons as they are.
    int mode = IndexOf(kTrackModes, ini.ReadString(kTracking, kTrackingMode, kTrackModes[0]));
    if (mode >= 0) v.TrackMode = mode;
    geometry.TrackRadius = ini.ReadInteger(kTracking, kTrackingRadius, 7);
    geometry.TrackThreshold = ini.ReadInteger(kTracking, kThreshold, 50);
    v.SyncTracking = ini.ReadString(kTracking, kSynchronize, kOn) == kOn;

    ClampObjectGeometry(geometry);
    v.ApertureRadius = geometry.ApertureRadius;
    v.BkgInnerRadius = geometry.BkgInnerRadius;
    v.BkgOuterRadius = geometry.BkgOuterRadius;
    v.BkgGap = geometry.BkgGap;
    v.BkgWidth = geometry.BkgWidth;
    v.TrackRadius = geometry.TrackRadius;
    v.TrackThreshold = geometry.TrackThreshold;
    for (int k = 1; k <= 3; ++k) {
        DataLineObject& m = v.MemorizedRadii[0].Objects[k];
        m.ApertureRadius = v.ApertureRadius;
        m.BkgInnerRadius = v.BkgInnerRadius;
        m.BkgOuterRadius = v.BkgOuterRadius;
        m.TrackRadius = v.TrackRadius;
    }

    // Time signal.
    v.OverlayThreshold = std::clamp(ini.ReadInteger(kTimeSignal, kThreshold, 100), 0, kMaxOverlayThreshold);
    v.ReadOverlayTime = ini.ReadBool(kTimeSignal, kReadKiwi, false);

    // LED signal boxes: without them, clicks on the frame place stars.
    v.SignalBoxesEnabled = ini.ReadBool(kSignalArea, kSignalBoxes, true);
    v.SignalButtonsEnabled = v.SignalBoxesEnabled;
    if (!v.SignalBoxesEnabled) v.StarPositionSet = true;

    // Inserter; anything but the three names is KIWI-OSD.
    int inserter = IndexOf(kInserters, ini.ReadString(kTimeSignal, kInserter, kInserters[1]));
    v.TimeInserterType = inserter >= 0 ? inserter : 1;
    if (v.TimeInserterType != 0) {
        v.OverlayGridLocated = false;
        v.TIViReading = false;
        v.OverlayTimeReading = false;
    }

    // Capture and identification.
    v.CaptureFilePath = ini.ReadString(kCapture, kCapturePath, programFolder);
    v.ObserverName = ini.ReadString(kIdentification, kObserver, "Observer's Name");
    v.PredictionFilePath = ini.ReadString(kIdentification, kPredictionFile, programFolder);
}

bool SettingsFile::WriteDefaults(IniFile& ini, const std::string& programFolder) {
    Writer w(ini);
    w.Str(kFiles, kVideoPath, "/");
    w.Str(kFiles, kCsvPath, "/");
    w.Bool(kFiles, kCsvSameAsVideo, false);
    w.Bool(kFiles, kRememberVideo, true);
    w.Bool(kFiles, kRememberCsv, true);
    w.Bool(kFileRead, kUseAviSynth, true);
    w.Str(kFileRead, kReaderApi, kDirectShow);
    w.Str(kMeasurement, kPhotometry, kPsf);
    w.Str(kMeasurement, kMeasure, kEachFrame);
    w.Str(kMeasurement, kFieldOrder, kBottomFirst);
    w.Int(kAperture, kRadius, 6);
    w.Int(kAperture, kInner, 8);
    w.Int(kAperture, kOuter, 25);
    w.Str(kBackground, kForm, kForms[2]);
    w.Int(kBackground, kGap, 0);
    w.Int(kBackground, kWidth, 5);
    w.Str(kTracking, kTrackingMode, kTrackModes[1]);
    w.Int(kTracking, kTrackingRadius, 6);
    w.Int(kTracking, kThreshold, 95);
    w.Str(kTracking, kSynchronize, kOn);
    w.Int(kTimeSignal, kThreshold, 100);
    w.Bool(kTimeSignal, kReadKiwi, true);
    w.Str(kTimeSignal, kInserter, kInserters[1]);
    w.Bool(kSignalArea, kSignalBoxes, true);
    w.Str(kCapture, kCapturePath, programFolder);
    return w.Ok();
}

bool SettingsFile::WriteCurrent(IniFile& ini, const SettingsValues& v) {
    Writer w(ini);
    PutFilesAndReader(w, v, {v.RememberVideoFolder != 0, v.RememberSavedResultsFolder != 0, v.RememberResultsFolder != 0,
                             v.UseAviSynth != 0});
    PutPhotometry(w, v);
    PutMeasure(w, v);
    PutFieldOrder(w, v);
    PutRadii(w, v);
    PutForm(w, v);
    w.Int(kBackground, kGap, v.BkgGap);
    w.Int(kBackground, kWidth, v.BkgWidth);
    PutTrackMode(w, v);
    w.Int(kTracking, kTrackingRadius, v.TrackRadius);
    w.Int(kTracking, kThreshold, v.TrackThreshold);
    PutSynchronize(w, v);
    w.Int(kTimeSignal, kThreshold, v.OverlayThreshold);
    w.Bool(kTimeSignal, kReadKiwi, v.ReadOverlayTime);
    PutInserter(w, v);
    w.Bool(kSignalArea, kSignalBoxes, v.SignalBoxesEnabled);
    return w.Ok();
}

bool SettingsFile::WriteDialog(IniFile& ini, SettingsValues& v, const SettingsDialogTicks& t,
                               const std::string& programFolder) {
    Writer w(ini);
    // Always: folders, memory flags and the reader.
    PutFilesAndReader(w, v, {t.RememberVideoFolder != 0, t.RememberSavedResultsFolder != 0, t.RememberResultsFolder != 0,
                             t.UseAviSynth != 0});
    // Ticked items, from the main window.
    if (t.Photometry) PutPhotometry(w, v);
    if (t.Measure) PutMeasure(w, v);
    if (t.FieldOrder) PutFieldOrder(w, v);
    if (t.Radii) PutRadii(w, v);
    if (t.Form) PutForm(w, v);
    if (t.Gap) w.Int(kBackground, kGap, v.BkgGap);
    if (t.Width) w.Int(kBackground, kWidth, v.BkgWidth);
    if (t.TrackingMode) PutTrackMode(w, v);
    if (t.TrackingRadius) w.Int(kTracking, kTrackingRadius, v.TrackRadius);
    if (t.TrackingThreshold) w.Int(kTracking, kThreshold, v.TrackThreshold);
    if (t.Synchronize) PutSynchronize(w, v);
    if (t.TimeSignalThreshold) w.Int(kTimeSignal, kThreshold, v.OverlayThreshold);
    if (t.SignalBoxes) w.Bool(kSignalArea, kSignalBoxes, v.SignalBoxesEnabled);
    // Always: time reading, inserter, capture and identification.
    w.Bool(kTimeSignal, kReadKiwi, t.ReadOverlayTime);
    PutInserter(w, v);
    if (v.CaptureFilePath.empty()) v.CaptureFilePath = programFolder;
    w.Str(kCapture, kCapturePath, v.CaptureFilePath);
    w.Str(kIdentification, kObserver, v.ObserverName);
    w.Str(kIdentification, kPredictionFile, v.PredictionFilePath);
    return w.Ok();
}

bool SettingsFile::WritePage(IniFile& ini, SettingsValues& v, const SettingsDialogTicks& t, SettingsPage page,
                             const std::string& programFolder) {
    Writer w(ini);
    switch (page) {
        case SettingsPage::FileReading:
            PutFilesAndReader(w, v, {t.RememberVideoFolder, t.RememberSavedResultsFolder, t.RememberResultsFolder, t.UseAviSynth});
            break;
        case SettingsPage::Measurement:
            if (t.Photometry) PutPhotometry(w, v);
            if (t.Measure) PutMeasure(w, v);
            if (t.FieldOrder) PutFieldOrder(w, v);
            if (t.Radii) PutRadii(w, v);
            if (t.Form) PutForm(w, v);
            if (t.Gap) w.Int(kBackground, kGap, v.BkgGap);
            if (t.Width) w.Int(kBackground, kWidth, v.BkgWidth);
            break;
        case SettingsPage::Tracking:
            if (t.TrackingMode) PutTrackMode(w, v);
            if (t.TrackingRadius) w.Int(kTracking, kTrackingRadius, v.TrackRadius);
            if (t.TrackingThreshold) w.Int(kTracking, kThreshold, v.TrackThreshold);
            if (t.Synchronize) PutSynchronize(w, v);
            break;
        case SettingsPage::TimeInserter:
            if (t.TimeSignalThreshold) w.Int(kTimeSignal, kThreshold, v.OverlayThreshold);
            // "Read from VTI :" is both the tick and, written last, the value.
            if (t.ReadOverlayTime) w.Bool(kTimeSignal, kReadKiwi, v.ReadOverlayTime);
            PutInserter(w, v);
            if (t.SignalBoxes) w.Bool(kSignalArea, kSignalBoxes, v.SignalBoxesEnabled);
            if (v.CaptureFilePath.empty()) v.CaptureFilePath = programFolder;
            w.Str(kCapture, kCapturePath, v.CaptureFilePath);
            w.Str(kIdentification, kObserver, v.ObserverName);
            w.Str(kIdentification, kPredictionFile, v.PredictionFilePath);
            w.Bool(kTimeSignal, kReadKiwi, t.ReadOverlayTime);
            break;
    }
    return w.Ok();
}

bool SettingsFile::WriteLatestPaths(IniFile& ini, const SettingsValues& v) {
    Writer w(ini);
    if (v.RememberVideoFolder) w.Str(kFiles, kVideoPath, v.VideoFolder);
    if (v.RememberSavedResultsFolder) w.Str(kFiles, kCsvPath, v.SavedResultsFolder);
    if (v.RememberResultsFolder) w.Str(kFiles, kCsvInputPath, v.ResultsFolder);
    return w.Ok();
}

template <typename Edit>
SettingsStatus SettingsFile::Transaction(Edit&& edit) const {
    IniFile ini;
    std::string error;
    auto loaded = ini.Load(path_, error);
    if (loaded == IniFile::LoadResult::Failed) return {false, ReadFailure(path_, error)};
    const std::string before = ini.Text();
    if (!edit(ini)) return {false, WriteFailure(path_, "A value holds a line break or a NUL character.")};
    // Nothing changed: the file is left alone (and not created).
    if (ini.Text() == before) return {};
    std::string folder = fileio::ExtractFileDir(path_);
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    if (!ini.Save(path_, error)) return {false, WriteFailure(path_, error)};
    return {};
}

SettingsStatus SettingsFile::LoadSettings(SettingsValues& v) const {
    IniFile ini;
    std::string error;
    if (ini.Load(path_, error) == IniFile::LoadResult::Failed) return {false, ReadFailure(path_, error)};
    ApplyDocument(ini, v, programFolder_);
    return {};
}

SettingsStatus SettingsFile::WriteDefaultSettings(SettingsValues& v) const {
    v.CaptureFilePath = programFolder_;
    return Transaction([&](IniFile& ini) { return WriteDefaults(ini, programFolder_); });
}

SettingsStatus SettingsFile::SaveCurrentSettings(const SettingsValues& v) const {
    return Transaction([&](IniFile& ini) { return WriteCurrent(ini, v); });
}

SettingsStatus SettingsFile::SaveDialogSettings(SettingsValues& v, const SettingsDialogTicks& ticks) const {
    return Transaction([&](IniFile& ini) { return WriteDialog(ini, v, ticks, programFolder_); });
}

SettingsStatus SettingsFile::SaveLatestPaths(const SettingsValues& v) const {
    return Transaction([&](IniFile& ini) { return WriteLatestPaths(ini, v); });
}

SettingsStatus SettingsFile::SavePageSettings(SettingsValues& v, const SettingsDialogTicks& ticks, SettingsPage page) const {
    return Transaction([&](IniFile& ini) { return WritePage(ini, v, ticks, page, programFolder_); });
}

SettingsStatus SettingsFile::SaveCaptureFilePath(const std::string& folder) const {
    return Transaction([&](IniFile& ini) { return ini.WriteString(kCapture, kCapturePath, folder); });
}

SettingsStatus SettingsFile::StartupSettings(SettingsValues& v) const {
    if (!IniExists()) {
        SettingsStatus written = WriteDefaultSettings(v);
        if (!written) {
            // Go on with the defaults as if they had been written.
            IniFile defaults;
            WriteDefaults(defaults, programFolder_);
            ApplyDocument(defaults, v, programFolder_);
            return written;
        }
    }
    return LoadSettings(v);
}

SettingsStatus SettingsFile::ReloadAfterVideoOpen(SettingsValues& v) const {
    if (IniExists()) return LoadSettings(v);
    SettingsStatus first = LoadSettings(v);
    SettingsStatus saved = SaveCurrentSettings(v);
    SettingsStatus again = LoadSettings(v);
    return FirstFailure({first, saved, again});
}

std::string ChooseSettingsPath(const std::string& executablePath, const std::string& xdgConfigHome,
                               const std::string& home) {
    const std::string name = fileio::ExtractFileName(fileio::ChangeFileExt(executablePath, ".ini"));
    const std::string folder = fileio::ExtractFilePath(executablePath);
    const std::string beside = folder + name;
    if (IniFile::FolderWritable(folder.empty() ? "." : folder)) return beside;
    std::string base;
    if (!xdgConfigHome.empty() && xdgConfigHome[0] == '/') base = xdgConfigHome;
    else if (!home.empty()) base = home + "/.config";
    else return beside;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/tevorin/" + name;
}

std::string DefaultSettingsPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    return ChooseSettingsPath(fileio::ExecutablePath(), xdg ? xdg : "", home ? home : "");
}

namespace {
std::string& SettingsPathOverride() {
    static std::string path;
    return path;
}
}  // namespace

SettingsFile ProgramSettingsFile() {
    const std::string& set = SettingsPathOverride();
    return SettingsFile(set.empty() ? DefaultSettingsPath() : set, fileio::ExecutableFolder());
}

void SetSettingsFilePath(const std::string& path) { SettingsPathOverride() = path; }
