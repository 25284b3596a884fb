#pragma once
// The capture window's procedures without the window: the device and compressor
// lists, building and running the capture graph (AviCapture), and taking it down
// (StopCapture), over the capture engine.
//
// Every step of a build is written to the view's log as its text followed by the
// name of its result, only when it fails; some failures end the build, the others
// are passed over and the later steps that need what was not made fail in turn.
// AviCapture returns 0, or the failed result of a DV camcorder's capture or
// preview connection; its callers then take the graph down and build it once more
// (AviCaptureWithRetry).
//
// StopCapture stops, waits for and releases only what a build made: after a
// build that ended early there is nothing to stop and nothing is logged for it.
// Recording problems met while running (an input lost, a write failed) are
// logged when the graph is taken down, after the file was closed with its index.
//
// User interface thread only (the preview sink is called on the engine's thread).
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "video/capture_devices.h"
#include "video/capture_engine.h"

namespace capture {

constexpr int kVideoDeviceSlots = 21;
constexpr int kAudioDeviceSlots = 21;
constexpr int kCompressorSlots = 101;

enum class StatusColour { Black, Red, Blue };

// What the procedures show; every member may be empty.
struct CaptureView {
    std::function<void(const std::string&)> log;                     // a line into Memo1
    std::function<void(const std::string&, StatusColour)> status;    // StaticText1
    std::function<void(bool f1, bool esc)> buttons;                  // SpeedButton2, SpeedButton3
    std::function<bool()> smallPreview;                              // CheckBox2
    std::function<int()> volume;                                     // TrackBar1
    std::function<void(int width, int height)> previewPosition;      // the picture's place in Panel1
    CaptureEngine::PreviewSink previewSink;                          // draws into Panel1
};

inline const char* const kRecordingNow = "Recording now..";
inline const char* const kPreviewText = "Preview";
inline const char* const kViewingSource = "Viewing source now..";
inline const char* const kNoDevice = "No device is detected";

// The unit's state; it outlives the window.
struct CaptureUnit {
    std::array<std::string, kVideoDeviceSlots> VideoDeviceNames;
    int VideoDeviceCount = 0;
    int VideoDeviceIndex = -1;
    std::array<std::string, kAudioDeviceSlots> AudioDeviceNames;
    int AudioDeviceCount = 0;
    int AudioDeviceIndex = -1;
    std::array<std::string, kCompressorSlots> CompressorNames;
    int CompressorCount = 0;
    int CompressorIndex = -1;
    // What stands behind each listed name (as many as the counts).
    std::vector<Device> videoDevices, audioDevices;
    std::vector<Compressor> compressorList;

    std::string CaptureFilePath;
    std::string CapturedFileName;
    bool CaptureRecorded = false;
    bool CaptureRunning = false;
    bool NoAudioDevice = false;
    bool AnalyseAfterCapture = true;

    // The graph; null when released. The interfaces a build obtained from it.
    std::unique_ptr<CaptureEngine> graph;
    bool mediaControl = false, mediaEvent = false;
    // Frame slots in the file of the last recording, once it was taken down.
    int64_t framesRecorded = 0;

    CaptureView view;
};

extern CaptureUnit Capture;

void capturedevices(CaptureUnit& u);
void audiodevices(CaptureUnit& u);
void compressors(CaptureUnit& u);

// Mode 0 records to CapturedFileName and previews; mode 1 previews only.
int AviCapture(CaptureUnit& u, int Mode);
void StopCapture(CaptureUnit& u);
// AviCapture, and on a failure StopCapture and AviCapture once more.
int AviCaptureWithRetry(CaptureUnit& u, int Mode);

}  // namespace capture
