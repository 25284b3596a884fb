#include "video/avidshow.h"

#include <cmath>
#include <cstring>

#include "platform/numtext.h"

using namespace dshow;

TDshowGraph DshowGraph;
std::array<std::string, kDshowStepLogLines> DshowStepLog;
int DshowStepLogIndex = -1;
dshow::FrameSink DshowVideoSink;
std::function<void()> DshowClearMemo2;

namespace {

struct NamedCode {
    uint32_t code;
    const char* name;
};

const NamedCode kNames[] = {
    {0x00000000, "S_OK"},
    {0x00000001, "S_FALSE"},
    {0x0004022D, "VFW_S_DUPLICATE_NAME"},
    {0x00040242, "VFW_S_PARTIAL_RENDER"},
    {0x00040258, "VFW_S_AUDIO_NOT_RENDERED"},
    {0x80004001, "E_NOTIMPL"},
    {0x80004002, "E_NOINTERFACE"},
    {0x80004003, "E_POINTER"},
    {0x80004004, "E_ABORT"},
    {0x80004005, "E_FAIL"},
    {0x8007000E, "E_OUTOFMEMORY"},
    {0x80070057, "E_INVALIDARG"},
    {0x80040110, "CLASS_E_NOAGGREGATION"},
    {0x80040154, "REGDB_E_CLASSNOTREG"},
    {0x80040209, "VFW_E_NOT_CONNECTED"},
    {0x80040216, "VFW_E_NOT_FOUND"},
    {0x80040217, "VFW_E_CANNOT_CONNECT"},
    {0x80040218, "VFW_E_CANNOT_RENDER"},
    {0x8004022F, "VFW_E_INVALID_FILE_FORMAT"},
    {0x80040240, "VFW_E_UNKNOWN_FILE_TYPE"},
    {0x80040241, "VFW_E_CANNOT_LOAD_SOURCE_FILTER"},
    {0x80040265, "VFW_E_UNSUPPORTED_STREAM"},
};

int g_comInitCount = 0;  // CoInitialize / CoUninitialize balance, kept for symmetry
void CoInitialize() { ++g_comInitCount; }
void CoUninitialize() {
    if (g_comInitCount > 0) --g_comInitCount;
}

void AddLogLine(const std::string& line) {
    if (DshowStepLogIndex >= kDshowStepLogLines - 1) return;
    if (DshowStepLogIndex < -1) DshowStepLogIndex = -1;
    DshowStepLog[++DshowStepLogIndex] = line;
}

void LogStep(const char* text, HRESULT hr) {
    std::string name;
    HResultName(hr, name);
    AddLogLine(text + name);
}

// One attempt of building the graph with the grabber asking for `subtype`. Only
// whether the grabber got connected decides success.
bool BuildGraph(const std::string& fileName, Subtype subtype) {
    TDshowGraph& g = DshowGraph;
    CoInitialize();
    g.pGraph = std::make_shared<FilterGraph>();
    LogStep("CoCreateInstance pGraph : ", S_OK);
    g.pMediaControl = g.pGraph;
    LogStep("QueryInterface pMediaControl : ", S_OK);
    g.pSampleGrabberFilter = std::make_shared<SampleGrabber>();
    LogStep("CoCreateInstance pSampleGrabberFilter : ", S_OK);
    g.pSampleGrabber = g.pSampleGrabberFilter;
    LogStep("pSampleGrabberFilter.QueryInterface : ", S_OK);

    g.DshowMediaType = MediaType{};
    g.DshowMediaType.majorVideo = true;
    g.DshowMediaType.subtype = subtype;
    g.DshowMediaType.formatVideoInfo = true;
    LogStep("SetMediaType(AmMediaType) : ", g.pSampleGrabber->SetMediaType(g.DshowMediaType));
    LogStep("AddFilter(pSampleGrabber Filter)", g.pGraph->AddFilter(g.pSampleGrabberFilter, "SampleGrabber Filter"));

    const HRESULT rendered = g.pGraph->RenderFile(fileName);
    LogStep("pGraphBuilder.RenderFile : ", rendered);
    g.DshowRendered = g.DshowVideoReady = rendered == S_OK;

    const HRESULT connected = g.pSampleGrabber->GetConnectedMediaType(g.DshowMediaType);
    LogStep("GetConnectMediaType : ", connected);
    return connected == S_OK;
}

}  // namespace

void HResultName(HRESULT Code, std::string& Text) {
    for (const NamedCode& n : kNames)
        if (static_cast<HRESULT>(n.code) == Code) {
            Text = n.name;
            return;
        }
}

int64_t RoundHalfAwayInt64(long double x) {
    const long double r = x >= 0 ? x + 0.5L : x - 0.5L;
    if (std::isnan(r)) return 0;
    if (r >= 9223372036854775807.0L) return INT64_MAX;
    if (r <= -9223372036854775808.0L) return INT64_MIN;
    return static_cast<int64_t>(r);  // truncates
}

std::string DshowStatusText(HRESULT Code) {
    switch (Code) {
        case S_OK: return "S_OK";
        case E_INVALIDARG: return "Sample is not buffered.";
        case E_OUTOFMEMORY: return "Buffer size is too small.";
        case E_POINTER: return "Null pointer";
        case VFW_E_NOT_CONNECTED: return "Filter is not connected";
        case VFW_E_WRONG_STATE: return "Sample is not receibed yet";
        default: return "Error";
    }
}

void DshowOpen(const std::string& FileName, std::string& ErrorText) {
    TDshowGraph& g = DshowGraph;
    if (g.DshowGraphBuilt) return;
    std::string error;
    if (DshowClearMemo2) DshowClearMemo2();
    DshowStepLogIndex = 0;
    g.DshowVideoReady = false;

    if (!BuildGraph(FileName, Subtype::RGB24)) {
        g.pGraph.reset();
        g.pMediaEvent.reset();
        g.pMediaFilter.reset();
        g.pMediaSeeking.reset();
        g.pSampleGrabber.reset();
        g.pSampleGrabberFilter.reset();
        CoUninitialize();
        if (!BuildGraph(FileName, Subtype::RGB32)) {
            ErrorText = kDshowOpenError;
            return;
        }
    }
    g.DshowVideoInfo = g.DshowMediaType.format;
    g.DshowBitmapInfo = g.DshowVideoInfo.bmiHeader;

    g.pBasicAudio = g.pGraph;
    LogStep("QueryInterface pBasicAudio ", S_OK);
    LogStep("pBasicAudio.put_Balance : ", g.pBasicAudio->put_Balance(0));
    LogStep("pBasicAudio.put_Volune : ", g.pBasicAudio->put_Volume(-1000));

    g.pVideoWindow = g.pGraph;
    LogStep("QueryInterface(pVideoWindow) : ", S_OK);
    LogStep("pVideoWindow.put_Owner(Panel) : ", g.pVideoWindow->put_Owner(&DshowVideoSink));

    g.pMediaSeeking = g.pGraph;
    LogStep("QueryInterface pMediaSeeking ", S_OK);
    LogStep("pMediaSeeking.SetTimeFormat(TIME_FORMAT_MEDIA_TIME) ", g.pMediaSeeking->SetTimeFormatMediaTime());

    g.pMediaEvent = g.pGraph;
    LogStep("QueryInterface pMediaEvent : ", S_OK);
    g.pBasicVideo = g.pGraph;
    LogStep("QueryInterface pBasicVideo ", S_OK);
    g.DshowVideoReady = true;
    g.ReaderFrameRate = DshowFramesPerSecond();
    g.VideoWidth = DshowVideoWidth();
    g.VideoHeight = DshowVideoHeight();
    AddLogLine("VW=" + std::to_string(g.VideoWidth) + ", VH=" + std::to_string(g.VideoHeight));
    DshowDurationSeconds();

    g.pMediaFilter = g.pGraph;
    LogStep("QueryInterface MediaFilter ", S_OK);
    LogStep("pMediaFilter.SetSyncSource(Nil) ", g.pMediaFilter->SetSyncSource(nullptr));
    g.pMediaFilter.reset();

    LogStep("pSampleGrabber.SetOneShot(Faslse) ", g.pSampleGrabber->SetOneShot(false));
    LogStep("pSampleGrabber.SetBurrerSample(True) ", g.pSampleGrabber->SetBufferSamples(true));

    long eventCode = 0;
    LogStep("Run : ", g.pMediaControl->Run());
    LogStep("WaitForCompletion : ", g.pMediaEvent->WaitForCompletion(10, eventCode));
    LogStep("Pause : ", g.pMediaControl->Pause());
    LogStep("WaitForCompletion : ", g.pMediaEvent->WaitForCompletion(10, eventCode));
    LogStep("SetPositions : ", g.pMediaSeeking->SetPositions(0));

    g.DshowGraphBuilt = true;
    ErrorText = error;
}

void DshowClose() {
    TDshowGraph& g = DshowGraph;
    if (!g.DshowGraphBuilt) return;
    if (g.pMediaControl) g.pMediaControl->Stop();
    g.pGraph.reset();
    g.pMediaControl.reset();
    g.pMediaEvent.reset();
    g.pMediaFilter.reset();
    g.pMediaSeeking.reset();
    g.pBasicVideo.reset();
    g.pBasicAudio.reset();
    g.pVideoWindow.reset();
    g.pSampleGrabber.reset();
    g.pSampleGrabberFilter.reset();
    CoUninitialize();
    g.DshowVideoReady = false;
    g.DshowGraphBuilt = false;
}

void DshowGetFrame(int Index, Bitmap24& Bitmap, std::string& Status, bool running, int frameStep) {
    TDshowGraph& g = DshowGraph;
    if (!g.DshowVideoReady || Index < 0) return;
    Status = "Error";
    const int width = g.DshowBitmapInfo.biWidth, height = std::abs(g.DshowBitmapInfo.biHeight);
    if (Bitmap.Width() != width || Bitmap.Height() != height) Bitmap.Resize(width, height);

    const long double rate = g.ReaderFrameRate > 0 ? g.ReaderFrameRate : 1.0L;
    FilterState state;
    if (!running && g.pMediaSeeking && g.pMediaControl) {
        const int64_t t = RoundHalfAwayInt64((static_cast<long double>(Index) + 0.5f) / rate * 10000000.0f);
        g.pMediaSeeking->SetPositions(t);
        g.pMediaControl->GetState(2000, state);
    }
    if (g.pMediaControl) g.pMediaControl->GetState(2000, state);

    HRESULT hr = E_POINTER;
    if (g.pSampleGrabber) {
        int32_t size = 0;
        g.pSampleGrabber->GetCurrentBuffer(&size, nullptr);
        g.DshowBufferSize = size;
        hr = g.pSampleGrabber->GetCurrentBuffer(&g.DshowBufferSize, &Bitmap);
    }
    Status = DshowStatusText(hr);
    // A failed fetch never hands over the pixels of an earlier one.
    if (hr != S_OK && Bitmap.ByteSize()) std::memset(Bitmap.Bits(), 0, Bitmap.ByteSize());

    if (running && g.pMediaSeeking) {
        int64_t t = RoundHalfAwayInt64((static_cast<long double>(Index) + frameStep + 0.5f) / rate * 10000000.0f);
        if (t > g.DshowDuration100ns) t = g.DshowDuration100ns;
        g.pMediaSeeking->SetPositions(t);  // the graph keeps it within 0..duration
    }
}

void DshowReadAhead(int First, int Step) {
    TDshowGraph& g = DshowGraph;
    if (g.DshowVideoReady && g.pGraph) g.pGraph->ReadAhead(First, Step);
}

long double DshowFramesPerSecond() {
    TDshowGraph& g = DshowGraph;
    if (!g.DshowVideoReady || !g.pBasicVideo) return 1.0L;
    double seconds = 0;
    const HRESULT hr = g.pBasicVideo->get_AvgTimePerFrame(seconds);
    const long double rate = (hr == S_OK && seconds > 0) ? 1.0L / static_cast<long double>(seconds) : 1.0L;
    std::string name;
    HResultName(hr, name);
    AddLogLine("pBasicVideo.get_AvgTimePerFrame : " + name + numtext::FormatFixed(static_cast<double>(rate), 8, 6));
    return rate;
}

int DshowVideoWidth() {
    TDshowGraph& g = DshowGraph;
    if (!g.DshowVideoReady || !g.pBasicVideo) return 0;
    int w = 0, h = 0;
    g.pBasicVideo->GetVideoSize(w, h);
    return w;
}

int DshowVideoHeight() {
    TDshowGraph& g = DshowGraph;
    if (!g.DshowVideoReady || !g.pBasicVideo) return 0;
    int w = 0, h = 0;
    g.pBasicVideo->GetVideoSize(w, h);
    return h;
}

double DshowDurationSeconds() {
    TDshowGraph& g = DshowGraph;
    if (!g.DshowVideoReady || !g.pMediaSeeking) return 0;
    int64_t d = 0;
    const HRESULT hr = g.pMediaSeeking->GetDuration(d);
    g.DshowDuration100ns = d;
    const double seconds = static_cast<double>(d) / 10000000.0;
    std::string name;
    HResultName(hr, name);
    AddLogLine("pMediaSeeking.getDuration : " + name + numtext::FormatFixed(seconds, 8, 5));
    return seconds;
}

namespace {
// The run and pause routines act only on a fully rendered graph that is still there.
bool CanRun() {
    const TDshowGraph& g = DshowGraph;
    return g.DshowRendered && g.pMediaControl && g.pMediaEvent && g.pSampleGrabber;
}
}  // namespace

HRESULT DshowRunPause() {
    if (!CanRun()) return S_FALSE;
    TDshowGraph& g = DshowGraph;
    long ev = 0;
    g.pSampleGrabber->SetBufferSamples(true);
    g.pMediaControl->Run();
    const HRESULT hr = g.pMediaControl->Pause();
    g.pMediaEvent->WaitForCompletion(1000, ev);
    return hr;
}

HRESULT DshowStopBuffering() {
    if (!CanRun()) return S_FALSE;
    TDshowGraph& g = DshowGraph;
    long ev = 0;
    g.pMediaControl->Run();
    const HRESULT hr = g.pMediaControl->Stop();
    g.pMediaEvent->WaitForCompletion(1000, ev);
    g.pSampleGrabber->SetBufferSamples(false);
    return hr;
}

HRESULT DshowPlay() {
    if (!CanRun()) return S_FALSE;
    TDshowGraph& g = DshowGraph;
    long ev = 0;
    g.pMediaControl->Run();
    return g.pMediaEvent->WaitForCompletion(1000, ev);
}

HRESULT DshowPause() {
    if (!CanRun()) return S_FALSE;
    TDshowGraph& g = DshowGraph;
    long ev = 0;
    g.pMediaControl->Pause();
    return g.pMediaEvent->WaitForCompletion(1000, ev);
}
