#include "video/wav_writer.h"

#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/file_io.h"
#include "video/av_util.h"

namespace video {

namespace {

void Put16(std::string& s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, size_t at, uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

// The first audio stream of a file, opened for reading packets.
struct AudioInput {
    AVFormatContext* fmt = nullptr;
    AVStream* st = nullptr;
    ~AudioInput() {
        if (fmt) avformat_close_input(&fmt);
    }
    bool Open(const std::string& path, bool probeStreams, std::string& error) {
        const std::string name = fileio::ExtractFileName(path);
        int r = OpenFormatInput(&fmt, path, error);
        if (r < 0) return false;
        if (probeStreams && (r = avformat_find_stream_info(fmt, nullptr)) < 0) {
            error = "Could not read the streams of " + name + ": " + AvError(r) + ".";
            return false;
        }
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            if (!st && fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) st = fmt->streams[i];
            else fmt->streams[i]->discard = AVDISCARD_ALL;
        }
        if (!st) {
            error = name + " has no sound track.";
            return false;
        }
        return true;
    }
};

bool IsPlainPcm(const AVCodecParameters* p) {
    int ch = p->ch_layout.nb_channels;
    return (p->codec_id == AV_CODEC_ID_PCM_U8 || p->codec_id == AV_CODEC_ID_PCM_S16LE) && (ch == 1 || ch == 2) &&
           p->sample_rate > 0;
}

}  // namespace

bool ReadAudioFormat(const std::string& path, WaveFormat& format, std::string& error) {
    QuietFfmpegLog();
    AudioInput in;
    if (!in.Open(path, false, error)) return false;
    const AVCodecParameters* p = in.st->codecpar;
    format = WaveFormat{};
    // AVI carries the WAVEFORMATEX tag itself; other containers a four-character code.
    format.formatTag = static_cast<uint16_t>(p->codec_tag && p->codec_tag <= 0xFFFF ? p->codec_tag
                                             : IsPlainPcm(p)                       ? 1
                                                                                   : 0);
    format.channels = static_cast<uint16_t>(p->ch_layout.nb_channels);
    format.samplesPerSec = static_cast<uint32_t>(p->sample_rate > 0 ? p->sample_rate : 0);
    format.avgBytesPerSec = static_cast<uint32_t>(p->bit_rate > 0 ? p->bit_rate / 8 : 0);
    format.blockAlign = static_cast<uint16_t>(p->block_align > 0 ? p->block_align : 0);
    format.bitsPerSample = static_cast<uint16_t>(p->bits_per_coded_sample);
    format.cbSize = static_cast<uint16_t>(p->extradata_size > 0 ? std::min(p->extradata_size, 0xFFFF) : 0);
    return true;
}

namespace {
// Samples are written in pieces of about this size.
constexpr size_t kWriteChunk = size_t{1} << 18;
}  // namespace

std::string WavHeader(int channels, int sampleRate, int bitsPerSample, uint32_t dataBytes) {
    const uint32_t block = static_cast<uint32_t>(channels * bitsPerSample / 8);
    std::string h(WavWriter::kHeaderSize, '\0');
    std::memcpy(&h[0], "RIFF", 4);
    Put32(h, 4, dataBytes + 40);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    Put32(h, 16, 20);
    Put16(h, 20, 1);  // PCM
    Put16(h, 22, static_cast<uint32_t>(channels));
    Put32(h, 24, static_cast<uint32_t>(sampleRate));
    Put32(h, 28, static_cast<uint32_t>(sampleRate) * block);
    Put16(h, 32, block);
    Put16(h, 34, static_cast<uint32_t>(bitsPerSample));
    Put16(h, 36, 0);  // cbSize
    Put16(h, 38, 0);  // pad
    std::memcpy(&h[40], "data", 4);
    Put32(h, 44, dataBytes);
    return h;
}

bool WavWriter::Open(const std::string& path, std::string& error) {
    pending_.clear();
    data_ = 0;
    writeError_.clear();
    // The header's place; it is filled in when the length is known.
    const std::string placeholder(kHeaderSize, '\0');
    return file_.Open(path, error) && file_.Write(placeholder.data(), placeholder.size(), error);
}

void WavWriter::SetFormat(int channels, int sampleRate, int bitsPerSample) {
    channels_ = channels;
    rate_ = sampleRate;
    bits_ = bitsPerSample;
}

bool WavWriter::Flush() {
    if (pending_.empty()) return true;
    if (!file_.Write(pending_.data(), pending_.size(), writeError_)) return false;
    pending_.clear();
    return true;
}

bool WavWriter::Append(const uint8_t* bytes, size_t n) {
    if (!file_.IsOpen()) {
        if (writeError_.empty()) writeError_ = "The WAV file is not open.";
        return false;
    }
    if (data_ + n > kMaxData) {
        file_.Abandon();
        return false;
    }
    pending_.append(reinterpret_cast<const char*>(bytes), n);
    data_ += n;
    return pending_.size() < kWriteChunk || Flush();
}

bool WavWriter::Finish(std::string& error) {
    if (!file_.IsOpen()) {
        error = writeError_.empty() ? "The WAV file is not open." : writeError_;
        return false;
    }
    if (!Flush()) {
        error = writeError_;
        return false;
    }
    const int block = BlockAlign();
    if (channels_ < 1 || channels_ > 2 || rate_ <= 0 || (bits_ != 8 && bits_ != 16)) {
        error = "No audio format to write.";
        file_.Abandon();
        return false;
    }
    data_ = data_ / static_cast<uint64_t>(block) * static_cast<uint64_t>(block);
    if (data_ == 0) {
        error = "There are no audio samples to write.";
        file_.Abandon();
        return false;
    }
    const std::string header = WavHeader(channels_, rate_, bits_, static_cast<uint32_t>(data_));
    return file_.Truncate(kHeaderSize + data_, error) && file_.WriteAt(0, header.data(), header.size(), error) &&
           file_.Commit(error);
}

bool CopyAudioTrack(WavWriter& dest, const std::string& sourcePath, std::string& error) {
    QuietFfmpegLog();
    const std::string name = fileio::ExtractFileName(sourcePath);
    AudioInput in;
    if (!in.Open(sourcePath, true, error)) return false;
    const AVCodecParameters* par = in.st->codecpar;
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) {
        error = "Out of memory.";
        return false;
    }
    // Why an append failed: the file's size limit, or the writing itself.
    const auto appendError = [&] {
        return dest.WriteError().empty() ? "The audio of " + name + " is too long for a WAV file." : dest.WriteError();
    };

    if (IsPlainPcm(par)) {
        dest.SetFormat(par->ch_layout.nb_channels, par->sample_rate, par->codec_id == AV_CODEC_ID_PCM_U8 ? 8 : 16);
        bool ok = true;
        while (av_read_frame(in.fmt, pkt) >= 0) {
            if (pkt->stream_index == in.st->index && !dest.Append(pkt->data, static_cast<size_t>(pkt->size))) {
                error = appendError();
                ok = false;
            }
            av_packet_unref(pkt);
            if (!ok) break;
        }
        av_packet_free(&pkt);
        return ok;
    }

    // Anything else: decode and convert to 16-bit PCM, at most two channels.
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec || par->sample_rate <= 0) {
        const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
        error = "There is no decoder for the " + std::string(desc ? desc->name : "unknown") + " audio of " + name + ".";
        av_packet_free(&pkt);
        return false;
    }
    AVCodecContext* cc = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    SwrContext* swr = nullptr;
    std::vector<uint8_t> out;
    bool ok = cc && frame && avcodec_parameters_to_context(cc, par) >= 0;
    if (ok) {
        cc->pkt_timebase = in.st->time_base;
        ok = avcodec_open2(cc, codec, nullptr) >= 0;
    }
    if (!ok) error = "Could not open the audio decoder for " + name + ".";

    AVChannelLayout outLayout{};
    int outChannels = 0, outRate = 0;
    // Configured input of swr: rebuilt when a frame differs.
    int inFormat = -1, inRate = 0;
    AVChannelLayout inLayout{};

    auto convert = [&](const AVFrame* f) -> bool {
        if (!swr || f->format != inFormat || f->sample_rate != inRate ||
            av_channel_layout_compare(&f->ch_layout, &inLayout) != 0) {
            if (outChannels == 0) {
                outChannels = f->ch_layout.nb_channels == 1 ? 1 : 2;
                outRate = f->sample_rate;
                av_channel_layout_default(&outLayout, outChannels);
                dest.SetFormat(outChannels, outRate, 16);
            }
            swr_free(&swr);
            av_channel_layout_uninit(&inLayout);
            if (av_channel_layout_copy(&inLayout, &f->ch_layout) < 0) return false;
            if (inLayout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&inLayout, inLayout.nb_channels);
            if (swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, outRate, &inLayout,
                                    static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
                swr_init(swr) < 0)
                return false;
            inFormat = f->format;
            inRate = f->sample_rate;
        }
        int maxOut = swr_get_out_samples(swr, f ? f->nb_samples : 0);
        if (maxOut < 0) return false;
        out.resize(static_cast<size_t>(maxOut) * outChannels * 2 + 64);
        uint8_t* dst[1] = {out.data()};
        int got = swr_convert(swr, dst, maxOut, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
        if (got < 0) return false;
        if (!dest.Append(out.data(), static_cast<size_t>(got) * outChannels * 2)) {
            error = appendError();
            return false;
        }
        return true;
    };

    bool flushed = false;
    while (ok) {
        int r = avcodec_receive_frame(cc, frame);
        if (r == 0) {
            if (frame->ch_layout.nb_channels < 1 || frame->sample_rate <= 0 || !convert(frame)) {
                if (error.empty()) error = "Could not convert the audio of " + name + ".";
                ok = false;
            }
            av_frame_unref(frame);
            continue;
        }
        if (r == AVERROR_EOF) break;
        if (r != AVERROR(EAGAIN) || flushed) break;
        bool got = false;
        while (av_read_frame(in.fmt, pkt) >= 0) {
            if (pkt->stream_index == in.st->index) {
                got = true;
                break;
            }
            av_packet_unref(pkt);
        }
        if (!got) {
            avcodec_send_packet(cc, nullptr);
            flushed = true;
            continue;
        }
        avcodec_send_packet(cc, pkt);  // a corrupt packet is skipped
        av_packet_unref(pkt);
    }
    if (ok && swr) {
        // Samples still inside the resampler.
        int maxOut = swr_get_out_samples(swr, 0);
        if (maxOut > 0) {
            out.resize(static_cast<size_t>(maxOut) * outChannels * 2 + 64);
            uint8_t* dst[1] = {out.data()};
            int got = swr_convert(swr, dst, maxOut, nullptr, 0);
            if (got > 0 && !dest.Append(out.data(), static_cast<size_t>(got) * outChannels * 2)) {
                error = appendError();
                ok = false;
            }
        }
    }
    if (ok && outChannels == 0) {
        error = "The audio of " + name + " could not be decoded.";
        ok = false;
    }
    swr_free(&swr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    av_frame_free(&frame);
    avcodec_free_context(&cc);
    av_packet_free(&pkt);
    return ok;
}

}  // namespace video
