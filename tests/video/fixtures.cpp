#include "fixtures.h"

#include <cstdlib>
#include <cstring>

#include "support/test_util.h"

namespace vfix {

std::string NumberedSource(int width, int height, const std::string& rate, double seconds) {
    return "-f lavfi -i \"color=c=black:s=" + std::to_string(width) + "x" + std::to_string(height) + ":r=" + rate +
           ":d=" + std::to_string(seconds) +
           ",format=rgb24,geq=r='if(mod(floor(N/pow(2,floor(X*4/W)+4*floor(Y*4/H))),2),230,20)'"
           ":g='mod(X+3*N,256)':b='Y'\"";
}

bool Ffmpeg(const std::string& args) {
    return testutil::Run("ffmpeg -nostdin -v error -y " + args + " 2>&1") == 0;
}

int ReadCode(const Bitmap24& frame) {
    int code = 0;
    const int bw = frame.Width() / 4, bh = frame.Height() / 4;
    for (int bit = 0; bit < 16; ++bit) {
        const int cx = (bit % 4) * bw + bw / 2, cy = (bit / 4) * bh + bh / 2;
        int sum = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) sum += frame.Scanline(cy + dy)[3 * (cx + dx) + 2];
        const int r = sum / 25;
        if (r > 160) code |= 1 << bit;
        else if (r > 90) return -1;
    }
    return code;
}

std::vector<Bitmap24> ReferenceFrames(const std::string& file, int width, int height) {
    std::string raw;
    testutil::Run("ffmpeg -nostdin -v error -i '" + file + "' -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt bgr24 -",
                  &raw);
    std::vector<Bitmap24> frames;
    const size_t row = static_cast<size_t>(width) * 3, size = row * height;
    for (size_t at = 0; at + size <= raw.size(); at += size) {
        Bitmap24 b(width, height);
        for (int y = 0; y < height; ++y) std::memcpy(b.Scanline(y), raw.data() + at + y * row, row);
        frames.push_back(std::move(b));
    }
    return frames;
}

int MaxDifference(const Bitmap24& a, const Bitmap24& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return 256;
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y) {
        const uint8_t* p = a.Scanline(y);
        const uint8_t* q = b.Scanline(y);
        for (int x = 0; x < a.Width() * 3; ++x) worst = std::max(worst, std::abs(p[x] - q[x]));
    }
    return worst;
}

}  // namespace vfix
