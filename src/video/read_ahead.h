#pragma once
// FrameReadAhead: while a run moves through a video by a constant step, a worker
// thread fetches the next frames into a ring of bitmaps, so that decoding and
// conversion overlap with the measurement of the current frame.
//
// Two ways of fetching. Start takes one call that reads a frame whole. StartStaged
// takes the decoder's half: the worker only decodes, frame after frame, and a few
// conversion threads beside it turn the decoded pictures into bitmaps, so that
// the decoder is fed again at once rather than after each conversion.
//
// Ownership. Start hands the frame source (whatever `fetch` touches: a decoder,
// a script's clips) to the worker; it stays the worker's until Stop returns or a
// Take misses. The owner reads frames only through Take meanwhile. Stop waits
// for the frame being fetched and the conversions under way, so after it nothing
// runs on the worker or the conversion threads.
//
// Results. The worker fetches exactly the frames first, first + step, ... in this
// order, as the owner would one by one, and stops at the first failure: the
// failure is handed over at its own frame, with the source's error text, and
// nothing after it is handed over. Memory is the ring's bitmaps (and, staged,
// their decoded pictures), whatever the length of the video.
//
// Every member is called from the owner's thread only.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bitmap24.h"
#include "video/picture_convert.h"

namespace video {

class FrameReadAhead {
public:
    // Fetches frame n into `out`; false with `error` set when it cannot.
    using Fetch = std::function<bool(int n, Bitmap24& out, std::string& error)>;
    // Decodes frame n into `out`; false with `error` set when it cannot.
    using Decode = std::function<bool(int n, DecodedPicture& out, std::string& error)>;
    static constexpr int kRingSize = 4;
    // Staged: the ring holds up to this many frames, as far as kRingBytes allow.
    static constexpr int kMaxRingSize = 12;
    static constexpr size_t kRingBytes = size_t{48} << 20;

    FrameReadAhead();
    ~FrameReadAhead();
    FrameReadAhead(const FrameReadAhead&) = delete;
    FrameReadAhead& operator=(const FrameReadAhead&) = delete;

    // Reads first, first + step, ... while they lie in 0..count-1. Keeps a worker
    // that already follows this plan (its next frame is `first`, its step `step`);
    // any other worker is stopped first. Nothing starts for step 0 or a first
    // frame outside the video.
    void Start(Fetch fetch, int first, int step, int count);
    // The same, decoding on the worker and converting beside it; `frameBytes`
    // (a bitmap's size) sets how many frames the ring holds.
    void StartStaged(Decode decode, int first, int step, int count, size_t frameBytes);
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
    // Conversion threads of a staged read: half the processors this process may
    // run on, 1 to 4.
    static int ConversionThreads();

private:
    enum class State { Free, Fetching, Decoded, Converting, Ready };
    struct Slot {
        Bitmap24 frame;
        DecodedPicture picture;
        int n = -1;
        bool ok = false;
        std::string error;
        State state = State::Free;
    };
    bool Keeps(int first, int step) const;
    void Begin(int first, int step, int slots);
    void Work(Fetch fetch, Decode decode, int first, int step, int count);
    void Convert();

    std::vector<Slot> ring_;
    std::thread worker_;
    std::vector<std::thread> converters_;
    std::mutex mutex_;
    std::condition_variable space_;  // the worker's: a slot was freed
    std::condition_variable work_;   // the conversion threads': a picture was decoded
    std::condition_variable ready_;  // the owner's: the head slot is ready, or the worker is done
    void WakeAll();
    // Guarded by mutex_ (a slot's contents belong to whoever its state names:
    // the worker while Fetching, one conversion thread while Converting, the
    // owner at the head when Ready).
    int size_ = kRingSize;
    int head_ = 0;       // oldest slot in use
    int used_ = 0;       // slots in use from head_ on
    bool stop_ = false;  // the owner wants the worker to end
    bool done_ = false;  // the worker has fetched its last frame
    // Owner's side.
    int next_ = -1;  // the frame the next Take expects
    int step_ = 0;
};

}  // namespace video
