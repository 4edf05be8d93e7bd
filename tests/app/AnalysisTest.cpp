// Saving, copying and exporting frames, and the analysis commands of the main window: the files
// hold what the view shows, nothing half-written stays under a final name, nothing is
// overwritten without consent, and failures name the file.
#include "app/analysis/AnalysisTools.h"
#include "app/common/Commands.h"
#include "app/analysis/ExportFramesDlg.h"
#include "app/analysis/FrameExport.h"
#include "app/window/HelpWin.h"
#include "app/analysis/HistogramDock.h"
#include "app/window/ViewerDlg.h"

#include "../common/NonRegularFiles.h"
#include "clipgen/ClipGen.h"
#include "image/PixelLayout.h"
#include "ShellTestSupport.h"
#include "view/picture/FrameImage.h"
#include "view/VideoBuffer.h"
#include "view/file/VideoFile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <vector>

#include <sys/resource.h>

using namespace kavlo;

namespace {

constexpr int kW = 24;
constexpr int kH = 16;

// A clip with file and frame prefixes and postfixes, and the record that opens it.
struct ExportClip {
    clipgen::ClipOptions options;
    QString path;
    RawSettings settings{};
};

ExportClip MakeClip(const QString& dir, uint32_t code, int frames) {
    ExportClip c;
    c.options.code = code;
    c.options.width = kW;
    c.options.height = kH;
    c.options.frames = frames;
    c.options.filePrefix = 5;
    c.options.framePrefix = 3;
    c.options.framePostfix = 2;
    c.path = QDir(dir).filePath(QStringLiteral("clip.raw"));
    std::string error;
    EXPECT_TRUE(clipgen::WriteClip(c.options, c.path.toStdString(), error)) << error;
    c.settings = shelltest::SettingsFor(code, kW, kH);
    c.settings.filePrefix = 5;
    c.settings.framePrefix = 3;
    c.settings.framePostfix = 2;
    return c;
}

// Frame n as the view shows it with `switches`, rendered independently of the export.
QImage Rendered(const ExportClip& clip, int64_t n, const ViewSwitches& switches) {
    RawSettings s = clip.settings;
    VideoFile file;
    QString error;
    EXPECT_TRUE(file.Open(&s, clip.path, error)) << error.toStdString();
    EXPECT_TRUE(file.LoadFrame(n));
    FrameRenderer renderer;
    EXPECT_TRUE(renderer.Reserve(file.Width(), file.Height()));
    std::unique_ptr<DisplayBitmap> bitmap;
    EXPECT_TRUE(renderer.Render(file.Frame(), switches, bitmap));
    return bitmap ? DisplayBitmapImage(*bitmap) : QImage();
}

QImage ReadBack(const QString& path) { return QImage(path).convertToFormat(QImage::Format_RGB888); }

// Everything in a folder but the clip.
QStringList Written(const QString& dir) {
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral("clip.raw"));
    return names;
}

ExportRequest Request(const ExportClip& clip, const QString& folder, ExportFormat format,
                      int64_t first, int64_t last) {
    ExportRequest r;
    r.sourcePath = clip.path;
    r.settings = clip.settings;
    r.first = first;
    r.last = last;
    r.format = format;
    r.folder = folder;
    r.pattern = format == ExportFormat::RawFrames ? QStringLiteral("out.raw")
                                                  : QStringLiteral("f_%03d.png");
    return r;
}

}  // namespace

TEST(FrameExport, PatternsNameTheFramesAndBadOnesAreRefused) {
    EXPECT_EQ(ExportFileName(QStringLiteral("clip_%05d.png"), 42),
              QStringLiteral("clip_00042.png"));
    EXPECT_EQ(ExportFileName(QStringLiteral("%d.bmp"), 1234567), QStringLiteral("1234567.bmp"));
    QString error;
    EXPECT_TRUE(
        CheckExportPattern(QStringLiteral("a_%04d.png"), ExportFormat::ImageSequence, error));
    for (const char* bad : {"a.png", "a_%d_%d.png", "a_%s.png", "a_%05d.xyz", "x/a_%d.png", ""}) {
        EXPECT_FALSE(
            CheckExportPattern(QString::fromLatin1(bad), ExportFormat::ImageSequence, error))
            << bad;
    }
    EXPECT_TRUE(CheckExportPattern(QStringLiteral("frames.yuv"), ExportFormat::RawFrames, error));
    EXPECT_FALSE(WriteImageFile(QImage(2, 2, QImage::Format_RGB888),
                                QDir::temp().filePath(QStringLiteral("frame.xyz")), error));
    EXPECT_TRUE(error.contains(QStringLiteral("unknown image format"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("png")));
}

TEST(FrameExport, ImageSequenceOfARangeShowsWhatTheViewShows) {
    QTemporaryDir dir;
    const ExportClip clip = MakeClip(dir.path(), kLayoutUYVY, 6);
    ExportRequest r = Request(clip, dir.path(), ExportFormat::ImageSequence, 2, 4);
    r.switches.flipToggle = 1;
    r.switches.lumaOnly = 1;
    std::vector<int64_t> progress;
    ExportCallbacks callbacks;
    callbacks.progress = [&progress](int64_t done, int64_t total) {
        EXPECT_EQ(total, 3);
        progress.push_back(done);
        return true;
    };
    const ExportResult result = ExportFrames(r, callbacks);
    ASSERT_EQ(result.status, ExportResult::Done) << result.error.toStdString();
    EXPECT_EQ(result.framesWritten, 3);
    EXPECT_EQ(progress, (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(Written(dir.path()),
              QStringList({QStringLiteral("f_002.png"), QStringLiteral("f_003.png"),
                           QStringLiteral("f_004.png")}));
    for (int64_t n = 2; n <= 4; ++n) {
        const QImage expected = Rendered(clip, n, r.switches);
        EXPECT_EQ(
            ReadBack(QDir(dir.path())
                         .filePath(QStringLiteral("f_%1.png").arg(n, 3, 10, QLatin1Char('0')))),
            expected)
            << "frame " << n;
    }
    EXPECT_NE(Rendered(clip, 2, r.switches), Rendered(clip, 3, r.switches))
        << "the frames differ, so the comparison tells them apart";
}

TEST(FrameExport, RawFramesAreTheFramesWithoutPrefixes) {
    QTemporaryDir dir;
    const ExportClip clip = MakeClip(dir.path(), kLayoutI420, 4);
    const ExportResult result =
        ExportFrames(Request(clip, dir.path(), ExportFormat::RawFrames, 1, 2), {});
    ASSERT_EQ(result.status, ExportResult::Done) << result.error.toStdString();
    std::vector<uint8_t> one, two;
    ASSERT_TRUE(clipgen::PackFrame(clip.options, 1, one));
    ASSERT_TRUE(clipgen::PackFrame(clip.options, 2, two));
    QByteArray expected(reinterpret_cast<const char*>(one.data()),
                        static_cast<qsizetype>(one.size()));
    expected.append(reinterpret_cast<const char*>(two.data()), static_cast<qsizetype>(two.size()));
    QFile out(QDir(dir.path()).filePath(QStringLiteral("out.raw")));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), expected);
}

TEST(FrameExport, CancelLeavesNoPartialFileUnderAFinalName) {
    QTemporaryDir dir;
    const ExportClip clip = MakeClip(dir.path(), kLayoutGRAY, 5);
    ExportCallbacks stopAfterOne;
    stopAfterOne.progress = [](int64_t done, int64_t) { return done < 1; };

    // The raw file is one file: cancelled, nothing of it stays.
    ExportResult result =
        ExportFrames(Request(clip, dir.path(), ExportFormat::RawFrames, 0, 4), stopAfterOne);
    EXPECT_EQ(result.status, ExportResult::Cancelled);
    EXPECT_EQ(Written(dir.path()), QStringList());

    // Images: the finished first frame stays, whole; no temporary file is left behind.
    result =
        ExportFrames(Request(clip, dir.path(), ExportFormat::ImageSequence, 0, 4), stopAfterOne);
    EXPECT_EQ(result.status, ExportResult::Cancelled);
    EXPECT_EQ(result.framesWritten, 1);
    EXPECT_EQ(Written(dir.path()), QStringList({QStringLiteral("f_000.png")}));
    EXPECT_EQ(ReadBack(QDir(dir.path()).filePath(QStringLiteral("f_000.png"))),
              Rendered(clip, 0, ViewSwitches()));
}

TEST(FrameExport, ExistingFilesAreOverwrittenOnlyWithConsent) {
    QTemporaryDir dir;
    const ExportClip clip = MakeClip(dir.path(), kLayoutGRAY, 3);
    const QString existing = QDir(dir.path()).filePath(QStringLiteral("f_001.png"));
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    int asked = 0;
    QStringList named;
    ExportCallbacks callbacks;
    callbacks.askOverwrite = [&](const QStringList& files) {
        ++asked;
        named = files;
        return OverwriteAnswer::Cancel;
    };
    const ExportRequest r = Request(clip, dir.path(), ExportFormat::ImageSequence, 0, 2);
    EXPECT_EQ(ExportFrames(r, callbacks).status, ExportResult::Cancelled);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(named, QStringList({existing}));
    EXPECT_EQ(Written(dir.path()), QStringList({QStringLiteral("f_001.png")}))
        << "declined: nothing written at all";
    QFile kept(existing);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
    kept.close();

    callbacks.askOverwrite = [&](const QStringList&) {
        ++asked;
        return OverwriteAnswer::OverwriteAll;
    };
    EXPECT_EQ(ExportFrames(r, callbacks).status, ExportResult::Done);
    EXPECT_EQ(asked, 2) << "one question for the whole run";
    EXPECT_EQ(ReadBack(existing), Rendered(clip, 1, ViewSwitches()));
    EXPECT_EQ(ExportFrames(r, {}).status, ExportResult::Cancelled)
        << "with nobody to ask, nothing is overwritten";
}

TEST(FrameExport, UnwritableTargetsStopWithTheFileNamed) {
    QTemporaryDir dir;
    const ExportClip clip = MakeClip(dir.path(), kLayoutGRAY, 3);
    ExportRequest r = Request(clip, clip.path, ExportFormat::ImageSequence, 0, 2);
    ExportResult result = ExportFrames(r, {});
    EXPECT_EQ(result.status, ExportResult::Failed);
    EXPECT_TRUE(result.error.contains(QStringLiteral("is not a folder")))
        << result.error.toStdString();

    // A directory where the second image should go: the first is written, the run stops there.
    r = Request(clip, dir.path(), ExportFormat::ImageSequence, 0, 2);
    const QString blocked = QDir(dir.path()).filePath(QStringLiteral("f_001.png"));
    ASSERT_TRUE(QDir().mkdir(blocked));
    ExportCallbacks callbacks;
    callbacks.askOverwrite = [](const QStringList&) { return OverwriteAnswer::OverwriteAll; };
    result = ExportFrames(r, callbacks);
    EXPECT_EQ(result.status, ExportResult::Failed);
    EXPECT_EQ(result.framesWritten, 1);
    EXPECT_TRUE(result.error.contains(blocked)) << result.error.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("f_002.png"))));
}

TEST(FrameExport, AFullDiskStopsTheRunAndLeavesNoFile) {
    QTemporaryDir dir;
    const ExportClip clip = MakeClip(dir.path(), kLayoutGRAY, 4);
    // The thread team's runtime makes a file of its own when it starts: start it before the
    // limit, as any earlier frame of the process would have.
    EXPECT_FALSE(Rendered(clip, 0, ViewSwitches()).isNull());
    // A file size limit stands in for a full disk: writes past it fail with EFBIG.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = static_cast<rlim_t>(kW * kH * 5 / 2);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const ExportResult raw =
        ExportFrames(Request(clip, dir.path(), ExportFormat::RawFrames, 0, 3), {});
    // No image of the sequence fits 40 bytes.
    limited.rlim_cur = 40;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const ExportResult images =
        ExportFrames(Request(clip, dir.path(), ExportFormat::ImageSequence, 0, 3), {});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(raw.status, ExportResult::Failed);
    EXPECT_TRUE(raw.error.contains(QDir(dir.path()).filePath(QStringLiteral("out.raw"))))
        << raw.error.toStdString();
    EXPECT_EQ(images.status, ExportResult::Failed);
    EXPECT_EQ(images.framesWritten, 0);
    EXPECT_TRUE(images.error.contains(QDir(dir.path()).filePath(QStringLiteral("f_000.png"))))
        << images.error.toStdString();
    EXPECT_EQ(Written(dir.path()), QStringList()) << "nothing under a final name, no leftovers";
}

// What the end of a run says: how many frames stay in files, and where.
struct EndCase {
    ExportFormat format;
    ExportResult::Status status;
    int64_t written;
    const char* message;
};

class ExportEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(ExportEnd, SaysHowManyFramesStayAndWhere) {
    const EndCase& c = GetParam();
    ExportRequest r;
    r.format = c.format;
    r.folder = QStringLiteral("/out");
    ExportResult result;
    result.status = c.status;
    result.framesWritten = c.written;
    if (c.status == ExportResult::Failed) result.error = QStringLiteral("couldn't write x: full");
    EXPECT_EQ(ExportEndMessage(r, result).toStdString(), c.message);
}

constexpr ExportFormat kImages = ExportFormat::ImageSequence;
constexpr ExportFormat kRaw = ExportFormat::RawFrames;
INSTANTIATE_TEST_SUITE_P(
    EveryEnd, ExportEnd,
    ::testing::Values(
        EndCase{kImages, ExportResult::Done, 4, "4 frames written to /out."},
        EndCase{kImages, ExportResult::Done, 1, "1 frame written to /out."},
        EndCase{kImages, ExportResult::Cancelled, 2, "Export cancelled: 2 frames written to /out."},
        EndCase{kImages, ExportResult::Cancelled, 0, "Export cancelled: no frame written."},
        EndCase{kRaw, ExportResult::Done, 3, "3 frames written to /out."},
        // An unfinished raw file is discarded: none of its frames stays.
        EndCase{kRaw, ExportResult::Cancelled, 3,
                "Export cancelled: no frame written (a raw file is kept only whole)."},
        EndCase{kImages, ExportResult::Failed, 1,
                "The export stopped: couldn't write x: full. 1 frame written to /out."},
        EndCase{kRaw, ExportResult::Failed, 2,
                "The export stopped: couldn't write x: full. No frame written (a raw file is "
                "kept only whole)."}));

// Save Frame As and Export Frames replace nothing but a regular file: a directory, device, named
// pipe or socket under the name (or a link to one, or to nothing) stays, with an error naming it.
class FrameExportTarget : public ::testing::TestWithParam<testfiles::Kind> {};

TEST_P(FrameExportTarget, IsRefusedAndStays) {
    QTemporaryDir dir;
    const ExportClip clip = MakeClip(dir.path(), kLayoutGRAY, 2);
    const QString target = QDir(dir.path()).filePath(QStringLiteral("t.png"));
    if (!testfiles::MakeNonRegular(GetParam(), target.toStdString()))
        GTEST_SKIP() << "cannot make one here";
    QString error;
    EXPECT_FALSE(WriteImageFile(QImage(2, 2, QImage::Format_RGB888), target, error));
    EXPECT_TRUE(error.contains(target)) << error.toStdString();
    error.clear();
    EXPECT_FALSE(CheckExportTargets({QStringLiteral("/nonexistent/a.png"), target}, error))
        << "the dialog refuses before the run";
    EXPECT_TRUE(error.contains(target)) << error.toStdString();
    ExportRequest r = Request(clip, dir.path(), ExportFormat::RawFrames, 0, 1);
    r.pattern = QStringLiteral("t.png");
    ExportCallbacks callbacks;
    callbacks.askOverwrite = [](const QStringList&) { return OverwriteAnswer::OverwriteAll; };
    const ExportResult result = ExportFrames(r, callbacks);
    EXPECT_EQ(result.status, ExportResult::Failed);
    EXPECT_TRUE(result.error.contains(target)) << result.error.toStdString();
    EXPECT_TRUE(testfiles::IsStill(GetParam(), target.toStdString()));
    EXPECT_TRUE(QDir(dir.path())
                    .entryList(QStringList{QStringLiteral(".*")}, QDir::AllEntries | QDir::Hidden |
                                                                      QDir::System |
                                                                      QDir::NoDotAndDotDot)
                    .isEmpty())
        << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FrameExportTarget, ::testing::ValuesIn(testfiles::kKinds),
                         [](const ::testing::TestParamInfo<testfiles::Kind>& p) {
                             return testfiles::KindName(p.param);
                         });

// Runs `act` on the next modal window (polled on the application's own timers).
void OnModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(5, qApp, [act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            act(modal);
        } else {
            OnModal(act);
        }
    });
}

// ---- The main window ----------------------------------------------------------------------------

namespace {

class Analysis : public ::testing::Test {
protected:
    void SetUp() override {
        shelltest::ClearSettings();
        dlg = std::make_unique<CTNViewerDlg>();
    }
    void TearDown() override { dlg.reset(); }
    void OpenClip(uint32_t code = kLayoutUYVY, int frames = 4) {
        path = shelltest::Clip(QStringLiteral("analysis.raw"), code, kW, kH, frames);
        ASSERT_FALSE(path.isEmpty());
        RawSettings s = shelltest::SettingsFor(code, kW, kH);
        QString error;
        ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0) << error.toStdString();
        dlg->AfterOpen(path, s);
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->View()->setFocus();
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dlg.get(),
                        Qt::Key(key), mods);
    }
    QImage Shown() const { return DisplayBitmapImage(*dlg->View()->Bitmap()); }

    std::unique_ptr<CTNViewerDlg> dlg;
    QString path;
};

}  // namespace

TEST_F(Analysis, SaveFrameAndCopyHoldTheViewsBitmap) {
    OpenClip();
    Key(Qt::Key_V);  // flipped and Cb alone: the file shows the picture as displayed
    Key(Qt::Key_8);
    QTemporaryDir dir;
    const QString png = QDir(dir.path()).filePath(QStringLiteral("shown.png"));
    QString error;
    ASSERT_TRUE(dlg->Analysis()->SaveFrame(png, error)) << error.toStdString();
    EXPECT_EQ(ReadBack(png), Shown());
    EXPECT_EQ(ReadBack(png).size(), QSize(kW, kH)) << "full resolution, not the viewport";
    EXPECT_FALSE(
        dlg->Analysis()->SaveFrame(QDir(dir.path()).filePath(QStringLiteral("a.qqq")), error));
    EXPECT_TRUE(error.contains(QStringLiteral("unknown image format")));

    QApplication::clipboard()->clear();
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), Shown());

    // Ctrl+S asks for the name.
    bool asked = false;
    OnModal([&asked](QWidget* w) {
        asked = qobject_cast<QFileDialog*>(w) != nullptr;
        w->close();
    });
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(asked);
}

TEST_F(Analysis, KeysAndMenusOfTheValuesAndTheHistogram) {
    OpenClip();
    ASSERT_NE(dlg->Action(CmdHexValues), nullptr);
    EXPECT_FALSE(dlg->Action(CmdHexValues)->isChecked());
    EXPECT_TRUE(dlg->Action(CmdShowValues)->isChecked()) << "values on zoomed pixels by default";
    // The status bar names the source samples under the pointer after today's probe.
    QWidget* port = dlg->View()->viewport();
    QTest::mouseMove(port, dlg->View()->PictureRect().center());
    EXPECT_TRUE(dlg->StatusProbeText().startsWith(QStringLiteral("Pos: (")));
    EXPECT_TRUE(dlg->StatusProbeText().contains(QStringLiteral("  Y' ")))
        << dlg->StatusProbeText().toStdString();
    Key(Qt::Key_X);
    EXPECT_TRUE(dlg->View()->HexValues());
    EXPECT_TRUE(dlg->Action(CmdHexValues)->isChecked());
    EXPECT_TRUE(dlg->StatusProbeText().contains(QStringLiteral("  Y' 0x")))
        << dlg->StatusProbeText().toStdString();
    dlg->OnCommand(CmdShowValues);
    EXPECT_FALSE(dlg->View()->ShowValuesWhenZoomed());

    HistogramDock* dock = dlg->Analysis()->Histogram();
    EXPECT_FALSE(dock->isVisible());
    const int viewWidth = dlg->View()->width();
    Key(Qt::Key_H);
    EXPECT_TRUE(dock->isVisible());
    EXPECT_TRUE(dlg->Action(CmdHistogram)->isChecked());
    // Docked in the window at the right of the picture, covering none of it.
    EXPECT_FALSE(dock->isWindow());
    EXPECT_FALSE(dlg->Action(CmdHistogramWindow)->isChecked());
    EXPECT_GT(dock->geometry().left(), dlg->View()->geometry().right());
    EXPECT_EQ(dock->geometry().top(), dlg->View()->geometry().top());
    EXPECT_EQ(dock->height(), dlg->View()->height());
    // Shift+H floats it and gives the view the strip back; again, it docks.
    Key(Qt::Key_H, Qt::ShiftModifier);
    EXPECT_TRUE(dock->isWindow() && dock->isVisible());
    EXPECT_TRUE(dlg->Action(CmdHistogramWindow)->isChecked());
    EXPECT_GE(dlg->View()->width(), viewWidth);
    Key(Qt::Key_H, Qt::ShiftModifier);
    EXPECT_FALSE(dock->isWindow());
    EXPECT_TRUE(dock->isVisible());
    EXPECT_GT(dock->geometry().left(), dlg->View()->geometry().right());
    QTRY_VERIFY(!dock->Statistics().components.empty() && !dock->Busy());
    EXPECT_EQ(dock->ComponentBox()->count(), 3) << "Y', Cb, Cr";
    EXPECT_EQ(dock->Statistics().components[0].samples, static_cast<uint64_t>(kW * kH));
    const FrameStatistics first = dock->Statistics();
    // It follows the frame.
    dlg->GoToFrame(3);
    QTRY_VERIFY(!dock->Busy() &&
                dock->Statistics().components[0].histogram != first.components[0].histogram);
    QTest::keyClick(dlg->View(), Qt::Key_H);
    EXPECT_FALSE(dock->isVisible());
    EXPECT_FALSE(dlg->Action(CmdHistogram)->isChecked());

    const QString keys = CHelpWin::BuildKeysText();
    for (const char* line : {"Ctrl+S", "Ctrl+C", "Ctrl+E", "X\t", "H\t", "Shift+H\t"})
        EXPECT_TRUE(keys.contains(QLatin1String(line))) << line;
}

TEST_F(Analysis, ExportDialogDefaultsToTheWholeFileAndRefusesBadInput) {
    OpenClip(kLayoutGRAY);
    ExportFramesDlg dialog(dlg->Analysis()->BaseExportRequest(), dlg->View()->FrameCount());
    ExportRequest r;
    QString error;
    ASSERT_TRUE(dialog.BuildRequest(r, error)) << error.toStdString();
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, 3);
    EXPECT_EQ(r.pattern, QStringLiteral("analysis_%05d.png"));
    dialog.FromField()->setText(QStringLiteral("3"));
    dialog.ToField()->setText(QStringLiteral("1"));
    EXPECT_FALSE(dialog.BuildRequest(r, error));
    dialog.ToField()->setText(QStringLiteral("9"));
    EXPECT_FALSE(dialog.BuildRequest(r, error));
    dialog.ToField()->setText(QStringLiteral("3"));
    dialog.FormatBox()->setCurrentIndex(1);
    ASSERT_TRUE(dialog.BuildRequest(r, error)) << error.toStdString();
    EXPECT_EQ(r.format, ExportFormat::RawFrames);
    dialog.FolderField()->setText(path);
    EXPECT_FALSE(dialog.BuildRequest(r, error)) << "a file is no folder";

    // Ctrl+E opens it from the window.
    bool opened = false;
    OnModal([&opened](QWidget* w) {
        opened = qobject_cast<ExportFramesDlg*>(w) != nullptr;
        w->close();
    });
    Key(Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(opened);
}

TEST_F(Analysis, ExportJobRunsBesideTheWindow) {
    OpenClip(kLayoutGRAY);
    QTemporaryDir dir;
    ExportRequest r = dlg->Analysis()->BaseExportRequest();
    r.first = 0;
    r.last = 3;
    r.folder = dir.path();
    r.pattern = QStringLiteral("job_%d.png");
    ASSERT_TRUE(ExportJob::Start(r, dlg.get()));
    ASSERT_NE(ExportJob::Running(), nullptr);
    // The window stays usable meanwhile.
    Key(Qt::Key_Right);
    QTRY_VERIFY(ExportJob::Running() == nullptr);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);
    EXPECT_EQ(dlg->View()->CurrentPosition(), 1);
}

// The folder last written to is kept in the per-user store: a new window offers it to Export
// Frames and Save Frame As, and the end of a run says what was written where.
TEST_F(Analysis, ExportRemembersTheFolderAndSaysWhatItWrote) {
    OpenClip(kLayoutGRAY);
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).absolutePath();
    EXPECT_TRUE(dlg->Analysis()->BaseExportRequest().folder.isEmpty()) << "nothing written yet";
    ExportRequest r = dlg->Analysis()->BaseExportRequest();
    r.first = 0;
    r.last = 3;
    r.folder = folder;
    r.pattern = QStringLiteral("kept_%d.png");
    QString said;
    ASSERT_TRUE(ExportJob::Start(r, dlg.get()));
    QObject::connect(ExportJob::Running(), &ExportJob::Finished,
                     [&said](int, const QString& message) { said = message; });
    QTRY_VERIFY(ExportJob::Running() == nullptr);
    const QString expected =
        QStringLiteral("4 frames written to %1.").arg(QDir::toNativeSeparators(folder));
    EXPECT_EQ(said, expected);
    EXPECT_EQ(dlg->StatusBar()->currentMessage(), expected);

    // A new window, as after a restart.
    dlg = std::make_unique<CTNViewerDlg>();
    OpenClip(kLayoutGRAY);
    EXPECT_EQ(dlg->Analysis()->LastSaveFolder(), folder);
    ExportFramesDlg dialog(dlg->Analysis()->BaseExportRequest(), dlg->View()->FrameCount());
    EXPECT_EQ(dialog.FolderField()->text(), QDir::toNativeSeparators(folder));
    QString shownIn;
    OnModal([&shownIn](QWidget* w) {
        if (auto* files = qobject_cast<QFileDialog*>(w)) shownIn = files->directory().path();
        w->close();
    });
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(shownIn, folder) << "Save Frame As starts there too";

    // A folder that is gone is not offered.
    dir.remove();
    EXPECT_TRUE(dlg->Analysis()->BaseExportRequest().folder.isEmpty());
}

TEST_F(Analysis, SaveFrameAsRemembersTheFolderAndSaysWhatItWrote) {
    OpenClip();
    dlg->GoToFrame(2);
    QTemporaryDir dir;
    const QString png = QDir(dir.path()).absoluteFilePath(QStringLiteral("saved.png"));
    OnModal([&png](QWidget* w) {
        auto* files = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(files, nullptr);
        files->selectFile(png);
        static_cast<QDialog*>(files)->accept();
    });
    Key(Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(QFileInfo::exists(png));
    EXPECT_EQ(dlg->StatusBar()->currentMessage(),
              QStringLiteral("Frame 2 written to %1").arg(QDir::toNativeSeparators(png)));
    dlg = std::make_unique<CTNViewerDlg>();
    OpenClip(kLayoutGRAY);
    ExportFramesDlg dialog(dlg->Analysis()->BaseExportRequest(), dlg->View()->FrameCount());
    EXPECT_EQ(dialog.FolderField()->text(), QDir::toNativeSeparators(dir.path()))
        << "Export Frames offers the folder Save Frame As wrote to";
}

TEST_F(Analysis, ACancelledExportSaysHowManyFramesItWrote) {
    OpenClip(kLayoutGRAY, 60);
    QTemporaryDir dir;
    ExportRequest r = dlg->Analysis()->BaseExportRequest();
    r.first = 0;
    r.last = 59;
    r.folder = dir.path();
    r.pattern = QStringLiteral("cut_%d.png");
    QString said;
    ASSERT_TRUE(ExportJob::Start(r, dlg.get()));
    QObject::connect(ExportJob::Running(), &ExportJob::Finished,
                     [&said](int, const QString& message) { said = message; });
    // Cancelled at once: the run stops after the frame in progress.
    auto* progress = dlg->findChild<QProgressDialog*>(QStringLiteral("ExportProgress"));
    ASSERT_NE(progress, nullptr);
    Q_EMIT progress->canceled();
    QTRY_VERIFY(ExportJob::Running() == nullptr);
    const auto written = QDir(dir.path()).entryList(QDir::Files).size();
    EXPECT_GE(written, 1);
    EXPECT_LT(written, 60);
    EXPECT_EQ(said, QStringLiteral("Export cancelled: %1 %2 written to %3.")
                        .arg(written)
                        .arg(written == 1 ? QStringLiteral("frame") : QStringLiteral("frames"),
                             QDir::toNativeSeparators(dir.path())));
    EXPECT_EQ(dlg->StatusBar()->currentMessage(), said);
}
