#include "analysis/Identification1.h"

#include <QCloseEvent>
#include <QDate>
#include <QDateTime>
#include <QKeyEvent>
#include <QLayout>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

#include "analysis/BaseOfIntegrated.h"
#include "analysis/identification_draw.h"
#include "graph/FresnelCtrl1.h"
#include "graph/chart.h"
#include "graph/fresnel_panel.h"
#include "graph/fresnel_write.h"
#include "graph/graph_view.h"
#include "graph/spectral_model.h"
#include "imagefile/LinarBitmap.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/ini_file.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"
#include "platform/save_picture.h"

TIdentification* Identification = nullptr;

namespace {

namespace id = identification;

constexpr const char* kOverwrite = "File is already exist in destination folder. Overwrite?";
constexpr int kOtherSourceHeight = 697, kGraphHeight = 264, kPanelTop = 432, kGraphTop = 450;
// The graph's title line, where the label goes: the top rows of its picture.
constexpr int kGraphTitleLineBottom = 24;

std::string Text(const QLineEdit* e) { return StdStr(e->text()); }

// Rows show the beginning of a line of megabytes (ShownLine); the whole line is
// kept and applied.
QStringList ShownLines(const std::vector<std::string>& lines) {
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) rows << ShownLine(line);
    return rows;
}

void SetBlue(QLineEdit* e, bool blue) {
    QPalette p = e->palette();
    p.setColor(QPalette::Text, blue ? Qt::blue : Qt::black);
    e->setPalette(p);
}

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// One key of the [Identification] section, written as the only change to the file.
void WriteIdentificationKey(const std::string& key, const std::string& value) {
    IniFile ini;
    std::string error;
    const std::string path = ProgramSettingsFile().Path();
    if (ini.Load(path, error) == IniFile::LoadResult::Failed || !ini.WriteString("Identification", key, value) ||
        !ini.Save(path, error))
        Dialogs().ShowError("Could not write the settings file.\r\n" + path + (error.empty() ? "" : "\r\n" + error));
}

}  // namespace

TIdentification::TIdentification(TPlatform* owner) : QMainWindow(owner), platform_(*owner) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    Identification = this;
    Graph.IdentificationOpen = 1;
    for (int y = id::kFirstYear; y <= id::kLastYear; ++y) ComboBox1->addItem(QString::number(y));
    for (const char* m : id::MonthAbbrevs) ComboBox2->addItem(m);
    for (int d = 1; d <= 31; ++d) ComboBox3->addItem(QString::number(d));
    RadioGroup1->SetItems({"Direct to Graph", "From other source"}, 1);
    QFont mono("DejaVu Sans Mono");
    mono.setPixelSize(11);
    ListBox1->setFont(mono);
    // One mono-spaced font: ShowList gives every row the size of the longest, so
    // that a report of many lines is not measured row by row.
    ListBox1->setUniformItemSizes(true);
    ListBox1->installEventFilter(this);
    for (QLineEdit* e : {Edit9, Edit10, Edit11}) e->installEventFilter(this);
    ConnectHandlers();
    FormCreate();
    creating_ = false;
    ComposeIdText();
}

TIdentification::~TIdentification() {
    if (Identification == this) {
        Identification = nullptr;
        Graph.IdentificationOpen = 0;
    }
}

void TIdentification::changeEvent(QEvent* event) {
    // "Paste from Graph" is there while the graph window is open.
    if (event->type() == QEvent::ActivationChange) Button7->setEnabled(chart1 != nullptr);
    QMainWindow::changeEvent(event);
}

void TIdentification::closeEvent(QCloseEvent* event) {
    Graph.IdentificationOpen = 0;
    if (chart1) chart1->GraphShow3();
    IdBackupBitmap = QImage();
    event->accept();
}

void TIdentification::ConnectHandlers() {
    connect(Button1, &QPushButton::clicked, this, &TIdentification::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TIdentification::Button2Click);
    connect(Openpredictionfile1, &QAction::triggered, this, &TIdentification::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TIdentification::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TIdentification::Button4Click);
    connect(Opengraphpngfile1, &QAction::triggered, this, &TIdentification::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TIdentification::Button5Click);
    connect(Savegraphpngfile1, &QAction::triggered, this, &TIdentification::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TIdentification::Button6Click);
    connect(Copyimagetoclipboard1, &QAction::triggered, this, &TIdentification::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TIdentification::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TIdentification::Button8Click);
    connect(Pasteimagefromclipboard1, &QAction::triggered, this, &TIdentification::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TIdentification::Button9Click);
    connect(Button10, &QPushButton::clicked, this, &TIdentification::Button10Click);
    connect(Button11, &QPushButton::clicked, this, &TIdentification::Button11Click);
    connect(Button12, &QPushButton::clicked, this, &TIdentification::Button12Click);
    connect(SpeedButton1, &QPushButton::clicked, this, &TIdentification::SpeedButton1Click);
    connect(SpeedButton2, &QPushButton::clicked, this, &TIdentification::SpeedButton2Click);
    connect(CheckBox1, &QCheckBox::clicked, this, &TIdentification::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &TIdentification::CheckBox2Click);
    connect(CheckBox3, &QCheckBox::clicked, this, &TIdentification::CheckBox3Click);
    connect(RadioGroup1, &TRadioGroup::Click, this, [this](int) { RadioGroup1Click(); });
    connect(ComboBox1, &QComboBox::activated, this, [this](int) { DateListChange(1); });
    connect(ComboBox2, &QComboBox::activated, this, [this](int) { DateListChange(2); });
    connect(ComboBox3, &QComboBox::activated, this, [this](int) { DateListChange(3); });
    connect(Edit2, &QLineEdit::textEdited, this, [this] { Edit2Change(true); });
    connect(Edit2, &QLineEdit::textChanged, this, [this] { Edit2Change(false); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { ComposeIdText(); });
    connect(Edit9, &QLineEdit::editingFinished, this, [this] { EventTimeExit(0); });
    connect(Edit10, &QLineEdit::editingFinished, this, [this] { EventTimeExit(1); });
    connect(Edit11, &QLineEdit::editingFinished, this, [this] { EventTimeExit(2); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { ApplyPredictionLine(); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this](int) { ScrollBarChange(); });
    connect(ScrollBar2, &QScrollBar::valueChanged, this, [this](int) { ScrollBarChange(); });
}

bool TIdentification::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ApplyPredictionLine();
            return true;
        }
    }
    const int part = watched == Edit9 ? 0 : watched == Edit10 ? 1 : watched == Edit11 ? 2 : -1;
    if (part >= 0 && event->type() == QEvent::FocusIn) EventTimeEnter(part);
    if (part >= 0 && event->type() == QEvent::FocusOut) EventTimeExit(part);
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- creation

void TIdentification::FormCreate() {
    const bool fromGraph = Graph.IdentificationFromGraph && chart1;
    move(platform_.x(), fromGraph ? GraphLayoutTop() : platform_.y());
    RadioGroup1->SetItemIndex(fromGraph ? 0 : 1);
    CheckBox1->setChecked(true);
    // The graph's picture when the graph is open, else a white one of Image1's size.
    QImage picture(Image1->width(), Image1->height(), QImage::Format_RGB32);
    picture.fill(Qt::white);
    if (chart1) picture = chart1->ChartImg1->Picture();
    {
        const QSignalBlocker b1(ScrollBar1), b2(ScrollBar2);
        TakePicture(picture);
        ScrollBar2->setValue(Graph.IdentificationTextX);
        ScrollBar1->setValue(Graph.IdentificationTextY);
    }
    Graph.IdentificationTextX = ScrollBar2->value();
    Graph.IdentificationTextY = ScrollBar1->value();
    ApplyLayout(false);
    CheckBox3->setChecked(platform_.CheckBox5->isChecked());
    Edit2->setText(QStr(id::InitialTargetStar(Integration.AsteroidName, Integration.TargetStarCatalogueNo)));
    Edit1->setText(QStr(platform_.State.ObserverName));
    const magnitude::TimeBase t = magnitude::ReadTimeBase(Text(platform_.Edit24), Text(platform_.Edit25),
                                                          Text(platform_.Edit26), Text(platform_.Edit27));
    IdentificationUnit.BaseTime = IdentificationUnit.BaseTimeBackup = t.base1;
    ShowEventTime();
    // The lists start from today's date; the overlay's date replaces it when it reads.
    SelectDate({QDate::currentDate().year(), QDate::currentDate().month(), QDate::currentDate().day()});
    DateFromOverlay();
    ParsePredictionHeader();
    Button7->setEnabled(chart1 != nullptr);
}

void TIdentification::ApplyLayout(bool moveWindow) {
    const bool other = OtherSource();
    Image1->setVisible(other);
    Panel1->move(0, other ? kPanelTop : 0);
    ScrollBar1->setEnabled(other);
    ScrollBar2->setEnabled(other);
    centralWidget()->setMinimumSize(742, other ? kOtherSourceHeight : kGraphHeight);
    // The window's own minimum (the client height and the menu) follows at once,
    // so that the window may shrink to it now.
    if (layout()) layout()->activate();
    resize(742, minimumHeight());
    if (moveWindow) move(x(), other ? 0 : GraphLayoutTop());
}

int TIdentification::GraphLayoutTop() const {
    // The window stays on top: it must not hide the label it writes into the
    // graph's title, wherever the graph window is.
    if (!chart1) return kGraphTop;
    return std::max(kGraphTop, chart1->ChartImg1->mapToGlobal(QPoint(0, kGraphTitleLineBottom)).y() + 1);
}

void TIdentification::TakePicture(const QImage& picture) {
    Image1->Picture() = picture.convertToFormat(QImage::Format_RGB32);
    IdBackupBitmap = Image1->Picture().copy();
    IdBackupRect = IdBackupBitmap.rect();
    ScrollBar1->setMaximum(std::max(0, IdBackupBitmap.height() - 10));
    ScrollBar2->setMaximum(std::max(0, IdBackupBitmap.width() - 200));
    Image1->Changed();
}

// ---------------------------------------------------------------- label

void TIdentification::ComposeIdText() {
    if (creating_) return;
    Graph.IdentificationText = id::ComposeIdText(Text(Edit2), StdStr(ComboBox1->currentText()),
                                                 StdStr(ComboBox2->currentText()), StdStr(ComboBox3->currentText()),
                                                 Text(Edit1));
    if (!CheckBox1->isChecked()) return;
    if (OtherSource()) DrawIdText();
    else if (chart1) chart1->GraphShow3();
}

void TIdentification::DrawIdText() {
    id::DrawIdText(Image1->Picture(), IdBackupBitmap, IdBackupRect, Graph.IdentificationText,
                   Graph.IdentificationTextX, Graph.IdentificationTextY);
    Image1->Changed();
}

void TIdentification::ScrollBarChange() {
    Graph.IdentificationTextX = ScrollBar2->value();
    Graph.IdentificationTextY = ScrollBar1->value();
    if (OtherSource() && CheckBox1->isChecked()) DrawIdText();
}

void TIdentification::CheckBox1Click() {
    if (CheckBox1->isChecked()) {
        ComposeIdText();
    } else if (OtherSource()) {
        Image1->Picture() = IdBackupBitmap.copy();
        Image1->Changed();
    }
}

void TIdentification::RadioGroup1Click() {
    ApplyLayout(true);
    ComposeIdText();
}

void TIdentification::Edit2Change(bool byUser) {
    if (creating_) return;
    if (byUser) Integration.AsteroidName = id::AsteroidNameFromStar(Text(Edit2));
    else ComposeIdText();
}

// ---------------------------------------------------------------- date and time

void TIdentification::SelectDate(const id::DateSelection& d) {
    if (d.year >= id::kFirstYear && d.year <= id::kLastYear) ComboBox1->setCurrentIndex(d.year - id::kFirstYear);
    if (d.month >= 1 && d.month <= 12) ComboBox2->setCurrentIndex(d.month - 1);
    if (d.day >= 1 && d.day <= 31) ComboBox3->setCurrentIndex(d.day - 1);
}

void TIdentification::DateFromOverlay() {
    overlay::OverlayTimeLine& o = platform_.OverlayLine;
    const QDate today = QDate::currentDate();
    const id::OverlayDate d =
        id::DateFromOverlay(o.OverlayYear, o.OverlayMonth, o.OverlayDay, today.year(), today.month(), today.day());
    o.OverlayYear = d.yearText;
    o.OverlayMonth = d.monthText;
    o.OverlayDay = d.dayText;
    Memo2->appendPlainText(QStr(d.memoLine));
    if (d.select) SelectDate({d.year, d.month, d.day});
}

void TIdentification::DateListChange(int list) {
    overlay::OverlayTimeLine& o = platform_.OverlayLine;
    if (list == 1) o.OverlayYear = id::OverlayYearText(id::kFirstYear + ComboBox1->currentIndex());
    if (list == 2) o.OverlayMonth = id::OverlayTwoText(ComboBox2->currentIndex() + 1);
    if (list == 3) o.OverlayDay = id::OverlayTwoText(ComboBox3->currentIndex() + 1);
    // The report is listed again from Memo3 as it is: a pasted report is kept.
    ParsePredictionHeader();
    if (CheckBox3->isChecked()) ApplyPredictionLine();
    ComposeIdText();
}

void TIdentification::Button12Click() {
    DateFromOverlay();
    ComposeIdText();
}

void TIdentification::ShowEventTime() {
    const magnitude::BaseTime& t = IdentificationUnit.BaseTime;
    const int decimals = magnitude::SecondsDecimals(platform_.State.TimeInserterType);
    Edit9->setText(QString::number(t.hour));
    Edit10->setText(QString::number(t.minute));
    Edit11->setText(QStr(magnitude::SecondsText(t.seconds, decimals)));
    entryText_ = {Text(Edit9), Text(Edit10), Text(Edit11)};
}

void TIdentification::EventTimeEnter(int part) {
    QLineEdit* e = part == 0 ? Edit9 : part == 1 ? Edit10 : Edit11;
    entryText_[static_cast<size_t>(part)] = Text(e);
    SetBlue(e, true);
}

void TIdentification::EventTimeExit(int part) {
    QLineEdit* e = part == 0 ? Edit9 : part == 1 ? Edit10 : Edit11;
    IdentificationVars& u = IdentificationUnit;
    const int decimals = magnitude::SecondsDecimals(platform_.State.TimeInserterType);
    const magnitude::TimePart which = part == 0   ? magnitude::TimePart::Hour
                                      : part == 1 ? magnitude::TimePart::Minute
                                                  : magnitude::TimePart::Seconds;
    magnitude::ApplyBaseTimeEdit(which, Text(e), u.BaseTime, u.BaseTimeBackup);
    const std::string shown = part == 0   ? std::to_string(u.BaseTime.hour)
                              : part == 1 ? std::to_string(u.BaseTime.minute)
                                          : magnitude::SecondsText(u.BaseTime.seconds, decimals);
    e->setText(QStr(shown));
    SetBlue(e, false);
    std::string& entered = entryText_[static_cast<size_t>(part)];
    if (shown == entered) return;
    entered = shown;
    // The overlay strings of field 1 carry the edited time from now on.
    overlay::OverlayTimeLine& o = platform_.OverlayLine;
    OverlayTimeText& r = platform_.State.Overlay;
    if (part == 0) o.OverlayHour1 = r.OverlayHour1 = TwoDigits(u.BaseTime.hour);
    if (part == 1) o.OverlayMinute1 = r.OverlayMinute1 = TwoDigits(u.BaseTime.minute);
    if (part == 2) {
        o.OverlaySecond1 = TwoDigits(static_cast<int>(std::floor(u.BaseTime.seconds)));
        o.OverlaySeconds1 = r.OverlaySeconds1 = shown;
    }
    u.EventTimeEdited[static_cast<size_t>(part)] = 1;
}

// ---------------------------------------------------------------- the report

id::OverlayClock TIdentification::Clock() const {
    const overlay::OverlayTimeLine& o = platform_.OverlayLine;
    return {o.OverlayYear, o.OverlayMonth, o.OverlayDay, o.OverlayHour1, o.OverlayMinute1,
            o.OverlaySeconds1.empty() ? o.OverlaySecond1 : o.OverlaySeconds1};
}

void TIdentification::OpenPredictionFile() {
    FileDialogRequest r;
    r.title = "Open prediction file";
    r.folder = fileio::ExtractFilePath(platform_.State.PredictionFilePath);
    r.filter = "Text files (*.txt);;All files (*)";
    const std::string path = Dialogs().OpenFileName(r);
    if (path.empty()) return;
    platform_.Memo3Table.Clear();
    platform_.Memo3->Refresh();
    platform_.State.PredictionFilePath = path;
    WriteIdentificationKey("Prediction file", path);
    ParsePredictionHeader();
}

void TIdentification::ParsePredictionHeader() {
    MeasureState& s = platform_.State;
    if (!s.PredictionLoaded) {
        std::vector<std::string> lines;
        std::string error;
        if (id::ReadReport(s.PredictionFilePath, lines, error) == id::ReportRead::Failed)
            Dialogs().ShowError("Could not read the prediction file.\r\n" + s.PredictionFilePath + "\r\n" + error);
        platform_.Memo3Table.Assign(std::move(lines));
        platform_.Memo3->Refresh();
        s.PredictionLoaded = 1;
    }
    const std::vector<std::string>& report = platform_.Memo3Table.Lines();
    id::ListingOptions options{CheckBox3->isChecked(), CheckBox2->isChecked(), Clock()};
    ProgressBar1->setValue(0);
    id::Listing l = id::ListReport(report, options, [this](size_t done, size_t total) {
        ProgressBar1->setMaximum(static_cast<int>(std::min<size_t>(total, 1u << 30)));
        ProgressBar1->setValue(static_cast<int>(std::min<size_t>(done, 1u << 30)));
    });
    // memo1_ holds Memo1's lines; the hidden widget is left empty, as a text
    // document of a whole report would cost seconds and hundreds of megabytes.
    memo1_ = std::move(l.memo1);
    if (l.pasted.found) {
        Edit2->setText(QStr(l.pasted.star));
        if (l.pasted.hasObserver) Edit1->setText(QStr(l.pasted.observer));
        SelectDate(l.pasted.date);
        ComposeIdText();
    }
    ShowList(std::move(l.list));
    if (l.columnsSet) columns_ = l.columns;
    if (report.size() > 3 && CheckBox3->isChecked()) ApplyPredictionLine();
    if (report.size() > 3 && !OtherSource()) ComposeIdText();
}

void TIdentification::ShowList(id::EventList list) {
    items_ = std::move(list.items);
    ListBox1->clear();
    ListBox1->addItems(ShownLines(items_));
    // Uniform rows take the last row's size: give it the longest row's.
    if (!items_.empty()) {
        const auto longest = std::max_element(items_.begin(), items_.end(), [](const std::string& a, const std::string& b) {
            return std::min(a.size(), kShownLineChars + 1) < std::min(b.size(), kShownLineChars + 1);
        });
        const int row = static_cast<int>(longest - items_.begin());
        ListBox1->item(ListBox1->count() - 1)->setSizeHint(ListBox1->sizeHintForIndex(ListBox1->model()->index(row, 0)));
    }
    ListBox1->setCurrentRow(list.selected);
}

void TIdentification::ApplyPredictionLine() {
    const int row = ListBox1->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= items_.size()) return;
    const id::AppliedLine a = id::ApplyPredictionLine(items_[static_cast<size_t>(row)], columns_);
    if (!a.hasMonth) {
        for (QLineEdit* e : {Edit2, Edit4, Edit5, Edit6, Edit7, Edit8}) e->clear();
        return;
    }
    SelectDate(a.date);
    Edit2->setText(QStr(a.star));
    diffraction::DiffractionModel& m = diffraction::Model;
    if (a.contactAngle) {
        Graph.ContactAngle = *a.contactAngle;
        Graph.ContactAngleText = a.contactAngleText;
        Edit6->setText(QStr(a.contactAngleText));
        fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::ContactAngle, a.contactAngleText);
    }
    if (a.velocity) {
        m.ShadowVelocity = m.ShadowVelocityPerInterval = static_cast<long double>(*a.velocity);
        Edit5->setText(QStr(a.velocityText));
        fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::Velocity, a.velocityText);
    }
    if (a.distanceMetres) {
        m.ObjectDistance = *a.distanceMetres;
        Edit4->setText(QStr(a.distanceKmText));
        fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::Distance, a.distanceKmText);
    }
    if (a.spectralType) {
        FresnelPanel.SpectralTypeText = *a.spectralType;
        Edit8->setText(QStr(*a.spectralType));
        if (FresnelCtrl && Graph.DiffractionMode) {
            const int item =
                fresnelpanel::SpectralTypeIndex(fresnelpanel::NormaliseSpectralType(FresnelPanel.SpectralTypeText));
            if (item >= 0 && item != FresnelCtrl->ComboBox1->currentIndex()) {
                FresnelCtrl->ComboBox1->setCurrentIndex(item);
                FresnelCtrl->ComboBox1Change();
            }
        }
    }
    ComposeIdText();
}

// ---------------------------------------------------------------- buttons

void TIdentification::Button1Click() {
    platform_.State.ObserverName = Text(Edit1);
    WriteIdentificationKey("Observer", platform_.State.ObserverName);
}

void TIdentification::Button2Click() {
    platform_.State.PredictionLoaded = 0;
    OpenPredictionFile();
    if (CheckBox3->isChecked()) ApplyPredictionLine();
}

void TIdentification::Button3Click() {
    ListBox1->clear();
    items_.clear();
    Memo1->clear();
    memo1_.clear();
}

void TIdentification::Button9Click() {
    ParsePredictionHeader();
    ComposeIdText();
}

void TIdentification::CheckBox3Click() { Button9Click(); }

void TIdentification::CheckBox2Click() {
    ShowList(id::FillEventList(memo1_, CheckBox2->isChecked(), platform_.OverlayLine.OverlayYear));
}

void TIdentification::Button10Click() {
    const QDateTime utc = QDateTime::currentDateTime().toUTC();
    Memo2->appendPlainText(utc.toString("yyyy/MM/dd hh:mm:ss"));
}

void TIdentification::Button11Click() {
    platform_.Memo3Table.Assign(fileio::SplitLines(Dialogs().ClipboardText()));
    platform_.Memo3->Refresh();
    platform_.State.PredictionLoaded = 1;
    ParsePredictionHeader();
}

void TIdentification::SpeedButton1Click() {
    if (chart1) chart1->showNormal();
    raise();
    activateWindow();
    if (platform_.State.TimeInserterType != 0) platform_.CheckBox1->setChecked(false);
}

void TIdentification::SpeedButton2Click() {
    if (chart1) chart1->showMinimized();
    platform_.CheckBox1->setChecked(true);
}

// ---------------------------------------------------------------- pictures

void TIdentification::Button8Click() {
    const QImage picture = Dialogs().ClipboardImage();
    if (picture.isNull()) return;
    TakePicture(picture);
    if (CheckBox1->isChecked() && OtherSource()) DrawIdText();
}

void TIdentification::Button7Click() {
    if (!chart1) return;
    TakePicture(chart1->ChartImg1->Picture());
    if (CheckBox1->isChecked() && OtherSource()) DrawIdText();
}

void TIdentification::Button6Click() {
    Dialogs().SetClipboardImage(Image1->Picture().convertToFormat(QImage::Format_RGB888));
}

void TIdentification::Button5Click() {
    FileDialogRequest r;
    r.filter = kPictureSaveFilter;
    int chosen = 1;
    r.chosenFilter = &chosen;
    std::string path = Dialogs().SaveFileName(r);
    if (path.empty()) return;
    path = fileio::ChangeFileExt(path, PictureExtension(chosen));
    if (fileio::ExtractFileName(path).empty() || fileio::ExtractFileName(path)[0] == '.') return;
    if (fileio::FileExists(path) && !Dialogs().AskYesNo(kOverwrite)) return;
    std::string error;
    if (!SavePicture(Image1->Picture().convertToFormat(QImage::Format_RGB888), path, error)) Dialogs().ShowError(error);
}

void TIdentification::Button4Click() {
    FileDialogRequest r;
    r.filter = kPictureSaveFilter;
    const std::string path = Dialogs().OpenFileName(r);
    if (path.empty() || fileio::ExtractFileName(path).empty() || fileio::ExtractFileName(path)[0] == '.') return;
    try {
        const QImage picture = imagefile::LoadPictureRoad(path);
        if (picture.isNull()) {
            Dialogs().ShowError(std::string(imagefile::kInvalidBitmapSize) + "\r\n" + path);
            return;
        }
        TakePicture(picture);
    } catch (const std::exception& e) {
        Dialogs().ShowError(std::string(e.what()) + "\r\n" + path);
        return;
    }
    if (CheckBox1->isChecked() && OtherSource()) DrawIdText();
}
