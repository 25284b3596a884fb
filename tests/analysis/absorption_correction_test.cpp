// Correction for absorption against exact decimal arithmetic, the round trip
// through Restore, and the rows and tables the correction must leave alone.
#include <gtest/gtest.h>

#include <sstream>

#include "analysis/absorption_correction.h"
#include "asteroid_test_util.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "support/test_util.h"

namespace {

using absorption::Status;
using asteroidtest::Table;

const std::string kOracle = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/asteroid_oracle.py'";

std::vector<std::string> Column(const std::vector<std::string>& t, int col) {
    std::vector<std::string> out;
    for (size_t i = absorption::kFirstDataIndex; i < t.size(); ++i) out.push_back(GetField(t[i], col));
    return out;
}

TEST(AbsorptionCorrection, MatchesExactDecimalArithmeticAndRestoresByteForByte) {
    // Values of every size the format meets: exponent form past six integer
    // digits, negative and fractional values, a rounding into a seventh digit.
    std::vector<std::string> a, b;
    for (int r = 0; r < 240; ++r) {
        const int s = (r * 7919) % 1000;
        a.push_back(std::to_string(r % 5 == 0 ? -(s + 17) : s * 37 + 123) + (r % 3 ? "" : ".25"));
        b.push_back(r % 11 == 0 ? std::to_string(s % 7 + 1) : std::to_string(1500 + (s * 13) % 900) + (r % 4 ? "" : ".5"));
    }
    a[10] = "999999.9";
    b[10] = "1500";
    a[11] = "1234567";
    b[11] = "2";
    const auto table = Table(a, b);
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("in.csv"), fileio::JoinLines(table));
    for (int ref : {3, 10, 37}) {
        SCOPED_TRACE(ref);
        const absorption::Outcome r = absorption::Correct(table, 2, ref);
        ASSERT_EQ(r.status, Status::Done);
        EXPECT_TRUE(r.editsShown);
        EXPECT_EQ(r.edit1, b[static_cast<size_t>(ref)]);
        EXPECT_EQ(r.edit2, "240");
        std::string out;
        ASSERT_EQ(testutil::Run(kOracle + " correct '" + dir.File("in.csv") + "' " + std::to_string(ref), &out), 0);
        std::istringstream in(out);
        const auto c9 = Column(r.lines, 9), c10 = Column(r.lines, 10), c11 = Column(r.lines, 11), c12 = Column(r.lines, 12);
        int row = 0, ties = 0;
        std::string v11, v12;
        int tie = 0;
        while (in >> row >> v11 >> v12 >> tie) {
            const size_t i = static_cast<size_t>(row);
            EXPECT_EQ(c9[i], a[i]);
            EXPECT_EQ(c10[i], b[i]);
            if (tie) {
                // At an exact half the binary quotient may fall on either side: one unit of the last digit.
                ++ties;
                EXPECT_NEAR(*numtext::ParseFloat(c11[i]), *numtext::ParseFloat(v11), 0.1 + 1e-9) << row;
            } else {
                EXPECT_EQ(c11[i], v11) << row;
            }
            EXPECT_EQ(c12[i], v12) << row;
        }
        EXPECT_EQ(row, 239);
        EXPECT_LT(ties, 24);
        // Everything but columns 9-12 is as it was.
        for (size_t i = 0; i < table.size(); ++i)
            for (int col : {1, 8, 13, 17, 34}) EXPECT_EQ(GetField(r.lines[i], col), GetField(table[i], col));
        const absorption::Outcome back = absorption::Restore(r.lines, 2, ref);
        ASSERT_EQ(back.status, Status::Done);
        EXPECT_EQ(back.lines, table);
        // A second correction changes nothing: the reference row carries its backup.
        const absorption::Outcome again = absorption::Correct(r.lines, 2, ref);
        EXPECT_EQ(again.status, Status::Nothing);
        EXPECT_FALSE(again.editsShown);
    }
    // The exponent form and the carry into a seventh digit, by hand: 999999.9 x 1500 / 1500
    // and 1234567 x 1500 / 2.
    const absorption::Outcome r = absorption::Correct(table, 1, 10);
    EXPECT_EQ(GetField(r.lines[16], 11), "1E6");
    EXPECT_EQ(GetField(r.lines[17], 11), "9.25925E8");
    EXPECT_EQ(GetField(r.lines[17], 12), "1500.0");
}

TEST(AbsorptionCorrection, RowsWithoutAComparisonAreCarriedAndRestoreLeavesThem) {
    const auto table = Table({"1000", "2000", "3000", "4000", "5000"}, {"", "0", "500", " ", "250"});
    const absorption::Outcome r = absorption::Correct(table, 2, 2);
    ASSERT_EQ(r.status, Status::Done);
    EXPECT_EQ(r.lines[6], table[6]);
    EXPECT_EQ(r.lines[7], table[7]);
    EXPECT_EQ(r.lines[9], table[9]);
    EXPECT_EQ(GetField(r.lines[8], 11), "3000.0");
    EXPECT_EQ(GetField(r.lines[10], 11), "10000.0");
    EXPECT_EQ(GetField(r.lines[10], 12), "500.0");
    // The first data row has no backup; Restore still finds the others.
    const absorption::Outcome back = absorption::Restore(r.lines, 2, 0);
    ASSERT_EQ(back.status, Status::Done);
    EXPECT_EQ(back.lines, table);
    // A reference row whose comparison is 0 or blank stops after showing the edits.
    for (int ref : {0, 1, 3}) {
        const absorption::Outcome stop = absorption::Correct(table, 2, ref);
        EXPECT_EQ(stop.status, Status::Nothing) << ref;
        EXPECT_TRUE(stop.editsShown);
        EXPECT_EQ(stop.edit2, "5");
    }
}

TEST(AbsorptionCorrection, RefusesSoundDataAndBadNumbersAndWrongTables) {
    const auto sound = Table({"1000", "2000"}, {"500", "500"}, 100, {"", "S=12%"});
    const absorption::Outcome s = absorption::Correct(sound, 2, 0);
    EXPECT_EQ(s.status, Status::Refused);
    EXPECT_EQ(s.error, "Column 10 holds sound data; correction is not possible.");
    EXPECT_TRUE(s.lines.empty());
    EXPECT_EQ(absorption::Restore(sound, 2, 0).status, Status::Nothing);

    const auto badTarget = Table({"1000", "12x"}, {"500", "400"});
    const absorption::Outcome t = absorption::Correct(badTarget, 2, 0);
    EXPECT_EQ(t.status, Status::Error);
    EXPECT_EQ(t.error, "'12x' is not a valid floating point value");
    EXPECT_TRUE(t.lines.empty());
    const auto badComparison = Table({"1000", "1200"}, {"500", "4.0.0"});
    EXPECT_EQ(absorption::Correct(badComparison, 2, 0).error, "'4.0.0' is not a valid floating point value");
    const auto emptyTarget = Table({"1000", ""}, {"500", "400"});
    EXPECT_EQ(absorption::Correct(emptyTarget, 2, 0).error, "'' is not a valid floating point value");
    const auto badReference = Table({"1000", "1200"}, {"abc", "400"});
    EXPECT_EQ(absorption::Correct(badReference, 2, 0).error, "'abc' is not a valid floating point value");

    const auto ok = Table({"1000", "1200"}, {"500", "400"});
    EXPECT_EQ(absorption::Correct(ok, 0, 0).status, Status::Nothing);   // format 0
    EXPECT_EQ(absorption::Correct(ok, 2, -1).status, Status::Nothing);  // no selection
    EXPECT_EQ(absorption::Correct(ok, 2, 2).status, Status::Nothing);   // past the last row
    EXPECT_EQ(absorption::Restore(ok, 2, 0).status, Status::Nothing);   // nothing to restore
    const std::vector<std::string> headerOnly(ok.begin(), ok.begin() + 6);
    EXPECT_EQ(absorption::Correct(headerOnly, 2, 0).status, Status::Nothing);
    // Short rows (fewer than 12 fields) and an empty line do not read past them.
    auto shortRows = ok;
    shortRows.push_back("7,8");
    shortRows.push_back("");
    const absorption::Outcome r = absorption::Correct(shortRows, 2, 0);
    ASSERT_EQ(r.status, Status::Done);
    EXPECT_EQ(r.lines[8], "7,8");
    EXPECT_EQ(r.lines[9], "");
}

TEST(AbsorptionCorrection, CancelledRunGivesNoTableAndProgressCountsEveryLine) {
    const auto table = Table(std::vector<std::string>(50, "1000"), std::vector<std::string>(50, "500"));
    absorption::Progress p;
    const absorption::Outcome r = absorption::Correct(table, 2, 0, &p);
    ASSERT_EQ(r.status, Status::Done);
    EXPECT_EQ(p.position.load(), 56);
    EXPECT_EQ(absorption::ProgressMax(table.size()), 57);
    absorption::Progress cancelled;
    cancelled.cancel = true;
    const absorption::Outcome c = absorption::Correct(table, 2, 0, &cancelled);
    EXPECT_EQ(c.status, Status::Cancelled);
    EXPECT_TRUE(c.lines.empty());
}

TEST(AbsorptionCorrection, GuideLinesToTheCharacter) {
    const auto& g = absorption::GuideLines();
    ASSERT_EQ(g.size(), 13u);
    EXPECT_EQ(g[0], "*****  Guide for operation  *****");
    EXPECT_EQ(g[3], "  --> There are two measurement regions. Blue on the target star and Yellow on comparison.");
    EXPECT_EQ(g[5], "2) Click the lightcurve at the brightest value which is considered as a result of minimum absorption.");
    EXPECT_EQ(g[9], "   --> The light curve will be normalized based on the selected (red) frame. ");
    EXPECT_EQ(g[11], "4) Back the data to original with clicking the Restore button.");
    EXPECT_EQ(g[12], "");
}

}  // namespace
