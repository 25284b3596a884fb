#include "imagefile/HIPSLoader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imagefile/DIBTools.h"
#include "imagefile/PNGLoader.h"
#include "imagefile/indexed_picture.h"

namespace imagefile {

const char* const kUnsupportedBitmapFormat = "Unsupported bitmap format";

namespace {

constexpr size_t kMaxLine = 65536;
constexpr int kMaxPlanes = 500;

[[noreturn]] void Unsupported() { throw ELinearBitmap(kUnsupportedBitmapFormat); }

// One LF-ended line (the LF dropped); false at the end of the data.
bool ReadLine(TBufferedFile& in, std::string& line) {
    line.clear();
    int c;
    while ((c = in.ReadByte()) >= 0 && c != '\n') {
        if (line.size() >= kMaxLine) Unsupported();
        line += static_cast<char>(c);
    }
    return c == '\n' || !line.empty();
}

std::string NextLine(TBufferedFile& in) {
    std::string line;
    if (!ReadLine(in, line)) Unsupported();
    return line;
}

// A whole line as an integer (blanks around it allowed).
bool ParseInt(const std::string& text, int64_t& value) {
    size_t i = 0, n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
    while (n > i && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r')) --n;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == n) return false;
    int64_t v = 0;
    for (; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9' || v > INT32_MAX) return false;
        v = v * 10 + (text[i] - '0');
    }
    value = negative ? -v : v;
    return value >= INT32_MIN && value <= INT32_MAX;
}

int64_t NextInt(TBufferedFile& in) {
    int64_t v;
    if (!ParseInt(NextLine(in), v)) Unsupported();
    return v;
}

void SkipBytes(TBufferedFile& in, int64_t n) {
    if (n < 0 || !in.Skip(n)) Unsupported();
}

void ReadExact(TBufferedFile& in, uint8_t* dest, size_t n) {
    if (in.ReadRow(dest, n) != n) throw EInOutError(kReadLessThanExpected);
}

// A little-endian float as a byte: rounded half to even, clamped, NaN as 0.
inline uint8_t FloatByte(const uint8_t* p) {
    const uint32_t bits = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    float f;
    std::memcpy(&f, &bits, 4);
    if (!(f > 0)) return 0;  // also NaN
    if (f >= 255) return 255;
    return static_cast<uint8_t>(std::nearbyint(f));
}

struct Header {
    int64_t rows = 0, cols = 0;
    int format = 0;
    int planes = 1;
};

Header ReadHeader(TBufferedFile& in) {
    Header h;
    const std::string first = NextLine(in);
    const bool second = first == "HIPS";
    NextLine(in);
    // The frame count: the first line that is a number below 500 (names may run
    // over several lines).
    int64_t frames = 0;
    bool found = false;
    for (int i = 0; i < 201 && !found; ++i) found = ParseInt(NextLine(in), frames) && frames < kMaxPlanes;
    if (!found) Unsupported();
    NextLine(in);  // date
    h.rows = NextInt(in);
    h.cols = NextInt(in);
    if (!second) {
        int64_t bits;
        if (!ParseInt(NextLine(in), bits) || bits != 8) Unsupported();
        std::string line;
        do {
            line = NextLine(in);
        } while (line != "." && line != ".\r");
        h.format = 0;
        h.planes = static_cast<int>(std::max<int64_t>(1, frames));
        return h;
    }
    // Region rows and columns, its first row and column, the pixel format.
    for (int i = 0; i < 4; ++i) NextLine(in);
    const int64_t format = NextInt(in);
    if (format != 0 && format != 3 && format != 35 && format != 37) Unsupported();
    h.format = static_cast<int>(format);
    const int64_t colours = NextInt(in);
    h.planes = colours >= 1 && colours <= kMaxPlanes ? static_cast<int>(colours) : 1;
    SkipBytes(in, NextInt(in));  // history
    SkipBytes(in, NextInt(in));  // description
    const int64_t params = NextInt(in);
    if (params < 0) Unsupported();
    for (int64_t i = 0; i < params; ++i) NextLine(in);
    SkipBytes(in, NextInt(in));  // binary parameter area
    return h;
}

}  // namespace

std::string THIPSLoader::GetLoadFilter() { return "HIPS image (*.hips)|*.hips;*.hip"; }

void THIPSLoader::LoadFromStream(TBaseStream& stream, const std::string&, TLinearBitmap& bitmap) {
    const int64_t streamLeft = dynamic_cast<TSeekableStream*>(&stream) ? stream.Available() : -1;
    TBufferedFile in(stream);
    const Header h = ReadHeader(in);
    PlaneCount = h.planes;
    const int pixelSize = h.format == 35 || h.format == 37 || (h.format == 3 && h.planes > 1) ? 3 : 1;
    CheckPictureBudget(h.cols, h.rows, pixelSize, MaxPictureBytes);
    const int64_t pixels = h.cols * h.rows;

    int plane = 1;
    if (h.format == 0 && h.planes >= 2 && LoaderProgress) {
        const std::string prompt = "Select plane to load (1-" + std::to_string(h.planes) + ")";
        std::optional<std::string> answer;
        if (InputQuery) answer = InputQuery("Select plane", prompt, "1");
        else answer = std::string("1");
        if (!answer) {
            bitmap.Dispose();
            return;
        }
        int64_t chosen;
        if (!ParseInt(*answer, chosen)) throw ELinearBitmap("'" + *answer + "' is not a valid integer value");
        plane = static_cast<int>(std::clamp<int64_t>(chosen, 1, h.planes));
    }

    // Bytes the picture needs from here, known before the picture is allocated.
    int64_t need = pixels;
    if (h.format == 0) need = pixels * plane;
    else if (h.format == 35) need = 3 * pixels;
    else if (h.format == 37) need = 12 * pixels;
    else need = 4 * pixels * std::min(h.planes, 3);
    if (streamLeft >= 0 && streamLeft - in.Position() < need) throw EInOutError(kReadLessThanExpected);

    TLinearBitmap out;
    out.New(static_cast<int>(h.cols), static_cast<int>(h.rows), pixelSize == 1 ? pf8bit : pf24bit);
    if (pixelSize == 1) std::memcpy(out.Palette, GrayPalette, 768);
    auto progress = [&](int64_t i) {
        if (LoaderProgress && (i & 0x511) == 0) LoaderProgress(static_cast<int>(i * 100 / pixels));
    };

    if (h.format == 0) {
        SkipBytes(in, pixels * (plane - 1));
        ReadExact(in, out.Map, static_cast<size_t>(pixels));
    } else if (h.format == 35) {
        ReadExact(in, out.Map, static_cast<size_t>(3 * pixels));
        for (int64_t i = 0; i < pixels; ++i) {
            std::swap(out.Map[3 * i], out.Map[3 * i + 2]);  // R,G,B to B,G,R
            progress(i);
        }
    } else {
        // Floats go through a bounded buffer, never a second picture.
        const int perPixel = h.format == 37 ? 3 : 1;
        const int planes = h.format == 37 ? 1 : std::min(h.planes, 3);
        if (pixelSize == 3) std::memset(out.Map, 0, static_cast<size_t>(out.Size));
        std::vector<uint8_t> chunk(65536 - 65536 % (4 * perPixel));
        for (int p = 0; p < planes; ++p) {
            if (p > 0 && LoaderProgress) LoaderProgress(100 * p / h.planes);
            // Planes fill red, green, blue (bytes 2, 1, 0); a single plane is grey.
            uint8_t* d = pixelSize == 1 ? out.Map : out.Map + (2 - p);
            const int step = pixelSize == 1 ? 1 : 3;
            for (int64_t i = 0; i < pixels;) {
                const int64_t n = std::min<int64_t>(pixels - i, static_cast<int64_t>(chunk.size()) / (4 * perPixel));
                ReadExact(in, chunk.data(), static_cast<size_t>(n * 4 * perPixel));
                const uint8_t* s = chunk.data();
                for (int64_t k = 0; k < n; ++k, ++i) {
                    if (perPixel == 3) {
                        // A float triple fills blue, green and red in this order.
                        uint8_t* q = out.Map + 3 * i;
                        q[0] = FloatByte(s), q[1] = FloatByte(s + 4), q[2] = FloatByte(s + 8);
                        s += 12;
                    } else {
                        d[i * step] = FloatByte(s);
                        s += 4;
                    }
                    progress(i);
                }
            }
        }
    }
    bitmap.TakeOver(out);
}

}  // namespace imagefile
