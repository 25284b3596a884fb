// The mutual-event window offscreen: opener, pixels of the unit graph and the fit,
// files, clipboard and refusals.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>

#include "analysis/MutualAverage.h"
#include "measure/main_2.h"
#include "measure/results_table.h"
#include "measure/settings_file.h"
#include "mutual_test_util.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "support/test_util.h"

#include <algorithm>

namespace {

struct MutualWindow : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> main;
    TMutual_Average* w = nullptr;
    void SetUp() override {
        dialogs.Install();
        SetSettingsFilePath(dir.File("tevorin.ini"));
        main = std::make_unique<TPlatform>();
        main->Table.Assign(mutualtest::Table(mutualtest::EventRows(700, 45000)));
        main->findChild<QAction*>("forMutualEvent1")->trigger();
        w = Mutual_Average;
        ASSERT_NE(w, nullptr);
        w->ComboBox1->setCurrentIndex(4);  // 16 frames a unit: 43 units
        w->Button1->click();
    }
    void TearDown() override {
        if (Mutual_Average) Mutual_Average->close();
        main.reset();
        SetSettingsFilePath("");
    }
    // The colour nearest (x, y) within one pixel that equals `rgb`, if any.
    bool Near(int x, int y, QRgb rgb) {
        const QImage& p = w->Image1->Picture();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (p.valid(x + dx, y + dy) && (p.pixel(x + dx, y + dy) & 0xFFFFFF) == (rgb & 0xFFFFFF)) return true;
        return false;
    }
};

}  // namespace

TEST_F(MutualWindow, OpenerAveragingAndGraphPixels) {
    // Opened once; the flag stays until the window closes.
    main->forMutualEvent1Click();
    EXPECT_EQ(Mutual_Average, w);
    EXPECT_EQ(w->windowTitle().toStdString(), "Processing for Mutual Event");
    ASSERT_EQ(w->MutualUnitCount(), 43);
    EXPECT_EQ(w->Edit9->text().toStdString(), "43");
    EXPECT_EQ(w->Memo1->toPlainText().split('\n').size(), 43);

    // Unit u at x = round(u x 680 / 43) + 50; value v at y = 410 - round(v x 390 / R).
    long double range = 0;
    for (int u = 1; u <= 43; ++u) range = std::max({range, w->MutualUnits[u].Ts, w->MutualUnits[u].Cs});
    for (int u : {1, 10, 22, 43}) {
        const int x = static_cast<int>(std::nearbyint(u * 680.0 / 43)) + 50;
        EXPECT_TRUE(Near(x, 410 - static_cast<int>(std::nearbyint(static_cast<double>(w->MutualUnits[u].Ts * 390 / range))), qRgb(0, 0, 255))) << u;
        EXPECT_TRUE(Near(x, 410 - static_cast<int>(std::nearbyint(static_cast<double>(w->MutualUnits[u].Cs * 390 / range))), qRgb(255, 255, 0))) << u;
    }
    EXPECT_TRUE(Near(50, 200, qRgb(0, 0, 0)));
    EXPECT_TRUE(Near(300, 410, qRgb(0, 0, 0)));

    // The vertical zoom halves the heights; Reset restores them.
    w->ScrollBar3->setValue(200);
    const int x10 = static_cast<int>(std::nearbyint(10 * 680.0 / 43)) + 50;
    EXPECT_TRUE(Near(x10, 410 - static_cast<int>(std::nearbyint(static_cast<double>(w->MutualUnits[10].Cs * 195 / range))), qRgb(255, 255, 0)));
    w->Button2->click();
    EXPECT_EQ(w->ScrollBar3->value(), 100);

    // Right click on unit 10 and "Set First": green line there, magenta at the last unit.
    w->Image1MouseDown(Qt::RightButton, x10, 100);
    w->SetFirst->trigger();
    EXPECT_EQ(w->Edit8->text().toStdString(), "10");
    EXPECT_TRUE(Near(x10, 5, qRgb(0, 255, 0)));
    EXPECT_TRUE(Near(680 + 50, 5, qRgb(255, 0, 255)));
    EXPECT_EQ(w->FitWindowFirst, 1);  // a third of 34 units is 11: held at unit 1
    // On the axis the click would give unit 0: the selection starts at unit 1.
    w->Image1MouseDown(Qt::RightButton, 50, 100);
    w->SetFirst->trigger();
    EXPECT_EQ(w->FitFirstUnit, 1);

    // Frames spread over 12:30:00 to 12:35:00: a mark every minute from the first whole one.
    w->RadioGroup1->SelectByUser(2);
    for (auto [edit, text] : {std::pair{w->Edit2, "12"}, {w->Edit3, "30"}, {w->Edit4, "0"}, {w->Edit5, "12"}, {w->Edit6, "35"}, {w->Edit7, "0"}})
        edit->setText(text);
    // Minutes keep a decimal when the edit is left, only digits on Enter.
    w->Edit6->setText("3.5x");
    emit w->Edit6->editingFinished();
    EXPECT_EQ(w->Edit6->text().toStdString(), "3.5");
    emit w->Edit6->returnPressed();
    EXPECT_EQ(w->Edit6->text().toStdString(), "35");
    w->Button1->click();
    const auto minutes = [](const mutual::Unit& u) { return 60.0L * u.hour + u.minute + u.second / 60; };
    const long double first = minutes(w->MutualUnits[1]), span = minutes(w->MutualUnits[43]) - first;
    const long double f = 1 - (first - std::trunc(first));
    for (int k = 0; k <= static_cast<int>(span); ++k)
        EXPECT_TRUE(Near(static_cast<int>(std::nearbyint(static_cast<double>((k + f) * 680 / span))) + 50, 412, qRgb(0, 0, 0))) << k;
    w->close();
    EXPECT_FALSE(MutualAverageOpen);
    EXPECT_EQ(Mutual_Average, nullptr);
    main->State.RecordingFlag = 1;
    main->forMutualEvent1Click();
    EXPECT_EQ(Mutual_Average, nullptr);
}

TEST_F(MutualWindow, FitSearchAndRefusals) {
    w->Edit8->setText("8");
    emit w->Edit8->editingFinished();
    w->Edit9->setText("36");
    emit w->Edit9->editingFinished();
    w->ComboBox4->setCurrentIndex(2);  // degree 4
    w->Button6->click();
    const mutual::FitResult& fit = w->LastFit;
    ASSERT_TRUE(fit.ok) << (dialogs.Texts("error").empty() ? "" : dialogs.Texts("error").back());
    EXPECT_EQ(w->Memo2->toPlainText().split('\n').size(), 5 + 29);
    EXPECT_EQ(w->Edit10->text().toStdString(), fit.minimumText);
    // The red curve through the fitted values, the grey line at the minimum unit,
    // the green slope curve with the scale of its largest slope.
    const auto& g = w->Graph;
    int slopesSeen = 0;
    for (const auto& p : fit.points) {
        if (p.unit != 8 && p.unit != 20 && p.unit != 36) continue;
        EXPECT_TRUE(Near(g.UnitX(p.unit), g.ValueY(p.value), qRgb(255, 0, 0))) << p.unit;
        const int y = g.ValueY(p.slope, std::fabs(g.plotHeight / fit.largestSlope));
        if (y < 0 || y >= 440) continue;  // negative slopes fall below the picture
        ++slopesSeen;
        EXPECT_TRUE(Near(g.UnitX(p.unit), y, qRgb(0, 128, 0))) << p.unit << " at y " << y;
    }
    EXPECT_GE(slopesSeen, 1);
    EXPECT_TRUE(Near(g.UnitX(fit.minUnit), 21, qRgb(128, 128, 128)));

    // The window search on a worker, with progress to the end.
    w->Button5->click();
    w->WaitForSearch();
    EXPECT_EQ(w->Edit12->text().toStdString(), std::to_string(w->FitWindowFirst));
    EXPECT_EQ(w->ProgressBar1->value(), w->ProgressBar1->maximum());
    EXPECT_TRUE(w->LastFit.windowFirst >= w->FitWindowFirst && w->LastFit.windowLast <= w->FitWindowLast);

    // Refused: first after last; the memo keeps the last fit.
    const QString memo2 = w->Memo2->toPlainText();
    w->Edit8->setText("30");
    emit w->Edit8->editingFinished();
    w->Edit9->setText("20");
    emit w->Edit9->editingFinished();
    w->Button6->click();
    w->Button5->click();
    ASSERT_EQ(dialogs.Texts("error").size(), 2u);
    EXPECT_EQ(dialogs.Texts("error")[0], "Select at least 5 units (from 1 to 43) to fit a polynomial of degree 4.");
    EXPECT_EQ(w->Memo2->toPlainText(), memo2);
    // Typed units stay within 1..43; an empty text gives unit 1 and shows 0.
    w->Edit9->setText("9x99");
    emit w->Edit9->editingFinished();
    EXPECT_EQ(w->FitLastUnit, 43);
    EXPECT_EQ(w->Edit9->text().toStdString(), "43");
    w->Edit8->setText("");
    emit w->Edit8->editingFinished();
    EXPECT_EQ(w->FitFirstUnit, 1);
    EXPECT_EQ(w->Edit8->text().toStdString(), "0");
    w->UpDown2->SetPositionByUser(40);
    EXPECT_EQ(w->FitLastUnit, 40);
    EXPECT_EQ(w->UpDown1->Max(), 40);
}

TEST_F(MutualWindow, FilesClipboardAndBadInput) {
    // The file type picks the extension whatever the typed name says (".bmp" end to end).
    for (int filter : {1, 2}) {
        dialogs.fileAnswers.push_back({dir.File("graph.bmp"), filter});
        w->Button7->click();
        EXPECT_EQ(dialogs.shown.back().filter,
                  "Portable Network Graphics (*.png);;Joint Picture Expert Group (*.jpg);;Windows Bitmap (*.bmp)");
    }
    EXPECT_EQ(testutil::ReadAll(dir.File("graph.png")).substr(1, 3), "PNG");
    EXPECT_EQ(testutil::ReadAll(dir.File("graph.jpg")).substr(0, 2), "\xFF\xD8");

    w->ScrollBar1->setValue(50);
    w->Button3->click();
    EXPECT_EQ(dialogs.clipboardImage.size(), QSize(340 + 80, 440));

    // A cell that is not a number: the class library's box, units and listing kept.
    const QString listing = w->Memo1->toPlainText();
    main->Table.Set(100, "94.0,,,12,30,3.1,3.1,,,,abc,2000,1500");
    w->Button1->click();
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error")[0], "'abc' is not a valid floating point value (line 101 of the table)");
    EXPECT_EQ(w->MutualUnitCount(), 43);
    EXPECT_EQ(w->Memo1->toPlainText(), listing);

    // Fewer frames than a unit: no unit, empty axes, nothing to fit.
    main->Table.Assign(mutualtest::Table(mutualtest::EventRows(100, 45000)));
    w->ComboBox1->setCurrentIndex(7);
    w->Button1->click();
    EXPECT_EQ(w->MutualUnitCount(), 0);
    EXPECT_TRUE(Near(50, 200, qRgb(0, 0, 0)));
    w->Button6->click();
    EXPECT_EQ(dialogs.Texts("error").back(), "There are no units to fit. Press \"Calculate & Draw Graph\" first.");
}

// The whole road through the harness: the probe's listing and fit equal the window's.
TEST(MutualHarness, LoadAverageSelectFitSearchAndSave) {
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("t.csv"), fileio::JoinLines(mutualtest::Table(mutualtest::EventRows(700, 45000))));
    const int x10 = static_cast<int>(std::nearbyint(10 * 680.0 / 43)) + 50;
    testutil::WriteAll(dir.File("s.txt"), "load " + dir.File("t.csv") +
                                              "\npress forMutualEvent1\nwindow Mutual_Average\nset ComboBox1 4\npress Button1\n"
                                              "print-text Memo1\nmouse Image1 right " + std::to_string(x10) + " 100\npress SetFirst\n"
                                              "expect-text Edit8 10\nset Edit9 36\nset ComboBox4 2\npress Button6\nprint-text Edit10\n"
                                              "press Button5\nwait fit\nprint-text Edit12\nprint-text Edit10\n"
                                              "answer-file " + dir.File("units") + "\npress Button4\n"
                                              "answer-file " + dir.File("graph.png") + " 3\npress Button7\n"
                                              "press Button3\nclipboard-image " + dir.File("clip.png") + "\n"
                                              "dump-image Image1 " + dir.File("image.png") + "\nclose\n");
    std::string out, probe, fit, search;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + dir.File("s.txt") + " 2>/dev/null", &out), 0) << out;
    const std::string table = dir.File("t.csv");
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " mutual " + table + " --unit-size 16", &probe), 0);
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " mutual-fit " + table + " --unit-size 16 --units 10,36 --degree 4", &fit), 0);
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " mutual-fit " + table + " --unit-size 16 --units 10,36 --degree 4 --search", &search), 0);
    const auto printed = [&out](const std::string& name, int nth) { return testutil::PrintedText(out, name, nth); };
    std::string joined = probe;
    std::replace(joined.begin(), joined.end(), '\n', '|');
    EXPECT_EQ(printed("Memo1", 1) + "|", joined);
    EXPECT_NE(fit.find("minimum " + printed("Edit10", 1) + "\n"), std::string::npos) << fit;
    EXPECT_EQ(printed("Edit12", 1), "1");  // the widened window starts at unit 1
    EXPECT_NE(search.find("minimum " + printed("Edit10", 2) + "\n"), std::string::npos) << search;
    EXPECT_EQ(testutil::ReadAll(dir.File("units.csv")), fileio::JoinLines(fileio::SplitLines(probe)));
    EXPECT_EQ(testutil::ReadAll(dir.File("graph.bmp")).substr(0, 2), "BM");
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("clip.png"))).size(), QSize(760, 440));
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("image.png"))).pixel(50, 200) & 0xFFFFFF, 0u);
}

// Rows without a time read from the video: "Read from Video image" says so and
// lists nothing, "Save .CSV file" refuses an empty listing and leaves the file;
// "Based on First Frame" then works.
TEST_F(MutualWindow, RowsWithoutVideoTimeAreToldAndNothingIsSaved) {
    std::vector<std::string> table = mutualtest::Table(mutualtest::EventRows(100, 3600));
    for (size_t i = 6; i < table.size(); ++i) SetField(table[i], 4, "");
    main->Table.Assign(table);
    w->RadioGroup1->SelectByUser(0);
    w->Button1->click();
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error")[0],
              "The rows hold no time read from the video image.\r\n"
              "Choose \"Based on First Frame\" or \"First & Last Frame\" in \"Time setting\".");
    EXPECT_EQ(w->Memo1->toPlainText().toStdString(), "");

    const std::string kept = dir.File("kept.csv");
    testutil::WriteAll(kept, "earlier listing\r\n");
    dialogs.fileAnswers.push_back(kept);
    w->Button4->click();
    ASSERT_EQ(dialogs.Texts("error").size(), 2u);
    EXPECT_EQ(dialogs.Texts("error")[1], "There is no listing to save. Press \"Calculate & Draw Graph\" first.");
    EXPECT_EQ(testutil::ReadAll(kept), "earlier listing\r\n");
    EXPECT_EQ(dialogs.Texts("save").size(), 0u);

    w->RadioGroup1->SelectByUser(1);
    w->Button1->click();
    EXPECT_EQ(dialogs.Texts("error").size(), 2u);
    EXPECT_EQ(w->Memo1->toPlainText().split('\n').size(), 6);  // 100 frames of 16
    w->Button4->click();  // the queued answer
    EXPECT_EQ(testutil::ReadAll(kept).substr(0, 12), " 0  0  0.234");  // frame 8 of the first unit: 7 / 29.97 s
}

// The time, unit-size and degree choices are named by a label beside them.
TEST_F(MutualWindow, TimeUnitAndDegreeChoicesHaveLabels) {
    for (QWidget* control : std::initializer_list<QWidget*>{w->Edit2, w->Edit5, w->ComboBox1, w->ComboBox4}) {
        bool named = false;
        for (QLabel* l : w->findChildren<QLabel*>())
            if (l->buddy() == control && l->isVisibleTo(w) && !l->text().isEmpty()) named = true;
        EXPECT_TRUE(named) << control->objectName().toStdString();
    }
}
