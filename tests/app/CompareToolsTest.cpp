// The main window's comparison with a reference: opening it through the recent list's settings,
// the refusal of another frame size (the file shown stays), the Compare menu's state and check
// marks following the keys, the figures in the status bar and in Frame Figures, and the window of
// all frames' PSNR.
#include "app/compare/CompareTools.h"
#include "app/compare/PsnrSequencePlot.h"
#include "app/compare/PsnrSequenceWindow.h"
#include "app/open/RecentFileList.h"
#include "app/window/ViewerDlg.h"

#include "ShellTestSupport.h"
#include "image/PixelLayout.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Compare : public ::testing::Test {
protected:
    void SetUp() override {
        shelltest::ClearSettings();
        dlg = std::make_unique<CTNViewerDlg>();
        path = shelltest::Clip(QStringLiteral("cmp_a.raw"), kLayoutGRAY, 64, 48, 4);
        ASSERT_FALSE(path.isEmpty());
        RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 64, 48);
        QString error;
        ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0) << error.toStdString();
        dlg->AfterOpen(path, s);
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->View()->setFocus();
    }
    void TearDown() override { dlg.reset(); }

    // A GRAY clip of the given size, known to the recent list (no dialog asks for it).
    QString KnownClip(const QString& name, int w, int h, int frames) {
        const QString p = shelltest::Clip(name, kLayoutGRAY, w, h, frames);
        RawSettings s = shelltest::SettingsFor(kLayoutGRAY, w, h);
        dlg->RecentFiles()->Add(p, sizeof s, &s);
        return p;
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dlg.get(),
                        Qt::Key(key), mods);
    }
    bool Checked(int id) const { return dlg->Action(id)->isChecked(); }
    bool Enabled(int id) const { return dlg->Action(id)->isEnabled(); }
    QString CompareStatus() const {
        return dlg->StatusBar()->findChild<QLabel*>(QStringLiteral("StatusCompare"))->text();
    }

    std::unique_ptr<CTNViewerDlg> dlg;
    QString path;
};

TEST_F(Compare, ReferenceOfAnotherSizeIsRefusedWithTheReasonAndTheFileStays) {
    const QString other = KnownClip(QStringLiteral("cmp_small.raw"), 64, 40, 4);
    dlg->GoToFrame(2);
    QString text;
    shelltest::OnNextModal([&text](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        text = box->text();
        box->accept();
    });
    EXPECT_FALSE(dlg->Compare()->OpenReference(other));
    EXPECT_TRUE(text.startsWith(QStringLiteral("The reference could not be opened.")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("64x40"))) << text.toStdString();
    EXPECT_FALSE(dlg->View()->HasReference());
    EXPECT_EQ(dlg->View()->FileName(), path);
    EXPECT_EQ(dlg->View()->CurrentPosition(), 2);
    EXPECT_FALSE(Enabled(CmdShowB));
    EXPECT_FALSE(Enabled(CmdCloseReference));
}

TEST_F(Compare, KeysSwitchTheModesAndTheMenusFollow) {
    EXPECT_TRUE(Enabled(CmdOpenReference));
    EXPECT_FALSE(Enabled(CmdSideBySide));
    // Without a reference the keys say what is missing and change nothing.
    Key(Qt::Key_A);
    EXPECT_TRUE(dlg->StatusBar()->currentMessage().contains(QStringLiteral("Open Reference")));
    EXPECT_EQ(dlg->View()->Reference().Mode(), kavlo::CompareMode::A);

    const QString ref = KnownClip(QStringLiteral("cmp_b.raw"), 64, 48, 2);
    ASSERT_TRUE(dlg->Compare()->OpenReference(ref));
    EXPECT_TRUE(Enabled(CmdSideBySide));
    EXPECT_TRUE(Enabled(CmdCloseReference));
    EXPECT_TRUE(Checked(CmdShowA));
    // Remembered like any file: first in the recent list with its settings.
    EXPECT_EQ((*dlg->RecentFiles())[0].name, ref);

    Key(Qt::Key_A);
    EXPECT_EQ(dlg->View()->Reference().Mode(), kavlo::CompareMode::B);
    EXPECT_TRUE(Checked(CmdShowB));
    EXPECT_TRUE(CompareStatus().startsWith(QStringLiteral("B"))) << CompareStatus().toStdString();
    Key(Qt::Key_A);
    EXPECT_TRUE(Checked(CmdShowA));
    Key(Qt::Key_B);
    EXPECT_TRUE(Checked(CmdSideBySide));
    EXPECT_EQ(dlg->View()->Bitmap()->PictureWidth(), 128);
    Key(Qt::Key_Y);
    EXPECT_TRUE(Checked(CmdDifference));
    EXPECT_TRUE(Checked(CmdGainFirst + 2)) << "x4 to start with";
    Key(Qt::Key_G);
    EXPECT_TRUE(Checked(CmdGainFirst + 3));
    EXPECT_TRUE(CompareStatus().startsWith(QStringLiteral("|A\u2212B|\u00D78")))
        << CompareStatus().toStdString();
    Key(Qt::Key_Y, Qt::ShiftModifier);
    EXPECT_TRUE(Checked(CmdSignedDifference));

    // Past the reference's two frames the status says so.
    dlg->GoToFrame(3);
    EXPECT_TRUE(CompareStatus().contains(QStringLiteral("no frame 3 in the reference")))
        << CompareStatus().toStdString();

    // A file of another frame size lets the reference go, and the status bar says so.
    const QString small = KnownClip(QStringLiteral("cmp_small2.raw"), 64, 40, 2);
    RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 64, 40);
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, small, error, 0), 0) << error.toStdString();
    dlg->AfterOpen(small, s);
    EXPECT_FALSE(dlg->View()->HasReference());
    EXPECT_TRUE(
        dlg->StatusBar()->currentMessage().startsWith(QStringLiteral("Reference cmp_b.raw closed")))
        << dlg->StatusBar()->currentMessage().toStdString();
    ASSERT_EQ(dlg->View()->OpenFile(&s, small, error, 0), 0);
    ASSERT_TRUE(dlg->Compare()->OpenReference(small));

    // Closed on purpose: no such word.
    dlg->StatusBar()->clearMessage();
    dlg->OnCommand(CmdCloseReference);
    EXPECT_FALSE(dlg->View()->HasReference());
    EXPECT_FALSE(Enabled(CmdShowA));
    EXPECT_EQ(dlg->View()->Bitmap()->PictureWidth(), 64);
    EXPECT_FALSE(
        dlg->StatusBar()->findChild<QLabel*>(QStringLiteral("StatusCompare"))->isVisible());
}

TEST_F(Compare, FiguresOfTheSameClipAreIdenticalInTheStatusAndFrameFigures) {
    // The same generator's clip: every frame is identical.
    const QString ref = KnownClip(QStringLiteral("cmp_same.raw"), 64, 48, 4);
    ASSERT_TRUE(dlg->Compare()->OpenReference(ref));
    dlg->GoToFrame(1);
    // Computed on the worker: the status field gets them when they arrive.
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return CompareStatus().contains(QStringLiteral("frame 1: identical")); }, 10000))
        << CompareStatus().toStdString();
    QString shown;
    shelltest::OnNextModal([&shown](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->accept();
    });
    dlg->OnCommand(CmdFrameFigures);
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith(QStringLiteral("A: %1\nB: %2\nFrame 1\n").arg(path, ref)))
        << copied.toStdString();
    EXPECT_TRUE(copied.contains(QStringLiteral("combined\t\tinf\t0.0000"))) << copied.toStdString();
    EXPECT_TRUE(shown.startsWith(copied));
}

}  // namespace

namespace {

// PSNR of All Frames opens the sequence window on the file and its reference; the window marks
// the frame shown and a frame chosen on its plot is shown in the main window.
TEST_F(Compare, AllFramesWindowFollowsAndChoosesTheFrameShown) {
    EXPECT_FALSE(Enabled(CmdPsnrAllFrames));
    const QString ref = KnownClip(QStringLiteral("cmp_all.raw"), 64, 48, 3);
    ASSERT_TRUE(dlg->Compare()->OpenReference(ref));
    EXPECT_TRUE(Enabled(CmdPsnrAllFrames));
    Key(Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    kavlo::PsnrSequenceWindow* w = kavlo::PsnrSequenceOf(dlg.get());
    ASSERT_NE(w, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(w->Figures().size() == 3 && !w->CancelButton()->isEnabled(), 20000);
    dlg->GoToFrame(2);
    EXPECT_EQ(w->Plot()->CurrentFrame(), 2);
    Q_EMIT w->frameChosen(1);
    EXPECT_EQ(dlg->View()->CurrentPosition(), 1);
    // Asked again, the same window is raised, still connected once.
    dlg->OnCommand(CmdPsnrAllFrames);
    EXPECT_EQ(kavlo::PsnrSequenceOf(dlg.get()), w);
    Q_EMIT w->frameChosen(0);
    EXPECT_EQ(dlg->View()->CurrentPosition(), 0);
}

}  // namespace

namespace {

// The offset from the Compare menu: one frame later and earlier, the status field naming it,
// Close Reference forgetting it; the rectangle's figures beside the frame's, and Escape clearing
// the rectangle only while there is one.
TEST_F(Compare, OffsetAndRectangleShowInTheStatusField) {
    const QString ref = KnownClip(QStringLiteral("cmp_b.raw"), 64, 48, 4);
    ASSERT_TRUE(dlg->Compare()->OpenReference(ref));
    dlg->GoToFrame(1);
    EXPECT_FALSE(CompareStatus().contains(QStringLiteral("B = A")))
        << CompareStatus().toStdString();
    ASSERT_TRUE(dlg->Compare()->OnCommand(CmdOffsetLater));
    ASSERT_TRUE(dlg->Compare()->OnCommand(CmdOffsetLater));
    EXPECT_EQ(dlg->View()->Reference().Offset(), 2);
    EXPECT_EQ(dlg->View()->Reference().FrameAsked(), 3);
    EXPECT_TRUE(CompareStatus().contains(QStringLiteral("B = A + 2")))
        << CompareStatus().toStdString();
    dlg->GoToFrame(2);
    EXPECT_TRUE(CompareStatus().contains(QStringLiteral("no frame 4 in the reference")))
        << CompareStatus().toStdString();
    // The copied figures name B's missing frame too, not A's.
    EXPECT_TRUE(dlg->Compare()->FiguresClipboardText().contains(
        QStringLiteral("the reference has no frame 4.")))
        << dlg->Compare()->FiguresClipboardText().toStdString();
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(dlg->Compare()->OnCommand(CmdOffsetEarlier));
    EXPECT_EQ(dlg->View()->Reference().Offset(), -3);
    EXPECT_TRUE(CompareStatus().contains(QStringLiteral("B = A \u2212 3")))
        << CompareStatus().toStdString();
    EXPECT_TRUE(dlg->Compare()->FiguresClipboardText().contains(
        QStringLiteral("(B's frame = A's frame \u2212 3)")));

    // A rectangle: its figures follow the frame's in the status field.
    ASSERT_TRUE(dlg->Compare()->OnCommand(CmdOffsetLater));
    ASSERT_TRUE(dlg->Compare()->OnCommand(CmdOffsetLater));
    ASSERT_TRUE(dlg->Compare()->OnCommand(CmdOffsetLater));
    EXPECT_EQ(dlg->View()->Reference().Offset(), 0);
    EXPECT_FALSE(Enabled(CmdClearRegion));
    dlg->View()->SetCompareRegion(QRect(4, 6, 8, 2));
    EXPECT_TRUE(Enabled(CmdClearRegion));
    const kavlo::CompareFigures f = dlg->Compare()->CurrentFigures();
    ASSERT_TRUE(f.regionValid);
    EXPECT_EQ(f.region, QRect(4, 6, 8, 2));
    QTRY_VERIFY(CompareStatus().contains(QStringLiteral("rect 8x2 at (4, 6)")));
    EXPECT_TRUE(dlg->Compare()->FiguresClipboardText().contains(
        QStringLiteral("Within the rectangle 8x2 at (4, 6)")));
    Key(Qt::Key_Escape);
    EXPECT_TRUE(dlg->View()->CompareRegionRect().isEmpty());
    EXPECT_FALSE(Enabled(CmdClearRegion));
    QTRY_VERIFY(!CompareStatus().contains(QStringLiteral("rect")));

    // Closing the reference forgets the offset.
    ASSERT_TRUE(dlg->Compare()->OnCommand(CmdOffsetLater));
    dlg->Compare()->CloseReference();
    ASSERT_TRUE(dlg->Compare()->OpenReference(ref));
    EXPECT_EQ(dlg->View()->Reference().Offset(), 0);
}

}  // namespace
