// The prediction-report reader and the identification label: day tables against
// the C++ calendar, the automatic search and the applied lines against reports and
// expectations written by identification_report.py (datetime arithmetic), pasted
// identifications, labels, overlay dates, and hostile reports.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>

#include "analysis/identification.h"
#include "support/test_util.h"

namespace {

namespace id = identification;

const std::string kReportScript = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/identification_report.py'";

TEST(IdentificationTables, EveryDayMatchesTheCalendarAndNothingOutsideIt) {
    using namespace std::chrono;
    const sys_days origin = year{1990} / January / 1;
    for (sys_days d = origin; d <= sys_days{year{2050} / December / 31}; d += days{1}) {
        const year_month_day ymd{d};
        const auto s = id::EventSeconds(int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), 7, 8, 9.5);
        ASSERT_TRUE(s.has_value()) << int(ymd.year());
        ASSERT_EQ(*s, (d - origin).count() * 86400.0 + 7 * 3600 + 8 * 60 + 9.5) << int(ymd.year());
    }
    EXPECT_EQ(id::YearDayTable(1990), 0);
    EXPECT_EQ(id::YearDayTable(1989), -1);
    EXPECT_EQ(id::YearDayTable(2051), -1);
    EXPECT_FALSE(id::EventSeconds(1989, 12, 31, 0, 0, 0));
    EXPECT_FALSE(id::EventSeconds(2051, 1, 1, 0, 0, 0));
    EXPECT_FALSE(id::EventSeconds(2020, 0, 1, 0, 0, 0));
    EXPECT_FALSE(id::EventSeconds(2020, 13, 1, 0, 0, 0));
}

TEST(IdentificationTables, SubstringsFollowTheClassLibrary) {
    EXPECT_EQ(id::Copy("abcdef", -3, 2), "ab");
    EXPECT_EQ(id::Copy("abcdef", 5, 10), "ef");
    EXPECT_EQ(id::Copy("abcdef", 7, 1), "");
    EXPECT_EQ(id::Copy("abc", 2, 0), "");
    EXPECT_EQ(id::Pos("Cct", "  Cct"), 3);
    EXPECT_EQ(id::Pos("Cct", "none"), 0);
    const id::Columns c = id::ParseColumns(std::string(20, ' ') + "Cct" + std::string(40, ' ') + "SV  Mdist");
    EXPECT_EQ(c.cct, 21 - 9);
    EXPECT_EQ(c.sv, 64 - 37);
    EXPECT_EQ(c.mdist, 68 - 35);
    EXPECT_EQ(id::LineMonth("26 Dec 31"), 12);
    EXPECT_EQ(id::LineMonth("26 dec 31"), 0);
    EXPECT_EQ(id::LineMonthStrict("26 Dec 31"), 12);
    EXPECT_EQ(id::LineMonthStrict("26XDec 31"), 0);
    EXPECT_EQ(id::LineMonthStrict("26 Dec"), 0);
}

// One report per case, the probe run with --apply K for every listed item.
struct ReportCase {
    const char* name;
    const char* event;    // "YYYY-MM-DD HH:MM:SS"
    const char* offsets;  // seconds from the event, one line each
    size_t listed;
};

class IdentificationReports : public ::testing::TestWithParam<ReportCase> {};

TEST_P(IdentificationReports, ProbeListsAndAppliesAsTheOracleSays) {
    const ReportCase& c = GetParam();
    testutil::TempDir dir;
    ASSERT_EQ(testutil::Run(kReportScript + " --out '" + dir.Path() + "' --event '" + c.event + "' --offsets=" +
                            c.offsets),
              0);
    const std::string e = c.event;
    const std::string date = e.substr(2, 8), time = e.substr(11);
    const std::string probe = "'" + testutil::BinFile("tevorin-probe") + "' prediction '" + dir.File("report.txt") +
                              "' --date " + date + " --time " + time + " --auto --observer 'A. Observer'";
    std::string out;
    ASSERT_EQ(testutil::Run(probe, &out), 0);
    EXPECT_EQ(out, testutil::ReadAll(dir.File("selected.txt")));
    for (size_t k = 0; k < c.listed; ++k) {
        ASSERT_EQ(testutil::Run(probe + " --apply " + std::to_string(k), &out), 0);
        EXPECT_EQ(out, testutil::ReadAll(dir.File("expected_" + std::to_string(k) + ".txt"))) << "item " << k;
    }
    EXPECT_FALSE(testutil::ReadAll(dir.File("expected_" + std::to_string(c.listed - 1) + ".txt")).empty());
    EXPECT_EQ(testutil::Run("test -e '" + dir.File("expected_" + std::to_string(c.listed) + ".txt") + "'"), 1)
        << "the oracle lists more events than expected";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdentificationReports,
    ::testing::Values(
        // 5 and 6 s listed, 7 s not, a day later not; across the year end.
        ReportCase{"YearEnd", "2026-12-31 23:59:58", "-7,-6,5,7,86400,-5,6", 4},
        // A leap February: 29 Feb to 1 Mar.
        ReportCase{"LeapFebruary", "2024-02-29 23:59:59", "4,-5,-3,8", 3},
        // A normal year: 28 Feb to 1 Mar.
        ReportCase{"NormalMarch", "2025-03-01 00:00:02", "-3,-2,-1,7,-2592000", 3},
        // The event a month before: November lines for a December event are near in month only.
        ReportCase{"MonthAway", "2030-12-01 00:00:01", "-4,-2678400,2", 2}),
    [](const ::testing::TestParamInfo<ReportCase>& i) { return std::string(i.param.name); });

std::vector<std::string> Head() {
    return {"title", "station", "", " y  mon" + std::string(53, ' ') + "Cct", "----"};
}

TEST(IdentificationSearch, ContinuationLinesStayWithTheirEventAndDetailListsThem) {
    std::vector<std::string> report = Head();
    report.push_back("20 Jan  5 10 00 00      1234 K0                              12.5");
    report.push_back("          continued A");
    report.push_back("  second continuation");
    report.push_back("20 Jan  5 10 00 30      1235 K0");
    report.push_back("          continued B");
    id::OverlayClock clock{"20", " 1", " 5", "10", "00", "01.5"};
    const std::vector<std::string> memo = id::AutoSearchEvents(report, clock);
    ASSERT_EQ(memo.size(), 8u);
    EXPECT_EQ(memo[5], report[5]);
    EXPECT_EQ(memo[6], "          continued A");
    EXPECT_EQ(memo[7], "  second continuation");

    const id::EventList plain = id::FillEventList(memo, false, "20");
    ASSERT_EQ(plain.items.size(), 1u);
    EXPECT_EQ(plain.selected, 0);
    const id::EventList detail = id::FillEventList(memo, true, "20");
    EXPECT_EQ(detail.items.size(), 8u);
    EXPECT_EQ(detail.selected, 5);  // the first line beginning with the overlay year

    // Fewer than 6 lines: nothing; an unreadable clock: the head only.
    EXPECT_TRUE(id::AutoSearchEvents(Head(), clock).empty());
    clock.hour = "xx";
    EXPECT_EQ(id::AutoSearchEvents(report, clock).size(), 5u);
    // A year outside the tables matches nothing: 60 is 1960.
    EXPECT_EQ(id::AutoSearchEvents(report, {"60", " 1", " 5", "10", "00", "00"}).size(), 5u);
    EXPECT_EQ(id::AutoSearchEvents(report, {"20", "13", " 5", "10", "00", "00"}).size(), 5u);
}

TEST(IdentificationSearch, ListSelectsTheOverlayYearAndCutsByPosition) {
    std::string line = "21 Mar  3 01 02 03";
    for (int i = 0; line.size() < 158; ++i) line += static_cast<char>('a' + i % 26);
    const id::EventList l = id::FillEventList({"19 Mar  1", line, "22 Mar  1 longer than ten"}, false, "22");
    ASSERT_EQ(l.items.size(), 3u);
    EXPECT_EQ(l.selected, 2);
    std::string cut = line;
    cut.erase(109, 25);
    cut.erase(89, 9);
    EXPECT_EQ(l.items[1], cut);
    EXPECT_EQ(l.items[0], "19 Mar  1");  // ten characters or fewer stay whole
    EXPECT_EQ(id::FillEventList({"19 Mar  1"}, false, "05").selected, 0);
    EXPECT_EQ(id::FillEventList({}, false, "05").selected, -1);
    // Headings that begin with blanks are cut too.
    const std::string day = "       day" + std::string(130, 'x');
    EXPECT_EQ(id::FillEventList({day}, true, "").items[0].size(), day.size() - 34);
    EXPECT_EQ(id::FillEventList({"  other" + std::string(130, 'x')}, true, "").items[0].size(), 137u);
}

TEST(IdentificationPasted, StarObserverAndDateFromAPastedText) {
    const std::vector<std::string> memo = {"2011 Aug 09  something", "  middle", "Star = R1234", "x",
                                           "Observer =  J. Doe"};
    const id::PastedIdentification p = id::ReadPastedIdentification(memo);
    EXPECT_TRUE(p.found);
    EXPECT_EQ(p.star, "ZC 1234");
    EXPECT_TRUE(p.hasObserver);
    EXPECT_EQ(p.observer, "J. Doe");
    EXPECT_EQ(p.date.year, 2011);
    EXPECT_EQ(p.date.month, 8);
    EXPECT_EQ(p.date.day, 9);
    EXPECT_EQ(id::ReadPastedIdentification({"Star = S98765"}).star, "SAO 98765");
    EXPECT_EQ(id::ReadPastedIdentification({"Star = X555"}).star, "XZ 555");
    EXPECT_EQ(id::ReadPastedIdentification({"Star = Pluto"}).star, "Pluto");
    // A star line near the top has no date line two above it; one blank too few is no observer.
    const id::PastedIdentification top = id::ReadPastedIdentification({"1999", "Star = R1", "Observer = A"});
    EXPECT_TRUE(top.found);
    EXPECT_EQ(top.date.year, 0);
    EXPECT_FALSE(top.hasObserver);
    EXPECT_FALSE(id::ReadPastedIdentification({"Star: R1"}).found);
    EXPECT_EQ(id::ReadPastedIdentification({"Star = "}).star, "");

    const id::Listing l = id::ListReport(memo, {});
    EXPECT_TRUE(l.pasted.found);
    EXPECT_EQ(l.list.items, memo);
    EXPECT_EQ(l.list.selected, -1);
    EXPECT_TRUE(l.columnsSet);
}

TEST(IdentificationApply, ShortLinesHeadersWithoutKeywordsAndOtherFlags) {
    // No month: nothing is taken.
    EXPECT_FALSE(id::ApplyPredictionLine("          continued", {}).hasMonth);
    // A line ending inside the fixed positions: the short star text, no values.
    const id::AppliedLine s = id::ApplyPredictionLine("26 Dec 31 23 59 51", {40, 50, 60});
    EXPECT_TRUE(s.hasMonth);
    EXPECT_EQ(s.star, "");  // no flag and no number
    EXPECT_FALSE(s.contactAngle);
    EXPECT_FALSE(s.velocity);
    EXPECT_FALSE(s.distanceMetres);
    EXPECT_FALSE(s.spectralType);
    EXPECT_EQ(s.date.year, 2026);
    EXPECT_EQ(s.date.month, 12);
    EXPECT_EQ(s.date.day, 31);
    // A header without the keywords puts the columns before the line: characters
    // 1-5 do not convert and nothing is set.
    const id::Columns none = id::ParseColumns("no keywords");
    const id::AppliedLine n = id::ApplyPredictionLine("49 Jan  2 00 00 00   A 12345 K", none);
    EXPECT_FALSE(n.contactAngle);
    EXPECT_FALSE(n.velocity);
    EXPECT_FALSE(n.distanceMetres);
    EXPECT_EQ(n.star, "12345");
    EXPECT_EQ(*n.spectralType, "K5");
    EXPECT_EQ(n.date.year, 2049);
    // 50 is 1950 here: outside the year list.
    EXPECT_EQ(id::ApplyPredictionLine("50 Jan  2", {}).date.year, 0);
    // Exactly 90 folds to 90; a tab in a number does not convert.
    std::string line = "26 Dec 31 23 59 51      1234 A5   90.0   1\t2";
    const id::AppliedLine t = id::ApplyPredictionLine(line, {34, 39, 1000});
    EXPECT_EQ(t.contactAngleText, "90.0");
    EXPECT_FALSE(t.velocity);
    EXPECT_EQ(t.star, "ZC 1234");
}

TEST(IdentificationLabel, TargetStarFromAsteroidAndCatalogue) {
    EXPECT_EQ(id::InitialTargetStar("", "TYC 1234-5678-1"), "TYC 1234-5678-1");
    EXPECT_EQ(id::InitialTargetStar("(41) Daphne", "HIP 4567"), "(41) Daphne occults HIP 4567");
    EXPECT_EQ(id::InitialTargetStar("(41) Daphne occults", "HIP 4567"), "(41) Daphne occults .. HIP 4567");
    EXPECT_EQ(id::InitialTargetStar("(41) Daphne", ""), "");
    EXPECT_EQ(id::InitialTargetStar("", ""), "");
    EXPECT_EQ(id::AsteroidNameFromStar("(41) Daphne occults HIP 4567"), "(41) Daphne");
    EXPECT_EQ(id::AsteroidNameFromStar("ZC 1234"), "ZC 1234");
    EXPECT_EQ(id::ComposeIdText("ZC 1234", "2026", "Dec", "7", "A. Observer"), "ZC 1234 ; 2026 Dec 7 ; A. Observer");
}

TEST(IdentificationLabel, OverlayDateAndTodayInItsPlace) {
    id::OverlayDate d = id::DateFromOverlay("05", " 3", " 9", 2026, 12, 7);
    EXPECT_EQ(d.year, 2005);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 9);
    EXPECT_TRUE(d.select);
    EXPECT_EQ(d.memoLine, "2005  3  9**");
    EXPECT_EQ(d.yearText, "05");  // readable texts stay as they were
    d = id::DateFromOverlay("", "xx", "", 2026, 4, 7);
    EXPECT_EQ(d.year, 2026);
    EXPECT_EQ(d.yearText, "26");
    EXPECT_EQ(d.monthText, " 4");
    EXPECT_EQ(d.dayText, " 7");
    EXPECT_TRUE(d.select);
    EXPECT_TRUE(id::DateFromOverlay("99", "12", "31", 2026, 1, 1).select);
    EXPECT_FALSE(id::DateFromOverlay("60", "12", "31", 2026, 1, 1).select);  // 1960
    EXPECT_FALSE(id::DateFromOverlay("20", "00", "31", 2026, 1, 1).select);  // no month
    EXPECT_FALSE(id::DateFromOverlay("20", "13", "31", 2026, 1, 1).select);
    EXPECT_EQ(id::DateFromOverlay("-3", "1", "1", 2026, 1, 1).year, 2000);
    EXPECT_EQ(id::OverlayYearText(2007), "07");
    EXPECT_EQ(id::OverlayTwoText(12), "12");
}

TEST(IdentificationHostile, ShortOddAndMissingReportsListNothingHarmful) {
    testutil::TempDir dir;
    std::vector<std::string> lines;
    std::string error;
    EXPECT_EQ(id::ReadReport(dir.File("absent.txt"), lines, error), id::ReportRead::Missing);
    testutil::WriteAll(dir.File("three.txt"), "a\r\nb\nc");
    ASSERT_EQ(id::ReadReport(dir.File("three.txt"), lines, error), id::ReportRead::Loaded);
    EXPECT_EQ(lines.size(), 3u);
    const id::Listing l = id::ListReport(lines, {true, false, {"26", "1", "1", "0", "0", "0"}});
    EXPECT_TRUE(l.memo1.empty());
    EXPECT_TRUE(l.list.items.empty());
    EXPECT_FALSE(l.columnsSet);

    std::string bytes = "\xff\xfd\t\x80 Jan\x01\r\n";
    for (int i = 0; i < 8; ++i) bytes += std::string(1, static_cast<char>(0x80 + i)) + "6 Jan  1 00 00 0\t\r\n";
    testutil::WriteAll(dir.File("odd.txt"), bytes);
    ASSERT_EQ(id::ReadReport(dir.File("odd.txt"), lines, error), id::ReportRead::Loaded);
    const id::Listing o = id::ListReport(lines, {true, true, {"26", "1", "1", "0", "0", "0"}});
    for (const std::string& item : o.list.items) id::ApplyPredictionLine(item, o.columns);
    EXPECT_EQ(o.memo1.size(), 5u);  // no line reads as a time
}

// What is at the path but is no single-byte report is refused with its reason,
// never listed as an empty report; a FIFO is refused without waiting for a writer.
TEST(IdentificationHostile, FoldersFifosAndUtf16ReportsAreRefusedWithTheirReason) {
    testutil::TempDir dir;
    std::vector<std::string> lines = {"old"};
    std::string error;
    const auto failed = [&](const std::string& path) {
        error.clear();
        const bool refused = id::ReadReport(path, lines, error) == id::ReportRead::Failed;
        EXPECT_TRUE(lines.empty());
        return refused ? error : std::string("(read)");
    };
    EXPECT_EQ(failed(dir.Path()), "Not a regular file: " + dir.Path());
    // The setting's default before a report is chosen: the program folder with its "/".
    EXPECT_EQ(id::ReadReport(dir.Path() + "/", lines, error), id::ReportRead::Missing);
    const std::string fifo = dir.File("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(failed(fifo), "Not a regular file: " + fifo);
    const std::string utf16 = "The report is UTF-16 text; save it as ANSI or UTF-8 text.";
    const std::string text = "Lunar occultations\r\n26 Dec 31 23 59 53\r\n";
    std::string le = "\xff\xfe", be = "\xfe\xff", bare;
    for (char c : text) le += std::string{c, '\0'}, be += std::string{'\0', c}, bare += std::string{c, '\0'};
    for (const auto& [name, bytes] : {std::pair{"le.txt", le}, {"be.txt", be}, {"bare.txt", bare}}) {
        SCOPED_TRACE(name);
        testutil::WriteAll(dir.File(name), bytes);
        EXPECT_EQ(failed(dir.File(name)), utf16);
    }
    // A UTF-8 byte-order mark is single-byte enough; an empty file is an empty report.
    testutil::WriteAll(dir.File("utf8.txt"), "\xef\xbb\xbf" + text);
    EXPECT_EQ(id::ReadReport(dir.File("utf8.txt"), lines, error), id::ReportRead::Loaded);
    EXPECT_EQ(lines.size(), 2u);
    testutil::WriteAll(dir.File("empty.txt"), "");
    EXPECT_EQ(id::ReadReport(dir.File("empty.txt"), lines, error), id::ReportRead::Loaded);
    EXPECT_TRUE(lines.empty());
    // A link to nothing is as missing as no file.
    std::filesystem::create_symlink(dir.File("nowhere.txt"), dir.File("dangling.txt"));
    EXPECT_EQ(id::ReadReport(dir.File("dangling.txt"), lines, error), id::ReportRead::Missing);
}

}  // namespace
