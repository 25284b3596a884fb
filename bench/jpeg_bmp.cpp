// JPEG and BMP of the star frame (and the colour graph picture): our JPEG load and
// save against bare libjpeg-turbo calls with the same settings, our BMP load and
// save against QImage's BMP reader and writer, in the same run; then how many
// compressions the size-target search takes for a few targets; and the pictures as
// 8-bit run-length (RLE8) files, our load against QImage's. The summary prints time
// ratios ours / reference (best of several runs).
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <string>

#include <jpeglib.h>

#include "bench_pictures.h"
#include "imagefile/BMPLoader.h"
#include "imagefile/JPEGLoader.h"
#include "reference_timing.h"

using namespace imagefile;

namespace {

using Case = bench::PictureCase;
const std::vector<Case>& Cases() { return bench::PictureCases(); }

std::string OurSave(TBitmapLoader& loader, const TLinearBitmap& b) {
    TMemStream mem;
    loader.SaveToStream(mem, "", b);
    return mem.ToString();
}

void OurLoad(TBitmapLoader& loader, const std::string& bytes, TLinearBitmap& b) {
    TMemStream mem;
    mem.Write(bytes.data(), bytes.size());
    mem.Seek(0);
    loader.LoadFromStream(mem, "", b);
}

// Bare libjpeg-turbo: the same settings as the loader (quality 90, grey when the
// picture is grey), default error handling.
std::string BareCompress(const TLinearBitmap& b, bool grey) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = b.Width, c.image_height = b.Height, c.input_components = 3, c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (grey) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(b.ScanLine(static_cast<int>(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string s(reinterpret_cast<char*>(out), size);
    free(out);
    return s;
}

void BareDecompress(const std::string& bytes, std::vector<uint8_t>& pixels) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_ISLOW;
    d.out_color_space = d.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const size_t stride = size_t(d.output_width) * d.output_components;
    pixels.resize(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels.data() + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

QByteArray QtSave(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

// The picture as an RLE8 bitmap file: a palette of its colours (at most 256 in
// both pictures), runs of three or more as encoded runs, the rest as literals.
std::string RleBmp(const TLinearBitmap& b) {
    std::vector<uint32_t> colours;
    std::vector<uint8_t> index(static_cast<size_t>(b.Width) * b.Height);
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            const uint8_t* p = b.ScanLine(y) + 3 * x;
            const uint32_t c = p[0] | p[1] << 8 | p[2] << 16;
            auto at = std::find(colours.begin(), colours.end(), c);
            if (at == colours.end()) at = colours.insert(colours.end(), c);
            index[static_cast<size_t>(y) * b.Width + x] = static_cast<uint8_t>(at - colours.begin());
        }
    std::string data;
    for (int y = b.Height - 1; y >= 0; --y) {
        const uint8_t* row = &index[static_cast<size_t>(y) * b.Width];
        const int w = b.Width;
        auto runAt = [&](int i) {
            int n = 1;
            while (i + n < w && n < 255 && row[i + n] == row[i]) ++n;
            return n;
        };
        for (int i = 0; i < w;) {
            if (const int n = runAt(i); n >= 3 || w - i < 3) {
                data += {char(n), char(row[i])};
                i += n;
                continue;
            }
            int n = 0;
            while (i + n < w && n < 255 && (runAt(i + n) < 3 || w - i - n < 3)) ++n;
            if (n < 3) {  // a literal needs three bytes (0 1 and 0 2 are escapes)
                for (int k = 0; k < n; ++k) data += {'\1', char(row[i + k])};
                i += n;
                continue;
            }
            data += {'\0', char(n)};
            data.append(reinterpret_cast<const char*>(row + i), static_cast<size_t>(n));
            if (n & 1) data += '\0';
            i += n;
        }
        data += {'\0', '\0'};
    }
    data += {'\0', '\1'};
    auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    std::string table;
    for (uint32_t c : colours) table += u32(c);
    const uint32_t offset = 14 + 40 + static_cast<uint32_t>(table.size());
    return "BM" + u32(offset + static_cast<uint32_t>(data.size())) + u32(0) + u32(offset) + u32(40) + u32(b.Width) +
           u32(b.Height) + std::string{1, 0, 8, 0} + u32(1) + u32(static_cast<uint32_t>(data.size())) + u32(0) + u32(0) +
           u32(static_cast<uint32_t>(colours.size())) + u32(0) + table + data;
}

void BM_JpegSave(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    for (auto _ : state) benchmark::DoNotOptimize(OurSave(JPEGLoader(), c.bitmap));
    state.SetLabel(c.name);
}
void BM_JpegLoad(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    const std::string bytes = OurSave(JPEGLoader(), c.bitmap);
    TLinearBitmap b;
    for (auto _ : state) OurLoad(JPEGLoader(), bytes, b);
    state.SetLabel(c.name);
}
void BM_BmpSave(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    for (auto _ : state) benchmark::DoNotOptimize(OurSave(BMPLoader(), c.bitmap));
    state.SetLabel(c.name);
}
void BM_BmpLoad(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    const std::string bytes = OurSave(BMPLoader(), c.bitmap);
    TLinearBitmap b;
    for (auto _ : state) OurLoad(BMPLoader(), bytes, b);
    state.SetLabel(c.name);
}

void BM_BmpRleLoad(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    const std::string bytes = RleBmp(c.bitmap);
    TLinearBitmap b;
    for (auto _ : state) OurLoad(BMPLoader(), bytes, b);
    state.SetLabel(c.name);
}

BENCHMARK(BM_JpegSave)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpSave)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpRleLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void Summary() {
    std::printf("\n%-11s %11s %11s %11s %11s %11s %9s\n", "picture", "jpeg save x", "jpeg load x", "bmp save x", "bmp load x",
                "rle8 load x", "jpeg ms");
    for (const Case& c : Cases()) {
        const bool grey = c.bitmap.IsGrayScale();
        const std::string ours = OurSave(JPEGLoader(), c.bitmap);
        if (ours != BareCompress(c.bitmap, grey)) std::printf("our JPEG differs from bare libjpeg's\n");
        const std::string bmp = OurSave(BMPLoader(), c.bitmap);
        const QByteArray bmpQ = QByteArray::fromStdString(bmp);
        if (QImage::fromData(bmpQ, "BMP").convertToFormat(QImage::Format_RGB888) != c.image) std::printf("QImage reads our BMP WRONG\n");
        TLinearBitmap b;
        std::vector<uint8_t> pixels;
        const auto once = [](auto&& f) { return bench::BestNsPerCall([&](int) { f(); }, 3, 9); };
        const double jSave = once([&] { OurSave(JPEGLoader(), c.bitmap); });
        const double jSaveRef = once([&] { BareCompress(c.bitmap, grey); });
        const double jLoad = once([&] { OurLoad(JPEGLoader(), ours, b); });
        const double jLoadRef = once([&] { BareDecompress(ours, pixels); });
        const double bSave = once([&] { OurSave(BMPLoader(), c.bitmap); });
        const double bSaveRef = once([&] { QtSave(c.image); });
        const double bLoad = once([&] { OurLoad(BMPLoader(), bmp, b); });
        const double bLoadRef = once([&] { benchmark::DoNotOptimize(QImage::fromData(bmpQ, "BMP")); });
        const std::string rle = RleBmp(c.bitmap);
        const QByteArray rleQ = QByteArray::fromStdString(rle);
        OurLoad(BMPLoader(), rle, b);
        QImage mine;
        b.AssignTo(mine);
        if (mine.convertToFormat(QImage::Format_RGB888) != c.image ||
            QImage::fromData(rleQ, "BMP").convertToFormat(QImage::Format_RGB888) != c.image)
            std::printf("the RLE8 file does not read back as the picture\n");
        const double rLoad = once([&] { OurLoad(BMPLoader(), rle, b); });
        const double rLoadRef = once([&] { benchmark::DoNotOptimize(QImage::fromData(rleQ, "BMP")); });
        std::printf("%-11s %11.2f %11.2f %11.2f %11.2f %11.2f %9.2f\n", c.name, jSave / jSaveRef, jLoad / jLoadRef,
                    bSave / bSaveRef, bLoad / bLoadRef, rLoad / rLoadRef, jSave / 1e6);
    }
    std::printf("x: our time / the reference's (bare libjpeg-turbo for JPEG, QImage for BMP)\n\n");
    std::printf("size-target search on the star frame (start quality 90):\n");
    const TLinearBitmap& star = Cases()[0].bitmap;
    TJPEGLoader& jpeg = JPEGLoader();
    const int64_t at90 = static_cast<int64_t>(OurSave(jpeg, star).size());
    for (const int64_t target : {int64_t{1}, at90 / 10, at90 / 4, at90 / 2, at90 * 9 / 10, at90, at90 * 2}) {
        jpeg.TargetSize = static_cast<int32_t>(target);
        const size_t size = OurSave(jpeg, star).size();
        std::printf("  target %7lld bytes: %2d compressions, file %7zu bytes\n", static_cast<long long>(target),
                    jpeg.LastCompressions, size);
    }
    jpeg.TargetSize = 0;
}

}  // namespace

int main(int argc, char** argv) { return bench::RunThenSummarise(argc, argv, Summary); }
