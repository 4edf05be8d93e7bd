// What the view renders: field arrangements, deinterlacing, orientation, the pixel probe and the
// painted picture, each checked against rows computed here from the converted frame.
#include "ViewTestSupport.h"

#include "image/Convert.h"
#include "image/PixelLayout.h"

#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <cstring>

using namespace viewtest;

namespace {

clipgen::ClipOptions Options(uint32_t code, int w, int h, clipgen::FieldMode fields) {
    clipgen::ClipOptions o;
    o.code = code;
    o.width = w;
    o.height = h;
    o.frames = 2;
    o.fields = fields;
    return o;
}

// The converted row shown at display row y for an arrangement: written out per case from the
// field layouts, independently of the view's loop.
int SourceRow(int y, int h, bool separated, bool split, bool swapped) {
    const int h2 = h / 2;
    if (y >= 2 * h2) return y;  // the last row of an odd height stays where it is
    if (separated) {
        if (split) {
            const int field = (y < h2 ? 0 : 1) ^ (swapped ? 1 : 0);
            const int i = y < h2 ? y : y - h2;
            return field * h2 + i;
        }
        const int field = (y % 2) ^ (swapped ? 1 : 0);
        return field * h2 + y / 2;
    }
    if (split) {
        const int field = (y < h2 ? 0 : 1) ^ (swapped ? 1 : 0);
        const int i = y < h2 ? y : y - h2;
        return 2 * i + field;
    }
    return swapped ? (y ^ 1) : y;
}

int Clamp(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }
uint8_t Byte(int v) { return static_cast<uint8_t>(Clamp(v, 0, 255)); }

// Deinterlaced byte i of display row y, from the arranged rows R(k) (k in display order).
template <class RowOf>
uint8_t DeinterlacedByte(uint32_t method, int y, int i, int h, RowOf R) {
    const int last = h - 1;
    const int h2 = h / 2;
    auto at = [&](int row) { return static_cast<int>(R(Clamp(row, 0, last))[i]); };
    switch (method) {
    case 0: return Byte((at(y - 1) + 2 * at(y) + at(y + 1) + 2) >> 2);
    case 1: {
        if (y % 2 == 0 || y >= 2 * h2) return R(y)[i];
        const int j = (y - 1) / 2;
        auto T = [&](int k) { return static_cast<int>(R(2 * Clamp(k, 0, h2 - 1))[i]); };
        return Byte(
            (T(j - 2) - 5 * T(j - 1) + 20 * T(j) + 20 * T(j + 1) - 5 * T(j + 2) + T(j + 3) + 16) >>
            5);
    }
    case 2: {
        if (y % 2 == 1 || y >= 2 * h2) return R(y)[i];
        const int j = y / 2;
        auto U = [&](int k) { return static_cast<int>(R(2 * Clamp(k, 0, h2 - 1) + 1)[i]); };
        return Byte(
            (U(j - 3) - 5 * U(j - 2) + 20 * U(j - 1) + 20 * U(j) - 5 * U(j + 1) + U(j + 2) + 16) >>
            5);
    }
    case 3:
        return Byte((-at(y - 2) + 2 * at(y - 1) + 6 * at(y) + 2 * at(y + 1) - at(y + 2) + 4) >> 3);
    default: return 0;
    }
}

}  // namespace

// ---- Field arrangements -------------------------------------------------------------------

struct FieldCase {
    const char* name;
    bool storedSeparated;  // the clip stores its fields one after the other
    bool separatedToggle;  // Shift+F
    bool split;            // F
    bool swapped;          // T
    int height;
};

class FieldArrangementTest : public ViewFixture, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(FieldArrangementTest, RowsComeFromTheArrangedFields) {
    const FieldCase c = GetParam();
    const auto mode = c.storedSeparated ? clipgen::FieldMode::Separated : clipgen::FieldMode::Woven;
    Clip clip = MakeClip("fields.raw", Options(kLayoutUYVY, 40, c.height, mode));
    Open(clip);
    if (c.separatedToggle) view_->ToggleSeparatedFields();
    if (c.split) view_->ToggleSplitFields();
    if (c.swapped) view_->ToggleFieldOrder();

    const Converted conv = ConvertClipFrame(clip.options, 0, CONVERT_INTERLACED);
    const kavlo::DisplayBitmap* bitmap = view_->Bitmap();
    ASSERT_NE(bitmap, nullptr);
    ASSERT_FALSE(bitmap->BottomUp());
    ASSERT_EQ(bitmap->Height(), c.height);
    const bool separated = c.storedSeparated != c.separatedToggle;
    for (int y = 0; y < c.height; ++y) {
        const int source = SourceRow(y, c.height, separated, c.split, c.swapped);
        EXPECT_EQ(std::memcmp(bitmap->Row(y), conv.Row(source), 3 * 40), 0)
            << "display row " << y << " should be converted row " << source;
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllArrangements, FieldArrangementTest,
    ::testing::Values(FieldCase{"WovenAsStored", false, false, false, false, 24},
                      FieldCase{"WovenSwapped", false, false, false, true, 24},
                      FieldCase{"WovenSplit", false, false, true, false, 24},
                      FieldCase{"WovenSplitSwapped", false, false, true, true, 24},
                      FieldCase{"SeparatedWoven", true, false, false, false, 24},
                      FieldCase{"SeparatedWovenSwapped", true, false, false, true, 24},
                      FieldCase{"SeparatedSplit", true, false, true, false, 24},
                      FieldCase{"SeparatedSplitSwapped", true, false, true, true, 24},
                      FieldCase{"ToggleMakesWovenSeparated", false, true, false, false, 24},
                      FieldCase{"ToggleShowsSeparatedAsStored", true, true, false, false, 24},
                      FieldCase{"ToggleSplitSwapped", false, true, true, true, 24},
                      FieldCase{"OddHeightSplit", false, false, true, false, 23},
                      FieldCase{"OddHeightSeparatedWovenSwapped", true, false, false, true, 23}),
    [](const ::testing::TestParamInfo<FieldCase>& p) { return std::string(p.param.name); });

// ---- Deinterlacing ------------------------------------------------------------------------

struct DeinterlaceCase {
    const char* name;
    uint32_t method;
    int height;
    bool separated;  // the clip stores its fields separately (woven before deinterlacing)
};

class DeinterlaceTest : public ViewFixture,
                        public ::testing::WithParamInterface<DeinterlaceCase> {};

TEST_P(DeinterlaceTest, RowsFollowTheMethodsFilter) {
    const DeinterlaceCase c = GetParam();
    const auto mode = c.separated ? clipgen::FieldMode::Separated : clipgen::FieldMode::Woven;
    Clip clip = MakeClip("deint.raw", Options(kLayoutUYVY, 38, c.height, mode));
    Open(clip);
    view_->ToggleDeinterlace();
    view_->SetDeinterlacingMethod(c.method);

    const Converted conv = ConvertClipFrame(clip.options, 0, CONVERT_INTERLACED);
    auto R = [&](int y) { return conv.Row(SourceRow(y, c.height, c.separated, false, false)); };
    const kavlo::DisplayBitmap* bitmap = view_->Bitmap();
    ASSERT_NE(bitmap, nullptr);
    int mismatches = 0;
    for (int y = 0; y < c.height; ++y) {
        for (int i = 0; i < 3 * 38; ++i) {
            const uint8_t want = DeinterlacedByte(c.method, y, i, c.height, R);
            if (bitmap->Row(y)[i] != want && ++mismatches < 5) {
                ADD_FAILURE() << "row " << y << " byte " << i << ": " << int(bitmap->Row(y)[i])
                              << " != " << int(want);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllMethods, DeinterlaceTest,
    ::testing::Values(DeinterlaceCase{"BlendFields", 0, 24, false},
                      DeinterlaceCase{"TopField", 1, 24, false},
                      DeinterlaceCase{"BottomField", 2, 24, false},
                      DeinterlaceCase{"LowPass", 3, 24, false},
                      DeinterlaceCase{"TopFieldOddHeight", 1, 21, false},
                      DeinterlaceCase{"BottomFieldOddHeight", 2, 21, false},
                      DeinterlaceCase{"BlendAfterWeaving", 0, 24, true},
                      DeinterlaceCase{"LowPassAfterWeaving", 3, 24, true},
                      DeinterlaceCase{"UnknownMethodLeavesBlack", 7, 24, false}),
    [](const ::testing::TestParamInfo<DeinterlaceCase>& p) { return std::string(p.param.name); });

TEST_F(ViewFixture, SplitFieldsSwitchesDeinterlacingOff) {
    Clip clip = MakeClip("split.raw", Options(kLayoutUYVY, 40, 24, clipgen::FieldMode::Woven));
    Open(clip);
    view_->ToggleDeinterlace();
    view_->SetDeinterlacingMethod(3);
    view_->ToggleSplitFields();
    const Converted conv = ConvertClipFrame(clip.options, 0, CONVERT_INTERLACED);
    for (int y = 0; y < 24; ++y) {
        EXPECT_EQ(std::memcmp(view_->Bitmap()->Row(y),
                              conv.Row(SourceRow(y, 24, false, true, false)), 120),
                  0)
            << y;
    }
}

TEST_F(ViewFixture, TopFieldKeepsEvenRowsExactly) {
    Clip clip = MakeClip("even.raw", Options(kLayoutI420, 48, 32, clipgen::FieldMode::Woven));
    Open(clip);
    view_->ToggleDeinterlace();
    view_->SetDeinterlacingMethod(1);
    const Converted conv = ConvertClipFrame(clip.options, 0, CONVERT_INTERLACED);
    for (int y = 0; y < 32; y += 2) {
        EXPECT_EQ(std::memcmp(view_->Bitmap()->Row(y), conv.Row(y), 3 * 48), 0) << y;
    }
}

// The conversion flags follow the switches: interlaced 4:2:0 chroma, one component, studio range.
TEST_F(ViewFixture, ConversionFlagsFollowTheSwitches) {
    Clip clip = MakeClip("flags.raw", Options(kLayoutI420, 32, 16, clipgen::FieldMode::Woven));
    Open(clip);
    auto expectBitmap = [&](uint32_t flags, const char* what) {
        const Converted conv = ConvertClipFrame(clip.options, 0, flags);
        for (int y = 0; y < 16; ++y) {
            ASSERT_EQ(std::memcmp(view_->Bitmap()->Row(y), conv.Row(y), 3 * 32), 0)
                << what << ", row " << y;
        }
    };
    expectBitmap(CONVERT_INTERLACED, "interlaced clip");
    view_->ToggleInterlace();
    expectBitmap(0, "interlace toggled off");
    view_->ShowChannel(CVideoBuffer::ChannelCb);
    expectBitmap(CONVERT_CB_ONLY, "Cb only");
    view_->ShowChannel(CVideoBuffer::ChannelY);
    expectBitmap(CONVERT_LUMA_ONLY, "Y' only");

    clipgen::ClipOptions studio = Options(kLayoutR24C, 20, 10, clipgen::FieldMode::Progressive);
    Clip r24c = MakeClip("studio.raw", studio);
    ASSERT_EQ(r24c.settings.rawFormat.sampleRange, 2u);
    Open(r24c);
    const Converted conv = ConvertClipFrame(studio, 0, CONVERT_RGB_STUDIO_RANGE);
    for (int y = 0; y < 10; ++y) {
        EXPECT_EQ(std::memcmp(view_->Bitmap()->Row(y), conv.Row(y), 60), 0) << y;
    }
}

// A Bayer mosaic is demosaiced; M shows its samples as grey, and "show all" turns that off.
TEST_F(ViewFixture, MosaicGreySwitch) {
    Clip clip =
        MakeClip("mosaic.raw", Options(kLayoutGRBGLE12, 24, 8, clipgen::FieldMode::Progressive));
    Open(clip);
    auto expectBitmap = [&](uint32_t flags, const char* what) {
        const Converted conv = ConvertClipFrame(clip.options, 0, flags);
        for (int y = 0; y < 8; ++y)
            ASSERT_EQ(std::memcmp(view_->Bitmap()->Row(y), conv.Row(y), 3 * 24), 0)
                << what << ", row " << y;
    };
    expectBitmap(0, "demosaiced");
    ASSERT_NE(std::memcmp(ConvertClipFrame(clip.options, 0, 0).Row(0),
                          ConvertClipFrame(clip.options, 0, CONVERT_MOSAIC_GREY).Row(0), 3 * 24),
              0);
    view_->ToggleMosaicGrey();
    EXPECT_EQ(view_->Switches().mosaicGrey, 1);
    expectBitmap(CONVERT_MOSAIC_GREY, "grey");
    view_->ShowAll();
    EXPECT_EQ(view_->Switches().mosaicGrey, 0);
    expectBitmap(0, "after show all");
}

// ---- Orientation ----------------------------------------------------------------------------

struct OrientationCase {
    bool storedBottomUp;
    bool mirror;
    bool flipToggle;
};

class OrientationTest : public ViewFixture,
                        public ::testing::WithParamInterface<OrientationCase> {};

TEST_P(OrientationTest, ScreenShowsThePictureUprightUnlessFlippedOnce) {
    const OrientationCase c = GetParam();
    clipgen::ClipOptions o = Options(kLayoutBGR3, 14, 9, clipgen::FieldMode::Progressive);
    o.bottomUp = c.storedBottomUp;
    Clip clip = MakeClip("orient.raw", o);
    clip.settings.mirrorVertical = c.mirror ? 1 : 0;
    Open(clip);
    if (c.flipToggle) {
        EXPECT_FALSE(view_->SetFlip(true));
    }

    const kavlo::DisplayBitmap* bitmap = view_->Bitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->BottomUp(), (c.storedBottomUp != c.mirror) != c.flipToggle);
    EXPECT_EQ(bitmap->Width(), 16);  // 14 pixels rounded up to whole 4-pixel groups

    // BGR3 converts byte for byte, so the screen can be compared with the drawn picture.
    const clipgen::RgbPicture picture = clipgen::RenderFrame(o, 0);
    const bool upsideDown = c.mirror != c.flipToggle;
    for (int y = 0; y < 9; ++y) {
        const int pictureLine = upsideDown ? 8 - y : y;
        const uint8_t* line = bitmap->LineOnScreen(y);
        for (int x = 0; x < 14; ++x) {
            const uint8_t* rgb = picture.At(x, pictureLine);
            ASSERT_EQ(line[3 * x + 2], rgb[0]) << "screen (" << x << "," << y << ")";
            ASSERT_EQ(line[3 * x + 1], rgb[1]);
            ASSERT_EQ(line[3 * x + 0], rgb[2]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCombination, OrientationTest,
    ::testing::Values(OrientationCase{false, false, false}, OrientationCase{false, false, true},
                      OrientationCase{false, true, false}, OrientationCase{false, true, true},
                      OrientationCase{true, false, false}, OrientationCase{true, false, true},
                      OrientationCase{true, true, false}, OrientationCase{true, true, true}));

// ---- Pixel probe and painting ---------------------------------------------------------------

namespace {

// The probe's text for screen position (x, y) showing picture pixel (px, py).
QString ProbeText(const clipgen::RgbPicture& picture, int x, int y, int px, int py) {
    const uint8_t* rgb = picture.At(px, py);
    return QStringLiteral(" - Pos: (%1,%2), RGB: (%3,%4,%5)")
        .arg(x)
        .arg(y)
        .arg(rgb[0])
        .arg(rgb[1])
        .arg(rgb[2]);
}

QString ProbeText(const clipgen::RgbPicture& picture, int x, int y) {
    return ProbeText(picture, x, y, x, y);
}

}  // namespace

TEST_F(ViewFixture, ProbeAtZoomOneAndFour) {
    clipgen::ClipOptions o = Options(kLayoutBGR3, 64, 48, clipgen::FieldMode::Progressive);
    Clip clip = MakeClip("probe.raw", o);
    Open(clip);
    const clipgen::RgbPicture picture = clipgen::RenderFrame(o, 0);
    QWidget* port = view_->viewport();

    for (int zoom : {1, 4}) {
        if (zoom == 4) view_->SetZoom(4.0);
        ASSERT_EQ(view_->Zoom(), zoom);
        // The picture is smaller than the client area and centred in it.
        const int left = (port->width() - 64 * zoom) / 2;
        const int top = (port->height() - 48 * zoom) / 2;
        struct Probe {
            int x, y;
        };
        for (Probe p : {Probe{0, 0}, Probe{63, 47}, Probe{17, 30}, Probe{40, 5}}) {
            // The last client pixel of the frame pixel: truncation, not rounding.
            QTest::mouseMove(port,
                             QPoint(left + p.x * zoom + zoom - 1, top + p.y * zoom + zoom - 1));
            EXPECT_EQ(status_.Last(), ProbeText(picture, p.x, p.y)) << "zoom " << zoom;
        }
        QTest::mouseMove(port, QPoint(left - 1, top));
        EXPECT_EQ(status_.Last(), QString()) << "outside the picture: the prefix alone";
    }
    view_->ToggleFlip();
    QTest::mouseMove(port, QPoint((port->width() - 256) / 2, (port->height() - 192) / 2));
    EXPECT_EQ(status_.Last(), ProbeText(picture, 0, 0, 0, 47))
        << "flipped: position (0,0) shows the bottom line";
}

TEST_F(ViewFixture, ProbeInFitMode) {
    view_.reset();
    view_ = std::make_unique<CVideoBuffer>();
    view_->SetFitMode(true);
    view_->setFrameShape(QFrame::NoFrame);
    view_->SetStatusCallback(&StatusLog::Callback, &status_);
    view_->resize(400, 300);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));

    clipgen::ClipOptions o = Options(kLayoutBGR3, 720, 576, clipgen::FieldMode::Progressive);
    Clip clip = MakeClip("fit.raw", o);
    Open(clip);
    EXPECT_EQ(view_->ZoomedSize(), QSize(375, 300));
    EXPECT_EQ(view_->Zoom(), 1.0);
    const clipgen::RgbPicture picture = clipgen::RenderFrame(o, 0);
    const int left = (400 - 375) / 2;
    QTest::mouseMove(view_->viewport(), QPoint(left + 100, 50));
    // Scale 375 / 720 horizontally and 300 / 576 vertically.
    EXPECT_EQ(status_.Last(), ProbeText(picture, 192, 96));
    QTest::mouseMove(view_->viewport(), QPoint(left + 374, 299));
    EXPECT_EQ(status_.Last(), ProbeText(picture, 718, 574)) << "374 / (375 / 720) truncated";

    // Keys are not the view's in fit mode.
    QTest::keyClick(view_.get(), Qt::Key_V);
    EXPECT_EQ(view_->Switches().flipToggle, 0);
}

TEST_F(ViewFixture, PaintShowsNearestFramePixels) {
    clipgen::ClipOptions o = Options(kLayoutBGR3, 64, 48, clipgen::FieldMode::Progressive);
    Clip clip = MakeClip("paint.raw", o);
    Open(clip);
    const clipgen::RgbPicture picture = clipgen::RenderFrame(o, 0);
    QWidget* port = view_->viewport();
    for (double zoom : {1.0, 4.0, 8.0, 0.5}) {
        view_->SetZoom(zoom);
        const QImage shot = port->grab().toImage();
        const QRect rect = view_->PictureRect();
        for (int cy = 0; cy < shot.height(); cy += 7) {
            for (int cx = 0; cx < shot.width(); cx += 5) {
                const QRgb got = shot.pixel(cx, cy);
                if (!rect.contains(cx, cy)) continue;
                const int x = static_cast<int>((cx - rect.left()) / zoom);
                const int y = static_cast<int>((cy - rect.top()) / zoom);
                const uint8_t* rgb = picture.At(x, y);
                ASSERT_EQ(got, qRgb(rgb[0], rgb[1], rgb[2]))
                    << "zoom " << zoom << " client (" << cx << "," << cy << ")";
            }
        }
        if (zoom < 8.0) {
            // Around a picture smaller than the client: the owner's background.
            EXPECT_EQ(shot.pixel(0, 0), port->palette().color(QPalette::Window).rgb());
        }
    }
}

TEST_F(ViewFixture, BelowZoomOnePaintAndProbeSpreadThePictureEvenly) {
    // 100 x 100 at 1/16 is 6 x 6 client pixels: column i shows frame column i x 100 / 6.
    clipgen::ClipOptions o = Options(kLayoutBGR3, 100, 100, clipgen::FieldMode::Progressive);
    Clip clip = MakeClip("small.raw", o);
    Open(clip);
    view_->SetZoom(1.0 / 16);
    ASSERT_EQ(view_->ZoomedSize(), QSize(6, 6));
    const clipgen::RgbPicture picture = clipgen::RenderFrame(o, 0);
    QWidget* port = view_->viewport();
    const QImage shot = port->grab().toImage();
    const QRect rect = view_->PictureRect();
    for (int i = 0; i < 6; ++i) {
        const int x = i * 100 / 6;  // 0 16 33 50 66 83
        const uint8_t* rgb = picture.At(x, x);
        EXPECT_EQ(shot.pixel(rect.left() + i, rect.top() + i), qRgb(rgb[0], rgb[1], rgb[2]))
            << "client column " << i;
        QTest::mouseMove(port, QPoint(rect.left() + i, rect.top() + i));
        EXPECT_EQ(status_.Last(), ProbeText(picture, x, x)) << "client column " << i;
    }
}

namespace {

// Compares every painted pixel of the picture with the display bitmap's pixel that the view's
// mapping gives for it; returns the number of pixels compared.
int64_t ExpectPaintFollowsTheMapping(CVideoBuffer& view, const std::string& what) {
    const QImage shot = view.viewport()->grab().toImage();
    const kavlo::DisplayBitmap& bitmap = *view.Bitmap();
    const QRect visible = view.PictureRect().intersected(QRect(QPoint(0, 0), view.ClientSize()));
    int64_t compared = 0;
    for (int cy = visible.top(); cy <= visible.bottom(); ++cy) {
        for (int cx = visible.left(); cx <= visible.right(); ++cx) {
            const QPointF at = view.mapToImage(QPointF(cx, cy));
            const int x = std::clamp(static_cast<int>(at.x()), 0, bitmap.PictureWidth() - 1);
            const int y = std::clamp(static_cast<int>(at.y()), 0, bitmap.Height() - 1);
            const uint8_t* p = bitmap.LineOnScreen(y) + 3 * x;
            const QRgb got = shot.pixel(cx, cy);
            if (got != qRgb(p[2], p[1], p[0])) {
                ADD_FAILURE() << what << ": client (" << cx << "," << cy << ") frame (" << x << ","
                              << y << ")";
                return compared;
            }
            ++compared;
        }
    }
    return compared;
}

}  // namespace

TEST_F(ViewFixture, PaintFollowsTheMappingAtEveryZoomScrollAndOrientation) {
    // An odd width, larger than the client at zoom 1, so that the view scrolls; the flip toggle
    // turns the bitmap over; side by side doubles the picture width.
    clipgen::ClipOptions o = Options(kLayoutBGR3, 403, 301, clipgen::FieldMode::Progressive);
    Clip clip = MakeClip("mapping.raw", o);
    Clip other = MakeClip("other.raw", o);
    Open(clip);
    for (int pass = 0; pass < 3; ++pass) {
        if (pass == 1) view_->ToggleFlip();
        if (pass == 2) {
            QString error;
            ASSERT_TRUE(view_->OpenReference(&other.settings, other.path, error))
                << error.toStdString();
            view_->SetCompareMode(kavlo::CompareMode::SideBySide);
            ASSERT_EQ(view_->Bitmap()->PictureWidth(), 2 * 403);
        }
        const bool bottomUp = view_->Bitmap()->BottomUp();
        for (double zoom : {1.0 / 16, 1.0 / 4, 1.0 / 2, 2.0 / 3, 1.0, 1.5, 2.0, 3.0, 8.0}) {
            for (QPoint centre : {QPoint(200, 150), QPoint(402, 300), QPoint(0, 0)}) {
                view_->ActualSize();
                if (zoom != 1.0) view_->SetZoom(zoom, centre);
                const std::string what =
                    "pass " + std::to_string(pass) + " bottom-up " + std::to_string(bottomUp) +
                    " zoom " + std::to_string(zoom) + " at (" + std::to_string(centre.x()) + "," +
                    std::to_string(centre.y()) + ")";
                EXPECT_GT(ExpectPaintFollowsTheMapping(*view_, what), 0) << what;
            }
        }
    }
}
