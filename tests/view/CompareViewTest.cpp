// Comparing with a reference in the view: the modes showing the rendered pictures, the view's
// reference following the frame shown, the refusal of another frame size, and the figures of
// identical frames and of a known difference.
#include "ViewTestSupport.h"

#include "image/PixelLayout.h"
#include "analysis/CompareFigures.h"
#include "view/picture/CompareRender.h"

#include <QFile>
#include <QTest>

#include <cmath>
#include <cstring>

using namespace viewtest;
using kavlo::CompareMode;
using kavlo::DisplayBitmap;

namespace {

class CompareView : public ViewFixture {
protected:
    static clipgen::ClipOptions I420(int w, int h, int frames) {
        clipgen::ClipOptions o;
        o.code = kLayoutI420;
        o.width = w;
        o.height = h;
        o.frames = frames;
        return o;
    }
    // Changes byte `offset` of the file to `value`.
    static void Poke(const QString& path, qint64 offset, uint8_t value) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(offset));
        ASSERT_EQ(f.write(reinterpret_cast<const char*>(&value), 1), 1);
    }
    static uint8_t Peek(const QString& path, qint64 offset) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        f.seek(offset);
        char c = 0;
        f.read(&c, 1);
        return static_cast<uint8_t>(c);
    }
    kavlo::CompareFigures Figures() const {
        const kavlo::ReferenceFile& r = view_->Reference();
        return kavlo::ComputeCompareFigures(
            kavlo::CaptureCompareInput(view_->CurrentPosition(), view_->CurrentFrame(), r.Frame(),
                                       view_->PictureA(), r.Picture()));
    }
    static bool SamePicture(const DisplayBitmap* x, const DisplayBitmap* y) {
        if (!x || !y || x->PictureWidth() != y->PictureWidth() || x->Height() != y->Height())
            return false;
        for (int r = 0; r < x->Height(); ++r) {
            if (std::memcmp(x->LineOnScreen(r), y->LineOnScreen(r),
                            static_cast<size_t>(x->PictureWidth()) * 3) != 0)
                return false;
        }
        return true;
    }
};

TEST_F(CompareView, AnotherFrameSizeIsRefusedAndTheFileStays) {
    Clip a = MakeClip(QStringLiteral("a.yuv"), I420(32, 16, 3));
    Clip other = MakeClip(QStringLiteral("other.yuv"), I420(32, 18, 3));
    Open(a, 1);
    const auto before = std::vector<uint8_t>(view_->Bitmap()->Row(0), view_->Bitmap()->Row(0) + 96);
    QString error;
    EXPECT_FALSE(view_->OpenReference(&other.settings, other.path, error));
    EXPECT_TRUE(error.contains(QStringLiteral("32x18"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("32x16"))) << error.toStdString();
    EXPECT_FALSE(view_->HasReference());
    EXPECT_TRUE(view_->IsOpen());
    EXPECT_EQ(view_->FileName(), a.path);
    EXPECT_EQ(view_->CurrentPosition(), 1);
    EXPECT_EQ(std::memcmp(view_->Bitmap()->Row(0), before.data(), before.size()), 0);

    // A good reference, then a bad one: the good one stays.
    Clip b = MakeClip(QStringLiteral("b.yuv"), I420(32, 16, 3));
    ASSERT_TRUE(view_->OpenReference(&b.settings, b.path, error)) << error.toStdString();
    EXPECT_FALSE(view_->OpenReference(&other.settings, other.path, error));
    EXPECT_TRUE(view_->HasReference());
    EXPECT_EQ(view_->Reference().File().FileName(), b.path);
}

TEST_F(CompareView, ModesShowTheRenderedPicturesAndTheReferenceFollowsTheFrame) {
    Clip a = MakeClip(QStringLiteral("a.yuv"), I420(32, 16, 3));
    // B: frames 1 and 2 of the same generator as its frames 0 and 1 (the first frame cut off).
    Clip b = MakeClip(QStringLiteral("b.yuv"), I420(32, 16, 3));
    {
        QFile f(b.path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        f.close();
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(all.mid(32 * 16 * 3 / 2));
    }
    Open(a, 0);
    view_->SetZoom(2.0);
    QString error;
    ASSERT_TRUE(view_->OpenReference(&b.settings, b.path, error)) << error.toStdString();
    ASSERT_TRUE(view_->Reference().HasFrame());
    EXPECT_EQ(view_->Reference().File().FrameCount(), 2);

    // B's frame 0 is A's frame 1.
    view_->SetCompareMode(CompareMode::B);
    std::vector<uint8_t> shownB(view_->Bitmap()->Row(0), view_->Bitmap()->Row(0) + 96 * 16);
    EXPECT_FALSE(SamePicture(view_->Bitmap(), view_->PictureA()));
    view_->SetCompareMode(CompareMode::A);
    ASSERT_TRUE(view_->LoadFrame(1));
    std::vector<uint8_t> a1(view_->Bitmap()->Row(0), view_->Bitmap()->Row(0) + 96 * 16);
    EXPECT_EQ(shownB, a1);

    // Side by side: twice as wide, zoom kept; the right half is B's frame 1.
    view_->SetCompareMode(CompareMode::SideBySide);
    EXPECT_EQ(view_->Bitmap()->PictureWidth(), 64);
    EXPECT_EQ(view_->Zoom(), 2.0);
    EXPECT_EQ(view_->ZoomedSize().width(), 128);
    EXPECT_EQ(std::memcmp(view_->Bitmap()->LineOnScreen(3), view_->PictureA()->LineOnScreen(3), 96),
              0);
    EXPECT_EQ(std::memcmp(view_->Bitmap()->LineOnScreen(3) + 96,
                          view_->Reference().Picture()->LineOnScreen(3), 96),
              0);

    // Past B's end: no frame, black in its half, and the reason in words.
    ASSERT_TRUE(view_->LoadFrame(2));
    EXPECT_FALSE(view_->Reference().HasFrame());
    EXPECT_EQ(view_->Reference().FrameAsked(), 2);
    EXPECT_EQ(view_->Bitmap()->LineOnScreen(5)[96 + 7], 0);
    EXPECT_FALSE(Figures().valid);
    view_->SetCompareMode(CompareMode::B);
    EXPECT_TRUE(view_->Bitmap()->LineOnScreen(0)[0] == 0);

    // Back to A: the picture is A's own, the width the frame's.
    view_->SetCompareMode(CompareMode::A);
    EXPECT_TRUE(SamePicture(view_->Bitmap(), view_->PictureA()));
    EXPECT_EQ(view_->ZoomedSize().width(), 64);
    view_->CloseReference();
    EXPECT_FALSE(view_->HasReference());
}

TEST_F(CompareView, FiguresOfIdenticalFramesAndOfOneChangedSample) {
    Clip a = MakeClip(QStringLiteral("a.yuv"), I420(32, 16, 2));
    Clip b = MakeClip(QStringLiteral("b.yuv"), I420(32, 16, 2));
    // Frame 1 of B: luma (5, 3) raised by 20, and Cr (2, 1) (the block at pixel (4, 2)) by 3.
    const qint64 frame = 32 * 16 * 3 / 2;
    const qint64 luma = frame + 3 * 32 + 5;
    const qint64 cr = frame + 32 * 16 + 16 * 8 + 1 * 16 + 2;
    const uint8_t y0 = Peek(b.path, luma), cr0 = Peek(b.path, cr);
    ASSERT_LE(y0, 235);
    Poke(b.path, luma, static_cast<uint8_t>(y0 + 20));
    Poke(b.path, cr, static_cast<uint8_t>(cr0 + 3));
    Open(a, 0);
    QString error;
    ASSERT_TRUE(view_->OpenReference(&b.settings, b.path, error)) << error.toStdString();

    kavlo::CompareFigures f = Figures();
    ASSERT_TRUE(f.valid);
    EXPECT_TRUE(f.storedSamples);
    EXPECT_EQ(f.names,
              QStringList({QStringLiteral("Y'"), QStringLiteral("Cb"), QStringLiteral("Cr")}));
    EXPECT_TRUE(std::isinf(f.figures.psnrAverage));
    EXPECT_EQ(f.figures.mseAverage, 0.0);
    EXPECT_FALSE(f.largest.differs);
    EXPECT_TRUE(kavlo::FiguresLine(f).startsWith(QStringLiteral("identical")));

    ASSERT_TRUE(view_->LoadFrame(1));
    f = Figures();
    ASSERT_TRUE(f.valid);
    EXPECT_DOUBLE_EQ(f.figures.mse[0], 400.0 / (32 * 16));
    EXPECT_TRUE(std::isinf(f.figures.psnr[1]));
    EXPECT_DOUBLE_EQ(f.figures.mse[2], 9.0 / (16 * 8));
    EXPECT_NEAR(f.figures.psnr[0], 10 * std::log10(255.0 * 255.0 * 512 / 400), 1e-9);
    EXPECT_DOUBLE_EQ(f.figures.mseAverage, (400.0 + 9.0) / (32 * 16 * 3 / 2.0));
    ASSERT_TRUE(f.largest.differs);
    EXPECT_EQ(f.largest.component, 0u);
    EXPECT_EQ(f.largest.x, 5u);
    EXPECT_EQ(f.largest.y, 3u);
    EXPECT_EQ(f.largest.a, y0);
    EXPECT_EQ(f.largest.b, y0 + 20u);
    EXPECT_TRUE(kavlo::FiguresReport(f).contains(
        QStringLiteral("Largest difference: 20 in Y' at (5, 3): A %1, B %2").arg(y0).arg(y0 + 20)));

    // The difference view: |A - B| x 4 shows the changed pixel, nothing where both agree.
    view_->SetCompareMode(CompareMode::Difference);
    const uint8_t* changed = view_->Bitmap()->LineOnScreen(3) + 3 * 5;
    EXPECT_GT(changed[0] + changed[1] + changed[2], 3 * 4 * 10);
    const uint8_t* same = view_->Bitmap()->LineOnScreen(12) + 3 * 25;
    EXPECT_EQ(same[0] + same[1] + same[2], 0);
}

TEST_F(CompareView, LayoutsThatStoreOtherSamplesCompareTheirPictures) {
    clipgen::ClipOptions u = Uyvy(32, 16, 1);
    Clip a = MakeClip(QStringLiteral("a.yuv"), I420(32, 16, 1));
    Clip b = MakeClip(QStringLiteral("b.uyvy"), u);
    Open(a, 0);
    QString error;
    ASSERT_TRUE(view_->OpenReference(&b.settings, b.path, error)) << error.toStdString();
    const kavlo::CompareFigures f = Figures();
    ASSERT_TRUE(f.valid);
    EXPECT_FALSE(f.storedSamples);
    EXPECT_TRUE(f.fallbackReason.contains(QStringLiteral("different positions")))
        << f.fallbackReason.toStdString();
    EXPECT_EQ(f.names,
              QStringList({QStringLiteral("R'"), QStringLiteral("G'"), QStringLiteral("B'")}));
    EXPECT_TRUE(kavlo::FiguresReport(f).contains(QStringLiteral("displayed R'G'B'")));
}

// B's frame under an offset: the reference is A itself, so B's picture at A's frame n is A's
// picture of frame n + k, and frames of A whose n + k lies outside B have no reference frame.
class CompareOffset : public CompareView, public ::testing::WithParamInterface<int> {
protected:
    // The picture's lines top-down.
    static std::vector<uint8_t> Lines(const DisplayBitmap* p) {
        std::vector<uint8_t> lines;
        for (int y = 0; y < p->Height(); ++y)
            lines.insert(lines.end(), p->LineOnScreen(y),
                         p->LineOnScreen(y) + 3 * size_t(p->PictureWidth()));
        return lines;
    }
};

TEST_P(CompareOffset, BShowsFrameNPlusTheOffset) {
    const int k = GetParam();
    Clip a = MakeClip(QStringLiteral("a.yuv"), I420(32, 16, 5));
    Open(a, 0);
    std::vector<std::vector<uint8_t>> pictures;
    for (int n = 0; n < 5; ++n) {
        view_->LoadFrame(n);
        ASSERT_EQ(view_->CurrentPosition(), n);
        pictures.push_back(Lines(view_->PictureA()));
    }
    ASSERT_NE(pictures[0], pictures[1]) << "the frames differ";
    QString error;
    ASSERT_TRUE(view_->OpenReference(&a.settings, a.path, error)) << error.toStdString();
    view_->SetReferenceOffset(k);
    EXPECT_EQ(view_->Reference().Offset(), k);
    view_->SetCompareMode(CompareMode::B);
    for (int n = 4; n >= 0; --n) {
        SCOPED_TRACE(n);
        view_->LoadFrame(n);
        const kavlo::ReferenceFile& r = view_->Reference();
        EXPECT_EQ(r.FrameAsked(), n + k);
        const bool inside = n + k >= 0 && n + k < 5;
        ASSERT_EQ(r.HasFrame(), inside);
        const kavlo::CompareFigures f = Figures();
        EXPECT_EQ(f.valid, inside);
        if (!inside) {
            EXPECT_EQ(view_->Bitmap()->LineOnScreen(0)[0], 0) << "black in B's place";
            continue;
        }
        EXPECT_EQ(Lines(r.Picture()), pictures[size_t(n + k)]);
        EXPECT_EQ(f.largest.differs, k != 0);
    }
    // The offset belongs to the open pair: a reference opened again starts at 0.
    ASSERT_TRUE(view_->OpenReference(&a.settings, a.path, error)) << error.toStdString();
    EXPECT_EQ(view_->Reference().Offset(), 0);
    EXPECT_EQ(view_->Reference().FrameAsked(), 0);
}

INSTANTIATE_TEST_SUITE_P(Offsets, CompareOffset, ::testing::Values(-2, -1, 0, 1, 3));

// The rectangle: Shift+drag draws it (a plain drag does nothing, as before), a drag after
// ArmCompareRegion draws one once, in A's frame pixels from either half of side by side; its
// rows are mapped to the memory rows of a bottom-up frame.
TEST_F(CompareView, ShiftDragDrawsTheRectangleInFramePixels) {
    clipgen::ClipOptions o = I420(32, 16, 1);
    o.bottomUp = true;
    Clip a = MakeClip(QStringLiteral("a.yuv"), o);
    Open(a, 0);
    view_->SetZoom(4.0);
    QString error;
    ASSERT_TRUE(view_->OpenReference(&a.settings, a.path, error)) << error.toStdString();
    QWidget* port = view_->viewport();
    auto client = [this](double x, double y) {
        const QPointF p = view_->mapToView(QPointF(x, y));
        return QPoint(int(p.x()), int(p.y()));
    };
    auto drag = [&](Qt::KeyboardModifiers mods, QPoint from, QPoint to) {
        QTest::mousePress(port, Qt::LeftButton, mods, from);
        QTest::mouseMove(port, to);
        QTest::mouseRelease(port, Qt::LeftButton, mods, to);
    };

    drag(Qt::NoModifier, client(2.5, 3.5), client(9.5, 7.5));
    EXPECT_TRUE(view_->CompareRegionRect().isEmpty()) << "a plain drag draws nothing";
    EXPECT_EQ(view_->Zoom(), 4.0);

    drag(Qt::ShiftModifier, client(9.5, 7.5), client(2.5, 3.5));
    EXPECT_EQ(view_->CompareRegionRect(), QRect(QPoint(2, 3), QPoint(9, 7)));
    const std::optional<kavlo::CompareRegion> region = view_->CompareRegionOfFrame();
    ASSERT_TRUE(region.has_value());
    EXPECT_EQ(region->shown, QRect(QPoint(2, 3), QPoint(9, 7)));
    EXPECT_EQ(region->stored, QRect(QPoint(2, 8), QPoint(9, 12))) << "rows stored bottom-up";
    const kavlo::ReferenceFile& r = view_->Reference();
    const kavlo::CompareFigures f = kavlo::ComputeCompareFigures(kavlo::CaptureCompareInput(
        0, view_->CurrentFrame(), r.Frame(), view_->PictureA(), r.Picture(), &*region));
    ASSERT_TRUE(f.regionValid);
    EXPECT_EQ(f.region, region->stored);
    EXPECT_TRUE(std::isinf(f.regionFigures.psnrAverage));

    // Past the picture's edge: clamped to the frame.
    drag(Qt::ShiftModifier, client(30.5, 14.5), client(40, 30));
    EXPECT_EQ(view_->CompareRegionRect(), QRect(QPoint(30, 14), QPoint(31, 15)));

    // Armed: the next plain drag draws, the one after it does not.
    view_->SetCompareMode(CompareMode::SideBySide);
    view_->ArmCompareRegion();
    drag(Qt::NoModifier, client(32 + 4.5, 1.5), client(32 + 6.5, 2.5));
    EXPECT_EQ(view_->CompareRegionRect(), QRect(QPoint(4, 1), QPoint(6, 2))) << "B's half";
    EXPECT_FALSE(view_->CompareRegionArmed());
    drag(Qt::NoModifier, client(10.5, 10.5), client(12.5, 12.5));
    EXPECT_EQ(view_->CompareRegionRect(), QRect(QPoint(4, 1), QPoint(6, 2)));

    view_->ClearCompareRegion();
    EXPECT_TRUE(view_->CompareRegionRect().isEmpty());
    EXPECT_FALSE(view_->CompareRegionOfFrame().has_value());
    view_->SetCompareRegion(QRect(1, 1, 2, 2));
    view_->CloseReference();
    EXPECT_TRUE(view_->CompareRegionRect().isEmpty()) << "the rectangle goes with B";
}

}  // namespace
