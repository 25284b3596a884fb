// JPEG and BMP of the star frame (and the colour graph picture): our JPEG load and
// save against bare libjpeg-turbo calls with the same settings, our BMP load and
// save against QImage's BMP reader and writer, in the same run; then how many
// compressions the size-target search takes for a few targets. The summary
// prints time ratios ours / reference (best of several runs).
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
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

BENCHMARK(BM_JpegSave)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpSave)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void Summary() {
    std::printf("\n%-11s %11s %11s %11s %11s %9s\n", "picture", "jpeg save x", "jpeg load x", "bmp save x", "bmp load x",
                "jpeg ms");
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
        std::printf("%-11s %11.2f %11.2f %11.2f %11.2f %9.2f\n", c.name, jSave / jSaveRef, jLoad / jLoadRef, bSave / bSaveRef,
                    bLoad / bLoadRef, jSave / 1e6);
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
