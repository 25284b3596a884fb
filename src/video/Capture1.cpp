#include "video/Capture1.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPixmap>
#include <QSignalBlocker>

#include "platform/dialogs.h"
#include "platform/qt_text.h"
#include "video/capture_graph.h"
#include "video/capture_name.h"

bool CaptureOpen = false;
TCapture_1* Capture_1 = nullptr;

using capture::Capture;

TCapture_1::TCapture_1(CaptureHost host, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), host_(std::move(host)) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    Capture_1 = this;
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QPushButton::clicked, this, [this] { SpeedButton3Click(); });
    // A choice by mouse or by keys, as the list boxes' click events come for both.
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] { ListBox1Click(); });
    connect(ListBox2, &QListWidget::currentRowChanged, this, [this] { ListBox2Click(); });
    connect(TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { close(); });
    FormCreate();
}

TCapture_1::~TCapture_1() {
    // Never leave the engine calling into a window that is gone.
    if (Capture.CaptureRunning) capture::StopCapture(Capture);
    Capture.view = {};
    if (Capture_1 == this) {
        Capture_1 = nullptr;
        CaptureOpen = false;
    }
}

void TCapture_1::ConnectView() {
    capture::CaptureView& v = Capture.view;
    v.log = [this](const std::string& line) { Memo1->appendPlainText(QStr(line)); };
    v.status = [this](const std::string& text, capture::StatusColour c) {
        StaticText1->setText(QStr(text));
        const char* colour = c == capture::StatusColour::Red ? "red" : c == capture::StatusColour::Blue ? "blue" : "black";
        StaticText1->setStyleSheet(QString("color: %1;").arg(colour));
    };
    v.buttons = [this](bool f1, bool esc) {
        SpeedButton2->setEnabled(f1);
        SpeedButton3->setEnabled(esc);
    };
    v.smallPreview = [this] { return CheckBox2->isChecked(); };
    v.volume = [this] { return TrackBar1->value(); };
    v.previewPosition = [this](int w, int h) {
        previewWidth_ = w, previewHeight_ = h;
        Panel1->clear();
    };
    // Called on the engine's reader thread: keep the newest picture and have the
    // user interface thread draw it, one drawing pending at a time.
    v.previewSink = [this](const Bitmap24& b) {
        {
            std::lock_guard lock(frameMutex_);
            frame_ = b;
        }
        if (!framePending_.exchange(true)) QMetaObject::invokeMethod(this, [this] { ShowPreview(); }, Qt::QueuedConnection);
    };
}

void TCapture_1::ShowPreview() {
    framePending_ = false;
    if (!Capture.CaptureRunning || previewWidth_ <= 0 || previewHeight_ <= 0) return;
    QImage picture;
    {
        std::lock_guard lock(frameMutex_);
        if (frame_.Empty()) return;
        picture = frame_.View().scaled(previewWidth_, previewHeight_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    Panel1->setPixmap(QPixmap::fromImage(picture));
}

void TCapture_1::FormCreate() {
    CaptureOpen = true;
    if (host_.enableOpenButtons) host_.enableOpenButtons(false);
    Capture.CaptureFilePath = host_.captureFilePath ? host_.captureFilePath() : std::string();
    Edit1->setText(QStr(Capture.CaptureFilePath));
    Edit2->clear();
    Capture.CaptureRecorded = Capture.CaptureRunning = Capture.NoAudioDevice = false;
    Capture.AnalyseAfterCapture = true;
    CheckBox1->setChecked(true);
    ConnectView();
    capture::capturedevices(Capture);
    capture::audiodevices(Capture);
    capture::compressors(Capture);
    const QSignalBlocker quiet1(ListBox1), quiet2(ListBox2);
    for (int i = 0; i < Capture.VideoDeviceCount; ++i) ListBox1->addItem(QStr(Capture.VideoDeviceNames[i]));
    for (int i = 0; i < Capture.AudioDeviceCount; ++i) ListBox3->addItem(QStr(Capture.AudioDeviceNames[i]));
    for (int i = 0; i < Capture.CompressorCount; ++i) ListBox2->addItem(QStr(Capture.CompressorNames[i]));
    if (Capture.VideoDeviceCount > 0) {
        ListBox1->setCurrentRow(Capture.VideoDeviceIndex);
        if (Capture.AudioDeviceCount > 0) ListBox3->setCurrentRow(0);
        if (Capture.CompressorIndex >= 0) ListBox2->setCurrentRow(Capture.CompressorIndex);
    }
    StaticText1->setText(QStr(capture::kViewingSource));
    StaticText1->setStyleSheet("color: black;");
    SpeedButton2->setEnabled(true);
    SpeedButton3->setEnabled(false);
    if (Capture.NoAudioDevice) {
        SpeedButton2->setEnabled(false);
        SpeedButton3->setEnabled(false);
        return;
    }
    capture::AviCaptureWithRetry(Capture, 1);
}

void TCapture_1::SpeedButton1Click() {
    FileDialogRequest r;
    r.title = "Select directory";
    r.folder = StdStr(Edit1->text());
    const std::string folder = Dialogs().FolderName(r);
    if (folder.empty()) return;
    Capture.CaptureFilePath = folder;
    Edit1->setText(QStr(folder));
    if (host_.saveCaptureFilePath) host_.saveCaptureFilePath(folder);
}

void TCapture_1::SpeedButton2Click() {
    const std::string folder = StdStr(Edit1->text());
    // Checked before the preview is taken down, so that it goes on untouched.
    if (!capture::CaptureFolderExists(folder)) {
        Dialogs().ShowError(capture::MissingFolderText(folder));
        return;
    }
    const capture::CaptureName n = capture::CaptureFileNameSetting(
        folder, StdStr(Edit2->text()), host_.videoFileName ? host_.videoFileName() : std::string(),
        [] { return Dialogs().AskYesNo(capture::kOverwriteQuestion, MsgKind::Confirmation, capture::kOverwriteCaption); });
    if (n.status != 0) return;
    Capture.CapturedFileName = n.capturedFileName;
    Edit2->setText(QStr(n.edit2));
    capture::AviCaptureWithRetry(Capture, 0);
    // A build that ended before running (the file could not be created, e.g. in a
    // read-only folder) would leave a frozen picture: back to the preview.
    if (!Capture.mediaControl) {
        Dialogs().ShowError(capture::CannotRecordText(Capture.CapturedFileName));
        capture::AviCaptureWithRetry(Capture, 1);
    }
}

void TCapture_1::SpeedButton3Click() { capture::AviCaptureWithRetry(Capture, 1); }

void TCapture_1::ListBox1Click() {
    const int row = ListBox1->currentRow();
    if (row < 0 || row == Capture.VideoDeviceIndex) return;
    Capture.VideoDeviceIndex = row;
    capture::AviCaptureWithRetry(Capture, 1);
}

void TCapture_1::ListBox2Click() {
    if (ListBox2->currentRow() >= 0) Capture.CompressorIndex = ListBox2->currentRow();
}

void TCapture_1::TrackBar1Change() {
    if (Capture.graph) Capture.graph->PutVolume(TrackBar1->value());
}

void TCapture_1::CheckBox1Click() { Capture.AnalyseAfterCapture = CheckBox1->isChecked(); }

void TCapture_1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && SpeedButton2->isEnabled()) SpeedButton2Click();
    else if (event->key() == Qt::Key_Escape && SpeedButton3->isEnabled()) SpeedButton3Click();
    else QWidget::keyPressEvent(event);
}

void TCapture_1::closeEvent(QCloseEvent* event) {
    if (!closed_) FormClose();
    event->accept();
}

void TCapture_1::FormClose() {
    closed_ = true;
    if (Capture.CaptureRunning) capture::StopCapture(Capture);
    const int i = Capture.VideoDeviceIndex;
    if (i >= 0 && i < static_cast<int>(Capture.videoDevices.size()) &&
        Capture.videoDevices[i].kind == capture::DeviceKind::DvCamera) {
        // The camcorder is left in preview, as it was found.
        capture::AviCapture(Capture, 1);
        capture::StopCapture(Capture);
    }
    CaptureOpen = false;
    if (host_.enableOpenButtons) host_.enableOpenButtons(true);
    if (Capture.AnalyseAfterCapture && Capture.CaptureRecorded) {
        if (host_.openVideo) host_.openVideo(Capture.CapturedFileName);
    } else if (host_.videoOpened && host_.videoOpened()) {
        if (host_.reopenVideo) host_.reopenVideo();
    }
}
