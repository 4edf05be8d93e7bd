// File names between the bytes the file system stores and UTF-16 text, without loss.
//
// Linux file names are any bytes but '/' and NUL; most are UTF-8, some are not (a name saved in
// ISO 8859-1, for instance). Bytes that are part of a well-formed UTF-8 sequence become the
// character it encodes; every other byte b (always 0x80 or above) becomes the lone low surrogate
// U+DC00 + b, which no well-formed UTF-16 text holds on its own. Going back, such a surrogate
// becomes its byte again, so bytes -> text -> bytes gives the very bytes that went in.
//
// Header-only, so that the core, the plug-in and the viewer share one definition without a
// further export from the core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tn_file_name {

// The lone surrogates that stand for undecodable bytes 0x80..0xFF.
constexpr char16_t kEscapeFirst = 0xDC80;
constexpr char16_t kEscapeLast = 0xDCFF;

// The length of the well-formed UTF-8 sequence at p (at most `left` bytes), or 0 when the byte
// at p starts none. Overlong forms, encoded surrogates and values above U+10FFFF are not
// well-formed.
inline size_t WellFormedLength(const unsigned char* p, size_t left) {
    const unsigned char b = p[0];
    if (b < 0x80) return 1;
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (left < n || p[1] < lo || p[1] > hi) return 0;
    for (size_t i = 2; i < n; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    return n;
}

// The text of `count` file-name bytes.
inline std::u16string FromBytes(const char* bytes, size_t count) {
    std::u16string out;
    out.reserve(count);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0;
    while (i < count) {
        const size_t n = WellFormedLength(p + i, count - i);
        if (n == 0) {
            out.push_back(static_cast<char16_t>(0xDC00u + p[i]));
            ++i;
            continue;
        }
        // The lead byte's payload bits: all 7, or 5, 4 or 3 behind the length marker.
        static constexpr unsigned kLeadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        uint32_t c = p[i] & kLeadMask[n];
        for (size_t k = 1; k < n; ++k) c = (c << 6) | (p[i + k] & 0x3Fu);
        if (c > 0xFFFF) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800u + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00u + (c & 0x3FFu)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += n;
    }
    return out;
}

// The file-name bytes of `count` UTF-16 units. False (out unspecified) when the text holds a
// surrogate that is neither half of a pair nor one of the escapes U+DC80..U+DCFF: such text
// comes from no file name.
inline bool ToBytes(const char16_t* text, size_t count, std::string* out) {
    out->clear();
    out->reserve(count);
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= kEscapeFirst && c <= kEscapeLast) {
            out->push_back(static_cast<char>(c - 0xDC00u));
            continue;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return false;
        }
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (c >> 12)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (c >> 18)));
            out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

// True when the text holds an escaped byte, i.e. its file name is not UTF-8.
inline bool HasEscapes(const char16_t* text, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (text[i] >= kEscapeFirst && text[i] <= kEscapeLast) return true;
    }
    return false;
}

}  // namespace tn_file_name
