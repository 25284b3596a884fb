#pragma once
// Windows bitmap files.
//
// Loading goes through TFallbackBitmap (DIBTools.h): files of up to 8 bits with a
// 12-, 40-, 108- or 124-byte header become 8-bit pictures with their palette (a 1-
// or 4-bit file's colours in the first entries); 16-, 24- and 32-bit files, the
// Windows 1.x/2.x form and the OS/2 2.x form become 24 bit. Pixels top row first.
//
// Saving writes the file header, a 40-byte information header and bottom-up rows
// padded to 4 bytes: 8 bit with a 256-entry palette, 24 bit as 24, 16-bit grey as
// 8 bit with GrayPalette (the high byte), 32 bit as 32.
#include "imagefile/LinarBitmap.h"

namespace imagefile {

class TBMPLoader : public TBitmapLoader {
public:
    const char* ClassName() const override { return "TBMPLoader"; }
    bool CanLoad(const std::string& ext) override { return ext == "BMP"; }
    bool CanSave(const std::string& ext) override { return ext == "BMP"; }
    std::string GetLoadFilter() override;
    void LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) override;
    void SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) override;

    // For fuzzing: a lower picture size cap.
    int64_t MaxPictureBytes = kMaxBitmapBytes;
};

// The registered instance.
TBMPLoader& BMPLoader();

}  // namespace imagefile
