#include "video/sound_indicator.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/file_io.h"
#include "platform/numtext.h"

namespace video {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Horizontal scale: frames across half the picture.
double WidthDivisor(SoundWidth w) { return w == SoundWidth::Expansion ? 1.5 : 14.5; }

// Column offset from the origin of block sample position `s` (a double, since a
// tiny samples-per-frame sends it far outside any int).
double ColumnOf(double s, double centre, double samplesPerFrame, double w) {
    return std::nearbyint((s - centre) * 160.0 / samplesPerFrame / w);
}

void SetPixel(Bitmap24& image, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    if (!image.Contains(x, y)) return;
    uint8_t* p = image.Scanline(y) + 3 * x;
    p[0] = b, p[1] = g, p[2] = r;
}
void VerticalLine(Bitmap24& image, int x, int y0, int y1, uint8_t r, uint8_t g, uint8_t b) {
    if (x < 0 || x >= image.Width()) return;
    y0 = std::max(y0, 0), y1 = std::min(y1, image.Height() - 1);
    for (int y = y0; y <= y1; ++y) SetPixel(image, x, y, r, g, b);
}
void HorizontalLine(Bitmap24& image, int y, int x0, int x1, uint8_t r, uint8_t g, uint8_t b) {
    if (y < 0 || y >= image.Height()) return;
    x0 = std::max(x0, 0), x1 = std::min(x1, image.Width() - 1);
    for (int x = x0; x <= x1; ++x) SetPixel(image, x, y, r, g, b);
}

// The light blue of the band and the frame boundaries (colour value 15780518).
constexpr uint8_t kBlueR = 0xA6, kBlueG = 0xCA, kBlueB = 0xF0;

}  // namespace

int SoundBytesPerSample(int bitsPerSample, int channels) {
    if (bitsPerSample == 16) return channels == 2 ? 4 : 2;
    return channels == 2 ? 2 : 1;
}

SoundHeader ParseSoundHeader(const uint8_t* h, uint64_t fileSize) {
    SoundHeader s;
    s.riffSize = Le32(h + 4);
    s.formatTag = Le16(h + 20);
    s.channels = Le16(h + 22);
    s.samplesPerSec = Le32(h + 24);
    s.bitsPerSample = Le16(h + 34);
    s.bytesPerSample = SoundBytesPerSample(s.bitsPerSample, s.channels);
    // A RIFF size larger than the file would send reads past its end.
    const int64_t inFile = fileSize > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(fileSize) - 48;
    s.dataBytes = std::min(static_cast<int64_t>(s.riffSize) - 40, inFile);
    return s;
}

int32_t SoundDiscordance(int64_t frames, uint32_t samplesPerSec, int bytesPerSample, double fps, int64_t dataBytes) {
    if (frames <= 0 || dataBytes <= 0 || !(fps > 0) || !std::isfinite(fps)) return 0;
    const long double expected =
        static_cast<long double>(frames) * samplesPerSec * bytesPerSample * 100000.0L / static_cast<long double>(fps);
    const long double v = std::nearbyint(expected / static_cast<long double>(dataBytes) - 100000.0L);
    if (!(v < static_cast<long double>(INT32_MAX))) return INT32_MAX;
    if (!(v > static_cast<long double>(INT32_MIN))) return INT32_MIN;
    return static_cast<int32_t>(v);
}

bool ComputeSoundGeometry(const SoundHeader& h, int64_t frames, double fps, SoundGeometry& g, std::string& error) {
    g = SoundGeometry{};
    g.header = h;
    if (h.dataBytes <= 0) return error = "no audio data", false;
    if (frames <= 0) return error = "no video frames", false;
    if (h.samplesPerSec == 0) return error = "sampling rate 0", false;
    if (!(fps > 0) || !std::isfinite(fps)) return error = "no video frame rate", false;
    g.samplesPerFrame = static_cast<double>(h.dataBytes) / h.bytesPerSample / static_cast<double>(frames);
    g.samplesPerFrameInt = numtext::RoundHalfEven(g.samplesPerFrame);
    g.discordance = SoundDiscordance(frames, h.samplesPerSec, h.bytesPerSample, fps, h.dataBytes);
    return true;
}

std::string SamplingRateText(const SoundHeader& h) { return "SamplingRate = " + std::to_string(h.samplesPerSec); }

std::string SamplesPerFrameText(const SoundGeometry& g) { return "Sample/Frame= " + std::to_string(g.samplesPerFrameInt); }

std::string DataTypeText(const SoundHeader& h) {
    std::string t = "Data Type : " + std::to_string(h.bitsPerSample) + (h.formatTag == 1 ? " Bit  PCM  " : " Bit  UnKnown  ");
    if (h.channels == 0) t += " [unkown]";
    else if (h.channels == 1) t += " [monoral]";
    else if (h.channels == 2) t += " [stereo]";
    else if (h.channels >= 4) t += " [unknown]";
    return t;
}

std::string DataSizeText(const SoundHeader& h) { return "Datasize=" + std::to_string(h.riffSize); }

std::string DiscordanceText(int32_t discordance) {
    const int64_t v = discordance, a = v < 0 ? -v : v;
    std::string frac = std::to_string(a % 1000);
    frac.insert(0, 3 - frac.size(), '0');
    return "Discordance of Video/Audio = " + std::string(v < 0 ? "-" : "") + std::to_string(a / 1000) + "." + frac + "%";
}

bool DiscordanceIsWarning(int32_t discordance) { return discordance >= 1001; }

std::string DiscordanceWarning(int32_t discordance) {
    return DiscordanceIsWarning(discordance) ? "Several Frames may be dropped.  Check the .AVI file." : "";
}

std::string SoundShareText(int64_t count, int64_t perFrame) {
    if (perFrame <= 0) return "0.00";
    const int64_t r = numtext::RoundHalfEven(static_cast<double>(count) * 10000.0 / static_cast<double>(perFrame));
    const int64_t a = r < 0 ? -r : r;
    std::string frac = std::to_string(a % 100);
    frac.insert(0, 2 - frac.size(), '0');
    return std::string(r < 0 ? "-" : "") + std::to_string(a / 100) + "." + frac;
}

int SoundChannelSample(const uint8_t* block, int i, const SoundHeader& h, SoundChannel channel) {
    const uint8_t* p = block + static_cast<size_t>(i) * h.bytesPerSample;
    if (h.bitsPerSample == 16) {
        if (h.channels != 2) return static_cast<int16_t>(Le16(p));
        const int left = static_cast<int16_t>(Le16(p)), right = static_cast<int16_t>(Le16(p + 2));
        return channel == SoundChannel::L ? left : channel == SoundChannel::R ? right : left + right;
    }
    if (h.channels != 2) return (p[0] - 128) * 256;
    return channel == SoundChannel::L ? p[0] : channel == SoundChannel::R ? p[1] : p[0] + p[1];
}

int SoundAmplitude(int value, int gain) {
    return static_cast<int>(numtext::RoundHalfEven(static_cast<double>(value) / 7000.0 * gain));
}

bool SignalNearSample(const std::vector<int>& amplitudes, int i, int width, int threshold) {
    const int n = static_cast<int>(amplitudes.size());
    auto loud = [&](int j) { return std::abs(amplitudes[j]) >= threshold; };
    bool before = false;
    for (int j = std::max(i - width, 0); j <= i - 1 && j < n; ++j)
        if (loud(j)) {
            before = true;
            break;
        }
    if (!before) return false;
    for (int j = std::max(i, 0); j <= i + width && j < n; ++j)
        if (loud(j)) return true;
    return false;
}

SoundBlockPlace PlaceSoundBlock(const SoundGeometry& g, int64_t c) {
    SoundBlockPlace p;
    const int64_t q = g.samplesPerFrameInt;
    if (c >= 15) {
        p.firstSample = numtext::RoundHalfEven(static_cast<double>(c - 15) * g.samplesPerFrame);
        p.frameBegin = 15 * q, p.frameEnd = 16 * q;
        p.centre = 15.5 * g.samplesPerFrame;
    } else {
        p.frameBegin = c * q, p.frameEnd = (c + 1) * q;
        p.centre = (static_cast<double>(c) + 0.5) * g.samplesPerFrame;
    }
    return p;
}

SoundFrame EvaluateSoundBlock(const SoundGeometry& g, const SoundBlockPlace& place, const uint8_t* block, int n,
                              const SoundOptions& o) {
    SoundFrame f;
    f.read = true;
    n = std::clamp(n, 0, kSoundBlockSamples);
    std::vector<int> a(n);
    for (int i = 0; i < n; ++i) a[i] = SoundAmplitude(SoundChannelSample(block, i, g.header, o.channel), o.gain);
    const double w = WidthDivisor(o.width);
    int high = -65535, low = 65535;
    double x = n > 0 ? ColumnOf(0, place.centre, g.samplesPerFrame, w) : 0;
    for (int i = 0; i < n; ++i) {
        if (i >= place.frameBegin && i < place.frameEnd) {
            if (std::abs(a[i]) >= kSoundThreshold) {
                f.detected = true;
                ++f.count;
            } else if (SignalNearSample(a, i, kSoundGapWidth, kSoundThreshold)) {
                ++f.count;
            }
        }
        high = std::max(high, a[i]), low = std::min(low, a[i]);
        const double next = ColumnOf(i + 1.0, place.centre, g.samplesPerFrame, w);
        const double col = kSoundOriginX + x;
        if (col >= 0 && col <= kSoundImageWidth && next != x) {
            f.columns.push_back({static_cast<int>(col), kSoundOriginY - high, kSoundOriginY - low});
            high = -65535, low = 65535;
        }
        x = next;
    }
    f.share = SoundShareText(f.count, g.samplesPerFrameInt);
    return f;
}

void DrawSoundBackground(Bitmap24& image, const SoundGeometry& g, SoundWidth width) {
    if (image.Width() != kSoundImageWidth || image.Height() != kSoundImageHeight)
        image.Resize(kSoundImageWidth, kSoundImageHeight);
    image.Fill(255, 255, 255);
    const int half = width == SoundWidth::Expansion ? 53 : 6;
    for (int x = kSoundOriginX - half; x < kSoundOriginX + half; ++x) VerticalLine(image, x, 0, 159, kBlueR, kBlueG, kBlueB);
    if (g.samplesPerFrame > 0) {
        const double w = WidthDivisor(width);
        const int k0 = width == SoundWidth::Expansion ? -4 : -15, k1 = width == SoundWidth::Expansion ? 3 : 15;
        for (int k = k0; k <= k1; ++k) {
            const double x =
                kSoundOriginX + std::nearbyint(static_cast<double>(g.samplesPerFrameInt) * (k + 0.5) * 160.0 / g.samplesPerFrame / w);
            if (x >= 0 && x < kSoundImageWidth) VerticalLine(image, static_cast<int>(x), 0, 159, kBlueR, kBlueG, kBlueB);
        }
    }
    HorizontalLine(image, kSoundOriginY, 0, 399, 128, 128, 128);
    HorizontalLine(image, kSoundOriginY - kSoundThreshold, 0, 399, 255, 255, 0);
    HorizontalLine(image, kSoundOriginY + kSoundThreshold, 0, 399, 255, 255, 0);
}

void DrawSoundPicture(Bitmap24& image, const SoundGeometry& g, const SoundFrame& f, SoundWidth width) {
    DrawSoundBackground(image, g, width);
    for (const SoundFrame::Column& c : f.columns) VerticalLine(image, c.x, c.yTop, c.yBottom, 255, 0, 0);
}

SoundDisplay::~SoundDisplay() { Close(); }

void SoundDisplay::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool SoundDisplay::Init(const std::string& path, int64_t frames, double fps, std::string& error) {
    Close();
    geometry_ = SoundGeometry{};
    if (path.empty()) return error = "no WAV file name", false;
    if (!fileio::CheckRegularFile(path, error)) return false;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) return error = "cannot open " + path, false;
    struct stat st {};
    uint8_t h[kSoundHeaderSize];
    if (fstat(fileno(file_), &st) != 0 || st.st_size < kSoundHeaderSize ||
        std::fread(h, 1, kSoundHeaderSize, file_) != static_cast<size_t>(kSoundHeaderSize)) {
        Close();
        return error = "shorter than 48 bytes", false;
    }
    if (!ComputeSoundGeometry(ParseSoundHeader(h, static_cast<uint64_t>(st.st_size)), frames, fps, geometry_, error)) {
        Close();
        return false;
    }
    return true;
}

SoundFrame SoundDisplay::Evaluate(int64_t c, const SoundOptions& o) {
    const SoundGeometry& g = geometry_;
    const SoundBlockPlace place = PlaceSoundBlock(g, c);
    const int64_t B = g.header.bytesPerSample, samples = g.header.dataBytes / B;
    if (!file_ || place.firstSample < 0 || place.firstSample >= samples) return SoundFrame{};
    const int64_t want = std::min<int64_t>(kSoundBlockSamples, samples - place.firstSample);
    block_.resize(static_cast<size_t>(want * B));
    size_t got = 0;
    if (fseeko(file_, static_cast<off_t>(kSoundHeaderSize + place.firstSample * B), SEEK_SET) == 0)
        got = std::fread(block_.data(), 1, block_.size(), file_);
    return EvaluateSoundBlock(g, place, block_.data(), static_cast<int>(got / B), o);
}

}  // namespace video
