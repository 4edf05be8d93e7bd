#include "TextConvert.h"

#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <climits>

static_assert(sizeof(wchar_t) == sizeof(UChar32), "wchar_t holds UTF-32 on this platform");

namespace {

constexpr UChar32 kReplacement = 0xFFFD;

bool FitsInt32(size_t n) { return n <= static_cast<size_t>(INT32_MAX); }

// UTF-8 -> UTF-16 with substitution; empty on failure.
std::u16string Utf8ToUtf16(const char* text, size_t bytes) {
    std::u16string out;
    if (!text || bytes == 0 || !FitsInt32(bytes)) return out;
    const auto len = static_cast<int32_t>(bytes);
    UErrorCode err = U_ZERO_ERROR;
    int32_t need = 0;
    u_strFromUTF8WithSub(nullptr, 0, &need, text, len, kReplacement, nullptr, &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return out;
    out.resize(static_cast<size_t>(need));
    err = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), need, &need, text, len, kReplacement,
                         nullptr, &err);
    if (U_FAILURE(err)) out.clear();
    return out;
}

// UTF-32 -> UTF-16 with substitution; empty on failure.
std::u16string WideToUtf16(const wchar_t* text, size_t units) {
    std::u16string out;
    if (!text || units == 0 || !FitsInt32(units)) return out;
    const auto* src = reinterpret_cast<const UChar32*>(text);
    const auto len = static_cast<int32_t>(units);
    UErrorCode err = U_ZERO_ERROR;
    int32_t need = 0;
    u_strFromUTF32WithSub(nullptr, 0, &need, src, len, kReplacement, nullptr, &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return out;
    out.resize(static_cast<size_t>(need));
    err = U_ZERO_ERROR;
    u_strFromUTF32WithSub(reinterpret_cast<UChar*>(out.data()), need, &need, src, len, kReplacement,
                          nullptr, &err);
    if (U_FAILURE(err)) out.clear();
    return out;
}

}  // namespace

std::wstring Utf8ToWide(const char* text, size_t bytes) {
    const std::u16string u16 = Utf8ToUtf16(text, bytes);
    std::wstring out;
    if (u16.empty()) return out;
    const auto* src = reinterpret_cast<const UChar*>(u16.data());
    const auto len = static_cast<int32_t>(u16.size());
    UErrorCode err = U_ZERO_ERROR;
    int32_t need = 0;
    u_strToWCS(nullptr, 0, &need, src, len, &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return out;
    out.resize(static_cast<size_t>(need));
    err = U_ZERO_ERROR;
    u_strToWCS(out.data(), need, &need, src, len, &err);
    if (U_FAILURE(err)) out.clear();
    return out;
}

std::string WideToUtf8(const wchar_t* text, size_t units) {
    const std::u16string u16 = WideToUtf16(text, units);
    std::string out;
    if (u16.empty()) return out;
    const auto* src = reinterpret_cast<const UChar*>(u16.data());
    const auto len = static_cast<int32_t>(u16.size());
    UErrorCode err = U_ZERO_ERROR;
    int32_t need = 0;
    u_strToUTF8WithSub(nullptr, 0, &need, src, len, kReplacement, nullptr, &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return out;
    out.resize(static_cast<size_t>(need));
    err = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), need, &need, src, len, kReplacement, nullptr, &err);
    if (U_FAILURE(err)) out.clear();
    return out;
}
