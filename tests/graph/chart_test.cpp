// The graph window offscreen, over a results table set into the main window.
#include "graph/chart.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <cmath>

#include "measure/main_2.h"
#include "platform/file_io.h"
#include <cstring>
#include "support/main_window_fixture.h"

namespace {

// Format-2 rows: frame i (field rows "i/2.0" and "i/2.5"), A = 100 + 10 (i mod 7),
// B = A + 1000, C = A + 2000, A's position columns 25/26 = (i, 2i).
std::vector<std::string> Rows(int n, bool field) {
    std::vector<std::string> lines = {kFormatText2, "\"FileName : /v/moon.avi\"", "\"Video System : PAL , FrameRate=25.00\"",
                                      ",", ",", "\"No.\""};
    for (int i = 0; i < n; ++i) {
        std::string line = field ? std::to_string(i / 2) + (i % 2 ? ".5" : ".0") : std::to_string(i) + ".0";
        for (int f = 2; f <= 60; ++f) {
            line += ',';
            if (f >= 11 && f <= 13) line += std::to_string(100 + 10 * (i % 7) + 1000 * (f - 11));
            if (f == 25) line += std::to_string(i);
            if (f == 26) line += std::to_string(2 * i);
        }
        lines.push_back(line);
    }
    return lines;
}

struct Chart : testutil::GraphWindowTest {
    Tchart1& Open(int n, bool field = false, int objects = 1) {
        w->Table.Assign(Rows(n, field));
        w->State.ResultsLoaded = 1;
        w->State.VideoFrameRateInt = 25;
        w->State.ObjectCount = objects;
        return Reopen();
    }
    Tchart1& Reopen() {
        if (chart1) chart1->close();
        QCoreApplication::processEvents();
        if (chart1) delete chart1;
        w->OpenGraphWindow();
        EXPECT_NE(chart1, nullptr);
        return *chart1;
    }
    // A click on row r's point of object A.
    void ClickRow(Tchart1& c, int r) {
        const double v = 100 + 10 * (r % 7);
        c.ChartImg1MouseUp(Qt::LeftButton, RowToX(Graph, r - Graph.FirstShownFrame), ValueToY(Graph, 425, v));
    }
};

}  // namespace

// Clicking picks the nearest row and fills the edits; a second click clears it.
// "Reproduce Aperture Position" takes A's position from the row, B and C their
// defaults when their columns are empty.
TEST_F(Chart, ClickSelectsAndDeselects) {
    Tchart1& c = Open(100);
    c.CheckBox2->setChecked(false);
    c.CheckBox3->setChecked(true);
    ClickRow(c, 37);
    EXPECT_EQ(Graph.SelectedFrame, 37);
    EXPECT_EQ(c.Edit4->text(), "37.0");
    EXPECT_EQ(c.Edit6->text(), "120");
    EXPECT_EQ(Graph.SelectedMaxOffset, 62);
    const auto& o = w->State.DataLines[0].Objects;
    EXPECT_EQ(std::vector<int>({o[1].StartX, o[1].StartY, o[2].StartX, o[2].StartY, o[3].PosX, o[3].PosY}),
              std::vector<int>({37, 74, 80, 40, 120, 40}));
    EXPECT_EQ(Graph.SelectedMarkerX[1], RowToX(Graph, 37));
    ClickRow(c, 37);
    EXPECT_EQ(Graph.SelectedFrame, -1);
    EXPECT_EQ(c.Edit4->text(), "");
    EXPECT_EQ(c.Edit6->text(), "");
    // Outside the plot nothing happens.
    c.ChartImg1MouseUp(Qt::LeftButton, 20, 200);
    EXPECT_EQ(Graph.SelectedFrame, -1);
}

// Seconds back and forth on frame and field rows, the Width choice with recentring,
// the Scale, and the view kept on reopening.
TEST_F(Chart, NavigationWidthAndReopening) {
    Tchart1& c = Open(2000);
    EXPECT_TRUE(c.RadioGroup1->isEnabled());
    EXPECT_EQ(c.RadioGroup1->ItemIndex(), 1);
    EXPECT_DOUBLE_EQ(Graph.XScale, 0.34);
    c.RadioGroup1->SelectByUser(0);
    EXPECT_EQ(Graph.EntireView, 0);
    EXPECT_EQ(Graph.ShownFrameCount, 340);
    c.ScrollBar1->setValue(40);
    EXPECT_EQ(Graph.FirstShownFrame, 40);
    c.Button3->click();
    EXPECT_EQ(Graph.FirstShownFrame, 15);
    c.Button5->click();
    EXPECT_EQ(Graph.FirstShownFrame, 0);
    c.Button6->click();
    EXPECT_EQ(Graph.FirstShownFrame, 250);
    c.Button4->click();
    EXPECT_EQ(c.ScrollBar1->value(), 275);
    // A selection far right, then a scale change centres the view on it.
    ClickRow(c, 400);
    ASSERT_EQ(Graph.SelectedFrame, 400);
    c.UpDown2->SetPositionByUser(6);
    EXPECT_EQ(c.Edit5->text(), "2");
    EXPECT_EQ(Graph.FirstShownFrame, 400 - 170 / 2);
    // Reopening keeps the selection, the scale and Part, from row 0 on.
    Tchart1& again = Reopen();
    EXPECT_EQ(Graph.SelectedFrame, 400);
    EXPECT_EQ(again.UpDown2->Position(), 6);
    EXPECT_EQ(again.RadioGroup1->ItemIndex(), 0);
    // Field rows: a second is 50 rows.
    Graph.GraphResetPending = 1;
    Tchart1& f = Open(400, true);
    EXPECT_EQ(Graph.FieldMode, 1);
    f.RadioGroup1->SelectByUser(0);
    f.ScrollBar1->setValue(40);
    ASSERT_EQ(Graph.FirstShownFrame, 40);
    f.Button3->click();
    EXPECT_EQ(Graph.FirstShownFrame, 0);
}

// Object boxes: the last checked measured object cannot be unchecked; Reset with
// three objects keeps all three enabled after reopening.
TEST_F(Chart, ObjectBoxesAndReset) {
    Tchart1& c = Open(50, false, 2);
    EXPECT_TRUE(c.CheckBox4->isEnabled() && c.CheckBox5->isEnabled());
    EXPECT_FALSE(c.CheckBox6->isEnabled() || c.CheckBox6->isChecked());
    c.CheckBox5->click();
    EXPECT_FALSE(c.CheckBox4->isEnabled());
    c.CheckBox5->click();
    EXPECT_TRUE(c.CheckBox4->isEnabled());
    w->State.ObjectCount = 3;
    c.CheckBox4->click();
    c.Button9->click();
    EXPECT_TRUE(c.CheckBox4->isChecked() && c.CheckBox5->isChecked() && c.CheckBox6->isChecked());
    Tchart1& again = Reopen();
    EXPECT_TRUE(again.CheckBox4->isEnabled() && again.CheckBox5->isEnabled() && again.CheckBox6->isEnabled());
    // The narrow layout and back.
    again.CheckBox1->click();
    EXPECT_EQ(again.ChartImg1->Picture().width(), 300);
    EXPECT_EQ(again.CheckBox1->text(), "Wide");
    EXPECT_FALSE(again.RadioGroup1->isEnabled());
    EXPECT_EQ(Graph.EntireView, 0);
    Tchart1& narrow = Reopen();
    EXPECT_EQ(narrow.ChartImg1->Picture().width(), 300);
    narrow.CheckBox1->click();
    EXPECT_EQ(narrow.ChartImg1->Picture().width(), 740);
    EXPECT_EQ(Graph.NarrowLayoutSet, 0);
}

// "Fix Graph's Min & Max" keeps the range of the last drawing; the sliders apply
// to it once, however often the graph is drawn.
TEST_F(Chart, FixedRangeAndSliders) {
    Tchart1& c = Open(50);
    EXPECT_EQ(Graph.GraphMax, 160);
    w->FixMin6MaxofGraph1->setChecked(true);
    w->Table.Set(6, "0.0,,,,,,,,,,900,,");
    c.ScrollBar2->setValue(5);
    c.GraphShow3();
    c.GraphShow3();
    EXPECT_EQ(Graph.GraphMax, 80);
    w->FixMin6MaxofGraph1->setChecked(false);
    c.GraphShow3();
    EXPECT_EQ(Graph.GraphMax, 450);
    c.Button1->click();
    EXPECT_FALSE(w->FixMin6MaxofGraph1->isEnabled() || w->FixMin6MaxofGraph1->isChecked());
}

// The three messages, word for word.
TEST_F(Chart, Messages) {
    Tchart1& c = Open(50, false, 1);
    c.Button8->click();
    c.Button11->click();
    ClickRow(c, 10);
    c.Button11->click();
    c.CheckBox5->setEnabled(true);
    c.CheckBox5->click();
    c.Button8->click();
    EXPECT_EQ(dialogs.Texts("information"),
              std::vector<std::string>({"Select target frame by clicking the graph area",
                                        "Select target frame by clicking the graph area",
                                        "This function is available when two or more stars are already measured.",
                                        "This function can work when only blue line of target star is displayed.\n\r"
                                        "Click \"B\" or \"C\" to erase the yellow or magenta line."}));
}

// Export: the clipboard image and both saves hold ChartImg1's 740 x 425 pixels, as
// decoded by ffmpeg; the JPEG type turns a typed ".png" name into ".jpg".
TEST_F(Chart, Export) {
    Tchart1& c = Open(300, false, 3);
    const QImage picture = c.ChartImg1->Picture().convertToFormat(QImage::Format_RGB888);
    c.Button7->click();
    EXPECT_EQ(dialogs.clipboardImage.convertToFormat(QImage::Format_RGB888), picture);
    dialogs.fileAnswers.push_back({dir.File("a.png"), 2});
    c.Button12->click();
    EXPECT_EQ(dialogs.shown.back().filter,
              "Portable Network Graphics (*.png);;Joint Picture Expert Group (*.jpg);;Windows Bitmap (*.bmp)");
    dialogs.fileAnswers.push_back({dir.File("b.png"), 3});
    c.SaveToFile1->trigger();
    EXPECT_EQ(dialogs.shown.back().filter, "PNG (*.png);;JPEG (*.jpg);;BitMap (*.bmp)");
    dialogs.fileAnswers.push_back({dir.File("c.png"), 1});
    c.SaveToFile1->trigger();
    EXPECT_FALSE(fileio::FileExists(dir.File("a.png")));
    EXPECT_EQ(testutil::ReadAll(dir.File("a.jpg")).substr(0, 3), "\xFF\xD8\xFF");
    EXPECT_EQ(testutil::ReadAll(dir.File("b.bmp")).substr(0, 2), "BM");
    EXPECT_EQ(testutil::ReadAll(dir.File("c.png")).substr(0, 4), "\x89PNG");
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    for (const char* name : {"b.bmp", "c.png"}) {
        std::string raw;
        ASSERT_EQ(testutil::Run("ffmpeg -v error -i '" + dir.File(name) + "' -f rawvideo -pix_fmt rgb24 -", &raw), 0);
        ASSERT_EQ(raw.size(), size_t{740 * 425 * 3}) << name;
        int diffs = 0;
        for (int y = 0; y < 425 && diffs < 3; ++y)
            if (std::memcmp(raw.data() + y * 740 * 3, picture.constScanLine(y), 740 * 3) != 0) {
                ++diffs;
                ADD_FAILURE() << name << " differs in row " << y;
            }
    }
}
