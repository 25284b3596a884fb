#include "imagefile/LinarBitmap.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/bitmap24.h"
#include "platform/file_io.h"

namespace imagefile {

const char* const kUnsupportedPixelFormat = "Unsupported pixel format";
const char* const kInvalidBitmapSize = "Invalid bitmap size";
const char* const kUnsupportedFileFormat = "Unsupported file format";
const char* const kSavePictureFilter =
    "Portable Network Graphics (*.png)|*.png|Joint Picture Expert Group (*.jpg)|*.jpg|Windows Bitmap (*.bmp)|*.bmp";

namespace {

struct GrayPaletteTable {
    TPalette p{};
    constexpr GrayPaletteTable() {
        for (int i = 0; i < 256; ++i) p[3 * i] = p[3 * i + 1] = p[3 * i + 2] = static_cast<uint8_t>(i);
    }
};
constexpr GrayPaletteTable kGray;  // constant-initialised: usable by other units' start-up

int PixelSizeOf(int format) {
    switch (format) {
        case pf8bit: return 1;
        case pf16bit: return 2;
        case pf24bit: return 3;
        case pf32bit: return 4;
        default: throw ELinearBitmap(kUnsupportedPixelFormat);
    }
}

inline uint8_t GrayOf(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint8_t>((2 * r + 3 * g + b + 3) / 6); }

}  // namespace

const TPalette& GrayPalette = kGray.p;

namespace {
thread_local int64_t t_maxPixels = kMaxBitmapBytes;
thread_local int64_t t_maxSide = kMaxBitmapBytes;
}  // namespace

void CheckBitmapSize(int64_t width, int64_t height, int pixelSize) {
    if (width < 1 || height < 1 || width > kMaxBitmapBytes || height > kMaxBitmapBytes ||
        width * height * pixelSize > kMaxBitmapBytes)
        throw ELinearBitmap(kInvalidBitmapSize);
    const bool sides = width > t_maxSide || height > t_maxSide;
    if (width * height <= t_maxPixels && !sides) return;
    throw ELinearBitmap("Picture too large to open: " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels (at most " + std::to_string(sides ? t_maxSide : t_maxPixels) +
                        (sides ? " pixels a side)" : " pixels)"));
}

TPictureLimit::TPictureLimit(int64_t maxPixels, int64_t maxSide) : outerPixels_(t_maxPixels), outerSide_(t_maxSide) {
    t_maxPixels = maxPixels, t_maxSide = maxSide;
}

TPictureLimit::~TPictureLimit() { t_maxPixels = outerPixels_, t_maxSide = outerSide_; }

// ---- TLinearBitmap ----

std::unique_ptr<TLinearBitmap> TLinearBitmap::CreateAssign(const TAssignObject& source) {
    auto b = std::make_unique<TLinearBitmap>();
    b->Assign(source);
    return b;
}

TLinearBitmap::~TLinearBitmap() {
    if (Present || Map || Palette) TLinearBitmap::Dispose();
}

void TLinearBitmap::New(int width, int height, int pixelFormat) {
    if (Present && width == Width && height == Height && pixelFormat == PixelFormat) return;
    const int pixelSize = PixelSizeOf(pixelFormat);
    CheckBitmapSize(width, height, pixelSize);
    std::free(Map);
    Map = nullptr;
    Present = false;
    if (pixelFormat == pf8bit) {
        if (!Palette) Palette = new (std::nothrow) uint8_t[768]();
    } else {
        delete[] Palette;
        Palette = nullptr;
    }
    const int64_t size = int64_t{width} * height * pixelSize;
    if (pixelFormat == pf8bit && !Palette) {
        Dispose();
        throw ELinearBitmap("Out of memory for the bitmap");
    }
    // malloc, so that NarrowTo8Bit can give memory back in place.
    Map = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size) + 1));
    if (!Map) {
        Dispose();
        throw ELinearBitmap("Out of memory for the bitmap");
    }
    Width = width;
    Height = height;
    PixelFormat = static_cast<uint8_t>(pixelFormat);
    PixelSize = pixelSize;
    BytesPerLine = width * pixelSize;
    Size = static_cast<int32_t>(size);
    Present = true;
}

void TLinearBitmap::Dispose() {
    std::free(Map);
    delete[] Palette;
    Map = Palette = nullptr;
    Width = Height = BytesPerLine = PixelSize = Size = 0;
    Present = false;
    PixelFormat = pfNone;
}

void TLinearBitmap::TakeOver(TLinearBitmap& other) noexcept {
    if (&other == this) return;
    Dispose();
    Width = other.Width;
    Height = other.Height;
    PixelFormat = other.PixelFormat;
    BytesPerLine = other.BytesPerLine;
    PixelSize = other.PixelSize;
    Size = other.Size;
    Present = other.Present;
    Map = other.Map;
    Palette = other.Palette;
    other.Map = other.Palette = nullptr;
    other.Dispose();
}

void TLinearBitmap::NarrowTo8Bit(const uint8_t palette[768]) {
    if (!Present || PixelSize < 1) throw ELinearBitmap(kUnsupportedPixelFormat);
    auto* table = new (std::nothrow) uint8_t[768];
    if (!table) throw ELinearBitmap("Out of memory for the bitmap");
    std::memcpy(table, palette, 768);
    delete[] Palette;
    Palette = table;
    const int64_t size = int64_t{Width} * Height;
    // Shrinking keeps the start of the block; a large block gives its tail pages back.
    if (auto* map = static_cast<uint8_t*>(std::realloc(Map, static_cast<size_t>(size) + 1))) Map = map;
    PixelFormat = pf8bit;
    PixelSize = 1;
    BytesPerLine = Width;
    Size = static_cast<int32_t>(size);
}

void TLinearBitmap::Fill(uint8_t value) {
    if (Map) std::memset(Map, value, static_cast<size_t>(Size));
}

void TLinearBitmap::Clear(uint32_t colour) {
    if (!Map) return;
    const uint8_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    if (colour == 0) {
        Fill(0);
    } else if (PixelFormat == pf24bit) {
        for (int y = 0; y < Height; ++y) {
            uint8_t* p = ScanLine(y);
            for (int x = 0; x < Width; ++x, p += 3) p[0] = b, p[1] = g, p[2] = r;
        }
    } else {
        Fill(GrayOf(r, g, b));
    }
}

bool TLinearBitmap::IsGrayScale() const {
    if (!Present) return false;
    switch (PixelFormat) {
        case pf8bit:
            for (int i = 0; i < 256; ++i)
                if (Palette[3 * i] != i || Palette[3 * i + 1] != i || Palette[3 * i + 2] != i) return false;
            return true;
        case pf16bit: return true;
        case pf24bit: {
            // Each byte against the next one, eight at a time, masked where the next
            // pixel starts (the mask pattern repeats every 24 bytes).
            uint64_t mask[3] = {};
            for (int k = 0; k < 24; ++k)
                if (k % 3 != 2) mask[k / 8] |= uint64_t{0xFF} << (8 * (k % 8));
            const int n = BytesPerLine;
            for (int y = 0; y < Height; ++y) {
                const uint8_t* p = ScanLine(y);
                uint64_t differ = 0;
                int i = 0;
                for (; i + 25 <= n; i += 24)
                    for (int k = 0; k < 3; ++k) {
                        uint64_t a, b;
                        std::memcpy(&a, p + i + 8 * k, 8);
                        std::memcpy(&b, p + i + 8 * k + 1, 8);
                        differ |= (a ^ b) & mask[k];
                    }
                for (; i + 1 < n; ++i)
                    if (i % 3 != 2) differ |= p[i] ^ p[i + 1];
                if (differ) return false;
            }
            return true;
        }
        default: return false;
    }
}

void TLinearBitmap::PackLines() {
    const int packed = Width * PixelSize;
    if (!Present || BytesPerLine == packed) return;
    auto* map = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(packed) * Height + 1));
    if (!map) throw ELinearBitmap("Out of memory for the bitmap");
    for (int y = 0; y < Height; ++y) std::memcpy(map + static_cast<size_t>(y) * packed, ScanLine(y), packed);
    std::free(Map);
    Map = map;
    BytesPerLine = packed;
    Size = packed * Height;
}

void TLinearBitmap::ResizeCanvas(int newWidth, int newHeight, uint32_t fillColour, int verticalOffset,
                                 int horizontalOffset) {
    if (newWidth < 1 || newHeight < 1) {
        Dispose();
        return;
    }
    if (!Present) {
        New(newWidth, newHeight, pf8bit);
        std::memcpy(Palette, GrayPalette, 768);
        Clear(fillColour);
        return;
    }
    if (newWidth == Width && newHeight == Height && verticalOffset == 0 && horizontalOffset == 0) return;
    TLinearBitmap fresh;
    fresh.New(newWidth, newHeight, PixelFormat);
    if (PixelFormat == pf8bit) std::memcpy(fresh.Palette, Palette, 768);
    fresh.Clear(fillColour);
    const int x0 = std::max(0, horizontalOffset), x1 = std::min(newWidth, Width + horizontalOffset);
    if (x1 > x0) {
        for (int y = 0; y < Height; ++y) {
            const int ny = y + verticalOffset;
            if (ny < 0 || ny >= newHeight) continue;
            std::memcpy(fresh.ScanLine(ny) + x0 * PixelSize, ScanLine(y) + (x0 - horizontalOffset) * PixelSize,
                        static_cast<size_t>(x1 - x0) * PixelSize);
        }
    }
    TakeOver(fresh);
}

void TLinearBitmap::SetPixelFormat(int format) {
    if (!Present || format == PixelFormat) return;
    TLinearBitmap out;
    if (format == pf8bit && PixelFormat == pf32bit) {
        SetPixelFormat(pf24bit);
        SetPixelFormat(pf8bit);
        return;
    }
    if (format == pf32bit && PixelFormat == pf8bit) {
        SetPixelFormat(pf24bit);
        SetPixelFormat(pf32bit);
        return;
    }
    const bool known = (format == pf8bit && (PixelFormat == pf16bit || PixelFormat == pf24bit)) ||
                       (format == pf24bit && PixelFormat != pf24bit) || (format == pf32bit && PixelFormat == pf24bit);
    if (!known) throw ELinearBitmap(kUnsupportedPixelFormat);
    out.New(Width, Height, format);
    if (format == pf8bit) {
        if (PixelFormat == pf16bit) {
            std::memcpy(out.Palette, GrayPalette, 768);
            for (int64_t i = 0, n = int64_t{Width} * Height; i < n; ++i) out.Map[i] = Map[2 * i + 1];
        } else {
            const double k = 255.0 / 7.0;
            for (int i = 0; i < 256; ++i) {
                out.Palette[3 * i + 2] = static_cast<uint8_t>(std::lround((i >> 5) * k));
                out.Palette[3 * i + 1] = static_cast<uint8_t>(std::lround(((i >> 2) & 7) * k));
                out.Palette[3 * i] = static_cast<uint8_t>((i & 3) * 85);
            }
            for (int64_t i = 0, n = int64_t{Width} * Height; i < n; ++i) {
                const uint8_t* p = Map + 3 * i;
                out.Map[i] = static_cast<uint8_t>((p[2] & 224) | ((p[1] >> 5) << 2) | (p[0] >> 6));
            }
        }
    } else if (format == pf24bit) {
        const int64_t n = int64_t{Width} * Height;
        uint8_t* d = out.Map;
        for (int64_t i = 0; i < n; ++i, d += 3) {
            if (PixelFormat == pf8bit) {
                std::memcpy(d, Palette + 3 * Map[i], 3);
            } else if (PixelFormat == pf16bit) {
                d[0] = d[1] = d[2] = Map[2 * i + 1];
            } else {
                std::memcpy(d, Map + 4 * i, 3);
            }
        }
    } else {
        const int64_t n = int64_t{Width} * Height;
        for (int64_t i = 0; i < n; ++i) {
            std::memcpy(out.Map + 4 * i, Map + 3 * i, 3);
            out.Map[4 * i + 3] = 0;
        }
    }
    TakeOver(out);
}

void TLinearBitmap::FromRows(int width, int height, int format, const uint8_t* bits, int64_t stride) {
    New(width, height, format);
    if (stride == BytesPerLine) {
        std::memcpy(Map, bits, static_cast<size_t>(Size));
    } else {
        for (int y = 0; y < height; ++y) std::memcpy(ScanLine(y), bits + y * stride, BytesPerLine);
    }
}

void TLinearBitmap::CopyFrom(const TLinearBitmap& source) {
    if (!source.Present) {
        Dispose();
        return;
    }
    FromRows(source.Width, source.Height, source.PixelFormat, source.Map, source.BytesPerLine);
    if (PixelFormat == pf8bit) std::memcpy(Palette, source.Palette, 768);
}

void TLinearBitmap::Assign(const TAssignObject& source) {
    if (const auto* b = dynamic_cast<const TLinearBitmap*>(&source)) {
        if (b != this) CopyFrom(*b);
        return;
    }
    TAssignObject::Assign(source);
}

void TLinearBitmap::AssignTo(TAssignObject& dest) const {
    if (auto* b = dynamic_cast<TLinearBitmap*>(&dest)) {
        b->Assign(*this);
        return;
    }
    TAssignObject::AssignTo(dest);
}

void TLinearBitmap::Assign(const QImage& source) {
    if (source.isNull() || source.width() == 0 || source.height() == 0) {
        Dispose();
        return;
    }
    const int w = source.width(), h = source.height();
    switch (source.format()) {
        case QImage::Format_Indexed8: {
            FromRows(w, h, pf8bit, source.constBits(), source.bytesPerLine());
            const QList<QRgb> table = source.colorTable();
            std::memset(Palette, 0, 768);
            for (int i = 0; i < std::min<int>(256, table.size()); ++i) {
                Palette[3 * i] = static_cast<uint8_t>(qBlue(table[i]));
                Palette[3 * i + 1] = static_cast<uint8_t>(qGreen(table[i]));
                Palette[3 * i + 2] = static_cast<uint8_t>(qRed(table[i]));
            }
            return;
        }
        case QImage::Format_BGR888: FromRows(w, h, pf24bit, source.constBits(), source.bytesPerLine()); return;
        case QImage::Format_RGB888:
            FromRows(w, h, pf24bit, source.constBits(), source.bytesPerLine());
            for (int64_t i = 0; i < int64_t{w} * h; ++i) std::swap(Map[3 * i], Map[3 * i + 2]);
            return;
        case QImage::Format_RGB32: FromRows(w, h, pf32bit, source.constBits(), source.bytesPerLine()); return;
        default: Assign(source.convertToFormat(QImage::Format_BGR888)); return;
    }
}

void TLinearBitmap::Assign(const Bitmap24& source) {
    if (source.Empty()) {
        Dispose();
        return;
    }
    FromRows(source.Width(), source.Height(), pf24bit, source.Bits(), source.Stride());
}

void TLinearBitmap::AssignTo(QImage& dest) const {
    if (!Present) return;
    switch (PixelFormat) {
        case pf8bit:
        case pf16bit: {
            QImage img(Width, Height, QImage::Format_Indexed8);
            const uint8_t* pal = PixelFormat == pf8bit ? Palette : GrayPalette;
            QList<QRgb> table(256);
            for (int i = 0; i < 256; ++i) table[i] = qRgb(pal[3 * i + 2], pal[3 * i + 1], pal[3 * i]);
            img.setColorTable(table);
            for (int y = 0; y < Height; ++y) {
                uint8_t* d = img.scanLine(y);
                const uint8_t* s = ScanLine(y);
                if (PixelFormat == pf8bit)
                    std::memcpy(d, s, Width);
                else
                    for (int x = 0; x < Width; ++x) d[x] = s[2 * x + 1];
            }
            dest = img;
            return;
        }
        case pf24bit: {
            QImage img(Width, Height, QImage::Format_BGR888);
            for (int y = 0; y < Height; ++y) std::memcpy(img.scanLine(y), ScanLine(y), BytesPerLine);
            dest = img;
            return;
        }
        case pf32bit: {
            QImage img(Width, Height, QImage::Format_RGB32);
            for (int y = 0; y < Height; ++y) {
                uint8_t* d = img.scanLine(y);
                std::memcpy(d, ScanLine(y), BytesPerLine);
                for (int x = 0; x < Width; ++x) d[4 * x + 3] = 0xFF;  // RGB32 wants its unused byte set
            }
            dest = img;
            return;
        }
        default: throw ELinearBitmap(kUnsupportedPixelFormat);
    }
}

namespace {

// One row as B,G,R (and a fourth byte 0xFF with `step` 4): 8 bit through the
// palette, 16-bit grey by the high byte, 24 and 32 bit by their first three bytes.
void RowToBgr(const TLinearBitmap& b, int y, uint8_t* d, int step) {
    const uint8_t* s = b.ScanLine(y);
    for (int x = 0; x < b.Width; ++x, d += step) {
        switch (b.PixelFormat) {
            case pf8bit: std::memcpy(d, b.Palette + 3 * s[x], 3); break;
            case pf16bit: d[0] = d[1] = d[2] = s[2 * x + 1]; break;
            default: std::memcpy(d, s + b.PixelSize * x, 3); break;
        }
        if (step == 4) d[3] = 0xFF;
    }
}

}  // namespace

void TLinearBitmap::AssignTo(Bitmap24& dest) const {
    if (!Present) return;
    if (PixelFormat != pf8bit && PixelFormat != pf16bit && PixelFormat != pf24bit && PixelFormat != pf32bit)
        throw ELinearBitmap(kUnsupportedPixelFormat);
    if (!dest.Resize(Width, Height)) throw ELinearBitmap(kInvalidBitmapSize);
    for (int y = 0; y < Height; ++y) RowToBgr(*this, y, dest.Scanline(y), 3);
}

void TLinearBitmap::PaintToCanvas(QPainter& canvas, const QRect& rect, bool halftone) const {
    if (PixelFormat != pf8bit && PixelFormat != pf16bit && PixelFormat != pf24bit && PixelFormat != pf32bit)
        throw ELinearBitmap(kUnsupportedPixelFormat);
    QImage img;
    AssignTo(img);
    const bool smooth = canvas.testRenderHint(QPainter::SmoothPixmapTransform);
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, halftone);
    canvas.drawImage(rect, img);
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

void TLinearBitmap::PaintToDC(QPaintDevice& device, const QRect& rect, bool halftone) const {
    QPainter painter(&device);
    PaintToCanvas(painter, rect, halftone);
}

TBitmapLoader* TLinearBitmap::LoadFromFile(const std::string& fileName) {
    const std::string ext = GetFileExt(fileName);
    TBitmapLoader* loader = BitmapLoaders().FindLoader(ext);
    Dispose();
    try {
        loader->LoadFromFile(fileName, ext, *this);
    } catch (...) {
        Dispose();
        throw;
    }
    return loader;
}

void TLinearBitmap::SaveToFile(const std::string& fileName) const {
    const std::string ext = GetFileExt(fileName);
    BitmapLoaders().FindSaver(ext)->SaveToFile(fileName, ext, *this);
}

std::string UpperCase(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

bool FilterHasExt(const std::string& filter, const std::string& ext) {
    return !ext.empty() && UpperCase(filter).find("*." + ext) != std::string::npos;
}

void TLinearBitmap::LoadFromStream(TBaseStream& stream, const std::string& ext) {
    const std::string e = UpperCase(ext);
    TBitmapLoader* loader = BitmapLoaders().FindLoader(e);
    Dispose();
    try {
        loader->LoadFromStream(stream, e, *this);
    } catch (...) {
        Dispose();
        throw;
    }
}

void TLinearBitmap::SaveToStream(TBaseStream& stream, const std::string& ext) const {
    const std::string e = UpperCase(ext);
    BitmapLoaders().FindSaver(e)->SaveToStream(stream, e, *this);
}

std::string GetFileExt(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return {};
    const size_t sep = fileName.find_last_of("\\/:");
    if (sep != std::string::npos && sep > dot) return {};
    return UpperCase(fileName.substr(dot + 1));
}

// ---- TBitmapLoader ----

namespace {

// A file in the temporary folder named from the tick count and ".ext", deleted
// when this goes out of scope.
class TempFile {
public:
    explicit TempFile(const std::string& ext) {
        const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        std::string tmpl = QDir::tempPath().toStdString() + "/tevorin" + std::to_string(ticks) + "-XXXXXX";
        const int suffix = ext.empty() ? 0 : static_cast<int>(ext.size()) + 1;
        if (suffix) tmpl += "." + ext;
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        const int fd = ::mkstemps(name.data(), suffix);
        if (fd < 0) throw EInOutError("Cannot create a temporary file in " + QDir::tempPath().toStdString());
        ::close(fd);
        name_ = name.data();
    }
    ~TempFile() { ::unlink(name_.c_str()); }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

}  // namespace

bool TBitmapLoader::CanLoad(const std::string& ext) { return FilterHasExt(GetLoadFilter(), ext); }
bool TBitmapLoader::CanSave(const std::string& ext) { return FilterHasExt(GetSaveFilter(), ext); }

std::string TBitmapLoader::GetLoadFilter() { return {}; }
std::string TBitmapLoader::GetSaveFilter() { return GetLoadFilter(); }

void TBitmapLoader::LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) {
    TempFile temp(ext);
    {
        TFileStream file(temp.Name(), TFileStream::fmRead | TFileStream::fmWrite | TFileStream::fmCreate);
        const int64_t copied = CopyStream(stream, &file, kMaxBridgedStream + 1);
        if (copied > kMaxBridgedStream) throw ELinearBitmap("Picture data larger than 100 MB");
    }
    LoadFromFile(temp.Name(), ext, bitmap);
}

void TBitmapLoader::SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) {
    TempFile temp(ext);
    SaveToFile(temp.Name(), ext, bitmap);
    TFileStream file(temp.Name(), TFileStream::fmRead | TFileStream::fmShareRead);
    CopyStream(file, &stream, INT64_MAX);
}

void TBitmapLoader::LoadFromFile(const std::string& fileName, const std::string& ext, TLinearBitmap& bitmap) {
    TFileStream file(fileName, TFileStream::fmRead | TFileStream::fmShareRead);
    LoadFromStream(file, ext, bitmap);
}

void TBitmapLoader::SaveToFile(const std::string& fileName, const std::string& ext, const TLinearBitmap& bitmap) {
    TMemStream mem;
    SaveToStream(mem, ext, bitmap);
    std::string error;
    if (!fileio::WriteFileAtomic(fileName, mem.ToString(), error)) throw EInOutError(error);
}

// ---- TBitmapLoaders ----

void TBitmapLoaders::Add(TBitmapLoader* loader) { loaders_.emplace_back(loader); }

TBitmapLoader* TBitmapLoaders::FindLoader(const std::string& ext) const {
    for (const auto& l : loaders_)
        if (l->CanLoad(ext)) return l.get();
    throw EUnsupportedFileFormat(std::string(kUnsupportedFileFormat) + ": " + ext);
}

TBitmapLoader* TBitmapLoaders::FindSaver(const std::string& ext) const {
    for (const auto& l : loaders_)
        if (l->CanSave(ext)) return l.get();
    throw EUnsupportedFileFormat(std::string(kUnsupportedFileFormat) + ": " + ext);
}

void RegisterStandardLoaders(TBitmapLoaders& registry);  // image_loaders.cpp

TBitmapLoaders& BitmapLoaders() {
    static TBitmapLoaders registry;
    static const bool registered = (RegisterStandardLoaders(registry), true);
    (void)registered;
    return registry;
}

void RegisterLoader(TBitmapLoader* loader) { BitmapLoaders().Add(loader); }

// ---- the picture roads ----

std::string SavePictureRoad(const QImage& picture, const std::string& chosenName, int filterIndex) {
    TLinearBitmap bitmap;
    bitmap.Assign(picture.convertToFormat(QImage::Format_BGR888));
    const char* ext = filterIndex == 2 ? ".jpg" : filterIndex == 3 ? ".bmp" : ".png";
    const std::string name = fileio::ChangeFileExt(chosenName, ext);
    if (name.empty() || name[0] == '.') return {};
    bitmap.SaveToFile(name);
    return name;
}

void LoadPictureRoad(const std::string& fileName, TLinearBitmap& bitmap) {
    const TPictureLimit limit(kMaxOpenedPicturePixels);
    bitmap.LoadFromFile(fileName);
}

QImage LoadPictureRoad(const std::string& fileName) {
    TLinearBitmap bitmap;
    LoadPictureRoad(fileName, bitmap);
    if (!bitmap.Present) return {};
    QImage image(bitmap.Width, bitmap.Height, QImage::Format_RGB32);
    if (image.isNull()) throw ELinearBitmap("Out of memory for the bitmap");
    for (int y = 0; y < bitmap.Height; ++y) RowToBgr(bitmap, y, image.scanLine(y), 4);
    return image;
}

}  // namespace imagefile
