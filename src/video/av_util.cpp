#include "video/av_util.h"

#include <cerrno>
#include <mutex>

#include "platform/file_io.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace video {

std::string AvError(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

int OpenFormatInput(AVFormatContext** fmt, const std::string& path, std::string& error) {
    const std::string name = fileio::ExtractFileName(path);
    std::string why;
    int openErrno = 0;
    int r = 0;
    if (!fileio::CheckRegularFile(path, why, &openErrno)) {
        r = openErrno ? AVERROR(openErrno) : AVERROR(EINVAL);
        error = openErrno ? "Could not open " + name + ": " + AvError(r) + "." : name + " is not a regular file.";
        return r;
    }
    r = avformat_open_input(fmt, path.c_str(), nullptr, nullptr);
    if (r < 0) error = "Could not open " + name + ": " + AvError(r) + ".";
    return r;
}

void QuietFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace video
