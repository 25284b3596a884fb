#pragma once
// Test videos made with the ffmpeg tool: every frame paints its number as a 4 x 4 grid of
// blocks (bit b at column b % 4, row b / 4; red 230 for 1, 20 for 0) over moving green and
// blue gradients, so that a decoded frame tells which frame it is.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap24.h"

namespace vfix {

// The numbered picture source for ffmpeg's -f lavfi input.
std::string NumberedSource(int width, int height, const std::string& rate, double seconds);
// Runs `ffmpeg -v error -y <args>`; true on success.
bool Ffmpeg(const std::string& args);
// The number a frame paints (or -1 when a block is neither bright nor dark).
int ReadCode(const Bitmap24& frame);
// Every frame of `file` as the ffmpeg tool decodes and converts it to BGR24.
std::vector<Bitmap24> ReferenceFrames(const std::string& file, int width, int height);
// Largest difference of one byte between two bitmaps (256 when the sizes differ).
int MaxDifference(const Bitmap24& a, const Bitmap24& b);

// A hand-made uncompressed AVI: one video stream, bottom-up DIB rows per frame (empty for
// a dropped frame), an idx1 index.
struct AviLayout {
    int width = 32, height = 16, bitCount = 8;
    uint32_t clrUsed = 0;           // as written in the header
    std::vector<uint32_t> palette;  // 0x00RRGGBB entries after the header
    std::vector<std::string> frames;
    uint32_t length = UINT32_MAX;  // stream length; the frame count when left
    bool index = true;
};
std::string BuildAvi(const AviLayout& layout);

}  // namespace vfix
