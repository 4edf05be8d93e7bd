// The source values behind displayed pixels: the row mapping through orientation and field
// arrangement, the samples of every layout read back at known positions, the statistics of a
// known frame, and the value overlay of the zoomed view.
#include "ViewTestSupport.h"

#include "image/FrameMemory.h"
#include "image/PixelLayout.h"
#include "view/picture/FieldRender.h"
#include "analysis/FrameStatistics.h"
#include "view/picture/SourceProbe.h"

#include <QImage>
#include <QTest>

#include <map>
#include <vector>

using namespace kavlo;
using namespace viewtest;

namespace {

// Every arrangement of the two fields, with and without a swap.
std::vector<FieldArrangement> AllArrangements() {
    std::vector<FieldArrangement> all;
    for (int bits = 0; bits < 8; ++bits) {
        FieldArrangement a;
        a.separated = bits & 1;
        a.split = bits & 2;
        a.swapped = bits & 4;
        all.push_back(a);
    }
    return all;
}

// A value for a sample that tells its component, frame column and plane row apart, within the
// slot's bits.
uint32_t Marker(Component c, int x, int planeRow, int bits) {
    const uint32_t v = static_cast<uint32_t>(static_cast<int>(c) * 53 + x * 7 + planeRow * 29 + 1);
    return bits >= 32 ? v : v & ((1u << bits) - 1u);
}

// A frame of `code` whose every sample holds Marker(component, its pixel, its plane row).
std::vector<uint8_t> MarkedFrame(uint32_t code, int w, int h, int32_t& lineBytes) {
    lineBytes = static_cast<int32_t>(MinLineBytes(code, w, h));
    FrameExtent extent{};
    EXPECT_TRUE(GetFrameExtent(code, w, h, lineBytes, extent));
    std::vector<uint8_t> frame(extent.frameBytes + 64, 0);
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(code);
    for (int p = 0; p < layout->planeCount; ++p) {
        const PlaneDesc& plane = layout->planes[p];
        const PlaneExtent& pe = extent.planes[p];
        for (uint64_t r = 0; r < pe.rows; ++r)
            for (uint64_t g = 0; g * plane.groupBytes < pe.rowBytes; ++g)
                for (int s = 0; s < plane.slotCount; ++s) {
                    const SampleSlot& slot = plane.sampleSlots[s];
                    if (g * plane.groupBytes + (slot.word + 1u) * plane.wordBytes > pe.rowBytes)
                        continue;
                    // A mosaic's pixel holds the one slot of its place in the cell.
                    const bool mosaic = layout->model == ColourModel::Bayer;
                    if (mosaic && &slot != &MosaicSlot(plane, int64_t(g), int64_t(r))) continue;
                    const int x =
                        static_cast<int>(g) * plane.groupPixels + (mosaic ? 0 : slot.pixel);
                    WriteSample(frame.data() + pe.offset + r * pe.pitch + g * plane.groupBytes,
                                plane, layout->byteOrder, slot,
                                Marker(slot.component, x, static_cast<int>(r), slot.bits));
                }
    }
    return frame;
}

SourceFrame FrameOf(const std::vector<uint8_t>& bytes, uint32_t code, int w, int h,
                    int32_t lineBytes) {
    SourceFrame f;
    f.bytes = bytes.data();
    f.width = w;
    f.height = h;
    f.code = code;
    f.lineBytes = lineBytes;
    return f;
}

uint32_t ValueOf(const SourceValues& v, Component c) {
    for (int i = 0; i < v.count; ++i)
        if (v.samples[i].component == c) return v.samples[i].value;
    ADD_FAILURE() << "no sample of component " << static_cast<int>(c);
    return 0;
}

}  // namespace

TEST(SourceProbe, ArrangedSourceRowInvertsArrangeFields) {
    for (int h : {6, 7, 8}) {
        // A converted frame whose rows carry their own index.
        std::vector<uint8_t> src(static_cast<size_t>(h) * 4), dst(src.size());
        for (int r = 0; r < h; ++r) src[static_cast<size_t>(r) * 4] = static_cast<uint8_t>(r);
        for (const FieldArrangement& a : AllArrangements()) {
            if (ArrangementIsIdentity(a)) {
                for (int d = 0; d < h; ++d) EXPECT_EQ(ArrangedSourceRow(d, h, a), d);
                continue;
            }
            ArrangeFields(RowImage{src.data(), 4, h}, RowImage{dst.data(), 4, h}, 4, a);
            for (int d = 0; d < h; ++d)
                EXPECT_EQ(ArrangedSourceRow(d, h, a), dst[static_cast<size_t>(d) * 4])
                    << "height " << h << " row " << d << " separated " << a.separated << " split "
                    << a.split << " swapped " << a.swapped;
        }
    }
}

TEST(SourceProbe, DisplayedLineFollowsOrientationBeforeFields) {
    StoredFrameFlags stored;
    ViewSwitches switches;
    EXPECT_EQ(SourceRowOfDisplayedLine(0, 8, stored, switches), 0);
    stored.bottomUp = 1;
    EXPECT_EQ(SourceRowOfDisplayedLine(0, 8, stored, switches), 7) << "bottom-up storage";
    switches.flipToggle = 1;
    EXPECT_EQ(SourceRowOfDisplayedLine(0, 8, stored, switches), 0) << "flipped back";
    stored.flip = 1;
    EXPECT_EQ(SourceRowOfDisplayedLine(1, 8, stored, switches), 6) << "the record's mirror";
    // Split fields of a top-down frame: the top half shows the even rows, the bottom half the
    // odd ones; the swap exchanges them; separately stored fields need no interleaving.
    stored = StoredFrameFlags();
    switches = ViewSwitches();
    switches.splitFields = 1;
    EXPECT_EQ(SourceRowOfDisplayedLine(1, 8, stored, switches), 2);
    EXPECT_EQ(SourceRowOfDisplayedLine(5, 8, stored, switches), 3);
    switches.swappedFieldOrder = 1;
    EXPECT_EQ(SourceRowOfDisplayedLine(1, 8, stored, switches), 3);
    switches = ViewSwitches();
    stored.fieldsSeparated = 1;
    EXPECT_EQ(SourceRowOfDisplayedLine(3, 8, stored, switches), 5) << "woven from stored fields";
    switches.separatedToggle = 1;
    EXPECT_EQ(SourceRowOfDisplayedLine(3, 8, stored, switches), 3) << "toggled back";
}

// Every layout: each pixel's samples read back as written, chroma from the pixel's pair or
// 2 x 2 block.
TEST(SourceProbe, EveryLayoutReadsTheSamplesOfEachPixel) {
    const FrameMemoryLayout* layouts = FrameMemoryLayouts();
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const FrameMemoryLayout& layout = layouts[i];
        const int w = 12;
        const int h = 4;
        int32_t lineBytes = 0;
        const std::vector<uint8_t> bytes = MarkedFrame(layout.code, w, h, lineBytes);
        const SourceFrame frame = FrameOf(bytes, layout.code, w, h, lineBytes);
        // What the layout carries, and how far chroma reaches.
        std::map<Component, int> components;
        int chromaPixels = 1, chromaRows = 1;
        for (int p = 0; p < layout.planeCount; ++p) {
            int cb = 0;
            for (int s = 0; s < layout.planes[p].slotCount; ++s) {
                const Component c = layout.planes[p].sampleSlots[s].component;
                components[c] = 1;
                if (c == Component::Cb) ++cb;
            }
            if (cb) {
                chromaPixels = layout.planes[p].groupPixels / cb;
                chromaRows = layout.planes[p].heightDivisor;
            }
        }
        const std::string name = LayoutName(layout.code);
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x) {
                const SourceValues v = ReadSourceValues(frame, x, row, 0);
                ASSERT_TRUE(v.valid) << name;
                if (layout.model == ColourModel::Bayer) {
                    const SampleSlot& site = MosaicSlot(layout.planes[0], x, row);
                    ASSERT_EQ(v.count, 1) << name;
                    EXPECT_EQ(v.samples[0].component, site.component) << name;
                    EXPECT_EQ(v.samples[0].value, Marker(site.component, x, row, site.bits))
                        << name << " pixel (" << x << "," << row << ")";
                    continue;
                }
                EXPECT_EQ(v.count, static_cast<int>(components.size())) << name;
                for (const auto& entry : components) {
                    const Component c = entry.first;
                    const bool chroma = c == Component::Cb || c == Component::Cr;
                    const int sx = chroma ? x - x % chromaPixels : x;
                    const int sy = chroma ? row / chromaRows : row;
                    int bits = 0;
                    for (int k = 0; k < v.count; ++k)
                        if (v.samples[k].component == c) bits = v.samples[k].bits;
                    EXPECT_EQ(ValueOf(v, c), Marker(c, sx, sy, bits))
                        << name << " pixel (" << x << "," << row << ") component "
                        << static_cast<int>(c);
                }
            }
    }
}

TEST(SourceProbe, HandWrittenSamplesAndTheirTexts) {
    // YUY2, one row of 3 pixels: Y0 Cb Y1 Cr | Y2 (the cut pair's other words unused).
    const std::vector<uint8_t> yuy2 = {16, 100, 235, 200, 77, 0, 0, 0};
    const SourceFrame packed = FrameOf(yuy2, kLayoutYUY2, 3, 1, 8);
    SourceValues v = ReadSourceValues(packed, 1, 0, 0);
    EXPECT_EQ(FormatSourceValues(v, false, 1, 0),
              QStringLiteral("Y' 235  Cb 100  Cr 200 (Cb/Cr of pixels 0-1)"));
    v = ReadSourceValues(packed, 2, 0, 0);
    EXPECT_EQ(FormatSourceValues(v, true, 2, 0),
              QStringLiteral("Y' 0x4D  Cb 0x64  Cr 0xC8 (Cb/Cr of pixels 0-1)"))
        << "the odd width's last pixel takes the previous pair's chroma";

    // P010 2 x 2: every sample's 10 bits at bits 6..15.
    // Planes tightly packed: 8 bytes of Y', 4 of Cb,Cr; a pitch of 6 holds them in 2 rows.
    std::vector<uint8_t> p010(2 * 2 * 2 + 2 * 2, 0);
    auto put16 = [&p010](size_t at, uint32_t v10) {
        const uint32_t word = v10 << 6;
        p010[at] = static_cast<uint8_t>(word & 0xFF);
        p010[at + 1] = static_cast<uint8_t>(word >> 8);
    };
    put16(6, 940);  // Y' (1,1)
    put16(8, 64);   // Cb of the block
    put16(10, 1023);
    v = ReadSourceValues(FrameOf(p010, kLayoutP010, 2, 2, 6), 1, 1, 0);
    EXPECT_EQ(FormatSourceValues(v, false, 1, 1),
              QStringLiteral("Y' 940  Cb 64  Cr 1023 (Cb/Cr of (0, 0))"));
    EXPECT_EQ(SourceValueLines(v, true),
              QStringList({QStringLiteral("Y' 0x3AC"), QStringLiteral("Cb 0x040"),
                           QStringLiteral("Cr 0x3FF")}));

    // Big-endian 16-bit grey, and an R'G'B' pixel named where the display moved it.
    const std::vector<uint8_t> grey = {0x12, 0x34, 0xAB, 0xCD};
    v = ReadSourceValues(FrameOf(grey, kLayoutGRAYBE16, 2, 1, 4), 1, 0, 0);
    EXPECT_EQ(FormatSourceValues(v, true, 1, 0), QStringLiteral("grey 0xABCD"));
    const std::vector<uint8_t> bgr = {1, 2, 3, 4, 5, 6};
    SourceFrame rgbFrame = FrameOf(bgr, kLayoutBGR3, 1, 2, 3);
    ViewSwitches flipped;
    flipped.flipToggle = 1;
    flipped.deinterlace = 1;
    v = ProbeDisplayedPixel(rgbFrame, flipped, 0, 0);
    EXPECT_EQ(FormatSourceValues(v, false, 0, 0),
              QStringLiteral("R' 6  G' 5  B' 4 at source (0,1), deinterlaced: source row shown"));
    EXPECT_FALSE(ReadSourceValues(rgbFrame, 1, 0, 0).valid) << "outside the frame";
}

TEST(SourceProbe, FieldWiseChromaRowsOf420) {
    const int w = 4, h = 8;
    int32_t lineBytes = 0;
    const std::vector<uint8_t> bytes = MarkedFrame(kLayoutI420, w, h, lineBytes);
    const SourceFrame frame = FrameOf(bytes, kLayoutI420, w, h, lineBytes);
    auto chromaRow = [&](int row, ConvertFlags flags) {
        return ReadSourceValues(frame, 3, row, flags).chromaRow;
    };
    const int progressive[] = {0, 0, 1, 1, 2, 2, 3, 3};
    const int woven[] = {0, 1, 0, 1, 2, 3, 2, 3};
    const int separated[] = {0, 0, 1, 1, 2, 2, 3, 3};
    for (int r = 0; r < h; ++r) {
        EXPECT_EQ(chromaRow(r, 0), progressive[r]) << r;
        EXPECT_EQ(chromaRow(r, CONVERT_INTERLACED), woven[r]) << r;
        EXPECT_EQ(chromaRow(r, CONVERT_FIELDS_SEPARATED), separated[r]) << r;
        EXPECT_EQ(ValueOf(ReadSourceValues(frame, 3, r, CONVERT_INTERLACED), Component::Cr),
                  Marker(Component::Cr, 2, woven[r], 8));
    }
}

TEST(FrameStatistics, CountsOfAKnownFrame) {
    // UYVY 4 x 2: Cb 10, Y' 20, Cr 30, Y' 40 in the first row; all 50 in the second.
    const std::vector<uint8_t> bytes = {10, 20, 30, 40, 10, 20, 30, 40,
                                        50, 50, 50, 50, 50, 50, 50, 50};
    const FrameStatistics stats = ComputeFrameStatistics(FrameOf(bytes, kLayoutUYVY, 4, 2, 8), 2);
    ASSERT_EQ(stats.components.size(), 3u);
    const ComponentStatistics& y = stats.components[0];
    EXPECT_EQ(y.component, Component::Y);
    EXPECT_EQ(y.histogram.size(), 256u);
    EXPECT_EQ(y.samples, 8u);
    EXPECT_EQ(y.histogram[20], 2u);
    EXPECT_EQ(y.histogram[40], 2u);
    EXPECT_EQ(y.histogram[50], 4u);
    EXPECT_EQ(y.minimum, 20u);
    EXPECT_EQ(y.maximum, 50u);
    EXPECT_DOUBLE_EQ(y.mean, 40.0);
    // Two waveform columns of two frame columns each: column 0 holds pixels 0 and 1.
    EXPECT_EQ(stats.columns, 2);
    EXPECT_EQ(y.waveform[0 * kWaveformLevels + 20], 1u);
    EXPECT_EQ(y.waveform[0 * kWaveformLevels + 40], 1u);
    EXPECT_EQ(y.waveform[1 * kWaveformLevels + 50], 2u);
    const ComponentStatistics& cb = stats.components[1];
    EXPECT_EQ(cb.component, Component::Cb);
    EXPECT_EQ(cb.samples, 4u);
    EXPECT_EQ(cb.histogram[10], 2u);

    // 10-bit samples keep their own bins; 5-bit ones reach level 255 at their top.
    EXPECT_EQ(SampleLevel8(1023, 10), 255u);
    EXPECT_EQ(SampleLevel8(31, 5), 255u);
    EXPECT_EQ(SampleLevel8(0, 5), 0u);
    std::vector<uint8_t> p010(4 * 2 * 2 + 4 * 2, 0);
    p010[1] = 0xFF;  // the first Y' sample: 0xFF00 >> 6 = 1020
    p010[0] = 0x00;
    const FrameStatistics deep = ComputeFrameStatistics(FrameOf(p010, kLayoutP010, 4, 2, 12), 4);
    ASSERT_FALSE(deep.components.empty());
    EXPECT_EQ(deep.components[0].histogram.size(), 1024u);
    EXPECT_EQ(deep.components[0].histogram[1020], 1u);
    EXPECT_EQ(deep.components[0].histogram[0], 7u);

    // A mosaic counts each pixel once, under the colour of its place in the cell.
    const std::vector<uint8_t> rggb = {10, 20, 10, 20, 30, 40, 30, 40};  // R G R G / G B G B
    const FrameStatistics mosaic = ComputeFrameStatistics(FrameOf(rggb, kLayoutRGGB, 4, 2, 4), 4);
    uint64_t total = 0;
    for (const ComponentStatistics& c : mosaic.components) {
        total += c.samples;
        if (c.component == Component::R) {
            EXPECT_EQ(c.histogram[10], 2u);
        } else if (c.component == Component::G) {
            EXPECT_EQ(c.histogram[20] + c.histogram[30], 4u);
        } else {
            EXPECT_EQ(c.histogram[40], 2u);
        }
    }
    EXPECT_EQ(total, 8u);
}

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
    for (const double cell : {16.0, 24.0, 32.0, 48.0, 64.0, 128.0})
        for (const int lines : {1, 3, 4})
            for (const int chars : {3, 4, 5, 6}) {
                const Plan p = plan(cell, lines, chars);
                if (p.lines == 0) continue;
                EXPECT_GE(p.fontPixels, CVideoBuffer::kLegibleValuePixels);
                EXPECT_LE((p.lines + 0.5) * p.fontPixels, cell + 1e-9);
                EXPECT_LE(0.62 * (chars + (p.labels ? 5 : 0)) * p.fontPixels, cell + 1e-9);
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
