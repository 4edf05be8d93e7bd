// Reference-counted immutable UTF-16 strings that cross library boundaries. Created, shared and
// released only through these functions, so that memory is freed by the library that allocated it.
#pragma once

#include "TNBase.h"

#include <cwchar>

struct _TNStr {
    TNChar* buffer;                // NUL-terminated at index capacity - 1
    void (*releaseFunc)(TNChar*);  // used only for ownership kind 2
    int32_t refCount;              // changed only atomically; 1 at creation
    uint8_t ownership;             // 0 not owned, 1 C heap (free), 2 release function
    int32_t capacity;              // units in the buffer, terminator included
};

extern "C" {
// Widens count bytes (read as ISO 8859-1) into count units; nothing is added beyond them.
TN_CORE_API void CharsToTNChars(const char* src, TNChar* dst, int count);
// Creators: the caller receives one reference, given back with CTNStrRelease.
TN_CORE_API _TNStr* CTNStrCreateFromCString(const char* text);
TN_CORE_API _TNStr* CTNStrCreateFromBuffer(const TNChar* text, int length);
// wchar_t text is UTF-32: each code point beyond U+FFFF becomes a surrogate pair, a value that is
// no code point becomes U+FFFD. length <= 0: up to the first NUL; otherwise that many wchar_t.
// The creators return null only when memory runs out.
TN_CORE_API _TNStr* CTNStrCreateFromUnicode(const wchar_t* text, int length);
TN_CORE_API int CTNStrGetLength(const _TNStr* str);
// Bytes of the UTF-8 form of all capacity units, terminator included; 0 for an unpaired surrogate.
TN_CORE_API int CTNStrGetUtf8Length(const _TNStr* str);
TN_CORE_API const TNChar* CTNStrGetString(const _TNStr* str);
// A further reference to the same record (no allocation).
TN_CORE_API _TNStr* CTNStrCopyString(const _TNStr* str);
TN_CORE_API TNChar* CTNStrCopyToBuffer(const _TNStr* str, TNChar* dst, int dstUnits);
// All capacity units as UTF-32 (a surrogate pair becomes one wchar_t), terminator included.
// dstUnits counts wchar_t; false with nothing written when the converted text does not fit, when
// dstUnits is negative, dst is null with a positive size, or the text holds an unpaired surrogate.
TN_CORE_API bool CTNStrToUnicode(const _TNStr* str, wchar_t* dst, int dstUnits);
// All capacity units as UTF-8 (ends with a zero byte); false on overflow (whole characters only
// are written) or on an unpaired surrogate.
TN_CORE_API bool CTNStrToUtf8(const _TNStr* str, char* dst, int dstBytes);
// Gives back one reference; null is ignored.
TN_CORE_API void CTNStrRelease(_TNStr* str);
}
