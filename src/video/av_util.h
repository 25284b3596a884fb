#pragma once
// Small helpers shared by the FFmpeg-based units of this folder.
#include <string>

struct AVFormatContext;

namespace video {


// Opens `path` with avformat_open_input, regular files only: anything else is
// refused at once (a FIFO would make the open wait for a writer that may never
// come). Returns the FFmpeg result (AVERROR(EINVAL) for a file that is not
// regular) and, on failure, `error` as "NAME is not a regular file." or
// "Could not open NAME: REASON.".
int OpenFormatInput(AVFormatContext** fmt, const std::string& path, std::string& error);

// FFmpeg error code as text.
std::string AvError(int code);
// Silences FFmpeg's own console messages; every failure is reported through our
// error strings instead. Called before the libraries are used.
void QuietFfmpegLog();

}  // namespace video
