// The layout catalogue and the raw video format block builder.
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

struct Row {
    const char* name;
    uint32_t code;
    const char* letters;  // nullptr for private codes
    const char* description;
};

// The catalogue as the user sees it; a changed row, order, code or text is a visible change.
const Row kExpected[kLayoutCount] = {
    {"YV12", 0x32315659, "YV12", "Y'CbCr 4:2:0 planar (little endian, 12 bpp)"},
    {"I420", 0x30323449, "I420", "Y'CbCr 4:2:0 planar (little endian, 12 bpp)"},
    {"I420LE16", 0x00000300, nullptr, "Y'CbCr 4:2:0 16-bit planar (little endian, 24 bpp)"},
    {"I420BE16", 0x00000301, nullptr, "Y'CbCr 4:2:0 16-bit planar (big endian, 24 bpp)"},
    {"YV16", 0x36315659, "YV16", "Y'CbCr 4:2:2 planar (little endian, 16 bpp)"},
    {"P010", 0x30313050, "P010", "Y'CbCr 4:2:0 10-bit planar (little endian)"},
    {"P016", 0x36313050, "P016", "Y'CbCr 4:2:0 10,12,14,16-bit planar, (little endian)"},
    {"P210", 0x30313250, "P210", "Y'CbCr 4:2:2 10-bit planar (little endian)"},
    {"P216", 0x36313250, "P216", "Y'CbCr 4:2:2 10,12,14,16-bit planar (little endian)"},
    {"YUY2", 0x32595559, "YUY2", "Y'CbCr 4:2:2 packed (little endian, 16 bpp)"},
    {"V422", 0x32323456, "V422", "Y'CbCr 4:2:2 packed (little endian, 16 bpp) [Vitec Multimedia]"},
    {"YUYV", 0x56595559, "YUYV", "Y'CbCr 4:2:2 packed (little endian, 16 bpp)"},
    {"UYVY", 0x59565955, "UYVY", "Y'CbCr 4:2:2 packed (little endian, 16 bpp)"},
    {"VYUY", 0x59555956, "VYUY", "Y'CbCr 4:2:2 packed (little endian, 16 bpp)"},
    {"Y210", 0x30313259, "Y210", "Y'CbCr 4:2:2 10-bit packed (little endian)"},
    {"v210", 0x30313276, "v210", "Y'CbCr 10-bit 4:2:2, packed [QuickTime]"},
    {"Y216", 0x36313259, "Y216", "Y'CbCr 4:2:2 10,12,14,16-bit packed (little endian)"},
    {"v216", 0x36313276, "v216", "Y'CbCr 10,12,14,16-bit 4:2:2, packed [QuickTime]"},
    {"YV24", 0x34325659, "YV24", "Y'CbCr 4:4:4 planar (little endian, 24 bpp)"},
    {"VUYA", 0x41595556, "VUYA", "Y'CbCr 4:4:4:4, 8-bit alpha channel (little endian, 32 bpp)"},
    {"AYUV", 0x56555941, "AYUV", "Y'CbCr 4:4:4:4, 8-bit alpha channel (big endian, 32 bpp)"},
    {"R555", 0x3535354C, "L555", "R'G'B' 5 bits per channel (little endian, 16 bpp)"},
    {"R565", 0x3536354C, "L565",
     "R'G'B' 5 bits (red), 5 bits (blue) and 6 bits (green) (little endian, 16 bpp)"},
    {"BGR3", 0x33524742, "BGR3", "R'G'B' 4:4:4, little endian (24 bpp)"},
    {"RGB3", 0x33424752, "RGB3", "R'G'B' 4:4:4, big endian (24 bpp)"},
    {"R24C", 0x43343252, "R24C",
     "R'G'B' 4:4:4, 8 bits per channel (16-235) (little endian, 24 bpp)"},
    {"BGR444P", 0x00000400, nullptr,
     "R'G'B' 4:4:4, 8 bits per channel (16-235) (little endian, 24 bpp)"},
    {"RGB444P", 0x00000401, nullptr, "R'G'B' 4:4:4 16-bit planar (48 bpp)"},
    {"BGR161616", 0x00000500, nullptr, "R'G'B' 4:4:4 16-bit interleaved (little endian, 48 bpp)"},
    {"RGB161616", 0x00000501, nullptr, "R'G'B' 4:4:4 16-bit interleaved (big endian, 48 bpp)"},
    {"BGR4", 0x34524742, "BGR4", "R'G'B' 4:4:4, 8 bits per channel (little endian, 32 bpp)"},
    {"RGB4", 0x34424752, "RGB4", "R'G'B' 4:4:4, 8 bits per channel (little endian, 32 bpp)"},
    {"R32C", 0x43323352, "R32C",
     "R'G'B' 4:4:4, 8 bits per channel (16-235) (little endian, 32 bpp)"},
    {"BGRA", 0x41524742, "BGRA", "A'R'G'B' 4:4:4:4, 8 bits per channel (little endian, 32 bpp)"},
    {"ARGB", 0x42475241, "ARGB",
     "R'G'B' 4:4:4, 8 bits per channel (16-235) (little endian, 32 bpp)"},
    {"BGRA16161616", 0x00000600, nullptr,
     "A'R'G'B' 4:4:4:4, 16 bits per channel (little endian, 64 bpp)"},
    {"ARGB16161616", 0x00000601, nullptr,
     "A'R'G'B' 4:4:4:4, 16 bits per channel (big endian, 64 bpp)"},
    {"GRAY", 0x00000028, nullptr, "Indexed gray (8 bpp)"},
    {"GRAYLE16", 0x00000200, nullptr, "Indexed gray (little endian, 16 bpp)"},
    {"GRAYBE16", 0x00000201, nullptr, "Indexed gray (big endian, 16 bpp)"},
    // Rows after the stored 40.
    {"NV12", 0x3231564E, "NV12", "Y'CbCr 4:2:0 semi-planar, Cb,Cr pairs (12 bpp)"},
    {"NV21", 0x3132564E, "NV21", "Y'CbCr 4:2:0 semi-planar, Cr,Cb pairs (12 bpp)"},
    {"NV16", 0x3631564E, "NV16", "Y'CbCr 4:2:2 semi-planar, Cb,Cr pairs (16 bpp)"},
    {"NV61", 0x3136564E, "NV61", "Y'CbCr 4:2:2 semi-planar, Cr,Cb pairs (16 bpp)"},
    {"NV24", 0x3432564E, "NV24", "Y'CbCr 4:4:4 semi-planar, Cb,Cr pairs (24 bpp)"},
    {"NV42", 0x3234564E, "NV42", "Y'CbCr 4:4:4 semi-planar, Cr,Cb pairs (24 bpp)"},
    {"YVYU", 0x55595659, "YVYU", "Y'CbCr 4:2:2 packed, Y'0 Cr Y'1 Cb (16 bpp)"},
    // Cb-first planar rows, wide words, wide grey, packed 10-bit words, R'G'B'A byte orders.
    {"I422", 0x32323449, "I422", "Y'CbCr 4:2:2 planar, Cb plane first (16 bpp)"},
    {"I444", 0x34343449, "I444", "Y'CbCr 4:4:4 planar, Cb plane first (24 bpp)"},
    {"Y41B", 0x42313459, "Y41B", "Y'CbCr 4:1:1 planar, Cb plane first (12 bpp)"},
    {"I440", 0x30343449, "I440", "Y'CbCr 4:4:0 planar, Cb plane first (16 bpp)"},
    {"I420LE10", 0x00000700, nullptr,
     "Y'CbCr 4:2:0 10-bit planar in 16-bit words (little endian, 24 bpp)"},
    {"I420LE12", 0x00000701, nullptr,
     "Y'CbCr 4:2:0 12-bit planar in 16-bit words (little endian, 24 bpp)"},
    {"I420BE10", 0x00000702, nullptr,
     "Y'CbCr 4:2:0 10-bit planar in 16-bit words (big endian, 24 bpp)"},
    {"I420BE12", 0x00000703, nullptr,
     "Y'CbCr 4:2:0 12-bit planar in 16-bit words (big endian, 24 bpp)"},
    {"I422LE10", 0x00000710, nullptr,
     "Y'CbCr 4:2:2 10-bit planar in 16-bit words (little endian, 32 bpp)"},
    {"I422LE12", 0x00000711, nullptr,
     "Y'CbCr 4:2:2 12-bit planar in 16-bit words (little endian, 32 bpp)"},
    {"I422LE16", 0x00000712, nullptr,
     "Y'CbCr 4:2:2 16-bit planar in 16-bit words (little endian, 32 bpp)"},
    {"I422BE10", 0x00000713, nullptr,
     "Y'CbCr 4:2:2 10-bit planar in 16-bit words (big endian, 32 bpp)"},
    {"I422BE12", 0x00000714, nullptr,
     "Y'CbCr 4:2:2 12-bit planar in 16-bit words (big endian, 32 bpp)"},
    {"I422BE16", 0x00000715, nullptr,
     "Y'CbCr 4:2:2 16-bit planar in 16-bit words (big endian, 32 bpp)"},
    {"I444LE10", 0x00000720, nullptr,
     "Y'CbCr 4:4:4 10-bit planar in 16-bit words (little endian, 48 bpp)"},
    {"I444LE12", 0x00000721, nullptr,
     "Y'CbCr 4:4:4 12-bit planar in 16-bit words (little endian, 48 bpp)"},
    {"I444LE16", 0x00000722, nullptr,
     "Y'CbCr 4:4:4 16-bit planar in 16-bit words (little endian, 48 bpp)"},
    {"I444BE10", 0x00000723, nullptr,
     "Y'CbCr 4:4:4 10-bit planar in 16-bit words (big endian, 48 bpp)"},
    {"I444BE12", 0x00000724, nullptr,
     "Y'CbCr 4:4:4 12-bit planar in 16-bit words (big endian, 48 bpp)"},
    {"I444BE16", 0x00000725, nullptr,
     "Y'CbCr 4:4:4 16-bit planar in 16-bit words (big endian, 48 bpp)"},
    {"P410", 0x30313450, "P410", "Y'CbCr 4:4:4 10-bit semi-planar (little endian)"},
    {"P416", 0x36313450, "P416", "Y'CbCr 4:4:4 16-bit semi-planar (little endian)"},
    {"GRAYLE10", 0x00000202, nullptr, "Gray 10-bit in 16-bit words (little endian, 16 bpp)"},
    {"GRAYLE12", 0x00000203, nullptr, "Gray 12-bit in 16-bit words (little endian, 16 bpp)"},
    {"Y410", 0x30313459, "Y410", "Y'CbCr 4:4:4 10-bit packed, 2-bit alpha (little endian, 32 bpp)"},
    {"v410", 0x30313476, "v410", "Y'CbCr 4:4:4 10-bit packed (little endian, 32 bpp)"},
    {"r210", 0x30313272, "r210", "R'G'B' 10-bit packed (big endian, 32 bpp)"},
    {"X2R10G10B10", 0x00000800, nullptr, "R'G'B' 10-bit packed, B' lowest (little endian, 32 bpp)"},
    {"X2B10G10R10", 0x00000801, nullptr, "R'G'B' 10-bit packed, R' lowest (little endian, 32 bpp)"},
    {"RGBA", 0x41424752, "RGBA", "R'G'B'A 4:4:4:4, bytes R', G', B', A (32 bpp)"},
    {"ABGR", 0x52474241, "ABGR", "R'G'B'A 4:4:4:4, bytes A, B', G', R' (32 bpp)"},
    {"RGGB", 0x42474752, "RGGB", "Bayer mosaic R G / G B, 8 bits (8 bpp)"},
    {"BGGR", 0x31384142, "BA81", "Bayer mosaic B G / G R, 8 bits (8 bpp)"},
    {"GRBG", 0x47425247, "GRBG", "Bayer mosaic G R / B G, 8 bits (8 bpp)"},
    {"GBRG", 0x47524247, "GBRG", "Bayer mosaic G B / R G, 8 bits (8 bpp)"},
    {"RGGBLE10", 0x30314752, "RG10", "Bayer mosaic R G / G B, 10 bits (little endian, 16 bpp)"},
    {"BGGRLE10", 0x30314742, "BG10", "Bayer mosaic B G / G R, 10 bits (little endian, 16 bpp)"},
    {"GRBGLE10", 0x30314142, "BA10", "Bayer mosaic G R / B G, 10 bits (little endian, 16 bpp)"},
    {"GBRGLE10", 0x30314247, "GB10", "Bayer mosaic G B / R G, 10 bits (little endian, 16 bpp)"},
    {"RGGBLE12", 0x32314752, "RG12", "Bayer mosaic R G / G B, 12 bits (little endian, 16 bpp)"},
    {"BGGRLE12", 0x32314742, "BG12", "Bayer mosaic B G / G R, 12 bits (little endian, 16 bpp)"},
    {"GRBGLE12", 0x32314142, "BA12", "Bayer mosaic G R / B G, 12 bits (little endian, 16 bpp)"},
    {"GBRGLE12", 0x32314247, "GB12", "Bayer mosaic G B / R G, 12 bits (little endian, 16 bpp)"},
    {"RGGBLE16", 0x36314752, "RG16", "Bayer mosaic R G / G B, 16 bits (little endian, 16 bpp)"},
    {"BGGRLE16", 0x32525942, "BYR2", "Bayer mosaic B G / G R, 16 bits (little endian, 16 bpp)"},
    {"GRBGLE16", 0x36315247, "GR16", "Bayer mosaic G R / B G, 16 bits (little endian, 16 bpp)"},
    {"GBRGLE16", 0x36314247, "GB16", "Bayer mosaic G B / R G, 16 bits (little endian, 16 bpp)"},
};

TEST(Catalogue, RowsInOrderWithExactTexts) {
    const PixelLayoutInfo* rows = LayoutCatalogue();
    for (int i = 0; i < kLayoutCount; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_STREQ(rows[i].name, kExpected[i].name);
        EXPECT_EQ(rows[i].code, kExpected[i].code);
        EXPECT_STREQ(rows[i].description, kExpected[i].description);
    }
}

TEST(Catalogue, FourccCodesSpellTheirLettersLowByteFirst) {
    for (const Row& r : kExpected) {
        SCOPED_TRACE(r.name);
        if (r.letters) {
            char bytes[4];
            std::memcpy(bytes, &r.code, 4);  // little-endian host: first byte lowest
            EXPECT_EQ(std::string(bytes, 4), r.letters);
        } else {
            EXPECT_LT(r.code, 0x10000u);
        }
    }
}

// No two rows share a code or a name (names compared without case, as keywords are).
TEST(Catalogue, CodesAndNamesAreUnique) {
    for (int i = 0; i < kLayoutCount; ++i) {
        for (int j = i + 1; j < kLayoutCount; ++j) {
            EXPECT_NE(kExpected[i].code, kExpected[j].code) << kExpected[i].name;
            EXPECT_NE(strcasecmp(kExpected[i].name, kExpected[j].name), 0) << kExpected[i].name;
        }
    }
}

TEST(Catalogue, NameAndIndexOfCodes) {
    EXPECT_EQ(LayoutName(0x3535354C), "R555");
    EXPECT_EQ(LayoutName(0x3536354C), "R565");
    EXPECT_EQ(LayoutName(0x00000001), "");
    EXPECT_EQ(LayoutName(0), "");
    EXPECT_EQ(LayoutIndex(kLayoutYV12), 0);
    EXPECT_EQ(LayoutIndex(kLayoutGRAYBE16), kStoredLayoutCount - 1);
    EXPECT_EQ(LayoutIndex(kLayoutNV12), kStoredLayoutCount);
    EXPECT_EQ(LayoutIndex(kLayoutR24C), 25);
    EXPECT_FALSE(LayoutIndex(0x00000001).has_value());
    for (int i = 0; i < kLayoutCount; ++i) {
        EXPECT_EQ(LayoutIndex(kExpected[i].code), i);
        EXPECT_EQ(LayoutName(kExpected[i].code), kExpected[i].name);
    }
}

// ---- geometry ------------------------------------------------------------------------------

struct Geometry {
    uint32_t code;
    int n, d, bpp, wm, hm;
};

class GeometryTest : public ::testing::TestWithParam<Geometry> {};

// A fresh block for a width that every multiple divides: pitch, depth and multiples.
TEST_P(GeometryTest, FreshBlockGetsTheLayoutsGeometry) {
    const Geometry g = GetParam();
    const int32_t w = 96 * 5, h = 4;
    RawVideoFormat f{};
    ASSERT_TRUE(BuildRawVideoFormat(f, w, h, g.code, 0, 0));
    EXPECT_EQ(+f.lineBytes, g.n * w / g.d);
    EXPECT_EQ(+f.bitsPerPixel, uint32_t(g.bpp));
    EXPECT_EQ(+f.widthMultiple, uint32_t(g.wm));
    EXPECT_EQ(+f.heightMultiple, uint32_t(g.hm));
    EXPECT_EQ(FrameBytes(f), uint64_t(g.n * w / g.d) * h);
    // A width one short of a multiple needs an explicit pitch when the multiple is above 1.
    RawVideoFormat odd{};
    EXPECT_EQ(BuildRawVideoFormat(odd, w - 1, h, g.code, 0, 0), g.wm == 1);
    RawVideoFormat given{};
    EXPECT_TRUE(BuildRawVideoFormat(given, w - 1, h, g.code, 123456, 0));
    EXPECT_EQ(+given.lineBytes, 123456);
    // An odd height fails exactly for the layouts with height multiple 2.
    RawVideoFormat oddH{};
    EXPECT_EQ(BuildRawVideoFormat(oddH, w, 3, g.code, 0, 0), g.hm == 1);
}

INSTANTIATE_TEST_SUITE_P(
    AllLayouts, GeometryTest,
    ::testing::Values(
        Geometry{kLayoutYV12, 3, 2, 12, 2, 2}, Geometry{kLayoutI420, 3, 2, 12, 2, 2},
        Geometry{kLayoutI420LE16, 3, 1, 24, 2, 2}, Geometry{kLayoutI420BE16, 3, 1, 24, 2, 2},
        Geometry{kLayoutP010, 3, 1, 24, 2, 2}, Geometry{kLayoutP016, 3, 1, 24, 2, 2},
        Geometry{kLayoutYV16, 2, 1, 16, 2, 1}, Geometry{kLayoutYUY2, 2, 1, 16, 2, 1},
        Geometry{kLayoutV422, 2, 1, 16, 2, 1}, Geometry{kLayoutYUYV, 2, 1, 16, 2, 1},
        Geometry{kLayoutUYVY, 2, 1, 16, 2, 1}, Geometry{kLayoutVYUY, 2, 1, 16, 2, 1},
        Geometry{kLayoutP210, 4, 1, 32, 2, 1}, Geometry{kLayoutP216, 4, 1, 32, 2, 1},
        Geometry{kLayoutY210, 4, 1, 32, 2, 1}, Geometry{kLayoutY216, 4, 1, 32, 2, 1},
        Geometry{kLayoutV216, 4, 1, 32, 2, 1}, Geometry{kLayoutV210, 8, 3, 20, 48, 1},
        Geometry{kLayoutYV24, 3, 1, 24, 2, 1}, Geometry{kLayoutVUYA, 4, 1, 32, 1, 1},
        Geometry{kLayoutAYUV, 4, 1, 32, 1, 1}, Geometry{kLayoutR555, 2, 1, 16, 1, 1},
        Geometry{kLayoutR565, 2, 1, 16, 1, 1}, Geometry{kLayoutGRAYLE16, 2, 1, 16, 1, 1},
        Geometry{kLayoutGRAYBE16, 2, 1, 16, 1, 1}, Geometry{kLayoutBGR3, 3, 1, 24, 1, 1},
        Geometry{kLayoutRGB3, 3, 1, 24, 1, 1}, Geometry{kLayoutR24C, 3, 1, 24, 1, 1},
        Geometry{kLayoutBGR4, 4, 1, 32, 1, 1}, Geometry{kLayoutRGB4, 4, 1, 32, 1, 1},
        Geometry{kLayoutR32C, 4, 1, 32, 1, 1}, Geometry{kLayoutBGRA, 4, 1, 32, 1, 1},
        Geometry{kLayoutARGB, 4, 1, 32, 1, 1}, Geometry{kLayoutBGR444P, 6, 1, 48, 1, 1},
        Geometry{kLayoutRGB444P, 6, 1, 48, 1, 1}, Geometry{kLayoutBGR161616, 6, 1, 48, 1, 1},
        Geometry{kLayoutRGB161616, 6, 1, 48, 1, 1}, Geometry{kLayoutBGRA16161616, 8, 1, 64, 1, 1},
        Geometry{kLayoutARGB16161616, 8, 1, 64, 1, 1}, Geometry{kLayoutGRAY, 1, 1, 8, 1, 1},
        Geometry{kLayoutNV12, 3, 2, 12, 2, 2}, Geometry{kLayoutNV21, 3, 2, 12, 2, 2},
        Geometry{kLayoutNV16, 2, 1, 16, 2, 1}, Geometry{kLayoutNV61, 2, 1, 16, 2, 1},
        Geometry{kLayoutNV24, 3, 1, 24, 2, 1}, Geometry{kLayoutNV42, 3, 1, 24, 2, 1},
        Geometry{kLayoutYVYU, 2, 1, 16, 2, 1}, Geometry{kLayoutI422, 2, 1, 16, 2, 1},
        Geometry{kLayoutI444, 3, 1, 24, 1, 1}, Geometry{kLayoutY41B, 3, 2, 12, 4, 1},
        Geometry{kLayoutI440, 2, 1, 16, 1, 2}, Geometry{kLayoutI420LE10, 3, 1, 24, 2, 2},
        Geometry{kLayoutI420LE12, 3, 1, 24, 2, 2}, Geometry{kLayoutI420BE10, 3, 1, 24, 2, 2},
        Geometry{kLayoutI420BE12, 3, 1, 24, 2, 2}, Geometry{kLayoutI422LE10, 4, 1, 32, 2, 1},
        Geometry{kLayoutI422LE12, 4, 1, 32, 2, 1}, Geometry{kLayoutI422LE16, 4, 1, 32, 2, 1},
        Geometry{kLayoutI422BE10, 4, 1, 32, 2, 1}, Geometry{kLayoutI422BE12, 4, 1, 32, 2, 1},
        Geometry{kLayoutI422BE16, 4, 1, 32, 2, 1}, Geometry{kLayoutI444LE10, 6, 1, 48, 1, 1},
        Geometry{kLayoutI444LE12, 6, 1, 48, 1, 1}, Geometry{kLayoutI444LE16, 6, 1, 48, 1, 1},
        Geometry{kLayoutI444BE10, 6, 1, 48, 1, 1}, Geometry{kLayoutI444BE12, 6, 1, 48, 1, 1},
        Geometry{kLayoutI444BE16, 6, 1, 48, 1, 1}, Geometry{kLayoutP410, 6, 1, 48, 1, 1},
        Geometry{kLayoutP416, 6, 1, 48, 1, 1}, Geometry{kLayoutGRAYLE10, 2, 1, 16, 1, 1},
        Geometry{kLayoutGRAYLE12, 2, 1, 16, 1, 1}, Geometry{kLayoutY410, 4, 1, 32, 1, 1},
        Geometry{kLayoutV410, 4, 1, 32, 1, 1}, Geometry{kLayoutR210, 4, 1, 32, 1, 1},
        Geometry{kLayoutX2R10G10B10, 4, 1, 32, 1, 1}, Geometry{kLayoutX2B10G10R10, 4, 1, 32, 1, 1},
        Geometry{kLayoutRGBA, 4, 1, 32, 1, 1}, Geometry{kLayoutABGR, 4, 1, 32, 1, 1},
        Geometry{kLayoutRGGB, 1, 1, 8, 2, 2}, Geometry{kLayoutBGGR, 1, 1, 8, 2, 2},
        Geometry{kLayoutGRBG, 1, 1, 8, 2, 2}, Geometry{kLayoutGBRG, 1, 1, 8, 2, 2},
        Geometry{kLayoutRGGBLE10, 2, 1, 16, 2, 2}, Geometry{kLayoutBGGRLE10, 2, 1, 16, 2, 2},
        Geometry{kLayoutGRBGLE10, 2, 1, 16, 2, 2}, Geometry{kLayoutGBRGLE10, 2, 1, 16, 2, 2},
        Geometry{kLayoutRGGBLE12, 2, 1, 16, 2, 2}, Geometry{kLayoutBGGRLE12, 2, 1, 16, 2, 2},
        Geometry{kLayoutGRBGLE12, 2, 1, 16, 2, 2}, Geometry{kLayoutGBRGLE12, 2, 1, 16, 2, 2},
        Geometry{kLayoutRGGBLE16, 2, 1, 16, 2, 2}, Geometry{kLayoutBGGRLE16, 2, 1, 16, 2, 2},
        Geometry{kLayoutGRBGLE16, 2, 1, 16, 2, 2}, Geometry{kLayoutGBRGLE16, 2, 1, 16, 2, 2}),
    [](const ::testing::TestParamInfo<Geometry>& p) { return LayoutName(p.param.code); });

// ---- the builder, by step --------------------------------------------------------------------

RawVideoFormat Fresh(int32_t w, int32_t h, uint32_t code, int32_t pitch = 0, int32_t fd = 0) {
    RawVideoFormat f{};
    EXPECT_TRUE(BuildRawVideoFormat(f, w, h, code, pitch, fd));
    return f;
}

bool SameBytes(const RawVideoFormat& a, const RawVideoFormat& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Case {
    const char* what;
    int32_t w, h;
    uint32_t code;
    int32_t pitch;
    bool ok;
    int32_t lineBytes;  // expected when ok
};

class BuilderCases : public ::testing::TestWithParam<Case> {};

TEST_P(BuilderCases, ResultAndPitch) {
    const Case c = GetParam();
    RawVideoFormat f{};
    ASSERT_EQ(BuildRawVideoFormat(f, c.w, c.h, c.code, c.pitch, 0), c.ok);
    if (c.ok) {
        EXPECT_EQ(+f.lineBytes, c.lineBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps1To9, BuilderCases,
    ::testing::Values(
        Case{"zero_width", 0, 576, kLayoutYV12, 0, false, 0},
        Case{"zero_height", 720, 0, kLayoutYV12, 0, false, 0},
        Case{"yuy2_odd_width_computed", 721, 480, kLayoutYUY2, 0, false, 0},
        Case{"yuy2_odd_width_given", 721, 480, kLayoutYUY2, 1444, true, 1444},
        Case{"yv12_pal", 720, 576, kLayoutYV12, 0, true, 1080},
        Case{"yv12_odd_height", 720, 575, kLayoutYV12, 0, false, 0},
        Case{"yv12_odd_height_given_pitch", 720, 575, kLayoutYV12, 1080, false, 0},
        Case{"v210_hd", 1920, 1080, kLayoutV210, 0, true, 5120},
        Case{"v210_720p_computed", 1280, 720, kLayoutV210, 0, false, 0},
        Case{"v210_720p_given", 1280, 720, kLayoutV210, 3456, true, 3456},
        Case{"i420le16_hd", 1920, 1080, kLayoutI420LE16, 0, true, 5760},
        Case{"argb_vga", 640, 480, kLayoutARGB, 0, true, 2560},
        Case{"v216_hd", 1920, 1080, kLayoutV216, 0, true, 7680},
        Case{"negative_pitch_kept", 1920, 1080, kLayoutI420LE16, -5760, true, -5760},
        Case{"small_given_pitch_kept", 720, 576, kLayoutUYVY, 2, true, 2},
        Case{"unknown_code", 720, 576, 0x00000001, 0, false, 0},
        Case{"no_code", 720, 576, 0, 0, false, 0},
        // Refused instead of producing a negative or wrapped pitch.
        Case{"negative_width", -720, 576, kLayoutUYVY, 0, false, 0},
        Case{"negative_height", 720, -576, kLayoutUYVY, 0, false, 0},
        Case{"pitch_overflows_32_bits", INT32_MAX - 1, 2, kLayoutBGRA16161616, 0, false, 0},
        Case{"pitch_without_magnitude", 720, 576, kLayoutUYVY, INT32_MIN, false, 0},
        Case{"largest_pitch_that_fits", 268435455, 1, kLayoutBGRA16161616, 0, true, 2147483640}),
    [](const ::testing::TestParamInfo<Case>& p) { return p.param.what; });

TEST(Builder, Step1ZeroSizeLeavesBlockUntouched) {
    RawVideoFormat f = Fresh(720, 576, kLayoutUYVY);
    const RawVideoFormat before = f;
    EXPECT_FALSE(BuildRawVideoFormat(f, 0, 576, kLayoutYV12, 0, 9));
    EXPECT_FALSE(BuildRawVideoFormat(f, 720, 0, kLayoutYV12, 0, 9));
    EXPECT_TRUE(SameBytes(f, before));
}

TEST(Builder, Step2NewBlockIsZeroedAndMarked) {
    RawVideoFormat f;
    std::memset(&f, 0xCD, sizeof f);
    f.size = 0;  // marks the block as new: every other byte is cleared
    ASSERT_TRUE(BuildRawVideoFormat(f, 640, 480, kLayoutUYVY, 0, -1));
    EXPECT_EQ(+f.size, 150u);
    EXPECT_EQ(+f.colourSize, 42u);
    EXPECT_EQ(+f.extensionFlags, 0x0Bu);
    EXPECT_EQ(+f.fieldCount, 1);  // negative field detail on a new block counts as progressive
    EXPECT_EQ(+f.fieldDetail, 0);
    int32_t aperture[8];
    std::memcpy(aperture, f.cleanAperture, sizeof aperture);
    for (int32_t v : aperture) EXPECT_EQ(v, 0);
    for (uint8_t b : f.colourRest) EXPECT_EQ(b, 0);
    EXPECT_EQ(f.zero136[0] | f.zero136[1], 0);
    for (uint8_t b : f.zero142) EXPECT_EQ(b, 0);
    EXPECT_EQ(+f.colourTableId, -1);
    EXPECT_EQ(+f.hResolution, 0x00480000u);
    EXPECT_EQ(+f.vResolution, 0x00480000u);
    EXPECT_EQ(+f.sampleRange, 1u);
    EXPECT_EQ(+f.reserved132, 5u);
    EXPECT_EQ(+f.aspectH, 1u);
    EXPECT_EQ(+f.aspectV, 1u);
}

TEST(Builder, Step2OnceFilledExtensionsAreNotRefilled) {
    RawVideoFormat f = Fresh(1440, 1080, kLayoutYUY2, 0, 0);
    EXPECT_EQ(+f.colourPrimaries, 1);
    EXPECT_EQ(+f.colourTransfer, 1);
    EXPECT_EQ(+f.colourMatrix, 1);
    EXPECT_EQ(+f.aspectH, 4u);
    EXPECT_EQ(+f.aspectV, 3u);
    ASSERT_TRUE(BuildRawVideoFormat(f, 720, 576, 0, 0, 14));
    EXPECT_EQ(+f.colourPrimaries, 1);  // 720 x 576 would give 5 / 1 / 5
    EXPECT_EQ(+f.colourMatrix, 1);
    EXPECT_EQ(+f.aspectH, 4u);
    EXPECT_EQ(+f.aspectV, 3u);
    EXPECT_EQ(+f.code, kLayoutYUY2);  // code 0 kept the block's code
    EXPECT_EQ(+f.fieldCount, 2);      // field information follows the new detail
    EXPECT_EQ(+f.fieldDetail, 14);
    EXPECT_EQ(+f.lineBytes, 1440);
}

TEST(Builder, Step2ExistingBlockFillsOnlyFlaggedEmptyExtensions) {
    RawVideoFormat f = Fresh(640, 480, kLayoutUYVY);
    // Cleared pixel aspect with its flag set: filled again.
    f.aspectH = f.aspectV = 0;
    ASSERT_TRUE(BuildRawVideoFormat(f, 1280, 1080, 0, 0, -1));
    EXPECT_EQ(+f.aspectH, 3u);
    EXPECT_EQ(+f.aspectV, 2u);
    // Cleared aspect without its flag: stays empty.
    f.aspectH = f.aspectV = 0;
    f.extensionFlags &= ~kExtAspect;
    ASSERT_TRUE(BuildRawVideoFormat(f, 1280, 1080, 0, 0, -1));
    EXPECT_EQ(+f.aspectH, 0u);
    // A colour description with only its size field left counts as filled.
    std::memset(&f.colourPrimaries, 0, 6);
    ASSERT_TRUE(BuildRawVideoFormat(f, 1280, 720, 0, 0, -1));
    EXPECT_EQ(+f.colourPrimaries, 0);
    // All 42 bytes zero and the flag set: filled.
    f.colourSize = 0;
    ASSERT_TRUE(BuildRawVideoFormat(f, 1280, 720, 0, 0, -1));
    EXPECT_EQ(+f.colourSize, 42u);
    EXPECT_EQ(+f.colourPrimaries, 1);
    // The clean aperture is filled on an existing block only when flagged and empty.
    ASSERT_TRUE(BuildRawVideoFormat(f, 1920, 1080, 0, 0, -1));
    int32_t width0;
    std::memcpy(&width0, f.cleanAperture, 4);
    EXPECT_EQ(width0, 0);
    f.extensionFlags |= kExtCleanAperture;
    ASSERT_TRUE(BuildRawVideoFormat(f, 1920, 1080, 0, 0, -1));
    std::memcpy(&width0, f.cleanAperture, 4);
    EXPECT_EQ(width0, 1888);
}

TEST(Builder, Step3SampleRangeAndOffset132AreKept) {
    RawVideoFormat f = Fresh(64, 64, kLayoutR24C);
    EXPECT_EQ(+f.sampleRange, 2u);
    ASSERT_TRUE(BuildRawVideoFormat(f, 64, 64, kLayoutBGR3, 0, -1));
    EXPECT_EQ(+f.sampleRange, 2u);  // a block's range survives a change of code
    f.sampleRange = 0;
    f.reserved132 = 77;
    ASSERT_TRUE(BuildRawVideoFormat(f, 64, 64, kLayoutBGR3, 0, -1));
    EXPECT_EQ(+f.sampleRange, 1u);
    EXPECT_EQ(+f.reserved132, 77u);
    f.reserved132 = 0;
    ASSERT_TRUE(BuildRawVideoFormat(f, 64, 64, kLayoutR32C, 0, -1));
    EXPECT_EQ(+f.reserved132, 5u);
    EXPECT_EQ(+f.sampleRange, 2u);
}

TEST(Builder, Step4CodeZeroUsesBlockCode) {
    RawVideoFormat f{};
    f.size = 150;
    EXPECT_FALSE(BuildRawVideoFormat(f, 64, 64, 0, 0, 0));
    f.code = kLayoutRGB3;
    EXPECT_TRUE(BuildRawVideoFormat(f, 64, 64, 0, 0, 0));
    EXPECT_EQ(+f.lineBytes, 192);
}

struct FieldCase {
    int32_t detail;
    int count, stored;
};
class FieldDetailTest : public ::testing::TestWithParam<FieldCase> {};
TEST_P(FieldDetailTest, Step5FieldInformation) {
    const FieldCase c = GetParam();
    RawVideoFormat f = Fresh(64, 64, kLayoutUYVY, 0, c.detail);
    EXPECT_EQ(+f.fieldCount, c.count);
    EXPECT_EQ(+f.fieldDetail, c.stored);
    EXPECT_TRUE(f.extensionFlags & kExtFieldInfo);
    // A negative detail on an existing block keeps what it has.
    ASSERT_TRUE(BuildRawVideoFormat(f, 64, 64, 0, 0, -1));
    EXPECT_EQ(+f.fieldCount, c.count);
    EXPECT_EQ(+f.fieldDetail, c.stored);
}
INSTANTIATE_TEST_SUITE_P(Details, FieldDetailTest,
                         ::testing::Values(FieldCase{0, 1, 0}, FieldCase{9, 2, 9},
                                           FieldCase{14, 2, 14}, FieldCase{1, 2, 1},
                                           FieldCase{6, 2, 6}, FieldCase{3, 2, 9},
                                           FieldCase{255, 2, 9}, FieldCase{265, 2, 9}));

TEST(Builder, Step7DepthRules) {
    RawVideoFormat f = Fresh(96, 2, kLayoutUYVY);
    f.bitsPerPixel = 99;
    ASSERT_TRUE(BuildRawVideoFormat(f, 96, 2, kLayoutYV12, 0, -1));
    EXPECT_EQ(+f.bitsPerPixel, 99u);  // a non-zero depth is kept
    ASSERT_TRUE(BuildRawVideoFormat(f, 96, 2, kLayoutV210, 0, -1));
    EXPECT_EQ(+f.bitsPerPixel, 20u);  // except for v210 and v216
    ASSERT_TRUE(BuildRawVideoFormat(f, 96, 2, kLayoutV216, 0, -1));
    EXPECT_EQ(+f.bitsPerPixel, 32u);
    f.hResolution = 0x00960000;
    f.colourTableId = 7;
    ASSERT_TRUE(BuildRawVideoFormat(f, 96, 2, kLayoutV216, 0, -1));
    EXPECT_EQ(+f.hResolution, 0x00960000u);
    EXPECT_EQ(+f.vResolution, 0x00480000u);
    EXPECT_EQ(+f.colourTableId, 7);
}

TEST(Builder, FailureAfterStep6HasWrittenGeometry) {
    RawVideoFormat f = Fresh(720, 576, kLayoutUYVY);
    EXPECT_FALSE(BuildRawVideoFormat(f, 721, 480, kLayoutYV12, 0, -1));
    EXPECT_EQ(+f.code, kLayoutYV12);
    EXPECT_EQ(+f.width, 721);
    EXPECT_EQ(+f.height, 480);
    EXPECT_EQ(+f.widthMultiple, 2u);
    EXPECT_EQ(+f.lineBytes, 1440);  // the pitch is not written when the width is refused
}

struct SizeCase {
    int32_t w, h;
    uint16_t primaries, transfer, matrix;
    uint32_t aspectH, aspectV;
};
class FrameSizeDefaults : public ::testing::TestWithParam<SizeCase> {};
TEST_P(FrameSizeDefaults, Step10ColourAndAspect) {
    const SizeCase c = GetParam();
    const RawVideoFormat yuv = Fresh(c.w, c.h, kLayoutVUYA);
    EXPECT_EQ(+yuv.colourPrimaries, c.primaries);
    EXPECT_EQ(+yuv.colourTransfer, c.transfer);
    EXPECT_EQ(+yuv.colourMatrix, c.matrix);
    EXPECT_EQ(+yuv.aspectH, c.aspectH);
    EXPECT_EQ(+yuv.aspectV, c.aspectV);
    const RawVideoFormat grey = Fresh(c.w, c.h, kLayoutGRAY);
    EXPECT_EQ(+grey.colourMatrix, c.matrix);
    const RawVideoFormat rgb = Fresh(c.w, c.h, kLayoutBGRA);
    EXPECT_EQ(+rgb.colourPrimaries, c.primaries);
    EXPECT_EQ(+rgb.colourMatrix, 0);  // R'G'B' layouts leave the matrix at 0
    const bool aperture = c.w == 1920 && c.h == 1080;
    EXPECT_EQ((yuv.extensionFlags & kExtCleanAperture) != 0, aperture);
    EXPECT_EQ(yuv.extensionFlags & ~kExtCleanAperture, 0x0Bu);
}
INSTANTIATE_TEST_SUITE_P(
    Sizes, FrameSizeDefaults,
    ::testing::Values(SizeCase{1280, 720, 1, 1, 1, 1, 1}, SizeCase{528, 576, 5, 1, 5, 1, 1},
                      SizeCase{720, 576, 5, 1, 5, 1, 1}, SizeCase{720, 480, 6, 1, 5, 1, 1},
                      SizeCase{960, 1080, 1, 1, 1, 2, 1}, SizeCase{1280, 1080, 1, 1, 1, 3, 2},
                      SizeCase{1440, 1080, 1, 1, 1, 4, 3}, SizeCase{1920, 1080, 1, 1, 1, 1, 1},
                      SizeCase{640, 480, 2, 2, 2, 1, 1}, SizeCase{720, 486, 2, 2, 2, 1, 1}));

TEST(Builder, Step10CleanApertureFor1920x1080) {
    const RawVideoFormat f = Fresh(1920, 1080, kLayoutUYVY);
    const int32_t expected[8] = {1888, 1, 1062, 1, 0, 0, 0, 0};
    int32_t aperture[8];
    std::memcpy(aperture, f.cleanAperture, sizeof aperture);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(aperture[i], expected[i]) << i;
    EXPECT_EQ(+f.extensionFlags, 0x0Fu);
}

TEST(Builder, FrameSizeUsesPitchMagnitude) {
    const RawVideoFormat yv12 = Fresh(720, 576, kLayoutYV12);
    EXPECT_EQ(+yv12.bitsPerPixel, 12u);
    EXPECT_EQ(FrameBytes(yv12), 622080u);
    const RawVideoFormat up = Fresh(1920, 1080, kLayoutI420LE16, -5760);
    EXPECT_EQ(+up.lineBytes, -5760);
    EXPECT_EQ(FrameBytes(up), 5760u * 1080u);
}

TEST(Builder, StoredBytesAreLittleEndianAtTheirOffsets) {
    const RawVideoFormat f = Fresh(1920, 1080, kLayoutV210);
    uint8_t b[150];
    std::memcpy(b, &f, 150);
    auto u32 = [&](int o) {
        return uint32_t(b[o]) | uint32_t(b[o + 1]) << 8 | uint32_t(b[o + 2]) << 16 |
               uint32_t(b[o + 3]) << 24;
    };
    EXPECT_EQ(u32(0), 150u);
    EXPECT_EQ(u32(4), kLayoutV210);
    EXPECT_EQ(u32(8), 1920u);
    EXPECT_EQ(u32(12), 1080u);
    EXPECT_EQ(u32(16), 20u);
    EXPECT_EQ(u32(20), 48u);
    EXPECT_EQ(u32(28), 5120u);
    EXPECT_EQ(u32(32), 0x00480000u);
    EXPECT_EQ(b[52], 1);
    EXPECT_EQ(u32(54), 1888u);
    EXPECT_EQ(u32(62), 1062u);
    EXPECT_EQ(u32(86), 42u);
    EXPECT_EQ(b[90] | b[91] << 8, 1);
    EXPECT_EQ(u32(128), 1u);
    EXPECT_EQ(u32(132), 5u);
    EXPECT_EQ(u32(138), 0xFFFFFFFFu);
}

}  // namespace
