#pragma once
// "SpectrumGraph": the spectral curves of the diffraction model (spectrum_graph),
// opened by the Fresnel panel's "Graph" and redrawn by the panel after every
// spectral change. Stay-on-top; frees itself when closed.
#include <QWidget>

#include "ui_SpectrumGraph1.h"

class TSpectrumGraph : public QWidget, public Ui::TSpectrumGraph {
    Q_OBJECT
public:
    // Sets SpectrumGraphOpen and draws; closing clears the flag.
    explicit TSpectrumGraph(QWidget* owner = nullptr);
    ~TSpectrumGraph() override;
    void FormCreate();
    // Redraws the picture from the program's model.
    void DrawSpectrumGraph();
};

// The open spectrum graph, or null.
extern TSpectrumGraph* SpectrumGraph;
// True while it is open.
bool SpectrumGraphIsOpen();
// Redraws the spectrum graph when it is open (the panel's spectral changes).
void RedrawSpectrumGraph();
