#pragma once
// The measurement state of the main window: the per-frame records of the three
// measured objects, the run flags and the description of the open video. One
// instance lives in the main window; other windows read and write it directly.
#include <array>
#include <cassert>
#include <cstdint>
#include <string>

// 1-based per-object storage: index 1, 2, 3 for objects A, B, C.
template <typename T>
struct PerObject {
    std::array<T, 3> items{};
    T& operator[](int k) {
        assert(k >= 1 && k <= 3);
        return items[static_cast<size_t>(k - 1)];
    }
    const T& operator[](int k) const {
        assert(k >= 1 && k <= 3);
        return items[static_cast<size_t>(k - 1)];
    }
};

// Background area forms.
enum BkgShapeKind : uint8_t { kShapeRing = 0, kShapeSunlitFace = 1, kShapeLimb = 2, kShapeRectangle = 3 };
// Star tracking modes.
enum TrackModeKind : uint8_t { kTrackAnchor = 0, kTrackDrift = 1, kTrackOff = 2, kTrackCsv = 3 };

struct DataLineObject {
    double Value = 0;
    int32_t PeakHeight = 0;
    double PeakEstimate = 0;
    int32_t BackgroundLevel = 0;
    int32_t AperturePixels = 0;
    int32_t BackgroundPixels = 0;
    double Fwhm = 0;
    int32_t ApertureRadius = 0;
    int32_t BkgInnerRadius = 0;
    int32_t BkgOuterRadius = 0;
    uint8_t BkgShape = kShapeRing;
    int32_t StartX = 0, StartY = 0;
    int32_t PosX = 0, PosY = 0;
    int32_t SpinX = 0, SpinY = 0;
    int32_t BkgWidth = 0;
    int32_t BkgGap = 0;
    uint8_t TrackMode = kTrackAnchor;
    int32_t TrackRadius = 0;
    int32_t TrackThreshold = 0;
    uint8_t SyncTracking = 0;
    uint8_t EstimatedTrack = 0;
    double PeakAboveBackground = 0;
};

// One measured line: the whole frame or one video field.
struct DataLine {
    int32_t FrameNo10 = 0;
    uint8_t Signal1Detected = 0;
    uint8_t Signal2Detected = 0;
    PerObject<DataLineObject> Objects;
    std::string SoundText;
    std::string Note;
};

// Entry 0 the frame, 1 field 1, 2 field 2.
using DataLineSet = std::array<DataLine, 3>;

struct FramePoint {
    int32_t frame = -100, x = -100, y = -100;
    bool IsSet() const { return frame >= 0; }
};

struct IntPoint {
    int32_t x = 0, y = 0;
};

// Time strings read from the time inserter's overlay for the two fields, written
// into the results rows as they were read.
struct OverlayTimeText {
    std::string OverlayHour1, OverlayMinute1, OverlaySeconds1;
    std::string OverlayHour2, OverlayMinute2, OverlaySeconds2;
    std::string VtiFieldCount1, VtiFieldCount2;
};

struct MeasureState {
    DataLineSet DataLines;
    DataLineSet DataLinesDefault;

    // Per-object settings kept outside the records.
    // TrackRefPoints[k][0] start point, [1] Frame1, [2] Frame2; LinkRefPoints[k][0..1].
    PerObject<std::array<FramePoint, 3>> TrackRefPoints;
    PerObject<std::array<FramePoint, 2>> LinkRefPoints;
    PerObject<IntPoint> SpinPoint;
    PerObject<double> PsfSigma;
    PerObject<uint8_t> RectangleAperture;
    PerObject<int32_t> RectangleWidth;
    PerObject<int32_t> RectangleHeight;

    uint8_t RunningFlag = 0;
    uint8_t RecordingFlag = 0;
    uint8_t ReverseFlag = 0;
    int32_t FrameStep = 1;
    int32_t LastMeasuredFrame = -1;
    int32_t ObjectCount = 1;
    int32_t CurrentObject = 1;
    uint8_t VideoOpen = 0;
    uint8_t VideoOpened = 0;
    uint8_t ReaderOpen = 0;
    uint8_t ResultsLoaded = 0;
    std::string VideoFileName, AvsFileName, VideoFileExt;
    int32_t FrameWidth = 0, FrameHeight = 0;
    double VideoFrameRate = 0;
    int32_t VideoFrameRateInt = 0;
    uint8_t ResultsFormatVersion = 2;
    int32_t ResultsHeaderLines = 6;
    int32_t FirstRowFrame = 0;
    uint8_t DirectShowSelected = 1;
    uint8_t ReaderKind = 2;
    uint8_t UseAviSynth = 1;
    uint8_t TimeInserterType = 0;
    uint8_t DirectionMode = 0;
    uint8_t GraphWindowOpen = 0;
    uint8_t TIViReadOk = 0;
    uint8_t AnalyseAfterCapture = 1;
    uint8_t PredictionLoaded = 0;
    uint8_t MeasurePeakPixel = 0;

    IntPoint Signal1Position, Signal2Position, ClickPosition;
    // Remembered folders of the open and save dialogs.
    std::string VideoFolder, ResultsFolder, SavedResultsFolder;
    // Settings-file variables: results files follow the video's folder; which
    // folders are written back; the radii last read from the file (element 0,
    // blocks 1..3); the LED signal boxes; folders of the capture and
    // identification windows and the observer's name.
    uint8_t CsvFolderFollowsVideo = 0;
    uint8_t RememberVideoFolder = 1, RememberSavedResultsFolder = 1, RememberResultsFolder = 1;
    DataLineSet MemorizedRadii;
    uint8_t SignalBoxesEnabled = 1;
    std::string CaptureFilePath, ObserverName, PredictionFilePath;
    // Field order of the overlay reader and its reading switches.
    uint8_t TopFieldFirst = 0;
    uint8_t OverlayGridLocated = 0, TIViReading = 0, OverlayTimeReading = 0;

    OverlayTimeText Overlay;

    // Writes one object's setting into all three lines: every writer of a setting
    // keeps the frame line and both field lines identical.
    template <typename F>
    void ForAllLines(int k, F&& set) {
        for (auto& line : DataLines) set(line.Objects[k]);
    }
    DataLineObject& FrameObject(int k) { return DataLines[0].Objects[k]; }
    const DataLineObject& FrameObject(int k) const { return DataLines[0].Objects[k]; }
};

// Cleans the text of a numeric edit box: digits and one decimal point only ("0"
// before a leading point, "0" after a trailing one, "0" when nothing is left).
void SanitizeNumericText(std::string& text);

// Clamps an object's geometry into the controls' ranges: aperture < inner <= outer
// <= 25, width and gap 0..25, tracking radius 0..25, threshold 0..99.
void ClampObjectGeometry(DataLineObject& o);
