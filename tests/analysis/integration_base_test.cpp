// The asteroid timing guide's arithmetic: velocity and distance by hand and with
// mpmath, the jump table against a stable sort, the phase finder on the worked
// example, and block means against numpy for every N and several offsets.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <thread>

#include "analysis/integration_base.h"
#include "asteroid_test_util.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "support/test_util.h"

namespace {

using asteroidtest::Table;

const std::string kOracle = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/asteroid_oracle.py'";

std::vector<std::string> Rows(const std::vector<std::string>& t) { return {t.begin() + 6, t.end()}; }

TEST(IntegrationBase, VelocityAndDistance) {
    EXPECT_EQ(integration::ShadowVelocity("100", "10"), 10000);
    EXPECT_EQ(integration::ShadowVelocity("300", "10"), std::nullopt);  // 30000 m/s: not taken over
    EXPECT_EQ(integration::ShadowVelocity("200", "10"), 20000);         // the limit itself is taken
    EXPECT_EQ(integration::ShadowVelocity("12.5", "8"), 1563);          // 1562.5, half away from zero
    EXPECT_EQ(integration::ShadowVelocity("", "10"), std::nullopt);
    EXPECT_EQ(integration::ShadowVelocity("100", "0"), std::nullopt);
    EXPECT_EQ(integration::ShadowVelocity("1.2.3", "10"), std::nullopt);

    const auto d = integration::DistanceFromParallax("3.5");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->km, 375881484);
    EXPECT_EQ(d->metres, 375881484000);
    EXPECT_FALSE(integration::DistanceFromParallax("0"));
    EXPECT_FALSE(integration::DistanceFromParallax(""));
    for (const char* p : {"8.794", "0.25", "17", "1.5", "123.456"}) {
        std::string out;
        ASSERT_EQ(testutil::Run(kOracle + " distance " + p, &out), 0);
        EXPECT_EQ(std::to_string(integration::DistanceFromParallax(p)->km), out.substr(0, out.find('\n'))) << p;
    }
    // A parallax so small that the metres leave 64 bits: clamped, no overflow.
    const auto far = integration::DistanceFromParallax("0.0000000001");
    ASSERT_TRUE(far);
    EXPECT_GT(far->km, 9200000000000000);
    EXPECT_EQ(far->metres, 9200000000000000000);

    EXPECT_EQ(integration::FramesItems().front(), "1 (No integration)");
    EXPECT_EQ(integration::FramesItems().size(), 7u);
    EXPECT_EQ(integration::FramesOfItem(0), 1);
    EXPECT_EQ(integration::FramesOfItem(6), 64);
    EXPECT_EQ(integration::FramesOfItem(-1), 1);
}

// Values with jumps at `jumps` (row, size) on a flat level, and small ties elsewhere.
std::vector<std::string> Curve(int rows, const std::vector<std::pair<int, int>>& jumps) {
    std::vector<std::string> a;
    int level = 5000;
    for (int r = 0; r < rows; ++r) {
        for (const auto& [row, size] : jumps)
            if (row == r) level += size;
        a.push_back(std::to_string(level + (r % 3 == 0 ? 1 : 0)));
    }
    return a;
}

TEST(IntegrationBase, JumpTableIsAStableSortOfTheJumps) {
    auto a = Curve(1200, {{41, -900}, {25, 700}, {300, 700}, {500, -40}});
    a[77] = "n/a";  // unreadable: 0
    const auto table = Table(a, {});
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("t.csv"), fileio::JoinLines(table));
    for (int n : {60, 1000, 5000}) {
        const auto t = integration::BuildJumpTable(Rows(table), n);
        std::string out;
        ASSERT_EQ(testutil::Run(kOracle + " jumps '" + dir.File("t.csv") + "' " + std::to_string(n), &out), 0);
        std::istringstream in(out);
        size_t k = 0;
        int row = 0;
        double jump = 0;
        while (in >> row >> jump) {
            ASSERT_LT(k, t.size());
            EXPECT_EQ(t[k].row, row) << k;
            EXPECT_EQ(static_cast<double>(t[k].jump), jump) << k;  // differences of integers: exact
            // Frame and value stay at their row's position.
            EXPECT_EQ(t[k].frame, std::to_string(100 + static_cast<int>(k)));
            ++k;
        }
        EXPECT_EQ(k, t.size());
        EXPECT_EQ(t.size(), static_cast<size_t>(std::min(n, 1000) + 1));
    }
}

TEST(IntegrationBase, PhaseFinderOnTheWorkedExampleAndItsLimits) {
    // N = 4: the largest jump at row 41, the next at row 25 (distance 16).
    const auto table = Table(Curve(200, {{41, -900}, {25, 700}}), {});
    const auto p = integration::FindPhase(Rows(table), 4);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->acceptedRow, 41);
    EXPECT_EQ(p->phase, 1);
    EXPECT_EQ(p->offset, 2);
    // With N = 8 the pair 41/25 qualifies too (16); with N = 32 it does not, and the
    // next pair down (25 and a tie of size 1) decides.
    EXPECT_EQ(integration::FindPhase(Rows(table), 8)->offset, (4 + 41 - 1) % 8);
    EXPECT_FALSE(integration::FindPhase(Rows(table), 1));
    // Fewer than 12 rows: the search stops at entry 1 (no read before entry 0).
    const auto tiny = Table({"10", "10", "10", "500", "500"}, {});
    const auto q = integration::FindPhase(Rows(tiny), 2);
    EXPECT_FALSE(q.has_value() && q->acceptedRow < 0);
    EXPECT_FALSE(integration::FindPhase({}, 4));
    EXPECT_FALSE(integration::FindPhase({"1,2"}, 4));
}

TEST(IntegrationBase, BlockMeansMatchNumpy) {
    std::vector<std::string> a;
    for (int r = 0; r < 700; ++r) a.push_back(std::to_string(8000 + (r * 7919) % 613 - (r > 400 ? 6000 : 0)) + (r % 5 ? "" : ".7"));
    a[600] = "";  // unreadable values count 0
    a[601] = "bad";
    const auto table = Table(a, {});
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("t.csv"), fileio::JoinLines(table));
    for (int n : {1, 2, 4, 8, 16, 32, 64}) {
        for (int offset : {0, n / 2, n - 1}) {
            SCOPED_TRACE(std::to_string(n) + " " + std::to_string(offset));
            const integration::Blocks b = integration::AverageBlocks(table, 6, n, offset);
            std::string out;
            ASSERT_EQ(testutil::Run(kOracle + " blocks '" + dir.File("t.csv") + "' " + std::to_string(n) + " " +
                                        std::to_string(offset),
                                    &out),
                      0);
            std::istringstream in(out);
            size_t i = 6;
            int row = 0;
            double mean = 0;
            while (in >> row >> mean) {
                ASSERT_LT(i, b.lines.size());
                EXPECT_EQ(GetField(b.lines[i], 1), std::to_string(100 + row));
                // One decimal, rounded: within half a unit of the last digit (plus the
                // oracle's double rounding).
                EXPECT_NEAR(*numtext::ParseFloat(GetField(b.lines[i], 11)), mean, 0.05 + 1e-9) << row;
                EXPECT_EQ(GetField(b.lines[i], 12), GetField(table[static_cast<size_t>(6 + row)], 12));
                ++i;
            }
            EXPECT_EQ(i, b.lines.size());
            EXPECT_EQ(b.lastRowIndex, static_cast<int>(b.lines.size()) - 7);
            // The drop near row 400 is the event.
            ASSERT_GE(b.selectedFrame, 0);
            const int eventRow = std::stoi(GetField(b.lines[6 + static_cast<size_t>(b.selectedFrame)], 1)) - 100;
            EXPECT_NEAR(eventRow, 401, n + 1);
        }
    }
    // N = 4, offset 2: rows 2, 6, 10 ...; row 2 carries the mean of rows 1..4.
    const auto small = Table({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}, {});
    const integration::Blocks b = integration::AverageBlocks(small, 6, 4, 2);
    ASSERT_EQ(b.lines.size(), 9u);
    EXPECT_EQ(GetField(b.lines[6], 1), "102");
    EXPECT_EQ(GetField(b.lines[6], 11), "3.5");
    EXPECT_EQ(GetField(b.lines[7], 11), "7.5");
    EXPECT_EQ(GetField(b.lines[8], 11), "10.5");  // rows 9 and 10: the divisor counts rows summed
    EXPECT_EQ(b.selectedFrame, -1);                // rising only: no drop
    EXPECT_EQ(b.lines[0], small[0]);
}

TEST(IntegrationBase, BlockAveragingCancelsWithNoTableAndWorkerEqualsSerial) {
    const auto table = Table(Curve(5000, {{2000, -3000}}), {});
    integration::Progress p;
    p.cancel = true;
    const integration::Blocks c = integration::AverageBlocks(table, 6, 8, 3, &p);
    EXPECT_TRUE(c.cancelled);
    EXPECT_TRUE(c.lines.empty());
    integration::Progress q;
    const integration::Blocks serial = integration::AverageBlocks(table, 6, 8, 3);
    integration::Blocks threaded;
    std::thread worker([&] { threaded = integration::AverageBlocks(table, 6, 8, 3, &q); });
    worker.join();
    EXPECT_EQ(threaded.lines, serial.lines);
    EXPECT_EQ(threaded.selectedFrame, serial.selectedFrame);
    EXPECT_GT(q.position.load(), 0);
    // An empty or header-only table gives the header and no rows.
    const integration::Blocks empty = integration::AverageBlocks(std::vector<std::string>(table.begin(), table.begin() + 6), 6, 4, 0);
    EXPECT_EQ(empty.lines.size(), 6u);
    EXPECT_EQ(empty.lastRowIndex, -1);
    EXPECT_EQ(empty.selectedFrame, -1);
}

}  // namespace

namespace {

TEST(IntegrationBase, ProbeSubcommands) {
    const std::string probe = testutil::BinFile("tevorin-probe");
    std::string out;
    ASSERT_EQ(testutil::Run("'" + probe + "' asteroid-calc --diameter 100 --duration 10 --parallax 3.5", &out), 0);
    EXPECT_EQ(out, "velocity 10000\ndistance 375881484\nobject-distance 375881484000\n");
    ASSERT_EQ(testutil::Run("'" + probe + "' asteroid-calc --diameter 300 --duration 10", &out), 0);
    EXPECT_EQ(out, "velocity \ndistance \nobject-distance \n");

    testutil::TempDir dir;
    const auto table = Table(Curve(200, {{41, -900}, {25, 700}}), std::vector<std::string>(200, "700"));
    testutil::WriteAll(dir.File("t.csv"), fileio::JoinLines(table));
    ASSERT_EQ(testutil::Run("'" + probe + "' asteroid-phase '" + dir.File("t.csv") + "' --frames 4", &out), 0);
    EXPECT_EQ(out, "accepted 41\nphase 1\noffset 2\n");
    ASSERT_EQ(testutil::Run("'" + probe + "' asteroid-blocks '" + dir.File("t.csv") + "' '" + dir.File("b.csv") +
                                "' --frames 4 --offset 2",
                            &out),
              0);
    EXPECT_EQ(out, "selected 10\n");  // rows 2, 6, ...: the drop at row 41 falls in block 10 (row 42)
    ASSERT_EQ(testutil::Run("'" + probe + "' correction '" + dir.File("t.csv") + "' '" + dir.File("c.csv") + "' --row 5", &out), 0);
    EXPECT_EQ(out, "reference 700\nrows 200\n");
    ASSERT_EQ(testutil::Run("'" + probe + "' correction '" + dir.File("c.csv") + "' '" + dir.File("r.csv") + "' --row 5 --restore", &out), 0);
    EXPECT_EQ(testutil::ReadAll(dir.File("r.csv")), testutil::ReadAll(dir.File("t.csv")));
    EXPECT_NE(testutil::Run("'" + probe + "' correction '" + dir.File("missing.csv") + "' x --row 1 2>/dev/null"), 0);
}

}  // namespace
