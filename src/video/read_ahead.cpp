#include "video/read_ahead.h"

#include <cstdlib>
#include <cstring>
#include <exception>

namespace video {

FrameReadAhead::FrameReadAhead() : ring_(kRingSize) {}

FrameReadAhead::~FrameReadAhead() { Stop(); }

bool FrameReadAhead::Enabled() {
    const char* serial = std::getenv("TEVORIN_SERIAL");
    return !serial || !*serial || std::strcmp(serial, "0") == 0;
}

void FrameReadAhead::Start(Fetch fetch, int first, int step, int count) {
    if (step == 0 || first < 0 || first >= count) {
        Stop();
        return;
    }
    if (Running() && next_ == first && step_ == step) return;
    Stop();
    head_ = filled_ = 0;
    stop_ = done_ = false;
    next_ = first;
    step_ = step;
    worker_ = std::thread(&FrameReadAhead::Work, this, std::move(fetch), first, step, count);
}

void FrameReadAhead::Work(Fetch fetch, int first, int step, int count) {
    for (long long n = first; n >= 0 && n < count; n += step) {
        int index;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || filled_ < kRingSize; });
            if (stop_) break;
            index = (head_ + filled_) % kRingSize;
        }
        // The slot is outside the filled range: the owner does not look at it.
        Slot& slot = ring_[index];
        slot.error.clear();
        bool ok;
        try {
            ok = fetch(static_cast<int>(n), slot.frame, slot.error);
        } catch (const std::exception& e) {
            ok = false;
            slot.error = e.what();
        }
        {
            std::lock_guard lock(mutex_);
            slot.n = static_cast<int>(n);
            slot.ok = ok;
            ++filled_;
        }
        changed_.notify_all();
        // The owner would stop at a frame it cannot read: nothing after it is read.
        if (!ok) break;
    }
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
}

bool FrameReadAhead::Take(int n, Bitmap24& out, bool& ok, std::string& error) {
    if (!Running()) return false;
    if (n != next_) {
        Stop();
        return false;
    }
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return filled_ > 0 || done_; });
        if (filled_ > 0 && ring_[head_].n == n) {
            Slot& slot = ring_[head_];
            ok = slot.ok;
            if (ok) std::swap(out, slot.frame);
            else error = slot.error;
            head_ = (head_ + 1) % kRingSize;
            --filled_;
            next_ += step_;
            lock.unlock();
            changed_.notify_all();
            return true;
        }
    }
    Stop();
    return false;
}

void FrameReadAhead::Stop() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
    filled_ = 0;
    next_ = -1;
    step_ = 0;
}

}  // namespace video
