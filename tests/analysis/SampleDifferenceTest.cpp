// The largest sample difference of two frames and where it lies: positions in every kind of
// plane (luma, 4:2:0 chroma, packed pairs, 16-bit words), ties and odd sizes.
#include "../image/KernelSweep.h"
#include "image/PixelLayout.h"
#include "analysis/SamplePsnr.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace {

struct Frames {
    FrameSamples samples;
    FrameExtent extent{};
    std::vector<uint8_t> a, b;
};

Frames Make(uint32_t code, int w, int h) {
    Frames f;
    const int32_t pitch = static_cast<int32_t>(MinLineBytes(code, w, h));
    EXPECT_TRUE(DescribeSamples(code, w, h, pitch, f.samples));
    EXPECT_TRUE(GetFrameExtent(code, w, h, pitch, f.extent));
    f.a.assign(static_cast<size_t>(f.extent.frameBytes), 0x40);
    f.b = f.a;
    return f;
}

SampleDifference Largest(const Frames& f) {
    return LargestDifference(f.samples, f.a.data(), f.samples, f.b.data());
}

TEST(LargestDifference, SimdRowMaximumEqualsThePlainOneAtEveryLengthAndPlace) {
    for (size_t n = 0; n <= size_t(sweep::kMaxWidth); ++n) {
        for (size_t at = 0; at < n; ++at) {
            std::vector<uint8_t> a(n, 200), b(n, 200);
            for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(200 - (i % 3));
            // The largest in either direction, in the SIMD body or in the tail.
            if (at % 2) {
                b[at] = 0;
            } else {
                a[at] = 0;
                b[at] = 255;
            }
            EXPECT_EQ(LargestDifference8(a.data(), b.data(), n), at % 2 ? 200u : 255u)
                << n << " " << at;
        }
    }
    const uint8_t one = 9;
    EXPECT_EQ(LargestDifference8(&one, &one, 0), 0u);
}

// The sums of squared differences of a row, 8-bit and 16-bit (whole words and 10-bit fields),
// at every length of the sweep, against the plain sums.
TEST(PsnrSums, RowSumsEqualThePlainOnesAtEveryLength) {
    std::mt19937 random(3);
    const size_t longest = size_t(sweep::kMaxWidth);
    std::vector<uint8_t> a(2 * longest), b(2 * longest);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = uint8_t(random());
        b[i] = uint8_t(random());
    }
    for (size_t n = 0; n <= longest; ++n) {
        uint64_t plain8 = 0, plain16 = 0, plain10 = 0;
        for (size_t i = 0; i < n; ++i) {
            const int64_t d = int64_t(a[i]) - b[i];
            plain8 += uint64_t(d * d);
            const int64_t wa = a[2 * i] | (a[2 * i + 1] << 8), wb = b[2 * i] | (b[2 * i + 1] << 8);
            plain16 += uint64_t((wa - wb) * (wa - wb));
            const int64_t d10 = (wa & 0x3FF) - (wb & 0x3FF);
            plain10 += uint64_t(d10 * d10);
        }
        // Exactly sized copies, so that a read past the row is seen.
        const std::vector<uint8_t> a8(a.begin(), a.begin() + ptrdiff_t(n)),
            b8(b.begin(), b.begin() + ptrdiff_t(n));
        const std::vector<uint8_t> a16(a.begin(), a.begin() + ptrdiff_t(2 * n)),
            b16(b.begin(), b.begin() + ptrdiff_t(2 * n));
        ASSERT_EQ(SumSquares8(a8.data(), b8.data(), n), plain8) << n;
        ASSERT_EQ(SumSquares16(a16.data(), b16.data(), n, 0xFFFF), plain16) << n;
        ASSERT_EQ(SumSquares16(a16.data(), b16.data(), n, 0x3FF), plain10) << n;
    }
}

TEST(LargestDifference, IdenticalFramesDifferNowhere) {
    Frames f = Make(kLayoutI420, 6, 4);
    const SampleDifference d = Largest(f);
    EXPECT_FALSE(d.differs);
    EXPECT_EQ(d.Magnitude(), 0u);
}

TEST(LargestDifference, PlanarPositionsAtAnOddSizeIncluding420Chroma) {
    // I420 5 x 3: Y' 5 x 3, Cb and Cr 2 x 1 (the odd column and row have no chroma sample).
    Frames f = Make(kLayoutI420, 5, 3);
    const PlaneExtent& y = f.extent.planes[0];
    const PlaneExtent& cr = f.extent.planes[2];
    // Luma (4, 2), the last pixel: A 0x40, B 0x50.
    f.b[y.offset + 2 * y.pitch + 4] = 0x50;
    SampleDifference d = Largest(f);
    ASSERT_TRUE(d.differs);
    EXPECT_EQ(d.component, 0u);
    EXPECT_EQ(d.x, 4u);
    EXPECT_EQ(d.y, 2u);
    EXPECT_EQ(d.a, 0x40u);
    EXPECT_EQ(d.b, 0x50u);
    // A larger one in Cr, second sample of its row: the block at pixel (2, 0).
    f.b[cr.offset + 1] = 0x00;
    d = Largest(f);
    ASSERT_TRUE(d.differs);
    EXPECT_EQ(d.component, 2u);
    EXPECT_EQ(d.x, 2u);
    EXPECT_EQ(d.y, 0u);
    EXPECT_EQ(d.Magnitude(), 0x40u);
}

TEST(LargestDifference, ChromaRowsCountInPictureRows) {
    // I420 4 x 4: Cb row 1 covers picture rows 2 and 3.
    Frames f = Make(kLayoutI420, 4, 4);
    const PlaneExtent& cb = f.extent.planes[1];
    f.a[cb.offset + cb.pitch + 1] = 0xFF;
    const SampleDifference d = Largest(f);
    ASSERT_TRUE(d.differs);
    EXPECT_EQ(d.component, 1u);
    EXPECT_EQ(d.x, 2u);
    EXPECT_EQ(d.y, 2u);
    EXPECT_EQ(d.a, 0xFFu);
    EXPECT_EQ(d.b, 0x40u);
}

TEST(LargestDifference, TiesGoToTheFirstInComparedOrder) {
    Frames f = Make(kLayoutI420, 4, 4);
    const PlaneExtent& y = f.extent.planes[0];
    const PlaneExtent& cb = f.extent.planes[1];
    // Equal magnitudes: Cb (0, 0), luma (3, 1) and luma (1, 3), of opposite signs.
    f.b[cb.offset] = 0x30;
    f.b[y.offset + y.pitch + 3] = 0x50;
    f.b[y.offset + 3 * y.pitch + 1] = 0x30;
    SampleDifference d = Largest(f);
    EXPECT_EQ(d.component, 0u) << "luma comes before chroma";
    EXPECT_EQ(d.x, 3u);
    EXPECT_EQ(d.y, 1u);
    // On the same row the left one wins.
    f.b[y.offset + y.pitch + 0] = 0x30;
    d = Largest(f);
    EXPECT_EQ(d.x, 0u);
    EXPECT_EQ(d.y, 1u);
}

TEST(LargestDifference, PackedPairsAndSixteenBitWords) {
    // YUY2 3 x 2 (bytes Y0 U Y1 V): the odd width keeps the third pixel's luma, no chroma pair.
    Frames f = Make(kLayoutYUY2, 3, 2);
    const uint64_t pitch = f.extent.planes[0].pitch;
    f.a[pitch + 3] = 0x00;  // Cr of pixels 0-1, row 1
    f.a[pitch + 4] = 0x41;  // luma of pixel 2, row 1
    SampleDifference d = Largest(f);
    ASSERT_TRUE(d.differs);
    EXPECT_EQ(d.component, 2u);
    EXPECT_EQ(d.x, 0u);
    EXPECT_EQ(d.y, 1u);
    EXPECT_EQ(d.a, 0u);

    // 16-bit little-endian grey: the value of the whole word.
    Frames g = Make(kLayoutGRAYLE16, 3, 3);
    const uint64_t at = 1 * g.extent.planes[0].pitch + 2 * 2;
    g.a[at] = 0x34;
    g.a[at + 1] = 0x12;
    d = Largest(g);
    ASSERT_TRUE(d.differs);
    EXPECT_EQ(d.x, 2u);
    EXPECT_EQ(d.y, 1u);
    EXPECT_EQ(d.a, 0x1234u);
    EXPECT_EQ(d.b, 0x4040u);
}

}  // namespace
