// The main window's files: the title naming the file, the recent-file menu and the store, the
// colour remembered with the file, a failed recent open, dropped files, Properties, and the
// standard shortcuts that open, close and exit.
#include "MainWindowFixture.h"

#include "app/open/RawSettingsDlg.h"
#include "app/open/RecentFileList.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

namespace {

using shelltest::MainWindow;

TEST_F(MainWindow, TitleShowsAFileNameWithPercentSignsAsItIs) {
    path = shelltest::Clip(QStringLiteral("a%2b.uyvy"), kLayoutUYVY, 64, 48, 1);
    ASSERT_FALSE(path.isEmpty());
    RawSettings s = shelltest::SettingsFor(kLayoutUYVY, 64, 48);
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0) << error.toStdString();
    dlg->AfterOpen(path, s);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("a%2b.uyvy (UYVY) (100%) - Kavlo "));
}

TEST_F(MainWindow, OpenedFileGoesToTheRecentMenuAndTheStore) {
    OpenClip(3, QStringLiteral("recent.raw"));
    ASSERT_EQ(dlg->RecentFiles()->GetSize(), 1);
    EXPECT_EQ((*dlg->RecentFiles())[0].data.size(), int(kRawSettingsSize));
    ASSERT_EQ(dlg->RecentMenu()->actions().size(), 1);
    EXPECT_TRUE(dlg->RecentMenu()->actions()[0]->isEnabled());
    QString display;
    ASSERT_TRUE(dlg->RecentFiles()->GetDisplayName(display, 0, nullptr, true));
    EXPECT_EQ(dlg->RecentMenu()->actions()[0]->text(), QStringLiteral("1 ") + display);
    dlg->Action(CmdClose)->trigger();
    // Reopening from the menu uses the stored settings: no dialog is asked.
    dlg->RecentMenu()->actions()[0]->trigger();
    EXPECT_TRUE(dlg->View()->IsOpen());
    EXPECT_EQ(dlg->View()->FileName(), path);
    dlg.reset();
    CMyRecentFileList stored;
    stored.ReadList();
    ASSERT_EQ(stored.GetSize(), 1);
    EXPECT_EQ(stored[0].name, path);
    EXPECT_EQ(stored[0].data.size(), int(kRawSettingsSize));
}

// View > Colour and the keys C and R: the open file's matrix and range change, the menu marks
// and the status text follow, and the recent entry remembers them for the next open.
TEST_F(MainWindow, ColourMenuAndKeysAreRememberedWithTheFile) {
    path = shelltest::Clip(QStringLiteral("colour.raw"), kLayoutUYVY, 64, 48, 3);
    RawSettings s = shelltest::SettingsFor(kLayoutUYVY, 64, 48);
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0) << error.toStdString();
    dlg->AfterOpen(path, s);
    Show();
    auto stored = [&](int byte) {
        return static_cast<int>(static_cast<uint8_t>((*dlg->RecentFiles())[0].data[202 + byte]));
    };
    EXPECT_EQ(dlg->StatusFormatText(), QStringLiteral("UYVY 64x48 BT.601 limited"));
    EXPECT_TRUE(Checked(CmdMatrix601));
    EXPECT_FALSE(Checked(CmdFullRange));
    Key(Qt::Key_C);
    EXPECT_TRUE(Checked(CmdMatrix709));
    EXPECT_FALSE(Checked(CmdMatrix601));
    EXPECT_EQ(dlg->StatusFormatText(), QStringLiteral("UYVY 64x48 BT.709 limited"));
    EXPECT_EQ(stored(0), 1);
    Key(Qt::Key_R);
    EXPECT_TRUE(Checked(CmdFullRange));
    EXPECT_EQ(stored(1), 1);
    EXPECT_EQ(dlg->StatusFormatText(), QStringLiteral("UYVY 64x48 BT.709 full"));
    EXPECT_TRUE(dlg->windowTitle().startsWith(QStringLiteral("colour.raw (UYVY) (100%) - ")));
    dlg->Action(CmdMatrix2020)->trigger();
    EXPECT_TRUE(Checked(CmdMatrix2020));
    EXPECT_EQ(stored(0), 2);
    dlg->Action(CmdMatrixAuto)->trigger();
    EXPECT_EQ(stored(0), 3);
    dlg->Action(CmdMatrix2020)->trigger();
    // Reopened from the recent list: the choice comes back.
    dlg->Action(CmdClose)->trigger();
    EXPECT_FALSE(dlg->Action(CmdMatrix2020)->isChecked());
    dlg->RecentMenu()->actions()[0]->trigger();
    ASSERT_TRUE(dlg->View()->IsOpen());
    EXPECT_EQ(dlg->View()->ColourMatrixChoice(), kavlo::MatrixChoice::BT2020);
    EXPECT_TRUE(dlg->View()->FullRange());
    EXPECT_TRUE(Checked(CmdMatrix2020));
    EXPECT_TRUE(Checked(CmdFullRange));
}

TEST_F(MainWindow, FailedRecentOpenOffersRemoval) {
    const QString gone = shelltest::FileOfSize(QStringLiteral("gone.raw"), 64);
    RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 64, 48);  // needs 3072 bytes per frame
    dlg->RecentFiles()->Add(gone, sizeof s, &s);
    Show();
    shelltest::OnNextModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->text().startsWith(
            QStringLiteral("An error occrured while loading the video file.")));
        // The file and the reason, before the question.
        EXPECT_TRUE(box->text().contains(QStringLiteral("gone.raw:\n")));
        EXPECT_TRUE(box->text().endsWith(QStringLiteral("remove the file from the list?")));
        EXPECT_GT(box->text().size(), 130) << box->text().toStdString();
        box->button(QMessageBox::Yes)->click();
    });
    dlg->OpenRecent(0);
    EXPECT_EQ(dlg->RecentFiles()->GetSize(), 0);
    ASSERT_EQ(dlg->RecentMenu()->actions().size(), 1);
    EXPECT_FALSE(dlg->RecentMenu()->actions()[0]->isEnabled());
}

TEST_F(MainWindow, DroppedFilesOpenOnlyTheFirst) {
    const QString first = shelltest::Clip(QStringLiteral("drop1.raw"), kLayoutGRAY, 64, 48, 2);
    const QString second = shelltest::Clip(QStringLiteral("drop2.raw"), kLayoutGRAY, 64, 48, 2);
    RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 64, 48);
    dlg->RecentFiles()->Add(first, sizeof s, &s);
    dlg->RecentFiles()->Add(second, sizeof s, &s);
    Show();
    QMimeData mime;
    mime.setUrls(
        {QUrl::fromLocalFile(first), QUrl::fromLocalFile(second), QUrl::fromLocalFile(second)});
    // The drop as the window receives it: a drag that enters, then the drop itself.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    // The drop has ended before the file opens.
    EXPECT_FALSE(dlg->View()->IsOpen());
    QTRY_VERIFY(dlg->View()->IsOpen());
    EXPECT_EQ(dlg->View()->FileName(), first);
    EXPECT_EQ((*dlg->RecentFiles())[0].name, first);
}

TEST_F(MainWindow, PropertiesReopensAtThePreviewsFrame) {
    OpenClip(10, QStringLiteral("props.raw"));
    dlg->FrameSlider()->setValue(4);
    ASSERT_EQ(dlg->View()->CurrentPosition(), 4);
    shelltest::OnNextModal([](QWidget* w) {
        auto* settings = qobject_cast<CRawSettingsDlg*>(w);
        ASSERT_NE(settings, nullptr);
        EXPECT_EQ(settings->Preview()->CurrentPosition(), 4);
        settings->OnFrameSlider(6);
        settings->OnWidthTyped(32);  // 32 x 48: twice the frames
        settings->accept();
    });
    dlg->OnCommand(CmdProperties);
    EXPECT_EQ(dlg->View()->FrameWidth(), 32);
    EXPECT_EQ(dlg->View()->FrameCount(), 20);
    EXPECT_EQ(dlg->View()->CurrentPosition(), 6);
    EXPECT_EQ(dlg->FrameField()->text(), QStringLiteral("6"));
    RawSettings stored;
    ASSERT_EQ((*dlg->RecentFiles())[0].data.size(), int(sizeof stored));
    std::memcpy(&stored, (*dlg->RecentFiles())[0].data.constData(), sizeof stored);
    EXPECT_EQ(stored.rawFormat.width, 32);
}

// Runs `act` on the next modal window if one comes within about a second; tells whether it came.
std::shared_ptr<bool> OnModalSoon(std::function<void(QWidget*)> act, int triesLeft = 300) {
    auto came = std::make_shared<bool>(false);
    struct Poller {
        static void Run(std::function<void(QWidget*)> act, std::shared_ptr<bool> came, int left) {
            QTimer::singleShot(3, [act, came, left] {
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    *came = true;
                    act(modal);
                } else if (left > 0) {
                    Run(act, came, left - 1);
                }
            });
        }
    };
    Poller::Run(std::move(act), came, triesLeft);
    return came;
}

TEST_F(MainWindow, PropertiesOnAFileThatWentAwayTellsWhy) {
    OpenClip(3, QStringLiteral("vanish.raw"));
    ASSERT_TRUE(QFile::remove(path));
    QString text;
    auto came = OnModalSoon([&text](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) text = box->text();
        w->close();
    });
    dlg->OnCommand(CmdProperties);
    ASSERT_TRUE(*came);
    EXPECT_TRUE(text.startsWith(
        QStringLiteral("An error occrured while loading the video file.\n\n") + path))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("No such file or directory")));
}

TEST_F(MainWindow, StandardShortcutsOpenCloseAndExit) {
    const struct {
        int id;
        QKeySequence key;
    } expected[] = {{CmdOpen, QKeySequence(Qt::CTRL | Qt::Key_O)},
                    {CmdClose, QKeySequence(Qt::CTRL | Qt::Key_W)},
                    {CmdExit, QKeySequence(Qt::CTRL | Qt::Key_Q)}};
    for (const auto& e : expected)
        EXPECT_TRUE(dlg->Action(e.id)->shortcuts().contains(e.key)) << e.id;
    OpenClip(2, QStringLiteral("keys.raw"));
    // Q alone still toggles the view's method-2 label.
    const uint8_t label = dlg->View()->Switches().method2Label;
    Key(Qt::Key_Q);
    EXPECT_NE(dlg->View()->Switches().method2Label, label);
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(dlg->View()->IsOpen());
    auto came = OnModalSoon([](QWidget* w) {
        EXPECT_NE(qobject_cast<QFileDialog*>(w), nullptr);
        w->close();
    });
    Key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(*came);
    ASSERT_TRUE(dlg->isVisible());
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    Key(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(dlg->isVisible());
}

}  // namespace
