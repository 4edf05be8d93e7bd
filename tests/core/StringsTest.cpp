// _TNStr: creation, sharing, release kinds and the UTF-16 <-> UTF-8 / wchar_t conversions.
#include "TNStr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr TNChar kGuard16 = 0xA5A5;
constexpr wchar_t kGuardW = 0x5A5A5A;
constexpr char kGuard8 = static_cast<char>(0xA5);

// Owns one reference of a created string.
struct Str {
    explicit Str(_TNStr* str) : s(str) {}
    ~Str() { CTNStrRelease(s); }
    Str(const Str&) = delete;
    Str& operator=(const Str&) = delete;
    _TNStr* s;
};

std::u16string Units(const _TNStr* s) {
    return std::u16string(CTNStrGetString(s), static_cast<size_t>(s->capacity));
}

_TNStr* FromUnits(std::u16string units) {
    return CTNStrCreateFromBuffer(units.data(), static_cast<int>(units.size()));
}

std::string Utf8(const _TNStr* s, int size) {
    std::string out(static_cast<size_t>(size), kGuard8);
    if (!CTNStrToUtf8(s, out.data(), size)) return "<failed>";
    return out;
}

}  // namespace

TEST(Strings, CreatedRecordInvariants) {
    Str s(CTNStrCreateFromCString("abc"));
    ASSERT_NE(s.s, nullptr);
    EXPECT_EQ(s.s->refCount, 1);
    EXPECT_EQ(s.s->ownership, 1);
    EXPECT_EQ(s.s->releaseFunc, nullptr);
    EXPECT_EQ(s.s->capacity, 4);
    EXPECT_EQ(Units(s.s), std::u16string(u"abc\0", 4));
    EXPECT_EQ(CTNStrGetLength(s.s), 3);
    EXPECT_EQ(CTNStrGetUtf8Length(s.s), 4);
}

TEST(Strings, EmptyCString) {
    Str s(CTNStrCreateFromCString(""));
    EXPECT_EQ(s.s->capacity, 1);
    EXPECT_EQ(CTNStrGetLength(s.s), 0);
    EXPECT_EQ(CTNStrGetUtf8Length(s.s), 1);
}

TEST(Strings, HighBytesWidenAsLatin1) {
    Str s(CTNStrCreateFromCString("\xE9\xFF"));
    EXPECT_EQ(Units(s.s),
              std::u16string(u"\u00E9\u00FF\0", 3));  // zero-extended, not sign-extended
    EXPECT_EQ(CTNStrGetUtf8Length(s.s), 5);
    EXPECT_EQ(Utf8(s.s, 5), std::string("\xC3\xA9\xC3\xBF\0", 5));
}

TEST(Strings, CharsToTNCharsWritesExactlyCount) {
    struct Case {
        int count;
        std::u16string expected;
    };
    const Case cases[] = {
        {3, std::u16string{u'a', 0x80, 0xFF, kGuard16, kGuard16}},
        {0, std::u16string(5, kGuard16)},
        {-1, std::u16string(5, kGuard16)},
    };
    for (const Case& c : cases) {
        std::u16string dst(5, kGuard16);
        CharsToTNChars("a\x80\xFFzz", dst.data(), c.count);
        EXPECT_EQ(dst, c.expected) << "count " << c.count;
    }
}

TEST(Strings, CreateFromBufferLengths) {
    const TNChar text[] = u"hello";
    struct Case {
        int length;
        std::u16string units;
    };
    const Case cases[] = {
        {3, std::u16string(u"hel\0", 4)},
        {0, std::u16string(u"hello\0", 6)},
        {-1, std::u16string(u"hello\0", 6)},
        {5, std::u16string(u"hello\0", 6)},
    };
    for (const Case& c : cases) {
        Str s(CTNStrCreateFromBuffer(text, c.length));
        EXPECT_EQ(Units(s.s), c.units) << "length " << c.length;
        EXPECT_EQ(s.s->capacity, static_cast<int>(c.units.size()));
    }
}

TEST(Strings, CreateFromBufferStopsAtNul) {
    const TNChar text[] = {u'a', u'b', 0, u'c', u'd', 0};
    Str s(CTNStrCreateFromBuffer(text, 5));
    EXPECT_EQ(s.s->capacity, 6);
    EXPECT_EQ(CTNStrGetLength(s.s), 2);
    EXPECT_EQ(Units(s.s), std::u16string(u"ab\0\0\0\0", 6));  // nothing after the NUL is copied
}

TEST(Strings, CreateFromUnicode) {
    struct Case {
        const wchar_t* text;
        int length;
        std::u16string units;
    };
    const Case cases[] = {
        {L"h\u00E9llo", 0, std::u16string(u"h\u00E9llo\0", 6)},
        {L"h\u00E9llo", -1, std::u16string(u"h\u00E9llo\0", 6)},
        {L"h\u00E9llo", 2, std::u16string(u"h\u00E9\0", 3)},
        // A code point beyond the BMP becomes a surrogate pair.
        {L"a\U0001F600", -1, std::u16string{u'a', 0xD83D, 0xDE00, 0}},
        {L"", -1, std::u16string(1, 0)},
    };
    for (const Case& c : cases) {
        Str s(CTNStrCreateFromUnicode(c.text, c.length));
        ASSERT_NE(s.s, nullptr);
        EXPECT_EQ(Units(s.s), c.units) << "length " << c.length;
        EXPECT_EQ(s.s->refCount, 1);
    }
}

TEST(Strings, CreateFromUnicodeReplacesValuesThatAreNoCodePoints) {
    const wchar_t text[] = {L'a', static_cast<wchar_t>(0x110000), L'b', 0};
    Str s(CTNStrCreateFromUnicode(text, -1));
    ASSERT_NE(s.s, nullptr);
    EXPECT_EQ(Units(s.s), (std::u16string{u'a', 0xFFFD, u'b', 0}));
}

TEST(Strings, CopyIsAFurtherReference) {
    _TNStr* s = CTNStrCreateFromCString("shared");
    _TNStr* copy = CTNStrCopyString(s);
    EXPECT_EQ(copy, s);
    EXPECT_EQ(s->refCount, 2);
    CTNStrRelease(copy);
    EXPECT_EQ(s->refCount, 1);
    EXPECT_EQ(CTNStrGetLength(s), 6);  // still valid after the first release
    CTNStrRelease(s);                  // the sanitizer build reports a leak if this frees nothing
    CTNStrRelease(nullptr);            // ignored
}

namespace {
int g_releaseCalls = 0;
TNChar* g_releasedBuffer = nullptr;
void CountingRelease(TNChar* buffer) {
    ++g_releaseCalls;
    g_releasedBuffer = buffer;
}
_TNStr* HandMadeRecord(TNChar* buffer, uint8_t ownership, int32_t capacity) {
    auto* s = static_cast<_TNStr*>(std::malloc(sizeof(_TNStr)));
    s->buffer = buffer;
    s->releaseFunc = ownership == 2 ? CountingRelease : nullptr;
    s->refCount = 1;
    s->ownership = ownership;
    s->capacity = capacity;
    return s;
}
}  // namespace

TEST(Strings, ReleaseHonoursOwnershipKind) {
    static TNChar text[] = u"static";
    // Kind 2: the release function gets the buffer once, with the last reference.
    g_releaseCalls = 0;
    _TNStr* s = HandMadeRecord(text, 2, 7);
    CTNStrCopyString(s);
    CTNStrRelease(s);
    EXPECT_EQ(g_releaseCalls, 0);
    CTNStrRelease(s);
    EXPECT_EQ(g_releaseCalls, 1);
    EXPECT_EQ(g_releasedBuffer, text);
    // Kind 0: the buffer is left alone (freeing a static array would be caught by the sanitizer).
    CTNStrRelease(HandMadeRecord(text, 0, 7));
    EXPECT_EQ(text[0], u's');
}

TEST(Strings, ToUnicodeNeedsRoomForEverything) {
    Str s(CTNStrCreateFromCString("abc"));
    std::vector<wchar_t> dst(6, kGuardW);
    EXPECT_TRUE(CTNStrToUnicode(s.s, dst.data(), 4));  // exactly the capacity
    EXPECT_EQ(std::wstring(dst.data(), 5), std::wstring(L"abc\0", 4) + kGuardW);

    std::vector<wchar_t> small(6, kGuardW);
    EXPECT_FALSE(CTNStrToUnicode(s.s, small.data(), 3));  // one unit short: nothing written
    EXPECT_EQ(small, std::vector<wchar_t>(6, kGuardW));
    EXPECT_FALSE(CTNStrToUnicode(s.s, small.data(), -1));
    EXPECT_FALSE(CTNStrToUnicode(s.s, nullptr, 4));
    EXPECT_EQ(small, std::vector<wchar_t>(6, kGuardW));
}

TEST(Strings, ToUnicodeJoinsSurrogatePairs) {
    // wchar_t holds UTF-32: the pair becomes one unit, so 3 units hold "a", U+1F600 and NUL.
    Str s(FromUnits(std::u16string{u'a', 0xD83D, 0xDE00}));
    ASSERT_EQ(s.s->capacity, 4);
    std::vector<wchar_t> dst(4, kGuardW);
    EXPECT_FALSE(CTNStrToUnicode(s.s, dst.data(), 2));
    EXPECT_EQ(dst, std::vector<wchar_t>(4, kGuardW));
    EXPECT_TRUE(CTNStrToUnicode(s.s, dst.data(), 3));
    EXPECT_EQ(dst[0], L'a');
    EXPECT_EQ(dst[1], static_cast<wchar_t>(0x1F600));
    EXPECT_EQ(dst[2], L'\0');
    EXPECT_EQ(dst[3], kGuardW);
}

TEST(Strings, ToUnicodeRefusesUnpairedSurrogate) {
    Str s(FromUnits(std::u16string{u'a', 0xD800, u'b'}));
    std::vector<wchar_t> dst(8, kGuardW);
    EXPECT_FALSE(CTNStrToUnicode(s.s, dst.data(), 8));
    EXPECT_EQ(dst, std::vector<wchar_t>(8, kGuardW));
}

TEST(Strings, Utf8Conversion) {
    struct Case {
        const char* name;
        std::u16string units;
        std::string utf8;
    };
    const Case cases[] = {
        {"ascii", u"abc", std::string("abc\0", 4)},
        {"two-byte", u"\u00E9", std::string("\xC3\xA9\0", 3)},
        {"three-byte", u"\u20AC", std::string("\xE2\x82\xAC\0", 4)},
        {"pair", std::u16string{0xD83D, 0xDE00}, std::string("\xF0\x9F\x98\x80\0", 5)},
        {"lone lead", std::u16string{0xD800}, ""},
        {"lone trail", std::u16string{0xDC00, u'a'}, ""},
        {"lead then letter", std::u16string{0xD83D, u'a'}, ""},
        {"trail before lead", std::u16string{0xDE00, 0xD83D}, ""},
    };
    for (const Case& c : cases) {
        Str s(FromUnits(c.units));
        if (c.utf8.empty()) {
            EXPECT_EQ(CTNStrGetUtf8Length(s.s), 0) << c.name;
            char dst[16];
            EXPECT_FALSE(CTNStrToUtf8(s.s, dst, sizeof dst)) << c.name;
        } else {
            const int n = static_cast<int>(c.utf8.size());
            EXPECT_EQ(CTNStrGetUtf8Length(s.s), n) << c.name;
            EXPECT_EQ(Utf8(s.s, n), c.utf8) << c.name;  // exactly fitting output succeeds
            EXPECT_EQ(Utf8(s.s, n - 1), "<failed>") << c.name;
        }
    }
}

TEST(Strings, Utf8OverflowWritesOnlyWholeCharacters) {
    Str s(CTNStrCreateFromBuffer(u"a\u00E9", -1));
    std::string dst(4, kGuard8);
    EXPECT_FALSE(CTNStrToUtf8(s.s, dst.data(), 2));
    EXPECT_EQ(dst[0], 'a');
    EXPECT_EQ(dst[1], kGuard8);  // half of the two-byte character is not written
    EXPECT_FALSE(CTNStrToUtf8(s.s, dst.data(), -1));
    EXPECT_FALSE(CTNStrToUtf8(s.s, nullptr, 4));
}

TEST(Strings, Utf8AddsZeroWhenRoomIsLeft) {
    Str s(CTNStrCreateFromCString("ab"));
    std::string dst(6, kGuard8);
    EXPECT_TRUE(CTNStrToUtf8(s.s, dst.data(), 6));
    EXPECT_EQ(dst.substr(0, 3), std::string("ab\0", 3));
}

TEST(Strings, CopyToBuffer) {
    Str s(CTNStrCreateFromCString("hello"));
    struct Case {
        int size;
        std::u16string expected;
    };
    const Case cases[] = {
        {3, std::u16string{u'h', u'e', u'l', kGuard16, kGuard16, kGuard16, kGuard16, kGuard16}},
        {6, std::u16string{u'h', u'e', u'l', u'l', u'o', 0, kGuard16, kGuard16}},
        {8, std::u16string{u'h', u'e', u'l', u'l', u'o', 0, kGuard16, kGuard16}},
        {0, std::u16string(8, kGuard16)},
    };
    for (const Case& c : cases) {
        std::u16string dst(8, kGuard16);
        EXPECT_EQ(CTNStrCopyToBuffer(s.s, dst.data(), c.size), dst.data());
        EXPECT_EQ(dst, c.expected) << "size " << c.size;
    }
}
