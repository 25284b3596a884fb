#pragma once
// The program's settings file: 29 keys in 10 sections, read and written by the
// routines below. Each routine is one transaction on the file: it reads the file
// afresh, applies all of its keys, and writes the whole file through a temporary
// file renamed over the old one, so the old file survives any failure. A file
// that exists but cannot be read is never written back.
//
// The routines work on SettingsValues, a plain copy of what the main window's
// controls hold and of the variables these routines own; the main window fills
// one before a call and takes the changed values back after it.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "measure/measure_state.h"

class IniFile;

struct SettingsValues {
    // Last-used folders and how they are remembered.
    std::string VideoFolder, SavedResultsFolder, ResultsFolder;
    bool CsvFolderFollowsVideo = false;
    bool RememberVideoFolder = true, RememberSavedResultsFolder = true, RememberResultsFolder = true;
    // Video reading; DirectShowSelected is also the "DShow" box.
    bool UseAviSynth = true;
    bool DirectShowSelected = true;
    // Measurement: "Photometry" checked for PSF photometry, "Field Measure",
    // the "Field Order" item (0 top first, 1 bottom first) and its flag.
    bool PsfPhotometry = false;
    bool FieldMeasure = false;
    int FieldOrderItem = 1;
    bool TopFieldFirst = false;
    // Radius up-downs (aperture, inner and outer background radius).
    int ApertureRadius = 5, BkgInnerRadius = 10, BkgOuterRadius = 25;
    // Background form: the checked one of "Standard", "Avoid Sunlit Face",
    // "Meteor/Lunar Limb" (0..2; -1 none), the gap and width up-downs and whether
    // they are enabled, and the form of object A.
    int BkgForm = 0;
    int BkgGap = 10, BkgWidth = 25;
    bool GapEnabled = false, WidthEnabled = false;
    uint8_t ObjectABkgShape = kShapeRing;
    // Star tracking: the checked one of "Anchor", "Drift", "OFF" (0..2; -1 none
    // of them), radius, threshold and "Sync-Tracking APT".
    int TrackMode = 1;
    int TrackRadius = 7, TrackThreshold = 50;
    bool SyncTracking = true;
    // Time signal: the overlay threshold up-down, the "KIWI" box, the inserter
    // (0 IOTA-VTI, 1 KIWI-OSD, 2 GHS-OSD; also the inserter combo box's item)
    // and the overlay reading switches that a change of inserter clears.
    int OverlayThreshold = 100;
    bool ReadOverlayTime = false;
    int TimeInserterType = 0;
    bool OverlayGridLocated = false, TIViReading = false, OverlayTimeReading = false;
    // LED signal boxes: whether they are used, whether the "Signal1" and
    // "Signal2" placement buttons are enabled, and whether "Star" is checked.
    bool SignalBoxesEnabled = true;
    bool SignalButtonsEnabled = true;
    bool StarPositionSet = true;
    // Folders and texts of the capture and identification windows.
    std::string CaptureFilePath, ObserverName, PredictionFilePath;
    // The radii last read from the file: element 0, blocks 1..3.
    DataLineSet MemorizedRadii{};
};

// What the settings dialog contributes to SaveDialogSettings: the values of its
// own boxes and its "save this item" ticks.
struct SettingsDialogTicks {
    // ".AVI", ".CSV Output", ".CSV Input", "Use AviSynth", "Read from VTI :".
    bool RememberVideoFolder = true, RememberSavedResultsFolder = true, RememberResultsFolder = true;
    bool UseAviSynth = true;
    bool ReadOverlayTime = false;
    // Items written from the main window only where ticked.
    bool Photometry = false, Measure = false, FieldOrder = false, Radii = false, Form = false, Gap = false,
         Width = false, TrackingMode = false, TrackingRadius = false, TrackingThreshold = false,
         Synchronize = false, TimeSignalThreshold = false, SignalBoxes = false;
};

// The settings dialog's pages, each written by its own "Save" button: a key
// whose tick is clear is left as the file has it.
enum class SettingsPage { FileReading, Measurement, Tracking, TimeInserter };

// Outcome of a routine. On failure `message` is the text of the error box,
// naming the file; the values the routine was given stay usable.
struct SettingsStatus {
    bool ok = true;
    std::string message;
    explicit operator bool() const { return ok; }
};

// The first failure of several steps (the user is told once).
SettingsStatus FirstFailure(std::initializer_list<SettingsStatus> steps);

class SettingsFile {
public:
    // `path` of the file; `programFolder` (with its trailing separator) is the
    // default of the capture folder and the prediction file.
    SettingsFile(std::string path, std::string programFolder);

    const std::string& Path() const { return path_; }
    const std::string& ProgramFolder() const { return programFolder_; }

    bool IniExists() const;
    // Reads every key into `v` (read defaults for absent or invalid values;
    // numbers clamped into their controls' ranges). An unreadable file leaves
    // `v` as it was.
    SettingsStatus LoadSettings(SettingsValues& v) const;
    // Writes the 25 default values and sets CaptureFilePath to the program folder.
    SettingsStatus WriteDefaultSettings(SettingsValues& v) const;
    // Writes every key but the capture and identification ones from `v`.
    SettingsStatus SaveCurrentSettings(const SettingsValues& v) const;
    // Writes what the settings dialog saves; fills an empty CaptureFilePath.
    SettingsStatus SaveDialogSettings(SettingsValues& v, const SettingsDialogTicks& ticks) const;
    // Writes the remembered folders.
    SettingsStatus SaveLatestPaths(const SettingsValues& v) const;
    // Writes one page of the settings dialog; the time-inserter page fills an
    // empty CaptureFilePath.
    SettingsStatus SavePageSettings(SettingsValues& v, const SettingsDialogTicks& ticks, SettingsPage page) const;
    // Writes the capture window's folder, and only that key.
    SettingsStatus SaveCaptureFilePath(const std::string& folder) const;

    // Start-up: the default values are written when there is no file, then the
    // file is read. When the defaults cannot be written they are still applied.
    SettingsStatus StartupSettings(SettingsValues& v) const;
    // After a video was opened: the file is read again; when it is missing the
    // read defaults are applied, all current settings written and read back.
    SettingsStatus ReloadAfterVideoOpen(SettingsValues& v) const;

    // Pure parts of the routines, on a document in memory.
    static void ApplyDocument(const IniFile& ini, SettingsValues& v, const std::string& programFolder);
    static bool WriteDefaults(IniFile& ini, const std::string& programFolder);
    static bool WriteCurrent(IniFile& ini, const SettingsValues& v);
    static bool WriteDialog(IniFile& ini, SettingsValues& v, const SettingsDialogTicks& t,
                            const std::string& programFolder);
    static bool WriteLatestPaths(IniFile& ini, const SettingsValues& v);
    static bool WritePage(IniFile& ini, SettingsValues& v, const SettingsDialogTicks& t, SettingsPage page,
                          const std::string& programFolder);

private:
    template <typename Edit>
    SettingsStatus Transaction(Edit&& edit) const;

    std::string path_;
    std::string programFolder_;
};

// Where the settings file lives: beside the executable, named after it with
// ".ini", when that folder can be written; otherwise
// `configHome`/tevorin/<name>.ini, with `configHome` $XDG_CONFIG_HOME or
// `home`/.config.
std::string ChooseSettingsPath(const std::string& executablePath, const std::string& xdgConfigHome,
                               const std::string& home);
// ChooseSettingsPath for the running program and its environment.
std::string DefaultSettingsPath();

// The program's settings file: DefaultSettingsPath() and the executable's folder,
// unless a path was set (tests and the harness point it into a folder of theirs).
SettingsFile ProgramSettingsFile();
void SetSettingsFilePath(const std::string& path);
