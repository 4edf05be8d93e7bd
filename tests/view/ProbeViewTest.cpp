// The probe in the view: the source samples named under the pointer (in hex on request, through
// a flip), and their values drawn on the pixels of the zoomed picture where they can be read.
#include "ViewTestSupport.h"

#include "image/PixelLayout.h"

#include <QImage>
#include <QTest>

#include <vector>

using namespace viewtest;

// The overlay: text on the pixels at zoom 32, none at 8, and no text with the switch off.
TEST_F(ViewFixture, ValuesAreDrawnOnPixelsFromZoom16) {
    clipgen::ClipOptions o;
    o.code = kLayoutGRAY;
    o.width = 16;
    o.height = 16;
    Clip clip = MakeClip("grey.raw", o);
    Open(clip);
    // A grab of the picture area; the count of pixels that are neither the background nor
    // a colour of the frame.
    auto textPixels = [this](double zoom) {
        view_->SetZoom(zoom);
        view_->viewport()->repaint();
        const QImage shot =
            view_->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage plain = [&] {
            const bool on = view_->ShowValuesWhenZoomed();
            view_->SetShowValuesWhenZoomed(false);
            view_->viewport()->repaint();
            QImage image =
                view_->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            view_->SetShowValuesWhenZoomed(on);
            return image;
        }();
        int differing = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixel(x, y) != plain.pixel(x, y)) ++differing;
        return differing;
    };
    EXPECT_GT(textPixels(32.0), 50);
    view_->ActualSize();  // SetZoom refuses at the largest zoom
    EXPECT_EQ(textPixels(8.0), 0);
    view_->SetShowValuesWhenZoomed(false);
    EXPECT_EQ(textPixels(32.0), 0) << "switched off";
}

// Values on the pixels are drawn only at a size that can be read: three 8-bit Y'CbCr lines on a
// 16-pixel cell would be 4 pixels high, so the first line alone is drawn there (a legend names
// it); from 32 pixels all three, each with its name.
TEST(ValueOverlayPlan, OnlyReadableValuesAreDrawn) {
    using Plan = CVideoBuffer::ValueOverlayPlan;
    const auto plan = [](double cell, int lines, int chars) {
        return CVideoBuffer::PlanValueOverlay(cell, cell, lines, chars);
    };
    const Plan at16 = plan(16, 3, 3);
    EXPECT_EQ(at16.lines, 1);
    EXPECT_FALSE(at16.labels);
    EXPECT_GE(at16.fontPixels, CVideoBuffer::kLegibleValuePixels);
    const Plan at32 = plan(32, 3, 3);
    EXPECT_EQ(at32.lines, 3);
    EXPECT_GE(at32.fontPixels, CVideoBuffer::kLegibleValuePixels);
    const Plan at64 = plan(64, 3, 3);
    EXPECT_TRUE(at64.labels);
    EXPECT_EQ(plan(16, 1, 3).lines, 1);  // grey: one line, legible at 16
    EXPECT_EQ(plan(8, 3, 3).lines, 0);   // nothing readable
    EXPECT_EQ(plan(16, 3, 6).lines, 0);  // 16-bit hex values need more room
    for (const double cell : {16.0, 24.0, 32.0, 48.0, 64.0, 128.0}) {
        for (const int lines : {1, 3, 4}) {
            for (const int chars : {3, 4, 5, 6}) {
                const Plan p = plan(cell, lines, chars);
                if (p.lines == 0) continue;
                EXPECT_GE(p.fontPixels, CVideoBuffer::kLegibleValuePixels);
                EXPECT_LE((p.lines + 0.5) * p.fontPixels, cell + 1e-9);
                EXPECT_LE(0.62 * (chars + (p.labels ? 5 : 0)) * p.fontPixels, cell + 1e-9);
            }
        }
    }
}

TEST_F(ViewFixture, ProbeNamesTheSourceSamples) {
    clipgen::ClipOptions o;
    o.code = kLayoutGRAY;
    o.width = 32;
    o.height = 16;
    Clip clip = MakeClip("probe-grey.raw", o);
    Open(clip);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(clipgen::PackFrame(o, 0, frame));
    QWidget* port = view_->viewport();
    const int left = (port->width() - 32) / 2;
    const int top = (port->height() - 16) / 2;
    // A pixel of row 3 whose sample is not zero, and the bottom line's sample at its column.
    int x = 0;
    while (x < 31 && frame[static_cast<size_t>(3 * 32 + x)] == 0) ++x;
    const uint8_t sample = frame[static_cast<size_t>(3 * 32 + x)];
    ASSERT_NE(sample, 0);
    QTest::mouseMove(port, QPoint(left + x, top + 3));
    EXPECT_EQ(view_->SourceValuesText(), QStringLiteral("grey %1").arg(sample));
    view_->SetHexValues(true);
    EXPECT_EQ(view_->SourceValuesText(),
              QStringLiteral("grey 0x") +
                  QStringLiteral("%1").arg(sample, 2, 16, QLatin1Char('0')).toUpper())
        << "the hex switch refreshes the probe";
    view_->ToggleFlip();
    QTest::mouseMove(port, QPoint(left + x, top + 12));
    EXPECT_EQ(view_->SourceValuesText(),
              QStringLiteral("grey 0x%1 at source (%2,3)")
                  .arg(QString::number(sample, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                  .arg(x))
        << "flipped: displayed line 12 shows memory row 3";
    QTest::mouseMove(port, QPoint(left - 2, top));
    EXPECT_EQ(view_->SourceValuesText(), QString());
}
