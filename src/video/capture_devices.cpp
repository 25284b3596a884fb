#include "video/capture_devices.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavdevice/version.h>
#include <libavformat/avformat.h>
}

#include "video/av_util.h"

namespace capture {

namespace {

std::vector<Device>& TestDevices() {
    static std::vector<Device> devices;
    return devices;
}

// The device library pulls in some eighty others (sound servers, FireWire, SDL,
// the filter graph's dependencies); linked into the program it doubled the time to
// the main window. It is loaded when capture is first used instead.
struct DeviceLibrary {
    void (*registerAll)() = nullptr;
    int (*listSources)(const AVInputFormat*, const char*, AVDictionary*, AVDeviceInfoList**) = nullptr;
    void (*freeList)(AVDeviceInfoList**) = nullptr;
    bool loaded = false;
};

const DeviceLibrary& Devices() {
    static const DeviceLibrary lib = [] {
        DeviceLibrary l;
        const std::string name = "libavdevice.so." + std::to_string(LIBAVDEVICE_VERSION_MAJOR);
        void* h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) return l;
        l.registerAll = reinterpret_cast<void (*)()>(dlsym(h, "avdevice_register_all"));
        l.listSources = reinterpret_cast<decltype(l.listSources)>(dlsym(h, "avdevice_list_input_sources"));
        l.freeList = reinterpret_cast<void (*)(AVDeviceInfoList**)>(dlsym(h, "avdevice_free_list_devices"));
        l.loaded = l.registerAll && l.listSources && l.freeList;
        return l;
    }();
    return lib;
}

bool SystemDevicesWanted() {
    const char* v = std::getenv("TEVORIN_CAPTURE_SYSTEM_DEVICES");
    return !(v && std::string(v) == "0");
}


// The sources an FFmpeg device format lists, as devices of ours.
void AddListed(const char* format, bool video, std::vector<Device>& out) {
    const AVInputFormat* f = av_find_input_format(format);
    if (!f || !Devices().loaded) return;
    AVDeviceInfoList* list = nullptr;
    if (Devices().listSources(f, nullptr, nullptr, &list) >= 0 && list) {
        for (int i = 0; i < list->nb_devices; ++i) {
            const AVDeviceInfo* d = list->devices[i];
            if (!d || !d->device_name) continue;
            const std::string url = d->device_name;
            // ALSA's "null" only discards or makes silence: no input.
            if (std::string(format) == "alsa" && url == "null") continue;
            std::string name = d->device_description && *d->device_description ? d->device_description : url;
            // A description may run over lines; the list shows its first.
            if (const size_t nl = name.find('\n'); nl != std::string::npos) name.resize(nl);
            out.push_back(MakeDevice(video, name, format, url));
        }
    }
    Devices().freeList(&list);
}

}  // namespace

void RegisterCaptureDevices() {
    static const bool once = [] {
        video::QuietFfmpegLog();
        // Without the library no device format is known: the lists stay empty and
        // opening a device fails as for a device that is not there.
        if (Devices().loaded) Devices().registerAll();
        return true;
    }();
    (void)once;
}

bool ParseDeviceInput(const std::string& input, std::string& format, std::string& url) {
    const size_t colon = input.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == input.size()) return false;
    format = input.substr(0, colon);
    url = input.substr(colon + 1);
    return true;
}

Device MakeDevice(bool video, const std::string& name, const std::string& format, const std::string& url) {
    Device d{name, format, url, DeviceKind::Audio, false};
    if (video) d.kind = format == "iec61883" || format == "dv" ? DeviceKind::DvCamera : DeviceKind::Camera;
    // A file, or a generated sound, stands in for a device that delivers in real time.
    // (Generated video is paced by the graph's own "realtime" filter when wanted.)
    d.paced = format == "dv" || (!video && format == "lavfi");
    return d;
}

void AddTestDevice(bool video, const std::string& name, const std::string& format, const std::string& url) {
    TestDevices().push_back(MakeDevice(video, name, format, url));
}

void ClearTestDevices() { TestDevices().clear(); }

std::vector<Device> VideoDevices() {
    RegisterCaptureDevices();
    std::vector<Device> out;
    for (const Device& d : TestDevices())
        if (d.kind != DeviceKind::Audio) out.push_back(d);
    if (!SystemDevicesWanted()) return out;
    AddListed("v4l2", true, out);
    std::error_code ec;
    if (av_find_input_format("iec61883") &&
        (std::filesystem::exists("/dev/raw1394", ec) || std::filesystem::exists("/dev/fw1", ec)))
        out.push_back(MakeDevice(true, "DV Camcorder (FireWire)", "iec61883", "auto"));
    return out;
}

std::vector<Device> AudioDevices() {
    RegisterCaptureDevices();
    std::vector<Device> out;
    for (const Device& d : TestDevices())
        if (d.kind == DeviceKind::Audio) out.push_back(d);
    if (!SystemDevicesWanted()) return out;
    AddListed("alsa", false, out);
    AddListed("pulse", false, out);
    return out;
}

std::vector<Compressor> Compressors() {
    static const Compressor kAll[] = {
        {kDvEncoderName, "dvvideo"},
        {"MJPEG Compressor", "mjpeg"},
        {"FFV1 Lossless Codec", "ffv1"},
        {"HuffYUV Lossless Codec", "huffyuv"},
        {"Uncompressed RGB", "rawvideo"},
    };
    std::vector<Compressor> out;
    for (const Compressor& c : kAll)
        if (avcodec_find_encoder_by_name(c.encoder.c_str())) out.push_back(c);
    return out;
}

}  // namespace capture
