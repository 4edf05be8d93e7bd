// The command-line parser: its errors, values and switches, and the bounds of the argument list.
// The layout keywords and the record it builds: CommandLineRecordTest.cpp.
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
