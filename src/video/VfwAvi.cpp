#include "video/VfwAvi.h"

bool TVfwAvi::Open(const std::string& FileName) {
    Close();
    videoOpen_ = decoder_.Open(FileName);
    if (!videoOpen_) lastError_ = decoder_.Error();
    std::string ignored;
    hasAudio_ = video::ReadAudioFormat(FileName, AudioFormat, ignored);
    if (!hasAudio_) AudioFormat = video::WaveFormat{};
    return videoOpen_;
}

int TVfwAvi::FrameCount() const { return videoOpen_ ? decoder_.FrameCount() : -1; }

float TVfwAvi::GetFrameRate() const {
    double r = videoOpen_ ? decoder_.FrameRate() : 0.0;
    return r > 0 ? static_cast<float>(r) : 30.0f;
}

bool TVfwAvi::GetFrame(int Index, Bitmap24& Bitmap) {
    if (!videoOpen_) return false;
    if (Index >= 0 && Index < decoder_.FrameCount()) {
        currentIndex_ = -1;
        if (!decoder_.GetFrame(Index, Bitmap)) {
            lastError_ = decoder_.Error();
            return false;
        }
        currentIndex_ = Index;
        return true;
    }
    // Outside the video: the frame decoded last, served again from the decoder.
    if (currentIndex_ < 0) return false;
    if (!decoder_.GetFrame(currentIndex_, Bitmap)) {
        lastError_ = decoder_.Error();
        return false;
    }
    return true;
}

void TVfwAvi::Close() {
    decoder_.Close();
    videoOpen_ = false;
    currentIndex_ = -1;
}

bool TVfwAvi::SaveAudioAsWav(const std::string& AviFileName, const std::string& WavFileName) {
    video::WavWriter wav;
    lastError_.clear();
    if (!CopyAudioStream(wav, AviFileName, lastError_)) return false;
    return wav.Save(WavFileName, lastError_);
}

bool CopyAudioStream(video::WavWriter& dest, const std::string& sourcePath, std::string& error) {
    return video::CopyAudioTrack(dest, sourcePath, error);
}
