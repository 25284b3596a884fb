#pragma once
// Windows metafiles (.wmf, placeable) and enhanced metafiles (.emf) through
// TMetafile (Metafile.h).
//
// Loading plays the file onto a white 24-bit picture; a picture of at most 256
// colours becomes 8 bit, its palette the colours in order of first appearance
// (top row first). Saving writes an enhanced metafile for "EMF" and a placeable
// Windows metafile otherwise, each holding the picture as one bitmap record.
#include "imagefile/LinarBitmap.h"

namespace imagefile {

class TWMFLoader : public TBitmapLoader {
public:
    const char* ClassName() const override { return "TWMFLoader"; }
    std::string GetLoadFilter() override;
    std::string GetSaveFilter() override;
    void LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) override;
    void SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) override;

    // For fuzzing: a lower picture size cap.
    int64_t MaxPictureBytes = kMaxBitmapBytes;
};

// A 24-bit picture of at most 256 colours as 8 bit with the colours in order of
// first appearance, in the picture's own memory (a picture of the full size cap is
// never held twice); false (unchanged) when it has more or is not 24 bit.
bool ReduceToFirstAppearancePalette(TLinearBitmap& bitmap);

// The registered instance.
TWMFLoader& WMFLoader();

}  // namespace imagefile
