// Points of a test's threads that one thread reaches and another waits for, so that a threaded
// test acts at a given point of the work and nothing depends on timing. Every wait has a generous
// bound, so that a fault fails the test instead of hanging it.
#pragma once

#include "view/file/BackgroundJob.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace threadtest {

// A generous bound for waits that end at once when the code is right.
constexpr auto kPatience = std::chrono::seconds(60);

// Counts up on one thread, waited for on another.
class Step {
public:
    void Reach(int n) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (n > at_) at_ = n;
        }
        changed_.notify_all();
    }
    // True once `n` is reached; false when the bound passed first.
    bool WaitFor(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return at_ >= n; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int at_ = 0;
};

// On the worker: spins until the work is asked to stop, within the bound; true when it was.
inline bool AwaitCancel(const kavlo::JobContext& context) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (!context.Cancelled()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace threadtest
