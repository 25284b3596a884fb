#include "analysis/AvgBkg1.h"

#include <QCloseEvent>

#include "analysis/fft.h"
#include "analysis/mutual_event.h"
#include "graph/chart.h"
#include "graph/graph_view.h"
#include "measure/main_2.h"
#include "measure/measure_state.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"

TAvgBkg* AvgBkg = nullptr;

namespace {

// The sizes of "Separation" in item order.
constexpr int kSeparations[] = {512, 4096, 1024, 8192, 2048, 16384};
constexpr int kSeparation1024 = 2;
// The light blue of an object whose window length changed and is not applied yet (0x00F0CAA6).
const QColor kChangedColour(0xA6, 0xCA, 0xF0);

std::string Text(const QLineEdit* e) { return StdStr(e->text()); }

void Sanitize(QLineEdit* e) {
    std::string t = Text(e);
    SanitizeNumericText(t);
    e->setText(QStr(t));
}

}  // namespace

TAvgBkg::TAvgBkg(QWidget* owner) : QWidget(owner, Qt::Window) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    AvgBkg = this;
    RadioGroup1->SetItems({"Measurement Value", "Background only", "Gaussian", "FFT", "Wavelet"}, 1);
    RadioGroup1->SetItemIndex(0);
    RadioGroup2->SetItems({"512", "4096", "1024", "8192", "2048", "16384"}, 2);
    for (TUpDown* u : {UpDown1, UpDown2, UpDown3}) u->SetRange(0, 50);
    UpDown4->SetRange(0, 200);
    UpDown4->SetPosition(70);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    connect(RadioGroup1, &TRadioGroup::Click, this, &TAvgBkg::RadioGroup1Click);
    connect(RadioGroup2, &TRadioGroup::Click, this, &TAvgBkg::RadioGroup2Click);
    connect(UpDown1, &TUpDown::Click, this, [this] { UpDownClick(1); });
    connect(UpDown2, &TUpDown::Click, this, [this] { UpDownClick(2); });
    connect(UpDown3, &TUpDown::Click, this, [this] { UpDownClick(3); });
    connect(UpDown4, &TUpDown::Click, this, &TAvgBkg::UpDown4Click);
    connect(Edit15, &QLineEdit::returnPressed, this, &TAvgBkg::Edit15Enter);
    connect(Edit15, &QLineEdit::editingFinished, this, &TAvgBkg::FrequencyCalc);
    for (QLineEdit* e : {Edit12, Edit17, Edit19, Edit21, Edit22})
        connect(e, &QLineEdit::returnPressed, this, [e] { Sanitize(e); });
    for (QLineEdit* e : {Edit17, Edit19}) connect(e, &QLineEdit::editingFinished, this, [e] { Sanitize(e); });
    connect(Edit10, &QLineEdit::editingFinished, this, &TAvgBkg::Edit10Exit);
    connect(Edit11, &QLineEdit::editingFinished, this, &TAvgBkg::Edit11Exit);
    connect(Button1, &QPushButton::clicked, this, &TAvgBkg::Button1Click);
    connect(Button3, &QPushButton::clicked, this, &TAvgBkg::Button3Click);
    connect(Button2, &QPushButton::clicked, this, &TAvgBkg::Button2Click);
    pass_.OnProgress = [this](int position, int) { ProgressBar1->setValue(position); };
    pass_.OnFinish = [this] { ProgressBar1->setValue(0); };
    FormCreate();
}

TAvgBkg::~TAvgBkg() {
    pass_.Stop();
    if (AvgBkg == this) AvgBkg = nullptr;
}

void TAvgBkg::FormCreate() {
    setWindowFlag(Qt::WindowStaysOnTopHint);
    Graph.AvgBkgOpen = 1;
    RadioGroup2->SetItemIndex(kSeparation1024);
    Graph.FftSize = 1024;
    RadioGroup1Click(0);
    for (int j = 1; j <= 3; ++j) {
        QLineEdit* e = j == 1 ? Edit1 : j == 2 ? Edit2 : Edit3;
        const TUpDown* u = j == 1 ? UpDown1 : j == 2 ? UpDown2 : UpDown3;
        e->setText(QString::number(2 * u->Position() + 1));
    }
    const int objectCount = Platform ? std::clamp(Platform->State.ObjectCount, 1, 3) : 1;
    for (int j = 2; j <= 3; ++j) {
        const bool on = j <= objectCount;
        for (QWidget* w : {j == 2 ? static_cast<QWidget*>(CheckBox2) : CheckBox3, j == 2 ? static_cast<QWidget*>(Edit2) : Edit3,
                           j == 2 ? static_cast<QWidget*>(UpDown2) : UpDown3})
            w->setEnabled(on);
    }
    FrequencyCalc();
    if (!Platform) return;
    const auto& lines = Platform->Table.Lines();
    const uint8_t version = Platform->State.ResultsFormatVersion;
    LastRow = noise::LastRowOf(lines, version);
    std::string error;
    if (!noise::FrameOffsetOf(lines, version, FrameOffset, error)) {
        Dialogs().ShowError(error);
        return;
    }
    takenBegin_ = FrameOffset;
    takenEnd_ = static_cast<int64_t>(LastRow) + FrameOffset;
    Edit10->setText(QString::number(takenBegin_));
    Edit11->setText(QString::number(takenEnd_));
    ShowStatistics(takenBegin_, takenEnd_);
}

void TAvgBkg::RadioGroup1Click(int index) {
    const bool fft = index == noise::kFftFilter, wavelet = index == noise::kWaveletFilter;
    GroupBox1->setEnabled(!fft && !wavelet);
    GroupBox2->setEnabled(fft);
    for (QWidget* w : {static_cast<QWidget*>(RadioGroup2), static_cast<QWidget*>(Edit15), static_cast<QWidget*>(Edit16)})
        w->setEnabled(fft);
    GroupBox5->setEnabled(wavelet);
    if (wavelet) {
        RadioGroup2->SetItemIndex(kSeparation1024);
        Graph.FftSize = 1024;
        FrequencyCalc();
    }
}

void TAvgBkg::RadioGroup2Click(int index) {
    if (index < 0 || index > 5) return;
    Graph.FftSize = kSeparations[index];
    FrequencyCalc();
}

void TAvgBkg::UpDownClick(int j) {
    QLineEdit* e = j == 1 ? Edit1 : j == 2 ? Edit2 : Edit3;
    const TUpDown* u = j == 1 ? UpDown1 : j == 2 ? UpDown2 : UpDown3;
    QCheckBox* box = j == 1 ? CheckBox1 : j == 2 ? CheckBox2 : CheckBox3;
    e->setText(QString::number(2 * u->Position() + 1));
    e->setStyleSheet("color: blue;");
    box->setAutoFillBackground(true);
    box->setStyleSheet(QString("QCheckBox { background-color: %1; }").arg(kChangedColour.name()));
}

void TAvgBkg::UpDown4Click() { Edit23->setText(QStr(numtext::FormatFixed(UpDown4->Position() / 100.0, 15, 2))); }

void TAvgBkg::Edit15Enter() {
    Sanitize(Edit15);
    const auto v = numtext::ParseFloat(Text(Edit15));
    if (v && *v > Graph.FftSize) Edit15->setText("100");
    FrequencyCalc();
}

void TAvgBkg::FrequencyCalc() {
    std::string text, error;
    const long double rate = Platform ? mutual::HeaderFrameRate(Platform->Table.Lines()) : 0;
    if (!noise::CutoffFrequencyText(Text(Edit15), Graph.FftSize, Graph.FieldMode != 0, rate, text, error)) {
        Dialogs().ShowError(error);
        return;
    }
    Edit16->setText(QStr(text));
}

void TAvgBkg::ShowStatistics(int64_t fromFrame, int64_t toFrame) {
    if (!Platform) return;
    const noise::Controls c = CurrentControls();
    noise::Statistics s;
    std::string error;
    if (!noise::ComputeStatistics(Platform->Table.Lines(), c, fromFrame, toFrame, s, FrameOffset, error)) {
        Dialogs().ShowError(error);
        return;
    }
    QLineEdit* edits[] = {Edit4, Edit5, Edit6, Edit7, Edit8, Edit9};
    for (int j = 0; j < 3; ++j) {
        edits[j]->setText(QStr(s.mean[static_cast<size_t>(j)]));
        edits[3 + j]->setText(QStr(s.deviation[static_cast<size_t>(j)]));
    }
}

// Begin and End are read one at a time: each keeps the last value it took, put
// back when its text is no number (the box names the edit), so that a wrong Begin
// never stands in the way of a valid End.
void TAvgBkg::Edit10Exit() {
    int64_t begin = 0;
    std::string error;
    if (!noise::ControlInt(Text(Edit10), begin, error)) {
        Edit10->setText(QString::number(takenBegin_));
        Dialogs().ShowError("Statistics \"Begin\": " + error);
        return;
    }
    // A Begin before the first frame (or below 0) starts at the first frame.
    const int64_t first = std::max(0, FrameOffset);
    if (begin < first) {
        begin = first;
        Edit10->setText(QString::number(begin));
    }
    takenBegin_ = begin;
    ShowStatistics(begin, takenEnd_);
}

void TAvgBkg::Edit11Exit() {
    int64_t end = 0;
    std::string error;
    if (!noise::ControlInt(Text(Edit11), end, error)) {
        Edit11->setText(QString::number(takenEnd_));
        Dialogs().ShowError("Statistics \"End\": " + error);
        return;
    }
    if (end < takenBegin_ || end > static_cast<int64_t>(LastRow) + FrameOffset) {
        end = static_cast<int64_t>(LastRow) + FrameOffset;
        Edit11->setText(QString::number(end));
    }
    takenEnd_ = end;
    ShowStatistics(takenBegin_, end);
}

noise::Controls TAvgBkg::CurrentControls() const {
    noise::Controls c;
    c.method = std::max(0, RadioGroup1->ItemIndex());
    c.objectChecked = {CheckBox1->isChecked(), CheckBox2->isChecked(), CheckBox3->isChecked()};
    c.halfWidth = {UpDown1->Position(), UpDown2->Position(), UpDown3->Position()};
    c.fftSize = Graph.FftSize;
    c.offset = Text(Edit12);
    c.cutoff = Text(Edit15);
    c.bandPass = CheckBox4->isChecked();
    c.bandBegin = Text(Edit13), c.bandEnd = Text(Edit14);
    c.outside = RadioButton2->isChecked();
    c.spotErasing = CheckBox5->isChecked();
    c.spotFrom = Text(Edit17), c.spotTo = Text(Edit19);
    c.sigmaFrom = Text(Edit21), c.sigmaTo = Text(Edit22);
    c.factor = UpDown4->Position();
    c.statBegin = Text(Edit10), c.statEnd = Text(Edit11);
    if (Platform) {
        c.fieldMeasure = Platform->CheckBox2->isChecked();
        c.objectCount = Platform->State.ObjectCount;
        c.formatVersion = Platform->State.ResultsFormatVersion;
    }
    return c;
}

void TAvgBkg::Button1Click() { StartPass(false); }

void TAvgBkg::Button3Click() {
    if (pass_.Running()) return;
    RadioGroup1->SetItemIndex(0);
    RadioGroup1Click(0);
    for (TUpDown* u : {UpDown1, UpDown2, UpDown3}) u->SetPosition(0);
    for (QLineEdit* e : {Edit1, Edit2, Edit3}) e->setText("1");
    StartPass(true);
}

void TAvgBkg::Button2Click() {
    Graph.AvgBkgOpen = 0;
    close();
}

void TAvgBkg::StartPass(bool reset) {
    if (pass_.Running() || !Platform) return;
    const noise::Controls c = CurrentControls();
    LastRow = noise::LastRowOf(Platform->Table.Lines(), c.formatVersion);
    if (LastRow < 0) return;
    ProgressBar1->setRange(0, std::max(1, LastRow));
    ProgressBar1->setValue(0);
    startGeneration_ = Platform->Table.Generation();
    startCount_ = Platform->Table.Count();
    // The worker owns a copy of the table and the controls; nothing is written until it ends.
    pass_.Start<noise::Outcome>(
        [lines = Platform->Table.Lines(), c, reset](noise::Progress& p) {
            return reset ? noise::Reset(lines, c, &p) : noise::Apply(lines, c, &p);
        },
        [this](noise::Outcome& r) { ShowOutcome(r); });
}

void TAvgBkg::ShowOutcome(const noise::Outcome& r) {
    if (r.status == noise::Status::Cancelled || r.status == noise::Status::Nothing || !Platform) {
        if (r.offsetChanged) Edit12->setText(QString::number(r.offset));
        return;
    }
    if (r.offsetChanged) Edit12->setText(QString::number(r.offset));
    if (r.spotFromReset) Edit17->setText("0");
    if (r.spotToReset) Edit19->setText("0");
    if (r.waveletRun) Edit24->setText(QStr(r.sigmaText));
    if (r.tableReplaced) {
        // Rows measured or a table loaded while the pass ran must not be lost.
        if (Platform->Table.Generation() != startGeneration_ || Platform->Table.Count() != startCount_) {
            Dialogs().ShowError("The results table changed while the noise reduction ran; nothing was rewritten.");
            return;
        }
        Platform->Table.Assign(r.lines);
        Platform->Memo2Table.Clear();
        Platform->RefreshResultsView();
    }
    if (r.status == noise::Status::Error) Dialogs().ShowError(r.error);
    if (r.statisticsShown) {
        FrameOffset = r.frameOffset;
        QLineEdit* edits[] = {Edit4, Edit5, Edit6, Edit7, Edit8, Edit9};
        for (int j = 0; j < 3; ++j) {
            edits[j]->setText(QStr(r.statistics.mean[static_cast<size_t>(j)]));
            edits[3 + j]->setText(QStr(r.statistics.deviation[static_cast<size_t>(j)]));
        }
        ResetColours();
    }
    if (r.tableReplaced && chart1) chart1->GraphShow3();
}

void TAvgBkg::ResetColours() {
    for (QLineEdit* e : {Edit1, Edit2, Edit3}) e->setStyleSheet("");
    for (QCheckBox* b : {CheckBox1, CheckBox2, CheckBox3}) b->setStyleSheet("");
}

void TAvgBkg::closeEvent(QCloseEvent* event) {
    pass_.Stop();
    fft::Fft.Clear();
    Graph.AvgBkgOpen = 0;
    Graph.AvgBkgLaunched = 0;
    event->accept();
}
