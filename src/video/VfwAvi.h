#pragma once
// TVfwAvi: the AVI reader of the frame source. It keeps the contract of the
// Windows file interface it replaces: Open is true once the video stream is open,
// even when no decoder exists for it (every GetFrame is then false); FrameCount is
// -1 without a video; GetFrameRate falls back to 30; GetFrame with an index outside
// the video delivers the frame decoded last. Pictures come as Bitmap24 directly,
// palettised frames already expanded through their palette. An ".avs" file is
// run by the script interpreter (avs_script.h) and delivers the script's frames.
#include <cstdint>
#include <string>

#include "platform/bitmap24.h"
#include "video/decoder.h"
#include "video/frame_clip.h"
#include "video/read_ahead.h"
#include "video/wav_writer.h"

class TVfwAvi {
public:
    TVfwAvi() = default;
    ~TVfwAvi();

    // Opens the first video stream of `FileName`; reads the first audio stream's
    // format into AudioFormat when there is one. The caller closes first.
    bool Open(const std::string& FileName);
    // Frame slots of the open video, -1 when none is open.
    int FrameCount() const;
    // Frames per second; 30.0 when no video is open or its rate is unknown.
    float GetFrameRate() const;
    // Frame Index into Bitmap (24 bits per pixel). An Index outside 0..FrameCount-1
    // delivers the frame decoded last; false when there is none or decoding failed.
    bool GetFrame(int Index, Bitmap24& Bitmap);
    void Close();
    // A run reads First, First + Step, ... next: a worker fetches them ahead
    // (see read_ahead.h). Any other GetFrame drops what was read ahead and reads
    // as before, so the frames delivered are the same either way.
    void ReadAhead(int First, int Step);

    // Copies the audio track of `AviFileName` into the WAV file `WavFileName`
    // (written whole or not at all). Independent of the open video.
    bool SaveAudioAsWav(const std::string& AviFileName, const std::string& WavFileName);

    // Write-side properties; no reading road uses them.
    std::string FileName;
    int Width = 320;
    int Height = 240;
    bool Compress = true;
    bool PreCompress = false;
    int FrameRate() const { return frameRate_; }
    void SetFrameRate(int v) { frameRate_ = v < 1 ? 1 : v > 30 ? 30 : v; }
    int BitDepth() const { return bitDepth_; }
    void SetBitDepth(int v) { bitDepth_ = (v == 16 || v == 24) ? v : 16; }

    // The audio stream's format as read at Open; HasAudio() false without one.
    video::WaveFormat AudioFormat{};
    bool HasAudio() const { return hasAudio_; }

    // The decoder behind the open video (for readers that share it).
    video::VideoDecoder& Decoder() {
        ahead_.Stop();
        decoder_.SetFrameThreads(false);
        return decoder_;
    }
    // Why the last Open, SaveAudioAsWav or GetFrame failed; for a script, the line
    // and what was not understood.
    const std::string& LastError() const { return lastError_; }

private:
    // Frame Index of the script or the decoder; touches nothing but them, so
    // that the read-ahead worker can call it.
    bool Fetch(int Index, Bitmap24& Bitmap, std::string& error);
    // Frame threads in the decoder, or in every decoder of the script.
    void SetFrameThreads(bool on);

    video::VideoDecoder decoder_;
    video::ClipPtr script_;  // the open ".avs" script, else null
    bool videoOpen_ = false;
    int currentIndex_ = -1;  // frame decoded last; -1 when none since Close
    bool hasAudio_ = false;
    int frameRate_ = 30;
    int bitDepth_ = 16;
    std::string lastError_;
    int frameCount_ = -1;
    // Last member: its worker ends before the sources it reads go away.
    video::FrameReadAhead ahead_;
};

// The copy loop of SaveAudioAsWav: every sample of the first audio stream of
// `sourcePath` into `dest`. False, with `error`, when anything fails.
bool CopyAudioStream(video::WavWriter& dest, const std::string& sourcePath, std::string& error);
