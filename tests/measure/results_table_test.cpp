// Golden texts below are written out by hand from the column tables of the
// results format, not produced by the code under test.
#include "measure/results_table.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/file_io.h"
#include "support/test_util.h"

namespace {

std::string Commas(int n) { return std::string(static_cast<size_t>(n), ','); }

const std::string kGroupFrame = ",\"Time\",,,,\"Centre of\",\"End of\",,,,\"Result\",,,,,,\"Object 1\"" + Commas(17) +
                                "\"Object 2\"" + Commas(17) + "\"Object 3\"" + Commas(14);
const std::string kGroupField = ",\"Time\",,,,\"End of\",,,,,\"Result\",,,,,,\"Object 1\"" + Commas(17) +
                                "\"Object 2\"" + Commas(17) + "\"Object 3\"" + Commas(14);
const std::string kSubBlock =
    "\"Pixel Value\",,\"Pixel Num.\",,\"Radius\",,,\"BKG\",\"Position\",,\"Spin\",\"-Direction\",,,\"StarTrack\",,";
const std::string kSubFrame = ",\"Detect\",,\"VTI\",,\"Frame\",\"Frame\",,,\"Sound\",\"Measurement\",\"-Value\",,"
                              "\"FWHM/HFD\",\"\",\"\"," + kSubBlock + "," + kSubBlock + "," + kSubBlock;
const std::string kSubField = ",\"Detect\",,\"VTI\",,\"Field\",,,,\"Sound\",\"Measurement\",\"-Value\",,"
                              "\"FWHM/HFD\",\"\",\"\"," + kSubBlock + "," + kSubBlock + "," + kSubBlock;
const std::string kNameBlock =
    "\"EstimatedPeak'sHeight\",\"Background\",\"Aperture\",\"Background\",\"Aperture\",\"BKG(Inner)\",\"(Outer)\","
    "\"Shape\",\"X\",\"Y\",\"X\",\"Y\",\"Width\",\"Gap\",\"Mode\",\"Radius\",\"Threshold\"";
std::string Names(const char* s1, const char* s2) {
    return std::string("\"No.\",\"") + s1 + "\",\"" + s2 +
           "\",\"H\",\"M\",\"S\",,,,\"/Frame\",\"Object1\",\"Object2\",\"Object3\",\"Object1\",\"Object2\",\"Object3\"," +
           kNameBlock + "," + kNameBlock + "," + kNameBlock + ",\"Note\"";
}

size_t Cells(const std::string& row) { return static_cast<size_t>(std::count(row.begin(), row.end(), ',')) + 1; }

MeasureState OneObjectState() {
    MeasureState s;
    DataLineObject& a = s.DataLines[0].Objects[1];
    a.Value = 1234.56;
    a.Fwhm = 3.14159;
    a.PeakHeight = 500;
    a.BackgroundLevel = 1200;
    a.AperturePixels = 45;
    a.BackgroundPixels = 200;
    a.ApertureRadius = 3;
    a.BkgInnerRadius = 5;
    a.BkgOuterRadius = 8;
    a.PosX = 100;
    a.PosY = 200;
    a.SpinX = 9;  // not written for the ring
    a.TrackMode = kTrackDrift;
    a.TrackRadius = 6;
    a.TrackThreshold = 50;
    s.DataLines[0].FrameNo10 = 120;
    return s;
}

}  // namespace

TEST(ResultsHeader, StartupAndVideoHeadersInFrameAndFieldMode) {
    MeasureState s;
    ResultsTable t;
    RowContext c;
    WriteStartupResultsHeader(t, s, c);
    ASSERT_EQ(t.Count(), 5u);
    EXPECT_EQ(t[0], "\"Tevorin File Format (for Ver.0.9.26 later)\"");
    EXPECT_EQ(t[1], "\"Filename : \"");
    EXPECT_EQ(t[2], kGroupFrame);
    EXPECT_EQ(t[3], kSubFrame);
    EXPECT_EQ(t[4], Names("Signal1", "Signal2"));
    EXPECT_EQ(Cells(t[2]), 65u);
    EXPECT_EQ(Cells(t[3]), 67u);
    EXPECT_EQ(Cells(t[4]), 68u);

    s.VideoFileName = "/data/obs 1/moon.avi";
    s.VideoFrameRate = 30000.0 / 1001.0;
    s.VideoFrameRateInt = 30;
    c.fieldMode = true;
    c.overlayTime = true;  // IOTA-VTI with the overlay time: field counter columns
    WriteResultsHeader(t, s, c);
    ASSERT_EQ(t.Count(), 6u);
    EXPECT_EQ(t[0], "Tevorin File Format (for Ver.0.9.26 later)");
    EXPECT_EQ(t[1], "\"FileName : /data/obs 1/moon.avi\"");
    EXPECT_EQ(t[2], "\"Video System : NTSC , FrameRate=29.97\"");
    EXPECT_EQ(t[3], kGroupField);
    EXPECT_EQ(t[4], kSubField);
    EXPECT_EQ(t[5], Names("Field1", "Field2"));

    s.TimeInserterType = 1;  // KIWI-OSD never has field counters
    WriteResultsHeader(t, s, c);
    EXPECT_EQ(t[5], Names("Signal1", "Signal2"));
}

TEST(ResultsHeader, VideoSystemLine) {
    EXPECT_EQ(VideoSystemText(25.0, 25), "Video System : PAL , FrameRate=25.00");
    EXPECT_EQ(VideoSystemText(29.97, 30), "Video System : NTSC , FrameRate=29.97");
    EXPECT_EQ(VideoSystemText(15.0, 15), "Video System : --- , FrameRate=15.00");
    EXPECT_EQ(VideoSystemText(0.0, 0), "Video System : --- , FrameRate= 0.00");
    EXPECT_EQ(VideoSystemText(24.999, 25), "Video System : PAL , FrameRate=25.00");

    // Unknown rate: the line is written all the same, so readers find row 1 at line 7.
    MeasureState s;
    ResultsTable t;
    WriteResultsHeader(t, s, RowContext{});
    EXPECT_EQ(t.Count(), 6u);
    EXPECT_EQ(DetectResultsFormat(t).headerLines, 6);
}

TEST(ResultsRow, OneObjectKiwiWithOverlayTime) {
    MeasureState s = OneObjectState();
    s.TimeInserterType = 1;
    s.DataLines[0].Signal1Detected = 1;
    s.Overlay = {"12", "34", "56.1234", "12", "34", "56.1434", "", ""};
    RowContext c;
    c.overlayTime = true;
    std::string row = FormatResultRow(s, c, 0, true);
    EXPECT_EQ(row, "12.0,\"***\",\"\",12,34,56.1234,56.1434,,,,1234.6,,,3.1416,,,500,1200,45,200,3,5,8,,100,200,,,,,"
                   "\"Drift\",6,50,");
    EXPECT_EQ(Cells(row), 34u);
    EXPECT_EQ(GetField(row, 51), "");
}

TEST(ResultsRow, TwoObjectsVtiShapesModesAndTivi) {
    MeasureState s = OneObjectState();
    s.ObjectCount = 2;
    s.Overlay.VtiFieldCount1 = "1234";
    s.Overlay.VtiFieldCount2 = "1235";
    s.TIViReadOk = 1;
    DataLineObject& a = s.DataLines[0].Objects[1];
    a.BkgShape = kShapeSunlitFace;
    a.SpinX = 5;
    a.SpinY = 6;
    a.BkgWidth = 11;  // not written for the sunlit face
    a.BkgGap = 4;
    a.TrackMode = kTrackAnchor;
    DataLineObject& b = s.DataLines[0].Objects[2];
    b.Value = -7.25;
    b.Fwhm = 0;
    b.BkgShape = kShapeLimb;
    b.SpinX = 10;
    b.SpinY = -20;
    b.BkgWidth = 7;
    b.BkgGap = 3;
    b.TrackMode = kTrackCsv;
    b.TrackRadius = 4;
    RowContext c;
    c.tiviText = "27";
    std::string row = FormatResultRow(s, c, 0, true);
    EXPECT_EQ(row, "12.0,1234,1235,,,27,,,,,1234.6,-7.3,,3.1416,0.0000,,"
                   "500,1200,45,200,3,5,8,\"AvoidSunlitFace\",100,200,5,6,,4,\"Anchor\",6,50,"
                   "0,0,0,0,0,0,0,\"Meteor/LunarLimb\",0,0,10,-20,7,3,\"OFF\",,,");
    EXPECT_EQ(Cells(row), 51u);

    s.TrackRefPoints[1][1] = {10, 1, 1};
    s.TrackRefPoints[1][2] = {20, 2, 2};
    a.TrackMode = kTrackDrift;
    s.TIViReadOk = 0;  // the last TIVi reading was "EE": no seconds
    row = FormatResultRow(s, c, 0, true);
    EXPECT_EQ(GetField(row, 31), "\"Linear\"");
    EXPECT_EQ(GetField(row, 6), "");
}

TEST(ResultsRow, ThreeObjectsPsfAndPeakPixelColumns) {
    MeasureState s = OneObjectState();
    s.ObjectCount = 3;
    s.TimeInserterType = 2;
    s.DataLines[0].Objects[1].PeakEstimate = 87.66;
    s.DataLines[0].Objects[3].PeakAboveBackground = 12.25;
    s.DataLines[0].Objects[3].TrackMode = kTrackOff;
    s.DataLines[0].Note = "n";
    RowContext c;
    c.psfPhotometry = true;
    std::string row = FormatResultRow(s, c, 0, true);
    EXPECT_EQ(Cells(row), 68u);
    EXPECT_EQ(GetField(row, 17), "87.7");
    EXPECT_EQ(GetField(row, 34), "0.0");
    EXPECT_EQ(GetField(row, 2), "\"\"");
    EXPECT_EQ(GetField(row, 65), "\"OFF\"");
    EXPECT_EQ(GetField(row, 68), "n");
    s.MeasurePeakPixel = 1;
    row = FormatResultRow(s, c, 0, true);
    EXPECT_EQ(GetField(row, 11), "0.0");
    EXPECT_EQ(GetField(row, 13), "12.3");  // 12.25 is exact: half away from zero
}

TEST(ResultsRow, FieldPairsInBothOrders) {
    for (bool oddFirst : {true, false}) {
        MeasureState s = OneObjectState();
        s.TimeInserterType = 1;
        s.Overlay = {"1", "2", "3.0", "4", "5", "6.0", "", ""};
        for (int i = 1; i <= 2; ++i) {
            s.DataLines[static_cast<size_t>(i)] = s.DataLines[0];
            s.DataLines[static_cast<size_t>(i)].Objects[1].Value = 100.0 * i;  // field 1: 100, field 2: 200
        }
        RowContext c;
        c.fieldMode = true;
        c.overlayTime = true;
        c.oddFirst = oddFirst;
        ResultsTable t;
        AppendResultRows(t, s, c);
        ASSERT_EQ(t.Count(), 2u);
        EXPECT_EQ(GetField(t[0], 1), "12.0");
        EXPECT_EQ(GetField(t[1], 1), "12.5");
        EXPECT_EQ(GetField(t[0], 11), oddFirst ? "100.0" : "200.0");
        EXPECT_EQ(GetField(t[1], 11), oddFirst ? "200.0" : "100.0");
        // The second row carries the second set of times; field mode leaves column 7 empty.
        EXPECT_EQ(GetField(t[0], 4) + GetField(t[0], 6) + GetField(t[0], 7), "13.0");
        EXPECT_EQ(GetField(t[1], 4) + GetField(t[1], 6) + GetField(t[1], 7), "46.0");
    }
}

TEST(FieldAccessors, EdgeRules) {
    const std::string row = "a,b,,\"d\"";
    EXPECT_EQ(GetField(row, 0), "a");
    EXPECT_EQ(GetField(row, -5), "a");
    EXPECT_EQ(GetField(row, 2), "b");
    EXPECT_EQ(GetField(row, 3), "");
    EXPECT_EQ(GetField(row, 4), "\"d\"");
    EXPECT_EQ(GetField(row, 5), "");
    EXPECT_EQ(GetField("", 1), "");
    std::string long_row;
    for (int i = 1; i <= 68; ++i) long_row += "cell" + std::to_string(i) + (i < 68 ? "," : "");
    ASSERT_GT(long_row.size(), 330u);
    EXPECT_EQ(GetField(long_row, 59), "cell59");

    std::string r = row;
    SetField(r, 2, "BB");
    EXPECT_EQ(r, "a,BB,,\"d\"");
    SetField(r, 0, "A");
    EXPECT_EQ(r, "A,BB,,\"d\"");
    SetField(r, 4, "x");  // the last field stays
    EXPECT_EQ(r, "A,BB,,\"d\"");
    SetField(r, 9, "x");
    EXPECT_EQ(r, "A,BB,,\"d\"");
    SetField(r, 3, "c");
    EXPECT_EQ(r, "A,BB,c,\"d\"");

    EXPECT_EQ(StripQuotes("\"Anchor\""), "Anchor");
    EXPECT_EQ(StripQuotes("\"\""), "\"");
    EXPECT_EQ(StripQuotes("\"\"\"\""), "\"\"");
    EXPECT_EQ(StripQuotes("a\"b"), "ab");
}

TEST(FormatDetection, Versions) {
    auto v = [](std::vector<std::string> lines) { return DetectResultsFormat(lines); };
    EXPECT_EQ(v({"Tevorin File Format (for Ver.0.9.26 later)"}).version, 2);
    EXPECT_EQ(v({"\"Tevorin File Format (for Ver.0.9.26 later)\""}).version, 2);
    EXPECT_EQ(v({"Tevorin File Format (for Ver.0.9.25 later)xyz"}).headerLines, 6);
    EXPECT_EQ(v({"Tevorin File Format (for Ver.0.9.25 later)"}).version, 1);
    EXPECT_EQ(v({"tevorin File Format (for Ver.0.9.26 later)"}).version, 0);
    EXPECT_EQ(v({"\"\"Tevorin File Format (for Ver.0.9.26 later)"}).version, 0);
    EXPECT_EQ(v({""}).version, 0);
    EXPECT_EQ(v({}).headerLines, 3);
}

TEST(SanitizeNumericText, Examples) {
    const std::pair<const char*, const char*> cases[] = {
        {".5", "0.5"}, {"5.", "5.0"}, {"1.2.3", "1.23"}, {"-.5", ".5"}, {"abc", "0"},
        {"", "0"},     {".", "0.0"},  {"-3", "3"},       {"12", "12"},  {"1e5", "15"}};
    for (auto [in, out] : cases) {
        std::string t = in;
        SanitizeNumericText(t);
        EXPECT_EQ(t, out) << in;
    }
}

// A file of lone CRs (a line per byte) is refused before its lines outgrow a 1 GiB
// address limit in a child; it used to end in std::bad_alloc and an abort.
TEST(ResultsFileRead, LineEndsOnlyAreRefusedWithinBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory needs the address space";
#endif
    const std::string blank = testing::TempDir() + "tevorin-blank-" + std::to_string(::getpid()) + ".csv";
    {
        std::ofstream f(blank, std::ios::binary);
        const std::string block(1 << 20, '\r');
        for (int i = 0; i < 64; ++i) f.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // The limit is counted above what the parent had mapped already (thread pools and
        // arenas of earlier tests in the same process), so only this read is bounded.
        size_t mapped = 0;
        {
            std::ifstream st("/proc/self/status");
            std::string key;
            while (st >> key) {
                if (key == "VmSize:") {
                    st >> mapped;
                    mapped *= 1024;
                    break;
                }
                st.ignore(1 << 12, '\n');
            }
        }
        const size_t cap = mapped + (size_t{1} << 30);
        struct rlimit lim {cap, cap};
        ::setrlimit(RLIMIT_AS, &lim);
        LoadedResults r;
        std::string e;
        ::_exit(!ReadResultsFile(blank, r, e) && e == "Too many lines for its size: " + blank ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::unlink(blank.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

// Blank lines are no rows wherever they stand; a UTF-8 byte-order mark is ignored;
// UTF-16 text is refused with a message that says so.
TEST(ResultsFileRead, BlankLinesAndByteOrderMarks) {
    MeasureState s = OneObjectState();
    const RowContext c;
    ResultsTable t;
    WriteResultsHeader(t, s, c);
    for (int i = 0; i < 50; ++i) {
        s.DataLines[0].FrameNo10 = 20 * i;
        AppendResultRows(t, s, c);
    }
    testutil::TempDir dir;
    auto load = [&](const std::string& bytes, LoadedResults& r) {
        testutil::WriteAll(dir.File("r.csv"), bytes);
        std::string error;
        return ReadResultsFile(dir.File("r.csv"), r, error) ? std::string() : error;
    };
    const std::string text = fileio::JoinLines(t.Lines());
    LoadedResults plain;
    ASSERT_EQ(load(text, plain), "");
    ASSERT_EQ(plain.lines.size(), 56u);
    ASSERT_EQ(plain.frameStep, 2);

    std::vector<std::string> lines = t.Lines();
    lines.insert(lines.begin() + 40, "");
    lines.insert(lines.begin() + 20, " \t ");
    lines.insert(lines.begin() + 6, "");  // before the first data row
    lines.insert(lines.begin() + 2, "");  // inside the header
    lines.insert(lines.end(), {"", "", "  "});
    for (const char* eol : {"\r\n", "\n"}) {
        LoadedResults blanks;
        ASSERT_EQ(load(fileio::JoinLines(lines, eol), blanks), "");
        EXPECT_EQ(blanks.lines, plain.lines);
        EXPECT_TRUE(blanks.firstDataRow == plain.firstDataRow && blanks.frameStep == plain.frameStep &&
                    blanks.format.version == 2 && blanks.videoFileName == plain.videoFileName);
    }
    LoadedResults marked;
    ASSERT_EQ(load("\xEF\xBB\xBF" + text, marked), "");
    EXPECT_EQ(marked.lines, plain.lines);

    auto utf16 = [&](bool bigEndian, bool mark) {
        std::string out = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
        for (char ch : text) out += bigEndian ? std::string{'\0', ch} : std::string{ch, '\0'};
        return out;
    };
    for (const auto& [bigEndian, mark] : {std::pair{false, true}, {true, true}, {false, false}, {true, false}}) {
        LoadedResults r;
        EXPECT_EQ(load(utf16(bigEndian, mark), r), "the file is UTF-16 text; save it as ANSI or UTF-8 text")
            << bigEndian << mark;
        EXPECT_TRUE(r.lines.empty());
    }
}
