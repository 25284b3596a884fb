#pragma once
// The main window: the frame, the measurement controls and the results table.
// Its controls are members under their own names (Button6, CheckBox2, UpDown1 ...)
// so that other windows can read them; its measurement state is State and the
// results table is Table (shown in Memo1).
#include <QMainWindow>
#include <QTimer>
#include <string>

#include "measure/image_primitives.h"
#include "measure/masks.h"
#include "measure/measure_state.h"
#include "measure/photometry.h"
#include "measure/results_table.h"
#include "ui_main_2.h"

class QMenu;

class TPlatform : public QMainWindow, public Ui::TPlatform {
    Q_OBJECT
public:
    explicit TPlatform(QWidget* parent = nullptr);
    ~TPlatform() override;

    MeasureState State;
    MaskState Masks;
    PhotometryState Photometry;
    GammaState Gamma;
    ResultsTable Table;       // the lines of Memo1
    ResultsTable Memo2Table;  // the hidden scratch memo Memo2
    QTimer* Timer1;
    QMenu* PopupMenu1;
    // Data rows the graph window is told about when it opens.
    int GraphDataRowCount = 0;

    // Start-up sequence.
    void FormCreate();

    // What the row writer reads from the controls.
    RowContext CurrentRowContext() const;
    // Appends the current frame's rows and shows them unless updating is deferred.
    void AppendResultRows();
    void WriteResultsHeader();
    void WriteStartupResultsHeader();
    // Memo1 follows Table (after any change made to Table directly).
    void RefreshResultsView();

    void SaveResultsFile();
    // Asks for a results file and loads it. Returns true when a file was loaded.
    bool LoadResultsFile();
    // Loads the given results file (no dialog). On failure shows an error naming
    // the file and changes nothing.
    bool LoadResultsFrom(const std::string& path);
    void OpenGraphWindow();
    // The background-form controls of the current object back to their stored state
    // (before a results file or a video is loaded). `overlayThresholdForGhs`: the
    // overlay threshold is reset for GHS-OSD as well as IOTA-VTI.
    void ResetBackgroundFormControls(bool overlayThresholdForGhs);
    // Radius up-down ranges: aperture < inner <= outer <= 25.
    void ChainRadiusLimits();
    void ShowRadiusTexts();
    // Rebuilds object k's aperture masks and, for the current object, shows the cell counts.
    void RebuildMasks(int k);

    // Handlers.
    void Button2Click();
    void Button6Click();
    void Button18Click();
    void Button20Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetupControls();
    void ConnectHandlers();
    bool timerWasActive_ = false;
};

// The one main window (null before it exists and after it is gone).
extern TPlatform* Platform;
