// The whole-file PSNR window: where the plot puts frames and values (infinite PSNR, a single
// frame, every frame equal), the window running to its summary and export on the offscreen
// platform (pointer and keyboard), Cancel and Escape stopping a run, one window per main window,
// and the CSV written whole or not at all. The run's tests also run under ThreadSanitizer
// (scripts/test.sh).
#include "ShellTestSupport.h"

#include "app/compare/PsnrSequencePlot.h"
#include "app/compare/PsnrSequenceWindow.h"
#include "image/PixelLayout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <limits>

using kavlo::PsnrPlot;
using kavlo::PsnrPlotScale;
using kavlo::PsnrSequenceWindow;
using kavlo::SequenceRequest;
using kavlo::SequenceStatus;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

PsnrFigures Figures(double average, std::vector<double> components) {
    PsnrFigures f;
    f.psnrAverage = average;
    f.psnr = std::move(components);
    f.mse.assign(f.psnr.size(), 1.0);
    f.mseAverage = 1.0;
    return f;
}

SequenceRequest Request(const QString& a, const QString& b, uint32_t codeB = kLayoutI420,
                        int widthB = 64) {
    SequenceRequest r;
    r.a = {a, shelltest::SettingsFor(kLayoutI420, 64, 32)};
    r.b = {b, shelltest::SettingsFor(codeB, widthB, 32)};
    return r;
}

// Waits for the window's run to end (it may have ended already).
void WaitForEnd(PsnrSequenceWindow& window) {
    if (window.State().Ended()) return;
    QSignalSpy finished(&window, &PsnrSequenceWindow::finished);
    ASSERT_TRUE(finished.wait(60000));
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A 64 x 32 I420 clip of 1000 frames: ten generated frames a hundred times over.
QString LongClip(const QString& name) {
    const QString path = shelltest::Clip(name, kLayoutI420, 64, 32, 10);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadWrite)) return QString();
    const QByteArray ten = file.readAll();
    for (int i = 1; i < 100; ++i) file.write(ten);
    return path;
}

QColor PixelAt(const QImage& image, double x, double y) {
    return image.pixelColor(static_cast<int>(x), static_cast<int>(y));
}

}  // namespace

TEST(PsnrPlotScaleTest, FramesTakeColumnsAndValuesTheFittedRangeWithInfinityAboveIt) {
    const QRectF area(50, 30, 200, 100);
    const std::vector<PsnrFigures> frames = {Figures(31.5, {30.2, 41.0}), Figures(kInf, {kInf, 38}),
                                             Figures(35, {33, kInf}), Figures(36, {35, 39})};
    const PsnrPlotScale s = PsnrPlotScale::Fit(area, 10, 4, frames);
    // The finite values 30.2 .. 41 widened to whole steps; infinity takes no part.
    EXPECT_LE(s.low, 30.2);
    EXPECT_GT(s.low, 25);
    EXPECT_GE(s.high, 41);
    EXPECT_LT(s.high, 46);
    EXPECT_DOUBLE_EQ(s.Y(s.high), area.top());
    EXPECT_DOUBLE_EQ(s.Y(s.low), area.bottom());
    EXPECT_LT(s.Y(38), s.Y(33)) << "higher PSNR higher up";
    EXPECT_LT(s.Y(kInf), area.top());
    EXPECT_GT(s.Y(kInf), area.top() - s.infinityBand);
    // Frame 10 .. 13 in four columns of 50 pixels, drawn at their centres.
    EXPECT_DOUBLE_EQ(s.X(10), 75);
    EXPECT_DOUBLE_EQ(s.X(13), 225);
    EXPECT_EQ(s.FrameAt(50), 10);
    EXPECT_EQ(s.FrameAt(99.9), 10);
    EXPECT_EQ(s.FrameAt(100), 11);
    EXPECT_EQ(s.FrameAt(249.9), 13);
    EXPECT_EQ(s.FrameAt(0), 10) << "clamped to the range";
    EXPECT_EQ(s.FrameAt(1000), 13);
    const double step = s.TickStep(5);
    EXPECT_GE((s.high - s.low) / step, 1.0);
    EXPECT_LE((s.high - s.low) / step, 5.0 + 1e-9);

    // A single frame lies in the middle; a single value in the middle of a 2 dB range.
    const PsnrPlotScale one = PsnrPlotScale::Fit(area, 7, 1, {Figures(40, {40, 40})});
    EXPECT_DOUBLE_EQ(one.X(7), area.center().x());
    EXPECT_EQ(one.FrameAt(area.left()), 7);
    EXPECT_EQ(one.FrameAt(area.right()), 7);
    EXPECT_DOUBLE_EQ(one.Y(40), area.center().y());

    // Every frame equal to its reference: no finite value, a default range, all at the top.
    const PsnrPlotScale equal =
        PsnrPlotScale::Fit(area, 0, 3, {Figures(kInf, {kInf}), Figures(kInf, {kInf})});
    EXPECT_LT(equal.low, equal.high);
    EXPECT_TRUE(std::isfinite(equal.low) && std::isfinite(equal.high));
    EXPECT_DOUBLE_EQ(equal.Y(kInf), equal.InfinityY());
    // Every frame with the same finite figures: a value inside the range, not on an edge.
    const PsnrPlotScale flat =
        PsnrPlotScale::Fit(area, 0, 3, {Figures(35, {35}), Figures(35, {35})});
    EXPECT_GT(flat.Y(35), area.top());
    EXPECT_LT(flat.Y(35), area.bottom());
}

TEST(PsnrPlotScaleTest, ThePaintedPlotPutsPointsWhereTheScaleSays) {
    PsnrPlot plot;
    plot.resize(400, 240);
    const std::vector<PsnrFigures> frames = {Figures(30, {30}), Figures(kInf, {kInf}),
                                             Figures(40, {40})};
    plot.SetData({QStringLiteral("y")}, 0, 3, &frames);
    plot.SetCurrentFrame(2);
    const QImage image = plot.grab().toImage();
    const PsnrPlotScale s = plot.Scale();
    const QColor average = kavlo::PsnrSeriesColour(QString());
    const QColor background = PixelAt(image, s.area.left() + 2, s.area.bottom() - 2);
    // The identical frame's marker in the band above, in the average's colour (drawn last).
    EXPECT_EQ(PixelAt(image, s.X(1), s.InfinityY()), average);
    EXPECT_EQ(PixelAt(image, s.X(1), s.InfinityY() - 8),
              PixelAt(image, s.X(1) + 20, s.InfinityY() - 8))
        << "nothing above the marker";
    // The finite frames on the line; no line through the infinite frame's column below the band.
    EXPECT_NE(PixelAt(image, s.X(0), s.Y(30)), background);
    EXPECT_EQ(PixelAt(image, s.X(1), s.area.center().y()), background);
    // The current frame's mark runs down its column.
    EXPECT_NE(PixelAt(image, s.X(2), s.area.bottom() - 4), background);
    EXPECT_EQ(PixelAt(image, s.X(0), s.area.bottom() - 4), background);
}

TEST(PsnrSequenceWindowRun, RunsToTheSummaryFollowsThePointerAndExportsTheCsv) {
    QTemporaryDir dir;
    const QString a = shelltest::Clip(QStringLiteral("psnr_a.yuv"), kLayoutI420, 64, 32, 6);
    const QString b = shelltest::Clip(QStringLiteral("psnr_b.yuv"), kLayoutYV12, 64, 32, 5);
    ASSERT_FALSE(a.isEmpty() || b.isEmpty());
    SequenceRequest request = Request(a, b, kLayoutYV12);
    PsnrSequenceWindow window(request, nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    WaitForEnd(window);
    ASSERT_EQ(window.State().status, SequenceStatus::Done) << window.State().error.toStdString();
    EXPECT_EQ(window.ProgressLabel()->text(), QStringLiteral("5 / 5 frames"));
    EXPECT_EQ(window.ProgressBar()->value(), 1000);
    EXPECT_TRUE(window.StatusLabel()->text().contains(QStringLiteral("the first 5 are compared")))
        << window.StatusLabel()->text().toStdString();
    // The same pictures in another plane order: identical, said as the tool says it.
    EXPECT_TRUE(window.SummaryLabel()->text().startsWith(QStringLiteral("PSNR y:inf cb:inf")))
        << window.SummaryLabel()->text().toStdString();
    EXPECT_TRUE(window.SummaryLabel()->text().endsWith(QStringLiteral("frames:5")));
    EXPECT_FALSE(window.CancelButton()->isEnabled());
    EXPECT_TRUE(window.ExportButton()->isEnabled());

    // Pointing at frame 3 shows its figures; a click chooses it.
    PsnrPlot* plot = window.Plot();
    const PsnrPlotScale s = plot->Scale();
    const QPoint at(static_cast<int>(s.X(3)), static_cast<int>(s.area.center().y()));
    QSignalSpy chosen(&window, &PsnrSequenceWindow::frameChosen);
    // Sent directly: a move to where the test cursor already is would not arrive.
    QMouseEvent move(QEvent::MouseMove, QPointF(at), plot->mapToGlobal(QPointF(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    EXPECT_TRUE(window.HoverLabel()->text().startsWith(QStringLiteral("Frame 3: average inf dB")))
        << window.HoverLabel()->text().toStdString();
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.front().front().toLongLong(), 3);
    window.SetCurrentFrame(4);
    EXPECT_EQ(plot->CurrentFrame(), 4);
    // The same from the keyboard.
    QTest::keyClick(plot, Qt::Key_End);
    QTest::keyClick(plot, Qt::Key_Left);
    EXPECT_TRUE(window.HoverLabel()->text().startsWith(QStringLiteral("Frame 3:")));
    QTest::keyClick(plot, Qt::Key_Return);
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(chosen.back().front().toLongLong(), 3);

    // Export: written whole; an existing file is kept unless replacing was agreed; a missing
    // folder and a full disk are said, leaving nothing behind.
    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    QString error;
    ASSERT_TRUE(window.ExportCsv(csv, false, error)) << error.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), window.CsvText());
    file.close();
    EXPECT_TRUE(window.CsvText().rfind("frame,mse_avg,mse_y,mse_cb,mse_cr,psnr_avg,", 0) == 0);
    ASSERT_TRUE(QFile::resize(csv, 3));
    EXPECT_FALSE(window.ExportCsv(csv, false, error));
    EXPECT_TRUE(error.contains(QStringLiteral("exists already"))) << error.toStdString();
    EXPECT_EQ(QFileInfo(csv).size(), 3);
    EXPECT_TRUE(window.ExportCsv(csv, true, error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(csv).size(), static_cast<qint64>(window.CsvText().size()));
    EXPECT_FALSE(window.ExportCsv(dir.filePath(QStringLiteral("no/such/out.csv")), false, error));
    EXPECT_TRUE(error.contains(QStringLiteral("does not exist"))) << error.toStdString();

    const QString full = dir.filePath(QStringLiteral("full.csv"));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 100;  // a file size limit stands in for a full disk (EFBIG)
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = window.ExportCsv(full, false, error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_TRUE(error.contains(full)) << error.toStdString();
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("out.csv")}) << "no leftovers";

    // Through the button: the name asked for, and an existing file replaced only on Yes.
    const QByteArray before = [&] {
        QFile f(csv);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    ASSERT_TRUE(QFile::resize(csv, 3));
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        shelltest::OnNextModal([csv, answer](QWidget* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            ASSERT_NE(files, nullptr);
            shelltest::OnNextModal([answer](QWidget* box) {
                auto* question = qobject_cast<QMessageBox*>(box);
                ASSERT_NE(question, nullptr);
                question->button(answer)->click();
            });
            files->selectFile(csv);
            QMetaObject::invokeMethod(files, "accept");
        });
        window.ExportButton()->click();
        EXPECT_EQ(QFileInfo(csv).size(), answer == QMessageBox::No ? 3 : before.size());
    }
}

TEST(PsnrSequenceWindowRun, CancelAndEscapeStopTheRun) {
    const QString a = LongClip(QStringLiteral("long_a.yuv"));
    const QString b = LongClip(QStringLiteral("long_b.yuv"));
    ASSERT_FALSE(a.isEmpty() || b.isEmpty());
    PsnrSequenceWindow window(Request(a, b), nullptr);
    window.show();
    window.CancelButton()->click();
    WaitForEnd(window);
    EXPECT_EQ(window.State().status, SequenceStatus::Cancelled);
    EXPECT_LT(static_cast<int64_t>(window.Figures().size()), int64_t{1000});
    EXPECT_TRUE(window.StatusLabel()->text().startsWith(QStringLiteral("Cancelled")))
        << window.StatusLabel()->text().toStdString();
    EXPECT_FALSE(window.CancelButton()->isEnabled());
    EXPECT_EQ(window.ExportButton()->isEnabled(), !window.Figures().empty());

    // Escape closes the window in the middle of a run; closing it deletes it, which stops and
    // waits for the run.
    QWidget main;
    QPointer<PsnrSequenceWindow> shown =
        kavlo::ShowPsnrSequence(&main, a, shelltest::SettingsFor(kLayoutI420, 64, 32), b,
                                shelltest::SettingsFor(kLayoutI420, 64, 32));
    ASSERT_FALSE(shown.isNull());
    QTest::keyClick(shown.data(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
    EXPECT_EQ(kavlo::PsnrSequenceOf(&main), nullptr);
}

TEST(PsnrSequenceWindowRun, OneWindowPerMainWindowAndErrorsSaidInIt) {
    const QString a = shelltest::Clip(QStringLiteral("one_a.yuv"), kLayoutI420, 64, 32, 2);
    const QString b = shelltest::Clip(QStringLiteral("one_b.uyvy"), kLayoutUYVY, 64, 32, 2);
    ASSERT_FALSE(a.isEmpty() || b.isEmpty());
    QWidget main;
    const RawSettings i420 = shelltest::SettingsFor(kLayoutI420, 64, 32);
    const RawSettings uyvy = shelltest::SettingsFor(kLayoutUYVY, 64, 32);
    PsnrSequenceWindow* first = kavlo::ShowPsnrSequence(&main, a, i420, a, i420);
    EXPECT_EQ(kavlo::ShowPsnrSequence(&main, a, i420, a, i420), first) << "the same pair: raised";
    EXPECT_EQ(kavlo::PsnrSequenceOf(&main), first);
    QPointer<PsnrSequenceWindow> old = first;
    PsnrSequenceWindow* second = kavlo::ShowPsnrSequence(&main, a, i420, b, uyvy);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull()) << "another pair replaces the window";
    EXPECT_EQ(kavlo::PsnrSequenceOf(&main), second);
    EXPECT_TRUE(second->isWindow());

    WaitForEnd(*second);
    EXPECT_EQ(second->State().status, SequenceStatus::Failed);
    EXPECT_TRUE(second->StatusLabel()->text().contains(QStringLiteral("cannot be compared")))
        << second->StatusLabel()->text().toStdString();
    EXPECT_FALSE(second->ExportButton()->isEnabled());
    QString error;
    EXPECT_FALSE(
        second->ExportCsv(QDir::temp().filePath(QStringLiteral("never.csv")), false, error));
    EXPECT_FALSE(error.isEmpty());
}
