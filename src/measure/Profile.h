#pragma once
// TProfile, the "Operation guide": walks the user through one measurement by
// driving the main window (type of occultation, roles of the objects, preview,
// measure, back to the starting point, graph). Holds no measurement logic.
// Stays on top; frees itself when closed.
#include <QWidget>

#include "measure/measure_state.h"
#include "ui_Profile.h"

class TPlatform;

class TProfile : public QWidget, public Ui::TProfile {
    Q_OBJECT
public:
    explicit TProfile(TPlatform& owner);
    ~TProfile() override;

    void FormCreate();
    void ComboBox1Change(int item);
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void CheckBox1Click();
    void Button1Click();  // Delete (base)
    void Button2Click();  // Delete (comparison)
    void Button3Click();  // Preview
    void Button4Click();  // Stop
    void Button5Click();  // Back to Starting point
    void Button6Click();  // Measure
    void Button7Click();  // Stop
    void Button8Click();  // Graph

    // The object settings and positions when "Preview" or "Measure" was pressed.
    DataLineSet GuideSavedLines;
    bool SavedLinesHeld = false;
    uint8_t GuideLink = 0;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SaveLines();
    // The main window's link controls usable (on) or not.
    void LinkControls(bool on);
    // The guide's link box, GuideLink and the main "Link" box set together.
    void FollowLinkBox(bool on);
    TPlatform& p_;
};

// The open guide, or null; GuideOpen while it is open.
extern TProfile* Profile;
extern bool GuideOpen;
