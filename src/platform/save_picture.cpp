#include "save_picture.h"

#include <QPainter>

#include <algorithm>
#include <cctype>

#include "file_io.h"
#include "imagefile/BMPLoader.h"
#include "imagefile/JPEGLoader.h"
#include "imagefile/LinarBitmap.h"
#include "imagefile/PNGLoader.h"

PictureFormat PictureFormatOf(const std::string& path) {
    std::string ext = fileio::ExtractFileExt(path);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".png") return PictureFormat::Png;
    if (ext == ".jpg" || ext == ".jpeg") return PictureFormat::Jpeg;
    return PictureFormat::Bmp;
}

bool SavePicture(const QImage& image, const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "No file name given for the picture.";
        return false;
    }
    if (image.isNull()) {
        error = "There is no picture to save to " + path + ".";
        return false;
    }
    // Our writers keep no alpha; flatten onto white so transparent areas do not
    // turn black.
    QImage out = image;
    if (out.hasAlphaChannel()) {
        QImage flat(out.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, out);
        painter.end();
        out = flat;
    }
    // Every format goes through the image library's writers as a 24-bit picture;
    // their file saving writes a temporary file and renames it.
    try {
        imagefile::TLinearBitmap bitmap;
        bitmap.Assign(out.convertToFormat(QImage::Format_BGR888));
        switch (PictureFormatOf(path)) {
            case PictureFormat::Png: imagefile::PNGLoader().SaveToFile(path, "PNG", bitmap); break;
            case PictureFormat::Jpeg: imagefile::JPEGLoader().SaveToFile(path, "JPG", bitmap); break;
            case PictureFormat::Bmp: imagefile::BMPLoader().SaveToFile(path, "BMP", bitmap); break;
        }
    } catch (const std::exception& e) {
        error = "Cannot save the picture to " + path + ": " + e.what();
        return false;
    }
    return true;
}
