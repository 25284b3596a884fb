// The graph window in diffraction mode: what the Fresnel panel asks of it.
#include "graph/FresnelCtrl1.h"
#include "graph/chart.h"
#include "graph/diffraction_draw.h"
#include "graph/diffraction_fit.h"
#include "measure/main_2.h"

void Tchart1::DRAverage() {
    if (!Platform) return;
    Graph.FirstDataLine = FirstDataLineOf(Platform->State.ResultsFormatVersion);
    Graph.PlotColumnBase = PlotColumnBaseOf(Platform->State.ResultsFormatVersion);
    diffraction::DRAverage(diffraction::RowsOf(Platform->Table.Lines(), Graph), Graph);
}

void Tchart1::ShowFit(const diffraction::FitRun& run) {
    GraphShow3();
    std::vector<std::string> lines;
    const bool textOut = Platform && Platform->CheckBox12->isChecked();
    diffraction::FitDrawing d;
    d.run = &run;
    d.frameRate = Platform ? Platform->State.VideoFrameRate : 29.97;
    d.dataLines = CheckBox7->isChecked();
    d.markerRadius = UpDown1->Position();
    d.textOut = textOut ? &lines : nullptr;
    diffraction::DrawFit(Graph, Drawing.Table(), d, ChartImg1->Picture(), ChartImg2->Picture());
    if (textOut) {
        for (std::string& l : lines) Platform->Memo2Table.Append(std::move(l));
        Platform->Memo2->Refresh();
    }
    ChartImg1->Changed();
    ChartImg2->Changed();
}

void Tchart1::InformationShow() {
    if (!CheckBox9->isChecked()) return;
    Drawing.InformationShow(Graph, Inputs(), ChartImg1->Picture());
    ChartImg1->Changed();
}

bool Tchart1::FitRangesToSelection() {
    GraphView& g = Graph;
    TFresnelCtrl* f = FresnelCtrl;
    if (!f || !(g.SelectedMinOffset < 0 && g.SelectedMaxOffset >= 1)) return true;
    const int m = g.SelectedMinOffset, M = g.SelectedMaxOffset;
    // Before side: the ranges move right so that they start within the data.
    if (!(f->UpDown13->Position() > m)) return false;
    if (f->UpDown3->Position() >= m) {
        f->UpDown3->SetMin(m);
    } else if (f->UpDown4->Position() >= m) {
        f->UpDown3->SetMax(f->UpDown4->Position() - 1);
        f->UpDown3->SetPosition(m);
        g.BeforeRangeStart = f->UpDown3->Position();
        f->Edit14->setText(QString::number(g.BeforeRangeStart));
        f->UpDown3->SetMin(m);
    } else {
        f->UpDown4->SetMax(f->UpDown13->Position() - 1);
        f->UpDown4->SetPosition(m);
        g.BeforeRangeEnd = f->UpDown4->Position();
        f->UpDown4->SetMin(m);
        f->Edit15->setText(QString::number(g.BeforeRangeEnd));
        f->UpDown3->SetMax(f->UpDown4->Position());
        f->UpDown3->SetPosition(m);
        g.BeforeRangeStart = f->UpDown3->Position();
        f->Edit14->setText(QString::number(g.BeforeRangeStart));
        f->UpDown3->SetMin(m);
    }
    // After side, mirrored.
    if (!(f->UpDown12->Position() < M)) return false;
    if (f->UpDown6->Position() <= M) {
        f->UpDown6->SetMax(M);
    } else if (f->UpDown5->Position() <= M) {
        f->UpDown6->SetMin(f->UpDown5->Position() + 1);
        f->UpDown6->SetPosition(M);
        g.AfterRangeEnd = f->UpDown6->Position();
        f->Edit17->setText(QString::number(g.AfterRangeEnd));
        f->UpDown6->SetMax(M);
    } else {
        f->UpDown5->SetMin(f->UpDown12->Position() + 1);
        f->UpDown5->SetPosition(M);
        g.AfterRangeStart = f->UpDown5->Position();
        f->UpDown5->SetMax(M);
        f->Edit16->setText(QString::number(g.AfterRangeStart));
        f->UpDown6->SetMin(f->UpDown5->Position());
        f->UpDown6->SetPosition(M);
        g.AfterRangeEnd = f->UpDown6->Position();
        f->Edit17->setText(QString::number(g.AfterRangeEnd));
        f->UpDown6->SetMax(M);
    }
    return true;
}

QWidget* OpenFresnelPanel() {
    if (!chart1) return nullptr;
    Graph.DiffractionMode = 1;
    chart1->GraphShow3();
    auto* panel = new TFresnelCtrl(chart1);
    Graph.FitDone = 0;
    if (chart1->CheckBox1->isChecked()) chart1->WideSetting();
    else chart1->NarrowSetting();
    chart1->Button8->setEnabled(false);
    return panel;
}
