// Main window: the LED signal boxes with their lamps, the TIVi display (placing its
// marker, reading it each frame, drawing it) and the "Position Set" buttons.
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>

#include "measure/main_2.h"
#include "platform/qt_text.h"

namespace {

constexpr uint32_t kTIViColour = 0xFF0000;

void ShowLamp(QLabel* panel, bool lit) {
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, lit ? QColor(255, 0, 0) : QColor(255, 255, 255));
    panel->setPalette(p);
}

}  // namespace

void TPlatform::ConnectSignalHandlers() {
    TIViTemplatePoints = overlay::DefaultTIViTemplate();
    TIViSamplePoints = overlay::SetTIViSamplePoints(TIViMarker, TIViTemplatePoints);
    for (QLabel* panel : {Panel1, Panel2}) {
        panel->setAutoFillBackground(true);
        ShowLamp(panel, false);
    }
    QRadioButton* modes[4] = {RadioButton10, RadioButton11, RadioButton12, RadioButton13};
    for (int mode = 0; mode < 4; ++mode)
        connect(modes[mode], &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on) PositionSetClick(mode);
        });
    PopupMenu2 = new QMenu(this);
    PopupMenu2->addAction(IViavailable1);
    PopupMenu2->addAction(IViunavailable1);
    PopupMenu2->addAction(Cancel2);
    for (QLineEdit* box : {Edit24, Edit25, Edit26, Edit27}) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this,
                [this, box](const QPoint& at) { PopupMenu2->popup(box->mapToGlobal(at)); });
    }
    connect(IViavailable1, &QAction::triggered, this, [this] { IViavailable1Click(); });
    connect(IViunavailable1, &QAction::triggered, this, [this] { IViunavailable1Click(); });
    connect(Button33, &QPushButton::clicked, this, [this] { Button33Click(); });
}

overlay::OverlayControls TPlatform::SignalControls() const {
    overlay::OverlayControls c;
    c.UpDown4 = UpDown4->Position();
    c.TimeInserterType = State.TimeInserterType;
    c.VideoFrameRateInt = State.VideoFrameRateInt;
    c.FrameWidth = State.FrameWidth;
    c.FrameHeight = State.FrameHeight;
    c.DisplayWidth = Image1->Picture().width();
    c.DisplayHeight = Image1->Picture().height();
    return c;
}

void TPlatform::PositionSetClick(int mode) {
    if (CheckBox1->isChecked()) {
        // While "Show Field" is on the placement mode stays; the button goes back.
        QRadioButton* modes[4] = {RadioButton10, RadioButton11, RadioButton12, RadioButton13};
        QRadioButton* keep = modes[std::clamp(positionSetMode_, 0, 3)];
        const QSignalBlocker quiet(keep);
        keep->setChecked(true);
        return;
    }
    positionSetMode_ = mode;
    if (mode == 3) {
        UpDown4->SetPosition(100);
        Edit4->setText("100");
    }
}

void TPlatform::DetectSignals(const Bitmap24& bmp) {
    MeasureState& s = State;
    if (!s.SignalBoxesEnabled || bmp.Empty()) return;
    const overlay::OverlayControls c = SignalControls();
    const overlay::SignalReading r1 =
        overlay::DetectSignal(OverlayReader, c, bmp, s.Signal1Position.x, s.Signal1Position.y);
    const overlay::SignalReading r2 =
        overlay::DetectSignal(OverlayReader, c, bmp, s.Signal2Position.x, s.Signal2Position.y);
    // The three lines read the same bitmap: one detection serves them all.
    for (DataLine& line : s.DataLines) {
        line.Signal1Detected = r1.lit;
        line.Signal2Detected = r2.lit;
    }
    ShowLamp(Panel1, r1.lit);
    ShowLamp(Panel2, r2.lit);
}

void TPlatform::LocateOnTIViRequest(const Bitmap24& bmp) {
    if (!TIViLocateRequest || bmp.Empty()) return;
    if (!CheckBox5->isChecked()) {
        State.OverlayGridLocated =
            overlay::LocateTIViDigits(bmp, UpDown4->Position(), TIViMarkerPoint.x, TIViMarkerPoint.y, TIViMarker) ? 1 : 0;
        TIViSamplePoints = overlay::SetTIViSamplePoints(TIViMarker, TIViTemplatePoints);
        TIViMarkerShown = 1;
    } else if (LocateGridHook) {
        LocateGridHook(bmp);
    }
    // The marker is drawn again once the location is done.
    TIViLocateRequest = 0;
}

void TPlatform::ShowTIViReading(const Bitmap24& bmp) {
    TIViText = overlay::ReadTIViDigits(bmp, UpDown4->Position(), TIViSamplePoints);
    Edit24->clear();
    Edit25->clear();
    Edit26->setText(QString::fromStdString(TIViText));
    Edit27->clear();
    State.TIViReadOk = TIViText == "EE" ? 0 : 1;
}

void TPlatform::PositionMarkerForTIViShow() {
    if (!TIViMarkerShown || TIViLocateRequest) return;
    // The digit boxes come out with their corners swapped (the half width is negative
    // while the left digit lies left); the rectangle is drawn between the corners.
    for (const overlay::MarkerRect& r : overlay::TIViMarkerRects(TIViMarker, TIViSamplePoints))
        DrawRectangleOutline(Image1->Picture(), std::min(r.x1, r.x2), std::min(r.y1, r.y2), std::max(r.x1, r.x2),
                             std::max(r.y1, r.y2), kTIViColour);
}

void TPlatform::DrawSignalAndTIViMarkers() {
    if (!CheckBox5->isChecked() && State.TIViReading) PositionMarkerForTIViShow();
    if (CheckBox5->isChecked()) PositionMarkerForTIViShow2();
}

void TPlatform::IViavailable1Click() {
    if (CheckBox5->isChecked()) State.OverlayTimeReading = 1;
    else State.TIViReading = 1;
    ShowNeighbor();
}

void TPlatform::IViunavailable1Click() {
    Image1->Picture().fill(Qt::white);
    Image1->Changed();
    if (CheckBox5->isChecked()) State.OverlayTimeReading = 0;
    else State.TIViReading = 0;
    for (QLineEdit* box : {Edit24, Edit25, Edit26, Edit27}) box->clear();
    ShowNeighbor();
}

void TPlatform::Button33Click() {
    TIViTemplatePoints = overlay::DefaultTIViTemplate();
    TIViMarkerShown = 0;
    TIViSamplePoints.fill({1000, 1000});
}

std::string TPlatform::TIViProbeText() const {
    const overlay::TIViMarker& m = TIViMarker;
    std::string out = "marker=" + std::to_string(m.x1) + "," + std::to_string(m.y1) + "," + std::to_string(m.x2) + "," +
                      std::to_string(m.y2) + "," + std::to_string(m.height) +
                      " located=" + std::to_string(State.OverlayGridLocated) + "\npoints=";
    for (size_t i = 0; i < TIViSamplePoints.size(); ++i)
        out += (i ? " " : "") + std::to_string(TIViSamplePoints[i].x) + "," + std::to_string(TIViSamplePoints[i].y);
    out += "\ntext=" + TIViText + " ok=" + std::to_string(State.TIViReadOk);
    return out;
}

std::string TPlatform::SignalProbeText() const {
    const DataLine& f = State.DataLines[0];
    auto lamp = [](const QLabel* p) {
        return p->palette().color(QPalette::Window) == QColor(255, 0, 0) ? std::string("red") : std::string("white");
    };
    return "s1=" + std::to_string(f.Signal1Detected) + " s2=" + std::to_string(f.Signal2Detected) +
           " panel1=" + lamp(Panel1) + " panel2=" + lamp(Panel2);
}
