#pragma once
// FrameReadAhead: while a run moves through a video by a constant step, a worker
// thread fetches the next frames into a small ring of bitmaps, so that decoding
// and conversion overlap with the measurement of the current frame.
//
// Ownership. Start hands the frame source (whatever `fetch` touches: a decoder,
// a script's clips) to the worker; it stays the worker's until Stop returns or a
// Take misses. The owner reads frames only through Take meanwhile. Stop waits
// for the frame being fetched, so after it nothing runs on the worker.
//
// Results. The worker fetches exactly the frames first, first + step, ... in this
// order, as the owner would one by one, and stops at the first failure: the
// failure is handed over at its own frame, with the source's error text, and
// nothing after it is read. Memory is the ring's few bitmaps, whatever the length
// of the video.
//
// Every member is called from the owner's thread only.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bitmap24.h"

namespace video {

class FrameReadAhead {
public:
    // Fetches frame n into `out`; false with `error` set when it cannot.
    using Fetch = std::function<bool(int n, Bitmap24& out, std::string& error)>;
    static constexpr int kRingSize = 4;

    FrameReadAhead();
    ~FrameReadAhead();
    FrameReadAhead(const FrameReadAhead&) = delete;
    FrameReadAhead& operator=(const FrameReadAhead&) = delete;

    // Reads first, first + step, ... while they lie in 0..count-1. Keeps a worker
    // that already follows this plan (its next frame is `first`, its step `step`);
    // any other worker is stopped first. Nothing starts for step 0 or a first
    // frame outside the video.
    void Start(Fetch fetch, int first, int step, int count);
    // Frame n. When n is the next frame of the plan: waits for it, moves it into
    // `out` (swapping buffers) and sets `ok`; on failure `out` is untouched and
    // `error` is set. Returns true. Otherwise stops the worker and returns false: the
    // owner reads n itself.
    bool Take(int n, Bitmap24& out, bool& ok, std::string& error);
    // Drops the ring; the source belongs to the owner again. Safe to call twice.
    void Stop();
    bool Running() const { return worker_.joinable(); }

    // False when the environment variable TEVORIN_SERIAL is set (to anything but
    // empty or "0"): then readers never start a worker, so that runs can be
    // compared with the one-frame-at-a-time road.
    static bool Enabled();

private:
    struct Slot {
        Bitmap24 frame;
        int n = -1;
        bool ok = false;
        std::string error;
    };
    void Work(Fetch fetch, int first, int step, int count);

    std::vector<Slot> ring_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    int head_ = 0;       // oldest filled slot
    int filled_ = 0;     // slots ready for Take
    bool stop_ = false;  // the owner wants the worker to end
    bool done_ = false;  // the worker has fetched its last frame
    // Owner's side.
    int next_ = -1;  // the frame the next Take expects
    int step_ = 0;
};

}  // namespace video
