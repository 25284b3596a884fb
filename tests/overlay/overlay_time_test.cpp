// The time-line reader driven by scripted characters: string assembly for each
// inserter, the IOTA-VTI field-order table, the GHS-OSD gate, failed calibration.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "overlay/overlay_time.h"

using namespace overlay;

namespace {

// Characters placed at (x, y); anything else reads as no character.
struct Script {
    std::map<std::pair<int, int>, char> cells;
    int reads = 0;
    void Put(const OverlayState& st, int set, int k0, int y, const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] != '-') cells[{st.CharacterColumns[set][k0 + i], y}] = text[i];
    }
    CharacterReader Reader() {
        return [this](OverlayState&, const OverlayControls&, const Bitmap24&, int x, int y) {
            ++reads;
            auto it = cells.find({x, y});
            return it == cells.end() ? OverlayCharacter{} : OverlayCharacter{it->second, 150.0};
        };
    }
};

// A located grid: row set 5 columns 100 + 10 k, OverlayRow 100.
OverlayState Located() {
    OverlayState st;
    for (int k = 0; k < kColumnsPerRowSet; ++k) st.CharacterColumns[5][k] = 100 + 10 * k;
    st.OverlayGridLocated = 1;
    st.OverlayRow = 100;
    return st;
}

const Bitmap24 kNoFrame;

}  // namespace

TEST(OverlayTime, CompareFieldSecondsTable) {
    // Expected values from a Python table of the comparison with the minute wrap.
    const struct {
        const char *a, *b;
        int want;
    } cases[] = {
        {"59.9960", "00.0160", 0}, {"00.0160", "59.9960", 1}, {"12.500", "12.480", 1}, {"12.480", "12.500", 0},
        {"30.000", "30.000", 1},   {"59.5", "00.999", 0},     {"59.0", "00.5", 1},     {"0.999", "59.01", 1},
        {"", "1.0", 2},            {"1.0", "", 2},            {"58.99", "0.5", 1},     {"0.5", "58.99", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(CompareFieldSeconds(c.a, c.b), c.want) << c.a << " vs " << c.b;
}

// IOTA-VTI on a located grid: top rows P = 102, Q = 103 (row offsets 2). The top
// field is earlier: P prints its fraction in H (17-20), Q in L (13-16).
TEST(OverlayTime, IotaFieldOrderTable) {
    OverlayControls c;
    c.TimeInserterType = kIotaVti;
    const int P = 102, Q = 103;
    struct Case {
        int item, state;
        bool markOnTop;  // the top row prints its fraction in H, the bottom row in L
        const char* topFraction;
        const char *s1, *s2;
        int top, cmpAfter;  // top -1: left as it was
    };
    // Q prints 45.1400; P 45.1200 (the top field earlier) or 45.1600.
    const Case cases[] = {
        {0, 1, true, "1200", "45.1200", "45.1400", -1, 1},  {1, 1, false, "1200", "45.1400", "45.1200", -1, 1},
        {0, 0, false, "1200", "45.1200", "45.1400", -1, 0}, {1, 0, true, "1200", "45.1400", "45.1200", -1, 0},
        {0, 2, true, "1200", "45.1200", "45.1400", 1, 1},   {1, 2, true, "1200", "45.1400", "45.1200", 1, 1},
        {0, 2, false, "1200", "45.1200", "45.1400", 1, 0},  {1, 2, false, "1200", "45.1400", "45.1200", 1, 0},
        {0, 2, true, "1600", "45.1600", "45.1400", 0, 0},   {1, 2, true, "1600", "45.1400", "45.1600", 0, 0},
        {0, 2, false, "1600", "45.1600", "45.1400", 0, 1},  {1, 2, false, "1600", "45.1400", "45.1600", 0, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "item " << k.item << " state " << k.state << " mark " << k.markOnTop);
        OverlayState st = Located();
        Script s;
        s.Put(st, 5, 7, P, "124511");
        s.Put(st, 5, 7, Q, "124511");
        s.Put(st, 5, k.markOnTop ? 17 : 13, P, k.topFraction);
        s.Put(st, 5, k.markOnTop ? 13 : 17, Q, "1400");
        s.Put(st, 5, 11, P, "45");
        s.Put(st, 5, 11, Q, "45");
        s.Put(st, 5, 21, P, "1000");
        s.Put(st, 5, 21, Q, "1001-77");
        OverlayTimeLine line;
        line.FieldTimeComparison = static_cast<uint8_t>(k.state);
        line.TopFieldFirst = 7;
        ReadTimeOverlayLine(st, c, {k.item, true}, kNoFrame, line, s.Reader());
        EXPECT_EQ(line.OverlayHour1, "12");
        EXPECT_EQ(line.OverlayMinute2, "45");
        EXPECT_EQ(line.OverlaySeconds1, k.s1);
        EXPECT_EQ(line.OverlaySeconds2, k.s2);
        EXPECT_EQ(line.FieldTimeComparison, k.cmpAfter);
        EXPECT_EQ(line.Unread[0] + line.Unread[1], 0);
        if (k.top >= 0) {
            EXPECT_EQ(line.TopFieldFirst, k.top);
            // Counters follow the decided order and stop at the first unread cell.
            EXPECT_EQ(line.VtiFieldCount1, k.top ? "1000" : "1001");
            EXPECT_EQ(line.VtiFieldCount2, k.top ? "1001" : "1000");
        } else {
            EXPECT_EQ(line.TopFieldFirst, 7);
        }
    }
}

TEST(OverlayTime, FractionCasesAndGates) {
    // Fixed KIWI-OSD, 720 wide at 25 fps: row set 2, rows 508/509. The calibration's
    // reference reads find the nominal column at offset 0.
    {
        OverlayState st;
        CopyKiwiCharacterColumns(st);
        OverlayControls c;
        c.TimeInserterType = kKiwiOsd;
        c.FrameWidth = 720;
        c.VideoFrameRateInt = 25;
        Script s;
        s.Put(st, 2, 7, 508, "010203456789");
        s.Put(st, 2, 7, 509, "0102-4111222");
        OverlayTimeLine line;
        line.OverlayHour2 = "hh";
        ReadTimeOverlayLine(st, c, {0, false}, kNoFrame, line, s.Reader());
        EXPECT_EQ(line.CalibrationResult, 1);
        EXPECT_EQ(line.OverlaySeconds1, "03.789");
        EXPECT_EQ(line.OverlaySeconds2, "04.111");
        EXPECT_EQ(line.OverlaySecond2, "04");  // the unread character stays "0"
        EXPECT_EQ(line.OverlayHour2, "hh");    // "Field Measure" off keeps it
        EXPECT_EQ(line.Unread[0], 0);
        EXPECT_EQ(line.Unread[1], 1);
        // Swapped rows.
        ReadTimeOverlayLine(st, c, {1, true}, kNoFrame, line, s.Reader());
        EXPECT_EQ(line.OverlaySeconds1, "04.222");
        EXPECT_EQ(line.OverlaySeconds2, "03.456");
        EXPECT_EQ(line.OverlayHour2, "01");
        // Nothing to find: the ten strings are emptied.
        Script none;
        ReadTimeOverlayLine(st, c, {0, true}, kNoFrame, line, none.Reader());
        EXPECT_EQ(line.CalibrationResult, 2);
        EXPECT_EQ(line.OverlayHour1 + line.OverlayMinute2 + line.OverlaySeconds1 + line.OverlaySeconds2 +
                      line.VtiFieldCount1 + line.OverlaySecond2,
                  "");
    }
    // Located KIWI-OSD: two fraction digits.
    {
        OverlayState st = Located();
        OverlayControls c;
        c.TimeInserterType = kKiwiOsd;
        Script s;
        s.Put(st, 5, 7, 100, "23595912");
        s.Put(st, 5, 7, 101, "23595934");
        OverlayTimeLine line;
        ReadTimeOverlayLine(st, c, {0, true}, kNoFrame, line, s.Reader());
        EXPECT_EQ(line.OverlaySeconds1, "59.12");
        EXPECT_EQ(line.OverlaySeconds2, "59.34");
    }
    // GHS-OSD: date on the bottom row; the column-7 gate; the minute wrap.
    {
        OverlayState st = Located();
        OverlayControls c;
        c.TimeInserterType = kGhsOsd;
        Script s;
        s.Put(st, 5, 0, 101, "260314");
        s.Put(st, 5, 7, 100, "215959983");
        s.Put(st, 5, 7, 101, "220000003");
        OverlayTimeLine line;
        ReadTimeOverlayLine(st, c, {0, true}, kNoFrame, line, s.Reader());
        EXPECT_EQ(line.OverlayYear + line.OverlayMonth + line.OverlayDay, "260314");
        EXPECT_EQ(line.OverlaySeconds1, "59.983");
        EXPECT_EQ(line.OverlaySeconds2, "00.003");
        EXPECT_EQ(line.TopFieldFirst, 1);  // not flipped by the turning minute
        ReadTimeOverlayLine(st, c, {1, true}, kNoFrame, line, s.Reader());
        EXPECT_EQ(line.TopFieldFirst, 1);
        // The first field's row without its hours' first character: seconds and order kept.
        s.cells.erase({st.CharacterColumns[5][7], 101});
        line.TopFieldFirst = 5;
        ReadTimeOverlayLine(st, c, {1, true}, kNoFrame, line, s.Reader());
        EXPECT_EQ(line.OverlaySeconds1, "00.003");
        EXPECT_EQ(line.TopFieldFirst, 5);
        // Not located: nothing is read.
        st.OverlayGridLocated = 0;
        ReadTimeOverlayLine(st, c, {0, true}, kNoFrame, line, s.Reader());
        EXPECT_EQ(line.CalibrationResult, 2);
        EXPECT_EQ(line.OverlaySeconds1, "");
    }
}

// The calibration keeps the column of its best reading: here offset 0 reads best at
// the nominal column, and a later offset improves its own reading only on the left.
TEST(OverlayTime, CalibrationKeepsTheBestColumn) {
    OverlayState st;
    CopyKiwiCharacterColumns(st);
    OverlayControls c;
    c.TimeInserterType = kKiwiOsd;
    c.FrameWidth = 720;
    c.VideoFrameRateInt = 25;
    const int x = st.CharacterColumns[2][8];
    std::map<std::pair<int, int>, double> scores{{{x, 509}, 300}, {{x - 10 + 1, 511}, 200}, {{x + 1, 511}, 100}};
    CharacterReader read = [&](OverlayState&, const OverlayControls&, const Bitmap24&, int px, int py) {
        auto it = scores.find({px, py});
        return it == scores.end() ? OverlayCharacter{} : OverlayCharacter{'1', it->second};
    };
    EXPECT_EQ(CalibrateKiwiRowOffset(st, c, kNoFrame, 1, read), 1);
    EXPECT_EQ(st.KiwiRowOffset2, 0);
    EXPECT_EQ(st.KiwiColumnShift, 0);
    // Only the left column: result 0, offset +1, shift +1; a second field averages.
    scores = {{{x - 10 + 1, 511}, 200}};
    EXPECT_EQ(CalibrateKiwiRowOffset(st, c, kNoFrame, 1, read), 0);
    EXPECT_EQ(st.KiwiRowOffset2, 1);
    EXPECT_EQ(st.KiwiColumnShift, 1);
    scores = {{{x - 2, 508 - 4}, 120}};
    EXPECT_EQ(CalibrateKiwiRowOffset(st, c, kNoFrame, 0, read), 1);
    EXPECT_EQ(st.KiwiRowOffset1, -2);
    EXPECT_EQ(st.KiwiColumnShift, 0);  // (1 + -2) / 2 truncated
    // Nothing above 0 at either reference column: 2 and the offset back at 0.
    scores = {};
    st.KiwiRowOffset1 = 3;
    EXPECT_EQ(CalibrateKiwiRowOffset(st, c, kNoFrame, 0, read), 2);
    EXPECT_EQ(st.KiwiRowOffset1, 0);
}
