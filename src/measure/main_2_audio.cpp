#include "measure/main_2_audio.h"

#include <QApplication>
#include <future>

#include "measure/main_2.h"
#include "measure/msg1.h"
#include "measure/soundindicator1.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/qt_text.h"

uint8_t WavExtractionPending = 1, WavExtracting = 0, WavExtracted = 0;

namespace {
// The copy this program wrote, the only WAV file it deletes: a "tvm.wav" the user
// keeps in a folder where no copy was made stays.
std::string writtenWav;

void DeleteWrittenWav() {
    if (!writtenWav.empty() && fileio::FileExists(writtenWav)) fileio::DeleteFile(writtenWav);
    writtenWav.clear();
}

// The copy on a worker while Tmsg shows; windows repaint, nothing else can be done.
// False with the reason (no sound track, no decoder, the folder not writable).
bool CopyAudio(TPlatform& p, const std::string& video, const std::string& wav, std::string& error) {
    Tmsg* msg = new Tmsg(&p);
    msg->setAttribute(Qt::WA_DeleteOnClose);
    msg->show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    auto copy = std::async(std::launch::async, [video, wav] {
        TVfwAvi copier;
        const bool ok = copier.SaveAudioAsWav(video, wav);
        return std::make_pair(ok, copier.LastError());
    });
    while (copy.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const auto [ok, why] = copy.get();
    msg->close();
    error = why;
    return ok;
}
}  // namespace

bool AudioDisplayGuard(const TPlatform& p) {
    return p.State.VideoOpen && !p.State.RecordingFlag && !SoundIndicatorShown && !WavExtracting;
}

QWidget* OpenAudioDisplay(TPlatform& p) {
    // 1
    p.CheckBox1->setChecked(false);
    // 2
    const std::string video = StdStr(p.Edit5->text());
    if (!fileio::FileExists(video)) {
        Dialogs().Message(MsgKind::Error, ".AVI file not found");
        return nullptr;
    }
    // 3
    WavFileName = fileio::ExtractFilePath(video) + "tvm.wav";
    // 4
    const bool yes = !WavExtractionPending ||
                     Dialogs().AskYesNo("Creating Wavfile. From several seconds to several minutes are required to this "
                                        "processing. Starting this proccess?");
    if (!yes) {
        // 8
        Dialogs().Message(MsgKind::Warning, "WAV data could not be read.");
        return nullptr;
    }
    // 5
    WavExtracting = 1;
    if (WavExtractionPending) {
        std::string error;
        WavExtracted = CopyAudio(p, video, WavFileName, error) ? 1 : 0;
        if (WavExtracted) writtenWav = WavFileName;
        // A copy that fails says why (a video without a sound track among others).
        else Dialogs().Message(MsgKind::Error, error.empty() ? "The sound track could not be copied." : error);
    } else {
        WavExtracted = 1;
    }
    TSoundIndicator* display = nullptr;
    // 6
    if (WavExtracted) {
        WavExtractionPending = 0;
        display = new TSoundIndicator(p);
        SoundIndicatorShown = true;
        if (!display->SoundInit()) {
            // A copy that cannot be read opens nothing; the next press copies anew.
            SoundIndicatorShown = false;
            delete display;
            display = nullptr;
            WavExtractionPending = 1;
            Dialogs().Message(MsgKind::Warning, "WAV data could not be read.");
        } else {
            display->SamplingRateShow();
            display->GraphDraw();
        }
    }
    // 7
    WavExtracting = 0;
    return display;
}

void AudioFrameChanged(TPlatform&) {
    if (SoundIndicatorShown && SoundIndicator) SoundIndicator->GraphDraw();
}

void AudioSignalOverride(TPlatform& p) {
    if (!p.State.SignalBoxesEnabled) return;
    if (!SoundIndicatorShown) {
        SoundSignalShareText.clear();
        return;
    }
    for (DataLine& line : p.State.DataLines) {
        line.Signal1Detected = SoundSignalDetected ? 1 : 0;
        line.SoundText = SoundSignalShareText;
    }
}

void AudioVideoOpened(TPlatform&) {
    DeleteWrittenWav();
    WavExtractionPending = 1;
}

bool AudioBlocksVideoOpen() { return SoundIndicatorShown || WavExtracting; }

void AudioMainClosing() {
    if (SoundIndicator) SoundIndicator->close();
    DeleteWrittenWav();
}
