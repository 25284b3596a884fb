// The audio channel display's core: save-wav, wav-info, sound-frames, sound-picture.
#include <QImage>
#include <cstdio>

#include "platform/numtext.h"
#include "platform/save_picture.h"
#include "probe.h"
#include "video/VfwAvi.h"
#include "video/sound_indicator.h"

namespace {

int SaveWav(const std::vector<std::string>& a) {
    if (a.size() != 2) return ProbeFail("usage: save-wav VIDEO OUT.wav");
    TVfwAvi avi;
    if (!avi.SaveAudioAsWav(a[0], a[1])) return ProbeFail(avi.LastError());
    return 0;
}

// WAV FRAMES FPS: the numbers every subcommand starts with.
bool OpenSound(const std::vector<std::string>& a, video::SoundDisplay& d, int& code) {
    const auto frames = numtext::ParseInt(a[1]);
    const auto fps = numtext::ParseFloat(a[2]);
    if (!frames || !fps) return code = ProbeFail("FRAMES and FPS must be numbers"), false;
    std::string error;
    if (!d.Init(a[0], *frames, *fps, error)) return code = ProbeFail("WAV data could not be read: " + error), false;
    return true;
}

int WavInfo(const std::vector<std::string>& a) {
    if (a.size() != 3) return ProbeFail("usage: wav-info WAV FRAMES FPS");
    video::SoundDisplay d;
    int code = 0;
    if (!OpenSound(a, d, code)) return code;
    const video::SoundGeometry& g = d.Geometry();
    const video::SoundHeader& h = g.header;
    std::printf("rate %u\nbits %u\nchannels %u\nbytes_per_sample %d\ndata_bytes %lld\nsamples_per_frame %.6f\n",
                h.samplesPerSec, h.bitsPerSample, h.channels, h.bytesPerSample, static_cast<long long>(h.dataBytes),
                g.samplesPerFrame);
    std::printf("samples_per_frame_int %lld\ndiscordance %d\n", static_cast<long long>(g.samplesPerFrameInt), g.discordance);
    std::printf("Edit2 %s\nEdit3 %s\nEdit4 %s\nEdit5 %s\nEdit6 %s\nLabel1 %s\nEdit3.color %s\n",
                video::SamplingRateText(h).c_str(), video::DiscordanceText(g.discordance).c_str(),
                video::SamplesPerFrameText(g).c_str(), video::DataTypeText(h).c_str(), video::DataSizeText(h).c_str(),
                video::DiscordanceWarning(g.discordance).c_str(), video::DiscordanceIsWarning(g.discordance) ? "red" : "blue");
    return 0;
}

// [--channel L|R|LR] [--gain G] [--width wide|expansion] then the positional rest.
bool SoundOptions(const std::vector<std::string>& a, size_t from, video::SoundOptions& o, std::vector<std::string>& rest) {
    for (size_t i = from; i < a.size(); ++i) {
        if (a[i] == "--channel" && i + 1 < a.size()) {
            const std::string& v = a[++i];
            if (v == "L") o.channel = video::SoundChannel::L;
            else if (v == "R") o.channel = video::SoundChannel::R;
            else if (v == "LR") o.channel = video::SoundChannel::LR;
            else return false;
        } else if (a[i] == "--gain" && i + 1 < a.size()) {
            const auto g = numtext::ParseInt32(a[++i]);
            if (!g || *g < 1 || *g > 200) return false;
            o.gain = *g;
        } else if (a[i] == "--width" && i + 1 < a.size()) {
            const std::string& v = a[++i];
            if (v == "wide") o.width = video::SoundWidth::Wide;
            else if (v == "expansion") o.width = video::SoundWidth::Expansion;
            else return false;
        } else {
            rest.push_back(a[i]);
        }
    }
    return true;
}

int SoundFrames(const std::vector<std::string>& a) {
    const char* usage = "usage: sound-frames WAV FRAMES FPS [--channel L|R|LR] [--gain G] [--width wide|expansion] [FIRST [LAST]]";
    video::SoundOptions o;
    std::vector<std::string> rest;
    if (a.size() < 3 || !SoundOptions(a, 3, o, rest) || rest.size() > 2) return ProbeFail(usage);
    video::SoundDisplay d;
    int code = 0;
    if (!OpenSound(a, d, code)) return code;
    const int64_t frames = *numtext::ParseInt(a[1]);
    int64_t first = 0, last = frames - 1;
    if (!rest.empty()) {
        const auto f = numtext::ParseInt(rest[0]);
        if (!f) return ProbeFail(usage);
        first = last = *f;
    }
    if (rest.size() == 2) {
        const auto l = numtext::ParseInt(rest[1]);
        if (!l) return ProbeFail(usage);
        last = *l;
    }
    for (int64_t c = first; c <= last; ++c) {
        const video::SoundFrame f = d.Evaluate(c, o);
        std::printf("%lld %d %s\n", static_cast<long long>(c), f.detected ? 1 : 0, f.share.c_str());
    }
    return 0;
}

int SoundPicture(const std::vector<std::string>& a) {
    const char* usage = "usage: sound-picture WAV FRAMES FPS C [--channel L|R|LR] [--gain G] [--width wide|expansion] OUT.png";
    video::SoundOptions o;
    std::vector<std::string> rest;
    if (a.size() < 5 || !SoundOptions(a, 3, o, rest) || rest.size() != 2) return ProbeFail(usage);
    const auto c = numtext::ParseInt(rest[0]);
    if (!c) return ProbeFail(usage);
    video::SoundDisplay d;
    int code = 0;
    if (!OpenSound(a, d, code)) return code;
    Bitmap24 image;
    video::DrawSoundPicture(image, d.Geometry(), d.Evaluate(*c, o), o.width);
    std::string error;
    if (!SavePicture(image.View().copy(), rest[1], error)) return ProbeFail(error);
    return 0;
}

const ProbeCommand kSaveWav("save-wav", "VIDEO OUT.wav", SaveWav);
const ProbeCommand kWavInfo("wav-info", "WAV FRAMES FPS", WavInfo);
const ProbeCommand kSoundFrames("sound-frames", "WAV FRAMES FPS [--channel L|R|LR] [--gain G] [--width wide|expansion] [FIRST [LAST]]",
                                SoundFrames);
const ProbeCommand kSoundPicture("sound-picture", "WAV FRAMES FPS C [options] OUT.png", SoundPicture);

}  // namespace
