// The catalogue of the pixel layouts Kavlo shows, and the raw video format block that
// describes one stream's layout and geometry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Layout codes. A FOURCC code's four bytes, lowest first, spell its letters.
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
           (uint32_t(uint8_t(d)) << 24);
}

enum LayoutCode : uint32_t {
    kLayoutYV12 = MakeFourCC('Y', 'V', '1', '2'),
    kLayoutI420 = MakeFourCC('I', '4', '2', '0'),
    kLayoutI420LE16 = 0x00000300,
    kLayoutI420BE16 = 0x00000301,
    kLayoutYV16 = MakeFourCC('Y', 'V', '1', '6'),
    kLayoutP010 = MakeFourCC('P', '0', '1', '0'),
    kLayoutP016 = MakeFourCC('P', '0', '1', '6'),
    kLayoutP210 = MakeFourCC('P', '2', '1', '0'),
    kLayoutP216 = MakeFourCC('P', '2', '1', '6'),
    kLayoutYUY2 = MakeFourCC('Y', 'U', 'Y', '2'),
    kLayoutV422 = MakeFourCC('V', '4', '2', '2'),
    kLayoutYUYV = MakeFourCC('Y', 'U', 'Y', 'V'),
    kLayoutUYVY = MakeFourCC('U', 'Y', 'V', 'Y'),
    kLayoutVYUY = MakeFourCC('V', 'Y', 'U', 'Y'),
    kLayoutY210 = MakeFourCC('Y', '2', '1', '0'),
    kLayoutV210 = MakeFourCC('v', '2', '1', '0'),
    kLayoutY216 = MakeFourCC('Y', '2', '1', '6'),
    kLayoutV216 = MakeFourCC('v', '2', '1', '6'),
    kLayoutYV24 = MakeFourCC('Y', 'V', '2', '4'),
    kLayoutVUYA = MakeFourCC('V', 'U', 'Y', 'A'),
    kLayoutAYUV = MakeFourCC('A', 'Y', 'U', 'V'),
    kLayoutR555 = MakeFourCC('L', '5', '5', '5'),
    kLayoutR565 = MakeFourCC('L', '5', '6', '5'),
    kLayoutBGR3 = MakeFourCC('B', 'G', 'R', '3'),
    kLayoutRGB3 = MakeFourCC('R', 'G', 'B', '3'),
    kLayoutR24C = MakeFourCC('R', '2', '4', 'C'),
    kLayoutBGR444P = 0x00000400,
    kLayoutRGB444P = 0x00000401,
    kLayoutBGR161616 = 0x00000500,
    kLayoutRGB161616 = 0x00000501,
    kLayoutBGR4 = MakeFourCC('B', 'G', 'R', '4'),
    kLayoutRGB4 = MakeFourCC('R', 'G', 'B', '4'),
    kLayoutR32C = MakeFourCC('R', '3', '2', 'C'),
    kLayoutBGRA = MakeFourCC('B', 'G', 'R', 'A'),
    kLayoutARGB = MakeFourCC('A', 'R', 'G', 'B'),
    kLayoutBGRA16161616 = 0x00000600,
    kLayoutARGB16161616 = 0x00000601,
    kLayoutGRAY = 0x00000028,
    kLayoutGRAYLE16 = 0x00000200,
    kLayoutGRAYBE16 = 0x00000201,
    // Rows after the first 40: 8-bit semi-planar Y'CbCr and one more 4:2:2 pair order.
    kLayoutNV12 = MakeFourCC('N', 'V', '1', '2'),
    kLayoutNV21 = MakeFourCC('N', 'V', '2', '1'),
    kLayoutNV16 = MakeFourCC('N', 'V', '1', '6'),
    kLayoutNV61 = MakeFourCC('N', 'V', '6', '1'),
    kLayoutNV24 = MakeFourCC('N', 'V', '2', '4'),
    kLayoutNV42 = MakeFourCC('N', 'V', '4', '2'),
    kLayoutYVYU = MakeFourCC('Y', 'V', 'Y', 'U'),
    // 8-bit planar Y'CbCr with the Cb plane first: 4:2:2, 4:4:4, 4:1:1 and 4:4:0.
    kLayoutI422 = MakeFourCC('I', '4', '2', '2'),
    kLayoutI444 = MakeFourCC('I', '4', '4', '4'),
    kLayoutY41B = MakeFourCC('Y', '4', '1', 'B'),
    kLayoutI440 = MakeFourCC('I', '4', '4', '0'),
    // Planar Y'CbCr in 16-bit words, the value in the low bits, Cb plane first.
    kLayoutI420LE10 = 0x00000700,
    kLayoutI420LE12 = 0x00000701,
    kLayoutI420BE10 = 0x00000702,
    kLayoutI420BE12 = 0x00000703,
    kLayoutI422LE10 = 0x00000710,
    kLayoutI422LE12 = 0x00000711,
    kLayoutI422LE16 = 0x00000712,
    kLayoutI422BE10 = 0x00000713,
    kLayoutI422BE12 = 0x00000714,
    kLayoutI422BE16 = 0x00000715,
    kLayoutI444LE10 = 0x00000720,
    kLayoutI444LE12 = 0x00000721,
    kLayoutI444LE16 = 0x00000722,
    kLayoutI444BE10 = 0x00000723,
    kLayoutI444BE12 = 0x00000724,
    kLayoutI444BE16 = 0x00000725,
    // Semi-planar 4:4:4 in 16-bit words.
    kLayoutP410 = MakeFourCC('P', '4', '1', '0'),
    kLayoutP416 = MakeFourCC('P', '4', '1', '6'),
    // Grey in 16-bit LE words, the value in the low bits.
    kLayoutGRAYLE10 = 0x00000202,
    kLayoutGRAYLE12 = 0x00000203,
    // Packed 10-bit samples in 32-bit words.
    kLayoutY410 = MakeFourCC('Y', '4', '1', '0'),
    kLayoutV410 = MakeFourCC('v', '4', '1', '0'),
    kLayoutR210 = MakeFourCC('r', '2', '1', '0'),
    kLayoutX2R10G10B10 = 0x00000800,
    kLayoutX2B10G10R10 = 0x00000801,
    // 8-bit R'G'B' byte orders with alpha.
    kLayoutRGBA = MakeFourCC('R', 'G', 'B', 'A'),
    kLayoutABGR = MakeFourCC('A', 'B', 'G', 'R'),
    // Bayer mosaics straight from image sensors: one colour sample per pixel, the name giving
    // the colours of the top-left 2 x 2 cell row by row. 8-bit samples, or 10, 12 or 16 bits in
    // the low bits of little-endian 16-bit words.
    kLayoutRGGB = MakeFourCC('R', 'G', 'G', 'B'),
    kLayoutBGGR = MakeFourCC('B', 'A', '8', '1'),
    kLayoutGRBG = MakeFourCC('G', 'R', 'B', 'G'),
    kLayoutGBRG = MakeFourCC('G', 'B', 'R', 'G'),
    kLayoutRGGBLE10 = MakeFourCC('R', 'G', '1', '0'),
    kLayoutBGGRLE10 = MakeFourCC('B', 'G', '1', '0'),
    kLayoutGRBGLE10 = MakeFourCC('B', 'A', '1', '0'),
    kLayoutGBRGLE10 = MakeFourCC('G', 'B', '1', '0'),
    kLayoutRGGBLE12 = MakeFourCC('R', 'G', '1', '2'),
    kLayoutBGGRLE12 = MakeFourCC('B', 'G', '1', '2'),
    kLayoutGRBGLE12 = MakeFourCC('B', 'A', '1', '2'),
    kLayoutGBRGLE12 = MakeFourCC('G', 'B', '1', '2'),
    kLayoutRGGBLE16 = MakeFourCC('R', 'G', '1', '6'),
    kLayoutBGGRLE16 = MakeFourCC('B', 'Y', 'R', '2'),
    kLayoutGRBGLE16 = MakeFourCC('G', 'R', '1', '6'),
    kLayoutGBRGLE16 = MakeFourCC('G', 'B', '1', '6'),
};

// One row of the catalogue. Texts are ASCII.
struct PixelLayoutInfo {
    const char* name;
    uint32_t code;
    const char* description;
};

// Rows of the catalogue. The first kStoredLayoutCount rows are the original ones, whose
// positions and codes never change; newer rows follow them.
constexpr int kStoredLayoutCount = 40;
constexpr int kLayoutCount = 94;

// All rows in catalogue order.
const PixelLayoutInfo* LayoutCatalogue();
// Name of the first row with this code; empty when no row has it.
std::string LayoutName(uint32_t code);
// 0-based position of the first row with this code.
std::optional<int> LayoutIndex(uint32_t code);
// True for the codes of the Bayer mosaic rows.
bool IsBayerLayout(uint32_t code);

// The stored records below are little-endian and are read and written in place.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian host required");

#pragma pack(push, 1)
// The 150-byte little-endian raw video format block. It is part of the stored settings record
// and travels as the format block of the raw video media type, so its layout never changes.
struct RawVideoFormat {
    uint32_t size;             // 0: always 150
    uint32_t code;             // 4: layout code
    int32_t width;             // 8
    int32_t height;            // 12
    uint32_t bitsPerPixel;     // 16
    uint32_t widthMultiple;    // 20
    uint32_t heightMultiple;   // 24
    int32_t lineBytes;         // 28: negative = rows stored bottom-up
    uint32_t hResolution;      // 32: 16.16 fixed point
    uint32_t vResolution;      // 36
    uint32_t extensionFlags;   // 40: 1 aspect, 2 field info, 4 clean aperture, 8 colour
    uint32_t aspectH;          // 44
    uint32_t aspectV;          // 48
    uint8_t fieldCount;        // 52: 1 progressive, 2 interlaced
    uint8_t fieldDetail;       // 53: 0, 9, 14, 1, 6
    int32_t cleanAperture[8];  // 54
    uint32_t colourSize;       // 86: 42
    uint16_t colourPrimaries;  // 90
    uint16_t colourTransfer;   // 92
    uint16_t colourMatrix;     // 94
    uint8_t colourRest[32];    // 96
    uint32_t sampleRange;      // 128: 1 full, 2 16-235 R'G'B'
    uint32_t reserved132;      // 132: kept when non-zero, else 5
    uint8_t zero136[2];        // 136
    int32_t colourTableId;     // 138: default -1
    uint8_t zero142[8];        // 142
};
#pragma pack(pop)

static_assert(sizeof(RawVideoFormat) == 150, "RawVideoFormat is a 150-byte stored record");
static_assert(offsetof(RawVideoFormat, size) == 0, "layout");
static_assert(offsetof(RawVideoFormat, code) == 4, "layout");
static_assert(offsetof(RawVideoFormat, width) == 8, "layout");
static_assert(offsetof(RawVideoFormat, height) == 12, "layout");
static_assert(offsetof(RawVideoFormat, bitsPerPixel) == 16, "layout");
static_assert(offsetof(RawVideoFormat, widthMultiple) == 20, "layout");
static_assert(offsetof(RawVideoFormat, heightMultiple) == 24, "layout");
static_assert(offsetof(RawVideoFormat, lineBytes) == 28, "layout");
static_assert(offsetof(RawVideoFormat, hResolution) == 32, "layout");
static_assert(offsetof(RawVideoFormat, vResolution) == 36, "layout");
static_assert(offsetof(RawVideoFormat, extensionFlags) == 40, "layout");
static_assert(offsetof(RawVideoFormat, aspectH) == 44, "layout");
static_assert(offsetof(RawVideoFormat, aspectV) == 48, "layout");
static_assert(offsetof(RawVideoFormat, fieldCount) == 52, "layout");
static_assert(offsetof(RawVideoFormat, fieldDetail) == 53, "layout");
static_assert(offsetof(RawVideoFormat, cleanAperture) == 54, "layout");
static_assert(offsetof(RawVideoFormat, colourSize) == 86, "layout");
static_assert(offsetof(RawVideoFormat, colourPrimaries) == 90, "layout");
static_assert(offsetof(RawVideoFormat, colourTransfer) == 92, "layout");
static_assert(offsetof(RawVideoFormat, colourMatrix) == 94, "layout");
static_assert(offsetof(RawVideoFormat, colourRest) == 96, "layout");
static_assert(offsetof(RawVideoFormat, sampleRange) == 128, "layout");
static_assert(offsetof(RawVideoFormat, reserved132) == 132, "layout");
static_assert(offsetof(RawVideoFormat, zero136) == 136, "layout");
static_assert(offsetof(RawVideoFormat, colourTableId) == 138, "layout");
static_assert(offsetof(RawVideoFormat, zero142) == 142, "layout");

constexpr uint32_t kExtAspect = 0x1, kExtFieldInfo = 0x2, kExtCleanAperture = 0x4, kExtColour = 0x8;

constexpr uint32_t kRawVideoFormatSize = 150;
constexpr uint32_t kColourDescriptionSize = 42;
constexpr uint32_t kDefaultResolution = 0x00480000;  // 72.0 in 16.16 fixed point

// Geometry of one layout: N bytes per D pixels, the default depth and the multiples the width
// (for a computed pitch) and the height must have.
struct LayoutGeometry {
    uint32_t code;
    uint32_t bytesN;
    uint32_t pixelsD;
    uint32_t bitsPerPixel;
    uint32_t widthMultiple;
    uint32_t heightMultiple;
};
// The geometry of a code of the catalogue; nullptr for any other code.
const LayoutGeometry* FindLayoutGeometry(uint32_t code);

// Bytes one frame occupies: |lineBytes| x height, in 64 bits (0 for a negative height).
uint64_t FrameBytes(const RawVideoFormat& format);

// Fills and validates a format block. code 0 keeps the block's code; lineBytes 0 computes the
// pitch; fieldDetail < 0 keeps the block's field information. Returns false when the block
// does not describe a valid stream (it may then hold partly written fields).
bool BuildRawVideoFormat(RawVideoFormat& format, int32_t width, int32_t height, uint32_t code,
                         int32_t lineBytes, int32_t fieldDetail);
