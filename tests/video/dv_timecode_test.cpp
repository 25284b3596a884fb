// DV recording time: packs on hand-built DIF blocks, DV files made by the ffmpeg tool (packs
// from the creation_time it is given), and the time a script's DVInfo lines burn into frames.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <ctime>
#include <numeric>
#include <set>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"
#include "video/avs_script.h"
#include "video/dv_timecode.h"
#include "video/text_overlay.h"

namespace {

using video::DvRecTime;

// One DIF sequence's first six blocks: header, two subcode, three VAUX.
struct DifSeq {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(6 * 80, 0xFF);
    DifSeq() {
        for (int b = 0; b < 6; ++b)  // section types 0, 1, 1, 2, 2, 2
            bytes[80 * b] = static_cast<uint8_t>((b == 0 ? 0 : b < 3 ? 1 : 2) << 5 | 0x1F), bytes[80 * b + 1] = 0x07, bytes[80 * b + 2] = b;
    }
    void Vaux(int block, int pack, std::vector<uint8_t> p) { std::memcpy(&bytes[80 * (3 + block) + 3 + 5 * pack], p.data(), 5); }
    void Subcode(int block, int ssyb, std::vector<uint8_t> p) { std::memcpy(&bytes[80 * (1 + block) + 6 + 8 * ssyb], p.data(), 5); }
};

std::optional<DvRecTime> Parse(const std::vector<uint8_t>& v) { return video::ParseDvRecTime(v.data(), v.size()); }

TEST(DvPacks, DateAndTimePacks) {
    const struct {
        std::vector<uint8_t> pack;
        int value;  // yyyymmdd or hhmmss, -1 refused
    } cases[] = {
        // Dates: week bits above the month and reserved bits above the day are ignored; leap years.
        {{0x62, 0xFF, 0xC5, 0x03, 0x24}, 20240305}, {{0x62, 0x00, 0xD1, 0xE2, 0x99}, 19990211},
        {{0x62, 0xFF, 0xE9, 0x02, 0x68}, 20680229}, {{0x62, 0xFF, 0xE9, 0x02, 0x00}, 20000229}, {{0x62, 0xFF, 0xF1, 0x12, 0x69}, 19691231},
        // No information; day 0, day 32, 29 February 2023, 31 April; month 13, month 0; digits of 10; a time pack.
        {{0x62, 0xFF, 0xFF, 0xFF, 0xFF}, -1}, {{0x62, 0xFF, 0xC0, 0x03, 0x24}, -1}, {{0x62, 0xFF, 0xF2, 0x03, 0x24}, -1},
        {{0x62, 0xFF, 0xE9, 0x02, 0x23}, -1}, {{0x62, 0xFF, 0xF1, 0x04, 0x24}, -1}, {{0x62, 0xFF, 0xC5, 0x13, 0x24}, -1},
        {{0x62, 0xFF, 0xC5, 0x00, 0x24}, -1}, {{0x62, 0xFF, 0xCA, 0x03, 0x24}, -1}, {{0x62, 0xFF, 0xC5, 0x03, 0xA4}, -1},
        {{0x63, 0xFF, 0xC5, 0x03, 0x24}, -1},
        // Times from entry 15 on: no information, second 60, minute 60, hour 24, units of second 10, a date pack.
        {{0x63, 0xFF, 0xD8, 0xC3, 0xE1}, 214358}, {{0x63, 0x1F, 0x80, 0x80, 0xC0}, 0}, {{0x63, 0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {{0x63, 0xFF, 0xE0, 0xC3, 0xE1}, -1}, {{0x63, 0xFF, 0xD8, 0xE0, 0xE1}, -1}, {{0x63, 0xFF, 0xD8, 0xC3, 0xE4}, -1},
        {{0x63, 0xFF, 0xDA, 0xC3, 0xE1}, -1}, {{0x62, 0xFF, 0xD8, 0xC3, 0xE1}, -1},
    };
    for (const auto& c : cases) {
        const bool time = &c >= &cases[15];
        DvRecTime t;
        const bool ok = time ? video::DecodeRecTimePack(c.pack.data(), t) : video::DecodeRecDatePack(c.pack.data(), t);
        const int got = !ok ? -1 : time ? t.hour * 10000 + t.minute * 100 + t.second : t.year * 10000 + t.month * 100 + t.day;
        EXPECT_EQ(got, c.value) << std::hex << int(c.pack[0]) << " " << int(c.pack[2]) << " " << int(c.pack[3]) << " " << int(c.pack[4]);
    }
}

TEST(DvPacks, VauxFirstThenSubcode) {
    const std::vector<uint8_t> date1 = {0x62, 0xFF, 0xC5, 0x03, 0x24}, time1 = {0x63, 0xFF, 0xD8, 0xC3, 0xE1};
    const std::vector<uint8_t> date2 = {0x62, 0xFF, 0xC1, 0x12, 0x09}, time2 = {0x63, 0xFF, 0x80, 0x80, 0xC0};
    const DvRecTime t1{2024, 3, 5, 21, 43, 58}, t2{2009, 12, 1, 0, 0, 0};

    EXPECT_FALSE(Parse(DifSeq().bytes));
    DifSeq both;
    both.Subcode(0, 1, date2), both.Subcode(1, 2, time2), both.Vaux(2, 11, date1), both.Vaux(1, 12, time1);
    EXPECT_EQ(Parse(both.bytes), t1);
    DifSeq mixed;  // only the subcode carries the time: date from VAUX, time from subcode
    mixed.Vaux(0, 2, date1), mixed.Vaux(0, 3, {0x63, 0xFF, 0xFF, 0xFF, 0xFF}), mixed.Subcode(0, 5, time2), mixed.Subcode(1, 0, date2);
    EXPECT_EQ(Parse(mixed.bytes), (DvRecTime{2024, 3, 5, 0, 0, 0}));
    DifSeq dateOnly;  // a date without a time anywhere: nothing
    dateOnly.Vaux(0, 0, date1), dateOnly.Subcode(0, 0, date1);
    EXPECT_FALSE(Parse(dateOnly.bytes));
    DifSeq wrongSection = both;  // packs in blocks of another section type are not read
    for (int b = 1; b < 6; ++b) wrongSection.bytes[80 * b] = 0x9F;  // audio
    EXPECT_FALSE(Parse(wrongSection.bytes));
    // Bytes past the last whole block are not read (exact-size copies, for the sanitizers).
    for (size_t n = 0; n <= 80 * 4 + 79; ++n) {
        const std::vector<uint8_t> cut(both.bytes.begin(), both.bytes.begin() + static_cast<long>(n));
        EXPECT_EQ(Parse(cut), n >= 80 * 3 ? std::optional<DvRecTime>(t2) : std::nullopt) << n;
    }
    EXPECT_FALSE(video::ParseDvRecTime(nullptr, 480));
}

TEST(DvPacks, FormatsInTheCLocale) {
    const DvRecTime t{2009, 12, 1, 7, 5, 9};
    // Whatever locale the program runs in.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    for (const char* loc : {"C.UTF-8", "fr_FR.UTF-8", "de_DE.UTF-8"}) std::setlocale(LC_ALL, loc);
    std::string tooLong(60, 'x');  // beyond the limit once formatted: nothing
    for (int i = 0; i < 40; ++i) tooLong += "%A";
    const std::pair<std::string, std::string> cases[] = {
        {"%x", "12/01/09"}, {"%X", "07:05:09"}, {"%Y-%m-%d %H:%M:%S", "2009-12-01 07:05:09"}, {"%a %b %e %j %p", "Tue Dec  1 335 AM"},
        {"rec %%", "rec %"}, {"", ""}, {std::string(video::kMaxFormatted, 'x'), std::string(video::kMaxFormatted, 'x')}, {tooLong, ""}};
    for (const auto& [format, text] : cases) EXPECT_EQ(video::FormatDvTime(t, format), text) << format;
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(TextOverlay, BoxGeometryAndGlyphs) {
    const video::TextBoxLayout l = video::LayoutTextBox(30, 8);
    EXPECT_TRUE(l.scale == 3 && l.width == (6 * 8 + 1) * 3 && l.height == 27 && video::LayoutTextBox(5, 1).scale == 1);

    std::set<std::vector<uint8_t>> seen;  // every printable character has a glyph of its own
    for (int c = 33; c <= 126; ++c) {
        Bitmap24 b(8, 9);
        const char ch = static_cast<char>(c);
        video::DrawTextBox(b, 0, 0, 9, std::string_view(&ch, 1), 0xFFFFFF, 0x000000);
        std::vector<uint8_t> px(b.Bits(), b.Bits() + b.ByteSize());
        EXPECT_TRUE(std::count(px.begin(), px.end(), 255) > 0 && seen.insert(px).second) << ch;
    }
    // Colours are 0xRRGGBB; only the box is touched; the margin is background.
    Bitmap24 b(40, 20);
    b.Fill(1, 2, 3);
    video::DrawTextBox(b, 5, 4, 9, "8", 0x112233, 0x445566);
    std::set<int> inside, outside;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint8_t* p = b.Scanline(y) + 3 * x;
            const int c = p[2] << 16 | p[1] << 8 | p[0];
            (x >= 5 && x < 12 && y >= 4 && y < 13 ? inside : outside).insert(c);
            const bool margin = (x == 5 || x == 11 || y == 4 || y == 12) && x >= 5 && x < 12 && y >= 4 && y < 13;
            EXPECT_TRUE(!margin || c == 0x445566) << x << "," << y;
        }
    EXPECT_EQ(inside, (std::set<int>{0x112233, 0x445566}));
    EXPECT_EQ(outside, (std::set<int>{0x030201}));
    // Partly or wholly outside the frame: cut off, nothing else written.
    for (auto [x, y] : {std::pair{-20, -5}, {35, 15}, {-100000, 0}, {0, 2000000000}, {2000000000, 3}}) {
        Bitmap24 c(40, 20);
        video::DrawTextBox(c, x, y, 1000, "12/31/99 \x01\xff", 0xFFFFFF, 0);
    }
}

class DvFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    }
    // A DV file of `seconds` whose first frame was recorded at `start` (UTC, ISO form), as raw
    // DV or with the DV frames copied unchanged into an AVI.
    std::string Make(const std::string& name, bool pal, const std::string& start, double seconds, bool avi) {
        const std::string dv = dir.File(name + ".dv"), out = dir.File(name + ".avi");
        EXPECT_TRUE(vfix::Ffmpeg(std::string("-f lavfi -i testsrc=") + (pal ? "size=720x576:rate=25" : "size=720x480:rate=30000/1001") +
                                 " -t " + std::to_string(seconds) + " -pix_fmt " + (pal ? "yuv420p" : "yuv411p") +
                                 " -metadata creation_time=" + start + " -c:v dvvideo -f dv '" + dv + "'"));
        EXPECT_TRUE(!avi || vfix::Ffmpeg("-i '" + dv + "' -c copy '" + out + "'"));
        return avi ? out : dv;
    }
    testutil::TempDir dir;
};

// The time of frame n: the start plus the whole seconds elapsed at the frame rate.
DvRecTime Expected(time_t start, int n, int rateNum, int rateDen) {
    const time_t when = start + static_cast<time_t>(static_cast<int64_t>(n) * rateDen / rateNum);
    std::tm tm{};
    gmtime_r(&when, &tm);
    return DvRecTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

TEST_F(DvFileTest, RecordingTimeOfEveryFrame) {
    struct Case {
        bool pal;
        const char* start;
        time_t t0;
        bool avi;
        int num, den, frames;
    };
    const Case cases[] = {
        {true, "2024-02-29T21:43:58", 1709243038, true, 25, 1, 75},  // date -u +%s
        {false, "2009-12-31T23:59:59", 1262303999, false, 30000, 1001, 60},
        {false, "1998-06-30T12:00:58", 899208058, true, 30000, 1001, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        const std::string file = Make(c.pal ? "pal" : "ntsc", c.pal, c.start, c.frames * double(c.den) / c.num, c.avi);
        video::DvTimeReader r;
        std::string err;
        ASSERT_TRUE(r.Open(file, err)) << err;
        ASSERT_TRUE(r.IsDv());
        std::vector<int> order(c.frames);  // in order, then backwards, jumps, the same frame twice
        std::iota(order.begin(), order.end(), 0);
        order.insert(order.end(), {c.frames - 1, 3, 2, 2, 40, 0, c.frames - 2, 29, 30, 31});
        for (int n : order) EXPECT_EQ(r.TimeOf(n), Expected(c.t0, n, c.num, c.den)) << n;
        EXPECT_FALSE(r.TimeOf(-1) || r.TimeOf(c.frames + 5));
    }
}

TEST_F(DvFileTest, VideoThatIsNotDvOrNotThere) {
    const std::string mjpeg = dir.File("m.avi");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(64, 48, "25", 0.4) + " -c:v mjpeg '" + mjpeg + "'"));
    video::DvTimeReader r;
    std::string err;
    ASSERT_TRUE(r.Open(mjpeg, err)) << err;
    EXPECT_FALSE(r.IsDv() || r.TimeOf(0));
    EXPECT_FALSE(r.Open(dir.File("none.avi"), err));
    EXPECT_NE(err.find("none.avi"), std::string::npos);

    // DVInfo over video without a recording time: the frames are the video's.
    testutil::WriteAll(dir.File("m.avs"),
                       "DirectShowSource(\"" + mjpeg + "\" , pixel_type=\"RGB24\")\n"
                       "DVInfo(\"m.avi\", \"rec_time\", 50, 10, \"Gothic\", 30, 255*65536+255*256+255, "
                       "0*65536+0*256+0 ,\"%x\")\n");
    TVfwAvi direct, scripted;
    ASSERT_TRUE(direct.Open(mjpeg));
    ASSERT_TRUE(scripted.Open(dir.File("m.avs"))) << scripted.LastError();
    Bitmap24 a, b;
    for (int n = 0; n < direct.FrameCount(); ++n) EXPECT_TRUE(direct.GetFrame(n, a) && scripted.GetFrame(n, b) && a == b) << n;

    // A DV stream cut off in the middle of its frames: no crash, the frames that
    // are whole keep their time.
    const std::string dv = Make("cut", true, "2020-01-02T03:04:05", 0.4, false);
    std::string data = testutil::ReadAll(dv);
    data.resize(144000 * 3 + 1000);
    testutil::WriteAll(dv, data);
    ASSERT_TRUE(r.Open(dv, err)) << err;
    for (int n : {0, 1, 2, 3, 4, 9, 0}) {
        const auto t = r.TimeOf(n);
        EXPECT_TRUE(n >= 3 || t == (DvRecTime{2020, 1, 2, 3, 4, 5})) << n;
    }
}

// The script the program writes with "Display Camcorders Time": the video's frame with the date
// and the time of each frame in boxes at (50, 380) and (50, 410), white on black.
TEST_F(DvFileTest, WrittenScriptBurnsInTheCamcorderTime) {
    const std::string video = Make("cam", true, "2024-03-05T21:43:58", 2.0, true);
    const std::string script = dir.File("cam.avs");
    auto line = [](int y, const char* fmt) {
        return "DVInfo(\"cam.avi\", \"rec_time\", 50, " + std::to_string(y) +
               ", \"Gothic\", 30, 255*65536+255*256+255, 0*65536+0*256+0 ,\"" + fmt + "\")\r\n";
    };
    testutil::WriteAll(script, "DirectShowSource(\"" + video + "\" , pixel_type=\"RGB24\")\r\n" + line(380, "%x") +
                                   line(410, "%X"));
    TVfwAvi direct, scripted;
    ASSERT_TRUE(direct.Open(video));
    ASSERT_TRUE(scripted.Open(script)) << scripted.LastError();
    ASSERT_EQ(scripted.FrameCount(), 50);
    EXPECT_FLOAT_EQ(scripted.GetFrameRate(), 25.0f);
    Bitmap24 a, b;
    for (int n : {0, 24, 25, 49, 10}) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(direct.GetFrame(n, a) && scripted.GetFrame(n, b)) << scripted.LastError();
        Bitmap24 expected = a;
        video::DrawTextBox(expected, 50, 380, 30, "03/05/24", 0xFFFFFF, 0);
        video::DrawTextBox(expected, 50, 410, 30, n < 25 ? "21:43:58" : "21:43:59", 0xFFFFFF, 0);
        EXPECT_TRUE(expected == b);
    }
}

}  // namespace
