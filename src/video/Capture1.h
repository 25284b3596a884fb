#pragma once
// TCapture_1 ("Video Capture"): a live picture from a capture device, previewed in
// Panel1 and recorded to a numbered AVI file with F1, back to the preview with
// ESC. F1 into a Path that is not a folder, or to a file that cannot be created,
// says so in a box and leaves the window previewing. The window is thin over the capture procedures (capture_graph.h), whose
// unit state (Capture) outlives it. It stays on top and frees itself when closed;
// closing takes the graph down and, when asked to, opens the recording for
// measurement, or else reopens the video that was open before.
#include <QWidget>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "platform/bitmap24.h"
#include "ui_Capture1.h"

// What the window needs of the main window.
struct CaptureHost {
    std::function<std::string()> videoFileName;              // the video open for measurement
    std::function<bool()> videoOpened;                       // a video was open before
    std::function<std::string()> captureFilePath;            // the capture folder
    // Sets and saves the capture folder; false (the user told) when it could not be written.
    std::function<bool(const std::string&)> saveCaptureFilePath;
    std::function<void(bool)> enableOpenButtons;             // "Open AVI", "Load CSV"
    std::function<void(const std::string&)> openVideo;       // the recording, for measurement
    std::function<void()> reopenVideo;                       // the video open before
};

class TCapture_1 : public QWidget, public Ui::TCapture_1 {
    Q_OBJECT
public:
    TCapture_1(CaptureHost host, QWidget* parent = nullptr);
    ~TCapture_1() override;

    void FormCreate();
    void FormClose();
    void SpeedButton1Click();  // folder
    void SpeedButton2Click();  // F1: record
    void SpeedButton3Click();  // ESC: preview
    void ListBox1Click();
    void ListBox2Click();
    void TrackBar1Change();
    void CheckBox1Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ConnectView();
    void ShowPreview();

    CaptureHost host_;
    int previewWidth_ = 0, previewHeight_ = 0;
    std::mutex frameMutex_;
    Bitmap24 frame_;  // the newest preview picture, from the engine's thread
    std::atomic<bool> framePending_{false};
    bool closed_ = false;
};

extern bool CaptureOpen;
extern TCapture_1* Capture_1;
