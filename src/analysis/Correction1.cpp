#include "analysis/Correction1.h"

#include <QCloseEvent>

#include "graph/chart.h"
#include "graph/graph_view.h"
#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "platform/qt_text.h"

TCorrection* Correction = nullptr;

namespace {

// The graph goes out of stay-on-top while the correction is open and back after;
// its widgets stay as they are.
void GraphOnTop(bool on) {
    if (!chart1) return;
    const bool shown = chart1->isVisible();
    chart1->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (shown) chart1->show();
}

}  // namespace

TCorrection::TCorrection(QWidget* owner) : QWidget(owner, Qt::Window) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    Correction = this;
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    connect(Button1, &QPushButton::clicked, this, &TCorrection::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TCorrection::Button2Click);
    run_.OnProgress = [this](int position, int) { ProgressBar1->setValue(position); };
    FormCreate();
}

TCorrection::~TCorrection() {
    run_.Stop();
    if (Correction == this) Correction = nullptr;
}

void TCorrection::FormCreate() {
    Graph.CorrectionOpen = 1;
    GraphOnTop(false);
    Memo1->clear();
    for (const std::string& line : absorption::GuideLines()) Memo1->appendPlainText(QStr(line));
}

void TCorrection::closeEvent(QCloseEvent* event) {
    run_.Stop();
    GraphOnTop(true);
    Graph.CorrectionOpen = 0;
    event->accept();
}

void TCorrection::Button1Click() { Start(false); }
void TCorrection::Button2Click() { Start(true); }

void TCorrection::Start(bool restore) {
    if (run_.Running() || !Platform) return;
    Graph.FirstDataLine = 7;
    const std::vector<std::string>& lines = Platform->Table.Lines();
    ProgressBar1->setRange(0, absorption::ProgressMax(lines.size()));
    ProgressBar1->setValue(0);
    startGeneration_ = Platform->Table.Generation();
    startCount_ = Platform->Table.Count();
    const int version = Platform->State.ResultsFormatVersion, selected = Graph.SelectedFrame;
    // The worker owns a copy of the table; nothing is written until it has finished.
    run_.Start<absorption::Outcome>(
        [lines, version, selected, restore](absorption::Progress& p) {
            return restore ? absorption::Restore(lines, version, selected, &p)
                           : absorption::Correct(lines, version, selected, &p);
        },
        [this](absorption::Outcome& r) { Show(r); });
}

void TCorrection::Show(const absorption::Outcome& r) {
    if (r.editsShown) {
        Edit1->setText(QStr(r.edit1));
        Edit2->setText(QStr(r.edit2));
    }
    if (r.status == absorption::Status::Refused || r.status == absorption::Status::Error) {
        Dialogs().ShowError(r.error);
        return;
    }
    if (r.status != absorption::Status::Done || !Platform) return;
    // Rows measured or a table loaded meanwhile must not be lost.
    if (Platform->Table.Generation() != startGeneration_ || Platform->Table.Count() != startCount_) {
        Dialogs().ShowError("The results table changed during the correction; nothing was rewritten.");
        return;
    }
    Platform->Table.Assign(r.lines);
    Platform->Memo2Table.Clear();
    Platform->RefreshResultsView();
    Platform->UnsavedRows = true;
    if (chart1) chart1->GraphShow3();
}
