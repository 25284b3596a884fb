// Frame reading, per codec, on SD test files made with the ffmpeg tool at start-up:
//   Sequential/<codec>: TVfwAvi::GetFrame over every frame against a bare libav
//     loop (read, decode, convert to BGR24 into one reused buffer) on the same
//     file in the same iteration; `ratio` = bare time / our time (1 = as fast).
//   Random/<codec>: 500 GetFrame calls at random frame numbers; median and 95th
//     percentile in milliseconds, and both over our sequential time per frame.
// Both sides decode with the same codec settings (slice threads) and the same
// conversion flags. Needs ffmpeg on PATH.
#include <benchmark/benchmark.h>

#include "video_fixtures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "platform/bitmap24.h"
#include "video/VfwAvi.h"

namespace {


using bench::Codec;
using bench::FileOf;
using bench::Now;

const Codec kCodecs[] = {
    {"bgr24", "-c:v rawvideo -pix_fmt bgr24", "720x576", "25", 1},
    {"pal8", "-c:v rawvideo -pix_fmt pal8", "720x576", "25", 1},
    {"yuyv422", "-c:v rawvideo -pix_fmt yuyv422", "720x576", "25", 1},
    {"mjpeg", "-c:v mjpeg -q:v 3", "720x576", "25", 1},
    {"dv_pal", "-c:v dvvideo -pix_fmt yuv420p", "720x576", "25", 1},
    {"dv_ntsc", "-c:v dvvideo -pix_fmt yuv411p", "720x480", "30000/1001", 1},
    {"ffv1", "-c:v ffv1", "720x576", "25", 12},  // a key frame every 12 by default
    {"huffyuv", "-c:v huffyuv", "720x576", "25", 1},
    {"mpeg4_bframes", "-c:v mpeg4 -bf 2 -g 12 -q:v 3", "720x576", "25", 12},
    {"h264_long_gop", "-c:v libx264 -preset veryfast -g 50 -bf 3 -pix_fmt yuv420p", "720x576", "25", 50},
};





// The reference: the plainest libav loop that yields every frame as BGR24.
int BareLoop(const std::string& file) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, file.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(fmt, nullptr);
    int si = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (si < 0) return -1;
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (static_cast<int>(i) != si) fmt->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters* par = fmt->streams[si]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    AVCodecContext* cc = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(cc, par);
    cc->thread_count = 0;
    cc->thread_type = FF_THREAD_SLICE;
    avcodec_open2(cc, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    Bitmap24 out(par->width, par->height);
    SwsContext* sws = nullptr;
    int frames = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(cc, frame) == 0) {
            sws = sws_getCachedContext(sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                       out.Width(), out.Height(), AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr,
                                       nullptr);
            uint8_t* dst[4] = {out.Bits()};
            int stride[4] = {out.Stride()};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
            benchmark::DoNotOptimize(out.Bits());
            ++frames;
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == si) {
            avcodec_send_packet(cc, pkt);
            drain();
        }
        av_packet_unref(pkt);
    }
    avcodec_send_packet(cc, nullptr);
    drain();
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&cc);
    avformat_close_input(&fmt);
    return frames;
}

double OursSequential(const std::string& file, int* frames) {
    TVfwAvi avi;
    double t0 = Now();
    if (!avi.Open(file)) return -1;
    Bitmap24 bmp;
    int n = avi.FrameCount();
    for (int i = 0; i < n; ++i) avi.GetFrame(i, bmp);
    benchmark::DoNotOptimize(bmp.Bits());
    *frames = n;
    return Now() - t0;
}

void Sequential(benchmark::State& state, const Codec& c) {
    const std::string file = FileOf(c);
    double bare = 0, ours = 0;
    int frames = 0;
    for (auto _ : state) {
        double t0 = Now();
        BareLoop(file);
        bare += Now() - t0;
        double t = OursSequential(file, &frames);
        ours += t;
        state.SetIterationTime(t);
    }
    state.counters["frames"] = frames;
    state.counters["ours_ms_per_frame"] = 1000 * ours / state.iterations() / frames;
    state.counters["bare_ms_per_frame"] = 1000 * bare / state.iterations() / frames;
    state.counters["ratio"] = bare / ours;
}

void Random(benchmark::State& state, const Codec& c) {
    const std::string file = FileOf(c);
    int frames = 0;
    const double sequential = OursSequential(file, &frames) / frames;
    std::vector<double> times;
    for (auto _ : state) {
        TVfwAvi avi;
        avi.Open(file);
        Bitmap24 bmp;
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> pick(0, avi.FrameCount() - 1);
        times.clear();
        double total = 0;
        for (int i = 0; i < 500; ++i) {
            int n = pick(rng);
            double t0 = Now();
            avi.GetFrame(n, bmp);
            double t = Now() - t0;
            times.push_back(t);
            total += t;
        }
        state.SetIterationTime(total);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2], p95 = times[times.size() * 95 / 100];
    state.counters["median_ms"] = 1000 * median;
    state.counters["p95_ms"] = 1000 * p95;
    state.counters["median_over_seq"] = median / sequential;
    state.counters["p95_over_seq"] = p95 / sequential;
    state.counters["gop"] = c.gop;
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunWithFixtures(argc, argv, kCodecs, [](const Codec& c) {
        benchmark::RegisterBenchmark((std::string("Sequential/") + c.name).c_str(), Sequential, c)
            ->UseManualTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Random/") + c.name).c_str(), Random, c)
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    });
}
