// Start-up: command-line errors and failed opens end in the usage window; "/open" goes through
// the main window; the stored debug level reaches the core's log.
#include "app/window/ViewerApp.h"

#include "app/open/FileCheck.h"
#include "app/open/RawSettingsDlg.h"
#include "app/open/RecentFileList.h"
#include "ShellTestSupport.h"
#include "TNDebug.h"
#include "view/file/LocalFileName.h"
#include "view/VideoBuffer.h"
#include "app/window/ViewerDlg.h"
#include "clipgen/ClipY4m.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        shelltest::ClearSettings();
        app.SetModalRuns(false);
    }
    bool Run(std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/Kavlo");
        return app.InitInstance(args);
    }
    static std::string Path(const QString& p) { return QFile::encodeName(p).toStdString(); }

    CTNViewerApp app;
};

TEST_F(StartUp, CommandLineErrorsShowTheUsageWindow) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"-W", "720"}, "Error: Unknown setting or option."},
        {{"-"}, "Error: Not enougth arguments."},
        {{"-l", "V216", "clip.raw"},
         "Error: Unknown pixel layout 'V216' (nearest: v216, P216, v210)."},
        {{"-w", "abc", "clip.raw"}, "Error: 'abc' is not a number (-w abc)."},
        {{"-o", "-1", "clip.raw"}, "Error: Negative offsets are not allowed."},
        {{"-w"}, "Error: Wrong or missing width."},
    };
    for (const auto& c : cases) {
        CTNViewerApp one;
        one.SetModalRuns(false);
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "/usr/bin/Kavlo");
        EXPECT_FALSE(one.InitInstance(args));
        EXPECT_EQ(one.ShownError().toStdString(), c.error);
    }
}

// A start from a terminal gets a start-up error on standard error as well as in the window; a
// start from the desktop in the window alone.
TEST_F(StartUp, TerminalStartsGetTheErrorOnStandardErrorToo) {
    for (const bool terminal : {true, false}) {
        CTNViewerApp one;
        one.SetModalRuns(false);
        one.SetFromTerminal(terminal);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(one.InitInstance({"/usr/bin/Kavlo", "-l", "I42O", "x.yuv"}));
        const std::string printed = ::testing::internal::GetCapturedStderr();
        const std::string error = "Error: Unknown pixel layout 'I42O' (nearest: I420, I422, V422).";
        EXPECT_EQ(one.ShownError().toStdString(), error);
        EXPECT_EQ(printed, terminal ? "Kavlo: " + error + "\n" : std::string()) << terminal;
        EXPECT_EQ(one.ExitInstance(), 1);
    }
}

// The core's result code leaves the shown text for the log where words follow it.
TEST(OpenFailure, ResultCodeGoesWhereAReasonFollows) {
    const struct {
        const char* text;
        bool reasonFollows;
        const char* shown;
    } cases[] = {
        {"coudn't video open file (TNErr: File not found)", true, "coudn't video open file"},
        {"coudn't video open file (TNErr: File access error): permission denied on a folder of /a",
         false, "coudn't video open file: permission denied on a folder of /a"},
        {"step (TNErr: Invalid Argument(s)): why", false, "step: why"},
        // The code is the only reason: it stays.
        {"coudn't create plug-in instance (TNErr: No Class Available)", false,
         "coudn't create plug-in instance (TNErr: No Class Available)"},
        {"coudn't open container (TNErr: Fail) ", false, "coudn't open container (TNErr: Fail) "},
        {"no code: here", true, "no code: here"},
        {"cut (TNErr: Fail", true, "cut (TNErr: Fail"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kavlo::WithoutResultCode(QString::fromLatin1(c.text), c.reasonFollows),
                  QString::fromLatin1(c.shown))
            << c.text;
    }
    // The reason for a file that is not there: the step, then the problem.
    EXPECT_EQ(kavlo::OpenFailureReason(QStringLiteral("/nonexistent/x.raw"),
                                       QStringLiteral("coudn't video open file (TNErr: File "
                                                      "not found)")),
              QStringLiteral("coudn't video open file: No such file or directory"));
}

TEST_F(StartUp, FileThatDoesNotOpenEndsInTheUsageWindowWithoutMainWindow) {
    EXPECT_FALSE(Run({"-w", "64", "-h", "48", "-l", "GRAY", "/nonexistent/clip.raw"}));
    EXPECT_EQ(app.MainWindow(), nullptr);
    // The text the view gave stays, and the file it is about follows; the core's result code
    // goes to the log, as the reason follows it.
    EXPECT_TRUE(app.ShownError().startsWith(
        QStringLiteral("Error: coudn't video open file: No such file or directory")))
        << app.ShownError().toStdString();
    EXPECT_FALSE(app.ShownError().contains(QStringLiteral("TNErr")));
    EXPECT_TRUE(app.ShownError().contains(QStringLiteral("/nonexistent/clip.raw")));
    EXPECT_EQ(app.ExitInstance(), 1);
}

TEST_F(StartUp, FileTooSmallForItsSettingsReportsTheLoadFailure) {
    const QString small = shelltest::FileOfSize(QStringLiteral("startsmall.raw"), 100);
    EXPECT_FALSE(Run({"-w", "64", "-h", "48", "-l", "GRAY", Path(small)}));
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_TRUE(app.ShownError().startsWith(QStringLiteral("Error: ")))
        << app.ShownError().toStdString();
    EXPECT_TRUE(app.ShownError().contains(small));
    EXPECT_EQ(app.ExitInstance(), 1);
}

// "-w abc" is an error that names the value, not a width of 0 that the open then refuses; an
// offset option left without a value still reads as 0 and is named when the open fails.
TEST_F(StartUp, ValueThatIsNoNumberIsNamed) {
    const QString clip = shelltest::Clip(QStringLiteral("nonumber.raw"), kLayoutGRAY, 32, 16, 5);
    EXPECT_FALSE(Run({"-w", "abc", "-h", "16", "-l", "GRAY", Path(clip)}));
    EXPECT_EQ(app.ShownError(), QStringLiteral("Error: 'abc' is not a number (-w abc)."));
    CTNViewerApp one;
    one.SetModalRuns(false);
    EXPECT_FALSE(one.InitInstance({"/usr/bin/Kavlo", "-h", "16", "-l", "GRAY", Path(clip), "-o"}));
    EXPECT_NE(one.ShownError().indexOf(QStringLiteral("-o needs a number, read as 0")), -1)
        << one.ShownError().toStdString();
}

TEST_F(StartUp, CommandLineFileOpensAndIsRemembered) {
    const QString clip = shelltest::Clip(QStringLiteral("start.raw"), kLayoutUYVY, 64, 32, 3);
    EXPECT_FALSE(Run({"-w64", "-h32", "-luyvy", Path(clip)}));
    EXPECT_TRUE(app.ShownError().isEmpty());
    ASSERT_NE(app.MainWindow(), nullptr);
    CVideoBuffer* view = app.MainWindow()->View();
    EXPECT_TRUE(view->IsOpen());
    EXPECT_EQ(view->FrameCount(), 3);
    EXPECT_EQ(view->LayoutCode(), uint32_t(kLayoutUYVY));
    ASSERT_EQ(app.MainWindow()->RecentFiles()->GetSize(), 1);
    EXPECT_EQ((*app.MainWindow()->RecentFiles())[0].name, clip);
    EXPECT_EQ(app.MainWindow()->windowTitle(), QStringLiteral("start.raw (UYVY) (100%) - Kavlo "));
}

TEST_F(StartUp, NoArgumentsGiveAnEmptyMainWindow) {
    EXPECT_FALSE(Run({}));
    EXPECT_TRUE(app.ShownError().isEmpty());
    ASSERT_NE(app.MainWindow(), nullptr);
    EXPECT_FALSE(app.MainWindow()->View()->IsOpen());
}

TEST_F(StartUp, OpenSwitchUsesTheStoredSettingsNotTheCommandLine) {
    const QString clip = shelltest::Clip(QStringLiteral("stored.raw"), kLayoutGRAY, 32, 16, 4);
    {
        CMyRecentFileList list;
        RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 32, 16);
        list.Add(clip, sizeof s, &s);
        list.WriteList();
    }
    EXPECT_FALSE(Run({"/OPEN", Path(clip)}));
    EXPECT_TRUE(app.ShownError().isEmpty());
    ASSERT_NE(app.MainWindow(), nullptr);
    EXPECT_TRUE(app.MainWindow()->View()->IsOpen());
    EXPECT_EQ(app.MainWindow()->View()->FrameWidth(), 32);
    EXPECT_EQ(app.MainWindow()->View()->FrameCount(), 4);
}

TEST_F(StartUp, PlaySwitchIsNoted) {
    const QString clip = shelltest::Clip(QStringLiteral("play.raw"), kLayoutGRAY, 32, 16, 2);
    EXPECT_FALSE(Run({"-w", "32", "-h", "16", "-l", "GRAY", "-play", Path(clip)}));
    EXPECT_TRUE(app.PlayRequested());
    ASSERT_NE(app.MainWindow(), nullptr);
    EXPECT_TRUE(app.MainWindow()->isVisible());
}

// Runs `act` on the next modal window, trying for a while and while `alive` holds.
void OnNextModal(std::function<void(QWidget*)> act, int triesLeft = 500,
                 std::shared_ptr<bool> alive = std::make_shared<bool>(true)) {
    QTimer::singleShot(2, [act, triesLeft, alive] {
        if (!*alive) return;
        if (QWidget* modal = QApplication::activeModalWidget())
            act(modal);
        else if (triesLeft > 0)
            OnNextModal(act, triesLeft - 1, alive);
    });
}

void StoreSettings(const QString& path, uint32_t code, int32_t width, int32_t height) {
    CMyRecentFileList list;
    list.ReadList();
    RawSettings s = shelltest::SettingsFor(code, width, height);
    list.Add(path, sizeof s, &s);
    list.WriteList();
}

TEST_F(StartUp, FileWithoutSettingsOpensWithTheStoredOnes) {
    const QString clip = shelltest::Clip(QStringLiteral("alone.raw"), kLayoutGRAY, 32, 16, 5);
    StoreSettings(clip, kLayoutGRAY, 32, 16);
    for (const bool play : {false, true}) {
        CTNViewerApp one;
        one.SetModalRuns(false);
        std::vector<std::string> args{"/usr/bin/Kavlo", Path(clip)};
        if (play) args.push_back("-play");
        EXPECT_FALSE(one.InitInstance(args));
        EXPECT_TRUE(one.ShownError().isEmpty()) << one.ShownError().toStdString();
        ASSERT_NE(one.MainWindow(), nullptr);
        EXPECT_EQ(one.MainWindow()->View()->FrameWidth(), 32);
        EXPECT_EQ(one.MainWindow()->View()->FrameCount(), 5);
        EXPECT_EQ(one.ExitInstance(), 0);
    }
}

TEST_F(StartUp, FileWithoutSettingsAsksForThemWithTheDialog) {
    const QString clip = shelltest::FileOfSize(QStringLiteral("ask.raw"), 700000);
    QString title;
    OnNextModal([&title](QWidget* w) {
        auto* dialog = qobject_cast<CRawSettingsDlg*>(w);
        if (!dialog) {
            ADD_FAILURE() << w->metaObject()->className() << " " << w->windowTitle().toStdString();
            w->close();
            return;
        }
        title = dialog->windowTitle();
        dialog->reject();
    });
    EXPECT_FALSE(Run({Path(clip)}));
    EXPECT_TRUE(title.startsWith(QStringLiteral("RAW Video Settings"))) << title.toStdString();
    EXPECT_TRUE(app.ShownError().isEmpty());
    ASSERT_NE(app.MainWindow(), nullptr);  // cancelled: the empty main window, no error
    EXPECT_FALSE(app.MainWindow()->View()->IsOpen());
}

// A YUV4MPEG2 file written where the shell tests keep their files.
QString Y4mClip(const QString& name, const std::string& contents = std::string()) {
    const QString dir =
        QFileInfo(shelltest::FileOfSize(QStringLiteral("y4m-dir.raw"), 1)).absolutePath();
    const QString path = dir + QLatin1Char('/') + name;
    if (!contents.empty()) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents.data(), static_cast<qint64>(contents.size()));
        return path;
    }
    clipgen::ClipOptions o;
    o.code = kLayoutI420;
    o.width = 64;
    o.height = 48;
    o.frames = 3;
    clipgen::Y4mOptions y4m;
    y4m.rateNumerator = 30000;
    y4m.rateDenominator = 1001;
    std::string error;
    EXPECT_TRUE(clipgen::WriteY4mClip(o, y4m, QFile::encodeName(path).toStdString(), error))
        << error;
    return path;
}

// "Kavlo clip.y4m": no dialog, no typing; by the extension or by the signature alone; with
// -play too. The header wins over a record stored for the file in the recent list: the file at
// that name may have been written anew by an encoder since.
TEST_F(StartUp, Y4mFilesOpenByTheirHeaderWithoutTheDialog) {
    const QString named = Y4mClip(QStringLiteral("stream.y4m"));
    const QString unnamed = Y4mClip(QStringLiteral("stream-copy.bin"));
    QFile::remove(unnamed);
    ASSERT_TRUE(QFile::copy(named, unnamed));
    for (const QString& file : {named, unnamed}) {
        for (const bool play : {false, true}) {
            SCOPED_TRACE(file.toStdString() + (play ? " -play" : ""));
            shelltest::ClearSettings();
            CTNViewerApp one;  // modal runs on: a dialog would block the test
            auto windowShown = std::make_shared<bool>(false);
            auto alive = std::make_shared<bool>(true);
            OnNextModal(
                [windowShown](QWidget* w) {
                    *windowShown = true;
                    w->close();
                },
                20, alive);
            std::vector<std::string> args{"/usr/bin/Kavlo", Path(file)};
            if (play) args.push_back("-play");
            one.SetModalRuns(false);
            EXPECT_FALSE(one.InitInstance(args));
            *alive = false;
            EXPECT_FALSE(*windowShown);
            EXPECT_TRUE(one.ShownError().isEmpty()) << one.ShownError().toStdString();
            ASSERT_NE(one.MainWindow(), nullptr);
            CVideoBuffer* view = one.MainWindow()->View();
            EXPECT_EQ(view->FrameWidth(), 64);
            EXPECT_EQ(view->FrameCount(), 3);
            EXPECT_EQ(view->TimeScale(), 30000u);
            EXPECT_EQ(view->FrameDuration(), 1001u);
            EXPECT_EQ(one.ExitInstance(), 0);
        }
    }
    StoreSettings(named, kLayoutGRAY, 32, 16);
    ASSERT_FALSE(Run({Path(named)}));
    ASSERT_NE(app.MainWindow(), nullptr);
    EXPECT_EQ(app.MainWindow()->View()->FrameWidth(), 64);
    QCoreApplication::processEvents();
}

// An encoder writes out.y4m anew on every run: the record stored for the old stream (a header
// of another length) must not be read over the new one, at start-up, under -play, from the
// recent list or as the reference.
TEST_F(StartUp, Y4mWrittenAnewOpensByItsNewHeader) {
    const QString path = Y4mClip(QStringLiteral("out.y4m"));  // 64 x 48
    ASSERT_FALSE(Run({Path(path)}));
    ASSERT_NE(app.MainWindow(), nullptr);
    app.ExitInstance();  // the list with the record is written
    clipgen::ClipOptions o;
    o.code = kLayoutI420;
    o.width = 1280;
    o.height = 720;
    o.frames = 2;
    std::string error;
    ASSERT_TRUE(clipgen::WriteY4mClip(o, {}, Path(path), error)) << error;
    for (const bool play : {false, true}) {
        SCOPED_TRACE(play ? "-play" : "interactive");
        CTNViewerApp one;
        one.SetModalRuns(false);
        std::vector<std::string> args{"/usr/bin/Kavlo", Path(path)};
        if (play) args.push_back("-play");
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(one.InitInstance(args));
        const std::string printed = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed.find("FRAME line"), std::string::npos) << printed;
        EXPECT_TRUE(one.ShownError().isEmpty()) << one.ShownError().toStdString();
        ASSERT_NE(one.MainWindow(), nullptr);
        EXPECT_EQ(one.MainWindow()->View()->FrameWidth(), 1280);
        EXPECT_EQ(one.MainWindow()->View()->FrameCount(), 2);
        if (!play) {
            one.MainWindow()->OpenRecent(0);
            EXPECT_EQ(one.MainWindow()->View()->FrameWidth(), 1280);
        }
        EXPECT_EQ(one.ExitInstance(), 0);
    }
    QCoreApplication::processEvents();
}

// Raw settings stored with the file's identity are not applied to a file that changed since:
// under -play an error says what changed; interactively the dialog opens with them and says why.
// A record of an older list (no identity beside it) opens as it always did.
TEST_F(StartUp, StoredSettingsThatNoLongerFitAreNotAppliedSilently) {
    const QString clip = shelltest::Clip(QStringLiteral("grows.raw"), kLayoutGRAY, 32, 16, 5);
    {
        CTNViewerApp first;
        first.SetModalRuns(false);
        ASSERT_FALSE(first.InitInstance(
            {"/usr/bin/Kavlo", "-w", "32", "-h", "16", "-l", "GRAY", Path(clip)}));
        first.ExitInstance();
    }
    {
        QFile f(clip);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(32 * 16 * 2 + 7, '\x10'));
    }
    CTNViewerApp play;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(play.InitInstance({"/usr/bin/Kavlo", "-play", Path(clip)}));
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("size changed from 2560 to 3591 bytes"), std::string::npos) << printed;
    EXPECT_NE(printed.find("5 frames and 0 rest bytes then, 7 frames and 7 rest bytes now"),
              std::string::npos)
        << printed;
    EXPECT_EQ(play.ExitInstance(), 1);

    int width = 0;
    QString note;
    OnNextModal([&width, &note](QWidget* w) {
        auto* dialog = qobject_cast<CRawSettingsDlg*>(w);
        if (dialog) {
            width = dialog->Settings().rawFormat.width;
            note = dialog->Note();
        }
        w->close();
    });
    EXPECT_FALSE(Run({Path(clip)}));
    EXPECT_EQ(width, 32);  // the stored settings to start from
    EXPECT_NE(note.indexOf(QStringLiteral("size changed")), -1) << note.toStdString();

    StoreSettings(clip, kLayoutGRAY, 32, 16);  // as an older list holds it: no identity
    CTNViewerApp older;
    older.SetModalRuns(false);
    EXPECT_FALSE(older.InitInstance({"/usr/bin/Kavlo", "-play", Path(clip)}));
    ASSERT_NE(older.MainWindow(), nullptr);
    EXPECT_EQ(older.MainWindow()->View()->FrameCount(), 7);
    EXPECT_EQ(older.ExitInstance(), 0);
    QCoreApplication::processEvents();
}

// A stored record whose layout code the catalogue lacks is refused with the reason under -play,
// and asked for afresh interactively.
TEST_F(StartUp, StoredRecordOfAnUnknownLayoutIsRefused) {
    const QString clip = shelltest::Clip(QStringLiteral("unknown.raw"), kLayoutGRAY, 32, 16, 5);
    {
        CMyRecentFileList list;
        RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 32, 16);
        s.rawFormat.code = 0x7A7A7A7Au;
        list.Add(clip, sizeof s, &s);
        list.WriteList();
    }
    CTNViewerApp play;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(play.InitInstance({"/usr/bin/Kavlo", "-play", Path(clip)}));
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("code 0x7a7a7a7a"), std::string::npos) << printed;
    EXPECT_EQ(play.ExitInstance(), 1);

    bool asked = false;
    OnNextModal([&asked](QWidget* w) {
        asked = qobject_cast<CRawSettingsDlg*>(w) != nullptr;
        w->close();
    });
    EXPECT_FALSE(Run({Path(clip)}));
    EXPECT_TRUE(asked);
    QCoreApplication::processEvents();
}

// A malformed header is an error that names what is wrong, in a message box or on standard
// error under -play; nothing opens.
TEST_F(StartUp, MalformedY4mHeaderIsAClearError) {
    const QString bad =
        Y4mClip(QStringLiteral("alpha.y4m"),
                "YUV4MPEG2 W64 H48 C444alpha\nFRAME\n" + std::string(64 * 48 * 4, '\x40'));
    QString boxText;
    OnNextModal([&boxText](QWidget* w) {
        boxText = w->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))
                      ? w->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text()
                      : w->windowTitle();
        w->close();
    });
    EXPECT_FALSE(Run({Path(bad)}));
    EXPECT_NE(boxText.indexOf(QStringLiteral("C444alpha")), -1) << boxText.toStdString();
    ASSERT_NE(app.MainWindow(), nullptr);
    EXPECT_FALSE(app.MainWindow()->View()->IsOpen());

    CTNViewerApp one;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(one.InitInstance({"/usr/bin/Kavlo", "-play", Path(bad)}));
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("colour space C444alpha is not supported"), std::string::npos)
        << printed;
    EXPECT_EQ(one.ExitInstance(), 1);
    QCoreApplication::processEvents();
}

TEST_F(StartUp, PlayNeverWaitsForAPersonAndFailsWithTheReason) {
    const QString clip = shelltest::Clip(QStringLiteral("nosettings.raw"), kLayoutGRAY, 32, 16, 5);
    const QString empty = shelltest::FileOfSize(QStringLiteral("empty.raw"), 0);
    const QString folder = QFileInfo(clip).absolutePath();
    const struct {
        QString file;
        std::vector<std::string> options;
        const char* reason;
    } cases[] = {
        {clip, {}, "no settings are stored"},
        {empty, {}, "empty"},
        {folder, {}, "folder"},
        {folder + QStringLiteral("/nosuch.raw"), {}, "No such file"},
        {folder + QStringLiteral("/nosuch.raw"),
         {"-w", "32", "-h", "16", "-l", "GRAY"},
         "coudn't video open file: No such file"},
    };
    for (const auto& c : cases) {
        CTNViewerApp one;  // modal runs on: a window would block the test
        auto windowShown = std::make_shared<bool>(false);
        auto alive = std::make_shared<bool>(true);
        OnNextModal(
            [windowShown](QWidget* w) {
                *windowShown = true;
                w->close();
            },
            20, alive);
        std::vector<std::string> args{"/usr/bin/Kavlo", "-play"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(Path(c.file));
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(one.InitInstance(args));
        const std::string printed = ::testing::internal::GetCapturedStderr();
        *alive = false;
        EXPECT_FALSE(*windowShown) << c.reason;
        EXPECT_NE(printed.find(c.reason), std::string::npos) << printed;
        EXPECT_NE(printed.find(Path(c.file)), std::string::npos) << printed;
        EXPECT_EQ(one.ExitInstance(), 1) << c.reason;
    }
    QCoreApplication::processEvents();
}

TEST_F(StartUp, HelpRequestShowsTheUsage) {
    EXPECT_FALSE(Run({"-help"}));
    EXPECT_TRUE(app.ShownError().isEmpty());
    EXPECT_EQ(app.ExitInstance(), 0);
    // Under -play the usage goes to standard output and the request is no error.
    for (const char* request : {"--help", "-?"}) {
        CTNViewerApp one;
        ::testing::internal::CaptureStdout();
        EXPECT_FALSE(one.InitInstance({"/usr/bin/Kavlo", "-play", request}));
        const std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed.rfind("Usage: Kavlo [Settings] [Filename]\n", 0), 0u) << printed;
        EXPECT_NE(printed.find("GRAYBE16"), std::string::npos);
        EXPECT_EQ(printed.find('\r'), std::string::npos);
        EXPECT_EQ(one.ExitInstance(), 0);
    }
}

TEST_F(StartUp, RecentFilesKeepAbsoluteNames) {
    const QString clip = shelltest::Clip(QStringLiteral("rel.uyvy"), kLayoutUYVY, 64, 48, 2);
    const QString folder = QFileInfo(clip).absolutePath();
    const QString home = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    EXPECT_FALSE(Run({"-w", "64", "-h", "48", "-l", "UYVY", "./sub/../rel.uyvy"}));
    ASSERT_TRUE(QDir::setCurrent(home));
    ASSERT_NE(app.MainWindow(), nullptr);
    EXPECT_EQ(app.MainWindow()->View()->FileName(), clip);
    ASSERT_EQ(app.MainWindow()->RecentFiles()->GetSize(), 1);
    EXPECT_EQ((*app.MainWindow()->RecentFiles())[0].name, clip);
    // From another folder the entry still leads to the file, with its settings.
    app.MainWindow()->OnCommand(CmdClose);
    app.MainWindow()->OpenRecent(0);
    EXPECT_TRUE(app.MainWindow()->View()->IsOpen());
    EXPECT_EQ(app.MainWindow()->View()->FrameCount(), 2);
}

TEST_F(StartUp, RelativeEntriesOfOlderListsOpenWhileTheyResolveAndBecomeAbsolute) {
    const QString clip = shelltest::Clip(QStringLiteral("old.raw"), kLayoutGRAY, 32, 16, 3);
    StoreSettings(QStringLiteral("old.raw"), kLayoutGRAY, 32, 16);
    const QString home = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QFileInfo(clip).absolutePath()));
    EXPECT_FALSE(Run({Path(clip)}));  // found by its absolute name: no dialog
    ASSERT_TRUE(QDir::setCurrent(home));
    ASSERT_NE(app.MainWindow(), nullptr);
    EXPECT_EQ(app.MainWindow()->View()->FrameCount(), 3);
    ASSERT_EQ(app.MainWindow()->RecentFiles()->GetSize(), 1);  // one entry, not two
    EXPECT_EQ((*app.MainWindow()->RecentFiles())[0].name, clip);
}

TEST(FileNames, AbsoluteFormIsCleanAndLossless) {
    const QString home = QDir::currentPath();
    const QString clip = shelltest::FileOfSize(QStringLiteral("x.raw"), 1);
    ASSERT_TRUE(QDir::setCurrent(QFileInfo(clip).absolutePath()));
    const QByteArray folder = QFile::encodeName(QFileInfo(clip).absolutePath());
    const QString name = kavlo::FileNameFromBytes(QByteArray("a//./b/../caf\xE9.raw"));
    EXPECT_EQ(kavlo::FileNameToBytes(kavlo::AbsoluteFileName(name)), folder + "/a/caf\xE9.raw");
    EXPECT_EQ(kavlo::AbsoluteFileName(QStringLiteral("/x/./y/../z.raw")),
              QStringLiteral("/x/z.raw"));
    EXPECT_EQ(kavlo::AbsoluteFileName(QString()), QString());
    ASSERT_TRUE(QDir::setCurrent(home));
}

TEST(ExitCode, ToolkitExitRequestEndsTheWindowAndBecomesTheExitCode) {
    shelltest::ClearSettings();
    CTNViewerApp app;  // with the modal run of the main window
    QTimer::singleShot(0, [] { QCoreApplication::exit(3); });
    EXPECT_FALSE(app.InitInstance({"/usr/bin/Kavlo"}));
    EXPECT_EQ(app.ExitInstance(), 3);
    // The toolkit keeps the exit request for every later loop of this process until an
    // application run has ended: one short run clears it for the tests that follow.
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

TEST(DebugLevel, StoredNumberReachesTheLogAndOtherValuesAreIgnored) {
    shelltest::ClearSettings();
    const int before = TNDebugGetLevelValue();
    const int output = TNDebugGetOutputLevel();
    EXPECT_FALSE(CTNViewerApp::ApplyStoredDebugLevel());
    // Without a stored level, errors and warnings alone reach standard error.
    EXPECT_EQ(TNDebugGetOutputLevel(), TN_LOG_WARNING);
    auto store = shelltest::Store();
    store->setValue(QStringLiteral("Debug Level"), QStringLiteral("four"));
    store->sync();
    EXPECT_FALSE(CTNViewerApp::ApplyStoredDebugLevel());
    EXPECT_EQ(TNDebugGetLevelValue(), before);
    store->setValue(QStringLiteral("Debug Level"), 4);
    store->sync();
    EXPECT_TRUE(CTNViewerApp::ApplyStoredDebugLevel());
    EXPECT_EQ(TNDebugGetLevelValue(), 4);
    EXPECT_EQ(TNDebugGetOutputLevel(), TN_LOG_DEBUG);
    // 3, the core's own start, lets the Info lines through as they always were; 2 does not.
    for (const auto& [stored, shown] : {std::pair{3, TN_LOG_DEBUG}, std::pair{2, TN_LOG_WARNING}}) {
        store->setValue(QStringLiteral("Debug Level"), stored);
        store->sync();
        EXPECT_TRUE(CTNViewerApp::ApplyStoredDebugLevel());
        EXPECT_EQ(TNDebugGetOutputLevel(), shown) << stored;
    }
    // The constructor applies the stored level's output before the core starts.
    {
        store->setValue(QStringLiteral("Debug Level"), 4);
        store->sync();
        TNDebugSetOutputLevel(TN_LOG_ERROR);
        CTNViewerApp app;
        EXPECT_EQ(TNDebugGetOutputLevel(), TN_LOG_DEBUG);
    }
    TNDebugSetLevelValue(before);
    TNDebugSetOutputLevel(output);
    shelltest::ClearSettings();
}

}  // namespace
