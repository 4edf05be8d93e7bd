// The field steps without a window: the field filters on hand-made rows whose results are known,
// and the display bitmap's rows.
#include "image/Convert.h"
#include "view/picture/DisplayBitmap.h"
#include "view/picture/FieldRender.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kavlo;

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
