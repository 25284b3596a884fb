#pragma once
// "Measurement Option": switches without a place on the main window. Each
// control writes its variable of the main window at once; the window holds no
// state of its own and frees itself when closed.
#include <QWidget>

#include "ui_Measurement_option.h"

class TPlatform;

class TMeasurementOption : public QWidget, public Ui::TMeasurementOption {
    Q_OBJECT
public:
    explicit TMeasurementOption(TPlatform& owner);
    ~TMeasurementOption() override;

    void FormCreate();
    void CheckBox3Click();  // "Available"
    void RadioGroup1Click(int item);
    void UpDown1Click();
    void UpDown2Click();

private:
    TPlatform& platform_;
};

// The open options window (null when none is open).
extern TMeasurementOption* MeasurementOption;
