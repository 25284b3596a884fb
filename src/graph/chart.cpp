#include "graph/chart.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QScrollBar>
#include <cmath>

#include "analysis/BaseOfIntegrated.h"
#include "graph/FresnelCtrl1.h"
#include "graph/MagnitudeCalculator1.h"
#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "platform/save_picture.h"

Tchart1* chart1 = nullptr;

namespace {

constexpr int kWideWidth = 740, kNarrowWidth = 300, kImageHeight = 425;

// The push-button look of the layout, object, Hilight and Make Dot boxes.
constexpr const char* kPushLike =
    "QCheckBox { border: 1px solid #808080; border-radius: 2px; background: #f0f0f0; padding: 1px 4px; }"
    "QCheckBox:checked { background: #c8c8c8; border-style: inset; }"
    "QCheckBox:disabled { color: #a0a0a0; }"
    "QCheckBox::indicator { width: 0px; height: 0px; }";

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string FieldOfRow(const TPlatform& w, int row, int field) {
    const size_t line = static_cast<size_t>(Graph.FirstDataLine - 1) + static_cast<size_t>(std::max(0, row));
    return line < w.Table.Count() ? GetField(w.Table[line], field) : std::string();
}

}  // namespace

std::string PictureNameForType(int index, const std::string& name) {
    return fileio::ChangeFileExt(fileio::ExtractFileName(name), PictureExtension(index));
}

Tchart1::Tchart1(QWidget* owner) : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    chart1 = this;
    RadioGroup1->SetItems({"Part", "Entire"});
    RadioGroup1->SetItemIndex(1);
    UpDown1->SetRange(0, 5);
    UpDown1->SetAssociate(Edit2);
    UpDown2->SetRange(0, 10);
    UpDown2->SetPosition(5);
    for (QCheckBox* b : {CheckBox1, CheckBox4, CheckBox5, CheckBox6, CheckBox10, CheckBox11}) b->setStyleSheet(kPushLike);
    ScrollBar1->setPageStep(0);
    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(a1);
    PopupMenu1->addAction(SaveToFile1);
    ChartImg1->SetPictureSize(kWideWidth, kImageHeight);
    ChartImg2->SetPictureSize(kWideWidth, 151);
    ConnectHandlers();
    FormCreate();
}

Tchart1::~Tchart1() {
    if (chart1 == this) chart1 = nullptr;
}

void Tchart1::ConnectHandlers() {
    connect(Button1, &QPushButton::clicked, this, &Tchart1::Button1Click);
    connect(ChartImg1, &TImage::MouseDown, this, &Tchart1::ChartImg1MouseDown);
    connect(ChartImg1, &TImage::MouseUp, this, &Tchart1::ChartImg1MouseUp);
    connect(Button3, &QPushButton::clicked, this, &Tchart1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &Tchart1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &Tchart1::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &Tchart1::Button6Click);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this](int v) {
        if (!settingScroll_) ScrollBar1Scroll(v);
    });
    connect(UpDown1, &TUpDown::Click, this, &Tchart1::UpDown1Click);
    connect(UpDown2, &TUpDown::Click, this, &Tchart1::UpDown2Click);
    connect(RadioGroup1, &TRadioGroup::Click, this, &Tchart1::RadioGroup1Click);
    connect(CheckBox1, &QCheckBox::toggled, this, [this] {
        if (!creating_) CheckBox1Click();
    });
    for (int k = 1; k <= 3; ++k)
        connect(ObjectBox(k), &QCheckBox::toggled, this, [this, k] {
            if (!creating_) ObjectBoxClick(k);
        });
    connect(CheckBox7, &QCheckBox::toggled, this, &Tchart1::CheckBox7Click);
    connect(CheckBox8, &QCheckBox::toggled, this, &Tchart1::CheckBox8Click);
    connect(ScrollBar2, &QScrollBar::valueChanged, this, &Tchart1::ScrollBar2Change);
    connect(ScrollBar3, &QScrollBar::valueChanged, this, &Tchart1::ScrollBar3Change);
    for (QCheckBox* b : {CheckBox9, CheckBox10, CheckBox11, CheckBox12})
        connect(b, &QCheckBox::toggled, this, [this] {
            if (creating_) return;
            GraphShow3();
            Graph.FitDone = 0;
        });
    connect(Button9, &QPushButton::clicked, this, &Tchart1::Button9Click);
    connect(Button7, &QPushButton::clicked, this, &Tchart1::Button7Click);
    connect(a1, &QAction::triggered, this, &Tchart1::Button7Click);
    connect(SaveToFile1, &QAction::triggered, this, &Tchart1::SaveToFile1Click);
    connect(Button12, &QPushButton::clicked, this, &Tchart1::Button12Click);
    connect(Button8, &QPushButton::clicked, this, &Tchart1::Button8Click);
    connect(Button11, &QPushButton::clicked, this, &Tchart1::Button11Click);
    connect(Button10, &QPushButton::clicked, this, &Tchart1::Button10Click);
    connect(SpeedButton1, &QPushButton::clicked, this, &Tchart1::SpeedButton1Click);
    connect(Button14, &QPushButton::clicked, this, &Tchart1::Button14Click);
    connect(Button2, &QPushButton::clicked, this, &Tchart1::Button2Click);
}

GraphInputs Tchart1::Inputs() const {
    GraphInputs in;
    in.objectShown[0] = CheckBox4->isChecked();
    in.objectShown[1] = CheckBox5->isChecked();
    in.objectShown[2] = CheckBox6->isChecked();
    in.dataLines = CheckBox7->isChecked();
    in.axisLines = CheckBox8->isChecked();
    in.information = CheckBox9->isChecked();
    in.hilight = CheckBox10->isChecked();
    in.makeDot = CheckBox11->isChecked();
    in.idTitle = CheckBox12->isChecked();
    in.maxSlider = ScrollBar2->value();
    in.minSlider = ScrollBar3->value();
    in.markerRadius = UpDown1->Position();
    if (const TPlatform* w = Platform) {
        in.lines = &w->Table.Lines();
        in.generation = w->Table.Generation();
        in.formatVersion = w->State.ResultsFormatVersion;
        in.fixMinMax = w->FixMin6MaxofGraph1->isChecked();
        in.currentObject = w->State.CurrentObject;
        in.frameStep = w->State.FrameStep;
        in.frameRateInt = w->State.VideoFrameRateInt;
        in.videoFileName = w->State.VideoFileName;
        in.psfPhotometry = w->CheckBox14->isChecked();
        in.hourText = w->Edit24->text().toStdString();
        in.minuteText = w->Edit25->text().toStdString();
        in.secondText = w->Edit26->text().toStdString();
        in.frameEndText = w->Edit27->text().toStdString();
    }
    return in;
}

void Tchart1::SetScroll(int position, int maximum) {
    settingScroll_ = true;
    ScrollBar1->setMaximum(std::max(0, maximum));
    ScrollBar1->setValue(position);
    settingScroll_ = false;
}

void Tchart1::SetTimeButtonsEnabled(bool on) {
    for (QPushButton* b : {Button3, Button4, Button5, Button6}) b->setEnabled(on);
}

void Tchart1::HRatioCalc() {
    const GraphInputs in = Inputs();
    WidthChoice width{RadioGroup1->isEnabled(), RadioGroup1->ItemIndex()};
    ScrollRange scroll{ScrollBar1->value(), ScrollBar1->maximum()};
    Drawing.HRatioCalc(Graph, in, ChartImg1->Picture().width(), width, scroll);
    RadioGroup1->setEnabled(width.enabled);
    if (RadioGroup1->ItemIndex() != width.itemIndex) RadioGroup1->SetItemIndex(width.itemIndex);
    SetScroll(scroll.position, scroll.maximum);
}

void Tchart1::GraphShow3() {
    const GraphInputs in = Inputs();
    WidthChoice width{RadioGroup1->isEnabled(), RadioGroup1->ItemIndex()};
    ScrollRange scroll{ScrollBar1->value(), ScrollBar1->maximum()};
    const GraphShowResult r = Drawing.GraphShow3(Graph, in, ChartImg1->Picture(), &ChartImg2->Picture(), width, scroll);
    if (!r.drawn) return;
    if (Platform) Platform->FixMin6MaxofGraph1->setEnabled(true);
    RadioGroup1->setEnabled(width.enabled);
    if (RadioGroup1->ItemIndex() != width.itemIndex) RadioGroup1->SetItemIndex(width.itemIndex);
    SetScroll(scroll.position, scroll.maximum);
    SetTimeButtonsEnabled(r.timeButtonsEnabled);
    ScrollBar1->setEnabled(r.timeButtonsEnabled);
    ChartImg2->setVisible(r.showImage2);
    ChartImg1->Changed();
    ChartImg2->Changed();
}

// ---------------------------------------------------------------- creation and closing

void Tchart1::FormCreate() {
    creating_ = true;
    GraphView& g = Graph;
    TPlatform* w = Platform;
    const ResultsTable* table = w ? &w->Table : nullptr;
    const size_t lineCount = table ? table->Count() : 0;
    // 1
    diffraction::Model.StarTemperature = 6650;
    diffraction::Model.InitSpectralModel();
    g.IdentificationText.clear();
    g.IdentificationTextX = 400;
    g.IdentificationTextY = 12;
    for (int k = 1; k <= 3; ++k) g.SelectedMarkerX[k] = g.SelectedMarkerY[k] = -100;
    g.FftSize = 1024;
    // 2
    const uint8_t format = w ? w->State.ResultsFormatVersion : 2;
    g.FirstDataLine = FirstDataLineOf(format);
    g.FieldMode = 0;
    if (lineCount > static_cast<size_t>(g.FirstDataLine)) {
        const std::string f1 = GetField((*table)[static_cast<size_t>(g.FirstDataLine)], 1);
        g.FieldMode = !f1.empty() && f1.back() == '5';
    }
    // 3
    g.RecentreOnWidthChange = g.RecentreOnLayoutChange = g.RecentreOnScaleChange = 0;
    ChartImg1->SetPictureSize(kWideWidth, kImageHeight);
    ChartImg1->Picture().fill(Qt::white);
    // 4: a wide opening always ends with NarrowLayoutSet = 0.
    if (g.GraphResetPending) g.NarrowLayoutSet = 1;
    if (g.GraphResetPending || !g.NarrowLayoutSet) {
        CheckBox1->setChecked(true);
        CheckBox1Click();
    } else {
        NarrowSetting();
    }
    PlaceBesideMainWindow(g.IntegrationMarking != 0);
    // 5
    if (g.GraphResetPending) {
        ResetObjectBoxes();
    } else {
        for (int k = 1; k <= 3; ++k) {
            ObjectBox(k)->setChecked(g.ObjectBoxChecked[k] != 0);
            ObjectBox(k)->setEnabled(g.ObjectBoxEnabled[k] != 0);
        }
    }
    // 6
    g.PlotMarginBottom = 40;
    g.PlotMarginTop = 20;
    g.PlotMarginLeft = 50;
    g.PlotMarginRight = 10;
    g.DiffractionMode = g.IdentificationOpen = g.AvgBkgOpen = g.CorrectionOpen = g.DoubleStarMode = 0;
    g.DoubleStarTimeDiff = g.DoubleStarStepHeight = 0;
    g.StarAngularDiameter = 0.0;
    // 7
    if (g.GraphResetPending) {
        g.FresnelRate = 1.0;
        g.ContactAngle = 0.0;
        if (!g.IntegrationBaseOpen) {
            diffraction::Model.ObjectDistance = 384401000;
            diffraction::Model.ShadowVelocity = diffraction::Model.ShadowVelocityPerInterval = 700.0L;
        }
    }
    // 8
    g.LevelBeforeMean = g.LevelAfterMean = g.UpperLevel = g.LowerLevel = -1000000.0;
    g.UpperLevelFixed = g.LowerLevelFixed = g.SelectArea = 0;
    g.ProcessRangeStart = -30;
    g.ProcessRangeEnd = 30;
    g.StepRangeStart = g.StepRangeEnd = 0;
    const int n = w ? w->GraphDataRowCount : 1;
    if (!g.FieldMode) {
        g.BeforeRangeStart = -30, g.BeforeRangeEnd = -11, g.AfterRangeStart = 11, g.AfterRangeEnd = 30;
    } else if (n >= 120) {
        g.BeforeRangeStart = -60, g.BeforeRangeEnd = -21, g.AfterRangeStart = 21, g.AfterRangeEnd = 60;
    } else {
        g.BeforeRangeStart = -(n / 2), g.BeforeRangeEnd = -(n / 3), g.AfterRangeStart = n / 3, g.AfterRangeEnd = n / 2;
    }
    // 9
    g.DataRowCount = std::max(1, static_cast<int>(lineCount) - g.FirstDataLine + 1);
    if (g.GraphResetPending) {
        g.SelectedFrame = -1;
        g.FirstShownFrame = 0;
    }
    if (g.PreselectedFrame > -1 && !g.IntegratedMeasurementDone) g.SelectedFrame = g.PreselectedFrame;
    // 10
    if (g.GraphResetPending) {
        g.MarkerRadius = 3;
        g.ScaleLevel = g.IntegrationMarking ? 7 : 5;
    }
    UpDown1->SetPosition(g.MarkerRadius);
    Edit2->setText(QString::number(g.MarkerRadius));
    UpDown2->SetPosition(g.ScaleLevel);
    g.XScaleBase = std::ldexp(1.0, g.ScaleLevel - 5);
    Edit5->setText(Q(numtext::FormatGeneral(g.XScaleBase)));
    // 11: the Width choice still shows "Entire", so the view starts at row 0.
    RadioGroup1->SetItemIndex(1);
    HRatioCalc();
    SetScroll(ScrollBar1->value(), std::max(0, g.DataRowCount - g.ShownFrameCount));
    if (g.GraphResetPending) g.EntireView = 1;
    RadioGroup1->SetItemIndex(g.EntireView ? 1 : 0);
    SetScroll(g.GraphResetPending ? 0 : g.FirstShownFrame, ScrollBar1->maximum());
    // 12
    if (g.GraphResetPending) {
        g.YMinSlider = -10;
        g.YMaxSlider = 10;
        g.DataLinesShown = g.AxisLinesShown = 1;
    }
    ScrollBar3->setValue(g.YMinSlider);
    ScrollBar2->setValue(g.YMaxSlider);
    CheckBox7->setChecked(g.DataLinesShown != 0);
    CheckBox8->setChecked(g.AxisLinesShown != 0);
    // 13
    g.GraphResetPending = 0;
    creating_ = false;
    GraphShow3();
}

void Tchart1::PlaceBesideMainWindow(bool leftAligned) {
    if (!Platform) return;
    const QRect m = Platform->frameGeometry();
    move(leftAligned ? m.left() : m.left() + m.width() - frameGeometry().width(), m.top());
}

void Tchart1::closeEvent(QCloseEvent* event) {
    GraphView& g = Graph;
    // The graph was opened to check the integration blocks: the guide may go on.
    if (g.IntegrationMarking && BaseOfIntegration) BaseOfIntegration->Button2->setEnabled(true);
    g.IntegrationMarking = 0;
    if (Platform) Platform->State.GraphWindowOpen = 0;
    g.DiffractionMode = g.AvgBkgOpen = g.AvgBkgLaunched = 0;
    event->accept();
}

void Tchart1::Button1Click() {
    if (Platform) {
        Platform->FixMin6MaxofGraph1->setChecked(false);
        Platform->FixMin6MaxofGraph1->setEnabled(false);
    }
    Graph.DiffractionMode = 0;
    close();
}

// ---------------------------------------------------------------- layouts

void Tchart1::ApplyLayout(bool wide) {
    GraphView& g = Graph;
    const int imageWidth = wide ? kWideWidth : kNarrowWidth;
    g.PlotImageWidth = imageWidth;
    g.PlotMarginRight = 10;
    ChartImg1->SetPictureSize(imageWidth, kImageHeight);
    ChartImg1->resize(imageWidth, kImageHeight);
    const int height = g.DiffractionMode ? (wide ? 722 : 747) : (wide ? 565 : 590);
    const int panelTop = g.DiffractionMode ? 589 : 432;
    setFixedSize(wide ? 760 : 320, height);
    Panel1->setGeometry(0, panelTop, wide ? 756 : 316, height - panelTop);
    if (wide) {
        CheckBox1->move(16, 72);
        Button1->move(712, 4);
        Button2->setGeometry(440, 64, 65, Button2->height());
        Button7->setGeometry(260, 64, 120, Button7->height());
        Button8->move(504, 64);
        Button9->move(672, 24);
        GroupBox1->move(669, 50);
    } else {
        // The layout box stays in reach so that the wide layout can come back.
        CheckBox1->move(264, 30);
        Button1->move(264, 64);
        Button2->move(8, 98);
        Button7->setGeometry(112, 98, 105, Button7->height());
        Button8->move(224, 98);
        Button9->move(556, 64);
        GroupBox1->move(669, 2);
    }
}

void Tchart1::WideSetting() { ApplyLayout(true); }
void Tchart1::NarrowSetting() { ApplyLayout(false); }

void Tchart1::CheckBox1Click() {
    GraphView& g = Graph;
    if (CheckBox1->isChecked()) {
        CheckBox1->setText("Narrow");
        Button5->setEnabled(true);
        Button6->setEnabled(true);
        if (g.NarrowLayoutSet == 1) g.RecentreOnLayoutChange = 1;
        WideSetting();
        g.NarrowLayoutSet = 0;
    } else {
        CheckBox1->setText("Wide");
        Button5->setEnabled(false);
        Button6->setEnabled(false);
        NarrowSetting();
        // Choosing "Part" runs the Width choice's handler: the Scale works again.
        RadioGroup1->SetItemIndex(0);
        if (g.EntireView) {
            g.EntireView = 0;
            UpDown2->setEnabled(true);
            g.RecentreOnWidthChange = 1;
        }
        if (g.NarrowLayoutSet == 0) g.RecentreOnLayoutChange = 1;
        g.NarrowLayoutSet = 1;
    }
    PlaceBesideMainWindow(false);
    if (creating_) return;
    GraphShow3();
    g.FitDone = 0;
}

// ---------------------------------------------------------------- object boxes

void Tchart1::ResetObjectBoxes() {
    const int count = Platform ? Platform->State.ObjectCount : 1;
    const bool wasCreating = creating_;
    creating_ = true;
    for (int k = 1; k <= 3; ++k) {
        ObjectBox(k)->setChecked(k <= count);
        ObjectBox(k)->setEnabled(count > 1 && k <= count);
    }
    creating_ = wasCreating;
    SaveObjectBoxes();
}

void Tchart1::SaveObjectBoxes() {
    for (int k = 1; k <= 3; ++k) {
        Graph.ObjectBoxChecked[k] = ObjectBox(k)->isChecked();
        Graph.ObjectBoxEnabled[k] = ObjectBox(k)->isEnabled();
    }
}

void Tchart1::ObjectBoxClick(int k) {
    const int count = Platform ? Platform->State.ObjectCount : 1;
    if (count > 1 && (k < 3 || count == 3)) {
        int checked = 0, only = 0;
        for (int j = 1; j <= count; ++j)
            if (ObjectBox(j)->isChecked()) {
                ++checked;
                only = j;
            }
        for (int j = 1; j <= count; ++j) ObjectBox(j)->setEnabled(!(checked == 1 && j == only));
    }
    SaveObjectBoxes();
    GraphShow3();
    Graph.FitDone = 0;
}

// ---------------------------------------------------------------- selection by clicking

void Tchart1::ChartImg1MouseDown(Qt::MouseButton button, int, int) {
    if (button == Qt::RightButton) PopupMenu1->popup(QCursor::pos());
}

void Tchart1::ChartImg1MouseUp(Qt::MouseButton button, int X, int Y) {
    GraphView& g = Graph;
    TPlatform* w = Platform;
    if (button != Qt::LeftButton || !w || g.IdentificationOpen) return;
    // The fit reads the selection: clicks wait until it has finished.
    if (FresnelCtrl && FresnelCtrl->FitRunning()) return;
    // 1-3
    if (w->State.ReaderKind == 1) w->RunPauseIfDshow();
    g.FirstDataLine = FirstDataLineOf(w->State.ResultsFormatVersion);
    g.LastRowIndex = static_cast<int>(w->Table.Count()) - g.FirstDataLine;
    const int h = ChartImg1->Picture().height();
    if (Y < g.PlotMarginTop || Y > h - g.PlotMarginBottom || X < g.PlotMarginLeft ||
        X > g.PlotImageWidth - g.PlotMarginRight)
        return;
    // 4: the nearest point of object A (its plotted column, whatever is shown)
    // within 3 pixels left and right.
    HRatioCalc();
    Drawing.UpdateTable(Inputs(), g);
    const GraphTable& t = Drawing.Table();
    const int old = g.SelectedFrame;
    int candidate = 0;
    if (g.XScale != 0) {
        const int i0 = std::max(0, static_cast<int>(std::nearbyint((X - 3 - g.PlotMarginLeft) / g.XScale)));
        if (i0 <= g.ShownFrameCount) {
            const int i1 = std::min(g.ShownFrameCount,
                                    static_cast<int>(std::nearbyint((X + 3 - g.PlotMarginLeft) / g.XScale)) + 1);
            double best = 1000000.0;
            for (int i = i0; i <= i1 && i < g.DataRowCount; ++i) {
                const int row = g.FirstShownFrame + i;
                if (row < 0 || row >= t.Rows() || t.At(row, 1).kind != CellKind::Number) continue;
                const double dx = X - RowToX(g, i), dy = Y - ValueToY(g, h, t.At(row, 1).value);
                if (dx * dx + dy * dy < best) {
                    best = dx * dx + dy * dy;
                    candidate = i;
                }
            }
        }
    }
    // 5
    if (g.DiffractionMode && candidate == 0) return;
    // 6
    g.SelectedFrame = g.FirstShownFrame + candidate;
    if (g.SelectedFrame == old) g.SelectedFrame = -1;
    g.SelectedMinOffset = -g.SelectedFrame;
    g.SelectedMaxOffset = g.LastRowIndex - g.SelectedFrame;
    // 7
    if (g.DiffractionMode && !FitRangesToSelection()) return;
    // 8
    ShowSelectedRow();
    const bool selected = g.SelectedFrame >= 0;
    // 9
    if (CheckBox3->isChecked() && selected) {
        const uint8_t v = w->State.ResultsFormatVersion;
        const size_t index = static_cast<size_t>(g.FirstDataLine - 1 + g.SelectedFrame);
        const std::string row = index < w->Table.Count() ? w->Table[index] : std::string();
        static const IntPoint kDefaults[3] = {{40, 40}, {80, 40}, {120, 40}};
        for (int k = 1; k <= 3; ++k) {
            IntPoint p = kDefaults[k - 1];
            int cx = 0;
            if (v == 2) cx = 25 + 17 * (k - 1);
            else if (v == 1) cx = 22 + 17 * (k - 1);
            else if (k == 1) cx = 13;
            if (cx > 0) {
                const auto x = numtext::ParseInt32(GetField(row, cx)), y = numtext::ParseInt32(GetField(row, cx + 1));
                if (x && y) p = {*x, *y};
            }
            DataLineObject& o = w->State.DataLines[0].Objects[k];
            o.StartX = o.PosX = p.x;
            o.StartY = o.PosY = p.y;
        }
    }
    // 10
    if (CheckBox2->isChecked() && selected) {
        const auto frame = numtext::ParseFloat(FieldOfRow(*w, g.SelectedFrame, 1));
        w->ScrollBar1->setValue(frame ? static_cast<int>(std::clamp(numtext::Trunc(*frame), int64_t{INT32_MIN}, int64_t{INT32_MAX})) : 0);
        w->ShowNeighbor();
        w->ShowNeighbor();
    }
    // 11
    GraphShow3();
    if (g.DiffractionMode && FresnelCtrl) FresnelCtrl->ShowAverage();
    g.FitDone = 0;
    if (g.MagnitudeCalculatorOpen && MagnitudeCalculator) MagnitudeCalculator->GraphClicked();
}

void Tchart1::ShowSelectedRow() {
    const GraphView& g = Graph;
    if (g.SelectedFrame < 0 || !Platform) {
        Edit4->clear();
        Edit6->clear();
        return;
    }
    const std::string f1 = FieldOfRow(*Platform, g.SelectedFrame, 1);
    Edit4->setText(Q(f1.empty() ? "0" : f1));
    Edit6->setText(Q(FieldOfRow(*Platform, g.SelectedFrame, PlotColumnBaseOf(Platform->State.ResultsFormatVersion))));
}

// ---------------------------------------------------------------- navigation and scale

namespace {
int SecondRows() {
    const int fps = Platform ? Platform->State.VideoFrameRateInt : 0;
    return Graph.FieldMode ? 2 * fps : fps;
}
}  // namespace

void Tchart1::Button3Click() {
    const int s = SecondRows();
    Graph.FirstShownFrame = s >= Graph.FirstShownFrame ? 0 : Graph.FirstShownFrame - s;
    SetScroll(Graph.FirstShownFrame, ScrollBar1->maximum());
    GraphShow3();
    Graph.FitDone = 0;
}

void Tchart1::Button5Click() {
    const int s = 10 * SecondRows();
    Graph.FirstShownFrame = s >= Graph.FirstShownFrame ? 0 : Graph.FirstShownFrame - s;
    SetScroll(Graph.FirstShownFrame, ScrollBar1->maximum());
    GraphShow3();
    Graph.FitDone = 0;
}

void Tchart1::Button4Click() {
    HRatioCalc();
    GraphView& g = Graph;
    const int s = SecondRows();
    g.FirstShownFrame = g.FirstShownFrame + s >= g.DataRowCount ? g.DataRowCount - g.ShownFrameCount : g.FirstShownFrame + s;
    SetScroll(g.FirstShownFrame, ScrollBar1->maximum());
    GraphShow3();
    g.FitDone = 0;
}

void Tchart1::Button6Click() {
    HRatioCalc();
    GraphView& g = Graph;
    const int s = 10 * SecondRows();
    g.FirstShownFrame = g.FirstShownFrame + s >= g.DataRowCount ? g.DataRowCount - g.ShownFrameCount : g.FirstShownFrame + s;
    SetScroll(g.FirstShownFrame, ScrollBar1->maximum());
    GraphShow3();
    g.FitDone = 0;
}

void Tchart1::ScrollBar1Scroll(int position) {
    Graph.FirstShownFrame = position;
    GraphShow3();
    Graph.FitDone = 0;
}

void Tchart1::UpDown1Click() {
    Graph.MarkerRadius = UpDown1->Position();
    Edit2->setText(QString::number(Graph.MarkerRadius));
    GraphShow3();
    Graph.FitDone = 0;
}

void Tchart1::UpDown2Click() {
    GraphView& g = Graph;
    if (g.EntireView) return;
    const double base = std::ldexp(1.0, UpDown2->Position() - 5);
    if (base != g.XScaleBase) g.RecentreOnScaleChange = 1;
    g.XScaleBase = base;
    Edit5->setText(Q(numtext::FormatGeneral(base)));
    g.ScaleLevel = UpDown2->Position();
    GraphShow3();
    g.FitDone = 0;
}

void Tchart1::RadioGroup1Click(int index) {
    GraphView& g = Graph;
    if (index == g.EntireView) return;
    if (index == 1) {
        SetScroll(0, ScrollBar1->maximum());
        g.EntireView = 1;
        UpDown2->setEnabled(false);
        SetTimeButtonsEnabled(false);
        ScrollBar1->setEnabled(true);
    } else {
        g.EntireView = 0;
        UpDown2->setEnabled(true);
        if (g.ShownFrameCount < g.DataRowCount) {
            SetTimeButtonsEnabled(true);
            ScrollBar1->setEnabled(true);
        }
    }
    g.RecentreOnWidthChange = 1;
    GraphShow3();
    g.FitDone = 0;
}

void Tchart1::CheckBox7Click() {
    if (creating_) return;
    Graph.DataLinesShown = CheckBox7->isChecked();
    GraphShow3();
    Graph.FitDone = 0;
}

void Tchart1::CheckBox8Click() {
    if (creating_) return;
    Graph.AxisLinesShown = CheckBox8->isChecked();
    GraphShow3();
    Graph.FitDone = 0;
}

void Tchart1::ScrollBar2Change() {
    if (creating_) return;
    Graph.YMaxSlider = ScrollBar2->value();
    GraphShow3();
    Graph.FitDone = 0;
}

void Tchart1::ScrollBar3Change() {
    if (creating_) return;
    Graph.YMinSlider = ScrollBar3->value();
    GraphShow3();
    Graph.FitDone = 0;
}

void Tchart1::Button9Click() {
    GraphView& g = Graph;
    g.GraphResetPending = 1;
    ResetObjectBoxes();
    g.BeforeFrameFrom = g.BeforeFrameTo = g.AfterFrameFrom = g.AfterFrameTo = -1;
    g.FirstShownFrame = 0;
    SetScroll(0, ScrollBar1->maximum());
    g.MarkerRadius = 3;
    g.ScaleLevel = 5;
    g.XScaleBase = 1.0;
    UpDown1->SetPosition(3);
    UpDown2->SetPosition(5);
    Edit5->setText("1");
    HRatioCalc();
    GraphShow3();
    g.FitDone = 0;
}

// ---------------------------------------------------------------- export

void Tchart1::Button7Click() {
    Dialogs().SetClipboardImage(ChartImg1->Picture().convertToFormat(QImage::Format_RGB888));
}

void Tchart1::SaveToFile1Click() {
    FileDialogRequest r;
    r.title = "Save to File";
    // The popup uses the dialog's own short filter.
    r.filter = "PNG (*.png);;JPEG (*.jpg);;BitMap (*.bmp)";
    r.typeChange = [](int index, const std::string& name) { return PictureNameForType(index, name); };
    const std::string path = Dialogs().SaveFileName(r);
    if (path.empty()) return;
    std::string error;
    if (!SavePicture(ChartImg1->Picture(), path, error)) Dialogs().ShowError(error);
}

void Tchart1::Button12Click() {
    FileDialogRequest r;
    r.title = "Save Image";
    r.filter = kPictureSaveFilter;
    r.filterIndex = 1;
    r.fileName = "";
    int chosen = 1;
    r.chosenFilter = &chosen;
    std::string path = Dialogs().SaveFileName(r);
    if (path.empty()) return;
    path = fileio::ChangeFileExt(path, PictureExtension(chosen));
    if (path.empty() || fileio::ExtractFileName(path)[0] == '.') return;
    std::string error;
    if (!SavePicture(ChartImg1->Picture(), path, error)) Dialogs().ShowError(error);
}

// ---------------------------------------------------------------- openers

void Tchart1::Button8Click() {
    GraphView& g = Graph;
    if (g.IdentificationOpen) return;
    if (g.SelectedFrame == -1) {
        Dialogs().Message(MsgKind::Information, "Select target frame by clicking the graph area");
        return;
    }
    if (g.DiffractionMode || !CheckBox4->isChecked()) return;
    if (CheckBox5->isChecked() || CheckBox6->isChecked()) {
        Dialogs().Message(MsgKind::Information,
                          "This function can work when only blue line of target star is displayed.\n\r"
                          "Click \"B\" or \"C\" to erase the yellow or magenta line.");
        return;
    }
    if (Platform) Platform->OpenWindow("chart1.Button8");
}

void Tchart1::Button11Click() {
    if (Graph.SelectedFrame == -1) {
        Dialogs().Message(MsgKind::Information, "Select target frame by clicking the graph area");
        return;
    }
    if (!Platform || Platform->State.ObjectCount < 2) {
        Dialogs().Message(MsgKind::Information, "This function is available when two or more stars are already measured.");
        return;
    }
    Platform->OpenWindow("chart1.Button11");
}

void Tchart1::SpeedButton1Click() {
    if (Platform) Platform->OpenWindow("chart1.SpeedButton1");
}

void Tchart1::Button10Click() {
    if (Platform) Platform->OpenWindow("chart1.Button10");
}

void Tchart1::Button14Click() {
    GraphView& g = Graph;
    if (g.IdentificationOpen) return;
    g.GraphWindowTop = y();
    g.GraphWindowLeft = x();
    g.IdentificationFromGraph = 1;
    if (Platform) Platform->OpenWindow("chart1.Button14");
}

void Tchart1::Button2Click() {
    if (!Platform) return;
    if (Platform->State.DirectShowSelected) Platform->RunPauseIfDshow();
    // The same 3-D star view as the main window's "Star Image [3D]".
    Platform->OpenWindow("Button8");
}
