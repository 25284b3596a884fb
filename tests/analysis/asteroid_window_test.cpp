// The absorption-correction and timing-guide windows offscreen, opened as a user
// does (the graph's "Correction for absorption", the main window's "Asteroid timing
// guide"): guards and texts, runs against the cores, the graph's part in the guide
// (block marks, closing enables the reduction) and the Fresnel panel at the end.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>

#include "analysis/BaseOfIntegrated.h"
#include "analysis/Correction1.h"
#include "analysis/absorption_correction.h"
#include "analysis/integration_base.h"
#include "asteroid_test_util.h"
#include "mutual_test_util.h"
#include "platform/file_io.h"
#include "graph/FresnelCtrl1.h"
#include "graph/chart.h"
#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "support/main_window_fixture.h"

namespace {

using asteroidtest::Table;

// A light curve with a rise at row 25 and the event, a drop, at row 41.
std::vector<std::string> EventCurve(int rows) {
    std::vector<std::string> a, b;
    for (int r = 0; r < rows; ++r) {
        a.push_back(std::to_string(5000 + (r >= 25 ? 700 : 0) - (r >= 41 ? 3000 : 0) + (r % 3 == 0 ? 1 : 0)));
        b.push_back(std::to_string(2000 + (r % 7) * 10));
    }
    return Table(a, b);
}

struct AsteroidWindows : testutil::MainWindowTest {
    void SetUp() override {
        Graph = GraphView{};
        Integration = IntegrationVars{};
        diffraction::Model.ShadowVelocity = diffraction::Model.ShadowVelocityPerInterval = 700.0L;
        OpenMainWindow();
    }
    void TearDown() override {
        for (QWidget* x : {static_cast<QWidget*>(Correction), static_cast<QWidget*>(BaseOfIntegration),
                           static_cast<QWidget*>(FresnelCtrl), static_cast<QWidget*>(chart1)})
            if (x) x->close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        MainWindowTest::TearDown();
    }
    void Load(const std::vector<std::string>& lines, int objects) {
        w->Table.Assign(lines);
        w->State.ResultsLoaded = 1;
        w->State.ResultsFormatVersion = 2;
        w->State.ObjectCount = objects;
    }
    static void Flush() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(AsteroidWindows, CorrectionFromTheGraphAndBack) {
    const auto table = EventCurve(120);
    Load(table, 2);
    w->OpenGraphWindow();
    ASSERT_NE(chart1, nullptr);
    // No selection, then one object: the graph's two messages, no window.
    chart1->Button11->click();
    EXPECT_EQ(dialogs.Texts("information").back(), "Select target frame by clicking the graph area");
    Graph.SelectedFrame = 30;
    w->State.ObjectCount = 1;
    chart1->Button11->click();
    EXPECT_EQ(dialogs.Texts("information").back(), "This function is available when two or more stars are already measured.");
    EXPECT_EQ(Correction, nullptr);
    w->State.ObjectCount = 2;
    chart1->Button11->click();
    ASSERT_NE(Correction, nullptr);
    TCorrection& c = *Correction;
    EXPECT_EQ(c.windowTitle().toStdString(), "Correction for absorption");
    EXPECT_EQ(Graph.CorrectionOpen, 1);
    EXPECT_FALSE(chart1->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const QStringList guide = c.Memo1->toPlainText().split('\n');
    ASSERT_EQ(guide.size(), 13);
    EXPECT_EQ(guide[9].toStdString(), "   --> The light curve will be normalized based on the selected (red) frame. ");
    chart1->Button11->click();  // open already: no second window
    EXPECT_EQ(Correction, &c);

    c.Button1->click();
    c.WaitForRun();
    const absorption::Outcome want = absorption::Correct(table, 2, 30);
    EXPECT_EQ(w->Table.Lines(), want.lines);
    EXPECT_EQ(c.Edit1->text().toStdString(), GetField(table[36], 12));
    EXPECT_EQ(c.Edit2->text().toStdString(), "120");
    EXPECT_EQ(c.ProgressBar1->maximum(), 127);
    c.Button1->click();  // corrected already: nothing changes
    c.WaitForRun();
    EXPECT_EQ(w->Table.Lines(), want.lines);
    c.Button2->click();
    c.WaitForRun();
    EXPECT_EQ(w->Table.Lines(), table);
    c.close();
    Flush();
    EXPECT_EQ(Correction, nullptr);
    EXPECT_EQ(Graph.CorrectionOpen, 0);
    EXPECT_TRUE(chart1->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(AsteroidWindows, CorrectionErrorsLeaveTheTable) {
    auto table = EventCurve(80);
    SetField(table[20], 11, "x1");
    Load(table, 2);
    w->OpenGraphWindow();
    Graph.SelectedFrame = 3;
    chart1->Button11->click();
    ASSERT_NE(Correction, nullptr);
    Correction->Button1->click();
    Correction->WaitForRun();
    EXPECT_EQ(dialogs.Texts("error").back(), "'x1' is not a valid floating point value");
    EXPECT_EQ(w->Table.Lines(), table);
    // Sound shares in column 10 are refused, not overwritten.
    auto sound = EventCurve(80);
    SetField(sound[30], 10, "S=40%");
    Load(sound, 2);
    Correction->Button1->click();
    Correction->WaitForRun();
    EXPECT_EQ(dialogs.Texts("error").back(), "Column 10 holds sound data; correction is not possible.");
    EXPECT_EQ(w->Table.Lines(), sound);
    // Closing during a run cancels it: nothing is written.
    Load(EventCurve(80), 2);
    const auto before = w->Table.Lines();
    Correction->Button1->click();
    Correction->close();
    Flush();
    EXPECT_EQ(w->Table.Lines(), before);
}

TEST_F(AsteroidWindows, GuideCalculatorAndOpening) {
    Load(EventCurve(40), 1);
    w->Button41->click();
    ASSERT_NE(BaseOfIntegration, nullptr);
    TBaseOfIntegration& b = *BaseOfIntegration;
    EXPECT_EQ(b.windowTitle().toStdString(), "Base frame for integrated ");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, "Please try again after the measurement with the duration of 2 seconds or more.");
    EXPECT_EQ(dialogs.shown.back().title, "This function requires the measurement with no-integration.");
    EXPECT_EQ(Graph.IntegrationBaseOpen, 1);
    w->Button41->click();  // once at a time
    EXPECT_EQ(BaseOfIntegration, &b);

    b.Edit1->setText("100");
    b.Edit2->setText("10");
    EXPECT_EQ(b.Edit4->text().toStdString(), "10000");
    EXPECT_EQ(static_cast<double>(diffraction::Model.ShadowVelocity), 10000.0);
    b.Edit1->setText("300");  // 30000 m/s: not taken over
    EXPECT_EQ(b.Edit4->text().toStdString(), "10000");
    b.Edit3->setText("3.5");
    EXPECT_EQ(b.Edit7->text().toStdString(), "375881484");
    EXPECT_EQ(diffraction::Model.ObjectDistance, 375881484000);
    b.Edit3->setText("0");
    EXPECT_TRUE(b.Edit7->text().isEmpty());
    EXPECT_EQ(b.Edit3->text().toStdString(), "0");
    // Letters are not taken; digits and the point are (typed behind the text, where
    // a click puts the cursor: the program's "0" shows from its beginning).
    b.activateWindow();
    b.Edit3->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
    ASSERT_TRUE(b.Edit3->hasFocus());
    b.Edit3->end(false);
    for (const char* key : {"a", "5", "x", "."}) {
        QKeyEvent e(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromLatin1(key));
        QCoreApplication::sendEvent(b.Edit3, &e);
    }
    EXPECT_EQ(b.Edit3->text().toStdString(), "05.");
    b.Edit3->setText("3.5");
    // Button1: the two outputs, the name, the catalogue number and a choice of frames.
    EXPECT_FALSE(b.Button1->isEnabled());
    b.Edit5->setText("(1234) Example");
    EXPECT_FALSE(b.Button1->isEnabled());
    b.Edit6->setText("TYC 1234-5678-1");
    EXPECT_EQ(Integration.AsteroidName, "(1234) Example");
    EXPECT_EQ(Integration.TargetStarCatalogueNo, "TYC 1234-5678-1");
    EXPECT_FALSE(b.Button1->isEnabled());
    b.ComboBox1->setCurrentIndex(0);
    emit b.ComboBox1->activated(0);
    EXPECT_EQ(Graph.IntegrationFrames, 1);
    EXPECT_FALSE(b.Button1->isEnabled());  // the box itself enables only above "1"
    b.Edit5->setText("(1234) Example ");
    EXPECT_TRUE(b.Button1->isEnabled());
    b.Edit6->clear();
    EXPECT_FALSE(b.Button1->isEnabled());
    b.ComboBox1->setCurrentIndex(2);
    emit b.ComboBox1->activated(2);
    EXPECT_TRUE(b.Button1->isEnabled());
    EXPECT_EQ(Graph.IntegrationFrames, 4);
    b.close();
    Flush();
    EXPECT_EQ(Graph.IntegrationBaseOpen, 0);
}

// A parallax whose distance cannot be shown (0 km for a huge one, more than the
// Fresnel panel holds for a tiny one) is refused with a box naming it: the
// distance stays empty, the one handed on before stays, and the guide cannot go on.
TEST_F(AsteroidWindows, GuideRefusesAParallaxWhoseDistanceCannotBeShown) {
    Load(EventCurve(40), 1);
    w->Button41->click();
    ASSERT_NE(BaseOfIntegration, nullptr);
    TBaseOfIntegration& b = *BaseOfIntegration;
    b.Edit1->setText("100");
    b.Edit2->setText("10");
    b.Edit5->setText("(1234) Example");
    b.Edit6->setText("TYC 1234-5678-1");
    b.ComboBox1->setCurrentIndex(2);
    emit b.ComboBox1->activated(2);
    b.Edit3->setText("3.5");
    ASSERT_EQ(diffraction::Model.ObjectDistance, 375881484000);
    ASSERT_TRUE(b.Button1->isEnabled());
    size_t boxes = dialogs.Texts("error").size();
    for (const char* parallax : {"10000000000", "0.0000000001"}) {
        b.Edit3->setText(parallax);
        EXPECT_TRUE(b.Edit7->text().isEmpty()) << parallax;
        EXPECT_EQ(diffraction::Model.ObjectDistance, 375881484000) << parallax;
        EXPECT_FALSE(b.Button1->isEnabled()) << parallax;
        ASSERT_EQ(dialogs.Texts("error").size(), ++boxes) << parallax;
    }
    const auto errors = dialogs.Texts("error");
    EXPECT_EQ(errors[errors.size() - 2],
              "A parallax of 10000000000 arc seconds gives a distance outside 1 to 9200000000000000 km; it is not taken.");
    EXPECT_EQ(errors.back(),
              "A parallax of 0.0000000001 arc seconds gives a distance outside 1 to 9200000000000000 km; it is not taken.");
    // The smallest and the largest distances shown are taken.
    b.Edit3->setText("1315700000");  // 1.0 km
    EXPECT_EQ(b.Edit7->text().toStdString(), "1");
    EXPECT_EQ(diffraction::Model.ObjectDistance, 1000);
    EXPECT_TRUE(b.Button1->isEnabled());
    b.Edit3->setText("0.00000015");
    EXPECT_FALSE(b.Edit7->text().isEmpty());
    EXPECT_EQ(dialogs.Texts("error").size(), errors.size());
}

TEST_F(AsteroidWindows, GuideFindsThePhaseReducesTheTableAndOpensTheFresnelPanel) {
    const auto table = EventCurve(200);
    Load(table, 1);
    w->Button41->click();
    ASSERT_NE(BaseOfIntegration, nullptr);
    TBaseOfIntegration& b = *BaseOfIntegration;
    EXPECT_TRUE(dialogs.shown.empty());  // 200 rows: no message
    b.Edit1->setText("100");
    b.Edit2->setText("10");
    b.Edit3->setText("3.5");
    b.Edit5->setText("A");
    b.Edit6->setText("B");
    b.ComboBox1->setCurrentIndex(2);
    emit b.ComboBox1->activated(2);
    b.Button1->click();
    // The jumps at rows 41 and 25 are 16 rows apart: phase 1, offset 2.
    EXPECT_EQ(Graph.IntegrationPhase, 1);
    EXPECT_EQ(Integration.IntegrationOffset, 2);
    EXPECT_EQ(Graph.SelectedFrame, 2);
    EXPECT_EQ(Graph.PreselectedFrame, 2);
    EXPECT_EQ(w->UpDown9->Position(), 4);
    EXPECT_EQ(w->State.FrameStep, 4);
    EXPECT_EQ(w->Edit19->text().toStdString(), "4");
    EXPECT_EQ(static_cast<double>(diffraction::Model.ShadowVelocityPerInterval), 40000.0);
    EXPECT_EQ(Graph.IntegrationMarking, 1);
    ASSERT_NE(chart1, nullptr);
    EXPECT_EQ(Graph.SelectedFrame, 2);  // the graph opened on the offset row
    EXPECT_EQ(b.Memo1->toPlainText().toStdString(),
              "Interval has been set to 4\nThe red dot should be just before the centre of integration time.\n"
              "Check the graph. And close the graph window.");
    EXPECT_FALSE(b.Button1->isEnabled());
    EXPECT_FALSE(b.Button2->isEnabled());
    // Closing the graph enables the reduction.
    chart1->close();
    Flush();
    EXPECT_TRUE(b.Button2->isEnabled());
    EXPECT_EQ(Graph.IntegrationMarking, 0);

    b.Button2->click();
    const integration::Blocks want = integration::AverageBlocks(table, 6, 4, 2);
    EXPECT_EQ(w->Table.Lines(), want.lines);
    EXPECT_EQ(Graph.SelectedFrame, want.selectedFrame);
    EXPECT_EQ(Graph.SelectedFrame, 10);  // rows 41..44 make block 10
    EXPECT_EQ(w->ScrollBar1->value(), std::min(w->ScrollBar1->maximum(), 10 * 4 + 2));
    EXPECT_EQ(Graph.IntegratedMeasurementDone, 1);
    EXPECT_EQ(Graph.LastRowIndex, 49);
    ASSERT_NE(chart1, nullptr);
    EXPECT_EQ(Graph.DiffractionMode, 1);
    EXPECT_NE(FresnelCtrl, nullptr);
    EXPECT_FALSE(b.Button2->isEnabled());
    // Button3 lists the panel's range limits.
    b.Button3->click();
    EXPECT_EQ(b.Memo1->toPlainText().split('\n').size(), 7);
    EXPECT_TRUE(b.Memo1->toPlainText().split('\n')[3].startsWith("E3 "));
}

TEST_F(AsteroidWindows, GuideReductionWithTheComparisonShownGivesTheBlueLineMessage) {
    Load(EventCurve(200), 2);
    w->Button41->click();
    ASSERT_NE(BaseOfIntegration, nullptr);
    TBaseOfIntegration& b = *BaseOfIntegration;
    b.ComboBox1->setCurrentIndex(2);
    emit b.ComboBox1->activated(2);
    b.Button1->click();
    ASSERT_NE(chart1, nullptr);
    EXPECT_TRUE(chart1->CheckBox5->isChecked());
    chart1->close();
    Flush();
    b.Button2->click();
    EXPECT_EQ(dialogs.Texts("information").back(),
              "This function can work when only blue line of target star is displayed.\n\r"
              "Click \"B\" or \"C\" to erase the yellow or magenta line.");
    EXPECT_EQ(Graph.DiffractionMode, 0);
    EXPECT_EQ(FresnelCtrl, nullptr);
    EXPECT_TRUE(b.Button2->isEnabled());
}

}  // namespace

namespace {

// The whole road through the harness, with the generic commands and this two.
TEST(AsteroidHarness, CorrectionAndGuideAsAUserGoesThroughThem) {
    testutil::TempDir dir;
    std::vector<mutualtest::Row> rows(200), few(40);
    for (int r = 0; r < 200; ++r) {
        rows[static_cast<size_t>(r)].second = r / 25.0;
        rows[static_cast<size_t>(r)].target = 5000 + (r >= 25 ? 700 : 0) - (r >= 41 ? 3000 : 0) + (r % 3 == 0 ? 1 : 0);
        rows[static_cast<size_t>(r)].comparison = 2000 + (r % 7) * 10;
        rows[static_cast<size_t>(r)].third = 1500;
    }
    std::copy(rows.begin(), rows.begin() + 40, few.begin());
    const auto table = mutualtest::Table(rows);
    testutil::WriteAll(dir.File("t.csv"), fileio::JoinLines(table));
    testutil::WriteAll(dir.File("few.csv"), fileio::JoinLines(mutualtest::Table(few)));
    testutil::WriteAll(dir.File("s.txt"),
                       "load " + dir.File("t.csv") + "\ngraph\ngraph-select 30\nprint-graph\npress chart1.Button11\n"
                       "window Correction\npress Button1\nwait timer Correction\nexpect-text Edit1 2020.0\nexpect-text Edit2 200\n"
                       "expect-field 31 9 5701.0\nexpect-field 31 10 2020.0\nexpect-field 31 11 5701.0\nexpect-field 32 11 5671.9\n"
                       "press Button2\nwait timer Correction\nexpect-field 32 11 5700.0\nexpect-field 32 9 \nclose\n"
                       "window main\nclose chart1\n"
                       "press Button41\nwindow BaseOfIntegration\nset Edit1 100\nset Edit2 10\nset Edit3 3.5\n"
                       "expect-text Edit4 10000\nexpect-text Edit7 375881484\nset Edit5 X\nset Edit6 Y\nset ComboBox1 2\n"
                       "press Button1\nexpect-shown chart1 1\nexpect-text main.Edit19 4\npress chart1.CheckBox5\npress chart1.CheckBox6\n"
                       "close chart1\nexpect-enabled Button2 1\npress Button2\nexpect-shown FresnelCtrl 1\nexpect-rows 50\n"
                       "expect-field 11 11 2700.3\nclose\nwindow main\nclose chart1\n"
                       "load " + dir.File("few.csv") + "\npress Button41\n"
                       "expect-box information Please try again after the measurement with the duration of 2 seconds or more.\n"
                       "expect-caption This function requires the measurement with no-integration.\n");
    std::string out;
    EXPECT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + dir.File("s.txt") + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("SelectedFrame=30"), std::string::npos) << out;
}

}  // namespace
