#include "analysis/MutualAverage.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>

#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"
#include "platform/save_picture.h"

TMutual_Average* Mutual_Average = nullptr;
bool MutualAverageOpen = false;

namespace {

void SetLines(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
    memo->setPlainText(QStr(text));
}

// The unit a selection edit's text gives: digits only; an empty text gives 1.
int EditUnit(const std::string& digits) {
    if (digits.empty()) return 1;
    if (digits.size() > 9) return 1000000000;
    return std::stoi(digits);
}

}  // namespace

TMutual_Average::TMutual_Average(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window);
    RadioGroup1->SetItems({"Read from Video image", "Based on First Frame", "First && Last Frame"}, 1);  // "&&": a shown ampersand
    RadioGroup1->SetItemIndex(0);
    Image1->SetPictureSize(Image1->width(), Image1->height());
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    SetFirst = PopupMenu1->addAction("Set First");
    SetFirst->setObjectName("SetFirst");
    SetLast1 = PopupMenu1->addAction("Set Last");
    SetLast1->setObjectName("SetLast1");
    UpDown1->SetRange(1, 1);
    UpDown2->SetRange(1, 1);
    ProgressBar1->setRange(0, 1);

    connect(Button1, &QPushButton::clicked, this, &TMutual_Average::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TMutual_Average::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TMutual_Average::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TMutual_Average::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TMutual_Average::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TMutual_Average::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TMutual_Average::Button7Click);
    for (QScrollBar* b : {ScrollBar1, ScrollBar2, ScrollBar3})
        connect(b, &QScrollBar::valueChanged, this, &TMutual_Average::DrawMutualGraph);
    connect(ComboBox3, &QComboBox::currentIndexChanged, this, &TMutual_Average::ComboBox3Change);
    connect(Image1, &TImage::MouseDown, this, &TMutual_Average::Image1MouseDown);
    connect(SetFirst, &QAction::triggered, this, &TMutual_Average::SetFirstClick);
    connect(SetLast1, &QAction::triggered, this, &TMutual_Average::SetLast1Click);
    connect(Edit8, &QLineEdit::editingFinished, this, &TMutual_Average::Edit8Exit);
    connect(Edit9, &QLineEdit::editingFinished, this, &TMutual_Average::Edit9Exit);
    connect(UpDown1, &TUpDown::Click, this, &TMutual_Average::UpDown1Click);
    connect(UpDown2, &TUpDown::Click, this, &TMutual_Average::UpDown2Click);
    // Time edits: hours keep digits; minutes keep a decimal on leaving but digits on
    // Enter; seconds keep a decimal. Enter comes first, so leaving after it changes nothing.
    struct Filter {
        QLineEdit* edit;
        std::string (*enter)(std::string_view);
        std::string (*leave)(std::string_view);
    };
    for (const Filter& f : {Filter{Edit2, mutual::KeepDigits, mutual::KeepDigits}, Filter{Edit5, mutual::KeepDigits, mutual::KeepDigits},
                            Filter{Edit3, mutual::KeepDigits, mutual::KeepDecimal}, Filter{Edit6, mutual::KeepDigits, mutual::KeepDecimal},
                            Filter{Edit4, mutual::KeepDecimal, mutual::KeepDecimal}, Filter{Edit7, mutual::KeepDecimal, mutual::KeepDecimal}}) {
        connect(f.edit, &QLineEdit::returnPressed, this, [f] { f.edit->setText(QStr(f.enter(StdStr(f.edit->text())))); });
        connect(f.edit, &QLineEdit::editingFinished, this, [f] { f.edit->setText(QStr(f.leave(StdStr(f.edit->text())))); });
    }
    search_.OnProgress = [this](int position, int) { ProgressBar1->setValue(position); };
    FormCreate();
}

TMutual_Average::~TMutual_Average() {
    search_.Stop();
    // Freed with its owner: the opener may open a new one.
    if (Mutual_Average == this) {
        Mutual_Average = nullptr;
        MutualAverageOpen = false;
    }
}

void TMutual_Average::FormCreate() {
    setWindowFlag(Qt::WindowStaysOnTopHint);
    Image1->Picture().fill(Qt::white);
    FitFirstUnit = FitLastUnit = FitWindowFirst = FitWindowLast = 1;
}

void TMutual_Average::closeEvent(QCloseEvent* event) {
    search_.Stop();
    MutualUnits.clear();
    MutualAverageOpen = false;
    if (Mutual_Average == this) Mutual_Average = nullptr;
    event->accept();
}

void TMutual_Average::Button1Click() {
    // A new averaging drops a running search and its result.
    search_.Stop();
    mutual::AverageSettings s;
    s.unitSize = mutual::kUnitSizes[std::clamp(ComboBox1->currentIndex(), 0, 10)];
    s.halfWidth = std::max(0, ComboBox3->currentIndex());
    s.timeSetting = std::max(0, RadioGroup1->ItemIndex());
    s.firstH = StdStr(Edit2->text()), s.firstM = StdStr(Edit3->text()), s.firstS = StdStr(Edit4->text());
    s.lastH = StdStr(Edit5->text()), s.lastM = StdStr(Edit6->text()), s.lastS = StdStr(Edit7->text());
    s.comparison = std::max(0, ComboBox5->currentIndex());
    s.single = CheckBox1->isChecked();
    s.singleValue = StdStr(Edit13->text());
    static const std::vector<std::string> kNoTable;
    mutual::AverageResult r = mutual::AverageFrames(Platform ? Platform->Table.Lines() : kNoTable, s);
    switch (r.status) {
        case mutual::AverageStatus::NoData:
            SetLines(Memo1, r.listing);
            return;
        case mutual::AverageStatus::NoTime:
            SetLines(Memo1, r.listing);
            Dialogs().ShowError(mutual::kNoTimeMessage);
            return;
        case mutual::AverageStatus::Error:
            Dialogs().ShowError(r.error);
            return;
        case mutual::AverageStatus::Done:
            break;
    }
    MutualUnits = std::move(r.units);
    MutualFrameCount = r.frameCount;
    MutualUnitSize = s.unitSize;
    Edit1->setText(QString::number(2 * s.halfWidth + 1));
    SetLines(Memo1, r.listing);
    SetSelection(FitFirstUnit, MutualUnitCount());
    DrawMutualGraph();
}

void TMutual_Average::DrawMutualGraph() {
    Graph = mutual::DrawMutualGraph(Image1->Picture(), MutualUnits,
                                    {ScrollBar1->value(), ScrollBar2->value(), ScrollBar3->value()});
    Image1->Changed();
}

void TMutual_Average::Button2Click() {
    ScrollBar1->setValue(100);
    ScrollBar2->setValue(0);
    ScrollBar3->setValue(100);
    DrawMutualGraph();
}

void TMutual_Average::Button3Click() {
    const QImage& p = Image1->Picture();
    const int width = std::min(Graph.plotWidth + 80, p.width());
    Dialogs().SetClipboardImage(p.copy(0, 0, width, p.height()).convertToFormat(QImage::Format_RGB888));
}

void TMutual_Average::Button4Click() {
    // An empty listing would overwrite a file with nothing.
    if (Memo1->toPlainText().isEmpty()) {
        Dialogs().ShowError(mutual::kNothingToSaveMessage);
        return;
    }
    FileDialogRequest req;
    req.filter = "Camma separated value(*.csv)";
    req.fileName = csvName_;
    std::string path = Dialogs().SaveFileName(req);
    if (path.empty()) return;
    path = fileio::ChangeFileExt(path, ".csv");
    csvName_ = path;
    std::vector<std::string> lines;
    const QString text = Memo1->toPlainText();
    if (!text.isEmpty())
        for (const QString& line : text.split('\n')) lines.push_back(StdStr(line));
    std::string error;
    if (!fileio::WriteFileAtomic(path, fileio::JoinLines(lines), error)) Dialogs().ShowError(error);
}

void TMutual_Average::Button7Click() {
    FileDialogRequest req;
    req.filter = kPictureSaveFilter;
    int chosen = 1;
    req.chosenFilter = &chosen;
    std::string path = Dialogs().SaveFileName(req);
    if (path.empty()) return;
    static const char* const kExt[] = {".png", ".jpg", ".bmp"};
    path = fileio::ChangeFileExt(path, kExt[std::clamp(chosen, 1, 3) - 1]);
    std::string error;
    if (!SavePicture(Image1->Picture().convertToFormat(QImage::Format_RGB888), path, error)) Dialogs().ShowError(error);
}

void TMutual_Average::ComboBox3Change() { Edit1->setText(QString::number(2 * ComboBox3->currentIndex() + 1)); }

void TMutual_Average::SetSelection(int first, int last) {
    const int n = MutualUnitCount();
    if (n >= 1) {
        first = std::clamp(first, 1, n);
        last = std::clamp(last, 1, n);
    } else {
        first = 1;
        last = 0;
    }
    FitFirstUnit = first;
    FitLastUnit = last;
    Edit8->setText(QString::number(first));
    Edit9->setText(QString::number(last));
    UpDown1->SetRange(1, std::max(1, last));
    UpDown1->SetPosition(first);
    UpDown2->SetRange(std::max(1, std::min(first, n)), std::max(1, n));
    UpDown2->SetPosition(last);
    mutual::SetFitWindow(FitFirstUnit, FitLastUnit, n, FitWindowFirst, FitWindowLast);
}

void TMutual_Average::Image1MouseDown(Qt::MouseButton button, int x, int y) {
    if (button != Qt::RightButton) return;
    lastRightX_ = x;
    if (isVisible()) PopupMenu1->popup(Image1->mapToGlobal(QPoint(x, y)));
}

void TMutual_Average::SetFirstClick() { SetEndAtClick(true); }
void TMutual_Average::SetLast1Click() { SetEndAtClick(false); }

void TMutual_Average::SetEndAtClick(bool first) {
    if (lastRightX_ < 50 || lastRightX_ > Graph.plotWidth + 50 || MutualUnitCount() < 1) return;
    const int u = Graph.UnitAt(lastRightX_);
    SetSelection(first ? u : FitFirstUnit, first ? FitLastUnit : u);
    DrawMutualGraph();
    // Green marks the end just set, magenta the other.
    mutual::DrawSelectionLines(Image1->Picture(), Graph, first ? FitFirstUnit : FitLastUnit, first ? FitLastUnit : FitFirstUnit);
    Image1->Changed();
}

void TMutual_Average::Edit8Exit() {
    const std::string digits = mutual::KeepDigits(StdStr(Edit8->text()));
    SetSelection(EditUnit(digits), FitLastUnit);
    if (digits.empty()) Edit8->setText("0");
}

void TMutual_Average::Edit9Exit() {
    const std::string digits = mutual::KeepDigits(StdStr(Edit9->text()));
    SetSelection(FitFirstUnit, EditUnit(digits));
    if (digits.empty()) Edit9->setText("0");
}

// The arrows take the unit over as typing does (the edit shows what the fit uses).
void TMutual_Average::UpDown1Click() { SetSelection(UpDown1->Position(), FitLastUnit); }
void TMutual_Average::UpDown2Click() { SetSelection(FitFirstUnit, UpDown2->Position()); }

void TMutual_Average::ShowFit(const mutual::FitResult& fit, bool slope) {
    LastFit = fit;
    mutual::DrawFit(Image1->Picture(), Graph, fit, slope);
    Image1->Changed();
    Edit10->setText(QStr(fit.minimumText));
    Edit11->setText(QStr(fit.rmsText));
}

void TMutual_Average::Button6Click() {
    if (search_.Running()) return;
    const mutual::FitResult fit =
        mutual::FitUnits(MutualUnits, FitFirstUnit, FitLastUnit, Degree(), CheckBox2->isChecked());
    if (!fit.ok) {
        Dialogs().ShowError(fit.error);
        return;
    }
    DrawMutualGraph();
    SetLines(Memo2, fit.lines);
    ShowFit(fit, true);
}

void TMutual_Average::Button5Click() {
    if (search_.Running()) return;
    const std::string error = mutual::CheckSelection(MutualUnits, FitFirstUnit, FitLastUnit, Degree());
    if (!error.empty()) {
        Dialogs().ShowError(error);
        return;
    }
    Edit12->setText(QString::number(FitWindowFirst));
    ProgressBar1->setRange(0, FitFirstUnit - FitWindowFirst + 1);
    ProgressBar1->setValue(0);
    // The worker owns copies of its inputs; the result is shown once it has finished.
    search_.Start<mutual::FitResult>(
        [units = MutualUnits, first = FitFirstUnit, last = FitLastUnit, wf = FitWindowFirst, wl = FitWindowLast,
         degree = Degree()](JobProgress& p) {
            return mutual::SearchWindow(units, first, last, wf, wl, degree, [&p](int done) { p.position = done; },
                                        &p.cancel);
        },
        [this](mutual::FitResult& fit) { ShowSearch(fit); });
}

void TMutual_Average::ShowSearch(const mutual::FitResult& fit) {
    if (!fit.ok) {
        Dialogs().ShowError(fit.error);
        return;
    }
    DrawMutualGraph();
    ShowFit(fit, false);
}

void OpenMutualAverage(QWidget* owner, bool recording) {
    if (recording || MutualAverageOpen) return;
    MutualAverageOpen = true;
    Mutual_Average = new TMutual_Average(owner);
    Mutual_Average->show();
}
