// The command-line parser and the raw settings record it builds.
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

// ---- errors ------------------------------------------------------------------------------

struct ErrorCase {
    const char* what;
    std::vector<std::string> args;
    std::string error;
};

class ParseErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParseErrors, StopWithTheText) {
    const CommandLine r = Parse(GetParam().args);
    EXPECT_EQ(r.error, GetParam().error);
    EXPECT_FALSE(r.hasSettings);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ParseErrors,
    ::testing::Values(
        ErrorCase{"dash_alone", {"-"}, "Error: Not enougth arguments."},
        ErrorCase{
            "dash_before_file", {"-w", "720", "-", "clip.raw"}, "Error: Not enougth arguments."},
        ErrorCase{"unknown_letter", {"-x"}, "Error: Unknown setting or option."},
        ErrorCase{"letter_is_case_sensitive", {"-W", "720"}, "Error: Unknown setting or option."},
        ErrorCase{"double_dash", {"--width"}, "Error: Unknown setting or option."},
        ErrorCase{"two_file_names",
                  {"a.raw", "-w", "64", "b.raw"},
                  "Error: More than one file name given."},
        ErrorCase{"open_after_a_file",
                  {"a.raw", "/open", "b.raw"},
                  "Error: More than one file name given."},
        ErrorCase{"negative_offset", {"-o", "-1"}, "Error: Negative offsets are not allowed."},
        ErrorCase{
            "negative_frame_prefix", {"-b-5", "x"}, "Error: Negative offsets are not allowed."},
        ErrorCase{
            "negative_frame_postfix", {"-e", "-5"}, "Error: Negative offsets are not allowed."},
        ErrorCase{"width_missing", {"-w"}, "Error: Wrong or missing width."},
        // A lone -h asks for the usage; after an option that describes a file it is a height.
        ErrorCase{"height_missing", {"-w", "720", "-h"}, "Error: Wrong or missing height."},
        ErrorCase{"height_missing_after_file", {"c.raw", "-h"}, "Error: Wrong or missing height."},
        ErrorCase{"stride_missing", {"-s"}, "Error: Wrong or missing stride."},
        ErrorCase{"layout_missing", {"-l"}, "Error: Unknown pixel layout."},
        // An unknown layout is named with the three catalogue names nearest to it.
        ErrorCase{"layout_unknown",
                  {"-l", "NV99"},
                  "Error: Unknown pixel layout 'NV99' (nearest: NV12, NV21, NV16)."},
        ErrorCase{"layout_typo",
                  {"-l", "I42O", "x.yuv"},
                  "Error: Unknown pixel layout 'I42O' (nearest: I420, I422, V422)."},
        ErrorCase{"v216_upper_case",
                  {"-l", "V216"},
                  "Error: Unknown pixel layout 'V216' (nearest: v216, P216, v210)."},
        ErrorCase{"v210_upper_case",
                  {"-lV210"},
                  "Error: Unknown pixel layout 'V210' (nearest: v210, P210, Y210)."},
        ErrorCase{"layout_with_blank",
                  {"-l", "YV12 "},
                  "Error: Unknown pixel layout 'YV12 ' (nearest: YV12, YV16, YV24)."},
        ErrorCase{"layout_shown_cut",
                  {"-l", std::string(50, 'Q')},
                  "Error: Unknown pixel layout '" + std::string(40, 'Q') +
                      "...' (nearest: YV12, I420, I420LE16)."},
        // The first error ends parsing: the later -x is never reached.
        ErrorCase{"first_error_wins",
                  {"-l", "-x", "-y"},
                  "Error: Unknown pixel layout '-x' (nearest: YV12, I420, YV16)."},
        // A number option's value that is no whole number is named with its option.
        ErrorCase{
            "width_not_a_number", {"-w", "abc", "x.yuv"}, "Error: 'abc' is not a number (-w abc)."},
        ErrorCase{
            "height_attached", {"-h288x", "-w", "x"}, "Error: '288x' is not a number (-h288x)."},
        ErrorCase{"stride_with_blank", {"-s", " 12"}, "Error: ' 12' is not a number (-s  12)."},
        ErrorCase{
            "offset_with_unit", {"-o", "1k", "a.raw"}, "Error: '1k' is not a number (-o 1k)."},
        ErrorCase{"frame_prefix_empty", {"c.raw", "-b", ""}, "Error: -b needs a number."},
        ErrorCase{"frame_postfix_word", {"-e", "x"}, "Error: 'x' is not a number (-e x)."},
        ErrorCase{"atoi_prefix_is_no_number",
                  {"-w", "  +720px"},
                  "Error: '  +720px' is not a number (-w   +720px)."},
        // The next argument is the value whatever it looks like.
        ErrorCase{"next_argument_taken_whatever",
                  {"-w", "-l", "-h", "-seq"},
                  "Error: '-l' is not a number (-w -l)."},
        ErrorCase{"rate_not_a_number", {"-fps", "abc"}, "Error: 'abc' is not a number (-fps abc)."},
        ErrorCase{"rate_empty", {"-fps", "", "x.yuv"}, "Error: -fps needs a number."},
        ErrorCase{"cache_with_unit", {"-cache", "1g"}, "Error: '1g' is not a number (-cache 1g)."},
        ErrorCase{"rate_out_of_range",
                  {"-fps", "1001"},
                  "Error: Wrong or missing frame rate: -fps takes 0.1 to 1000 frames per second."},
        ErrorCase{"rate_missing",
                  {"x.yuv", "-fps"},
                  "Error: Wrong or missing frame rate: -fps takes 0.1 to 1000 frames per second."},
        // Offsets beyond their 32-bit fields are refused, not cut.
        ErrorCase{"file_prefix_too_large", {"-o", "2147483648"}, "Error: Offset too large."},
        ErrorCase{"frame_prefix_too_large", {"-b", "4294967296"}, "Error: Offset too large."},
        ErrorCase{
            "frame_postfix_too_large", {"-e99999999999999999999999"}, "Error: Offset too large."},
        // A negative or oversized size is no size.
        ErrorCase{"negative_width", {"-w", "-5"}, "Error: Wrong or missing width."},
        ErrorCase{"width_beyond_32_bits", {"-w4294967297"}, "Error: Wrong or missing width."},
        ErrorCase{"negative_height", {"-h-2"}, "Error: Wrong or missing height."},
        ErrorCase{"stride_beyond_32_bits", {"-s", "2147483648"}, "Error: Wrong or missing stride."},
        ErrorCase{
            "stride_without_magnitude", {"-s", "-2147483648"}, "Error: Wrong or missing stride."},
        ErrorCase{"tmp_too_long", {"-tmpx"}, "Error: Unknown setting or option."},
        ErrorCase{"t_alone", {"-t"}, "Error: Unknown setting or option."},
        // The colour options name the values they take.
        ErrorCase{"matrix_missing",
                  {"-matrix"},
                  "Error: Wrong or missing colour matrix: -matrix takes 601, 709, 2020 or auto."},
        ErrorCase{"matrix_unknown",
                  {"-matrix", "bt709", "clip.raw"},
                  "Error: Wrong or missing colour matrix: -matrix takes 601, 709, 2020 or auto."},
        ErrorCase{"range_unknown",
                  {"-range", "tv"},
                  "Error: Wrong or missing sample range: -range takes limited or full."},
        ErrorCase{"range_missing",
                  {"-w", "64", "-range"},
                  "Error: Wrong or missing sample range: -range takes limited or full."}),
    [](const ::testing::TestParamInfo<ErrorCase>& p) { return p.param.what; });

// ---- values and switches -------------------------------------------------------------------

TEST(Parse, SettingsThenFile) {
    for (const auto& args :
         {std::vector<std::string>{"-w", "720", "-h", "576", "-l", "UYVY", "clip.raw"},
          std::vector<std::string>{"-w720", "-h576", "-luyvy", "clip.raw"}}) {
        const CommandLine r = Parse(args);
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.fileName, "clip.raw");
        EXPECT_EQ(r.width, 720);
        EXPECT_EQ(r.height, 576);
        EXPECT_EQ(r.code, kLayoutUYVY);
        ASSERT_TRUE(r.hasSettings);
        EXPECT_EQ(+r.settings.rawFormat.code, kLayoutUYVY);
        EXPECT_EQ(+r.settings.rawFormat.lineBytes, 1440);
    }
}

TEST(Parse, OptionsMayFollowTheFileName) {
    const CommandLine before = Parse({"-w", "64", "-h", "48", "-l", "GRAY", "clip.yuv"});
    for (const auto& args :
         {std::vector<std::string>{"clip.yuv", "-w", "64", "-h", "48", "-l", "GRAY"},
          std::vector<std::string>{"-w", "64", "clip.yuv", "-h48", "-lgray"}}) {
        const CommandLine after = Parse(args);
        EXPECT_EQ(after.error, "");
        EXPECT_EQ(after.fileName, "clip.yuv");
        ASSERT_TRUE(after.hasSettings);
        EXPECT_EQ(std::memcmp(&after.settings, &before.settings, sizeof before.settings), 0);
    }
    // Errors after the file name are errors too.
    EXPECT_EQ(Parse({"clip.raw", "-x"}).error, "Error: Unknown setting or option.");
}

TEST(Parse, FileWithoutFormatOptionsHasNoRecord) {
    // What a file manager runs: the file alone, or with switches that say nothing of its layout.
    for (const auto& args :
         {std::vector<std::string>{"clip.raw"}, std::vector<std::string>{"-play", "clip.raw"},
          std::vector<std::string>{"clip.raw", "-d", "-mv"}}) {
        const CommandLine r = Parse(args);
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.fileName, "clip.raw");
        EXPECT_FALSE(r.formatGiven);
        EXPECT_FALSE(r.hasSettings);
    }
    EXPECT_TRUE(Parse({"-i", "clip.raw"}).hasSettings);
    EXPECT_TRUE(Parse({"clip.raw", "-o", "0"}).hasSettings);
}

// A number option's value that is no whole number is an error (ParseErrors); an offset option
// left without a value at the end reads as 0 without one, and is noted so that the tool, which
// takes no number it cannot read, can name it.
TEST(Parse, ValuesThatAreNoNumbersAreNoted) {
    const struct {
        std::vector<std::string> args;
        const char* text;  // NotNumberText; empty: every number was one
    } cases[] = {
        {{"-w", "720", "-h576", "-s", "-1440", "-o", "+8", "-fps", "+30", "c.raw"}, ""},
        {{"c.raw", "-b"}, "-b needs a number"},
        {{"c.raw", "-o"}, "-o needs a number"},
    };
    for (const auto& c : cases) {
        const CommandLine r = Parse(c.args);
        EXPECT_TRUE(r.error.empty()) << r.error;
        EXPECT_EQ(NotNumberText(r), c.text);
    }
    // The error of a value given names the same value as the note.
    CommandLine noted;
    noted.notNumber = "-h288x";
    EXPECT_EQ("Error: " + NotNumberText(noted) + ".", Parse({"-h288x"}).error);
    noted.notNumber = "-w abc";
    EXPECT_EQ("Error: " + NotNumberText(noted) + ".", Parse({"-w", "abc"}).error);
}

// Nearest names: by edit distance without regard to case, ties in catalogue order.
TEST(Parse, NearestLayoutNames) {
    const struct {
        const char* typed;
        std::vector<std::string> nearest;
    } cases[] = {
        {"i420", {"I420", "I422", "I440"}},  // the name itself in another case first
        {"I42O", {"I420", "I422", "V422"}},
        {"GRAY8", {"GRAY", "BGRA", "GRBG"}},  // one insertion before three changes
        {"nv2", {"NV12", "NV21", "NV24"}},
        {"", {"YV12", "I420", "YV16"}},  // the shortest names, in catalogue order
    };
    for (const auto& c : cases) EXPECT_EQ(NearestLayoutNames(c.typed, 3), c.nearest) << c.typed;
    EXPECT_EQ(NearestLayoutNames("I420", 1), std::vector<std::string>{"I420"});
    EXPECT_EQ(NearestLayoutNames("x", 1000).size(), size_t(kLayoutCount));
}

TEST(Parse, HelpRequests) {
    for (const char* request : {"-help", "--help", "-?", "-HELP"}) {
        const CommandLine r = Parse({request});
        EXPECT_TRUE(r.help) << request;
        EXPECT_EQ(r.error, "") << request;
        EXPECT_EQ(r.height, 0) << request;  // "-help" is not -h with the value "elp"
    }
    const CommandLine r = Parse({"-help", "-play"});
    EXPECT_TRUE(r.help);
    EXPECT_TRUE(r.play);
    EXPECT_EQ(r.helpSwitch, "-help");
    EXPECT_FALSE(Parse({"-hel"}).help);
    // -h last asks for the usage while nothing before it describes a file; else it is a height.
    for (const auto& args : {std::vector<std::string>{"-h"}, {"-play", "-h"}, {"-mv", "-h"}}) {
        const CommandLine h = Parse(args);
        EXPECT_TRUE(h.help);
        EXPECT_EQ(h.helpSwitch, "-h");
        EXPECT_EQ(h.error, "");
    }
    for (const auto& args : {std::vector<std::string>{"-h", "576"}, {"-l", "GRAY", "-h"}})
        EXPECT_FALSE(Parse(args).help);
    EXPECT_EQ(Parse({"-h", "576"}).height, 576);
    EXPECT_TRUE(Parse({"--version"}).version);
    EXPECT_TRUE(Parse({"-w", "8", "--VERSION", "x.raw"}).version);
    EXPECT_FALSE(Parse({"-version"}).version);
}

TEST(Parse, OpenTarget) {
    CommandLine r = Parse({"/OPEN", "a.raw", "-x"});
    ASSERT_TRUE(r.openTarget.has_value());
    EXPECT_EQ(*r.openTarget, "a.raw");
    EXPECT_EQ(r.error, "");
    EXPECT_FALSE(r.hasSettings);
    EXPECT_EQ(r.fileName, "");
    // Options before it still apply; a target may look like an option.
    r = Parse({"-i", "/open", "-w"});
    EXPECT_TRUE(r.interlaced);
    EXPECT_EQ(*r.openTarget, "-w");
    // "/open" as the last argument names no file (a desktop started "Kavlo /open %f" without
    // one), rather than a file called "/open".
    r = Parse({"/open"});
    ASSERT_TRUE(r.openTarget.has_value());
    EXPECT_EQ(*r.openTarget, "");
    EXPECT_EQ(r.fileName, "");
    EXPECT_EQ(r.error, "");
}

// -play counts wherever it stands, also after an error or "/open" stopped the parse: a run for
// a script then reports on standard error instead of waiting in a window.
struct PlayCase {
    const char* what;
    std::vector<std::string> args;
    bool play;
};

class PlaySwitch : public ::testing::TestWithParam<PlayCase> {};

TEST_P(PlaySwitch, FoundAnywhere) { EXPECT_EQ(Parse(GetParam().args).play, GetParam().play); }

INSTANTIATE_TEST_SUITE_P(
    Rules, PlaySwitch,
    ::testing::Values(PlayCase{"before_the_file", {"-play", "f.yuv"}, true},
                      PlayCase{"after_a_bad_rate", {"-fps", "0", "-play", "f.yuv"}, true},
                      PlayCase{"after_a_bad_layout", {"-l", "foo", "-play", "f.yuv"}, true},
                      PlayCase{"after_open", {"/open", "f.y4m", "-play"}, true},
                      PlayCase{"capital_p_is_no_play", {"a.raw", "-PLAY"}, false},
                      PlayCase{"letters_in_any_case", {"a.raw", "b.raw", "-pLaY"}, true},
                      PlayCase{"longer_is_ignored", {"-playing", "f.yuv"}, false}),
    [](const ::testing::TestParamInfo<PlayCase>& p) { return p.param.what; });

struct ValueCase {
    const char* what;
    std::vector<std::string> args;
    int64_t filePrefix, framePrefix, framePostfix;
    int32_t width, height, lineBytes;
};
class ParseValues : public ::testing::TestWithParam<ValueCase> {};
TEST_P(ParseValues, Read) {
    const ValueCase c = GetParam();
    const CommandLine r = Parse(c.args);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.filePrefix, c.filePrefix);
    EXPECT_EQ(r.framePrefix, c.framePrefix);
    EXPECT_EQ(r.framePostfix, c.framePostfix);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.lineBytes, c.lineBytes);
}
INSTANTIATE_TEST_SUITE_P(
    Rules, ParseValues,
    ::testing::Values(
        ValueCase{"last_offset_wins", {"-o", "100", "-o", "200"}, 200, 0, 0, 0, 0, 0},
        ValueCase{"each_offset_its_field", {"-o1", "-b2", "-e", "3"}, 1, 2, 3, 0, 0, 0},
        ValueCase{"offset_last_reads_option_text", {"-o"}, 0, 0, 0, 0, 0, 0},
        ValueCase{"frame_prefix_last", {"-o5", "-b"}, 5, 0, 0, 0, 0, 0},
        ValueCase{"largest_offsets",
                  {"-o2147483647", "-b4294967295", "-e4294967295"},
                  2147483647,
                  4294967295,
                  4294967295,
                  0,
                  0,
                  0},
        ValueCase{"sign_digits", {"-w", "+720", "-h", "576"}, 0, 0, 0, 720, 576, 0},
        ValueCase{"next_argument_taken_whatever", {"-w", "-0", "-h", "-0"}, 0, 0, 0, 0, 0, 0},
        ValueCase{"stride_attached", {"-s12"}, 0, 0, 0, 0, 0, 12},
        ValueCase{"stride_negative", {"-s", "-1440"}, 0, 0, 0, 0, 0, -1440},
        ValueCase{"stride_then_seq", {"-s", "1440", "-seq"}, 0, 0, 0, 0, 0, 1440},
        ValueCase{"seq_consumes_nothing", {"-seq", "-w", "8"}, 0, 0, 0, 8, 0, 0}),
    [](const ::testing::TestParamInfo<ValueCase>& p) { return p.param.what; });

struct SwitchCase {
    const char* what;
    std::vector<std::string> args;
    bool interlaced, sequence, deinterlace, mirrorV, mirrorH, play;
};
class ParseSwitches : public ::testing::TestWithParam<SwitchCase> {};
TEST_P(ParseSwitches, Set) {
    const SwitchCase c = GetParam();
    const CommandLine r = Parse(c.args);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.interlaced, c.interlaced);
    EXPECT_EQ(r.fieldSequence, c.sequence);
    EXPECT_EQ(r.deinterlace, c.deinterlace);
    EXPECT_EQ(r.mirrorVertical, c.mirrorV);
    EXPECT_EQ(r.mirrorHorizontal, c.mirrorH);
    EXPECT_EQ(r.play, c.play);
}
INSTANTIATE_TEST_SUITE_P(
    Rules, ParseSwitches,
    ::testing::Values(
        SwitchCase{"none", {"clip.raw"}, false, false, false, false, false, false},
        SwitchCase{"i_exactly", {"-i"}, true, false, false, false, false, false},
        SwitchCase{"i_longer_ignored", {"-ix"}, false, false, false, false, false, false},
        SwitchCase{"d_exactly", {"-d"}, false, false, true, false, false, false},
        SwitchCase{"d_longer_ignored", {"-dx"}, false, false, false, false, false, false},
        SwitchCase{"seq_any_case", {"-sEQ"}, false, true, false, false, false, false},
        SwitchCase{"tmp", {"-tmp"}, false, true, false, false, false, false},
        SwitchCase{"tmp_any_case", {"-tMP"}, false, true, false, false, false, false},
        SwitchCase{"mirror_v", {"-mv"}, false, false, false, true, false, false},
        SwitchCase{"mirror_h_upper", {"-mH"}, false, false, false, false, true, false},
        SwitchCase{"mirror_other_ignored",
                   {"-mx", "-mvv", "-m"},
                   false,
                   false,
                   false,
                   false,
                   false,
                   false},
        SwitchCase{"play_any_case", {"-pLAY"}, false, false, false, false, false, true},
        SwitchCase{"play_other_ignored",
                   {"-plays", "-p", "-pl"},
                   false,
                   false,
                   false,
                   false,
                   false,
                   false},
        SwitchCase{"all",
                   {"-i", "-tmp", "-d", "-mv", "-mh", "-play", "f"},
                   true,
                   true,
                   true,
                   true,
                   true,
                   true}),
    [](const ::testing::TestParamInfo<SwitchCase>& p) { return p.param.what; });

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
    for (const char* bad : {"V210", "yuv420p10", "yuv420p10lee", "gbrp16le"})
        EXPECT_EQ(Parse({"-l", bad})
                      .error.rfind(
                          "Error: Unknown pixel layout '" + std::string(bad) + "' (nearest: ", 0),
                  0u)
            << bad;
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

// ---- bounds --------------------------------------------------------------------------------

TEST(Bounds, NeverReadsPastTheList) {
    // Each list ends where an option would take the next argument.
    const std::vector<std::vector<std::string>> lists = {
        {"-o"}, {"-b"}, {"-e"},    {"-w"},          {"-h"},
        {"-s"}, {"-l"}, {"/open"}, {"-i", "/OPEN"}, {"-w", "1", "-h"},
        {"f"},  {}};
    for (const auto& l : lists) {
        // An exact-size heap copy: reading one element too far is an AddressSanitizer report.
        std::vector<std::string> args(l.size() + 1);
        args[0] = "prog";
        std::copy(l.begin(), l.end(), args.begin() + 1);
        args.shrink_to_fit();
        const CommandLine r = ParseCommandLine(args);
        (void)r;
    }
    EXPECT_EQ(ParseCommandLine({}).error, "");
    EXPECT_EQ(ParseCommandLine({"prog"}).fileName, "");
}

TEST(Bounds, EmbeddedNulEndsAnArgument) {
    // Arguments are C strings: "-l\0x" is "-l", which takes the next argument as its value.
    const CommandLine r = Parse({std::string("-l\0x", 4), std::string("yv12\0zz", 7), "f"});
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.code, kLayoutYV12);
    EXPECT_EQ(r.fileName, "f");
    const CommandLine s = Parse({std::string("-w7\0"
                                             "2",
                                             5),
                                 std::string("\0f", 2)});
    EXPECT_EQ(s.width, 7);
    EXPECT_EQ(s.fileName, "");
}

}  // namespace
