#include "platform/bitmap24.h"

#include <QImage>
#include <cstring>

bool Bitmap24::Resize(int width, int height) {
    if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide) {
        Clear();
        return false;
    }
    width_ = width;
    height_ = height;
    stride_ = (width * 3 + 3) & ~3;
    data_.assign(static_cast<size_t>(stride_) * height, 0);
    return true;
}

void Bitmap24::Clear() {
    width_ = height_ = stride_ = 0;
    data_.clear();
    data_.shrink_to_fit();
}

void Bitmap24::Fill(uint8_t b, uint8_t g, uint8_t r) {
    for (int y = 0; y < height_; ++y) {
        uint8_t* p = Scanline(y);
        for (int x = 0; x < width_; ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
}

QImage Bitmap24::View() const {
    if (Empty()) return QImage();
    return QImage(data_.data(), width_, height_, stride_, QImage::Format_BGR888);
}

Bitmap24 Bitmap24::FromImage(const QImage& image) {
    Bitmap24 out;
    if (image.isNull()) return out;
    QImage src = image.convertToFormat(QImage::Format_BGR888);
    if (!out.Resize(src.width(), src.height())) return out;
    for (int y = 0; y < out.height_; ++y)
        std::memcpy(out.Scanline(y), src.constScanLine(y), static_cast<size_t>(out.width_) * 3);
    return out;
}

bool Bitmap24::operator==(const Bitmap24& o) const {
    if (width_ != o.width_ || height_ != o.height_) return false;
    for (int y = 0; y < height_; ++y)
        if (std::memcmp(Scanline(y), o.Scanline(y), static_cast<size_t>(width_) * 3) != 0) return false;
    return true;
}
