#include "PixelLayout.h"

#include <climits>
#include <cstring>

namespace {

// Display text, the original 40 rows first; the descriptions are shown as they stand (some rows
// repeat another's text).
constexpr PixelLayoutInfo kCatalogue[kLayoutCount] = {
    {"YV12", kLayoutYV12, "Y'CbCr 4:2:0 planar (little endian, 12 bpp)"},
    {"I420", kLayoutI420, "Y'CbCr 4:2:0 planar (little endian, 12 bpp)"},
    {"I420LE16", kLayoutI420LE16, "Y'CbCr 4:2:0 16-bit planar (little endian, 24 bpp)"},
    {"I420BE16", kLayoutI420BE16, "Y'CbCr 4:2:0 16-bit planar (big endian, 24 bpp)"},
    {"YV16", kLayoutYV16, "Y'CbCr 4:2:2 planar (little endian, 16 bpp)"},
    {"P010", kLayoutP010, "Y'CbCr 4:2:0 10-bit planar (little endian)"},
    {"P016", kLayoutP016, "Y'CbCr 4:2:0 10,12,14,16-bit planar, (little endian)"},
    {"P210", kLayoutP210, "Y'CbCr 4:2:2 10-bit planar (little endian)"},
    {"P216", kLayoutP216, "Y'CbCr 4:2:2 10,12,14,16-bit planar (little endian)"},
    {"YUY2", kLayoutYUY2, "Y'CbCr 4:2:2 packed (little endian, 16 bpp)"},
    {"V422", kLayoutV422, "Y'CbCr 4:2:2 packed (little endian, 16 bpp) [Vitec Multimedia]"},
    {"YUYV", kLayoutYUYV, "Y'CbCr 4:2:2 packed (little endian, 16 bpp)"},
    {"UYVY", kLayoutUYVY, "Y'CbCr 4:2:2 packed (little endian, 16 bpp)"},
    {"VYUY", kLayoutVYUY, "Y'CbCr 4:2:2 packed (little endian, 16 bpp)"},
    {"Y210", kLayoutY210, "Y'CbCr 4:2:2 10-bit packed (little endian)"},
    {"v210", kLayoutV210, "Y'CbCr 10-bit 4:2:2, packed [QuickTime]"},
    {"Y216", kLayoutY216, "Y'CbCr 4:2:2 10,12,14,16-bit packed (little endian)"},
    {"v216", kLayoutV216, "Y'CbCr 10,12,14,16-bit 4:2:2, packed [QuickTime]"},
    {"YV24", kLayoutYV24, "Y'CbCr 4:4:4 planar (little endian, 24 bpp)"},
    {"VUYA", kLayoutVUYA, "Y'CbCr 4:4:4:4, 8-bit alpha channel (little endian, 32 bpp)"},
    {"AYUV", kLayoutAYUV, "Y'CbCr 4:4:4:4, 8-bit alpha channel (big endian, 32 bpp)"},
    {"R555", kLayoutR555, "R'G'B' 5 bits per channel (little endian, 16 bpp)"},
    {"R565", kLayoutR565,
     "R'G'B' 5 bits (red), 5 bits (blue) and 6 bits (green) (little endian, 16 bpp)"},
    {"BGR3", kLayoutBGR3, "R'G'B' 4:4:4, little endian (24 bpp)"},
    {"RGB3", kLayoutRGB3, "R'G'B' 4:4:4, big endian (24 bpp)"},
    {"R24C", kLayoutR24C, "R'G'B' 4:4:4, 8 bits per channel (16-235) (little endian, 24 bpp)"},
    {"BGR444P", kLayoutBGR444P,
     "R'G'B' 4:4:4, 8 bits per channel (16-235) (little endian, 24 bpp)"},
    {"RGB444P", kLayoutRGB444P, "R'G'B' 4:4:4 16-bit planar (48 bpp)"},
    {"BGR161616", kLayoutBGR161616, "R'G'B' 4:4:4 16-bit interleaved (little endian, 48 bpp)"},
    {"RGB161616", kLayoutRGB161616, "R'G'B' 4:4:4 16-bit interleaved (big endian, 48 bpp)"},
    {"BGR4", kLayoutBGR4, "R'G'B' 4:4:4, 8 bits per channel (little endian, 32 bpp)"},
    {"RGB4", kLayoutRGB4, "R'G'B' 4:4:4, 8 bits per channel (little endian, 32 bpp)"},
    {"R32C", kLayoutR32C, "R'G'B' 4:4:4, 8 bits per channel (16-235) (little endian, 32 bpp)"},
    {"BGRA", kLayoutBGRA, "A'R'G'B' 4:4:4:4, 8 bits per channel (little endian, 32 bpp)"},
    {"ARGB", kLayoutARGB, "R'G'B' 4:4:4, 8 bits per channel (16-235) (little endian, 32 bpp)"},
    {"BGRA16161616", kLayoutBGRA16161616,
     "A'R'G'B' 4:4:4:4, 16 bits per channel (little endian, 64 bpp)"},
    {"ARGB16161616", kLayoutARGB16161616,
     "A'R'G'B' 4:4:4:4, 16 bits per channel (big endian, 64 bpp)"},
    {"GRAY", kLayoutGRAY, "Indexed gray (8 bpp)"},
    {"GRAYLE16", kLayoutGRAYLE16, "Indexed gray (little endian, 16 bpp)"},
    {"GRAYBE16", kLayoutGRAYBE16, "Indexed gray (big endian, 16 bpp)"},
    {"NV12", kLayoutNV12, "Y'CbCr 4:2:0 semi-planar, Cb,Cr pairs (12 bpp)"},
    {"NV21", kLayoutNV21, "Y'CbCr 4:2:0 semi-planar, Cr,Cb pairs (12 bpp)"},
    {"NV16", kLayoutNV16, "Y'CbCr 4:2:2 semi-planar, Cb,Cr pairs (16 bpp)"},
    {"NV61", kLayoutNV61, "Y'CbCr 4:2:2 semi-planar, Cr,Cb pairs (16 bpp)"},
    {"NV24", kLayoutNV24, "Y'CbCr 4:4:4 semi-planar, Cb,Cr pairs (24 bpp)"},
    {"NV42", kLayoutNV42, "Y'CbCr 4:4:4 semi-planar, Cr,Cb pairs (24 bpp)"},
    {"YVYU", kLayoutYVYU, "Y'CbCr 4:2:2 packed, Y'0 Cr Y'1 Cb (16 bpp)"},
    {"I422", kLayoutI422, "Y'CbCr 4:2:2 planar, Cb plane first (16 bpp)"},
    {"I444", kLayoutI444, "Y'CbCr 4:4:4 planar, Cb plane first (24 bpp)"},
    {"Y41B", kLayoutY41B, "Y'CbCr 4:1:1 planar, Cb plane first (12 bpp)"},
    {"I440", kLayoutI440, "Y'CbCr 4:4:0 planar, Cb plane first (16 bpp)"},
    {"I420LE10", kLayoutI420LE10,
     "Y'CbCr 4:2:0 10-bit planar in 16-bit words (little endian, 24 bpp)"},
    {"I420LE12", kLayoutI420LE12,
     "Y'CbCr 4:2:0 12-bit planar in 16-bit words (little endian, 24 bpp)"},
    {"I420BE10", kLayoutI420BE10,
     "Y'CbCr 4:2:0 10-bit planar in 16-bit words (big endian, 24 bpp)"},
    {"I420BE12", kLayoutI420BE12,
     "Y'CbCr 4:2:0 12-bit planar in 16-bit words (big endian, 24 bpp)"},
    {"I422LE10", kLayoutI422LE10,
     "Y'CbCr 4:2:2 10-bit planar in 16-bit words (little endian, 32 bpp)"},
    {"I422LE12", kLayoutI422LE12,
     "Y'CbCr 4:2:2 12-bit planar in 16-bit words (little endian, 32 bpp)"},
    {"I422LE16", kLayoutI422LE16,
     "Y'CbCr 4:2:2 16-bit planar in 16-bit words (little endian, 32 bpp)"},
    {"I422BE10", kLayoutI422BE10,
     "Y'CbCr 4:2:2 10-bit planar in 16-bit words (big endian, 32 bpp)"},
    {"I422BE12", kLayoutI422BE12,
     "Y'CbCr 4:2:2 12-bit planar in 16-bit words (big endian, 32 bpp)"},
    {"I422BE16", kLayoutI422BE16,
     "Y'CbCr 4:2:2 16-bit planar in 16-bit words (big endian, 32 bpp)"},
    {"I444LE10", kLayoutI444LE10,
     "Y'CbCr 4:4:4 10-bit planar in 16-bit words (little endian, 48 bpp)"},
    {"I444LE12", kLayoutI444LE12,
     "Y'CbCr 4:4:4 12-bit planar in 16-bit words (little endian, 48 bpp)"},
    {"I444LE16", kLayoutI444LE16,
     "Y'CbCr 4:4:4 16-bit planar in 16-bit words (little endian, 48 bpp)"},
    {"I444BE10", kLayoutI444BE10,
     "Y'CbCr 4:4:4 10-bit planar in 16-bit words (big endian, 48 bpp)"},
    {"I444BE12", kLayoutI444BE12,
     "Y'CbCr 4:4:4 12-bit planar in 16-bit words (big endian, 48 bpp)"},
    {"I444BE16", kLayoutI444BE16,
     "Y'CbCr 4:4:4 16-bit planar in 16-bit words (big endian, 48 bpp)"},
    {"P410", kLayoutP410, "Y'CbCr 4:4:4 10-bit semi-planar (little endian)"},
    {"P416", kLayoutP416, "Y'CbCr 4:4:4 16-bit semi-planar (little endian)"},
    {"GRAYLE10", kLayoutGRAYLE10, "Gray 10-bit in 16-bit words (little endian, 16 bpp)"},
    {"GRAYLE12", kLayoutGRAYLE12, "Gray 12-bit in 16-bit words (little endian, 16 bpp)"},
    {"Y410", kLayoutY410, "Y'CbCr 4:4:4 10-bit packed, 2-bit alpha (little endian, 32 bpp)"},
    {"v410", kLayoutV410, "Y'CbCr 4:4:4 10-bit packed (little endian, 32 bpp)"},
    {"r210", kLayoutR210, "R'G'B' 10-bit packed (big endian, 32 bpp)"},
    {"X2R10G10B10", kLayoutX2R10G10B10, "R'G'B' 10-bit packed, B' lowest (little endian, 32 bpp)"},
    {"X2B10G10R10", kLayoutX2B10G10R10, "R'G'B' 10-bit packed, R' lowest (little endian, 32 bpp)"},
    {"RGBA", kLayoutRGBA, "R'G'B'A 4:4:4:4, bytes R', G', B', A (32 bpp)"},
    {"ABGR", kLayoutABGR, "R'G'B'A 4:4:4:4, bytes A, B', G', R' (32 bpp)"},
    {"RGGB", kLayoutRGGB, "Bayer mosaic R G / G B, 8 bits (8 bpp)"},
    {"BGGR", kLayoutBGGR, "Bayer mosaic B G / G R, 8 bits (8 bpp)"},
    {"GRBG", kLayoutGRBG, "Bayer mosaic G R / B G, 8 bits (8 bpp)"},
    {"GBRG", kLayoutGBRG, "Bayer mosaic G B / R G, 8 bits (8 bpp)"},
    {"RGGBLE10", kLayoutRGGBLE10, "Bayer mosaic R G / G B, 10 bits (little endian, 16 bpp)"},
    {"BGGRLE10", kLayoutBGGRLE10, "Bayer mosaic B G / G R, 10 bits (little endian, 16 bpp)"},
    {"GRBGLE10", kLayoutGRBGLE10, "Bayer mosaic G R / B G, 10 bits (little endian, 16 bpp)"},
    {"GBRGLE10", kLayoutGBRGLE10, "Bayer mosaic G B / R G, 10 bits (little endian, 16 bpp)"},
    {"RGGBLE12", kLayoutRGGBLE12, "Bayer mosaic R G / G B, 12 bits (little endian, 16 bpp)"},
    {"BGGRLE12", kLayoutBGGRLE12, "Bayer mosaic B G / G R, 12 bits (little endian, 16 bpp)"},
    {"GRBGLE12", kLayoutGRBGLE12, "Bayer mosaic G R / B G, 12 bits (little endian, 16 bpp)"},
    {"GBRGLE12", kLayoutGBRGLE12, "Bayer mosaic G B / R G, 12 bits (little endian, 16 bpp)"},
    {"RGGBLE16", kLayoutRGGBLE16, "Bayer mosaic R G / G B, 16 bits (little endian, 16 bpp)"},
    {"BGGRLE16", kLayoutBGGRLE16, "Bayer mosaic B G / G R, 16 bits (little endian, 16 bpp)"},
    {"GRBGLE16", kLayoutGRBGLE16, "Bayer mosaic G R / B G, 16 bits (little endian, 16 bpp)"},
    {"GBRGLE16", kLayoutGBRGLE16, "Bayer mosaic G B / R G, 16 bits (little endian, 16 bpp)"},
};

// Bytes N per D pixels, default depth, width multiple, height multiple. Bayer mosaics (the
// last rows): a computed pitch needs whole 2 x 2 cells, so that every row starts on the cell's
// first column and the frame ends after a whole row of cells (an odd width is most likely a
// wrong width, and would shift the colours of every other row); an explicit pitch takes any
// width, and the conversion handles every size.
constexpr LayoutGeometry kGeometry[] = {
    {kLayoutYV12, 3, 2, 12, 2, 2},         {kLayoutI420, 3, 2, 12, 2, 2},
    {kLayoutI420LE16, 3, 1, 24, 2, 2},     {kLayoutI420BE16, 3, 1, 24, 2, 2},
    {kLayoutP010, 3, 1, 24, 2, 2},         {kLayoutP016, 3, 1, 24, 2, 2},
    {kLayoutYV16, 2, 1, 16, 2, 1},         {kLayoutYUY2, 2, 1, 16, 2, 1},
    {kLayoutV422, 2, 1, 16, 2, 1},         {kLayoutYUYV, 2, 1, 16, 2, 1},
    {kLayoutUYVY, 2, 1, 16, 2, 1},         {kLayoutVYUY, 2, 1, 16, 2, 1},
    {kLayoutP210, 4, 1, 32, 2, 1},         {kLayoutP216, 4, 1, 32, 2, 1},
    {kLayoutY210, 4, 1, 32, 2, 1},         {kLayoutY216, 4, 1, 32, 2, 1},
    {kLayoutV216, 4, 1, 32, 2, 1},         {kLayoutV210, 8, 3, 20, 48, 1},
    {kLayoutYV24, 3, 1, 24, 2, 1},         {kLayoutVUYA, 4, 1, 32, 1, 1},
    {kLayoutAYUV, 4, 1, 32, 1, 1},         {kLayoutR555, 2, 1, 16, 1, 1},
    {kLayoutR565, 2, 1, 16, 1, 1},         {kLayoutGRAYLE16, 2, 1, 16, 1, 1},
    {kLayoutGRAYBE16, 2, 1, 16, 1, 1},     {kLayoutBGR3, 3, 1, 24, 1, 1},
    {kLayoutRGB3, 3, 1, 24, 1, 1},         {kLayoutR24C, 3, 1, 24, 1, 1},
    {kLayoutBGR4, 4, 1, 32, 1, 1},         {kLayoutRGB4, 4, 1, 32, 1, 1},
    {kLayoutR32C, 4, 1, 32, 1, 1},         {kLayoutBGRA, 4, 1, 32, 1, 1},
    {kLayoutARGB, 4, 1, 32, 1, 1},         {kLayoutBGR444P, 6, 1, 48, 1, 1},
    {kLayoutRGB444P, 6, 1, 48, 1, 1},      {kLayoutBGR161616, 6, 1, 48, 1, 1},
    {kLayoutRGB161616, 6, 1, 48, 1, 1},    {kLayoutBGRA16161616, 8, 1, 64, 1, 1},
    {kLayoutARGB16161616, 8, 1, 64, 1, 1}, {kLayoutGRAY, 1, 1, 8, 1, 1},
    {kLayoutNV12, 3, 2, 12, 2, 2},         {kLayoutNV21, 3, 2, 12, 2, 2},
    {kLayoutNV16, 2, 1, 16, 2, 1},         {kLayoutNV61, 2, 1, 16, 2, 1},
    {kLayoutNV24, 3, 1, 24, 2, 1},         {kLayoutNV42, 3, 1, 24, 2, 1},
    {kLayoutYVYU, 2, 1, 16, 2, 1},         {kLayoutI422, 2, 1, 16, 2, 1},
    {kLayoutI444, 3, 1, 24, 1, 1},         {kLayoutY41B, 3, 2, 12, 4, 1},
    {kLayoutI440, 2, 1, 16, 1, 2},         {kLayoutI420LE10, 3, 1, 24, 2, 2},
    {kLayoutI420LE12, 3, 1, 24, 2, 2},     {kLayoutI420BE10, 3, 1, 24, 2, 2},
    {kLayoutI420BE12, 3, 1, 24, 2, 2},     {kLayoutI422LE10, 4, 1, 32, 2, 1},
    {kLayoutI422LE12, 4, 1, 32, 2, 1},     {kLayoutI422LE16, 4, 1, 32, 2, 1},
    {kLayoutI422BE10, 4, 1, 32, 2, 1},     {kLayoutI422BE12, 4, 1, 32, 2, 1},
    {kLayoutI422BE16, 4, 1, 32, 2, 1},     {kLayoutI444LE10, 6, 1, 48, 1, 1},
    {kLayoutI444LE12, 6, 1, 48, 1, 1},     {kLayoutI444LE16, 6, 1, 48, 1, 1},
    {kLayoutI444BE10, 6, 1, 48, 1, 1},     {kLayoutI444BE12, 6, 1, 48, 1, 1},
    {kLayoutI444BE16, 6, 1, 48, 1, 1},     {kLayoutP410, 6, 1, 48, 1, 1},
    {kLayoutP416, 6, 1, 48, 1, 1},         {kLayoutGRAYLE10, 2, 1, 16, 1, 1},
    {kLayoutGRAYLE12, 2, 1, 16, 1, 1},     {kLayoutY410, 4, 1, 32, 1, 1},
    {kLayoutV410, 4, 1, 32, 1, 1},         {kLayoutR210, 4, 1, 32, 1, 1},
    {kLayoutX2R10G10B10, 4, 1, 32, 1, 1},  {kLayoutX2B10G10R10, 4, 1, 32, 1, 1},
    {kLayoutRGBA, 4, 1, 32, 1, 1},         {kLayoutABGR, 4, 1, 32, 1, 1},
    {kLayoutRGGB, 1, 1, 8, 2, 2},          {kLayoutBGGR, 1, 1, 8, 2, 2},
    {kLayoutGRBG, 1, 1, 8, 2, 2},          {kLayoutGBRG, 1, 1, 8, 2, 2},
    {kLayoutRGGBLE10, 2, 1, 16, 2, 2},     {kLayoutBGGRLE10, 2, 1, 16, 2, 2},
    {kLayoutGRBGLE10, 2, 1, 16, 2, 2},     {kLayoutGBRGLE10, 2, 1, 16, 2, 2},
    {kLayoutRGGBLE12, 2, 1, 16, 2, 2},     {kLayoutBGGRLE12, 2, 1, 16, 2, 2},
    {kLayoutGRBGLE12, 2, 1, 16, 2, 2},     {kLayoutGBRGLE12, 2, 1, 16, 2, 2},
    {kLayoutRGGBLE16, 2, 1, 16, 2, 2},     {kLayoutBGGRLE16, 2, 1, 16, 2, 2},
    {kLayoutGRBGLE16, 2, 1, 16, 2, 2},     {kLayoutGBRGLE16, 2, 1, 16, 2, 2},
};
static_assert(sizeof(kGeometry) / sizeof(kGeometry[0]) == kLayoutCount,
              "every layout of the catalogue has a geometry");

// R'G'B' layouts leave the colour matrix at 0; Y'CbCr and grey layouts start it at 2
// ("unspecified") so the frame-size table can fill it.
bool IsRgbLayout(uint32_t code) {
    switch (code) {
    case kLayoutR555:
    case kLayoutR565:
    case kLayoutBGR3:
    case kLayoutRGB3:
    case kLayoutR24C:
    case kLayoutBGR444P:
    case kLayoutRGB444P:
    case kLayoutBGR161616:
    case kLayoutRGB161616:
    case kLayoutBGR4:
    case kLayoutRGB4:
    case kLayoutR32C:
    case kLayoutBGRA:
    case kLayoutARGB:
    case kLayoutBGRA16161616:
    case kLayoutARGB16161616:
    case kLayoutR210:
    case kLayoutX2R10G10B10:
    case kLayoutX2B10G10R10:
    case kLayoutRGBA:
    case kLayoutABGR: return true;
    default: return IsBayerLayout(code);  // camera R'G'B' samples
    }
}

// True when `count` bytes of the block from `offset` on are all zero. Works on bytes because
// the block is packed and its fields need not be aligned.
bool BytesZero(const RawVideoFormat& f, size_t offset, size_t count) {
    const auto* b = reinterpret_cast<const uint8_t*>(&f) + offset;
    for (size_t i = 0; i < count; ++i)
        if (b[i] != 0) return false;
    return true;
}

struct SizeDefaults {
    int32_t width, height;
    uint16_t primaries, transfer, matrix;
    uint32_t aspectH, aspectV;
};

// Colour description and pixel aspect chosen by frame size; other sizes get 2/2/2 and 1:1.
constexpr SizeDefaults kSizeDefaults[] = {
    {1280, 720, 1, 1, 1, 1, 1},  {528, 576, 5, 1, 5, 1, 1},   {720, 576, 5, 1, 5, 1, 1},
    {720, 480, 6, 1, 5, 1, 1},   {960, 1080, 1, 1, 1, 2, 1},  {1280, 1080, 1, 1, 1, 3, 2},
    {1440, 1080, 1, 1, 1, 4, 3}, {1920, 1080, 1, 1, 1, 1, 1},
};
constexpr SizeDefaults kOtherSize = {0, 0, 2, 2, 2, 1, 1};

const SizeDefaults& DefaultsFor(int32_t width, int32_t height) {
    for (const SizeDefaults& d : kSizeDefaults)
        if (d.width == width && d.height == height) return d;
    return kOtherSize;
}

void WriteFieldInfo(RawVideoFormat& f, int32_t fieldDetail) {
    f.extensionFlags |= kExtFieldInfo;
    switch (fieldDetail) {
    case 0:
        f.fieldCount = 1;
        f.fieldDetail = 0;
        break;
    case 9:
    case 14:
    case 1:
    case 6:
        f.fieldCount = 2;
        f.fieldDetail = uint8_t(fieldDetail);
        break;
    default:
        f.fieldCount = 2;
        f.fieldDetail = 9;
        break;
    }
}

}  // namespace

const PixelLayoutInfo* LayoutCatalogue() { return kCatalogue; }

std::string LayoutName(uint32_t code) {
    for (const PixelLayoutInfo& row : kCatalogue)
        if (row.code == code) return row.name;
    return {};
}

std::optional<int> LayoutIndex(uint32_t code) {
    for (int i = 0; i < kLayoutCount; ++i)
        if (kCatalogue[i].code == code) return i;
    return std::nullopt;
}

bool IsBayerLayout(uint32_t code) {
    switch (code) {
    case kLayoutRGGB:
    case kLayoutBGGR:
    case kLayoutGRBG:
    case kLayoutGBRG:
    case kLayoutRGGBLE10:
    case kLayoutBGGRLE10:
    case kLayoutGRBGLE10:
    case kLayoutGBRGLE10:
    case kLayoutRGGBLE12:
    case kLayoutBGGRLE12:
    case kLayoutGRBGLE12:
    case kLayoutGBRGLE12:
    case kLayoutRGGBLE16:
    case kLayoutBGGRLE16:
    case kLayoutGRBGLE16:
    case kLayoutGBRGLE16: return true;
    default: return false;
    }
}

const LayoutGeometry* FindLayoutGeometry(uint32_t code) {
    for (const LayoutGeometry& g : kGeometry)
        if (g.code == code) return &g;
    return nullptr;
}

uint64_t FrameBytes(const RawVideoFormat& format) {
    if (format.height <= 0) return 0;
    const int64_t pitch = format.lineBytes;
    return uint64_t(pitch < 0 ? -pitch : pitch) * uint64_t(format.height);
}

bool BuildRawVideoFormat(RawVideoFormat& f, int32_t width, int32_t height, uint32_t code,
                         int32_t lineBytes, int32_t fieldDetail) {
    // 1. A zero size is never a stream. Negative sizes are refused too: a negative width would
    //    otherwise give a negative pitch, which means "bottom-up" rather than an error.
    if (width <= 0 || height <= 0) return false;
    // A pitch with no absolute value in 32 bits cannot describe a frame.
    if (lineBytes == INT32_MIN) return false;

    // 2. A new block starts from zeros with all three extensions selected; an existing block
    //    gets an extension only if its flag is set and it was never filled.
    bool fillAspect, fillAperture, fillColour;
    const bool isNew = f.size == 0;
    if (isNew) {
        std::memset(&f, 0, sizeof f);
        f.size = kRawVideoFormatSize;
        f.colourSize = kColourDescriptionSize;
        f.extensionFlags = kExtAspect | kExtFieldInfo | kExtColour;
        if (fieldDetail < 0) fieldDetail = 0;
        fillAspect = fillAperture = fillColour = true;
    } else {
        // Pixel aspect: 8 bytes at 44; clean aperture: 32 bytes at 54; colour description:
        // 42 bytes at 86, its size field included, so a filled one is never filled again.
        fillAspect =
            (f.extensionFlags & kExtAspect) && BytesZero(f, offsetof(RawVideoFormat, aspectH), 8);
        fillAperture = (f.extensionFlags & kExtCleanAperture) &&
                       BytesZero(f, offsetof(RawVideoFormat, cleanAperture), 32);
        fillColour = (f.extensionFlags & kExtColour) &&
                     BytesZero(f, offsetof(RawVideoFormat, colourSize), kColourDescriptionSize);
    }

    // 3.
    uint32_t sampleRange = f.sampleRange ? f.sampleRange : 1;
    const uint32_t value132 = f.reserved132 ? f.reserved132 : 5;

    // 4.
    if (code == 0) {
        code = f.code;
        if (code == 0) return false;
    } else {
        f.code = code;
    }

    // 5.
    if (fieldDetail >= 0 || isNew) WriteFieldInfo(f, fieldDetail);

    // 6.
    f.width = width;
    f.height = height;

    // 7.
    const LayoutGeometry* g = FindLayoutGeometry(code);
    if (!g) return false;
    if (code == kLayoutV210)
        f.bitsPerPixel = 20;
    else if (code == kLayoutV216)
        f.bitsPerPixel = 32;
    else if (f.bitsPerPixel == 0)
        f.bitsPerPixel = g->bitsPerPixel;
    f.widthMultiple = g->widthMultiple;
    f.heightMultiple = g->heightMultiple;
    if (code == kLayoutR24C || code == kLayoutR32C) sampleRange = 2;
    f.sampleRange = sampleRange;
    if (f.hResolution == 0) f.hResolution = kDefaultResolution;
    if (f.vResolution == 0) f.vResolution = kDefaultResolution;
    if (f.colourTableId == 0) f.colourTableId = -1;
    f.reserved132 = value132;

    // 8. A given pitch is stored as it is; a computed one needs a whole number of width
    //    multiples and must fit the 32-bit field.
    if (lineBytes == 0) {
        if (g->widthMultiple > 1 && uint32_t(width) % g->widthMultiple != 0) return false;
        const int64_t computed = int64_t(g->bytesN) * width / int64_t(g->pixelsD);
        if (computed > INT32_MAX) return false;
        lineBytes = int32_t(computed);
    }
    f.lineBytes = lineBytes;

    // 9.
    if (g->heightMultiple > 1 && uint32_t(height) % g->heightMultiple != 0) return false;

    // 10.
    const SizeDefaults& d = DefaultsFor(width, height);
    if (fillColour) {
        f.colourSize = kColourDescriptionSize;
        f.colourPrimaries = d.primaries;
        f.colourTransfer = d.transfer;
        uint16_t matrix = IsRgbLayout(code) ? 0 : 2;
        if (matrix == 2) matrix = d.matrix;
        f.colourMatrix = matrix;
    }
    if (fillAspect) {
        f.aspectH = d.aspectH;
        f.aspectV = d.aspectV;
    }
    if (fillAperture && width == 1920 && height == 1080) {
        f.extensionFlags |= kExtCleanAperture;
        const int32_t aperture[8] = {1888, 1, 1062, 1, 0, 0, 0, 0};
        std::memcpy(f.cleanAperture, aperture, sizeof aperture);
    }
    return true;
}
