#include "measure/picture_export.h"

#include <algorithm>

#include "imagefile/LinarBitmap.h"
#include "imagefile/Streams.h"
#include "platform/file_io.h"
#include "platform/save_picture.h"

QImage FramePictureToSave(const QImage& shown, int frameRateInt) {
    const int rows = frameRateInt > 25 ? std::min(480, shown.height()) : shown.height();
    return shown.copy(0, 0, shown.width(), rows);
}

std::string FramePictureName(const std::string& chosen, int filterIndex) {
    if (chosen.empty()) return {};
    const std::string name = fileio::ChangeFileExt(chosen, PictureExtension(filterIndex));
    const std::string file = fileio::ExtractFileName(name);
    if (file.empty() || file[0] == '.') return {};
    return name;
}

bool LoadBitmapFrame(const std::string& path, Bitmap24& out, std::string& error) {
    out = Bitmap24();
    std::string data;
    if (!fileio::ReadFile(path, data, error, kMaxBitmapFileBytes)) return false;
    const std::string ext = imagefile::GetFileExt(path);
    try {
        imagefile::TMemStream stream;
        stream.Write(data.data(), data.size());
        data.clear();
        data.shrink_to_fit();
        stream.Seek(0);
        imagefile::TLinearBitmap bitmap;
        {
            // Refused from the header when the frame could not take it.
            const imagefile::TPictureLimit limit(imagefile::kMaxOpenedPicturePixels, Bitmap24::kMaxSide);
            imagefile::BitmapLoaders().FindLoader(ext)->LoadFromStream(stream, ext, bitmap);
        }
        if (!bitmap.Present || bitmap.Width <= 0 || bitmap.Height <= 0) {
            error = "No picture in the file.";
            return false;
        }
        bitmap.AssignTo(out);
    } catch (const std::exception& e) {
        out = Bitmap24();
        error = e.what();
        return false;
    }
    return true;
}
