#pragma once
// "Correction for absorption": divides the target's light curve by the comparison's,
// normalised at the row picked in the graph, and puts the raw values back. The
// graph leaves stay-on-top while this window is open. A correction or restore runs
// on a worker with ProgressBar1 and replaces the results table whole when it is
// complete; closing the window cancels it and nothing is written.
#include <QWidget>

#include "analysis/absorption_correction.h"
#include "platform/background_job.h"
#include "ui_Correction1.h"

class TCorrection : public QWidget, public Ui::TCorrection {
    Q_OBJECT
public:
    explicit TCorrection(QWidget* owner = nullptr);
    ~TCorrection() override;

    void FormCreate();
    void Button1Click();  // Correction
    void Button2Click();  // Restore to raw data

    bool RunRunning() const { return run_.Running(); }
    // Lets a running correction or restore finish and shows it.
    void WaitForRun() { run_.WaitFor(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Start(bool restore);
    void Show(const absorption::Outcome& r);
    uint64_t startGeneration_ = 0;
    size_t startCount_ = 0;
    BackgroundJob run_{this};  // its timer is a child: "wait timer Correction" sees it
};

// The open window, or null; CorrectionOpen (the graph view) says it is open.
extern TCorrection* Correction;
