#include "measure/Profile.h"

#include <QCloseEvent>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

#include "measure/main_2.h"
#include "measure/presets.h"

TProfile* Profile = nullptr;
bool GuideOpen = false;

TProfile::TProfile(TPlatform& owner) : QWidget(&owner, Qt::Window | Qt::WindowStaysOnTopHint), p_(owner) {
    setupUi(this);
    setObjectName("Profile");  // the instance variable, as scripts name the window
    setAttribute(Qt::WA_DeleteOnClose);
    Image1->SetPictureSize(217, 233);
    for (const char* t : kOccultationTypes) ComboBox1->addItem(t);
    ComboBox1->setCurrentIndex(0);
    Profile = this;
    connect(ComboBox1, qOverload<int>(&QComboBox::activated), this, &TProfile::ComboBox1Change);
    connect(RadioButton1, &QRadioButton::clicked, this, &TProfile::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::clicked, this, &TProfile::RadioButton2Click);
    connect(RadioButton3, &QRadioButton::clicked, this, &TProfile::RadioButton3Click);
    connect(CheckBox1, &QCheckBox::clicked, this, &TProfile::CheckBox1Click);
    connect(Button1, &QPushButton::clicked, this, &TProfile::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TProfile::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TProfile::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TProfile::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TProfile::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TProfile::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TProfile::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TProfile::Button8Click);
    FormCreate();
}

TProfile::~TProfile() {
    if (Profile == this) Profile = nullptr;
    GuideOpen = false;
}

void TProfile::closeEvent(QCloseEvent* event) {
    GuideOpen = false;
    event->accept();
}

void TProfile::FormCreate() {
    MeasureState& s = p_.State;
    // 1
    p_.PresetIndex = 0;
    GuideOpen = true;
    // 2
    CheckBox1->setChecked(p_.CheckBox6->isChecked());
    // 3: the role buttons follow the current object. With C current, "Comparison
    // star" is marked and C stays current (checking "Base" would make B current).
    if (s.CurrentObject == 1) {
        RadioButton1->setChecked(true);
        RadioButton1Click();
    } else if (s.CurrentObject == 2) {
        RadioButton2->setChecked(true);
        RadioButton3->setEnabled(true);
        RadioButton2Click();
    } else {
        RadioButton3->setEnabled(true);
        RadioButton3->setChecked(true);
    }
    // 4
    Memo1->clear();
    p_.GuidePlacementFlag = 0;
    CheckBox1->setChecked(p_.CheckBox6->isChecked());
    // 5, 6
    Button2->setEnabled(s.ObjectCount == 3);
    Button1->setEnabled(s.ObjectCount == 2);
    CheckBox1->setEnabled(p_.GuidePlacementFlag != 0);
}

void TProfile::ComboBox1Change(int item) {
    if (item < 0 || item > 4) return;
    p_.PresetIndex = item;
    if (item != 3) {
        LinkControls(true);
        // The main "Link" box follows the guide's box at once, so that the preset
        // below sees the link as the guide shows it.
        FollowLinkBox(false);
        CheckBox1->setEnabled(false);
    }
    p_.ApplyOccultationPreset();
    const bool link = item == 2 || item == 3;
    if (CheckBox1->isChecked() != link) {
        CheckBox1->setChecked(link);
        CheckBox1Click();
    }
    if (item == 3) CheckBox1Click();
}

void TProfile::LinkControls(bool on) {
    p_.CheckBox6->setEnabled(on);
    p_.UpdateLinkControls();
}

void TProfile::FollowLinkBox(bool on) {
    CheckBox1->setChecked(on);
    GuideLink = on ? 1 : 0;
    p_.CheckBox6->setChecked(on);
    p_.UpdateLinkControls();
}

void TProfile::CheckBox1Click() {
    const bool on = CheckBox1->isChecked();
    LinkControls(on);
    FollowLinkBox(on);
}

void TProfile::RadioButton1Click() {
    p_.RadioButton7->setChecked(true);
    p_.SelectObject(1);
}

void TProfile::RadioButton2Click() {
    MeasureState& s = p_.State;
    if (s.ObjectCount == 1) {
        p_.ObjectStarAdd();
    } else {
        if (p_.PresetIndex == 3) {
            LinkControls(true);
            CheckBox1->setChecked(true);
        }
        RadioButton3->setEnabled(true);
    }
    if (s.ObjectCount == 3 && p_.CheckBox6->isChecked()) p_.CheckBox11->setEnabled(true);
    p_.RadioButton8->setChecked(true);
    p_.SelectObject(2);
}

void TProfile::RadioButton3Click() {
    if (p_.State.ObjectCount == 2) p_.ObjectStarAdd();
    p_.RadioButton9->setChecked(true);
    p_.SelectObject(3);
}

void TProfile::Button1Click() {
    p_.RemoveObject();
    LinkControls(false);
    CheckBox1->setChecked(false);
    CheckBox1->setEnabled(false);
}

void TProfile::Button2Click() { p_.RemoveObject(); }

void TProfile::SaveLines() {
    GuideSavedLines = p_.State.DataLines;
    SavedLinesHeld = true;
    Button5->setEnabled(false);
}

void TProfile::Button3Click() {
    SaveLines();
    p_.SpeedButton1Click();
}

void TProfile::Button4Click() {
    p_.SpeedButton2Click();
    Button5->setEnabled(true);
}

void TProfile::Button6Click() {
    SaveLines();
    p_.StartMeasurement();
}

void TProfile::Button7Click() {
    p_.StopMeasurement();
    Button5->setEnabled(true);
}

void TProfile::Button5Click() {
    // Nothing to go back to before a preview or a measurement.
    if (!SavedLinesHeld) return;
    const int frame = static_cast<int>(std::lround(GuideSavedLines[0].FrameNo10 / 10.0));
    p_.State.DataLines = GuideSavedLines;
    p_.GoToFrame(std::clamp(frame, 0, p_.MaxPosition()));
}

void TProfile::Button8Click() { p_.OpenGraphWindow(); }
