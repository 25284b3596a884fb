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

bool Ffmpeg(const std::string& args) { return testutil::Run("ffmpeg -nostdin -v error -y " + args + " 2>&1") == 0; }

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
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width() * 3; ++x) worst = std::max(worst, std::abs(a.Scanline(y)[x] - b.Scanline(y)[x]));
    return worst;
}

namespace {
void Le(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::string Chunk(const std::string& id, const std::string& data) {  // padded to an even size
    std::string s = id;
    Le(s, static_cast<uint32_t>(data.size()), 4);
    return s + data + (data.size() & 1 ? std::string(1, '\0') : "");
}
std::string List(const std::string& type, const std::string& data) { return Chunk("LIST", type + data); }
}  // namespace

std::string BuildAvi(const AviLayout& a) {
    const uint32_t n = a.length == UINT32_MAX ? static_cast<uint32_t>(a.frames.size()) : a.length;
    const uint32_t stride = ((static_cast<uint32_t>(a.width) * a.bitCount + 31) / 32) * 4;
    std::string avih;
    for (uint32_t v : {40000u, 0u, 0u, a.index ? 0x10u : 0u, n, 0u, 1u, stride * a.height,
                       static_cast<uint32_t>(a.width), static_cast<uint32_t>(a.height), 0u, 0u, 0u, 0u})
        Le(avih, v, 4);
    std::string strh("vids\0\0\0\0", 8);
    for (uint32_t v : {0u, 0u, 0u, 1u, 25u, 0u, n, stride * a.height, 0xFFFFFFFFu, 0u}) Le(strh, v, 4);
    Le(strh, 0, 2), Le(strh, 0, 2), Le(strh, static_cast<uint32_t>(a.width), 2), Le(strh, static_cast<uint32_t>(a.height), 2);
    std::string strf;
    for (uint32_t v : {40u, static_cast<uint32_t>(a.width), static_cast<uint32_t>(a.height)}) Le(strf, v, 4);
    Le(strf, 1, 2), Le(strf, static_cast<uint32_t>(a.bitCount), 2);
    for (uint32_t v : {0u, stride * a.height, 0u, 0u, a.clrUsed, 0u}) Le(strf, v, 4);
    for (uint32_t c : a.palette) Le(strf, c, 4);  // B, G, R, 0
    std::string hdrl = List("hdrl", Chunk("avih", avih) + List("strl", Chunk("strh", strh) + Chunk("strf", strf)));
    std::string movi = "movi", idx1;
    for (const std::string& f : a.frames) {
        idx1 += "00db";
        for (uint32_t v : {0x10u, static_cast<uint32_t>(movi.size()), static_cast<uint32_t>(f.size())}) Le(idx1, v, 4);
        movi += Chunk("00db", f);
    }
    std::string body = "AVI " + hdrl + Chunk("LIST", movi);
    if (a.index) body += Chunk("idx1", idx1);
    return Chunk("RIFF", body);
}

}  // namespace vfix
