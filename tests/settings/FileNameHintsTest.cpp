// What file names say: real-world names of test sequences, captures and decoder output, with the
// size, layout, frame rate and interlacing each one states.
#include "settings/FileNameHints.h"

#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace rawsettings;

struct NamedFile {
    const char* path;
    int32_t width, height;
    const char* layout;  // catalogue name of the first candidate; "" none; nullptr not checked
    uint32_t rateNumerator, rateDenominator;
    int interlaced;  // -1 not said, 0 progressive, 1 interlaced
};

const NamedFile kNames[] = {
    {"foreman_cif.yuv", 352, 288, "", 0, 0, -1},
    {"akiyo_qcif.yuv", 176, 144, "", 0, 0, -1},
    {"BQTerrace_1920x1080_60.yuv", 1920, 1080, "", 60, 1, -1},
    {"ParkScene_1920x1080_24.yuv", 1920, 1080, "", 24, 1, -1},
    {"RaceHorses_416x240_30.yuv", 416, 240, "", 30, 1, -1},
    {"Kimono1_1920x1080_24_10bit_420.yuv", 1920, 1080, "I420LE10", 24, 1, -1},
    {"crowd_run_1080p50.yuv", 1920, 1080, "", 50, 1, 0},
    {"out_3840x2160_yuv420p10le.raw", 3840, 2160, "I420LE10", 0, 0, -1},
    {"cam0/2023-10-08_1080p30_nv12.bin", 1920, 1080, "NV12", 30, 1, 0},
    {"ducks_take_off_420_720p50.y4m", 1280, 720, "I420", 50, 1, 0},
    {"capture_uyvy_720x576_25i.raw", 720, 576, "UYVY", 25, 1, 1},
    {"broadcast_1920x1080_50i.yuv", 1920, 1080, "", 25, 1, 1},
    {"news_1080i59.94.yuv", 1920, 1080, "", 30000, 1001, 1},
    {"movie_1920X1080_29.97fps.yuv", 1920, 1080, "", 30000, 1001, -1},
    {"sports_1920*1080_25Hz.yuv", 1920, 1080, "", 25, 1, -1},
    {"sintel_4096x1744_24fps.yuv", 4096, 1744, "", 24, 1, -1},
    {"stream_60p.yuv", 0, 0, "", 60, 1, 0},
    {"x264_out.yuv", 0, 0, "", 0, 0, -1},
    {"h265_decoded_1280x720.yuv", 1280, 720, "", 0, 0, -1},
    {"video.mp4.yuv", 0, 0, "", 0, 0, -1},
    {"20231080_capture.yuv", 0, 0, "", 0, 0, -1},
    {"frame_0720.yuv", 0, 0, "", 0, 0, -1},
    {"a1920x1080b.bin", 1920, 1080, "", 0, 0, -1},
    {"foo1080bar.yuv", 1920, 1080, "", 0, 0, -1},
    {"clip_720p.yuv", 1280, 720, "", 0, 0, 0},
    {"test_2160p.yuv", 3840, 2160, "", 0, 0, 0},
    {"demo_4k.yuv", 3840, 2160, "", 0, 0, -1},
    {"demo_uhd_50fps.yuv", 3840, 2160, "", 50, 1, -1},
    {"8k_sample.yuv", 7680, 4320, "", 0, 0, -1},
    {"hd_clip.yuv", 1920, 1080, "", 0, 0, -1},
    {"fhd_clip.yuv", 1920, 1080, "", 0, 0, -1},
    {"mobile_4cif.yuv", 704, 576, "", 0, 0, -1},
    {"city_16cif.yuv", 1408, 1152, "", 0, 0, -1},
    {"tennis_sif.yuv", 352, 240, "", 0, 0, -1},
    {"pal_bars.uyvy", 720, 576, "UYVY", 0, 0, -1},
    {"ntsc_bars.yuv", 720, 480, "", 0, 0, -1},
    {"webcam_vga.yuyv", 640, 480, "YUYV", 0, 0, -1},
    {"thumb_qvga.rgb", 320, 240, "BGR3", 0, 0, -1},
    {"grading_3840x2160_422_10bit.yuv", 3840, 2160, "I422LE10", 0, 0, -1},
    {"grading_1920x1080_422_10bit_be.yuv", 1920, 1080, "I422BE10", 0, 0, -1},
    {"yuv444_1920x1080.yuv", 1920, 1080, "I444", 0, 0, -1},
    {"lowlight_1920x1080_gray.raw", 1920, 1080, "GRAY", 0, 0, -1},
    {"depth_640x480_grey_16bit.raw", 640, 480, "GRAYLE16", 0, 0, -1},
    {"ir_640x512_gray16le.raw", 640, 512, "GRAYLE16", 0, 0, -1},
    {"cam_1280x720_p010.yuv", 1280, 720, "P010", 0, 0, -1},
    {"out_1920x1080_yuv420p.yuv", 1920, 1080, "I420", 0, 0, -1},
    {"rawframes_640x480_bgra.raw", 640, 480, "BGRA", 0, 0, -1},
    {"decoded.nv21", 0, 0, "NV21", 0, 0, -1},
    {"sdi_1920x1080.v210", 1920, 1080, "v210", 0, 0, -1},
    {"sensor_4000x3000_rggb12.raw", 4000, 3000, "RGGBLE12", 0, 0, -1},
    // Bit depths and Bayer mosaics: the depth picks among the layouts of the kind named.
    {"sensor_rggb_1920x1080_12bit.raw", 1920, 1080, "RGGBLE12", 0, 0, -1},
    {"bayer_RGGB12_1920x1080.raw", 1920, 1080, "RGGBLE12", 0, 0, -1},
    {"cam_bggr10_1280x720.raw", 1280, 720, "BGGRLE10", 0, 0, -1},
    {"imx_grbg_16bit_4000x3000.raw", 4000, 3000, "GRBGLE16", 0, 0, -1},
    {"gbrg8_640x480.raw", 640, 480, "GBRG", 0, 0, -1},
    {"raw_bayer_gbrg_10b_1920x1080.bin", 1920, 1080, "GBRGLE10", 0, 0, -1},
    {"BayerRG12_2048x1536.raw", 2048, 1536, "RGGBLE12", 0, 0, -1},
    {"BayerGB8_640x480.raw", 640, 480, "GBRG", 0, 0, -1},
    {"bayer_1920x1080_10bit.raw", 1920, 1080, "RGGBLE10", 0, 0, -1},
    {"HD_10bit_420.yuv", 1920, 1080, "I420LE10", 0, 0, -1},
    {"clip_hd_420_8bit.yuv", 1920, 1080, "I420", 0, 0, -1},
    {"clip_1920x1080_p10.yuv", 1920, 1080, "I420LE10", 0, 0, -1},
    {"clip_1920x1080_420_10b.yuv", 1920, 1080, "I420LE10", 0, 0, -1},
    {"clip_1920x1080_12bit.yuv", 1920, 1080, "I420LE12", 0, 0, -1},
    {"clip_3840x2160_16bit_444.yuv", 3840, 2160, "I444LE16", 0, 0, -1},
    {"clip_1280x720_422p10.yuv", 1280, 720, "I422LE10", 0, 0, -1},
    {"grey_640x480_10bit.raw", 640, 480, "GRAYLE10", 0, 0, -1},
    {"mono12_1280x1024.raw", 1280, 1024, "GRAYLE12", 0, 0, -1},
    {"depth_8bit_gray_640x480.raw", 640, 480, "GRAY", 0, 0, -1},
    {"capture_16bit_be_gray_640x480.raw", 640, 480, "GRAYBE16", 0, 0, -1},
    {"lidar_mono16_1024x64.raw", 1024, 64, "GRAYLE16", 0, 0, -1},
    {"/data/seq/10bit/BasketballDrive_1920x1080_50_420.yuv", 1920, 1080, "I420LE10", 50, 1, -1},
    {"/data/1080p/clip_nv12.yuv", 1920, 1080, "NV12", 0, 0, 0},
    {"/data/720p50/foo_1920x1080.yuv", 1920, 1080, "", 50, 1, 0},
    {"/mnt/hd/project/take/frame_0001.yuv", 0, 0, "", 0, 0, -1},
    {"interlaced/pal_capture.uyvy", 720, 576, "UYVY", 0, 0, 1},
};

// Every name gives its size, rate and interlacing; the layout where the catalogue has it. Names
// of layouts the catalogue lacks in this build are listed and checked by the test after.
TEST(FileNameHints, RealWorldNamesSayWhatTheyMean) {
    std::vector<std::string> unknownLayouts;
    for (const NamedFile& n : kNames) {
        SCOPED_TRACE(n.path);
        const FileNameHints h = ReadFileNameHints(n.path);
        EXPECT_EQ(h.width, n.width);
        EXPECT_EQ(h.height, n.height);
        EXPECT_EQ(h.rateNumerator, n.rateNumerator);
        EXPECT_EQ(h.rateDenominator, n.rateDenominator);
        EXPECT_EQ(h.interlaced.has_value() ? int(*h.interlaced) : -1, n.interlaced);
        if (!n.layout) continue;
        if (*n.layout == '\0') {
            EXPECT_TRUE(h.codes.empty()) << LayoutName(h.codes.front());
            continue;
        }
        const auto code = LayoutCodeByName(n.layout);
        if (!code) {
            unknownLayouts.push_back(n.layout);
            continue;
        }
        ASSERT_FALSE(h.codes.empty());
        EXPECT_EQ(LayoutName(h.codes.front()), LayoutName(*code));
    }
    if (!unknownLayouts.empty()) {
        std::string list;
        for (const std::string& name : unknownLayouts) list += " " + name;
        GTEST_SKIP() << "sizes and rates checked; the catalogue lacks" << list
                     << ", so those names' layouts are not";
    }
}

// Layout pieces combine: chroma, depth and byte order make one name; a depth alone offers every
// layout of that depth, 4:2:0 first; the nearer component wins.
TEST(FileNameHints, LayoutPiecesCombine) {
    const auto first = [](const char* path) {
        const FileNameHints h = ReadFileNameHints(path);
        return h.codes.empty() ? std::string() : LayoutName(h.codes.front());
    };
    EXPECT_EQ(first("a_yuv_420.yuv"), "I420");
    EXPECT_EQ(first("a_420.bin"), "I420");
    EXPECT_EQ(first("a_422_8bit.bin"), LayoutCodeByName("I422") ? "I422" : "UYVY");
    EXPECT_EQ(first("nv12/a_uyvy.bin"), "UYVY");  // the file's keyword beats the folder's
    EXPECT_EQ(first("uyvy/a_420.bin"), "I420");   // nearer pieces beat a farther keyword
    const FileNameHints tenBit = ReadFileNameHints("clip_1920x1080_10bit.bin");
    ASSERT_FALSE(tenBit.codes.empty());
    // 4:2:0 layouts first, then 4:2:2 and 4:4:4 ones, only 10-bit layouts.
    EXPECT_TRUE(LayoutName(tenBit.codes.front()) == "I420LE10" ||
                LayoutName(tenBit.codes.front()) == "P010");
    for (const uint32_t code : tenBit.codes) {
        const std::string name = LayoutName(code);
        EXPECT_NE(name.find("10"), std::string::npos) << name;
    }
    if (!LayoutCodeByName("I420LE10") || !LayoutCodeByName("I422LE10"))
        GTEST_SKIP() << "the catalogue lacks I420LE10 or I422LE10";
    EXPECT_EQ(first("a_420_10bit_le.yuv"), "I420LE10");
    EXPECT_EQ(first("a_422_10bit.yuv"), "I422LE10");
    EXPECT_EQ(first("a_yuv420p10.yuv"), "I420LE10");
    EXPECT_EQ(LayoutName(tenBit.codes.front()), "I420LE10");
    EXPECT_EQ(LayoutName(tenBit.codes[1]), "P010");
}

// Names a catalogue row has are found in any case; others are not, whatever they resemble.
TEST(FileNameHints, LayoutNamesAreLookedUpInTheCatalogue) {
    EXPECT_EQ(LayoutCodeByName("i420"), uint32_t{kLayoutI420});
    EXPECT_EQ(LayoutCodeByName("NV12"), uint32_t{kLayoutNV12});
    EXPECT_FALSE(LayoutCodeByName("I420X"));
    EXPECT_FALSE(LayoutCodeByName(""));
}

// Long, empty and odd inputs end without a hint rather than with a wrong one.
TEST(FileNameHints, OddInputsSayNothing) {
    EXPECT_TRUE(ReadFileNameHints("").Empty());
    EXPECT_TRUE(ReadFileNameHints("/").Empty());
    EXPECT_TRUE(ReadFileNameHints("99999x99999.yuv").Empty());  // beyond any frame size
    EXPECT_TRUE(ReadFileNameHints("0fps_1.5.yuv").Empty());
    EXPECT_TRUE(ReadFileNameHints(std::string(100000, '9') + "x1080").Empty());
    // Only the end of a very long path is read; it still says what it says.
    const FileNameHints h = ReadFileNameHints(std::string(10000, 'a') + "/clip_720p.yuv");
    EXPECT_EQ(h.height, 720);
}

}  // namespace
