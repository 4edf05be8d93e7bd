// The main window: title, keys, frame slider and field, menu state and check marks, the status
// bar, the fitted window and the about box. Its files: ViewerDlgFilesTest.cpp.
#include "MainWindowFixture.h"

#include "app/analysis/AnalysisTools.h"
#include "app/analysis/HistogramDock.h"
#include "app/open/RawSettingsDlg.h"
#include "app/open/RecentFileList.h"
#include "ShellTestSupport.h"
#include "view/VideoBuffer.h"
#include "clipgen/ClipY4m.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSlider>
#include <QStatusBar>
#include <QStyleOptionSlider>
#include <QTextBrowser>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <type_traits>

namespace {

using shelltest::MainWindow;

TEST_F(MainWindow, EmptyWindowGraysTheViewMenuCloseAndProperties) {
    Show();
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Kavlo"));
    EXPECT_TRUE(dlg->Action(CmdOpen)->isEnabled());
    EXPECT_FALSE(dlg->Action(CmdClose)->isEnabled());
    EXPECT_FALSE(dlg->Action(CmdProperties)->isEnabled());
    QMenu* view = dlg->MenuBar()->actions()[1]->menu();
    ASSERT_NE(view, nullptr);
    for (QAction* a : view->actions()) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    EXPECT_FALSE(dlg->FrameSlider()->isEnabled());
    EXPECT_FALSE(dlg->FrameField()->isEnabled());
    EXPECT_EQ(dlg->FrameField()->text(), QStringLiteral("0"));
    // The empty recent list shows one disabled item.
    ASSERT_EQ(dlg->RecentMenu()->actions().size(), 1);
    EXPECT_FALSE(dlg->RecentMenu()->actions()[0]->isEnabled());
    EXPECT_EQ(dlg->Action(CmdShowY)->text(), QStringLiteral("Show &Y' Only\t7"));
}

TEST_F(MainWindow, TitleNamesFileLayoutAndZoom) {
    OpenClip();
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("main.raw (GRAY) (100%) - Kavlo "));
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    Key(Qt::Key_Equal);
    EXPECT_DOUBLE_EQ(dlg->View()->Zoom(), 4.0);
    EXPECT_TRUE(dlg->windowTitle().startsWith(QStringLiteral("main.raw (GRAY) (400%) - Kavlo ")));
    Key(Qt::Key_Minus);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    Key(Qt::Key_Underscore, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(dlg->View()->Zoom(), 0.5);
    EXPECT_TRUE(dlg->windowTitle().startsWith(QStringLiteral("main.raw (GRAY) (50%) - Kavlo")));
    dlg->UpdateTitle(dlg->View(), QStringLiteral("probe"));
    EXPECT_TRUE(dlg->windowTitle().endsWith(QStringLiteral("Kavlo probe")));
    dlg->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(dlg->Minimized());
    dlg->UpdateTitle(dlg->View(), QStringLiteral("probe"));
    EXPECT_TRUE(dlg->windowTitle().endsWith(QStringLiteral("- Kavlo")));
    dlg->setWindowState(Qt::WindowNoState);
    dlg->UpdateTitle(dlg->View(), QStringLiteral("back"));
    EXPECT_TRUE(dlg->windowTitle().endsWith(QStringLiteral("Kavlo back")));
}

TEST_F(MainWindow, ChannelKeysAndCheckMarks) {
    OpenClip();
    EXPECT_TRUE(Checked(CmdShowAll));
    Key(Qt::Key_7);
    EXPECT_TRUE(dlg->View()->Switches().lumaOnly);
    EXPECT_TRUE(Checked(CmdShowY));
    EXPECT_FALSE(Checked(CmdShowAll));
    Key(Qt::Key_9);
    EXPECT_TRUE(Checked(CmdShowCr));
    EXPECT_FALSE(Checked(CmdShowY));
    // 6 is the view's own key: it clears the channels there, and the menu follows at once.
    Key(Qt::Key_6);
    EXPECT_FALSE(dlg->View()->Switches().crOnly);
    EXPECT_FALSE(Checked(CmdShowCr));
    EXPECT_TRUE(Checked(CmdShowAll));
    Key(Qt::Key_8);
    Key(Qt::Key_0);
    EXPECT_FALSE(dlg->View()->Switches().cbOnly);
    EXPECT_TRUE(Checked(CmdShowAll));
    EXPECT_FALSE(Checked(CmdShowCb));
}

TEST_F(MainWindow, ToggleKeysAndMethodKeys) {
    OpenClip();
    const struct {
        int key;
        int command;
        std::function<uint8_t(const ViewSwitches&)> state;
    } toggles[] = {
        {Qt::Key_D, CmdDeinterlace, [](const ViewSwitches& s) { return s.deinterlace; }},
        {Qt::Key_F, CmdSplitFields, [](const ViewSwitches& s) { return s.splitFields; }},
        {Qt::Key_I, CmdToggleInterlaced, [](const ViewSwitches& s) { return s.interlaceToggle; }},
        {Qt::Key_T, CmdToggleFieldOrder, [](const ViewSwitches& s) { return s.swappedFieldOrder; }},
        {Qt::Key_V, CmdFlip, [](const ViewSwitches& s) { return s.flipToggle; }},
        {Qt::Key_M, CmdMosaicGrey, [](const ViewSwitches& s) { return s.mosaicGrey; }},
    };
    for (const auto& t : toggles) {
        Key(t.key);
        EXPECT_EQ(t.state(dlg->View()->Switches()), 1) << t.command;
        EXPECT_TRUE(Checked(t.command)) << t.command;
        Key(t.key);
        EXPECT_EQ(t.state(dlg->View()->Switches()), 0) << t.command;
        EXPECT_FALSE(Checked(t.command)) << t.command;
    }
    // Shift+2 selects the bottom field even while deinterlacing is off.
    ASSERT_EQ(dlg->View()->Switches().deinterlace, 0);
    Key(Qt::Key_At, Qt::ShiftModifier);
    EXPECT_EQ(dlg->View()->Switches().deinterlaceMethod, 2u);
    EXPECT_TRUE(Checked(CmdMethodBottom));
    EXPECT_FALSE(Checked(CmdMethodBlend));
    Key(Qt::Key_Dollar, Qt::ShiftModifier);
    EXPECT_EQ(dlg->View()->Switches().deinterlaceMethod, 3u);
    EXPECT_TRUE(Checked(CmdMethodLowPass));
    Key(Qt::Key_NumberSign, Qt::ShiftModifier);
    EXPECT_EQ(dlg->View()->Switches().deinterlaceMethod, 0u);
    EXPECT_TRUE(Checked(CmdMethodBlend));
    // A Ctrl key-up that went elsewhere (to a dialog, or a window closed by Ctrl+W) does not
    // leave Ctrl held for the window: the next Shift+digit without Ctrl still picks a method.
    QTest::keyPress(QApplication::focusWidget(), Qt::Key_Control);
    Key(Qt::Key_At, Qt::ShiftModifier);
    EXPECT_EQ(dlg->View()->Switches().deinterlaceMethod, 2u);
    // Escape leaves the window open.
    Key(Qt::Key_Escape);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainWindow, MenuCommandsRunThroughTheMenuBar) {
    OpenClip();
    dlg->Action(CmdShowCb)->trigger();
    EXPECT_TRUE(dlg->View()->Switches().cbOnly);
    EXPECT_TRUE(Checked(CmdShowCb));
    dlg->Action(CmdMethodTop)->trigger();
    EXPECT_EQ(dlg->View()->Switches().deinterlaceMethod, 1u);
    EXPECT_TRUE(Checked(CmdMethodTop));
    dlg->Action(CmdZoomIn)->trigger();
    EXPECT_DOUBLE_EQ(dlg->View()->Zoom(), 2.0);
    dlg->Action(CmdActualSize)->trigger();
    EXPECT_DOUBLE_EQ(dlg->View()->Zoom(), 1.0);
    dlg->Action(CmdClose)->trigger();
    EXPECT_FALSE(dlg->View()->IsOpen());
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Kavlo"));
    EXPECT_FALSE(dlg->Action(CmdShowAll)->isEnabled());
    EXPECT_FALSE(dlg->FrameSlider()->isEnabled());
}

// Player conventions: a click on the slider's groove goes to the frame under it, and the play
// button shows pause while playing.
TEST_F(MainWindow, SliderClickJumpsAndPlayButtonShowsPause) {
    OpenClip();
    QSlider* slider = dlg->FrameSlider();
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->value();
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderGroove, slider);
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier,
                      QPoint(groove.left() + groove.width() * 3 / 4, groove.center().y()));
    EXPECT_GT(slider->value(), 60);  // paging would have moved it by one page step only
    EXPECT_LT(slider->value(), 90);
    EXPECT_EQ(dlg->View()->CurrentPosition(), slider->value());

    QAction* play = nullptr;
    for (QAction* a : dlg->findChild<QToolBar*>(QStringLiteral("PlayBar"))->actions())
        if (a->text().startsWith(QStringLiteral("Play"))) play = a;
    ASSERT_NE(play, nullptr);
    dlg->OnCommand(CmdPlayPause);
    EXPECT_EQ(play->text(), QStringLiteral("Pause (P)"));
    dlg->OnCommand(CmdPlayPause);
    EXPECT_EQ(play->text(), QStringLiteral("Play (P)"));
}

// The modes that change the picture are named in the status bar in words.
TEST_F(MainWindow, StatusBarNamesThePictureModes) {
    const QString clip = shelltest::Clip(QStringLiteral("modes.yuv"), kLayoutI420, 64, 48, 2);
    RawSettings s = shelltest::SettingsFor(kLayoutI420, 64, 48);
    s.rawFormat.fieldCount = 2;  // interlaced, woven
    s.rawFormat.fieldDetail = 9;
    s.rawFormat.extensionFlags |= kExtFieldInfo;
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, clip, error, 0), 0) << error.toStdString();
    dlg->AfterOpen(clip, s);
    Show();
    EXPECT_EQ(dlg->StatusModesText(), QString());
    const struct {
        int command;
        const char* modes;
    } steps[] = {
        {CmdShowCb, "Cb' only"},
        {CmdFlip, "Cb' only, flipped"},
        {CmdShowAll, ""},  // Show All sets every display switch back
        {CmdSplitFields, "fields split"},
        {CmdSplitFields, ""},
        {CmdDeinterlace, "blend deinterlace"},
        {CmdMethodTop, "top-field deinterlace"},
        {CmdFlip, "flipped, top-field deinterlace"},
        {CmdMatrixAuto, "flipped, top-field deinterlace, matrix from the file"},
    };
    for (const auto& step : steps) {
        dlg->OnCommand(step.command);
        EXPECT_EQ(dlg->StatusModesText().toStdString(), step.modes) << step.command;
    }
}

// Showing the docked histogram widens the window where the screen has room; hiding it gives the
// width back, however often it is done.
TEST_F(MainWindow, HistogramPanelGivesTheWidthBack) {
    OpenClip();
    dlg->resize(std::max(dlg->minimumWidth(), 460), dlg->height());
    dlg->move(0, 0);
    QCoreApplication::processEvents();
    const int width = dlg->width();
    int shown = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        dlg->OnCommand(CmdHistogram);
        QCoreApplication::processEvents();
        if (round == 0) shown = dlg->width();
        EXPECT_GT(dlg->width(), width);
        EXPECT_EQ(dlg->width(), shown);
        dlg->OnCommand(CmdHistogram);
        QCoreApplication::processEvents();
        EXPECT_EQ(dlg->width(), width);
    }
}

// A text field keeps its keys: digits typed into the rate field switch no channel. Return and
// Escape there, and closing the floating histogram, give the keys back to the picture, where the
// arrows step frames again.
TEST_F(MainWindow, TextFieldsKeepTheirKeysAndGiveTheFocusBack) {
    OpenClip();
    auto* rate = dlg->findChild<QLineEdit*>(QStringLiteral("RateField"));
    ASSERT_NE(rate, nullptr);
    rate->setFocus();
    rate->selectAll();
    QTest::keyClicks(rate, QStringLiteral("10"));
    EXPECT_EQ(rate->text(), QStringLiteral("10"));
    EXPECT_EQ(dlg->View()->Switches().filter1, 0) << "1 is the field's, not a view key";
    QTest::keyClick(rate, Qt::Key_Backspace);
    QTest::keyClick(rate, Qt::Key_Home);
    EXPECT_EQ(rate->text(), QStringLiteral("1"));
    QTest::keyClick(rate, Qt::Key_End);
    QTest::keyClicks(rate, QStringLiteral("2"));
    QTest::keyClick(rate, Qt::Key_Return);
    EXPECT_TRUE(dlg->View()->hasFocus());
    EXPECT_EQ(rate->text(), QStringLiteral("12"));
    Key(Qt::Key_Right);
    EXPECT_EQ(dlg->View()->CurrentPosition(), 1);

    rate->setFocus();
    QTest::keyClicks(rate, QStringLiteral("99"));
    QTest::keyClick(rate, Qt::Key_Escape);
    EXPECT_TRUE(dlg->View()->hasFocus());
    EXPECT_EQ(rate->text(), QStringLiteral("12"));

    dlg->OnCommand(CmdHistogramWindow);  // floating
    QWidget* panel = dlg->Analysis()->Histogram();
    ASSERT_TRUE(panel->isVisible());
    panel->activateWindow();
    panel->setFocus();
    panel->close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dlg->View()->hasFocus());
    Key(Qt::Key_Right);
    EXPECT_EQ(dlg->View()->CurrentPosition(), 2);
}

TEST_F(MainWindow, FrameFieldRules) {
    OpenClip();
    QLineEdit* field = dlg->FrameField();
    EXPECT_EQ(dlg->FrameSlider()->maximum(), 99);
    struct Case {
        const char* typed;
        int expected;
        bool enter;
    } cases[] = {
        {"99999", 99, true}, {"100", 99, false}, {"-3", 0, false},
        {"42", 42, true},    {"7", 7, false},
    };
    for (const auto& c : cases) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(c.typed));
        if (c.enter)
            QTest::keyClick(field, Qt::Key_Return);
        else
            dlg->FrameSlider()->setFocus();
        EXPECT_EQ(field->text(), QString::number(c.expected)) << c.typed;
        EXPECT_EQ(dlg->FrameSlider()->value(), c.expected) << c.typed;
        EXPECT_EQ(dlg->View()->CurrentPosition(), c.expected) << c.typed;
    }
    // Escape puts the slider's number back.
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("12"));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(field->text(), QStringLiteral("7"));
    EXPECT_EQ(dlg->View()->CurrentPosition(), 7);
    EXPECT_TRUE(dlg->isVisible());
    // Ctrl+G focuses the field with its text selected.
    dlg->View()->setFocus();
    Key(Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->selectedText(), QStringLiteral("7"));
    // The slider loads what it points at.
    dlg->View()->setFocus();
    dlg->FrameSlider()->setValue(55);
    EXPECT_EQ(field->text(), QStringLiteral("55"));
    EXPECT_EQ(dlg->View()->CurrentPosition(), 55);
}

TEST_F(MainWindow, ArrowPageHomeAndEndKeysStepFramesWhereverTheFocusIs) {
    OpenClip();
    QLineEdit* field = dlg->FrameField();
    auto expectFrame = [&](int64_t frame, const char* after) {
        EXPECT_EQ(dlg->View()->CurrentPosition(), frame) << after;
        EXPECT_EQ(dlg->FrameSlider()->value(), frame) << after;
        EXPECT_EQ(field->text(), QString::number(frame)) << after;
        EXPECT_EQ(dlg->StatusFrameText(), QStringLiteral("Frame %1 / 100").arg(frame)) << after;
    };
    for (QWidget* focus :
         {static_cast<QWidget*>(dlg->View()), static_cast<QWidget*>(dlg->FrameSlider()),
          static_cast<QWidget*>(dlg.get())}) {
        dlg->GoToFrame(0);
        focus->setFocus();
        const std::string name = focus->objectName().toStdString();
        SCOPED_TRACE(name);
        Key(Qt::Key_Right);
        expectFrame(1, "Right");
        Key(Qt::Key_PageUp);
        expectFrame(11, "PgUp: ten on, as on the slider");
        Key(Qt::Key_Left);
        expectFrame(10, "Left");
        Key(Qt::Key_PageDown);
        expectFrame(0, "PgDn");
        Key(Qt::Key_Left);
        expectFrame(0, "Left stops at the first frame");
        Key(Qt::Key_End);
        expectFrame(99, "End");
        Key(Qt::Key_PageUp);
        expectFrame(99, "PgUp stops at the last frame");
        Key(Qt::Key_Home);
        expectFrame(0, "Home");
    }
    // In the frame field the keys move the cursor.
    dlg->GoToFrame(42);
    field->setFocus();
    field->setCursorPosition(2);
    QTest::keyClick(field, Qt::Key_Left);
    QTest::keyClick(field, Qt::Key_Home);
    EXPECT_EQ(field->cursorPosition(), 0);
    EXPECT_EQ(dlg->View()->CurrentPosition(), 42);
}

// The probe's text is never cut: it has a row of its own that wraps when the window is narrow,
// above the status bar's short fields, and the full text is in its tooltip.
TEST_F(MainWindow, ProbeReadoutIsNeverCut) {
    const QString clip = shelltest::Clip(QStringLiteral("probe.yuv"), kLayoutI420, 64, 48, 2);
    RawSettings s = shelltest::SettingsFor(kLayoutI420, 64, 48);
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, clip, error, 0), 0) << error.toStdString();
    dlg->AfterOpen(clip, s);
    Show();
    auto* probe = dlg->findChild<QLabel*>(QStringLiteral("StatusProbe"));
    ASSERT_NE(probe, nullptr);
    for (const int width : {800, 420}) {
        SCOPED_TRACE(width);
        dlg->resize(width, dlg->height());
        // The picture's place is in device pixels, the mouse's in logical ones.
        QWidget* port = dlg->View()->viewport();
        const QPointF corner =
            QPointF(dlg->View()->PictureRect().topLeft()) / port->devicePixelRatioF();
        const QPointF at = QPointF(corner.toPoint() + QPoint(7, 4));
        QMouseEvent move(QEvent::MouseMove, at, port->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(port, &move);
        const QString text = dlg->StatusProbeText();
        ASSERT_TRUE(text.startsWith(QStringLiteral("Pos: ("))) << text.toStdString();
        EXPECT_EQ(probe->toolTip(), text);
        const QRect room = probe->contentsRect();
        const QRect needed = probe->fontMetrics().boundingRect(room, Qt::TextWordWrap, text);
        EXPECT_LE(needed.height(), room.height()) << text.toStdString();
        EXPECT_LE(needed.width(), room.width());
        EXPECT_LE(probe->geometry().bottom(), dlg->StatusBar()->geometry().top());
        EXPECT_GE(probe->geometry().top(),
                  dlg->View()->mapTo(dlg.get(), QPoint(0, 0)).y() + dlg->View()->height() - 1);
    }
}

TEST_F(MainWindow, StatusBarShowsFrameZoomFormatAndProbe) {
    dlg->show();
    EXPECT_EQ(dlg->StatusFrameText(), QString()) << "nothing open";
    OpenClip();
    ASSERT_NE(dlg->StatusBar(), nullptr);
    EXPECT_TRUE(dlg->StatusBar()->isVisible());
    EXPECT_GE(dlg->StatusBar()->geometry().top(),
              dlg->FrameField()->mapTo(dlg.get(), QPoint(0, 0)).y() + dlg->FrameField()->height());
    EXPECT_EQ(dlg->StatusFrameText(), QStringLiteral("Frame 0 / 100"));
    EXPECT_EQ(dlg->StatusZoomText(), QStringLiteral("100%"));
    EXPECT_EQ(dlg->StatusFormatText(), QStringLiteral("GRAY 64x48"));
    EXPECT_EQ(dlg->StatusProbeText(), QString());
    dlg->FrameSlider()->setValue(5);
    EXPECT_EQ(dlg->StatusFrameText(), QStringLiteral("Frame 5 / 100"));
    QWidget* port = dlg->View()->viewport();
    const QRect picture = dlg->View()->PictureRect();
    QTest::mouseMove(port, picture.topLeft() + QPoint(5, 3));
    EXPECT_TRUE(dlg->StatusProbeText().startsWith(QStringLiteral("Pos: (5,3), RGB: (")))
        << dlg->StatusProbeText().toStdString();
    EXPECT_TRUE(dlg->windowTitle().startsWith(
        QStringLiteral("main.raw (GRAY) (100%) - Kavlo  - Pos: (5,3), RGB: (")))
        << "the title keeps its format";
    Key(Qt::Key_Equal);
    EXPECT_EQ(dlg->StatusZoomText(), QStringLiteral("200%"));
    dlg->OnCommand(CmdClose);
    EXPECT_EQ(dlg->StatusFrameText(), QString());
    EXPECT_EQ(dlg->StatusFormatText(), QString());
}

// File > Open of a YUV4MPEG2 file opens it by its header; a frame whose FRAME line carries its
// own parameters is not shown, and the status bar says why in the probe's place.
TEST_F(MainWindow, Y4mFramesWithParametersSayWhyInTheStatusBar) {
    const QString file = shelltest::FileOfSize(QStringLiteral("params.y4m"), 1);
    clipgen::ClipOptions o;
    o.code = kLayoutI420;
    o.width = 64;
    o.height = 48;
    o.frames = 4;
    clipgen::Y4mOptions y4m;
    y4m.parameterFrame = 2;
    y4m.frameParameters = "Ip";
    std::string error;
    ASSERT_TRUE(clipgen::WriteY4mClip(o, y4m, QFile::encodeName(file).toStdString(), error))
        << error;
    dlg->OpenByName(file);
    Show();
    ASSERT_TRUE(dlg->View()->IsOpen());
    EXPECT_EQ(dlg->StatusFormatText(), QStringLiteral("I420 64x48 BT.601 limited"));
    dlg->FrameSlider()->setValue(1);
    EXPECT_EQ(dlg->StatusProbeText(), QString());
    dlg->FrameSlider()->setValue(2);
    EXPECT_EQ(dlg->StatusProbeText(),
              QStringLiteral("frame 2's FRAME line is 9 bytes, the first frame's 6; frames with "
                             "their own parameters are not supported"));
    dlg->FrameSlider()->setValue(0);
    EXPECT_EQ(dlg->StatusProbeText(), QString());
}

TEST_F(MainWindow, FrameFieldLimitFollowsTheFileAndNeverCutsANumber) {
    OpenClip(100, QStringLiteral("short.raw"));
    QLineEdit* field = dlg->FrameField();
    auto typeAndEnter = [field](const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    };
    typeAndEnter(QStringLiteral("123456"));
    EXPECT_EQ(field->text(), QStringLiteral("99"));
    // A longer file: its numbers are shown and loaded whole.
    OpenClip(1500, QStringLiteral("long.raw"));
    dlg->FrameSlider()->setValue(1234);
    EXPECT_EQ(field->text(), QStringLiteral("1234"));
    field->setFocus();
    dlg->View()->setFocus();  // leaving the field loads its number
    EXPECT_EQ(dlg->View()->CurrentPosition(), 1234);
    // A number longer than any frame number goes to the last frame, not to its first digits.
    typeAndEnter(QStringLiteral("12345"));
    EXPECT_EQ(field->text(), QStringLiteral("1499"));
    EXPECT_EQ(dlg->View()->CurrentPosition(), 1499);
    // Typing stops one digit past the longest frame number.
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("99999999"));
    EXPECT_EQ(field->text(), QStringLiteral("99999"));
}

TEST_F(MainWindow, FramesPastTwoToThe31AreLoadedByTheirWholeNumber) {
    const int64_t border = int64_t(1) << 31;
    path =
        shelltest::SparseFile(QStringLiteral("huge.raw"), (border + 8) * 2);  // 2 x 1 GRAY frames
    ASSERT_FALSE(path.isEmpty());
    RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 2, 1);
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0) << error.toStdString();
    dlg->AfterOpen(path, s);
    Show();
    ASSERT_EQ(dlg->View()->FrameCount(), border + 8);
    QLineEdit* field = dlg->FrameField();
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::number(border + 2));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(dlg->View()->CurrentPosition(), border + 2);
    EXPECT_EQ(field->text(), QString::number(border + 2));
    EXPECT_EQ(dlg->FrameSlider()->value(), INT_MAX);
    // A play-through counts and loads across the border.
    EXPECT_EQ(dlg->PlayFrames(border - 2, border + 3), 5);
    EXPECT_EQ(dlg->View()->CurrentPosition(), border + 2);
}

TEST_F(MainWindow, CtrlZeroIsActualSizeEvenAtTheLargestZoom) {
    OpenClip(2, QStringLiteral("ctrl0.raw"));
    for (int i = 0; i < 6; ++i) Key(Qt::Key_Plus, Qt::KeypadModifier);
    ASSERT_DOUBLE_EQ(dlg->View()->Zoom(), 32.0);
    Key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(dlg->View()->Zoom(), 1.0);
}

TEST_F(MainWindow, AboutBoxShowsTheLicenceFromTheProgramFolder) {
    Show();
    QString license;
    shelltest::OnNextModal([&license](QWidget* w) {
        if (auto* browser = w->findChild<QTextBrowser*>()) license = browser->toPlainText();
        static_cast<QDialog*>(w)->accept();
    });
    dlg->OnCommand(CmdAbout);
    EXPECT_TRUE(license.contains(QStringLiteral("Brellin GmbH"))) << license.toStdString();
}

TEST_F(MainWindow, WindowFitsThePictureAfterAnOpen) {
    path = shelltest::Clip(QStringLiteral("fit.raw"), kLayoutGRAY, 500, 350, 1);
    Show();
    RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 500, 350);
    QString error;
    ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0);
    dlg->AfterOpen(path, s);
    const qreal ratio = dlg->View()->devicePixelRatioF();
    EXPECT_EQ(dlg->View()->viewport()->width(), int(500 / ratio));
    EXPECT_EQ(dlg->View()->viewport()->height(), int(350 / ratio));
    // The slider and the frame field moved along with the view's lower edge.
    EXPECT_GT(dlg->FrameSlider()->geometry().top(), dlg->View()->geometry().bottom());
    // Both end 7 dialog units from the right edge in the template, and keep doing so.
    EXPECT_NEAR(dlg->FrameField()->geometry().right(), dlg->View()->geometry().right(), 1);
}

}  // namespace
