// The core's internal copy-on-write string, compiled in from the core's own sources.
#include "CTNString.h"

#include <gtest/gtest.h>

#include <string>

TEST(CoreString, CopiesShareUntilChanged) {
    CTNString a(L"plugins");
    CTNString b = a;
    EXPECT_EQ(a.ShareCount(), 2);
    EXPECT_EQ(a.c_str(), b.c_str());  // one body
    b.Append(L"/x.dll");
    EXPECT_EQ(a.ShareCount(), 1);
    EXPECT_EQ(b.ShareCount(), 1);
    EXPECT_EQ(std::wstring(a.c_str()), L"plugins");
    EXPECT_EQ(std::wstring(b.c_str()), L"plugins/x.dll");
}

TEST(CoreString, AssignmentReleasesTheOldBody) {
    CTNString a(L"one");
    CTNString b(L"two");
    CTNString c = b;
    a = b;
    EXPECT_EQ(b.ShareCount(), 3);
    c.Assign(L"three");
    EXPECT_EQ(b.ShareCount(), 2);
    a = CTNString();
    EXPECT_EQ(b.ShareCount(), 1);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(std::wstring(a.c_str()), L"");
}

TEST(CoreString, AppendsItsOwnText) {
    CTNString a(L"ab");
    a.Append(a);
    a.Append(a.c_str() + 1, 2);
    EXPECT_EQ(std::wstring(a.c_str()), L"ababba");
    a.Assign(a.c_str() + 2, 3);
    EXPECT_EQ(std::wstring(a.c_str()), L"abb");
}

TEST(CoreString, PrintfReplacesAndGrows) {
    CTNString s(L"old");
    ASSERT_TRUE(s.Printf(L"%d-%ls", 42, L"x"));
    EXPECT_EQ(std::wstring(s.c_str()), L"42-x");
    const std::wstring big(3000, L'q');
    ASSERT_TRUE(s.Printf(L"[%ls]", big.c_str()));
    EXPECT_EQ(s.Length(), 3002u);
    EXPECT_EQ(std::wstring(s.c_str()), L"[" + big + L"]");
}

TEST(CoreString, PrintfDoesNotChangeSharedCopies) {
    CTNString a(L"keep");
    CTNString b = a;
    b.Printf(L"%ls", L"new");
    EXPECT_EQ(std::wstring(a.c_str()), L"keep");
    EXPECT_EQ(std::wstring(b.c_str()), L"new");
}

TEST(CoreString, PrefixFindAndMid) {
    CTNString s(L"usr/lib/kavlo");
    s.InsertPrefix(L"/");
    EXPECT_EQ(std::wstring(s.c_str()), L"/usr/lib/kavlo");
    const size_t slash = s.ReverseFind(L'/');
    EXPECT_EQ(slash, 8u);
    EXPECT_EQ(std::wstring(s.Mid(slash + 1).c_str()), L"kavlo");
    EXPECT_EQ(std::wstring(s.Mid(0, slash).c_str()), L"/usr/lib");
    EXPECT_EQ(std::wstring(s.Mid(100).c_str()), L"");
    EXPECT_EQ(s.ReverseFind(L'\\'), CTNString::npos);
    EXPECT_EQ(CTNString().ReverseFind(L'/'), CTNString::npos);
}

TEST(CoreString, Utf8RoundTrip) {
    const std::string utf8 = "K\xC3\xA4se \xF0\x9F\x98\x80";
    const CTNString s = CTNString::FromUtf8(utf8);
    EXPECT_EQ(std::wstring(s.c_str()), L"K\u00E4se \U0001F600");
    EXPECT_EQ(s.ToUtf8(), utf8);
}

TEST(CoreString, MalformedUtf8BecomesReplacementCharacter) {
    const CTNString s =
        CTNString::FromUtf8(std::string("a\xFF"
                                        "b"));
    EXPECT_EQ(std::wstring(s.c_str()), L"a\uFFFDb");
    const wchar_t bad[] = {L'x', static_cast<wchar_t>(0xD800), L'y', 0};
    EXPECT_EQ(CTNString(bad).ToUtf8(), "x\xEF\xBF\xBDy");
}
