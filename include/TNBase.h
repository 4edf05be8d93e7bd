// Basic types shared by TarnCore, its plug-ins and the viewer: result codes, identifiers,
// UTF-16 characters and the export macro of the core library.
#pragma once

#include <cstdint>
#include <cstring>

// Functions and classes the core library exports (everything else in it is hidden).
#define TN_CORE_API __attribute__((visibility("default")))
#define TN_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

// Result of every operation that can fail: negative on failure, callers test the sign.
typedef int32_t TNRESULT;

#define TN_SUCCEEDED(r) ((TNRESULT)(r) >= 0)
#define TN_FAILED(r) ((TNRESULT)(r) < 0)

#define TN_OK ((TNRESULT)0x00000000)
#define TN_FALSE ((TNRESULT)0x00000001)
#define TN_E_NOTIMPL ((TNRESULT)0x80000001)
#define TN_E_OOM ((TNRESULT)0x80000002)
#define TN_E_INVALIDARG ((TNRESULT)0x80000003)
#define TN_E_NOINTERFACE ((TNRESULT)0x80000004)
#define TN_E_POINTER ((TNRESULT)0x80000005)
#define TN_E_HANDLE ((TNRESULT)0x80000006)
#define TN_E_ABORT ((TNRESULT)0x80000007)
#define TN_E_FAIL ((TNRESULT)0x80000008)
#define TN_E_ACCESSDENIED ((TNRESULT)0x80000009)
#define TN_E_UNEXPECTED ((TNRESULT)0x8000FFFF)
#define TN_E_CLASSNOTAVAILABLE ((TNRESULT)0x80040111)
#define TN_E_NOTSUPPORTED ((TNRESULT)0x80CF0001)
#define TN_E_NOTINITIALIZED ((TNRESULT)0x80CF0002)
#define TN_E_ALREADYCOMMITTED ((TNRESULT)0x80CF0003)
#define TN_E_BADALIGN ((TNRESULT)0x80CF0004)
#define TN_E_BUFFERSOUTSTANDING ((TNRESULT)0x80CF0005)
#define TN_E_FILEACCESS ((TNRESULT)0x80CF0006)
#define TN_E_FILEEXISTS ((TNRESULT)0x80CF0007)
#define TN_E_ISDIRECTORY ((TNRESULT)0x80CF0008)
#define TN_E_TOOMANYOPENFILES ((TNRESULT)0x80CF0009)
#define TN_E_FILENOTFOUND ((TNRESULT)0x80CF000A)
#define TN_E_NOSPACE ((TNRESULT)0x80CF000B)
#define TN_E_READONLYFS ((TNRESULT)0x80CF000C)
#define TN_E_READ ((TNRESULT)0x80CF000D)
#define TN_E_WRITE ((TNRESULT)0x80CF000E)
#define TN_E_SEEK ((TNRESULT)0x80CF000F)

// 16-byte class and interface identifier. The integers are stored in native (little-endian)
// order; identifiers are compared and ordered as 16 unsigned bytes, first byte first.
struct TNUUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(TNUUID) == 16, "TNUUID is 16 bytes");

inline bool TNIsEqual(const TNUUID& a, const TNUUID& b) {
    return std::memcmp(&a, &b, sizeof(TNUUID)) == 0;
}
inline bool operator==(const TNUUID& a, const TNUUID& b) { return TNIsEqual(a, b); }
inline bool operator!=(const TNUUID& a, const TNUUID& b) { return !TNIsEqual(a, b); }
// Byte-wise order, the order of the core's class registry.
inline bool TNUUIDLess(const TNUUID& a, const TNUUID& b) {
    return std::memcmp(&a, &b, sizeof(TNUUID)) < 0;
}

// One UTF-16 code unit.
typedef char16_t TNChar;
