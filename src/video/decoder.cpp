#include "video/decoder.h"

#include "platform/file_io.h"
#include "video/av_util.h"
#include "video/read_ahead.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

namespace video {

namespace {

// Decoded pictures kept for stepping backwards (references, not copies).
constexpr int kCacheSize = 8;
constexpr int kForwardRunEndsCache = 100;
// A seek that lands on a key frame shown after the wanted one is retried from the
// key frame before it; this bounds the retries on a broken index.
constexpr int kMaxSeekRetries = 64;
constexpr size_t kMaxKnownKeys = 1 << 20;

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// What the index of an AVI file says about video stream `stream`: the number of
// its frame chunks in "idx1" (zero-size dropped frames included), kSuperIndexOnly
// when only an OpenDML "indx" is there, kNoIndex when neither is (a capture that
// stopped before writing it, whose header length may not match its data).
constexpr int64_t kNoIndex = -1;
constexpr int64_t kSuperIndexOnly = -2;

int64_t AviIndexEntries(const std::string& path, int stream) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return kNoIndex;
    int64_t result = kNoIndex;
    unsigned char h[12];
    if (std::fread(h, 1, 12, f) == 12 && std::memcmp(h, "RIFF", 4) == 0) {
        long at = 12;
        char id[2] = {static_cast<char>('0' + stream / 10 % 10), static_cast<char>('0' + stream % 10)};
        for (int chunks = 0; chunks < 10000 && result < 0; ++chunks) {
            if (std::fseek(f, at, SEEK_SET) != 0 || std::fread(h, 1, 12, f) < 8) break;
            const uint32_t size = Le32(h + 4);
            if (std::memcmp(h, "idx1", 4) == 0 && size > 0) {
                // 16 bytes an entry: chunk id, flags, offset, size.
                std::fseek(f, at + 8, SEEK_SET);
                unsigned char e[16 * 256];
                int64_t count = 0;
                for (uint32_t left = size / 16; left > 0;) {
                    const size_t want = std::min<uint32_t>(left, 256);
                    const size_t got = std::fread(e, 16, want, f);
                    for (size_t i = 0; i < got; ++i) {
                        const unsigned char* c = e + 16 * i;
                        if (c[0] == id[0] && c[1] == id[1] && (c[2] == 'd' && (c[3] == 'c' || c[3] == 'b'))) ++count;
                    }
                    if (got < want) break;
                    left -= static_cast<uint32_t>(got);
                }
                if (count > 0) result = count;
            }
            if (std::memcmp(h, "LIST", 4) == 0 && std::memcmp(h + 8, "hdrl", 4) == 0) {
                // The headers are small; look for a super index among them.
                std::string hdrl(std::min<uint32_t>(size, 1u << 20), '\0');
                size_t got = std::fread(hdrl.data(), 1, hdrl.size(), f);
                hdrl.resize(got);
                if (hdrl.find("indx") != std::string::npos) result = kSuperIndexOnly;
            }
            const long next = at + 8 + static_cast<long>(size) + (size & 1);
            if (next <= at) break;
            at = next;
        }
    }
    std::fclose(f);
    return result;
}

}  // namespace

struct VideoDecoder::Impl {
    std::string path;
    std::string error;
    std::string lost;  // set when the file could not be reopened after a failed seek

    AVFormatContext* fmt = nullptr;
    AVCodecContext* cc = nullptr;
    AVStream* st = nullptr;
    int si = -1;
    AVPacket* pkt = nullptr;
    AVFrame* scratch = nullptr;
    std::unique_ptr<PictureConverter> converter;  // made at the first conversion

    bool open = false;
    bool canDecode = false;
    bool frameThreads = false;  // the codec decodes several pictures at once
    bool cacheDecoded = true;  // the codec's pictures are worth keeping
    bool cacheActive = false;  // ... and the reader has stepped backwards lately
    int forwardRun = 0;        // consecutive requests for the next frame
    bool isAvi = false;
    int width = 0, height = 0;
    AVRational rate{0, 1};
    int count = 0;
    int64_t headerCount = 0;  // what the header claims, when it claims more than `count`
    std::string codecName;
    // AVI: true for the slots that hold data, as the index or the scan at Open
    // found them; the other slots are dropped frames. Empty for other containers.
    std::vector<bool> dataSlot;
    std::vector<int> scannedSlots;  // ScanPackets: slots of the complete packets

    int64_t startTs = 0;  // stream time of slot 0
    int64_t base = 0;     // frame timestamp of slot 0 (AVI: includes the decoder's delay)

    // Decoding position.
    bool flushed = false;       // end of file reached, the codec is being drained
    bool drained = false;       // the codec has given its last picture
    int64_t lastPktTs = AV_NOPTS_VALUE;
    int64_t firstPktTs = AV_NOPTS_VALUE;  // first video packet after the last seek
    int lastOutIdx = -1;        // index of the last picture the codec gave
    int frontier = -1;          // last frame number served by decoding; -1 after a seek
    AVFrame* held = nullptr;    // picture for `frontier`
    int heldIdx = -1;
    bool heldDelivered = false;  // `held` has been handed out by GetFrame
    bool heldReleased = false;   // ... and let go while decoding forward
    AVFrame* pending = nullptr;  // next picture, already decoded, shown after `frontier`
    int pendingIdx = -1;

    struct CacheEntry {
        int n = -1;
        AVFrame* f = nullptr;
        uint64_t stamp = 0;
    };
    std::array<CacheEntry, kCacheSize> cache{};
    // Key frame time -> number of the first picture decoded from it, learnt at
    // each seek, so that a key frame shown after its neighbours is not tried twice.
    std::unordered_map<int64_t, int> keyShows;
    uint64_t clock = 0;

    ~Impl() { Release(); }

    // ---- setup -------------------------------------------------------------

    bool Fail(const std::string& msg) {
        error = msg;
        return false;
    }

    void ReleaseInput() {
        ClearPosition();
        ClearCache();
        if (cc) avcodec_free_context(&cc);
        if (fmt) avformat_close_input(&fmt);
        st = nullptr;
        si = -1;
    }

    void Release() {
        ReleaseInput();
        if (pkt) av_packet_free(&pkt);
        if (scratch) av_frame_free(&scratch);
        if (held) av_frame_free(&held);
        if (pending) av_frame_free(&pending);
        converter.reset();
        open = canDecode = isAvi = false;
        lost.clear();
        width = height = count = 0;
        headerCount = 0;
        dataSlot.clear();
        scannedSlots.clear();
        rate = AVRational{0, 1};
        codecName.clear();
        startTs = base = 0;
        keyShows.clear();
        cacheActive = false;
        forwardRun = 0;
        frameThreads = false;
    }

    // Opens the container, picks the first video stream and, when there is a
    // decoder for it, opens the codec. Sets `error` and returns false when the
    // file cannot be used at all.
    bool OpenInput() {
        const std::string name = fileio::ExtractFileName(path);
        std::string why;
        int r = OpenFormatInput(&fmt, path, why);
        if (r < 0) return Fail(why);
        r = avformat_find_stream_info(fmt, nullptr);
        if (r < 0) return Fail("Could not read the streams of " + name + ": " + AvError(r) + ".");
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            AVStream* s = fmt->streams[i];
            if (si < 0 && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                si = static_cast<int>(i);
                st = s;
            } else {
                s->discard = AVDISCARD_ALL;
            }
        }
        if (!st) return Fail(name + " has no video stream.");
        isAvi = fmt->iformat && std::strcmp(fmt->iformat->name, "avi") == 0;
        if (st->time_base.num <= 0 || st->time_base.den <= 0) return Fail(name + " has no valid time base.");

        const AVCodecDescriptor* desc = avcodec_descriptor_get(st->codecpar->codec_id);
        codecName = desc ? desc->name : "unknown";
        if (!OpenCodec()) return Fail("Out of memory opening " + name + ".");
        // Intra-only pictures are one seek away, so only the others are kept for
        // stepping back; holding on to raw frames would only cost fresh memory.
        cacheDecoded = !(desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY));
        cacheActive = false;
        return true;
    }

    // Opens the codec of `st` into cc; canDecode tells whether it could. False
    // only when memory ran out.
    bool OpenCodec() {
        canDecode = false;
        const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
        if (!codec) return true;
        cc = avcodec_alloc_context3(codec);
        if (!cc) return false;
        if (avcodec_parameters_to_context(cc, st->codecpar) < 0) {
            avcodec_free_context(&cc);
            return true;
        }
        cc->pkt_timebase = st->time_base;
        // Slice threads for random access; frame threads (several pictures at
        // once, each seek waiting for all of them) only for a long forward read.
        cc->thread_count = 0;
        cc->thread_type = frameThreads ? FF_THREAD_FRAME | FF_THREAD_SLICE : FF_THREAD_SLICE;
        cc->max_pixels = static_cast<int64_t>(VideoDecoder::kMaxSide) * VideoDecoder::kMaxSide;
        if (avcodec_open2(cc, codec, nullptr) < 0) {
            avcodec_free_context(&cc);
            return true;
        }
        canDecode = true;
        return true;
    }

    void SetFrameThreads(bool on) {
        if (on == frameThreads) return;
        frameThreads = on;
        // A codec without frame threads is left as it is (a new context would also
        // lose a palette that came with the first packet).
        if (!open || !canDecode || !cc || !(cc->codec->capabilities & AV_CODEC_CAP_FRAME_THREADS)) return;
        // The same pictures either way; the next frame is sought afresh.
        ClearPosition();
        ClearCache();
        cacheActive = false;
        forwardRun = 0;
        avcodec_free_context(&cc);
        if (!OpenCodec() || !canDecode) lost = "Could not decode " + fileio::ExtractFileName(path) + " again.";
    }

    // Stream time -> frame number, relative to `origin`.
    int TsToIndex(int64_t ts, int64_t origin) const {
        int64_t v = av_rescale_q_rnd(ts - origin, st->time_base, av_inv_q(rate),
                                     static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
        return static_cast<int>(std::clamp<int64_t>(v, INT_MIN / 2, INT_MAX / 2));
    }
    int64_t IndexToTs(int n) const { return startTs + av_rescale_q(n, av_inv_q(rate), st->time_base); }

    // One pass over every packet: counts the slots of a file whose header does not
    // (an interrupted capture) and records its key frames so that it can be seeked.
    int ScanPackets() {
        struct Key {
            int64_t pos, ts;
            int size;
        };
        std::vector<Key> keys;
        int64_t maxSlot = -1, packets = 0;
        scannedSlots.clear();
        while (av_read_frame(fmt, pkt) >= 0) {
            // A packet cut short (the end of an interrupted capture) delivers no frame.
            if (pkt->stream_index == si && !(pkt->flags & AV_PKT_FLAG_CORRUPT)) {
                ++packets;
                int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
                if (ts != AV_NOPTS_VALUE) {
                    const int slot = TsToIndex(ts, startTs);
                    maxSlot = std::max<int64_t>(maxSlot, slot);
                    if (pkt->size > 0 && slot >= 0 && scannedSlots.size() < (size_t{1} << 26))
                        scannedSlots.push_back(slot);
                    if ((pkt->flags & AV_PKT_FLAG_KEY) && pkt->pos >= 0) keys.push_back({pkt->pos, ts, pkt->size});
                }
            }
            av_packet_unref(pkt);
        }
        // Entries added while reading would steer the demuxer; add them afterwards.
        if (avformat_index_get_entries_count(st) == 0)
            for (const Key& k : keys) av_add_index_entry(st, k.pos, k.ts, k.size, 0, AVINDEX_KEYFRAME);
        int64_t n = maxSlot >= 0 ? maxSlot + 1 : packets;
        return static_cast<int>(std::min<int64_t>(n, INT_MAX / 2));
    }

    // Slot of the last entry of the demuxer's index; -1 when it has none.
    int64_t LastIndexedSlot() const {
        const int entries = avformat_index_get_entries_count(st);
        const AVIndexEntry* e = entries > 0 ? avformat_index_get_entry(st, entries - 1) : nullptr;
        return e ? TsToIndex(e->timestamp, startTs) : -1;
    }

    // Marks the slots that hold data. The demuxer's index leaves out the zero-size
    // chunks of dropped frames; a scan saw only complete packets.
    void MapDataSlots(bool scanned) {
        dataSlot.assign(static_cast<size_t>(count), false);
        auto mark = [&](int64_t slot) {
            if (slot >= 0 && slot < count) dataSlot[static_cast<size_t>(slot)] = true;
        };
        if (scanned) {
            for (int slot : scannedSlots) mark(slot);
        } else {
            const int entries = avformat_index_get_entries_count(st);
            for (int i = 0; i < entries; ++i) {
                const AVIndexEntry* e = avformat_index_get_entry(st, i);
                if (e && e->size > 0) mark(TsToIndex(e->timestamp, startTs));
            }
        }
        scannedSlots = {};
        // An index whose times are not slots tells nothing: no slot is taken as dropped.
        if (std::find(dataSlot.begin(), dataSlot.end(), true) == dataSlot.end()) dataSlot.clear();
    }

    // True when a slot after `from` up to `to` holds data: showing the picture of
    // `from` there would pass a frame that could not be read off as a dropped one.
    bool DataAfter(int from, int to) const {
        if (dataSlot.empty()) return false;
        for (int k = std::max(from + 1, 0); k <= to && k < count; ++k)
            if (dataSlot[static_cast<size_t>(k)]) return true;
        return false;
    }

    bool Open(const std::string& p) {
        Release();
        path = p;
        error.clear();
        const std::string name = fileio::ExtractFileName(path);
        pkt = av_packet_alloc();
        scratch = av_frame_alloc();
        held = av_frame_alloc();
        pending = av_frame_alloc();
        if (!pkt || !scratch || !held || !pending) {
            Release();
            return Fail("Out of memory opening " + name + ".");
        }
        if (!OpenInput()) {
            Release();
            return false;
        }
        width = st->codecpar->width;
        height = st->codecpar->height;
        if (width <= 0 || height <= 0 || width > VideoDecoder::kMaxSide || height > VideoDecoder::kMaxSide) {
            std::string msg = name + " has an unsupported frame size of " + std::to_string(width) + " x " +
                              std::to_string(height) + ".";
            Release();
            return Fail(msg);
        }
        if (isAvi) {
            rate = av_inv_q(st->time_base);  // the header's rate / scale
        } else {
            rate = st->avg_frame_rate;
            if (rate.num <= 0 || rate.den <= 0) rate = st->r_frame_rate;
        }
        if (rate.num <= 0 || rate.den <= 0) rate = av_inv_q(st->time_base);
        startTs = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        if (isAvi) startTs = 0;

        int64_t n = 0;
        bool scan = false;
        if (isAvi) {
            // The stream length of the header, but never more slots than the index
            // lists: a header may claim anything. A file without index is counted.
            int64_t indexed = AviIndexEntries(path, si);
            if (indexed == kSuperIndexOnly) indexed = LastIndexedSlot() + 1;
            if (indexed <= 0 || st->nb_frames <= 0) {
                scan = true;
            } else {
                n = std::min<int64_t>(st->nb_frames, indexed);
                if (st->nb_frames > n) headerCount = st->nb_frames;
            }
        } else if (st->nb_frames > 0) {
            n = st->nb_frames;
        } else if (st->duration > 0 && st->duration != AV_NOPTS_VALUE) {
            n = av_rescale_q(st->duration, st->time_base, av_inv_q(rate));
        } else if (fmt->duration > 0 && fmt->duration != AV_NOPTS_VALUE) {
            n = av_rescale_q(fmt->duration, AV_TIME_BASE_Q, av_inv_q(rate));
        } else {
            scan = true;
        }
        if (scan) {
            n = ScanPackets();
            if (!Rewind()) {
                std::string msg = error;
                Release();
                return Fail(msg);
            }
        }
        if (n < 1) {
            Release();
            return Fail(name + " contains no video frames.");
        }
        count = static_cast<int>(std::min<int64_t>(n, INT_MAX / 2));
        if (isAvi) MapDataSlots(scan);
        open = true;
        if (canDecode) Prime();
        return true;
    }

    // Decodes the first picture and fixes the timestamp of slot 0 from it.
    void Prime() {
        ClearPosition();
        int64_t pktTs = AV_NOPTS_VALUE;
        int r = NextFrame(scratch, &pktTs);
        if (r <= 0) return;
        int64_t ts = FrameTs(scratch);
        if (ts == AV_NOPTS_VALUE) {
            base = startTs;
        } else if (isAvi && pktTs != AV_NOPTS_VALUE) {
            // AVI carries decode-order times only; a reordering codec hands out
            // each picture with the time of a later packet. The first picture is
            // shown in the slot of the first packet.
            base = ts - (pktTs - startTs);
        } else if (isAvi) {
            base = ts;
        } else {
            base = st->start_time != AV_NOPTS_VALUE ? st->start_time : ts;
        }
        av_frame_move_ref(pending, scratch);
        pendingIdx = ts == AV_NOPTS_VALUE ? 0 : TsToIndex(ts, base);
        lastOutIdx = pendingIdx;
    }

    // ---- decoding ------------------------------------------------------------

    int64_t FrameTs(const AVFrame* f) const {
        if (isAvi && f->pkt_dts != AV_NOPTS_VALUE) return f->pkt_dts;
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) return f->best_effort_timestamp;
        if (f->pts != AV_NOPTS_VALUE) return f->pts;
        return f->pkt_dts;
    }

    bool HasTime(const AVFrame* f) const {
        return !(isAvi && f->pkt_dts == AV_NOPTS_VALUE) && FrameTs(f) != AV_NOPTS_VALUE;
    }

    int FrameIndex(const AVFrame* f) const {
        // Pictures drained at the end of an AVI carry no packet time: they follow on.
        if (isAvi && f->pkt_dts == AV_NOPTS_VALUE) return lastOutIdx + 1;
        int64_t ts = FrameTs(f);
        if (ts == AV_NOPTS_VALUE) return lastOutIdx + 1;
        return TsToIndex(ts, base);
    }

    // Next video packet into `pkt`; false at the end of the file.
    bool ReadVideoPacket() {
        for (;;) {
            int r = av_read_frame(fmt, pkt);
            if (r < 0) return false;
            if (pkt->stream_index == si) {
                int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
                lastPktTs = ts;
                if (firstPktTs == AV_NOPTS_VALUE) firstPktTs = ts;
                return true;
            }
            av_packet_unref(pkt);
        }
    }

    // Next decoded picture into `f`: 1 when one came, 0 at the end.
    int NextFrame(AVFrame* f, int64_t* firstPacketTs = nullptr) {
        for (;;) {
            int r = avcodec_receive_frame(cc, f);
            if (r == 0) {
                if (firstPacketTs) *firstPacketTs = firstPktTs;
                return 1;
            }
            if (r != AVERROR(EAGAIN)) {  // drained, or the codec gave up
                drained = true;
                return 0;
            }
            if (flushed) return 0;
            if (!ReadVideoPacket()) {
                avcodec_send_packet(cc, nullptr);
                flushed = true;
                continue;
            }
            // A packet cut short (the end of an interrupted capture) would leave
            // part of a recycled picture buffer on screen, different on every
            // road; it is skipped like one the codec rejects, and its slot shows
            // the picture before it.
            if (!(pkt->flags & AV_PKT_FLAG_CORRUPT)) avcodec_send_packet(cc, pkt);
            av_packet_unref(pkt);
        }
    }

    void ClearPosition() {
        if (held) av_frame_unref(held);
        if (pending) av_frame_unref(pending);
        heldIdx = pendingIdx = -1;
        heldDelivered = heldReleased = false;
        frontier = -1;
        lastOutIdx = -1;
        flushed = drained = false;
        lastPktTs = firstPktTs = AV_NOPTS_VALUE;
    }

    // Back to the first packet; reopens the file when the container cannot seek.
    bool Rewind() {
        ClearPosition();
        if (cc) avcodec_flush_buffers(cc);
        if (av_seek_frame(fmt, si, startTs, AVSEEK_FLAG_BACKWARD) >= 0) return true;
        if (avformat_seek_file(fmt, si, INT64_MIN, startTs, startTs, 0) >= 0) return true;
        // Reopen: the counts and rates found at Open stay as they were.
        if (cc) avcodec_free_context(&cc);
        if (fmt) avformat_close_input(&fmt);
        st = nullptr;
        si = -1;
        bool could = canDecode;
        if (!OpenInput() || (could && !canDecode)) {
            canDecode = false;
            lost = "Could not read " + fileio::ExtractFileName(path) + " again from its start.";
            return Fail(lost);
        }
        return true;
    }

    // Seeks to the key frame at or before `ts`; false when the container refuses.
    bool SeekTo(int64_t ts) {
        ClearPosition();
        avcodec_flush_buffers(cc);
        if (ts <= startTs) return Rewind();
        return av_seek_frame(fmt, si, ts, AVSEEK_FLAG_BACKWARD) >= 0;
    }

    // ---- cache ----------------------------------------------------------------

    void ClearCache() {
        for (auto& e : cache) {
            if (e.f) av_frame_free(&e.f);
            e.n = -1;
        }
    }

    CacheEntry* FindCached(int n) {
        for (auto& e : cache)
            if (e.n == n && e.f) return &e;
        return nullptr;
    }

    void AddCached(int n, const AVFrame* f) {
        if (FindCached(n)) return;
        CacheEntry* slot = &cache[0];
        for (auto& e : cache) {
            if (e.n < 0) {
                slot = &e;
                break;
            }
            if (e.stamp < slot->stamp) slot = &e;
        }
        if (!slot->f) slot->f = av_frame_alloc();
        if (!slot->f) return;
        av_frame_unref(slot->f);
        if (av_frame_ref(slot->f, f) < 0) {
            slot->n = -1;
            return;
        }
        slot->n = n;
        slot->stamp = ++clock;
    }

    // ---- conversion -------------------------------------------------------------

    bool Convert(const AVFrame* f, Bitmap24& out) {
        if (!converter) converter = std::make_unique<PictureConverter>(ConversionThreads());
        return converter->Convert(f, width, height, fileio::ExtractFileName(path), out, error);
    }

    // The decoder's own conversions: on one thread up to 1920 x 1080, where slices
    // of rows cost more in hand-offs between threads than they save (a 720 x 576
    // frame takes about 0.1 ms on one); above, on several unless the serial road is
    // asked for. Each row comes out the same either way.
    int ConversionThreads() const {
        if (!FrameReadAhead::Enabled() || static_cast<int64_t>(width) * height <= int64_t{1920} * 1080) return 1;
        return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    }

    // A reference to f for conversion elsewhere.
    bool Hand(const AVFrame* f, DecodedPicture& out) {
        out.Release();
        out.frame_ = av_frame_alloc();
        if (!out.frame_ || av_frame_ref(out.frame_, f) < 0) {
            out.Release();
            return Fail("Out of memory for a frame of " + fileio::ExtractFileName(path) + ".");
        }
        out.width_ = width;
        out.height_ = height;
        out.name_ = fileio::ExtractFileName(path);
        return true;
    }

    // ---- frame access -----------------------------------------------------------

    // Decodes forward until the picture for n is held (or the file ends).
    void DecodeForward(int n) {
        for (;;) {
            if (pendingIdx < 0 && !drained) {
                // A raw frame pins its packet; letting go of the delivered picture
                // before reading the next lets the reader reuse that memory rather
                // than fault in fresh pages for every frame. When the next picture
                // turns out to belong to a later slot, GetFrame seeks back for it.
                if (!cacheDecoded && heldDelivered) {
                    av_frame_unref(held);
                    heldIdx = -1;
                    heldDelivered = false;
                    heldReleased = true;
                }
                if (NextFrame(pending) == 1) {
                    pendingIdx = FrameIndex(pending);
                    lastOutIdx = pendingIdx;
                }
            }
            if (pendingIdx < 0) break;  // end of stream
            if (pendingIdx > n) break;
            av_frame_unref(held);
            av_frame_move_ref(held, pending);
            heldIdx = pendingIdx;
            pendingIdx = -1;
            if (cacheActive) AddCached(heldIdx, held);
            // Exactly n: no need to decode the next picture to know n is done.
            if (heldIdx == n) break;
        }
        frontier = n;
    }

    // Seeks to the key frame at or before n; when the picture of that key frame is
    // shown after n (a reordering codec in a decode-ordered container, or an open
    // group of pictures), tries the key frame before it.
    bool SeekFor(int n) {
        int64_t target = IndexToTs(n);
        for (int attempt = 0; attempt < kMaxSeekRetries; ++attempt) {
            // Skip key frames already known to show after n.
            for (int k = 0; k < kMaxSeekRetries && target > startTs; ++k) {
                int e = av_index_search_timestamp(st, target, AVSEEK_FLAG_BACKWARD);
                const AVIndexEntry* entry = e >= 0 ? avformat_index_get_entry(st, e) : nullptr;
                auto known = entry ? keyShows.find(entry->timestamp) : keyShows.end();
                if (known == keyShows.end() || known->second <= n) break;
                target = std::min(target, entry->timestamp) - 1;
            }
            bool atStart = target <= startTs;
            if (!SeekTo(target)) {
                if (!Rewind()) return false;
                atStart = true;
            }
            if (NextFrame(pending) == 1) {
                // A picture drained at the end without a time (the last key frame of
                // a reordered stream) cannot be placed after a seek: it is taken as
                // shown after n, so that the key frame before it is tried.
                const bool placed = atStart || HasTime(pending);
                pendingIdx = placed ? FrameIndex(pending) : count;
                lastOutIdx = pendingIdx;
                if (firstPktTs != AV_NOPTS_VALUE && keyShows.size() < kMaxKnownKeys)
                    keyShows[firstPktTs] = pendingIdx;
            }
            // Nothing decodable from there on (a damaged last key frame) also
            // sends the search one key frame back.
            if ((pendingIdx >= 0 && pendingIdx <= n) || atStart) return true;
            int64_t landed = firstPktTs != AV_NOPTS_VALUE ? firstPktTs : target;
            target = std::min(landed, target) - 1;
        }
        return Rewind();
    }

    // Frame n's picture given to `deliver` (Convert or Hand); the rest as GetFrame.
    template <typename Out>
    bool Deliver(int n, Out& out) {
        const auto give = [&](const AVFrame* f) {
            if constexpr (std::is_same_v<Out, Bitmap24>) return Convert(f, out);
            else return Hand(f, out);
        };
        const std::string name = fileio::ExtractFileName(path);
        if (!open) return Fail("No video is open.");
        if (!canDecode || !fmt || !cc) {
            if (!lost.empty()) return Fail(lost);
            return Fail("There is no decoder for the " + codecName + " video of " + name + ".");
        }
        if (n < 0 || n >= count)
            return Fail("Frame " + std::to_string(n) + " is outside the " + std::to_string(count) +
                        " frames of " + name + ".");
        if (CacheEntry* e = FindCached(n)) {
            e->stamp = ++clock;
            return give(e->f);
        }
        if (n == frontier && heldIdx >= 0) return give(held);

        // Keeping pictures slows a straight run (more buffers in circulation), so
        // the cache works only from the first step back until a long run forward.
        if (frontier >= 0 && n < frontier && cacheDecoded) {
            cacheActive = true;
            forwardRun = 0;
        } else if (frontier >= 0 && n == frontier + 1 && cacheActive && ++forwardRun > kForwardRunEndsCache) {
            cacheActive = false;
            ClearCache();
        }

        // Forward from where decoding stands, unless a key frame lies in between.
        bool forward = frontier >= 0 ? n > frontier : pendingIdx >= 0 && pendingIdx <= n;
        int from = frontier >= 0 ? frontier : pendingIdx;
        if (forward && n - from > 2) {
            int k = av_index_search_timestamp(st, IndexToTs(n), AVSEEK_FLAG_BACKWARD);
            const AVIndexEntry* e = k >= 0 ? avformat_index_get_entry(st, k) : nullptr;
            if (e && lastPktTs != AV_NOPTS_VALUE && e->timestamp > lastPktTs) forward = false;
        }
        if (!forward && !SeekFor(n)) {
            frontier = -1;
            return false;
        }
        heldReleased = false;
        DecodeForward(n);
        if ((heldIdx < 0 || heldIdx > n) && heldReleased) {
            if (!SeekFor(n)) {
                frontier = -1;
                return false;
            }
            DecodeForward(n);
        }
        if (heldIdx < 0 || heldIdx > n) {
            // Nothing is shown at or before n (leading empty slots): the first picture.
            if (pendingIdx >= 0) {
                if (cacheActive) AddCached(n, pending);
                return give(pending);
            }
            frontier = -1;
            return Fail("No picture could be decoded for frame " + std::to_string(n) + " of " + name + ".");
        }
        if (heldIdx < n && DataAfter(heldIdx, n)) {
            // The file was cut short or the data is damaged: a failed fetch, not a
            // dropped frame.
            frontier = -1;
            return Fail("Frame " + std::to_string(n) + " of " + name + " could not be read or decoded.");
        }
        if (heldIdx != n && cacheActive) AddCached(n, held);
        heldDelivered = true;
        return give(held);
    }
};

VideoDecoder::VideoDecoder() : d_(std::make_unique<Impl>()) { QuietFfmpegLog(); }
VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::Open(const std::string& path) { return d_->Open(path); }
void VideoDecoder::Close() {
    d_->Release();
    d_->path.clear();
}
bool VideoDecoder::IsOpen() const { return d_->open; }
bool VideoDecoder::CanDecode() const { return d_->open && d_->canDecode; }
int VideoDecoder::Width() const { return d_->open ? d_->width : 0; }
int VideoDecoder::Height() const { return d_->open ? d_->height : 0; }
AVRational VideoDecoder::Rate() const { return d_->open ? d_->rate : AVRational{0, 1}; }
double VideoDecoder::FrameRate() const {
    AVRational r = Rate();
    return r.num > 0 && r.den > 0 ? av_q2d(r) : 0.0;
}
int VideoDecoder::FrameCount() const { return d_->open ? d_->count : 0; }
int64_t VideoDecoder::HeaderFrameCount() const { return d_->open ? d_->headerCount : 0; }
double VideoDecoder::DurationSeconds() const {
    double r = FrameRate();
    return r > 0 ? FrameCount() / r : 0.0;
}
std::string VideoDecoder::CodecName() const { return d_->open ? d_->codecName : std::string(); }
bool VideoDecoder::GetFrame(int n, Bitmap24& out) { return d_->Deliver(n, out); }
bool VideoDecoder::GetPicture(int n, DecodedPicture& out) { return d_->Deliver(n, out); }
void VideoDecoder::SetFrameThreads(bool on) { d_->SetFrameThreads(on); }
const std::string& VideoDecoder::Error() const { return d_->error; }

}  // namespace video
