#pragma once
// The WAV copy of a video's audio track, as the audio display reads it: a 48-byte
// header (RIFF, WAVE, a 20-byte "fmt " chunk holding an 18-byte WAVEFORMATEX with
// cbSize 0 and two pad bytes, then "data"), the samples from byte 48, and a RIFF
// size of 40 + the data length. Samples are 8- or 16-bit PCM, one or two channels.
#include <cstddef>
#include <cstdint>
#include <string>

namespace video {

// WAVEFORMATEX of an audio stream, as far as the container tells it.
struct WaveFormat {
    uint16_t formatTag = 0;  // 1 = PCM
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t cbSize = 0;
};

// Format of the first audio stream of `path`; false (with `error`) when the file
// cannot be read or has no audio stream.
bool ReadAudioFormat(const std::string& path, WaveFormat& format, std::string& error);

// Collects PCM samples in memory and writes the WAV file atomically.
class WavWriter {
public:
    static constexpr size_t kHeaderSize = 48;
    // The RIFF size is 32 bits.
    static constexpr uint64_t kMaxData = 0xFFFFFFFFull - 40;

    WavWriter();
    // bitsPerSample 8 (unsigned) or 16 (signed little-endian); 1 or 2 channels.
    void SetFormat(int channels, int sampleRate, int bitsPerSample);
    int Channels() const { return channels_; }
    int SampleRate() const { return rate_; }
    int BitsPerSample() const { return bits_; }
    int BlockAlign() const { return channels_ * bits_ / 8; }
    // Appends sample bytes; false when the data would pass kMaxData.
    bool Append(const uint8_t* bytes, size_t n);
    uint64_t DataSize() const { return buffer_.size() - kHeaderSize; }
    // Drops a trailing partial sample frame.
    void TrimToBlock();
    // The file: header and data. Fails, leaving no file, without a format.
    bool Save(const std::string& path, std::string& error);

private:
    void FillHeader();
    std::string buffer_;  // header placeholder followed by the data
    int channels_ = 0, rate_ = 0, bits_ = 0;
};

// Every sample of the first audio stream of `sourcePath` into `dest`: 8- and
// 16-bit PCM with one or two channels as it is, any other audio converted to
// 16-bit PCM at its own rate with at most two channels. Sets dest's format.
bool CopyAudioTrack(WavWriter& dest, const std::string& sourcePath, std::string& error);

}  // namespace video
