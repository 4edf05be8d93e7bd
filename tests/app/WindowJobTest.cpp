// Work beside a window: its progress and result arrive on the window's thread, `done` may start
// the next run, and the owner's destruction while the work runs stops the work, waits for it and
// delivers nothing, for the job alone and for each window part that runs work this way (the
// histogram, the export, the figures of the frame shown, the PSNR of all frames). These tests run
// under ThreadSanitizer too (label "threads").
#include "app/analysis/AnalysisTools.h"
#include "app/analysis/ExportFramesDlg.h"
#include "app/analysis/HistogramDock.h"
#include "app/common/Commands.h"
#include "app/common/WindowJob.h"
#include "app/compare/CompareTools.h"
#include "app/compare/PsnrSequenceWindow.h"
#include "app/open/RecentFileList.h"
#include "app/window/ViewerDlg.h"

#include "../common/ThreadSteps.h"
#include "ShellTestSupport.h"
#include "image/PixelLayout.h"
#include "view/VideoBuffer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

using namespace kavlo;
using threadtest::AwaitCancel;
using threadtest::Step;

namespace {

// Runs the event loop until `done` holds, within a generous bound; false when it never did.
bool SpinUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// Whatever the event loop still holds, handled.
void Drain() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

}  // namespace

TEST(WindowJobTest, ResultAndProgressArriveOnTheWindowsThreadAndDoneMayRunAgain) {
    WindowJob job;
    std::vector<std::pair<qint64, qint64>> progress;
    bool progressHere = true;
    QObject::connect(&job, &WindowJob::Progress, [&](qint64 done, qint64 total) {
        progress.emplace_back(done, total);
        progressHere = progressHere && QThread::currentThread() == qApp->thread();
    });
    std::thread::id worker;
    std::vector<int> results;
    bool doneHere = true;
    auto onDone = [&](int result) {
        doneHere = doneHere && QThread::currentThread() == qApp->thread();
        results.push_back(result);
        // The next run, started from the delivery of the last (as the histogram does).
        if (results.size() == 1) {
            EXPECT_TRUE(
                job.Run([](JobContext&) { return 2; }, [&](int r) { results.push_back(r); }));
        }
    };
    ASSERT_TRUE(job.Run(
        [&](JobContext& context) {
            worker = std::this_thread::get_id();
            context.Report(1, 2);
            context.Report(2, 2);
            return 1;
        },
        onDone));
    EXPECT_TRUE(job.Busy());
    EXPECT_FALSE(job.Run([](JobContext&) { return 0; }, [](int) {})) << "one run at a time";
    EXPECT_TRUE(results.empty()) << "delivered from the event loop, never within Run";
    ASSERT_TRUE(SpinUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (std::vector<int>{1, 2}));
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_TRUE(doneHere);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), (std::pair<qint64, qint64>(2, 2)))
        << "the last report arrives, a burst as one";
    EXPECT_TRUE(progressHere);
    EXPECT_FALSE(job.Busy());
}

TEST(WindowJobTest, DestroyedWhileWorkingStopsWaitsAndDeliversNothing) {
    auto job = std::make_unique<WindowJob>();
    Step started;
    std::atomic<bool> sawCancel{false}, returned{false};
    bool delivered = false, progressed = false;
    QObject::connect(job.get(), &WindowJob::Progress, [&] { progressed = true; });
    ASSERT_TRUE(job->Run(
        [&](JobContext& context) {
            started.Reach(1);
            sawCancel = AwaitCancel(context);
            context.Report(1, 1);
            returned = true;
            return 0;
        },
        [&](int) { delivered = true; }));
    ASSERT_TRUE(started.WaitFor(1));
    job.reset();
    EXPECT_TRUE(sawCancel);
    EXPECT_TRUE(returned) << "the worker has ended before the destructor returns";
    Drain();
    EXPECT_FALSE(delivered);
    EXPECT_FALSE(progressed);
}

// ---- The window's parts ---------------------------------------------------------------------

namespace {

enum class Part { Histogram, Export, CompareFigures, AllFramesPsnr };

const char* PartName(Part p) {
    switch (p) {
    case Part::Histogram: return "Histogram";
    case Part::Export: return "Export";
    case Part::CompareFigures: return "CompareFigures";
    case Part::AllFramesPsnr: return "AllFramesPsnr";
    }
    return "?";
}

constexpr int kW = 160;
constexpr int kH = 120;
constexpr int kFrames = 12;

class OwnerGone : public ::testing::TestWithParam<Part> {};

}  // namespace

// The window closes while the part's work runs (or its result waits in the event loop): the
// work stops, its thread is waited for and nothing reaches the parts that are gone (the
// sanitizers see any access to them).
TEST_P(OwnerGone, WhileThePartWorksNothingOutlivesIt) {
    shelltest::ClearSettings();
    auto dlg = std::make_unique<CTNViewerDlg>();
    const QString a = shelltest::Clip(QStringLiteral("owner_a.raw"), kLayoutI420, kW, kH, kFrames);
    ASSERT_FALSE(a.isEmpty());
    RawSettings s = shelltest::SettingsFor(kLayoutI420, kW, kH);
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, a, error, 0), 0) << error.toStdString();
    dlg->AfterOpen(a, s);
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    QTemporaryDir dir;
    QObject witness;
    bool delivered = false;
    const auto reference = [&] {
        const QString b =
            shelltest::Clip(QStringLiteral("owner_b.raw"), kLayoutI420, kW, kH, kFrames);
        dlg->RecentFiles()->Add(b, sizeof s, &s);
        ASSERT_TRUE(dlg->Compare()->OpenReference(b));
    };
    switch (GetParam()) {
    case Part::Histogram: {
        HistogramDock* dock = dlg->Analysis()->Histogram();
        dlg->OnCommand(CmdHistogram);
        ASSERT_TRUE(dock->isVisible());
        ASSERT_TRUE(dock->Busy());
        QObject::connect(dock, &HistogramDock::StatisticsReady, &witness,
                         [&] { delivered = true; });
        break;
    }
    case Part::Export: {
        ExportRequest r = dlg->Analysis()->BaseExportRequest();
        r.first = 0;
        r.last = kFrames - 1;
        r.folder = dir.path();
        r.pattern = QStringLiteral("gone_%03d.png");
        ASSERT_TRUE(ExportJob::Start(r, dlg.get()));
        ASSERT_NE(ExportJob::Running(), nullptr);
        QObject::connect(ExportJob::Running(), &ExportJob::Finished, &witness,
                         [&] { delivered = true; });
        break;
    }
    case Part::CompareFigures:
        reference();
        dlg->Compare()->Refresh();
        ASSERT_TRUE(dlg->Compare()->FiguresBusy());
        break;
    case Part::AllFramesPsnr: {
        reference();
        dlg->OnCommand(CmdPsnrAllFrames);
        PsnrSequenceWindow* w = PsnrSequenceOf(dlg.get());
        ASSERT_NE(w, nullptr);
        ASSERT_FALSE(w->State().Ended());
        QObject::connect(w, &PsnrSequenceWindow::finished, &witness, [&] { delivered = true; });
        break;
    }
    }
    dlg.reset();
    Drain();
    EXPECT_FALSE(delivered);
    EXPECT_EQ(ExportJob::Running(), nullptr);
    // What the export wrote before it stopped is whole: no temporary file stays.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        EXPECT_TRUE(name.startsWith(QStringLiteral("gone_")) && name.endsWith(".png"))
            << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(EveryPart, OwnerGone,
                         ::testing::Values(Part::Histogram, Part::Export, Part::CompareFigures,
                                           Part::AllFramesPsnr),
                         [](const ::testing::TestParamInfo<Part>& p) { return PartName(p.param); });
