// The colour matrix and range of a file as its record's bytes say them: old records and foreign
// values mean BT.601 at limited range; automatic follows the format block's code.
#include "settings/ColourChoice.h"

#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <cstdint>

using kavlo::MatrixChoice;

namespace {

TEST(ColourChoice, RecordBytes) {
    RawSettings s{};
    EXPECT_EQ(kavlo::ColourConvertFlags(s), 0u);  // every record written before: as before
    s.rawFormat.colourMatrix = 1;
    EXPECT_EQ(kavlo::ColourConvertFlags(s), 0u);  // the format's code counts only for automatic
    // Values from elsewhere read as the default.
    s.reserved202[kavlo::kMatrixChoiceByte] = 4;
    s.reserved202[kavlo::kRangeChoiceByte] = 2;
    EXPECT_EQ(kavlo::StoredMatrixChoice(s), MatrixChoice::BT601);
    EXPECT_FALSE(kavlo::StoredFullRange(s));
    EXPECT_EQ(kavlo::ColourConvertFlags(s), 0u);
    s.reserved202[kavlo::kMatrixChoiceByte] = 255;
    EXPECT_EQ(kavlo::ColourConvertFlags(s), 0u);

    kavlo::StoreColourChoice(s, MatrixChoice::BT2020, true);
    EXPECT_EQ(s.reserved202[0], 2);
    EXPECT_EQ(s.reserved202[1], 1);
    EXPECT_EQ(kavlo::ColourConvertFlags(s), CONVERT_MATRIX_2020 | CONVERT_FULL_RANGE);
    EXPECT_STREQ(kavlo::ColourFlagsText(kavlo::ColourConvertFlags(s)), "BT.2020 full");
    EXPECT_STREQ(kavlo::ColourFlagsText(0), "BT.601 limited");

    // Automatic: the H.273 code of the format block.
    kavlo::StoreColourChoice(s, MatrixChoice::Automatic, false);
    const struct {
        uint16_t code;
        ConvertFlags flags;
    } automatic[] = {{1, CONVERT_MATRIX_709},   {5, 0}, {6, 0}, {9, CONVERT_MATRIX_2020},
                     {10, CONVERT_MATRIX_2020}, {0, 0}, {2, 0}, {7, 0}};
    for (const auto& a : automatic) {
        s.rawFormat.colourMatrix = a.code;
        EXPECT_EQ(kavlo::ColourConvertFlags(s), a.flags) << "code " << a.code;
    }
}

// The format builder names BT.709 for HD frames: automatic then reads them with BT.709.
TEST(ColourChoice, AutomaticFollowsTheFrameSize) {
    RawSettings s{};
    ASSERT_TRUE(BuildRawVideoFormat(s.rawFormat, 1920, 1080, kLayoutUYVY, 0, 0));
    kavlo::StoreColourChoice(s, MatrixChoice::Automatic, false);
    EXPECT_EQ(kavlo::ColourConvertFlags(s), CONVERT_MATRIX_709);
    // A block's colour description is filled once: a new block for the SD size.
    s.rawFormat = RawVideoFormat{};
    ASSERT_TRUE(BuildRawVideoFormat(s.rawFormat, 720, 576, kLayoutUYVY, 0, 0));
    EXPECT_EQ(kavlo::ColourConvertFlags(s), 0u);
}

}  // namespace
