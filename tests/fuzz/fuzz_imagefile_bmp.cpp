// libFuzzer target: the BMP loader (and so LoadDIB) on any bytes with a 4 MB
// picture cap; a picture that loads is saved again. Seeds are small files of every
// header form and compression.
#include <cstdint>
#include <exception>

#include "imagefile/BMPLoader.h"

using namespace imagefile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BMPLoader().MaxPictureBytes = 4 << 20;
    TMemStream in;
    in.Write(data, size);
    in.Seek(0);
    TLinearBitmap b;
    try {
        BMPLoader().LoadFromStream(in, "BMP", b);
    } catch (const std::exception&) {
        return 0;
    }
    TMemStream out;
    BMPLoader().SaveToStream(out, "BMP", b);
    return 0;
}
