#pragma once
// TSoundIndicator: the audio channel display. It shows what video::SoundDisplay
// computes for the main window's current frame and hands the frame's decision and
// share to the results rows.
#include <QWidget>
#include <string>

#include "ui_soundindicator1.h"
#include "video/sound_indicator.h"

class TPlatform;

class TSoundIndicator : public QWidget, public Ui::TSoundIndicator {
    Q_OBJECT
public:
    explicit TSoundIndicator(TPlatform& owner);
    ~TSoundIndicator() override;

    // Opens WavFileName for the open video; false (nothing open) when the file is
    // missing or its header gives no sample.
    bool SoundInit();
    void SamplingRateShow();
    // The picture, the texts and the decision for the main window's frame position.
    void GraphDraw();
    void GraphAreaInit();
    video::SoundOptions Options() const;
    const std::string& LastError() const { return error_; }

    void UpDown1Click();
    void UpDown2Click();
    void Button1Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void ShowPicture();
    TPlatform& platform_;
    video::SoundDisplay display_;
    Bitmap24 picture_;
    std::string error_;
};

extern TSoundIndicator* SoundIndicator;
extern bool SoundIndicatorShown;
// The frame's decision and share, read by the main window for the results rows.
extern bool SoundSignalDetected;
extern std::string SoundSignalShareText;
extern int SoundGain;
extern int AudioDiscordance;
// The WAV copy of the open video's audio track.
extern std::string WavFileName;
