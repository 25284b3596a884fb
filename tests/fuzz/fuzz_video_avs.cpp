// The script interpreter on arbitrary text, with in-memory sources: every input
// either gives a clip whose frames can be fetched or an error naming a line.
// DVInfo reads its recording times from a one-frame DV file (data/rec_time.dv),
// so the burnt-in text is drawn with whatever positions and sizes come in.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "video/avs_script.h"

namespace {

class Blank final : public video::Clip {
public:
    int Width() const override { return 48; }
    int Height() const override { return 32; }
    int FrameCount() const override { return 40; }
    double FrameRate() const override { return 25; }
    bool GetFrame(int n, Bitmap24& out, std::string& error) override {
        if (n < 0 || n >= 40) {
            error = "out of range";
            return false;
        }
        out.Resize(48, 32);
        out.Fill(static_cast<uint8_t>(n), 0, 0);
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const video::ScriptFiles files = [] {
        video::ScriptFiles f;
        f.openVideo = [](const std::string& path, std::string& error) -> video::ClipPtr {
            if (path.find('!') != std::string::npos) {
                error = "no such file";
                return nullptr;
            }
            return std::make_shared<Blank>();
        };
        f.openTimes = [](const std::string& path, std::string& error) -> std::unique_ptr<video::DvTimeReader> {
            if (path.find('!') != std::string::npos) {
                error = "no such file";
                return nullptr;
            }
            auto reader = std::make_unique<video::DvTimeReader>();
            if (!reader->Open(TEVORIN_FUZZ_DATA "/rec_time.dv", error)) std::abort();
            return reader;
        };
        return f;
    }();
    std::string error;
    video::ClipPtr clip =
        video::RunAvsScript(std::string_view(reinterpret_cast<const char*>(data), size), "/s/", files, error);
    if (!clip) {
        if (error.rfind("Line ", 0) != 0 && error.find("longer than") == std::string::npos) std::abort();
        return 0;
    }
    if (clip->Width() < 1 || clip->Height() < 1 || clip->FrameCount() < 1) std::abort();
    Bitmap24 frame;
    for (int n : {0, clip->FrameCount() - 1}) {
        if (!clip->GetFrame(n, frame, error)) std::abort();
        if (frame.Width() != clip->Width() || frame.Height() != clip->Height()) std::abort();
    }
    return 0;
}
