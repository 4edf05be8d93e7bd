// Playback in the main window: the play keys and menu, the status bar while playing and paused,
// the rate field, looping and the end of the file, a file that grows or shrinks while open,
// Fit to Window, the rate options of the command line, and the timed and unthrottled
// play-throughs.
#include "settings/CommandLine.h"
#include "app/play/Playback.h"
#include "app/window/ViewerDlg.h"

#include "ShellTestSupport.h"
#include "image/PixelLayout.h"
#include "view/picture/FrameCache.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

class Playing : public ::testing::Test {
protected:
    void SetUp() override {
        shelltest::ClearSettings();
        dlg = std::make_unique<CTNViewerDlg>();
    }
    void TearDown() override { dlg.reset(); }

    void OpenClip(int frames, const QString& name, int width = 64, int height = 48) {
        path = shelltest::Clip(name, kLayoutGRAY, width, height, frames);
        ASSERT_FALSE(path.isEmpty());
        RawSettings s = shelltest::SettingsFor(kLayoutGRAY, width, height);
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
    int64_t Position() const { return dlg->View()->CurrentPosition(); }
    CPlayback* Play() const { return dlg->Playback(); }
    void SetRate(const QString& text) {
        dlg->RateField()->setText(text);
        Q_EMIT dlg->RateField()->editingFinished();
    }

    std::unique_ptr<CTNViewerDlg> dlg;
    QString path;
};

TEST_F(Playing, PlayShuttleAndPauseKeys) {
    OpenClip(400, QStringLiteral("keys.raw"));
    Key(Qt::Key_L);
    EXPECT_TRUE(Play()->Playing());
    EXPECT_EQ(Play()->Direction(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Position() >= 3; }, 10000));
    EXPECT_EQ(dlg->FrameSlider()->value(), Position()) << "the slider follows";
    EXPECT_TRUE(dlg->StatusPlayText().startsWith(QStringLiteral("Playing 25 fps (")))
        << dlg->StatusPlayText().toStdString();
    Key(Qt::Key_L);
    EXPECT_EQ(Play()->Speed(), 2) << "L again: twice as fast";
    EXPECT_TRUE(dlg->StatusPlayText().startsWith(QStringLiteral("Playing 50 fps")));
    Key(Qt::Key_K);
    EXPECT_FALSE(Play()->Playing());
    const int64_t stopped = Position();
    QTest::qWait(100);
    EXPECT_EQ(Position(), stopped) << "paused";
    EXPECT_TRUE(dlg->StatusPlayText().startsWith(QStringLiteral("Paused")));

    // Stepping while paused, and stepping stops playback.
    Key(Qt::Key_Right);
    EXPECT_EQ(Position(), stopped + 1);
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    EXPECT_EQ(Position(), stopped - 1);
    Key(Qt::Key_P);
    EXPECT_TRUE(Play()->Playing());
    Key(Qt::Key_Right);
    EXPECT_FALSE(Play()->Playing());

    // J plays backward at speed 1.
    Key(Qt::Key_End);
    const int64_t end = Position();
    Key(Qt::Key_J);
    EXPECT_EQ(Play()->Direction(), -1);
    EXPECT_EQ(Play()->Speed(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Position() <= end - 2; }, 10000));
    EXPECT_TRUE(dlg->StatusPlayText().startsWith(QStringLiteral("Playing backward")));
    Key(Qt::Key_P);
    EXPECT_FALSE(Play()->Playing());

    // O and W are toggles with check marks; Ctrl+W stays Close.
    Key(Qt::Key_O);
    EXPECT_TRUE(dlg->Action(CmdLoop)->isChecked());
    Key(Qt::Key_O);
    EXPECT_FALSE(dlg->Action(CmdLoop)->isChecked());
    Key(Qt::Key_W);
    EXPECT_TRUE(dlg->Action(CmdFitToWindow)->isChecked());
    EXPECT_TRUE(dlg->View()->FitToWindow());
    Key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_FALSE(dlg->Action(CmdFitToWindow)->isChecked()) << "Actual Size ends fitting";
    EXPECT_EQ(dlg->View()->Zoom(), 1.0);
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(dlg->View()->IsOpen());
    EXPECT_FALSE(dlg->Action(CmdPlayPause)->isEnabled());
}

TEST_F(Playing, PlayMenuRunsTheSameCommands) {
    OpenClip(50, QStringLiteral("menu.raw"));
    QMenu* play = nullptr;
    for (QAction* a : dlg->MenuBar()->actions())
        if (a->text() == QStringLiteral("&Play")) play = a->menu();
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(dlg->MenuBar()->actions().indexOf(play->menuAction()), 2) << "after View";
    int items = 0;
    for (QAction* a : play->actions()) items += a->isSeparator() ? 0 : 1;
    EXPECT_EQ(items, 12);
    dlg->Action(CmdStepForward)->trigger();
    EXPECT_EQ(Position(), 1);
    dlg->Action(CmdLastFrame)->trigger();
    EXPECT_EQ(Position(), 49);
    dlg->Action(CmdStepBack)->trigger();
    EXPECT_EQ(Position(), 48);
    dlg->Action(CmdFirstFrame)->trigger();
    EXPECT_EQ(Position(), 0);
    dlg->Action(CmdFaster)->trigger();
    EXPECT_EQ(Play()->Speed(), 2);
    dlg->Action(CmdNormalSpeed)->trigger();
    EXPECT_EQ(Play()->Speed(), 1);
    dlg->Action(CmdPlayPause)->trigger();
    EXPECT_TRUE(Play()->Playing());
    dlg->Action(CmdPause)->trigger();
    EXPECT_FALSE(Play()->Playing());
}

TEST_F(Playing, TimeCodeFollowsTheRateAndTheRateFieldRefusesBadRates) {
    OpenClip(100, QStringLiteral("rate.raw"));
    EXPECT_EQ(dlg->RateField()->text(), QStringLiteral("25")) << "the record's 1/25";
    dlg->GoToFrame(30);
    EXPECT_EQ(dlg->StatusTimeText(), QStringLiteral("00:00:01.200"));
    SetRate(QStringLiteral("50"));
    EXPECT_EQ(Play()->Rate(), 50.0);
    EXPECT_EQ(dlg->StatusTimeText(), QStringLiteral("00:00:00.600"));
    SetRate(QStringLiteral("0.01"));
    EXPECT_EQ(Play()->Rate(), 50.0) << "kept";
    EXPECT_TRUE(dlg->StatusPlayText().contains(QStringLiteral("is not between")));
    EXPECT_EQ(dlg->RateField()->text(), QStringLiteral("50"));
    SetRate(QString());
    EXPECT_EQ(Play()->Rate(), 25.0) << "empty: the file's rate again";

    EXPECT_EQ(CTNViewerDlg::TimeCode(0, 25.0), QStringLiteral("00:00:00.000"));
    EXPECT_EQ(CTNViewerDlg::TimeCode(90000 * 25 + 24, 25.0), QStringLiteral("25:00:00.960"));
    EXPECT_EQ(CTNViewerDlg::TimeCode(1001, 30000.0 / 1001.0), QStringLiteral("00:00:33.400"));

    // A record without a rate plays at the default, and says so.
    dlg->OnCommand(CmdClose);
    path = shelltest::Clip(QStringLiteral("norate.raw"), kLayoutGRAY, 64, 48, 10);
    RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 64, 48);
    s.frameDuration = 0;
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0);
    dlg->AfterOpen(path, s);
    bool given = true;
    EXPECT_EQ(Play()->RecordRate(&given), CPlayback::kDefaultRate);
    EXPECT_FALSE(given);
}

TEST_F(Playing, StopsAtTheEndOrLoopsRoundIt) {
    OpenClip(40, QStringLiteral("end.raw"));
    SetRate(QStringLiteral("400"));
    dlg->GoToFrame(30);
    Key(Qt::Key_L);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Play()->Playing(); }, 10000));
    EXPECT_EQ(Position(), 39) << "stops on the last frame";
    EXPECT_EQ(dlg->FrameField()->text(), QStringLiteral("39"));

    Key(Qt::Key_O);
    Key(Qt::Key_L);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Position() < 30 && Position() > 0; }, 10000))
        << "looping plays on from the first frame";
    EXPECT_TRUE(Play()->Playing());
    Key(Qt::Key_K);
    EXPECT_FALSE(Play()->Playing());
}

TEST_F(Playing, AGrowingFileIsFollowedAndAShrinkingOneClamped) {
    OpenClip(10, QStringLiteral("grow.raw"));
    const QString more = shelltest::Clip(QStringLiteral("more.raw"), kLayoutGRAY, 64, 48, 20);
    QFile source(more);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    const qint64 frameBytes = 64 * 48;
    {
        QFile target(path);
        ASSERT_TRUE(target.open(QIODevice::Append));
        target.write(bytes.left(5 * frameBytes));
    }
    Key(Qt::Key_F5);
    EXPECT_EQ(dlg->View()->FrameCount(), 15) << "Reload";
    EXPECT_EQ(dlg->FrameSlider()->maximum(), 14);

    // Without a reload: the periodic look and the file watcher see it.
    {
        QFile target(path);
        ASSERT_TRUE(target.open(QIODevice::Append));
        target.write(bytes.mid(5 * frameBytes, 5 * frameBytes));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->View()->FrameCount() == 20; }, 10000));
    EXPECT_EQ(dlg->FrameSlider()->maximum(), 19);
    EXPECT_TRUE(dlg->StatusPlayText().contains(QStringLiteral("grew to 20 frames")))
        << dlg->StatusPlayText().toStdString();

    // Playing into the end of a file that grows waits for the next frame.
    SetRate(QStringLiteral("400"));
    dlg->GoToFrame(15);
    Key(Qt::Key_L);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Play()->Live(); }, 10000));
    EXPECT_TRUE(Play()->Playing());
    EXPECT_TRUE(dlg->StatusPlayText().contains(QStringLiteral("live")));
    {
        QFile target(path);
        ASSERT_TRUE(target.open(QIODevice::Append));
        target.write(bytes.mid(10 * frameBytes, 3 * frameBytes));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return Position() == 22; }, 10000))
        << "plays the new frames as they come";
    Key(Qt::Key_K);

    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 4 * frameBytes), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->View()->FrameCount() == 4; }, 10000));
    EXPECT_EQ(Position(), 3) << "clamped";
    EXPECT_EQ(dlg->FrameField()->text(), QStringLiteral("3"));
    EXPECT_TRUE(dlg->StatusPlayText().contains(QStringLiteral("shrank from 23 to 4 frames")))
        << dlg->StatusPlayText().toStdString();

    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->View()->IsOpen(); }, 10000));
    EXPECT_TRUE(dlg->StatusPlayText().contains(QStringLiteral("no whole frame")))
        << dlg->StatusPlayText().toStdString();
    EXPECT_FALSE(dlg->FrameSlider()->isEnabled());
}

TEST_F(Playing, AFrameLargerThanTheWindowOpensFitted) {
    OpenClip(1, QStringLiteral("large.raw"), 1600, 1200);
    EXPECT_TRUE(dlg->View()->FitToWindow());
    EXPECT_LT(dlg->View()->Zoom(), 1.0);
    const QSize client = dlg->View()->ClientSize();
    EXPECT_LE(dlg->View()->ZoomedSize().width(), client.width());
    EXPECT_LE(dlg->View()->ZoomedSize().height(), client.height());
    EXPECT_TRUE(dlg->Action(CmdFitToWindow)->isChecked());
    Key(Qt::Key_W);
    EXPECT_FALSE(dlg->View()->FitToWindow());
}

TEST_F(Playing, TimedPlayThroughShowsOrDropsEveryFrame) {
    OpenClip(60, QStringLiteral("timed.raw"));
    const int64_t shown = Play()->PlayThroughAt(240.0);
    EXPECT_GT(shown, 0);
    EXPECT_EQ(shown + Play()->Dropped(), 60) << "every frame is shown or counted as dropped";
    EXPECT_EQ(Position(), 59);
    EXPECT_FALSE(Play()->Playing());
}

QByteArray Picture(const kavlo::DisplayBitmap* bitmap) {
    if (!bitmap) return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(bitmap->Row(0)),
                      static_cast<qsizetype>(bitmap->Stride()) * bitmap->Height());
}

TEST_F(Playing, UnthrottledPlayThroughShowsEveryFrameInOrderFromTheCache) {
    OpenClip(40, QStringLiteral("all.raw"), 320, 240);
    std::vector<int64_t> shown;
    QObject::connect(Play(), &CPlayback::FrameShown, dlg.get(),
                     [&] { shown.push_back(Position()); });
    EXPECT_EQ(Play()->PlayThroughAll(), 40);
    ASSERT_EQ(shown.size(), 40u);
    for (int64_t f = 0; f < 40; ++f) ASSERT_EQ(shown[size_t(f)], f);
    EXPECT_EQ(Play()->Dropped(), 0);
    EXPECT_FALSE(Play()->Playing());
    EXPECT_FALSE(Play()->Waiting());
    EXPECT_EQ(Position(), 39);
    EXPECT_GT(Play()->Cache()->RenderTime().count.load(), 0) << "rendered by the cache";
    // The picture shown is the one the view renders for the frame itself.
    const QByteArray fromCache = Picture(dlg->View()->Bitmap());
    ASSERT_TRUE(dlg->View()->LoadFrame(38));
    ASSERT_TRUE(dlg->View()->LoadFrame(39));
    EXPECT_EQ(Picture(dlg->View()->Bitmap()), fromCache);
}

// A GRAY reader of the clip's geometry whose reads wait at a gate the test opens.
class GatedReader : public kavlo::FrameReader {
public:
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    GatedReader(std::shared_ptr<Gate> gate, int width, int height, int64_t count)
        : gate_(std::move(gate)), width_(width), height_(height), count_(count) {}
    kavlo::SourceFrame Geometry() const override {
        kavlo::SourceFrame f;
        f.width = width_;
        f.height = height_;
        f.code = kLayoutGRAY;
        f.lineBytes = width_;
        f.sampleRange = 1;
        return f;
    }
    uint64_t FrameBytes() const override { return uint64_t(width_) * uint64_t(height_); }
    int64_t FrameCount() const override { return count_; }
    bool Read(int64_t frame, uint8_t* destination) override {
        std::unique_lock<std::mutex> lock(gate_->mutex);
        gate_->opened.wait(lock, [this] { return gate_->open; });
        std::memset(destination, static_cast<int>(frame & 0xFF), FrameBytes());
        return true;
    }
    kavlo::FileChange Refresh() override { return kavlo::FileChange::None; }

private:
    std::shared_ptr<Gate> gate_;
    int width_, height_;
    int64_t count_;
};

TEST_F(Playing, AStalledFileSystemNeverFreezesTheWindow) {
    OpenClip(100, QStringLiteral("stall.raw"));
    auto gate = std::make_shared<GatedReader::Gate>();
    Play()->SetReaderFactory([gate](const RawSettings&, const QString&, QString&) {
        return std::make_unique<GatedReader>(gate, 64, 48, 100);
    });
    Play()->Sync(true);
    auto release = [gate] {
        {
            std::lock_guard<std::mutex> lock(gate->mutex);
            gate->open = true;
        }
        gate->opened.notify_all();
    };
    struct Releaser {
        std::function<void()> run;
        ~Releaser() { run(); }
    } releaser{release};

    Key(Qt::Key_L);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Play()->Waiting(); }, 10000));
    EXPECT_TRUE(dlg->StatusPlayText().contains(QStringLiteral("reading")));
    EXPECT_EQ(
        QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
        Qt::BusyCursor);
    // The window takes keys and menu commands while the reader hangs.
    Key(Qt::Key_K);
    EXPECT_FALSE(Play()->Playing());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Play()->ReaderStalled(); }, 10000));
    Key(Qt::Key_End);
    EXPECT_EQ(Position(), 0) << "not read on the window's thread";
    EXPECT_TRUE(dlg->StatusPlayText().contains(QStringLiteral("reading frame 99")))
        << dlg->StatusPlayText().toStdString();
    Key(Qt::Key_O);
    EXPECT_TRUE(dlg->Action(CmdLoop)->isChecked());

    release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Position() == 99; }, 10000))
        << "shown once it is read";
    EXPECT_EQ(dlg->FrameField()->text(), QStringLiteral("99"));
}

TEST_F(Playing, UnthrottledPlayThroughWaitsForAHangingReadWithTheWindowAlive) {
    OpenClip(30, QStringLiteral("hang.raw"));
    auto gate = std::make_shared<GatedReader::Gate>();
    Play()->SetReaderFactory([gate](const RawSettings&, const QString&, QString&) {
        return std::make_unique<GatedReader>(gate, 64, 48, 30);
    });
    Play()->Sync(true);
    // Timers still run while the play-through waits: one looks at the busy state and opens the
    // gate.
    bool waiting = false;
    QString status;
    QTimer::singleShot(200, dlg.get(), [&] {
        waiting = Play()->Waiting();
        status = dlg->StatusPlayText();
        {
            std::lock_guard<std::mutex> lock(gate->mutex);
            gate->open = true;
        }
        gate->opened.notify_all();
    });
    EXPECT_EQ(Play()->PlayThroughAll(), 30);
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(status.contains(QStringLiteral("reading"))) << status.toStdString();
    EXPECT_FALSE(Play()->Waiting());
    EXPECT_EQ(Position(), 29);
}

TEST(PlayOptions, FpsAndCacheTakeTheirValues) {
    auto parse = [](std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/Kavlo");
        return ParseCommandLine(args);
    };
    CommandLine r = parse({"-play", "-fps", "29.97", "-cache", "256", "clip.raw"});
    EXPECT_EQ(r.error, "");
    EXPECT_DOUBLE_EQ(r.fps, 29.97);
    EXPECT_EQ(r.cacheMB, 256);
    EXPECT_EQ(r.fileName, "clip.raw");
    for (const char* bad : {"0", "-5", "1001"}) {
        EXPECT_NE(parse({"-fps", bad}).error.find("frame rate"), std::string::npos) << bad;
    }
    EXPECT_NE(parse({"-fps"}).error.find("frame rate"), std::string::npos);
    for (const char* bad : {"8", "1.5", "70000"}) {
        EXPECT_NE(parse({"-cache", bad}).error.find("cache size"), std::string::npos) << bad;
    }
    // A value that is no number is named as such.
    EXPECT_EQ(parse({"-fps", "30x"}).error, "Error: '30x' is not a number (-fps 30x).");
    EXPECT_EQ(parse({"-fps", ""}).error, "Error: -fps needs a number.");
    EXPECT_EQ(parse({"-cache", "many"}).error, "Error: 'many' is not a number (-cache many).");
}

}  // namespace
