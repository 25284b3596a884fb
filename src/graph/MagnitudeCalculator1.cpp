#include "graph/MagnitudeCalculator1.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <algorithm>

#include "analysis/identification.h"
#include "graph/FresnelCtrl1.h"
#include "graph/chart.h"
#include "graph/graph_view.h"
#include "graph/magnitude_text.h"
#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"

TMagnitudeCalculator* MagnitudeCalculator = nullptr;

namespace {

std::string PanelText(QLineEdit* TFresnelCtrl::*edit) {
    return FresnelCtrl ? StdStr((FresnelCtrl->*edit)->text()) : std::string();
}

void SetPanelEnabled(bool on) {
    if (FresnelCtrl) FresnelCtrl->setEnabled(on);
}

void SetBlue(QLineEdit* e, bool blue) {
    QPalette p = e->palette();
    p.setColor(QPalette::Text, blue ? Qt::blue : Qt::black);
    e->setPalette(p);
}

}  // namespace

TMagnitudeCalculator::TMagnitudeCalculator(QWidget* owner) : QWidget(owner) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    MagnitudeCalculator = this;
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    Memo1->setFont(mono);
    UpDown1->SetRange(-3, 16);
    UpDown2->SetRange(0, 9);
    UpDown3->SetRange(0, 9);
    UpDown4->SetRange(0, 7);
    UpDown5->SetRange(1, 3);
    UpDown5->SetPosition(3);
    UpDown4->SetAssociate(nullptr);
    RadioGroup1->SetItems({"OFF", "Text with transparency BKG", "Text with opaque background"}, 1);
    RadioGroup1->SetItemIndex(0);
    RadioGroup2->SetItems({"Doublestar", "Time"}, 1);
    ConnectHandlers();
    FormCreate();
    creating_ = false;
}

TMagnitudeCalculator::~TMagnitudeCalculator() {
    if (MagnitudeCalculator == this) {
        MagnitudeCalculator = nullptr;
        Graph.MagnitudeCalculatorOpen = 0;
        SetPanelEnabled(true);
    }
}

void TMagnitudeCalculator::closeEvent(QCloseEvent* event) {
    GraphSnapshot = QImage();
    SetPanelEnabled(true);
    Graph.MagnitudeCalculatorOpen = 0;
    event->accept();
}

void TMagnitudeCalculator::ConnectHandlers() {
    for (TUpDown* u : {UpDown1, UpDown2, UpDown3})
        connect(u, &TUpDown::Click, this, [this](bool) { PairMagnitudeClick(); });
    connect(UpDown4, &TUpDown::Click, this, [this](bool) { UpDown4Click(); });
    connect(UpDown5, &TUpDown::Click, this, [this](bool) { UpDown5Click(); });
    connect(RadioButton3, &QRadioButton::clicked, this, &TMagnitudeCalculator::RadioButton3Click);
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{RadioButton1, RadioButton2, RadioButton4, RadioButton5, CheckBox1})
        connect(b, &QAbstractButton::clicked, this, &TMagnitudeCalculator::ControlClick);
    for (QLineEdit* e : {Edit18, Edit19, Edit20, Edit21, Edit22, Edit23}) {
        e->installEventFilter(this);
        connect(e, &QLineEdit::editingFinished, this, [this, e] { BaseTimeExit(e); });
    }
    connect(Button1, &QPushButton::clicked, this, &TMagnitudeCalculator::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TMagnitudeCalculator::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TMagnitudeCalculator::Button3Click);
    connect(SpeedButton1, &QPushButton::clicked, this, &TMagnitudeCalculator::SpeedButton1Click);
    connect(SpeedButton2, &QPushButton::clicked, this, &TMagnitudeCalculator::SpeedButton2Click);
    connect(RadioGroup1, &TRadioGroup::Click, this, [this](int) { TextOutChanged(); });
    connect(RadioGroup2, &TRadioGroup::Click, this, [this](int) { TextOutChanged(); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this](int) { TextOutChanged(); });
    connect(ScrollBar2, &QScrollBar::valueChanged, this, [this](int) { TextOutChanged(); });
}

bool TMagnitudeCalculator::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        if (auto* e = qobject_cast<QLineEdit*>(watched)) BaseTimeEnter(e);
    return QWidget::eventFilter(watched, event);
}

void TMagnitudeCalculator::FormCreate() {
    Graph.MagnitudeCalculatorOpen = 1;
    const int interval = Platform ? Platform->UpDown9->Position() : 1;
    if (interval < 2) {
        RadioButton4->setChecked(true);
        RadioButton2->setChecked(true);
        RadioGroup2->SetItemIndex(0);
    } else {
        RadioButton5->setChecked(true);
        RadioButton3->setChecked(true);
        RadioGroup2->SetItemIndex(1);
    }
    // The panel's camera list shows only the cameras the file names: the column in
    // use, not the item's place, tells the second camera.
    if (FresnelCtrl && diffraction::Model.CcdIndex == 2) RadioButton3->setChecked(true);
    SnapshotGraph();
    SetPanelEnabled(false);
    {
        const QSignalBlocker b1(ScrollBar1), b2(ScrollBar2);
        ScrollBar1->setValue(380);
        ScrollBar2->setValue(30);
    }
    if (const int p = magnitude::IntegrationPositionForInterval(interval); p >= 0) UpDown4->SetPosition(p);
    IntegratedFrames = magnitude::IntegratedFrames(UpDown4->Position());
    Edit17->setText(QString::number(IntegratedFrames));
    SecondsDigits = UpDown5->Position();
    Edit24->setText(QString::number(SecondsDigits));
    PairMagnitude = 0;
    Edit12->setText("0.00");
    ReadTimeBase();
    BaseTimeBackup = BaseTime;
    BaseTime2Backup = BaseTime2;
    MagnitudeCalculation();
}

void TMagnitudeCalculator::MagnitudeCalculation() {
    magnitude::Inputs in;
    const GraphView& g = Graph;
    in.levels = {g.LevelBeforeMean, g.LevelStepMean, g.LevelAfterMean, g.LevelBeforeStdErr, g.LevelStepStdErr,
                 g.LevelAfterStdErr, g.LevelBeforeCount, g.LevelStepCount, g.LevelAfterCount};
    in.pairMagnitude = PairMagnitude;
    in.camera = RadioButton1->isChecked()   ? magnitude::Camera::Off
                : RadioButton3->isChecked() ? magnitude::Camera::N120
                                            : magnitude::Camera::Wat100N;
    in.integrationPosition = UpDown4->Position();
    in.considerStep = CheckBox1->isChecked();
    in.secondField = RadioButton5->isChecked();
    in.base1 = BaseTime;
    in.base2 = BaseTime2;
    in.baseKnown = in.secondField ? BaseTime2Known : BaseTimeKnown;
    in.fitDone = g.FitDone != 0;
    in.offset1Text = PanelText(&TFresnelCtrl::Edit10);
    in.offset2Text = PanelText(&TFresnelCtrl::Edit18);
    in.secondsDigits = SecondsDigits;
    result_ = magnitude::MagnitudeCalculation(in);
    const magnitude::Result& r = result_;
    const std::pair<QLineEdit*, const std::string*> edits[] = {
        {Edit1, &r.edit1}, {Edit2, &r.edit2}, {Edit3, &r.edit3}, {Edit4, &r.edit4}, {Edit5, &r.edit5},
        {Edit6, &r.edit6}, {Edit7, &r.edit7}, {Edit8, &r.edit8}, {Edit9, &r.edit9}, {Edit10, &r.edit10},
        {Edit11, &r.edit11}, {Edit13, &r.edit13}, {Edit14, &r.edit14}};
    for (const auto& [e, t] : edits) e->setText(QStr(*t));
    QStringList lines;
    for (const std::string& l : r.report) lines << QStr(l);
    Memo1->setPlainText(lines.join('\n'));
}

void TMagnitudeCalculator::ReadTimeBase() {
    std::string h = "0", m = "0", s1 = "0", s2 = "0";
    if (Platform) {
        h = StdStr(Platform->Edit24->text());
        m = StdStr(Platform->Edit25->text());
        s1 = StdStr(Platform->Edit26->text());
        s2 = StdStr(Platform->Edit27->text());
    }
    const magnitude::TimeBase t = magnitude::ReadTimeBase(h, m, s1, s2);
    BaseTime = t.base1;
    BaseTime2 = t.base2;
    BaseTimeKnown = t.known1;
    BaseTime2Known = t.known2;
    // The parts of field 1 edited in the identification window take the place of
    // the main window's; field 2 then keeps the main window's time as it reads.
    const IdentificationVars& edited = IdentificationUnit;
    if (edited.EventTimeEdited[0] || edited.EventTimeEdited[1] || edited.EventTimeEdited[2]) {
        BaseTimeKnown = BaseTime2Known = true;
        BaseTime2 = {t.base1.hour, t.base1.minute, t.base2.seconds};
        if (edited.EventTimeEdited[0]) BaseTime.hour = edited.BaseTime.hour;
        if (edited.EventTimeEdited[1]) BaseTime.minute = edited.BaseTime.minute;
        if (edited.EventTimeEdited[2]) BaseTime.seconds = edited.BaseTime.seconds;
    }
    ShowBaseTime();
}

void TMagnitudeCalculator::ShowBaseTime() {
    const int decimals = magnitude::SecondsDecimals(Platform ? Platform->State.TimeInserterType : 1);
    auto show = [decimals](bool known, const magnitude::BaseTime& t, QLineEdit* h, QLineEdit* m, QLineEdit* sec) {
        h->setText(known ? QString::number(t.hour) : QString());
        m->setText(known ? QString::number(t.minute) : QString());
        sec->setText(known ? QStr(magnitude::SecondsText(t.seconds, decimals)) : QString());
    };
    show(BaseTimeKnown, BaseTime, Edit18, Edit19, Edit20);
    show(BaseTime2Known, BaseTime2, Edit21, Edit22, Edit23);
    for (QLineEdit* e : {Edit18, Edit19, Edit20, Edit21, Edit22, Edit23}) SetBlue(e, false);
}

void TMagnitudeCalculator::SnapshotGraph() {
    if (chart1) GraphSnapshot = chart1->ChartImg1->Picture().copy();
}

void TMagnitudeCalculator::RestoreGraph() {
    if (!chart1 || GraphSnapshot.isNull()) return;
    chart1->ChartImg1->Picture() = GraphSnapshot;
    chart1->ChartImg1->Changed();
}

void TMagnitudeCalculator::DrawReportOnGraph() {
    if (!chart1 || GraphSnapshot.isNull()) return;
    magnitude::GraphText how;
    how.out = static_cast<magnitude::TextOut>(std::clamp(RadioGroup1->ItemIndex(), 0, 2));
    how.mode = RadioGroup2->ItemIndex() == 1 ? magnitude::TextMode::Time : magnitude::TextMode::Doublestar;
    how.x = ScrollBar1->value();
    how.y = ScrollBar2->value();
    how.n120 = RadioButton3->isChecked();
    how.delayMs = magnitude::kIntegrationDelayTable[static_cast<size_t>(std::clamp(UpDown4->Position(), 0, 7))];
    how.integratedFrames = IntegratedFrames;
    magnitude::DrawReportOnGraph(chart1->ChartImg1->Picture(), GraphSnapshot, result_.report, how);
    chart1->ChartImg1->Changed();
}

void TMagnitudeCalculator::GraphClicked() {
    SnapshotGraph();
    ReadTimeBase();
    BaseTimeBackup = BaseTime;
    BaseTime2Backup = BaseTime2;
    MagnitudeCalculation();
    if (RadioGroup1->ItemIndex() > 0) DrawReportOnGraph();
}

void TMagnitudeCalculator::Recalculate() {
    MagnitudeCalculation();
    if (RadioGroup1->ItemIndex() > 0) DrawReportOnGraph();
}

void TMagnitudeCalculator::PairMagnitudeClick() {
    PairMagnitude = magnitude::PairMagnitude(UpDown1->Position(), UpDown2->Position(), UpDown3->Position());
    Edit12->setText(QString::number(PairMagnitude, 'f', 2));
    Recalculate();
}

void TMagnitudeCalculator::UpDown4Click() {
    const int p = UpDown4->Position();
    IntegratedFrames = magnitude::IntegratedFrames(p);
    Edit17->setText(QString::number(IntegratedFrames));
    if (p >= 1) RadioButton3->setChecked(true);
    Recalculate();
}

void TMagnitudeCalculator::UpDown5Click() {
    SecondsDigits = UpDown5->Position();
    Edit24->setText(QString::number(SecondsDigits));
    Recalculate();
}

void TMagnitudeCalculator::RadioButton3Click() {
    if (Graph.StepRangeStart != Graph.StepRangeEnd) CheckBox1->setChecked(true);
    Recalculate();
}

void TMagnitudeCalculator::ControlClick() { Recalculate(); }

void TMagnitudeCalculator::BaseTimeEnter(QLineEdit* edit) {
    SetBlue(edit, true);
    if (chart1) chart1->showMinimized();
}

void TMagnitudeCalculator::BaseTimeExit(QLineEdit* edit) {
    const bool second = edit == Edit21 || edit == Edit22 || edit == Edit23;
    const magnitude::TimePart part = (edit == Edit18 || edit == Edit21)   ? magnitude::TimePart::Hour
                                     : (edit == Edit19 || edit == Edit22) ? magnitude::TimePart::Minute
                                                                          : magnitude::TimePart::Seconds;
    std::string text = StdStr(edit->text());
    // Seconds count as they are shown, with the inserter's decimals.
    if (part == magnitude::TimePart::Seconds)
        if (const auto v = numtext::ParseFloat(text); v && *v >= 0 && *v <= 60)
            text = magnitude::SecondsText(*v, magnitude::SecondsDecimals(Platform ? Platform->State.TimeInserterType : 1));
    // A valid entry is a time the user gives, even where the rows hold none.
    if (magnitude::ApplyBaseTimeEdit(part, text, second ? BaseTime2 : BaseTime, second ? BaseTime2Backup : BaseTimeBackup))
        (second ? BaseTime2Known : BaseTimeKnown) = true;
    ShowBaseTime();
    Recalculate();
}

void TMagnitudeCalculator::Button1Click() {
    for (const std::string& l : magnitude::TimingErrorReport()) Memo1->appendPlainText(QStr(l));
}

void TMagnitudeCalculator::Button2Click() {
    ReadTimeBase();
    BaseTimeBackup = BaseTime;
    BaseTime2Backup = BaseTime2;
    Recalculate();
}

void TMagnitudeCalculator::Button3Click() {
    Recalculate();
    if (chart1) chart1->showNormal();
    raise();
    activateWindow();
}

void TMagnitudeCalculator::SpeedButton1Click() {
    if (chart1) chart1->showNormal();
    raise();
    activateWindow();
    if (Platform && Platform->State.TimeInserterType != 0) Platform->CheckBox1->setChecked(false);
}

void TMagnitudeCalculator::SpeedButton2Click() {
    if (chart1) chart1->showMinimized();
    if (Platform && Platform->State.TimeInserterType != 0) Platform->CheckBox1->setChecked(true);
}

void TMagnitudeCalculator::TextOutChanged() {
    if (creating_) return;
    if (RadioGroup1->ItemIndex() > 0) DrawReportOnGraph();
    else RestoreGraph();
}
