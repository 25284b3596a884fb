#pragma once
// "Timing Error Simulation": one simulated reappearance in noise at a time, listed
// and drawn, the error read from the curve for the chosen noise, and the batches
// behind the curve. Handlers are thin over timing_error, timing_batch and
// timing_graph; the long batches run on a worker with the progress bar.
#include <QDialog>
#include <string>
#include <vector>

#include "analysis/timing_error.h"
#include "platform/background_job.h"
#include "ui_TimingErrorSimulation1.h"

class TTimingErrorSimulation : public QDialog, public Ui::TTimingErrorSimulation {
    Q_OBJECT
public:
    explicit TTimingErrorSimulation(QWidget* parent = nullptr);
    ~TTimingErrorSimulation() override;

    // NoiseAfter, NoiseDuring, RampWidth and SimIntegration.
    timing::SimParams Params;
    int GraphWidthFactor = 1;
    timing::Run LastRun;  // the run listed and drawn last

    // Restarts the random numbers (the window seeds them from the clock).
    void Seed(uint64_t seed) { rng_ = timing::SimRandom(seed); }

    void FormCreate();
    void RunTimingSimulation();
    void EstimateTimingError();
    void DrawRun();
    void Button7Click() { RunTimingSimulation(); }
    void Button1Click() { StartBatch(1); }
    void Button3Click() { StartBatch(3); }
    void Button4Click() { StartBatch(4); }
    void Button5Click() { StartBatch(5); }
    void Button2Click();
    void Button6Click();
    void Button8Click();
    void UpDown1Click();
    void UpDown2Click();
    void UpDown3Click();
    void UpDown4Click();
    void UpDown5Click();

    // A batch runs on a worker until its lines are shown.
    bool BatchRunning() const { return batch_.Running(); }
    void WaitForBatch() { batch_.WaitFor(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Batch;
    void StartBatch(int button);
    void StopBatch();
    void ShowBatch(Batch& b);
    void AddLines(const std::vector<std::string>& lines);
    void SetBatchButtons(bool enabled);
    timing::SimRandom rng_;
    BackgroundJob batch_{this, 30, "fit"};
};

extern TTimingErrorSimulation* TimingErrorSimulation;
