#include "video/VfwAvi.h"

#include "video/avs_script.h"

TVfwAvi::~TVfwAvi() { ahead_.Stop(); }

bool TVfwAvi::Open(const std::string& FileName) {
    Close();
    if (video::IsAvsPath(FileName)) {
        // Scripts carry no audio of their own here.
        hasAudio_ = false;
        AudioFormat = video::WaveFormat{};
        script_ = video::OpenAvsScript(FileName, lastError_);
        videoOpen_ = script_ != nullptr;
        frameCount_ = videoOpen_ ? script_->FrameCount() : -1;
        return videoOpen_;
    }
    videoOpen_ = decoder_.Open(FileName);
    if (!videoOpen_) lastError_ = decoder_.Error();
    frameCount_ = videoOpen_ ? decoder_.FrameCount() : -1;
    std::string ignored;
    hasAudio_ = video::ReadAudioFormat(FileName, AudioFormat, ignored);
    if (!hasAudio_) AudioFormat = video::WaveFormat{};
    return videoOpen_;
}

int TVfwAvi::FrameCount() const { return videoOpen_ ? frameCount_ : -1; }

float TVfwAvi::GetFrameRate() const {
    double r = !videoOpen_ ? 0.0 : script_ ? script_->FrameRate() : decoder_.FrameRate();
    return r > 0 ? static_cast<float>(r) : 30.0f;
}

bool TVfwAvi::Fetch(int Index, Bitmap24& Bitmap, std::string& error) {
    if (script_) return script_->GetFrame(Index, Bitmap, error);
    if (decoder_.GetFrame(Index, Bitmap)) return true;
    error = decoder_.Error();
    return false;
}

void TVfwAvi::SetFrameThreads(bool on) {
    if (script_) script_->SetFrameThreads(on);
    else decoder_.SetFrameThreads(on);
}

bool TVfwAvi::GetFrame(int Index, Bitmap24& Bitmap) {
    if (!videoOpen_) return false;
    if (Index >= 0 && Index < FrameCount()) {
        currentIndex_ = -1;
        bool ok = false;
        if (!ahead_.Take(Index, Bitmap, ok, lastError_)) {
            SetFrameThreads(false);
            ok = Fetch(Index, Bitmap, lastError_);
        }
        if (!ok) return false;
        currentIndex_ = Index;
        return true;
    }
    // Outside the video: the frame decoded last, served again.
    if (currentIndex_ < 0) {
        lastError_ = "Frame " + std::to_string(Index) + " is outside the " + std::to_string(FrameCount()) +
                     " frames of the video, and no frame was read before.";
        return false;
    }
    ahead_.Stop();
    SetFrameThreads(false);
    return Fetch(currentIndex_, Bitmap, lastError_);
}

void TVfwAvi::ReadAhead(int First, int Step) {
    if (!videoOpen_ || !video::FrameReadAhead::Enabled()) return;
    if (script_) {
        ahead_.Start(
            [this](int n, Bitmap24& out, std::string& error) {
                SetFrameThreads(true);
                return Fetch(n, out, error);
            },
            First, Step, frameCount_);
        return;
    }
    auto decode = [this](int n, video::DecodedPicture& out, std::string& error) {
        decoder_.SetFrameThreads(true);
        if (decoder_.GetPicture(n, out)) return true;
        error = decoder_.Error();
        return false;
    };
    ahead_.StartStaged(decode, First, Step, frameCount_, static_cast<size_t>(decoder_.Width()) * decoder_.Height() * 3);
}

void TVfwAvi::Close() {
    ahead_.Stop();
    decoder_.Close();
    script_.reset();
    videoOpen_ = false;
    currentIndex_ = -1;
}

bool TVfwAvi::SaveAudioAsWav(const std::string& AviFileName, const std::string& WavFileName) {
    video::WavWriter wav;
    lastError_.clear();
    return wav.Open(WavFileName, lastError_) && CopyAudioStream(wav, AviFileName, lastError_) &&
           wav.Finish(lastError_);
}

bool CopyAudioStream(video::WavWriter& dest, const std::string& sourcePath, std::string& error) {
    return video::CopyAudioTrack(dest, sourcePath, error);
}
