// The arithmetic behind the settings dialog: guesses, whole-frame checks and their reasons,
// validation, typed numbers, reading the file's start, presets.
#include "app/open/RawSettingsRules.h"

#include "ShellTestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <QString>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <vector>
#include <limits>

namespace {

using namespace rawsettings;

int64_t FramesOf(const RawSettings& r, int64_t fileSize) {
    const int64_t bytes =
        std::llabs(int64_t(r.rawFormat.lineBytes)) * std::llabs(int64_t(r.rawFormat.height));
    return WholeFrames(fileSize, r.filePrefix, bytes, r.framePostfix, r.framePrefix);
}

struct GuessCase {
    int64_t fileSize;
    uint32_t code;
    int32_t width, height;
    int64_t frames, rest;
};

// The best reading of the common frame sizes and layouts first; below the smallest common
// frame, YUYV sizes halving from 720 x 480, then GRAY half the file by the rest.
TEST(SettingsGuess, FollowsTheFileSize) {
    const GuessCase cases[] = {
        {15552000, kLayoutI420, 1920, 1080, 5, 0},  // also 25 PAL frames: HD is more common
        {829440, kLayoutUYVY, 720, 576, 1, 0},
        {700000, kLayoutI420, 720, 576, 1, 700000 - 622080},
        {12000, kLayoutYUYV, 90, 60, 1, 12000 - 10800},
        {10800, kLayoutYUYV, 90, 60, 1, 0},
        {5000, kLayoutGRAY, 2500, 2500, 0, 5000},
        {255, kLayoutGRAY, 127, 128, 0, 255},
        {1, kLayoutGRAY, 1, 1, 1, 0},
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
        EXPECT_EQ(
            c.fileSize - frames * std::llabs(int64_t(r.rawFormat.lineBytes)) * r.rawFormat.height,
            c.rest)
            << c.fileSize;
    }
}

// A padded capture buffer named by its picture size: the size does not divide the file at any
// layout's own pitch, but a padded pitch does and the rows line up at it, so that reading is taken
// and the note says so.
TEST(SettingsGuess, APaddedBufferOpensAtThePitchItsRowsLineUpAt) {
    std::vector<uint8_t> sample(kGuessSampleBytes);
    uint32_t state = 1u;
    for (size_t i = 0; i < sample.size(); ++i) {
        const size_t x = i % 4096, y = i / 4096;
        state = state * 1664525u + 1013904223u;
        sample[i] = x < 1920 ? static_cast<uint8_t>((x / 8 + y) % 200 + (state >> 30))
                             : static_cast<uint8_t>(state >> 24);
    }
    QString note;
    const int64_t fileSize = 3 * int64_t{4096} * 1080;
    const RawSettings r = GuessSettingsWithName(fileSize, ReadFileNameHints("cam_1920x1080.raw"),
                                                sample.data(), sample.size(), &note);
    EXPECT_EQ(r.rawFormat.code, uint32_t{kLayoutGRAY});
    EXPECT_EQ(r.rawFormat.width, 1920);
    EXPECT_EQ(r.rawFormat.height, 1080);
    EXPECT_EQ(r.rawFormat.lineBytes, 4096);
    EXPECT_TRUE(note.contains(QStringLiteral("Line pitch 4096 bytes"))) << note.toStdString();
}

// The name's rate goes into the record as seconds per frame (frameDuration / timeScale), its
// interlacing into the field information; the note says what was taken and what was not.
TEST(SettingsGuess, FileNameGivesRateInterlacingAndSaysWhatItTook) {
    QString note;
    const int64_t pal = 10 * 720 * 576 * 2;
    RawSettings r = GuessSettingsWithName(pal, ReadFileNameHints("capture_uyvy_720x576_25i.raw"),
                                          nullptr, 0, &note);
    EXPECT_EQ(r.rawFormat.code, uint32_t{kLayoutUYVY});
    EXPECT_EQ(r.rawFormat.width, 720);
    EXPECT_EQ(r.frameDuration, 1u);
    EXPECT_EQ(r.timeScale, 25u);
    EXPECT_EQ(r.rawFormat.fieldCount, 2);
    EXPECT_EQ(r.rawFormat.fieldDetail, 9);
    EXPECT_EQ(note, QStringLiteral("From the file name: 720\u00D7576, uyvy, 25 fps, interlaced."));

    const int64_t hd = 10 * 1920 * 1080 * 3 / 2;
    r = GuessSettingsWithName(hd, ReadFileNameHints("movie_1920x1080_29.97fps.yuv"), nullptr, 0,
                              &note);
    EXPECT_EQ(r.frameDuration, 1001u);
    EXPECT_EQ(r.timeScale, 30000u);
    EXPECT_EQ(r.rawFormat.fieldCount, 1);

    r = GuessSettingsWithName(hd, ReadFileNameHints("clip_1280x720.yuv"), nullptr, 0, &note);
    EXPECT_EQ(r.rawFormat.width, 1920);
    EXPECT_TRUE(note.startsWith(QStringLiteral("Not used from the name: 1280\u00D7720 (no layout")))
        << note.toStdString();

    // A name that says nothing changes nothing.
    const RawSettings plain = GuessSettings(hd);
    r = GuessSettingsWithName(hd, ReadFileNameHints("take.yuv"), nullptr, 0, &note);
    EXPECT_EQ(std::memcmp(&r, &plain, sizeof r), 0);
    EXPECT_TRUE(note.isEmpty());
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
        {"a width beyond the old 4096 that leaves no frame here", 9000, 720},
        {"a width that still fits", 2160, 2160},
        {"one that does not fit keeps the current", 2162, 720},
    };
    for (const auto& c : cases) EXPECT_EQ(ValidateWidth(r, c.typed), c.expected) << c.name;
}

// Widths up to the conversion's 2^24 pixels, on the layout's multiple; 8K frames are in reach.
TEST(SettingsValidation, SizeLimits) {
    RawSettings gray = shelltest::SettingsFor(kLayoutGRAY, 720, 480);
    gray.fileSize = 8192ull * 4320;
    EXPECT_EQ(ValidateWidth(gray, 8192), 8192);
    EXPECT_EQ(ValidateHeight(gray, 4320), 4320);
    gray.rawFormat.width = 7680;
    gray.rawFormat.lineBytes = 7680;
    EXPECT_EQ(ValidateHeight(gray, 4320), 4320);
    EXPECT_EQ(LimitWidth(gray, 20000000), 1 << 24);
    EXPECT_EQ(LimitHeight(gray, 20000000), 1 << 24);
    EXPECT_EQ(LimitHeight(gray, -3), 2);
    const RawSettings v210 = shelltest::SettingsFor(kLayoutV210, 720, 486);  // width multiple 48
    EXPECT_EQ(LimitWidth(v210, 20000000), (1 << 24) - 16);
    EXPECT_EQ(LimitWidth(v210, 7685), 7680);
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
    EXPECT_EQ(ValidateHeight(yv12, 577), 576);    // height multiple 2
    EXPECT_EQ(ValidateHeight(yv12, 5000), 5000);  // beyond the old 4096
}

TEST(SettingsValidation, ByteCounts) {
    RawSettings r = Yuyv720x480(691200 + 70000);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 70000), 70000);  // beyond the old 65535
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 70001), 0);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, -5), 0);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FramePostfix, 70000), 70000);
    // Up to what the record's fields hold: int32 for the file prefix, uint32 for the others.
    EXPECT_EQ(LimitByteCount(ByteCount::FilePrefix, 5000000000),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(LimitByteCount(ByteCount::FramePrefix, 5000000000),
              std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(LimitByteCount(ByteCount::FramePostfix, 3000000000), 3000000000);
    RawSettings big = Yuyv720x480(3000000000LL + 691200);
    EXPECT_EQ(ValidateByteCount(big, ByteCount::FramePostfix, 3000000000), 3000000000);
    SetByteCount(big, ByteCount::FramePostfix, 3000000000);
    EXPECT_EQ(big.framePostfix, 3000000000u);
    r.fileSize = 691200 + 100;
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 70000), 0);  // 65535 leaves no frame
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 100), 100);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FramePrefix, 101), 0);
    r.filePrefix = 40;
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FilePrefix, 2000000), 40);  // larger than the file
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FramePostfix, 60), 60);
    EXPECT_EQ(ValidateByteCount(r, ByteCount::FramePostfix, 61), 0);
}

// Why no frame fits, in the words the preview area shows.
TEST(SettingsFit, ProblemSaysWhatAFrameNeedsAndWhatTheFileHas) {
    RawSettings r = shelltest::SettingsFor(kLayoutYUYV, 720, 480);
    EXPECT_EQ(
        FitProblem(r, 6144),
        QStringLiteral("one 720\u00D7480 YUYV frame needs 691,200 bytes; the file has 6,144"));
    EXPECT_TRUE(FitProblem(r, 691200).isEmpty());
    r.framePrefix = 16;
    r.framePostfix = 16;
    EXPECT_EQ(FitProblem(r, 691200),
              QStringLiteral("one 720\u00D7480 YUYV frame needs 691,232 bytes with its frame "
                             "prefix and postfix; the file has 691,200"));
    r = shelltest::SettingsFor(kLayoutGRAY, 64, 48);
    r.filePrefix = 100;
    EXPECT_EQ(FitProblem(r, 3100),
              QStringLiteral("one 64\u00D748 GRAY frame needs 3,072 bytes; the file has 3,000 "
                             "after its file prefix of 100"));
    EXPECT_TRUE(FitProblem(r, 3172).isEmpty());
    r.filePrefix = 7000;
    EXPECT_EQ(FitProblem(r, 6144),
              QStringLiteral("one 64\u00D748 GRAY frame needs 3,072 bytes; the file prefix of "
                             "7,000 leaves nothing of the file's 6,144"));
    const struct {
        int64_t value;
        const char* text;
    } numbers[] = {{0, "0"},
                   {999, "999"},
                   {1000, "1,000"},
                   {691200, "691,200"},
                   {-1234567, "-1,234,567"},
                   {std::numeric_limits<int64_t>::max(), "9,223,372,036,854,775,807"}};
    for (const auto& n : numbers) EXPECT_EQ(GroupedNumber(n.value), QString::fromLatin1(n.text));
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
    EXPECT_EQ(PresetFor(720, 480), 15);
    EXPECT_STREQ(SizePresets()[15].name, "720x480 D1 (525)");
    EXPECT_EQ(PresetFor(721, 480), 0);
    EXPECT_EQ(PresetFor(0, 0), 0);
    EXPECT_EQ(PresetFor(4096, 3112), 2);
    EXPECT_EQ(QString::fromUtf8(SizePresets()[2].name),
              QStringLiteral("4096\u00D73112 (Full Aperture 4K)"));
    EXPECT_EQ(PresetFor(176, 120), kPresetCount - 1);
    // The sizes of current cameras and displays, before HD.
    EXPECT_STREQ(SizePresets()[PresetFor(7680, 4320)].name, "7680x4320 (8K UHD)");
    EXPECT_STREQ(SizePresets()[PresetFor(4096, 2160)].name, "4096x2160 (DCI 4K)");
    EXPECT_STREQ(SizePresets()[PresetFor(3840, 2160)].name, "3840x2160 (UHD)");
    EXPECT_LT(PresetFor(3840, 2160), PresetFor(1920, 1080));
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
    } cases[] = {{"720", 720}, {"  -12abc", -12}, {"+7", 7},
                 {"abc", 0},   {"", 0},           {"99999999999", 2147483647}};
    for (const auto& c : cases)
        EXPECT_EQ(ReadDecimal(QString::fromLatin1(c.text)), c.value) << c.text;
    // With a 64-bit limit: whole numbers past 2^31, saturation instead of wrapping past 2^63.
    constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(ReadDecimal(QStringLiteral("2147483650"), kMax64), 2147483650);
    EXPECT_EQ(ReadDecimal(QStringLiteral("-99999999999999999999"), kMax64), -kMax64);
}

// A typed value is a number only when all of it is one: no letters read as 0, no digits before
// letters read as a number.
TEST(SettingsDecimal, WholeNumbersOnly) {
    const struct {
        const char* text;
        std::optional<int64_t> value;
    } cases[] = {{"720", 720},
                 {" 720 ", 720},
                 {"-40", -40},
                 {"+7", 7},
                 {"abc", std::nullopt},
                 {"", std::nullopt},
                 {" ", std::nullopt},
                 {"-", std::nullopt},
                 {"12abc", std::nullopt},
                 {"1 2", std::nullopt},
                 {"0x10", std::nullopt},
                 {"3.5", std::nullopt},
                 {"99999999999999999999", std::numeric_limits<int64_t>::max()}};
    for (const auto& c : cases)
        EXPECT_EQ(ParseWholeNumber(QString::fromLatin1(c.text)), c.value) << c.text;
    EXPECT_EQ(ParseWholeNumber(QStringLiteral("5000"), 4096), 4096);
}

// The file's start: size and first bytes of a regular file; nothing of a missing or empty file,
// a folder or a named pipe (which must not block the window waiting for a writer).
TEST(SettingsFileStart, ReadsRegularFilesOnly) {
    const QString path = shelltest::FileOfSize(QStringLiteral("start.raw"), 300000);
    FileStart start = ReadFileStart(path, 0, kGuessSampleBytes);
    EXPECT_TRUE(start.usable);
    EXPECT_EQ(start.size, 300000);
    ASSERT_EQ(start.sample.size(), kGuessSampleBytes);
    EXPECT_EQ(start.sample[1], 7);
    start = ReadFileStart(path, 299990, kGuessSampleBytes);  // what is left after a file prefix
    ASSERT_EQ(start.sample.size(), 10u);
    EXPECT_EQ(start.sample[0], static_cast<uint8_t>((299990 % 65536) * 7));
    EXPECT_TRUE(ReadFileStart(path, 0, 0).sample.empty());

    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe.raw"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& p : {shelltest::FileOfSize(QStringLiteral("empty.raw"), 0), dir.path(),
                             pipe, dir.filePath(QStringLiteral("missing.raw"))}) {
        start = ReadFileStart(p, 0, kGuessSampleBytes);
        EXPECT_FALSE(start.usable) << p.toStdString();
        EXPECT_TRUE(start.sample.empty());
    }
}

}  // namespace
