// Main-window tools: the occultation presets, the gamma and interval edits and
// the event-time export.
#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

#include "graph/spectral_model.h"
#include "measure/Profile.h"
#include "measure/SetPredictTrack1.h"
#include "measure/main_2.h"
#include "measure/presets.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"
#include "platform/qt_text.h"

namespace {

constexpr const char* kEventTimePrefix = "Event Time obtained from Tevorin:";

// Focus and key events of an edit, passed to the window's handlers.
class EditWatch : public QObject {
public:
    EditWatch(QLineEdit* edit, std::function<void()> onEnter, std::function<void()> onFocusIn,
              std::function<void()> onFocusOut, std::function<void()> onOtherKey)
        : QObject(edit), enter_(std::move(onEnter)), in_(std::move(onFocusIn)), out_(std::move(onFocusOut)),
          other_(std::move(onOtherKey)) {
        edit->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
            case QEvent::KeyPress: {
                const int key = static_cast<QKeyEvent*>(e)->key();
                if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                    if (enter_) enter_();
                    return true;
                }
                if (other_) other_();
                break;
            }
            case QEvent::FocusIn:
                if (in_) in_();
                break;
            case QEvent::FocusOut:
                if (out_) out_();
                break;
            default: break;
        }
        return false;
    }

private:
    std::function<void()> enter_, in_, out_, other_;
};

void SetTextColour(QLineEdit* edit, Qt::GlobalColor colour) {
    QPalette p = edit->palette();
    p.setColor(QPalette::Text, colour);
    edit->setPalette(p);
}

std::optional<double> EditNumber(const QLineEdit* edit) {
    std::string text = edit->text().toStdString();
    SanitizeNumericText(text);
    return numtext::ParseFloat(text);
}

}  // namespace

void TPlatform::ConnectToolHandlers() {
    connect(CopyCurrentTimetoClipboard1, &QAction::triggered, this, &TPlatform::CopyCurrentTimetoClipboard1Click);
    // Gamma.
    new EditWatch(
        Edit18, [this] { Edit18Enter(); }, [this] { SetTextColour(Edit18, Qt::blue); }, [this] { Edit18Exit(); },
        [this] { SetTextColour(Edit18, Qt::blue); });
    QRadioButton* modes[3] = {RadioButton15, RadioButton16, RadioButton17};
    for (int m = 0; m < 3; ++m)
        connect(modes[m], &QRadioButton::clicked, this, [this, m] { GammaModeClick(m); });
    // Interval.
    connect(UpDown9, &TUpDown::Click, this, [this](bool) { UpDown9Click(); });
    new EditWatch(
        Edit19, [this] { Edit19Exit(); }, [this] { SetTextColour(Edit19, Qt::blue); }, [this] { Edit19Exit(); }, nullptr);
}

// ---------------------------------------------------------------- presets

void TPlatform::ApplyOccultationPreset() {
    MeasureState& s = State;
    if (!ApplyPresetToLines(s.DataLines, s.PsfSigma, PresetIndex, CheckBox6->isChecked())) return;
    const int k = s.CurrentObject;
    if (PresetIndex == 1) {
        Tracking.PredictTrack[k].Enabled = 0;
        if (SetPredictTrack) {
            const QSignalBlocker block(SetPredictTrack->ObjectBox(k));
            SetPredictTrack->ObjectBox(k)->setChecked(false);
        }
    }
    ShowObjectSettings();
    Tracking.LostPercent[k] = s.FrameObject(k).TrackThreshold;
    for (int j = 1; j <= 3; ++j) RebuildMasks(j);
    ShowNeighbor();
    Psf.ProfileLearning = 0;
}

// ---------------------------------------------------------------- gamma

void TPlatform::GammaRedraw() {
    if (State.VideoOpen && !State.RecordingFlag && !State.DirectionMode) ShowNeighbor();
    // The 3-D view's relief is read from the frame, which "Field" changes.
    RedrawThreeDView();
}

void TPlatform::ShowGamma() {
    Edit18->setText(QStr(numtext::FormatFixed(Gamma.GammaValue, 15, 2)));
    BuildGammaTable(Gamma);
    SetTextColour(Edit18, Qt::black);
}

void TPlatform::Edit18Enter() {
    const std::optional<double> v = EditNumber(Edit18);
    // A value of 0 or less (or no number) changes nothing.
    if (!v || !(*v > 0) || !std::isfinite(*v)) return;
    Gamma.GammaValue = *v;
    ShowGamma();
    GammaRedraw();
}

void TPlatform::Edit18Exit() {
    // Text typed without Enter is discarded.
    ShowGamma();
    GammaRedraw();
}

void TPlatform::GammaModeClick(int mode) {
    Gamma.GammaMode = static_cast<uint8_t>(mode);
    Edit18->setEnabled(mode != 0);
    GammaRedraw();
}

// ---------------------------------------------------------------- interval

void TPlatform::ShowInterval(int step) {
    const int sign = State.FrameStep < 0 ? -1 : 1;
    State.FrameStep = sign * step;
    diffraction::Model.ShadowVelocityPerInterval = step * diffraction::Model.ShadowVelocity;
}

void TPlatform::UpDown9Click() {
    ShowInterval(UpDown9->Position());
    Edit19->setText(QString::number(UpDown9->Position()));
}

void TPlatform::Edit19Exit() {
    const std::optional<double> v = EditNumber(Edit19);
    if (v && std::abs(*v) < 1e9) {
        const int64_t step = numtext::RoundHalfEven(*v);
        if (step >= 1 && step <= 256) ShowInterval(static_cast<int>(step));
    }
    const int shown = std::abs(State.FrameStep);
    UpDown9->SetPosition(shown);
    Edit19->setText(QString::number(shown));
    SetTextColour(Edit19, Qt::black);
}

// ---------------------------------------------------------------- exports

void TPlatform::CopyCurrentTimetoClipboard1Click() {
    const std::string line = kEventTimePrefix + Edit24->text().toStdString() + Edit25->text().toStdString() +
                             Edit26->text().toStdString();
    Memo2Table.Clear();
    Memo2Table.Append(line);
    Memo2->Refresh();
    Dialogs().SetClipboardText(line + "\n");
}

// ---------------------------------------------------------------- operation guide

ProfileCanvas TPlatform::GuideCanvas() {
    return ProfileCanvas{Profile ? &Profile->Image1->Picture() : &ProfileImage, State.CurrentObject, ReaderFrameRate};
}

void TPlatform::GuideCanvasDrawn() {
    if (Profile) Profile->Image1->Changed();
}
