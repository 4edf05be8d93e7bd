// Work on a thread of its own beside its owner: the job's destruction cancels the work and waits
// for it, a burst of reports makes one notification until the owner reads the state (the end
// always reaches the owner), and each run starts afresh. The work waits for the test at fixed
// points (the step), so that nothing depends on timing. These tests run under ThreadSanitizer
// too (label "threads").
#include "view/file/BackgroundJob.h"

#include "../common/ThreadSteps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using kavlo::BackgroundJob;
using kavlo::JobContext;
using kavlo::JobState;

using threadtest::AwaitCancel;
using threadtest::Step;

TEST(BackgroundJobTest, DestroyedWhileWorkingCancelsAndWaitsForTheWork) {
    Step started;
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> returned{false};
    std::atomic<int> notifications{0};
    auto job = std::make_unique<BackgroundJob>([&] { ++notifications; });
    ASSERT_TRUE(job->Start([&](JobContext& context) {
        started.Reach(1);
        sawCancel = AwaitCancel(context);
        // Still working a little after the flag: the destructor must wait for this too.
        std::this_thread::yield();
        returned = true;
    }));
    ASSERT_TRUE(started.WaitFor(1));
    job.reset();
    EXPECT_TRUE(sawCancel) << "the destructor asks the work to stop";
    EXPECT_TRUE(returned) << "the destructor waits until the work has returned";
    EXPECT_EQ(notifications, 1) << "the end is told, before the destructor returns";
}

TEST(BackgroundJobTest, ABurstOfReportsNotifiesOnceUntilTheOwnerReads) {
    Step work, owner, told;
    std::atomic<int> notifications{0};
    BackgroundJob job([&] { told.Reach(++notifications); });
    ASSERT_TRUE(job.Start([&](JobContext& context) {
        context.Report(1, 3);
        context.Report(2, 3);
        work.Reach(1);
        ASSERT_TRUE(owner.WaitFor(1));
        context.Report(3, 3);
        work.Reach(2);
        ASSERT_TRUE(owner.WaitFor(2));
    }));
    ASSERT_TRUE(work.WaitFor(1));
    EXPECT_EQ(notifications, 1) << "the second report finds the first unread";
    JobState state = job.State();
    EXPECT_EQ(state.done, 2);
    EXPECT_EQ(state.total, 3);
    EXPECT_FALSE(state.returned);
    owner.Reach(1);
    ASSERT_TRUE(work.WaitFor(2));
    EXPECT_EQ(notifications, 2) << "read, the state notifies again";
    state = job.State();
    EXPECT_EQ(state.done, 3);
    owner.Reach(2);
    // The end notifies although nothing was reported since the last read.
    ASSERT_TRUE(told.WaitFor(3));
    job.Wait();
    state = job.State();
    EXPECT_TRUE(state.returned);
    EXPECT_EQ(state.done, 3);
    EXPECT_EQ(notifications, 3);
}

TEST(BackgroundJobTest, OneRunAtATimeAndEachStartsAfresh) {
    Step first;
    BackgroundJob job;
    ASSERT_TRUE(job.Start([&](JobContext& context) {
        context.Report(5, 9);
        first.Reach(1);
        AwaitCancel(context);
    }));
    ASSERT_TRUE(first.WaitFor(1));
    EXPECT_FALSE(job.Start([](JobContext&) {})) << "the first run has not been waited for";
    job.Cancel();
    job.Wait();
    EXPECT_TRUE(job.State().returned);
    EXPECT_FALSE(job.Started());

    Step second;
    std::atomic<bool> cancelledAtStart{true};
    ASSERT_TRUE(job.Start([&](JobContext& context) {
        cancelledAtStart = context.Cancelled();
        second.Reach(1);
        ASSERT_TRUE(second.WaitFor(2));
    }));
    ASSERT_TRUE(second.WaitFor(1));
    EXPECT_FALSE(cancelledAtStart) << "the cancel of the last run does not stop the next";
    const JobState state = job.State();
    EXPECT_EQ(state.done, 0) << "the last run's progress is gone";
    EXPECT_FALSE(state.returned);
    second.Reach(2);
    job.Wait();
    EXPECT_TRUE(job.State().returned);
}
