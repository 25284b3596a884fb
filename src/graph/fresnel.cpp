#include "graph/fresnel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <system_error>
#include <thread>
#include <vector>

namespace fresnel {

namespace {

// Writes the terms of indices [first, last) into c and s.
void ComputeTerms(long double* c, long double* s, int first, int last) {
    constexpr long double pi = std::numbers::pi_v<long double>;
    for (int i = first; i < last; ++i) {
        const long double x = i;
        const long double arg = x * pi * x / 100000000.0L * 0.5L;
        c[i] = cosl(arg) / 10000.0L;
        s[i] = sinl(arg) / 10000.0L;
    }
}

}  // namespace

void ComputeFresnelTables(long double* c, long double* s, unsigned threads) {
    if (threads <= 1) {
        ComputeTerms(c, s, 0, kFresnelCount);
    } else {
        std::vector<std::thread> pool;
        pool.reserve(threads - 1);
        const int chunk = static_cast<int>((kFresnelCount + threads - 1) / threads);
        for (unsigned t = 1; t < threads; ++t) {
            const int first = std::min(kFresnelCount, static_cast<int>(t) * chunk);
            const int last = std::min(kFresnelCount, first + chunk);
            try {
                pool.emplace_back(ComputeTerms, c, s, first, last);
            } catch (const std::system_error&) {
                ComputeTerms(c, s, first, last);  // no thread to be had: do it here
            }
        }
        ComputeTerms(c, s, 0, std::min(kFresnelCount, chunk));
        for (auto& th : pool) th.join();
    }
    // The running sums, in index order: the only part whose order changes the bits.
    for (int i = 1; i < kFresnelCount; ++i) {
        c[i] = c[i - 1] + c[i];
        s[i] = s[i - 1] + s[i];
    }
}

unsigned DefaultBuildThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return std::clamp(n, 1u, 8u);
}

FresnelTableBuild::FresnelTableBuild() = default;

FresnelTableBuild::~FresnelTableBuild() {
    std::shared_future<void> f;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        f = done_;
    }
    if (f.valid()) f.wait();
}

void FresnelTableBuild::Start(unsigned threads) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (done_.valid()) return;
    if (threads == 0) threads = DefaultBuildThreads();
    auto build = [this, threads] {
        auto c = std::make_unique_for_overwrite<long double[]>(kFresnelCount);
        auto s = std::make_unique_for_overwrite<long double[]>(kFresnelCount);
        ComputeFresnelTables(c.get(), s.get(), threads);
        c_ = std::move(c);
        s_ = std::move(s);
        ready_.store(true, std::memory_order_release);
    };
    try {
        done_ = std::async(std::launch::async, build).share();
    } catch (const std::system_error&) {
        // No background thread: the first reader builds the tables.
        done_ = std::async(std::launch::deferred, build).share();
    }
}

bool FresnelTableBuild::Started() {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_.valid();
}

void FresnelTableBuild::Wait() {
    if (Ready()) return;
    Start();
    std::shared_future<void> f;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        f = done_;
    }
    f.get();  // rethrows a failed allocation to the reader
}

const long double* FresnelTableBuild::C() {
    Wait();
    return c_.get();
}

const long double* FresnelTableBuild::S() {
    Wait();
    return s_.get();
}

namespace {
FresnelTableBuild& ProgramTables() {
    static FresnelTableBuild tables;
    return tables;
}
}  // namespace

void StartFresnelTableBuild() { ProgramTables().Start(); }
void BuildFresnelTables() { ProgramTables().Wait(); }
bool FresnelTablesReady() { return ProgramTables().Ready(); }
bool FresnelTableBuildStarted() { return ProgramTables().Started(); }
const long double* FresnelC() { return ProgramTables().C(); }
const long double* FresnelS() { return ProgramTables().S(); }

}  // namespace fresnel
