#pragma once
// "Magnitude Calculator": component magnitudes of a double star, the statistics
// report and the corrected event time of the event selected in the graph
// (magnitude_calc), optionally written onto the graph picture (magnitude_text).
// Opened by the Fresnel panel, which stays disabled while it is open; a click in
// the graph re-runs it. Stay-on-top; frees itself when closed.
#include <QImage>
#include <QWidget>

#include "graph/magnitude_calc.h"
#include "ui_MagnitudeCalculator1.h"

class TMagnitudeCalculator : public QWidget, public Ui::TMagnitudeCalculator {
    Q_OBJECT
public:
    // Sets MagnitudeCalculatorOpen; closing clears it and enables the panel again.
    explicit TMagnitudeCalculator(QWidget* owner = nullptr);
    ~TMagnitudeCalculator() override;

    void FormCreate();
    // Recomputes everything and rewrites the edits and the memo.
    void MagnitudeCalculation();
    // The main window's time stamps into the base-time edits and BaseTime/BaseTime2.
    void ReadTimeBase();
    // The graph picture as it is now becomes the picture text is drawn over.
    void SnapshotGraph();
    void RestoreGraph();
    // The report's lines over the snapshot, by RadioGroup1 and RadioGroup2.
    void DrawReportOnGraph();
    // What a click in the graph does while the calculator is open.
    void GraphClicked();

    // Handlers.
    void PairMagnitudeClick();  // UpDown1..UpDown3
    void UpDown4Click();
    void UpDown5Click();
    void RadioButton3Click();
    void ControlClick();  // every other control: recompute and redraw the text
    void BaseTimeEnter(QLineEdit* edit);
    void BaseTimeExit(QLineEdit* edit);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void TextOutChanged();  // RadioGroup1, RadioGroup2, the scroll bars

    magnitude::BaseTime BaseTime, BaseTime2, BaseTimeBackup, BaseTime2Backup;
    // Whether BaseTime and BaseTime2 hold a time: read from the rows, edited in the
    // identification window or entered here. Without one the base-time edits stay
    // empty and the report prints no clock time.
    bool BaseTimeKnown = false, BaseTime2Known = false;
    double PairMagnitude = 0;
    int IntegratedFrames = 0;
    int SecondsDigits = 3;
    QImage GraphSnapshot;
    const magnitude::Result& LastResult() const { return result_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ConnectHandlers();
    void ShowBaseTime();
    void Recalculate();  // MagnitudeCalculation and, with text on, the graph text
    magnitude::Result result_;
    bool creating_ = true;
};

// The open calculator, or null.
extern TMagnitudeCalculator* MagnitudeCalculator;
