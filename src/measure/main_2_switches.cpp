// Main-window switches: "Field Measure", PSF "Photometry" and "Tracking",
// "Estimated track", "Link", "More", "Hide Main Menu", the frame filters and
// contour lines, the small up-downs, the DirectShow play and pause buttons, the
// memorised radii, the camcorder-time script line and the string speed test.
#include <QAction>
#include <QMenuBar>
#include <QSignalBlocker>

#include "graph/spectral_model.h"
#include "measure/SetPredictTrack1.h"
#include "measure/main_2.h"
#include "measure/presets.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"
#include "video/avidshow.h"

namespace {

constexpr const char* kNoFieldModeUnderPsf = "Field mode is not available on PSF photometry.";

// "More": the results memo's two heights.
constexpr int kMemoHeightMore = 209;
constexpr int kMemoHeightLess = 361;

}  // namespace

void TPlatform::ConnectSwitchHandlers() {
    // A user's click runs the handler; a settings read runs it through SetFieldMeasure
    // and SetPsfPhotometry, which know where the change came from.
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBox2Click(true); });
    connect(CheckBox14, &QCheckBox::clicked, this, &TPlatform::CheckBox14Click);
    connect(CheckBox15, &QCheckBox::clicked, this, &TPlatform::CheckBox15Click);
    connect(CheckBox4, &QCheckBox::clicked, this, &TPlatform::CheckBox4Click);
    connect(CheckBox6, &QCheckBox::clicked, this, &TPlatform::CheckBox6Click);
    connect(CheckBox10, &QCheckBox::toggled, this, &TPlatform::CheckBox10Click);
    connect(CheckBox16, &QCheckBox::toggled, this, &TPlatform::CheckBox16Click);
    connect(CheckBox19, &QCheckBox::clicked, this, [this] { ShowNeighbor(); });
    connect(RadioGroup5, &TRadioGroup::Click, this, [this](int) { ShowNeighbor(); });
    connect(RadioGroup1, &TRadioGroup::Click, this, [this](int) { ShowNeighbor(); });

    TakeResultsLayout();
    UpDown11->SetRange(0, 250);
    UpDown12->SetRange(0, 2);
    UpDown15->SetRange(1, 100);
    UpDown15->SetPosition(50);
    UpDown16->SetRange(100, 200);
    UpDown16->SetPosition(140);
    UpDown13->SetRange(0, 2);
    connect(UpDown11, &TUpDown::Click, this, [this](bool) { UpDown11Click(); });
    connect(UpDown12, &TUpDown::Click, this, [this](bool) { UpDown12Click(); });
    connect(UpDown13, &TUpDown::Click, this, [this](bool) { UpDown13Click(); });
    connect(UpDown14, &TUpDown::Click, this, [this](bool) { Edit50->setText(QString::number(UpDown14->Position())); });
    connect(UpDown15, &TUpDown::Click, this, [this](bool) { UpDown15Click(); });
    connect(UpDown16, &TUpDown::Click, this, [this](bool) { UpDown16Click(); });
    UpDown11Click();
    UpDown12Click();
    UpDown15Click();
    UpDown16Click();

    connect(Button19, &QPushButton::clicked, this, [this] {
        if (State.DirectShowSelected) DshowPlay();
    });
    connect(Button27, &QPushButton::clicked, this, [this] {
        if (State.DirectShowSelected) DshowPause();
    });
    connect(Button28, &QPushButton::clicked, this, &TPlatform::Button28Click);
    connect(Button40, &QPushButton::clicked, this, &TPlatform::Button40Click);
    connect(DisplayCamcordersTime2, &QAction::triggered, this, &TPlatform::DisplayCamcordersTime2Click);
    connect(estspeedofstring1, &QAction::triggered, this, &TPlatform::estspeedofstring1Click);
}

// ---------------------------------------------------------------- field and PSF

void TPlatform::CheckBox2Click(bool byUser) {
    MeasureState& s = State;
    if (s.RecordingFlag || s.DirectionMode) return;
    if (CheckBox14->isChecked() && CheckBox2->isChecked()) {
        Dialogs().MessageTitled(MsgKind::Plain, kNoFieldModeUnderPsf, "Note");
        const QSignalBlocker quiet(CheckBox2);
        CheckBox2->setChecked(false);
    }
    // Only the user's own click throws measured rows away; a settings read or
    // another switch leaves a table that holds data rows as it is.
    if (!byUser && Table.Count() > static_cast<size_t>(DetectResultsFormat(Table).headerLines)) return;
    WriteResultsHeader();
}

void TPlatform::SetFieldMeasure(bool on) {
    if (CheckBox2->isChecked() == on) return;
    {
        const QSignalBlocker quiet(CheckBox2);
        CheckBox2->setChecked(on);
    }
    CheckBox2Click(false);
}

void TPlatform::CheckBox14Click() {
    MeasureState& s = State;
    if (s.RecordingFlag || s.DirectionMode) return;
    ShowPhotometryControls();
    ShowNeighbor();
}

void TPlatform::ShowPhotometryControls() {
    if (CheckBox14->isChecked()) {
        SetFieldMeasure(false);
        CheckBox2->setEnabled(false);
        GroupBox3->setTitle("FWHM");
        Label11->setText(" ");
        Button40->setEnabled(false);
    } else {
        CheckBox2->setEnabled(true);
        GroupBox3->setTitle("Half Flux");
        Label11->setText("Diameter");
        Button40->setEnabled(true);
    }
}

void TPlatform::SetPsfPhotometry(bool on) {
    if (CheckBox14->isChecked() == on) return;
    {
        const QSignalBlocker quiet(CheckBox14);
        CheckBox14->setChecked(on);
    }
    CheckBox14Click();
}

void TPlatform::CheckBox15Click() {
    if (State.RecordingFlag) return;
    const bool on = CheckBox15->isChecked();
    UpDown7->SetPosition(on ? 50 : 95);
    const bool estimated = on && RadioButton5->isChecked();
    if (!estimated && CheckBox4->isChecked()) {
        CheckBox4->setChecked(false);
        CheckBox4Click();
    }
    CheckBox4->setEnabled(estimated);
    ShowNeighbor();
    Edit42->setText(QString::number(UpDown7->Position()));
    RedrawThreeDView();
}

void TPlatform::CheckBox4Click() {
    MeasureState& s = State;
    const int k = s.CurrentObject;
    const uint8_t on = CheckBox4->isChecked() ? 1 : 0;
    s.ForAllLines(k, [&](DataLineObject& o) { o.EstimatedTrack = on; });
    Tracking.PredictTrack[k].Enabled = on;
    if (SetPredictTrack) {
        const QSignalBlocker quiet(SetPredictTrack->ObjectBox(k));
        SetPredictTrack->ObjectBox(k)->setChecked(on != 0);
    }
}

void TPlatform::CheckBox6Click() {
    if (CheckBox6->isChecked() && State.ObjectCount == 3) CheckBox11->setEnabled(true);
}

// ---------------------------------------------------------------- layout

void TPlatform::CheckBox10Click() {
    resultsLayout_.memo.setHeight(CheckBox10->isChecked() ? kMemoHeightMore : kMemoHeightLess);
    PlaceResultsTable();
}

void TPlatform::CheckBox16Click() {
    const bool shown = CheckBox16->isChecked();
    MainMenu1->setVisible(shown);
    CheckBox16->setText(shown ? "Hide Main Menu" : "Show Main Menu");
}

void TPlatform::TakeResultsLayout() {
    ResultsLayout& l = resultsLayout_;
    const QWidget* picture = Image1->parentWidget()->parentWidget();  // the picture's scroll area
    l.picture = picture->geometry();
    l.memo = Memo1->geometry();
    // The scroll bar, the step buttons and the file line under the picture.
    for (QWidget* c : centralwidget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (c->y() > l.picture.bottom() && c->geometry().bottom() < l.memo.top() && c->geometry().right() <= l.picture.right())
            l.band.emplace_back(c, c->geometry());
}

void TPlatform::UpDown13Click() { PlaceResultsTable(); }

void TPlatform::PlaceResultsTable() {
    // Positions 1 and 2 give the table half of the picture's height or all of it:
    // the controls under the picture move up with its lower edge, and the table,
    // kept to the picture's column beside the other controls, reaches up to them.
    // Position 0 is the designed layout.
    const ResultsLayout& l = resultsLayout_;
    const int p = UpDown13->Position();
    QWidget* picture = Image1->parentWidget()->parentWidget();
    const int shown = p == 0 ? l.picture.height() : p == 1 ? l.picture.height() / 2 : 0;
    picture->setGeometry(l.picture.x(), l.picture.y(), l.picture.width(), std::max(shown, 1));
    picture->setVisible(shown > 0);
    int bandTop = l.memo.top();
    for (const auto& [control, designed] : l.band) bandTop = std::min(bandTop, designed.top());
    const int gap = bandTop - (l.picture.bottom() + 1);
    const int shift = bandTop - (shown > 0 ? l.picture.y() + shown + gap : l.picture.y());
    for (const auto& [control, designed] : l.band) control->move(designed.x(), designed.y() - shift);
    if (p == 0) Memo1->setGeometry(l.memo);
    else Memo1->setGeometry(l.picture.x(), l.memo.y() - shift, l.picture.width(), l.memo.height() + shift);
    // The file-name line below the table follows it.
    Edit33->setGeometry(Memo1->x(), Memo1->geometry().bottom() + 5, Memo1->width(), Edit33->height());
    centralwidget->setMinimumHeight(std::max(centralwidget->minimumHeight(), Edit33->geometry().bottom() + 9));
}

// ---------------------------------------------------------------- up-downs

void TPlatform::UpDown11Click() { Edit31->setText(QString::number(UpDown11->Position())); }

void TPlatform::UpDown12Click() { Edit46->setText(QString::number(2 * UpDown12->Position() + 1)); }

void TPlatform::UpDown15Click() { Edit51->setText(QStr(numtext::FormatFixed(UpDown15->Position() / 100.0, 15, 2))); }

void TPlatform::UpDown16Click() { Edit52->setText(QStr(numtext::FormatFixed(UpDown16->Position() / 100.0, 15, 2))); }

// ---------------------------------------------------------------- buttons and menu items

void TPlatform::Button28Click() {
    Memo2Table.Assign(diffraction::DumpAirTransparency());
    Memo2->Refresh();
}

void TPlatform::Button40Click() {
    MeasureState& s = State;
    if (CheckBox14->isChecked() || s.RecordingFlag || s.RunningFlag) return;
    ApplyMemorizedRadii(s.DataLines, s.MemorizedRadii);
    ShowObjectSettings();
    ChainRadiusLimits();
    RebuildMasks(s.CurrentObject);
    ShowNeighbor();
}

void TPlatform::DisplayCamcordersTime2Click() {
    // The check mark decides whether the written script shows the camcorder time.
    if (State.VideoOpened && !State.VideoFileName.empty() && !BitmapMode) OpenVideoReader();
    ShowNeighbor();
}

void TPlatform::estspeedofstring1Click() {
    // The two ways of building a short string, timed by the user with a stopwatch.
    std::string built;
    const bool append = CheckBox5->isChecked();
    for (int i = 0; i < 10000000; ++i) {
        if (append) {
            built.clear();
            for (char c = '1'; c <= '5'; ++c) built += c;
        } else {
            built.resize(5);
            for (int j = 0; j < 5; ++j) built[static_cast<size_t>(j)] = static_cast<char>('1' + j);
        }
    }
    Memo2Table.Append(built);
    Memo2Table.Append(std::string(1, built.back()));
    Memo2->Refresh();
}
