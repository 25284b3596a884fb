#include "measure/grapharea.h"

#include <QCloseEvent>
#include <QSignalBlocker>
#include <algorithm>

#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "video/avidshow.h"

TThreeDGraph* ThreeDGraph = nullptr;
bool ThreeDGraphShown = false;

TThreeDGraph::TThreeDGraph(TPlatform& owner) : QWidget(&owner, Qt::Window | Qt::WindowStaysOnTopHint), p_(owner) {
    setupUi(this);
    setObjectName("ThreeDGraph");  // the instance variable, as scripts name the window
    setAttribute(Qt::WA_DeleteOnClose);
    TDGImage1->SetPictureSize(threed::kPictureWidth, threed::kPictureHeight);
    RadioGroup1->SetItems({"Show", "Hide"}, 1);
    MedianSelect->SetItems({"5", "3", "OFF"}, 3);
    RadioGroup2->SetItems({"Moving Average", "Median"}, 2);
    ThreeDGraph = this;
    connect(SpeedButton1, &QToolButton::clicked, this, &TThreeDGraph::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TThreeDGraph::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TThreeDGraph::SpeedButton3Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TThreeDGraph::SpeedButton4Click);
    connect(Button2, &QPushButton::clicked, this, &TThreeDGraph::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TThreeDGraph::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TThreeDGraph::Button4Click);
    connect(TrackBar1, &QSlider::valueChanged, this, &TThreeDGraph::TrackBar1Change);
    connect(TrackBar2, &QSlider::valueChanged, this, &TThreeDGraph::TrackBar2Change);
    connect(RadioGroup1, &TRadioGroup::Click, this, [this] { Redraw(); });
    connect(MedianSelect, &TRadioGroup::Click, this, [this] { Redraw(); });
    connect(RadioGroup2, &TRadioGroup::Click, this, [this] { Redraw(); });
    connect(Button5, &QPushButton::clicked, this, &TThreeDGraph::Button5Click);
    connect(Button1, &QPushButton::clicked, this, &TThreeDGraph::Button1Click);
    FormCreate();
}

TThreeDGraph::~TThreeDGraph() {
    if (ThreeDGraph == this) ThreeDGraph = nullptr;
    ThreeDGraphShown = false;
}

void TThreeDGraph::closeEvent(QCloseEvent* event) {
    ThreeDGraphShown = false;
    event->accept();
}

void TThreeDGraph::FormCreate() {
    ThreeDGraphShown = true;
    // At the main window's top left, as wide as designed.
    move(p_.pos());
    setFixedWidth(kWidth);
    ThreeDTilt = -30;
    ThreeDTurn = 0;
    ThreeDScale = 20;
    const QSignalBlocker b1(TrackBar1), b2(TrackBar2);
    TrackBar1->setValue(0);
    TrackBar2->setValue(20);
    RadioGroup1->SetItemIndex(0);
    MedianSelect->SetItemIndex(2);
    RadioGroup2->SetItemIndex(0);
}

void TThreeDGraph::ThreeDPixelread(const Bitmap24& frame, int k) {
    const DataLineObject& o = p_.State.FrameObject(k);
    threed::ReadRaw(frame, o.PosX, o.PosY, ThreeDRaw[k]);
    threed::ComputeHeights(ThreeDRaw[k], ThreeDScale, ThreeDHeights[k]);
}

void TThreeDGraph::ThreeDGraphDraw(int k) {
    if (k < 1 || k > 3) return;
    const int size = MedianSelect->ItemIndex();
    threed::Smooth(ThreeDRaw[k], ThreeDHeights[k],
                   size == 0 ? threed::SmoothSize::kFive : size == 1 ? threed::SmoothSize::kThree : threed::SmoothSize::kOff,
                   RadioGroup2->ItemIndex() == 1 ? threed::SmoothFilter::kMedian : threed::SmoothFilter::kMean,
                   ThreeDFiltered[k]);
    threed::ScreenGrid points;
    threed::ProjectRelief(ThreeDFiltered[k], ThreeDTilt, ThreeDTurn, points);
    const bool outlines = RadioGroup1->ItemIndex() == 0;
    TDGImage1->SetPictureSize(threed::kPictureWidth, threed::kPictureHeight);
    threed::Paint(threed::BuildMesh(points, ThreeDTurn, outlines ? &p_.Masks.ApertureMask[k] : nullptr), TDGImage1->Picture());
    TDGImage1->Changed();
}

void TThreeDGraph::Redraw() {
    if (p_.State.ReaderKind == 1) DshowRunPause();
    ThreeDGraphDraw(p_.State.CurrentObject);
}

void TThreeDGraph::SpeedButton1Click() {
    if (ThreeDTilt < 87) ThreeDTilt += 3;
    Redraw();
}

void TThreeDGraph::SpeedButton2Click() {
    if (ThreeDTilt > -87) ThreeDTilt -= 3;
    Redraw();
}

// The turn stays within -90..90, where TrackBar1 can follow it: a step of 30
// from a position off the grid of 30 stops at the end.
void TThreeDGraph::TurnBy(double step, double limit) {
    if (step > 0 ? ThreeDTurn < limit : ThreeDTurn > limit)
        ThreeDTurn = step > 0 ? std::min(ThreeDTurn + step, limit) : std::max(ThreeDTurn + step, limit);
    {
        const QSignalBlocker block(TrackBar1);
        TrackBar1->setValue(static_cast<int>(ThreeDTurn));
    }
    Redraw();
}

void TThreeDGraph::SpeedButton3Click() { TurnBy(3, 90); }
void TThreeDGraph::SpeedButton4Click() { TurnBy(-3, -90); }
void TThreeDGraph::Button3Click() { TurnBy(30, 90); }
void TThreeDGraph::Button4Click() { TurnBy(-30, -90); }

void TThreeDGraph::TrackBar1Change(int position) {
    ThreeDTurn = position;
    Redraw();
}

void TThreeDGraph::Button2Click() {
    ThreeDTilt = 0;
    ThreeDTurn = 0;
    {
        const QSignalBlocker block(TrackBar1);
        TrackBar1->setValue(0);
    }
    Redraw();
}

void TThreeDGraph::TrackBar2Change(int position) {
    ThreeDScale = position;
    for (int k = 1; k <= 3; ++k) threed::ComputeHeights(ThreeDRaw[k], ThreeDScale, ThreeDHeights[k]);
    Redraw();
}

void TThreeDGraph::Button5Click() { Dialogs().SetClipboardImage(TDGImage1->Picture().convertToFormat(QImage::Format_RGB888)); }

void TThreeDGraph::Button1Click() { close(); }
