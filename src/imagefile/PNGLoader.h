#pragma once
// PNG reading and writing, and single-image MNG reading, on the library's own
// inflate and deflate.
//
// Reading accepts only the PNG standard's colour-type/depth pairs. Pictures come
// out as: grey and palette files up to 8 bits as 8 bit with a palette (grey ramps
// for grey), 16-bit grey as 16-bit grey (format 5, full value), colour as 24 bit
// (16-bit colour keeps the more significant byte). Every chunk's CRC and the
// Adler-32 are checked; no handler reads outside its chunk; nothing is allocated
// from a header beyond the picture size cap.
//
// Writing takes 8-bit (grey palette: grey file, other palettes: palette file),
// 16-bit grey and 24-bit pictures and writes IHDR, PLTE where needed, the save
// options' gAMA and tRNS, one IDAT and IEND. What reading stores (Gamma,
// TransparentColor, BitDepth, ExtraPalette) never reaches a save; only the Save*
// options do.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

extern const char* const kInvalidPNGHeader;     // "Invalid PNG header"
extern const char* const kInvalidPNGData;       // "Invalid PNG data"
extern const char* const kUnsupportedPNGData;   // "Unsupported PNG data"
extern const char* const kCRCError;             // "CRC error"
extern const char* const kAdler32Error;         // "Adler32 error"

// Progress of long image work in percent; unset in the program.
extern std::function<void(int)> LoaderProgress;

class TPNGLoader : public TBitmapLoader {
public:
    const char* ClassName() const override { return "TPNGLoader"; }
    bool CanLoad(const std::string& ext) override { return ext == "PNG" || ext == "MNG"; }
    bool CanSave(const std::string& ext) override { return ext == "PNG" || ext == "MNG"; }
    std::string GetLoadFilter() override;
    void LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) override;
    void SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) override;

    // Reading keeps the alpha samples, the tRNS alpha table and a true-colour
    // file's PLTE.
    bool KeepAlpha = false;
    // By-products of the last read.
    std::vector<uint8_t> ExtraPalette;         // 768 bytes B,G,R, or empty
    std::unique_ptr<TLinearBitmap> AlphaChannel;  // 8 bit, GrayPalette
    std::vector<uint8_t> AlphaTable;           // 256 bytes, or empty
    double Gamma = 0;
    int32_t TransparentColor = -1;  // grey value, or red | green << 8 | blue << 16, or a palette index
    int BitDepth = 0;

    // Writing: 0-4 that filter for every row; -1 least sum of absolute signed
    // bytes; -2 most runs of five equal bytes; -3 the smallest file of the modes -2
    // to 4 (FilterMode stays -3). Others raise EAssertionFailed.
    int FilterMode = -1;
    // Non-zero: a lossy pre-pass on a copy quantises each byte's prediction error
    // with the step (LossyLevel + 1) div 2 (not for 16-bit grey or 24-bit MNG).
    int LossyLevel = 0;
    // Chunks written only when set here: gAMA (non-zero), tRNS (not -1), a PLTE in
    // a grey or true-colour file (768 bytes B,G,R).
    double SaveGamma = 0;
    int32_t SaveTransparentColor = -1;
    std::vector<uint8_t> SaveExtraPalette;

    // For fuzzing: skip the CRC and Adler-32 checks, lower the picture size cap.
    bool VerifyChecksums = true;
    int64_t MaxPictureBytes = kMaxBitmapBytes;

private:
    void WriteImage(TSeekableStream& stream, bool mng, const TLinearBitmap& bitmap, int filterMode);
};

// The registered instance.
TPNGLoader& PNGLoader();

}  // namespace imagefile
