#pragma once
// The devices and compressors the capture window offers.
//
// A device is a name plus an FFmpeg input: a format ("v4l2", "alsa", "pulse",
// "iec61883", "lavfi", "dv") and the URL given to it. Devices added with
// AddTestDevice come first, in the order added; the system's follow: V4L2 video
// inputs, a FireWire DV camcorder when the FireWire device nodes exist, ALSA and
// PulseAudio capture sources. Setting TEVORIN_CAPTURE_SYSTEM_DEVICES=0 in the
// environment leaves the system's devices out, so that tests see the same lists on
// every machine.
//
// A DV file standing in for a camcorder ("dv") and a generated sound ("lavfi" audio)
// are read no faster than their time stamps; generated video keeps its own pace
// (its graph's "realtime" filter, or as fast as it comes for benchmarks).
// A DV camcorder ("iec61883") and a DV file are DvCamera devices: they are recorded as they come,
// without a compressor.
//
// The compressors are FFmpeg encoders under names of our own; only those the
// libraries provide are listed. Every function here may be called from any thread
// except AddTestDevice/ClearTestDevices, which belong to start-up (one thread).
#include <string>
#include <vector>

namespace capture {

enum class DeviceKind { Camera, DvCamera, Audio };

struct Device {
    std::string name;    // what the lists show
    std::string format;  // FFmpeg input format
    std::string url;     // FFmpeg input URL
    DeviceKind kind = DeviceKind::Camera;
    bool paced = false;  // read no faster than its time stamps (a file standing in for a device)
};

struct Compressor {
    std::string name;     // what the list shows
    std::string encoder;  // FFmpeg encoder name
};

inline const char* const kDvEncoderName = "DV Video Encoder";

// "FORMAT:URL" split at the first colon; false when either part is empty.
bool ParseDeviceInput(const std::string& input, std::string& format, std::string& url);

// A device offered ahead of the system's. `video` false: an audio input.
void AddTestDevice(bool video, const std::string& name, const std::string& format, const std::string& url);
void ClearTestDevices();

// A device of the given input; the kind follows from the format.
Device MakeDevice(bool video, const std::string& name, const std::string& format, const std::string& url);

// Registers FFmpeg's devices once (the lists do it too).
void RegisterCaptureDevices();

std::vector<Device> VideoDevices();
std::vector<Device> AudioDevices();
std::vector<Compressor> Compressors();

}  // namespace capture
