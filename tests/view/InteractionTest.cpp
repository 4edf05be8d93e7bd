// Zoom, scrolling, the mouse modes and the view keys, driven with Qt Test events.
#include "ViewTestSupport.h"

#include "image/PixelLayout.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

using namespace viewtest;

namespace {

clipgen::ClipOptions Grey(int w, int h) {
    clipgen::ClipOptions o;
    o.code = kLayoutGRAY;
    o.width = w;
    o.height = h;
    o.frames = 1;
    return o;
}

void SendWheel(QWidget* target, QPoint at, int delta, Qt::KeyboardModifiers modifiers) {
    const QPointF global = target->mapToGlobal(QPointF(at));
    QWheelEvent wheel(QPointF(at), global, QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

}  // namespace

class InteractionTest : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        view_->setFrameShape(QFrame::NoFrame);
        view_->resize(800, 600);
        QApplication::processEvents();
    }
    QWidget* Port() const { return view_->viewport(); }
};

TEST_F(InteractionTest, ZoomStaysBetweenOneSixteenthAndThirtyTwo) {
    Clip clip = MakeClip("zoom.raw", Grey(64, 48));
    Open(clip);
    for (int i = 0; i < 5; ++i) view_->ZoomIn();
    EXPECT_EQ(view_->Zoom(), 32.0);
    EXPECT_EQ(view_->ZoomedSize(), QSize(64 * 32, 48 * 32));
    view_->ZoomIn();
    EXPECT_EQ(view_->Zoom(), 32.0);
    view_->SetZoom(2.0);
    EXPECT_EQ(view_->Zoom(), 32.0) << "SetZoom refuses at 32";
    QTest::keyClick(view_.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(view_->Zoom(), 32.0) << "Ctrl+0 goes through SetZoom";
    view_->ActualSize();
    EXPECT_EQ(view_->Zoom(), 1.0);
    for (int i = 0; i < 4; ++i) view_->ZoomOut();
    EXPECT_EQ(view_->Zoom(), 1.0 / 16);
    EXPECT_EQ(view_->ZoomedSize(), QSize(4, 3));
    view_->ZoomOut();
    EXPECT_EQ(view_->Zoom(), 1.0 / 16);
    view_->SetZoom(100.0);
    EXPECT_EQ(view_->Zoom(), 32.0) << "SetZoom limits to 32";
}

TEST_F(InteractionTest, KeypadPlusTwiceGivesFourAndCtrlZeroReturnsToOne) {
    Clip clip = MakeClip("keys.raw", Grey(64, 48));
    Open(clip);
    QTest::keyClick(view_.get(), Qt::Key_Plus, Qt::KeypadModifier);
    QTest::keyClick(view_.get(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(view_->Zoom(), 4.0);
    QTest::keyClick(view_.get(), Qt::Key_Plus);  // the main keyboard's + belongs to the owner
    EXPECT_EQ(view_->Zoom(), 4.0);
    QTest::keyClick(view_.get(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(view_->Zoom(), 2.0);
    QTest::keyClick(view_.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(view_->Zoom(), 1.0);
}

TEST_F(InteractionTest, ZoomRectangleEnlargesByPowersOfTwoAndCentres) {
    Clip clip = MakeClip("rect.raw", Grey(1600, 1200));
    Open(clip);
    const QSize client = view_->ClientSize();
    ASSERT_GT(client.width(), 400);
    ASSERT_LE(client.width(), 800);

    QTest::keyPress(view_.get(), Qt::Key_Control);
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseZoom);
    QTest::mousePress(Port(), Qt::LeftButton, Qt::ControlModifier, QPoint(100, 100));
    EXPECT_EQ(view_->DragStateValue(), CVideoBuffer::DragZoomPressed);
    QTest::mouseMove(Port(), QPoint(105, 105));
    EXPECT_EQ(view_->DragStateValue(), CVideoBuffer::DragZoomPressed) << "less than 9 pixels";
    QTest::mouseMove(Port(), QPoint(200, 150));
    EXPECT_EQ(view_->DragStateValue(), CVideoBuffer::DragRectangle);
    EXPECT_TRUE(view_->MouseCaptured());
    QTest::mouseRelease(Port(), Qt::LeftButton, Qt::ControlModifier, QPoint(200, 150));

    // 100 x 50 in a client at most 800 wide: 8 x 100 is not less than the width, so 4.
    EXPECT_EQ(view_->Zoom(), 4.0);
    EXPECT_EQ(view_->DragStateValue(), CVideoBuffer::DragNone);
    EXPECT_FALSE(view_->MouseCaptured());
    // Centred on the rectangle's centre, picture point (150, 125).
    const QSize after = view_->ClientSize();
    EXPECT_EQ(view_->ScrollPosition(),
              QPoint(150 * 4 - after.width() / 2, 125 * 4 - after.height() / 2));

    QTest::keyRelease(view_.get(), Qt::Key_Control);
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseNone);
}

TEST_F(InteractionTest, RectangleDraggedBackToItsStartIsAClick) {
    Clip clip = MakeClip("back.raw", Grey(1600, 1200));
    Open(clip);
    QTest::keyPress(view_.get(), Qt::Key_Control);
    QTest::mousePress(Port(), Qt::LeftButton, Qt::ControlModifier, QPoint(100, 100));
    QTest::mouseMove(Port(), QPoint(200, 150));
    ASSERT_EQ(view_->DragStateValue(), CVideoBuffer::DragRectangle);
    QTest::mouseMove(Port(), QPoint(100, 100));
    QTest::mouseRelease(Port(), Qt::LeftButton, Qt::ControlModifier, QPoint(100, 100));
    EXPECT_EQ(view_->Zoom(), 2.0) << "an empty rectangle zooms in one step, about the centre";
    EXPECT_EQ(view_->DragStateValue(), CVideoBuffer::DragNone);
    EXPECT_FALSE(view_->MouseCaptured());
    QTest::keyRelease(view_.get(), Qt::Key_Control);
}

TEST_F(InteractionTest, CtrlClickWithoutDraggingZoomsInAboutTheCentre) {
    Clip clip = MakeClip("click.raw", Grey(1600, 1200));
    Open(clip);
    QTest::keyPress(view_.get(), Qt::Key_Control);
    QTest::mouseMove(Port(), QPoint(50, 60));
    QTest::mousePress(Port(), Qt::LeftButton, Qt::ControlModifier, QPoint(50, 60));
    QTest::mouseMove(Port(), QPoint(55, 62));
    QTest::mouseRelease(Port(), Qt::LeftButton, Qt::ControlModifier, QPoint(55, 62));
    EXPECT_EQ(view_->Zoom(), 2.0);
    const QSize client = view_->ClientSize();
    // The window centre stays on the same picture point.
    const QPoint centreBefore(client.width() / 2, client.height() / 2);
    EXPECT_EQ(view_->ScrollPosition(), QPoint(centreBefore.x() * 2 - client.width() / 2,
                                              centreBefore.y() * 2 - client.height() / 2));
    QTest::keyRelease(view_.get(), Qt::Key_Control);
}

TEST_F(InteractionTest, RightClickInZoomModeZoomsOutAtThePoint) {
    Clip clip = MakeClip("right.raw", Grey(1600, 1200));
    Open(clip);
    view_->SetZoom(4.0, QPoint(400, 300));
    const QPoint scroll = view_->ScrollPosition();
    QTest::keyPress(view_.get(), Qt::Key_Control);
    QTest::mousePress(Port(), Qt::RightButton, Qt::ControlModifier, QPoint(80, 40));
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseZoomOut);
    EXPECT_EQ(view_->Zoom(), 2.0);
    const QPoint at((80 + scroll.x()) / 4, (40 + scroll.y()) / 4);
    const QSize client = view_->ClientSize();
    EXPECT_EQ(view_->ScrollPosition(),
              QPoint(at.x() * 2 - client.width() / 2, at.y() * 2 - client.height() / 2));
    QTest::mouseRelease(Port(), Qt::RightButton, Qt::ControlModifier, QPoint(80, 40));
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseZoom);
    QTest::keyRelease(view_.get(), Qt::Key_Control);
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseNone);
}

TEST_F(InteractionTest, SpaceDragPansAndWheelScrollsInPanMode) {
    Clip clip = MakeClip("pan.raw", Grey(1600, 1200));
    Open(clip);
    view_->SetZoom(2.0, QPoint(800, 600));
    const QPoint start = view_->ScrollPosition();

    QTest::keyPress(view_.get(), Qt::Key_Space);
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MousePan);
    QTest::mousePress(Port(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
    EXPECT_EQ(view_->DragStateValue(), CVideoBuffer::DragPanning);
    QTest::mouseMove(Port(), QPoint(250, 270));
    EXPECT_EQ(view_->ScrollPosition(), start + QPoint(50, 30));
    QTest::mouseRelease(Port(), Qt::LeftButton, Qt::NoModifier, QPoint(250, 270));
    EXPECT_EQ(view_->DragStateValue(), CVideoBuffer::DragNone);

    SendWheel(Port(), QPoint(10, 10), -120, Qt::NoModifier);
    EXPECT_EQ(view_->ScrollPosition(), start + QPoint(50, 150));
    SendWheel(Port(), QPoint(10, 10), 120, Qt::AltModifier);
    EXPECT_EQ(view_->ScrollPosition(), start + QPoint(-70, 150));

    QTest::keyRelease(view_.get(), Qt::Key_Space);
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseNone);
}

TEST_F(InteractionTest, ReleasingSpaceWhilePanningEndsThePan) {
    Clip clip = MakeClip("span.raw", Grey(1600, 1200));
    Open(clip);
    QTest::keyPress(view_.get(), Qt::Key_Space);
    QTest::mousePress(Port(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
    QTest::keyRelease(view_.get(), Qt::Key_Space);
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseNone);
    EXPECT_EQ(view_->DragStateValue(), CVideoBuffer::DragNone);
    EXPECT_FALSE(view_->MouseCaptured());
    const QPoint scroll = view_->ScrollPosition();
    QTest::mouseMove(Port(), QPoint(200, 200));
    EXPECT_EQ(view_->ScrollPosition(), scroll) << "no panning without the pan mode";
    QTest::mouseRelease(Port(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
}

TEST_F(InteractionTest, WheelZoomsInZoomModeAndScrollsOtherwise) {
    Clip clip = MakeClip("wheel.raw", Grey(1600, 1200));
    Open(clip);
    QTest::keyPress(view_.get(), Qt::Key_Control);
    SendWheel(Port(), QPoint(10, 10), 120, Qt::ControlModifier);
    EXPECT_EQ(view_->Zoom(), 2.0);
    SendWheel(Port(), QPoint(10, 10), -120, Qt::ControlModifier);
    SendWheel(Port(), QPoint(10, 10), -120, Qt::ControlModifier);
    EXPECT_EQ(view_->Zoom(), 0.5);
    QTest::keyRelease(view_.get(), Qt::Key_Control);

    view_->ActualSize();
    const QPoint before = view_->ScrollPosition();
    SendWheel(Port(), QPoint(10, 10), -120, Qt::NoModifier);
    EXPECT_EQ(view_->Zoom(), 1.0);
    EXPECT_GT(view_->ScrollPosition().y(), before.y()) << "the scroll area's own wheel handling";
}

TEST_F(InteractionTest, CtrlWheelZoomsAboutThePointer) {
    Clip clip = MakeClip("about.raw", Grey(1600, 1200));
    Open(clip);
    view_->horizontalScrollBar()->setValue(400);
    view_->verticalScrollBar()->setValue(300);
    const QPoint at(100, 80);
    const QPointF under = view_->mapToImage(QPointF(at));
    SendWheel(Port(), at, 120, Qt::ControlModifier);
    ASSERT_EQ(view_->Zoom(), 2.0);
    const QPointF in = view_->mapToImage(QPointF(at));
    EXPECT_NEAR(in.x(), under.x(), 1.0);
    EXPECT_NEAR(in.y(), under.y(), 1.0);
    SendWheel(Port(), at, -120, Qt::ControlModifier);
    ASSERT_EQ(view_->Zoom(), 1.0);
    const QPointF out = view_->mapToImage(QPointF(at));
    EXPECT_NEAR(out.x(), under.x(), 1.0);
    EXPECT_NEAR(out.y(), under.y(), 1.0);
}

TEST_F(InteractionTest, WheelNotchScrollsATenthOfThePage) {
    Clip clip = MakeClip("notch.raw", Grey(4000, 3000));
    Open(clip);
    const QSize client = view_->ClientSize();
    SendWheel(Port(), QPoint(10, 10), -120, Qt::NoModifier);
    EXPECT_EQ(view_->ScrollPosition(), QPoint(0, client.height() / 10));
    SendWheel(Port(), QPoint(10, 10), -240, Qt::AltModifier);
    EXPECT_EQ(view_->ScrollPosition(), QPoint(2 * (client.width() / 10), client.height() / 10))
        << "Alt scrolls sideways";
    SendWheel(Port(), QPoint(10, 10), 120, Qt::NoModifier);
    EXPECT_EQ(view_->ScrollPosition().y(), 0);
}

TEST_F(InteractionTest, ProbeFollowsScrollZoomAndFrameUnderAStillPointer) {
    clipgen::ClipOptions o = Grey(1600, 1200);
    o.frames = 2;
    Clip clip = MakeClip("still.raw", o);
    Open(clip);
    const QPoint at(123, 77);
    // What the probe says for the pointer at `at` when it arrives there afresh.
    auto fresh = [&] {
        QTest::mouseMove(Port(), at + QPoint(5, 5));
        QTest::mouseMove(Port(), at);
        return status_.Last();
    };
    const QString start = fresh();
    ASSERT_TRUE(start.startsWith(QStringLiteral(" - Pos: (123,77)"))) << start.toStdString();

    view_->verticalScrollBar()->setValue(200);
    const QString scrolled = status_.Last();
    EXPECT_TRUE(scrolled.startsWith(QStringLiteral(" - Pos: (123,277)"))) << scrolled.toStdString();
    EXPECT_EQ(scrolled, fresh());

    view_->SetZoom(4.0);
    const QString zoomed = status_.Last();
    EXPECT_NE(zoomed, scrolled);
    EXPECT_EQ(zoomed, fresh());

    status_.texts.clear();
    ASSERT_TRUE(view_->LoadFrame(1));
    ASSERT_FALSE(status_.texts.empty()) << "a new frame refreshes the probe";
    const QString next = status_.Last();
    EXPECT_EQ(next, fresh());
}

TEST_F(InteractionTest, OwnerHandsWheelAndKeysToTheView) {
    Clip clip = MakeClip("owner.raw", Grey(64, 48));
    Open(clip);
    QWidget other;
    QKeyEvent ctrl(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(view_->PreTranslateMessage(&other, &ctrl));
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseZoom);
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    EXPECT_TRUE(view_->PreTranslateMessage(&other, &wheel)) << "re-addressed to the view";
    EXPECT_EQ(view_->Zoom(), 2.0);
    QKeyEvent ctrlUp(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    EXPECT_TRUE(view_->PreTranslateMessage(&other, &ctrlUp));
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MouseNone);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    EXPECT_FALSE(view_->PreTranslateMessage(&other, &letter));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    EXPECT_FALSE(view_->PreTranslateMessage(&other, &space)) << "space goes on to default handling";
    EXPECT_EQ(view_->MouseModeValue(), CVideoBuffer::MousePan);
}

// ---- Keys that change display switches ------------------------------------------------------

struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    uint8_t ViewSwitches::*field;
};

class SwitchKeyTest : public InteractionTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(SwitchKeyTest, KeyTogglesItsSwitchAndRenders) {
    const KeyCase c = GetParam();
    Clip clip = MakeClip("switch.raw", Grey(16, 8));
    Open(clip);
    QTest::keyClick(view_.get(), c.key, c.modifiers);
    EXPECT_EQ(view_->Switches().*c.field, 1);
    EXPECT_NE(view_->Bitmap(), nullptr);
    QTest::keyClick(view_.get(), c.key, c.modifiers);
    EXPECT_EQ(view_->Switches().*c.field, 0);
}

INSTANTIATE_TEST_SUITE_P(
    ViewKeys, SwitchKeyTest,
    ::testing::Values(KeyCase{"V", Qt::Key_V, Qt::NoModifier, &ViewSwitches::flipToggle},
                      KeyCase{"F", Qt::Key_F, Qt::NoModifier, &ViewSwitches::splitFields},
                      KeyCase{"ShiftF", Qt::Key_F, Qt::ShiftModifier,
                              &ViewSwitches::separatedToggle},
                      KeyCase{"I", Qt::Key_I, Qt::NoModifier, &ViewSwitches::interlaceToggle},
                      KeyCase{"T", Qt::Key_T, Qt::NoModifier, &ViewSwitches::swappedFieldOrder},
                      KeyCase{"D", Qt::Key_D, Qt::NoModifier, &ViewSwitches::deinterlace},
                      KeyCase{"Q", Qt::Key_Q, Qt::NoModifier, &ViewSwitches::method2Label},
                      KeyCase{"One", Qt::Key_1, Qt::NoModifier, &ViewSwitches::filter1},
                      KeyCase{"Two", Qt::Key_2, Qt::NoModifier, &ViewSwitches::filter2},
                      KeyCase{"Three", Qt::Key_3, Qt::NoModifier, &ViewSwitches::filter3}),
    [](const ::testing::TestParamInfo<KeyCase>& p) { return std::string(p.param.name); });

TEST_F(InteractionTest, ChannelKeysAndShowAll) {
    Clip clip = MakeClip("chan.raw", Grey(16, 8));
    Open(clip);
    QTest::keyClick(view_.get(), Qt::Key_8);
    EXPECT_EQ(view_->Switches().cbOnly, 1);
    QTest::keyClick(view_.get(), Qt::Key_9);
    EXPECT_EQ(view_->Switches().cbOnly, 0);
    EXPECT_EQ(view_->Switches().crOnly, 1);
    QTest::keyClick(view_.get(), Qt::Key_7);
    EXPECT_EQ(view_->Switches().lumaOnly, 1);
    EXPECT_EQ(view_->Switches().crOnly, 0);
    QTest::keyClick(view_.get(), Qt::Key_6);
    EXPECT_EQ(view_->Switches().lumaOnly, 0);

    // 0: everything back to normal but the interlace toggle and the method-2 label.
    for (Qt::Key k :
         {Qt::Key_V, Qt::Key_F, Qt::Key_T, Qt::Key_D, Qt::Key_I, Qt::Key_Q, Qt::Key_1, Qt::Key_9}) {
        QTest::keyClick(view_.get(), k);
    }
    QTest::keyClick(view_.get(), Qt::Key_F, Qt::ShiftModifier);
    QTest::keyClick(view_.get(), Qt::Key_Exclam, Qt::ShiftModifier);
    ASSERT_EQ(view_->Switches().deinterlaceMethod, 1u);
    QTest::keyClick(view_.get(), Qt::Key_0);
    const ViewSwitches& s = view_->Switches();
    EXPECT_EQ(s.flipToggle + s.splitFields + s.separatedToggle + s.swappedFieldOrder + s.filter1 +
                  s.crOnly + s.deinterlace,
              0);
    EXPECT_EQ(s.deinterlaceMethod, 0u);
    EXPECT_EQ(s.interlaceToggle, 1);
    EXPECT_EQ(s.method2Label, 1);
}

TEST_F(InteractionTest, ShiftDigitsChooseTheMethodOnlyWhileDeinterlacing) {
    Clip clip = MakeClip("method.raw", Grey(16, 8));
    Open(clip);
    QTest::keyClick(view_.get(), Qt::Key_At, Qt::ShiftModifier);  // Shift+2, deinterlace off
    EXPECT_EQ(view_->Switches().deinterlaceMethod, 0u);
    QTest::keyClick(view_.get(), Qt::Key_D);
    struct {
        Qt::Key key;
        uint32_t method;
    } const table[] = {{Qt::Key_Exclam, 1}, {Qt::Key_At, 2}, {Qt::Key_NumberSign, 0},
                       {Qt::Key_Dollar, 3}, {Qt::Key_2, 2},  {Qt::Key_3, 0}};
    for (const auto& row : table) {
        QTest::keyClick(view_.get(), row.key, Qt::ShiftModifier);
        EXPECT_EQ(view_->Switches().deinterlaceMethod, row.method) << row.key;
    }
    // Any other Shift key is swallowed without effect.
    QTest::keyClick(view_.get(), Qt::Key_V, Qt::ShiftModifier);
    EXPECT_EQ(view_->Switches().flipToggle, 0);
}

TEST_F(InteractionTest, StatusPrefixShowsFilterAndMethodLabels) {
    Clip clip = MakeClip("label.raw", Grey(16, 8));
    Open(clip);
    // The picture is centred; (2, 2) lies beside it, where the text is the prefix alone.
    int moves = 0;
    auto prefixAt = [&] {
        QTest::mouseMove(Port(), QPoint(2, 2 + (++moves % 8)));  // a new position every time
        return status_.Last();
    };
    struct {
        Qt::Key key;
        const char* expected;
    } const steps[] = {
        {Qt::Key_2, ""},             // filter 2 alone: no label
        {Qt::Key_3, ""},             // filters 2 and 3 without 1: no label
        {Qt::Key_1, "[Filter 3] "},  // 1, 2, 3
        {Qt::Key_3, "[Filter 2] "},  // 1, 2
        {Qt::Key_2, "[Filter 1] "},  // 1 alone
        {Qt::Key_Q, "Method 2 - [Filter 1] "},
    };
    for (const auto& step : steps) {
        QTest::keyClick(view_.get(), step.key);
        EXPECT_EQ(status_.Last(), QString()) << "keyboard updates carry no point";
        EXPECT_EQ(prefixAt(), QString::fromLatin1(step.expected)) << step.key;
    }
    QTest::keyClick(view_.get(), Qt::Key_3);  // 1 and 3: still "[Filter 1] "
    EXPECT_EQ(prefixAt(), QStringLiteral("Method 2 - [Filter 1] "));
}

TEST_F(InteractionTest, LeavingTheWindowClearsTheProbe) {
    Clip clip = MakeClip("leave.raw", Grey(16, 8));
    Open(clip);
    const QRect picture = view_->PictureRect();
    QTest::mouseMove(Port(), picture.topLeft());
    EXPECT_TRUE(status_.Last().startsWith(QStringLiteral(" - Pos: (0,0)")))
        << status_.Last().toStdString();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Port(), &leave);
    EXPECT_EQ(status_.Last(), QString());
}

// ---- A second file ---------------------------------------------------------------------------

TEST_F(InteractionTest, SecondFileResetsSwitchesButTheInterlaceToggleAndLabel) {
    Clip first = MakeClip("first.raw", Grey(64, 48));
    Open(first);
    for (Qt::Key k : {Qt::Key_V, Qt::Key_F, Qt::Key_I, Qt::Key_T, Qt::Key_Q, Qt::Key_1, Qt::Key_2,
                      Qt::Key_3, Qt::Key_7, Qt::Key_D}) {
        QTest::keyClick(view_.get(), k);
    }
    QTest::keyClick(view_.get(), Qt::Key_F, Qt::ShiftModifier);
    QTest::keyClick(view_.get(), Qt::Key_Dollar, Qt::ShiftModifier);
    view_->SetZoom(4.0);

    Clip second = MakeClip("second.raw", Grey(32, 16));
    second.settings.deinterlace = 1;
    second.settings.deinterlaceMethod = 2;
    Open(second);
    const ViewSwitches& s = view_->Switches();
    EXPECT_EQ(s.flipToggle, 0);
    EXPECT_EQ(s.splitFields, 0);
    EXPECT_EQ(s.separatedToggle, 0);
    EXPECT_EQ(s.swappedFieldOrder, 0);
    EXPECT_EQ(s.filter1 + s.filter2 + s.filter3, 0);
    EXPECT_EQ(s.lumaOnly + s.cbOnly + s.crOnly, 0);
    EXPECT_EQ(s.interlaceToggle, 1) << "kept across files";
    EXPECT_EQ(s.method2Label, 1) << "kept across files";
    EXPECT_EQ(s.deinterlace, 1) << "from the record";
    EXPECT_EQ(s.deinterlaceMethod, 2u) << "from the record";
    EXPECT_EQ(view_->Zoom(), 1.0);
    EXPECT_EQ(view_->ZoomedSize(), QSize(32, 16));
    EXPECT_EQ(view_->FileName(), second.path);
}
