// The PSNR of two whole files on worker threads: the figures of the frames of a range in order,
// a run stopped by Cancel after the frame in progress, a frame that cannot be read, and the files
// that cannot be compared, each with its reason. The worker is held at its notification (the
// gate) wherever a test must act at a given point of the run, so that nothing depends on timing.
// These tests run under ThreadSanitizer too (scripts/test.sh).
#include "../common/ClipTestSupport.h"

#include "analysis/SequenceCompare.h"

#include "image/PixelLayout.h"
#include "analysis/SamplePsnr.h"
#include "TNCore.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

using namespace viewtest;
using kavlo::SequenceCompare;
using kavlo::SequenceRequest;
using kavlo::SequenceSnapshot;
using kavlo::SequenceStatus;

namespace {

// Holds the worker in its notification until the test releases it, call by call.
class Gate {
public:
    // On the worker: the n-th call waits until n calls have been released.
    void Hold() {
        std::unique_lock<std::mutex> lock(mutex_);
        const int call = ++calls_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_ >= call; });
    }
    void WaitForCalls(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return calls_ >= n; });
    }
    void Release(int n) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = n;
        }
        changed_.notify_all();
    }
    int Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int calls_ = 0;
    int released_ = 0;
};

class SequenceCompareRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_EQ(TNCoreInitialize(nullptr), TN_OK);
    }
    void TearDown() override {
        TNCoreClose();
        EXPECT_EQ(QuernLiveObjects(), 0);
    }
    Clip Make(const char* name, uint32_t code, int w, int h, int frames) {
        clipgen::ClipOptions o;
        o.code = code;
        o.width = w;
        o.height = h;
        o.frames = frames;
        return WriteClip(dir_.path(), QString::fromLatin1(name), o);
    }
    static SequenceRequest Request(const Clip& a, const Clip& b) {
        SequenceRequest r;
        r.a = {a.path, a.settings};
        r.b = {b.path, b.settings};
        return r;
    }
    // Runs to the end without a callback and returns the final state.
    static SequenceSnapshot RunToEnd(const SequenceRequest& request) {
        SequenceCompare run;
        EXPECT_TRUE(run.Start(request));
        run.Wait();
        return run.Snapshot();
    }

    QTemporaryDir dir_;
};

// The figures of frame n of A against frame n of B, from the clips' own bytes.
PsnrFigures Expected(const clipgen::ClipOptions& a, const clipgen::ClipOptions& b, int n) {
    std::vector<uint8_t> frameA, frameB;
    EXPECT_TRUE(clipgen::PackFrame(a, n, frameA));
    EXPECT_TRUE(clipgen::PackFrame(b, n, frameB));
    FrameSamples sa, sb;
    EXPECT_TRUE(DescribeSamples(a.code, a.width, a.height, clipgen::ClipLineBytes(a), sa));
    EXPECT_TRUE(DescribeSamples(b.code, b.width, b.height, clipgen::ClipLineBytes(b), sb));
    std::vector<uint64_t> sse;
    SumSquaredDifferences(sa, frameA.data(), sb, frameB.data(), sse);
    return FrameFigures(WeightsOf(sa), sse, sa);
}

}  // namespace

TEST_F(SequenceCompareRun, ComparesTheFramesOfTheRangeInOrderEachFileByItsOwnRecord) {
    // B is the same pictures coded with another matrix, 9 frames, each frame behind a prefix:
    // every frame differs from A's by its own amount, so a frame of B taken for another shows.
    Clip a = Make("a.yuv", kLayoutI420, 64, 32, 7);
    clipgen::ClipOptions ob = a.options;
    ob.frames = 9;
    ob.framePrefix = 24;
    ob.coding.matrix = clipgen::Matrix::BT709;
    ob.code = kLayoutNV12;
    Clip b = WriteClip(dir_.path(), QStringLiteral("b.nv12"), ob);

    SequenceRequest request = Request(a, b);
    request.first = 2;
    request.last = 5;
    SequenceCompare run;
    ASSERT_TRUE(run.Start(request));
    EXPECT_FALSE(run.Start(request)) << "one run per instance";
    run.Wait();
    const SequenceSnapshot s = run.Snapshot();
    ASSERT_EQ(s.status, SequenceStatus::Done) << s.error.toStdString();
    EXPECT_EQ(s.framesA, 7);
    EXPECT_EQ(s.framesB, 9);
    EXPECT_EQ(s.first, 2);
    EXPECT_EQ(s.total, 4);
    EXPECT_EQ(s.done, 4);
    EXPECT_TRUE(s.notice.contains(QStringLiteral("the first 7 are compared")))
        << s.notice.toStdString();
    std::vector<PsnrFigures> figures;
    run.CopyFigures(1, figures);
    ASSERT_EQ(figures.size(), 3u);
    for (int n = 3; n <= 5; ++n) {
        const PsnrFigures want = Expected(a.options, ob, n);
        const PsnrFigures& got = figures[static_cast<size_t>(n - 3)];
        EXPECT_EQ(got.mse, want.mse) << "frame " << n;
        EXPECT_EQ(got.mseAverage, want.mseAverage) << "frame " << n;
    }
    EXPECT_NE(figures[0].mseAverage, figures[2].mseAverage) << "the frames differ";
    ASSERT_EQ(run.Samples().components.size(), 3u);
    EXPECT_EQ(run.Samples().components[1].component, Component::Cb);

    // Without a range: every common frame.
    const SequenceSnapshot whole = RunToEnd(Request(a, b));
    EXPECT_EQ(whole.status, SequenceStatus::Done);
    EXPECT_EQ(whole.total, 7);
    EXPECT_EQ(whole.done, 7);
}

TEST_F(SequenceCompareRun, CancelStopsAfterTheFrameInProgressAndKeepsTheFramesDone) {
    Clip a = Make("a.yuv", kLayoutI420, 64, 32, 40);
    Clip b = Make("b.yuv", kLayoutYV12, 64, 32, 40);
    Gate gate;
    SequenceCompare run([&gate] { gate.Hold(); });
    ASSERT_TRUE(run.Start(Request(a, b)));
    gate.WaitForCalls(1);  // the files are open: the run is about to compare
    EXPECT_EQ(run.Snapshot().status, SequenceStatus::Running);
    gate.Release(1);
    gate.WaitForCalls(2);  // frame 0 is published
    run.Cancel();
    gate.Release(1000);
    run.Wait();
    const SequenceSnapshot s = run.Snapshot();
    EXPECT_EQ(s.status, SequenceStatus::Cancelled);
    EXPECT_EQ(s.done, 1);
    EXPECT_EQ(s.total, 40);
    std::vector<PsnrFigures> figures;
    run.CopyFigures(0, figures);
    EXPECT_EQ(figures.size(), 1u);

    // Destroyed in the middle of a run: the destructor cancels and waits, and no notification
    // comes afterwards.
    Gate second;
    auto early = std::make_unique<SequenceCompare>([&second] { second.Hold(); });
    ASSERT_TRUE(early->Start(Request(a, b)));
    second.WaitForCalls(1);
    second.Release(1000);
    early.reset();
    EXPECT_EQ(second.Calls(), 1) << "a notification not taken up by a Snapshot is not repeated";
}

TEST_F(SequenceCompareRun, AFrameThatCannotBeReadStopsTheRunThereAndSaysWhich) {
    Clip a = Make("a.yuv", kLayoutI420, 64, 32, 6);
    Clip b = Make("b.yuv", kLayoutI420, 64, 32, 6);
    Gate gate;
    SequenceCompare run([&gate] { gate.Hold(); });
    ASSERT_TRUE(run.Start(Request(a, b)));
    gate.WaitForCalls(1);
    // A loses all but its first two frames after it was opened.
    const qint64 frameBytes = 64 * 32 * 3 / 2;
    ASSERT_TRUE(QFile::resize(a.path, 2 * frameBytes));
    gate.Release(1000);
    run.Wait();
    const SequenceSnapshot s = run.Snapshot();
    EXPECT_EQ(s.status, SequenceStatus::Failed);
    EXPECT_EQ(s.done, 2);
    EXPECT_TRUE(s.error.contains(QStringLiteral("frame 2 of A"))) << s.error.toStdString();
    EXPECT_TRUE(s.error.contains(QStringLiteral("a.yuv"))) << s.error.toStdString();
}

TEST_F(SequenceCompareRun, FilesThatCannotBeComparedFailWithTheReason) {
    Clip a = Make("a.yuv", kLayoutI420, 64, 32, 3);
    struct Case {
        const char* what;
        SequenceRequest request;
        const char* reason;
    };
    SequenceRequest missing = Request(a, a);
    missing.b.fileName = dir_.filePath(QStringLiteral("gone.yuv"));
    SequenceRequest pastTheEnd = Request(a, Make("b.yuv", kLayoutI420, 64, 32, 5));
    pastTheEnd.first = 1;
    pastTheEnd.last = 3;
    const Case cases[] = {
        {"missing file", missing, "B ("},
        {"sizes", Request(a, Make("small.yuv", kLayoutI420, 32, 32, 3)), "frame sizes differ"},
        {"subsampling", Request(a, Make("c.uyvy", kLayoutUYVY, 64, 32, 3)), "different positions"},
        {"depth", Request(a, Make("d.p010", kLayoutP010, 64, 32, 3)), "bit depths"},
        {"range", pastTheEnd, "3 frames in common"},
    };
    for (const Case& c : cases) {
        const SequenceSnapshot s = RunToEnd(c.request);
        EXPECT_EQ(s.status, SequenceStatus::Failed) << c.what;
        EXPECT_EQ(s.done, 0) << c.what;
        EXPECT_TRUE(s.error.contains(QString::fromLatin1(c.reason)))
            << c.what << ": " << s.error.toStdString();
    }
}

// An offset k: A's frame n against B's frame n + k, over A's frames that have one; an offset
// that leaves none fails with the reason.
TEST_F(SequenceCompareRun, AnOffsetComparesFrameNWithFrameNPlusK) {
    Clip a = Make("a.yuv", kLayoutI420, 64, 32, 7);
    FrameSamples s;
    ASSERT_TRUE(DescribeSamples(kLayoutI420, 64, 32, clipgen::ClipLineBytes(a.options), s));
    for (const int k : {2, -3, 0}) {
        SCOPED_TRACE(k);
        SequenceRequest request = Request(a, a);
        request.offset = k;
        SequenceCompare run;
        ASSERT_TRUE(run.Start(request));
        run.Wait();
        const SequenceSnapshot snap = run.Snapshot();
        ASSERT_EQ(snap.status, SequenceStatus::Done) << snap.error.toStdString();
        EXPECT_EQ(snap.first, std::max(0, -k));
        EXPECT_EQ(snap.total, 7 - std::abs(k));
        if (k != 0) {
            EXPECT_TRUE(snap.notice.contains(QStringLiteral("B's frame = A's frame")));
        }
        std::vector<PsnrFigures> figures;
        run.CopyFigures(0, figures);
        ASSERT_EQ(figures.size(), size_t(snap.total));
        for (int i = 0; i < snap.total; ++i) {
            const int n = int(snap.first) + i;
            std::vector<uint8_t> frameA, frameB;
            ASSERT_TRUE(clipgen::PackFrame(a.options, n, frameA));
            ASSERT_TRUE(clipgen::PackFrame(a.options, n + k, frameB));
            std::vector<uint64_t> sse;
            SumSquaredDifferences(s, frameA.data(), s, frameB.data(), sse);
            EXPECT_EQ(figures[size_t(i)].mse, FrameFigures(WeightsOf(s), sse, s).mse) << n;
            EXPECT_EQ(std::isinf(figures[size_t(i)].psnrAverage), k == 0) << n;
        }
    }
    SequenceRequest none = Request(a, a);
    none.offset = 7;
    const SequenceSnapshot failed = RunToEnd(none);
    EXPECT_EQ(failed.status, SequenceStatus::Failed);
    EXPECT_TRUE(failed.error.contains(QStringLiteral("No frame of A has one in B")))
        << failed.error.toStdString();
}
