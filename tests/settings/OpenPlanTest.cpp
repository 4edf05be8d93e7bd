// The open plan: which reading a file opens with, and why, for every combination of what is
// given, stored and found in the file.
#include "settings/OpenPlan.h"

#include "settings/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kavlo::FileIdentity;
using kavlo::OpenSource;

const std::string kHeader = "YUV4MPEG2 W352 H288 F30000:1001 Ip C420jpeg\n";
constexpr int64_t kCif = 352 * 288 * 3 / 2;

RawSettings Record(uint32_t code, int32_t width, int32_t height) {
    CommandLine c;
    c.code = code;
    c.width = width;
    c.height = height;
    return BuildRawSettings(c);
}

struct Case {
    const char* name;
    std::string path = "/clips/clip.raw";
    std::string bytes;  // the file's first bytes
    int64_t size = 10 * kCif;
    std::vector<std::string> given;  // command-line settings
    bool stored = false;
    uint32_t storedCode = kLayoutI420;
    bool storedIdentity = false;
    int64_t storedSize = 10 * kCif;
    uint64_t storedInode = 7;
    bool canAsk = false;
    bool mayGuess = false;
    OpenSource source;
    int32_t width = 0;  // of the plan's settings (0: not checked)
    uint32_t code = 0;
    const char* reason = "";  // a part of the reason
    bool mayTakeName = false;
};

class Plan : public ::testing::TestWithParam<Case> {};

TEST_P(Plan, DecidesTheReading) {
    const Case& c = GetParam();
    kavlo::OpenRequest r;
    r.path = c.path;
    r.file = FileIdentity{c.size, 100, 1, 7};
    r.start = reinterpret_cast<const uint8_t*>(c.bytes.data());
    r.startBytes = c.bytes.size();
    std::vector<std::string> args{"kavlo"};
    args.insert(args.end(), c.given.begin(), c.given.end());
    args.push_back(c.path);
    const CommandLine given = ParseCommandLine(args);
    if (!c.given.empty()) r.given = &given;
    RawSettings stored = Record(c.storedCode, 352, 288);
    stored.mirrorVertical = 1;
    if (c.stored) r.stored = &stored;
    if (c.storedIdentity) r.storedIdentity = FileIdentity{c.storedSize, 50, 1, c.storedInode};
    r.canAsk = c.canAsk;
    r.mayGuess = c.mayGuess;
    r.mayTakeName = c.mayTakeName;

    const kavlo::OpenPlan plan = kavlo::PlanOpen(r);
    EXPECT_STREQ(kavlo::OpenSourceName(plan.source), kavlo::OpenSourceName(c.source));
    if (c.width) {
        EXPECT_EQ(+plan.settings.rawFormat.width, c.width);
    }
    if (c.code) {
        EXPECT_EQ(+plan.settings.rawFormat.code, c.code);
    }
    EXPECT_NE(plan.reason.find(c.reason), std::string::npos) << plan.reason;
}

const std::string kStream = kHeader + "FRAME\n" + std::string(64, '\x80');

INSTANTIATE_TEST_SUITE_P(
    OpenPlan, Plan,
    ::testing::Values(
        // The stream header wins over stored and given settings, and under any name.
        Case{"Y4mOverStored",
             "/c/out.y4m",
             kStream,
             0,
             {},
             true,
             kLayoutGRAY,
             true,
             0,
             7,
             false,
             false,
             OpenSource::Y4m,
             352,
             kLayoutI420},
        Case{"Y4mOverGiven",
             "/c/out.bin",
             kStream,
             0,
             {"-w", "64", "-h", "48", "-l", "GRAY"},
             false,
             0,
             false,
             0,
             7,
             false,
             true,
             OpenSource::Y4m,
             352,
             kLayoutI420,
             "are not used"},
        Case{"BadHeaderRefuses",
             "/c/a.y4m",
             "YUV4MPEG2 W64 H48 C444alpha\nFRAME\n",
             0,
             {},
             true,
             kLayoutI420,
             false,
             0,
             7,
             true,
             true,
             OpenSource::Refuse,
             0,
             0,
             "444alpha"},
        Case{"Y4mNameWithoutHeader",
             "/c/a.y4m",
             std::string(64, 'x'),
             640,
             {},
             false,
             0,
             false,
             0,
             7,
             true,
             true,
             OpenSource::Refuse},
        Case{"Y4mNameWithoutHeaderStored",
             "/c/a.y4m",
             std::string(64, 'x'),
             10 * kCif,
             {},
             true,
             kLayoutI420,
             false,
             0,
             7,
             false,
             false,
             OpenSource::Stored,
             352},
        // Settings given: complete ones as they are, incomplete ones narrow the guess.
        Case{"GivenOverStored",
             "/c/a.raw",
             "",
             10 * kCif,
             {"-w", "176", "-h", "144", "-l", "I420"},
             true,
             kLayoutGRAY,
             false,
             0,
             7,
             false,
             false,
             OpenSource::Given,
             176},
        Case{"IncompleteGivenNarrowsTheGuess",
             "/c/a.raw",
             "",
             10 * kCif,
             {"-w", "176"},
             false,
             0,
             false,
             0,
             7,
             false,
             true,
             OpenSource::Guess,
             176},
        // Stored settings: older lists (no identity) apply whatever the file is now.
        Case{"StoredWithoutIdentity",
             "/c/a.raw",
             "",
             3 * kCif,
             {},
             true,
             kLayoutI420,
             false,
             0,
             7,
             false,
             false,
             OpenSource::Stored,
             352},
        Case{"StoredStillFits",
             "/c/a.raw",
             "",
             10 * kCif,
             {},
             true,
             kLayoutI420,
             true,
             10 * kCif,
             7,
             false,
             false,
             OpenSource::Stored,
             352},
        Case{"SizeChangedAsks",
             "/c/a.raw",
             "",
             3 * kCif + 5,
             {},
             true,
             kLayoutI420,
             true,
             10 * kCif,
             7,
             true,
             false,
             OpenSource::Ask,
             352,
             kLayoutI420,
             "10 frames and 0 rest bytes then, 3 frames and 5 rest bytes now"},
        Case{"SizeChangedRefusesWithoutAPerson",
             "/c/a.raw",
             "",
             3 * kCif,
             {},
             true,
             kLayoutI420,
             true,
             10 * kCif,
             7,
             false,
             true,
             OpenSource::Refuse,
             0,
             0,
             "size changed from"},
        Case{"ReplacedAsks",
             "/c/a.raw",
             "",
             10 * kCif,
             {},
             true,
             kLayoutI420,
             true,
             10 * kCif,
             8,
             true,
             false,
             OpenSource::Ask,
             352,
             0,
             "replaced"},
        Case{"UnknownLayoutAsksAfresh",
             "/c/a.raw",
             "",
             10 * kCif,
             {},
             true,
             0x12345678u,
             false,
             0,
             7,
             true,
             false,
             OpenSource::Ask,
             0,
             0,
             "code 0x12345678"},
        Case{"UnknownLayoutRefuses",
             "/c/a.raw",
             "",
             10 * kCif,
             {},
             true,
             0x12345678u,
             false,
             0,
             7,
             false,
             false,
             OpenSource::Refuse,
             0,
             0,
             "does not know"},
        // Nothing given or stored.
        Case{"NothingAsks",
             "/c/a.raw",
             "",
             10 * kCif,
             {},
             false,
             0,
             false,
             0,
             7,
             true,
             true,
             OpenSource::Ask,
             0,
             0,
             "no settings are stored"},
        Case{"NothingRefusesWithoutGuessing",
             "/c/a.raw",
             "",
             10 * kCif,
             {},
             false,
             0,
             false,
             0,
             7,
             false,
             false,
             OpenSource::Refuse,
             0,
             0,
             "no settings are stored"},
        Case{"NameHints",
             "/c/decoder_out_3840x2160_p010.yuv",
             "",
             3840 * 2160 * 3,
             {},
             false,
             0,
             false,
             0,
             7,
             false,
             true,
             OpenSource::Hints,
             3840,
             kLayoutP010,
             "its name says"},
        Case{"ContentGuess",
             "/c/capture.yuv",
             "",
             10 * kCif,
             {},
             false,
             0,
             false,
             0,
             7,
             false,
             true,
             OpenSource::Guess,
             352,
             kLayoutI420,
             "likeliest reading"},
        // Without guessing, a name that says the size and one layout is read by them; a name
        // that says less, or a reading that does not fit, is refused as before.
        Case{"NameStatesTheReading",
             "/c/foreman_352x288_nv12.yuv",
             "",
             3 * kCif,
             {},
             false,
             0,
             false,
             0,
             7,
             false,
             false,
             OpenSource::Hints,
             352,
             kLayoutNV12,
             "its name says",
             true},
        Case{"NameWithoutLayoutIsNoStatement",
             "/c/foreman_352x288.yuv",
             "",
             3 * kCif,
             {},
             false,
             0,
             false,
             0,
             7,
             false,
             false,
             OpenSource::Refuse,
             0,
             0,
             "no settings",
             true},
        Case{"NameThatDoesNotFitIsNoStatement",
             "/c/foreman_1920x1080_nv12.yuv",
             "",
             3 * kCif,
             {},
             false,
             0,
             false,
             0,
             7,
             false,
             false,
             OpenSource::Refuse,
             0,
             0,
             "no settings",
             true}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

TEST(OpenPlan, Y4mKeepsTheStoredDisplayChoicesAndTheNameOfWhatIsRefused) {
    kavlo::OpenRequest r;
    r.path = "/c/out.y4m";
    r.file = FileIdentity{1000, 1, 1, 1};
    r.start = reinterpret_cast<const uint8_t*>(kStream.data());
    r.startBytes = kStream.size();
    RawSettings stored = Record(kLayoutGRAY, 32, 16);
    stored.mirrorVertical = 1;
    stored.deinterlace = 1;
    r.stored = &stored;
    const kavlo::OpenPlan plan = kavlo::PlanOpen(r);
    EXPECT_EQ(+plan.settings.mirrorVertical, 1);
    EXPECT_EQ(+plan.settings.deinterlace, 1);
    EXPECT_EQ(+plan.settings.filePrefix, static_cast<int32_t>(kHeader.size()));
    EXPECT_EQ(+plan.settings.framePrefix, 6u);
}

TEST(OpenPlan, IdentityTextRoundTripsAndRefusesAnythingElse) {
    const FileIdentity id{1520640, 1765000000123456789, 2049, 131077};
    const auto back = kavlo::ParseFileIdentity(kavlo::FileIdentityText(id));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size, id.size);
    EXPECT_EQ(back->modifiedNs, id.modifiedNs);
    EXPECT_EQ(back->device, id.device);
    EXPECT_EQ(back->inode, id.inode);
    for (const char* bad :
         {"", "1 2 3", "1 2 3 4 5", "1 2 3 x", "-1 2 3 4", "1  2 3 4", "1 2 3 4 "})
        EXPECT_FALSE(kavlo::ParseFileIdentity(bad)) << bad;
}

}  // namespace
