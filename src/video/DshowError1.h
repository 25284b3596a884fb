#pragma once
// TDshowErrors: lists the steps of the last DirectShow-style open and their
// results (DshowStepLog lines 1 to DshowStepLogIndex). Stays on top; frees itself
// when closed. The main window opens it only while DshowErrorsShown is clear.
#include <QWidget>

#include "ui_DshowError1.h"

class TDshowErrors : public QWidget, public Ui::TDshowErrors {
    Q_OBJECT
public:
    explicit TDshowErrors(QWidget* parent = nullptr);
    ~TDshowErrors() override;

    void FormCreate();
    void ErrorOfDshowClick();

protected:
    void closeEvent(QCloseEvent* event) override;
};

// The open window, or null.
extern TDshowErrors* DshowErrors;
extern bool DshowErrorsShown;
