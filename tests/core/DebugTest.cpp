// Result texts, identifier printing and the debug log's lines on standard error.
#include "StderrCapture.h"
#include "TNDebug.h"
#include "TNInterfaces.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Restores the process-wide level value and output level after each test.
class DebugLog : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = TNDebugGetLevelValue();
        savedOutput_ = TNDebugGetOutputLevel();
    }
    void TearDown() override {
        TNDebugSetLevelValue(saved_);
        TNDebugSetOutputLevel(savedOutput_);
    }
    int saved_ = 3;
    int savedOutput_ = 4;
};

}  // namespace

TEST(ResultTexts, TableAndGaps) {
    struct Case {
        uint32_t code;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0x00000000, L"Ok"},
        {0x00000001, L"False"},
        {0x00000002, L"Unknown"},
        {0x80000001, L"Not Implemented"},
        {0x80000003, L"Invalid Argument(s)"},
        {0x80000005, L"Pointer"},
        {0x80000009, L"Access Denied"},
        {0x8000000A, L"Unknown"},
        {0x8000FFFF, L"Unexpected"},
        {0x80040111, L"No Class Available"},
        {0x80CF0000, L"Unknown"},
        {0x80CF0001, L"Not Supported"},
        {0x80CF0002, L"Not Initialized"},
        {0x80CF0006, L"File access error"},
        {0x80CF0008, L"Filename is directory"},
        {0x80CF000C, L"File system is read only"},
        {0x80CF000F, L"File seek error"},
        {0x80CF0010, L"Unknown"},
        {0xFFFFFFFF, L"Unknown"},
    };
    for (const Case& c : cases) {
        const wchar_t* text = TNGetErrorString(static_cast<TNRESULT>(c.code));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::wstring(text), c.text) << std::hex << c.code;
    }
}

TEST(Identifiers, PrintedInNativeFieldOrder) {
    struct Case {
        const char* name;
        TNUUID id;
        const wchar_t* text;
    };
    TNUUID firstByteOne{};
    reinterpret_cast<uint8_t*>(&firstByteOne)[0] = 0x01;  // bytes 01 00 00 00 ...
    const Case cases[] = {
        {"null", TNUUID_NULL, L"00000000-0000-0000-0000-000000000000"},
        {"first byte 01", firstByteOne, L"00000001-0000-0000-0000-000000000000"},
        {"IID_ITNObject", IID_ITNObject, L"00000000-0000-0000-544E-00000000424C"},
        {"class of the source", CLSID_TNRawVideoSource, L"ED3F5A8C-4704-401C-B138-90611C46B0C5"},
        {"seeking", IID_ITNSeeking, L"2BA3E32C-47E1-9628-A8E2-15A2DD57B8F2"},
    };
    for (const Case& c : cases) {
        wchar_t buf[40];
        ASSERT_TRUE(TNPrintTNUUID(buf, 37, &c.id)) << c.name;
        EXPECT_EQ(std::wstring(buf), c.text) << c.name;
    }
}

TEST(Identifiers, RefusesNullAndShortBuffers) {
    wchar_t buf[40];
    for (wchar_t& c : buf) c = L'#';
    EXPECT_FALSE(TNPrintTNUUID(nullptr, 37, &IID_ITNObject));
    EXPECT_FALSE(TNPrintTNUUID(buf, 37, nullptr));
    EXPECT_FALSE(TNPrintTNUUID(buf, 36, &IID_ITNObject));  // no room for the terminator
    for (wchar_t c : buf) EXPECT_EQ(c, L'#');              // nothing written
}

TEST_F(DebugLog, LineFormat) {
    StderrCapture cap;
    TNDebugOutputStr(1, 0, L"e %d", 1);
    TNDebugOutputStr(2, 0, L"w %ls", L"two");
    TNDebugOutputStr(3, 0, L"TNCore: initializing core library");
    TNDebugOutputStr(4, 0, L"d");
    TNDebugOutputStr(7, 0, L"no such level");
    const std::string out = cap.Stop();
    const std::string expected = LinePrefix("Error") + "e 1\n" + LinePrefix("Warning") + "w two\n" +
                                 LinePrefix("Info") + "TNCore: initializing core library\n" +
                                 LinePrefix("Debug") + "d\n" + LinePrefix("") + "no such level\n";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(out.substr(0, 3 + ProgramFileName().size()), "'" + ProgramFileName() + "':");
}

TEST_F(DebugLog, OnlyLevelFourIsFiltered) {
    struct Case {
        int levelValue;
        int level;
        int verbosity;
        bool written;
    };
    const Case cases[] = {
        {3, 4, 3, true},  // verbosity at the initial level value
        {3, 4, 4, false},  {4, 4, 4, true},
        {3, 4, -5, true},  {0, 1, 100, true},  // levels 1 to 3 ignore the verbosity
        {0, 2, 100, true}, {-7, 3, 100, true},
    };
    for (const Case& c : cases) {
        TNDebugSetLevelValue(c.levelValue);
        EXPECT_EQ(TNDebugGetLevelValue(), c.levelValue);
        StderrCapture cap;
        TNDebugOutputStr(c.level, c.verbosity, L"message");
        const std::string out = cap.Stop();
        EXPECT_EQ(!out.empty(), c.written) << "level value " << c.levelValue << ", level "
                                           << c.level << ", verbosity " << c.verbosity;
    }
}

// The output level drops every line above it, whatever the verbosity, and leaves the level
// value's filter of level 4 as it is below it.
TEST_F(DebugLog, OutputLevelDropsTheLevelsAboveIt) {
    EXPECT_EQ(TNDebugGetOutputLevel(), 4);  // every line to begin with
    struct Case {
        int outputLevel;
        int level;
        int verbosity;
        bool written;
    } const cases[] = {
        {2, 1, 0, true},  {2, 2, 0, true},  {2, 3, 0, false}, {2, 4, 0, false},
        {3, 3, 0, true},  {3, 4, 0, false}, {4, 4, 4, true},  {4, 4, 5, false},
        {0, 1, 0, false}, {0, 7, 0, true},  // a level without a name is not gated
    };
    TNDebugSetLevelValue(4);
    for (const Case& c : cases) {
        TNDebugSetOutputLevel(c.outputLevel);
        EXPECT_EQ(TNDebugGetOutputLevel(), c.outputLevel);
        StderrCapture cap;
        TNDebugOutputStr(c.level, c.verbosity, L"message");
        EXPECT_EQ(!cap.Stop().empty(), c.written) << "output level " << c.outputLevel << ", level "
                                                  << c.level << ", verbosity " << c.verbosity;
    }
}

TEST_F(DebugLog, InitialLevelValueIsThree) {
    // No test in this program changes the level value without restoring it.
    EXPECT_EQ(TNDebugGetLevelValue(), 3);
}

TEST_F(DebugLog, PlainStringHasNoPrefix) {
    StderrCapture cap;
    TNDebugOutputString(L"x=%d %ls", 5, L"y");
    TNDebugOutputString(L"");
    EXPECT_EQ(cap.Stop(), "x=5 y\n\n");
}

TEST_F(DebugLog, ArgumentsAreNotFormatsAgain) {
    StderrCapture cap;
    TNDebugOutputStr(3, 0, L"path '%ls'", L"/tmp/100%d %s %ls %%n");
    TNDebugOutputString(L"%ls", L"50%");
    EXPECT_EQ(cap.Stop(), LinePrefix("Info") + "path '/tmp/100%d %s %ls %%n'\n" + "50%\n");
}

TEST_F(DebugLog, WideTextIsWrittenAsUtf8) {
    StderrCapture cap;
    TNDebugOutputStr(3, 0, L"%ls", L"\u00E9\u20AC\U0001F600");
    EXPECT_EQ(cap.Stop(), LinePrefix("Info") + "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n");
}

TEST_F(DebugLog, LongMessagesAreWrittenWhole) {
    for (size_t n : {255u, 256u, 257u, 5000u, 70000u}) {
        const std::wstring text(n, L'x');
        StderrCapture cap;
        TNDebugOutputStr(2, 0, L"%ls|", text.c_str());
        EXPECT_EQ(cap.Stop(), LinePrefix("Warning") + std::string(n, 'x') + "|\n") << n;
    }
}

TEST_F(DebugLog, UnformattableMessageStillWritesTheLine) {
    // A narrow argument that is not valid text in the current locale cannot be formatted at any
    // buffer size; the call must come back and still write the prefixed line.
    StderrCapture cap;
    TNDebugOutputStr(1, 0, L"%s", "\xFF\xFE");
    const std::string out = cap.Stop();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.rfind(LinePrefix("Error"), 0), 0u);
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(SplitLines(out).size(), 1u);
}
