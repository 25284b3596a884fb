#pragma once
// "Object's Velocity Calculator": shadow velocity and distance from the figures
// of an occultation prediction (velocity_calc), written into the Fresnel panel's
// distance, velocity and contact-angle edits when the panel is open. Stay-on-top;
// frees itself when closed.
#include <QWidget>

#include "ui_lunarvelocity.h"

class TLunarVelocityCalculator : public QWidget, public Ui::TLunarVelocityCalculator {
    Q_OBJECT
public:
    // Sets LunarVelocityCalculatorOpen; closing clears it.
    explicit TLunarVelocityCalculator(QWidget* owner = nullptr);
    ~TLunarVelocityCalculator() override;

    void FormCreate();
    void CalcLunarVelocity();
    void CalcAsteroidVelocity();
    void CalcDistanceFromParallax();
    void WriteVelocityFromMotion();

    void Button1Click() { CalcLunarVelocity(); }
    void Button2Click();
    void Button3Click() { CalcAsteroidVelocity(); }
    void Button4Click();
    void Button5Click() { CalcDistanceFromParallax(); }
    void Button6Click();
    void Button7Click() { WriteVelocityFromMotion(); }
};

// The open calculator, or null, and its open flag.
extern TLunarVelocityCalculator* LunarVelocityCalculator;
extern bool LunarVelocityCalculatorOpen;
