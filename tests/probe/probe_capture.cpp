// Capture from the command line:
//   capture-name FOLDER NAME [--open PATH] [--answer yes|no]
//       the capture window's file naming against the files in FOLDER, with PATH
//       the video open for measurement and the answer to the overwrite question
//       (yes when not given); prints the file to record to and the name box, or
//       "refused"
//   capture-devices [--video NAME FORMAT:URL]... [--audio NAME FORMAT:URL]...
//       the three lists as the capture window fills them, one name per line under
//       "video:", "audio:" and "compressors:"; the devices given come first
//   capture --video FORMAT:URL [--audio FORMAT:URL] [--compressor NAME] [--small]
//           --seconds S OUT.avi
//       records S seconds from the inputs given (only those) as the window's F1
//       does, then stops; prints the step log, then "frames N" (the frame slots
//       written)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/numtext.h"
#include "probe.h"
#include "video/capture_graph.h"
#include "video/capture_name.h"

namespace {

int CaptureName(const std::vector<std::string>& args) {
    const char* usage = "usage: capture-name FOLDER NAME [--open PATH] [--answer yes|no]";
    if (args.size() < 2) return ProbeFail(usage);
    std::string open;
    bool yes = true;
    for (size_t i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return ProbeFail(usage);
        if (args[i] == "--open") open = args[i + 1];
        else if (args[i] == "--answer" && (args[i + 1] == "yes" || args[i + 1] == "no")) yes = args[i + 1] == "yes";
        else return ProbeFail(usage);
    }
    const capture::CaptureName r = capture::CaptureFileNameSetting(args[0], args[1], open, [&] { return yes; });
    if (r.status != 0) {
        std::printf("refused\n");
        return 0;
    }
    std::printf("%s\n%s\n", r.capturedFileName.c_str(), r.edit2.c_str());
    return 0;
}

int CaptureDevices(const std::vector<std::string>& args) {
    const char* usage = "usage: capture-devices [--video NAME FORMAT:URL]... [--audio NAME FORMAT:URL]...";
    for (size_t i = 0; i < args.size(); i += 3) {
        std::string format, url;
        if (i + 2 >= args.size() || (args[i] != "--video" && args[i] != "--audio") ||
            !capture::ParseDeviceInput(args[i + 2], format, url))
            return ProbeFail(usage);
        capture::AddTestDevice(args[i] == "--video", args[i + 1], format, url);
    }
    capture::CaptureUnit u;
    capture::capturedevices(u);
    capture::audiodevices(u);
    capture::compressors(u);
    std::printf("video:\n");
    for (int i = 0; i < u.VideoDeviceCount; ++i) std::printf("%s\n", u.VideoDeviceNames[i].c_str());
    std::printf("audio:\n");
    for (int i = 0; i < u.AudioDeviceCount; ++i) std::printf("%s\n", u.AudioDeviceNames[i].c_str());
    std::printf("compressors:\n");
    for (int i = 0; i < u.CompressorCount; ++i) std::printf("%s\n", u.CompressorNames[i].c_str());
    return 0;
}

int CaptureRecord(const std::vector<std::string>& args) {
    const char* usage =
        "usage: capture --video FORMAT:URL [--audio FORMAT:URL] [--compressor NAME] [--small] --seconds S OUT.avi";
    std::string video, audio, compressor = capture::kDvEncoderName, out;
    bool small = false;
    double seconds = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--video" && hasValue) video = args[++i];
        else if (args[i] == "--audio" && hasValue) audio = args[++i];
        else if (args[i] == "--compressor" && hasValue) compressor = args[++i];
        else if (args[i] == "--seconds" && hasValue) seconds = numtext::ParseFloat(args[++i]).value_or(-1);  // text: usage
        else if (args[i] == "--small") small = true;
        else if (out.empty() && args[i].rfind("--", 0) != 0) out = args[i];
        else return ProbeFail(usage);
    }
    std::string format, url;
    if (video.empty() || out.empty() || !(seconds >= 0 && seconds <= 3600) ||
        !capture::ParseDeviceInput(video, format, url))
        return ProbeFail(usage);
    // Only the inputs given: the machine's own devices would make the result depend on it.
    setenv("TEVORIN_CAPTURE_SYSTEM_DEVICES", "0", 1);
    capture::ClearTestDevices();
    capture::AddTestDevice(true, "video", format, url);
    if (!audio.empty()) {
        if (!capture::ParseDeviceInput(audio, format, url)) return ProbeFail(usage);
        capture::AddTestDevice(false, "audio", format, url);
    }
    capture::CaptureUnit& u = capture::Capture;
    u.view.log = [](const std::string& line) { std::printf("%s\n", line.c_str()); };
    u.view.smallPreview = [small] { return small; };
    capture::capturedevices(u);
    capture::audiodevices(u);
    capture::compressors(u);
    bool found = false;
    for (int i = 0; i < u.CompressorCount; ++i)
        if (u.CompressorNames[i] == compressor) u.CompressorIndex = i, found = true;
    if (!found) return ProbeFail("no compressor named " + compressor);
    u.CapturedFileName = out;
    capture::AviCaptureWithRetry(u, 0);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    capture::StopCapture(u);
    std::printf("frames %lld\n", static_cast<long long>(u.framesRecorded));
    return 0;
}

ProbeCommand regDevices("capture-devices", "[--video NAME FORMAT:URL]... [--audio NAME FORMAT:URL]...", CaptureDevices);
ProbeCommand regCapture("capture", "--video FORMAT:URL [--audio FORMAT:URL] [--compressor NAME] [--small] --seconds S OUT.avi",
                        CaptureRecord);
ProbeCommand regName("capture-name", "FOLDER NAME [--open PATH] [--answer yes|no]", CaptureName);

}  // namespace
