#include "video/dshow_graph.h"

#include <QCoreApplication>
#include <QImage>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "video/av_util.h"

namespace dshow {

bool RefuseRgb24 = false;
bool RefuseRgb32 = false;

int64_t TimePerFrame(int num, int den) {
    if (num <= 0 || den <= 0) return 0;
    // 1e7 * den / num, halves away from zero, in integers.
    const __int128 n = static_cast<__int128>(10000000) * den * 2 + num;
    const __int128 t = n / (static_cast<__int128>(num) * 2);
    return t > INT64_MAX ? 0 : static_cast<int64_t>(t);
}

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct AudioProbe {
    int openResult = 0;
    bool hasAudio = false;   // any audio stream
    bool audioDecodes = false;  // the first audio stream has a decoder
};

AudioProbe ProbeFile(const std::string& path) {
    video::QuietFfmpegLog();
    AudioProbe p;
    AVFormatContext* fmt = nullptr;
    std::string error;
    p.openResult = video::OpenFormatInput(&fmt, path, error);
    if (p.openResult < 0) return p;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters* par = fmt->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        p.hasAudio = true;
        p.audioDecodes = par->codec_id != AV_CODEC_ID_NONE && avcodec_find_decoder(par->codec_id) != nullptr;
        break;
    }
    avformat_close_input(&fmt);
    return p;
}

}  // namespace

// ---- sample grabber ----

HRESULT SampleGrabber::SetMediaType(const MediaType& type) {
    requested_ = type;
    return S_OK;
}

HRESULT SampleGrabber::GetConnectedMediaType(MediaType& type) const {
    if (!isConnected_) return VFW_E_NOT_CONNECTED;
    type = connected_;
    return S_OK;
}

HRESULT SampleGrabber::SetOneShot(bool oneShot) {
    oneShot_ = oneShot;
    return S_OK;
}

HRESULT SampleGrabber::SetBufferSamples(bool buffer) {
    bufferSamples_ = buffer;
    return S_OK;
}

HRESULT SampleGrabber::GetCurrentBuffer(int32_t* size, Bitmap24* dest) {
    if (!size) return E_POINTER;
    if (!bufferSamples_) return E_INVALIDARG;
    auto graph = graph_.lock();
    if (!isConnected_ || !graph) return VFW_E_NOT_CONNECTED;
    if (graph->state_ == FilterState::Stopped) return VFW_E_WRONG_STATE;
    const BitmapInfoHeader& bi = connected_.format.bmiHeader;
    const int32_t need = static_cast<int32_t>(bi.biSizeImage);
    if (!dest) {
        *size = need;
        return S_OK;
    }
    if (*size < need) return E_OUTOFMEMORY;
    if (dest->Width() != bi.biWidth || dest->Height() != std::abs(bi.biHeight)) return E_INVALIDARG;
    // The picture goes straight from the decoder into dest: a run over the frames
    // costs what decoding them costs.
    if (!graph->rendered_ || !graph->ReadFrame(graph->FrameAt(graph->position_), *dest)) {
        std::memset(dest->Bits(), 0, dest->ByteSize());
        return E_FAIL;
    }
    return S_OK;
}

// ---- filter graph ----

FilterGraph::FilterGraph() = default;

FilterGraph::~FilterGraph() {
    ahead_.Stop();
    // The graph may go from within its own timer's tick (the owner closed the reader).
    if (timer_) {
        timer_->stop();
        timer_.release()->deleteLater();
    }
}

HRESULT FilterGraph::AddFilter(const std::shared_ptr<SampleGrabber>& grabber, const std::string& name) {
    if (!grabber) return E_POINTER;
    grabber_ = grabber;
    grabber->graph_ = weak_from_this();
    return S_OK;
}

HRESULT FilterGraph::RenderFile(const std::string& path) {
    const AudioProbe probe = ProbeFile(path);
    ahead_.Stop();
    frameCount_ = 0;
    if (!decoder_.Open(path)) {
        if (probe.openResult == AVERROR(ENOENT)) return HR_FILE_NOT_FOUND;
        return probe.openResult < 0 ? VFW_E_UNKNOWN_FILE_TYPE : VFW_E_INVALID_FILE_FORMAT;
    }
    hasAudio_ = probe.audioDecodes;
    if (!decoder_.CanDecode()) return hasAudio_ ? VFW_S_PARTIAL_RENDER : VFW_E_CANNOT_RENDER;

    rendered_ = true;
    frameCount_ = decoder_.FrameCount();
    const AVRational r = decoder_.Rate();
    timePerFrame_ = TimePerFrame(r.num, r.den);
    timeline_ = timePerFrame_ > 0 ? timePerFrame_ : 10000000;
    duration_ = static_cast<int64_t>(decoder_.FrameCount()) * timeline_;
    position_ = 0;
    sampleFrame_ = -1;

    if (grabber_) {
        const MediaType& want = grabber_->requested_;
        const bool accepted = want.majorVideo && want.formatVideoInfo &&
                              ((want.subtype == Subtype::RGB24 && !RefuseRgb24) || (want.subtype == Subtype::RGB32 && !RefuseRgb32));
        if (accepted) {
            MediaType c = want;
            BitmapInfoHeader& bi = c.format.bmiHeader;
            bi.biSize = 40;
            bi.biWidth = decoder_.Width();
            bi.biHeight = decoder_.Height();
            bi.biPlanes = 1;
            bi.biBitCount = want.subtype == Subtype::RGB24 ? 24 : 32;
            bi.biCompression = 0;
            const uint32_t stride = (static_cast<uint32_t>(bi.biWidth) * bi.biBitCount + 31) / 32 * 4;
            bi.biSizeImage = stride * static_cast<uint32_t>(bi.biHeight);
            c.format.AvgTimePerFrame = timePerFrame_;
            grabber_->connected_ = c;
            grabber_->isConnected_ = true;
        }
    }
    return probe.hasAudio && !probe.audioDecodes ? VFW_S_AUDIO_NOT_RENDERED : S_OK;
}

int FilterGraph::FrameAt(int64_t position) const {
    const int count = frameCount_;
    if (timeline_ <= 0 || count <= 0) return 0;
    position = std::clamp<int64_t>(position, 0, duration_);
    return static_cast<int>(std::min<int64_t>(position / timeline_, count - 1));
}

bool FilterGraph::FetchSample() {
    if (!rendered_) return false;
    const int frame = FrameAt(position_);
    if (frame == sampleFrame_) return true;
    sampleFrame_ = -1;
    if (!ReadFrame(frame, sample_)) return false;
    sampleFrame_ = frame;
    return true;
}

bool FilterGraph::ReadFrame(int n, Bitmap24& out) {
    bool ok = false;
    std::string error;
    if (ahead_.Take(n, out, ok, error)) return ok;
    decoder_.SetFrameThreads(false);
    return decoder_.GetFrame(n, out);
}

void FilterGraph::ReadAhead(int first, int step) {
    if (!rendered_ || !video::FrameReadAhead::Enabled()) return;
    auto decode = [this](int n, video::DecodedPicture& out, std::string& error) {
        decoder_.SetFrameThreads(true);
        if (decoder_.GetPicture(n, out)) return true;
        error = decoder_.Error();
        return false;
    };
    ahead_.StartStaged(decode, first, step, frameCount_, static_cast<size_t>(decoder_.Width()) * decoder_.Height() * 3);
}

HRESULT FilterGraph::Run() {
    if (state_ == FilterState::Running) return S_OK;
    state_ = FilterState::Running;
    runAnchorPosition_ = position_;
    runAnchorNs_ = NowNs();
    shownFrame_ = -1;
    clockStarted_ = false;
    if (rendered_ && QCoreApplication::instance()) {
        if (!timer_) {
            timer_ = std::make_unique<QTimer>();
            timer_->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer_.get(), &QTimer::timeout, [this] { Tick(); });
        }
        timer_->start(static_cast<int>(std::clamp<int64_t>(timeline_ / 20000, 1, 100)));
    }
    return S_OK;
}

void FilterGraph::Tick() {
    if (state_ != FilterState::Running) return StopTimer();
    auto keep = shared_from_this();  // the owner's callback may close the reader
    if (!clockStarted_) {
        // A busy event loop may deliver the first tick late; the starting frame is
        // still shown first instead of being skipped.
        clockStarted_ = true;
        runAnchorNs_ = NowNs();
    }
    const int64_t elapsed = (NowNs() - runAnchorNs_) / 100;
    position_ = std::min(runAnchorPosition_ + elapsed, duration_);
    const int frame = FrameAt(position_);
    if (owner_ && *owner_ && frame != shownFrame_ && FetchSample()) {
        shownFrame_ = frame;
        (*owner_)(sample_.View());
    }
    if (position_ >= duration_) StopTimer();
}

void FilterGraph::StopTimer() {
    if (timer_) timer_->stop();
}

HRESULT FilterGraph::Pause() {
    StopTimer();
    state_ = FilterState::Paused;
    return S_OK;
}

HRESULT FilterGraph::Stop() {
    StopTimer();
    state_ = FilterState::Stopped;
    return S_OK;
}

HRESULT FilterGraph::GetState(int timeoutMs, FilterState& state) const {
    state = state_;
    return S_OK;
}

HRESULT FilterGraph::WaitForCompletion(int timeoutMs, long& eventCode) {
    eventCode = 0;
    if (state_ != FilterState::Running) return VFW_E_WRONG_STATE;
    if (Remaining() > static_cast<int64_t>(std::max(timeoutMs, 0)) * 10000) return E_ABORT;
    eventCode = 1;  // complete
    return S_OK;
}

HRESULT FilterGraph::SetSyncSource(std::nullptr_t) { return S_OK; }

HRESULT FilterGraph::SetTimeFormatMediaTime() { return S_OK; }

HRESULT FilterGraph::SetPositions(int64_t current) {
    position_ = std::clamp<int64_t>(current, 0, duration_);
    runAnchorPosition_ = position_;
    runAnchorNs_ = NowNs();
    return S_OK;
}

HRESULT FilterGraph::GetCurrentPosition(int64_t& position) const {
    position = position_;
    return S_OK;
}

HRESULT FilterGraph::GetDuration(int64_t& duration) const {
    duration = duration_;
    return S_OK;
}

HRESULT FilterGraph::get_AvgTimePerFrame(double& seconds) const {
    seconds = 0;
    if (!rendered_) return VFW_E_NOT_CONNECTED;
    seconds = static_cast<double>(timePerFrame_) / 1e7;
    return S_OK;
}

HRESULT FilterGraph::GetVideoSize(int& width, int& height) const {
    width = height = 0;
    if (!rendered_) return VFW_E_NOT_CONNECTED;
    width = decoder_.Width();
    height = decoder_.Height();
    return S_OK;
}

HRESULT FilterGraph::put_Balance(long) { return hasAudio_ ? S_OK : E_NOTIMPL; }

HRESULT FilterGraph::put_Volume(long) { return hasAudio_ ? S_OK : E_NOTIMPL; }

HRESULT FilterGraph::put_Owner(const FrameSink* owner) {
    owner_ = owner;
    return S_OK;
}

}  // namespace dshow
