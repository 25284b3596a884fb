// PCX and metafiles of the star frame (and the graph picture) against the BMP
// loader on the same pictures in the same run: PCX save and load against BMP save
// and load; playing an EMF and a WMF holding the picture as one bitmap record
// against loading its BMP. The summary prints time ratios ours / BMP's (best of
// several runs) and the file sizes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_pictures.h"
#include "imagefile/BMPLoader.h"
#include "imagefile/PCXLoader.h"
#include "imagefile/WMFLoader.h"
#include "reference_timing.h"

using namespace imagefile;

namespace {

using Case = bench::PictureCase;
const std::vector<Case>& Cases() { return bench::PictureCases(); }

std::string Save(TBitmapLoader& loader, const TLinearBitmap& b, const char* ext) {
    TMemStream mem;
    loader.SaveToStream(mem, ext, b);
    return mem.ToString();
}

void Load(TBitmapLoader& loader, const std::string& bytes, const char* ext, TLinearBitmap& b) {
    TMemStream mem;
    mem.Write(bytes.data(), bytes.size());
    mem.Seek(0);
    loader.LoadFromStream(mem, ext, b);
}

void BM_PcxSave(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    for (auto _ : state) benchmark::DoNotOptimize(Save(PCXLoader(), c.bitmap, "PCX"));
    state.SetLabel(c.name);
}
void BM_PcxLoad(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    const std::string bytes = Save(PCXLoader(), c.bitmap, "PCX");
    TLinearBitmap b;
    for (auto _ : state) Load(PCXLoader(), bytes, "PCX", b);
    state.SetLabel(c.name);
}
void BM_EmfPlay(benchmark::State& state) {
    const Case& c = Cases()[state.range(0)];
    const std::string bytes = Save(WMFLoader(), c.bitmap, "EMF");
    TLinearBitmap b;
    for (auto _ : state) Load(WMFLoader(), bytes, "EMF", b);
    state.SetLabel(c.name);
}

BENCHMARK(BM_PcxSave)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxLoad)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmfPlay)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

void Summary() {
    std::printf("\n%-11s %11s %11s %11s %11s %9s %9s %9s %9s\n", "picture", "pcx save x", "pcx load x", "emf play x",
                "wmf play x", "pcx bytes", "bmp bytes", "bmp ld ms", "emf ms");
    for (const Case& c : Cases()) {
        const std::string pcx = Save(PCXLoader(), c.bitmap, "PCX"), bmp = Save(BMPLoader(), c.bitmap, "BMP");
        const std::string emf = Save(WMFLoader(), c.bitmap, "EMF"), wmf = Save(WMFLoader(), c.bitmap, "WMF");
        TLinearBitmap b;
        Load(PCXLoader(), pcx, "PCX", b);
        if (b.Width != c.bitmap.Width) std::printf("PCX read back WRONG\n");
        const auto once = [](auto&& f) { return bench::BestNsPerCall([&](int) { f(); }, 3, 9); };
        const double pSave = once([&] { Save(PCXLoader(), c.bitmap, "PCX"); });
        const double bSave = once([&] { Save(BMPLoader(), c.bitmap, "BMP"); });
        const double pLoad = once([&] { Load(PCXLoader(), pcx, "PCX", b); });
        const double bLoad = once([&] { Load(BMPLoader(), bmp, "BMP", b); });
        const double ePlay = once([&] { Load(WMFLoader(), emf, "EMF", b); });
        const double wPlay = once([&] { Load(WMFLoader(), wmf, "WMF", b); });
        std::printf("%-11s %11.2f %11.2f %11.2f %11.2f %9zu %9zu %9.3f %9.3f\n", c.name, pSave / bSave, pLoad / bLoad,
                    ePlay / bLoad, wPlay / bLoad, pcx.size(), bmp.size(), bLoad / 1e6, ePlay / 1e6);
    }
    std::printf("x: our time / the BMP loader's on the same picture (save against save, the rest against a BMP load)\n");
}

}  // namespace

int main(int argc, char** argv) { return bench::RunThenSummarise(argc, argv, Summary); }
