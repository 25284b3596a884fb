#pragma once
// A small playback graph with a sample grabber, standing in for the Windows
// filter-graph framework under the DirectShow-style frame reader (avidshow). Each
// operation returns the framework's result code for the same situation, so that
// the reader's step log reads as it would there.
//
// Model. RenderFile opens the file through VideoDecoder; the grabber connects
// when a decoder exists and it accepts the requested subtype. The timeline is in
// 100-ns units: frame n covers [n * T, (n + 1) * T) with T the integer time per
// frame, and the duration is FrameCount x T. Seeking only records a position
// (clamped to 0..duration); the grabber's sample is the frame at the position,
// decoded when it is first asked for, so stepping the position forward one frame
// at a time reads the decoder sequentially.
//
// Running. The position advances with the wall clock at the stream rate on a Qt
// timer (only where an application object exists; without one it stays put), and
// each new frame goes to the video window's owner, if one is set. There is no
// audio output. WaitForCompletion never blocks: it reports whether the end of the
// stream is reached within the time-out.
//
// Not thread-safe; user interface thread only. A run may hand the decoder to a
// read-ahead worker (ReadAhead); every sample is still read through it in order.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/bitmap24.h"
#include "video/decoder.h"
#include "video/read_ahead.h"

class QImage;
class QTimer;

namespace dshow {

using HRESULT = int32_t;

constexpr HRESULT Hr(uint32_t code) { return static_cast<HRESULT>(code); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT VFW_S_PARTIAL_RENDER = 0x00040242;
constexpr HRESULT VFW_S_AUDIO_NOT_RENDERED = 0x00040258;
constexpr HRESULT E_NOTIMPL = Hr(0x80004001);
constexpr HRESULT E_POINTER = Hr(0x80004003);
constexpr HRESULT E_ABORT = Hr(0x80004004);
constexpr HRESULT E_FAIL = Hr(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = Hr(0x8007000E);
constexpr HRESULT E_INVALIDARG = Hr(0x80070057);
constexpr HRESULT HR_FILE_NOT_FOUND = Hr(0x80070002);
constexpr HRESULT VFW_E_NOT_CONNECTED = Hr(0x80040209);
constexpr HRESULT VFW_E_CANNOT_RENDER = Hr(0x80040218);
constexpr HRESULT VFW_E_WRONG_STATE = Hr(0x80040227);
constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = Hr(0x8004022F);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = Hr(0x80040240);

enum class Subtype { None, RGB24, RGB32 };
enum class FilterState { Stopped, Paused, Running };

// The parts of BITMAPINFOHEADER and VIDEOINFOHEADER that the reader uses.
struct BitmapInfoHeader {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: rows bottom-up
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
};
struct VideoInfoHeader {
    int64_t AvgTimePerFrame = 0;  // 100-ns units
    BitmapInfoHeader bmiHeader;
};
struct MediaType {
    bool majorVideo = false;
    Subtype subtype = Subtype::None;
    bool formatVideoInfo = false;
    VideoInfoHeader format;
};

// Where a running graph shows its pictures (the main window's panel).
using FrameSink = std::function<void(const QImage&)>;

class FilterGraph;

// The sample grabber filter.
class SampleGrabber {
public:
    HRESULT SetMediaType(const MediaType& type);
    HRESULT GetConnectedMediaType(MediaType& type) const;
    HRESULT SetOneShot(bool oneShot);
    HRESULT SetBufferSamples(bool buffer);
    // With dest null: the sample size into *size. Otherwise the sample into dest
    // (converted to 24 bits per pixel), when *size is at least the sample size and
    // dest has the connected frame size. A sample that cannot be decoded leaves
    // dest zero-filled (E_FAIL).
    HRESULT GetCurrentBuffer(int32_t* size, Bitmap24* dest);

private:
    friend class FilterGraph;
    MediaType requested_;
    MediaType connected_;
    bool isConnected_ = false;
    bool oneShot_ = false;
    bool bufferSamples_ = false;
    std::weak_ptr<FilterGraph> graph_;
};

// The filter graph and the interfaces it answers to (graph builder, media
// control, event, filter, seeking, basic video, basic audio, video window).
class FilterGraph : public std::enable_shared_from_this<FilterGraph> {
public:
    FilterGraph();
    ~FilterGraph();
    FilterGraph(const FilterGraph&) = delete;
    FilterGraph& operator=(const FilterGraph&) = delete;

    HRESULT AddFilter(const std::shared_ptr<SampleGrabber>& grabber, const std::string& name);
    HRESULT RenderFile(const std::string& path);

    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();
    HRESULT GetState(int timeoutMs, FilterState& state) const;
    HRESULT WaitForCompletion(int timeoutMs, long& eventCode);
    HRESULT SetSyncSource(std::nullptr_t);
    HRESULT SetTimeFormatMediaTime();
    // Absolute positioning of the current position; the stop position is not set.
    HRESULT SetPositions(int64_t current);
    HRESULT GetCurrentPosition(int64_t& position) const;
    HRESULT GetDuration(int64_t& duration) const;
    // Seconds per frame; 0 when the stream's rate is unknown.
    HRESULT get_AvgTimePerFrame(double& seconds) const;
    HRESULT GetVideoSize(int& width, int& height) const;
    HRESULT put_Balance(long balance);
    HRESULT put_Volume(long volume);
    // `owner` is read at every shown frame, so it may be filled in later.
    HRESULT put_Owner(const FrameSink* owner);

    // The frame the grabber's sample comes from, for a position.
    int FrameAt(int64_t position) const;
    // A run takes the samples of frames first, first + step, ... next: they are
    // decoded ahead on a worker (see read_ahead.h).
    void ReadAhead(int first, int step);

private:
    friend class SampleGrabber;
    // The sample at the current position into sample_; false when it cannot be decoded.
    bool FetchSample();
    // Frame n from the read-ahead ring when it is the next one there, else from
    // the decoder.
    bool ReadFrame(int n, Bitmap24& out);
    void Tick();
    void StopTimer();
    int64_t Remaining() const { return duration_ - position_; }

    video::VideoDecoder decoder_;
    std::shared_ptr<SampleGrabber> grabber_;
    bool rendered_ = false;    // a video stream is open with a decoder
    bool hasAudio_ = false;    // an audio stream that decodes
    int64_t timePerFrame_ = 0;  // as reported; 0 when unknown
    int64_t timeline_ = 0;      // time per frame of the timeline (1 s when unknown)
    int64_t duration_ = 0;
    int64_t position_ = 0;
    FilterState state_ = FilterState::Stopped;
    Bitmap24 sample_;
    int sampleFrame_ = -1;  // the frame in sample_, -1 when none
    const FrameSink* owner_ = nullptr;
    std::unique_ptr<QTimer> timer_;
    int64_t runAnchorPosition_ = 0;
    int64_t runAnchorNs_ = 0;
    int shownFrame_ = -1;
    bool clockStarted_ = false;  // the run clock starts with the first tick, as a renderer's preroll
    int frameCount_ = 0;
    // Last member: its worker ends before the decoder goes away.
    video::FrameReadAhead ahead_;
};

// Test hooks: the grabber refuses RGB24 (as some decoders offer only RGB32), or
// RGB32.
extern bool RefuseRgb24;
extern bool RefuseRgb32;

// Integer time per frame in 100-ns units for a rate num/den, rounded half away
// (30000/1001 gives 333667); 0 for an unknown rate.
int64_t TimePerFrame(int num, int den);

}  // namespace dshow
