#include "app/common/WindowJob.h"

#include <QPointer>

namespace kavlo {

WindowJob::WindowJob(QObject* parent)
    : QObject(parent), job_([this] {
          // On the worker thread: only a post. A post still queued when this object goes is
          // removed with it.
          QMetaObject::invokeMethod(this, "Check", Qt::QueuedConnection);
      }) {}

WindowJob::~WindowJob() {
    // Joined here, while the object is whole: the worker's last post is made before the join
    // returns, and dropped with the object.
    job_.Cancel();
    job_.Wait();
}

bool WindowJob::Begin(BackgroundJob::Work work, std::function<void()> deliver) {
    if (busy_) return false;
    // The previous run's worker has returned (its result was delivered): its thread ends now.
    job_.Wait();
    if (!job_.Start(std::move(work))) return false;
    busy_ = true;
    deliver_ = std::move(deliver);
    shown_ = JobState();
    return true;
}

void WindowJob::Cancel() {
    if (busy_) job_.Cancel();
}

void WindowJob::Check() {
    // A post of an earlier run may come after its result: it finds nothing to do, or the state of
    // the run that followed.
    if (!busy_) return;
    const JobState state = job_.State();
    if (state.done != shown_.done || state.total != shown_.total) {
        shown_ = state;
        const QPointer<WindowJob> alive(this);
        Q_EMIT Progress(state.done, state.total);
        if (!alive || !busy_) return;
    }
    if (!state.returned) return;
    job_.Wait();
    busy_ = false;
    // `done` may start the next run, or delete the owner and this object with it.
    const std::function<void()> deliver = std::move(deliver_);
    deliver_ = nullptr;
    deliver();
}

}  // namespace kavlo
