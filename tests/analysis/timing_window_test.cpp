// The timing-error, simulation, histogram and linearity windows offscreen: their
// openers in the main window, what the controls show, batches on the worker against
// the same batches run serially, and pictures.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <array>

#include "analysis/Histogram1.h"
#include "analysis/Linear.h"
#include "analysis/TimeError.h"
#include "analysis/TimingErrorSimulation1.h"
#include "analysis/histogram_linearity.h"
#include "analysis/timing_batch.h"
#include "analysis/timing_graph.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/activity.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"
#include "support/test_util.h"

namespace {

struct TimingWindows : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> main;
    void SetUp() override {
        dialogs.Install();
        SetSettingsFilePath(dir.File("tevorin.ini"));
        main = std::make_unique<TPlatform>();
    }
    void TearDown() override {
        for (QWidget* w : std::initializer_list<QWidget*>{TimingErrorSimulation, TimingError, Histogram, Linearity})
            if (w) w->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        main.reset();
        SetSettingsFilePath("");
    }
    static void Closed(QWidget* w) {
        w->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    TTimingErrorSimulation* OpenSimulation() {
        main->findChild<QPushButton*>("Button30")->click();
        return TimingErrorSimulation;
    }
    static std::vector<std::string> MemoLines(QPlainTextEdit* memo) {
        std::vector<std::string> out;
        for (const QString& l : memo->toPlainText().split('\n')) out.push_back(l.toStdString());
        return out;
    }
    // A pixel of `rgb` within one pixel of (x, y).
    static bool Near(const QImage& p, int x, int y, QRgb rgb) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (p.valid(x + dx, y + dy) && (p.pixel(x + dx, y + dy) & 0xFFFFFF) == (rgb & 0xFFFFFF)) return true;
        return false;
    }
};

std::string F4(double v) { return numtext::FormatFixed(v, 15, 4); }

}  // namespace

TEST_F(TimingWindows, ErrorEstimationOpensOnceAndAgainAfterClosing) {
    main->findChild<QAction*>("Errorestimation1")->trigger();
    TTimingError* w = TimingError;
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(TimingErrorOpen);
    EXPECT_EQ(w->objectName(), "TimingError");
    EXPECT_EQ(w->windowTitle(), "Estimated error of timing");
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    main->findChild<QAction*>("Errorestimation1")->trigger();
    EXPECT_EQ(TimingError, w);
    // Reference point 20 (noise 1.00, 5.3057 frames) is a red circle around its pixel.
    const QImage& p = w->Image1->Picture();
    EXPECT_TRUE(Near(p, 60 + 300, 452 - 191 + 2, qRgb(255, 0, 0)) || Near(p, 60 + 300, 452 - 191 - 2, qRgb(255, 0, 0)));
    Closed(w);
    EXPECT_EQ(TimingError, nullptr);
    EXPECT_FALSE(TimingErrorOpen);
    main->findChild<QAction*>("Errorestimation1")->trigger();
    EXPECT_NE(TimingError, nullptr);
}

TEST_F(TimingWindows, SimulationControlsAndEstimate) {
    TTimingErrorSimulation* w = OpenSimulation();
    ASSERT_NE(w, nullptr);
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().what, "window");
    EXPECT_EQ(dialogs.shown.back().text, "TimingErrorSimulation");
    EXPECT_EQ(w->windowTitle(), "Timing Error Simulation");
    // The run made at creation: 100 samples, the shift and the difference.
    auto lines = MemoLines(w->Memo1);
    ASSERT_EQ(lines.size(), 102u);
    EXPECT_EQ(lines[0].rfind("-100,", 0), 0u);
    EXPECT_EQ(lines[100], "Shift= " + F4(w->LastRun.u));
    EXPECT_EQ(lines[101], "Difference= " + F4(w->LastRun.error));
    EXPECT_EQ(w->Edit1->text(), "0.10");
    EXPECT_EQ(w->Edit5->text(), "0.0861");
    EXPECT_EQ(w->Edit6->text(), "0.0029");

    // Integration 4 at noise 0.2: 4 x 0.2060 / 29.97 s.
    w->UpDown5->SetPositionByUser(2);
    EXPECT_EQ(w->Edit7->text(), "4");
    EXPECT_EQ(w->Label5->text(), "Each point means a unit of integration");
    w->UpDown1->SetPositionByUser(20);
    EXPECT_EQ(w->Edit1->text(), "0.20");
    EXPECT_EQ(w->Edit2->text(), "0.10");
    EXPECT_EQ(w->Edit5->text(), "0.2060");
    EXPECT_EQ(w->Edit6->text(), "0.0275");
    w->UpDown5->SetPositionByUser(0);
    EXPECT_EQ(w->Label5->text(), "Each point means 1 frame");
    // "Related": either noise drags the other along; the larger noise is read.
    w->CheckBox1->setChecked(true);
    w->UpDown2->SetPositionByUser(35);
    EXPECT_EQ(w->UpDown1->Position(), 35);
    EXPECT_EQ(w->Edit1->text(), "0.35");
    EXPECT_EQ(w->Params.noiseAfter, 0.35);
    EXPECT_EQ(w->Edit5->text(), QString::fromStdString(F4((double)timing::TimingErrorCurve(0.35L))));
    // Past the polynomial's peak the estimate holds it.
    w->UpDown1->SetPositionByUser(400);
    EXPECT_EQ(w->Edit2->text(), "4.00");
    EXPECT_EQ(w->Edit5->text(), "13.9350");
    // A held arrow steps faster.
    EXPECT_EQ(w->UpDown1->StepAfter(0), 1);
    EXPECT_EQ(w->UpDown1->StepAfter(2500), 5);
    EXPECT_EQ(w->UpDown3->StepAfter(3000), 10);
    w->UpDown3->SetPositionByUser(250);
    EXPECT_EQ(w->Edit3->text(), "2.50");
    EXPECT_EQ(w->Params.rampWidth, 2.5);

    // The run graph: sample 10 at x = 450 + 40 x factor.
    w->UpDown4->SetPositionByUser(3);
    EXPECT_EQ(w->Edit4->text(), "8");
    const double v = w->LastRun.samples[110];
    const int y = 240 - static_cast<int>(numtext::RoundHalfAway(80 * v));
    if (y > 2 && y < 398) {
        EXPECT_TRUE(Near(w->Image1->Picture(), 450 + 40 * 8, y, qRgb(0, 0, 0)));
    }

    // Listings: Button6 appends the ramp model of samples -50..50.
    w->Button6->click();
    lines = MemoLines(w->Memo1);
    EXPECT_EQ(lines.size(), 102u + 101u);
    EXPECT_EQ(lines.back(), "50,1.0000");
    // "Make a simulation" appends a new run.
    w->Button7->click();
    EXPECT_EQ(MemoLines(w->Memo1).size(), 102u + 101u + 102u);
}

TEST_F(TimingWindows, BatchesOnTheWorkerEqualSerialRuns) {
    TTimingErrorSimulation* w = OpenSimulation();
    ASSERT_NE(w, nullptr);
    w->UpDown1->SetPositionByUser(30);
    w->UpDown2->SetPositionByUser(30);
    w->UpDown3->SetPositionByUser(40);
    for (int button : {4, 1, 3, 5}) {
        SCOPED_TRACE(button);
        w->Memo1->clear();
        w->Seed(1000 + button);
        const timing::SimParams before = w->Params;
        timing::SimParams serialParams = before;
        timing::SimRandom serial(1000 + button);
        std::vector<std::string> want;
        if (button == 1) want = timing::BatchButton1(serial, serialParams);
        if (button == 3) want = timing::BatchButton3(serial, serialParams);
        if (button == 4) want = timing::BatchButton4(serial, serialParams);
        if (button == 5) want = timing::BatchButton5(serial);
        w->findChild<QPushButton*>(QString("Button%1").arg(button))->click();
        ASSERT_TRUE(w->BatchRunning());
        EXPECT_FALSE(w->Button7->isEnabled());
        EXPECT_FALSE(w->Button2->isEnabled());
        w->WaitForBatch();
        EXPECT_TRUE(w->Button7->isEnabled());
        EXPECT_EQ(w->ProgressBar1->value(), w->ProgressBar1->maximum());
        EXPECT_EQ(MemoLines(w->Memo1), want);
        // The next single run continues the same random numbers.
        const timing::Run next = timing::RunTimingSimulation(serial, w->Params, nullptr);
        w->RunTimingSimulation();
        EXPECT_EQ(w->LastRun.u, next.u);
        EXPECT_EQ(w->LastRun.found, next.found);
        if (button == 1) {
            // Button1 leaves the ramp width at 0.1, controls included.
            EXPECT_EQ(w->Params.rampWidth, 0.1);
            EXPECT_EQ(w->UpDown3->Position(), 10);
            EXPECT_EQ(w->Edit3->text(), "0.10");
            w->UpDown3->SetPositionByUser(40);
        }
    }
}

TEST_F(TimingWindows, ClosingDuringABatchStopsItAndWritesNothing) {
    TTimingErrorSimulation* w = OpenSimulation();
    ASSERT_NE(w, nullptr);
    const QString memo = w->Memo1->toPlainText();
    w->Button3->click();
    ASSERT_TRUE(w->BatchRunning());
    w->Button5->click();  // ignored while one runs
    w->close();
    EXPECT_FALSE(w->BatchRunning());
    EXPECT_EQ(w->Memo1->toPlainText(), memo);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(TimingErrorSimulation, nullptr);
    // The modal time ended with the window; Escape ends a batch the same way.
    w = OpenSimulation();
    ASSERT_NE(w, nullptr);
    w->Button4->click();
    ASSERT_TRUE(w->BatchRunning());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &escape);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(TimingErrorSimulation, nullptr);
    EXPECT_FALSE(activity::Busy("fit"));
}

TEST_F(TimingWindows, SetOfEstimationOpensTheCurveOnce) {
    TTimingErrorSimulation* w = OpenSimulation();
    ASSERT_NE(w, nullptr);
    w->Button8->click();
    TTimingError* curve = TimingError;
    ASSERT_NE(curve, nullptr);
    EXPECT_TRUE(curve->isVisible());
    w->Button8->click();
    main->findChild<QAction*>("Errorestimation1")->trigger();
    EXPECT_EQ(TimingError, curve);
}

TEST_F(TimingWindows, HistogramOfTheShownFrame) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    const std::string video = dir.File("levels.avi");
    // Red level (x + 3y) mod 256, stored losslessly.
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=black:s=640x480:r=25 -frames:v 2 -vf "
                            "\"format=rgb24,geq=r='mod(X+3*Y\\,256)':g=7:b=200\" -c:v rawvideo -pix_fmt bgr24 " + video),
              0);
    dialogs.fileAnswers.push_back(video);
    main->Button1Click();
    ASSERT_EQ(main->State.FrameWidth, 640);
    ASSERT_EQ(main->State.FrameHeight, 480);
    main->findChild<QAction*>("HistGram1")->trigger();
    THistogram* h = Histogram;
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->windowTitle(), "Histogram");
    uint64_t total = 0;
    for (uint64_t b : h->HistogramBins) total += b;
    EXPECT_EQ(total, 307200u);
    auto count = [](int v) {  // closed form over the 640 x 480 area
        uint64_t n = 0;
        for (int y = 0; y < 480; ++y) {
            const int first = ((v - 3 * y) % 256 + 256) % 256;
            if (first < 640) n += (639 - first) / 256 + 1;
        }
        return n;
    };
    // The input is the frame as shown, markers included: the closed form of the
    // video's levels, moved for each pixel the display painted over.
    std::array<int64_t, 256> want{};
    for (int v = 0; v < 256; ++v) want[size_t(v)] = static_cast<int64_t>(count(v));
    const QImage& shown = main->Image1->Picture();
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int level = (x + 3 * y) % 256, red = qRed(shown.pixel(x, y));
            if (red != level) --want[size_t(level)], ++want[size_t(red)];
        }
    for (int v = 0; v < 256; ++v) EXPECT_EQ(static_cast<int64_t>(h->HistogramBins[size_t(v)]), want[size_t(v)]) << v;
    EXPECT_EQ(h->Edit1->text(), "10");
    auto barTop = [&](int i) {  // the highest magenta pixel of bar i's second line
        const QImage& p = h->Image1->Picture();
        for (int y = 0; y <= 530; ++y)
            if (p.valid(31 + 2 * i, y) && (p.pixel(31 + 2 * i, y) & 0xFFFFFF) == 0xFF00FF) return y;
        return 531;
    };
    for (int s : {10, 1, 50}) {
        // The scale redraws the kept counts; the frame is not counted again.
        main->Image1->Picture().fill(Qt::black);
        h->UpDown1->SetPositionByUser(-s);
        EXPECT_EQ(h->Edit1->text(), QString::number(s));
        EXPECT_EQ(static_cast<int64_t>(h->HistogramBins[128]), want[128]);
        for (int i : {1, 128, 255}) {
            const int64_t height = numtext::RoundHalfAway(static_cast<double>(want[size_t(i)]) / s);
            EXPECT_EQ(barTop(i), std::max<int64_t>(530 - height + 1, 0)) << "scale " << s << " bin " << i;
        }
    }
    // Each opening makes a new window on the frame shown then.
    main->findChild<QAction*>("HistGram1")->trigger();
    EXPECT_NE(Histogram, h);
    EXPECT_EQ(Histogram->HistogramBins[0], 307200u);
}

// The linearity graph: no text over another (each text's ink, drawn alone, stays
// in its box, and no two boxes meet), every text inside the picture, and the
// fitted line, which runs below the time axis at 1 ms and above 40000 at 33 ms,
// drawn only inside the plot.
TEST(Linearity, NoTextOverTextAndTheLineClippedToThePlot) {
    const int w = linearity::kGraphWidth, h = linearity::kGraphHeight;
    const QFont font = linearity::LinearityFont();
    const auto texts = linearity::LinearityTexts(w, h, font);
    ASSERT_EQ(texts.size(), 8u + 3u + 2u);
    auto named = [&](const std::string& text) {
        return std::find_if(texts.begin(), texts.end(), [&](const auto& t) { return t.text == text; }) != texts.end();
    };
    EXPECT_TRUE(named("20000") && named("40000") && named("70") && named("Luminous intensity"));
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_TRUE(QRect(0, 0, w, h).contains(texts[i].box)) << texts[i].text;
        for (size_t j = i + 1; j < texts.size(); ++j)
            EXPECT_FALSE(texts[i].box.intersects(texts[j].box)) << texts[i].text << " over " << texts[j].text;
        QImage alone(w, h, QImage::Format_RGB32);
        alone.fill(Qt::white);
        {
            QPainter p(&alone);
            p.setFont(font);
            linearity::DrawGraphText(p, texts[i]);
        }
        int ink = 0, outside = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (alone.pixel(x, y) != qRgb(255, 255, 255)) ++ink, outside += !texts[i].box.contains(x, y);
        EXPECT_GT(ink, 0) << texts[i].text;
        EXPECT_EQ(outside, 0) << texts[i].text;
    }
    const QRect turned = texts.back().box;
    EXPECT_TRUE(texts.back().turned);
    EXPECT_GT(turned.height(), turned.width());

    QImage graph;
    linearity::DrawLinearityGraph(graph);
    const QRect plot = linearity::LinearityPlot(w, h);
    int red = 0, redOutside = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (graph.pixel(x, y) == qRgb(255, 0, 0)) ++red, redOutside += !plot.contains(x, y);
    EXPECT_GT(red, 100);
    EXPECT_EQ(redOutside, 0);
    // The line meets the top of the plot: its last pixel is clipped, not missing.
    bool top = false;
    for (int x = plot.left(); x <= plot.right(); ++x) top |= graph.pixel(x, plot.top()) == qRgb(255, 0, 0);
    EXPECT_TRUE(top);
}

TEST_F(TimingWindows, LinearityOpensModallyOnceAndAgainAfterClosing) {
    main->findChild<QPushButton*>("Button36")->click();
    TLinearity* w = Linearity;
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(LinearityOpen);
    EXPECT_EQ(dialogs.shown.back().what, "window");
    EXPECT_EQ(dialogs.shown.back().text, "Linearity");
    EXPECT_EQ(w->windowTitle(), "Linearity");
    const size_t shown = dialogs.shown.size();
    main->findChild<QPushButton*>("Button36")->click();
    EXPECT_EQ(dialogs.shown.size(), shown);
    QString text = QString::fromStdString(linearity::LinearityText());
    text.replace("\r\n", "\n");
    EXPECT_EQ(w->Memo1->toPlainText(), text);
    // The points' x: a blue circle at every 10 ms.
    const QImage& p = w->Image1->Picture();
    for (int t = 0; t <= 70; t += 10) {
        const int x = 40 + static_cast<int>(numtext::RoundHalfAway(530.0 * t / 70));
        const int y = linearity::LinearityY(p.height(), linearity::kLinearityExample[size_t(t)]);
        EXPECT_EQ(linearity::LinearityX(p.width(), t), x);
        EXPECT_TRUE(Near(p, x, y - 2, qRgb(0, 0, 255)) || Near(p, x, y + 2, qRgb(0, 0, 255))) << "t=" << t;
    }
    Closed(w);
    EXPECT_FALSE(LinearityOpen);
    main->findChild<QPushButton*>("Button36")->click();
    EXPECT_NE(Linearity, nullptr);
}

// What a user does, through the harness: the curve opens, closes and opens again;
// single runs and a batch; the estimate as the probe gives it; the histogram of
// the shown frame at another scale; the linearity window twice.
TEST(TimingHarness, OpenRunEstimateAndReopen) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    testutil::TempDir dir;
    const std::string video = dir.File("grey.avi");
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=0x404040:s=320x240:r=25 -frames:v 2 -c:v rawvideo -pix_fmt bgr24 " + video), 0);
    testutil::WriteAll(dir.File("s.txt"),
                       "press Errorestimation1\nexpect-shown TimingError 1\ndump-image TimingError.Image1 " + dir.File("curve.png") +
                           "\nclose TimingError\nexpect-shown TimingError 0\npress Errorestimation1\nexpect-shown TimingError 1\n"
                           "close TimingError\n"
                           "press Button30\nexpect-shown TimingErrorSimulation 1\nwindow TimingErrorSimulation\n"
                           "set CheckBox1 1\nset UpDown1 30\nset UpDown5 2\nprint-text Edit2\nprint-text Edit5\nprint-text Edit6\n"
                           "press Button7\npress Button4\nwait fit\nprint-text Memo1\npress Button8\nexpect-shown TimingError 1\n"
                           "close TimingError\nclose\nexpect-shown TimingErrorSimulation 0\n"
                           "window main\nopen " + video + "\npress HistGram1\nwindow Histogram\nexpect-text Edit1 10\nset UpDown1 -1\n"
                           "expect-text Edit1 1\ndump-image Image1 " + dir.File("hist.png") + "\nclose\nwindow main\n"
                           "press Button36\nexpect-shown Linearity 1\nprint-text Linearity.Memo1\nclose Linearity\n"
                           "expect-shown Linearity 0\npress Button36\nexpect-shown Linearity 1\n");
    std::string out, probe;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + dir.File("s.txt") + " 2>/dev/null", &out), 0) << out;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " timing-sim --seed 1 --noise-after 0.3 --noise-during 0.3 --integration 4 --button 6", &probe), 0);
    const auto printed = [&out](const std::string& name) { return testutil::PrintedText(out, name); };
    EXPECT_EQ(printed("Edit2"), "0.30");
    EXPECT_EQ(probe.substr(0, probe.find('\n')), "estimate " + printed("Edit5") + " " + printed("Edit6"));
    // The creation's run, "Make a simulation" and the batch's line.
    const std::string memo = printed("Memo1");
    EXPECT_EQ(std::count(memo.begin(), memo.end(), '|'), 2 * 102);
    EXPECT_EQ(memo.substr(memo.rfind('|') + 1, 5), "0.30,");
    std::string text = linearity::LinearityText();
    for (size_t k; (k = text.find("\r\n")) != std::string::npos;) text.replace(k, 2, "|");
    EXPECT_EQ(printed("Linearity.Memo1"), text);

    QImage curve(QString::fromStdString(dir.File("curve.png")));
    ASSERT_FALSE(curve.isNull());
    QImage drawn;
    timing::DrawTimingErrorGraph(drawn);
    EXPECT_EQ(curve.convertToFormat(QImage::Format_RGB32), drawn.convertToFormat(QImage::Format_RGB32));
    // Scale 1: all 76,800 pixels of level 0x40 in one bar, far above the axis
    // (nothing is clipped: it runs to the top of the picture).
    QImage hist(QString::fromStdString(dir.File("hist.png")));
    ASSERT_FALSE(hist.isNull());
    EXPECT_EQ(hist.pixel(31 + 2 * 0x40, 0) & 0xFFFFFF, 0xFF00FFu);
    EXPECT_EQ(hist.pixel(31 + 2 * 0x41, 500) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(TimingProbe, BatchesGiveTheLibraryLines) {
    for (int button : {3, 4, 5}) {
        std::string out;
        ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " timing-sim --seed 9 --noise-after 0.4 --noise-during 0.2 --ramp-width 0.5 --button " +
                                    std::to_string(button), &out), 0);
        timing::SimRandom rng(9);
        timing::SimParams p;
        p.noiseAfter = 0.4, p.noiseDuring = 0.2, p.rampWidth = 0.5;
        std::vector<std::string> lines = button == 3 ? timing::BatchButton3(rng, p) : button == 4 ? timing::BatchButton4(rng, p) : timing::BatchButton5(rng);
        const timing::Estimate e = timing::EstimateTimingError(p);  // the curve at 0.4
        std::string want = "estimate " + F4(e.frames) + " " + F4(e.seconds) + "\n";
        for (const auto& l : lines) want += l + "\n";
        EXPECT_EQ(out, want) << "button " << button;
    }
    std::string out;
    EXPECT_NE(testutil::Run(testutil::BinFile("tevorin-probe") + " timing-sim --seed 9 --ramp-width 11 2>&1", &out), 0);
}
