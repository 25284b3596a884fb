#include "graph/light_curve.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdio>
#include <map>

#include "platform/file_io.h"
#include "support/test_util.h"

namespace {

// The oracle's table values: multiples of 1/8.
double Value(int k, int64_t i) { return static_cast<double>((i * (7919 + 104 * k)) % (20011 + 7 * k) - 5000 * k) / 8; }

std::string Row(const std::string& frame, const double* v, int objects) {
    std::string line = frame;
    for (int f = 2; f <= 60; ++f) {
        line += ',';
        if (f >= 11 && f < 11 + objects) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.3f", v[f - 11]);
            line += buf;
        }
    }
    return line;
}

// A format-2 table of n rows (field rows end in ".0" and ".5").
std::vector<std::string> Table(int n, bool field, int objects = 3, double (*value)(int, int64_t) = Value) {
    std::vector<std::string> lines(6, "header");
    lines.reserve(static_cast<size_t>(n) + 6);
    for (int i = 0; i < n; ++i) {
        const double v[3] = {value(1, i), value(2, i), value(3, i)};
        const std::string frame = field ? std::to_string(i / 2) + (i % 2 ? ".5" : ".0") : std::to_string(i) + ".0";
        lines.push_back(Row(frame, v, objects));
    }
    return lines;
}

std::string Num(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

}  // namespace

// Range, slider factors, horizontal scale, first row, scroll range and pixel
// mapping against the oracle's table, exactly, over row counts from 1 to 200,000.
TEST(LightCurve, MappingMatchesTheOracle) {
    const auto golden = fileio::SplitLines(testutil::ReadAll(testutil::DataFile("graph/mapping_golden.txt")));
    ASSERT_GT(golden.size(), 1000u);
    std::map<std::pair<int, int>, std::vector<std::string>> tables;
    LightCurveGraph graph;
    size_t index = 0;
    int mismatches = 0;
    for (int n : {1, 2, 100, 339, 340, 341, 1000, 200000})
        for (int field : {0, 1})
            for (int item : {0, 1})
                for (int narrow : {0, 1})
                    for (int scale : {0, 3, 5, 6, 10})
                        for (auto [smax, smin] : {std::pair{10, -10}, {20, -10}, {5, -20}, {10, 5}, {0, 20}}) {
                            if (n == 200000 && !((smax == 10 && smin == -10) || (smax == 5 && smin == -20))) continue;
                            auto& lines = tables[{n, field}];
                            if (lines.empty()) lines = Table(n, field);
                            GraphInputs in;
                            in.lines = &lines;
                            in.generation = static_cast<uint64_t>(n) * 2 + static_cast<uint64_t>(field);
                            const bool shown[3] = {true, smax != 5, true};
                            std::copy(shown, shown + 3, in.objectShown);
                            in.maxSlider = smax;
                            in.minSlider = smin;
                            GraphView g;
                            g.DataRowCount = n;
                            g.FieldMode = field;
                            g.EntireView = item;
                            g.NarrowLayoutSet = narrow;
                            g.PlotImageWidth = narrow ? 300 : 740;
                            g.XScaleBase = std::ldexp(1.0, scale - 5);
                            g.FirstShownFrame = n / 3;
                            g.SelectedFrame = n / 2;
                            g.RecentreOnScaleChange = scale % 2;
                            WidthChoice width{true, item};
                            ScrollRange scroll;
                            ASSERT_TRUE(graph.PrepareView(g, in, g.PlotImageWidth, 425, width, scroll));
                            char head[200];
                            std::snprintf(head, sizeof head,
                                          "n=%d field=%d item=%d narrow=%d scale=%d max=%d min=%d shown=%d%d%d recentre=%d | ", n,
                                          field, item, narrow, scale, smax, smin, shown[0], shown[1], shown[2], scale % 2);
                            std::string line = head;
                            for (double v : {g.GraphMin, g.GraphMax, g.YScale, g.YOffset, g.XScale}) line += Num(v) + " ";
                            for (int v : {g.ShownFrameCount, g.FirstShownFrame, scroll.position, scroll.maximum,
                                          int(width.enabled), width.itemIndex, int(g.EntireView)})
                                line += std::to_string(v) + " ";
                            line.back() = '|';
                            line.insert(line.size() - 1, " ");
                            for (double v : {g.GraphMin, g.GraphMax, 0.0, Value(1, g.FirstShownFrame), 1e300, -1e300})
                                line += " " + std::to_string(ValueToY(g, 425, v));
                            line += " |";
                            for (int i : {0, 1, g.ShownFrameCount - 1, g.ShownFrameCount}) line += " " + std::to_string(RowToX(g, i));
                            ASSERT_LT(index, golden.size());
                            if (line != golden[index] && ++mismatches <= 3)
                                ADD_FAILURE() << "case " << index << "\n got: " << line << "\nwant: " << golden[index];
                            ++index;
                        }
    EXPECT_EQ(index, golden.size());
    EXPECT_EQ(mismatches, 0);
}

TEST(LightCurve, OracleReproducesItsGoldenFile) {
    testutil::TempDir dir;
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/graph_mapping_oracle.py' " + dir.File("g")), 0);
    EXPECT_TRUE(testutil::ReadAll(dir.File("g")) == testutil::ReadAll(testutil::DataFile("graph/mapping_golden.txt")));
}

namespace {

struct Drawn {
    GraphView g;
    QImage image{740, 425, QImage::Format_RGB32};
    GraphShowResult result;
    QRgb At(int x, int y) const { return image.pixel(x, y) & 0xFFFFFF; }
    // Any pixel of the colour within +-1 px.
    bool Near(int x, int y, uint32_t tcolor) const {
        const QRgb want = TColorToQColor(tcolor).rgb() & 0xFFFFFF;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (At(x + dx, y + dy) == want) return true;
        return false;
    }
    bool Any(QRect box, uint32_t tcolor) const {
        const QRgb want = TColorToQColor(tcolor).rgb() & 0xFFFFFF;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (At(x, y) == want) return true;
        return false;
    }
};

template <typename Setup>
Drawn Draw(const std::vector<std::string>& lines, Setup setup) {
    Drawn d;
    d.image.fill(QColor(1, 2, 3));
    GraphInputs in;
    in.lines = &lines;
    in.objectShown[1] = in.objectShown[2] = true;
    d.g.DataRowCount = std::max(1, static_cast<int>(lines.size()) - 6);
    setup(d.g, in);
    WidthChoice width{true, 0};
    ScrollRange scroll;
    LightCurveGraph graph;
    d.result = graph.GraphShow3(d.g, in, d.image, nullptr, width, scroll);
    return d;
}

double Same(int, int64_t i) { return 100 + 10 * (i % 7); }
double Signed(int, int64_t i) { return i % 2 ? 300.0 : -150.0; }
double Zero(int, int64_t) { return 0; }

}  // namespace

// Axis, zero line, the current object on top, the red selected row, integration
// blocks with their numbers, green level ranges, frame labels only on ".0" rows.
TEST(LightCurve, PixelProbes) {
    const auto same = Table(100, false, 3, Same);
    for (int current : {1, 2, 3}) {
        Drawn d = Draw(same, [&](GraphView& g, GraphInputs& in) {
            in.currentObject = current;
            g.SelectedFrame = 5;
        });
        ASSERT_TRUE(d.result.drawn);
        const int x = RowToX(d.g, 20), y = ValueToY(d.g, 425, Same(1, 20));
        const uint32_t marker[4] = {0, 0xFF0000, 0x00AAFF, 0xFF00FF};
        EXPECT_EQ(d.At(x, y), TColorToQColor(marker[current]).rgb() & 0xFFFFFF) << "current " << current;
        EXPECT_TRUE(d.Near(RowToX(d.g, 5), ValueToY(d.g, 425, Same(1, 5)), 0x0000FF));
        EXPECT_EQ(d.g.SelectedMarkerX[current], RowToX(d.g, 5));
        // Positive data: 0 is the bottom of the axis, on the base line.
        EXPECT_EQ(d.g.GraphMin, 0.0);
        EXPECT_EQ(ValueToY(d.g, 425, 0), 385);
        EXPECT_TRUE(d.Any(QRect(30, 375, 19, 12), 0x000000)) << "label 0";
        EXPECT_EQ(d.At(50, 200), 0u) << "axis";
    }
    // Negative values: the zero line crosses the plot, grid lines are aqua.
    Drawn s = Draw(Table(100, false, 1, Signed), [](GraphView&, GraphInputs&) {});
    EXPECT_EQ(s.At(700, ValueToY(s.g, 425, 0)), 0u);
    EXPECT_TRUE(s.Any(QRect(700, 21, 1, 360), 0xFFFF00));
    // The Min slider above negative data: the points keep the grid's offset, so
    // the largest value stays at the top of the plot.
    Drawn m = Draw(Table(100, false, 1, Signed), [](GraphView&, GraphInputs& in) { in.minSlider = 5; });
    ASSERT_LT(m.g.YOffset, 0);
    EXPECT_EQ(ValueToY(m.g, 425, 300), 20);
    EXPECT_TRUE(m.Near(RowToX(m.g, 1), 20, 0xFF0000));

    // Field rows: ticks under "10.0" (row 20), none under "10.5" or "15.0".
    Drawn f = Draw(Table(100, true, 1, Same), [](GraphView& g, GraphInputs&) { g.FieldMode = 1; });
    EXPECT_EQ(f.At(RowToX(f.g, 20), 388), 0u);
    EXPECT_NE(f.At(RowToX(f.g, 21), 388), 0u);
    EXPECT_NE(f.At(RowToX(f.g, 30), 388), 0u);

    // Blocks of 8 from row 3: starts aqua, ends magenta, A numbered from Scale 7.
    Drawn b = Draw(Table(100, false, 1, Same), [](GraphView& g, GraphInputs&) {
        g.IntegrationMarking = 1;
        g.IntegrationFrames = 8;
        g.IntegrationPhase = 3;
        g.ScaleLevel = 7;
        g.XScaleBase = 4;
    });
    for (int row : {3, 11, 19}) EXPECT_TRUE(b.Near(RowToX(b.g, row), ValueToY(b.g, 425, Same(1, row)), 0xFFFF00)) << row;
    for (int row : {2, 10, 18}) EXPECT_TRUE(b.Near(RowToX(b.g, row), ValueToY(b.g, 425, Same(1, row)), 0xFF00FF)) << row;
    EXPECT_TRUE(b.Near(RowToX(b.g, 5), ValueToY(b.g, 425, Same(1, 5)), 0xFF0000));
    const auto labelBox = [&](int row) { return QRect(RowToX(b.g, row) - 4, ValueToY(b.g, 425, Same(1, row)) + 12, 10, 12); };
    EXPECT_TRUE(b.Any(labelBox(3), 0xFF0000)) << "1 in blue";
    EXPECT_TRUE(b.Any(labelBox(10), 0xFF00FF)) << "8 in magenta";
    EXPECT_FALSE(b.Any(labelBox(2), 0xFF00FF)) << "row 2 is 8 of the block before row 3's block: no label below 0";

    // Diffraction mode: the before and after ranges are green around the selection.
    Drawn r = Draw(Table(100, false, 1, Same), [](GraphView& g, GraphInputs&) {
        g.DiffractionMode = 1;
        g.SelectedFrame = 50;
    });
    for (int row : {20, 39, 61, 80}) EXPECT_TRUE(r.Near(RowToX(r.g, row), ValueToY(r.g, 425, Same(1, row)), 0x55BB22)) << row;
    for (int row : {19, 45, 81}) EXPECT_FALSE(r.Near(RowToX(r.g, row), ValueToY(r.g, 425, Same(1, row)), 0x55BB22)) << row;
}

// The information line drawn again after a fit, now shorter than before (an angle
// of "---" after "12.5"), leaves nothing of the longer line: its strip reads as in
// a graph drawn afresh, also with a time and without.
TEST(LightCurve, InformationLineIsClearedBeforeItIsDrawnAgain) {
    const auto table = Table(100, false, 1, Same);
    for (const bool time : {false, true}) {
        auto setup = [&](const std::string& offset, const std::string& angle) {
            return [=](GraphView& g, GraphInputs& in) {
                g.DiffractionMode = 1;
                g.SelectedFrame = 50;
                g.EventOffsetText = offset;
                g.EventErrorText = "0.012";
                g.ContactAngleText = angle;
                if (time) in.hourText = "12", in.minuteText = "34", in.secondText = "56.789", in.frameEndText = "56.806";
            };
        };
        Drawn before = Draw(table, setup("-0.1234", "12.5"));
        const Drawn afresh = Draw(table, setup("0.1", "---"));
        ASSERT_TRUE(before.result.drawn && afresh.result.drawn);
        GraphInputs in;
        in.lines = &table;
        setup("0.1", "---")(before.g, in);
        LightCurveGraph().InformationShow(before.g, in, before.image);
        EXPECT_EQ(before.g.InformationText, afresh.g.InformationText);
        EXPECT_NE(before.g.InformationText.find("ContactAngle=---deg"), std::string::npos) << before.g.InformationText;
        const QRect strip(0, 425 - 18, 740, 18);
        EXPECT_EQ(before.image.copy(strip), afresh.image.copy(strip)) << "time " << time;
    }
}

// A value that is not finite, or so large that the scale would overflow, counts as
// an empty field: the picture is the one of the same table with that field empty.
TEST(LightCurve, OneNonFiniteOrHugeValueLeavesTheOtherRowsGraph) {
    auto withField = [](const std::string& text) {
        auto lines = Table(60, false, 3, Same);
        std::string& row = lines[6 + 25];
        const size_t start = [&] {
            size_t at = 0;
            for (int f = 1; f < 11; ++f) at = row.find(',', at) + 1;
            return at;
        }();
        row.replace(start, row.find(',', start) - start, text);
        return lines;
    };
    const Drawn blank = Draw(withField(""), [](GraphView&, GraphInputs&) {});
    ASSERT_TRUE(blank.result.drawn);
    EXPECT_EQ(blank.g.GraphMax, 160.0);
    for (const char* bad : {"1e308", "-1e308", "1.7e308", "1e301", "nan", "inf", "-inf", "1e999"}) {
        for (int slider : {10, 20}) {
            const auto setup = [&](GraphView&, GraphInputs& in) { in.maxSlider = slider, in.minSlider = -slider; };
            const Drawn d = Draw(withField(bad), setup);
            const Drawn ref = Draw(withField(""), setup);
            ASSERT_TRUE(d.result.drawn) << bad;
            EXPECT_TRUE(d.g.GraphMax == ref.g.GraphMax && d.g.YScale == ref.g.YScale && d.g.YOffset == ref.g.YOffset)
                << bad << ": GraphMax=" << Num(d.g.GraphMax) << " YScale=" << Num(d.g.YScale) << " YOffset=" << Num(d.g.YOffset);
            EXPECT_TRUE(d.image == ref.image) << bad;
        }
    }
    // The largest value still taken is drawn to scale.
    const Drawn edge = Draw(withField("1e300"), [](GraphView&, GraphInputs& in) { in.maxSlider = 20; });
    EXPECT_TRUE(edge.result.drawn && edge.g.GraphMax == 2e300 && std::isfinite(edge.g.YOffset));
}

// Tables that are empty, all zero, not numbers, huge, backward, or long: no crash,
// no hang; an all-zero table leaves the picture as it was.
TEST(LightCurve, HostileTables) {
    const QColor fill(1, 2, 3);
    for (int rows : {0, 1, 5}) {
        Drawn d = Draw(Table(rows, false, 3, Zero), [](GraphView&, GraphInputs&) {});
        EXPECT_FALSE(d.result.drawn);
        EXPECT_EQ(d.image.pixel(100, 100), fill.rgb()) << rows;
    }
    std::vector<std::string> odd(6, "h");
    for (const char* v : {"abc", "1e300", "-1e300", "nan", "inf", "", "12", "1e999", "0x10"})
        odd.push_back(std::string("1.0,,,,,,,,,,") + v + ",,");
    odd.push_back("");
    odd.push_back(",");
    Drawn d = Draw(odd, [](GraphView& g, GraphInputs& in) {
        in.frameStep = -3;
        g.FirstShownFrame = 100000;
        g.SelectedFrame = 3;
        g.DataRowCount = 50;  // past the table's end
    });
    EXPECT_TRUE(d.result.drawn);
    EXPECT_EQ(d.g.GraphMax, 1e300);
    EXPECT_GE(d.g.YGridStep, 1);
    const auto longTable = Table(200000, false);
    Drawn l = Draw(longTable, [](GraphView& g, GraphInputs& in) {
        in.frameStep = 0;
        g.ScaleLevel = 0;
        g.XScaleBase = 1.0 / 32;
        in.maxSlider = 0;
        in.minSlider = 20;
    });
    EXPECT_TRUE(l.result.drawn);
}
