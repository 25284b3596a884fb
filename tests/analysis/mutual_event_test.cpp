// Averaging, normalisation, smoothing and the listing against a numpy oracle.
#include <gtest/gtest.h>

#include <sstream>

#include "analysis/mutual_event.h"
#include "mutual_test_util.h"
#include "platform/file_io.h"
#include "support/test_util.h"

using namespace mutual;
using mutualtest::Row;

namespace {

const std::string kOracle = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/mutual_oracle.py'";

struct Case {
    const char* name;
    int size, w, time, compare;
    const char *first, *last, *single;
};

std::vector<long double> Numbers(const Unit& u) {
    return {static_cast<long double>(u.hour), static_cast<long double>(u.minute), u.second, u.T, u.C, u.Ts, u.Cs, u.n, u.s};
}

// Runs the oracle on the table and compares every unit and listing line.
void CheckAgainstOracle(const std::vector<std::string>& table, const Case& c) {
    SCOPED_TRACE(c.name);
    testutil::TempDir dir;
    std::string error;
    ASSERT_TRUE(fileio::WriteFileAtomic(dir.File("t.csv"), fileio::JoinLines(table), error));
    std::string out;
    ASSERT_EQ(testutil::Run(kOracle + " average '" + dir.File("t.csv") + "' " + std::to_string(c.size) + " " +
                                std::to_string(c.w) + " " + std::to_string(c.time) + " " + c.first + " " + c.last + " " +
                                std::to_string(c.compare) + " " + c.single,
                            &out),
              0);
    AverageSettings s;
    s.unitSize = c.size;
    s.halfWidth = c.w;
    s.timeSetting = c.time;
    s.comparison = c.compare;
    std::istringstream clock(std::string(c.first) + ":" + c.last);
    std::getline(clock, s.firstH, ':'), std::getline(clock, s.firstM, ':'), std::getline(clock, s.firstS, ':');
    std::getline(clock, s.lastH, ':'), std::getline(clock, s.lastM, ':'), std::getline(clock, s.lastS, ':');
    s.single = std::string(c.single) != "-";
    if (s.single) s.singleValue = c.single;
    const AverageResult r = AverageFrames(table, s);
    ASSERT_EQ(r.status, AverageStatus::Done) << r.error;

    std::istringstream in(out);
    std::string line;
    int u = 0, bad = 0;
    // float64 means of at most 1024 values are good to about 1e-13 relative; seconds
    // of the day (up to 86,400 s) to about 1e-11 s.
    while (std::getline(in, line) && line != "listing") {
        ++u;
        ASSERT_LE(u, r.UnitCount());
        std::istringstream nums(line);
        const auto ours = Numbers(r.units[static_cast<size_t>(u)]);
        for (size_t i = 0; i < ours.size(); ++i) {
            long double want;
            nums >> want;
            const long double tol = i == 2 ? 1e-9L : 1e-11L * std::max(1.0L, std::fabs(want));
            if (std::fabs(ours[i] - want) > tol && ++bad <= 5)
                ADD_FAILURE() << "unit " << u << " value " << i << ": " << static_cast<double>(ours[i]) << " vs "
                              << static_cast<double>(want);
        }
    }
    EXPECT_EQ(u, r.UnitCount());
    std::vector<std::string> listing;
    while (std::getline(in, line)) listing.push_back(line);
    const size_t legacy = r.listing.size() - static_cast<size_t>(r.UnitCount());
    ASSERT_EQ(listing.size(), static_cast<size_t>(r.UnitCount()));
    for (size_t i = 0; i < listing.size() && bad <= 5; ++i)
        if (r.listing[legacy + i] != listing[i] && ++bad <= 5)
            ADD_FAILURE() << "line " << i + 1 << ": \"" << r.listing[legacy + i] << "\" vs \"" << listing[i] << "\"";
}

}  // namespace

TEST(MutualAverage, MatchesNumpyOracle) {
    // 700 frames across midnight, the minute column lagging behind wrapped seconds.
    const auto event = mutualtest::Table(mutualtest::EventRows(700, 86400 - 10.2));
    for (int w = 0; w <= 5; ++w)
        CheckAgainstOracle(event, {"smoothing", 16, w, 0, 0, "0:0:0", "0:0:0", "-"});
    for (const Case& c : std::initializer_list<Case>{
             {"second + third", 32, 2, 0, 1, "0:0:0", "0:0:0", "-"},
             {"target + third", 32, 2, 0, 2, "0:0:0", "0:0:0", "-"},
             {"single object", 64, 1, 0, 0, "0:0:0", "0:0:0", "2000"},
             {"single object 0", 64, 1, 0, 0, "0:0:0", "0:0:0", "0"},
             {"first frame", 8, 3, 1, 0, "23:59:50.5", "0:0:0", "-"},
             {"first and last across midnight", 8, 3, 2, 0, "23:59:50", "0:0:13.3", "-"},
             {"unit size 1", 1, 2, 0, 0, "0:0:0", "0:0:0", "-"},
             {"unit size 1024", 1024, 5, 0, 0, "0:0:0", "0:0:0", "-"},
         })
        CheckAgainstOracle(event, c);
    // 100 frames of 32 give 3 units, the last 4 frames unused.
    CheckAgainstOracle(mutualtest::Table(mutualtest::EventRows(100, 3600)), {"100 frames", 32, 2, 0, 0, "0:0:0", "0:0:0", "-"});
    CheckAgainstOracle(mutualtest::Table(mutualtest::EventRows(1, 3600)), {"one frame", 1, 0, 2, 0, "1:0:0", "1:0:9", "-"});
}

TEST(MutualAverage, CountsTimesAndTexts) {
    AverageSettings s;
    // Minute lag: only a repeat of the previous unit's hour and minute is moved on.
    std::vector<Row> rows = {{11, 59, 57.0, 10, 10}, {11, 59, 58.0, 10, 10}, {12, 0, 0.01, 10, 10},
                             {12, 0, 0.01, 10, 10},  {12, 59, 0.02, 10, 10}, {12, 59, 0.0, 10, 10}};
    s.unitSize = 1;
    auto r = AverageFrames(mutualtest::Table(rows), s);
    ASSERT_EQ(r.UnitCount(), 6);
    EXPECT_EQ(r.listing[2], "12  0  0.010,      10,      10,      10,      10,   1.00000");
    EXPECT_EQ(r.listing[3].substr(0, 12), "12  1  0.010");
    EXPECT_EQ(r.listing[5].substr(0, 12), "13  0  0.000");

    // Smoothing width 1 makes C/s the mean comparison everywhere; Cm = 0 gives 777.
    s.unitSize = 4;
    s.halfWidth = 0;
    r = AverageFrames(mutualtest::Table(mutualtest::EventRows(64, 3600)), s);
    long double cm = 0;
    for (int u = 1; u <= r.UnitCount(); ++u) cm += r.units[static_cast<size_t>(u)].C / r.UnitCount();
    for (int u = 1; u <= r.UnitCount(); ++u) EXPECT_NEAR(static_cast<double>(r.units[static_cast<size_t>(u)].Cs), static_cast<double>(cm), 1e-9);

    // Fewer frames than a unit: no unit, no listing line.
    s.unitSize = 128;
    r = AverageFrames(mutualtest::Table(mutualtest::EventRows(100, 3600)), s);
    EXPECT_EQ(r.status, AverageStatus::Done);
    EXPECT_EQ(r.UnitCount(), 0);
    EXPECT_TRUE(r.listing.empty());

    EXPECT_EQ(KeepDigits("1a2.3 "), "123");
    EXPECT_EQ(KeepDecimal(".5.6x"), "0.56");
    EXPECT_EQ(KeepDecimal("12."), "12.0");
    EXPECT_EQ(PadLeft("7", 3), "  7");
    EXPECT_EQ(PadLeft("1234", 3), "1234");
}

TEST(MutualAverage, BadTablesChangeNothing) {
    AverageSettings s;
    auto rows = mutualtest::EventRows(64, 3600);
    // No data rows.
    auto r = AverageFrames(mutualtest::Table({}), s);
    EXPECT_EQ(r.status, AverageStatus::NoData);
    EXPECT_EQ(r.listing, std::vector<std::string>{"Data is not detected."});
    // A legacy table is processed after the two notice lines.
    r = AverageFrames(mutualtest::Table(rows, 1), s);
    ASSERT_EQ(r.status, AverageStatus::Done);
    EXPECT_EQ(r.listing[0], "Legacy format is detected.");
    EXPECT_EQ(r.listing[1], "Please use newest Tevorin (0.9.26 or later) for measurement.");
    EXPECT_EQ(r.listing.size(), 4u);
    // Version 0 reads its first row three lines down.
    r = AverageFrames(mutualtest::Table(rows, 0), s);
    EXPECT_EQ(r.listing.size(), 4u);
    EXPECT_EQ(r.listing[2], AverageFrames(mutualtest::Table(rows, 2), s).listing[0]);
    // A cell that is not a number, a one-object table without "Single object".
    auto table = mutualtest::Table(rows);
    table[20] = "14.0,,,1,0,0.5,0.5,,,,12x3,2000,0";
    r = AverageFrames(table, s);
    EXPECT_EQ(r.status, AverageStatus::Error);
    EXPECT_EQ(r.error, "'12x3' is not a valid floating point value (line 21 of the table)");
    EXPECT_TRUE(r.units.empty());
    rows[0].noComparison = true;
    r = AverageFrames(mutualtest::Table(rows), s);
    EXPECT_EQ(r.error, "'' is not a valid floating point value (line 7 of the table)");
    s.single = true;
    EXPECT_EQ(AverageFrames(mutualtest::Table(rows), s).status, AverageStatus::Done);
    // No hour in the first row with the time read from the video: stopped silently.
    table = mutualtest::Table(rows);
    table[6] = "0.0,,,,,,,,,,1,2,3";
    s.single = false;
    r = AverageFrames(table, s);
    EXPECT_EQ(r.status, AverageStatus::NoTime);
    EXPECT_TRUE(r.units.empty());
}

// "Based on First Frame" counts the table's own frame rate: frame k (1-based) at
// (k - 1) / rate seconds after the first time; 29.97 when the header names none.
TEST(MutualAverage, FirstFrameTimesFollowTheTablesFrameRate) {
    AverageSettings s;
    s.unitSize = 1;
    s.halfWidth = 0;
    s.timeSetting = 1;
    s.firstH = "1", s.firstM = "0", s.firstS = "0";
    const auto rows = mutualtest::EventRows(60, 3600);
    auto pal = mutualtest::Table(rows);
    pal[2] = "\"Video System : PAL , FrameRate=25.00\"";
    auto r = AverageFrames(pal, s);
    ASSERT_EQ(r.UnitCount(), 60);
    // Frame 51: 50 / 25 = 2 s after 1:00:00.
    EXPECT_EQ(r.units[51].hour, 1);
    EXPECT_EQ(r.units[51].minute, 0);
    EXPECT_NEAR(static_cast<double>(r.units[51].second), 2.0, 1e-15);
    EXPECT_EQ(r.listing[50].substr(0, 12), " 1  0  2.000");
    // NTSC and legacy tables (no video-system line) keep 29.97: 50 / 29.97 = 1.66833... s.
    for (int version : {2, 0}) {
        r = AverageFrames(mutualtest::Table(rows, version), s);
        ASSERT_EQ(r.UnitCount(), 60);
        // (3600 + 50 / 29.97) - 3600 in long double: within a few units of 3600's last place.
        EXPECT_NEAR(static_cast<double>(r.units[51].second), 50 / 29.97, 1e-12) << version;
        EXPECT_EQ(r.listing[r.listing.size() - 10].substr(0, 12), " 1  0  1.668") << version;
    }
    // Header rates read exactly; none, junk or out of range give 0.
    auto rate = [&](const std::string& line) {
        auto t = mutualtest::Table(rows);
        t[2] = line;
        return HeaderFrameRate(t);
    };
    EXPECT_EQ(rate("\"Video System : NTSC , FrameRate=29.97\""), 29.97L);
    EXPECT_EQ(rate("\"Video System : --- , FrameRate=15.00\""), 15.0L);
    EXPECT_EQ(rate("\"Video System : --- , FrameRate=59.94\""), 59.94L);
    EXPECT_EQ(rate("\"Video System : --- , FrameRate=0.00\""), 0.0L);
    EXPECT_EQ(rate("\"Video System : --- , FrameRate=\""), 0.0L);
    EXPECT_EQ(rate("\"Video System : --- , FrameRate=123456789\""), 0.0L);
    EXPECT_EQ(rate("\"FileName : x.avi\""), 0.0L);
    EXPECT_EQ(HeaderFrameRate({}), 0.0L);
    // A data row that happens to hold the text is not the header.
    auto t = mutualtest::Table(rows, 0);
    t.back() += "FrameRate=25.00";
    EXPECT_EQ(HeaderFrameRate(t), 0.0L);
}

// Blank lines are no rows: the listing and units of a table with blank lines (in
// the middle, before the first row, at the end) are those of the table without.
TEST(MutualAverage, BlankLinesReadAsTheTableWithoutThem) {
    const auto plain = mutualtest::Table(mutualtest::EventRows(100, 3600));
    auto blanks = plain;
    blanks.insert(blanks.begin() + 50, "");
    blanks.insert(blanks.begin() + 30, "   ");
    blanks.insert(blanks.begin() + 6, "");
    blanks.push_back("");
    for (int timeSetting : {0, 2}) {
        AverageSettings s;
        s.unitSize = 8;
        s.timeSetting = timeSetting;
        s.firstH = "1", s.lastH = "1", s.lastS = "4";
        const AverageResult a = AverageFrames(plain, s), b = AverageFrames(blanks, s);
        ASSERT_EQ(a.status, AverageStatus::Done);
        EXPECT_TRUE(b.status == a.status && b.frameCount == 100 && b.listing == a.listing && b.UnitCount() == a.UnitCount());
    }
    // A table of nothing but blank rows has no data.
    auto none = mutualtest::Table({});
    none.insert(none.end(), {"", " "});
    EXPECT_EQ(AverageFrames(none, AverageSettings{}).listing, std::vector<std::string>{"Data is not detected."});
    // A bad cell after blank lines names its own line of the table.
    blanks[60] = "54.0,,,1,0,0.5,0.5,,,,abc,2000,0";
    EXPECT_EQ(AverageFrames(blanks, AverageSettings{}).error, "'abc' is not a valid floating point value (line 61 of the table)");
}
