// The command-line parser's layout keywords (its own, ffmpeg's aliases, in any case) and the raw
// settings record it builds from the values and switches.
#include "settings/CommandLine.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

CommandLine Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/Kavlo");
    return ParseCommandLine(args);
}

// ---- keywords ------------------------------------------------------------------------------

struct KeywordCase {
    const char* keyword;
    uint32_t code;
    bool bottomUp;
};
class Keywords : public ::testing::TestWithParam<KeywordCase> {};
TEST_P(Keywords, CodeAndDirection) {
    const KeywordCase c = GetParam();
    CommandLine r = Parse({"-l", c.keyword});
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.bottomUp, c.bottomUp);
    const std::string kw = c.keyword;
    if (kw == "v216" || kw == "v210") return;
    std::string lower = kw;
    for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    r = Parse({"-l" + lower});
    EXPECT_EQ(r.error, "") << lower;
    EXPECT_EQ(r.code, c.code);
}
INSTANTIATE_TEST_SUITE_P(
    Table, Keywords,
    ::testing::Values(
        KeywordCase{"v216", kLayoutV216, false}, KeywordCase{"v210", kLayoutV210, false},
        KeywordCase{"I420", kLayoutI420, false}, KeywordCase{"I420LE16", 768, false},
        KeywordCase{"I420BE16", 769, false}, KeywordCase{"P016", kLayoutP016, false},
        KeywordCase{"P010", kLayoutP010, false}, KeywordCase{"P216", kLayoutP216, false},
        KeywordCase{"P210", kLayoutP210, false}, KeywordCase{"Y216", kLayoutY216, false},
        KeywordCase{"Y210", kLayoutY210, false}, KeywordCase{"YV12", kLayoutYV12, false},
        KeywordCase{"YV16", kLayoutYV16, false}, KeywordCase{"YV24", kLayoutYV24, false},
        KeywordCase{"YUY2", kLayoutYUYV, false}, KeywordCase{"V422", kLayoutYUYV, false},
        KeywordCase{"YUYV", kLayoutYUYV, false}, KeywordCase{"UYVY", kLayoutUYVY, false},
        KeywordCase{"VYUY", kLayoutVYUY, false}, KeywordCase{"RGB3", kLayoutRGB3, false},
        KeywordCase{"BGR3", kLayoutBGR3, true}, KeywordCase{"R24C", kLayoutBGR3, true},
        KeywordCase{"RGB4", kLayoutRGB4, true}, KeywordCase{"BGR4", kLayoutBGR4, true},
        KeywordCase{"R32C", kLayoutBGR4, true}, KeywordCase{"BGRA", kLayoutBGRA, true},
        KeywordCase{"ARGB", kLayoutARGB, false}, KeywordCase{"R565", 0x3536354C, true},
        KeywordCase{"BGR444P", 1024, false}, KeywordCase{"RGB444P", 1025, false},
        KeywordCase{"BGR161616", 1280, false}, KeywordCase{"RGB161616", 1281, false},
        KeywordCase{"BGRA16161616", 1536, false}, KeywordCase{"ARGB16161616", 1537, false},
        KeywordCase{"R555", 0x3535354C, true}, KeywordCase{"VUYA", kLayoutVUYA, false},
        KeywordCase{"AYUV", kLayoutAYUV, false}, KeywordCase{"GRAY", 40, false},
        KeywordCase{"GRAYLE16", 512, false}, KeywordCase{"GRAYBE16", 513, false},
        KeywordCase{"NV12", 0x3231564E, false}, KeywordCase{"NV21", 0x3132564E, false},
        KeywordCase{"NV16", 0x3631564E, false}, KeywordCase{"NV61", 0x3136564E, false},
        KeywordCase{"NV24", 0x3432564E, false}, KeywordCase{"NV42", 0x3234564E, false},
        KeywordCase{"YVYU", 0x55595659, false}),
    [](const ::testing::TestParamInfo<KeywordCase>& p) {
        return std::string(p.param.keyword) + (p.param.keyword[0] == 'v' ? "_lower" : "");
    });

// Keywords differ even without case (all but the first two are matched that way), and every
// row after the stored 40 has the keyword of its own name.
TEST(Keywords, TableHasDistinctKeywords) {
    for (int i = 0; i < kLayoutKeywordCount; ++i)
        for (int j = i + 1; j < kLayoutKeywordCount; ++j)
            EXPECT_STRCASENE(LayoutKeywords()[i].keyword, LayoutKeywords()[j].keyword);
    for (int i = kStoredLayoutCount; i < kLayoutCount; ++i) {
        const PixelLayoutInfo& row = LayoutCatalogue()[i];
        const std::optional<LayoutKeyword> k = FindLayoutKeyword(row.name);
        ASSERT_TRUE(k.has_value()) << row.name;
        EXPECT_EQ(k->code, row.code);
    }
}

// ffmpeg's pixel-format names: any case; a name equal to a keyword is the keyword, with the
// keyword's row direction; the direction of an alias is its own.
TEST(Keywords, AliasesInAnyCaseAndKeywordsWin) {
    struct AliasCase {
        const char* value;
        uint32_t code;
        bool bottomUp;
    };
    for (const AliasCase& c : {
             AliasCase{"yuv420p10le", kLayoutI420LE10, false},
             AliasCase{"YUV420P10LE", kLayoutI420LE10, false},
             AliasCase{"Yuv444P16Be", kLayoutI444BE16, false},
             AliasCase{"yuv420p", kLayoutI420, false},
             AliasCase{"yuv411p", kLayoutY41B, false},
             AliasCase{"p010le", kLayoutP010, false},
             AliasCase{"yuyv422", kLayoutYUYV, false},
             AliasCase{"rgb24", kLayoutRGB3, false},
             AliasCase{"bgr24", kLayoutBGR3, false},  // the row of BGR3, top-down
             AliasCase{"BGR3", kLayoutBGR3, true},
             AliasCase{"bgra", kLayoutBGRA, true},  // the keyword BGRA: bottom-up
             AliasCase{"rgb0", kLayoutRGB4, false},
             AliasCase{"RGB4", kLayoutRGB4, true},
             AliasCase{"0bgr", kLayoutABGR, false},
             AliasCase{"gray", kLayoutGRAY, false},
             AliasCase{"gray16le", kLayoutGRAYLE16, false},
             AliasCase{"V410", kLayoutV410, false},
             AliasCase{"x2rgb10le", kLayoutX2R10G10B10, false},
         }) {
        const CommandLine r = Parse({"-l", c.value});
        EXPECT_EQ(r.error, "") << c.value;
        EXPECT_EQ(r.code, c.code) << c.value;
        EXPECT_EQ(r.bottomUp, c.bottomUp) << c.value;
    }
    for (const char* bad : {"V210", "yuv420p10", "yuv420p10lee", "gbrp16le"}) {
        EXPECT_EQ(Parse({"-l", bad})
                      .error.rfind(
                          "Error: Unknown pixel layout '" + std::string(bad) + "' (nearest: ", 0),
                  0u)
            << bad;
    }
    // No alias could ever be reached if it equalled a keyword, and every alias names a row.
    for (int i = 0; i < kLayoutAliasCount; ++i) {
        const LayoutKeyword& a = LayoutAliases()[i];
        for (int j = 0; j < kLayoutKeywordCount; ++j)
            EXPECT_STRCASENE(a.keyword, LayoutKeywords()[j].keyword);
        EXPECT_TRUE(LayoutIndex(a.code).has_value()) << a.keyword;
        EXPECT_EQ(FindLayoutKeyword(a.keyword)->code, a.code);
    }
}

// Bayer mosaics also go by ffmpeg's names, in any case; its 16-bit ones are the LE16 rows.
TEST(Keywords, FfmpegBayerNames) {
    const std::pair<const char*, uint32_t> names[] = {
        {"bayer_rggb8", kLayoutRGGB},        {"BAYER_BGGR8", kLayoutBGGR},
        {"Bayer_Grbg8", kLayoutGRBG},        {"bayer_gbrg8", kLayoutGBRG},
        {"bayer_rggb16le", kLayoutRGGBLE16}, {"bayer_bggr16le", kLayoutBGGRLE16},
        {"bayer_grbg16LE", kLayoutGRBGLE16}, {"bayer_gbrg16le", kLayoutGBRGLE16},
        {"rggble10", kLayoutRGGBLE10},       {"GBRGLE12", kLayoutGBRGLE12}};
    for (const auto& [name, code] : names) {
        const std::optional<LayoutKeyword> k = FindLayoutKeyword(name);
        ASSERT_TRUE(k.has_value()) << name;
        EXPECT_EQ(k->code, code) << name;
        EXPECT_FALSE(k->bottomUp);
    }
    EXPECT_FALSE(FindLayoutKeyword("bayer_rggb16be").has_value());
    EXPECT_FALSE(FindLayoutKeyword("bayer_rggb10").has_value());
}

// ---- the record ----------------------------------------------------------------------------

TEST(Record, BuiltFromSettings) {
    const CommandLine r = Parse({"-o", "100", "-b", "8", "-e", "4", "-w", "720", "-h", "576", "-l",
                                 "YV12", "-d", "-mv", "-mh", "clip.raw"});
    ASSERT_TRUE(r.hasSettings);
    const RawSettings& s = r.settings;
    EXPECT_EQ(+s.size, 208u);
    EXPECT_EQ(+s.filePrefix, 100);
    EXPECT_EQ(+s.framePrefix, 8u);
    EXPECT_EQ(+s.framePostfix, 4u);
    EXPECT_EQ(+s.fileSize, 0u);
    EXPECT_EQ(+s.trailingBytes, 0);
    EXPECT_EQ(+s.deinterlace, 1);
    EXPECT_EQ(+s.deinterlaceMethod, 0u);
    EXPECT_EQ(+s.mirrorVertical, 1);
    EXPECT_EQ(+s.mirrorHorizontal, 1);
    EXPECT_EQ(+s.frameDuration, 1u);
    EXPECT_EQ(+s.timeScale, 25u);
    EXPECT_EQ(+s.rawFormat.size, 150u);
    EXPECT_EQ(+s.rawFormat.lineBytes, 1080);
    EXPECT_EQ(+s.rawFormat.bitsPerPixel, 12u);
    EXPECT_EQ(+s.rawFormat.colourPrimaries, 5);
    EXPECT_EQ(FrameBytes(s.rawFormat), 622080u);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&s);
    for (int i : {33, 34, 35, 42, 43, 202, 203, 204, 205, 206, 207}) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[4] | bytes[5] << 8, 100);  // little-endian at offset 4
}

// -matrix and -range, in any case, into the record's colour bytes (202 and 203).
TEST(Record, ColourMatrixAndRange) {
    const struct {
        std::vector<std::string> args;
        int matrix, range;
    } cases[] = {{{"-matrix", "709"}, 1, 0},
                 {{"-MATRIX", "2020", "-range", "FULL"}, 2, 1},
                 {{"-matrix", "Auto"}, 3, 0},
                 {{"-range", "full", "-matrix", "601"}, 0, 1},
                 {{"-range", "limited"}, 0, 0}};
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-w", "64", "-h", "48", "-l", "UYVY", "clip.raw"};
        args.insert(args.begin(), c.args.begin(), c.args.end());
        const CommandLine r = Parse(args);
        ASSERT_TRUE(r.error.empty()) << r.error;
        ASSERT_TRUE(r.hasSettings);
        EXPECT_EQ(r.settings.reserved202[0], c.matrix) << c.args[0];
        EXPECT_EQ(r.settings.reserved202[1], c.range) << c.args[0];
    }
    // Without format options the choice waits for the stored settings.
    const CommandLine r = Parse({"-matrix", "709", "clip.raw"});
    EXPECT_TRUE(r.error.empty());
    EXPECT_FALSE(r.hasSettings);
    EXPECT_TRUE(r.colourGiven);
    EXPECT_EQ(r.matrix, kavlo::MatrixChoice::BT709);
}

struct FieldCase {
    const char* what;
    std::vector<std::string> args;
    int count, detail;
};
class RecordFields : public ::testing::TestWithParam<FieldCase> {};
TEST_P(RecordFields, FieldDetail) {
    std::vector<std::string> args = {"-w", "64", "-h", "64", "-l", "UYVY"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    args.push_back("f.raw");
    const CommandLine r = Parse(args);
    ASSERT_TRUE(r.hasSettings);
    EXPECT_EQ(+r.settings.rawFormat.fieldCount, GetParam().count);
    EXPECT_EQ(+r.settings.rawFormat.fieldDetail, GetParam().detail);
}
INSTANTIATE_TEST_SUITE_P(Rules, RecordFields,
                         ::testing::Values(FieldCase{"progressive", {}, 1, 0},
                                           FieldCase{"interlaced", {"-i"}, 2, 9},
                                           FieldCase{"interlaced_seq", {"-i", "-seq"}, 2, 1},
                                           FieldCase{"interlaced_tmp", {"-tmp", "-i"}, 2, 1},
                                           FieldCase{"seq_alone", {"-seq"}, 1, 0}),
                         [](const ::testing::TestParamInfo<FieldCase>& p) { return p.param.what; });

TEST(Record, BottomUpKeywordsNegateThePitch) {
    CommandLine r = Parse({"-w", "64", "-h", "4", "-l", "BGR3", "f"});
    EXPECT_EQ(+r.settings.rawFormat.lineBytes, -192);
    r = Parse({"-w", "64", "-h", "4", "-l", "RGB3", "f"});
    EXPECT_EQ(+r.settings.rawFormat.lineBytes, 192);
    // A given pitch is negated too, and a negative one stays negative.
    r = Parse({"-w", "64", "-h", "4", "-s", "200", "-l", "R565", "f"});
    EXPECT_EQ(+r.settings.rawFormat.lineBytes, -200);
    r = Parse({"-w", "64", "-h", "4", "-s", "-200", "-l", "BGRA", "f"});
    EXPECT_EQ(+r.settings.rawFormat.lineBytes, -200);
    r = Parse({"-w", "64", "-h", "4", "-s", "-200", "-l", "ARGB", "f"});
    EXPECT_EQ(+r.settings.rawFormat.lineBytes, -200);
    // R24C selects BGR3's code: full-range samples, bottom-up rows.
    r = Parse({"-w", "64", "-h", "4", "-l", "r24c", "f"});
    EXPECT_EQ(+r.settings.rawFormat.code, kLayoutBGR3);
    EXPECT_EQ(+r.settings.rawFormat.sampleRange, 1u);
    EXPECT_EQ(+r.settings.rawFormat.lineBytes, -192);
}

TEST(Record, FallbackFillWhenTheBuilderRefuses) {
    // Width 721 cannot give a computed YUY2 pitch.
    CommandLine r = Parse({"-w", "721", "-h", "480", "-l", "YUY2", "-i", "f"});
    ASSERT_TRUE(r.hasSettings);
    const RawVideoFormat& f = r.settings.rawFormat;
    EXPECT_EQ(+f.size, 150u);
    EXPECT_EQ(+f.code, kLayoutYUYV);
    EXPECT_EQ(+f.width, 721);
    EXPECT_EQ(+f.height, 480);
    EXPECT_EQ(+f.bitsPerPixel, 0u);
    EXPECT_EQ(+f.widthMultiple, 1u);
    EXPECT_EQ(+f.heightMultiple, 0u);
    EXPECT_EQ(+f.lineBytes, 0);
    EXPECT_EQ(+f.hResolution, 0x00480000u);
    EXPECT_EQ(+f.vResolution, 0x00480000u);
    EXPECT_EQ(+f.extensionFlags, 2u);
    EXPECT_EQ(+f.fieldCount, 2);
    EXPECT_EQ(+f.fieldDetail, 9);
    EXPECT_EQ(+f.sampleRange, 1u);
    EXPECT_EQ(+f.reserved132, 5u);
    EXPECT_EQ(+f.colourTableId, -1);
    EXPECT_EQ(+f.colourSize, 0u);
    EXPECT_EQ(+f.aspectH, 0u);
    EXPECT_EQ(+r.settings.frameDuration, 1u);

    // No settings at all: the fill keeps zeros for the dialog to complete.
    r = Parse({"-seq", "-s", "77", "-l", "BGR4", "clip.raw"});
    ASSERT_TRUE(r.hasSettings);
    EXPECT_EQ(+r.settings.rawFormat.width, 0);
    EXPECT_EQ(+r.settings.rawFormat.code, kLayoutBGR4);
    EXPECT_EQ(+r.settings.rawFormat.fieldCount, 1);
    EXPECT_EQ(+r.settings.rawFormat.fieldDetail, 1);
    EXPECT_EQ(+r.settings.rawFormat.lineBytes, -77);  // bottom-up applies to the fill too
}

TEST(Record, OnlyWithAFileAndNoError) {
    EXPECT_FALSE(Parse({"-w", "64"}).hasSettings);
    EXPECT_FALSE(Parse({}).hasSettings);
    EXPECT_FALSE(Parse({"-w", "64", "-x", "f"}).hasSettings);
    const CommandLine empty = Parse({""});  // an empty argument names no file
    EXPECT_EQ(empty.fileName, "");
    EXPECT_FALSE(empty.hasSettings);
}

}  // namespace
