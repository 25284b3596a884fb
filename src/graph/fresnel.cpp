#include "graph/fresnel.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <system_error>
#include <thread>
#include <vector>

namespace fresnel {

namespace {

// Writes the terms of indices [first, last) into c and s; stops early (false) once
// `abandon` is set.
bool ComputeTerms(long double* c, long double* s, int first, int last, const std::atomic<bool>* abandon) {
    constexpr long double pi = std::numbers::pi_v<long double>;
    for (int i = first; i < last; ++i) {
        if (abandon && i % 4096 == 0 && abandon->load(std::memory_order_relaxed)) return false;
        const long double x = i;
        const long double arg = x * pi * x / 100000000.0L * 0.5L;
        c[i] = cosl(arg) / 10000.0L;
        s[i] = sinl(arg) / 10000.0L;
    }
    return true;
}

// ComputeFresnelTables, given up (false) once `abandon` is set.
bool ComputeTables(long double* c, long double* s, unsigned threads, const std::atomic<bool>* abandon) {
    if (threads <= 1) {
        if (!ComputeTerms(c, s, 0, kFresnelCount, abandon)) return false;
    } else {
        std::vector<std::thread> pool;
        pool.reserve(threads - 1);
        const int chunk = static_cast<int>((kFresnelCount + threads - 1) / threads);
        for (unsigned t = 1; t < threads; ++t) {
            const int first = std::min(kFresnelCount, static_cast<int>(t) * chunk);
            const int last = std::min(kFresnelCount, first + chunk);
            try {
                pool.emplace_back(ComputeTerms, c, s, first, last, abandon);
            } catch (const std::system_error&) {
                ComputeTerms(c, s, first, last, abandon);  // no thread to be had: do it here
            }
        }
        ComputeTerms(c, s, 0, std::min(kFresnelCount, chunk), abandon);
        for (auto& th : pool) th.join();
    }
    // The running sums, in index order: the only part whose order changes the bits.
    for (int i = 1; i < kFresnelCount; ++i) {
        if (abandon && i % 4096 == 0 && abandon->load(std::memory_order_relaxed)) return false;
        c[i] = c[i - 1] + c[i];
        s[i] = s[i - 1] + s[i];
    }
    return !(abandon && abandon->load(std::memory_order_relaxed));
}

}  // namespace

void ComputeFresnelTables(long double* c, long double* s, unsigned threads) { ComputeTables(c, s, threads, nullptr); }

unsigned DefaultBuildThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return std::clamp(n, 1u, 8u);
}

FresnelTableBuild::FresnelTableBuild() = default;

FresnelTableBuild::~FresnelTableBuild() {
    abandon_.store(true);
    std::shared_future<void> f;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        f = done_;
    }
    if (f.valid()) f.wait();
}

void FresnelTableBuild::Publish(std::unique_ptr<long double[]>& c, std::unique_ptr<long double[]>& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    abandon_.store(true);  // a build still under way has nothing left to do
    if (Ready()) return;
    c_ = std::move(c);
    s_ = std::move(s);
    ready_.store(true, std::memory_order_release);
}

void FresnelTableBuild::Start(unsigned threads) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (done_.valid()) return;
    // The default build is a spare-time one: one thread at the lowest priority, so
    // that it does not compete with a run started at once; a reader who needs the
    // tables before it is done builds them at full speed.
    idle_ = threads == 0;
    if (threads == 0) threads = 1;
    auto build = [this, threads, idle = idle_] {
        if (idle) setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);  // this thread only
        auto c = std::make_unique_for_overwrite<long double[]>(kFresnelCount);
        auto s = std::make_unique_for_overwrite<long double[]>(kFresnelCount);
        if (ComputeTables(c.get(), s.get(), threads, &abandon_)) Publish(c, s);
    };
    try {
        done_ = std::async(std::launch::async, build).share();
    } catch (const std::system_error&) {
        // No background thread: the first reader builds the tables.
        done_ = std::async(std::launch::deferred, build).share();
        idle_ = false;
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
    bool idle;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        f = done_;
        idle = idle_;
    }
    if (idle) {
        // Rather than wait for the spare-time build: the same tables, here and now.
        auto c = std::make_unique_for_overwrite<long double[]>(kFresnelCount);
        auto s = std::make_unique_for_overwrite<long double[]>(kFresnelCount);
        ComputeTables(c.get(), s.get(), DefaultBuildThreads(), nullptr);
        Publish(c, s);
        return;
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
