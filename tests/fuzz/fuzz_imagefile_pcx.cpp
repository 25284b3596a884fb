// libFuzzer target: the PCX loader on any bytes with a 4 MB picture cap; a picture
// that loads is saved and read again, and must come back the same. Seeds are small
// one- and three-plane files of PIL, ImageMagick and our writer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "imagefile/PCXLoader.h"

using namespace imagefile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PCXLoader().MaxPictureBytes = 4 << 20;
    TMemStream in;
    in.Write(data, size);
    in.Seek(0);
    TLinearBitmap b;
    try {
        PCXLoader().LoadFromStream(in, "PCX", b);
    } catch (const std::exception&) {
        return 0;
    }
    TMemStream out;
    PCXLoader().SaveToStream(out, "PCX", b);
    out.Seek(0);
    TLinearBitmap back;
    PCXLoader().LoadFromStream(out, "PCX", back);
    if (back.Size != b.Size || std::memcmp(back.Map, b.Map, static_cast<size_t>(b.Size)) != 0) std::abort();
    return 0;
}
