#pragma once
// TThreeDGraph, "3D-Graph of Star Profile": the relief of the pixels around the
// current object with its aperture outlines, turned, tilted, scaled and smoothed
// by the user. The pipeline fills each object's patch while the view is shown;
// the drawing is the core's (measure/threed_view.h). Stays on top; frees itself
// when closed.
#include <QWidget>

#include "measure/measure_state.h"
#include "measure/threed_view.h"
#include "ui_grapharea.h"

class TPlatform;

class TThreeDGraph : public QWidget, public Ui::TThreeDGraph {
    Q_OBJECT
public:
    explicit TThreeDGraph(TPlatform& owner);
    ~TThreeDGraph() override;

    // Its width at the main window's top left, where it opens.
    static constexpr int kWidth = 264;

    // Object k's patch and heights from the frame, at its working position.
    void ThreeDPixelread(const Bitmap24& frame, int k);
    // Draws object k (the current object) into TDGImage1.
    void ThreeDGraphDraw(int k);

    void FormCreate();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void TrackBar1Change(int position);
    void TrackBar2Change(int position);
    void Button5Click();
    void Button1Click();

    PerObject<threed::Patch> ThreeDRaw, ThreeDHeights;
    PerObject<threed::Relief> ThreeDFiltered;
    int32_t ThreeDScale = 20;
    double ThreeDTilt = -30, ThreeDTurn = 0;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Pauses the DirectShow graph when it is the reader, then redraws the current object.
    void Redraw();
    void TurnBy(double step, double limit);
    TPlatform& p_;
};

// The open view, or null; ThreeDGraphShown while it is open.
extern TThreeDGraph* ThreeDGraph;
extern bool ThreeDGraphShown;
