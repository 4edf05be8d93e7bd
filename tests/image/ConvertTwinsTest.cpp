// Layouts that store the same samples as an older layout in another arrangement (8-bit
// semi-planar NVxx against the planar layouts, YVYU against YUY2, the Cb-first planar rows
// against the Cr-first ones) convert a picture to exactly the same pixels as their twin, for
// every flag set, kernel set and frame shape. Layouts of wider samples do the same against an
// 8-bit twin when each sample is the twin's v scaled to its width, v x 2^(bits-8), plus noise
// below the rounding step and garbage in every bit outside the samples: that checks their
// reduction (rounded, masked) and that they end in the same final steps.
#include "image/ConvertInternal.h"
#include "image/FrameMemory.h"
#include "image/Kernels.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Twin {
    uint32_t code;
    uint32_t twin;
};

constexpr Twin kTwins[] = {
    {kLayoutNV12, kLayoutI420}, {kLayoutNV21, kLayoutYV12}, {kLayoutNV16, kLayoutYV16},
    {kLayoutNV61, kLayoutYV16}, {kLayoutNV24, kLayoutYV24}, {kLayoutNV42, kLayoutYV24},
    {kLayoutYVYU, kLayoutYUY2}, {kLayoutI422, kLayoutYV16}, {kLayoutI444, kLayoutYV24},
    {kLayoutRGBA, kLayoutRGB4}, {kLayoutABGR, kLayoutRGB4},
};

constexpr Twin kWideTwins[] = {
    {kLayoutI420LE10, kLayoutI420},    {kLayoutI420LE12, kLayoutI420},
    {kLayoutI420BE10, kLayoutI420},    {kLayoutI420BE12, kLayoutI420},
    {kLayoutI422LE10, kLayoutI422},    {kLayoutI422LE12, kLayoutI422},
    {kLayoutI422LE16, kLayoutI422},    {kLayoutI422BE10, kLayoutI422},
    {kLayoutI422BE12, kLayoutI422},    {kLayoutI422BE16, kLayoutI422},
    {kLayoutI444LE10, kLayoutI444},    {kLayoutI444LE12, kLayoutI444},
    {kLayoutI444LE16, kLayoutI444},    {kLayoutI444BE10, kLayoutI444},
    {kLayoutI444BE12, kLayoutI444},    {kLayoutI444BE16, kLayoutI444},
    {kLayoutP410, kLayoutNV24},        {kLayoutP416, kLayoutNV24},
    {kLayoutGRAYLE10, kLayoutGRAY},    {kLayoutGRAYLE12, kLayoutGRAY},
    {kLayoutY410, kLayoutI444},        {kLayoutV410, kLayoutI444},
    {kLayoutR210, kLayoutRGB3},        {kLayoutX2R10G10B10, kLayoutRGB3},
    {kLayoutX2B10G10R10, kLayoutRGB3},
};

// A sample written by Repack: the twin's value (or, for a component the twin lacks, nothing
// read) to the value stored.
using SampleMap = std::function<uint32_t(uint32_t value, Component c, const SampleSlot& slot)>;
uint32_t Same(uint32_t v, Component, const SampleSlot&) { return v; }

// Where a component sample of frame pixel x lies in plane row r of a layout.
const uint8_t* Locate(const FrameMemoryLayout& l, const FrameExtent& e, const uint8_t* frame,
                      Component c, uint64_t x, uint64_t r, const PlaneDesc*& plane,
                      const SampleSlot*& slot) {
    for (int p = 0; p < l.planeCount; ++p) {
        const PlaneDesc& d = l.planes[p];
        for (int s = 0; s < d.slotCount; ++s) {
            const SampleSlot& ss = d.sampleSlots[s];
            if (ss.component != c || ss.pixel != x % d.groupPixels) continue;
            plane = &d;
            slot = &ss;
            return frame + e.planes[p].offset + r * e.planes[p].pitch +
                   x / d.groupPixels * d.groupBytes;
        }
    }
    return nullptr;
}

// The twin's frame stored in `code`: every sample that fits the layout's row (up to the pitch:
// a packed row may hold the whole last pair of an odd width), read from the twin at the same
// component, frame pixel and plane row; samples past the twin's frame read as 0.
// Bytes outside every sample are `fill` (a byte of a random stream when fill < 0); a component
// the twin lacks (alpha) is map(0).
std::vector<uint8_t> Repack(uint32_t code, uint32_t twin, const std::vector<uint8_t>& from,
                            int32_t w, int32_t h, int32_t pitch, int32_t twinPitch = 0,
                            const SampleMap& map = Same, int fill = 0) {
    if (twinPitch == 0) twinPitch = pitch;
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
    const FrameMemoryLayout& t = *FindFrameMemoryLayout(twin);
    FrameExtent e, te;
    EXPECT_TRUE(GetFrameExtent(code, w, h, pitch, e));
    EXPECT_TRUE(GetFrameExtent(twin, w, h, twinPitch, te));
    std::vector<uint8_t> out(size_t(e.frameBytes), uint8_t(fill));
    std::mt19937 rng(11);
    if (fill < 0)
        for (uint8_t& b : out) b = uint8_t(rng());
    for (int p = 0; p < l.planeCount; ++p) {
        const PlaneDesc& d = l.planes[p];
        const PlaneExtent& pe = e.planes[p];
        for (uint64_t r = 0; r < pe.rows; ++r) {
            for (uint64_t g = 0; g * d.groupBytes < pe.rowBytes; ++g) {
                for (int s = 0; s < d.slotCount; ++s) {
                    const SampleSlot& slot = d.sampleSlots[s];
                    if (g * d.groupBytes + (slot.word + 1u) * d.wordBytes > pe.pitch) continue;
                    const PlaneDesc* tp = nullptr;
                    const SampleSlot* ts = nullptr;
                    const uint64_t x = g * d.groupPixels + slot.pixel;
                    const uint8_t* at = Locate(t, te, from.data(), slot.component, x, r, tp, ts);
                    EXPECT_TRUE(at || slot.component == Component::A);
                    uint32_t v = 0;
                    if (at) {
                        const size_t end =
                            size_t(at - from.data()) + (ts->word + 1u) * tp->wordBytes;
                        v = end <= from.size() ? ReadSample(at, *tp, t.byteOrder, *ts) : 0;
                    }
                    WriteSample(out.data() + pe.offset + r * pe.pitch + g * d.groupBytes, d,
                                l.byteOrder, slot, map(v, slot.component, slot));
                }
            }
        }
    }
    return out;
}

std::vector<uint8_t> ConvertWith(const KernelTable& k, uint32_t code, const std::vector<uint8_t>& f,
                                 int32_t w, int32_t h, int32_t pitch, uint32_t flags) {
    ConvertOptions opt;
    opt.kernels = &k;
    std::vector<uint8_t> src(f);  // exactly sized: ASan sees a read beyond the frame
    std::vector<uint8_t> out(size_t(3 * w) * size_t(h), 0xA5);
    EXPECT_TRUE(ConvertFrameWith(opt, w, h, flags, code, src.data(), pitch, kLayoutBGR3, out.data(),
                                 3 * w));
    return out;
}

TEST(ConvertTwins, SameSamplesGiveTheSamePixels) {
    const uint32_t flagSets[] = {0,
                                 CONVERT_LUMA_ONLY,
                                 CONVERT_CB_ONLY,
                                 CONVERT_CR_ONLY,
                                 CONVERT_INTERLACED,
                                 CONVERT_FIELDS_SEPARATED,
                                 CONVERT_INTERLACED | CONVERT_FIELDS_SEPARATED,
                                 CONVERT_CB_ONLY | CONVERT_INTERLACED,
                                 CONVERT_CR_ONLY | CONVERT_FIELDS_SEPARATED,
                                 CONVERT_RGB_STUDIO_RANGE | CONVERT_FILTER_1};
    // Odd widths and heights, heights that are and are not multiples of 4, one pixel, and rows
    // long enough for every vector kernel's main loop.
    const int32_t sizes[][2] = {{16, 8}, {17, 7}, {1, 1}, {2, 2}, {5, 10}, {3, 6}, {131, 18}};
    std::mt19937 rng(7);
    for (const Twin& tw : kTwins) {
        for (const auto& size : sizes) {
            const int32_t w = size[0], h = size[1];
            // The smallest pitch, and for the packed layouts also a padded one.
            std::vector<int32_t> pitches = {int32_t(MinLineBytes(tw.twin, w, h))};
            if (FindFrameMemoryLayout(tw.code)->arrangement == Arrangement::Packed)
                pitches.push_back(pitches[0] + 6);
            for (int32_t pitch : pitches) {
                ASSERT_EQ(MinLineBytes(tw.code, w, h), MinLineBytes(tw.twin, w, h));
                std::vector<uint8_t> twin(size_t(pitch) * size_t(h));
                for (uint8_t& b : twin) b = uint8_t(rng());
                const std::vector<uint8_t> frame = Repack(tw.code, tw.twin, twin, w, h, pitch);
                for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3,
                                        SimdLevel::AVX2, SimdLevel::AVX512}) {
                    if (int(level) > int(CpuSimdLevel())) continue;
                    const KernelTable k = MakeKernelTable(level);
                    for (uint32_t flags : flagSets) {
                        ASSERT_EQ(ConvertWith(k, tw.code, frame, w, h, pitch, flags),
                                  ConvertWith(k, tw.twin, twin, w, h, pitch, flags))
                            << LayoutName(tw.code) << " " << w << "x" << h << " pitch " << pitch
                            << " flags " << flags << " " << SimdLevelName(level);
                    }
                }
            }
        }
    }
}

// 8-bit samples within the limits of the wide paths (Y' 235, Cb and Cr 240), and the same
// samples widened: v x 2^(bits-8) plus noise below half a step; every bit outside the samples
// (unused bits of a word, the high bits of 10- and 12-bit words, alpha) is random.
TEST(ConvertTwins, WideSamplesReduceToTheirEightBitTwin) {
    const uint32_t flagSets[] = {0,
                                 CONVERT_LUMA_ONLY,
                                 CONVERT_CB_ONLY,
                                 CONVERT_CR_ONLY,
                                 CONVERT_INTERLACED,
                                 CONVERT_FIELDS_SEPARATED,
                                 CONVERT_CR_ONLY | CONVERT_INTERLACED,
                                 CONVERT_RGB_STUDIO_RANGE};
    const int32_t sizes[][2] = {{16, 8}, {17, 7}, {1, 1}, {2, 2}, {5, 10}, {131, 18}};
    std::mt19937 rng(5);
    const SampleMap limit = [](uint32_t v, Component c, const SampleSlot&) {
        return std::min<uint32_t>(v, c == Component::Y                          ? 235u
                                     : c == Component::Cb || c == Component::Cr ? 240u
                                                                                : 255u);
    };
    const SampleMap widen = [&rng](uint32_t v, Component, const SampleSlot& slot) {
        if (slot.bits <= 8) return uint32_t(rng());  // alpha: anything
        const int step = slot.bits - 8;
        return (v << step) | (uint32_t(rng()) & ((1u << (step - 1)) - 1u));
    };
    for (const Twin& tw : kWideTwins) {
        const FrameMemoryLayout& l = *FindFrameMemoryLayout(tw.code);
        for (const auto& size : sizes) {
            const int32_t w = size[0], h = size[1];
            const int32_t twinPitch = int32_t(MinLineBytes(tw.twin, w, h));
            std::vector<int32_t> pitches = {int32_t(MinLineBytes(tw.code, w, h))};
            if (l.arrangement == Arrangement::Packed) pitches.push_back(pitches[0] + 6);
            std::vector<uint8_t> raw(size_t(twinPitch) * size_t(h));
            for (uint8_t& b : raw) b = uint8_t(rng());
            const std::vector<uint8_t> twin =
                Repack(tw.twin, tw.twin, raw, w, h, twinPitch, twinPitch, limit);
            for (int32_t pitch : pitches) {
                const std::vector<uint8_t> frame =
                    Repack(tw.code, tw.twin, twin, w, h, pitch, twinPitch, widen, -1);
                for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3,
                                        SimdLevel::AVX2, SimdLevel::AVX512}) {
                    if (int(level) > int(CpuSimdLevel())) continue;
                    const KernelTable k = MakeKernelTable(level);
                    for (uint32_t flags : flagSets) {
                        ASSERT_EQ(ConvertWith(k, tw.code, frame, w, h, pitch, flags),
                                  ConvertWith(k, tw.twin, twin, w, h, twinPitch, flags))
                            << LayoutName(tw.code) << " " << w << "x" << h << " pitch " << pitch
                            << " flags " << flags << " " << SimdLevelName(level);
                    }
                }
            }
        }
    }
}

// The repacking above really moves the chroma: NV12 and NV21 of one picture differ in bytes,
// YVYU and YUY2 too, so the comparison cannot pass by reading the same bytes.
TEST(ConvertTwins, PairOrdersDifferInMemory) {
    std::vector<uint8_t> i420(6);
    for (size_t i = 0; i < i420.size(); ++i) i420[i] = uint8_t(10 * (i + 1));
    EXPECT_EQ(Repack(kLayoutNV12, kLayoutI420, i420, 2, 2, 3),
              (std::vector<uint8_t>{10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(Repack(kLayoutNV21, kLayoutI420, i420, 2, 2, 3),
              (std::vector<uint8_t>{10, 20, 30, 40, 60, 50}));
    EXPECT_EQ(Repack(kLayoutYVYU, kLayoutYUY2, {1, 2, 3, 4}, 2, 1, 4),
              (std::vector<uint8_t>{1, 4, 3, 2}));
}

}  // namespace
