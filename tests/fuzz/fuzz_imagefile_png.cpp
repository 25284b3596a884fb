// libFuzzer target: the PNG/MNG reader on any bytes, checksums not checked (so the
// fuzzer reaches the chunk handlers and the row decoder) and a 4 MB picture cap;
// a picture that loads is saved again. Seeds are files of our writer.
#include <cstdint>
#include <exception>

#include "imagefile/PNGLoader.h"

using namespace imagefile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TPNGLoader& png = PNGLoader();
    png.VerifyChecksums = false;
    png.MaxPictureBytes = 4 << 20;
    png.KeepAlpha = size > 0 && (data[size - 1] & 1);
    TMemStream in;
    in.Write(data, size);
    in.Seek(0);
    TLinearBitmap b;
    try {
        png.LoadFromStream(in, size > 3 && data[1] == 'M' ? "MNG" : "PNG", b);
    } catch (const std::exception&) {
        return 0;
    }
    TMemStream out;
    png.SaveToStream(out, "PNG", b);
    return 0;
}
