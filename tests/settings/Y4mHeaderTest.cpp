// YUV4MPEG2 headers into settings records: the tags, the frame line, and every malformed header
// ending in an error that names what is wrong.
#include "settings/FileNameHints.h"
#include "settings/Y4mHeader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Read {
    bool ok;
    RawSettings settings;
    std::string error, note;
};

Read ReadText(const std::string& text) {
    Read r{};
    r.ok = y4m::ReadSettings(reinterpret_cast<const uint8_t*>(text.data()), text.size(), r.settings,
                             r.error, r.note);
    return r;
}

TEST(Y4mHeader, TagsBecomeTheSettingsRecord) {
    const std::string header =
        "YUV4MPEG2 W352 H288 F30000:1001 It A128:117 C420mpeg2 XYSCSS=420MPEG2\n";
    const Read r = ReadText(header + "FRAME\n" + std::string(64, '\x80'));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(+r.settings.size, kRawSettingsSize);
    EXPECT_EQ(+r.settings.filePrefix, static_cast<int32_t>(header.size()));
    EXPECT_EQ(+r.settings.framePrefix, 6u);
    EXPECT_EQ(+r.settings.framePostfix, 0u);
    EXPECT_EQ(+r.settings.frameDuration, 1001u);  // seconds per frame = 1001 / 30000
    EXPECT_EQ(+r.settings.timeScale, 30000u);
    const RawVideoFormat& f = r.settings.rawFormat;
    EXPECT_EQ(+f.code, uint32_t{kLayoutI420});
    EXPECT_EQ(+f.width, 352);
    EXPECT_EQ(+f.height, 288);
    EXPECT_EQ(+f.lineBytes, 528);  // 352 x 3 / 2: the planes at the row pitch of I420
    EXPECT_EQ(+f.fieldCount, 2);
    EXPECT_EQ(+f.fieldDetail, 9);  // top field first, woven
    EXPECT_EQ(+f.aspectH, 128u);
    EXPECT_EQ(+f.aspectV, 117u);
    EXPECT_NE(r.note.find("chroma siting"), std::string::npos) << r.note;

    // Defaults: no F is 25 frames per second, no C is 4:2:0, no I progressive; a frame line
    // with parameters is the frame prefix as long as it is.
    const Read d = ReadText("YUV4MPEG2 W64 H48\nFRAME Ixyz\n");
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(+d.settings.framePrefix, 11u);
    EXPECT_EQ(+d.settings.frameDuration, 1u);
    EXPECT_EQ(+d.settings.timeScale, 25u);
    EXPECT_EQ(+d.settings.rawFormat.code, uint32_t{kLayoutI420});
    EXPECT_EQ(+d.settings.rawFormat.fieldCount, 1);
    EXPECT_TRUE(d.note.empty()) << d.note;

    const Read b = ReadText("YUV4MPEG2 W64 H48 Ib Cmono F50:1 A0:0\nFRAME\n");
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_EQ(+b.settings.rawFormat.fieldDetail, 14);  // bottom field first, woven
    EXPECT_EQ(+b.settings.rawFormat.code, uint32_t{kLayoutGRAY});
    EXPECT_EQ(+b.settings.timeScale, 50u);
    for (const char* mode : {"Im", "I?"}) {
        const Read m = ReadText(std::string("YUV4MPEG2 W64 H48 ") + mode + "\nFRAME\n");
        ASSERT_TRUE(m.ok) << m.error;
        EXPECT_EQ(+m.settings.rawFormat.fieldCount, 1);
        EXPECT_NE(m.note.find("shown progressive"), std::string::npos) << m.note;
    }
}

// Every colour space maps to its layout name; those the catalogue lacks are an error that names
// the layout (they open once the catalogue has them).
TEST(Y4mHeader, ColourSpacesMapToLayoutNames) {
    const std::pair<const char*, const char*> kSpaces[] = {
        {"420jpeg", "I420"},    {"420paldv", "I420"},   {"420mpeg2", "I420"},
        {"420", "I420"},        {"422", "I422"},        {"444", "I444"},
        {"411", "Y41B"},        {"mono", "GRAY"},       {"420p10", "I420LE10"},
        {"420p12", "I420LE12"}, {"420p16", "I420LE16"}, {"422p10", "I422LE10"},
        {"422p12", "I422LE12"}, {"422p16", "I422LE16"}, {"444p10", "I444LE10"},
        {"444p12", "I444LE12"}, {"444p16", "I444LE16"}, {"mono10", "GRAYLE10"},
        {"mono12", "GRAYLE12"}, {"mono16", "GRAYLE16"},
    };
    for (const auto& [space, layout] : kSpaces) {
        SCOPED_TRACE(space);
        EXPECT_EQ(y4m::LayoutNameFor(space), layout);
        const Read r = ReadText(std::string("YUV4MPEG2 W64 H48 C") + space + "\nFRAME\n");
        if (const auto code = rawsettings::LayoutCodeByName(layout)) {
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_EQ(+r.settings.rawFormat.code, *code);
        } else {
            EXPECT_FALSE(r.ok);
            EXPECT_NE(r.error.find(layout), std::string::npos) << r.error;
        }
    }
}

TEST(Y4mHeader, MalformedHeadersAreClearErrors) {
    const std::pair<std::string, const char*> kBad[] = {
        {"YUV4MPEG W64 H48\nFRAME\n", "signature"},
        {"", "signature"},
        {"YUV4MPEG2 W64 H48", "no end of line"},
        {"YUV4MPEG2 W64 H48 X" + std::string(5000, 'a') + "\nFRAME\n", "longer than 4096"},
        {"YUV4MPEG2 H48\nFRAME\n", "no width"},
        {"YUV4MPEG2 W64\nFRAME\n", "no height"},
        {"YUV4MPEG2 W0 H48\nFRAME\n", "W tag"},
        {"YUV4MPEG2 W64 H99999999999\nFRAME\n", "H tag"},
        {"YUV4MPEG2 W64 H48 F30\nFRAME\n", "frame rate"},
        {"YUV4MPEG2 W64 H48 F30:0\nFRAME\n", "frame rate"},
        {"YUV4MPEG2 W64 H48 A1\nFRAME\n", "pixel aspect"},
        {"YUV4MPEG2 W64 H48 Ix\nFRAME\n", "interlacing"},
        {"YUV4MPEG2 W64 H48 C444alpha\nFRAME\n", "C444alpha"},
        {"YUV4MPEG2 W64 H48 Cxyz\nFRAME\n", "Cxyz"},
        {"YUV4MPEG2 W64 H48\n", "no FRAME line"},
        {"YUV4MPEG2 W64 H48\nFRAMX\n", "no FRAME line"},
        {"YUV4MPEG2 W64 H48\nFRAME " + std::string(5000, 'p'), "first FRAME line"},
        {"YUV4MPEG2 W63 H48\nFRAME\n", "even sizes"},
    };
    for (const auto& [text, why] : kBad) {
        SCOPED_TRACE(text.substr(0, 60));
        const Read r = ReadText(text);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
    }
}

}  // namespace
