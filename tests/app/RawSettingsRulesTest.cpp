// The arithmetic behind the settings dialog: guesses, whole-frame checks, validation, presets.
#include "app/RawSettingsRules.h"

#include "ShellTestSupport.h"

#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

namespace {

using namespace rawsettings;

int64_t FramesOf(const RawSettings& r, int64_t fileSize) {
    const int64_t bytes = std::llabs(int64_t(r.rawFormat.lineBytes)) * std::llabs(int64_t(r.rawFormat.height));
    return WholeFrames(fileSize, r.filePrefix, bytes, r.framePostfix, r.framePrefix);
}

struct GuessCase {
    int64_t fileSize;
    uint32_t code;
    int32_t width, height;
    int64_t frames, rest;
};

TEST(SettingsGuess, FollowsTheFileSize) {
    const GuessCase cases[] = {
        {700000, kLayoutYUYV, 720, 480, 1, 8800},
        {691200, kLayoutYUYV, 720, 480, 1, 0},
        {691199, kLayoutYUYV, 360, 240, 3, 691199 - 3 * 172800},
        {100000, kLayoutYUYV, 180, 120, 2, 100000 - 2 * 43200},
        {20000, kLayoutYUYV, 90, 60, 1, 20000 - 10800},
        {10800, kLayoutYUYV, 90, 60, 1, 0},
        {5000, kLayoutGRAY, 2500, 2500, 0, 5000},
        {255, kLayoutGRAY, 127, 128, 0, 255},
    };
    for (const auto& c : cases) {
        const RawSettings r = GuessSettings(c.fileSize);
        EXPECT_EQ(r.size, 208u) << c.fileSize;
        EXPECT_EQ(r.frameDuration, 1u);
        EXPECT_EQ(r.timeScale, 25u);
        EXPECT_EQ(r.filePrefix, 0);
        EXPECT_EQ(r.rawFormat.code, c.code) << c.fileSize;
        EXPECT_EQ(r.rawFormat.width, c.width) << c.fileSize;
        EXPECT_EQ(r.rawFormat.height, c.height) << c.fileSize;
        const int64_t frames = FramesOf(r, c.fileSize);
        EXPECT_EQ(frames, c.frames) << c.fileSize;
        EXPECT_EQ(c.fileSize - frames * std::llabs(int64_t(r.rawFormat.lineBytes)) * r.rawFormat.height, c.rest)
            << c.fileSize;
    }
}

RawSettings Yuyv720x480(int64_t fileSize) {
    RawSettings r = shelltest::SettingsFor(kLayoutYUYV, 720, 480);
    r.fileSize = uint64_t(fileSize);
    return r;
}

TEST(SettingsValidation, Width) {
    const RawSettings r = Yuyv720x480(3 * 691200);
    struct Case {
        const char* name;
        int64_t typed;
        int32_t expected;
    } cases[] = {
        {"odd width rounds down to the width multiple", 721, 720},
        {"odd smaller width", 353, 352},
        {"zero rises to the multiple", 0, 2},
        {"negative rises to the multiple", -40, 2},
        {"beyond the trackbar is limited to 4096, which leaves no frame here", 9000, 720},
        {"a width that still fits", 2160, 2160},
        {"one that does not fit keeps the current", 2162, 720},
    };
    for (const auto& c : cases) EXPECT_EQ(ValidateWidth(r, c.typed), c.expected) << c.name;
}

TEST(SettingsValidation, HeightAndTheRangeLimit) {
    const RawSettings r = Yuyv720x480(3 * 691200);
    EXPECT_EQ(ValidateHeight(r, ReadDecimal(QStringLiteral("abc"))), 2);  // letters read as 0
    EXPECT_EQ(ValidateHeight(r, 576), 576);
    EXPECT_EQ(ValidateHeight(r, 1440), 1440);
    EXPECT_EQ(ValidateHeight(r, 577), 577);   // YUYV has no height multiple
    EXPECT_EQ(ValidateHeight(r, 1441), 480);  // no whole frame: the current height stays
    RawSettings yv12 = shelltest::SettingsFor(kLayoutYV12, 720, 576);
    yv12.fileSize = 10 * 622080;
    EXPECT_EQ(ValidateHeight(yv12, 577), 576);  // height multiple 2
    EXPECT_EQ(ValidateHeight(yv12, 5000), 4096);
}

TEST(SettingsValidation, ByteCounts) {
    RawSettings r = Yuyv720x480(691200 + 70000);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 70000), 65535);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, -5), 0);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FramePostfix, 65535), 65535);
    r.fileSize = 691200 + 100;
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 70000), 0);  // 65535 leaves no frame
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 100), 100);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FramePrefix, 101), 0);
    r.filePrefix = 40;
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 2000000), 40);  // larger than the file
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FramePostfix, 60), 60);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FramePostfix, 61), 0);
}

TEST(SettingsRebuild, RecomputesDerivedValuesAndLowersToTheMultiples) {
    RawSettings r = shelltest::SettingsFor(kLayoutYV12, 720, 576);
    r.rawFormat.width = 721;
    r.rawFormat.height = 577;
    ASSERT_TRUE(RebuildFormat(r));
    EXPECT_EQ(r.rawFormat.width, 720);
    EXPECT_EQ(r.rawFormat.height, 576);
    EXPECT_EQ(r.rawFormat.lineBytes, 1080);
    RawSettings zero = shelltest::SettingsFor(kLayoutYV12, 720, 576);
    zero.rawFormat.width = 0;
    EXPECT_FALSE(RebuildFormat(zero));
}

TEST(SettingsPresets, MatchBySize) {
    EXPECT_EQ(PresetFor(720, 480), 12);
    EXPECT_STREQ(SizePresets()[12].name, "720x480 D1 (525)");
    EXPECT_EQ(PresetFor(721, 480), 0);
    EXPECT_EQ(PresetFor(0, 0), 0);
    EXPECT_EQ(PresetFor(4096, 3112), 1);
    EXPECT_EQ(QString::fromUtf8(SizePresets()[1].name), QStringLiteral("4096\u00D73112 (Full Aperture 4K)"));
    EXPECT_EQ(PresetFor(176, 120), 19);
}

TEST(SettingsArrangements, FieldDetailBothWays) {
    const int details[] = {9, 14, 1, 6};
    for (int i = 0; i < kArrangementCount; ++i) {
        EXPECT_EQ(FieldArrangements()[i].fieldDetail, details[i]);
        EXPECT_EQ(ArrangementForFieldDetail(details[i]), i);
    }
    EXPECT_EQ(ArrangementForFieldDetail(0), -1);
}

TEST(SettingsDecimal, ReadsLikeAtoi) {
    const struct {
        const char* text;
        int64_t value;
    } cases[] = {{"720", 720}, {"  -12abc", -12}, {"+7", 7}, {"abc", 0}, {"", 0}, {"99999999999", 2147483647}};
    for (const auto& c : cases) EXPECT_EQ(ReadDecimal(QString::fromLatin1(c.text)), c.value) << c.text;
    // With a 64-bit limit: whole numbers past 2^31, saturation instead of wrapping past 2^63.
    constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(ReadDecimal(QStringLiteral("2147483650"), kMax64), 2147483650);
    EXPECT_EQ(ReadDecimal(QStringLiteral("-99999999999999999999"), kMax64), -kMax64);
}

}  // namespace
