// The view's arithmetic without a window: fitted sizes, the zoom-rectangle factor, and the field
// filters on hand-made rows whose results are known.
#include "image/Convert.h"
#include "view/picture/DisplayBitmap.h"
#include "view/picture/FieldRender.h"
#include "view/ViewGeometry.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kavlo;

struct FitCase {
    int clientW, clientH, w, h, fittedW, fittedH;
};

class FitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitTest, LargestSizeWithTheAspectRatio) {
    const FitCase c = GetParam();
    const PixelSize s = FitPictureSize(c.clientW, c.clientH, c.w, c.h);
    EXPECT_EQ(s.width, c.fittedW);
    EXPECT_EQ(s.height, c.fittedH);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FitTest,
                         ::testing::Values(FitCase{400, 300, 720, 576, 375, 300},
                                           FitCase{400, 300, 1920, 1080, 400, 225},
                                           FitCase{400, 300, 100, 200, 150, 300},
                                           FitCase{100, 300, 100, 200, 100, 200},
                                           FitCase{400, 300, 300, 300, 300, 300},
                                           FitCase{40000, 30000, 70000, 50000, 40000, 28571},
                                           FitCase{400, 300, 0, 10, 0, 0}));

struct RectCase {
    int rectW, rectH, clientW, clientH, factor;
};

class ZoomRectTest : public ::testing::TestWithParam<RectCase> {};

TEST_P(ZoomRectTest, FactorFollowsTheLargerSide) {
    const RectCase c = GetParam();
    EXPECT_EQ(ZoomRectangleFactor(c.rectW, c.rectH, c.clientW, c.clientH), c.factor);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ZoomRectTest,
    ::testing::Values(RectCase{100, 50, 800, 600, 4},  // 8 x 100 = 800
                      RectCase{100, 50, 801, 600, 8},
                      RectCase{50, 100, 800, 600, 4},  // along the height: 8 x 100 > 600
                      RectCase{60, 60, 800, 600, 8},   // square: along the height
                      RectCase{400, 10, 800, 600, 1},
                      RectCase{0, 0, 800, 600, 32},  // never above 32
                      RectCase{10, 10, 10000, 10000, 32}));

TEST(ZoomArithmetic, ZoomedExtentsAndLineSizes) {
    EXPECT_EQ(ZoomedExtent(101, 0.5), 50);
    EXPECT_EQ(ZoomedExtent(3840, 1.0 / 16), 240);
    EXPECT_EQ(ZoomedExtent(3840, 32.0), 122880);
    EXPECT_EQ(ScrollLineSize(0.25), 1);
    EXPECT_EQ(ScrollLineSize(1.0), 1);
    EXPECT_EQ(ScrollLineSize(8.0), 8);
}

namespace {

// h rows of n bytes, row r filled by value(r, i).
template <class F>
std::vector<uint8_t> Rows(int h, int n, F value) {
    std::vector<uint8_t> v(static_cast<size_t>(h * n));
    for (int r = 0; r < h; ++r) {
        for (int i = 0; i < n; ++i) v[static_cast<size_t>(r * n + i)] = value(r, i);
    }
    return v;
}

}  // namespace

TEST(Deinterlace, BlendingAlternatingLinesGivesMidGrey) {
    const int h = 8, n = 19;
    auto src = Rows(h, n, [](int r, int) { return static_cast<uint8_t>(r % 2 ? 255 : 0); });
    std::vector<uint8_t> dst(src.size(), 0xA5);
    ASSERT_TRUE(Deinterlace(kDeinterlaceBlendFields, RowImage{src.data(), n, h},
                            RowImage{dst.data(), n, h}, n, &VerticalLowPass121));
    for (int r = 1; r < h - 1; ++r) {
        for (int i = 0; i < n; ++i) ASSERT_EQ(dst[static_cast<size_t>(r * n + i)], 128) << r;
    }
    EXPECT_EQ(dst[0], 64) << "the first line blends with itself and one neighbour";
    EXPECT_EQ(dst[static_cast<size_t>((h - 1) * n)], 191) << "(0 + 2 x 255 + 255 + 2) >> 2";
}

TEST(Deinterlace, FieldMethodsKeepTheirFieldAndClampTheirResult) {
    const int h = 10, n = 5;
    // Top field bright with one dark line, bottom field dark: the 6-tap filter overshoots.
    auto src = Rows(h, n, [](int r, int) {
        if (r % 2) return static_cast<uint8_t>(0);
        return static_cast<uint8_t>(r == 4 ? 0 : 255);
    });
    std::vector<uint8_t> top(src.size()), bottom(src.size()), low(src.size());
    const RowImage in{src.data(), n, h};
    ASSERT_TRUE(Deinterlace(kDeinterlaceTopField, in, RowImage{top.data(), n, h}, n, nullptr));
    ASSERT_TRUE(
        Deinterlace(kDeinterlaceBottomField, in, RowImage{bottom.data(), n, h}, n, nullptr));
    ASSERT_TRUE(Deinterlace(kDeinterlaceLowPass, in, RowImage{low.data(), n, h}, n, nullptr));
    for (int r = 0; r < h; r += 2)
        EXPECT_EQ(top[static_cast<size_t>(r * n)], src[static_cast<size_t>(r * n)]);
    for (int r = 1; r < h; r += 2) EXPECT_EQ(bottom[static_cast<size_t>(r * n)], 0);
    // Row 1 from top-field lines -2..3 = 255, 255, 255, 255, 0, 255 (clamped at the top):
    // (255 - 1275 + 5100 + 5100 + 0 + 255 + 16) >> 5 = 295 -> 255.
    EXPECT_EQ(top[static_cast<size_t>(1 * n)], 255);
    // Row 3 from lines -1..4 = 255, 255, 255, 0, 255, 255: (255 - 1275 + 5100 + 0 - 1275 + 255
    // + 16) >> 5 = 96.
    EXPECT_EQ(top[static_cast<size_t>(3 * n)], 96);
    // Bottom field is all zero, so the even rows it interpolates are zero.
    EXPECT_EQ(bottom[0], 0);
    // Low-pass at row 4: (-255 + 0 + 0 + 0 - 255 + 4) >> 3 = -64 -> 0.
    EXPECT_EQ(low[static_cast<size_t>(4 * n)], 0);

    std::vector<uint8_t> untouched(src.size(), 7);
    EXPECT_FALSE(Deinterlace(9, in, RowImage{untouched.data(), n, h}, n, nullptr));
    EXPECT_EQ(untouched, std::vector<uint8_t>(src.size(), 7));
}

TEST(DisplayBitmap, RowsArePaddedToFourPixelsAndZero) {
    auto bitmap = DisplayBitmap::Create(5, 3, true);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->Width(), 8);
    EXPECT_EQ(bitmap->Stride(), 24u);
    EXPECT_EQ(bitmap->MemoryRowOfLine(0), 2);
    for (int r = 0; r < 3; ++r) {
        for (size_t i = 0; i < bitmap->Stride(); ++i) ASSERT_EQ(bitmap->Row(r)[i], 0);
    }
    EXPECT_FALSE(DisplayBitmap::Create(0, 3, false));
    EXPECT_FALSE(DisplayBitmap::Create(1 << 30, 1 << 30, false)) << "too large to represent";
}

TEST(AlignedBuffer, RoundsToPagesAndRefusesUnrepresentableSizes) {
    AlignedBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(5000));
    EXPECT_EQ(buffer.size(), 8192u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % 4096, 0u);
    EXPECT_FALSE(buffer.Allocate(~uint64_t(0)));
    EXPECT_FALSE(buffer);
}
