#include "view/file/BackgroundJob.h"

#include <utility>

namespace kavlo {

void JobContext::Report(int64_t done, int64_t total) {
    JobState report;
    report.done = done;
    report.total = total;
    job_.Publish(&report, false);
}

void JobContext::Notify() { job_.Publish(nullptr, false); }

BackgroundJob::BackgroundJob(std::function<void()> notify) : notify_(std::move(notify)) {}

BackgroundJob::~BackgroundJob() {
    Cancel();
    Wait();
}

bool BackgroundJob::Start(Work work) {
    if (worker_.joinable() || !work) return false;
    cancel_ = false;
    notified_ = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = JobState();
    }
    worker_ = std::thread([this, work = std::move(work)] {
        JobContext context(cancel_, *this);
        work(context);
        Publish(nullptr, true);
    });
    return true;
}

void BackgroundJob::Cancel() { cancel_ = true; }

void BackgroundJob::Wait() {
    if (worker_.joinable()) worker_.join();
}

JobState BackgroundJob::State() const {
    // Cleared before the state is read: whatever is published after this read calls again.
    notified_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void BackgroundJob::Publish(const JobState* report, bool returned) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (report) {
            state_.done = report->done;
            state_.total = report->total;
        }
        if (returned) state_.returned = true;
    }
    if (notify_ && !notified_.exchange(true)) notify_();
}

}  // namespace kavlo
