#pragma once
// "Noise Reduction for Graph": rewrites the plotted values of the chosen objects
// with a moving average, a background-only average, a Gaussian, or for object A an
// FFT low-pass or a wavelet threshold filter, and shows the mean and deviation of
// each object over a frame range. Handlers are thin over noise_reduction; a pass
// runs on a worker with the progress bar and replaces the results table whole
// when it is complete. Stay-on-top; frees itself when closed.
#include <QWidget>

#include "analysis/noise_reduction.h"
#include "platform/background_job.h"
#include "ui_AvgBkg1.h"

class TAvgBkg : public QWidget, public Ui::TAvgBkg {
    Q_OBJECT
public:
    explicit TAvgBkg(QWidget* owner = nullptr);
    ~TAvgBkg() override;

    int LastRow = -1;
    int FrameOffset = 0;

    void FormCreate();
    void RadioGroup1Click(int index);
    void RadioGroup2Click(int index);
    void UpDownClick(int j);  // UpDown1..UpDown3
    void UpDown4Click();
    void Edit15Enter();
    void FrequencyCalc();
    void Edit10Exit();
    void Edit11Exit();
    void Button1Click();  // Apply
    void Button3Click();  // Reset
    void Button2Click();  // Close
    // The statistics of the frame range in Edit10 .. Edit11 texts.
    void ShowStatistics(int64_t fromFrame, int64_t toFrame);

    // The controls as a pass reads them.
    noise::Controls CurrentControls() const;
    // A pass is running on the worker; WaitForPass lets it finish and shows it.
    bool PassRunning() const { return pass_.Running(); }
    void WaitForPass() { pass_.WaitFor(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void StartPass(bool reset);
    void ShowOutcome(const noise::Outcome& r);
    void ResetColours();
    uint64_t startGeneration_ = 0;
    size_t startCount_ = 0;
    // The statistics range as last taken from Edit10 and Edit11.
    int64_t takenBegin_ = 0, takenEnd_ = 0;
    BackgroundJob pass_{this};  // its timer is a child: "wait timer AvgBkg" sees it
};

// The open window, or null; AvgBkgOpen (the graph view) says it is open.
extern TAvgBkg* AvgBkg;
