#pragma once
// Tmsg: the small stay-on-top window shown while the audio track is copied.
#include <QWidget>

#include "ui_msg1.h"

class Tmsg : public QWidget, public Ui::Tmsg {
    Q_OBJECT
public:
    explicit Tmsg(QWidget* owner);
    static constexpr const char* kText = "Please wait for a while.";

protected:
    void paintEvent(QPaintEvent* event) override;
};
