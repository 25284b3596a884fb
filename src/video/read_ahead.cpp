#include "video/read_ahead.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <system_error>

namespace video {

FrameReadAhead::FrameReadAhead() : ring_(kRingSize) {}

FrameReadAhead::~FrameReadAhead() { Stop(); }

bool FrameReadAhead::Enabled() {
    const char* serial = std::getenv("TEVORIN_SERIAL");
    return !serial || !*serial || std::strcmp(serial, "0") == 0;
}

int FrameReadAhead::ConversionThreads() {
    int cpus = static_cast<int>(std::thread::hardware_concurrency());
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) cpus = CPU_COUNT(&set);
    return std::clamp(cpus / 2, 1, 4);
}

bool FrameReadAhead::Keeps(int first, int step) const { return Running() && next_ == first && step_ == step; }

void FrameReadAhead::Begin(int first, int step, int slots) {
    Stop();
    if (static_cast<int>(ring_.size()) != slots) ring_ = std::vector<Slot>(static_cast<size_t>(slots));
    size_ = slots;
    head_ = used_ = 0;
    stop_ = done_ = false;
    next_ = first;
    step_ = step;
}

void FrameReadAhead::Start(Fetch fetch, int first, int step, int count) {
    if (step == 0 || first < 0 || first >= count) {
        Stop();
        return;
    }
    if (Keeps(first, step)) return;
    Begin(first, step, kRingSize);
    worker_ = std::thread(&FrameReadAhead::Work, this, std::move(fetch), Decode(), first, step, count);
}

void FrameReadAhead::StartStaged(Decode decode, int first, int step, int count, size_t frameBytes) {
    if (step == 0 || first < 0 || first >= count) {
        Stop();
        return;
    }
    if (Keeps(first, step)) return;
    const size_t fit = kRingBytes / std::max<size_t>(frameBytes, 1);
    Begin(first, step, static_cast<int>(std::clamp<size_t>(fit, kRingSize, kMaxRingSize)));
    const int threads = ConversionThreads();
    try {
        for (int i = 0; i < threads; ++i) converters_.emplace_back(&FrameReadAhead::Convert, this);
    } catch (const std::system_error&) {
        // Fewer threads than asked for still convert every picture.
    }
    if (!converters_.empty()) {
        try {
            worker_ = std::thread(&FrameReadAhead::Work, this, Fetch(), std::move(decode), first, step, count);
            return;
        } catch (const std::system_error&) {
        }
    }
    // No thread to be had: the owner reads every frame itself.
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    WakeAll();
    for (auto& t : converters_) t.join();
    converters_.clear();
    next_ = -1;
    step_ = 0;
}

void FrameReadAhead::Work(Fetch fetch, Decode decode, int first, int step, int count) {
    for (long long n = first; n >= 0 && n < count; n += step) {
        Slot* slot;
        {
            std::unique_lock lock(mutex_);
            space_.wait(lock, [&] { return stop_ || used_ < size_; });
            if (stop_) break;
            slot = &ring_[static_cast<size_t>((head_ + used_) % size_)];
            slot->state = State::Fetching;
            ++used_;
        }
        // The slot is the worker's until it is marked decoded or ready.
        slot->error.clear();
        bool ok;
        try {
            ok = decode ? decode(static_cast<int>(n), slot->picture, slot->error)
                        : fetch(static_cast<int>(n), slot->frame, slot->error);
        } catch (const std::exception& e) {
            ok = false;
            slot->error = e.what();
        }
        {
            std::lock_guard lock(mutex_);
            slot->n = static_cast<int>(n);
            slot->ok = ok;
            slot->state = decode && ok ? State::Decoded : State::Ready;
        }
        if (decode && ok) work_.notify_one();
        else ready_.notify_one();
        // Named once the decoder's own threads (started by the first fetch, named
        // after the thread that starts them) are up, so that profiles tell them apart.
        if (n == first) pthread_setname_np(pthread_self(), "read-ahead");
        // The owner would stop at a frame it cannot read: nothing after it is read.
        if (!ok) break;
    }
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    ready_.notify_one();
}

void FrameReadAhead::Convert() {
    pthread_setname_np(pthread_self(), "convert");
    PictureConverter converter(1);
    std::unique_lock lock(mutex_);
    for (;;) {
        Slot* slot = nullptr;
        work_.wait(lock, [&] {
            if (stop_) return true;
            for (int i = 0; i < used_; ++i) {
                Slot& s = ring_[static_cast<size_t>((head_ + i) % size_)];
                if (s.state == State::Decoded) {
                    slot = &s;
                    return true;
                }
            }
            return false;
        });
        if (stop_) return;
        // The oldest decoded picture first: the owner waits for the head.
        slot->state = State::Converting;
        lock.unlock();
        bool ok;
        try {
            ok = converter.Convert(slot->picture, slot->frame, slot->error);
        } catch (const std::exception& e) {
            ok = false;
            slot->error = e.what();
        }
        slot->picture.Release();
        lock.lock();
        slot->ok = ok;
        slot->state = State::Ready;
        // The owner waits for the head slot only.
        if (slot == &ring_[static_cast<size_t>(head_)]) ready_.notify_one();
    }
}

bool FrameReadAhead::Take(int n, Bitmap24& out, bool& ok, std::string& error) {
    if (!Running()) return false;
    if (n != next_) {
        Stop();
        return false;
    }
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] {
            return (used_ > 0 && ring_[static_cast<size_t>(head_)].state == State::Ready) || (used_ == 0 && done_);
        });
        Slot& slot = ring_[static_cast<size_t>(head_)];
        if (used_ > 0 && slot.n == n) {
            ok = slot.ok;
            if (ok) std::swap(out, slot.frame);
            else error = slot.error;
            slot.state = State::Free;
            head_ = (head_ + 1) % size_;
            --used_;
            next_ += step_;
            lock.unlock();
            space_.notify_one();
            // Nothing after a failure is handed over: the owner reads on itself.
            if (!ok) Stop();
            return true;
        }
    }
    Stop();
    return false;
}

void FrameReadAhead::WakeAll() {
    space_.notify_all();
    work_.notify_all();
    ready_.notify_all();
}

void FrameReadAhead::Stop() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    WakeAll();
    worker_.join();
    for (auto& t : converters_) t.join();
    converters_.clear();
    for (Slot& s : ring_) {
        s.picture.Release();
        s.state = State::Free;
    }
    used_ = 0;
    next_ = -1;
    step_ = 0;
}

}  // namespace video
