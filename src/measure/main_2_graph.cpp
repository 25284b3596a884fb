// The main window's side of the light-curve graph: opening the graph window and
// redrawing it when the current object changes.
#include <QAction>

#include "graph/chart.h"
#include "graph/graph_view.h"
#include "measure/main_2.h"

void TPlatform::ConnectGraphHandlers() {
    // The graph reads the check mark at its next drawing.
    connect(FixMin6MaxofGraph1, &QAction::triggered, this, [] {});
}

void TPlatform::OpenGraphWindow() {
    if (!(State.VideoOpen || State.ResultsLoaded) || State.RecordingFlag || State.GraphWindowOpen) return;
    State.GraphWindowOpen = 1;
    const int firstDataLine = State.ResultsFormatVersion >= 1 ? 7 : 4;
    GraphDataRowCount = static_cast<int>(Table.Count()) - firstDataLine + 1;
    auto* chart = new Tchart1(this);
    chart->show();
}

void TPlatform::RedrawGraph() {
    if (chart1) chart1->GraphShow3();
}
