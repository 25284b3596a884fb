#include "analysis/TimingErrorSimulation1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <chrono>

#include "analysis/TimeError.h"
#include "analysis/timing_batch.h"
#include "analysis/timing_graph.h"
#include "platform/activity.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"

TTimingErrorSimulation* TimingErrorSimulation = nullptr;

namespace {

QString Fixed(double v, int digits) { return QStr(numtext::FormatFixed(v, 15, digits)); }

}  // namespace

// What the worker owns: copies of its inputs, the generator it advances, and the
// lines it gives back. The window reads only the atomics until `finished`.
struct TTimingErrorSimulation::Job {
    int button = 0;
    timing::SimParams params;
    timing::SimRandom rng{0};
    std::vector<std::string> lines;
    std::atomic<int> done{0}, total{1};
    std::atomic<bool> cancel{false}, finished{false};

    static bool Report(void* ctx, int done, int total) {
        auto* job = static_cast<Job*>(ctx);
        job->total = total;
        job->done = done;
        return !job->cancel;
    }
    void Run() {
        switch (button) {
            case 1: lines = timing::BatchButton1(rng, params, Report, this); break;
            case 3: lines = timing::BatchButton3(rng, params, Report, this); break;
            case 4: lines = timing::BatchButton4(rng, params, Report, this); break;
            case 5: lines = timing::BatchButton5(rng, Report, this); break;
            default: break;
        }
        finished = true;
    }
};

TTimingErrorSimulation::TTimingErrorSimulation(QWidget* parent)
    : QDialog(parent), rng_(static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count())) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    TimingErrorSimulation = this;
    UpDown1->SetRange(0, 400);
    UpDown2->SetRange(0, 400);
    UpDown3->SetRange(0, 1000);
    UpDown4->SetRange(0, 8);
    UpDown5->SetRange(0, 6);
    for (TUpDown* u : {UpDown1, UpDown2, UpDown3, UpDown4, UpDown5}) u->SetStandardAccel();
    ProgressBar1->setRange(0, 1);
    connect(Button1, &QPushButton::clicked, this, &TTimingErrorSimulation::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TTimingErrorSimulation::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TTimingErrorSimulation::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TTimingErrorSimulation::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TTimingErrorSimulation::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TTimingErrorSimulation::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TTimingErrorSimulation::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TTimingErrorSimulation::Button8Click);
    connect(UpDown1, &TUpDown::Click, this, &TTimingErrorSimulation::UpDown1Click);
    connect(UpDown2, &TUpDown::Click, this, &TTimingErrorSimulation::UpDown2Click);
    connect(UpDown3, &TUpDown::Click, this, &TTimingErrorSimulation::UpDown3Click);
    connect(UpDown4, &TUpDown::Click, this, &TTimingErrorSimulation::UpDown4Click);
    connect(UpDown5, &TUpDown::Click, this, &TTimingErrorSimulation::UpDown5Click);
    pollTimer_.setInterval(30);
    connect(&pollTimer_, &QTimer::timeout, this, &TTimingErrorSimulation::PollBatch);
    FormCreate();
}

TTimingErrorSimulation::~TTimingErrorSimulation() {
    StopBatch();
    if (TimingErrorSimulation == this) TimingErrorSimulation = nullptr;
}

void TTimingErrorSimulation::closeEvent(QCloseEvent* event) {
    StopBatch();
    event->accept();
}

void TTimingErrorSimulation::FormCreate() {
    setWindowFlag(Qt::WindowStaysOnTopHint);
    Params = {};
    GraphWidthFactor = 1;
    UpDown1->SetPosition(10);
    UpDown2->SetPosition(10);
    UpDown3->SetPosition(10);
    UpDown4->SetPosition(0);
    UpDown5->SetPosition(0);
    Edit1->setText(Fixed(Params.noiseAfter, 2));
    Edit2->setText(Fixed(Params.noiseDuring, 2));
    Edit3->setText(Fixed(Params.rampWidth, 2));
    Edit4->setText("1");
    Edit7->setText("1");
    Label5->setText("Each point means 1 frame");
    RunTimingSimulation();
    EstimateTimingError();
}

void TTimingErrorSimulation::AddLines(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
    Memo1->appendPlainText(QStr(text));
}

void TTimingErrorSimulation::RunTimingSimulation() {
    std::vector<std::string> lines;
    LastRun = timing::RunTimingSimulation(rng_, Params, &lines);
    AddLines(lines);
    DrawRun();
}

void TTimingErrorSimulation::DrawRun() {
    timing::DrawSimulationRun(Image1->Picture(), LastRun, GraphWidthFactor);
    Image1->Changed();
}

void TTimingErrorSimulation::EstimateTimingError() {
    const timing::Estimate e = timing::EstimateTimingError(Params);
    Edit5->setText(Fixed(e.frames, 4));
    Edit6->setText(Fixed(e.seconds, 4));
}

// The noise up-downs: "Related" makes the other one follow.
void TTimingErrorSimulation::UpDown1Click() {
    Params.noiseAfter = UpDown1->Position() / 100.0;
    Edit1->setText(Fixed(Params.noiseAfter, 2));
    if (CheckBox1->isChecked()) {
        UpDown2->SetPosition(UpDown1->Position());
        Params.noiseDuring = Params.noiseAfter;
        Edit2->setText(Edit1->text());
    }
    EstimateTimingError();
}

void TTimingErrorSimulation::UpDown2Click() {
    Params.noiseDuring = UpDown2->Position() / 100.0;
    Edit2->setText(Fixed(Params.noiseDuring, 2));
    if (CheckBox1->isChecked()) {
        UpDown1->SetPosition(UpDown2->Position());
        Params.noiseAfter = Params.noiseDuring;
        Edit1->setText(Edit2->text());
    }
    EstimateTimingError();
}

void TTimingErrorSimulation::UpDown3Click() {
    Params.rampWidth = UpDown3->Position() / 100.0;
    Edit3->setText(Fixed(Params.rampWidth, 2));
}

void TTimingErrorSimulation::UpDown4Click() {
    GraphWidthFactor = 1 << UpDown4->Position();
    Edit4->setText(QString::number(GraphWidthFactor));
    DrawRun();
}

void TTimingErrorSimulation::UpDown5Click() {
    Params.integration = 1 << UpDown5->Position();
    Edit7->setText(QString::number(Params.integration));
    Label5->setText(Params.integration == 1 ? "Each point means 1 frame" : "Each point means a unit of integration");
    EstimateTimingError();
}

void TTimingErrorSimulation::Button2Click() { AddLines(timing::BatchButton2(Params)); }
void TTimingErrorSimulation::Button6Click() { AddLines(timing::BatchButton6()); }

void TTimingErrorSimulation::Button8Click() {
    // Parented here so that it takes input while this window is modal.
    if (!TimingErrorOpen) (new TTimingError(this))->show();
}

void TTimingErrorSimulation::SetBatchButtons(bool enabled) {
    for (QPushButton* b : {Button1, Button2, Button3, Button4, Button5, Button6, Button7}) b->setEnabled(enabled);
}

void TTimingErrorSimulation::StartBatch(int button) {
    if (job_) return;
    job_ = std::make_unique<Job>();
    job_->button = button;
    job_->params = Params;
    job_->rng = rng_;
    SetBatchButtons(false);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    activity::Begin("fit");
    worker_ = std::thread([job = job_.get()] { job->Run(); });
    pollTimer_.start();
}

void TTimingErrorSimulation::PollBatch() {
    if (!job_) return;
    // Finished is read first: the worker sets it after its last report, so the bar
    // then shows the final count.
    const bool finished = job_->finished;
    ProgressBar1->setRange(0, job_->total);
    ProgressBar1->setValue(job_->done);
    if (!finished) return;
    pollTimer_.stop();
    worker_.join();
    const std::unique_ptr<Job> job = std::move(job_);
    SetBatchButtons(true);
    // The window's random numbers go on from where the batch left them, as if it
    // had run here.
    rng_ = job->rng;
    AddLines(job->lines);
    if (job->button == 1) {
        Params.rampWidth = job->params.rampWidth;
        UpDown3->SetPosition(static_cast<int>(numtext::RoundHalfAway(Params.rampWidth * 100)));
        Edit3->setText(Fixed(Params.rampWidth, 2));
    }
    // Waiters see the lines from here on.
    activity::End("fit");
}

void TTimingErrorSimulation::StopBatch() {
    if (!job_) return;
    job_->cancel = true;
    worker_.join();
    pollTimer_.stop();
    job_.reset();
    SetBatchButtons(true);
    activity::End("fit");
}

void TTimingErrorSimulation::WaitForBatch() {
    while (job_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (job_ && job_->finished) PollBatch();
    }
}
