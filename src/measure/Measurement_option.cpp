#include "measure/Measurement_option.h"

#include <QCheckBox>

#include "measure/main_2.h"

TMeasurementOption* MeasurementOption = nullptr;

TMeasurementOption::TMeasurementOption(TPlatform& owner) : QWidget(&owner, Qt::Window), platform_(owner) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    MeasurementOption = this;
    RadioGroup1->SetItems({"Hilight", "Faint", "Hide"});
    UpDown1->SetRange(127, 255);
    UpDown1->SetAssociate(Edit1);
    UpDown2->SetRange(250, 700);
    UpDown2->SetAssociate(Edit2);
    FormCreate();
    TPlatform& p = platform_;
    const auto flag = [this](QCheckBox* box, uint8_t& variable) {
        connect(box, &QCheckBox::toggled, this, [&variable](bool on) { variable = on ? 1 : 0; });
    };
    flag(CheckBox1, p.Masks.CutBkgUpper);
    flag(CheckBox2, p.Masks.CutBkgLower);
    flag(CheckBox4, p.AutoDirectionEnabled);
    flag(CheckBox5, p.State.MeasurePeakPixel);
    flag(CheckBox6, p.EasyClick);
    flag(CheckBox7, p.Photometry.SubtractBackground);
    connect(CheckBox3, &QCheckBox::toggled, this, &TMeasurementOption::CheckBox3Click);
    connect(RadioGroup1, &TRadioGroup::Click, this, &TMeasurementOption::RadioGroup1Click);
    connect(UpDown1, &TUpDown::Click, this, [this](bool) { UpDown1Click(); });
    connect(UpDown2, &TUpDown::Click, this, [this](bool) { UpDown2Click(); });
}

TMeasurementOption::~TMeasurementOption() {
    if (MeasurementOption == this) MeasurementOption = nullptr;
}

void TMeasurementOption::FormCreate() {
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setFixedSize(206, 447);
    move(994, 14);
    const TPlatform& p = platform_;
    CheckBox1->setChecked(p.Masks.CutBkgUpper);
    CheckBox2->setChecked(p.Masks.CutBkgLower);
    CheckBox3->setChecked(p.State.SignalBoxesEnabled);
    CheckBox4->setChecked(p.AutoDirectionEnabled);
    CheckBox5->setChecked(p.State.MeasurePeakPixel);
    CheckBox6->setChecked(p.EasyClick);
    CheckBox7->setChecked(p.Photometry.SubtractBackground);
    RadioGroup1->SetItemIndex(p.MeasurementRegionDisplay);
    UpDown1->SetPosition(p.SaturationLimit);
    UpDown2->SetPosition(p.InitialPeak);
    Edit1->setText(QString::number(UpDown1->Position()));
    Edit2->setText(QString::number(UpDown2->Position()));
}

void TMeasurementOption::CheckBox3Click() {
    TPlatform& p = platform_;
    MeasureState& s = p.State;
    // 1
    s.SignalBoxesEnabled = CheckBox3->isChecked() ? 1 : 0;
    if (!s.SignalBoxesEnabled) {
        for (DataLine& line : s.DataLines) {
            line.Signal1Detected = 0;
            line.Signal2Detected = 0;
        }
    }
    // 2
    if (s.SignalBoxesEnabled) {
        p.RadioButton11->setEnabled(true);
        p.RadioButton12->setEnabled(true);
    } else {
        if (!p.RadioButton10->isChecked()) p.RadioButton10->setChecked(true);
        p.RadioButton11->setEnabled(false);
        p.RadioButton12->setEnabled(false);
    }
    // 3
    if (s.VideoOpen) p.ShowNeighbor();
}

void TMeasurementOption::RadioGroup1Click(int item) {
    platform_.MeasurementRegionDisplay = static_cast<uint8_t>(item);
    platform_.ShowNeighbor();
}

void TMeasurementOption::UpDown1Click() {
    platform_.SaturationLimit = UpDown1->Position();
    Edit1->setText(QString::number(UpDown1->Position()));
    platform_.ShowNeighbor();
}

void TMeasurementOption::UpDown2Click() {
    platform_.InitialPeak = UpDown2->Position();
    Edit2->setText(QString::number(UpDown2->Position()));
    platform_.ShowNeighbor();
}
