#pragma once
// VideoDecoder: frame-accurate reading of the first video stream of a file, on the
// FFmpeg libraries. Shared by the AVI reader, the DirectShow-style reader and the
// script reader.
//
// Frame numbering. Frame n is the n-th frame slot of the stream in display order,
// counted from 0. In AVI files the slot is the one the AVI header counts: a
// zero-size "dropped frame" chunk is a slot of its own and shows the picture of the
// slot before it. FrameCount() is the AVI header's stream length, but never more
// than the index lists (a header may claim anything); files without an index (an
// interrupted capture) are scanned once at Open and counted from the complete
// packets there. Other containers count frames from the stream header, or from its duration
// at the frame rate, or by the same scan.
//
// Determinism. GetFrame(n) delivers the same pixels whichever way n is reached:
// the next frame is decoded without seeking, the same n again and recently
// delivered frames come from a small cache of decoded pictures, and any other n
// seeks to the key frame at or before n and decodes forward. Colour conversion to
// BGR uses fixed swscale flags, the stream's colour matrix when it names one (else
// BT.601 up to 576 lines and BT.709 above) and its signalled range.
//
// Limits. Frames wider or taller than kMaxSide, a size of 0 or a frame count
// below 1 make Open fail. In AVI files only a dropped frame shows the previous
// picture: a slot whose data cannot be read (the file was cut short after Open)
// or decoded makes GetFrame fail. Elsewhere a slot without a picture of its own
// shows the previous one.
//
// Not thread-safe: one decoder is used by one thread at a time.
#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

#include "platform/bitmap24.h"
#include "video/picture_convert.h"

namespace video {

class VideoDecoder {
public:
    static constexpr int kMaxSide = 8192;

    VideoDecoder();
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens `path` and its first video stream. Returns false with Error() set when
    // the file cannot be read, has no video stream, or its size or frame count is
    // out of range. A stream whose codec has no decoder here still opens (size,
    // rate and count are known); CanDecode() is then false and GetFrame fails.
    // Closes any file opened before.
    bool Open(const std::string& path);
    // Releases everything; the decoder can be opened again. Safe to call twice.
    void Close();

    bool IsOpen() const;
    bool CanDecode() const;

    int Width() const;   // frame size in pixels; 0 when not open
    int Height() const;
    AVRational Rate() const;   // frames per second as a fraction; {0, 1} when unknown
    double FrameRate() const;  // the same as a double; 0 when unknown
    int FrameCount() const;    // frame slots; 0 when not open
    // The frame count the AVI header claims when it is above FrameCount(), else 0.
    int64_t HeaderFrameCount() const;
    double DurationSeconds() const;  // FrameCount() / FrameRate(); 0 when unknown
    std::string CodecName() const;   // e.g. "mpeg4"; empty when not open

    // Frame n (0 <= n < FrameCount()) as a 24-bit bitmap of Width() x Height(),
    // rows top-down. `out` is resized only when its size differs. Returns false
    // with Error() set when n is out of range, nothing is open, the codec has no
    // decoder or no picture could be decoded for n.
    bool GetFrame(int n, Bitmap24& out);
    // The same frame as a decoded picture, to be converted by a PictureConverter
    // (on any thread) into the bytes GetFrame gives.
    bool GetPicture(int n, DecodedPicture& out);

    // Frame threads for a long forward read (a run read ahead): several pictures
    // are decoded at once, the same pictures as without; every seek costs more.
    // The next GetFrame seeks afresh after a change. Off after Open.
    void SetFrameThreads(bool on);

    // Why the last failing call failed: one English sentence naming the file.
    const std::string& Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace video
