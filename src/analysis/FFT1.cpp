#include "analysis/FFT1.h"

#include <QAction>

#include "analysis/fft.h"
#include "graph/graph_view.h"
#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/qt_text.h"

TFFT1* FFT1 = nullptr;

TFFT1::TFFT1(QWidget* owner) : QWidget(owner, Qt::Window) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    FFT1 = this;
    connect(Button1, &QPushButton::clicked, this, &TFFT1::Button1Click);
    connect(SavetoCSVfile1, &QAction::triggered, this, &TFFT1::SavetoCSVfile1Click);
    FormCreate();
}

TFFT1::~TFFT1() {
    if (FFT1 == this) FFT1 = nullptr;
}

void TFFT1::FormCreate() { setWindowFlag(Qt::WindowStaysOnTopHint); }

void TFFT1::Button1Click() {
    if (!Platform) return;
    std::string error;
    const auto lines = fft::FftListing(Platform->Table.Lines(), Platform->State.ResultsFormatVersion, Graph.FftSize,
                                       Graph.FieldMode != 0, fft::Fft, error);
    if (!error.empty()) {
        Dialogs().ShowError(error);
        return;
    }
    if (lines.empty()) {
        Dialogs().Message(MsgKind::Information,
                          fft::FftShortTable(Platform->Table.Lines(), Platform->State.ResultsFormatVersion, Graph.FftSize));
        return;
    }
    std::string text = fileio::JoinLines(lines, "\n");
    text.pop_back();
    Memo1->setPlainText(QStr(text));
}

void TFFT1::SavetoCSVfile1Click() {
    FileDialogRequest r;
    r.title = "Save to .CSV file";
    r.filter = "csv (*.csv)";
    const std::string path = Dialogs().SaveFileName(r);
    if (path.empty()) return;
    // The memo's lines as they stand, each ended by CR LF.
    const std::string text = StdStr(Memo1->toPlainText());
    std::string error;
    if (!fileio::WriteFileAtomic(path, text.empty() ? std::string() : fileio::JoinLines(fileio::SplitLines(text)), error))
        Dialogs().ShowError(error);
}
