// The source values behind displayed pixels: the row mapping through orientation and field
// arrangement, and the samples of every layout read back at known positions.
#include "view/picture/SourceProbe.h"

#include "../common/ClipTestSupport.h"

#include "image/FrameMemory.h"
#include "image/PixelLayout.h"
#include "view/picture/FieldRender.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace kavlo;
using viewtest::FrameOf;

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
        for (uint64_t r = 0; r < pe.rows; ++r) {
            for (uint64_t g = 0; g * plane.groupBytes < pe.rowBytes; ++g) {
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
        }
    }
    return frame;
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
            for (int d = 0; d < h; ++d) {
                EXPECT_EQ(ArrangedSourceRow(d, h, a), dst[static_cast<size_t>(d) * 4])
                    << "height " << h << " row " << d << " separated " << a.separated << " split "
                    << a.split << " swapped " << a.swapped;
            }
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
        for (int row = 0; row < h; ++row) {
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
