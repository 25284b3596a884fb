// The audio display's WAV reading on arbitrary files: the header, the geometry
// for a frame count and rate taken from the input's tail, every block placement
// and the picture. Reads must stay inside the file and the block.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "video/sound_indicator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz_soundwav_" + std::to_string(getpid()) + ".wav";
    // The last 4 bytes choose the video: frames 1..65536 and a rate, and the options.
    uint32_t tail = 0;
    if (size >= 4) std::memcpy(&tail, data + size - 4, 4);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    video::SoundDisplay d;
    std::string error;
    const int64_t frames = (tail & 0xFFFF) + 1;
    const double fps = ((tail >> 16) & 0xFF) * 0.37;
    if (!d.Init(path, frames, fps, error)) return 0;
    const video::SoundGeometry& g = d.Geometry();
    if (g.header.dataBytes <= 0 || g.header.dataBytes > static_cast<int64_t>(size)) std::abort();
    video::SoundOptions o;
    o.channel = static_cast<video::SoundChannel>((tail >> 24) % 3);
    o.width = static_cast<video::SoundWidth>((tail >> 26) & 1);
    o.gain = 1 + (tail >> 27) * 6;
    Bitmap24 image;
    for (int64_t c : {int64_t{0}, int64_t{14}, int64_t{15}, frames / 2, frames - 1, frames + 20}) {
        const video::SoundFrame fr = d.Evaluate(c, o);
        if (fr.count < 0 || fr.count > std::max<int64_t>(g.samplesPerFrameInt, 0)) std::abort();
        video::DrawSoundPicture(image, g, fr, o.width);
    }
    return 0;
}
