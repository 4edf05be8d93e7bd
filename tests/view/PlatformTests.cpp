// Behaviour that depends on the platform underneath: a scaled screen (device pixel ratio 2) and
// real key events from an X server. CTest runs these cases a second time in the environment they
// need (QT_SCALE_FACTOR=2; Xvfb with xdotool); elsewhere they report themselves skipped.
#include "ViewTestSupport.h"

#include "image/PixelLayout.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace viewtest;

namespace {

clipgen::ClipOptions Bgr(int w, int h) {
    clipgen::ClipOptions o;
    o.code = kLayoutBGR3;
    o.width = w;
    o.height = h;
    o.frames = 1;
    return o;
}

}  // namespace

class HighDpi : public ViewFixture {};

// Zoom 1 is one frame pixel per device pixel, for painting and for the probe alike.
TEST_F(HighDpi, ZoomOneIsOneFramePixelPerDevicePixel) {
    if (view_->viewport()->devicePixelRatioF() != 2.0) {
        GTEST_SKIP() << "needs a device pixel ratio of 2 (QT_SCALE_FACTOR=2)";
    }
    clipgen::ClipOptions o = Bgr(64, 48);
    Clip clip = MakeClip("dpi.raw", o);
    Open(clip);
    const clipgen::RgbPicture picture = clipgen::RenderFrame(o, 0);
    QWidget* port = view_->viewport();
    const QSize client = view_->ClientSize();
    EXPECT_EQ(client, port->size() * 2);
    EXPECT_EQ(view_->ZoomedSize(), QSize(64, 48)) << "device pixels";

    const QImage shot = port->grab().toImage();
    ASSERT_EQ(shot.size(), client);
    const QRect rect = view_->PictureRect();
    EXPECT_EQ(rect.topLeft(), QPoint((client.width() - 64) / 2, (client.height() - 48) / 2));
    for (int y = 0; y < 48; y += 3) {
        for (int x = 0; x < 64; x += 5) {
            const uint8_t* rgb = picture.At(x, y);
            ASSERT_EQ(shot.pixel(rect.left() + x, rect.top() + y), qRgb(rgb[0], rgb[1], rgb[2]))
                << "frame pixel (" << x << "," << y << ")";
        }
    }
    // A logical mouse position covers two device pixels; the probe reports the first of them.
    const QPoint logical(rect.left() / 2 + 10, rect.top() / 2 + 7);
    QMouseEvent move(QEvent::MouseMove, QPointF(logical), port->mapToGlobal(QPointF(logical)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(port, &move);
    const int x = logical.x() * 2 - rect.left();
    const int y = logical.y() * 2 - rect.top();
    const uint8_t* rgb = picture.At(x, y);
    EXPECT_EQ(status_.Last(), QStringLiteral(" - Pos: (%1,%2), RGB: (%3,%4,%5)")
                                  .arg(x)
                                  .arg(y)
                                  .arg(rgb[0])
                                  .arg(rgb[1])
                                  .arg(rgb[2]));
}

class RealKeyboard : public ViewFixture {
protected:
    // Types keys with xdotool into the focused window and lets Qt deliver them.
    static void Type(const QString& keys) {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
        ASSERT_TRUE(xdotool.waitForFinished(10000));
        ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
    }
};

// Shift+1 arrives as "!" (or another character on other layouts); the view goes by the key.
TEST_F(RealKeyboard, ShiftedDigitsAndViewKeys) {
    if (QGuiApplication::platformName() != QLatin1String("xcb") ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        GTEST_SKIP() << "needs an X server and xdotool";
    }
    Clip clip = MakeClip("keys.raw", Bgr(32, 16));
    Open(clip);
    view_->activateWindow();
    view_->setFocus();
    QTRY_VERIFY(view_->hasFocus());

    Type(QStringLiteral("d"));
    QTRY_COMPARE(view_->Switches().deinterlace, uint8_t(1));
    Type(QStringLiteral("shift+1"));
    QTRY_COMPARE(view_->Switches().deinterlaceMethod, 1u);
    Type(QStringLiteral("shift+4"));
    QTRY_COMPARE(view_->Switches().deinterlaceMethod, 3u);
    Type(QStringLiteral("shift+3"));
    QTRY_COMPARE(view_->Switches().deinterlaceMethod, 0u);
    Type(QStringLiteral("8"));
    QTRY_COMPARE(view_->Switches().cbOnly, uint8_t(1));
    Type(QStringLiteral("KP_Add"));
    QTRY_COMPARE(view_->Zoom(), 2.0);
    Type(QStringLiteral("KP_1"));  // a digit of the numeric pad is not a filter key
    Type(QStringLiteral("v"));
    QTRY_COMPARE(view_->Switches().flipToggle, uint8_t(1));
    EXPECT_EQ(view_->Switches().filter1, 0);
    Type(QStringLiteral("0"));
    QTRY_COMPARE(view_->Switches().flipToggle, uint8_t(0));
    EXPECT_EQ(view_->Switches().cbOnly, 0);
}
