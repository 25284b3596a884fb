#pragma once
// A small interpreter of AviSynth scripts (".avs"): what this program writes beside
// a video and what a user typically adds in the script editor. Supported:
//   statements, one per line: `name = expression` or an expression; a clip-valued
//   expression becomes `last`, and the script gives `last` at its end;
//   `#` comments; a line ending in `\` or one starting with `\` continues a line;
//   integers, decimals, true/false, "..." and """...""" strings (the latter may
//   span lines); + - * / % and parentheses (+ also joins strings);
//   calls with positional and name=value arguments, `clip.Function(...)`, and
//   functions without parentheses; a clip argument left out is `last`.
// Functions:
//   DirectShowSource(filename, fps, seek, audio, video, convertfps, seekzero,
//       timeout, pixel_type)  AVISource / OpenDMLSource(filename, ..., audio=,
//       pixel_type=)  Trim(clip, first_frame, last_frame, pad)
//   Crop(clip, left, top, width, height, align)  ConvertToRGB24 / ConvertToRGB32 /
//   ConvertToRGB(clip)  AssumeFPS(clip, fps | numerator [, denominator] | preset,
//       sync_audio)  LoadPlugin(path) (ignored)
//   DVInfo(clip, filename, type, x, y, font, size, text_color, halo_color, format):
//       the DV recording time (type "rec_time") burnt in; see frame_clip.h.
// Relative file names are taken from the script's folder. Frames are always 24-bit.
// Anything else fails with one English sentence that begins "Line N: ".
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "video/dv_timecode.h"
#include "video/frame_clip.h"

namespace video {

// Where a script's files come from; tests and the fuzzer put in their own.
struct ScriptFiles {
    // Opens a video file for a source function; nullptr with `error` on failure.
    std::function<ClipPtr(const std::string& path, std::string& error)> openVideo;
    // Opens the file DVInfo reads the recording times from.
    std::function<std::unique_ptr<DvTimeReader>(const std::string& path, std::string& error)> openTimes;
    // Both on real files through the decoder.
    static ScriptFiles Real();
};

// Limits that keep a hostile script small.
constexpr size_t kMaxScriptBytes = 1 << 20;
constexpr int kMaxClips = 256;       // sources and filters together
constexpr int kMaxSources = 16;      // video files opened (each holds a decoder)
constexpr int kMaxNesting = 64;      // parentheses, unary signs and calls inside each other

// Runs script text. `folder` (with or without a trailing '/') resolves relative
// file names. Returns the script's clip, or nullptr with `error`.
ClipPtr RunAvsScript(std::string_view text, const std::string& folder, const ScriptFiles& files, std::string& error);

// Reads and runs the script file at `path`.
ClipPtr OpenAvsScript(const std::string& path, std::string& error);

// True for a path with the extension ".avs" in any letter case.
bool IsAvsPath(const std::string& path);

}  // namespace video
