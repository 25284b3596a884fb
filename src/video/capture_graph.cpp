#include "video/capture_graph.h"

#include "video/avidshow.h"

namespace capture {

using namespace dshow;

CaptureUnit Capture;

namespace {

void Log(CaptureUnit& u, const std::string& line) {
    if (u.view.log) u.view.log(line);
}

// A step's line, only when it failed.
bool Step(CaptureUnit& u, const char* text, HRESULT hr) {
    if (hr >= 0) return true;
    std::string name;
    HResultName(hr, name);
    Log(u, text + name);
    return false;
}

void Buttons(CaptureUnit& u, bool f1, bool esc) {
    if (u.view.buttons) u.view.buttons(f1, esc);
}

void Status(CaptureUnit& u, const std::string& text, StatusColour c) {
    if (u.view.status) u.view.status(text, c);
}

template <size_t N, typename T>
int Fill(std::array<std::string, N>& names, const std::vector<T>& all, std::vector<T>& kept) {
    // Never more than the name slots hold.
    kept.assign(all.begin(), all.begin() + std::min(all.size(), N));
    for (size_t i = 0; i < N; ++i) names[i] = i < kept.size() ? kept[i].name : std::string();
    return static_cast<int>(kept.size());
}

}  // namespace

void capturedevices(CaptureUnit& u) {
    u.VideoDeviceCount = Fill(u.VideoDeviceNames, VideoDevices(), u.videoDevices);
    u.VideoDeviceIndex = u.VideoDeviceCount > 0 ? 0 : -1;
    if (u.VideoDeviceCount > 0) {
        Buttons(u, true, true);
    } else {
        Log(u, kNoDevice);
        Status(u, kNoDevice, StatusColour::Black);
        Buttons(u, false, false);
    }
}

void audiodevices(CaptureUnit& u) {
    u.AudioDeviceCount = Fill(u.AudioDeviceNames, AudioDevices(), u.audioDevices);
    u.AudioDeviceIndex = u.AudioDeviceCount > 0 ? 0 : -1;
    if (u.AudioDeviceCount == 0) {
        Log(u, "No audio device is detected");
        u.NoAudioDevice = true;
    }
}

void compressors(CaptureUnit& u) {
    u.CompressorCount = Fill(u.CompressorNames, Compressors(), u.compressorList);
    u.CompressorIndex = u.CompressorCount > 0 ? 0 : -1;
    for (int i = 0; i < u.CompressorCount; ++i)
        if (u.CompressorNames[i] == kDvEncoderName) u.CompressorIndex = i;
    if (u.CompressorCount == 0) Log(u, "No compresser is detected");
}

int AviCapture(CaptureUnit& u, int Mode) {
    if (Mode == 0) Buttons(u, false, true);
    else Buttons(u, true, false);
    if (u.CaptureRunning) StopCapture(u);
    u.CaptureRunning = true;
    u.graph.reset();
    u.mediaControl = u.mediaEvent = false;

    u.graph = std::make_unique<CaptureEngine>();
    CaptureEngine& g = *u.graph;
    // The graph, its builder and the device enumerator are one object here: made above.

    if (u.videoDevices.empty()) {
        Log(u, "No video device is detected");
        return 0;
    }
    const bool haveVideo = u.VideoDeviceIndex >= 0 && u.VideoDeviceIndex < static_cast<int>(u.videoDevices.size());
    if (haveVideo) Step(u, "pMoniker BindToObject : ", g.BindVideoDevice(u.videoDevices[u.VideoDeviceIndex]));
    Step(u, "AddFilter : ", g.HasVideoDevice() ? S_OK : E_POINTER);

    if (u.compressorList.empty()) {
        Log(u, kNoDevice);
        return 0;
    }
    if (u.CompressorIndex >= 0 && u.CompressorIndex < static_cast<int>(u.compressorList.size())) {
        const HRESULT hr = g.BindCompressor(u.compressorList[u.CompressorIndex]);
        if (hr < 0) {
            std::string name;
            HResultName(hr, name);
            Log(u, "pMoniker.BindToStorage : " + name + " No." + std::to_string(u.CompressorIndex));
        }
    }
    if (!Step(u, "pGraph.AddFilter(pVideoCompressor : ", g.HasCompressor() ? S_OK : E_POINTER)) return 0;

    if (u.audioDevices.empty()) {
        Log(u, "No audio-device is detected");
        u.NoAudioDevice = true;
        return 0;
    }
    Step(u, "pMoniker BindToObject : ", g.BindAudioDevice(u.audioDevices[0]));
    Step(u, "AddFilter : ", g.HasAudioDevice() ? S_OK : E_POINTER);
    if (Mode == 0 && !Step(u, "SetOutPutFileName : ", g.SetOutputFileName(u.CapturedFileName))) return 0;

    int result = 0;
    const bool dvCamera = haveVideo && u.videoDevices[u.VideoDeviceIndex].kind == DeviceKind::DvCamera;
    if (dvCamera) {
        if (Mode == 0) {
            const HRESULT hr = g.RenderCaptureInterleaved();
            if (Step(u, "RenderStream pFileOutPut : ", hr)) u.CaptureRecorded = true;
            else result = hr;
        }
        const HRESULT hr = g.RenderPreviewVideo();
        if (!Step(u, "RenderStream Preview : ", hr)) result = hr;
    } else {
        if (Mode == 0) {
            if (Step(u, "RenderStream pFileOutPut : ", g.RenderCaptureVideo())) u.CaptureRecorded = true;
            Step(u, "RenderStream ppAudioInput : ", g.RenderCaptureAudio());
        }
        Step(u, "RenderStream Preview : ", g.RenderPreviewVideo());
        Step(u, "RenderStream Preview : ", g.RenderPreviewAudio());
    }

    // The video window: the preview goes into the panel when there is a picture.
    u.mediaControl = true;
    int width = 0, height = 0;
    const HRESULT window = g.GetVideoSize(width, height);
    const HRESULT owner = window < 0 ? window : S_OK;
    Step(u, "pWindow Put_Owner : ", owner);
    Step(u, "pWindow Put_Owner : ", owner);
    Step(u, "pWindow Get_Width : ", window);
    Step(u, "pWindow Get_Width : ", window);
    if (u.view.smallPreview && u.view.smallPreview()) width /= 2, height /= 2;
    if (Step(u, "pWindow SetPosition : ", window)) {
        g.SetPreviewSink(u.view.previewSink);
        if (u.view.previewPosition) u.view.previewPosition(width, height);
    }

    g.PutVolume(u.view.volume ? u.view.volume() : 0);
    u.mediaEvent = true;

    if (Mode == 0) Status(u, kRecordingNow, StatusColour::Red);
    else Status(u, kPreviewText, StatusColour::Blue);

    const HRESULT run = g.Run();
    if (run != S_OK && run != S_FALSE) {
        std::string name;
        HResultName(run, name);
        Log(u, "pMediaControl Run : " + name);
    }
    return result;
}

void StopCapture(CaptureUnit& u) {
    if (u.graph) {
        std::string name;
        if (u.mediaControl) {
            HResultName(u.graph->Stop(), name);
            Log(u, "pMediaControl Stop : " + name);
        }
        if (u.mediaEvent) {
            name.clear();
            HResultName(u.graph->WaitForCompletion(1000), name);
            Log(u, "pMediaEventl WaitForCompletion : " + name);
        }
        u.graph->Release();
        if (u.graph->Recording()) u.framesRecorded = u.graph->FramesWritten();
        for (const std::string& e : u.graph->TakeEvents()) Log(u, e);
        u.graph.reset();
    }
    u.mediaControl = u.mediaEvent = false;
    u.CaptureRunning = false;
}

int AviCaptureWithRetry(CaptureUnit& u, int Mode) {
    int r = AviCapture(u, Mode);
    if (r != 0) {
        StopCapture(u);
        r = AviCapture(u, Mode);
    }
    return r;
}

}  // namespace capture
