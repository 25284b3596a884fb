#include "video/capture_engine.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "video/av_util.h"

namespace capture {

using namespace dshow;

namespace {

// Queue bounds: about half a second of PAL video, a few seconds of audio chunks.
constexpr size_t kMaxVideoQueue = 12;
constexpr size_t kMaxAudioQueue = 256;
// A jump in the time stamps longer than this is a new start, not a gap to fill.
constexpr int kMaxGapSeconds = 10;

int Interrupt(void* opaque) { return static_cast<std::atomic<bool>*>(opaque)->load() ? 1 : 0; }

AVCodecContext* OpenDecoder(const AVStream* st) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) return nullptr;
    ctx->thread_count = 1;
    if (avcodec_parameters_to_context(ctx, st->codecpar) < 0 || avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

AVRational StreamRate(const AVStream* st) {
    AVRational r = st->avg_frame_rate;
    if (r.num <= 0 || r.den <= 0) r = st->r_frame_rate;
    if (r.num <= 0 || r.den <= 0 || av_q2d(r) > 1000) r = {25, 1};
    av_reduce(&r.num, &r.den, r.num, r.den, 1 << 30);
    return r;
}

void Sleep(std::chrono::steady_clock::time_point until, const std::atomic<bool>& stop) {
    while (!stop && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_until(std::min(until, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
}

}  // namespace

HRESULT HResultFromAv(int e) {
    if (e >= 0) return S_OK;
    if (e == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    if (e == AVERROR(EINVAL)) return E_INVALIDARG;
    if (e == AVERROR(ENOENT) || e == AVERROR(ENODEV) || e == AVERROR(ENXIO)) return VFW_E_NOT_FOUND;
    if (e == AVERROR_DECODER_NOT_FOUND || e == AVERROR_ENCODER_NOT_FOUND) return VFW_E_CANNOT_CONNECT;
    return E_FAIL;
}

struct CaptureEngine::Input {
    Device device;
    AVFormatContext* fmt = nullptr;
    int videoStream = -1, audioStream = -1;
    AVCodecContext* videoDecoder = nullptr;
    AVCodecContext* audioDecoder = nullptr;
    SwrContext* swr = nullptr;
    int64_t audioSamples = 0;
    ~Input() {
        swr_free(&swr);
        avcodec_free_context(&videoDecoder);
        avcodec_free_context(&audioDecoder);
        avformat_close_input(&fmt);
    }
};

struct CaptureEngine::VideoItem {
    int64_t index = 0;
    AVFrame* frame = nullptr;    // converted for the encoder
    AVPacket* packet = nullptr;  // copied as it came
    VideoItem() = default;
    VideoItem(VideoItem&& o) noexcept : index(o.index), frame(o.frame), packet(o.packet) { o.frame = nullptr, o.packet = nullptr; }
    VideoItem& operator=(VideoItem&& o) noexcept {
        std::swap(index, o.index), std::swap(frame, o.frame), std::swap(packet, o.packet);
        return *this;
    }
    ~VideoItem() {
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

struct CaptureEngine::AudioItem {
    int64_t first = 0;  // sample number of the first sample
    std::vector<int16_t> samples;  // interleaved
};

namespace {

HRESULT OpenInput(const Device& d, std::atomic<bool>* stop, AVFormatContext*& out) {
    RegisterCaptureDevices();
    const AVInputFormat* f = av_find_input_format(d.format.c_str());
    if (!f) return VFW_E_NOT_FOUND;
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx) return E_OUTOFMEMORY;
    ctx->interrupt_callback.callback = Interrupt;
    ctx->interrupt_callback.opaque = stop;
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    int r = avformat_open_input(&ctx, d.url.c_str(), f, nullptr);
    if (r < 0) return HResultFromAv(r);
    ctx->max_analyze_duration = 200000;  // live inputs: do not wait long for stream details
    r = avformat_find_stream_info(ctx, nullptr);
    if (r < 0) {
        avformat_close_input(&ctx);
        return HResultFromAv(r);
    }
    out = ctx;
    return S_OK;
}

}  // namespace

CaptureEngine::CaptureEngine() = default;
CaptureEngine::~CaptureEngine() { Release(); }

HRESULT CaptureEngine::BindVideoDevice(const Device& device) {
    if (running_) return VFW_E_WRONG_STATE;
    AVFormatContext* fmt = nullptr;
    const HRESULT hr = OpenInput(device, &stop_, fmt);
    if (hr != S_OK) return hr;
    video_ = std::make_unique<Input>();
    video_->device = device;
    video_->fmt = fmt;
    video_->videoStream = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    video_->audioStream = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    return S_OK;
}

HRESULT CaptureEngine::BindAudioDevice(const Device& device) {
    if (running_) return VFW_E_WRONG_STATE;
    AVFormatContext* fmt = nullptr;
    const HRESULT hr = OpenInput(device, &stop_, fmt);
    if (hr != S_OK) return hr;
    audio_ = std::make_unique<Input>();
    audio_->device = device;
    audio_->fmt = fmt;
    audio_->audioStream = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    return S_OK;
}

HRESULT CaptureEngine::BindCompressor(const Compressor& compressor) {
    if (!avcodec_find_encoder_by_name(compressor.encoder.c_str())) return VFW_E_NOT_FOUND;
    encoderName_ = compressor.encoder;
    return S_OK;
}

HRESULT CaptureEngine::SetOutputFileName(const std::string& path) {
    if (running_ || out_) return VFW_E_WRONG_STATE;
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "avi", path.c_str()) < 0 || !out) return E_OUTOFMEMORY;
    const int r = avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        avformat_free_context(out);
        return HResultFromAv(r);
    }
    out_ = out;
    outputPath_ = path;
    return S_OK;
}

HRESULT CaptureEngine::RenderCaptureInterleaved() {
    if (!video_ || !out_) return E_POINTER;
    if (captureVideo_) return VFW_E_ALREADY_CONNECTED;
    if (video_->videoStream < 0) return VFW_E_CANNOT_CONNECT;
    const AVStream* in = video_->fmt->streams[video_->videoStream];
    if (in->codecpar->codec_id != AV_CODEC_ID_DVVIDEO) return VFW_E_CANNOT_CONNECT;
    AVStream* st = avformat_new_stream(out_, nullptr);
    if (!st || avcodec_parameters_copy(st->codecpar, in->codecpar) < 0) return E_OUTOFMEMORY;
    st->codecpar->codec_tag = 0;
    const AVRational rate = StreamRate(in);
    rateNum_ = rate.num, rateDen_ = rate.den;
    st->time_base = av_inv_q(rate);
    st->avg_frame_rate = st->r_frame_rate = rate;
    outVideo_ = st;
    copyVideo_ = captureVideo_ = true;
    if (video_->audioStream >= 0) {
        const AVStream* a = video_->fmt->streams[video_->audioStream];
        video_->audioDecoder = OpenDecoder(a);
        if (video_->audioDecoder && video_->audioDecoder->sample_rate > 0) {
            audioRate_ = video_->audioDecoder->sample_rate;
            audioChannels_ = std::min(2, std::max(1, video_->audioDecoder->ch_layout.nb_channels));
        }
    }
    return audioRate_ > 0 ? AddPcmStream() : S_OK;
}

HRESULT CaptureEngine::RenderCaptureVideo() {
    if (!video_ || !out_ || encoderName_.empty()) return E_POINTER;
    if (captureVideo_) return VFW_E_ALREADY_CONNECTED;
    if (video_->videoStream < 0) return VFW_E_CANNOT_CONNECT;
    const AVStream* in = video_->fmt->streams[video_->videoStream];
    if (!video_->videoDecoder && !(video_->videoDecoder = OpenDecoder(in))) return VFW_E_CANNOT_CONNECT;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName_.c_str());
    if (!codec) return VFW_E_CANNOT_CONNECT;
    const AVRational rate = StreamRate(in);
    int width = in->codecpar->width, height = in->codecpar->height;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return VFW_E_CANNOT_CONNECT;
    AVPixelFormat fmt = static_cast<AVPixelFormat>(in->codecpar->format);
    if (codec->id == AV_CODEC_ID_DVVIDEO) {
        // DV has two frame formats; the picture is scaled to the one of its rate.
        if (rate.num == 25 && rate.den == 1) width = 720, height = 576, fmt = AV_PIX_FMT_YUV420P;
        else if (rate.num == 30000 && rate.den == 1001) width = 720, height = 480, fmt = AV_PIX_FMT_YUV411P;
        else return VFW_E_CANNOT_CONNECT;
    } else if (codec->id == AV_CODEC_ID_RAWVIDEO) {
        fmt = AV_PIX_FMT_BGR24;
    } else if (codec->id == AV_CODEC_ID_MJPEG) {
        fmt = AV_PIX_FMT_YUVJ420P;  // full-range 4:2:0, what every MJPEG decoder reads
    } else if (codec->pix_fmts) {
        bool supported = false;
        for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) supported |= *p == fmt;
        if (!supported) fmt = codec->pix_fmts[0];
    }
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    if (!enc) return E_OUTOFMEMORY;
    enc->width = width, enc->height = height, enc->pix_fmt = fmt;
    enc->time_base = av_inv_q(rate);
    enc->framerate = rate;
    enc->sample_aspect_ratio = in->codecpar->sample_aspect_ratio;
    enc->thread_count = 1;
    if (codec->id == AV_CODEC_ID_MJPEG) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = 3 * FF_QP2LAMBDA;
    }
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(enc, codec, nullptr) < 0) {
        avcodec_free_context(&enc);
        return VFW_E_CANNOT_CONNECT;
    }
    AVStream* st = avformat_new_stream(out_, nullptr);
    if (!st || avcodec_parameters_from_context(st->codecpar, enc) < 0) {
        avcodec_free_context(&enc);
        return E_OUTOFMEMORY;
    }
    st->time_base = enc->time_base;
    st->avg_frame_rate = st->r_frame_rate = rate;
    encoder_ = enc;
    outVideo_ = st;
    rateNum_ = rate.num, rateDen_ = rate.den;
    captureVideo_ = true;
    return S_OK;
}

HRESULT CaptureEngine::RenderCaptureAudio() {
    if (!audio_ || !out_) return E_POINTER;
    if (captureAudio_) return VFW_E_ALREADY_CONNECTED;
    if (audio_->audioStream < 0) return VFW_E_CANNOT_CONNECT;
    if (!audio_->audioDecoder && !(audio_->audioDecoder = OpenDecoder(audio_->fmt->streams[audio_->audioStream])))
        return VFW_E_CANNOT_CONNECT;
    const int rate = audio_->audioDecoder->sample_rate;
    if (rate <= 0 || rate > 384000) return VFW_E_CANNOT_CONNECT;
    audioRate_ = rate;
    audioChannels_ = std::min(2, std::max(1, audio_->audioDecoder->ch_layout.nb_channels));
    return AddPcmStream();
}

// The recording's sound: 16-bit PCM at the input's rate, mono or stereo.
HRESULT CaptureEngine::AddPcmStream() {
    AVStream* as = avformat_new_stream(out_, nullptr);
    if (!as) return E_OUTOFMEMORY;
    as->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    as->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    as->codecpar->format = AV_SAMPLE_FMT_S16;
    as->codecpar->sample_rate = audioRate_;
    av_channel_layout_default(&as->codecpar->ch_layout, audioChannels_);
    as->codecpar->bits_per_coded_sample = 16;
    as->codecpar->block_align = 2 * audioChannels_;
    as->codecpar->bit_rate = int64_t(audioRate_) * audioChannels_ * 16;
    as->time_base = {1, audioRate_};
    outAudio_ = as;
    captureAudio_ = true;
    return S_OK;
}

HRESULT CaptureEngine::RenderPreviewVideo() {
    if (!video_) return E_POINTER;
    if (video_->videoStream < 0) return VFW_E_CANNOT_CONNECT;
    if (!video_->videoDecoder && !(video_->videoDecoder = OpenDecoder(video_->fmt->streams[video_->videoStream])))
        return VFW_E_CANNOT_CONNECT;
    previewVideo_ = true;
    return S_OK;
}

HRESULT CaptureEngine::RenderPreviewAudio() {
    if (!audio_) return E_POINTER;
    if (audio_->audioStream < 0) return VFW_E_CANNOT_CONNECT;
    previewAudio_ = true;
    return S_OK;
}

HRESULT CaptureEngine::GetVideoSize(int& width, int& height) const {
    if (!previewVideo_ || !video_) return E_NOINTERFACE;
    const AVCodecParameters* p = video_->fmt->streams[video_->videoStream]->codecpar;
    width = p->width, height = p->height;
    return S_OK;
}

HRESULT CaptureEngine::PutVolume(long volume) {
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    volume_ = volume;
    return S_OK;
}

HRESULT CaptureEngine::Run() {
    if (running_) return S_OK;
    stop_ = false;
    writerDone_ = false;
    const bool toFile = out_ && (captureVideo_ || captureAudio_);
    if (toFile) {
        const int r = avformat_write_header(out_, nullptr);
        if (r < 0) {
            AddEvent("Writing the file header failed : " + video::AvError(r));
            return HResultFromAv(r);
        }
        writerStarted_ = true;
        writePacket_ = av_packet_alloc();
    }
    const bool readVideo = video_ && (previewVideo_ || captureVideo_);
    const bool readAudio = audio_ && captureAudio_ && !copyVideo_;
    {
        std::lock_guard lock(mutex_);
        videoDone_ = !(readVideo && captureVideo_);
        audioDone_ = !captureAudio_;
    }
    running_ = true;
    if (readVideo) videoThread_ = std::thread([this] { VideoReader(); });
    if (readAudio) audioThread_ = std::thread([this] { AudioReader(*audio_); });
    if (toFile) writerThread_ = std::thread([this] { Writer(); });
    return S_OK;
}

HRESULT CaptureEngine::Stop() {
    if (!running_) return S_OK;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    if (videoThread_.joinable()) videoThread_.join();
    if (audioThread_.joinable()) audioThread_.join();
    {
        std::lock_guard lock(mutex_);
        videoDone_ = audioDone_ = true;
    }
    cv_.notify_all();
    running_ = false;
    return S_OK;
}

HRESULT CaptureEngine::WaitForCompletion(int ms) {
    if (!writerThread_.joinable()) return S_OK;
    std::unique_lock lock(mutex_);
    const bool done = cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return writerDone_.load(); });
    return done ? S_OK : E_ABORT;
}

void CaptureEngine::Release() {
    Stop();
    if (writerThread_.joinable()) writerThread_.join();
    if (out_) {
        // A file whose header was never written holds nothing: do not leave it behind.
        const bool empty = !writerStarted_;
        avio_closep(&out_->pb);
        avformat_free_context(out_);
        out_ = nullptr;
        if (empty && !outputPath_.empty()) std::remove(outputPath_.c_str());
    }
    avcodec_free_context(&encoder_);
    sws_freeContext(encodeScale_), encodeScale_ = nullptr;
    sws_freeContext(previewScale_), previewScale_ = nullptr;
    av_packet_free(&writePacket_);
    video_.reset();
    audio_.reset();
    outVideo_ = outAudio_ = nullptr;
    encoderName_.clear();
    captureVideo_ = captureAudio_ = copyVideo_ = previewVideo_ = previewAudio_ = false;
    videoQueue_.clear();
    audioQueue_.clear();
}

std::vector<std::string> CaptureEngine::TakeEvents() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

void CaptureEngine::AddEvent(const std::string& text) {
    std::lock_guard lock(mutex_);
    events_.push_back(text);
}

bool CaptureEngine::PushVideo(VideoItem&& item) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return videoQueue_.size() < kMaxVideoQueue || writerDone_ || stop_; });
    if (writerDone_ || stop_) return false;
    videoQueue_.push_back(std::move(item));
    cv_.notify_all();
    return true;
}

bool CaptureEngine::PushAudio(AudioItem&& item) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return audioQueue_.size() < kMaxAudioQueue || writerDone_ || stop_; });
    if (writerDone_ || stop_) return false;
    audioQueue_.push_back(std::move(item));
    cv_.notify_all();
    return true;
}

int CaptureEngine::ReadPaced(Input& in, AVPacket* pkt, Pacing& pace, const char* kind) {
    const int r = av_read_frame(in.fmt, pkt);
    if (r == AVERROR(EAGAIN)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return 0;
    }
    if (r < 0) {
        if (!stop_) AddEvent(std::string("The ") + kind + " device stopped : " + video::AvError(r));
        return -1;
    }
    if (in.device.paced && pkt->pts != AV_NOPTS_VALUE) {
        const AVRational tb = in.fmt->streams[pkt->stream_index]->time_base;
        const int64_t us = av_rescale_q(pkt->pts, tb, {1, 1000000});
        if (!pace.base) pace.base = us;
        Sleep(pace.start + std::chrono::microseconds(std::max<int64_t>(0, us - *pace.base)), stop_);
    }
    return 1;
}

void CaptureEngine::DecodeAudio(Input& in, AVPacket* pkt, AVFrame* frame) {
    if (avcodec_send_packet(in.audioDecoder, pkt) < 0) return;
    while (avcodec_receive_frame(in.audioDecoder, frame) >= 0) {
        HandleAudioFrame(in, frame);
        av_frame_unref(frame);
    }
}

void CaptureEngine::VideoReader() {
    Input& in = *video_;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVStream* st = in.fmt->streams[in.videoStream];
    const AVRational frameTb{rateDen_, rateNum_};
    int64_t firstPts = AV_NOPTS_VALUE, lastIndex = -1;
    Pacing pace;
    const int64_t maxGap = int64_t(kMaxGapSeconds) * rateNum_ / std::max(1, rateDen_);
    // The frame slot of a time stamp, counted from the first frame.
    auto slot = [&](int64_t pts) {
        if (pts == AV_NOPTS_VALUE || firstPts == AV_NOPTS_VALUE) return lastIndex + 1;
        int64_t k = av_rescale_q_rnd(pts - firstPts, st->time_base, frameTb,
                                     static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
        if (k > lastIndex + maxGap) {  // a new start of the clock
            firstPts = pts - av_rescale_q(lastIndex + 1, frameTb, st->time_base);
            k = lastIndex + 1;
        }
        return k;
    };
    const bool decode = (previewVideo_ && sink_) || (captureVideo_ && !copyVideo_);
    bool ok = true;
    while (ok && !stop_) {
        const int r = ReadPaced(in, pkt, pace, "video");
        if (r == 0) continue;
        if (r < 0) break;
        if (pkt->stream_index == in.videoStream) {
            if (copyVideo_ && captureVideo_) {
                if (firstPts == AV_NOPTS_VALUE) firstPts = pkt->pts;
                const int64_t k = slot(pkt->pts);
                if (k > lastIndex) {
                    VideoItem item;
                    item.index = k;
                    item.packet = av_packet_clone(pkt);
                    if (item.packet && PushVideo(std::move(item))) lastIndex = k;
                    else ok = false;
                }
            }
            if (decode && avcodec_send_packet(in.videoDecoder, pkt) >= 0) {
                while (ok && avcodec_receive_frame(in.videoDecoder, frame) >= 0) {
                    if (previewVideo_ && sink_) {
                        previewScale_ = sws_getCachedContext(previewScale_, frame->width, frame->height,
                                                             static_cast<AVPixelFormat>(frame->format), frame->width,
                                                             frame->height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                                                             nullptr, nullptr);
                        if (previewScale_ && previewBitmap_.Resize(frame->width, frame->height)) {
                            uint8_t* dst[4] = {previewBitmap_.Bits(), nullptr, nullptr, nullptr};
                            int stride[4] = {previewBitmap_.Stride(), 0, 0, 0};
                            sws_scale(previewScale_, frame->data, frame->linesize, 0, frame->height, dst, stride);
                            sink_(previewBitmap_);
                        }
                    }
                    if (captureVideo_ && !copyVideo_) {
                        const int64_t pts = frame->best_effort_timestamp;
                        if (firstPts == AV_NOPTS_VALUE) firstPts = pts;
                        const int64_t k = slot(pts);
                        if (k > lastIndex) {
                            HandleVideoFrame(frame, k);
                            lastIndex = k;
                        }
                    }
                    av_frame_unref(frame);
                }
            }
        } else if (pkt->stream_index == in.audioStream && copyVideo_ && captureAudio_ && in.audioDecoder) {
            DecodeAudio(in, pkt, frame);
        }
        av_packet_unref(pkt);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    {
        std::lock_guard lock(mutex_);
        videoDone_ = true;
        if (copyVideo_) audioDone_ = true;
    }
    cv_.notify_all();
}

void CaptureEngine::HandleVideoFrame(AVFrame* frame, int64_t index) {
    encodeScale_ = sws_getCachedContext(encodeScale_, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                        encoder_->width, encoder_->height, encoder_->pix_fmt, SWS_BICUBIC, nullptr,
                                        nullptr, nullptr);
    if (!encodeScale_) return;
    VideoItem item;
    item.index = index;
    item.frame = av_frame_alloc();
    if (!item.frame) return;
    item.frame->format = encoder_->pix_fmt;
    item.frame->width = encoder_->width;
    item.frame->height = encoder_->height;
    if (av_frame_get_buffer(item.frame, 0) < 0) return;
    sws_scale(encodeScale_, frame->data, frame->linesize, 0, frame->height, item.frame->data, item.frame->linesize);
    item.frame->pts = index;
    PushVideo(std::move(item));
}

void CaptureEngine::AudioReader(Input& in) {
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    Pacing pace;
    while (!stop_ && !writerDone_) {
        const int r = ReadPaced(in, pkt, pace, "audio");
        if (r == 0) continue;
        if (r < 0) break;
        if (pkt->stream_index == in.audioStream) DecodeAudio(in, pkt, frame);
        av_packet_unref(pkt);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    {
        std::lock_guard lock(mutex_);
        audioDone_ = true;
    }
    cv_.notify_all();
}

void CaptureEngine::HandleAudioFrame(Input& in, AVFrame* frame) {
    if (frame->nb_samples <= 0) return;
    if (!in.swr) {
        AVChannelLayout outLayout, inLayout;
        av_channel_layout_default(&outLayout, audioChannels_);
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0)
            av_channel_layout_default(&inLayout, std::max(1, frame->ch_layout.nb_channels));
        else
            av_channel_layout_copy(&inLayout, &frame->ch_layout);
        const int r = swr_alloc_set_opts2(&in.swr, &outLayout, AV_SAMPLE_FMT_S16, audioRate_, &inLayout,
                                          static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
        if (r < 0 || swr_init(in.swr) < 0) {
            swr_free(&in.swr);
            return;
        }
    }
    AudioItem item;
    const int most = swr_get_out_samples(in.swr, frame->nb_samples);
    if (most <= 0) return;
    item.samples.resize(size_t(most) * audioChannels_);
    uint8_t* dst = reinterpret_cast<uint8_t*>(item.samples.data());
    const int n = swr_convert(in.swr, &dst, most, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (n <= 0) return;
    item.samples.resize(size_t(n) * audioChannels_);
    item.first = in.audioSamples;
    in.audioSamples += n;
    PushAudio(std::move(item));
}

void CaptureEngine::Writer() {
    bool ok = true;
    int64_t nextVideo = 0;  // slots written
    for (;;) {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] {
            return (!videoQueue_.empty() || videoDone_) && (!audioQueue_.empty() || audioDone_);
        });
        if (videoQueue_.empty() && audioQueue_.empty()) break;
        bool takeVideo;
        if (!videoQueue_.empty() && !audioQueue_.empty()) {
            // The earlier in time first; video on a tie.
            takeVideo = av_compare_ts(videoQueue_.front().index, AVRational{rateDen_, rateNum_},
                                      audioQueue_.front().first, AVRational{1, audioRate_}) <= 0;
        } else {
            takeVideo = !videoQueue_.empty();
        }
        if (takeVideo) {
            VideoItem item = std::move(videoQueue_.front());
            videoQueue_.pop_front();
            lock.unlock();
            cv_.notify_all();
            nextVideo = item.index + 1;
            if (!(ok = WriteVideo(item))) break;
        } else {
            // With the video ended, audio goes in up to the video's end and no further.
            const bool videoEnded = captureVideo_ && videoDone_ && videoQueue_.empty();
            AudioItem item = std::move(audioQueue_.front());
            audioQueue_.pop_front();
            lock.unlock();
            cv_.notify_all();
            int64_t limit = INT64_MAX;
            if (videoEnded) limit = av_rescale_q(nextVideo, AVRational{rateDen_, rateNum_}, AVRational{1, audioRate_});
            if (item.first >= limit) break;
            if (!(ok = WriteAudio(item, limit))) break;
        }
    }
    if (ok) FlushEncoder();
    FinishFile();
    {
        std::lock_guard lock(mutex_);
        writerDone_ = true;
        videoQueue_.clear();
        audioQueue_.clear();
    }
    cv_.notify_all();
}

bool CaptureEngine::WriteVideo(VideoItem& item) {
    AVPacket* pkt = writePacket_;
    int r = 0;
    if (item.packet) {
        av_packet_move_ref(pkt, item.packet);
        pkt->stream_index = outVideo_->index;
        pkt->pts = pkt->dts = item.index;
        pkt->duration = 1;
        av_packet_rescale_ts(pkt, AVRational{rateDen_, rateNum_}, outVideo_->time_base);
        r = av_interleaved_write_frame(out_, pkt);
        if (r >= 0) framesWritten_ = item.index + 1;
    } else {
        r = avcodec_send_frame(encoder_, item.frame);
        while (r >= 0) {
            const int g = avcodec_receive_packet(encoder_, pkt);
            if (g == AVERROR(EAGAIN) || g == AVERROR_EOF) break;
            if (g < 0) {
                r = g;
                break;
            }
            pkt->stream_index = outVideo_->index;
            av_packet_rescale_ts(pkt, encoder_->time_base, outVideo_->time_base);
            r = av_interleaved_write_frame(out_, pkt);
            if (r >= 0) framesWritten_ = item.index + 1;
        }
    }
    if (r < 0) AddEvent("Writing the video failed : " + video::AvError(r));
    return r >= 0;
}

bool CaptureEngine::WriteAudio(AudioItem& item, int64_t limit) {
    int64_t n = int64_t(item.samples.size()) / audioChannels_;
    n = std::min(n, limit - item.first);
    if (n <= 0) return true;
    AVPacket* pkt = writePacket_;
    int r = av_new_packet(pkt, int(n * audioChannels_ * 2));
    if (r >= 0) {
        std::memcpy(pkt->data, item.samples.data(), size_t(n) * audioChannels_ * 2);
        pkt->stream_index = outAudio_->index;
        pkt->pts = pkt->dts = item.first;
        pkt->duration = n;
        av_packet_rescale_ts(pkt, AVRational{1, audioRate_}, outAudio_->time_base);
        r = av_interleaved_write_frame(out_, pkt);
        if (r >= 0) samplesWritten_ = item.first + n;
    }
    if (r < 0) AddEvent("Writing the audio failed : " + video::AvError(r));
    return r >= 0;
}

bool CaptureEngine::FlushEncoder() {
    if (!encoder_) return true;
    AVPacket* pkt = writePacket_;
    int r = avcodec_send_frame(encoder_, nullptr);
    while (r >= 0) {
        if (avcodec_receive_packet(encoder_, pkt) < 0) break;
        pkt->stream_index = outVideo_->index;
        av_packet_rescale_ts(pkt, encoder_->time_base, outVideo_->time_base);
        r = av_interleaved_write_frame(out_, pkt);
    }
    if (r < 0) AddEvent("Writing the video failed : " + video::AvError(r));
    return r >= 0;
}

void CaptureEngine::FinishFile() {
    // The header's counts and the index go in even after a failed write, so that
    // what reached the disk stays readable.
    const int r = av_write_trailer(out_);
    if (r < 0) AddEvent("Writing the file's index failed : " + video::AvError(r));
    const int c = avio_closep(&out_->pb);
    if (c < 0 && r >= 0) AddEvent("Closing the file failed : " + video::AvError(c));
}

}  // namespace capture
