// The runner behind the windows' long work: progress reaches the GUI thread, the
// result is handed over once and in order, a cancel or a destruction writes
// nothing, and work that throws is reported rather than ending the program.
#include <gtest/gtest.h>

#include <QObject>
#include <QTimer>
#include <stdexcept>
#include <thread>

#include "platform/activity.h"
#include "platform/background_job.h"
#include "platform/dialogs.h"

namespace {

// Blocks the work until the test lets it go.
struct Gate {
    std::atomic<bool> open{false};
    void Wait(const JobProgress& p) const {
        while (!open && !p.cancel) std::this_thread::yield();
    }
};

bool TimerActive(const QObject& owner) {
    for (const QTimer* t : owner.findChildren<QTimer*>())
        if (t->isActive()) return true;
    return false;
}

}  // namespace

TEST(BackgroundJob, ProgressThenFinishThenResultThenActivityEnd) {
    QObject owner;
    BackgroundJob job(&owner, 5, "job-test");
    std::vector<std::string> calls;
    int lastPosition = -1, lastTotal = -1;
    job.OnProgress = [&](int position, int total) {
        lastPosition = position;
        lastTotal = total;
    };
    job.OnFinish = [&] { calls.push_back(activity::Busy("job-test") ? "finish busy" : "finish idle"); };
    Gate gate;
    ASSERT_TRUE(job.Start<int>(
        [&gate](JobProgress& p) {
            p.total = 40;
            p.position = 17;
            gate.Wait(p);
            p.position = 40;
            return 42;
        },
        [&](int& r) { calls.push_back("done " + std::to_string(r) + (activity::Busy("job-test") ? " busy" : " idle")); }));
    EXPECT_TRUE(job.Running());
    EXPECT_TRUE(activity::Busy("job-test"));
    // The poll timer is the owner's child, so a script waiting for the window's timers waits for the work.
    EXPECT_TRUE(TimerActive(owner));
    // A second start while one runs is refused and changes nothing.
    EXPECT_FALSE(job.Start<int>([](JobProgress&) { return 0; }, [&](int&) { calls.push_back("second"); }));
    while (lastPosition != 17) job.Poll();
    EXPECT_EQ(lastTotal, 40);
    EXPECT_TRUE(calls.empty());
    gate.open = true;
    job.WaitFor();
    EXPECT_FALSE(job.Running());
    EXPECT_FALSE(TimerActive(owner));
    EXPECT_FALSE(activity::Busy("job-test"));
    // The last poll shows the final count before the result is handed over.
    EXPECT_EQ(lastPosition, 40);
    EXPECT_EQ(calls, (std::vector<std::string>{"finish busy", "done 42 busy"}));
    // The runner takes new work after the first has been handed over.
    ASSERT_TRUE(job.Start<std::string>([](JobProgress&) { return std::string("again"); },
                                       [&](std::string& r) { calls.push_back(r); }));
    job.WaitFor();
    EXPECT_EQ(calls.back(), "again");
}

TEST(BackgroundJob, StopCancelsTheWorkAndHandsNothingOver) {
    QObject owner;
    BackgroundJob job(&owner, 5, "job-test");
    bool finished = false, delivered = false;
    job.OnFinish = [&] { finished = true; };
    std::atomic<bool> sawCancel{false};
    ASSERT_TRUE(job.Start<int>(
        [&](JobProgress& p) {
            Gate never;
            never.Wait(p);
            sawCancel = p.cancel.load();
            return 1;
        },
        [&](int&) { delivered = true; }));
    job.Stop();
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(job.Running());
    EXPECT_FALSE(finished);
    EXPECT_FALSE(delivered);
    EXPECT_FALSE(TimerActive(owner));
    EXPECT_FALSE(activity::Busy("job-test"));
    job.Stop();  // stopping nothing is harmless
    job.WaitFor();
    EXPECT_FALSE(delivered);
}

TEST(BackgroundJob, WorkThatThrowsIsReportedNotDelivered) {
    ScriptedDialogs dialogs;
    dialogs.Install();
    QObject owner;
    BackgroundJob job(&owner, 5, "job-test");
    bool finished = false, delivered = false;
    job.OnFinish = [&] { finished = true; };
    ASSERT_TRUE(job.Start<int>([](JobProgress&) -> int { throw std::runtime_error("out of memory for the table"); },
                               [&](int&) { delivered = true; }));
    job.WaitFor();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(delivered);
    EXPECT_FALSE(activity::Busy("job-test"));
    // By default an error box says what went wrong.
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error")[0], "The calculation failed: out of memory for the table");
    // A window may take the failure itself; something thrown that is not an exception is reported too.
    std::string reported;
    job.OnFailure = [&](const std::string& what) { reported = what; };
    ASSERT_TRUE(job.Start<int>([](JobProgress&) -> int { throw 7; }, [&](int&) { delivered = true; }));
    job.WaitFor();
    EXPECT_EQ(reported, "unknown error");
    EXPECT_FALSE(delivered);
    EXPECT_EQ(dialogs.Texts("error").size(), 1u);
}

TEST(BackgroundJob, DestroyedWhileRunningStopsTheWorkSafely) {
    QObject owner;
    std::atomic<bool> sawCancel{false};
    bool delivered = false;
    {
        BackgroundJob job(&owner, 5, "job-test");
        ASSERT_TRUE(job.Start<std::vector<int>>(
            [&](JobProgress& p) {
                std::vector<int> big(1000, 1);
                Gate never;
                never.Wait(p);
                sawCancel = p.cancel.load();
                return big;
            },
            [&](std::vector<int>&) { delivered = true; }));
        EXPECT_TRUE(activity::Busy("job-test"));
    }
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(delivered);
    EXPECT_FALSE(activity::Busy("job-test"));
    // The runner's timer went with it.
    EXPECT_TRUE(owner.findChildren<QTimer*>().empty());
}

// Work without a name of its own (a noise-reduction or correction pass) is still
// waited for: every piece holds the common activity until its result is shown,
// and gives it up when stopped, failed, or when two run and each ends.
TEST(BackgroundJob, EveryPieceOfWorkHoldsTheCommonActivity) {
    ScriptedDialogs dialogs;
    dialogs.Install();
    QObject owner;
    BackgroundJob unnamed(&owner, 5), named(&owner, 5, "job-test");
    ASSERT_FALSE(activity::Busy(BackgroundJob::kAnyJob));
    bool seenBusy = false;
    Gate gate;
    ASSERT_TRUE(unnamed.Start<int>(
        [&gate](JobProgress& p) {
            gate.Wait(p);
            return 1;
        },
        [&](int&) { seenBusy = activity::Busy(BackgroundJob::kAnyJob); }));
    ASSERT_TRUE(named.Start<int>([](JobProgress&) { return 2; }, [](int&) {}));
    EXPECT_TRUE(activity::Busy(BackgroundJob::kAnyJob));
    named.WaitFor();
    EXPECT_TRUE(activity::Busy(BackgroundJob::kAnyJob));  // the unnamed one still runs
    gate.open = true;
    unnamed.WaitFor();
    EXPECT_TRUE(seenBusy);  // until the result has been shown
    EXPECT_FALSE(activity::Busy(BackgroundJob::kAnyJob));

    ASSERT_TRUE(unnamed.Start<int>([](JobProgress& p) {
        Gate never;
        never.Wait(p);
        return 0;
    }, [](int&) {}));
    unnamed.Stop();
    EXPECT_FALSE(activity::Busy(BackgroundJob::kAnyJob));
    ASSERT_TRUE(unnamed.Start<int>([](JobProgress&) -> int { throw std::runtime_error("no"); }, [](int&) {}));
    unnamed.WaitFor();
    EXPECT_FALSE(activity::Busy(BackgroundJob::kAnyJob));
}
