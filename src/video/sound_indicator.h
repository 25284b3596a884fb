#pragma once
// The audio channel display's core: the 48-byte header of the WAV copy written by
// WavWriter, how the samples map to video frames, whether a frame carries a time
// beep, and the min-max envelope picture of the 31 frames around it. No widgets:
// the window only shows what SoundDisplay computes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/bitmap24.h"

namespace video {

// Header fields as the display reads them (little-endian, offsets in the file).
struct SoundHeader {
    uint32_t riffSize = 0;       // offset 4
    uint16_t formatTag = 0;      // offset 20, 1 = PCM
    uint16_t channels = 0;       // offset 22
    uint32_t samplesPerSec = 0;  // offset 24
    uint16_t bitsPerSample = 0;  // offset 34; anything but 16 is read as 8
    int bytesPerSample = 1;      // bytes of one sample frame as the display steps
    int64_t dataBytes = 0;       // min(RIFF size - 40, file size - 48), may be <= 0
};

constexpr int kSoundHeaderSize = 48;
// Sample frames read per frame change.
constexpr int kSoundBlockSamples = 48001;
// Detection threshold on the amplitude, and the silence a beep may hold.
constexpr int kSoundThreshold = 40;
constexpr int kSoundGapWidth = 30;
// The picture and its drawing origin.
constexpr int kSoundImageWidth = 332, kSoundImageHeight = 140, kSoundOriginX = 166, kSoundOriginY = 70;

// 16-bit stereo 4; 16-bit other channel counts 2; other depths stereo 2, else 1.
int SoundBytesPerSample(int bitsPerSample, int channels);
// The header of a file of `fileSize` bytes whose first 48 bytes are `h`.
SoundHeader ParseSoundHeader(const uint8_t* h, uint64_t fileSize);

enum class SoundChannel { L = 0, R = 1, LR = 2 };
enum class SoundWidth { Wide = 0, Expansion = 1 };

// What SoundInit derives from the header for a video of `frames` frames at `fps`.
struct SoundGeometry {
    SoundHeader header;
    double samplesPerFrame = 0;
    int64_t samplesPerFrameInt = 0;  // rounded, halves to even
    int32_t discordance = 0;         // thousandths of a percent, positive: audio short
};
// False, with the reason, when the header gives no sample: no data, no frames,
// no rate or no video frame rate.
bool ComputeSoundGeometry(const SoundHeader& h, int64_t frames, double fps, SoundGeometry& g, std::string& error);
// The discordance without overflow for any header value; clamped to 32 bits.
int32_t SoundDiscordance(int64_t frames, uint32_t samplesPerSec, int bytesPerSample, double fps, int64_t dataBytes);

// The window's texts.
std::string SamplingRateText(const SoundHeader& h);  // Edit2
std::string SamplesPerFrameText(const SoundGeometry& g);  // Edit4
std::string DataTypeText(const SoundHeader& h);  // Edit5
std::string DataSizeText(const SoundHeader& h);  // Edit6
std::string DiscordanceText(int32_t discordance);  // Edit3
std::string DiscordanceWarning(int32_t discordance);  // Label1, empty when in agreement
bool DiscordanceIsWarning(int32_t discordance);  // red rather than blue
// round(count x 10000 / perFrame) / 100 with two decimals; "0.00" for perFrame 0.
std::string SoundShareText(int64_t count, int64_t perFrame);

// The value of sample frame i of a block for a channel, and its amplitude.
int SoundChannelSample(const uint8_t* block, int i, const SoundHeader& h, SoundChannel channel);
int SoundAmplitude(int value, int gain);
// True when |a| >= threshold somewhere in i - width .. i - 1 (clipped at 0) and in
// i .. i + width (clipped at n - 1).
bool SignalNearSample(const std::vector<int>& amplitudes, int i, int width, int threshold);

struct SoundOptions {
    SoundChannel channel = SoundChannel::LR;
    SoundWidth width = SoundWidth::Wide;
    int gain = 50;
};

// One frame's evaluation of a block.
struct SoundFrame {
    bool read = false;  // the block start lay inside the audio data
    bool detected = false;
    int64_t count = 0;  // samples of the frame counted as signal
    std::string share = "0.00";
    struct Column {
        int x, yTop, yBottom;  // inclusive, may lie outside the picture
    };
    std::vector<Column> columns;
};

// The block of the frame at position c: first sample frame and the range of the
// current frame inside it, and the block sample at the picture's centre.
struct SoundBlockPlace {
    int64_t firstSample = 0;
    int64_t frameBegin = 0, frameEnd = 0;
    double centre = 0;
};
SoundBlockPlace PlaceSoundBlock(const SoundGeometry& g, int64_t c);

// Evaluates `n` sample frames of `block` (already bounded by the bytes read and the
// audio data) for the frame placed at `place`.
SoundFrame EvaluateSoundBlock(const SoundGeometry& g, const SoundBlockPlace& place, const uint8_t* block, int n,
                              const SoundOptions& o);

// The background of the picture (white, band, boundaries, zero and threshold lines).
void DrawSoundBackground(Bitmap24& image, const SoundGeometry& g, SoundWidth width);
// Background and the frame's envelope columns in red.
void DrawSoundPicture(Bitmap24& image, const SoundGeometry& g, const SoundFrame& f, SoundWidth width);

// The open WAV file and the state the display keeps between frame changes.
class SoundDisplay {
public:
    SoundDisplay() = default;
    ~SoundDisplay();
    SoundDisplay(const SoundDisplay&) = delete;
    SoundDisplay& operator=(const SoundDisplay&) = delete;

    // Opens `path` and reads the header for a video of `frames` frames at `fps`.
    bool Init(const std::string& path, int64_t frames, double fps, std::string& error);
    bool IsOpen() const { return file_ != nullptr; }
    void Close();
    const SoundGeometry& Geometry() const { return geometry_; }

    // Reads the block for frame c and evaluates it. When the block start lies
    // beyond the data nothing is read and the frame carries no signal.
    SoundFrame Evaluate(int64_t c, const SoundOptions& o);

private:
    std::FILE* file_ = nullptr;
    SoundGeometry geometry_;
    std::vector<uint8_t> block_;
};

}  // namespace video
