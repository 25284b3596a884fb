#pragma once
// "Correction for absorption": divides the target's light curve by the comparison's,
// normalised at the row picked in the graph, and puts the raw values back. The
// graph leaves stay-on-top while this window is open. A correction or restore runs
// on a worker with ProgressBar1 and replaces the results table whole when it is
// complete; closing the window cancels it and nothing is written.
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>

#include "analysis/absorption_correction.h"
#include "ui_Correction1.h"

class TCorrection : public QWidget, public Ui::TCorrection {
    Q_OBJECT
public:
    explicit TCorrection(QWidget* owner = nullptr);
    ~TCorrection() override;

    void FormCreate();
    void Button1Click();  // Correction
    void Button2Click();  // Restore to raw data

    bool RunRunning() const { return worker_ != nullptr; }
    // Lets a running correction or restore finish and shows it.
    void WaitForRun();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Start(bool restore);
    void Poll();
    void Stop();
    void Show(const absorption::Outcome& r);
    std::unique_ptr<std::thread> worker_;
    absorption::Progress progress_;
    std::atomic<bool> done_{false};
    absorption::Outcome outcome_;
    uint64_t startGeneration_ = 0;
    size_t startCount_ = 0;
    QTimer pollTimer_{this};  // a child: "wait timer Correction" sees it
};

// The open window, or null; CorrectionOpen (the graph view) says it is open.
extern TCorrection* Correction;
