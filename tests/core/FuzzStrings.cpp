// Random UTF-16 text through the string functions: the measured UTF-8 length, the conversion and
// the wide round trip must agree with one another, and nothing may read or write out of bounds.
// The same input as bytes goes through the file-name conversion, which must give them back.
#include "TNFileName.h"
#include "TNStr.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int slack = data[0] % 8;  // how much smaller or larger the destinations are
    std::u16string units((size - 1) / 2, u'\0');
    std::memcpy(units.data(), data + 1, units.size() * 2);

    _TNStr* s = CTNStrCreateFromBuffer(units.data(), static_cast<int>(units.size()));
    if (!s) return 0;
    const int capacity = s->capacity;

    // UTF-8: the measured length is exactly the size that converts; one byte less fails.
    const int need = CTNStrGetUtf8Length(s);
    std::vector<char> utf8(static_cast<size_t>(need) + 8, '\x5A');
    if (need == 0) {
        if (CTNStrToUtf8(s, utf8.data(), static_cast<int>(utf8.size()))) std::abort();
    } else {
        if (!CTNStrToUtf8(s, utf8.data(), need)) std::abort();
        if (utf8[static_cast<size_t>(need) - 1] != '\0') std::abort();
        if (utf8[static_cast<size_t>(need)] != '\x5A') std::abort();
        if (CTNStrToUtf8(s, utf8.data(), need - 1 - (slack % need))) std::abort();
    }

    // Wide text: valid text (need != 0) converts and comes back unit for unit up to the first
    // NUL; invalid text is refused and nothing is written.
    std::vector<wchar_t> wide(static_cast<size_t>(capacity) + 1, static_cast<wchar_t>(0x5A5A));
    const bool converted = CTNStrToUnicode(s, wide.data(), capacity);
    if (converted != (need != 0)) std::abort();
    if (converted) {
        _TNStr* back = CTNStrCreateFromUnicode(wide.data(), -1);
        if (!back) std::abort();
        const int len = CTNStrGetLength(s);
        if (CTNStrGetLength(back) != len) std::abort();
        const size_t bytes = static_cast<size_t>(len) * 2;
        if (std::memcmp(CTNStrGetString(back), CTNStrGetString(s), bytes) != 0) std::abort();
        CTNStrRelease(back);
    } else {
        for (wchar_t w : wide)
            if (w != static_cast<wchar_t>(0x5A5A)) std::abort();
    }

    // Copy into a buffer of any size: never more than the buffer, never past the first NUL.
    const int dstUnits = capacity > slack ? capacity - slack : 1;
    std::u16string dst(static_cast<size_t>(dstUnits) + 4, u'\x5A5A');
    CTNStrCopyToBuffer(s, dst.data(), dstUnits);
    for (size_t i = static_cast<size_t>(dstUnits); i < dst.size(); ++i)
        if (dst[i] != u'\x5A5A') std::abort();

    // File names: the input's bytes come back unchanged through their text, and text that
    // converts to bytes holds only pairs and escapes (the UTF-8 conversion refuses escapes).
    const auto* bytes = reinterpret_cast<const char*>(data + 1);
    const std::u16string name = tn_file_name::FromBytes(bytes, size - 1);
    std::string nameBytes;
    if (!tn_file_name::ToBytes(name.data(), name.size(), &nameBytes)) std::abort();
    if (nameBytes != std::string(bytes, size - 1)) std::abort();
    if (tn_file_name::ToBytes(units.data(), units.size(), &nameBytes) && need == 0 &&
        !tn_file_name::HasEscapes(units.data(), units.size()))
        std::abort();

    _TNStr* copy = CTNStrCopyString(s);
    CTNStrRelease(copy);
    CTNStrRelease(s);
    return 0;
}
