// One piece of work on a thread of its own, beside its owner: progress, cancel, and an end that
// the owner learns of through one callback, without a widget (the window's side, which brings
// the result to the window's thread, is app/common/WindowJob.h). The histogram, the export of
// frames, the figures of the frame shown and the PSNR of whole files all run this way.
//
// Threads and locks:
//   - Every public member of BackgroundJob is for the owner's thread (one thread). Start() starts
//     the worker and returns at once; Cancel() returns at once; Wait() and the destructor join the
//     worker. The destructor cancels first, so it waits at most for the work to see the flag: no
//     worker outlives its job, and the callback never runs after the destructor returned.
//   - The work runs on the worker thread with a JobContext: Cancelled() (an atomic flag, set by
//     Cancel()), Report() (progress, under mutex_) and Notify(). It must not touch its owner's
//     widgets; what it reads of the owner must outlive the job (hold the job as the owner's last
//     member, so that it is destroyed, and joined, first).
//   - The notify callback runs on the worker thread with no lock held, after a report and once
//     the work has returned; it must only schedule (post to the owner's thread). It runs again
//     only after the owner has read the state (State()), so that a burst of reports makes one
//     call; the call after the work's return always comes unless one is still unread, and the
//     owner's next State() then sees the end.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace kavlo {

class BackgroundJob;

// What the owner sees of a run.
struct JobState {
    int64_t done = 0;   // the last report
    int64_t total = 0;  // 0 until the work says
    bool returned = false;
};

// What the work sees of its job.
class JobContext {
public:
    // Whether the owner asked the work to stop; the work checks it between its steps.
    bool Cancelled() const { return cancel_.load(); }
    // Publishes the progress and notifies the owner.
    void Report(int64_t done, int64_t total);
    // Notifies the owner without a report (the work published state of its own).
    void Notify();

private:
    friend class BackgroundJob;
    JobContext(std::atomic<bool>& cancel, BackgroundJob& job) : cancel_(cancel), job_(job) {}
    std::atomic<bool>& cancel_;
    BackgroundJob& job_;
};

class BackgroundJob {
public:
    using Work = std::function<void(JobContext&)>;

    explicit BackgroundJob(std::function<void()> notify = {});
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Runs `work` on a new worker thread and returns at once. One run at a time: false while the
    // last run has not been waited for (Wait()). A new run starts with its state and the cancel
    // flag cleared.
    bool Start(Work work);
    // Asks the work to stop; returns at once.
    void Cancel();
    bool CancelRequested() const { return cancel_.load(); }
    // Waits until the work has returned and its thread has ended (at once when none runs).
    void Wait();
    // A run was started and not waited for.
    bool Started() const { return worker_.joinable(); }
    // The state of the run; re-arms the notify callback.
    JobState State() const;

private:
    friend class JobContext;
    void Publish(const JobState* report, bool returned);

    std::function<void()> notify_;
    std::atomic<bool> cancel_{false};
    mutable std::atomic<bool> notified_{false};
    std::thread worker_;
    mutable std::mutex mutex_;
    JobState state_;  // guarded by mutex_
};

}  // namespace kavlo
