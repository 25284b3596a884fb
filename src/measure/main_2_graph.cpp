// The main window's side of the light-curve graph: redrawing it when the current
// object changes (its opener is in the opener table).
#include <QAction>

#include "graph/chart.h"
#include "graph/graph_view.h"
#include "measure/main_2.h"

void TPlatform::ConnectGraphHandlers() {
    // The graph reads the check mark at its next drawing.
    connect(FixMin6MaxofGraph1, &QAction::triggered, this, [] {});
}

void TPlatform::RedrawGraph() {
    if (chart1) chart1->GraphShow3();
}
