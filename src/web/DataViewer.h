#pragma once
// TDataViewer: one button that opens the worldwide asteroidal occultation index
// spreadsheet of the prediction site with the desktop's handler. Modal; freed
// when closed.
#include <QDialog>

#include "ui_DataViewer.h"

class TDataViewer : public QDialog, public Ui::TDataViewer {
    Q_OBJECT
public:
    explicit TDataViewer(QWidget* parent = nullptr);
    void OpenButtonClick();
};
