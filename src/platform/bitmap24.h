#pragma once
// A 24-bit frame bitmap: B,G,R bytes per pixel, rows top-down, each row padded to
// a multiple of 4 bytes as a device-independent bitmap row is. Scanline access is
// the only way the measurement code reads pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

class QImage;

class Bitmap24 {
public:
    // Largest side accepted; larger sizes are refused rather than allocated.
    static constexpr int kMaxSide = 16384;

    Bitmap24() = default;
    Bitmap24(int width, int height) { Resize(width, height); }

    // Sets the size and zero-fills. Returns false (and leaves an empty bitmap)
    // for a negative size or one beyond kMaxSide.
    bool Resize(int width, int height);
    void Clear();  // zero size
    void Fill(uint8_t b, uint8_t g, uint8_t r);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    uint8_t* Scanline(int y) { return data_.data() + static_cast<size_t>(y) * stride_; }
    const uint8_t* Scanline(int y) const { return data_.data() + static_cast<size_t>(y) * stride_; }
    uint8_t* Bits() { return data_.data(); }
    const uint8_t* Bits() const { return data_.data(); }
    size_t ByteSize() const { return data_.size(); }

    // Brightness as the detectors see it: R + G + B (0..765). No bounds check.
    int Brightness(int x, int y) const {
        const uint8_t* p = Scanline(y) + 3 * x;
        return p[0] + p[1] + p[2];
    }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // A QImage over this bitmap's memory (Format_BGR888, no copy). Valid while the
    // bitmap is neither resized nor destroyed.
    QImage View() const;
    // A deep copy of a QImage in any format.
    static Bitmap24 FromImage(const QImage& image);

    bool operator==(const Bitmap24& o) const;

private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<uint8_t> data_;
};
