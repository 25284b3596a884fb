#pragma once
// "Base frame for integrated ": the asteroid timing guide for a camera that
// integrates N frames into one image and repeats it N times. It computes the shadow
// velocity and the asteroid's distance from the prediction, finds the phase of the
// integration blocks from the largest brightness jumps (the graph then shows the
// block marks), and after the graph has been checked and closed reduces the results
// table to one row per block and opens the Fresnel panel on the event. Handlers are
// thin over integration_base. Frees itself when closed.
#include <QWidget>
#include <string>

#include "ui_BaseOfIntegrated.h"

// The unit's variables other windows read.
struct IntegrationVars {
    int IntegrationOffset = 0;  // the row just before the centre of the first block
    std::string AsteroidName, TargetStarCatalogueNo;
};
extern IntegrationVars Integration;

class TBaseOfIntegration : public QWidget, public Ui::TBaseOfIntegration {
    Q_OBJECT
public:
    explicit TBaseOfIntegration(QWidget* owner = nullptr);
    ~TBaseOfIntegration() override;

    void FormCreate();
    void VelocityChange();  // Edit1, Edit2
    void Edit3Change();
    void Edit5Change();
    void Edit6Change();
    void ComboBox1Change(int index);
    void Button1Click();  // the phase finder
    void Button2Click();  // block averaging
    void Button3Click();

    // Button1 enabled exactly when the outputs and the names are present and a
    // number of frames is chosen.
    void EnableButton1();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The open window, or null; IntegrationBaseOpen (the graph view) says it is open.
extern TBaseOfIntegration* BaseOfIntegration;
