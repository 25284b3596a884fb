// Video subcommands:
//   video-info FILE        width, height, frame rate, frame count, duration and codec;
//                          "header-frames N" last when the AVI header claims more frames
//   frame FILE N OUT.ppm   frame N as TVfwAvi.GetFrame delivers it, as binary PPM (RGB)
#include <cstdio>
#include <string>

#include "platform/file_io.h"
#include "platform/numtext.h"
#include "probe.h"
#include "video/VfwAvi.h"
#include "video/decoder.h"

namespace {

int VideoInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) return ProbeFail("usage: video-info FILE");
    video::VideoDecoder dec;
    if (!dec.Open(args[0])) return ProbeFail(dec.Error());
    AVRational r = dec.Rate();
    std::printf("width %d\nheight %d\nrate %d/%d\nfps %s\nframes %d\nduration %s\ncodec %s\ndecoder %s\n",
                dec.Width(), dec.Height(), r.num, r.den, numtext::FormatFixed(dec.FrameRate(), 15, 6).c_str(),
                dec.FrameCount(), numtext::FormatFixed(dec.DurationSeconds(), 15, 6).c_str(),
                dec.CodecName().c_str(), dec.CanDecode() ? "yes" : "no");
    if (dec.HeaderFrameCount() > 0) std::printf("header-frames %lld\n", static_cast<long long>(dec.HeaderFrameCount()));
    return 0;
}

int Frame(const std::vector<std::string>& args) {
    if (args.size() != 3) return ProbeFail("usage: frame FILE N OUT.ppm");
    auto n = numtext::ParseInt(args[1]);
    if (!n) return ProbeFail("not a frame number: " + args[1]);
    TVfwAvi avi;
    if (!avi.Open(args[0])) return ProbeFail(avi.LastError());
    Bitmap24 bmp;
    if (!avi.GetFrame(static_cast<int>(*n), bmp)) return ProbeFail("frame " + args[1] + ": " + avi.LastError());
    std::string out = "P6\n" + std::to_string(bmp.Width()) + " " + std::to_string(bmp.Height()) + "\n255\n";
    out.reserve(out.size() + static_cast<size_t>(bmp.Width()) * bmp.Height() * 3);
    for (int y = 0; y < bmp.Height(); ++y) {
        const uint8_t* p = bmp.Scanline(y);
        for (int x = 0; x < bmp.Width(); ++x, p += 3) {
            out.push_back(static_cast<char>(p[2]));
            out.push_back(static_cast<char>(p[1]));
            out.push_back(static_cast<char>(p[0]));
        }
    }
    std::string err;
    if (!fileio::WriteFileAtomic(args[2], out, err)) return ProbeFail(err);
    return 0;
}

ProbeCommand regInfo("video-info", "FILE", VideoInfo);
ProbeCommand regFrame("frame", "FILE N OUT.ppm", Frame);

}  // namespace
