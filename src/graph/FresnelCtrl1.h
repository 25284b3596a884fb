#pragma once
// "Fresnel Diffraction": the parameter and result panel of the diffraction fit.
// A stay-on-top tool window owned by the graph window, which is in diffraction
// mode while the panel is open. It sets the model's unit-level variables
// (distance, velocity, contact angle, spectrum, camera, double star, star disc,
// level ranges) and runs the fit on worker threads with ProgressBar1. While it
// runs the fit button says it stops it; that click, or closing the panel, the
// graph or the program, cancels the fit: nothing is written, and the result boxes
// it would have written are emptied, so no earlier fit's values stand as its own.
#include <QPointer>
#include <QWidget>
#include <string>

#include "graph/diffraction_fit.h"
#include "platform/background_job.h"
#include "ui_FresnelCtrl1.h"

// The panel's unit-level variables that other windows read or write.
struct FresnelPanelVars {
    std::string SpectralTypeText = "F5";
    // The next change of Edit1, Edit2 or Edit8 comes from another window (or the
    // panel's creation) and is taken over.
    uint8_t ExternalEditPending = 0;
    uint8_t SpectrumGraphOpen = 0;
};
extern FresnelPanelVars FresnelPanel;

class TFresnelCtrl : public QWidget, public Ui::TFresnelCtrl {
    Q_OBJECT
public:
    explicit TFresnelCtrl(QWidget* owner);
    ~TFresnelCtrl() override;

    void FormCreate();
    void ShowAverage();
    void ResultShow();
    void SpectralTypeToBV();
    void ApplyStarDiameterText();

    // Handlers.
    void Edit1Apply();
    void Edit2Apply(bool external);
    void Edit8Apply(bool external);
    void ComboBox1Change();
    void Edit28Change();
    void ComboBox2Change();
    void RangeUpDownClick(TUpDown* which);
    void UpDown1Click();
    void UpDown2Click();
    void CheckBox3Click();
    void FixLevelClick(bool upper);
    void CheckBox4Click();
    void UpDown7Click();
    void UpDown9Click();
    void Edit20Exit();
    void UpDown8Click();
    void Edit21Exit();
    void UpDown10Click();
    void CheckBox5Click();
    void UpDown11Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // The fit on its workers: running until its result is shown.
    bool FitRunning() const { return fit_.Running(); }
    // Runs the event loop until the fit has finished and been shown.
    void WaitForFit() { fit_.WaitFor(); }
    // Stops a running fit; nothing is written and its result boxes are emptied.
    void CancelFit();
    // The last successful fit (what the graph draws).
    const diffraction::FitRun& LastFit() const { return lastFit_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectHandlers();
    int Interval() const;
    void SetLimitChain();
    void StartFit();
    void ShowFit(const diffraction::FitOutcome& outcome);
    void SetInputsEnabled(bool on);
    void ClearFitResults();
    void ShowLevels();
    // Item k of the camera list shows camera column ccdColumns_[k].
    std::vector<int> ccdColumns_;
    int CcdItem() const;  // the item of the column in use
    bool settingText_ = false;
    int lastTenths_ = 0;
    // The range a fixed level came from: 0 none, 1 before, 2 after.
    int upperRange_ = 0, lowerRange_ = 0;

    diffraction::FitRequest fitRequest_;
    diffraction::FitPlan fitPlan_;
    diffraction::FitRun lastFit_;
    std::vector<QPointer<QWidget>> disabledForFit_;
    BackgroundJob fit_{this, 50, "fit"};
};

// The open panel, or null.
extern TFresnelCtrl* FresnelCtrl;
