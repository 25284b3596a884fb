#pragma once
// HIPS image files (read only).
//
// The header is text lines ending in LF. A file whose first line is "HIPS" has a
// second-generation header: names, the frame count, the date, the original rows
// and columns, the region rows and columns and its origin, the pixel format
// (0 bytes, 3 floats, 35 R,G,B bytes, 37 three floats a pixel), the colour count
// (the plane count when it is 1 to 500), then the history and the description by
// their byte counts, the parameter lines by their count and the binary parameter
// area by its byte count. Any other file has a first-generation header: two name
// lines, the frame count (the first line that is a number below 500, within 201
// lines), the date, rows, columns, bits per pixel (must be 8) and lines up to one
// holding ".". The picture is columns wide and rows high.
//
// Pictures: bytes give an 8-bit grey picture of one plane (with several planes the
// plane question picks it when LoaderProgress is set, else the first); R,G,B bytes
// a 24-bit picture; floats (little-endian, rounded half to even, clamped to 0..255,
// NaN as 0) an 8-bit grey picture for one plane, else 24 bit with red, green and
// blue from the first three planes (blue 0 with two); float triples fill blue,
// green and red in that order.
//
// Failures: a header that is not as above or an unknown pixel format is
// "Unsupported bitmap format"; pixel data ending early is "Read less than
// expected", found before the picture is allocated when the stream's size is
// known; the picture size cap holds. Cancelling the plane question stops loading
// silently and leaves the bitmap empty.
#include <functional>
#include <optional>
#include <string>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

extern const char* const kUnsupportedBitmapFormat;  // "Unsupported bitmap format"

class THIPSLoader : public TBitmapLoader {
public:
    const char* ClassName() const override { return "THIPSLoader"; }
    std::string GetLoadFilter() override;
    std::string GetSaveFilter() override { return {}; }
    void LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) override;

    // The input question (caption, prompt, default): the text entered, or nothing
    // when cancelled. Unset, the first plane is taken; the main window sets it to
    // the dialog service's input box (loader_dialogs.h).
    std::function<std::optional<std::string>(const std::string&, const std::string&, const std::string&)> InputQuery;
    // Planes in the last file read (1 at least).
    int PlaneCount = 0;
    // For fuzzing: a lower picture size cap.
    int64_t MaxPictureBytes = kMaxBitmapBytes;
};

// The registered instance.
THIPSLoader& HIPSLoader();

}  // namespace imagefile
