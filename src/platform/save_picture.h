#pragma once
// The one routine that writes a picture to a file. The format follows the file
// name's extension (".png", ".jpg"/".jpeg", ".bmp"; case ignored); any other
// extension, or none, writes a bitmap. The picture is encoded in memory and written
// to a temporary file renamed over the target, so a failed save leaves any old file
// untouched. Returns false with a short English message on failure.
#include <QImage>
#include <string>

// `PictureSaveFilter`: the picture types every picture save offers, in the order
// PNG, JPEG, bitmap (the image library's save filter in the dialogs' form).
inline constexpr const char* kPictureSaveFilter =
    "Portable Network Graphics (*.png);;Joint Picture Expert Group (*.jpg);;Windows Bitmap (*.bmp)";
// The extension of picture type `index` (1-based); ".png" for any other index.
inline const char* PictureExtension(int index) { return index == 2 ? ".jpg" : index == 3 ? ".bmp" : ".png"; }

enum class PictureFormat { Png, Jpeg, Bmp };

// The format a file name's extension asks for (Bmp for anything unknown).
PictureFormat PictureFormatOf(const std::string& path);

bool SavePicture(const QImage& image, const std::string& path, std::string& error);
