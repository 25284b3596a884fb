#pragma once
// JPEG files on libjpeg (the libjpeg 6 API of libjpeg-turbo).
//
// Loading decodes with the integer DCT and fancy upsampling, at the coarsest of
// the scales 1/1 to 1/8 that keeps the width and height at least MinWidth and
// MinHeight; colour comes out as 24 bit, grey files as 8 bit with GrayPalette.
// The full-scale size is refused above kMaxBitmapBytes before any decoding, and a
// file that ends before its image is complete is an error ("Premature end of JPEG
// file"); libjpeg's other warnings are ignored. Its fatal errors raise
// ELinearBitmap with libjpeg's message (never exit()).
//
// Saving compresses as jpeg_set_defaults, jpeg_set_quality(Q, TRUE) and, for
// grey pictures (IsGrayScale), jpeg_set_colorspace(JCS_GRAYSCALE): 8-bit pictures
// are expanded through their palette, 16-bit grey goes by its high byte, 32 bit
// as 24. With TargetSize at least 1 the quality is searched downwards for the
// largest file of at most TargetSize bytes.
#include <cstdint>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

extern const char* const kErrorInBitmapData;  // "Error in bitmap data"

class TJPEGLoader : public TBitmapLoader {
public:
    const char* ClassName() const override { return "TJPEGLoader"; }
    bool CanLoad(const std::string& ext) override { return ext == "JPG" || ext == "JPEG" || ext == "JPE"; }
    bool CanSave(const std::string& ext) override { return ext == "JPG" || ext == "JPEG"; }
    std::string GetLoadFilter() override;
    std::string GetSaveFilter() override;
    void LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) override;
    void SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) override;

    // 1 to 100; below 1 the default 90 (a TargetSize search stores 90 here).
    int32_t Quality = 0;
    // At least 1: the largest file size in bytes the quality search aims for.
    int32_t TargetSize = 0;
    int32_t MinWidth = INT32_MAX;
    int32_t MinHeight = INT32_MAX;
    // Full-scale size of the last loaded file.
    int32_t FullWidth = 0;
    int32_t FullHeight = 0;

    // Compressions the last save ran (for tests and benchmarks).
    int LastCompressions = 0;
    // For fuzzing: a lower picture size cap.
    int64_t MaxPictureBytes = kMaxBitmapBytes;
};

// The registered instance.
TJPEGLoader& JPEGLoader();

}  // namespace imagefile
