// Work beside a window: a BackgroundJob (view/file/BackgroundJob.h) whose progress and result
// arrive on the thread of the object that holds it, the window's. The histogram panel, the export
// of frames and the figures of the frame shown run their work through one of these.
//
// Threads and locks:
//   - Every member is for the thread the WindowJob was created on (the window's). Run() starts
//     the work on a worker thread and returns at once; `done` and Progress are called on this
//     thread, from its event loop, never from within Run() or Cancel().
//   - The work runs on the worker thread: it must touch no widget, and should read only what it
//     was given (copies). It sees its JobContext: Cancelled() between its steps, Report() for the
//     progress.
//   - The destructor cancels and waits for the worker: no worker outlives its WindowJob, and no
//     `done` or Progress is delivered after it (the posts still queued go with the object). Hold
//     the WindowJob as the last member of its owner, so that it goes, and joins, before anything
//     the work or `done` reads.
#pragma once

#include "view/file/BackgroundJob.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace kavlo {

class WindowJob : public QObject {
    Q_OBJECT
public:
    explicit WindowJob(QObject* parent = nullptr);
    ~WindowJob() override;

    // Runs `work(JobContext&)` on a worker thread; when it has returned, `done(result)` gets its
    // result on this object's thread. One run at a time: false (and nothing started) while a run
    // is busy. A run cancelled still delivers what its work returned.
    template <class Work, class Done>
    bool Run(Work work, Done done) {
        using Result = std::invoke_result_t<Work&, JobContext&>;
        // Written by the worker, read here after it has been joined.
        auto result = std::make_shared<std::optional<Result>>();
        return Begin([work = std::move(work),
                      result](JobContext& context) mutable { result->emplace(work(context)); },
                     [done = std::move(done), result]() mutable { done(std::move(**result)); });
    }
    // Asks the running work to stop; returns at once (`done` still comes).
    void Cancel();
    bool CancelRequested() const { return job_.CancelRequested(); }
    // A run has started and its result has not been delivered yet.
    bool Busy() const { return busy_; }

Q_SIGNALS:
    // The work's last report, on this object's thread (a burst of reports arrives as one).
    void Progress(qint64 done, qint64 total);

private:
    bool Begin(BackgroundJob::Work work, std::function<void()> deliver);
    // Posted by the worker by name: the post then makes no object on the worker that this thread
    // reads (the toolkit's queue, which ThreadSanitizer does not see into, carries it).
    Q_INVOKABLE void Check();

    BackgroundJob job_;
    std::function<void()> deliver_;
    JobState shown_;
    bool busy_ = false;
};

}  // namespace kavlo
