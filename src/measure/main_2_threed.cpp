// The main window's side of the 3-D star view and the value panel: the patch read
// after tracking, the redraw the other handlers call, the panel's sums, and what
// happens when either opens (the rows are in the opener table).
#include "measure/colorvalue.h"
#include "measure/grapharea.h"
#include "measure/main_2.h"

void TPlatform::RedrawThreeDView() {
    if (ThreeDGraphShown && ThreeDGraph) ThreeDGraph->ThreeDGraphDraw(State.CurrentObject);
}

bool TPlatform::ThreeDViewShown() const { return ThreeDGraphShown; }

void TPlatform::ReadThreeDPatch(int k) {
    if (ThreeDGraphShown && ThreeDGraph) ThreeDGraph->ThreeDPixelread(FrameBitmap, k);
}

bool TPlatform::ValuePanelShown() const { return ColorValueShown; }

void TPlatform::ShowValuePanel(const ApertureReadouts* readouts, bool cleared) {
    if (!ColorValueShown || !ColorValueDisplay) return;
    if (readouts && readouts->PanelFilled) ColorValueDisplay->Fill(readouts->Panel);
    else if (cleared) ColorValueDisplay->Clear();
}

// After the view was made: the frame shown again (reading the patches), then drawn.
void TPlatform::StarImg3DShow() {
    ShowNeighbor();
    RedrawThreeDView();
}

void TPlatform::AfterColorValueOpened() {
    RunPauseIfDshow();
    ShowNeighbor();
}
