// The frame-size guess: real-world file sizes, with and without the file's first bytes.
#include "settings/FrameSizeGuess.h"

#include "settings/FileNameHints.h"

#include "clipgen/ClipGen.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace {

using namespace rawsettings;

// The bytes of one frame of the layout at its own pitch.
int64_t FrameBytesOf(uint32_t code, int32_t width, int32_t height) {
    RawVideoFormat format{};
    EXPECT_TRUE(BuildRawVideoFormat(format, width, height, code, 0, -1));
    return static_cast<int64_t>(FrameBytes(format));
}

// The first bytes of a frame holding a camera-like picture, packed in the layout: as much as the
// guess reads of a file. The picture is smooth but not periodic (random values on a 24-pixel grid,
// interpolated) with a little noise, so that rows match only their true neighbours.
constexpr size_t kSampleBytes = 256 * 1024;
std::vector<uint8_t> PictureSample(uint32_t code, int32_t width, int32_t height) {
    clipgen::RgbPicture picture;
    picture.width = width;
    picture.height =
        std::min<int32_t>(height, (static_cast<int32_t>(kSampleBytes) / width + 4) & ~3);
    picture.rgb.resize(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) *
                       3);
    constexpr int32_t kCell = 24;
    const int32_t gridW = width / kCell + 2;
    uint32_t state = 2463534242u;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    std::vector<int> grid(static_cast<size_t>(gridW) *
                          static_cast<size_t>(picture.height / kCell + 2));
    for (int& g : grid) g = static_cast<int>(next() % 200) + 20;
    for (int32_t y = 0; y < picture.height; ++y) {
        const int32_t gy = y / kCell, fy = y % kCell;
        for (int32_t x = 0; x < picture.width; ++x) {
            const int32_t gx = x / kCell, fx = x % kCell;
            const auto at = [&](int32_t i, int32_t j) {
                return grid[static_cast<size_t>(j) * static_cast<size_t>(gridW) +
                            static_cast<size_t>(i)];
            };
            const int top = at(gx, gy) * (kCell - fx) + at(gx + 1, gy) * fx;
            const int bottom = at(gx, gy + 1) * (kCell - fx) + at(gx + 1, gy + 1) * fx;
            const int v = (top * (kCell - fy) + bottom * fy) / (kCell * kCell);
            const int n = static_cast<int>(next() % 5);
            uint8_t* p = picture.At(x, y);
            p[0] = static_cast<uint8_t>(v + n);
            p[1] = static_cast<uint8_t>((v * 3) / 4 + 30 + n);
            p[2] = static_cast<uint8_t>(250 - v - n);
        }
    }
    RawVideoFormat format{};
    EXPECT_TRUE(BuildRawVideoFormat(format, width, picture.height, code, 0, -1));
    std::vector<uint8_t> frame;
    EXPECT_TRUE(clipgen::PackPicture(code, picture, format.lineBytes,
                                     clipgen::FieldMode::Progressive, frame));
    frame.resize(std::min(frame.size(), kSampleBytes));
    return frame;
}

// "1920x1080 I420, 5 frames + 64": what a user reads of a guess.
std::string Describe(const FrameSizeGuess& g) {
    return std::to_string(g.width) + "x" + std::to_string(g.height) + " " + LayoutName(g.code) +
           ", " + std::to_string(g.frames) + " frames + " + std::to_string(g.restBytes);
}

struct RealFile {
    const char* what;
    uint32_t code;
    int32_t width, height;
    int64_t frames;
    int64_t header = 0;  // bytes the file holds beyond its frames
};

const RealFile kRealFiles[] = {
    {"QCIF test sequence, 300 frames", kLayoutI420, 176, 144, 300},
    {"CIF test sequence, 300 frames", kLayoutI420, 352, 288, 300},
    {"CIF test sequence, 150 frames", kLayoutI420, 352, 288, 150},
    {"4CIF frame", kLayoutI420, 704, 576, 1},
    {"HD 1080 test sequence, 500 frames", kLayoutI420, 1920, 1080, 500},
    {"five HD 1080 frames", kLayoutI420, 1920, 1080, 5},
    {"five HD 1080 frames behind a 64-byte header", kLayoutI420, 1920, 1080, 5, 64},
    {"HD 720 test sequence, 500 frames", kLayoutI420, 1280, 720, 500},
    {"UHD sequence, 600 frames", kLayoutI420, 3840, 2160, 600},
    {"UHD frame", kLayoutI420, 3840, 2160, 1},
    {"8K frame", kLayoutI420, 7680, 4320, 1},
    {"8K DCI-wide frame", kLayoutI420, 8192, 4320, 1},
    {"4K DCI frame", kLayoutI420, 4096, 2160, 1},
    {"2K DCI reel, 24 frames", kLayoutI420, 2048, 1080, 24},
    {"HDV 1440 frame", kLayoutI420, 1440, 1080, 1},
    {"WUXGA screen capture", kLayoutI420, 1920, 1200, 1},
    {"PAL sequence, 250 frames", kLayoutI420, 720, 576, 250},
    {"NTSC frame", kLayoutI420, 720, 480, 1},
    {"VGA webcam frame", kLayoutI420, 640, 480, 1},
    {"capture card HD frame", kLayoutUYVY, 1920, 1080, 1},
    {"capture card HD clip, 100 frames", kLayoutUYVY, 1920, 1080, 100},
    {"capture card UHD frame", kLayoutUYVY, 3840, 2160, 1},
    {"HD 720 capture, 60 frames", kLayoutUYVY, 1280, 720, 60},
    {"PAL capture frame", kLayoutUYVY, 720, 576, 1},
    {"PAL capture, 100 frames", kLayoutUYVY, 720, 576, 100},
    {"NTSC capture, 299 frames", kLayoutUYVY, 720, 480, 299},
    {"HD 10-bit SDI frame", kLayoutV210, 1920, 1080, 1},
    {"UHD 10-bit SDI frame", kLayoutV210, 3840, 2160, 1},
    {"NTSC 486-line 10-bit SDI frame", kLayoutV210, 720, 486, 1},
    {"HD decoder output, 7 frames", kLayoutP010, 1920, 1080, 7},
    {"UHD decoder output frame", kLayoutP010, 3840, 2160, 1},
    {"8K decoder output frame", kLayoutP010, 7680, 4320, 1},
    {"HD R'G'B' frame", kLayoutBGR3, 1920, 1080, 1},
    {"VGA R'G'B' frame", kLayoutBGR3, 640, 480, 1},
    {"HD frame with alpha", kLayoutBGRA, 1920, 1080, 1},
    {"QHD frame with alpha", kLayoutBGRA, 2560, 1440, 1},
    {"SXGA frame with alpha", kLayoutBGRA, 1280, 1024, 1},
    {"HD 720 grey sensor frame", kLayoutGRAY, 1280, 720, 1},
    // Small files: a test pattern or a crop is one picture, not thousands of tiny frames.
    {"64x64 test frame", kLayoutI420, 64, 64, 1},
    {"ten 64x64 test frames", kLayoutI420, 64, 64, 10},
    {"32x32 test frame", kLayoutI420, 32, 32, 1},
    {"16x16 grey tile", kLayoutGRAY, 16, 16, 1},
    {"128x128 test frame", kLayoutI420, 128, 128, 1},
    {"128x128 R'G'B' icon", kLayoutBGR3, 128, 128, 1},
    {"256x256 grey sensor crop", kLayoutGRAY, 256, 256, 1},
    {"512x512 test frame", kLayoutI420, 512, 512, 1},
    {"64x64 capture frame", kLayoutUYVY, 64, 64, 1},
    {"96x96 thumbnail", kLayoutI420, 96, 96, 1},
    {"80x60 thermal sensor frame", kLayoutGRAY, 80, 60, 1},
};

// With the file's first bytes, every real file is read as what it is.
TEST(FrameSizeGuess, RealFilesAreReadAsWhatTheyAre) {
    for (const RealFile& f : kRealFiles) {
        SCOPED_TRACE(f.what);
        const int64_t size = FrameBytesOf(f.code, f.width, f.height) * f.frames + f.header;
        const std::vector<uint8_t> sample = PictureSample(f.code, f.width, f.height);
        const std::vector<FrameSizeGuess> guesses =
            RankFrameSizeGuesses(size, {}, sample.data(), sample.size());
        ASSERT_FALSE(guesses.empty());
        EXPECT_EQ(Describe(guesses[0]),
                  Describe({f.width, f.height, f.code, 0, f.frames, f.header}));
    }
}

// From the size alone: whole frames first, then the more common size and layout.
TEST(FrameSizeGuess, SizeAloneRanksWholeFramesAndCommonSizesFirst) {
    struct Case {
        int64_t size;
        int32_t width, height;
        uint32_t code;
        int64_t frames, rest;
    } const cases[] = {
        {15552000, 1920, 1080, kLayoutI420, 5, 0},  // also 25 PAL frames: HD is more common
        {829440, 720, 576, kLayoutUYVY, 1, 0},
        {4147200, 1920, 1080, kLayoutUYVY, 1, 0},   // also three 720p I420 frames
        {622080 + 7, 720, 576, kLayoutI420, 1, 7},  // no reading without rest: the common size
        {38016, 176, 144, kLayoutI420, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::vector<FrameSizeGuess> guesses = RankFrameSizeGuesses(c.size);
        ASSERT_FALSE(guesses.empty());
        EXPECT_EQ(Describe(guesses[0]), Describe({c.width, c.height, c.code, 0, c.frames, c.rest}));
    }
    // One 64x64 I420 frame: that picture, not a strip of grey rows.
    ASSERT_FALSE(RankFrameSizeGuesses(6144).empty());
    EXPECT_EQ(Describe(RankFrameSizeGuesses(6144)[0]), "64x64 I420, 1 frames + 0");
    // Below the smallest frame of the table (16x16 grey), and empty files: nothing to propose.
    EXPECT_TRUE(RankFrameSizeGuesses(255).empty());
    EXPECT_TRUE(RankFrameSizeGuesses(0).empty());
    EXPECT_TRUE(RankFrameSizeGuesses(-5).empty());
}

TEST(FrameSizeGuess, KnownFactsNarrowTheReadings) {
    const int64_t size = 1920LL * 1080 * 2 * 10;
    GuessConstraints known;
    known.code = kLayoutGRAY;
    std::vector<FrameSizeGuess> guesses = RankFrameSizeGuesses(size, known);
    ASSERT_FALSE(guesses.empty());
    for (const FrameSizeGuess& g : guesses) EXPECT_EQ(g.code, kLayoutGRAY);
    EXPECT_EQ(guesses[0].width, 1920);
    EXPECT_EQ(guesses[0].frames, 20);

    // NV12 frames are as large as I420 ones: proposed when named, after I420 when not.
    known = {};
    known.code = kLayoutNV12;
    guesses = RankFrameSizeGuesses(1920LL * 1080 * 3 / 2 * 5, known);
    ASSERT_FALSE(guesses.empty());
    EXPECT_EQ(Describe(guesses[0]), Describe({1920, 1080, kLayoutNV12, 0, 5, 0}));
    guesses = RankFrameSizeGuesses(1920LL * 1080 * 3 / 2 * 5);
    const auto rank = [&](uint32_t code) {
        return std::find_if(
                   guesses.begin(), guesses.end(),
                   [&](const FrameSizeGuess& g) { return g.code == code && g.width == 1920; }) -
               guesses.begin();
    };
    EXPECT_EQ(rank(kLayoutI420), 0);
    EXPECT_LT(rank(kLayoutNV12), std::ptrdiff_t(guesses.size()));
    EXPECT_LT(rank(kLayoutYV12), rank(kLayoutNV12));

    // A size outside the table, given by name, is still proposed; the file prefix is skipped.
    known = {};
    known.width = 100;
    known.height = 50;
    known.filePrefix = 16;
    guesses = RankFrameSizeGuesses(16 + 100 * 50 * 3, known);
    ASSERT_FALSE(guesses.empty());
    EXPECT_EQ(guesses[0].width, 100);
    EXPECT_EQ(guesses[0].height, 50);
    EXPECT_EQ(guesses[0].restBytes, 0);
    EXPECT_EQ(guesses[0].frameBytes * guesses[0].frames, 100 * 50 * 3);
}

TEST(FrameSizeGuess, PictureContinuityFindsThePitchAndLayoutOfAPicture) {
    const std::vector<uint8_t> sample = PictureSample(kLayoutUYVY, 720, 576);
    const double right = PictureContinuity(sample.data(), sample.size(), kLayoutUYVY, 1440);
    EXPECT_GE(right, 0.0);
    // A wrong pitch, a wrong layout at the right pitch, a row read as two.
    EXPECT_LT(right * 2, PictureContinuity(sample.data(), sample.size(), kLayoutUYVY, 1500));
    EXPECT_LT(right * 2, PictureContinuity(sample.data(), sample.size(), kLayoutGRAY, 1440));
    EXPECT_LT(right * 2, PictureContinuity(sample.data(), sample.size(), kLayoutI420, 720));
    // 8-bit samples read in pairs as 16-bit words: the low bytes form a picture.
    EXPECT_GT(PictureContinuity(sample.data(), sample.size(), kLayoutGRAYLE16, 1440), 1e6);
    // Fewer than two rows, nothing to read, an unknown layout: unknown.
    EXPECT_LT(PictureContinuity(sample.data(), 1000, kLayoutUYVY, 1440), 0.0);
    EXPECT_LT(PictureContinuity(nullptr, 0, kLayoutUYVY, 1440), 0.0);
    EXPECT_LT(PictureContinuity(sample.data(), sample.size(), kLayoutUYVY, 0), 0.0);
    EXPECT_LT(PictureContinuity(sample.data(), sample.size(), 0x12345678, 1440), 0.0);
}

// A padded buffer: the rows of a picture at the layout's own pitch, each followed by padding up
// to `pitch` bytes (noise, as a capture buffer's unused bytes may hold), as much as the guess
// reads.
std::vector<uint8_t> PaddedSample(const std::vector<uint8_t>& tight, size_t rowBytes,
                                  size_t pitch) {
    std::vector<uint8_t> out;
    uint32_t state = 88172645u;
    for (size_t r = 0; (r + 1) * rowBytes <= tight.size() && out.size() < kSampleBytes; ++r) {
        out.insert(out.end(), tight.begin() + static_cast<ptrdiff_t>(r * rowBytes),
                   tight.begin() + static_cast<ptrdiff_t>((r + 1) * rowBytes));
        for (size_t i = rowBytes; i < pitch; ++i) {
            state = state * 1664525u + 1013904223u;
            out.push_back(static_cast<uint8_t>(state >> 24));
        }
    }
    out.resize(std::min(out.size(), kSampleBytes));
    return out;
}

struct PaddedCase {
    uint32_t code;
    int32_t width;
    int32_t pitch;
};

class PaddedBuffer : public ::testing::TestWithParam<PaddedCase> {};

// The pitch at which the rows line up is proposed when the frames at it divide the file; a tight
// picture, a file the padded frames do not divide and a planar layout get no proposal.
TEST_P(PaddedBuffer, ThePitchTheRowsLineUpAtIsProposed) {
    const PaddedCase c = GetParam();
    const int32_t height = 1080;
    const std::vector<uint8_t> tight = PictureSample(c.code, c.width, height);
    const size_t rowBytes = MinRowBytes(c.code, c.width);
    const std::vector<uint8_t> padded = PaddedSample(tight, rowBytes, static_cast<size_t>(c.pitch));
    const int64_t frames3 = 3 * int64_t{c.pitch} * height;
    EXPECT_EQ(ProposeLinePitch(padded.data(), padded.size(), c.code, c.width, height, frames3),
              c.pitch);
    EXPECT_EQ(ProposeLinePitch(padded.data(), padded.size(), c.code, c.width, height, 0), c.pitch);
    EXPECT_EQ(ProposeLinePitch(padded.data(), padded.size(), c.code, c.width, height, frames3 + 1),
              0);
    EXPECT_EQ(ProposeLinePitch(tight.data(), tight.size(), c.code, c.width, height, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(FrameSizeGuess, PaddedBuffer,
                         ::testing::Values(PaddedCase{kLayoutGRAY, 1920, 4096},
                                           PaddedCase{kLayoutUYVY, 720, 2048},
                                           PaddedCase{kLayoutBGR3, 1000, 3072},
                                           PaddedCase{kLayoutGRAYLE16, 1000, 2048}));

TEST(FrameSizeGuess, PlanarLayoutsAndUnmeasurableSamplesGetNoPitch) {
    const std::vector<uint8_t> tight = PictureSample(kLayoutI420, 1920, 1080);
    EXPECT_EQ(ProposeLinePitch(tight.data(), tight.size(), kLayoutI420, 1920, 1080, 0), 0);
    EXPECT_EQ(ProposeLinePitch(nullptr, 0, kLayoutGRAY, 1920, 1080, 0), 0);
    EXPECT_EQ(ProposeLinePitch(tight.data(), 3000, kLayoutGRAY, 1920, 1080, 0), 0);
    const std::vector<uint8_t> flat(kSampleBytes, 128);
    EXPECT_EQ(ProposeLinePitch(flat.data(), flat.size(), kLayoutGRAY, 1920, 1080, 0), 0);
}

// The constraints a file name gives, as the settings dialog passes them.
GuessConstraints FromName(const char* name) {
    const FileNameHints h = ReadFileNameHints(name);
    GuessConstraints c;
    c.preferredWidth = h.width;
    c.preferredHeight = h.height;
    c.preferredCodes = h.codes;
    return c;
}

// A name's size and layout win when the file holds whole frames of them, and fall back to what
// the file's size says when it does not, saying so.
TEST(FrameSizeGuess, NamesArePreferencesThatFallBackWhenTheFileDisagrees) {
    struct Case {
        const char* name;
        int64_t fileSize;
        std::string expected;
        bool sizeUsed, codesUsed;
    };
    const int64_t hdI420 = FrameBytesOf(kLayoutI420, 1920, 1080);
    const Case kCases[] = {
        {"BQTerrace_1920x1080_60.yuv", 10 * hdI420, "1920x1080 I420, 10 frames + 0", true, false},
        // Five HD UYVY frames are 25 PAL ones: the name decides.
        {"pal_720x576.uyvy", 5 * FrameBytesOf(kLayoutUYVY, 1920, 1080),
         "720x576 UYVY, 25 frames + 0", true, true},
        {"hd_frames_1920x1080.uyvy", 5 * FrameBytesOf(kLayoutUYVY, 1920, 1080),
         "1920x1080 UYVY, 5 frames + 0", true, true},
        // No 720p frame of any layout divides ten HD I420 frames: the name's size is not used.
        {"clip_1280x720.yuv", 10 * hdI420, "1920x1080 I420, 10 frames + 0", false, false},
        // The size fits, UYVY does not: the size is used, the layout falls back.
        {"clip_1920x1080_uyvy.raw", 3 * hdI420, "1920x1080 I420, 3 frames + 0", true, false},
        {"cam0/2023-10-08_1080p30_nv12.bin", 4 * hdI420, "1920x1080 NV12, 4 frames + 0", true,
         true},
        // A size the common table lacks.
        {"RaceHorses_416x240_30.yuv", 10 * FrameBytesOf(kLayoutI420, 416, 240),
         "416x240 I420, 10 frames + 0", true, false},
        // Rest bytes everywhere: the name's size still holds a frame, so it is used.
        {"clip_1280x720.yuv", 10 * hdI420 + 7,
         "1280x720 I420, 22 frames + " + std::to_string(10 * hdI420 + 7 - 22 * 1382400), true,
         false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        PreferencesUsed used;
        const std::vector<FrameSizeGuess> guesses =
            RankFrameSizeGuesses(c.fileSize, FromName(c.name), nullptr, 0, &used);
        ASSERT_FALSE(guesses.empty());
        EXPECT_EQ(Describe(guesses[0]), c.expected);
        EXPECT_EQ(used.size, c.sizeUsed);
        EXPECT_EQ(used.codes, c.codesUsed);
    }
}

// "10bit" and a size: the 10-bit 4:2:0 layouts come first, and the picture tells the low-bit
// planar layout from P010, whose samples sit in the high bits.
TEST(FrameSizeGuess, TenBitNameLetsThePictureChooseBetweenTenBitLayouts) {
    const GuessConstraints c = FromName("clip_1920x1080_10bit.yuv");
    const int64_t size = 3 * FrameBytesOf(kLayoutP010, 1920, 1080);
    std::vector<FrameSizeGuess> guesses = RankFrameSizeGuesses(size, c);
    ASSERT_FALSE(guesses.empty());
    const std::string first = LayoutName(guesses[0].code);
    EXPECT_TRUE(first == "I420LE10" || first == "P010") << first;
    const std::optional<uint32_t> lowBits = LayoutCodeByName("I420LE10");
    if (!lowBits) GTEST_SKIP() << "the catalogue lacks I420LE10";
    for (const uint32_t code : {*lowBits, uint32_t{kLayoutP010}}) {
        SCOPED_TRACE(LayoutName(code));
        const std::vector<uint8_t> sample = PictureSample(code, 1920, 1080);
        guesses = RankFrameSizeGuesses(size, c, sample.data(), sample.size());
        ASSERT_FALSE(guesses.empty());
        EXPECT_EQ(LayoutName(guesses[0].code), LayoutName(code));
    }
}

}  // namespace
