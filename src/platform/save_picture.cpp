#include "save_picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cctype>

#include "file_io.h"
#include "imagefile/LinarBitmap.h"

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
    const char* format = "BMP";
    switch (PictureFormatOf(path)) {
        case PictureFormat::Png: format = "PNG"; break;
        case PictureFormat::Jpeg: format = "JPEG"; break;
        case PictureFormat::Bmp: format = "BMP"; break;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    // JPEG, BMP and our PNG writer keep no alpha; flatten onto white so transparent
    // areas do not turn black.
    QImage out = image;
    if (out.hasAlphaChannel()) {
        QImage flat(out.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, out);
        painter.end();
        out = flat;
    }
    if (PictureFormatOf(path) == PictureFormat::Png) {
        // PNG goes through the image library's writer, as a 24-bit picture.
        try {
            imagefile::TLinearBitmap bitmap;
            bitmap.Assign(out.convertToFormat(QImage::Format_BGR888));
            bitmap.SaveToFile(path);
        } catch (const std::exception& e) {
            error = e.what();
            return false;
        }
        return true;
    }
    if (!writer.write(out)) {
        error = "Cannot encode the picture for " + path + ": " + writer.errorString().toStdString();
        return false;
    }
    return fileio::WriteFileAtomic(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), error);
}
