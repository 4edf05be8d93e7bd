// What a start settles before the toolkit: the usage and the version on standard output, a
// start without a display refused with a message, and whether a display can be reached.
#include "app/window/TerminalStart.h"

#include "settings/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kavlo::EarlyAnswer;

CommandLine Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/Kavlo");
    return ParseCommandLine(args);
}

struct AnswerCase {
    const char* what;
    std::vector<std::string> args;
    bool display;
    bool stdoutTerminal;
    EarlyAnswer answer;
};

class EarlyAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(EarlyAnswers, Decided) {
    const AnswerCase& c = GetParam();
    EXPECT_EQ(kavlo::DecideEarlyAnswer(Parse(c.args), {c.display, c.stdoutTerminal}), c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, EarlyAnswers,
    ::testing::Values(
        AnswerCase{"help_without_display", {"--help"}, false, false, EarlyAnswer::Usage},
        AnswerCase{"help_in_a_window_session", {"--help"}, true, false, EarlyAnswer::Usage},
        AnswerCase{"lone_h", {"-h"}, true, true, EarlyAnswer::Usage},
        AnswerCase{"question_on_a_terminal", {"-?"}, true, true, EarlyAnswer::Usage},
        AnswerCase{"question_without_display", {"-?"}, false, false, EarlyAnswer::Usage},
        // From the desktop -? keeps its window: there is no terminal to read it on.
        AnswerCase{"question_from_the_desktop", {"-?"}, true, false, EarlyAnswer::None},
        AnswerCase{"question_under_play", {"-play", "-?"}, true, false, EarlyAnswer::Usage},
        AnswerCase{"help_before_an_error", {"--help", "-x"}, false, false, EarlyAnswer::Usage},
        AnswerCase{"version", {"--version"}, true, false, EarlyAnswer::Version},
        AnswerCase{"version_without_display", {"--version"}, false, true, EarlyAnswer::Version},
        AnswerCase{"window_start", {}, true, true, EarlyAnswer::None},
        AnswerCase{"no_display", {}, false, true, EarlyAnswer::Refusal},
        AnswerCase{"no_display_play", {"-play", "x.raw"}, false, false, EarlyAnswer::Refusal},
        AnswerCase{"no_display_error", {"-w", "abc", "x.raw"}, false, true, EarlyAnswer::Refusal}),
    [](const ::testing::TestParamInfo<AnswerCase>& p) { return p.param.what; });

struct DisplayCase {
    const char* what;
    std::vector<std::string> args;
    const char* platform;
    const char* display;
    const char* wayland;
    bool reachable;
};

class Displays : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(Displays, Reachable) {
    const DisplayCase& c = GetParam();
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "/usr/bin/Kavlo");
    EXPECT_EQ(kavlo::DisplayReachable(args, c.platform, c.display, c.wayland), c.reachable);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, Displays,
    ::testing::Values(
        DisplayCase{"nothing_set", {}, nullptr, nullptr, nullptr, false},
        DisplayCase{"x_display", {}, nullptr, ":0", nullptr, true},
        DisplayCase{"wayland_display", {}, nullptr, nullptr, "wayland-0", true},
        DisplayCase{"offscreen", {}, "offscreen", nullptr, nullptr, true},
        DisplayCase{"xcb_without_display", {}, "xcb", nullptr, "wayland-0", false},
        DisplayCase{"xcb_with_options", {}, "xcb:foo=1", ":1", nullptr, true},
        DisplayCase{"first_of_a_list", {}, "wayland;xcb", nullptr, nullptr, true},
        DisplayCase{"platform_argument_wins", {"-platform", "xcb"}, "offscreen", "", "", false},
        DisplayCase{"platform_argument_last", {"-platform"}, nullptr, nullptr, nullptr, false}),
    [](const ::testing::TestParamInfo<DisplayCase>& p) { return p.param.what; });

// The texts: the usage without a window's font or line ends, the version, and a refusal that
// says why and where to go instead.
TEST(EarlyAnswerTexts, SayWhatWasAskedOrWhy) {
    const QString usage = kavlo::EarlyAnswerText(EarlyAnswer::Usage, Parse({"--help"}));
    EXPECT_TRUE(usage.startsWith(QStringLiteral("Usage: Kavlo [Settings] [Filename]\n")));
    EXPECT_TRUE(usage.contains(QStringLiteral("GRAYBE16")));
    EXPECT_FALSE(usage.contains(QLatin1Char('\r')));
    EXPECT_EQ(kavlo::EarlyAnswerText(EarlyAnswer::Version, Parse({"--version"})),
              QStringLiteral("Kavlo, Version 1.0\nCopyright (C) Brellin GmbH\n"));
    const QString error =
        kavlo::EarlyAnswerText(EarlyAnswer::Refusal, Parse({"-w", "abc", "x.raw"}));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Kavlo: Error: 'abc' is not a number (-w abc).\n")))
        << error.toStdString();
    const QString none = kavlo::EarlyAnswerText(EarlyAnswer::Refusal, Parse({"x.raw"}));
    EXPECT_TRUE(none.contains(QStringLiteral("no display"))) << none.toStdString();
    EXPECT_TRUE(none.contains(QStringLiteral("Kavlo --help")));
    EXPECT_TRUE(kavlo::EarlyAnswerText(EarlyAnswer::None, Parse({})).isEmpty());
}

}  // namespace
