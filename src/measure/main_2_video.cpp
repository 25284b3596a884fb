// The main window: opening a video and taking over its size, rate and frame count.
#include <QPainter>
#include <algorithm>
#include <cctype>

#include "measure/avs_writer.h"
#include "measure/main_2_audio.h"
#include "platform/qt_text.h"
#include "measure/Profile.h"
#include "measure/main_2.h"
#include "video/avidshow.h"
#include "measure/preserveset.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/numtext.h"

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

const char* kAvisynthMissing = "Fail to get a bitmap.\r\nIt is necessary to install AVISynth";
const char* kAvisynthOff = "Fail to get a bitmap.\r\nSet \"Use AVISynth\" in Update Setting Items - File reading";
}  // namespace

bool TPlatform::FetchFrame(int n, Bitmap24& out, std::string& status) {
    status.clear();
    if (BitmapMode) return FetchBitmapFile(out, status);
    // The reader that holds the open video, whatever the settings now choose for the next opening.
    if (State.ReaderKind == 1) {
        DshowGetFrame(n, out, status, State.RunningFlag != 0, State.FrameStep);
        return status == "S_OK";
    }
    if (!VfwAvi1) return false;
    return VfwAvi1->GetFrame(n, out);
}

void TPlatform::RunPauseIfDshow() {
    if (State.ReaderKind == 1) DshowRunPause();
}

bool TPlatform::OpenDshowReader(const std::string& name) {
    MeasureState& s = State;
    const bool hadDshow = s.ReaderKind == 1 && s.ReaderOpen;
    DshowClose();
    std::string error;
    DshowOpen(s.VideoFileName, error);
    const int width = DshowVideoWidth(), height = DshowVideoHeight();
    const long double rate = DshowFramesPerSecond();
    const double duration = DshowDurationSeconds();
    if (error.empty() && (width <= 0 || height <= 0 || numtext::RoundHalfAway(static_cast<double>(duration * rate)) < 1))
        error = kDshowOpenError;
    if (!error.empty()) {
        Dialogs().ShowError("Could not open .AVI file.\r\n" + name + "\r\n" + error);
        DshowClose();
        if (hadDshow) {
            // The video open before stays usable; the log keeps the failed open for the log window.
            const auto log = DshowStepLog;
            const int index = DshowStepLogIndex;
            std::string again;
            DshowOpen(dshowPath_, again);
            DshowRunPause();
            DshowStepLog = log;
            DshowStepLogIndex = index;
        }
        return false;
    }
    if (VfwAvi1) VfwAvi1->Close();
    s.FrameWidth = width;
    s.FrameHeight = height;
    ReaderFrameRate = static_cast<double>(rate);
    VideoDuration = duration;
    s.ReaderKind = 1;
    ApplyFrameRate();
    DshowRunPause();
    dshowPath_ = s.VideoFileName;
    return true;
}

void TPlatform::ShowFetchError(const std::string& status) {
    if (BitmapMode) return Dialogs().ShowError("Fail to get a bitmap.\r\n" + BitmapFileName);
    if (State.ReaderKind == 1) Dialogs().ShowError("Fail to get a bitmap.\r\n" + status);
    else Dialogs().ShowError(State.UseAviSynth ? kAvisynthMissing : kAvisynthOff);
}

void TPlatform::ApplyFrameRate() {
    State.VideoFrameRate = ReaderFrameRate;
    State.VideoFrameRateInt = static_cast<int32_t>(numtext::RoundHalfEven(ReaderFrameRate));
    Edit30->setText(QStr(numtext::FormatWidth(ReaderFrameRate, 6, 2)));
}

void TPlatform::WriteAvsScript() {
    if (Lower(State.VideoFileExt) == ".avs") return;
    std::vector<std::string> lines = ::WriteAvsScript(State.VideoFileName, DisplayCamcordersTime2->isChecked());
    Memo2Table.Assign(std::move(lines));
    if (!Memo2Table.SaveToFile(State.AvsFileName, avsWriteError_)) avsWriteError_ = "\r\n" + avsWriteError_;
    Memo2Table.Clear();
}

bool TPlatform::OpenVideoReader() {
    MeasureState& s = State;
    const std::string name = fileio::ExtractFileName(s.VideoFileName);
    if (Lower(s.VideoFileExt) == ".avs") {
        s.DirectShowSelected = 0;
        ShowReaderChoice();
        CheckBox7->setEnabled(false);
    } else {
        CheckBox7->setEnabled(true);
    }
    if (s.DirectShowSelected) {
        if (!OpenDshowReader(name)) return false;
        Psf.PixelAspect = PixelAspectFor(ReaderFrameRate, s.FrameWidth, s.FrameHeight);
        s.ReaderOpen = 1;
        s.VideoOpened = 1;
        return true;
    }
    // The new file is opened beside the old one, which stays usable if this fails.
    auto reader = std::make_unique<TVfwAvi>();
    avsWriteError_.clear();
    if ((s.UseAviSynth || DisplayCamcordersTime2->isChecked()) && Lower(s.VideoFileExt) != ".avs") WriteAvsScript();
    const std::string& openPath = s.UseAviSynth ? s.AvsFileName : s.VideoFileName;
    if (!reader->Open(openPath)) {
        // A script that could not be written says why after the usual text.
        // Why the script could not be written or read follows the usual text.
        std::string why = s.UseAviSynth ? avsWriteError_ : "";
        if (why.empty() && Lower(fileio::ExtractFileExt(openPath)) == ".avs" && !reader->LastError().empty())
            why = "\r\n" + reader->LastError();
        Dialogs().ShowError("Could not open .AVI file.\r\n" + name + why);
        return false;
    }
    Bitmap24 first;
    if (!reader->GetFrame(0, first)) {
        Dialogs().ShowError(s.UseAviSynth ? kAvisynthMissing : kAvisynthOff);
        return false;
    }
    if (VfwAvi1) VfwAvi1->Close();
    if (s.ReaderKind == 1) DshowClose();
    VfwAvi1 = std::move(reader);
    s.FrameWidth = first.Width();
    s.FrameHeight = first.Height();
    s.ReaderKind = 0;
    ReaderFrameRate = VfwAvi1->GetFrameRate();
    ApplyFrameRate();
    Psf.PixelAspect = PixelAspectFor(ReaderFrameRate, s.FrameWidth, s.FrameHeight);
    s.ReaderOpen = 1;
    s.VideoOpened = 1;
    return true;
}

bool TPlatform::OpenVideo(const std::string& path, bool resultsLoading) {
    MeasureState& s = State;
    // Names and flags change only when the open succeeds.
    const std::string oldName = s.VideoFileName, oldAvs = s.AvsFileName, oldExt = s.VideoFileExt;
    const uint8_t oldDshow = s.DirectShowSelected;
    s.VideoFileName = path;
    s.AvsFileName = fileio::ChangeFileExt(path, ".avs");
    s.VideoFileExt = fileio::ExtractFileExt(path);
    if (!OpenVideoReader()) {
        s.VideoFileName = oldName;
        s.AvsFileName = oldAvs;
        s.VideoFileExt = oldExt;
        s.DirectShowSelected = oldDshow;
        CheckBox7->setEnabled(Lower(oldExt) != ".avs");
        ShowReaderChoice();
        return false;
    }
    s.VideoFolder = fileio::ExtractFileDir(path);
    // A settings write that fails is reported once, with the re-read below.
    const SettingsStatus pathsSaved = SaveLatestPaths();

    CheckBox2->setEnabled(true);
    SetRadiusUpDownsEnabled(true);
    GroupBox8->setEnabled(true);
    Image1->SetPictureSize(720, 579);
    {
        QPainter p(&Image1->Picture());
        p.setPen(QColor(0xC0, 0xC0, 0xC0));
        p.drawRect(0, 0, 719, 578);
    }
    Image1->Changed();
    Edit5->setText(QStr(path));

    const int count = s.ReaderKind == 1 ? static_cast<int>(numtext::RoundHalfAway(VideoDuration * ReaderFrameRate))
                                        : VfwAvi1->FrameCount();
    {
        const QSignalBlocker block(ScrollBar1);  // no frame is shown before the video counts as open
        ScrollBar1->setRange(0, std::max(0, count - 1));
        ScrollBar1->setValue(0);
    }
    AudioVideoOpened(*this);
    s.TIViReading = 0;
    s.OverlayTimeReading = 0;
    const TimeCaptions captions = ShowTimeCaptions();
    Edit24->setText(QStr(captions.Edit24));
    Edit25->setText(QStr(captions.Edit25));
    Edit26->setText(QStr(captions.Edit26));
    Edit27->setText(QStr(captions.Edit27));
    for (int k = 1; k <= 3; ++k) RebuildMasks(k);

    if (!resultsLoading) WriteResultsHeader();
    s.LastMeasuredFrame = -1;
    RebuildMasks(s.CurrentObject);

    for (int k = 1; k <= 3; ++k) s.TrackRefPoints[k] = {};
    Edit40->setText("Frame1");
    Edit41->setText("Frame2");

    Add1->setEnabled(true);
    Remove1->setEnabled(false);
    s.ObjectCount = 1;
    s.CurrentObject = 1;
    RadioButton7->setChecked(true);
    RadioButton8->setEnabled(false);
    RadioButton9->setEnabled(false);

    // Loaded results keep the objects their file gave over the settings re-read.
    const DataLineSet loaded = s.DataLines;
    ReportSettingsFailure({pathsSaved, ReloadSettingsAfterVideoOpen()});
    if (resultsLoading) {
        s.DataLines = loaded;
        ShowObjectSettings();
        for (int k = 1; k <= 3; ++k) {
            RebuildMasks(k);
            BuildTrackMask(Masks, k, s.FrameObject(k).TrackRadius);
        }
    }
    s.VideoOpen = 1;
    s.RunningFlag = 0;
    WideFrame = ReaderFrameRate > 26 && s.FrameHeight > 0 && double(s.FrameWidth) / s.FrameHeight > 1.4 ? 1 : 0;
    if (s.TimeInserterType == 0) {
        s.OverlayGridLocated = 1;
        s.OverlayTimeReading = 1;
        LocateOverlay();
    } else if (s.TimeInserterType == 2) {
        UpDown4->SetPosition(100);
        Edit4->setText("100");
        OverlayThreshold = 100;
        OverlayReader.ReadLetters = false;
        s.OverlayGridLocated = 1;
        Locator.GhsLocateEnabled = 1;
        LocateOverlayAt(390, 387);
    }
    ShowNeighbor();
    // Only a reading detects an order: without one the user's choice stands.
    if (s.TimeInserterType != 1 && CheckBox5->isChecked()) ApplyDetectedFieldOrder();
    return true;
}

bool TPlatform::OpenVideoDialog() {
    if (State.RecordingFlag || ThreeDViewShown()) return false;
    if (AudioBlocksVideoOpen()) return false;
    const std::string path =
        Dialogs().OpenFileName({"Open video", State.VideoFolder, "", "Video files (*.avi *.avs *.mp4 *.mkv *.mov *.dv);;All files (*)"});
    if (path.empty()) return false;
    const bool opened = OpenVideo(path, false);
    // The guide belongs to the video it was opened over.
    if (Profile) Profile->close();
    return opened;
}

void TPlatform::Button1Click() {
    if (State.RunningFlag) return;
    AVIRileOpen1Click();
}

void TPlatform::AVIRileOpen1Click() {
    if (CheckBox1->isChecked() || State.RecordingFlag) return;
    if (!ConfirmDiscardRows()) return;
    ResetBackgroundFormControls(false);
    const bool psf = CheckBox14->isChecked();
    CheckBox14->setChecked(false);
    const bool opened = OpenVideoDialog();
    CheckBox14->setChecked(psf);
    // The occultation type chosen in the guide sets the objects of every new video.
    if (opened) ApplyOccultationPreset();
}
