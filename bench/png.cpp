// PNG save and load of the star frame and the graph picture: ours (default filter
// choice -1, and -3) against QImage's libpng writer and reader on the same
// pictures in the same run. After the Google Benchmark runs a summary prints the
// time and size ratios (best of several runs).
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <cstdio>
#include <string>

#include "bench_pictures.h"
#include "imagefile/PNGLoader.h"
#include "reference_timing.h"

using namespace imagefile;

namespace {

using Case = bench::PictureCase;
const std::vector<Case>& Cases() { return bench::PictureCases(); }

std::string OurSave(const TLinearBitmap& b, int mode) {
    PNGLoader().FilterMode = mode;
    TMemStream mem;
    PNGLoader().SaveToStream(mem, "PNG", b);
    PNGLoader().FilterMode = -1;
    return mem.ToString();
}

QByteArray QtSave(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void OurLoad(const std::string& bytes, TLinearBitmap& b) {
    TMemStream mem;
    mem.Write(bytes.data(), bytes.size());
    mem.Seek(0);
    PNGLoader().LoadFromStream(mem, "PNG", b);
}

void BM_OurSave(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    for (auto _ : state) benchmark::DoNotOptimize(OurSave(c.bitmap, static_cast<int>(state.range(1))));
    state.SetLabel(std::string(c.name) + " mode " + std::to_string(state.range(1)));
}
void BM_QtSave(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    for (auto _ : state) benchmark::DoNotOptimize(QtSave(c.image));
    state.SetLabel(c.name);
}
void BM_OurLoad(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    const std::string bytes = OurSave(c.bitmap, -1);
    TLinearBitmap b;
    for (auto _ : state) OurLoad(bytes, b);
    state.SetLabel(c.name);
}
void BM_QtLoad(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    const QByteArray bytes = QByteArray::fromStdString(OurSave(c.bitmap, -1));
    for (auto _ : state) benchmark::DoNotOptimize(QImage::fromData(bytes, "PNG"));
    state.SetLabel(c.name);
}

BENCHMARK(BM_OurSave)->ArgsProduct({{0, 1}, {-1, -3}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtSave)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void Summary() {
    std::printf("\n%-11s %9s %9s %9s %9s %9s %9s %9s\n", "picture", "size -1 x", "save -1 x", "size -3 x", "save -3 x",
                "load x", "load Qt x", "ours ms");
    for (const Case& c : Cases()) {
        const std::string ours = OurSave(c.bitmap, -1), best = OurSave(c.bitmap, -3);
        const QByteArray theirs = QtSave(c.image);
        TLinearBitmap b;
        OurLoad(ours, b);
        if (std::memcmp(b.Map, c.bitmap.Map, c.bitmap.Size) != 0) std::printf("our round trip is WRONG\n");
        if (QImage::fromData(QByteArray::fromStdString(ours), "PNG").convertToFormat(QImage::Format_RGB888) != c.image)
            std::printf("libpng reads our file WRONG\n");
        const auto once = [](auto&& f) { return bench::BestNsPerCall([&](int) { f(); }, 1, 7); };
        const double tSave = once([&] { OurSave(c.bitmap, -1); }), tSave3 = once([&] { OurSave(c.bitmap, -3); });
        const double tQtSave = once([&] { QtSave(c.image); });
        const double tLoad = once([&] { OurLoad(ours, b); });
        const QByteArray oursQ = QByteArray::fromStdString(ours);
        const double tQtLoad = once([&] { benchmark::DoNotOptimize(QImage::fromData(oursQ, "PNG")); });
        // libpng reading its own file, for the other side of the load comparison.
        const double tQtLoadOwn = once([&] { benchmark::DoNotOptimize(QImage::fromData(theirs, "PNG")); });
        std::printf("%-11s %9.3f %9.2f %9.3f %9.2f %9.2f %9.2f %9.2f\n", c.name, double(ours.size()) / theirs.size(),
                    tSave / tQtSave, double(best.size()) / theirs.size(), tSave3 / tQtSave, tLoad / tQtLoad,
                    tQtLoadOwn / tQtLoad, tSave / 1e6);
    }
    std::printf("size x: our file / libpng's (QImage, default level); save x: our time / libpng's; load x: our load "
                "of our file / libpng's load of it; load Qt x: libpng loading its own file / our file\n");
}

}  // namespace

int main(int argc, char** argv) { return bench::RunThenSummarise(argc, argv, Summary); }
