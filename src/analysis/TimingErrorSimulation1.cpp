#include "analysis/TimingErrorSimulation1.h"

#include <QCloseEvent>
#include <chrono>

#include "analysis/TimeError.h"
#include "analysis/timing_batch.h"
#include "analysis/timing_graph.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"

TTimingErrorSimulation* TimingErrorSimulation = nullptr;

namespace {

QString Fixed(double v, int digits) { return QStr(numtext::FormatFixed(v, 15, digits)); }

}  // namespace

// A batch as the worker leaves it: the lines and where the random numbers and the
// parameters ended up.
struct TTimingErrorSimulation::Batch {
    int button = 0;
    timing::SimParams params;
    timing::SimRandom rng{0};
    std::vector<std::string> lines;

    static bool Report(void* ctx, int done, int total) {
        auto* p = static_cast<JobProgress*>(ctx);
        p->total = total;
        p->position = done;
        return !p->cancel;
    }
    void Run(JobProgress& p) {
        switch (button) {
            case 1: lines = timing::BatchButton1(rng, params, Report, &p); break;
            case 3: lines = timing::BatchButton3(rng, params, Report, &p); break;
            case 4: lines = timing::BatchButton4(rng, params, Report, &p); break;
            case 5: lines = timing::BatchButton5(rng, Report, &p); break;
            default: break;
        }
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
    batch_.OnProgress = [this](int position, int total) {
        if (total > 0) ProgressBar1->setRange(0, total);
        ProgressBar1->setValue(position);
    };
    batch_.OnFinish = [this] { SetBatchButtons(true); };
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
    if (batch_.Running()) return;
    Batch b;
    b.button = button;
    b.params = Params;
    b.rng = rng_;
    SetBatchButtons(false);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    batch_.Start<Batch>(
        [b](JobProgress& p) mutable {
            b.Run(p);
            return b;
        },
        [this](Batch& done) { ShowBatch(done); });
}

void TTimingErrorSimulation::ShowBatch(Batch& b) {
    // The window's random numbers go on from where the batch left them, as if it
    // had run here.
    rng_ = b.rng;
    AddLines(b.lines);
    if (b.button == 1) {
        Params.rampWidth = b.params.rampWidth;
        UpDown3->SetPosition(static_cast<int>(numtext::RoundHalfAway(Params.rampWidth * 100)));
        Edit3->setText(Fixed(Params.rampWidth, 2));
    }
}

void TTimingErrorSimulation::StopBatch() {
    if (!batch_.Running()) return;
    batch_.Stop();
    SetBatchButtons(true);
}
