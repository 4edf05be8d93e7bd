// The frame-memory table: sample positions, byte orders and plane extents.
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using C = Component;

TEST(FrameMemory, OneEntryPerCatalogueRowInOrder) {
    for (int i = 0; i < kLayoutCount; ++i) {
        EXPECT_EQ(FrameMemoryLayouts()[i].code, LayoutCatalogue()[i].code) << i;
        EXPECT_EQ(FindFrameMemoryLayout(LayoutCatalogue()[i].code), &FrameMemoryLayouts()[i]);
    }
    EXPECT_EQ(FindFrameMemoryLayout(0x00000001), nullptr);
}

class EveryLayout : public ::testing::TestWithParam<int> {
protected:
    const FrameMemoryLayout& L() const { return FrameMemoryLayouts()[GetParam()]; }
};

// Slots lie inside their group and word and never share a bit.
TEST_P(EveryLayout, SlotsAreWellFormed) {
    const FrameMemoryLayout& l = L();
    ASSERT_GE(l.planeCount, 1);
    if (l.model == ColourModel::Bayer) return;  // alternative slots: MosaicCellsAreWellFormed
    for (int p = 0; p < l.planeCount; ++p) {
        const PlaneDesc& d = l.planes[p];
        ASSERT_GT(d.groupPixels, 0);
        ASSERT_TRUE(d.wordBytes == 1 || d.wordBytes == 2 || d.wordBytes == 4);
        ASSERT_EQ(d.groupBytes % d.wordBytes, 0);
        std::set<int> usedBits;
        for (int s = 0; s < d.slotCount; ++s) {
            const SampleSlot& slot = d.sampleSlots[s];
            EXPECT_LT(slot.pixel, d.groupPixels);
            EXPECT_LT(slot.word, d.groupBytes / d.wordBytes);
            EXPECT_LE(slot.shift + slot.bits, 8 * d.wordBytes);
            EXPECT_LE(slot.bits, l.sampleBits);
            for (int b = 0; b < slot.bits; ++b)
                EXPECT_TRUE(usedBits.insert(slot.word * 32 + slot.shift + b).second)
                    << "plane " << p << " slot " << s << " overlaps";
        }
    }
}

// A mosaic's one plane has a word per pixel and four slots, one per cell position, all in the
// same bits: two greens on one diagonal, red and blue on the other, so that every row and every
// column alternates green with one other colour.
TEST_P(EveryLayout, MosaicCellsAreWellFormed) {
    const FrameMemoryLayout& l = L();
    if (l.model != ColourModel::Bayer) return;
    ASSERT_EQ(l.planeCount, 1);
    const PlaneDesc& d = l.planes[0];
    EXPECT_EQ(d.groupPixels, 1);
    EXPECT_EQ(d.groupBytes, d.wordBytes);
    EXPECT_EQ(d.wordBytes, l.sampleBits > 8 ? 2 : 1);
    EXPECT_EQ(l.byteOrder, ByteOrder::Little);
    ASSERT_EQ(d.slotCount, 4);
    for (int s = 0; s < 4; ++s) {
        const SampleSlot& slot = d.sampleSlots[s];
        EXPECT_EQ(slot.pixel, s);
        EXPECT_EQ(slot.word, 0);
        EXPECT_EQ(slot.shift, 0);
        EXPECT_EQ(slot.bits, l.sampleBits);
        EXPECT_EQ(&MosaicSlot(d, s & 1, s >> 1), &slot);
        EXPECT_EQ(&MosaicSlot(d, (s & 1) + 6, (s >> 1) + 10), &slot);
    }
    const C tl = d.sampleSlots[0].component, tr = d.sampleSlots[1].component;
    const C bl = d.sampleSlots[2].component, br = d.sampleSlots[3].component;
    const bool greenMain = tl == C::G;
    EXPECT_EQ(greenMain ? br : tr, C::G);
    const C a = greenMain ? tr : tl, b = greenMain ? bl : br;
    EXPECT_TRUE((a == C::R && b == C::B) || (a == C::B && b == C::R));
    // The name spells the cell row by row.
    const std::string name = LayoutName(l.code);
    const char letter[] = {'Y', 'C', 'C', 'R', 'G', 'B'};
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(name[size_t(s)], letter[int(d.sampleSlots[s].component)]) << name;
}

// Every pixel carries its full-resolution components exactly once, and each group carries
// chroma for its even pixels only.
TEST_P(EveryLayout, EveryPixelHasItsComponents) {
    const FrameMemoryLayout& l = L();
    std::vector<C> full;
    if (l.model == ColourModel::YCbCr) full = {C::Y};
    if (l.model == ColourModel::RGB) full = {C::R, C::G, C::B};
    if (l.model == ColourModel::Grey) full = {C::Grey};
    for (C c : full) {
        for (int p = 0; p < l.planeCount; ++p) {
            const PlaneDesc& d = l.planes[p];
            int count = 0;
            std::set<int> pixels;
            for (int s = 0; s < d.slotCount; ++s)
                if (d.sampleSlots[s].component == c) ++count, pixels.insert(d.sampleSlots[s].pixel);
            if (count == 0) continue;
            EXPECT_EQ(count, d.groupPixels);
            EXPECT_EQ(int(pixels.size()), d.groupPixels);
        }
    }
    if (l.model == ColourModel::YCbCr) {
        int cb = 0, cr = 0;
        for (int p = 0; p < l.planeCount; ++p) {
            for (int s = 0; s < l.planes[p].slotCount; ++s) {
                const SampleSlot& slot = l.planes[p].sampleSlots[s];
                if (slot.component == C::Cb) ++cb;
                if (slot.component == C::Cr) ++cr;
                if (slot.component == C::Cb || slot.component == C::Cr) {
                    EXPECT_EQ(slot.pixel % 2, 0) << "chroma belongs to the even pixel";
                }
            }
        }
        EXPECT_GT(cb, 0);
        EXPECT_EQ(cb, cr);
    }
}

// The memory table and the geometry table agree: a computed pitch holds exactly one frame.
TEST_P(EveryLayout, ComputedPitchHoldsExactlyTheSamples) {
    const uint32_t code = L().code;
    for (int32_t w : {96, 480, 1920}) {
        const int32_t h = 6;
        RawVideoFormat f{};
        ASSERT_TRUE(BuildRawVideoFormat(f, w, h, code, 0, 0));
        EXPECT_EQ(MinFrameBytes(code, w, h), FrameBytes(f)) << w;
        EXPECT_EQ(MinLineBytes(code, w, h), uint64_t(f.lineBytes)) << w;
        EXPECT_TRUE(LineBytesFitLayout(code, w, h, f.lineBytes));
        EXPECT_TRUE(LineBytesFitLayout(code, w, h, -f.lineBytes));
        EXPECT_FALSE(LineBytesFitLayout(code, w, h, f.lineBytes - 1));
        FrameExtent e;
        ASSERT_TRUE(GetFrameExtent(code, w, h, f.lineBytes, e));
        EXPECT_EQ(e.frameBytes, FrameBytes(f));
        const PlaneExtent& last = e.planes[e.planeCount - 1];
        EXPECT_LE(last.offset + last.size, e.frameBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryLayout, ::testing::Range(0, kLayoutCount),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return std::string(LayoutCatalogue()[p.param].name);
                         });

// Unpacks the first group of plane 0 from given bytes: component and pixel of every slot.
struct Unpacked {
    C component;
    int pixel;
    uint32_t value;
};
std::vector<Unpacked> Unpack(uint32_t code, int plane, const std::vector<uint8_t>& bytes) {
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
    const PlaneDesc& d = l.planes[plane];
    std::vector<Unpacked> out;
    for (int s = 0; s < d.slotCount; ++s)
        out.push_back({d.sampleSlots[s].component, d.sampleSlots[s].pixel,
                       ReadSample(bytes.data(), d, l.byteOrder, d.sampleSlots[s])});
    return out;
}

uint32_t Find(const std::vector<Unpacked>& u, C c, int pixel) {
    for (const Unpacked& x : u)
        if (x.component == c && x.pixel == pixel) return x.value;
    ADD_FAILURE() << "no sample";
    return 0;
}

TEST(FrameMemory, PackedByteOrders) {
    const std::vector<uint8_t> bytes = {0x10, 0x20, 0x30, 0x40};
    auto yuy2 = Unpack(kLayoutYUY2, 0, bytes);
    EXPECT_EQ(Find(yuy2, C::Y, 0), 0x10u);
    EXPECT_EQ(Find(yuy2, C::Cb, 0), 0x20u);
    EXPECT_EQ(Find(yuy2, C::Y, 1), 0x30u);
    EXPECT_EQ(Find(yuy2, C::Cr, 0), 0x40u);
    auto uyvy = Unpack(kLayoutUYVY, 0, bytes);
    EXPECT_EQ(Find(uyvy, C::Cb, 0), 0x10u);
    EXPECT_EQ(Find(uyvy, C::Y, 0), 0x20u);
    EXPECT_EQ(Find(uyvy, C::Cr, 0), 0x30u);
    EXPECT_EQ(Find(uyvy, C::Y, 1), 0x40u);
    auto vyuy = Unpack(kLayoutVYUY, 0, bytes);
    EXPECT_EQ(Find(vyuy, C::Cr, 0), 0x10u);
    EXPECT_EQ(Find(vyuy, C::Cb, 0), 0x30u);
    auto yvyu = Unpack(kLayoutYVYU, 0, bytes);
    EXPECT_EQ(Find(yvyu, C::Y, 0), 0x10u);
    EXPECT_EQ(Find(yvyu, C::Cr, 0), 0x20u);
    EXPECT_EQ(Find(yvyu, C::Y, 1), 0x30u);
    EXPECT_EQ(Find(yvyu, C::Cb, 0), 0x40u);
    auto vuya = Unpack(kLayoutVUYA, 0, bytes);
    EXPECT_EQ(Find(vuya, C::Cr, 0), 0x10u);
    EXPECT_EQ(Find(vuya, C::Cb, 0), 0x20u);
    EXPECT_EQ(Find(vuya, C::Y, 0), 0x30u);
    EXPECT_EQ(Find(vuya, C::A, 0), 0x40u);
    auto ayuv = Unpack(kLayoutAYUV, 0, bytes);
    EXPECT_EQ(Find(ayuv, C::A, 0), 0x10u);
    EXPECT_EQ(Find(ayuv, C::Y, 0), 0x20u);
    EXPECT_EQ(Find(ayuv, C::Cb, 0), 0x30u);
    EXPECT_EQ(Find(ayuv, C::Cr, 0), 0x40u);
    auto argb = Unpack(kLayoutARGB, 0, bytes);
    EXPECT_EQ(Find(argb, C::A, 0), 0x10u);
    EXPECT_EQ(Find(argb, C::B, 0), 0x40u);
    auto bgr4 = Unpack(kLayoutBGR4, 0, bytes);
    EXPECT_EQ(Find(bgr4, C::B, 0), 0x10u);
    EXPECT_EQ(Find(bgr4, C::R, 0), 0x30u);
    auto rgb4 = Unpack(kLayoutRGB4, 0, bytes);
    EXPECT_EQ(Find(rgb4, C::R, 0), 0x10u);
}

// 8-bit semi-planar layouts: a byte Y' plane, then byte pairs whose first byte is Cb (NV12,
// NV16, NV24) or Cr (NV21, NV61, NV42), one pair per 2 pixels (4:2:x) or per pixel (4:4:4).
TEST(FrameMemory, EightBitChromaPairs) {
    struct Case {
        uint32_t code;
        C first, second;
        int groupPixels, heightDivisor;
    };
    for (const Case& c :
         {Case{kLayoutNV12, C::Cb, C::Cr, 2, 2}, Case{kLayoutNV21, C::Cr, C::Cb, 2, 2},
          Case{kLayoutNV16, C::Cb, C::Cr, 2, 1}, Case{kLayoutNV61, C::Cr, C::Cb, 2, 1},
          Case{kLayoutNV24, C::Cb, C::Cr, 1, 1}, Case{kLayoutNV42, C::Cr, C::Cb, 1, 1}}) {
        SCOPED_TRACE(LayoutName(c.code));
        const FrameMemoryLayout& l = *FindFrameMemoryLayout(c.code);
        EXPECT_EQ(l.arrangement, Arrangement::SemiPlanar);
        ASSERT_EQ(l.planeCount, 2);
        EXPECT_EQ(Find(Unpack(c.code, 0, {0x5A}), C::Y, 0), 0x5Au);
        const auto u = Unpack(c.code, 1, {0x11, 0x22});
        EXPECT_EQ(Find(u, c.first, 0), 0x11u);
        EXPECT_EQ(Find(u, c.second, 0), 0x22u);
        EXPECT_EQ(l.planes[1].groupPixels, c.groupPixels);
        EXPECT_EQ(l.planes[1].heightDivisor, c.heightDivisor);
    }
}

TEST(FrameMemory, SixteenBitWordsAndBitFields) {
    // Y210: u16 LE with the 10 significant bits at the top.
    const std::vector<uint8_t> y210 = {0xC0, 0xFF, 0x40, 0x80, 0, 0, 0, 0};
    auto u = Unpack(kLayoutY210, 0, y210);
    EXPECT_EQ(Find(u, C::Y, 0), 0x3FFu);
    EXPECT_EQ(Find(u, C::Cb, 0), 0x201u);
    // v216: Cb, Y'0, Cr, Y'1 as full u16 LE.
    const std::vector<uint8_t> v216 = {0x34, 0x12, 0x78, 0x56, 0, 0, 0, 0};
    u = Unpack(kLayoutV216, 0, v216);
    EXPECT_EQ(Find(u, C::Cb, 0), 0x1234u);
    EXPECT_EQ(Find(u, C::Y, 0), 0x5678u);
    // Big-endian grey: bytes 12 FF are 0x12FF; little-endian the other way round.
    EXPECT_EQ(Find(Unpack(kLayoutGRAYBE16, 0, {0x12, 0xFF}), C::Grey, 0), 0x12FFu);
    EXPECT_EQ(Find(Unpack(kLayoutGRAYLE16, 0, {0x12, 0xFF}), C::Grey, 0), 0xFF12u);
    // BE 16-bit R'G'B' triplets and quads keep R', G', B' order.
    u = Unpack(kLayoutRGB161616, 0, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    EXPECT_EQ(Find(u, C::R, 0), 0x0102u);
    EXPECT_EQ(Find(u, C::B, 0), 0x0506u);
    u = Unpack(kLayoutBGRA16161616, 0, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    EXPECT_EQ(Find(u, C::R, 0), 0x0201u);
    EXPECT_EQ(Find(u, C::A, 0), 0x0807u);
    // R555 and R565 bit fields.
    u = Unpack(kLayoutR555, 0, {0x00, 0x7C});  // 0x7C00: all red
    EXPECT_EQ(Find(u, C::R, 0), 31u);
    EXPECT_EQ(Find(u, C::G, 0), 0u);
    u = Unpack(kLayoutR565, 0, {0xE0, 0x07});  // 0x07E0: all green
    EXPECT_EQ(Find(u, C::G, 0), 63u);
    EXPECT_EQ(Find(u, C::R, 0), 0u);
    EXPECT_EQ(Find(u, C::B, 0), 0u);
}

TEST(FrameMemory, V210WordsHoldThreeSamplesEach) {
    // Word w holds samples 3w, 3w+1, 3w+2 of the sequence Cb0 Y0 Cr0 Y1 Cb2 Y2 Cr2 Y3 Cb4 Y4 Cr4
    // Y5.
    std::vector<uint8_t> block(16);
    for (uint32_t w = 0; w < 4; ++w) {
        const uint32_t word = (3 * w + 1) | (3 * w + 2) << 10 | (3 * w + 3) << 20 | 0xC0000000u;
        std::memcpy(&block[4 * w], &word, 4);
    }
    const auto u = Unpack(kLayoutV210, 0, block);
    const std::pair<C, int> order[12] = {{C::Cb, 0}, {C::Y, 0}, {C::Cr, 0}, {C::Y, 1},
                                         {C::Cb, 2}, {C::Y, 2}, {C::Cr, 2}, {C::Y, 3},
                                         {C::Cb, 4}, {C::Y, 4}, {C::Cr, 4}, {C::Y, 5}};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(Find(u, order[i].first, order[i].second), uint32_t(i + 1)) << i;
}

TEST(FrameMemory, WriteSampleTouchesOnlyItsBits) {
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(kLayoutV210);
    std::vector<uint8_t> block(16, 0xFF);
    WriteSample(block.data(), l.planes[0], l.byteOrder, l.planes[0].sampleSlots[4], 0);  // Cb2
    uint32_t word;
    std::memcpy(&word, &block[4], 4);
    EXPECT_EQ(word, 0xFFFFFFFFu & ~(0x3FFu << 10));
    const FrameMemoryLayout& be = *FindFrameMemoryLayout(kLayoutI420BE16);
    std::vector<uint8_t> two(2, 0);
    WriteSample(two.data(), be.planes[0], be.byteOrder, be.planes[0].sampleSlots[0], 0xABCD);
    EXPECT_EQ(two[0], 0xAB);
    EXPECT_EQ(two[1], 0xCD);
}

struct PlaneOrder {
    uint32_t code;
    C components[3];
};
class PlaneOrderTest : public ::testing::TestWithParam<PlaneOrder> {};
TEST_P(PlaneOrderTest, PlanesInStoredOrder) {
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(GetParam().code);
    ASSERT_EQ(l.planeCount, 3);
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(l.planes[p].sampleSlots[0].component, GetParam().components[p]);
}
INSTANTIATE_TEST_SUITE_P(Planar, PlaneOrderTest,
                         ::testing::Values(PlaneOrder{kLayoutYV12, {C::Y, C::Cr, C::Cb}},
                                           PlaneOrder{kLayoutI420, {C::Y, C::Cb, C::Cr}},
                                           PlaneOrder{kLayoutI420LE16, {C::Y, C::Cb, C::Cr}},
                                           PlaneOrder{kLayoutYV16, {C::Y, C::Cr, C::Cb}},
                                           PlaneOrder{kLayoutYV24, {C::Y, C::Cr, C::Cb}},
                                           PlaneOrder{kLayoutBGR444P, {C::R, C::G, C::B}},
                                           PlaneOrder{kLayoutRGB444P, {C::R, C::G, C::B}}));

struct ExtentCase {
    const char* what;
    uint32_t code;
    int32_t w, h, pitch;
    uint64_t offsets[3];
    uint64_t pitches[3];
    uint64_t rows[3];
};
class ExtentTest : public ::testing::TestWithParam<ExtentCase> {};
TEST_P(ExtentTest, PlaneOffsetsAndPitches) {
    const ExtentCase c = GetParam();
    FrameExtent e;
    ASSERT_TRUE(GetFrameExtent(c.code, c.w, c.h, c.pitch, e));
    for (int p = 0; p < e.planeCount; ++p) {
        EXPECT_EQ(e.planes[p].offset, c.offsets[p]) << p;
        EXPECT_EQ(e.planes[p].pitch, c.pitches[p]) << p;
        EXPECT_EQ(e.planes[p].rows, c.rows[p]) << p;
    }
}
INSTANTIATE_TEST_SUITE_P(
    Frames, ExtentTest,
    ::testing::Values(
        ExtentCase{"yv12_pal",
                   kLayoutYV12,
                   720,
                   576,
                   1080,
                   {0, 414720, 518400},
                   {720, 360, 360},
                   {576, 288, 288}},
        ExtentCase{
            "p010_hd", kLayoutP010, 1920, 1080, 5760, {0, 4147200}, {3840, 3840}, {1080, 540}},
        ExtentCase{"p216", kLayoutP216, 64, 4, 256, {0, 512}, {128, 128}, {4, 4}},
        ExtentCase{"yv16", kLayoutYV16, 64, 4, 128, {0, 256, 384}, {64, 32, 32}, {4, 4, 4}},
        // Semi-planar 8-bit: an odd width drops the last pair, as I420 drops the last sample.
        ExtentCase{"nv12_odd_width", kLayoutNV12, 5, 4, 7, {0, 20}, {5, 4}, {4, 2}},
        ExtentCase{"nv61", kLayoutNV61, 64, 4, 128, {0, 256}, {64, 64}, {4, 4}},
        ExtentCase{"nv42", kLayoutNV42, 64, 4, 192, {0, 256}, {64, 128}, {4, 4}},
        ExtentCase{"yuy2_padded_bottom_up", kLayoutYUY2, 721, 480, -1448, {0}, {1448}, {480}},
        ExtentCase{"v210_720p", kLayoutV210, 1280, 720, 3456, {0}, {3456}, {720}},
        ExtentCase{"bgr444p", kLayoutBGR444P, 10, 2, 60, {0, 40, 80}, {20, 20, 20}, {2, 2, 2}}),
    [](const ::testing::TestParamInfo<ExtentCase>& p) { return p.param.what; });

struct MinCase {
    const char* what;
    uint32_t code;
    int32_t w, h;
    uint64_t minLine;
};
class MinLineTest : public ::testing::TestWithParam<MinCase> {};
TEST_P(MinLineTest, SmallestPitch) {
    const MinCase c = GetParam();
    EXPECT_EQ(MinLineBytes(c.code, c.w, c.h), c.minLine);
    if (c.minLine == 0) return;
    EXPECT_TRUE(LineBytesFitLayout(c.code, c.w, c.h, int32_t(c.minLine)));
    EXPECT_FALSE(LineBytesFitLayout(c.code, c.w, c.h, int32_t(c.minLine) - 1));
    FrameExtent e;
    EXPECT_FALSE(GetFrameExtent(c.code, c.w, c.h, int32_t(c.minLine) - 1, e));
}
INSTANTIATE_TEST_SUITE_P(
    Pitches, MinLineTest,
    ::testing::Values(MinCase{"yuy2_odd_width_ends_after_the_last_luma", kLayoutYUY2, 721, 480,
                              1442},
                      MinCase{"uyvy_odd_width", kLayoutUYVY, 97, 63, 194},
                      MinCase{"uyvy_one_pixel", kLayoutUYVY, 1, 1, 2},
                      MinCase{"y210_odd_width", kLayoutY210, 97, 2, 388},
                      MinCase{"v210_partial_block", kLayoutV210, 1280, 720, 3424},
                      MinCase{"v210_one_pixel", kLayoutV210, 1, 1, 16},
                      MinCase{"rgb3", kLayoutRGB3, 7, 3, 21},
                      MinCase{"yv12_odd_height", kLayoutYV12, 4, 3, 6},  // 12 + 2 + 2 over 3 rows
                      MinCase{"yv12_single_row", kLayoutYV12, 4, 1, 4},
                      MinCase{"nv21_odd_height", kLayoutNV21, 4, 3, 6},  // as YV12
                      MinCase{"yvyu_odd_width", kLayoutYVYU, 97, 63, 194},
                      MinCase{"unknown_code", 0x00000001, 64, 64, 0},
                      MinCase{"zero_width", kLayoutUYVY, 0, 64, 0},
                      MinCase{"negative_height", kLayoutUYVY, 64, -1, 0}),
    [](const ::testing::TestParamInfo<MinCase>& p) { return p.param.what; });

TEST(FrameMemory, HugeFramesDoNotOverflow) {
    // 2^65 bytes: saturated, not wrapped around to a small number.
    EXPECT_EQ(MinFrameBytes(kLayoutBGRA16161616, INT32_MAX, INT32_MAX), UINT64_MAX);
    EXPECT_EQ(MinFrameBytes(kLayoutBGR444P, INT32_MAX, INT32_MAX), UINT64_MAX);
    EXPECT_EQ(MinFrameBytes(kLayoutBGR444P, 0x6969a759, 0x69696969), UINT64_MAX);
    EXPECT_FALSE(LineBytesFitLayout(kLayoutBGR444P, 0x6969a759, 0x69696969, 0x69696969));
    EXPECT_EQ(MinFrameBytes(kLayoutYV12, 65536, 65536), 65536ull * 65536ull * 3 / 2);
    EXPECT_FALSE(LineBytesFitLayout(kLayoutBGRA16161616, INT32_MAX, 1, INT32_MAX));
    EXPECT_FALSE(LineBytesFitLayout(kLayoutUYVY, 2, 1, INT32_MIN));
    EXPECT_FALSE(LineBytesFitLayout(kLayoutUYVY, 2, 1, 0));
}

}  // namespace
