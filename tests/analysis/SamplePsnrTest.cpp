// MSE and PSNR on the stored samples: the sums of squared differences (the vector sums against
// the plain ones, the fast runs against the table's reading), which layouts compare, and the
// figures weighed per component.
#include "analysis/SamplePsnr.h"

#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(PsnrSums, SimdSumsEqualPlainSumsAtEveryLengthAndExtreme) {
    std::mt19937 random(7);
    std::vector<uint8_t> a(70000), b(70000);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = uint8_t(random());
        b[i] = uint8_t(random());
    }
    // The largest differences everywhere: the 32-bit lanes of the 8-bit sum must not overflow.
    std::vector<uint8_t> zeros(70000, 0), ones(70000, 0xFF);
    EXPECT_EQ(SumSquares8(ones.data(), zeros.data(), 70000), 70000ull * 255 * 255);
    EXPECT_EQ(SumSquares16(ones.data(), zeros.data(), 35000, 0xFFFF), 35000ull * 65535 * 65535);
    for (const size_t n :
         {size_t(0), size_t(1), size_t(15), size_t(16), size_t(17), size_t(33), size_t(34999)}) {
        uint64_t plain8 = 0, plain16 = 0, plain10 = 0;
        for (size_t i = 0; i < n; ++i) {
            const int64_t d = int64_t(a[i]) - b[i];
            plain8 += uint64_t(d * d);
            const int64_t wa = a[2 * i] | (a[2 * i + 1] << 8), wb = b[2 * i] | (b[2 * i + 1] << 8);
            plain16 += uint64_t((wa - wb) * (wa - wb));
            const int64_t d10 = (wa & 0x3FF) - (wb & 0x3FF);
            plain10 += uint64_t(d10 * d10);
        }
        EXPECT_EQ(SumSquares8(a.data(), b.data(), n), plain8) << n;
        EXPECT_EQ(SumSquares16(a.data(), b.data(), n, 0xFFFF), plain16) << n;
        EXPECT_EQ(SumSquares16(a.data(), b.data(), n, 0x3FF), plain10) << n;
    }
}

bool Comparable(uint32_t a, uint32_t b, int w = 64, int h = 32) {
    FrameSamples sa, sb;
    const int32_t pitchA = int32_t(MinLineBytes(a, w, h)), pitchB = int32_t(MinLineBytes(b, w, h));
    if (!DescribeSamples(a, w, h, pitchA, sa) || !DescribeSamples(b, w, h, pitchB, sb))
        return false;
    std::string why;
    return SamplesComparable(sa, sb, why);
}

TEST(PsnrLayouts, OnlyTheSameComponentsDepthsAndPositionsCompare) {
    EXPECT_TRUE(Comparable(kLayoutI420, kLayoutYV12));
    EXPECT_TRUE(Comparable(kLayoutI420, kLayoutNV21));
    EXPECT_TRUE(Comparable(kLayoutYUY2, kLayoutUYVY));
    EXPECT_TRUE(Comparable(kLayoutYUY2, kLayoutNV16));
    EXPECT_TRUE(Comparable(kLayoutBGR3, kLayoutRGB4));
    EXPECT_FALSE(Comparable(kLayoutI420, kLayoutUYVY)) << "4:2:0 against 4:2:2";
    EXPECT_FALSE(Comparable(kLayoutI420, kLayoutYV24));
    EXPECT_FALSE(Comparable(kLayoutP010, kLayoutP016)) << "10 against 16 bits";
    EXPECT_FALSE(Comparable(kLayoutGRAY, kLayoutI420));
    EXPECT_FALSE(Comparable(kLayoutBGR3, kLayoutBGRA)) << "alpha on one side only";
    EXPECT_FALSE(Comparable(kLayoutR565, kLayoutBGR3));
    // An odd width: both pair orders hold the last pixel's luma and no whole chroma pair.
    EXPECT_TRUE(Comparable(kLayoutYUY2, kLayoutUYVY, 33, 4));
}

TEST(PsnrLayouts, EveryLayoutComparesWithItselfAndCountsEverySample) {
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const FrameMemoryLayout& l = FrameMemoryLayouts()[i];
        SCOPED_TRACE(LayoutName(l.code));
        FrameSamples s;
        const int w = 48, h = 8;
        ASSERT_TRUE(DescribeSamples(l.code, w, h, int32_t(MinLineBytes(l.code, w, h)), s));
        uint64_t total = 0;
        for (const ComponentSamples& c : s.components) total += c.count;
        // Samples per pixel: 4:2:0 1.5, 4:2:2 2, 4:4:4 3 (4 with alpha), grey 1.
        uint64_t slotsPerPixel2x2 = 0;  // samples in a 2 x 2 block
        for (int p = 0; p < l.planeCount; ++p)
            slotsPerPixel2x2 += uint64_t(l.planes[p].slotCount) * 4 / l.planes[p].groupPixels /
                                l.planes[p].heightDivisor;
        // A mosaic's four cell slots are one sample per pixel.
        if (l.model == ColourModel::Bayer) slotsPerPixel2x2 = 4;
        EXPECT_EQ(total, slotsPerPixel2x2 * w * h / 4);
        std::string why;
        EXPECT_TRUE(SamplesComparable(s, s, why)) << why;
    }
}

// The strided and contiguous runs give the sums of the table's sample-by-sample reading, for
// every layout against itself and for pairs stored differently (planar against semi-planar,
// high bits against low bits, big- against little-endian words), at an odd pitch.
TEST(PsnrSums, FastRunsEqualTheTableReading) {
    std::mt19937 random(7);
    auto sums = [&](uint32_t codeA, uint32_t codeB) {
        const int w = 38, h = 6;
        FrameSamples a, b;
        const int32_t pitchA = int32_t(MinLineBytes(codeA, w, h)) + 6;
        const int32_t pitchB = int32_t(MinLineBytes(codeB, w, h)) + 2;
        if (!DescribeSamples(codeA, w, h, pitchA, a) || !DescribeSamples(codeB, w, h, pitchB, b))
            return false;
        std::vector<uint8_t> fa(size_t(pitchA) * h * 3 + 64), fb(size_t(pitchB) * h * 3 + 64);
        for (uint8_t& v : fa) v = static_cast<uint8_t>(random());
        for (uint8_t& v : fb) v = static_cast<uint8_t>(random());
        std::vector<uint64_t> fast, slow;
        SumSquaredDifferences(a, fa.data(), b, fb.data(), fast);
        for (FrameSamples* f : {&a, &b})
            for (ComponentSamples& c : f->components)
                for (ComponentSamples::InPlane& p : c.planes) p.contiguous = p.regular = false;
        SumSquaredDifferences(a, fa.data(), b, fb.data(), slow);
        EXPECT_EQ(fast, slow) << LayoutName(codeA) << " against " << LayoutName(codeB);
        return true;
    };
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const uint32_t code = FrameMemoryLayouts()[i].code;
        EXPECT_TRUE(sums(code, code)) << LayoutName(code);
    }
    EXPECT_TRUE(Comparable(kLayoutP010, kLayoutI420LE10)) << "the pair below must compare";
    sums(kLayoutP010, kLayoutI420LE10);
    sums(kLayoutI420BE10, kLayoutI420LE10);
    sums(kLayoutNV12, kLayoutYV12);
}

TEST(PsnrFigures, WeighAsFfmpegDoes) {
    FrameSamples s;
    ASSERT_TRUE(DescribeSamples(kLayoutI420, 64, 32, 96, s));
    const PsnrWeights w = WeightsOf(s);
    ASSERT_EQ(w.weight.size(), 3u);
    EXPECT_DOUBLE_EQ(w.weight[0], 4.0 / 6.0);
    EXPECT_DOUBLE_EQ(w.averagePeak, 255.0);
    // Frame 1 of ffmpeg's own example: mse 116.56, 114.48, 116.29 -> average 116.17, 27.48 dB.
    const std::vector<uint64_t> sse = {uint64_t(116.56 * 2048 + 0.5), uint64_t(114.48 * 512 + 0.5),
                                       uint64_t(116.29 * 512 + 0.5)};
    const PsnrFigures f = FrameFigures(w, sse, s);
    EXPECT_NEAR(f.mseAverage, 116.17, 0.01);
    EXPECT_NEAR(f.psnrAverage, 27.48, 0.01);
    EXPECT_TRUE(std::isinf(FrameFigures(w, {0, 0, 0}, s).psnrAverage));
    const PsnrFigures summary = SummaryFigures(w, {f, FrameFigures(w, {0, 0, 0}, s)});
    EXPECT_NEAR(summary.mseAverage, 116.17 / 2, 0.01);
    EXPECT_NEAR(summary.psnr[0], 10 * std::log10(255.0 * 255.0 / (116.56 / 2)), 0.01);
}

}  // namespace
