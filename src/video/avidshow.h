#pragma once
// The DirectShow-style frame reader: unit-level routines over one global graph
// (DshowGraph), the second frame source beside TVfwAvi. Every step of an open is
// written with the name of its result into DshowStepLog, which TDshowErrors lists.
//
// Calling order of the main window: DshowOpen, then DshowFramesPerSecond and
// DshowDurationSeconds (frame count = RoundHalfAway(duration x rate)), then
// DshowGetFrame for every frame shown or measured, DshowRunPause after moving to
// a frame, DshowClose before another video is opened and at exit.
//
// Where the video is shown while playing: DshowVideoSink (wired by the main
// window to its panel). DshowClearMemo2 is called at the start of every open.
//
// Not thread-safe; user interface thread only. Nothing raises or shows a message.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/bitmap24.h"
#include "video/dshow_graph.h"

// The graph and what the reader keeps of it (one graph at a time).
struct TDshowGraph {
    // Interface variables; the graph object answers to all of its interfaces.
    std::shared_ptr<dshow::FilterGraph> pGraph, pMediaControl, pMediaEvent, pMediaFilter, pMediaSeeking, pBasicVideo,
        pBasicAudio, pVideoWindow;
    std::shared_ptr<dshow::SampleGrabber> pSampleGrabber, pSampleGrabberFilter;

    dshow::MediaType DshowMediaType;       // requested, then connected
    dshow::VideoInfoHeader DshowVideoInfo;  // the connected format
    dshow::BitmapInfoHeader DshowBitmapInfo;
    int32_t DshowBufferSize = 0;
    int64_t DshowDuration100ns = 0;
    long double ReaderFrameRate = 0;
    int VideoWidth = 0, VideoHeight = 0;

    bool DshowGraphBuilt = false;
    bool DshowRendered = false;
    bool DshowVideoReady = false;
};
extern TDshowGraph DshowGraph;

constexpr int kDshowStepLogLines = 101;
extern std::array<std::string, kDshowStepLogLines> DshowStepLog;
// Index of the last line written; -1 before any open. Lines past the last one are
// dropped rather than written out of bounds.
extern int DshowStepLogIndex;

// The main window's panel, where a playing graph shows its frames. May be empty.
extern dshow::FrameSink DshowVideoSink;
// Clears the main window's memo Memo2. May be empty.
extern std::function<void()> DshowClearMemo2;

inline const char* const kDshowOpenError = "Incorrect formated file or unknown compressor.";

// Builds the graph for FileName. ErrorText is empty on success and
// "Incorrect formated file or unknown compressor." when neither RGB24 nor RGB32
// connects. While a graph is built it does nothing and leaves ErrorText alone.
void DshowOpen(const std::string& FileName, std::string& ErrorText);
void DshowClose();

// Frame Index into Bitmap, Status "S_OK" or the failure's text. Nothing happens
// (Status and Bitmap kept) when no video is ready or Index < 0. Otherwise Status is
// a failure until the frame is in, and a failed fetch leaves a zero-filled bitmap.
// `running` and `frameStep` are the main window's RunningFlag and FrameStep: while
// running the graph is not sought before the copy but pre-sought to
// Index + frameStep after it.
void DshowGetFrame(int Index, Bitmap24& Bitmap, std::string& Status, bool running = false, int frameStep = 1);

// A run fetches First, First + Step, ... next: the graph decodes them ahead.
void DshowReadAhead(int First, int Step);

long double DshowFramesPerSecond();  // 1.0 when not ready or the rate is unknown
int DshowVideoWidth();
int DshowVideoHeight();
double DshowDurationSeconds();  // 0 when not ready

// S_FALSE (1) unless the file rendered completely.
dshow::HRESULT DshowRunPause();
dshow::HRESULT DshowStopBuffering();
dshow::HRESULT DshowPlay();
dshow::HRESULT DshowPause();

// The published name of a result code; Text is left unchanged for other codes.
void HResultName(dshow::HRESULT Code, std::string& Text);
// Trunc(x + 0.5) for x >= 0, Trunc(x - 0.5) below; saturates at the int64 range.
int64_t RoundHalfAwayInt64(long double x);
// The fetch status text for the result of GetCurrentBuffer.
std::string DshowStatusText(dshow::HRESULT Code);
