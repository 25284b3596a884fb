#pragma once
// Hand-made picture files that declare far more than they hold, as bytes: for the
// image library's tests and for the windows' roads that open pictures.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

inline std::string U16(unsigned v) { return {char(v), char(v >> 8)}; }
inline std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

// An RLE8 bitmap of w x h with a grey palette whose data are `rle` (by default
// five pixels of index 7 and the end of the bitmap): about 1 KB for any size.
inline std::string RleBmp(int32_t w, int32_t h, const std::string& rle = std::string("\x05\x07\x00\x01", 4)) {
    std::string table;
    for (int i = 0; i < 256; ++i) table += std::string{char(i), char(i), char(i), '\0'};
    const uint32_t offset = 14 + 40 + 1024;
    return "BM" + U32(offset + uint32_t(rle.size())) + U32(0) + U32(offset) + U32(40) + U32(w) + U32(h) + U16(1) + U16(8) +
           U32(1) + U32(uint32_t(rle.size())) + U32(0) + U32(0) + U32(256) + U32(0) + table + rle;
}

// An 8-bit PCX of w x h whose rows are runs of 63 bytes of 9, and its palette:
// about w x h / 31 bytes.
inline std::string RunPcx(int w, int h) {
    std::string header = std::string("\x0A\x05\x01\x08", 4) + U16(0) + U16(0) + U16(w - 1) + U16(h - 1) + U16(96) + U16(96);
    header += std::string(48, '\0') + std::string("\0\x01", 2) + U16(w);
    header.resize(128, '\0');
    std::string row;
    for (int left = w; left > 0; left -= 63) row += {char(0xC0 | std::min(left, 63)), '\x09'};
    std::string file = header;
    file.reserve(header.size() + row.size() * size_t(h) + 769);
    for (int y = 0; y < h; ++y) file += row;
    return file + '\x0C' + std::string(768, '\0');
}

// An enhanced metafile of w x h pixels (96 per inch) holding `records` and EOF:
// 128 bytes without records.
inline std::string Emf(int32_t w, int32_t h, const std::string& records = "") {
    const std::string body = records + U32(14) + U32(20) + U32(0) + U32(16) + U32(20);
    const auto frame = [](int32_t px) { return U32(uint32_t(std::lround(px * 2540.0 / 96))); };
    std::string f = U32(1) + U32(108) + U32(0) + U32(0) + U32(w - 1) + U32(h - 1) + U32(0) + U32(0) + frame(w) + frame(h);
    f += U32(0x464D4520) + U32(0x10000) + U32(uint32_t(108 + body.size())) + U32(2) + U16(1) + U16(0) + U32(0) + U32(0) +
         U32(0);
    f += U32(960) + U32(960) + U32(254) + U32(254) + U32(0) + U32(0) + U32(0) + U32(254000) + U32(254000);
    return f + body;
}

// A placeable Windows metafile of w x h pixels (96 units per inch) holding
// `records` and EOF: 46 bytes without records.
inline std::string Wmf(int w, int h, const std::string& records = "") {
    std::string f = U32(0x9AC6CDD7) + U16(0) + U16(0) + U16(0) + U16(w) + U16(h) + U16(96) + U32(0);
    unsigned sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= uint8_t(f[2 * i]) | uint8_t(f[2 * i + 1]) << 8;
    const std::string body = records + U32(3) + U16(0);
    return f + U16(sum) + U16(1) + U16(9) + U16(0x300) + U32(uint32_t(9 + body.size() / 2)) + U16(0) + U32(7) + U16(0) + body;
}

// WMF records.
inline std::string WmfRectangle(int l, int t, int r, int b) { return U32(7) + U16(0x041B) + U16(b) + U16(r) + U16(t) + U16(l); }
inline std::string WmfSolidBrush(uint32_t rgb) { return U32(7) + U16(0x02FC) + U16(0) + U32(rgb) + U16(0); }
inline std::string WmfNullPen() { return U32(8) + U16(0x02FA) + U16(5) + U16(0) + U16(0) + U32(0); }
inline std::string WmfSelect(unsigned slot) { return U32(4) + U16(0x012D) + U16(slot); }
inline std::string WmfDelete(unsigned slot) { return U32(4) + U16(0x01F0) + U16(slot); }

// EMF records: a rectangle, and STRETCHDIBITS of a run-length 8-bit bitmap of
// bw x bh (two colours, black and white) whose data are `rle`, drawn onto the
// destination rectangle from the bitmap's whole area.
inline std::string EmfRectangle(int32_t l, int32_t t, int32_t r, int32_t b) {
    return U32(43) + U32(24) + U32(l) + U32(t) + U32(r) + U32(b);
}
inline std::string EmfRleBitmap(int32_t x, int32_t y, int32_t cx, int32_t cy, int32_t bw, int32_t bh, const std::string& rle) {
    const std::string bmi = U32(40) + U32(bw) + U32(bh) + U16(1) + U16(8) + U32(1) + U32(uint32_t(rle.size())) + U32(0) +
                            U32(0) + U32(2) + U32(0) + U32(0) + U32(0xFFFFFF);
    std::string r = std::string(16, '\0') + U32(x) + U32(y) + U32(0) + U32(0) + U32(bw) + U32(bh);
    r += U32(80) + U32(uint32_t(bmi.size())) + U32(uint32_t(80 + bmi.size())) + U32(uint32_t(rle.size()));
    r += U32(0) + U32(0x00CC0020) + U32(cx) + U32(cy) + bmi + rle;
    return U32(81) + U32(uint32_t(8 + r.size())) + r;
}

// The files a window once held four to ten times over the library's 1 GiB cap:
// a 1 KB RLE8 bitmap and a 34 MB PCX of 32768 x 32768, a 128-byte EMF and a
// 46-byte WMF of 18000 x 18000. `size` as the refusal names it.
struct File {
    const char* name;
    std::string bytes;
    const char* size;
};
inline std::vector<File> WindowBombs() {
    return {{"rle.bmp", RleBmp(32768, 32768), "32768 x 32768"},
            {"runs.pcx", RunPcx(32768, 32768), "32768 x 32768"},
            {"frame.emf", Emf(18000, 18000), "18000 x 18000"},
            {"box.wmf", Wmf(18000, 18000), "18000 x 18000"}};
}

}  // namespace hostile
