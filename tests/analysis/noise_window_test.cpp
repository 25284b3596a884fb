// The FFT and noise-reduction windows offscreen, opened from the graph window as a
// user does: openers and their guards, enabling per method, the edits, a pass on
// the worker against the core, the graph redrawn, errors, Reset, closing during a
// pass, the listing and its file.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "analysis/AvgBkg1.h"
#include "analysis/FFT1.h"
#include "analysis/fft.h"
#include "analysis_golden.h"
#include "graph/chart.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "support/test_util.h"

namespace {

struct NoiseWindow : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> w;
    std::vector<std::string> table;
    void SetUp() override {
        dialogs.Install();
        SetSettingsFilePath(dir.File("tevorin.ini"));
        Graph = GraphView{};
        w = std::make_unique<TPlatform>();
        table = fileio::SplitLines(testutil::ReadAll(agolden::Path("noise_long.csv")));
        Load(table, 3);
    }
    void TearDown() override {
        if (AvgBkg) AvgBkg->close();
        if (FFT1) FFT1->close();
        if (chart1) chart1->close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w.reset();
        SetSettingsFilePath("");
    }
    void Load(const std::vector<std::string>& lines, int objects, uint8_t version = 2) {
        w->Table.Assign(lines);
        w->State.ResultsLoaded = 1;
        w->State.ResultsFormatVersion = version;
        w->State.ObjectCount = objects;
    }
    TAvgBkg& Open() {
        if (!chart1) w->OpenGraphWindow();
        EXPECT_NE(chart1, nullptr);
        chart1->SpeedButton1->click();
        EXPECT_NE(AvgBkg, nullptr);
        return *AvgBkg;
    }
    void Apply(TAvgBkg& a) {
        a.Button1->click();
        a.WaitForPass();
    }
};

}  // namespace

TEST_F(NoiseWindow, OpenersAndTheirGuards) {
    TAvgBkg& a = Open();
    EXPECT_EQ(a.windowTitle().toStdString(), "Noise Reduction for Graph");
    EXPECT_EQ(Graph.AvgBkgOpen, 1);
    EXPECT_EQ(Graph.AvgBkgLaunched, 1);
    // Once open, "Noise Reduction" opens no second window.
    chart1->SpeedButton1->click();
    EXPECT_EQ(AvgBkg, &a);
    // Closing the graph clears its flags; a graph opened again makes no second window.
    chart1->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    w->OpenGraphWindow();
    ASSERT_NE(chart1, nullptr);
    chart1->SpeedButton1->click();
    EXPECT_EQ(AvgBkg, &a);
    EXPECT_EQ(Graph.AvgBkgLaunched, 0);
    a.Button2->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(AvgBkg, nullptr);
    EXPECT_EQ(Graph.AvgBkgOpen, 0);
    EXPECT_EQ(Graph.AvgBkgLaunched, 0);
    EXPECT_TRUE(fft::Fft.FftReIn.empty());
    // Format 0, or fewer than 8 lines: nothing opens.
    w->State.ResultsFormatVersion = 0;
    chart1->SpeedButton1->click();
    EXPECT_EQ(AvgBkg, nullptr);
    w->State.ResultsFormatVersion = 2;
    w->Table.Assign(std::vector<std::string>(table.begin(), table.begin() + 7));
    chart1->SpeedButton1->click();
    EXPECT_EQ(AvgBkg, nullptr);
    // "FFT" opens a new window at each click.
    chart1->Button10->click();
    TFFT1* first = FFT1;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle().toStdString(), "FFT1");
    chart1->Button10->click();
    EXPECT_NE(FFT1, first);
    first->close();
}

TEST_F(NoiseWindow, ControlsPerMethodAndEdits) {
    TAvgBkg& a = Open();
    // Opening: object boxes by the object count, lengths 2w + 1, range and statistics.
    EXPECT_TRUE(a.CheckBox1->isChecked());
    EXPECT_FALSE(a.CheckBox2->isChecked());
    EXPECT_TRUE(a.CheckBox3->isEnabled());
    EXPECT_EQ(a.Edit1->text().toStdString(), "1");
    EXPECT_EQ(a.Edit10->text().toStdString(), "100");
    EXPECT_EQ(a.Edit11->text().toStdString(), "699");
    EXPECT_EQ(a.Edit4->text().toStdString(), "20544.3");  // numpy: mean 20544.265, sd 613.82
    EXPECT_EQ(a.Edit7->text().toStdString(), "613.8");
    EXPECT_EQ(a.Edit16->text().toStdString(), "2.9");
    EXPECT_EQ(a.Edit23->text().toStdString(), "0.70");
    EXPECT_EQ(a.RadioGroup1->Count(), 5);
    EXPECT_TRUE(a.GroupBox1->isEnabled());
    EXPECT_FALSE(a.GroupBox2->isEnabled());
    EXPECT_FALSE(a.RadioGroup2->isEnabled());
    EXPECT_FALSE(a.GroupBox5->isEnabled());
    a.RadioGroup1->SelectByUser(3);
    EXPECT_FALSE(a.GroupBox1->isEnabled());
    EXPECT_TRUE(a.GroupBox2->isEnabled());
    EXPECT_TRUE(a.RadioGroup2->isEnabled());
    EXPECT_TRUE(a.Edit15->isEnabled());
    EXPECT_FALSE(a.GroupBox5->isEnabled());
    a.RadioGroup2->SelectByUser(0);
    EXPECT_EQ(Graph.FftSize, 512);
    EXPECT_EQ(a.Edit16->text().toStdString(), "5.9");
    // A cut-off above N becomes "100" on Enter.
    a.Edit15->setText("2000");
    emit a.Edit15->returnPressed();
    EXPECT_EQ(a.Edit15->text().toStdString(), "100");
    a.RadioGroup1->SelectByUser(4);
    EXPECT_EQ(Graph.FftSize, 1024);
    EXPECT_EQ(a.RadioGroup2->ItemIndex(), 2);
    EXPECT_FALSE(a.RadioGroup2->isEnabled());
    EXPECT_TRUE(a.GroupBox5->isEnabled());
    a.UpDown4->ClickArrow(false);
    EXPECT_EQ(a.Edit23->text().toStdString(), "0.69");
    // An up-down shows 2w + 1 in blue and marks its object until Apply.
    a.RadioGroup1->SelectByUser(0);
    a.UpDown2->ClickArrow(true);
    EXPECT_EQ(a.Edit2->text().toStdString(), "3");
    EXPECT_NE(a.Edit2->styleSheet().indexOf("blue"), -1);
    EXPECT_NE(a.CheckBox2->styleSheet().indexOf("#a6caf0"), -1);
    Apply(a);
    EXPECT_EQ(a.Edit2->styleSheet(), "");
    EXPECT_EQ(a.CheckBox2->styleSheet(), "");
    // Enter sanitises the offset and spot edits.
    a.Edit12->setText("-1a2");
    emit a.Edit12->returnPressed();
    EXPECT_EQ(a.Edit12->text().toStdString(), "12");
}

TEST_F(NoiseWindow, PassesOnTheWorkerMatchTheCoreAndRedrawTheGraph) {
    TAvgBkg& a = Open();
    a.CheckBox2->setChecked(true);
    a.UpDown1->SetPositionByUser(5);
    a.RadioGroup1->SelectByUser(3);
    a.Edit12->setText("9999");
    const noise::Controls c = a.CurrentControls();
    const noise::Outcome want = noise::Apply(table, c);
    const uint64_t drawnBefore = w->Table.Generation();
    const QImage before = chart1->ChartImg1->Picture().copy();
    Apply(a);
    EXPECT_EQ(w->Table.Lines(), want.lines);
    EXPECT_GT(w->Table.Generation(), drawnBefore);
    EXPECT_EQ(a.Edit12->text().toStdString(), "-212");  // centred: 600 rows in 1024
    EXPECT_NE(chart1->ChartImg1->Picture(), before);
    EXPECT_EQ(a.ProgressBar1->value(), 0);
    // Wavelet: sigma shown.
    a.RadioGroup1->SelectByUser(4);
    Apply(a);
    EXPECT_FALSE(a.Edit24->text().isEmpty());
    // Reset: method 0, lengths 1, the unsmoothed values of every object.
    a.Button3->click();
    a.WaitForPass();
    EXPECT_EQ(a.RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(a.Edit1->text().toStdString(), "1");
    EXPECT_EQ(a.UpDown1->Position(), 0);
    noise::Controls plain = c;
    plain.method = 0;
    plain.halfWidth = {0, 0, 0};
    EXPECT_EQ(w->Table.Lines(), noise::Reset(table, plain).lines);
    EXPECT_TRUE(dialogs.Texts("error").empty());
}

TEST_F(NoiseWindow, ConversionErrorKeepsTheTableAndClosingCancels) {
    auto bad = table;
    SetField(bad[20], 17, "12.5");
    Load(bad, 3);
    TAvgBkg& a = Open();
    a.RadioGroup1->SelectByUser(1);
    Apply(a);
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error")[0], "'12.5' is not a valid integer value");
    EXPECT_EQ(w->Table.Lines(), bad);
    // A long table: closing the window during the pass cancels it and writes nothing.
    std::vector<std::string> big(table.begin(), table.begin() + 6);
    for (int k = 0; k < 300; ++k) big.insert(big.end(), table.begin() + 6, table.end());
    Load(big, 3);
    a.RadioGroup1->SelectByUser(0);
    a.UpDown1->SetPositionByUser(50);
    a.Button1->click();
    EXPECT_TRUE(a.PassRunning());
    a.close();
    EXPECT_EQ(w->Table.Lines(), big);
}

TEST_F(NoiseWindow, ATableChangedDuringThePassIsNotOverwritten) {
    TAvgBkg& a = Open();
    a.Button1->click();
    // A row measured while the pass runs (the worker has its own copy).
    w->Table.Append(table.back());
    a.WaitForPass();
    EXPECT_EQ(dialogs.Texts("error").back(), "The results table changed while the noise reduction ran; nothing was rewritten.");
    auto expected = table;
    expected.push_back(table.back());
    EXPECT_EQ(w->Table.Lines(), expected);
}

TEST_F(NoiseWindow, FftListingAndItsFile) {
    w->OpenGraphWindow();
    chart1->Button10->click();
    ASSERT_NE(FFT1, nullptr);
    TFFT1& f = *FFT1;
    // 606 lines are fewer than 1024 + 7: the memo stays empty and a box tells
    // how many rows the transform needs.
    f.Button1->click();
    EXPECT_TRUE(f.Memo1->toPlainText().isEmpty());
    ASSERT_FALSE(dialogs.Texts("information").empty());
    EXPECT_EQ(dialogs.Texts("information").back(), "The FFT of 1024 points needs 1025 rows of results; this table has 600.");
    Graph.FftSize = 512;
    f.Button1->click();
    const QStringList lines = f.Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 256);
    EXPECT_TRUE(lines[1].startsWith("0.058535,"));
    dialogs.fileAnswers.push_back(dir.File("spectrum.csv"));
    f.SavetoCSVfile1->trigger();
    const std::string saved = testutil::ReadAll(dir.File("spectrum.csv"));
    EXPECT_EQ(saved.substr(0, size_t(lines[0].size()) + 2), lines[0].toStdString() + "\r\n");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 256);
}

// A PAL table: the spectrum's and the cut-off's frequencies count 25 rows a second.
TEST_F(NoiseWindow, FrequenciesOfAPalTable) {
    auto pal = table;
    pal[2] = "\"Video System : PAL , FrameRate=25.00\"";
    Load(pal, 3);
    TAvgBkg& a = Open();
    EXPECT_EQ(a.Edit16->text().toStdString(), "2.4");  // 100 x 25 / 1024 = 2.44
    chart1->Button10->click();
    ASSERT_NE(FFT1, nullptr);
    Graph.FftSize = 512;
    FFT1->Button1->click();
    const QStringList lines = FFT1->Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 256);
    EXPECT_TRUE(lines[1].startsWith("0.048828,")) << lines[1].toStdString();  // 25 / 512
}

// Begin and End of the statistics are each read on their own: a Begin that is no
// number is named in the box and put back, and a valid End after it is taken.
TEST_F(NoiseWindow, StatisticsBeginAndEndAreReadEachOnItsOwn) {
    TAvgBkg& a = Open();
    auto enter = [](QLineEdit* e, const char* text) {
        e->setText(text);
        emit e->editingFinished();
    };
    auto shown = [&] { return a.Edit10->text().toStdString() + ".." + a.Edit11->text().toStdString() + " " + a.Edit4->text().toStdString(); };
    const std::string all = shown();
    enter(a.Edit10, "xyz");
    EXPECT_EQ(dialogs.Texts("error"), std::vector<std::string>{"Statistics \"Begin\": 'xyz' is not a valid integer value"});
    EXPECT_EQ(shown(), all);
    enter(a.Edit11, "199");
    EXPECT_EQ(dialogs.Texts("error").size(), 1u);
    const std::string firstHundred = shown();
    EXPECT_EQ(firstHundred.substr(0, 9), "100..199 ");
    EXPECT_NE(firstHundred, "100..199" + all.substr(all.find(' ')));
    // An End that is no number: named, put back to the End last taken.
    enter(a.Edit11, "2OO");
    ASSERT_EQ(dialogs.Texts("error").size(), 2u);
    EXPECT_EQ(dialogs.Texts("error")[1], "Statistics \"End\": '2OO' is not a valid integer value");
    EXPECT_EQ(shown(), firstHundred);
    // A valid Begin takes the End last taken with it.
    enter(a.Edit10, "150");
    EXPECT_EQ(dialogs.Texts("error").size(), 2u);
    EXPECT_EQ(shown().substr(0, 9), "150..199 ");
    enter(a.Edit10, "100");
    EXPECT_EQ(shown(), firstHundred);
}

// Through the harness, as a user reaches the windows from the graph.
TEST(NoiseWindowHarness, FromTheGraphToARewrittenTableAndASavedSpectrum) {
    testutil::TempDir dir;
    const std::string table = agolden::Path("noise_long.csv");
    testutil::WriteAll(dir.File("s.txt"),
                       "load " + table + "\n"
                       "graph\n"
                       "press chart1.SpeedButton1\n"
                       "window AvgBkg\n"
                       "expect-text Edit16 2.9\n"
                       "set RadioGroup1 3\n"
                       "set RadioGroup2 0\n"
                       "expect-text Edit16 5.9\n"
                       "set CheckBox2 1\n"
                       "press Button1\n"
                       "wait timer AvgBkg\n"
                       "expect-text Edit12 0\n"
                       "expect-field 2 12 23668.5\n"
                       "press chart1.Button10\n"
                       "window FFT1\n"
                       "press Button1\n"
                       "answer-file " + dir.File("spectrum.csv") + "\n"
                       "press SavetoCSVfile1\n"
                       "window AvgBkg\n"
                       "press Button3\n"
                       "wait timer AvgBkg\n"
                       "expect-field 1 11 20869.0\n"
                       "expect-text Edit1 1\n"
                       "expect-enabled GroupBox1 1\n"
                       "# the one box: the table's video is not there when it loads\n"
                       "expect-errors 1\n");
    std::string out;
    EXPECT_EQ(testutil::Run("cd '" + dir.Path() + "' && QT_QPA_PLATFORM=offscreen '" + testutil::BinFile("tevorin-harness") +
                                "' s.txt 2>&1",
                            &out),
              0)
        << out;
    const auto spectrum = fileio::SplitLines(testutil::ReadAll(dir.File("spectrum.csv")));
    ASSERT_EQ(spectrum.size(), 256u);
    EXPECT_EQ(spectrum[1].substr(0, 9), "0.058535,");
}
