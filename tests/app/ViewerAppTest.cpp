// Start-up: command-line errors and failed opens end in the usage window; "/open" goes through
// the main window; the stored debug level reaches the core's log.
#include "app/ViewerApp.h"

#include "app/RecentFileList.h"
#include "ShellTestSupport.h"
#include "TNDebug.h"
#include "view/VideoBuffer.h"
#include "app/ViewerDlg.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
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
        {{"-l", "V216", "clip.raw"}, "Error: Unknown pixel layout."},
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

TEST_F(StartUp, FileThatDoesNotOpenEndsInTheUsageWindowWithoutMainWindow) {
    EXPECT_FALSE(Run({"-w", "64", "-h", "48", "-l", "GRAY", "/nonexistent/clip.raw"}));
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_EQ(app.ShownError(), QStringLiteral("Error: coudn't video open file (TNErr: File not found)."));
}

TEST_F(StartUp, FileTooSmallForItsSettingsReportsTheLoadFailure) {
    const QString small = shelltest::FileOfSize(QStringLiteral("startsmall.raw"), 100);
    EXPECT_FALSE(Run({"-w", "64", "-h", "48", "-l", "GRAY", Path(small)}));
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_TRUE(app.ShownError().startsWith(QStringLiteral("Error: "))) << app.ShownError().toStdString();
    EXPECT_TRUE(app.ShownError().endsWith(QLatin1Char('.')));
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
    EXPECT_FALSE(CTNViewerApp::ApplyStoredDebugLevel());
    auto store = shelltest::Store();
    store->setValue(QStringLiteral("Debug Level"), QStringLiteral("four"));
    store->sync();
    EXPECT_FALSE(CTNViewerApp::ApplyStoredDebugLevel());
    EXPECT_EQ(TNDebugGetLevelValue(), before);
    store->setValue(QStringLiteral("Debug Level"), 4);
    store->sync();
    EXPECT_TRUE(CTNViewerApp::ApplyStoredDebugLevel());
    EXPECT_EQ(TNDebugGetLevelValue(), 4);
    TNDebugSetLevelValue(before);
    shelltest::ClearSettings();
}

}  // namespace
