// Reference-counted immutable UTF-16 strings that cross library boundaries. Created, shared and
// released only through these functions, so that memory is freed by the library that allocated it.
#pragma once

#include "TNBase.h"

#include <cwchar>

struct _TNStr {
    TNChar* buffer;                 // NUL-terminated at index capacity - 1
    void (*releaseFunc)(TNChar*);   // used only for ownership kind 2
    int32_t refCount;               // changed only atomically; 1 at creation
    uint8_t ownership;              // 0 not owned, 1 C heap (free), 2 release function
    int32_t capacity;               // units in the buffer, terminator included
};

extern "C" {
// Widens count bytes (read as ISO 8859-1) into count units; nothing is added beyond them.
TN_CORE_API void CharsToTNChars(const char* src, TNChar* dst, int count);
// Creators: the caller receives one reference, given back with CTNStrRelease.
TN_CORE_API _TNStr* CTNStrCreateFromCString(const char* text);
TN_CORE_API _TNStr* CTNStrCreateFromBuffer(const TNChar* text, int length);
TN_CORE_API _TNStr* CTNStrCreateFromUnicode(const wchar_t* text, int length);
TN_CORE_API int CTNStrGetLength(const _TNStr* str);
TN_CORE_API int CTNStrGetUtf8Length(const _TNStr* str);
TN_CORE_API const TNChar* CTNStrGetString(const _TNStr* str);
// A further reference to the same record (no allocation).
TN_CORE_API _TNStr* CTNStrCopyString(const _TNStr* str);
TN_CORE_API TNChar* CTNStrCopyToBuffer(const _TNStr* str, TNChar* dst, int dstUnits);
TN_CORE_API bool CTNStrToUnicode(const _TNStr* str, wchar_t* dst, int dstUnits);
TN_CORE_API bool CTNStrToUtf8(const _TNStr* str, char* dst, int dstBytes);
// Gives back one reference; null is ignored.
TN_CORE_API void CTNStrRelease(_TNStr* str);
}
