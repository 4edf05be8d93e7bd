#include "settings/TerminalText.h"

#include <cstdint>

namespace kavlo {

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
}

// The length of the valid UTF-8 sequence at `s` (at most `left` bytes), else 0: no overlong
// forms, no surrogates, nothing above U+10FFFF.
size_t Utf8Length(const unsigned char* s, size_t left) {
    const unsigned char b = s[0];
    size_t length = 0;
    uint32_t code = 0;
    uint32_t lowest = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2, code = b & 0x1Fu, lowest = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, code = b & 0x0Fu, lowest = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, code = b & 0x07u, lowest = 0x10000;
    } else {
        return 0;
    }
    if (length > left) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (s[i] & 0x3Fu);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    // The C1 controls are terminal controls too (0x9B starts a sequence as ESC [ does).
    if (code >= 0x80 && code <= 0x9F) return 0;
    return length;
}

}  // namespace

std::string TerminalSafeText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    for (size_t i = 0; i < size;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            if ((b < 0x20 && b != '\n') || b == 0x7F) {
                AppendEscaped(out, b);
            } else {
                out += static_cast<char>(b);
            }
            ++i;
            continue;
        }
        const size_t length = Utf8Length(s + i, size - i);
        if (length == 0) {
            AppendEscaped(out, b);
            ++i;
            continue;
        }
        out.append(bytes.data() + i, length);
        i += length;
    }
    return out;
}

}  // namespace kavlo
