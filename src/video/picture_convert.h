#pragma once
// Decoded pictures and their conversion to 24-bit bitmaps, split so that a run can
// decode frames in order on one thread and convert them on others.
//
// PictureConverter::Convert gives the same bytes as VideoDecoder::GetFrame for the
// same picture: fixed swscale flags, the stream's colour matrix when it names one
// (else BT.601 up to 576 lines and BT.709 above) and its signalled range. A converter
// is used by one thread at a time; pictures are read-only and may be converted on
// any thread, whatever the decoder does meanwhile.
#include <memory>
#include <string>

#include "platform/bitmap24.h"

struct AVFrame;

namespace video {

// A decoded picture (a reference to the decoder's buffers, not a copy) with what
// its conversion needs. Empty until VideoDecoder::GetPicture fills it.
class DecodedPicture {
public:
    DecodedPicture() = default;
    ~DecodedPicture();
    DecodedPicture(DecodedPicture&& other) noexcept;
    DecodedPicture& operator=(DecodedPicture&& other) noexcept;
    DecodedPicture(const DecodedPicture&) = delete;
    DecodedPicture& operator=(const DecodedPicture&) = delete;

    bool Empty() const { return frame_ == nullptr; }
    // Lets go of the decoder's buffers.
    void Release();

private:
    friend class VideoDecoder;
    friend class PictureConverter;
    AVFrame* frame_ = nullptr;
    int width_ = 0, height_ = 0;  // the bitmap's size: the stream's frame size
    std::string name_;            // the file's name, for error texts
};

class PictureConverter {
public:
    // `threads` above 1 spreads the rows of each picture over that many threads;
    // each row comes out the same either way.
    explicit PictureConverter(int threads = 1);
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // `picture` into `out` (resized only when its size differs). False with
    // `error` set when the picture is empty or cannot be converted.
    bool Convert(const DecodedPicture& picture, Bitmap24& out, std::string& error);
    // The same for a picture of the decoder, to a bitmap of width x height.
    bool Convert(const AVFrame* f, int width, int height, const std::string& name, Bitmap24& out, std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace video
