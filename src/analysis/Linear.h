#pragma once
// "Linearity": the LED-drift example measurement with its fitted line and the
// explanation, drawn once at creation.
#include <QDialog>

#include "ui_Linear.h"

class TLinearity : public QDialog, public Ui::TLinearity {
    Q_OBJECT
public:
    // Sets LinearityOpen; the window frees itself on closing and clears it.
    explicit TLinearity(QWidget* parent = nullptr);
    ~TLinearity() override;
    void FormCreate();
};

extern TLinearity* Linearity;
extern bool LinearityOpen;
