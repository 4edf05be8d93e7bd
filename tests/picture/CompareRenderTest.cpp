// The composed pictures of a comparison (B, side by side, the two differences) against pixels
// computed here, from pictures of either orientation, and their names.
#include "view/picture/CompareRender.h"

#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

using kavlo::CompareMode;
using kavlo::DisplayBitmap;

namespace {

// A 3 x 2 picture whose bytes are base + index (index counts B', G', R' of each line on screen).
std::unique_ptr<DisplayBitmap> Picture(int base, bool bottomUp) {
    auto p = DisplayBitmap::Create(3, 2, bottomUp);
    for (int y = 0; y < 2; ++y) {
        uint8_t* line = p->Row(p->MemoryRowOfLine(y));
        for (int i = 0; i < 9; ++i) line[i] = static_cast<uint8_t>(base + 9 * y + i);
    }
    return p;
}

TEST(ComposeComparison, EveryModeFromPicturesOfEitherOrientation) {
    // A bottom-up around 100, B top-down around 10 (A - B = 90 in every byte) except one byte.
    const auto a = Picture(100, true);
    const auto b = Picture(10, false);
    b->Row(1)[4] = 120;  // line 1, pixel 1, G': A has 113, so A - B = -7
    std::unique_ptr<DisplayBitmap> out;

    ASSERT_TRUE(kavlo::ComposeComparison(CompareMode::B, 4, *a, b.get(), out));
    EXPECT_FALSE(out->BottomUp());
    EXPECT_EQ(out->PictureWidth(), 3);
    EXPECT_EQ(std::memcmp(out->LineOnScreen(1), b->LineOnScreen(1), 9), 0);

    ASSERT_TRUE(kavlo::ComposeComparison(CompareMode::SideBySide, 4, *a, b.get(), out));
    ASSERT_EQ(out->PictureWidth(), 6);
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(std::memcmp(out->LineOnScreen(y), a->LineOnScreen(y), 9), 0) << y;
        EXPECT_EQ(std::memcmp(out->LineOnScreen(y) + 9, b->LineOnScreen(y), 9), 0) << y;
    }

    ASSERT_TRUE(kavlo::ComposeComparison(CompareMode::Difference, 2, *a, b.get(), out));
    EXPECT_EQ(out->PictureWidth(), 3);
    EXPECT_EQ(out->LineOnScreen(0)[0], 180);  // 90 x 2
    EXPECT_EQ(out->LineOnScreen(1)[4], 14);   // |-7| x 2
    ASSERT_TRUE(kavlo::ComposeComparison(CompareMode::Difference, 4, *a, b.get(), out));
    EXPECT_EQ(out->LineOnScreen(0)[0], 255) << "360 clamps";

    ASSERT_TRUE(kavlo::ComposeComparison(CompareMode::SignedDifference, 1, *a, b.get(), out));
    EXPECT_EQ(out->LineOnScreen(0)[0], 218);  // 128 + 90
    EXPECT_EQ(out->LineOnScreen(1)[4], 121);  // 128 - 7
    ASSERT_TRUE(kavlo::ComposeComparison(CompareMode::SignedDifference, 32, *a, b.get(), out));
    EXPECT_EQ(out->LineOnScreen(0)[0], 255);
    EXPECT_EQ(out->LineOnScreen(1)[4], 0) << "128 - 224 clamps";

    // No reference frame (or one of another size): black where B would be.
    ASSERT_TRUE(kavlo::ComposeComparison(CompareMode::SideBySide, 4, *a, nullptr, out));
    EXPECT_EQ(std::memcmp(out->LineOnScreen(0), a->LineOnScreen(0), 9), 0);
    for (int i = 9; i < 18; ++i) EXPECT_EQ(out->LineOnScreen(0)[i], 0) << i;
    const auto small = DisplayBitmap::Create(2, 2, false);
    ASSERT_TRUE(kavlo::ComposeComparison(CompareMode::Difference, 4, *a, small.get(), out));
    EXPECT_EQ(out->LineOnScreen(1)[8], 0);

    EXPECT_EQ(kavlo::CompareModeText(CompareMode::Difference, 4),
              QStringLiteral("|A\u2212B|\u00D74"));
    EXPECT_EQ(kavlo::CompareModeText(CompareMode::SideBySide, 4), QStringLiteral("A | B"));
}

}  // namespace
