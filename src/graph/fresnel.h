#pragma once
// Tables of the Fresnel integrals C and S for arguments 0 .. 240 in steps of
// 1/10000, as left-rectangle running sums that include the term at the argument
// itself (so FresnelC[0] = 0.0001, FresnelS[0] = 0). Every intensity of the
// diffraction model is a look-up in them.
//
// The two tables take 2,400,001 cosines and sines to build. The program starts the
// build on one background thread at the lowest priority when the main window is
// created (StartFresnelTableBuild), so that it takes only spare time; a reader who
// needs the tables before it is done (FresnelC/FresnelS) builds them itself on
// every core, and the background build stops.
// The terms may be computed on several threads, but the running sums are always
// added one after the other in index order, so the tables are bit-identical to a
// serial build whatever the thread count.
//
// Thread safety: StartFresnelTableBuild, BuildFresnelTables, FresnelC, FresnelS
// and FresnelTablesReady may be called from any thread. Once FresnelC or FresnelS
// has returned, the tables never change.
#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>

namespace fresnel {

constexpr int kFresnelLast = 2400000;             // last table index
constexpr int kFresnelCount = kFresnelLast + 1;   // entries per table
constexpr long double kFresnelStep = 0.0001L;     // argument step of the tables

// Fills c[0..kFresnelLast] and s[0..kFresnelLast]. `threads` is the number of
// threads computing terms (0 or 1: the calling thread alone).
void ComputeFresnelTables(long double* c, long double* s, unsigned threads);

// Threads a reader's build uses: the machine's cores, at most 8.
unsigned DefaultBuildThreads();

// One pair of tables built in the background. The program uses one instance
// through the functions below; benchmarks and tests make their own.
class FresnelTableBuild {
public:
    FresnelTableBuild();
    ~FresnelTableBuild();  // stops a build under way and waits for it
    FresnelTableBuild(const FresnelTableBuild&) = delete;
    FresnelTableBuild& operator=(const FresnelTableBuild&) = delete;

    // Starts the build on a background thread and returns at once; later calls
    // do nothing. threads 0: one thread at the lowest priority, readers not
    // waiting for it (see above); otherwise that many threads, readers waiting.
    void Start(unsigned threads = 0);
    // True once the tables are complete (never waits).
    bool Ready() const { return ready_.load(std::memory_order_acquire); }
    // True once Start has run.
    bool Started();
    // Waits until the tables are complete, starting the build when nobody has.
    void Wait();
    // The tables; each waits for the build first.
    const long double* C();
    const long double* S();

private:
    // Makes c and s the tables unless they are already there.
    void Publish(std::unique_ptr<long double[]>& c, std::unique_ptr<long double[]>& s);

    std::unique_ptr<long double[]> c_, s_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> abandon_{false};  // the tables are there, or the build goes: stop
    bool idle_ = false;                 // guarded by mutex_: the build runs in spare time
    std::mutex mutex_;
    std::shared_future<void> done_;  // declared last: joined before the tables go
};

// The program's tables. StartFresnelTableBuild is the main window's start-up
// step: it returns at once. BuildFresnelTables starts the build when needed and
// waits for it.
void StartFresnelTableBuild();
void BuildFresnelTables();
bool FresnelTablesReady();
// True once the build has been started (it may still be running).
bool FresnelTableBuildStarted();
// FresnelC()[i], FresnelS()[i] for i = 0 .. kFresnelLast; the first call waits for
// the build (starting it when nobody has).
const long double* FresnelC();
const long double* FresnelS();

}  // namespace fresnel
