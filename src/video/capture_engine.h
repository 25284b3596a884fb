#pragma once
// The capture engine: a live video input (and an audio input) previewed and
// recorded to AVI, standing in for the capture graph of the capture window.
//
// Building. The steps are called in the graph's order: bind the devices and the
// compressor, name the output, render the streams, then Run. Each returns the
// framework's result code for the same situation (S_OK, E_POINTER for a missing
// input, VFW_E_CANNOT_CONNECT for a stream that cannot take the route, ...), so
// that the caller's step log reads as the graph's would. A failed step leaves the
// engine usable; later steps that need what it would have made fail in turn.
//
// Recording. Run starts a reader thread per input and, when a stream goes to the
// file, a writer thread. Readers decode and convert; the writer encodes and muxes
// in time order from two bounded queues (video, audio), so memory stays bounded
// and an input that delivers faster than real time (a test source) is held back
// by the other instead of running ahead. Video frame k of the file is the frame
// the input stamped k frame periods after its first one; a gap in the stamps
// leaves dropped-frame slots. Audio is 16-bit PCM at the input's rate, mono or
// stereo, cut to the video's length when recording stops. A DV camcorder's
// stream is copied as it comes (no compressor); its audio goes in as PCM.
//
// Ending. Stop ends the readers; the writer then writes what is queued, flushes
// the encoder and writes the AVI header and index, also when the input was lost
// or a write failed (the failing step is in Events()). Release (and the
// destructor) wait for the writer, so a file is never left without its index by
// the engine going away.
//
// Preview. With a preview sink set and the video's preview rendered, every
// decoded frame goes to the sink as a BGR bitmap, on the reader thread.
//
// Threading. The build and control calls belong to one thread; Events(),
// FramesWritten() and the sink may be used from others as documented.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/bitmap24.h"
#include "video/capture_devices.h"
#include "video/dshow_graph.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;
struct SwsContext;

namespace capture {

using dshow::HRESULT;

constexpr HRESULT E_NOINTERFACE = dshow::Hr(0x80004002);
constexpr HRESULT VFW_E_NOT_FOUND = dshow::Hr(0x80040216);
constexpr HRESULT VFW_E_CANNOT_CONNECT = dshow::Hr(0x80040217);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = dshow::Hr(0x80040204);

// An FFmpeg error as the nearest result code of the step log's table (E_FAIL otherwise).
HRESULT HResultFromAv(int averror);

class CaptureEngine {
public:
    using PreviewSink = std::function<void(const Bitmap24&)>;

    CaptureEngine();
    ~CaptureEngine();
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // Opens the input of a device.
    HRESULT BindVideoDevice(const Device& device);
    HRESULT BindAudioDevice(const Device& device);
    // Checks that the encoder exists; it is opened when the video is rendered.
    HRESULT BindCompressor(const Compressor& compressor);
    bool HasVideoDevice() const { return video_ != nullptr; }
    bool HasAudioDevice() const { return audio_ != nullptr; }
    bool HasCompressor() const { return !encoderName_.empty(); }

    // Creates the file's container (the file itself is opened at Run).
    HRESULT SetOutputFileName(const std::string& path);

    // A DV camcorder's stream copied to the file, with its audio.
    HRESULT RenderCaptureInterleaved();
    // The video through the compressor to the file.
    HRESULT RenderCaptureVideo();
    // The audio input to the file as 16-bit PCM.
    HRESULT RenderCaptureAudio();
    HRESULT RenderPreviewVideo();
    // There is no audio output: succeeds when an audio input is bound.
    HRESULT RenderPreviewAudio();

    // The preview's picture size; E_NOINTERFACE without a rendered video preview.
    HRESULT GetVideoSize(int& width, int& height) const;
    void SetPreviewSink(PreviewSink sink) { sink_ = std::move(sink); }
    // The volume is kept (there is no audio output); -10000..0.
    HRESULT PutVolume(long volume);
    long Volume() const { return volume_; }

    HRESULT Run();
    HRESULT Stop();
    // S_OK when the file is complete (or nothing was recording) within `ms`, else E_ABORT.
    HRESULT WaitForCompletion(int ms);
    // Waits for everything and closes all inputs.
    void Release();

    // Video frame slots and audio samples written so far (any thread).
    int64_t FramesWritten() const { return framesWritten_.load(); }
    int64_t AudioSamplesWritten() const { return samplesWritten_.load(); }
    // What went wrong while running (input lost, write failed), in order; taken once.
    std::vector<std::string> TakeEvents();
    bool Recording() const { return writerStarted_; }

private:
    HRESULT AddPcmStream();
    struct Input;
    struct VideoItem;
    struct AudioItem;

    // Where a paced input's time stamps are held to the clock: the reader's start
    // and the first packet's time.
    struct Pacing {
        std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        std::optional<int64_t> base;  // microseconds
    };

    void VideoReader();
    void AudioReader(Input& in);
    // One packet, held back to its time stamp when the input stands in for a device
    // that delivers in real time. 1: a packet; 0: none yet; -1: the input ended
    // (logged unless stopping).
    int ReadPaced(Input& in, AVPacket* pkt, Pacing& pace, const char* kind);
    void DecodeAudio(Input& in, AVPacket* pkt, AVFrame* frame);
    void Writer();
    void AddEvent(const std::string& text);
    bool PushVideo(VideoItem&& item);
    bool PushAudio(AudioItem&& item);
    void HandleVideoFrame(AVFrame* frame, int64_t index);
    void HandleAudioFrame(Input& in, AVFrame* frame);
    bool WriteVideo(VideoItem& item);
    bool WriteAudio(AudioItem& item, int64_t maxSamples);
    bool FlushEncoder();
    void FinishFile();

    std::unique_ptr<Input> video_, audio_;
    std::string encoderName_;
    std::string outputPath_;
    AVFormatContext* out_ = nullptr;
    AVStream* outVideo_ = nullptr;
    AVStream* outAudio_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    SwsContext* encodeScale_ = nullptr;
    SwsContext* previewScale_ = nullptr;
    AVPacket* writePacket_ = nullptr;
    bool copyVideo_ = false;       // DV: packets go to the file as they come
    bool previewVideo_ = false;
    bool previewAudio_ = false;
    bool captureVideo_ = false, captureAudio_ = false;
    int rateNum_ = 25, rateDen_ = 1;  // the file's frame rate
    int audioRate_ = 0, audioChannels_ = 0;
    long volume_ = 0;
    PreviewSink sink_;
    Bitmap24 previewBitmap_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> writerDone_{false};
    std::atomic<int64_t> framesWritten_{0}, samplesWritten_{0};
    bool running_ = false, writerStarted_ = false;
    std::thread videoThread_, audioThread_, writerThread_;

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<VideoItem> videoQueue_;
    std::deque<AudioItem> audioQueue_;
    bool videoDone_ = true, audioDone_ = true;
    std::vector<std::string> events_;
};

}  // namespace capture
