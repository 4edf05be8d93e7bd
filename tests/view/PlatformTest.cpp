// Behaviour that depends on the platform underneath: a scaled screen (device pixel ratio 2) and
// real key events from an X server. CTest runs these cases a second time in the environment they
// need (QT_SCALE_FACTOR=2; Xvfb with xdotool); elsewhere they report themselves skipped.
#include "ViewTestSupport.h"

#include "image/PixelLayout.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

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

// The picture as the window shows it: painted into the window's backing store at the view's
// place in the window (straight into it, or through a scratch image where the paint's clip
// leaves out part of the picture), with an opaque child widget over the picture and a repaint
// of part of the view. CTest runs these cases on the offscreen platform and on an X server.
class WindowPaint : public ViewFixture {
protected:
    // What the window shows, from the backing store (offscreen) or the X server (xcb).
    static QImage Shot(QWidget& window) {
        QTest::qWait(20);  // the X server draws what was flushed
        return window.screen()->grabWindow(window.winId()).toImage();
    }
    // The colour of viewport pixel (x, y): the bitmap's pixel that the view's mapping gives.
    QRgb Expected(int x, int y) const {
        const kavlo::DisplayBitmap& bitmap = *view_->Bitmap();
        const QPointF at = view_->mapToImage(QPointF(x, y));
        const int px = std::clamp(static_cast<int>(at.x()), 0, bitmap.PictureWidth() - 1);
        const int py = std::clamp(static_cast<int>(at.y()), 0, bitmap.Height() - 1);
        const uint8_t* p = bitmap.LineOnScreen(py) + 3 * px;
        return qRgb(p[2], p[1], p[0]);
    }
    // Every picture pixel of the viewport within `only` (the whole viewport when empty) in the
    // window's shot: its expected colour, or `coverColour` inside `covered`.
    int64_t Check(const QImage& shot, QWidget& window, const char* what, QRect only = QRect(),
                  QRect covered = QRect(), QRgb coverColour = 0) const {
        QWidget* port = view_->viewport();
        const QPoint origin = port->mapTo(&window, QPoint(0, 0));
        QRect visible = view_->PictureRect().intersected(QRect(QPoint(0, 0), view_->ClientSize()));
        if (!only.isEmpty()) visible = visible.intersected(only);
        int64_t checked = 0;
        for (int y = visible.top(); y <= visible.bottom(); ++y) {
            for (int x = visible.left(); x <= visible.right(); ++x) {
                const QRgb want = covered.contains(x, y) ? coverColour : Expected(x, y);
                const QRgb got = shot.pixel(origin + QPoint(x, y)) | 0xFF000000u;
                if (got != want) {
                    ADD_FAILURE() << what << ": viewport (" << x << "," << y << ") shows "
                                  << std::hex << got << ", not " << want;
                    return checked;
                }
                ++checked;
            }
        }
        return checked;
    }
};

TEST_F(WindowPaint, PictureInTheBackingStoreAroundChildrenAndPartialRepaints) {
    if (view_->viewport()->devicePixelRatioF() != 1.0) GTEST_SKIP() << "device pixels only";
    // The view at an offset inside a window, so that the window's image is not the view's.
    QWidget window;
    window.resize(400, 330);
    view_->setParent(&window);
    view_->move(23, 31);
    view_->show();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    clipgen::ClipOptions o = Bgr(403, 301);
    Clip clip = MakeClip("window.raw", o);
    Open(clip);
    QWidget* port = view_->viewport();
    for (double zoom : {1.0, 0.5, 3.0}) {
        view_->ActualSize();
        if (zoom != 1.0) view_->SetZoom(zoom);
        port->repaint();
        EXPECT_GT(Check(Shot(window), window, "whole view"), 0) << zoom;
    }

    // An opaque child over the picture keeps its pixels.
    QWidget cover(port);
    cover.setAttribute(Qt::WA_StyledBackground);
    cover.setStyleSheet(QStringLiteral("background-color: #ff00ff"));
    const QRect covered(10, 12, 41, 29);
    cover.setGeometry(covered);
    cover.show();
    port->repaint();
    EXPECT_GT(Check(Shot(window), window, "under a child", QRect(), covered, qRgb(255, 0, 255)), 0);
    cover.hide();

    // A repaint of part of the view after the picture changed (inverted behind the view's
    // back, so that nothing else is marked for repainting): the new picture inside the part,
    // the old one outside.
    port->repaint();
    const QImage before = Shot(window);
    const kavlo::DisplayBitmap& bitmap = *view_->Bitmap();
    for (int r = 0; r < bitmap.Height(); ++r)
        for (int i = 0; i < 3 * bitmap.PictureWidth(); ++i) bitmap.Row(r)[i] ^= 0xFF;
    const QRect part(30, 20, 57, 33);
    port->repaint(part);
    const QImage after = Shot(window);
    const QPoint origin = port->mapTo(&window, QPoint(0, 0));
    EXPECT_GT(Check(after, window, "inside the repainted part", part), 0);
    int changed = 0;
    for (int y = 0; y < port->height(); ++y) {
        for (int x = 0; x < port->width(); ++x) {
            const QPoint at = origin + QPoint(x, y);
            if (!part.contains(x, y) && after.pixel(at) != before.pixel(at)) ++changed;
        }
    }
    EXPECT_EQ(changed, 0) << "pixels outside the repainted part";
    view_->setParent(nullptr);
}
