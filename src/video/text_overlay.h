#pragma once
// A text box burnt into a frame with a built-in 5 x 7 pixel font, so that the
// same text gives the same pixels on every machine, with or without a display.
#include <cstdint>
#include <string_view>

#include "platform/bitmap24.h"

namespace video {

struct TextBoxLayout {
    int scale = 1;           // font pixel size in frame pixels
    int width = 0, height = 0;  // the box
};

// The box of `text` for a box height of at most `size` pixels: the glyphs are
// scaled by max(1, size / 9), each character is 6 scaled pixels wide, and one
// scaled pixel of margin surrounds the text.
TextBoxLayout LayoutTextBox(int size, size_t length);

// Fills the box with `back` and draws `text` in `fore` with its top-left corner
// at (x, y); colours are 0xRRGGBB. Parts outside the frame are cut off; bytes
// outside printable ASCII are drawn as '?'.
void DrawTextBox(Bitmap24& frame, int x, int y, int size, std::string_view text, uint32_t fore, uint32_t back);

}  // namespace video
