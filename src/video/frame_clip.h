#pragma once
// Clip: a sequence of equally sized 24-bit frames with a frame rate, as a script
// builds them from video files and filters. A clip chain is owned by its last
// clip; each filter owns the clip it reads. One virtual call per frame, none per
// pixel. Not thread-safe.
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap24.h"
#include "video/decoder.h"
#include "video/dv_timecode.h"

namespace video {

class Clip {
public:
    virtual ~Clip() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int FrameCount() const = 0;   // at least 1
    virtual double FrameRate() const = 0; // frames per second; 0 when unknown
    // Frame n (0 <= n < FrameCount()) into `out`, resized only when its size
    // differs. False with `error` (one English sentence) on failure.
    virtual bool GetFrame(int n, Bitmap24& out, std::string& error) = 0;
    // Frame threads in every decoder under the clip, for a long forward read (see
    // VideoDecoder::SetFrameThreads): the same frames either way. A clip without
    // decoders has nothing to switch.
    virtual void SetFrameThreads(bool on) { (void)on; }
};

using ClipPtr = std::shared_ptr<Clip>;

// A video file through the decoder. Open fails (false, `error`) when the file
// cannot be read or has no decoder for its video.
class SourceClip final : public Clip {
public:
    bool Open(const std::string& path, std::string& error);
    int Width() const override { return dec_.Width(); }
    int Height() const override { return dec_.Height(); }
    int FrameCount() const override { return dec_.FrameCount(); }
    double FrameRate() const override { return dec_.FrameRate(); }
    bool GetFrame(int n, Bitmap24& out, std::string& error) override;
    void SetFrameThreads(bool on) override { dec_.SetFrameThreads(on); }

private:
    VideoDecoder dec_;
};

// Frames first..last (inclusive) of the child; the caller checks the range.
class TrimClip final : public Clip {
public:
    TrimClip(ClipPtr child, int first, int last) : child_(std::move(child)), first_(first), count_(last - first + 1) {}
    int Width() const override { return child_->Width(); }
    int Height() const override { return child_->Height(); }
    int FrameCount() const override { return count_; }
    double FrameRate() const override { return child_->FrameRate(); }
    bool GetFrame(int n, Bitmap24& out, std::string& error) override;
    void SetFrameThreads(bool on) override { child_->SetFrameThreads(on); }

private:
    ClipPtr child_;
    int first_, count_;
};

// The rectangle (left, top, width, height) of every child frame; the caller
// checks that it lies inside the child's frame.
class CropClip final : public Clip {
public:
    CropClip(ClipPtr child, int left, int top, int width, int height)
        : child_(std::move(child)), left_(left), top_(top), width_(width), height_(height) {}
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    int FrameCount() const override { return child_->FrameCount(); }
    double FrameRate() const override { return child_->FrameRate(); }
    bool GetFrame(int n, Bitmap24& out, std::string& error) override;
    void SetFrameThreads(bool on) override { child_->SetFrameThreads(on); }

private:
    ClipPtr child_;
    int left_, top_, width_, height_;
    Bitmap24 whole_;  // the child's frame, kept between calls
};

// The child with another frame rate; frames unchanged.
class RateClip final : public Clip {
public:
    RateClip(ClipPtr child, double fps) : child_(std::move(child)), fps_(fps) {}
    int Width() const override { return child_->Width(); }
    int Height() const override { return child_->Height(); }
    int FrameCount() const override { return child_->FrameCount(); }
    double FrameRate() const override { return fps_; }
    bool GetFrame(int n, Bitmap24& out, std::string& error) override { return child_->GetFrame(n, out, error); }
    void SetFrameThreads(bool on) override { child_->SetFrameThreads(on); }

private:
    ClipPtr child_;
    double fps_;
};

// Clips of the same frame size one after the other, at the first one's rate.
class SpliceClip final : public Clip {
public:
    explicit SpliceClip(std::vector<ClipPtr> parts);
    int Width() const override { return parts_[0]->Width(); }
    int Height() const override { return parts_[0]->Height(); }
    int FrameCount() const override { return count_; }
    double FrameRate() const override { return parts_[0]->FrameRate(); }
    bool GetFrame(int n, Bitmap24& out, std::string& error) override;
    void SetFrameThreads(bool on) override {
        for (const ClipPtr& p : parts_) p->SetFrameThreads(on);
    }

private:
    std::vector<ClipPtr> parts_;
    int count_ = 0;
};

// The child with the DV recording time of each frame burnt in: read from
// `times` for the same frame number, formatted with `format` and drawn as a text
// box (see text_overlay.h). Frames without a recording time stay as they are.
class DvInfoClip final : public Clip {
public:
    struct Style {
        int x = 0, y = 0, size = 30;
        uint32_t text = 0xFFFFFF, back = 0x000000;  // 0xRRGGBB
        std::string format;
    };
    DvInfoClip(ClipPtr child, std::unique_ptr<DvTimeReader> times, Style style)
        : child_(std::move(child)), times_(std::move(times)), style_(std::move(style)) {}
    int Width() const override { return child_->Width(); }
    int Height() const override { return child_->Height(); }
    int FrameCount() const override { return child_->FrameCount(); }
    double FrameRate() const override { return child_->FrameRate(); }
    bool GetFrame(int n, Bitmap24& out, std::string& error) override;
    void SetFrameThreads(bool on) override { child_->SetFrameThreads(on); }

private:
    ClipPtr child_;
    std::unique_ptr<DvTimeReader> times_;
    Style style_;
};

}  // namespace video
