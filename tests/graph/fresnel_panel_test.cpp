// The Fresnel panel offscreen over the graph window: creation, the parameter
// edits, the range limit chain, fixed levels, and the fit with its drawing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <random>

#include "graph/FresnelCtrl1.h"
#include "graph/chart.h"
#include "graph/fresnel_panel.h"
#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "platform/file_io.h"
#include "support/main_window_fixture.h"

namespace {

namespace fp = fresnelpanel;

// A step from 100 to 900 between rows `event` - 1 and `event`, or the oracle's
// light curve when `oracleArgs` is given.
std::vector<std::string> StepRows(int n, int event) {
    std::vector<std::string> lines = {kFormatText2, "\"FileName : /v/moon.avi\"", "\"Video System : NTSC\"", ",", ",", "\"No.\""};
    for (int i = 0; i < n; ++i) lines.push_back(std::to_string(i) + ".0,,,,,,,,,," + (i < event ? "100" : "900") + std::string(30, ','));
    return lines;
}

struct Panel : testutil::GraphWindowTest {
    // The graph over `lines`, row `selected` clicked, then "Diffraction".
    TFresnelCtrl& Open(std::vector<std::string> lines, int selected) {
        w->Table.Assign(std::move(lines));
        w->State.ResultsLoaded = 1;
        w->State.VideoFrameRate = 29.97;
        w->State.VideoFrameRateInt = 30;
        w->OpenGraphWindow();
        EXPECT_NE(chart1, nullptr);
        chart1->RadioGroup1->SelectByUser(0);  // Part: 2 pixels a row
        Select(selected);
        chart1->Button8Click();
        EXPECT_NE(FresnelCtrl, nullptr);
        return *FresnelCtrl;
    }
    // A click on row `row`'s point.
    void Select(int row) {
        chart1->HRatioCalc();
        const double v = std::stod(GetField(w->Table[static_cast<size_t>(Graph.FirstDataLine - 1 + row)], 11));
        chart1->ChartImg1MouseUp(Qt::LeftButton, RowToX(Graph, row - Graph.FirstShownFrame), ValueToY(Graph, 425, v));
    }
    static void Type(QLineEdit* e, const std::string& text) {
        e->setText(QString::fromStdString(text));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(e, &enter);
    }
};

}  // namespace

// Creation around a row 10 rows from the start; "Diffraction" refuses without a
// selection; the panel's defaults; closing leaves diffraction mode.
TEST_F(Panel, CreationRangesAndClosing) {
    w->Table.Assign(StepRows(200, 10));
    w->State.ResultsLoaded = 1;
    w->OpenGraphWindow();
    chart1->Button8Click();
    EXPECT_EQ(dialogs.Texts("information"), std::vector<std::string>{"Select target frame by clicking the graph area"});
    EXPECT_EQ(FresnelCtrl, nullptr);
    chart1->close();
    QCoreApplication::processEvents();
    TFresnelCtrl& p = Open(StepRows(200, 10), 10);
    EXPECT_EQ(p.windowTitle(), "Fresnel Diffraction");
    EXPECT_EQ(Graph.DiffractionMode, 1);
    EXPECT_FALSE(chart1->Button8->isEnabled());
    EXPECT_EQ(Graph.ProcessRangeStart, -10);
    EXPECT_EQ(Graph.ProcessRangeEnd, 30);
    EXPECT_EQ(Graph.BeforeRangeStart, -10);
    EXPECT_EQ(Graph.BeforeRangeEnd, -5);
    EXPECT_EQ(p.Edit14->text(), "-10");
    EXPECT_EQ(p.Edit15->text(), "-5");
    EXPECT_EQ(p.UpDown1->Min(), -10);
    EXPECT_EQ(p.Edit3->text(), "900.0");
    EXPECT_EQ(p.Edit4->text(), "100.0");
    EXPECT_EQ(Graph.IsReappearance, 1);
    EXPECT_EQ(p.ComboBox1->currentText(), "F5");
    EXPECT_EQ(p.ComboBox2->itemText(0), "not considered");
    EXPECT_EQ(p.Edit20->text(), "50.0");
    EXPECT_FALSE(p.Edit20->isEnabled());
    EXPECT_EQ(p.Edit1->text(), "384401");
    EXPECT_EQ(Graph.DistanceText, "384401km");
    EXPECT_EQ(Graph.VelocityText, "700m/sec");
    p.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(FresnelCtrl, nullptr);
    EXPECT_EQ(Graph.DiffractionMode, 0);
    EXPECT_TRUE(chart1->Button8->isEnabled());
}

// The camera list holds "not considered" and the cameras the sensitivity file
// names (a column without a name is left out), and shows the column in use: the
// first camera, the second after the integration-block reduction, or "not
// considered" when there is no file.
TEST_F(Panel, CameraListShowsTheNamedCamerasAndTheOneInUse) {
    struct Restore {
        ~Restore() { diffraction::Model.SensitivityFile.clear(); }
    } restore;
    std::string csv = "nm,\"WAT-100N\",,\"WAT-120N\"\n";
    for (int r = 0; r < 130; ++r) csv += std::to_string(400 + 5 * r) + ",100,,50\n";
    testutil::WriteAll(dir.File("ccd.csv"), csv);
    auto items = [](const QComboBox* c) {
        std::vector<std::string> t;
        for (int i = 0; i < c->count(); ++i) t.push_back(c->itemText(i).toStdString());
        return t;
    };
    // No file: only "not considered", and that is the item shown.
    diffraction::Model.SensitivityFile = dir.File("none.csv");
    diffraction::Model.CcdIndex = 0;
    {
        TFresnelCtrl& p = Open(StepRows(100, 50), 50);
        EXPECT_EQ(items(p.ComboBox2), std::vector<std::string>{"not considered"});
        EXPECT_EQ(p.ComboBox2->currentIndex(), 0);
        EXPECT_EQ(diffraction::Model.CcdIndex, 0);
        p.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    diffraction::Model.SensitivityFile = dir.File("ccd.csv");
    diffraction::Model.InitSpectralModel();  // as the graph window does when it opens
    chart1->Button8Click();
    ASSERT_NE(FresnelCtrl, nullptr);
    TFresnelCtrl& p = *FresnelCtrl;
    EXPECT_EQ(items(p.ComboBox2), (std::vector<std::string>{"not considered", "WAT-100N", "WAT-120N"}));
    EXPECT_EQ(p.ComboBox2->currentText(), "WAT-100N");
    EXPECT_EQ(diffraction::Model.CcdIndex, 1);
    p.ComboBox2->setCurrentIndex(2);  // the file's third column
    EXPECT_EQ(diffraction::Model.CcdIndex, 3);
    p.ComboBox2->setCurrentIndex(0);
    EXPECT_EQ(diffraction::Model.CcdIndex, 0);
    p.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // After the integration-block reduction the second column is chosen, only when
    // the file names it: here it does not, and the first camera stays in use.
    Graph.IntegratedMeasurementDone = 1;
    chart1->Button8Click();
    ASSERT_NE(FresnelCtrl, nullptr);
    EXPECT_EQ(FresnelCtrl->ComboBox2->currentText(), "WAT-100N");
    EXPECT_EQ(diffraction::Model.CcdIndex, 1);
    FresnelCtrl->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    diffraction::Model.CcdNames[2] = "WAT-902H";
    chart1->Button8Click();
    ASSERT_NE(FresnelCtrl, nullptr);
    EXPECT_EQ(FresnelCtrl->ComboBox2->count(), 4);
    EXPECT_EQ(FresnelCtrl->ComboBox2->currentText(), "WAT-902H");
    EXPECT_EQ(diffraction::Model.CcdIndex, 2);
    Graph.IntegratedMeasurementDone = 0;
}

// In every window a user reaches from the graph, each edit the program wrote
// shows the beginning of its text, as the class library's edits do: the main
// window, the graph, the Fresnel panel, the magnitude calculator, the spectrum
// graph, the noise-reduction and FFT windows.
TEST_F(Panel, EveryWindowsEditsShowTheBeginningOfTheirText) {
    TFresnelCtrl& p = Open(StepRows(200, 100), 100);
    p.Button1->click();
    p.Button2->click();
    chart1->SpeedButton1->click();
    chart1->Button10->click();
    QCoreApplication::processEvents();
    int windows = 0, edits = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        ++windows;
        for (const QLineEdit* e : top->findChildren<QLineEdit*>()) {
            if (!e->isVisible() || e->hasFocus() || e->isModified() || e->hasSelectedText()) continue;
            ++edits;
            EXPECT_EQ(e->cursorPosition(), 0) << top->objectName().toStdString() << "." << e->objectName().toStdString()
                                              << " \"" << e->text().toStdString() << "\"";
        }
    }
    EXPECT_GE(windows, 6);
    EXPECT_GT(edits, 60);
}

// The edits' clamps and the spectral type from B-V, the step height in tenths.
TEST_F(Panel, ParameterEdits) {
    TFresnelCtrl& p = Open(StepRows(100, 50), 50);
    Type(p.Edit1, "120000");
    EXPECT_EQ(p.Edit1->text(), "350000");
    EXPECT_EQ(diffraction::Model.ObjectDistance, 350000000);
    Type(p.Edit1, "600000");
    EXPECT_EQ(p.UpDown10->Increment(), 1);
    Type(p.Edit1, "400000.5");  // halves to even
    EXPECT_EQ(p.Edit1->text(), "400000");
    EXPECT_EQ(p.UpDown10->Increment(), 100);
    Type(p.Edit8, "95");
    EXPECT_EQ(p.Edit8->text(), "90");
    EXPECT_NE(Graph.FresnelRate, 0.0);
    EXPECT_LT(std::fabs(Graph.FresnelRate), 1e-15);
    EXPECT_EQ(p.Edit7->text(), "0.000");
    Type(p.Edit2, "-650.25");  // a minus sign is dropped
    EXPECT_EQ(p.Edit2->text(), "650.3");
    EXPECT_EQ(static_cast<double>(diffraction::Model.ShadowVelocityPerInterval), 650.25);
    EXPECT_EQ(static_cast<double>(diffraction::Model.ShadowVelocity), 700.0);  // typing leaves the entered one
    p.Edit28->setText("0.38");
    p.Edit28->setText("0.380");
    EXPECT_EQ(diffraction::Model.StarTemperature, 7317);
    EXPECT_EQ(p.ComboBox1->currentText(), "F0");
    p.Edit28->setText("-0.9");  // no temperature: everything stays
    EXPECT_EQ(diffraction::Model.StarTemperature, 7317);
    p.Edit28->setText("abc");
    EXPECT_EQ(p.Edit28->text(), "0.38");
    p.ComboBox1->setCurrentIndex(fp::SpectralTypeIndex("G2"));
    EXPECT_EQ(diffraction::Model.StarTemperature, 5790);
    EXPECT_EQ(p.Edit28->text(), "0.704");
    // Keys: letters are discarded.
    QKeyEvent x(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    p.Edit28->setFocus();
    QApplication::sendEvent(p.Edit28, &x);
    EXPECT_EQ(p.Edit28->text(), "0.704");
    // Double star: tenths carry and borrow, 100 % stays at .0.
    p.CheckBox4->click();
    EXPECT_TRUE(p.UpDown9->isEnabled());
    p.UpDown7->SetPositionByUser(37);
    for (int k = 0; k < 9; ++k) p.UpDown9->ClickArrow(true);
    EXPECT_EQ(p.Edit20->text(), "37.9");
    p.UpDown9->ClickArrow(true);
    EXPECT_EQ(p.Edit20->text(), "38.0");
    p.UpDown9->ClickArrow(false);
    EXPECT_EQ(p.Edit20->text(), "37.9");
    p.UpDown7->SetPositionByUser(100);
    p.UpDown9->ClickArrow(true);
    EXPECT_EQ(p.UpDown9->Position(), 0);
    p.Edit20->setText("-12.34");
    p.Edit20->clearFocus();
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(p.Edit20, &out);
    EXPECT_EQ(p.Edit20->text(), "12.3");
    EXPECT_EQ(Graph.DoubleStarStepHeight, 123);
    EXPECT_EQ(p.UpDown7->Position(), 12);
    EXPECT_EQ(p.UpDown9->Position(), 3);
    Type(p.Edit21, "2500");
    EXPECT_EQ(Graph.DoubleStarTimeDiff, 1000);
    // Star diameter: at most 50 mas; the box sets the processing range.
    p.CheckBox5->click();
    EXPECT_EQ(Graph.ProcessRangeStart, -20);
    EXPECT_EQ(Graph.SelectArea, 1);
    Type(p.Edit19, "75");
    EXPECT_EQ(p.Edit19->text(), "50.00");
    EXPECT_EQ(p.UpDown10->Position(), 5000);
}

// Random clicks on the six range up-downs keep the ranges in order.
TEST_F(Panel, LimitChainUnderRandomClicks) {
    TFresnelCtrl& p = Open(StepRows(200, 100), 100);
    TUpDown* u[6] = {p.UpDown3, p.UpDown4, p.UpDown13, p.UpDown12, p.UpDown5, p.UpDown6};
    std::mt19937 rng(5);
    for (int k = 0; k < 600; ++k) {
        u[rng() % 6]->ClickArrow(rng() % 2);
        const GraphView& g = Graph;
        ASSERT_LE(g.BeforeRangeStart, g.BeforeRangeEnd) << k;
        ASSERT_LT(g.BeforeRangeEnd, g.StepRangeStart) << k;
        ASSERT_LE(g.StepRangeStart, g.StepRangeEnd) << k;
        ASSERT_LT(g.StepRangeEnd, g.AfterRangeStart) << k;
        ASSERT_LE(g.AfterRangeStart, g.AfterRangeEnd) << k;
        ASSERT_GE(g.BeforeRangeStart, -100) << k;  // never before row 0
    }
}

// A fixed level pins its range: its up-downs are disabled, a click elsewhere keeps it.
TEST_F(Panel, FixedLevelsArePinned) {
    TFresnelCtrl& p = Open(StepRows(200, 100), 100);
    p.CheckBox1->click();  // upper: the after range is the bright side
    EXPECT_EQ(Graph.UpperLevelFixed, 1);
    EXPECT_EQ(Graph.UpperFixedFrom, 111);
    EXPECT_EQ(Graph.UpperFixedTo, 130);
    EXPECT_FALSE(p.UpDown5->isEnabled());
    EXPECT_TRUE(p.UpDown3->isEnabled());
    EXPECT_EQ(p.Edit3->text(), "900.0");
    Select(90);
    EXPECT_EQ(Graph.UpperFixedFrom, 111);
    p.CheckBox1->click();
    EXPECT_EQ(Graph.UpperLevelFixed, 0);
    EXPECT_TRUE(p.UpDown5->isEnabled());
    // Without a selected row the box does not stay checked.
    Select(90);
    EXPECT_EQ(Graph.SelectedFrame, -1);
    p.CheckBox2->click();
    EXPECT_FALSE(p.CheckBox2->isChecked());
    EXPECT_EQ(Graph.LowerLevelFixed, 0);
}

// A fit from the panel: the result edits, the picture's residuals on y = 75, the
// textout lines; a refusal and a cancel write nothing.
TEST_F(Panel, FitShowsResultsAndResiduals) {
    if (testutil::Run("/usr/bin/python3 -c 'import scipy.special' 2>/dev/null") != 0) GTEST_SKIP() << "no scipy";
    const std::string csv = dir.File("curve.csv");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/diffraction_oracle.py' '" + csv +
                            "' --rows 200 --row 100 --event-ms 12 --disappearance"),
              0);
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(fileio::ReadLines(csv, lines, error)) << error;
    TFresnelCtrl& p = Open(lines, 100);
    w->CheckBox12->setChecked(true);
    p.Button3Click();
    EXPECT_TRUE(p.FitRunning());
    // Clicks on the graph wait for the fit.
    Select(120);
    EXPECT_EQ(Graph.SelectedFrame, 100);
    p.WaitForFit();
    EXPECT_EQ(Graph.FitDone, 1);
    EXPECT_EQ(p.Edit9->text(), "100.0");
    EXPECT_EQ(p.Edit13->text(), "61");
    EXPECT_EQ(p.Edit10->text(), "12");
    EXPECT_EQ(Graph.EventOffsetText, "0.012");
    EXPECT_EQ(Graph.IsReappearance, 0);
    EXPECT_EQ(p.ProgressBar1->value(), 0);
    EXPECT_FALSE(w->Memo2Table.Lines().empty());
    EXPECT_EQ(w->Memo2Table.Lines()[0].find(','), w->Memo2Table.Lines()[0].size() - 7);  // "t,0.xxxx"
    // The residual markers (radius 3) are centred on the line y = 75 within a pixel.
    const QImage& img2 = chart1->ChartImg2->Picture();
    int markers = 0;
    for (int y = 0; y < img2.height(); ++y)
        for (int x = 0; x < img2.width(); ++x)
            if (img2.pixelColor(x, y) == QColor(0, 0, 255)) {
                ++markers;
                ASSERT_NEAR(y, 75, 3 + 1) << x;
            }
    EXPECT_GT(markers, 100);
    // A red curve on the upper plot.
    const QImage& img1 = chart1->ChartImg1->Picture();
    int red = 0;
    for (int x = 60; x < 700; ++x)
        for (int y = 20; y < 385; ++y) red += img1.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_GT(red, 300);

    // While a fit runs its button says it stops it. Cancelled by that second click,
    // nothing is written, and the boxes the fit would have written are emptied:
    // the earlier fit's offset and sum of squares do not stand as this one's.
    EXPECT_EQ(p.Button3->text(), "Fit to Diffraction Curve");
    ASSERT_FALSE(p.Edit10->text().isEmpty());
    ASSERT_FALSE(p.Edit11->text().isEmpty());
    Graph.FitTimeShift = 777;
    p.Button3Click();
    EXPECT_EQ(p.Button3->text(), "Stop the Fit");
    EXPECT_TRUE(p.Button3->isEnabled());
    p.Button3Click();
    EXPECT_FALSE(p.FitRunning());
    EXPECT_EQ(p.Button3->text(), "Fit to Diffraction Curve");
    EXPECT_EQ(Graph.FitTimeShift, 777);
    EXPECT_EQ(Graph.FitDone, 0);
    for (QLineEdit* e : {p.Edit10, p.Edit11, p.Edit12, p.Edit13, p.Edit18})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_EQ(Graph.EventOffsetText, "");
    EXPECT_EQ(p.Edit9->text(), "100.0");  // the selected frame is no fit result
    EXPECT_TRUE(p.Edit1->isEnabled());
    // A fit run to its end writes them again, and the caption comes back.
    p.Button3Click();
    p.WaitForFit();
    EXPECT_EQ(p.Edit10->text(), "12");
    EXPECT_EQ(p.Button3->text(), "Fit to Diffraction Curve");

    // A velocity of 0 is refused with its reason.
    Type(p.Edit2, "0");
    p.Button3Click();
    EXPECT_FALSE(p.FitRunning());
    EXPECT_EQ(dialogs.Texts("information").back(), "Fit is not possible: the shadow velocity must be above 0.");
}
