#include "measure/soundindicator1.h"

#include <QCloseEvent>

#include "measure/main_2.h"
#include "platform/qt_text.h"

TSoundIndicator* SoundIndicator = nullptr;
bool SoundIndicatorShown = false;
bool SoundSignalDetected = false;
std::string SoundSignalShareText;
int SoundGain = 50;
int AudioDiscordance = 0;
std::string WavFileName;

namespace {
void SetTextColour(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Text, c);
    pal.setColor(QPalette::WindowText, c);
    w->setPalette(pal);
}
void SetPanelColour(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
}
}  // namespace

TSoundIndicator::TSoundIndicator(TPlatform& owner) : QWidget(&owner, Qt::Window), platform_(owner) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    SoundIndicator = this;
    RadioGroup1->SetItems({"L", "R", "L+R"}, 3);
    RadioGroup1->SetItemIndex(2);
    RadioGroup2->SetItems({"Wide", "Expansion"}, 2);
    RadioGroup2->SetItemIndex(0);
    UpDown1->SetRange(5, 200);
    UpDown1->SetIncrement(5);
    UpDown2->SetRange(1, 200);
    UpDown2->SetIncrement(1);
    SndImage->SetPictureSize(video::kSoundImageWidth, video::kSoundImageHeight);
    FormCreate();
    connect(UpDown1, &TUpDown::Click, this, [this](bool) { UpDown1Click(); });
    connect(UpDown2, &TUpDown::Click, this, [this](bool) { UpDown2Click(); });
    connect(RadioGroup1, &TRadioGroup::Click, this, [this](int) { GraphDraw(); });
    connect(RadioGroup2, &TRadioGroup::Click, this, [this](int) { GraphDraw(); });
    connect(Button1, &QPushButton::clicked, this, &TSoundIndicator::Button1Click);
}

TSoundIndicator::~TSoundIndicator() {
    if (SoundIndicator == this) SoundIndicator = nullptr;
}

void TSoundIndicator::FormCreate() {
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setFixedSize(size());
    move(platform_.pos());
    AudioDiscordance = 0;
    SoundGain = 50;
    UpDown1->SetPosition(50);
    UpDown2->SetPosition(50);
    Edit1->setText("50");
    SoundSignalDetected = false;
    SoundSignalShareText.clear();
}

bool TSoundIndicator::SoundInit() {
    const MeasureState& s = platform_.State;
    if (!display_.Init(WavFileName, static_cast<int64_t>(platform_.MaxPosition()) + 1, s.VideoFrameRate, error_))
        return false;
    const video::SoundGeometry& g = display_.Geometry();
    AudioDiscordance = g.discordance;
    Edit4->setText(QStr(video::SamplesPerFrameText(g)));
    Edit5->setText(QStr(video::DataTypeText(g.header)));
    Edit6->setText(QStr(video::DataSizeText(g.header)));
    GraphAreaInit();
    return true;
}

void TSoundIndicator::SamplingRateShow() {
    if (display_.IsOpen()) Edit2->setText(QStr(video::SamplingRateText(display_.Geometry().header)));
}

video::SoundOptions TSoundIndicator::Options() const {
    video::SoundOptions o;
    o.channel = static_cast<video::SoundChannel>(std::clamp(RadioGroup1->ItemIndex(), 0, 2));
    o.width = RadioGroup2->ItemIndex() == 1 ? video::SoundWidth::Expansion : video::SoundWidth::Wide;
    o.gain = SoundGain;
    return o;
}

void TSoundIndicator::GraphAreaInit() {
    video::DrawSoundBackground(picture_, display_.Geometry(), Options().width);
    ShowPicture();
}

void TSoundIndicator::ShowPicture() { SndImage->Draw(0, 0, picture_.View()); }

void TSoundIndicator::GraphDraw() {
    if (!display_.IsOpen()) return;
    const int c = platform_.Position();
    Edit8->setText(QString::number(c));
    Edit3->setText(QStr(video::DiscordanceText(AudioDiscordance)));
    const bool warn = video::DiscordanceIsWarning(AudioDiscordance);
    SetTextColour(Edit3, warn ? Qt::red : Qt::blue);
    SetTextColour(Label1, warn ? Qt::red : Qt::black);
    Label1->setText(QStr(video::DiscordanceWarning(AudioDiscordance)));
    const video::SoundOptions o = Options();
    // A frame whose block starts past the audio carries no sound (nothing drawn).
    const video::SoundFrame f = display_.Evaluate(c, o);
    video::DrawSoundPicture(picture_, display_.Geometry(), f, o.width);
    ShowPicture();
    SoundSignalDetected = f.detected;
    SoundSignalShareText = f.share;
    SetPanelColour(Panel1, SoundSignalDetected ? Qt::red : Qt::white);
    Edit7->setText(QStr(SoundSignalShareText));
}

void TSoundIndicator::UpDown1Click() {
    SoundGain = UpDown1->Position();
    Edit1->setText(QString::number(SoundGain));
    UpDown2->SetPosition(SoundGain);
    GraphDraw();
}

void TSoundIndicator::UpDown2Click() {
    SoundGain = UpDown2->Position();
    Edit1->setText(QString::number(SoundGain));
    UpDown1->SetPosition(SoundGain);
    GraphDraw();
}

void TSoundIndicator::Button1Click() {
    if (platform_.State.RecordingFlag) return;
    close();
}

void TSoundIndicator::closeEvent(QCloseEvent* event) {
    SoundIndicatorShown = false;
    display_.Close();
    // Rows measured after the display closed carry no sound of an earlier frame.
    SoundSignalDetected = false;
    SoundSignalShareText.clear();
    for (DataLine& line : platform_.State.DataLines) {
        line.Signal1Detected = 0;
        line.SoundText.clear();
    }
    event->accept();
}
