#include "video/dv_timecode.h"

#include <clocale>
#include <climits>
#include <cstring>
#include <ctime>
#include <locale.h>

#include "video/av_util.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace video {

namespace {

constexpr size_t kDifBlock = 80;
constexpr int kSectionSubcode = 1;
constexpr int kSectionVaux = 2;
constexpr uint8_t kRecDate = 0x62;
constexpr uint8_t kRecTime = 0x63;

// Two BCD digits: tens under `tensMask` (shifted down 4), units in the low nibble.
int Bcd(uint8_t byte, uint8_t tensMask) {
    const int units = byte & 0x0F;
    if (units > 9) return -1;
    return ((byte & tensMask) >> 4) * 10 + units;
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

bool DecodeRecDatePack(const uint8_t* p, DvRecTime& t) {
    if (p[0] != kRecDate) return false;
    const int day = Bcd(p[2], 0x30), month = Bcd(p[3], 0x10), yy = Bcd(p[4], 0xF0);
    if (day < 0 || month < 1 || month > 12 || yy < 0 || yy > 99) return false;
    const int year = yy >= 69 ? 1900 + yy : 2000 + yy;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    t.year = year;
    t.month = month;
    t.day = day;
    return true;
}

bool DecodeRecTimePack(const uint8_t* p, DvRecTime& t) {
    if (p[0] != kRecTime) return false;
    const int sec = Bcd(p[2], 0x70), min = Bcd(p[3], 0x70), hour = Bcd(p[4], 0x30);
    if (sec < 0 || sec > 59 || min < 0 || min > 59 || hour < 0 || hour > 23) return false;
    t.hour = hour;
    t.minute = min;
    t.second = sec;
    return true;
}

std::optional<DvRecTime> ParseDvRecTime(const uint8_t* data, size_t size) {
    if (!data) return std::nullopt;
    DvRecTime vaux, sub;
    bool vauxDate = false, vauxTime = false, subDate = false, subTime = false;
    for (size_t at = 0; at + kDifBlock <= size && !(vauxDate && vauxTime); at += kDifBlock) {
        const uint8_t* block = data + at;
        const int section = block[0] >> 5;
        if (section == kSectionVaux) {
            // 15 packs of 5 bytes after the 3-byte block ID.
            for (int i = 0; i < 15; ++i) {
                const uint8_t* pack = block + 3 + 5 * i;
                if (!vauxDate) vauxDate = DecodeRecDatePack(pack, vaux);
                if (!vauxTime) vauxTime = DecodeRecTimePack(pack, vaux);
            }
        } else if (section == kSectionSubcode && !(subDate && subTime)) {
            // 6 sync blocks of 8 bytes: 2 ID bytes, a parity byte, a 5-byte pack.
            for (int k = 0; k < 6; ++k) {
                const uint8_t* pack = block + 3 + 8 * k + 3;
                if (!subDate) subDate = DecodeRecDatePack(pack, sub);
                if (!subTime) subTime = DecodeRecTimePack(pack, sub);
            }
        }
    }
    if (!(vauxDate || subDate) || !(vauxTime || subTime)) return std::nullopt;
    DvRecTime t;
    const DvRecTime& d = vauxDate ? vaux : sub;
    const DvRecTime& h = vauxTime ? vaux : sub;
    t.year = d.year;
    t.month = d.month;
    t.day = d.day;
    t.hour = h.hour;
    t.minute = h.minute;
    t.second = h.second;
    return t;
}

std::string FormatDvTime(const DvRecTime& t, const std::string& format) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (format.empty() || !cLocale) return std::string();
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    // Weekday and day of the year for the formats that show them.
    std::tm copy = tm;
    const time_t when = timegm(&copy);
    std::tm full{};
    if (when != static_cast<time_t>(-1) && gmtime_r(&when, &full)) tm = full;
    char buf[kMaxFormatted + 1];
    const size_t n = strftime_l(buf, sizeof buf, format.c_str(), &tm, cLocale);
    return std::string(buf, n);
}

struct DvTimeReader::Impl {
    AVFormatContext* fmt = nullptr;
    AVPacket* pkt = nullptr;
    AVStream* st = nullptr;
    int si = -1;
    bool dv = false;
    AVRational rate{0, 1};
    int64_t startTs = 0;

    // The last packet read at or before the asked frame, and one read ahead.
    int curSlot = -1;
    std::optional<DvRecTime> curTime;
    bool haveAhead = false;
    int aheadSlot = -1;
    bool aheadEmpty = false;
    std::optional<DvRecTime> aheadTime;

    ~Impl() { Release(); }

    void Release() {
        if (pkt) av_packet_free(&pkt);
        if (fmt) avformat_close_input(&fmt);
        st = nullptr;
        si = -1;
        dv = false;
        Reset();
    }

    void Reset() {
        curSlot = -1;
        curTime.reset();
        haveAhead = false;
        aheadSlot = -1;
        aheadTime.reset();
    }

    int SlotOf(int64_t ts) const {
        const int64_t v = av_rescale_q_rnd(ts - startTs, st->time_base, av_inv_q(rate),
                                           static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
        return static_cast<int>(v < INT_MIN / 2 ? INT_MIN / 2 : v > INT_MAX / 2 ? INT_MAX / 2 : v);
    }

    bool ReadAhead() {
        haveAhead = false;
        while (av_read_frame(fmt, pkt) >= 0) {
            if (pkt->stream_index != si) {
                av_packet_unref(pkt);
                continue;
            }
            const int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
            aheadSlot = ts == AV_NOPTS_VALUE ? curSlot + 1 : SlotOf(ts);
            aheadEmpty = pkt->size <= 0 || (pkt->flags & AV_PKT_FLAG_CORRUPT);
            aheadTime = aheadEmpty ? std::nullopt : ParseDvRecTime(pkt->data, static_cast<size_t>(pkt->size));
            av_packet_unref(pkt);
            haveAhead = true;
            return true;
        }
        return false;
    }

    std::optional<DvRecTime> TimeOf(int n) {
        if (!dv || n < 0) return std::nullopt;
        if (n == curSlot) return curTime;
        // Next frames are read on; anything else is sought (every DV frame is a key frame).
        const bool forward = curSlot >= 0 && n > curSlot && (!haveAhead || aheadSlot <= n || n - curSlot < 4);
        if (!forward) {
            Reset();
            const int64_t ts = startTs + av_rescale_q(n, av_inv_q(rate), st->time_base);
            if (av_seek_frame(fmt, si, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
                av_seek_frame(fmt, si, startTs, AVSEEK_FLAG_BACKWARD) < 0)
                return std::nullopt;
            ReadAhead();
        }
        for (int guard = 0; haveAhead && aheadSlot <= n && guard < 4096; ++guard) {
            curSlot = aheadSlot;
            // An empty packet is a dropped frame: it shows the frame before it.
            if (!aheadEmpty) curTime = aheadTime;
            ReadAhead();
        }
        if (curSlot < 0 || curSlot > n) return std::nullopt;
        // Past the last packet only dropped slots the header still counts.
        if (!haveAhead && n > curSlot && (st->nb_frames <= 0 || n >= st->nb_frames)) return std::nullopt;
        return curTime;
    }
};

DvTimeReader::DvTimeReader() : d_(std::make_unique<Impl>()) { QuietFfmpegLog(); }
DvTimeReader::~DvTimeReader() = default;

bool DvTimeReader::Open(const std::string& path, std::string& error) {
    Impl& d = *d_;
    d.Release();
    const std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    int r = OpenFormatInput(&d.fmt, path, error);
    if (r < 0) return false;
    r = avformat_find_stream_info(d.fmt, nullptr);
    for (unsigned i = 0; r >= 0 && i < d.fmt->nb_streams; ++i) {
        AVStream* s = d.fmt->streams[i];
        if (d.si < 0 && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            d.si = static_cast<int>(i);
            d.st = s;
        } else {
            s->discard = AVDISCARD_ALL;
        }
    }
    if (r < 0 || !d.st || d.st->time_base.num <= 0 || d.st->time_base.den <= 0) {
        error = r < 0 ? "Could not read the streams of " + name + ": " + AvError(r) + "." : name + " has no video stream.";
        d.Release();
        return false;
    }
    d.pkt = av_packet_alloc();
    if (!d.pkt) {
        error = "Out of memory opening " + name + ".";
        d.Release();
        return false;
    }
    // The same frame numbering as the decoder: AVI counts header rate slots.
    const bool avi = d.fmt->iformat && std::strcmp(d.fmt->iformat->name, "avi") == 0;
    d.rate = avi ? av_inv_q(d.st->time_base) : d.st->avg_frame_rate;
    if (d.rate.num <= 0 || d.rate.den <= 0) d.rate = d.st->r_frame_rate;
    if (d.rate.num <= 0 || d.rate.den <= 0) d.rate = av_inv_q(d.st->time_base);
    d.startTs = !avi && d.st->start_time != AV_NOPTS_VALUE ? d.st->start_time : 0;
    d.dv = d.st->codecpar->codec_id == AV_CODEC_ID_DVVIDEO;
    return true;
}

bool DvTimeReader::IsDv() const { return d_->dv; }

std::optional<DvRecTime> DvTimeReader::TimeOf(int n) { return d_->TimeOf(n); }

}  // namespace video
