#include "graph/SpectrumGraph1.h"

#include "graph/FresnelCtrl1.h"
#include "graph/spectral_model.h"
#include "graph/spectrum_graph.h"

TSpectrumGraph* SpectrumGraph = nullptr;

TSpectrumGraph::TSpectrumGraph(QWidget* owner) : QWidget(owner) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    SpectrumGraph = this;
    FormCreate();
}

TSpectrumGraph::~TSpectrumGraph() {
    if (SpectrumGraph == this) {
        SpectrumGraph = nullptr;
        FresnelPanel.SpectrumGraphOpen = 0;
    }
}

void TSpectrumGraph::FormCreate() {
    FresnelPanel.SpectrumGraphOpen = 1;
    DrawSpectrumGraph();
}

void TSpectrumGraph::DrawSpectrumGraph() {
    spectrum::DrawSpectrumGraph(Image1->Picture(), diffraction::Model);
    Image1->Changed();
}

bool SpectrumGraphIsOpen() { return FresnelPanel.SpectrumGraphOpen != 0; }

void RedrawSpectrumGraph() {
    if (SpectrumGraph) SpectrumGraph->DrawSpectrumGraph();
}
