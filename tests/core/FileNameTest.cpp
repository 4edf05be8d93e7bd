// File names between bytes and UTF-16 text (TNFileName.h): every byte string survives the round
// trip, well-formed UTF-8 decodes as UTF-8, and only the escapes turn back into single bytes.
#include "TNFileName.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::u16string Decode(const std::string& bytes) {
    return tn_file_name::FromBytes(bytes.data(), bytes.size());
}

bool Encode(const std::u16string& text, std::string* bytes) {
    return tn_file_name::ToBytes(text.data(), text.size(), bytes);
}

}  // namespace

TEST(FileName, Utf8DecodesAsTextAndNotUtf8AsEscapes) {
    struct Case {
        const char* what;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"ascii", "/tmp/clip.raw", u"/tmp/clip.raw"},
        {"utf-8", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xA5", u"caf\u00E9 \u20AC \U0001F3A5"},
        {"latin-1", "caf\xE9.raw", u"caf\xDCE9.raw"},
        {"lead without its trail", "\xC3.", u"\xDCC3."},
        {"trail without a lead", "\x80\xBF", u"\xDC80\xDCBF"},
        {"overlong slash", "\xC0\xAF", u"\xDCC0\xDCAF"},
        {"overlong three bytes", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
        {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
        {"cut short at the end", "a\xE2\x82", u"a\xDCE2\xDC82"},
        {"bytes F5 to FF", "\xF5\xFF", u"\xDCF5\xDCFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Decode(c.bytes), c.text);
        std::string back;
        ASSERT_TRUE(Encode(c.text, &back));
        EXPECT_EQ(back, c.bytes);
        const bool utf8 = &c == &cases[0] || &c == &cases[1];
        EXPECT_EQ(tn_file_name::HasEscapes(c.text.data(), c.text.size()), !utf8);
    }
}

TEST(FileName, EveryByteStringSurvivesTheRoundTrip) {
    std::mt19937 gen(7);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(gen() % 12, '\0');
        // Mostly high bytes and the leads and trails of UTF-8, so that both forms mix.
        for (char& b : bytes)
            b = static_cast<char>(gen() % 3 == 0 ? 0x20 + gen() % 0x60 : 0x80 + gen() % 0x80);
        std::string back;
        ASSERT_TRUE(Encode(Decode(bytes), &back));
        ASSERT_EQ(back, bytes) << "round " << round;
    }
}

TEST(FileName, SurrogatesThatStandForNoByteAreRefused) {
    std::string bytes;
    EXPECT_FALSE(Encode(u"a\xD800", &bytes)) << "lead at the end";
    EXPECT_FALSE(Encode(u"\xD800z", &bytes)) << "lead before no trail";
    EXPECT_FALSE(Encode(u"\xDC7F", &bytes)) << "trail below the escapes";
    EXPECT_FALSE(Encode(u"\xDD00", &bytes)) << "trail above the escapes";
    // A pair whose trail lies in the escapes' range is a character, not an escaped byte.
    ASSERT_TRUE(Encode(u"\xD800\xDC80", &bytes));
    EXPECT_EQ(bytes, "\xF0\x90\x82\x80");
    EXPECT_FALSE(tn_file_name::HasEscapes(u"\xD800\xDC80", 2));
}
