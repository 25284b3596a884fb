// Our raw deflate and inflate against zlib (level 6) on three inputs: a 720 x 576
// star-field frame as PNG rows hold it (Sub filter, R,G,B), a graph-like picture
// and 10 MB of results-table text. After the Google Benchmark runs, a summary
// prints the size and time ratios measured side by side (best of several runs).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_pictures.h"
#include "imagefile/Deflate.h"
#include "reference_timing.h"

using namespace imagefile;

namespace {

// PNG rows of the star frame with the Sub filter, of the graph unfiltered.
std::string StarFrameRows() {
    const bench::RgbPicture p = bench::StarFramePicture();
    const size_t row = static_cast<size_t>(p.width) * 3;
    std::string rows;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* line = &p.rgb[y * row];
        rows += '\x01';  // Sub filter
        for (size_t i = 0; i < row; ++i) rows += static_cast<char>(line[i] - (i >= 3 ? line[i - 3] : 0));
    }
    return rows;
}

std::string GraphRows() {
    const bench::RgbPicture p = bench::GraphPicture();
    const size_t row = static_cast<size_t>(p.width) * 3;
    std::string rows;
    for (int y = 0; y < p.height; ++y) {
        rows += '\0';
        rows.append(reinterpret_cast<const char*>(&p.rgb[y * row]), row);
    }
    return rows;
}

std::string TextTable() {
    std::mt19937 rng(3);
    std::string s;
    char row[256];
    for (int frame = 0; s.size() < 10u * 1000 * 1000; ++frame) {
        const double flux = 12000 + 300 * std::sin(frame * 0.01) + static_cast<int>(rng() % 400);
        std::snprintf(row, sizeof row, "%d,%d,12:%02d:%06.3f,%.1f,%.1f,%.3f,%.3f,%d,%d,%.1f,%.1f\r\n", frame, frame * 2,
                      (frame / 1500) % 60, (frame % 1500) * 0.04, flux, 1830.0 + rng() % 90, 312.4 + (rng() % 100) * 0.01,
                      240.7 + (rng() % 100) * 0.01, 5, 12, flux / 2, 611.0 + rng() % 50);
        s += row;
    }
    return s;
}

struct Input {
    const char* name;
    std::string data;
};
const std::vector<Input>& Inputs() {
    static const std::vector<Input> inputs = {
        {"star_frame", StarFrameRows()}, {"graph", GraphRows()}, {"text_10MB", TextTable()}};
    return inputs;
}

std::string OurDeflate(const std::string& data) {
    TMemStream mem;
    TDeflateStream d(&mem, 1, TDeflateStream::kDynamic);
    d.Write(data.data(), data.size());
    d.Finish();
    return mem.ToString();
}

std::string ZDeflate(const std::string& data, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

size_t OurInflate(const std::string& raw, std::string& out, bool readAhead = true) {
    TMemStream mem;
    mem.Write(raw.data(), raw.size());
    mem.Seek(0);
    TDeflateStream d(&mem, 0);
    d.ExactIO = false;
    d.ReadAhead = readAhead;
    return d.Read(out.data(), out.size());
}

size_t ZInflate(const std::string& raw, std::string& out) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return z.total_out;
}

void BM_OurDeflate(benchmark::State& state) {
    const Input& in = Inputs()[state.range(0)];
    size_t size = 0;
    for (auto _ : state) size = OurDeflate(in.data).size();
    state.SetLabel(in.name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.data.size()));
    state.counters["out_bytes"] = static_cast<double>(size);
}

void BM_ZlibDeflate6(benchmark::State& state) {
    const Input& in = Inputs()[state.range(0)];
    size_t size = 0;
    for (auto _ : state) size = ZDeflate(in.data, 6).size();
    state.SetLabel(in.name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.data.size()));
    state.counters["out_bytes"] = static_cast<double>(size);
}

void BM_OurInflate(benchmark::State& state) {
    const Input& in = Inputs()[state.range(0)];
    const std::string raw = ZDeflate(in.data, 6);
    std::string out(in.data.size(), '\0');
    for (auto _ : state) benchmark::DoNotOptimize(OurInflate(raw, out));
    state.SetLabel(in.name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.data.size()));
}

void BM_OurInflateExactInput(benchmark::State& state) {
    const Input& in = Inputs()[state.range(0)];
    const std::string raw = ZDeflate(in.data, 6);
    std::string out(in.data.size(), '\0');
    for (auto _ : state) benchmark::DoNotOptimize(OurInflate(raw, out, false));
    state.SetLabel(in.name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.data.size()));
}

void BM_ZlibInflate(benchmark::State& state) {
    const Input& in = Inputs()[state.range(0)];
    const std::string raw = ZDeflate(in.data, 6);
    std::string out(in.data.size(), '\0');
    for (auto _ : state) benchmark::DoNotOptimize(ZInflate(raw, out));
    state.SetLabel(in.name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.data.size()));
}

BENCHMARK(BM_OurDeflate)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate6)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurInflate)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurInflateExactInput)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

double BestSeconds(const std::function<void()>& f, int runs) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void Summary() {
    std::printf("\n%-11s %10s %10s %10s %9s %9s %9s %9s %9s %9s\n", "input", "bytes", "ours", "zlib6", "size x",
                "deflate x", "ours MB/s", "zlib MB/s", "inflate x", "exact x");
    for (const Input& in : Inputs()) {
        const std::string ours = OurDeflate(in.data), theirs = ZDeflate(in.data, 6);
        const int runs = in.data.size() > 5000000 ? 3 : 7;
        const double tOurs = BestSeconds([&] { OurDeflate(in.data); }, runs);
        const double tZlib = BestSeconds([&] { ZDeflate(in.data, 6); }, runs);
        std::string out(in.data.size(), '\0');
        if (OurInflate(theirs, out) != in.data.size() || out != in.data) std::printf("our inflate is WRONG\n");
        const double iOurs = BestSeconds([&] { OurInflate(theirs, out); }, runs);
        const double iExact = BestSeconds([&] { OurInflate(theirs, out, false); }, runs);
        const double iZlib = BestSeconds([&] { ZInflate(theirs, out); }, runs);
        const double mb = in.data.size() / 1e6;
        std::printf("%-11s %10zu %10zu %10zu %9.3f %9.2f %9.0f %9.0f %9.2f %9.2f\n", in.name, in.data.size(),
                    ours.size(), theirs.size(), double(ours.size()) / theirs.size(), tOurs / tZlib, mb / iOurs,
                    mb / iZlib, iZlib / iOurs, iZlib / iExact);
    }
    std::printf("size x: our size / zlib 6 size; deflate x: our time / zlib 6 time; inflate x: our throughput / "
                "zlib's (reading ahead); exact x: the same taking only the input bytes needed\n");
}

}  // namespace

int main(int argc, char** argv) { return bench::RunThenSummarise(argc, argv, Summary); }
