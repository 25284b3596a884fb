#include "video/frame_clip.h"

#include <climits>
#include <cstring>

#include "video/text_overlay.h"

namespace video {

namespace {
bool OutOfRange(int n, int count, std::string& error) {
    if (n >= 0 && n < count) return false;
    error = "Frame " + std::to_string(n) + " is outside the " + std::to_string(count) + " frames of the script.";
    return true;
}
}  // namespace

bool SourceClip::Open(const std::string& path, std::string& error) {
    if (!dec_.Open(path)) {
        error = dec_.Error();
        return false;
    }
    if (!dec_.CanDecode()) {
        error = "There is no decoder for the " + dec_.CodecName() + " video of " + path + ".";
        dec_.Close();
        return false;
    }
    return true;
}

bool SourceClip::GetFrame(int n, Bitmap24& out, std::string& error) {
    if (dec_.GetFrame(n, out)) return true;
    error = dec_.Error();
    return false;
}

bool TrimClip::GetFrame(int n, Bitmap24& out, std::string& error) {
    if (OutOfRange(n, count_, error)) return false;
    return child_->GetFrame(first_ + n, out, error);
}

bool CropClip::GetFrame(int n, Bitmap24& out, std::string& error) {
    if (!child_->GetFrame(n, whole_, error)) return false;
    if (whole_.Width() < left_ + width_ || whole_.Height() < top_ + height_) {
        error = "A frame is smaller than the cropped area.";
        return false;
    }
    if ((out.Width() != width_ || out.Height() != height_) && !out.Resize(width_, height_)) {
        error = "Out of memory for a cropped frame.";
        return false;
    }
    const size_t row = static_cast<size_t>(width_) * 3;
    for (int y = 0; y < height_; ++y) std::memcpy(out.Scanline(y), whole_.Scanline(top_ + y) + 3 * left_, row);
    return true;
}

SpliceClip::SpliceClip(std::vector<ClipPtr> parts) : parts_(std::move(parts)) {
    long long total = 0;
    for (const ClipPtr& p : parts_) total += p->FrameCount();
    count_ = static_cast<int>(total > INT_MAX / 2 ? INT_MAX / 2 : total);
}

bool SpliceClip::GetFrame(int n, Bitmap24& out, std::string& error) {
    if (OutOfRange(n, count_, error)) return false;
    for (const ClipPtr& p : parts_) {
        if (n < p->FrameCount()) return p->GetFrame(n, out, error);
        n -= p->FrameCount();
    }
    error = "A spliced clip is shorter than it said.";
    return false;
}

bool DvInfoClip::GetFrame(int n, Bitmap24& out, std::string& error) {
    if (!child_->GetFrame(n, out, error)) return false;
    if (!times_ || !times_->IsDv()) return true;
    const std::optional<DvRecTime> t = times_->TimeOf(n);
    if (!t) return true;
    DrawTextBox(out, style_.x, style_.y, style_.size, FormatDvTime(*t, style_.format), style_.text, style_.back);
    return true;
}

}  // namespace video
