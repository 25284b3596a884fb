// libFuzzer target: the HIPS loader on any bytes with a 4 MB picture cap, with the
// plane question answered "2" (progress assigned) on odd first bytes. Seeds are
// first- and second-generation files of every pixel format.
#include <cstdint>
#include <exception>
#include <optional>

#include "imagefile/HIPSLoader.h"
#include "imagefile/PNGLoader.h"

using namespace imagefile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    THIPSLoader& hips = HIPSLoader();
    hips.MaxPictureBytes = 4 << 20;
    hips.InputQuery = [](const std::string&, const std::string&, const std::string&) {
        return std::optional<std::string>("2");
    };
    if (size > 0 && (data[0] & 1)) LoaderProgress = [](int) {};
    else LoaderProgress = nullptr;
    TMemStream in;
    in.Write(data, size);
    in.Seek(0);
    TLinearBitmap b;
    try {
        hips.LoadFromStream(in, "HIPS", b);
    } catch (const std::exception&) {
    }
    return 0;
}
