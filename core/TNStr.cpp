// The exported _TNStr functions: reference-counted immutable UTF-16 strings.
#include "TNStr.h"

#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

static_assert(sizeof(TNChar) == sizeof(UChar), "TNChar is a UTF-16 unit");
static_assert(sizeof(wchar_t) == sizeof(UChar32), "wchar_t holds UTF-32 on this platform");

namespace {

constexpr uint8_t kOwnedByHeap = 1;
constexpr uint8_t kOwnedByFunction = 2;

const UChar* AsUChar(const TNChar* p) { return reinterpret_cast<const UChar*>(p); }

// A record with a zeroed buffer of capacity units, count 1, ownership kind 1. Null when memory
// runs out or the capacity does not fit the record's 32-bit field.
_TNStr* NewString(size_t capacity) {
    if (capacity == 0 || capacity > static_cast<size_t>(INT32_MAX)) return nullptr;
    auto* buffer = static_cast<TNChar*>(std::calloc(capacity, sizeof(TNChar)));
    if (!buffer) return nullptr;
    auto* s = static_cast<_TNStr*>(std::malloc(sizeof(_TNStr)));
    if (!s) {
        std::free(buffer);
        return nullptr;
    }
    s->buffer = buffer;
    s->releaseFunc = nullptr;
    s->refCount = 1;
    s->ownership = kOwnedByHeap;
    s->capacity = static_cast<int32_t>(capacity);
    return s;
}

size_t CountUnits(const TNChar* text) {
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

}  // namespace

extern "C" {

void CharsToTNChars(const char* src, TNChar* dst, int count) {
    if (!src || !dst) return;
    for (int i = 0; i < count; ++i) dst[i] = static_cast<unsigned char>(src[i]);
}

_TNStr* CTNStrCreateFromCString(const char* text) {
    const size_t n = text ? std::strlen(text) : 0;
    _TNStr* s = NewString(n + 1);
    if (!s) return nullptr;
    for (size_t i = 0; i < n; ++i) s->buffer[i] = static_cast<unsigned char>(text[i]);
    return s;
}

_TNStr* CTNStrCreateFromBuffer(const TNChar* text, int length) {
    const size_t n = length > 0 ? static_cast<size_t>(length) : CountUnits(text);
    _TNStr* s = NewString(n + 1);
    if (!s) return nullptr;
    // Copy up to n units, stopping after a NUL; the rest of the buffer is already zero.
    if (text) {
        for (size_t i = 0; i < n; ++i) {
            s->buffer[i] = text[i];
            if (text[i] == 0) break;
        }
    }
    return s;
}

_TNStr* CTNStrCreateFromUnicode(const wchar_t* text, int length) {
    // Wide units to take: up to the first NUL, and no more than a positive length.
    size_t wideUnits = 0;
    size_t zeroTail = 0;
    if (text) {
        if (length > 0) {
            wideUnits = wcsnlen(text, static_cast<size_t>(length));
            // A NUL before `length` units: the units up to `length` are zero, as with
            // CTNStrCreateFromBuffer.
            zeroTail = static_cast<size_t>(length) - wideUnits;
        } else {
            wideUnits = std::wcslen(text);
        }
    } else if (length > 0) {
        zeroTail = static_cast<size_t>(length);
    }
    if (wideUnits > static_cast<size_t>(INT32_MAX)) return nullptr;

    const auto* src = reinterpret_cast<const UChar32*>(text);
    const auto srcLen = static_cast<int32_t>(wideUnits);
    int32_t units = 0;
    bool substitute = false;
    if (wideUnits > 0) {
        UErrorCode err = U_ZERO_ERROR;
        u_strFromWCS(nullptr, 0, &units, text, srcLen, &err);
        if (err == U_INVALID_CHAR_FOUND) {
            // A value that is no Unicode code point: keep the rest of the text and put U+FFFD
            // in its place rather than lose the whole string.
            substitute = true;
            err = U_ZERO_ERROR;
            u_strFromUTF32WithSub(nullptr, 0, &units, src, srcLen, 0xFFFD, nullptr, &err);
        }
        if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return nullptr;
    }
    _TNStr* s = NewString(static_cast<size_t>(units) + zeroTail + 1);
    if (!s) return nullptr;
    if (units > 0) {
        UErrorCode err = U_ZERO_ERROR;
        auto* dst = reinterpret_cast<UChar*>(s->buffer);
        if (substitute)
            u_strFromUTF32WithSub(dst, units, nullptr, src, srcLen, 0xFFFD, nullptr, &err);
        else
            u_strFromWCS(dst, units, nullptr, text, srcLen, &err);
        if (U_FAILURE(err)) {
            CTNStrRelease(s);
            return nullptr;
        }
    }
    return s;
}

int CTNStrGetLength(const _TNStr* str) {
    int n = 0;
    while (n < str->capacity && str->buffer[n]) ++n;
    return n;
}

int CTNStrGetUtf8Length(const _TNStr* str) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t need = 0;
    u_strToUTF8(nullptr, 0, &need, AsUChar(str->buffer), str->capacity, &err);
    if (err == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(err)) return need;
    return 0;  // an unpaired surrogate
}

const TNChar* CTNStrGetString(const _TNStr* str) { return str->buffer; }

_TNStr* CTNStrCopyString(const _TNStr* str) {
    auto* s = const_cast<_TNStr*>(str);
    __atomic_add_fetch(&s->refCount, 1, __ATOMIC_RELAXED);
    return s;
}

TNChar* CTNStrCopyToBuffer(const _TNStr* str, TNChar* dst, int dstUnits) {
    if (!dst || dstUnits <= 0) return dst;
    const int n = dstUnits < str->capacity ? dstUnits : str->capacity;
    for (int i = 0; i < n; ++i) {
        dst[i] = str->buffer[i];
        if (str->buffer[i] == 0) break;
    }
    return dst;
}

bool CTNStrToUnicode(const _TNStr* str, wchar_t* dst, int dstUnits) {
    if (dstUnits < 0 || (!dst && dstUnits > 0)) return false;
    // Measure first, so that nothing is written when the text does not fit or holds an
    // unpaired surrogate. Surrogate pairs become one wchar_t each, so the wide text needs at
    // most capacity units.
    UErrorCode err = U_ZERO_ERROR;
    int32_t need = 0;
    u_strToWCS(nullptr, 0, &need, AsUChar(str->buffer), str->capacity, &err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return false;
    if (dstUnits < need) return false;
    err = U_ZERO_ERROR;
    u_strToWCS(dst, dstUnits, nullptr, AsUChar(str->buffer), str->capacity, &err);
    return U_SUCCESS(err);
}

bool CTNStrToUtf8(const _TNStr* str, char* dst, int dstBytes) {
    if (dstBytes < 0 || (!dst && dstBytes > 0)) return false;
    UErrorCode err = U_ZERO_ERROR;
    int32_t written = 0;
    u_strToUTF8(dst, dstBytes, &written, AsUChar(str->buffer), str->capacity, &err);
    // "Output not terminated" is a warning, not a failure: the converted terminator already
    // ends the output.
    return U_SUCCESS(err);
}

void CTNStrRelease(_TNStr* str) {
    if (!str) return;
    if (__atomic_sub_fetch(&str->refCount, 1, __ATOMIC_ACQ_REL) != 0) return;
    switch (str->ownership) {
    case kOwnedByHeap: std::free(str->buffer); break;
    case kOwnedByFunction:
        if (str->releaseFunc) str->releaseFunc(str->buffer);
        break;
    default: break;  // not owned: the buffer is left alone
    }
    std::free(str);
}

}  // extern "C"
