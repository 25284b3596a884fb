#pragma once
// Small helpers shared by the FFmpeg-based units of this folder.
#include <string>

namespace video {

// FFmpeg error code as text.
std::string AvError(int code);
// Silences FFmpeg's own console messages; every failure is reported through our
// error strings instead. Called before the libraries are used.
void QuietFfmpegLog();

}  // namespace video
