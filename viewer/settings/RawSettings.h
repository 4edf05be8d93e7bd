// The viewer's 208-byte raw settings record: how to read a raw file. It is stored byte for byte
// with each recent file, so its layout is a stored format.
#pragma once

#include "image/PixelLayout.h"

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct RawSettings {
    uint32_t size;               // 0: always 208
    int32_t filePrefix;          // 4
    uint32_t framePrefix;        // 8
    uint32_t framePostfix;       // 12
    uint64_t fileSize;           // 16: written back when the file is opened
    int64_t trailingBytes;       // 24: bytes after the last whole frame
    uint8_t deinterlace;         // 32
    uint8_t reserved33[3];       // 33
    uint32_t deinterlaceMethod;  // 36
    uint8_t mirrorVertical;      // 40
    uint8_t mirrorHorizontal;    // 41
    uint8_t reserved42[2];       // 42
    uint32_t frameDuration;      // 44
    uint32_t timeScale;          // 48
    RawVideoFormat rawFormat;    // 52
    // 202: [0] the colour matrix choice (0 BT.601, 1 BT.709, 2 BT.2020, 3 automatic from the
    // format block's colourMatrix; other values read as 0), [1] the sample range (0 limited,
    // 1 full; other values read as 0); ColourChoice.h reads and writes them. Every record written
    // before the choice existed holds 0 in both: BT.601 at limited range. [2..5] are zero.
    uint8_t reserved202[6];
};
#pragma pack(pop)

namespace kavlo {

// Deinterlacing methods, by their stored numbers.
enum DeinterlaceMethod : uint32_t {
    kDeinterlaceBlendFields = 0,
    kDeinterlaceTopField = 1,
    kDeinterlaceBottomField = 2,
    kDeinterlaceLowPass = 3,
};

}  // namespace kavlo

static_assert(sizeof(RawSettings) == 208, "RawSettings is a 208-byte stored record");
static_assert(offsetof(RawSettings, size) == 0, "layout");
static_assert(offsetof(RawSettings, filePrefix) == 4, "layout");
static_assert(offsetof(RawSettings, framePrefix) == 8, "layout");
static_assert(offsetof(RawSettings, framePostfix) == 12, "layout");
static_assert(offsetof(RawSettings, fileSize) == 16, "layout");
static_assert(offsetof(RawSettings, trailingBytes) == 24, "layout");
static_assert(offsetof(RawSettings, deinterlace) == 32, "layout");
static_assert(offsetof(RawSettings, reserved33) == 33, "layout");
static_assert(offsetof(RawSettings, deinterlaceMethod) == 36, "layout");
static_assert(offsetof(RawSettings, mirrorVertical) == 40, "layout");
static_assert(offsetof(RawSettings, mirrorHorizontal) == 41, "layout");
static_assert(offsetof(RawSettings, reserved42) == 42, "layout");
static_assert(offsetof(RawSettings, frameDuration) == 44, "layout");
static_assert(offsetof(RawSettings, timeScale) == 48, "layout");
static_assert(offsetof(RawSettings, rawFormat) == 52, "layout");
static_assert(offsetof(RawSettings, reserved202) == 202, "layout");

constexpr uint32_t kRawSettingsSize = 208;
