#pragma once
// ZSoft Paintbrush (PCX) files, version 5, run-length coded, 8 bits per plane.
//
// Reading takes one plane (an 8-bit picture with the palette that follows the
// byte 12 after the pixel data, or the grey palette when the file has none) and
// three planes (24 bit; each row's red, green and blue planes follow each other).
// The picture is Xmax - Xmin + 1 wide and Ymax - Ymin + 1 high; the row padding up
// to the header's bytes per line is dropped while decoding.
//
// Hostile input: any other header, bytes per line below the width, or a maximum
// below its minimum is "Unsupported file format"; a run reaching past the
// picture's end is "Error in bitmap data"; data ending before the picture is full
// is "Read less than expected". Before the one picture buffer is allocated the
// picture is checked against the cap and against the most that the stream's
// remaining bytes can code (63 bytes per two), so a small file cannot claim a
// large buffer; decoding time is proportional to the picture.
//
// Writing: 8-bit pictures as one plane with their palette; 24-bit pictures as
// three planes; 16-bit grey and 32-bit pictures go through 24 bit. Widths and
// heights above 65,535 cannot be written.
#include "imagefile/LinarBitmap.h"

namespace imagefile {

class TPCXLoader : public TBitmapLoader {
public:
    const char* ClassName() const override { return "TPCXLoader"; }
    std::string GetLoadFilter() override;
    void LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) override;
    void SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) override;

    // For fuzzing: a lower picture size cap.
    int64_t MaxPictureBytes = kMaxBitmapBytes;
};

// The registered instance.
TPCXLoader& PCXLoader();

}  // namespace imagefile
