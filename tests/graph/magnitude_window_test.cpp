// The velocity calculator, the spectrum graph and the magnitude calculator
// offscreen, alone and with the graph window and the Fresnel panel they serve.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QScrollBar>

#include "graph/FresnelCtrl1.h"
#include "graph/MagnitudeCalculator1.h"
#include "graph/SpectrumGraph1.h"
#include "graph/chart.h"
#include "graph/lunarvelocity.h"
#include "graph/graph_view.h"
#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "platform/numtext.h"
#include "support/main_window_fixture.h"

namespace {

TEST(VelocityWindow, ButtonsFillTheResultEditsAndTheFlagFollowsTheWindow) {
    Graph = GraphView{};
    auto* v = new TLunarVelocityCalculator();
    EXPECT_TRUE(LunarVelocityCalculatorOpen);
    EXPECT_EQ(v->windowTitle(), "Object's Velocity Calculator");
    EXPECT_EQ(v->Edit1->text(), "1.40");
    EXPECT_EQ(v->Edit6->text(), "5.000");
    EXPECT_EQ(v->Edit10->text(), "700");
    EXPECT_EQ(v->Button2->text(), "Write to diffraction simulation parameter.");
    EXPECT_EQ(v->Button4->text(), "Write to diffraction simulation parameter");
    v->Button1->click();
    EXPECT_EQ(v->Edit2->text(), "708");
    v->Edit4->setText("0");
    v->Button3->click();
    EXPECT_EQ(v->Edit4->text(), "1");
    EXPECT_EQ(v->Edit5->text(), "120000");
    v->Edit6->setText("");
    v->Button6->click();  // no distance, nothing written, no failure
    EXPECT_EQ(v->Edit6->text(), "0");
    EXPECT_EQ(v->Edit7->text(), "");
    v->Edit11->setText("200");
    v->Button7->click();
    EXPECT_EQ(v->Edit10->text(), "694");
    v->Edit9->setText("300000");
    v->Button7->click();  // out of range: Edit10 stays
    EXPECT_EQ(v->Edit10->text(), "694");
    v->close();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(LunarVelocityCalculatorOpen);
    EXPECT_EQ(LunarVelocityCalculator, nullptr);
}

TEST(SpectrumWindow, SizeAndPicture) {
    auto* s = new TSpectrumGraph();
    EXPECT_TRUE(SpectrumGraphIsOpen());
    EXPECT_EQ(s->windowTitle(), "SpectrumGraph");
    EXPECT_EQ(s->width(), 418);
    EXPECT_EQ(s->height(), 506);
    EXPECT_EQ(s->Image1->width(), 393);
    EXPECT_EQ(s->Image1->Picture().size(), QSize(393, 457));
    // The frame's right side is drawn.
    EXPECT_EQ(s->Image1->Picture().pixel(360, 200) & 0xFFFFFF, 0u);
    s->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(SpectrumGraphIsOpen());
}

// Format-2 rows with object A's value falling from 1000 to 200 at row 50.
std::vector<std::string> Rows(int n) {
    std::vector<std::string> lines = {kFormatText2, "\"FileName : /v/moon.avi\"", "\"Video System : NTSC , FrameRate=29.97\"",
                                      ",", ",", "\"No.\""};
    for (int i = 0; i < n; ++i) {
        std::string line = std::to_string(i) + ".0";
        for (int f = 2; f <= 30; ++f) {
            line += ',';
            if (f == 11) line += std::to_string(i < 50 ? 1000 + (i % 3) * 10 : 200 + (i % 3) * 10);
        }
        lines.push_back(line);
    }
    return lines;
}

struct MagnitudeWindow : testutil::GraphWindowTest {
    void SetUp() override {
        GraphWindowTest::SetUp();
        w->Table.Assign(Rows(120));
        w->State.ResultsLoaded = 1;
        w->OpenGraphWindow();
        ASSERT_NE(chart1, nullptr);
        // Statistics as DRAverage leaves them.
        Graph.LevelBeforeMean = 1000, Graph.LevelStepMean = 600, Graph.LevelAfterMean = 200;
        Graph.LevelBeforeStdErr = 10, Graph.LevelStepStdErr = 12, Graph.LevelAfterStdErr = 8;
        Graph.LevelBeforeCount = 20, Graph.LevelStepCount = 5, Graph.LevelAfterCount = 20;
    }
    void TearDown() override {
        if (MagnitudeCalculator) delete MagnitudeCalculator;
        GraphWindowTest::TearDown();
    }
};

TEST_F(MagnitudeWindow, CreationFollowsTheIntervalAndFillsTheReport) {
    w->UpDown9->SetPosition(4);
    auto* m = new TMagnitudeCalculator(w.get());
    EXPECT_EQ(Graph.MagnitudeCalculatorOpen, 1);
    EXPECT_EQ(m->windowTitle(), "Magnitude Calculator");
    EXPECT_TRUE(m->RadioButton3->isChecked());  // 120N
    EXPECT_TRUE(m->RadioButton5->isChecked());  // second field
    EXPECT_EQ(m->RadioGroup2->ItemIndex(), 1);  // Time
    EXPECT_EQ(m->UpDown4->Position(), 3);
    EXPECT_EQ(m->Edit17->text(), "4");
    EXPECT_EQ(m->Edit24->text(), "3");
    EXPECT_EQ(m->ScrollBar1->value(), 380);
    EXPECT_EQ(m->ScrollBar2->value(), 30);
    EXPECT_EQ(m->Edit5->text(), "0.75");  // pair magnitude 0
    const QStringList memo = m->Memo1->toPlainText().split('\n');
    ASSERT_GT(memo.size(), 18);
    EXPECT_EQ(memo[0], "- Estimation for Component's Magnitude --");
    EXPECT_TRUE(memo.contains("Observed with 4 frame integration.")) << m->Memo1->toPlainText().toStdString();
    // The main window shows captions, no time: none is printed (not 00:00:00 minus
    // the 141 ms delay, the previous day's last second), and the base-time edits
    // stay empty.
    EXPECT_TRUE(memo[17].startsWith("Event Time : (the rows hold no time stamp)  +/- ")) << memo[17].toStdString();
    EXPECT_FALSE(m->Memo1->toPlainText().contains("23h59m"));
    for (QLineEdit* e : {m->Edit18, m->Edit19, m->Edit20, m->Edit21, m->Edit22, m->Edit23})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    // "Report" appends the 15 timing-error lines.
    m->Button1->click();
    EXPECT_EQ(m->Memo1->toPlainText().split('\n').last(), "14 9.9458");
}

// A time read from the video image is printed; a time the user enters on a table
// without one is printed too.
TEST_F(MagnitudeWindow, EventTimeFromTheRowsOrFromTheUser) {
    w->UpDown9->SetPosition(1);  // WAT100N, first field: T = To
    w->Edit24->setText("12");
    w->Edit25->setText("34");
    w->Edit26->setText("56.789");
    w->Edit27->setText("56.806");
    auto* m = new TMagnitudeCalculator(w.get());
    EXPECT_TRUE(m->BaseTimeKnown);
    EXPECT_EQ(m->Edit18->text(), "12");
    EXPECT_TRUE(m->Memo1->toPlainText().contains("Event Time : 12h34m56.789s  +/- ")) << m->Memo1->toPlainText().toStdString();
    delete m;
    for (QLineEdit* e : {w->Edit24, w->Edit25, w->Edit26, w->Edit27}) e->setText("-");
    m = new TMagnitudeCalculator(w.get());
    EXPECT_FALSE(m->BaseTimeKnown);
    EXPECT_TRUE(m->Memo1->toPlainText().contains("Event Time : (the rows hold no time stamp)"));
    m->Edit18->setText("7");
    emit m->Edit18->editingFinished();
    EXPECT_TRUE(m->BaseTimeKnown);
    EXPECT_EQ(m->Edit19->text(), "0");
    EXPECT_TRUE(m->Memo1->toPlainText().contains("Event Time : 07h00m00.000s  +/- ")) << m->Memo1->toPlainText().toStdString();
}

TEST_F(MagnitudeWindow, ControlsRecomputeAndTheTextComesOffTheGraphAgain) {
    w->UpDown9->SetPosition(1);
    auto* m = new TMagnitudeCalculator(w.get());
    EXPECT_TRUE(m->RadioButton2->isChecked());  // WAT100N
    EXPECT_TRUE(m->RadioButton4->isChecked());
    EXPECT_EQ(m->RadioGroup2->ItemIndex(), 0);
    // Pair magnitude 8.75 from the three up-downs.
    m->UpDown1->SetPositionByUser(8);
    m->UpDown2->SetPositionByUser(7);
    m->UpDown3->SetPositionByUser(5);
    EXPECT_EQ(m->Edit12->text(), "8.75");
    EXPECT_EQ(m->Edit5->text(), "9.50");
    // Integration selects 120N.
    m->UpDown4->SetPositionByUser(2);
    EXPECT_EQ(m->Edit17->text(), "2");
    EXPECT_TRUE(m->RadioButton3->isChecked());
    // Text on the graph, then off: the snapshot comes back pixel for pixel.
    const QImage before = chart1->ChartImg1->Picture().copy();
    m->RadioGroup1->SelectByUser(2);
    EXPECT_NE(chart1->ChartImg1->Picture(), before);
    m->ScrollBar1->setValue(100);
    m->RadioGroup2->SelectByUser(1);
    m->RadioGroup1->SelectByUser(0);
    EXPECT_EQ(chart1->ChartImg1->Picture(), before);
    // A base-time entry out of range falls back (to no time: the rows hold none);
    // a valid one is taken.
    m->Edit18->setText("25");
    m->BaseTimeExit(m->Edit18);
    EXPECT_EQ(m->Edit18->text(), "");
    EXPECT_FALSE(m->BaseTimeKnown);
    m->Edit18->setText("23");
    m->BaseTimeExit(m->Edit18);
    EXPECT_EQ(m->BaseTime.hour, 23);
    EXPECT_EQ(m->BaseTimeBackup.hour, 23);
    m->Edit20->setText("7.5");
    m->BaseTimeExit(m->Edit20);
    // The settings' default inserter is KIWI-OSD: 3 decimals.
    ASSERT_EQ(w->State.TimeInserterType, 1);
    EXPECT_EQ(m->Edit20->text(), "07.500");
    // Closing clears the flag.
    m->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Graph.MagnitudeCalculatorOpen, 0);
    EXPECT_EQ(MagnitudeCalculator, nullptr);
}

}  // namespace

// The Tool menu's "Lunar Velocity Calculator" opens one calculator.
TEST_F(MagnitudeWindow, ToolMenuOpensTheVelocityCalculatorOnce) {
    auto* item = w->findChild<QAction*>("LunarVelocityCalculator1");
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());
    EXPECT_EQ(item->text(), "Lunar Velocity Calculator");
    item->trigger();
    ASSERT_NE(LunarVelocityCalculator, nullptr);
    TLunarVelocityCalculator* first = LunarVelocityCalculator;
    EXPECT_FALSE(w->OpenWindow("LunarVelocityCalculator1"));
    EXPECT_EQ(LunarVelocityCalculator, first);
    delete first;
    EXPECT_FALSE(LunarVelocityCalculatorOpen);
}

// ---------------------------------------------------------------- with the Fresnel panel

namespace {

std::vector<std::string> StepRows(int n, int event) {
    std::vector<std::string> lines = {kFormatText2, "\"FileName : /v/moon.avi\"", "\"Video System : NTSC\"", ",", ",", "\"No.\""};
    for (int i = 0; i < n; ++i)
        lines.push_back(std::to_string(i) + ".0,,,,,,,,,," + std::to_string((i < event ? 900 : 100) + (i * 7) % 13) + std::string(30, ','));
    return lines;
}

struct PanelHooks : testutil::GraphWindowTest {
    void SetUp() override {
        GraphWindowTest::SetUp();
        w->Table.Assign(StepRows(200, 100));
        w->State.ResultsLoaded = 1;
        w->State.VideoFrameRate = 29.97;
        w->State.VideoFrameRateInt = 30;
        w->OpenGraphWindow();
        ASSERT_NE(chart1, nullptr);
        chart1->RadioGroup1->SelectByUser(0);
        chart1->CheckBox2->setChecked(false);
        Select(100);
        chart1->Button8Click();
        ASSERT_NE(FresnelCtrl, nullptr);
    }
    void TearDown() override {
        for (QWidget* win : std::initializer_list<QWidget*>{MagnitudeCalculator, LunarVelocityCalculator, SpectrumGraph})
            delete win;
        GraphWindowTest::TearDown();
    }
    void Select(int row) {
        chart1->HRatioCalc();
        const double v = std::stod(GetField(w->Table[static_cast<size_t>(Graph.FirstDataLine - 1 + row)], 11));
        chart1->ChartImg1MouseUp(Qt::LeftButton, RowToX(Graph, row - Graph.FirstShownFrame), ValueToY(Graph, 425, v));
    }
    static void DoubleClick(QWidget* target) {
        const QPointF at(5, 5);
        QMouseEvent e(QEvent::MouseButtonDblClick, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &e);
    }
};

TEST_F(PanelHooks, VelocityCalculatorWritesThePanelEdits) {
    DoubleClick(FresnelCtrl->Edit2);
    ASSERT_NE(LunarVelocityCalculator, nullptr);
    TLunarVelocityCalculator* v = LunarVelocityCalculator;
    // A second double click makes no second window.
    DoubleClick(FresnelCtrl->Edit1);
    EXPECT_EQ(LunarVelocityCalculator, v);
    v->Edit8->setText("0.350");
    v->Edit9->setText("384401");
    v->Edit11->setText("200");
    v->Button7->click();
    EXPECT_EQ(v->Edit10->text(), "694");
    EXPECT_EQ(FresnelCtrl->Edit2->text(), "694.0");
    EXPECT_EQ(FresnelCtrl->Edit8->text(), "20.0");
    EXPECT_EQ(FresnelCtrl->Edit7->text(), "0.940");
    EXPECT_EQ(FresnelCtrl->Edit1->text(), "384401");
    EXPECT_EQ(diffraction::Model.ObjectDistance, 384401000);
    EXPECT_DOUBLE_EQ(static_cast<double>(diffraction::Model.ShadowVelocity), 694.0);
    EXPECT_NEAR(Graph.ContactAngle, 20.0, 1e-12);
    EXPECT_EQ(FresnelPanel.ExternalEditPending, 0);
    // The same values again still count as entered, and the flag does not linger.
    diffraction::Model.ShadowVelocity = 1;
    v->Button7->click();
    EXPECT_DOUBLE_EQ(static_cast<double>(diffraction::Model.ShadowVelocity), 694.0);
    EXPECT_EQ(FresnelPanel.ExternalEditPending, 0);
    v->Button2->click();
    EXPECT_EQ(FresnelCtrl->Edit2->text(), "708.0");
    v->Button4->click();
    EXPECT_EQ(FresnelCtrl->Edit2->text(), "24000.0");
    v->Button6->click();
    EXPECT_EQ(FresnelCtrl->Edit1->text(), "263117039");
    // A parallax of 0 writes nothing.
    v->Edit6->setText("0");
    v->Button6->click();
    EXPECT_EQ(FresnelCtrl->Edit1->text(), "263117039");
}

TEST_F(PanelHooks, SpectrumGraphFollowsTheSpectralType) {
    FresnelCtrl->Button1->click();
    ASSERT_NE(SpectrumGraph, nullptr);
    EXPECT_EQ(FresnelPanel.SpectrumGraphOpen, 1);
    const QImage before = SpectrumGraph->Image1->Picture().copy();
    FresnelCtrl->ComboBox1->setCurrentIndex(25);  // M8, 2500 K
    EXPECT_NE(SpectrumGraph->Image1->Picture(), before);
    TSpectrumGraph* s = SpectrumGraph;
    FresnelCtrl->Button1->click();  // redraws, no second window
    EXPECT_EQ(SpectrumGraph, s);
    s->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(FresnelPanel.SpectrumGraphOpen, 0);
}

TEST_F(PanelHooks, MagnitudeCalcDisablesThePanelAndFollowsGraphClicks) {
    FresnelCtrl->Button2->click();
    ASSERT_NE(MagnitudeCalculator, nullptr);
    TMagnitudeCalculator* m = MagnitudeCalculator;
    EXPECT_FALSE(FresnelCtrl->isEnabled());
    EXPECT_EQ(Graph.MagnitudeCalculatorOpen, 1);
    const QString first = m->Memo1->toPlainText();
    EXPECT_EQ(m->Edit9->text().toStdString(),
              numtext::FormatFixed(std::fabs(Graph.LevelBeforeMean - Graph.LevelAfterMean), 15, 1));
    // A click on another row re-runs the calculation with the new statistics.
    Select(60);
    ASSERT_EQ(Graph.SelectedFrame, 60);
    EXPECT_EQ(m->Edit9->text().toStdString(),
              numtext::FormatFixed(std::fabs(Graph.LevelBeforeMean - Graph.LevelAfterMean), 15, 1));
    EXPECT_NE(m->Memo1->toPlainText(), first);
    m->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(FresnelCtrl->isEnabled());
    EXPECT_EQ(Graph.MagnitudeCalculatorOpen, 0);
}

}  // namespace
