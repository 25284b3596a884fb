#pragma once
// The main window: the frame, the measurement controls and the results table.
// Its controls are members under their own names (Button6, CheckBox2, UpDown1 ...)
// so that other windows can read them; its measurement state is State and the
// results table is Table (shown in Memo1).
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "measure/image_primitives.h"
#include "measure/markers.h"
#include "measure/masks.h"
#include "measure/measure_state.h"
#include "measure/photometry.h"
#include "measure/psf.h"
#include "measure/tracking.h"
#include "overlay/overlay_time.h"
#include "overlay/overlay_locate.h"
#include "overlay/signal_tivi.h"
#include "measure/results_table.h"
#include "ui_main_2.h"
#include "video/VfwAvi.h"

class QMenu;

class TPlatform : public QMainWindow, public Ui::TPlatform {
    Q_OBJECT
public:
    explicit TPlatform(QWidget* parent = nullptr);
    ~TPlatform() override;

    MeasureState State;
    MaskState Masks;
    PhotometryState Photometry;
    GammaState Gamma;
    PsfState Psf;
    TrackingState Tracking;
    // The profile drawing of the learning pass (shown by the operation guide).
    QImage ProfileImage{217, 233, QImage::Format_RGB32};
    ResultsTable Table;       // the lines of Memo1
    ResultsTable Memo2Table;  // the hidden scratch memo Memo2
    ResultsTable Memo3Table;  // the prediction report the identification window reads (hidden Memo3)
    QTimer* Timer1;
    QMenu* PopupMenu1;
    // Data rows the graph window is told about when it opens.
    int GraphDataRowCount = 0;

    // Start-up sequence.
    void FormCreate();

    // What the row writer reads from the controls.
    RowContext CurrentRowContext() const;
    // Appends the current frame's rows and shows them unless updating is deferred.
    void AppendResultRows();
    void WriteResultsHeader();
    void WriteStartupResultsHeader();
    // Memo1 follows Table (after any change made to Table directly).
    void RefreshResultsView();

    void SaveResultsFile();
    // Asks for a results file and loads it (first asking whether unsaved rows may
    // go, unless `askDiscard` is false). Returns true when a file was loaded.
    bool LoadResultsFile(bool askDiscard = true);
    // Rows measured since the last save, load or new header.
    bool UnsavedRows = false;
    // True when there are no unsaved rows or the user agrees to lose them.
    bool ConfirmDiscardRows();
    // Loads the given results file (no dialog). On failure shows an error naming
    // the file and changes nothing.
    bool LoadResultsFrom(const std::string& path);
    void OpenGraphWindow();
    // The graph window, when open, redraws (the current object or the table changed).
    void RedrawGraph();
    void ConnectGraphHandlers();
    // The background-form controls of the current object back to their stored state
    // (before a results file or a video is loaded). `overlayThresholdForGhs`: the
    // overlay threshold is reset for GHS-OSD as well as IOTA-VTI.
    void ResetBackgroundFormControls(bool overlayThresholdForGhs);
    // Radius up-down ranges: aperture < inner <= outer <= 25.
    void ChainRadiusLimits();
    void ShowRadiusTexts();
    // Rebuilds object k's aperture masks and, for the current object, shows the cell counts.
    void RebuildMasks(int k);
    // After settings were applied to the controls: the current object takes their
    // radii, gap, width and tracking values, and its masks are rebuilt from them.
    void TakeControlsIntoCurrentObject();

    // Handlers.
    void Button2Click();
    void Button6Click();
    void Button18Click();
    void Button20Click();

    // ---- Frame source and opening a video ----
    std::unique_ptr<TVfwAvi> VfwAvi1;
    double ReaderFrameRate = 0;
    double VideoDuration = 0;
    // Fetches frame n from the reader holding the open video (ReaderKind). On failure
    // `status` holds the reader's status text (DirectShow) or is empty.
    bool FetchFrame(int n, Bitmap24& out, std::string& status);
    // The error box of a failed fetch.
    void ShowFetchError(const std::string& status);
    bool OpenVideo(const std::string& path, bool resultsLoading);
    bool OpenVideoReader();
    bool OpenDshowReader(const std::string& name);
    // The DirectShow reader's run-and-pause step, before a position or direction change.
    void RunPauseIfDshow();
    void WriteAvsScript();
    void ApplyFrameRate();
    // True when a video was chosen and opened.
    bool OpenVideoDialog();
    void Button1Click();
    void AVIRileOpen1Click();

    // ---- Per-frame pipeline ----
    Bitmap24 FrameBitmap;
    Bitmap24 FieldBitmap;
    // Processing order of the objects: A; B, A; B, C, A.
    static std::vector<int> ObjectOrder(int objectCount);
    int Position() const { return ScrollBar1->value(); }
    int MaxPosition() const { return ScrollBar1->maximum(); }
    void ScrollBar1Change(int position);
    void ShowNeighbor();
    void ProcessFrame(int n);
    void ProcessFieldView(int n);
    // Draws the outlines into FrameBitmap and shows it with the markers (or the
    // zoom view in direction mode).
    void ComposeFrame();
    // A run goes on from frame n: the reader fetches the next frames ahead.
    void ReadAheadAfter(int n);
    // The frame beside FrameBitmap that a fetch goes into while FrameBitmap waits
    // to be composed.
    Bitmap24 FetchBitmap;
    // Tracks and measures object k in FrameBitmap (one pass of the object loop).
    void MeasureObject(int k, int n, bool learning);
    // One tracking pass of object k from (x, y): the PSF tracker or the centroid one.
    IntPoint TrackOnce(int k, int n, int x, int y);
    // Writes a position into StartX/StartY and/or PosX/PosY of all three lines.
    void SetObjectPosition(int k, IntPoint p, bool start, bool tracked);
    // Under "Link", moves the start positions of A and C with B.
    void FollowLinkedObjects(IntPoint bStart, IntPoint bTracked, int n);
    PsfOptions CurrentPsfOptions() const;
    TrackControls CurrentTrackControls() const;
    // A placement request: the object being placed settles on its star.
    int PlacementRequest = 0;
    PerObject<uint8_t> BeingPlaced;
    uint8_t AutoDirectionPending = 0;
    uint8_t AutoDirectionEnabled = 1;

    // ---- Run control ----
    bool SingleFrameRequest = false;
    void Timer1Timer();
    // One tick's step of a run: the next frame, or the end of the run.
    void TimerStep();
    // Frames within one tick up to a screen refresh (off with TEVORIN_SERIAL).
    static bool ScreenRateDisplay();
    qint64 RefreshNs() const;
    void SpeedButton1Click();  // play
    void SpeedButton2Click();  // stop
    void SpeedButton3Click();  // to start
    void SpeedButton10Click(); // play backwards
    void StepBy(int delta);    // the step buttons
    void GoToFrame(int n);
    void StartMeasurement();
    void StopMeasurement();
    void Button16Click();  // 1Frame
    void Button21Click();  // DEL
    void ClearMeasurementData();
    void SetFiveUpDownsEnabled(bool on);
    void SetRadiusUpDownsEnabled(bool on);
    void SetDirectionControlsEnabled(bool on);

    // ---- Measured objects and their controls (main_2_objects.cpp) ----
    // "Display Measurement Region": kRegionHilight, kRegionFaint or kRegionHide.
    uint8_t MeasurementRegionDisplay = kRegionHilight;
    // The close-up of the direction setting: [0] the frame region, [1] the copy drawn on.
    Bitmap24 ZoomBitmaps[2];
    PerObject<IntPoint> ZoomCentre;
    // The object has been placed on a star by a click.
    PerObject<uint8_t> Placed;
    // The TIVi marker point (pixels) and whether it has been placed.
    IntPoint TIViMarkerPoint;
    uint8_t TIViMarkerPlaced = 0;
    uint8_t TIViLocateRequest = 0;
    // "Position Set": 0 Star, 1 Signal1, 2 Signal2, 3 TIVi.
    int PositionSetMode() const;
    void ObjectStarAdd();
    void SetPositionOnly();
    void RemoveObject();
    void SelectObject(int k);
    void ShowObjectSettings();
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void SetStarsPosition(int x, int y);
    void UpDown1Click();
    void UpDown2Click();
    void UpDown3Click();
    void UpDown5Click();
    void TrackModeClick(int mode);
    void UpdateLinkControls();
    // Drawing of the pipeline: outlines into FrameBitmap, the zoom view and the
    // markers on Image1.
    void DrawObjectOutlines();
    void DrawZoomView(int k, int x, int y);
    void DrawPositionMarkers();
    void Position1Show(int k);

    // ---- 3-D star view and value panel (main_2_threed.cpp) ----
    // Draws the current object in the 3-D view when it is shown; nothing otherwise.
    void RedrawThreeDView();
    bool ThreeDViewShown() const;
    // Object k's patch for the 3-D view, after tracking, while the view is shown.
    void ReadThreeDPatch(int k);
    bool ValuePanelShown() const;
    // The value panel's edits after one object's photometry: the sums when the
    // readouts carry them, emptied when `cleared` (PSF photometry).
    void ShowValuePanel(const ApertureReadouts* readouts, bool cleared);
    void StarImg3DShow();
    void AfterColorValueOpened();

    // ---- Window openers (main_2_openers.cpp) ----
    // Runs the opener row of a control (its object name): guard, open flag,
    // creation, modal or not, then its follow-up unless the caller does that itself
    // (`followUp` false). True when a window was made.
    bool OpenWindow(const std::string& control, bool followUp = true);
    // The controls that have a row, in table order.
    static std::vector<std::string> OpenerControls();
    void forMutualEvent1Click();
    void AfterMeasurementOption();

    // ---- Occultation presets, tools and exports (main_2_tools.cpp) ----
    // The occultation type chosen in the operation guide (0..4).
    int PresetIndex = 0;
    void ApplyOccultationPreset();
    void CopyCurrentTimetoClipboard1Click();
    // The fit drawing goes into the operation guide's picture while it is open.
    ProfileCanvas GuideCanvas();
    void GuideCanvasDrawn();
    // Set by a placement, cleared when the operation guide opens.
    uint8_t GuidePlacementFlag = 0;
    // Gamma (Edit18, "OFF"/"Measure"/"Field") and interval (UpDown9, Edit19).
    void Edit18Enter();
    void Edit18Exit();
    void GammaModeClick(int mode);
    void UpDown9Click();
    void Edit19Exit();
    // Picture exports and the bitmap source (main_2_picture.cpp).
    std::string BitmapFileName;
    // A bitmap file is shown and measured in place of video frames.
    uint8_t BitmapMode = 0;
    void SaveImage1Click();
    void CopyImagetoClipBoard1Click();
    // "Load bmp" and "Load BMP".
    void LoadBitmapClick();
    bool FetchBitmapFile(Bitmap24& out, std::string& status);
    // ---- Switches (main_2_switches.cpp) ----
    // "Field Measure"; byUser: the user's own click (only that one may replace a
    // table holding data rows by a new header).
    void CheckBox2Click(bool byUser);
    // The box set from code (the settings file), its handler run when it changed.
    void SetFieldMeasure(bool on);
    void CheckBox14Click();
    void SetPsfPhotometry(bool on);
    // "Field Measure", the FWHM/Half Flux captions and Button40 follow "Photometry".
    void ShowPhotometryControls();
    void CheckBox15Click();
    void CheckBox4Click();
    void CheckBox6Click();
    void CheckBox10Click();
    void CheckBox16Click();
    void UpDown11Click();
    void UpDown12Click();
    void UpDown13Click();
    void UpDown15Click();
    void UpDown16Click();
    void Button28Click();
    void Button40Click();
    void DisplayCamcordersTime2Click();
    void estspeedofstring1Click();
    // ---- Settings, switches and options (main_2_settings.cpp) ----
    // "Show Field" is on.
    uint8_t FieldViewShown = 0;
    // The "Photometry" box when "Direction Setting" began.
    uint8_t DirectionPsfSaved = 0;
    // The pointer's last frame position in direction mode.
    IntPoint DirectionPointer;
    // What the rectangle aperture replaced, per object.
    PerObject<uint8_t> SavedBkgShape, SavedTrackMode;
    PerObject<int32_t> SavedBkgWidth, SavedBkgGap;
    // Measurement options: the saturation limit and the first peak of a saturated
    // star (PSF photometry), and a placement applies the occultation preset again.
    int SaturationLimit = 235;
    int InitialPeak = 350;
    uint8_t EasyClick = 0;
    // The overlay threshold of the time reader (UpDown4's position).
    int OverlayThreshold = 100;
    void ConnectSettingsHandlers();
    // The edits beside the up-downs show their positions.
    void SyncUpDownTexts();
    // "DShow": closes the reader given up and reopens the video with the other.
    void ReaderSwitch();
    // A settings-dialog reader button: the selection, the "DShow" box (quietly)
    // and one ReaderSwitch.
    void SelectReader(bool directShow);
    // "DShow" and its caption show DirectShowSelected, without switching.
    void ShowReaderChoice();
    void ComboBox1Change(int item);
    // "IOTA" with a video open: the time line located on the current frame, twice,
    // with the field order the reading finds (the settings dialog's "IOTA VTI" too).
    void LocateIotaLine();
    void CheckBox5Click();
    // The time-line reader's state and its last reading (main_2_overlay.cpp).
    overlay::OverlayState OverlayReader;
    overlay::OverlayTimeLine OverlayLine;
    // Frames above 26 per second and wider than 1.4 x their height.
    uint8_t WideFrame = 0;
    void ConnectOverlayHandlers();
    // Reads the time line of `bmp` into the strings and the time boxes.
    void ShowOverlayTime(const Bitmap24& bmp);
    // The time step of ProcessFrame: the overlay time, or the TIVi display.
    void ReadFrameTime(const Bitmap24& bmp);
    // "Field Order" follows the order the reader detected; the next reading decides again.
    void ApplyDetectedFieldOrder();
    // The last reading as the probe prints it.
    std::string OverlayReading() const;
    void UpDown10Click();
    void UpDown4Click();
    // ---- Signal boxes and the TIVi display (main_2_signals.cpp) ----
    QMenu* PopupMenu2 = nullptr;  // on the time boxes
    overlay::TIViMarker TIViMarker;
    overlay::TIViTemplate TIViTemplatePoints{};
    overlay::TIViSamples TIViSamplePoints{};
    std::string TIViText;         // the last TIVi reading
    uint8_t TIViMarkerShown = 0;  // the TIVi marker is drawn
    // Runs the grid locate of a TIVi click while "KIWI" is checked.
    std::function<void(const Bitmap24&)> LocateGridHook;
    void ConnectSignalHandlers();
    overlay::OverlayControls SignalControls() const;
    void PositionSetClick(int mode);
    // Both detectors into the three lines and the lamps (while the boxes are enabled).
    void DetectSignals(const Bitmap24& bmp);
    // The locate asked for by a TIVi click.
    void LocateOnTIViRequest(const Bitmap24& bmp);
    void ShowTIViReading(const Bitmap24& bmp);
    void PositionMarkerForTIViShow();
    void DrawSignalAndTIViMarkers();
    void IViavailable1Click();
    void IViunavailable1Click();
    void Button33Click();
    // ---- Locating the overlay and the GPS record (main_2_locate.cpp) ----
    overlay::LocatorState Locator;
    overlay::GpsRecord GpsRecord;
    uint8_t GridShown = 0;   // a locate has placed the grid marker
    std::string LastLocate;  // how the last locate ended
    std::string LastGps;     // how the last GPS reading ended
    void ConnectLocateHandlers();
    overlay::OverlayControls LocateControls(int width, int height) const;
    // The frame at ScrollBar1 through the active reader; its error box on failure.
    bool FetchForLocate(Bitmap24& bmp);
    void LocateOverlay();
    void LocateOverlayAt(int x, int y);
    void NoteLocate(const overlay::LocateResult& r);
    void LocateOverlayGrid(const Bitmap24& bmp);
    // A click that places a GHS-OSD overlay: the cell origin under it, located.
    void PlaceGhsOverlay(int x, int y);
    void PositionMarkerForTIViShow2();
    void ShowGpsCells(const overlay::GpsResult& r);
    void ReadIotaGpsPage();
    void ReadGhsGpsLine(int x, int y);
    void Map1Click();
    // The GPS page (IOTA-VTI) or position line (GHS-OSD) read into GpsRecord for "Map".
    void ReadGpsForMap();
    std::string GridProbeText() const;
    std::string GpsProbeText() const;
    // As the probe's tivi prints them: marker, points, text.
    std::string TIViProbeText() const;
    // "s1= s2= panel1= panel2=".
    std::string SignalProbeText() const;
    void RectangleAperture1Click();
    // "Standard", "Avoid Sunlit Face", "Meteor/Lunar Limb" (form 0..2).
    void BkgFormClick(int form);
    void UpDown6Click();
    void UpDown8Click();
    void UpDown7Click();
    void Button7Click();
    // The click that ends direction mode gives back what "Direction Setting" took.
    void EndDirectionMode();
    void Image1MouseMove(int x, int y);
    void CheckBox1Click();
    void RadioGroup3Click(int item);
    void TrackBar1Change(int position);
    // Frame1 (which 1) or Frame2 (2) of the current object's estimated track, and
    // of every object's linked track.
    void SetTrackRefClick(int which);
    void ClearTrackRefClick(int which);
    void SetLinkRefClick(int which);
    void ClearLinkRefClick(int which);
    void ShowTrackRefLabels();
    void ShowLinkRefLabels();
    void Button10Click();
    void Button17Click();
    void UpdateSettingItems1Click();
    void MeasuremenOption1Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetupControls();
    // Scroll areas around the frame and around the window's content.
    void SetupScrolling();
    void ConnectHandlers();
    bool timerWasActive_ = false;
    int positionSetMode_ = 0;   // the "Position Set" mode a Show Field guard keeps
    int modalDepth_ = 0;
    bool inFrame_ = false;       // the frame handler never runs re-entrantly
    bool fetchFailed_ = false;   // the last fetch of the current frame failed
    bool batching_ = false;       // Timer1Timer steps through several frames
    bool composePending_ = false; // FrameBitmap is measured but not yet shown
    std::string avsWriteError_;  // why the last script could not be written
    std::string dshowPath_;      // the file the DirectShow reader holds
    void ConnectRunHandlers();
    void ConnectObjectHandlers();
    void ConnectOpeners();
    void ConnectToolHandlers();
    void ConnectSwitchHandlers();
    void ConnectPictureHandlers();
    // The designed places of the picture area, of the controls in the band under it
    // and of the results table (its height as "More" last set it), which UpDown13
    // rearranges and gives back.
    struct ResultsLayout {
        QRect picture;
        std::vector<std::pair<QWidget*, QRect>> band;
        QRect memo;
    } resultsLayout_;
    void TakeResultsLayout();
    void PlaceResultsTable();
    void GammaRedraw();
    void ShowGamma();
    // FrameStep keeps its direction and takes `step`; the shadow velocity per interval follows.
    void ShowInterval(int step);
    // A radius control changed: written into the current object, limits and masks follow.
    void RadiusChanged(TUpDown* control, int32_t DataLineObject::*field);
    void CheckObjectRadio(int k);
    void ShowObjectMenu();
    bool showingSettings_ = false;
    // What "Direction Setting" disabled, to be enabled again at its end.
    static constexpr size_t kDirectionLockedCount = 21;
    std::array<bool, kDirectionLockedCount> directionLocked_{};
};

// The one main window (null before it exists and after it is gone).
extern TPlatform* Platform;
