// Text for a terminal: control bytes and broken UTF-8 escaped, printable text kept.
#include "settings/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TerminalCase {
    const char* what;
    std::string in;
    std::string out;
};

class TerminalText : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(TerminalText, EscapesWhatCouldDriveTheTerminal) {
    EXPECT_EQ(kavlo::TerminalSafeText(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, TerminalText,
    ::testing::Values(
        TerminalCase{"plain", "clip 1.yuv: No such file", "clip 1.yuv: No such file"},
        TerminalCase{"title_sequence", "a\x1b]0;owned\x07.yuv", "a\\x1B]0;owned\\x07.yuv"},
        TerminalCase{"csi_and_cr", "x\x1b[2K\ry", "x\\x1B[2K\\x0Dy"},
        TerminalCase{"tab_del_nul",
                     std::string("a\tb\x7f"
                                 "c\0d",
                                 7),
                     "a\\x09b\\x7Fc\\x00d"},
        TerminalCase{"line_feed_kept", "one\ntwo", "one\ntwo"},
        TerminalCase{"utf8_kept", "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac \xf0\x9f\x8e\xac",
                     "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac \xf0\x9f\x8e\xac"},
        TerminalCase{"c1_csi",
                     "a\xc2\x9b"
                     "31mb",
                     "a\\xC2\\x9B31mb"},
        TerminalCase{"latin1_byte", "caf\xe9.yuv", "caf\\xE9.yuv"},
        TerminalCase{"overlong_slash", "\xc0\xaf", "\\xC0\\xAF"},
        TerminalCase{"surrogate", "\xed\xa0\x80", "\\xED\\xA0\\x80"},
        TerminalCase{"cut_sequence", "\xe2\x82", "\\xE2\\x82"},
        TerminalCase{"above_unicode", "\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}),
    [](const ::testing::TestParamInfo<TerminalCase>& p) { return p.param.what; });

}  // namespace
