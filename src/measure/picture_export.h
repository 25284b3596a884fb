#pragma once
// The main window's picture exports and its single-bitmap source, without any
// window: which part of the shown frame a saved picture holds, the name a save
// writes under, and reading a bitmap file as the frame to measure.
//
// LoadBitmapFrame reads the whole file first (regular files only, at most
// kMaxBitmapFileBytes; a FIFO is refused at once) and decodes it from memory with
// the image library's loader for its extension, so a cut, corrupt or hostile file
// gives an error and leaves `out` empty; a picture larger than a frame can be
// (Bitmap24::kMaxSide a side, imagefile::kMaxOpenedPicturePixels) is refused from
// its header, before any pixel is decoded, and the decoded picture goes into the
// frame row by row.
#include <QImage>
#include <string>

#include "platform/bitmap24.h"

inline constexpr size_t kMaxBitmapFileBytes = size_t{256} << 20;

// The picture "Save Image" writes: a copy of the shown frame, its first 480 rows
// for a video above 25 frames per second (NTSC), else its whole height. The shown
// picture itself is never changed.
QImage FramePictureToSave(const QImage& shown, int frameRateInt);

// The name "Save Image" writes under: the chosen name with the extension of file
// type `filterIndex` (1 ".png", 2 ".jpg", 3 ".bmp", any other ".png"); empty
// (nothing saved) when no name was chosen or the file name would begin with ".".
std::string FramePictureName(const std::string& chosen, int filterIndex);

// The bitmap file at `path` as a 24-bit frame. False with a short English error.
bool LoadBitmapFrame(const std::string& path, Bitmap24& out, std::string& error);
