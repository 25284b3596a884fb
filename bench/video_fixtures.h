#pragma once
// Test videos of the reader benchmarks: 8 s of ffmpeg's test pattern per codec,
// made in a temporary folder that is removed at the end of the run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace bench {

struct Codec {
    const char* name;
    const char* encode;  // ffmpeg output options
    const char* size;
    const char* rate;
    int gop;  // frames between key frames (1 for intra-only)
};

inline constexpr double kFixtureSeconds = 8;

inline std::string& FixtureFolder() {
    static std::string folder;
    return folder;
}

inline std::string FileOf(const Codec& c) { return FixtureFolder() + "/" + c.name + ".avi"; }

inline double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Makes every codec's video, lets `add` register its benchmarks, runs them and
// removes the videos. Returns the program's exit status.
template <size_t N>
int RunWithFixtures(int argc, char** argv, const Codec (&codecs)[N], const std::function<void(const Codec&)>& add) {
    char tmpl[] = "/tmp/tevorin_bench_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    FixtureFolder() = tmpl;
    for (const Codec& c : codecs) {
        const std::string cmd = std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=") + c.size + ":r=" +
                                c.rate + ":d=" + std::to_string(kFixtureSeconds) + " " + c.encode + " '" + FileOf(c) + "'";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "could not make the %s test file (is ffmpeg installed?)\n", c.name);
            std::filesystem::remove_all(FixtureFolder());
            return 1;
        }
        add(c);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(FixtureFolder());
    return 0;
}

}  // namespace bench
