#pragma once
// The WAV copy of a video's audio track, as the audio display reads it: a 48-byte
// header (RIFF, WAVE, a 20-byte "fmt " chunk holding an 18-byte WAVEFORMATEX with
// cbSize 0 and two pad bytes, then "data"), the samples from byte 48, and a RIFF
// size of 40 + the data length. Samples are 8- or 16-bit PCM, one or two channels.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_io.h"

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

// Writes the WAV file as the samples come: they go to a temporary file beside the
// target (fileio::AtomicFileWriter) through a small buffer, and Finish fills in
// the header and puts the file in place. Memory does not depend on the length. A
// writer that fails, or is destroyed before Finish, leaves no file and an earlier
// file of that name as it was.
class WavWriter {
public:
    static constexpr size_t kHeaderSize = 48;
    // The RIFF size is 32 bits.
    static constexpr uint64_t kMaxData = 0xFFFFFFFFull - 40;

    // Starts the file at `path`; false (with `error`) when it cannot be written.
    bool Open(const std::string& path, std::string& error);
    // bitsPerSample 8 (unsigned) or 16 (signed little-endian); 1 or 2 channels.
    void SetFormat(int channels, int sampleRate, int bitsPerSample);
    int Channels() const { return channels_; }
    int SampleRate() const { return rate_; }
    int BitsPerSample() const { return bits_; }
    int BlockAlign() const { return channels_ * bits_ / 8; }
    // Appends sample bytes. False when the data would pass kMaxData (WriteError()
    // empty) or the file could not be written (WriteError() says why); the file
    // is then abandoned.
    bool Append(const uint8_t* bytes, size_t n);
    uint64_t DataSize() const { return data_; }
    const std::string& WriteError() const { return writeError_; }
    // Drops a trailing partial sample frame, writes the header and puts the file in
    // place. Fails, leaving no file, without a format or without samples.
    bool Finish(std::string& error);

private:
    bool Flush();
    fileio::AtomicFileWriter file_;
    std::string pending_;  // samples not yet written
    uint64_t data_ = 0;
    std::string writeError_;
    int channels_ = 0, rate_ = 0, bits_ = 0;
};

// The 48-byte header of a WAV file of `dataBytes` sample bytes in this format.
std::string WavHeader(int channels, int sampleRate, int bitsPerSample, uint32_t dataBytes);

// Every sample of the first audio stream of `sourcePath` into `dest` (open): 8-
// and 16-bit PCM with one or two channels as it is, any other audio converted to
// 16-bit PCM at its own rate with at most two channels. Sets dest's format. A
// file without an audio stream gives "NAME has no sound track.".
bool CopyAudioTrack(WavWriter& dest, const std::string& sourcePath, std::string& error);

}  // namespace video
