#include "graph/FresnelCtrl1.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "graph/chart.h"
#include "graph/fresnel_panel.h"
#include "graph/light_curve.h"
#include "graph/SpectrumGraph1.h"
#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "platform/activity.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"

TFresnelCtrl* FresnelCtrl = nullptr;
FresnelPanelVars FresnelPanel;

namespace {

using diffraction::Model;
namespace fp = fresnelpanel;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QLineEdit* e) { return e->text().toStdString(); }

constexpr const char* kFitCaption = "Fit to Diffraction Curve";
constexpr const char* kStopCaption = "Stop the Fit";

constexpr const char* kPushLike =
    "QCheckBox { border: 1px solid #808080; border-radius: 2px; background: #f0f0f0; padding: 1px 4px; }"
    "QCheckBox:checked { background: #c8c8c8; border-style: inset; }"
    "QCheckBox:disabled { color: #a0a0a0; }"
    "QCheckBox::indicator { width: 0px; height: 0px; }";

// Enter, focus and other keys of an edit, passed to the panel's handlers.
class EditWatch : public QObject {
public:
    // `colour`: the text turns blue on entering and typing (Edit1, Edit2, Edit8, Edit21).
    EditWatch(QLineEdit* edit, std::function<void()> onEnter, std::function<void()> onFocusOut, bool colour,
              std::function<bool(QKeyEvent*)> onKey = {})
        : QObject(edit), edit_(edit), colour_(colour), enter_(std::move(onEnter)), out_(std::move(onFocusOut)),
          key_(std::move(onKey)) {
        edit->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
            case QEvent::KeyPress: {
                auto* k = static_cast<QKeyEvent*>(e);
                if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
                    if (enter_) enter_();
                    return true;
                }
                if (key_ && !key_(k)) return true;  // the key is discarded
                if (colour_) SetColour(edit_, Qt::blue);
                break;
            }
            case QEvent::FocusIn:
                if (colour_) SetColour(edit_, Qt::blue);
                break;
            case QEvent::FocusOut:
                if (out_) out_();
                break;
            default: break;
        }
        return false;
    }

public:
    static void SetColour(QLineEdit* edit, Qt::GlobalColor colour) {
        QPalette p = edit->palette();
        p.setColor(QPalette::Text, colour);
        edit->setPalette(p);
    }

private:
    QLineEdit* edit_;
    bool colour_;
    std::function<void()> enter_, out_;
    std::function<bool(QKeyEvent*)> key_;
};

// A double click on an edit.
class DoubleClickWatch : public QObject {
public:
    DoubleClickWatch(QLineEdit* edit, std::function<void()> onDouble) : QObject(edit), double_(std::move(onDouble)) {
        edit->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonDblClick && double_) double_();
        return false;
    }

private:
    std::function<void()> double_;
};

void Black(QLineEdit* e) { EditWatch::SetColour(e, Qt::black); }


}  // namespace

TFresnelCtrl::TFresnelCtrl(QWidget* owner) : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(size());
    FresnelCtrl = this;
    for (const auto& t : fp::kSpectralTypes) ComboBox1->addItem(t.name);
    UpDown1->SetRange(-60, 0);
    UpDown1->SetPosition(-30);
    UpDown2->SetRange(0, 60);
    UpDown3->SetRange(-30, -1);
    UpDown4->SetRange(-60, -1);
    UpDown13->SetRange(-10, 0);
    UpDown12->SetRange(0, 10);
    UpDown5->SetRange(1, 60);
    UpDown6->SetRange(1, 60);
    UpDown7->SetRange(0, 100);
    UpDown9->SetRange(0, 9);
    UpDown9->SetWrap(true);
    UpDown8->SetRange(0, 3000);
    UpDown10->SetRange(0, 5000);
    UpDown10->SetIncrement(100);
    UpDown11->SetRange(1, 100);
    UpDown11->SetPosition(1);
    ProgressBar1->setRange(0, 93);
    fit_.OnProgress = [this](int position, int) { ProgressBar1->setValue(position); };
    fit_.OnFinish = [this] {
        SetInputsEnabled(true);
        Button3->setText(kFitCaption);
        ProgressBar1->setValue(0);
        Graph.FitDone = 0;
    };
    ConnectHandlers();
    FormCreate();
}

TFresnelCtrl::~TFresnelCtrl() {
    CancelFit();
    if (FresnelCtrl == this) FresnelCtrl = nullptr;
}

int TFresnelCtrl::Interval() const { return Platform ? std::max(1, Platform->UpDown9->Position()) : 1; }

void TFresnelCtrl::ConnectHandlers() {
    new EditWatch(Edit1, [this] { Edit1Apply(); }, [this] { Edit1Apply(); }, true);
    // Double clicks on the distance and velocity open the velocity calculator.
    for (QLineEdit* e : {Edit1, Edit2}) {
        const std::string opener = "FresnelCtrl." + e->objectName().toStdString();
        new DoubleClickWatch(e, [opener] {
            if (Platform) Platform->OpenWindow(opener);
        });
    }
    connect(Edit1, &QLineEdit::textChanged, this, [this] {
        if (!settingText_ && FresnelPanel.ExternalEditPending) Edit1Apply();
    });
    new EditWatch(Edit2, [this] { Edit2Apply(false); }, [this] { Edit2Apply(false); }, true);
    connect(Edit2, &QLineEdit::textChanged, this, [this] {
        if (!settingText_ && FresnelPanel.ExternalEditPending) Edit2Apply(true);
    });
    new EditWatch(Edit8, [this] { Edit8Apply(false); }, [this] { Edit8Apply(false); }, true);
    connect(Edit8, &QLineEdit::textChanged, this, [this] {
        if (!settingText_ && FresnelPanel.ExternalEditPending) Edit8Apply(true);
    });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] {
        if (!settingText_) ComboBox1Change();
    });
    new EditWatch(Edit28, nullptr, nullptr, false, [](QKeyEvent* k) {
        const QString t = k->text();
        // Keys without text (arrows, Delete) are not key presses of a character.
        const char16_t c = t.isEmpty() ? 0 : t.at(0).unicode();
        return t.isEmpty() || c == 127 || fp::BVKeyAccepted(c < 128 ? static_cast<char>(c) : '\0');
    });
    connect(Edit28, &QLineEdit::textChanged, this, [this] {
        if (!settingText_) Edit28Change();
    });
    connect(ComboBox2, &QComboBox::currentIndexChanged, this, [this] {
        if (!settingText_) ComboBox2Change();
    });
    for (TUpDown* u : {UpDown3, UpDown4, UpDown13, UpDown12, UpDown5, UpDown6})
        connect(u, &TUpDown::Click, this, [this, u] { RangeUpDownClick(u); });
    connect(UpDown1, &TUpDown::Click, this, &TFresnelCtrl::UpDown1Click);
    connect(UpDown2, &TUpDown::Click, this, &TFresnelCtrl::UpDown2Click);
    connect(CheckBox3, &QCheckBox::clicked, this, &TFresnelCtrl::CheckBox3Click);
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { FixLevelClick(true); });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { FixLevelClick(false); });
    connect(CheckBox4, &QCheckBox::clicked, this, &TFresnelCtrl::CheckBox4Click);
    connect(UpDown7, &TUpDown::Click, this, &TFresnelCtrl::UpDown7Click);
    connect(UpDown9, &TUpDown::Click, this, &TFresnelCtrl::UpDown9Click);
    new EditWatch(Edit20, nullptr, [this] { Edit20Exit(); }, false);
    connect(UpDown8, &TUpDown::Click, this, &TFresnelCtrl::UpDown8Click);
    new EditWatch(Edit21, [this] { Edit21Exit(); }, [this] { Edit21Exit(); }, true);
    connect(UpDown10, &TUpDown::Click, this, &TFresnelCtrl::UpDown10Click);
    new EditWatch(Edit19, [this] { ApplyStarDiameterText(); }, [this] { ApplyStarDiameterText(); }, false);
    connect(CheckBox5, &QCheckBox::clicked, this, &TFresnelCtrl::CheckBox5Click);
    connect(UpDown11, &TUpDown::Click, this, &TFresnelCtrl::UpDown11Click);
    connect(Button1, &QPushButton::clicked, this, &TFresnelCtrl::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFresnelCtrl::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TFresnelCtrl::Button3Click);
}

// ---------------------------------------------------------------- creation and closing

void TFresnelCtrl::FormCreate() {
    GraphView& g = Graph;
    settingText_ = true;
    // 1
    for (QCheckBox* b : {CheckBox1, CheckBox2}) b->setStyleSheet(kPushLike);
    // 2
    ComboBox1->setCurrentIndex(fp::SpectralTypeIndex(fp::NormaliseSpectralType(FresnelPanel.SpectralTypeText)));
    // 3
    g.MagnitudeCalculatorOpen = 0;
    if (Platform) {
        const QRect m = Platform->frameGeometry();
        move(m.left() + m.width() - frameGeometry().width(), m.top());
    }
    g.DiffractionMode = 1;
    FresnelPanel.SpectrumGraphOpen = 0;
    Model.StarDiameterMode = 0;
    g.FitDone = 0;
    if (chart1) chart1->move(x() - chart1->frameGeometry().width() - 1, chart1->y());
    // 4
    const int64_t km = Model.ObjectDistance / 1000;
    Edit1->setText(QString::number(km));
    Edit2->setText(Q(numtext::FormatFixed(static_cast<double>(Model.ShadowVelocity), 15, 1)));
    g.DistanceText = std::to_string(km) + "km";
    g.VelocityText = numtext::FormatFixed(static_cast<double>(Model.ShadowVelocityPerInterval), 15, 0) + "m/sec";
    Black(Edit1), Black(Edit2);
    // 5
    ShowLevels();
    // 6
    const int s = g.SelectedFrame, r = g.DataRowCount - s - 1;
    UpDown1->SetMin(s < 120 ? -s : -120);
    UpDown2->SetMax(r < 120 ? r : 120);
    g.ProcessRangeStart = s < 30 ? -s : -30;
    g.ProcessRangeEnd = r < 30 ? r : 30;
    UpDown1->SetPosition(g.ProcessRangeStart);
    UpDown2->SetPosition(g.ProcessRangeEnd);
    // 7
    if (-s <= g.BeforeRangeStart) {
        g.BeforeRangeStart = -30;
        g.BeforeRangeEnd = -11;
    } else {
        g.BeforeRangeStart = -s;
        g.BeforeRangeEnd = -s / 2;
        if (g.BeforeRangeEnd >= 0) g.BeforeRangeEnd = -1;
    }
    if (r >= g.AfterRangeEnd) {
        g.AfterRangeEnd = 30;
        g.AfterRangeStart = 11;
    } else {
        g.AfterRangeEnd = r;
        g.AfterRangeStart = r / 2;
    }
    // 8
    if (chart1) chart1->GraphShow3();
    Edit5->setText(QString::number(g.ProcessRangeStart));
    Edit6->setText(QString::number(g.ProcessRangeEnd));
    Edit7->clear();
    settingText_ = false;
    FresnelPanel.ExternalEditPending = 1;
    Edit8->setText(Q(g.ContactAngleText));
    settingText_ = true;
    // 9
    UpDown3->SetPosition(g.BeforeRangeStart);
    UpDown4->SetPosition(g.BeforeRangeEnd);
    UpDown5->SetPosition(g.AfterRangeStart);
    UpDown6->SetPosition(g.AfterRangeEnd);
    UpDown12->SetPosition(g.StepRangeEnd);
    UpDown13->SetPosition(g.StepRangeStart);
    SetLimitChain();
    Edit14->setText(QString::number(g.BeforeRangeStart));
    Edit15->setText(QString::number(g.BeforeRangeEnd));
    Edit16->setText(QString::number(g.AfterRangeStart));
    Edit17->setText(QString::number(g.AfterRangeEnd));
    Edit26->setText(QString::number(g.StepRangeEnd));
    Edit27->setText(QString::number(g.StepRangeStart));
    // 10
    CheckBox1->setChecked(g.UpperLevelFixed);
    CheckBox2->setChecked(g.LowerLevelFixed);
    CheckBox3->setChecked(g.SelectArea);
    CheckBox4->setChecked(g.DoubleStarMode);
    FresnelPanel.ExternalEditPending = 0;
    // 11
    g.DoubleStarStepHeight = 500;
    UpDown7->SetPosition(50);
    UpDown9->SetPosition(0);
    lastTenths_ = 0;
    Edit20->setText(Q(numtext::FormatFixed(g.DoubleStarStepHeight / 10, 15, 1)));
    g.DoubleStarTimeDiff = 0;
    UpDown8->SetPosition(0);
    Edit21->setText(QString::number(static_cast<int>(g.DoubleStarTimeDiff) * Interval()));
    for (QWidget* w : std::initializer_list<QWidget*>{UpDown7, UpDown8, UpDown9, Edit20, Edit21, UpDown10, Edit19, Edit22})
        w->setEnabled(false);
    // 12
    ResultShow();
    // 13
    // Only the cameras the sensitivity file names (of its first nine columns), and
    // the item shown is the column in use.
    ComboBox2->clear();
    ComboBox2->addItem("not considered");
    ccdColumns_ = {0};
    for (int k = 1; k <= 9; ++k)
        if (const std::string& name = Model.CcdNames[static_cast<size_t>(k)]; !name.empty()) {
            ComboBox2->addItem(Q(name));
            ccdColumns_.push_back(k);
        }
    auto listed = [this](int column) { return std::find(ccdColumns_.begin(), ccdColumns_.end(), column) != ccdColumns_.end(); };
    if (g.IntegratedMeasurementDone && listed(2)) Model.CcdIndex = 2;
    else if (ccdColumns_.size() > 1) Model.CcdIndex = ccdColumns_[1];
    if (!listed(Model.CcdIndex)) Model.CcdIndex = 0;
    ComboBox2->setCurrentIndex(CcdItem());
    // The weights follow the type and camera the panel shows.
    const int type = ComboBox1->currentIndex();
    if (type >= 0 && fp::SpectralTypeTemperature(type) != Model.StarTemperature)
        Model.StarTemperature = fp::SpectralTypeTemperature(type);
    Model.BuildSpectralWeights();
    settingText_ = false;
    // 14
    for (TUpDown* u : {UpDown3, UpDown4, UpDown5, UpDown6, UpDown12, UpDown13, UpDown8}) u->SetStandardAccel();
    ShowAverage();
}

void TFresnelCtrl::closeEvent(QCloseEvent* event) {
    CancelFit();
    GraphView& g = Graph;
    g.DiffractionMode = 0;
    g.FitDone = 0;
    if (chart1) {
        chart1->GraphShow3();
        if (Platform) {
            const QRect m = Platform->frameGeometry();
            chart1->move(m.left() + m.width() - chart1->frameGeometry().width(), chart1->y());
        }
        if (chart1->CheckBox1->isChecked()) chart1->WideSetting();
        else chart1->NarrowSetting();
        chart1->Button8->setEnabled(true);
    }
    event->accept();
}

// ---------------------------------------------------------------- levels and results

void TFresnelCtrl::ShowLevels() {
    const std::string upper = diffraction::LevelText(Graph.UpperLevel), lower = diffraction::LevelText(Graph.LowerLevel);
    if (!upper.empty()) Edit3->setText(Q(upper));
    if (!lower.empty()) Edit4->setText(Q(lower));
}

void TFresnelCtrl::ShowAverage() {
    GraphView& g = Graph;
    // With no row selected there is nothing to average around: the statistics stay.
    if (g.SelectedFrame >= 0 && chart1) chart1->DRAverage();
    g.IsReappearance = g.LevelBeforeMean < g.LevelAfterMean;
    g.UpperLevel = g.IsReappearance ? g.LevelAfterMean : g.LevelBeforeMean;
    g.LowerLevel = g.IsReappearance ? g.LevelBeforeMean : g.LevelAfterMean;
    ShowLevels();
    Edit25->setText(Q(numtext::FormatFixed(g.LevelStepMean, 15, 1)));
}

void TFresnelCtrl::ResultShow() {
    GraphView& g = Graph;
    const bool wasSetting = settingText_;
    settingText_ = true;
    static const std::vector<std::string> kNone;
    const auto& lines = Platform ? Platform->Table.Lines() : kNone;
    const uint8_t format = Platform ? Platform->State.ResultsFormatVersion : 2;
    const diffraction::ResultTexts t =
        diffraction::ResultShowTexts(g, lines, format, g.FitTimeShift, g.IsReappearance, Interval());
    Edit7->setText(Q(t.edit7));
    if (t.angleSet) g.ContactAngle = t.contactAngle;
    Edit8->setText(Q(t.edit8));
    g.ContactAngleText = t.contactAngleText;
    Edit9->setText(Q(t.edit9));
    Edit10->setText(Q(t.edit10));
    g.EventOffsetText = t.eventOffsetText;
    Edit18->setText(Q(t.edit18));
    ShowLevels();
    settingText_ = wasSetting;
}

// ---------------------------------------------------------------- model parameters

void TFresnelCtrl::Edit1Apply() {
    const int64_t km = fp::DistanceKm(S(Edit1));
    Model.ObjectDistance = km * 1000;
    settingText_ = true;
    Edit1->setText(QString::number(km));
    Edit19->setText("0");
    settingText_ = false;
    Graph.DistanceText = std::to_string(km) + "km";
    Black(Edit1);
    UpDown10->SetIncrement(km >= 500001 ? 1 : 100);
    UpDown10->SetPosition(0);
    FresnelPanel.ExternalEditPending = 0;
}

void TFresnelCtrl::Edit2Apply(bool external) {
    const double v = fp::Velocity(S(Edit2));
    settingText_ = true;
    Edit2->setText(Q(numtext::FormatFixed(v, 15, 1)));
    settingText_ = false;
    Graph.VelocityText = numtext::FormatFixed(v, 15, 0) + "m/sec";
    Model.ShadowVelocityPerInterval = static_cast<long double>(v) * Interval();
    Black(Edit2);
    if (external) {
        // Typing a velocity leaves the entered one (the velocity calculator's) alone.
        Model.ShadowVelocity = v;
        FresnelPanel.ExternalEditPending = 0;
    }
}

void TFresnelCtrl::Edit8Apply(bool external) {
    const std::string text = fp::AngleText(S(Edit8));
    const double angle = numtext::ParseFloat(text).value_or(0.0);
    settingText_ = true;
    Edit8->setText(Q(text));
    settingText_ = false;
    Black(Edit8);
    Graph.FresnelRate = std::cos(angle * std::numbers::pi / 180);
    Edit7->setText(Q(numtext::FormatFixed(Graph.FresnelRate, 15, 3)));
    if (external) {
        Graph.ContactAngle = angle;
        FresnelPanel.ExternalEditPending = 0;
    }
}

void TFresnelCtrl::SpectralTypeToBV() {
    Model.StarTemperature = fp::SpectralTypeTemperature(ComboBox1->currentIndex());
    const bool was = settingText_;
    settingText_ = true;
    Edit28->setText(Q(fp::BVText(Model.StarTemperature)));
    settingText_ = was;
}

void TFresnelCtrl::ComboBox1Change() {
    SpectralTypeToBV();
    Model.BuildSpectralWeights();
    if (FresnelPanel.SpectrumGraphOpen) RedrawSpectrumGraph();
}

void TFresnelCtrl::Edit28Change() {
    const fp::BVInput in = fp::ReadBV(S(Edit28));
    if (in.resetText) {
        settingText_ = true;
        Edit28->setText("0.38");
        settingText_ = false;
    }
    // A B-V of -0.85 or below has no temperature: type and weights stay.
    const std::optional<int> t = fp::TemperatureFromBV(in.bv);
    if (!t) return;
    Model.StarTemperature = *t;
    Model.BuildSpectralWeights();
    settingText_ = true;
    ComboBox1->setCurrentIndex(fp::NearestSpectralType(*t));
    settingText_ = false;
    if (FresnelPanel.SpectrumGraphOpen) RedrawSpectrumGraph();
}

int TFresnelCtrl::CcdItem() const {
    const auto it = std::find(ccdColumns_.begin(), ccdColumns_.end(), Model.CcdIndex);
    return it == ccdColumns_.end() ? 0 : static_cast<int>(it - ccdColumns_.begin());
}

void TFresnelCtrl::ComboBox2Change() {
    const int i = ComboBox2->currentIndex();
    if (i < 0 || i >= static_cast<int>(ccdColumns_.size()) || ComboBox2->itemText(i).isEmpty()) {
        settingText_ = true;
        ComboBox2->setCurrentIndex(CcdItem());
        settingText_ = false;
        return;
    }
    Model.CcdIndex = ccdColumns_[static_cast<size_t>(i)];
    // The weights follow the camera at once, as the spectrum graph shows it.
    Model.BuildSpectralWeights();
    if (FresnelPanel.SpectrumGraphOpen) RedrawSpectrumGraph();
}

// ---------------------------------------------------------------- ranges

void TFresnelCtrl::SetLimitChain() {
    UpDown3->SetMax(UpDown4->Position());
    UpDown4->SetMin(UpDown3->Position());
    UpDown4->SetMax(UpDown13->Position() - 1);
    UpDown5->SetMin(UpDown12->Position() + 1);
    UpDown5->SetMax(UpDown6->Position() - 1);
    UpDown6->SetMin(UpDown5->Position() + 1);
    UpDown6->SetMax(30);
    UpDown3->SetMin(Graph.SelectedMinOffset);
    UpDown6->SetMax(Graph.SelectedMaxOffset);
}

void TFresnelCtrl::RangeUpDownClick(TUpDown* u) {
    GraphView& g = Graph;
    u->SetStandardAccel();
    const int p = u->Position();
    if (u == UpDown3) {
        g.BeforeRangeStart = p;
        UpDown4->SetMin(p);
        Edit14->setText(QString::number(p));
    } else if (u == UpDown4) {
        g.BeforeRangeEnd = p;
        UpDown3->SetMax(p);
        UpDown13->SetMin(p + 1);
        Edit15->setText(QString::number(p));
    } else if (u == UpDown13) {
        g.StepRangeStart = p;
        UpDown12->SetMin(p);
        UpDown4->SetMax(p - 1);
        Edit27->setText(QString::number(p));
    } else if (u == UpDown12) {
        g.StepRangeEnd = p;
        UpDown13->SetMax(p);
        UpDown5->SetMin(p + 1);
        Edit26->setText(QString::number(p));
    } else if (u == UpDown5) {
        g.AfterRangeStart = p;
        UpDown6->SetMin(p);
        UpDown12->SetMax(p - 1);
        Edit16->setText(QString::number(p));
    } else if (u == UpDown6) {
        g.AfterRangeEnd = p;
        UpDown5->SetMax(p);
        Edit17->setText(QString::number(p));
    }
    if (chart1) chart1->GraphShow3();
    ShowAverage();
    g.FitDone = 0;
}

void TFresnelCtrl::UpDown1Click() {
    Graph.ProcessRangeStart = UpDown1->Position();
    Edit5->setText(QString::number(Graph.ProcessRangeStart));
    if (chart1) chart1->GraphShow3();
    Graph.FitDone = 0;
}

void TFresnelCtrl::UpDown2Click() {
    Graph.ProcessRangeEnd = UpDown2->Position();
    Edit6->setText(QString::number(Graph.ProcessRangeEnd));
    if (chart1) chart1->GraphShow3();
    Graph.FitDone = 0;
}

void TFresnelCtrl::CheckBox3Click() {
    Graph.SelectArea = CheckBox3->isChecked();
    if (chart1) chart1->GraphShow3();
    Graph.FitDone = 0;
}

void TFresnelCtrl::FixLevelClick(bool upper) {
    GraphView& g = Graph;
    QCheckBox* box = upper ? CheckBox1 : CheckBox2;
    if (g.SelectedFrame < 0) {
        box->setChecked(false);
        return;
    }
    int& range = upper ? upperRange_ : lowerRange_;
    if (box->isChecked()) {
        if (chart1) chart1->DRAverage();
        const bool beforeGives = upper ? g.LevelBeforeMean > g.LevelAfterMean : g.LevelBeforeMean < g.LevelAfterMean;
        const double level = beforeGives ? g.LevelBeforeMean : g.LevelAfterMean;
        (upper ? Edit3 : Edit4)->setText(Q(numtext::FormatFixed(level, 15, 1)));
        (upper ? g.UpperLevel : g.LowerLevel) = level;
        (upper ? g.UpperLevelFixed : g.LowerLevelFixed) = 1;
        range = beforeGives ? 1 : 2;
        (beforeGives ? UpDown3 : UpDown5)->setEnabled(false);
        (beforeGives ? UpDown4 : UpDown6)->setEnabled(false);
        const int from = beforeGives ? g.BeforeFrameFrom : g.AfterFrameFrom;
        const int to = beforeGives ? g.BeforeFrameTo : g.AfterFrameTo;
        (upper ? g.UpperFixedFrom : g.LowerFixedFrom) = from;
        (upper ? g.UpperFixedTo : g.LowerFixedTo) = to;
    } else {
        (upper ? g.UpperLevelFixed : g.LowerLevelFixed) = 0;
        if (range == 1) UpDown3->setEnabled(true), UpDown4->setEnabled(true);
        if (range == 2) UpDown5->setEnabled(true), UpDown6->setEnabled(true);
        range = 0;
    }
    if (chart1) chart1->GraphShow3();
    g.FitDone = 0;
}

// ---------------------------------------------------------------- double star and disc

void TFresnelCtrl::CheckBox4Click() {
    const bool on = CheckBox4->isChecked();
    Graph.DoubleStarMode = on;
    for (QWidget* w : std::initializer_list<QWidget*>{UpDown7, UpDown8, UpDown9, Edit20, Edit21}) w->setEnabled(on);
}

void TFresnelCtrl::UpDown7Click() {
    Graph.DoubleStarStepHeight = UpDown7->Position() * 10 + UpDown9->Position();
    Edit20->setText(Q(numtext::FormatFixed(Graph.DoubleStarStepHeight / 10, 15, 1)));
}

void TFresnelCtrl::UpDown9Click() {
    const fp::HeightSteps h = fp::StepTenths(UpDown7->Position(), lastTenths_, UpDown9->Position());
    if (UpDown7->Position() >= 100) {
        UpDown9->SetPosition(0);
        return;
    }
    UpDown7->SetPosition(h.percent);
    UpDown9->SetPosition(h.tenths);
    lastTenths_ = UpDown9->Position();
    UpDown7Click();
}

void TFresnelCtrl::Edit20Exit() {
    const int v = fp::StepHeightFromText(S(Edit20));
    Graph.DoubleStarStepHeight = v;
    Edit20->setText(Q(numtext::FormatFixed(v / 10.0, 15, 1)));
    UpDown7->SetPosition(v / 10);
    UpDown9->SetPosition(v % 10);
    lastTenths_ = v % 10;
}

void TFresnelCtrl::UpDown8Click() {
    Graph.DoubleStarTimeDiff = UpDown8->Position();
    Edit21->setText(QString::number(UpDown8->Position() * Interval()));
}

void TFresnelCtrl::Edit21Exit() {
    const int v = fp::TimeDiffFromText(S(Edit21));
    Graph.DoubleStarTimeDiff = v;
    Edit21->setText(QString::number(v));
    Black(Edit21);
    UpDown8->SetPosition(v);
}

void TFresnelCtrl::UpDown10Click() {
    Graph.StarAngularDiameter = UpDown10->Position() / 100.0;
    Edit19->setText(Q(numtext::FormatFixed(Graph.StarAngularDiameter, 15, 2)));
}

void TFresnelCtrl::ApplyStarDiameterText() {
    const double v = fp::StarDiameter(S(Edit19));
    Graph.StarAngularDiameter = v;
    Edit19->setText(Q(numtext::FormatFixed(v, 15, 2)));
    UpDown10->SetPosition(static_cast<int>(numtext::RoundHalfEven(v * 100)));
}

void TFresnelCtrl::CheckBox5Click() {
    GraphView& g = Graph;
    const bool on = CheckBox5->isChecked();
    Model.StarDiameterMode = on;
    for (QWidget* w : std::initializer_list<QWidget*>{UpDown10, Edit19, Edit22}) w->setEnabled(on);
    UpDown1->SetPosition(on ? -20 : -30);
    UpDown2->SetPosition(on ? 20 : 30);
    g.ProcessRangeStart = UpDown1->Position();
    g.ProcessRangeEnd = UpDown2->Position();
    Edit5->setText(QString::number(g.ProcessRangeStart));
    Edit6->setText(QString::number(g.ProcessRangeEnd));
    CheckBox3->setChecked(on);
    g.SelectArea = on;
    if (on) RadioButton1->setChecked(true);
    if (chart1) chart1->GraphShow3();
    g.FitDone = 0;
}

void TFresnelCtrl::UpDown11Click() { Edit23->setText(QString::number(UpDown11->Position())); }

// "Graph" and "Magnitude Calc" go through the main window's opener table.
void TFresnelCtrl::Button1Click() {
    if (Platform) Platform->OpenWindow("FresnelCtrl.Button1");
}
void TFresnelCtrl::Button2Click() {
    if (Platform) Platform->OpenWindow("FresnelCtrl.Button2");
}

// ---------------------------------------------------------------- the fit

void TFresnelCtrl::Button3Click() {
    if (FitRunning()) {
        // A second click stops the fit; its caption stays.
        CancelFit();
        return;
    }
    StartFit();
}

void TFresnelCtrl::StartFit() {
    GraphView& g = Graph;
    if (!chart1 || !Platform) return;
    // 1
    if (g.SelectedFrame >= 0) chart1->DRAverage();
    // 2: with a level fixed the "D" box says which side is bright.
    if (g.UpperLevelFixed || g.LowerLevelFixed) {
        const bool swap = CheckBox6->isChecked() ? g.LevelBeforeMean < g.LevelAfterMean : g.LevelBeforeMean > g.LevelAfterMean;
        if (swap) std::swap(g.LevelBeforeMean, g.LevelAfterMean);
    }
    // 3: the fit works on copies; the lines are read before the workers start.
    diffraction::FitRequest& r = fitRequest_;
    r = diffraction::FitRequest{};
    r.model = Model;
    r.view = g;
    r.lines = &Platform->Table.Lines();
    r.formatVersion = Platform->State.ResultsFormatVersion;
    r.frameRate = Platform->State.VideoFrameRate;
    r.interval = Interval();
    r.grazing = RadioButton2->isChecked();
    r.beforeLevel = g.LevelBeforeMean;
    r.afterLevel = g.LevelAfterMean;
    r.threads = 0;
    fitPlan_ = diffraction::PrepareFit(r);
    r.lines = nullptr;
    if (!fitPlan_.refusal.empty()) {
        Dialogs().Message(MsgKind::Information, fitPlan_.refusal);
        return;
    }
    ProgressBar1->setRange(0, diffraction::FitCandidateCount(r.frameRate));
    ProgressBar1->setValue(0);
    SetInputsEnabled(false);
    Button3->setText(kStopCaption);
    fit_.Start<diffraction::FitOutcome>(
        [setup = fitPlan_.setup](JobProgress& p) {
            return diffraction::FitDiffraction(setup, 0, [&p](int done, int) { p.position = done; }, &p.cancel);
        },
        [this](diffraction::FitOutcome& outcome) { ShowFit(outcome); });
}

void TFresnelCtrl::ShowFit(const diffraction::FitOutcome& outcome) {
    GraphView& g = Graph;
    if (outcome.status == diffraction::FitOutcome::Status::Cancelled) {
        ClearFitResults();
        return;
    }
    if (outcome.status == diffraction::FitOutcome::Status::Flat) {
        Dialogs().Message(MsgKind::Information,
                          "Fit is not possible: the light curve does not change with the event time.");
        return;
    }
    diffraction::FitRun run;
    run.plan = fitPlan_;
    run.outcome = outcome;
    run.report = diffraction::FinishFit(fitRequest_, fitPlan_, outcome);
    diffraction::ApplyFit(run, g, Model);
    lastFit_ = run;
    Edit11->setText(Q(run.report.edit11));
    Edit12->setText(Q(run.report.edit12));
    Edit13->setText(Q(run.report.edit13));
    Edit22->setText(Q(run.report.edit22));
    Edit24->setText(Q(run.report.edit24));
    if (chart1) chart1->ShowFit(lastFit_);
    // 4
    ResultShow();
    if (chart1) chart1->InformationShow();
    g.FitDone = 1;
}

void TFresnelCtrl::CancelFit() {
    if (!fit_.Running()) return;
    fit_.Stop();
    SetInputsEnabled(true);
    Button3->setText(kFitCaption);
    ProgressBar1->setValue(0);
    Graph.FitDone = 0;
    ClearFitResults();
}

// What a finished fit writes: the offsets, the error and the sum of squares, and
// the graph's copies of the offset and the error for its information line.
void TFresnelCtrl::ClearFitResults() {
    const bool wasSetting = settingText_;
    settingText_ = true;
    for (QLineEdit* e : {Edit10, Edit11, Edit12, Edit13, Edit18}) e->clear();
    settingText_ = wasSetting;
    Graph.EventOffsetText.clear();
    Graph.EventErrorText.clear();
}

void TFresnelCtrl::SetInputsEnabled(bool on) {
    if (!on) {
        disabledForFit_.clear();
        for (QWidget* w : findChildren<QWidget*>()) {
            if (w == Button3 || w == ProgressBar1 || !w->isEnabled() || w->parentWidget() != this) continue;
            w->setEnabled(false);
            disabledForFit_.emplace_back(w);
        }
    } else {
        for (const QPointer<QWidget>& w : disabledForFit_)
            if (w) w->setEnabled(true);
        disabledForFit_.clear();
    }
}
