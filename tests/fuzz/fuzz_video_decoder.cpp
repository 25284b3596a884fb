// The decoder's container road on arbitrary bytes written as an AVI file: opening,
// counting and fetching a few frames ends in pictures of the announced size or in
// an error sentence, with every FFmpeg allocation held to 64 MiB.
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

extern "C" {
#include <libavutil/mem.h>
}

#include "video/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        av_max_alloc(size_t{64} << 20);
        return "/tmp/tevorin-fuzz-decoder-" + std::to_string(::getpid()) + ".avi";
    }();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return 0;
    struct Remove {
        const std::string& path;
        ~Remove() { ::unlink(path.c_str()); }
    } remove{path};
    const bool written = ::write(fd, data, size) == static_cast<ssize_t>(size);
    ::close(fd);
    if (!written) return 0;

    video::VideoDecoder dec;
    if (!dec.Open(path)) {
        if (dec.Error().empty()) std::abort();
        return 0;
    }
    const int count = dec.FrameCount();
    if (count < 1) std::abort();
    Bitmap24 frame;
    for (int n : {0, 1, count - 1, count / 2, 0}) {
        if (n < 0 || n >= count) continue;
        if (dec.GetFrame(n, frame)) {
            if (frame.Width() != dec.Width() || frame.Height() != dec.Height()) std::abort();
        } else if (dec.Error().empty()) {
            std::abort();
        }
    }
    return 0;
}
