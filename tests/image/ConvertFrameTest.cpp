// Whole-frame conversion: result codes, known values per layout and flag, the rules for odd
// widths, short pitches and field-wise 4:2:0 heights, kernel sets and thread counts giving the
// same frames, and a round trip through the clip generator for every layout.
#include "ConvertOutput.h"
#include "KernelSweep.h"
#include "clipgen/ClipGen.h"
#include "image/ConvertInternal.h"
#include "image/FrameMemory.h"
#include "image/Kernels.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<SimdLevel> AllLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel l :
         {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2, SimdLevel::AVX512})
        if (int(l) <= int(CpuSimdLevel())) levels.push_back(l);
    return levels;
}

int32_t PitchFor(uint32_t code, int32_t w, int32_t h) { return int32_t(MinLineBytes(code, w, h)); }

// The source frame in an exactly sized heap block, so that ASan sees any read beyond it.
struct Source {
    std::unique_ptr<uint8_t[]> block;
    size_t size;
    explicit Source(const std::vector<uint8_t>& bytes)
        : block(new uint8_t[std::max<size_t>(bytes.size(), 1)]), size(bytes.size()) {
        if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
    }
    const uint8_t* data() const { return block.get(); }
};

bool Convert(const Source& src, uint32_t code, int32_t w, int32_t h, int32_t pitch, uint32_t flags,
             Output& out, const ConvertOptions& opt = {}) {
    return ConvertFrameWith(opt, w, h, flags, code, src.data(), pitch, kLayoutBGR3, out.data(),
                            out.pitch);
}

// Fills every sample of a frame with one value per component, scaled to the slot's width:
// 8-bit values v become v << (bits - 8) (16-bit ones also get 0x80 below, which rounding
// layouts round up and high-byte layouts drop), narrower slots keep their top bits.
std::vector<uint8_t> UniformFrame(uint32_t code, int32_t w, int32_t h, int32_t pitch,
                                  const uint8_t (&values)[8]) {
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
    FrameExtent e;
    EXPECT_TRUE(GetFrameExtent(code, w, h, pitch, e));
    std::vector<uint8_t> frame(size_t(e.frameBytes), 0);
    for (int p = 0; p < l.planeCount; ++p) {
        const PlaneDesc& d = l.planes[p];
        const PlaneExtent& pe = e.planes[p];
        for (uint64_t r = 0; r < pe.rows; ++r) {
            for (uint64_t g = 0; g + d.groupBytes <= pe.rowBytes; g += d.groupBytes) {
                for (int s = 0; s < d.slotCount; ++s) {
                    const SampleSlot& slot = d.sampleSlots[s];
                    if (l.model == ColourModel::Bayer &&
                        &slot != &MosaicSlot(d, int64_t(g / d.groupBytes), int64_t(r)))
                        continue;  // a mosaic: each pixel's colour by its site
                    const uint32_t v = values[int(slot.component)];
                    const uint32_t sample =
                        slot.bits >= 8 ? (v << (slot.bits - 8)) | (slot.bits == 16 ? 0x80u : 0u)
                                       : v >> (8 - slot.bits);
                    WriteSample(frame.data() + pe.offset + r * pe.pitch + g, d, l.byteOrder, slot,
                                sample);
                }
            }
        }
    }
    return frame;
}

// Layouts whose wide samples are rounded (16 bits: (s + 128) >> 8) rather than cut to the high
// byte: the 16-bit planar and interleaved R'G'B' layouts and every wide layout read through the
// frame-memory table.
bool Rounds16(uint32_t code) {
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
    if (l.sampleBits > 8 && LayoutIndex(code) >= LayoutIndex(kLayoutI422)) return true;
    switch (code) {
    case kLayoutI420LE16:
    case kLayoutI420BE16:
    case kLayoutBGR444P:
    case kLayoutRGB444P:
    case kLayoutBGR161616:
    case kLayoutRGB161616:
    case kLayoutBGRA16161616:
    case kLayoutARGB16161616:
    case kLayoutGRAYLE16: return true;
    default: return IsBayerLayout(code);
    }
}

// Component order of the values table: Y, Cb, Cr, R, G, B, A, Grey.
constexpr uint8_t kValues[8] = {81, 90, 240, 200, 96, 32, 77, 0x12};

void Expected(uint32_t code, uint32_t flags, uint8_t* bgr) {
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
    const int bump = (l.sampleBits == 16 && Rounds16(code)) ? 1 : 0;
    auto eff = [&](int i, int limit) { return uint8_t(std::min(kValues[i] + bump, limit)); };
    if (l.model == ColourModel::Grey) {
        bgr[0] = bgr[1] = bgr[2] = eff(7, 255);
        return;
    }
    if (l.model == ColourModel::RGB || l.model == ColourModel::Bayer) {
        const bool studio =
            l.studioRange || ((flags & CONVERT_RGB_STUDIO_RANGE) &&
                              (code == kLayoutBGR3 || code == kLayoutBGR4 || code == kLayoutBGRA));
        const uint8_t r = eff(3, 255), g = eff(4, 255), b = eff(5, 255);
        bgr[0] = studio ? kernels::StudioExpand(b) : b;
        bgr[1] = studio ? kernels::StudioExpand(g) : g;
        bgr[2] = studio ? kernels::StudioExpand(r) : r;
        return;
    }
    const bool limited = Rounds16(code);  // wide Y'CbCr samples are limited to 235 and 240
    const uint8_t y = eff(0, limited ? 235 : 255), cb = eff(1, limited ? 240 : 255),
                  cr = eff(2, limited ? 240 : 255);
    if (code == kLayoutVUYA) {
        // Double-precision path, values worked out by hand for Y' 81, Cb 90, Cr 240.
        if (flags & CONVERT_LUMA_ONLY)
            bgr[0] = bgr[1] = bgr[2] = 76;
        else if (flags & CONVERT_CB_ONLY)
            bgr[1] = bgr[2] = 84, bgr[0] = 51;
        else if (flags & CONVERT_CR_ONLY)
            bgr[0] = bgr[1] = bgr[2] = 255;
        else
            bgr[0] = 0, bgr[1] = 0, bgr[2] = 254;
        return;
    }
    if (flags & CONVERT_LUMA_ONLY)
        bgr[0] = bgr[1] = bgr[2] = kernels::LumaGreyReference(y);
    else if (flags & CONVERT_CB_ONLY)
        bgr[0] = bgr[1] = bgr[2] = kernels::ChromaGreyReference(cb);
    else if (flags & CONVERT_CR_ONLY)
        bgr[0] = bgr[1] = bgr[2] = kernels::ChromaGreyReference(cr);
    else
        kernels::VuyaToBgrReference(cr, cb, y, bgr);
}

TEST(ConvertFrame, ResultCodesAndUntouchedDestination) {
    const std::vector<uint8_t> bytes(16 * 4 * 2, 0x80);
    const Source src(bytes);
    Output out(16, 4);
    const std::vector<uint8_t> before = out.buf;
    EXPECT_FALSE(
        ConvertFrame(16, 4, 0, kLayoutUYVY, src.data(), 32, kLayoutRGB3, out.data(), out.pitch));
    EXPECT_EQ(out.buf, before);
    // An unknown source code converts nothing and says so.
    EXPECT_FALSE(
        ConvertFrame(16, 4, 0, 0x00000001, src.data(), 32, kLayoutBGR3, out.data(), out.pitch));
    EXPECT_EQ(out.buf, before);
    EXPECT_FALSE(
        ConvertFrame(0, 4, 0, kLayoutUYVY, src.data(), 32, kLayoutBGR3, out.data(), out.pitch));
    EXPECT_FALSE(
        ConvertFrame(16, -1, 0, kLayoutUYVY, src.data(), 32, kLayoutBGR3, out.data(), out.pitch));
    EXPECT_FALSE(ConvertFrame(kConvertMaxWidth + 1, 1, 0, kLayoutUYVY, src.data(), 32, kLayoutBGR3,
                              out.data(), out.pitch));
    EXPECT_EQ(out.buf, before);
    EXPECT_TRUE(
        ConvertFrame(16, 4, 0, kLayoutUYVY, src.data(), 32, kLayoutBGR3, out.data(), out.pitch));
    EXPECT_NE(out.buf, before);
    EXPECT_TRUE(out.GuardsIntact());
}

// Every layout, every flag set, every kernel set: a uniform frame gives the expected pixel
// everywhere. Wrong plane order, byte order, sample position or 16-bit rounding changes it.
TEST(ConvertFrame, UniformFramesPerLayoutAndFlag) {
    const uint32_t flagSets[] = {0,
                                 CONVERT_LUMA_ONLY,
                                 CONVERT_CB_ONLY,
                                 CONVERT_CR_ONLY,
                                 CONVERT_LUMA_ONLY | CONVERT_CR_ONLY,
                                 CONVERT_CB_ONLY | CONVERT_CR_ONLY,
                                 CONVERT_INTERLACED,
                                 CONVERT_RGB_STUDIO_RANGE,
                                 0x004 | 0x008 | 0x010};
    const int32_t w = 50, h = 8;  // 48 pixels for v210 would be whole blocks; 50 is not
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const uint32_t code = FrameMemoryLayouts()[i].code;
        const int32_t width = code == kLayoutV210 ? 48 : w;
        const int32_t pitch = PitchFor(code, width, h);
        const Source src(UniformFrame(code, width, h, pitch, kValues));
        for (uint32_t flags : flagSets) {
            uint8_t want[3];
            Expected(code, flags, want);
            for (SimdLevel level : AllLevels()) {
                const KernelTable t = MakeKernelTable(level);
                ConvertOptions opt;
                opt.kernels = &t;
                Output out(width, h);
                ASSERT_TRUE(Convert(src, code, width, h, pitch, flags, out, opt));
                ASSERT_TRUE(out.GuardsIntact()) << LayoutName(code);
                const bool fixedPoint = level == SimdLevel::Scalar;
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < width; ++x) {
                        for (int c = 0; c < 3; ++c) {
                            const int tol = (fixedPoint && c == 1) ? 1 : 0;
                            ASSERT_LE(std::abs(int(out.Px(x, y)[c]) - int(want[c])), tol)
                                << LayoutName(code) << " flags " << flags << " "
                                << SimdLevelName(level) << " pixel " << x << "," << y << " byte "
                                << c;
                        }
                    }
                }
            }
        }
    }
}

// Small frames built byte by byte.
Output ConvertBytes(uint32_t code, int32_t w, int32_t h, int32_t pitch, uint32_t flags,
                    const std::vector<uint8_t>& bytes) {
    const Source src(bytes);
    Output out(w, h);
    EXPECT_TRUE(Convert(src, code, w, h, pitch, flags, out)) << LayoutName(code);
    EXPECT_TRUE(out.GuardsIntact());
    return out;
}

std::vector<uint8_t> Px(const Output& o, int x, int y = 0) { return {o.Px(x, y), o.Px(x, y) + 3}; }
using Bgr = std::vector<uint8_t>;

TEST(ConvertFrame, KnownValuesFromTheDefinitions) {
    // UYVY and VUYA: black, white and a saturated red.
    EXPECT_EQ(Px(ConvertBytes(kLayoutUYVY, 2, 1, 4, 0, {128, 16, 128, 16}), 0), (Bgr{0, 0, 0}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutUYVY, 2, 1, 4, 0, {128, 235, 128, 235}), 1),
              (Bgr{255, 255, 255}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutUYVY, 2, 1, 4, 0, {90, 81, 240, 81}), 0), (Bgr{0, 0, 254}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutVUYA, 1, 1, 4, 0, {240, 90, 81, 0}), 0), (Bgr{0, 0, 254}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutVUYA, 1, 1, 4, 0, {128, 128, 235, 0}), 0),
              (Bgr{255, 255, 255}));
    // Luma alone: Y' 126 -> 128, 10 -> 0, 250 -> 255.
    EXPECT_EQ(Px(ConvertBytes(kLayoutUYVY, 2, 1, 4, CONVERT_LUMA_ONLY, {128, 126, 128, 10}), 0),
              (Bgr{128, 128, 128}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutUYVY, 2, 1, 4, CONVERT_LUMA_ONLY, {128, 126, 128, 10}), 1),
              (Bgr{0, 0, 0}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutVUYA, 1, 1, 4, CONVERT_LUMA_ONLY, {0, 0, 250, 0}), 0),
              (Bgr{255, 255, 255}));
    // Cb alone on VUYA: 128 gives R' = G' = 128 and B' = 127.
    EXPECT_EQ(Px(ConvertBytes(kLayoutVUYA, 1, 1, 4, CONVERT_CB_ONLY, {128, 128, 16, 0}), 0),
              (Bgr{127, 128, 128}));
    // Flags 0x080 and 0x200 together show Y' only; AYUV with Cr alone shows Cr.
    EXPECT_EQ(Px(ConvertBytes(kLayoutAYUV, 1, 1, 4, CONVERT_LUMA_ONLY | CONVERT_CR_ONLY,
                              {0, 126, 16, 240}),
                 0),
              (Bgr{128, 128, 128}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutAYUV, 1, 1, 4, CONVERT_CR_ONLY, {0, 126, 16, 240}), 0),
              (Bgr{255, 255, 255}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutAYUV, 1, 1, 4, CONVERT_CR_ONLY, {0, 126, 240, 16}), 0),
              (Bgr{0, 0, 0}));
    // R'G'B' studio range and copies.
    const std::vector<uint8_t> studioIn = {0, 16, 126, 235, 255, 126};
    const Output r24c = ConvertBytes(kLayoutR24C, 2, 1, 6, 0, studioIn);
    EXPECT_EQ(Bgr(r24c.Px(0, 0), r24c.Px(0, 0) + 6), (Bgr{0, 0, 128, 255, 255, 128}));
    const Output bgr3s = ConvertBytes(kLayoutBGR3, 2, 1, 6, CONVERT_RGB_STUDIO_RANGE, studioIn);
    EXPECT_EQ(Bgr(bgr3s.Px(0, 0), bgr3s.Px(0, 0) + 6), (Bgr{0, 0, 128, 255, 255, 128}));
    const Output bgr3 = ConvertBytes(kLayoutBGR3, 2, 1, 6, 0, studioIn);
    EXPECT_EQ(Bgr(bgr3.Px(0, 0), bgr3.Px(0, 0) + 6), studioIn);
    EXPECT_EQ(Px(ConvertBytes(kLayoutR32C, 1, 1, 4, 0, {16, 126, 235, 7}), 0), (Bgr{0, 128, 255}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutRGB3, 1, 1, 3, 0, {1, 2, 3}), 0), (Bgr{3, 2, 1}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutRGB4, 1, 1, 4, 0, {1, 2, 3, 4}), 0), (Bgr{3, 2, 1}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutARGB, 1, 1, 4, 0, {4, 1, 2, 3}), 0), (Bgr{3, 2, 1}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutBGRA, 1, 1, 4, 0, {1, 2, 3, 4}), 0), (Bgr{1, 2, 3}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutR555, 1, 1, 2, 0, {0xFF, 0x7F}), 0), (Bgr{248, 248, 248}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutR565, 1, 1, 2, 0, {0x00, 0xF8}), 0), (Bgr{0, 0, 248}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutR565, 1, 1, 2, 0, {0xE0, 0x07}), 0), (Bgr{0, 252, 0}));
    // 16-bit: rounding and limits.
    EXPECT_EQ(Px(ConvertBytes(kLayoutGRAYLE16, 1, 1, 2, 0, {0xFF, 0xFF}), 0), (Bgr{255, 255, 255}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutGRAYLE16, 1, 1, 2, 0, {0x80, 0x11}), 0),
              (Bgr{0x12, 0x12, 0x12}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutGRAYBE16, 1, 1, 2, 0, {0x12, 0xFF}), 0),
              (Bgr{0x12, 0x12, 0x12}));
    EXPECT_EQ(
        Px(ConvertBytes(kLayoutRGB161616, 1, 1, 6, 0, {0x10, 0x80, 0x20, 0x7F, 0xFF, 0xFF}), 0),
        (Bgr{255, 0x20, 0x11}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutARGB16161616, 1, 1, 8, 0,
                              {0x10, 0x80, 0x20, 0x7F, 0x30, 0, 0xFF, 0xFF}),
                 0),
              (Bgr{0x30, 0x20, 0x11}));
    EXPECT_EQ(Px(ConvertBytes(kLayoutGRAY, 1, 1, 1, 0, {0x42}), 0), (Bgr{0x42, 0x42, 0x42}));
}

// "I420LE16"/"I420BE16": 0xFFFF luma becomes 235, chroma 240; shown through the grey flags.
TEST(ConvertFrame, Reduced16Bit420Limits) {
    for (uint32_t code : {kLayoutI420LE16, kLayoutI420BE16}) {
        // 2 x 2: four luma samples, one Cb, one Cr.
        std::vector<uint8_t> f(12, 0xFF);
        // Luma 0x7F80 rounds up to 0x80 = 128 (truncation would give 127): grey 130 vs 129.
        const uint8_t hi = 0x7F, lo = 0x80;
        if (code == kLayoutI420LE16)
            f[0] = lo, f[1] = hi;
        else
            f[0] = hi, f[1] = lo;
        EXPECT_EQ(Px(ConvertBytes(code, 2, 2, 6, CONVERT_LUMA_ONLY, f), 0), (Bgr{130, 130, 130}));
        // Luma 0xFFFF -> 235 -> 255; a luma of 236 or more would be refused by the limit, seen
        // through full colour: Y' 235 with Cb = Cr = 240 gives a definite colour.
        uint8_t want[3];
        kernels::VuyaToBgrReference(240, 240, 235, want);
        EXPECT_EQ(Px(ConvertBytes(code, 2, 2, 6, 0, f), 1), (Bgr{want[0], want[1], want[2]}));
    }
}

// 4:2:0 chroma rows: progressive (1, 3) / 4 taps and field-wise taps for H = 8.
TEST(ConvertFrame, ChromaUpsamplingRows) {
    // I420 2 x 8: one chroma column, four chroma rows c0..c3 in the Cb plane; Cr neutral.
    const int c[4] = {40, 100, 200, 120};
    std::vector<uint8_t> f(16, 128);
    for (int j = 0; j < 4; ++j) f.push_back(uint8_t(c[j]));
    for (int j = 0; j < 4; ++j) f.push_back(128);
    auto grey = [](int v) { return kernels::ChromaGreyReference(uint8_t(std::clamp(v, 16, 240))); };
    const Output prog = ConvertBytes(kLayoutI420, 2, 8, 3, CONVERT_CB_ONLY, f);
    for (int r = 0; r < 8; ++r) {
        const int j = r / 2;
        const int other = (r & 1) ? std::min(j + 1, 3) : std::max(j - 1, 0);
        EXPECT_EQ(prog.Px(0, r)[0], grey((c[other] + 3 * c[j] + 2) >> 2)) << "row " << r;
    }
    const Output field =
        ConvertBytes(kLayoutI420, 2, 8, 3, CONVERT_CB_ONLY | CONVERT_INTERLACED, f);
    // T = c0, c2; B = c1, c3.
    const int want[8] = {
        (c[0] + 7 * c[0] + 4) >> 3,      // row 0: T(0), T(0)
        (5 * c[1] + 3 * c[1] + 4) >> 3,  // row 1: B(0), B(0)
        (3 * c[2] + 5 * c[0] + 4) >> 3,  // row 2: T(1), T(0)
        (c[3] + 7 * c[1] + 4) >> 3,      // row 3: B(1), B(0)
        (c[0] + 7 * c[2] + 4) >> 3,      // row 4: T(0), T(1)
        (5 * c[1] + 3 * c[3] + 4) >> 3,  // row 5: 5/8 of the earlier B(0), 3/8 of B(1)
        (3 * c[2] + 5 * c[2] + 4) >> 3,  // row 6: T(1), T(1)
        (c[3] + 7 * c[3] + 4) >> 3,      // row 7
    };
    for (int r = 0; r < 8; ++r) EXPECT_EQ(field.Px(0, r)[0], grey(want[r])) << "row " << r;

    // H = 6 interlaced: rows 0..3 field-wise, rows 4 and 5 by the progressive rule.
    std::vector<uint8_t> g(12, 128);
    for (int j = 0; j < 3; ++j) g.push_back(uint8_t(c[j]));
    for (int j = 0; j < 3; ++j) g.push_back(128);
    const Output six = ConvertBytes(kLayoutI420, 2, 6, 3, CONVERT_CB_ONLY | CONVERT_INTERLACED, g);
    EXPECT_EQ(six.Px(0, 0)[0], grey((c[0] + 7 * c[0] + 4) >> 3));
    EXPECT_EQ(six.Px(0, 4)[0], grey((c[1] + 3 * c[2] + 2) >> 2));
    EXPECT_EQ(six.Px(0, 5)[0], grey((c[2] + 3 * c[2] + 2) >> 2));
}

// Separately stored fields: each field upsamples its own chroma rows with the progressive taps.
// Heights 8 (two chroma rows per field), 6 (the second field has one chroma row for three luma
// rows) and 2 (the second field has none and takes the first field's).
TEST(ConvertFrame, ChromaUpsamplingWithinSeparatedFields) {
    const int c[4] = {40, 100, 200, 120};
    auto grey = [](int v) { return kernels::ChromaGreyReference(uint8_t(std::clamp(v, 16, 240))); };
    auto taps = [&](int other, int j) { return (c[other] + 3 * c[j] + 2) >> 2; };
    struct Case {
        int height;
        std::vector<int> want;  // expected Cb per row
    };
    const Case cases[] = {
        {8,
         {taps(0, 0), taps(1, 0), taps(0, 1), taps(1, 1),    // first field: c0, c1
          taps(2, 2), taps(3, 2), taps(2, 3), taps(3, 3)}},  // second field: c2, c3
        {6, {taps(0, 0), taps(1, 0), taps(0, 1), c[2], c[2], c[2]}},
        {2, {c[0], c[0]}},
    };
    for (const Case& k : cases) {
        const int rows = k.height / 2;
        std::vector<uint8_t> f(size_t(2 * k.height), 128);
        for (int j = 0; j < rows; ++j) f.push_back(uint8_t(c[j]));
        for (int j = 0; j < rows; ++j) f.push_back(128);
        for (const ConvertFlags flags :
             {CONVERT_FIELDS_SEPARATED, CONVERT_FIELDS_SEPARATED | CONVERT_INTERLACED}) {
            const Output out =
                ConvertBytes(kLayoutI420, 2, k.height, 3, CONVERT_CB_ONLY | flags, f);
            for (int r = 0; r < k.height; ++r)
                EXPECT_EQ(out.Px(0, r)[0], grey(k.want[size_t(r)]))
                    << "height " << k.height << ", row " << r;
        }
    }
}

// Odd widths: every pixel is written; the last pixel of a packed 4:2:2 row takes its own pair's
// chroma, of a planar row the last chroma column.
TEST(ConvertFrame, OddWidthsFillEveryPixel) {
    // YUY2 3 x 1 with pitch 8: pairs (Y 81, Cb 90, Y 81, Cr 240) and (Y 81, Cb 128, -, Cr 128).
    const Output yuy2 = ConvertBytes(kLayoutYUY2, 3, 1, 8, 0, {81, 90, 81, 240, 235, 128, 0, 128});
    EXPECT_EQ(Px(yuy2, 0), (Bgr{0, 0, 254}));
    EXPECT_EQ(Px(yuy2, 2), (Bgr{255, 255, 255}));
    // I420 3 x 2: chroma planes one column wide; pixel 2 uses that column.
    const std::vector<uint8_t> i420 = {235, 235, 235, 235, 235, 235, 90, 240};
    const Output o = ConvertBytes(kLayoutI420, 3, 2, 4, 0, i420);
    uint8_t want[3];
    kernels::VuyaToBgrReference(240, 90, 235, want);
    EXPECT_EQ(Px(o, 2, 1), (Bgr{want[0], want[1], want[2]}));
    EXPECT_EQ(Px(o, 0, 0), (Bgr{want[0], want[1], want[2]}));
    // W = 1: no chroma at all, neutral grey.
    const Output one = ConvertBytes(kLayoutI420, 1, 2, 1, 0, {126, 126});
    EXPECT_EQ(Px(one, 0, 1), (Bgr{128, 128, 128}));
    // I420 722 and YUY2 1918 wide: every column converted (a uniform white frame).
    for (auto [code, w] :
         {std::pair<uint32_t, int>{kLayoutI420, 722}, {kLayoutYUY2, 1918}, {kLayoutYV16, 1001}}) {
        const uint8_t white[8] = {235, 128, 128, 0, 0, 0, 0, 0};
        const int32_t pitch = PitchFor(code, w, 2);
        const Output out =
            ConvertBytes(code, w, 2, pitch, 0, UniformFrame(code, w, 2, pitch, white));
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(Px(out, x, 1), (Bgr{255, 255, 255})) << LayoutName(code) << " " << x;
    }
}

// Packed 4:2:2 of an odd width at its bytes-per-pixel pitch (W x 2 x word bytes): the row ends
// after the last pixel's luma, and that pixel takes the chroma of the pair before it. The frame
// is an exact heap block, so a read past the last row's end is caught.
TEST(ConvertFrame, OddWidthPairsEndAfterTheLastLuma) {
    std::mt19937 rng(11);
    for (uint32_t code :
         {kLayoutUYVY, kLayoutYUY2, kLayoutVYUY, kLayoutY210, kLayoutY216, kLayoutV216}) {
        const PlaneDesc& d = FindFrameMemoryLayout(code)->planes[0];
        const int32_t w = 97, h = 3, pitch = w * 2 * d.wordBytes;
        ASSERT_EQ(MinLineBytes(code, w, h), uint64_t(pitch)) << LayoutName(code);
        std::vector<uint8_t> bytes(size_t(pitch) * size_t(h));
        for (auto& b : bytes) b = uint8_t(rng());
        const Output out = ConvertBytes(code, w, h, pitch, 0, bytes);
        for (int r = 0; r < h; ++r) {
            // The reference: a two-pixel pair with pair 47's chroma and the last luma twice.
            const uint8_t* last =
                bytes.data() + size_t(r) * size_t(pitch) + 48 * size_t(d.groupBytes);
            std::vector<uint8_t> pair(last - d.groupBytes, last);
            for (int s = 0; s < d.slotCount; ++s) {
                const SampleSlot& slot = d.sampleSlots[s];
                if (slot.component != Component::Y) continue;
                const SampleSlot& y0 = slot.pixel == 0 ? slot : d.sampleSlots[(s + 2) % 4];
                ASSERT_LT(y0.word, 2);  // the unpaired pixel's luma lies in the row
                std::memcpy(pair.data() + slot.word * d.wordBytes, last + y0.word * d.wordBytes,
                            d.wordBytes);
            }
            const Output ref = ConvertBytes(code, 2, 1, int32_t(pair.size()), 0, pair);
            EXPECT_EQ(Px(out, 96, r), Px(ref, 0)) << LayoutName(code) << " row " << r;
        }
    }
    // W = 1: no pair before it, neutral chroma (the Cb byte in the row is not used).
    EXPECT_EQ(Px(ConvertBytes(kLayoutUYVY, 1, 1, 2, 0, {200, 100}), 0),
              Px(ConvertBytes(kLayoutUYVY, 2, 1, 4, 0, {128, 100, 128, 100}), 0));
    EXPECT_EQ(Px(ConvertBytes(kLayoutY210, 1, 1, 4, 0, {0, 200, 0, 100}), 0),
              Px(ConvertBytes(kLayoutUYVY, 2, 1, 4, 0, {128, 200, 128, 200}), 0));
}

// A pitch too short for the row: the row's own bytes, then zeros; nothing outside the frame.
TEST(ConvertFrame, ShortPitchReadsZerosNotTheNextRow) {
    // BGR3 4 x 2 at pitch 6: each row holds two pixels' bytes.
    const std::vector<uint8_t> f = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const Output o = ConvertBytes(kLayoutBGR3, 4, 2, 6, 0, f);
    EXPECT_EQ(Bgr(o.Px(0, 0), o.Px(0, 0) + 12), (Bgr{1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bgr(o.Px(0, 1), o.Px(0, 1) + 12), (Bgr{7, 8, 9, 10, 11, 12, 0, 0, 0, 0, 0, 0}));
    // Planar frame shorter than its planes: the missing chroma reads as 0.
    const Output p = ConvertBytes(kLayoutI420, 2, 2, 2, CONVERT_CB_ONLY, {126, 126, 126, 126});
    EXPECT_EQ(Px(p, 0, 0), (Bgr{0, 0, 0}));  // Cb 0 -> clamped 16 by upsampling -> grey 0
}

// Each kernel set is its own test run: random frames of every layout at every width of the
// sweep, odd heights, the smallest pitch and a padded one, in exactly sized blocks, give the
// reference table's frame byte for byte (the scalar set's fixed-point Y'CbCr matrix within one
// step), with nothing written outside 3 x W bytes of each row. Every width converts in full
// colour at both pitches, and at the smallest pitch in one of the other pictures too (grey,
// fields, studio range, other matrices).
class KernelSetFrames : public testing::TestWithParam<SimdLevel> {};

TEST_P(KernelSetFrames, EveryLayoutAndWidthMatchesTheReference) {
    const SimdLevel level = GetParam();
    SWEEP_SKIP_UNLESS_CPU_HAS(level);
    const KernelTable reference = sweep::ReferenceTable();
    const KernelTable t = MakeKernelTable(level);
    const uint32_t otherFlags[] = {CONVERT_INTERLACED,
                                   CONVERT_LUMA_ONLY,
                                   CONVERT_CB_ONLY | CONVERT_FIELDS_SEPARATED,
                                   CONVERT_CR_ONLY | CONVERT_INTERLACED,
                                   CONVERT_RGB_STUDIO_RANGE,
                                   CONVERT_MATRIX_709,
                                   CONVERT_MATRIX_2020 | CONVERT_FULL_RANGE | CONVERT_INTERLACED};
    const int heights[] = {1, 3, 5};
    std::mt19937 rng(7);
    int frames = 0;
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const FrameMemoryLayout& l = FrameMemoryLayouts()[i];
        const int tolerance = level == SimdLevel::Scalar && l.model == ColourModel::YCbCr ? 1 : 0;
        std::vector<int> wrong, outside;
        for (int w : sweep::Widths()) {
            const int32_t h = heights[size_t(w) % std::size(heights)];
            const uint32_t other = otherFlags[size_t(w) % std::size(otherFlags)];
            const int32_t minPitch = PitchFor(l.code, w, h);
            bool bad = false, spilled = false;
            for (const int32_t pitch : {minPitch, minPitch + 5}) {
                std::vector<uint8_t> bytes(size_t(pitch) * size_t(h));
                for (auto& b : bytes) b = uint8_t(rng());
                const Source src(bytes);
                // The padded pitch in full colour alone: the pitch only moves where rows start.
                std::vector<uint32_t> flagSets = {0u};
                if (pitch == minPitch) flagSets.push_back(other);
                for (uint32_t flags : flagSets) {
                    ConvertOptions refOpt, opt;
                    refOpt.kernels = &reference;
                    opt.kernels = &t;
                    Output ref(w, h), out(w, h);
                    ASSERT_TRUE(Convert(src, l.code, w, h, pitch, flags, ref, refOpt));
                    ASSERT_TRUE(Convert(src, l.code, w, h, pitch, flags, out, opt));
                    ++frames;
                    spilled |= !out.GuardsIntact();
                    const std::vector<uint8_t> a = out.Pixels(), b = ref.Pixels();
                    for (size_t k = 0; k < a.size() && !bad; ++k)
                        bad = std::abs(int(a[k]) - int(b[k])) > tolerance;
                }
            }
            if (bad) wrong.push_back(w);
            if (spilled) outside.push_back(w);
        }
        EXPECT_TRUE(wrong.empty())
            << LayoutName(l.code) << " " << SimdLevelName(level)
            << " differs from the reference at " << sweep::FirstWidths(wrong);
        EXPECT_TRUE(outside.empty())
            << LayoutName(l.code) << " " << SimdLevelName(level) << " wrote outside its rows at "
            << sweep::FirstWidths(outside);
    }
    RecordProperty("frames", frames);
    std::printf("%s: %d frames\n", SimdLevelName(level), frames);
}

INSTANTIATE_TEST_SUITE_P(ConvertFrame, KernelSetFrames, testing::ValuesIn(sweep::AllSets()),
                         sweep::SetName());

// Random frames of every layout: one thread and a team of threads give the same frame.
TEST(ConvertFrame, ThreadCountsAgree) {
    std::mt19937 rng(7);
    const KernelTable sse2 = MakeKernelTable(SimdLevel::SSE2);
    const uint32_t flagSets[] = {0,
                                 CONVERT_INTERLACED,
                                 CONVERT_LUMA_ONLY,
                                 CONVERT_CB_ONLY,
                                 CONVERT_CR_ONLY | CONVERT_INTERLACED,
                                 CONVERT_RGB_STUDIO_RANGE};
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const FrameMemoryLayout& l = FrameMemoryLayouts()[i];
        for (auto [w, h] : {std::pair<int, int>{97, 10}, {48, 6}, {1, 2}, {200, 4}}) {
            int32_t width = w;
            if (l.code == kLayoutV210 && w == 97) width = 96;
            const int32_t pitch = int32_t(MinLineBytes(l.code, width, h)) +
                                  (l.arrangement == Arrangement::Packed ? 5 : 0);
            std::vector<uint8_t> bytes(size_t(pitch) * size_t(h));
            for (auto& b : bytes) b = uint8_t(rng());
            const Source src(bytes);
            for (uint32_t flags : flagSets) {
                ConvertOptions base;
                base.kernels = &sse2;
                base.maxThreads = 1;
                Output ref(width, h);
                ASSERT_TRUE(Convert(src, l.code, width, h, pitch, flags, ref, base));
                ASSERT_TRUE(ref.GuardsIntact());
                ConvertOptions team = base;
                team.maxThreads = 3;
                team.parallelMinPixels = 0;
                team.followLoad = false;  // a real team of three, however busy the machine
                Output par(width, h);
                ASSERT_TRUE(Convert(src, l.code, width, h, pitch, flags, par, team));
                ASSERT_EQ(par.Pixels(), ref.Pixels())
                    << LayoutName(l.code) << " threads, flags " << flags;
                ASSERT_TRUE(par.GuardsIntact());
            }
        }
    }
}

// Every layout through the clip generator: a smooth picture packed in the layout comes back
// within the layout's quantisation (the tolerance of each kind is stated below).
TEST(ConvertFrame, RoundTripThroughTheClipGenerator) {
    const int32_t w = 96, h = 16;
    clipgen::RgbPicture pic;
    pic.width = w;
    pic.height = h;
    pic.rgb.resize(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = pic.At(x, y);
            p[0] = uint8_t(40 + x * 160 / w);
            p[1] = uint8_t(60 + y * 120 / h + x / 4);
            p[2] = uint8_t(200 - x * 100 / w);
        }
    }
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const FrameMemoryLayout& l = FrameMemoryLayouts()[i];
        clipgen::ClipOptions o;
        o.code = l.code;
        o.width = w;
        o.height = h;
        const int32_t pitch = clipgen::ClipLineBytes(o);
        ASSERT_GT(pitch, 0) << LayoutName(l.code);
        std::vector<uint8_t> frame;
        ASSERT_TRUE(
            clipgen::PackPicture(l.code, pic, pitch, clipgen::FieldMode::Progressive, frame))
            << LayoutName(l.code);
        const Source src(frame);
        Output out(w, h);
        ASSERT_TRUE(Convert(src, l.code, w, h, pitch, 0, out));
        int tol = 0;
        if (l.model == ColourModel::YCbCr) {
            // 8-bit rounding of the samples and of the matrix; the vertical 4:2:0 filter on a
            // picture that changes down the rows adds one; wider samples cut to their high
            // byte lose up to one step of each of Y', Cb, Cr (times the matrix gains).
            const bool vertical = l.planeCount > 1 && l.planes[1].heightDivisor == 2;
            tol = l.sampleBits > 8 && !Rounds16(l.code) ? 6 : vertical ? 4 : 3;
            // 4:1:1: the last three pixels of a row repeat the chroma of the fourth-last.
            if (l.planeCount > 1 && l.planes[1].groupPixels == 4) tol = 6;
        } else if (l.sampleBits < 8) {
            tol = 7;  // top bits only
        } else if (l.sampleBits > 8) {
            // Full scale (16 bits: v x 257, 10 bits: v x 1023 / 255) reduces to v + 1 for the
            // upper values by the rounding.
            tol = 1;
        } else if (l.studioRange) {
            tol = 2;
        }
        if (l.model == ColourModel::Bayer) {
            // Bilinear interpolation is exact on the linear parts of this picture; at the first
            // and last row the mirrored neighbours above and below are both the inner row's, so
            // G' at a red or blue site there is off by half of G's step of 7.5 per row.
            tol = 4;
        }
        int worst = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const int want = l.model == ColourModel::Grey ? -1 : pic.At(x, y)[2 - c];
                    if (want < 0) continue;
                    worst = std::max(worst, std::abs(int(out.Px(x, y)[c]) - want));
                }
            }
        }
        if (l.model == ColourModel::Grey) {
            // Grey layouts carry the picture's luma: all three bytes equal.
            for (int x = 0; x < w; ++x)
                EXPECT_TRUE(out.Px(x, 3)[0] == out.Px(x, 3)[1] &&
                            out.Px(x, 3)[1] == out.Px(x, 3)[2]);
        }
        EXPECT_LE(worst, tol) << LayoutName(l.code);
    }
}

}  // namespace
