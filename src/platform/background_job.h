#pragma once
// One piece of long work (a pass, a fit, a search, a batch) on its own thread,
// watched by a window from the GUI thread.
//
// - The work gets a copy of its inputs (the lambda's captures) and a JobProgress it
//   reports to and reads the cancel request from; it returns its result by value.
// - A poll timer on the GUI thread hands the progress to OnProgress. Once the work
//   has returned, the thread is joined and, in this order: OnFinish, then the
//   result to the `done` given to Start, then the named activity (if any) ends, so
//   that a script waiting for it sees the result shown.
// - Work that throws is reported instead of a result: OnFinish, then OnFailure with
//   the exception's text (by default an error box).
// - Stop cancels, waits for the thread, drops the result and calls nothing: the
//   window writes nothing. Destruction stops the same way, so a window may be
//   freed while its work runs.
// - One piece of work at a time: Start while one runs is refused.
// The poll timer is a child of the owner, so "wait timer WINDOW" waits for the work.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class QObject;
class QTimer;

// What a running piece of work shares with its window: the bar's position and
// maximum (0: the maximum the window set) and the cancel request.
struct JobProgress {
    std::atomic<int> position{0};
    std::atomic<int> total{0};
    std::atomic<bool> cancel{false};
};

class BackgroundJob {
public:
    // The activity every piece of work holds besides its own name, with the same
    // timing: a script that waits for it waits for all the long work there is.
    static constexpr const char* kAnyJob = "job";

    // `activity`: the activity::Busy name the work holds while it runs and until its
    // result is shown ("" for none).
    explicit BackgroundJob(QObject* owner, int pollMs = 30, std::string activity = {});
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // GUI thread, every poll: the position and maximum the work reported.
    std::function<void(int position, int total)> OnProgress;
    // GUI thread, once the work has ended by itself (result or failure), before
    // anything else is handed over: where controls come back.
    std::function<void()> OnFinish;
    // GUI thread: the work threw; the text of what it threw.
    std::function<void(const std::string& what)> OnFailure;

    // Starts `work` on a thread; `done` gets its result on the GUI thread.
    template <class R>
    bool Start(std::function<R(JobProgress&)> work, std::function<void(R&)> done) {
        auto result = std::make_shared<R>();
        return StartErased([result, work = std::move(work)](JobProgress& p) { *result = work(p); },
                           [result, done = std::move(done)] {
                               if (done) done(*result);
                           });
    }

    // True from Start until the result has been handed over or the work stopped.
    bool Running() const { return thread_ != nullptr; }
    // What the poll timer does: progress, and the result once the work has returned.
    void Poll();
    // Runs the event loop until the work has ended and its result been handed over.
    void WaitFor();
    // Cancels and waits; nothing is handed over.
    void Stop();

private:
    bool StartErased(std::function<void(JobProgress&)> work, std::function<void()> deliver);
    void Join();

    QTimer* timer_;
    std::string activity_;
    std::unique_ptr<std::thread> thread_;
    // Shared with the thread, which may still be writing them until it is joined.
    struct State;
    std::shared_ptr<State> state_;
    std::function<void()> deliver_;
};
