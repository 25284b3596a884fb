#include "analysis/BaseOfIntegrated.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "analysis/integration_base.h"
#include "graph/FresnelCtrl1.h"
#include "graph/chart.h"
#include "graph/graph_view.h"
#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "platform/qt_text.h"

TBaseOfIntegration* BaseOfIntegration = nullptr;
IntegrationVars Integration;

namespace {

std::string Text(const QLineEdit* e) { return StdStr(e->text()); }

// The graph opened, or redrawn when it is open already.
void ShowGraph() {
    if (!Platform) return;
    if (chart1) chart1->GraphShow3();
    else Platform->OpenGraphWindow();
}

}  // namespace

TBaseOfIntegration::TBaseOfIntegration(QWidget* owner) : QWidget(owner, Qt::Window) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    BaseOfIntegration = this;
    for (QLineEdit* e : {Edit1, Edit2, Edit3}) e->installEventFilter(this);
    connect(Edit1, &QLineEdit::textChanged, this, &TBaseOfIntegration::VelocityChange);
    connect(Edit2, &QLineEdit::textChanged, this, &TBaseOfIntegration::VelocityChange);
    connect(Edit3, &QLineEdit::textChanged, this, &TBaseOfIntegration::Edit3Change);
    connect(Edit5, &QLineEdit::textChanged, this, &TBaseOfIntegration::Edit5Change);
    connect(Edit6, &QLineEdit::textChanged, this, &TBaseOfIntegration::Edit6Change);
    connect(ComboBox1, QOverload<int>::of(&QComboBox::activated), this, &TBaseOfIntegration::ComboBox1Change);
    connect(Button1, &QPushButton::clicked, this, &TBaseOfIntegration::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TBaseOfIntegration::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TBaseOfIntegration::Button3Click);
    FormCreate();
}

TBaseOfIntegration::~TBaseOfIntegration() {
    if (BaseOfIntegration == this) BaseOfIntegration = nullptr;
}

void TBaseOfIntegration::FormCreate() {
    Graph.IntegrationBaseOpen = 1;
    Graph.IntegratedMeasurementDone = 0;
    Memo1->clear();
    Graph.IntegrationFrames = 1;
    ComboBox1->setCurrentIndex(-1);
    if (!Platform) return;
    const ResultsFormat f = DetectResultsFormat(Platform->Table);
    Platform->State.ResultsFormatVersion = f.version;
    Platform->State.ResultsHeaderLines = f.headerLines;
    if (static_cast<int64_t>(Platform->Table.Count()) - f.headerLines - 1 < 64)
        Dialogs().MessageTitled(MsgKind::Information, "Please try again after the measurement with the duration of 2 seconds or more.",
                                "This function requires the measurement with no-integration.");
}

void TBaseOfIntegration::closeEvent(QCloseEvent* event) {
    Graph.IntegrationBaseOpen = 0;
    event->accept();
}

bool TBaseOfIntegration::eventFilter(QObject* watched, QEvent* event) {
    // The three inputs take digits, "." and backspace; keys without text (arrows,
    // Delete) move and delete as usual.
    if (event->type() == QEvent::KeyPress) {
        const QString t = static_cast<QKeyEvent*>(event)->text();
        if (t.size() == 1 && t[0].unicode() >= 32) {
            const char16_t c = t[0].unicode();
            const bool allowed = (c >= u'0' && c <= u'9') || c == u'.' || c == 37 || c == 39;
            if (!allowed) return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TBaseOfIntegration::VelocityChange() {
    if (const auto v = integration::ShadowVelocity(Text(Edit1), Text(Edit2))) {
        Edit4->setText(QString::number(*v));
        diffraction::Model.ShadowVelocity = static_cast<long double>(*v);
    }
    EnableButton1();
}

void TBaseOfIntegration::Edit3Change() {
    const auto d = integration::DistanceFromParallax(Text(Edit3));
    if (d && !integration::DistanceUsable(*d)) {
        // 0 km, or more than the panel can hold: nothing is shown or handed on.
        Edit7->clear();
        EnableButton1();
        Dialogs().ShowError(integration::ParallaxRefusal(Text(Edit3)));
        return;
    }
    if (d) {
        Edit7->setText(QString::number(d->km));
        diffraction::Model.ObjectDistance = d->metres;
    } else {
        // The parallax text stays: "0" and "0." begin parallaxes below one second.
        Edit7->clear();
    }
    EnableButton1();
}

void TBaseOfIntegration::Edit5Change() {
    Integration.AsteroidName = Text(Edit5);
    EnableButton1();
}

void TBaseOfIntegration::Edit6Change() {
    Integration.TargetStarCatalogueNo = Text(Edit6);
    EnableButton1();
}

void TBaseOfIntegration::ComboBox1Change(int index) {
    Graph.IntegrationFrames = integration::FramesOfItem(index);
    if (index > 0) Button1->setEnabled(true);
}

void TBaseOfIntegration::EnableButton1() {
    Button1->setEnabled(!Edit4->text().isEmpty() && !Edit5->text().isEmpty() && !Edit6->text().isEmpty() &&
                        !Edit7->text().isEmpty() && ComboBox1->currentIndex() >= 0);
}

void TBaseOfIntegration::Button1Click() {
    TPlatform* w = Platform;
    const int n = Graph.IntegrationFrames;
    if (!w || n <= 1) return;
    const ResultsFormat f = DetectResultsFormat(w->Table);
    w->State.ResultsFormatVersion = f.version;
    w->State.ResultsHeaderLines = f.headerLines;
    if (f.headerLines < 6) return;
    const auto& lines = w->Table.Lines();
    const std::vector<std::string> rows(lines.begin() + std::min<size_t>(lines.size(), static_cast<size_t>(f.headerLines)), lines.end());
    const auto phase = integration::FindPhase(rows, n);
    if (!phase) return;
    Integration.IntegrationOffset = phase->offset;
    Graph.IntegrationPhase = phase->phase;
    Graph.SelectedFrame = Graph.PreselectedFrame = phase->offset;
    // The main window's "Interval" takes N; the velocity per interval follows.
    w->UpDown9->SetPosition(n);
    w->UpDown9Click();
    diffraction::Model.ShadowVelocityPerInterval = diffraction::Model.ShadowVelocity * n;
    Memo1->appendPlainText("Interval has been set to " + QString::number(n));
    Graph.IntegrationMarking = 1;
    w->ScrollBar1->setValue(phase->offset);
    Graph.GraphResetPending = 1;
    ShowGraph();
    Memo1->appendPlainText("The red dot should be just before the centre of integration time.");
    Memo1->appendPlainText("Check the graph. And close the graph window.");
    Button1->setEnabled(false);
}

void TBaseOfIntegration::Button2Click() {
    TPlatform* w = Platform;
    if (!w) return;
    const int n = std::max(1, Graph.IntegrationFrames);
    const int headerLines = std::max(0, w->State.ResultsHeaderLines);
    // 1-3: one row per block; the table is replaced whole.
    const integration::Blocks b = integration::AverageBlocks(w->Table.Lines(), headerLines, n, Integration.IntegrationOffset);
    w->Table.Assign(b.lines);
    w->Memo2Table.Clear();
    w->RefreshResultsView();
    w->UnsavedRows = true;
    GraphView& g = Graph;
    g.DataRowCount = g.LastRowIndex = b.lastRowIndex;
    // 4: the event is the largest drop.
    g.SelectedFrame = b.selectedFrame;
    w->ScrollBar1->setValue(g.SelectedFrame * n + Integration.IntegrationOffset);
    g.SelectedMinOffset = -g.SelectedFrame;
    g.SelectedMaxOffset = g.LastRowIndex - g.SelectedFrame;
    g.GraphResetPending = 0;
    g.IntegratedMeasurementDone = 1;
    ShowGraph();
    g.SelectArea = 0;
    // 5
    if (g.SelectedFrame == -1) {
        Dialogs().Message(MsgKind::Information, "Select target frame by clicking the graph area");
        return;
    }
    if (g.DiffractionMode || !chart1) return;
    if (chart1->CheckBox4->isChecked() && !chart1->CheckBox5->isChecked() && !chart1->CheckBox6->isChecked()) {
        chart1->Button8->setEnabled(true);
        g.IntegratedMeasurementDone = 1;
        w->OpenWindow("chart1.Button8");
        g.FitDone = 0;
        Button2->setEnabled(false);
    } else {
        Dialogs().Message(MsgKind::Information,
                          "This function can work when only blue line of target star is displayed.\n\r"
                          "Click \"B\" or \"C\" to erase the yellow or magenta line.");
    }
}

void TBaseOfIntegration::Button3Click() {
    if (!FresnelCtrl) return;
    const TUpDown* u[] = {FresnelCtrl->UpDown3, FresnelCtrl->UpDown4, FresnelCtrl->UpDown5, FresnelCtrl->UpDown6};
    for (int i = 0; i < 4; ++i)
        Memo1->appendPlainText("E" + QString::number(i + 3) + " " + QString::number(u[i]->Min()) + " " +
                               QString::number(u[i]->Max()));
}
