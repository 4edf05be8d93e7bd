// Identifiers and the one interface of the test plug-ins that the registry tests load.
#pragma once

#include "TNInterfaces.h"

// Two classes; the "dup" library offers FakeA as well.
inline constexpr TNUUID CLSID_FakeA = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x01}};
inline constexpr TNUUID CLSID_FakeB = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x02}};
// Nobody offers this class.
inline constexpr TNUUID CLSID_FakeNone = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x03}};

inline constexpr TNUUID IID_IFakeTag = {
    0x66666666, 0x7777, 0x8888, {0x99, 0x99, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0x01}};

// Tells which library made an object.
struct IFakeTag : ITNObject {
    virtual const wchar_t* Tag() = 0;        // 3: the library's tag ("full", "dup")
    virtual const wchar_t* ClassName() = 0;  // 4: "A" or "B"

protected:
    ~IFakeTag() = default;
};

// Log lines of the fake libraries, as the tests expect them (after the line prefix).
//   "FakePlugin <tag>: class object <class> released"
//   "FakePlugin <tag>: unloaded"
//   "TNCanUnloadNow: Cannot unload, locked: '<0|1>', active objects: <n>!"
