// libFuzzer target: the JPEG loader on any bytes with a 4 MB picture cap, the
// reduced scale taken from the last byte; a picture that loads is saved again.
// Seeds are small files of cjpeg (baseline, progressive, grey, arithmetic).
#include <cstdint>
#include <exception>

#include "imagefile/JPEGLoader.h"

using namespace imagefile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TJPEGLoader& jpeg = JPEGLoader();
    jpeg.MaxPictureBytes = 4 << 20;
    jpeg.MinWidth = jpeg.MinHeight = size > 0 && (data[size - 1] & 1) ? 4 : INT32_MAX;
    TMemStream in;
    in.Write(data, size);
    in.Seek(0);
    TLinearBitmap b;
    try {
        jpeg.LoadFromStream(in, "JPG", b);
    } catch (const std::exception&) {
        return 0;
    }
    TMemStream out;
    jpeg.SaveToStream(out, "JPG", b);
    return 0;
}
