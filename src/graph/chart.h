#pragma once
// The graph window "Graph": the light curve of the results table, row selection by
// clicking, navigation along the table, scale and layout, export of the picture,
// and the openers of the analysis windows. Stay-on-top; frees itself when closed.
// Its view state is the unit-level `Graph` (graph_view.h), which survives the window.
#include <QWidget>

#include "graph/light_curve.h"
#include "ui_chart.h"

class QMenu;
namespace diffraction {
struct FitRun;
}

class Tchart1 : public QWidget, public Ui::Tchart1 {
    Q_OBJECT
public:
    explicit Tchart1(QWidget* owner = nullptr);
    ~Tchart1() override;

    LightCurveGraph Drawing;
    QMenu* PopupMenu1;

    void FormCreate();
    // Redraws the picture from the results table (the one drawing entry).
    void GraphShow3();
    void HRatioCalc();
    // The drawing's inputs read from the controls and the main window.
    GraphInputs Inputs() const;

    void WideSetting();
    void NarrowSetting();
    void FitSetting() {}

    // Handlers.
    void Button1Click();
    void ChartImg1MouseDown(Qt::MouseButton button, int x, int y);
    void ChartImg1MouseUp(Qt::MouseButton button, int x, int y);
    void Button3Click();  // -1Sec
    void Button4Click();  // +1Sec
    void Button5Click();  // -10Sec
    void Button6Click();  // +10Sec
    void ScrollBar1Scroll(int position);
    void UpDown1Click();
    void UpDown2Click();
    void RadioGroup1Click(int index);
    void CheckBox1Click();
    void ObjectBoxClick(int k);
    void CheckBox7Click();
    void CheckBox8Click();
    void ScrollBar2Change();
    void ScrollBar3Change();
    void Button9Click();  // Reset
    void Button7Click();  // to the clipboard (also a1)
    void SaveToFile1Click();
    void Button12Click();  // Save Image
    void Button8Click();   // Diffraction
    void Button11Click();  // Correction for absorption
    void Button10Click();  // FFT
    void SpeedButton1Click();  // Noise Reduction
    void Button14Click();  // Identification
    void Button2Click();   // [3D] Image

    // Diffraction mode (chart_fresnel.cpp): the level statistics of the panel's
    // ranges, the picture of a finished fit, the information line again, and the
    // panel's range up-downs fitted to a new selection (false: the click ends).
    void DRAverage();
    void ShowFit(const diffraction::FitRun& run);
    void InformationShow();
    bool FitRangesToSelection();

    QCheckBox* ObjectBox(int k) const { return k == 1 ? CheckBox4 : k == 2 ? CheckBox5 : CheckBox6; }
    // The object boxes as a reset sets them, by the number of objects.
    void ResetObjectBoxes();
    // Where the window sits beside the main window.
    void PlaceBesideMainWindow(bool leftAligned);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectHandlers();
    void SaveObjectBoxes();
    void SetScroll(int position, int maximum);
    void ApplyLayout(bool wide);
    void ShowSelectedRow();
    void SetTimeButtonsEnabled(bool on);
    bool creating_ = true;
    bool settingScroll_ = false;
};

// The open graph window, or null.
extern Tchart1* chart1;

// The file name "Save to File" proposes after a change to file type `index`: the
// name part of `name` with that type's extension.
std::string PictureNameForType(int index, const std::string& name);

// "Diffraction": diffraction mode and the Fresnel panel beside the graph (the
// opener table's row for chart1.Button8).
QWidget* OpenFresnelPanel();
