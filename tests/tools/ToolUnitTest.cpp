// The pieces of kavlo-tool without files: argument splitting between the two files of compare,
// output name patterns and frame ranges.
#include "ToolArgs.h"

#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kavlotool;

namespace {

Request Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "kavlo-tool");
    return ParseArguments(args);
}

TEST(ToolArguments, CompareSplitsTheSettingsAtTheSecondFile) {
    // Before B: both files; after B: B alone.
    const Request r = Parse({"compare", "-w", "64", "-h", "32", "-l", "I420", "a.yuv", "b.nv12",
                             "-l", "NV12", "--psnr-min=30"});
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.first.fileName, "a.yuv");
    EXPECT_EQ(r.second.fileName, "b.nv12");
    EXPECT_EQ(r.first.code, kLayoutI420);
    EXPECT_EQ(r.second.code, kLayoutNV12);
    EXPECT_EQ(r.second.width, 64);
    EXPECT_TRUE(r.psnrMinGiven);
    EXPECT_EQ(r.psnrMin, 30.0);

    // Settings only after B describe A as well; a value such as "32" is no file name.
    const Request after = Parse({"compare", "a.yuv", "b.yuv", "-w", "64", "-h", "32"});
    ASSERT_TRUE(after.error.empty()) << after.error;
    EXPECT_EQ(after.first.width, 64);
    EXPECT_EQ(after.second.height, 32);
    const Request between = Parse({"compare", "a.yuv", "-h", "32", "b.yuv"});
    EXPECT_EQ(between.second.height, 32);
    EXPECT_EQ(between.first.height, 32);
}

TEST(ToolArguments, ErrorsAndHelp) {
    EXPECT_EQ(Parse({"info", "-w", "64", "--help"}).command, Command::Help);
    EXPECT_EQ(Parse({"info", "-?"}).command, Command::Help);
    EXPECT_EQ(Parse({"info", "a", "-l", "NOPE"}).error,
              "unknown pixel layout 'NOPE' (nearest: NV12, NV21, NV16)");
    EXPECT_EQ(Parse({"info", "a", "b"}).error, "more than one file name given");
    EXPECT_EQ(Parse({"export", "a", "--out"}).error, "--out needs a value");
    EXPECT_EQ(Parse({"export", "a", "--flip=1", "--out", "x"}).error, "--flip takes no value");
    EXPECT_EQ(Parse({"info", "a", "--psnr-min", "3"}).error, "--psnr-min is not an option of info");
    EXPECT_EQ(Parse({"compare", "a", "/open", "b"}).error, "unknown argument /open");
    // The error is one line whatever the arguments hold.
    EXPECT_EQ(Parse({"info", "a", "--bo\ngus"}).error, "unknown option --bo?gus");
    EXPECT_EQ(Parse({"export", "a", "--channel", "y\n"}).error,
              "bad value 'y?' for --channel: expected y, cb or cr");
    EXPECT_EQ(Parse({"in\nfo"}).error, "unknown command 'in?fo'");
    const Request e = Parse({"export", "a", "--fields", "split,swap", "--out", "f%d.png",
                             "--deinterlace", "3", "--channel", "cr"});
    ASSERT_TRUE(e.error.empty()) << e.error;
    EXPECT_TRUE(e.splitFields && e.swapFields);
    EXPECT_EQ(e.deinterlace, 3);
    EXPECT_EQ(e.channel, Channel::Cr);
}

// The tool reads the viewer's settings with the viewer's parser and says what is wrong in its
// words: the same text, as one line, without "Error: " and the full stop.
TEST(ToolArguments, SettingsErrorsHaveTheViewersWording) {
    const struct {
        std::vector<std::string> settings;
        const char* error;
    } cases[] = {
        {{"-w", "abc"}, "'abc' is not a number (-w abc)"},
        {{"-h288x"}, "'288x' is not a number (-h288x)"},
        {{"-o", "1k"}, "'1k' is not a number (-o 1k)"},
        {{"-l", "I42O"}, "unknown pixel layout 'I42O' (nearest: I420, I422, V422)"},
        {{"-l", "I4\n20"}, "unknown pixel layout 'I4?20' (nearest: I420, I422, I440)"},
        {{"-fps", "x"}, "'x' is not a number (-fps x)"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> viewer = {"/usr/bin/Kavlo"};
        viewer.insert(viewer.end(), c.settings.begin(), c.settings.end());
        viewer.push_back("a.yuv");
        const std::string said = ParseCommandLine(viewer).error;
        std::vector<std::string> tool = {"info"};
        tool.insert(tool.end(), c.settings.begin(), c.settings.end());
        tool.push_back("a.yuv");
        const std::string error = Parse(tool).error;
        EXPECT_EQ(error, c.error);
        ASSERT_EQ(said.rfind("Error: ", 0), 0u) << said;
        std::string words = said.substr(7, said.size() - 8);
        if (words[0] == 'U') words[0] = 'u';
        for (char& ch : words)
            if (ch == '\n') ch = '?';
        EXPECT_EQ(error, words);
    }
    // "-h" in the command's place, or alone among the settings, asks for help.
    EXPECT_EQ(Parse({"-h"}).command, Command::Help);
    EXPECT_EQ(Parse({"info", "-h"}).command, Command::Help);
    EXPECT_EQ(Parse({"info", "-h", "32", "a.yuv"}).first.height, 32);
}

TEST(ToolArguments, NamePatternsAndRanges) {
    NamePattern p;
    std::string error;
    ASSERT_TRUE(ParseNamePattern("out/f%04d-100%%.png", p, error));
    EXPECT_EQ(FormatName(p, 7), "out/f0007-100%.png");
    EXPECT_EQ(FormatName(p, 123456), "out/f123456-100%.png");
    ASSERT_TRUE(ParseNamePattern("f%3d.ppm", p, error));
    EXPECT_EQ(FormatName(p, 5), "f  5.ppm");
    ASSERT_TRUE(ParseNamePattern("one.png", p, error));
    EXPECT_FALSE(p.hasNumber);
    for (const char* bad : {"f%s.png", "f%d%d.png", "f%", "f%x.png", "f%099999999999d"})
        EXPECT_FALSE(ParseNamePattern(bad, p, error)) << bad;

    FrameRange r;
    ASSERT_TRUE(ParseFrameRange("3-7", r));
    EXPECT_EQ(r.first, 3);
    EXPECT_EQ(r.last, 7);
    ASSERT_TRUE(ParseFrameRange("4-", r));
    EXPECT_EQ(r.last, -1);
    ASSERT_TRUE(ParseFrameRange("9", r));
    EXPECT_EQ(r.first, 9);
    EXPECT_EQ(r.last, 9);
    for (const char* bad : {"", "-", "7-3", "a-b", "-3", "1-2-3", "1 - 2"})
        EXPECT_FALSE(ParseFrameRange(bad, r)) << bad;
}

}  // namespace
