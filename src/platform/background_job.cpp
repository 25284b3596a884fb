#include "platform/background_job.h"

#include <QCoreApplication>
#include <QTimer>
#include <exception>

#include "platform/activity.h"
#include "platform/dialogs.h"

struct BackgroundJob::State {
    JobProgress progress;
    std::atomic<bool> finished{false};
    // Written by the thread before `finished`, read after it.
    bool failed = false;
    std::string error;
};

BackgroundJob::BackgroundJob(QObject* owner, int pollMs, std::string activity)
    : timer_(new QTimer(owner)), activity_(std::move(activity)) {
    OnFailure = [](const std::string& what) { Dialogs().ShowError("The calculation failed: " + what); };
    timer_->setInterval(pollMs);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { Poll(); });
}

BackgroundJob::~BackgroundJob() {
    Stop();
    delete timer_;
}

bool BackgroundJob::StartErased(std::function<void(JobProgress&)> work, std::function<void()> deliver) {
    if (thread_) return false;
    state_ = std::make_shared<State>();
    deliver_ = std::move(deliver);
    if (!activity_.empty()) activity::Begin(activity_);
    activity::Begin(kAnyJob);
    thread_ = std::make_unique<std::thread>([state = state_, work = std::move(work)] {
        try {
            work(state->progress);
        } catch (const std::exception& e) {
            state->failed = true;
            state->error = e.what();
        } catch (...) {
            state->failed = true;
            state->error = "unknown error";
        }
        state->finished.store(true, std::memory_order_release);
    });
    timer_->start();
    return true;
}

void BackgroundJob::Join() {
    timer_->stop();
    thread_->join();
    thread_.reset();
}

void BackgroundJob::Poll() {
    if (!thread_) return;
    // Finished is read first: the work reports its last progress before it ends, so
    // the bar then shows the final count.
    const bool finished = state_->finished.load(std::memory_order_acquire);
    if (OnProgress) {
        // Position before maximum: work sets its maximum before it counts towards it,
        // so a position read here never goes with the maximum from before.
        const int position = state_->progress.position;
        const int total = state_->progress.total;
        OnProgress(position, total);
    }
    if (!finished) return;
    Join();
    const std::shared_ptr<State> state = std::move(state_);
    const std::function<void()> deliver = std::move(deliver_);
    deliver_ = nullptr;
    const std::string activity = activity_;
    if (OnFinish) OnFinish();
    if (state->failed) {
        if (OnFailure) OnFailure(state->error);
    } else {
        deliver();
    }
    // Waiters see the result from here on.
    if (!activity.empty()) activity::End(activity);
    activity::End(kAnyJob);
}

void BackgroundJob::WaitFor() {
    while (thread_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (thread_ && state_->finished.load(std::memory_order_acquire)) Poll();
    }
}

void BackgroundJob::Stop() {
    if (!thread_) return;
    state_->progress.cancel = true;
    Join();
    state_.reset();
    deliver_ = nullptr;
    if (!activity_.empty()) activity::End(activity_);
    activity::End(kAnyJob);
}
