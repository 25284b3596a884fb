#pragma once
// TLinearBitmap, the image type of the image file library, and the registry of
// file formats. A picture is loaded or saved by its file name's extension through
// the first registered loader that accepts it.
//
// Contracts:
// - Pixel formats use the class library's numbering: 3 = 8 bit with a 256-entry
//   B,G,R palette, 5 = 16-bit grey (little-endian values), 6 = 24 bit B,G,R,
//   7 = 32 bit B,G,R,x, 8 = empty. Rows are not padded, top row first.
// - No picture above kMaxBitmapBytes is ever allocated ("Invalid bitmap size");
//   loaders check sizes taken from file headers with CheckBitmapSize first.
// - Saving to a file writes a temporary file beside it and renames it, so a failed
//   save leaves no partial file and keeps the old one.
// - Nothing here is thread-safe; the registry is built on first use.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imagefile/Streams.h"

class QImage;
class QPainter;
class QPaintDevice;
class QRect;
class Bitmap24;

namespace imagefile {

class ELinearBitmap : public EImageFileError {
public:
    using EImageFileError::EImageFileError;
};
class EUnsupportedFileFormat : public ELinearBitmap {
public:
    using ELinearBitmap::ELinearBitmap;
};

extern const char* const kUnsupportedPixelFormat;  // "Unsupported pixel format"
extern const char* const kInvalidBitmapSize;       // "Invalid bitmap size"
extern const char* const kUnsupportedFileFormat;   // "Unsupported file format"

constexpr int64_t kMaxBitmapBytes = int64_t{1} << 30;

enum : uint8_t { pf8bit = 3, pf16bit = 5, pf24bit = 6, pf32bit = 7, pfNone = 8 };

// 256 entries of B,G,R.
using TPalette = uint8_t[768];
extern const TPalette& GrayPalette;

// Raises "Invalid bitmap size" unless 1 <= width, height and the picture fits
// kMaxBitmapBytes at `pixelSize` bytes per pixel, and "Picture too large to open"
// when it passes this thread's TPictureLimit.
void CheckBitmapSize(int64_t width, int64_t height, int pixelSize);

// The most pixels a picture opened by a window may have. The windows show it in 32
// bits and the identification window keeps a second copy to draw its label over:
// both copies together fit kMaxBitmapBytes.
constexpr int64_t kMaxOpenedPicturePixels = kMaxBitmapBytes / 8;

// For roads that hold a picture in more copies, or in a wider format, than the
// loader makes: while one lives, this thread's pictures are held to `maxPixels`
// pixels and `maxSide` pixels a side. CheckBitmapSize, which every loader calls
// with the size in the file's header before it decodes anything (and New), then
// refuses a larger one with ELinearBitmap "Picture too large to open: W x H pixels
// (at most N pixels)" or "(at most N pixels a side)". The limit before it comes
// back when it ends.
class TPictureLimit {
public:
    explicit TPictureLimit(int64_t maxPixels, int64_t maxSide = kMaxBitmapBytes);
    ~TPictureLimit();
    TPictureLimit(const TPictureLimit&) = delete;
    TPictureLimit& operator=(const TPictureLimit&) = delete;

private:
    int64_t outerPixels_, outerSide_;
};

class TLinearBitmap : public TAssignObject {
public:
    TLinearBitmap() = default;
    // Create then Assign.
    static std::unique_ptr<TLinearBitmap> CreateAssign(const TAssignObject& source);
    TLinearBitmap(const TLinearBitmap&) = delete;
    TLinearBitmap& operator=(const TLinearBitmap&) = delete;
    TLinearBitmap(TLinearBitmap&& other) noexcept { TakeOver(other); }
    TLinearBitmap& operator=(TLinearBitmap&& other) noexcept {
        TakeOver(other);
        return *this;
    }
    ~TLinearBitmap() override;
    const char* ClassName() const override { return "TLinearBitmap"; }

    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t PixelFormat = pfNone;
    int32_t BytesPerLine = 0;
    int32_t PixelSize = 0;
    int32_t Size = 0;
    bool Present = false;
    uint8_t* Map = nullptr;      // Size + 1 bytes (malloc)
    uint8_t* Palette = nullptr;  // 768 bytes, only for format 3

    // Allocates (not cleared) unless already Present with these three values.
    void New(int width, int height, int pixelFormat);
    virtual void Dispose();
    // Moves every field and both buffers of `other` here, leaving it empty.
    void TakeOver(TLinearBitmap& other) noexcept;
    // The first Width x Height bytes of Map hold palette indices, written there by
    // the caller over the pixels: the picture becomes 8 bit with `palette` in its
    // own memory, shrunk, so no second picture is ever held.
    void NarrowTo8Bit(const uint8_t palette[768]);
    void Fill(uint8_t value);
    // colour is 0x00BBGGRR.
    void Clear(uint32_t colour);
    uint8_t* ScanLine(int y) { return Map + static_cast<int64_t>(y) * BytesPerLine; }
    const uint8_t* ScanLine(int y) const { return Map + static_cast<int64_t>(y) * BytesPerLine; }
    bool IsGrayScale() const;
    virtual void PackLines();
    // Offsets place the old top-left pixel at (horizontalOffset, verticalOffset).
    void ResizeCanvas(int newWidth, int newHeight, uint32_t fillColour, int verticalOffset = 0,
                      int horizontalOffset = 0);
    void SetPixelFormat(int format);

    void Assign(const TAssignObject& source) override;
    void AssignTo(TAssignObject& dest) const override;
    // Indexed8 (missing palette entries black), RGB888/BGR888 and RGB32 directly;
    // other formats through a 24-bit copy. A null image disposes.
    void Assign(const QImage& source);
    void Assign(const Bitmap24& source);
    // Indexed8 (format 5 by the high byte with the grey palette), BGR888 or RGB32.
    // Nothing happens when not Present.
    void AssignTo(QImage& dest) const;
    // Row by row, no copy of the picture on the way.
    void AssignTo(Bitmap24& dest) const;

    class TBitmapLoader* LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;
    void LoadFromStream(TBaseStream& stream, const std::string& ext);
    void SaveToStream(TBaseStream& stream, const std::string& ext) const;

    // Stretches the picture into `rect`; halftone smooths.
    void PaintToCanvas(QPainter& canvas, const QRect& rect, bool halftone) const;
    void PaintToDC(QPaintDevice& device, const QRect& rect, bool halftone) const;

private:
    void CopyFrom(const TLinearBitmap& source);
    void FromRows(int width, int height, int format, const uint8_t* bits, int64_t stride);
};

// True when the upper-cased filter text holds "*." + ext (ext not empty).
bool FilterHasExt(const std::string& filter, const std::string& ext);
std::string UpperCase(std::string text);

// The text after the last "." when no "\", "/" or ":" follows it, upper-cased.
std::string GetFileExt(const std::string& fileName);

// One file format. Ext is the upper-case extension without the point. Each format
// overrides either the stream pair or the file pair; the other pair works through
// the base, which bridges over a temporary file (removed on every path).
class TBitmapLoader {
public:
    virtual ~TBitmapLoader() = default;
    virtual const char* ClassName() const { return "TBitmapLoader"; }
    virtual bool CanLoad(const std::string& ext);
    virtual bool CanSave(const std::string& ext);
    virtual std::string GetLoadFilter();
    virtual std::string GetSaveFilter();
    // Base: the stream (at most 100 MB, more is refused) into a temporary file.
    virtual void LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap);
    virtual void SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap);
    virtual void LoadFromFile(const std::string& fileName, const std::string& ext, TLinearBitmap& bitmap);
    // Base: SaveToStream into memory, written by temporary file and rename.
    virtual void SaveToFile(const std::string& fileName, const std::string& ext, const TLinearBitmap& bitmap);
};

constexpr int64_t kMaxBridgedStream = 104857600;

class TBitmapLoaders {
public:
    void Add(TBitmapLoader* loader);  // takes ownership
    // The first loader in registration order that accepts ext; raises
    // EUnsupportedFileFormat "Unsupported file format: <ext>" when none does.
    TBitmapLoader* FindLoader(const std::string& ext) const;
    TBitmapLoader* FindSaver(const std::string& ext) const;
    int Count() const { return static_cast<int>(loaders_.size()); }
    TBitmapLoader* Loader(int i) const { return loaders_[i].get(); }

private:
    std::vector<std::unique_ptr<TBitmapLoader>> loaders_;
};

// The one registry, with every format of the library registered in its order on
// first use.
TBitmapLoaders& BitmapLoaders();
void RegisterLoader(TBitmapLoader* loader);

// The picture windows' save road: the extension follows the dialog's filter index
// (2 ".jpg", 3 ".bmp", any other ".png") and replaces the chosen name's; a name
// that then begins with "." saves nothing. Returns the name written or "".
extern const char* const kSavePictureFilter;
std::string SavePictureRoad(const QImage& picture, const std::string& chosenName, int filterIndex);
// The load road: the picture in the file, by its extension, at most
// kMaxOpenedPicturePixels (refused from the file's header, before decoding).
void LoadPictureRoad(const std::string& fileName, TLinearBitmap& bitmap);
// The same as the 32-bit image a window shows (QImage::Format_RGB32): the loaded
// picture is converted once and freed, so no more than it and the image are held.
QImage LoadPictureRoad(const std::string& fileName);

}  // namespace imagefile
