// The openers of the windows the main window shows: one table of the control
// that opens each window, when it may open, whether it is open already, how it
// is made and whether it is modal. A window whose issue lands adds its row here.
#include <QAbstractButton>
#include <QAction>

#include "analysis/AvgBkg1.h"
#include "analysis/BaseOfIntegrated.h"
#include "analysis/Correction1.h"
#include "analysis/FFT1.h"
#include "analysis/Histogram1.h"
#include "analysis/Identification1.h"
#include "analysis/Linear.h"
#include "analysis/MutualAverage.h"
#include "analysis/TimeError.h"
#include "analysis/TimingErrorSimulation1.h"
#include "graph/FresnelCtrl1.h"
#include "graph/MagnitudeCalculator1.h"
#include "graph/SpectrumGraph1.h"
#include "graph/lunarvelocity.h"
#include "graph/chart.h"
#include "graph/graph_view.h"
#include "measure/Measurement_option.h"
#include "measure/Profile.h"
#include "measure/SetPredictTrack1.h"
#include "measure/colorvalue.h"
#include "measure/grapharea.h"
#include "measure/main_2.h"
#include "measure/main_2_audio.h"
#include "measure/preserveset.h"
#include "measure/settings_file.h"
#include "measure/soundindicator1.h"
#include "platform/dialogs.h"
#include "video/AvsEdit1.h"
#include "video/Capture1.h"
#include "video/DshowError1.h"
#include "video/avidshow.h"
#include "web/Browser1.h"
#include "web/DataViewer.h"
#include "web/StationMap.h"
#include "web/map_page.h"
#include "web/WebAccess.h"

namespace {

struct WindowOpener {
    const char* control;                // the button, menu item or box that opens it
    bool (*guard)(const TPlatform&);    // may it open now (null: always)
    bool (*isOpen)(const TPlatform&);   // its open flag (null: none, a new one each time)
    QWidget* (*create)(TPlatform&);     // makes the window and sets its open flag
    bool modal;
    void (*after)(TPlatform&) = nullptr;  // runs after the guard passed, open or not
};

bool NotRecording(const TPlatform& p) { return !p.State.RecordingFlag; }
bool NotRecordingNorRunning(const TPlatform& p) { return !p.State.RecordingFlag && !p.State.RunningFlag; }

QWidget* CreateGraph(TPlatform& p) {
    p.State.GraphWindowOpen = 1;
    const int firstDataLine = p.State.ResultsFormatVersion >= 1 ? 7 : 4;
    p.GraphDataRowCount = static_cast<int>(p.Table.Count()) - firstDataLine + 1;
    return new Tchart1(&p);
}

// The capture window shares the graph with the frame reader: the reader is closed first.
QWidget* CreateCapture(TPlatform& p) {
    if (p.State.ReaderKind == 0 && p.VfwAvi1) p.VfwAvi1->Close();
    if (p.State.ReaderKind == 1) DshowClose();
    p.State.ReaderOpen = 0;
    CaptureOpen = true;
    TPlatform* w = &p;
    CaptureHost host;
    host.videoFileName = [w] { return w->State.VideoFileName; };
    host.videoOpened = [w] { return w->State.VideoOpened != 0; };
    host.captureFilePath = [w] { return w->State.CaptureFilePath; };
    host.saveCaptureFilePath = [w](const std::string& folder) {
        w->State.CaptureFilePath = folder;
        const SettingsStatus saved = ProgramSettingsFile().SaveCaptureFilePath(folder);
        if (!saved) Dialogs().ShowError(saved.message);
        return saved.ok;
    };
    host.enableOpenButtons = [w](bool on) {
        w->Button1->setEnabled(on);
        w->Button20->setEnabled(on);
    };
    host.openVideo = [w](const std::string& path) { w->OpenVideo(path, false); };
    host.reopenVideo = [w] { w->OpenVideoReader(); };
    return new TCapture_1(std::move(host), &p);
}

bool CaptureGuard(const TPlatform& p) { return !p.State.RecordingFlag && !CaptureOpen; }

bool GraphGuard(const TPlatform& p) { return (p.State.VideoOpen || p.State.ResultsLoaded) && !p.State.RecordingFlag; }

const WindowOpener kOpeners[] = {
    {"Button18", [](const TPlatform& p) { return !p.State.RunningFlag && GraphGuard(p); },
     [](const TPlatform& p) { return p.State.GraphWindowOpen != 0; }, CreateGraph, false},
    {"forMutualEvent1", NotRecording, [](const TPlatform&) { return MutualAverageOpen; },
     [](TPlatform& p) -> QWidget* {
         MutualAverageOpen = true;
         return Mutual_Average = new TMutual_Average(&p);
     },
     false},
    {"Button17", NotRecordingNorRunning, [](const TPlatform&) { return PreserveSetting != nullptr; },
     [](TPlatform& p) -> QWidget* { return new TPreserveSetting(p); }, true},
    {"UpdateSettingItems1", NotRecording, [](const TPlatform&) { return PreserveSetting != nullptr; },
     [](TPlatform& p) -> QWidget* { return new TPreserveSetting(p); }, true},
    {"MeasuremenOption1", NotRecording, [](const TPlatform&) { return MeasurementOption != nullptr; },
     [](TPlatform& p) -> QWidget* { return new TMeasurementOption(p); }, false,
     [](TPlatform& p) { p.AfterMeasurementOption(); }},
    {"ErrorMessagesfromDSHOW1", nullptr, [](const TPlatform&) { return DshowErrorsShown; },
     [](TPlatform& p) -> QWidget* { return new TDshowErrors(&p); }, false},
    // "Operation guide": the frame shown again, so that the guide's picture shows the
    // profile of the current object at once.
    {"Button32", [](const TPlatform& p) { return p.State.VideoOpen != 0; }, [](const TPlatform&) { return GuideOpen; },
     [](TPlatform& p) -> QWidget* { return new TProfile(p); }, false, [](TPlatform& p) { p.ShowNeighbor(); }},
    // "Star Image [3D]" and "Color Value": "Show Field" goes off before either opens.
    {"Button8", [](const TPlatform& p) { return p.State.VideoOpen && !p.State.RecordingFlag && !ThreeDGraphShown; },
     [](const TPlatform&) { return ThreeDGraphShown; },
     [](TPlatform& p) -> QWidget* {
         p.CheckBox1->setChecked(false);
         return new TThreeDGraph(p);
     },
     false, [](TPlatform& p) { p.StarImg3DShow(); }},
    {"Button15", [](const TPlatform& p) { return p.State.VideoOpen && !p.State.RecordingFlag && !ColorValueShown; },
     [](const TPlatform&) { return ColorValueShown; },
     [](TPlatform& p) -> QWidget* {
         p.CheckBox1->setChecked(false);
         return new TColorValueDisplay(p);
     },
     false, [](TPlatform& p) { p.AfterColorValueOpened(); }},
    // The graph window's "Diffraction", after its own checks (Tchart1::Button8Click).
    {"chart1.Button8", [](const TPlatform&) { return chart1 != nullptr; },
     [](const TPlatform&) { return FresnelCtrl != nullptr; }, [](TPlatform&) { return OpenFresnelPanel(); }, false},
    // The velocity calculator: the Tool menu and double clicks on the Fresnel panel's
    // distance and velocity.
    {"LunarVelocityCalculator1", nullptr, [](const TPlatform&) { return LunarVelocityCalculatorOpen; },
     [](TPlatform& p) -> QWidget* { return new TLunarVelocityCalculator(&p); }, false},
    {"FresnelCtrl.Edit1", nullptr, [](const TPlatform&) { return LunarVelocityCalculatorOpen; },
     [](TPlatform& p) -> QWidget* { return new TLunarVelocityCalculator(&p); }, false},
    {"FresnelCtrl.Edit2", nullptr, [](const TPlatform&) { return LunarVelocityCalculatorOpen; },
     [](TPlatform& p) -> QWidget* { return new TLunarVelocityCalculator(&p); }, false},
    // The panel's "Graph": the spectrum graph, or a redraw of the open one.
    {"FresnelCtrl.Button1", nullptr, [](const TPlatform&) { return SpectrumGraphIsOpen(); },
     [](TPlatform& p) -> QWidget* { return new TSpectrumGraph(&p); }, false, [](TPlatform&) { RedrawSpectrumGraph(); }},
    // The panel's "Magnitude Calc": formats 1 and 2 with a data row; the panel is
    // disabled while the calculator is open.
    {"FresnelCtrl.Button2",
     [](const TPlatform& p) {
         return (p.State.ResultsFormatVersion == 1 || p.State.ResultsFormatVersion == 2) && p.Table.Count() >= 8;
     },
     [](const TPlatform&) { return Graph.MagnitudeCalculatorOpen != 0; },
     [](TPlatform& p) -> QWidget* { return new TMagnitudeCalculator(&p); }, false},
    // Opened by the right mouse button on "Estimated track".
    {"CheckBox4", nullptr, [](const TPlatform&) { return SetPredictTrack != nullptr; },
     [](TPlatform& p) -> QWidget* { return new TSetPredictTrack(p.Tracking, &p); }, false},
    // The histogram counts the picture shown now; each opening makes a new window.
    {"HistGram1", nullptr, nullptr,
     [](TPlatform& p) -> QWidget* { return new THistogram(p.Image1->Picture(), p.State.FrameWidth, p.State.FrameHeight, &p); },
     false},
    {"Button30", nullptr, nullptr, [](TPlatform& p) -> QWidget* { return new TTimingErrorSimulation(&p); }, true},
    {"Errorestimation1", nullptr, [](const TPlatform&) { return TimingErrorOpen; },
     [](TPlatform& p) -> QWidget* { return new TTimingError(&p); }, false},
    {"Button36", nullptr, [](const TPlatform&) { return LinearityOpen; },
     [](TPlatform& p) -> QWidget* { return new TLinearity(&p); }, true},
    // The graph window's "FFT" (a new window each time) and "Noise Reduction" (formats
    // 1 and 2 with a data row, once until it closes; a graph opened again while it is
    // still open does not make a second one that would rewrite the table beside it).
    // The graph window's "Correction for absorption", after its own checks
    // (Tchart1::Button11Click): formats 1 and 2 with a data row, once at a time.
    {"chart1.Button11",
     [](const TPlatform& p) {
         return !Graph.CorrectionOpen && (p.State.ResultsFormatVersion == 1 || p.State.ResultsFormatVersion == 2) &&
                p.Table.Count() >= 8;
     },
     [](const TPlatform&) { return Correction != nullptr; }, [](TPlatform& p) -> QWidget* { return new TCorrection(&p); },
     false},
    {"Button41", NotRecordingNorRunning, [](const TPlatform&) { return BaseOfIntegration != nullptr; },
     [](TPlatform& p) -> QWidget* { return new TBaseOfIntegration(&p); }, false},
    {"chart1.Button10", nullptr, nullptr, [](TPlatform& p) -> QWidget* { return new TFFT1(&p); }, false},
    {"chart1.SpeedButton1",
     [](const TPlatform& p) {
         return !Graph.AvgBkgOpen && !Graph.AvgBkgLaunched && !AvgBkg && (p.State.ResultsFormatVersion == 1 || p.State.ResultsFormatVersion == 2) &&
                p.Table.Count() >= 8;
     },
     nullptr,
     [](TPlatform& p) -> QWidget* {
         Graph.AvgBkgLaunched = 1;
         return new TAvgBkg(&p);
     },
     false},
    // The script dialog comes first; no editor when it is cancelled or the script does not read.
    {"AVSFileEdit1", [](const TPlatform& p) { return !p.State.RecordingFlag && !p.State.GraphWindowOpen && !AvsEditOpen; },
     [](const TPlatform&) { return AvsEditOpen; }, [](TPlatform& p) -> QWidget* { return OpenAvsEditor(p.State.VideoFolder, &p); }, false},
    // "Audio Channel Display": the audio track copied, then the display (none when
    // the copy was declined or failed).
    {"Button9", AudioDisplayGuard, [](const TPlatform&) { return SoundIndicatorShown; }, OpenAudioDisplay, false},
    // "Map": the GPS record is read from the frame first; the map opens only when it
    // holds a position.
    {"Map1", [](const TPlatform& p) { return p.State.VideoOpen != 0; }, nullptr,
     [](TPlatform& p) -> QWidget* {
         p.ReadGpsForMap();
         if (!web::MapWindowHasPosition(p.GpsRecord, p.State.TimeInserterType)) return nullptr;
         return new TMap(p.GpsRecord, p.State.TimeInserterType, &p);
     },
     false},
    {"WebBrowser1", nullptr, nullptr, [](TPlatform& p) -> QWidget* { return new TBrowser1(&p); }, false},
    {"Button38", nullptr, nullptr, [](TPlatform& p) -> QWidget* { return new TDataViewer(&p); }, true},
    // The identification window: from the main menu, or the graph's "Identification"
    // after its own checks (Tchart1::Button14Click); one at a time.
    {"Identificationforlightcurve1", [](const TPlatform&) { return !Graph.IdentificationOpen; },
     [](const TPlatform&) { return Identification != nullptr; },
     [](TPlatform& p) -> QWidget* {
         Graph.IdentificationFromGraph = 0;
         return new TIdentification(&p);
     },
     false},
    {"chart1.Button14", [](const TPlatform&) { return chart1 != nullptr && !Graph.IdentificationOpen; },
     [](const TPlatform&) { return Identification != nullptr; },
     [](TPlatform& p) -> QWidget* { return new TIdentification(&p); }, false},
    {"VideoCapture1", CaptureGuard, [](const TPlatform&) { return CaptureOpen; }, CreateCapture, false},
    {"Button37", [](const TPlatform& p) { return CaptureGuard(p) && !p.State.RunningFlag; },
     [](const TPlatform&) { return CaptureOpen; }, CreateCapture, false},
    // The update window closes the main window (after its own modal time) once the
    // restart script runs.
    {"SoftwareUpdate1", nullptr, nullptr,
     [](TPlatform& p) -> QWidget* {
         return new TWebAccess(&p, [&p] { QMetaObject::invokeMethod(&p, &QWidget::close, Qt::QueuedConnection); });
     },
     true},
};

}  // namespace

bool TPlatform::OpenWindow(const std::string& control, bool followUp) {
    for (const WindowOpener& o : kOpeners) {
        if (control != o.control) continue;
        if (o.guard && !o.guard(*this)) return false;
        bool opened = false;
        if (!o.isOpen || !o.isOpen(*this)) {
            QWidget* w = o.create(*this);
            if (!w) return false;  // the opener's own dialog was cancelled or refused
            UseFormFont(w);
            if (o.modal) Dialogs().ShowModal(static_cast<QDialog*>(w));
            else w->show();
            opened = true;
        }
        if (o.after && followUp) o.after(*this);
        return opened;
    }
    return false;
}

std::vector<std::string> TPlatform::OpenerControls() {
    std::vector<std::string> names;
    for (const WindowOpener& o : kOpeners) names.emplace_back(o.control);
    return names;
}

void TPlatform::ConnectOpeners() {
    for (const WindowOpener& o : kOpeners) {
        const std::string name = o.control;
        if (name == "CheckBox4") {
            CheckBox4->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(CheckBox4, &QWidget::customContextMenuRequested, this, [this, name] { OpenWindow(name); });
        } else if (auto* b = findChild<QAbstractButton*>(QString::fromStdString(name))) {
            connect(b, &QAbstractButton::clicked, this, [this, name] { OpenWindow(name); });
        } else if (auto* a = findChild<QAction*>(QString::fromStdString(name))) {
            connect(a, &QAction::triggered, this, [this, name] { OpenWindow(name); });
        }
    }
}

void TPlatform::OpenGraphWindow() {
    if (!GraphGuard(*this) || State.GraphWindowOpen) return;
    QWidget* graph = CreateGraph(*this);
    UseFormFont(graph);
    graph->show();
}

void TPlatform::Button18Click() { OpenWindow("Button18"); }
void TPlatform::forMutualEvent1Click() { OpenWindow("forMutualEvent1"); }
void TPlatform::Button17Click() { OpenWindow("Button17"); }
void TPlatform::UpdateSettingItems1Click() { OpenWindow("UpdateSettingItems1"); }
void TPlatform::MeasuremenOption1Click() { OpenWindow("MeasuremenOption1"); }
