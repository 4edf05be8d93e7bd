// The sample-clip generator: file sizes and frame positions, sample packing in every layout,
// field arrangements, and the viewer settings it prints.
#include "clipgen/ClipGen.h"

#include "settings/CommandLine.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using clipgen::ClipOptions;
using clipgen::FieldMode;
using clipgen::RgbPicture;

std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/kavlo_clipgen_" + std::to_string(getpid()) +
           "_" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class EveryLayout : public ::testing::TestWithParam<int> {
protected:
    uint32_t Code() const { return LayoutCatalogue()[GetParam()].code; }
    std::string Name() const { return LayoutCatalogue()[GetParam()].name; }
};

std::string LayoutTestName(const ::testing::TestParamInfo<int>& p) {
    return LayoutCatalogue()[p.param].name;
}

// ---- file size and frame positions ---------------------------------------------------------

struct Variant {
    const char* what;
    FieldMode fields;
    bool bottomUp;
    int32_t extraPitch;  // added to the smallest pitch; 0 = computed pitch
};

TEST_P(EveryLayout, FileSizeAndFramePositions) {
    const Variant variants[] = {{"progressive", FieldMode::Progressive, false, 0},
                                {"woven_bottom_up", FieldMode::Woven, true, 0},
                                {"separated_padded", FieldMode::Separated, false, 36}};
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.what);
        ClipOptions o;
        o.code = Code();
        o.width = 96;
        o.height = 8;
        o.frames = 3;
        o.filePrefix = 7;
        o.framePrefix = 5;
        o.framePostfix = 3;
        o.fields = v.fields;
        o.bottomUp = v.bottomUp;
        if (v.extraPitch)
            o.lineBytes = int32_t(MinLineBytes(o.code, o.width, o.height)) + v.extraPitch;
        std::string error;
        ASSERT_TRUE(clipgen::ValidateClip(o, error)) << error;
        const int32_t pitch = clipgen::ClipLineBytes(o);
        if (!v.extraPitch) {
            RawVideoFormat f{};
            ASSERT_TRUE(BuildRawVideoFormat(f, o.width, o.height, o.code, 0, 0));
            EXPECT_EQ(pitch, f.lineBytes);
        }
        const uint64_t frameBytes = uint64_t(pitch) * uint64_t(o.height);
        const uint64_t expected = 7 + 3 * (5 + frameBytes + 3);
        EXPECT_EQ(clipgen::ClipFileSize(o), expected);

        const std::string path = TempPath(Name() + "_" + v.what + ".raw");
        ASSERT_TRUE(clipgen::WriteClip(o, path, error)) << error;
        const std::vector<uint8_t> file = ReadFile(path);
        std::remove(path.c_str());
        ASSERT_EQ(file.size(), expected);
        for (int32_t n = 0; n < o.frames; ++n) {
            std::vector<uint8_t> frame;
            ASSERT_TRUE(clipgen::PackFrame(o, n, frame));
            ASSERT_EQ(frame.size(), frameBytes);
            const size_t at = size_t(7 + uint64_t(n) * (5 + frameBytes + 3) + 5);
            EXPECT_TRUE(std::equal(frame.begin(), frame.end(), file.begin() + ptrdiff_t(at)))
                << "frame " << n;
        }
        // Frames differ from each other (moving box, number).
        std::vector<uint8_t> f0, f1;
        clipgen::PackFrame(o, 0, f0);
        clipgen::PackFrame(o, 1, f1);
        EXPECT_NE(f0, f1);
    }
}

// ---- packing ---------------------------------------------------------------------------------

uint32_t ExpectedRgb(uint8_t v, int bits, bool studio) {
    if (bits < 8) return uint32_t(v) >> (8 - bits);
    if (bits == 8) return studio ? uint32_t(16 + (v * 219 + 127) / 255) : v;
    // Wider samples: 0..255 spread over the full scale (16 bits: v x 257).
    return uint32_t(std::lround(v * double((1u << bits) - 1u) / 255.0));
}

// A flat picture packs to the same exact samples everywhere, in every plane and group.
TEST_P(EveryLayout, FlatColourPacksToExactSamples) {
    const uint32_t code = Code();
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
    const uint8_t r = 200, g = 100, b = 50;
    RgbPicture pic;
    pic.width = 96;
    pic.height = 4;
    pic.rgb.resize(96 * 4 * 3);
    for (size_t i = 0; i < pic.rgb.size(); i += 3)
        pic.rgb[i] = r, pic.rgb[i + 1] = g, pic.rgb[i + 2] = b;
    const int32_t pitch = int32_t(MinLineBytes(code, 96, 4));
    std::vector<uint8_t> frame;
    ASSERT_TRUE(clipgen::PackPicture(code, pic, pitch, FieldMode::Progressive, frame));
    FrameExtent e;
    ASSERT_TRUE(GetFrameExtent(code, 96, 4, pitch, e));
    const clipgen::YCbCr ycc = clipgen::RgbToYCbCr(r, g, b);
    const double grey = 0.299 * r + 0.587 * g + 0.114 * b;
    for (int p = 0; p < l.planeCount; ++p) {
        const PlaneDesc& d = l.planes[p];
        for (uint64_t row = 0; row < e.planes[p].rows; ++row) {
            for (uint64_t at = 0; at + d.groupBytes <= e.planes[p].rowBytes; at += d.groupBytes) {
                for (int s = 0; s < d.slotCount; ++s) {
                    const SampleSlot& slot = d.sampleSlots[s];
                    // A mosaic holds one of its cell's slots at each pixel.
                    if (l.model == ColourModel::Bayer &&
                        &slot != &MosaicSlot(d, int64_t(at / d.groupBytes), int64_t(row)))
                        continue;
                    const uint32_t got =
                        ReadSample(frame.data() + e.planes[p].offset + row * e.planes[p].pitch + at,
                                   d, l.byteOrder, slot);
                    uint32_t want = 0;
                    switch (slot.component) {
                    case Component::Y: want = clipgen::Quantise(ycc.y, slot.bits); break;
                    case Component::Cb: want = clipgen::Quantise(ycc.cb, slot.bits); break;
                    case Component::Cr: want = clipgen::Quantise(ycc.cr, slot.bits); break;
                    case Component::R: want = ExpectedRgb(r, slot.bits, l.studioRange); break;
                    case Component::G: want = ExpectedRgb(g, slot.bits, l.studioRange); break;
                    case Component::B: want = ExpectedRgb(b, slot.bits, l.studioRange); break;
                    case Component::A: want = (1u << slot.bits) - 1u; break;
                    case Component::Grey:
                        want = uint32_t(std::lround(grey * ((1 << slot.bits) - 1) / 255.0));
                        break;
                    }
                    ASSERT_EQ(got, want)
                        << "plane " << p << " row " << row << " byte " << at << " slot " << s;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryLayout, ::testing::Range(0, kLayoutCount), LayoutTestName);

TEST(Packing, VideoRangeConversion) {
    struct Case {
        uint8_t r, g, b;
        double y, cb, cr;
    } cases[] = {{255, 255, 255, 235, 128, 128},
                 {0, 0, 0, 16, 128, 128},
                 {255, 0, 0, 81.481, 90.203, 240},
                 {0, 0, 255, 40.966, 240, 109.786}};
    for (const Case& c : cases) {
        const clipgen::YCbCr v = clipgen::RgbToYCbCr(c.r, c.g, c.b);
        EXPECT_NEAR(v.y, c.y, 0.01);
        EXPECT_NEAR(v.cb, c.cb, 0.01);
        EXPECT_NEAR(v.cr, c.cr, 0.01);
    }
    EXPECT_EQ(clipgen::Quantise(235, 8), 235u);
    EXPECT_EQ(clipgen::Quantise(235, 10), 940u);
    EXPECT_EQ(clipgen::Quantise(235, 16), 60160u);
    EXPECT_EQ(clipgen::Quantise(16, 10), 64u);
    EXPECT_EQ(clipgen::Quantise(300, 8), 255u);
    EXPECT_EQ(clipgen::Quantise(-4, 10), 0u);
}

TEST(Packing, HighBitLayoutsPutSamplesAtTheTop) {
    RgbPicture white;
    white.width = 2;
    white.height = 2;
    white.rgb.assign(12, 255);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(clipgen::PackPicture(kLayoutP010, white, 6, FieldMode::Progressive, frame));
    EXPECT_EQ(frame[0] | frame[1] << 8, 940 << 6);  // Y' 940 in bits 6..15
    ASSERT_TRUE(clipgen::PackPicture(kLayoutY210, white, 8, FieldMode::Progressive, frame));
    EXPECT_EQ(frame[0] | frame[1] << 8, 940 << 6);
    EXPECT_EQ(frame[2] | frame[3] << 8, 512 << 6);  // Cb
    ASSERT_TRUE(clipgen::PackPicture(kLayoutI420BE16, white, 6, FieldMode::Progressive, frame));
    EXPECT_EQ(frame[0] << 8 | frame[1], 60160);  // big-endian
    ASSERT_TRUE(clipgen::PackPicture(kLayoutV210, white, 16, FieldMode::Progressive, frame));
    uint32_t word0;
    std::memcpy(&word0, frame.data(), 4);
    EXPECT_EQ(word0, 512u | 940u << 10 | 512u << 20);  // Cb0, Y'0, Cr0
}

// A mosaic takes each pixel's own R', G' or B' by its site in the cell, in memory row order: a
// picture whose every pixel differs shows a sample taken from the wrong pixel or component.
TEST(Packing, MosaicSamplesEachPixelsOwnColour) {
    RgbPicture pic;
    pic.width = 7;
    pic.height = 4;
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 7; ++x)
            pic.rgb.insert(pic.rgb.end(), {uint8_t(10 * x + y), uint8_t(100 + 10 * x + y),
                                           uint8_t(200 + 7 * x + y)});
    }
    std::vector<uint8_t> frame;
    ASSERT_TRUE(clipgen::PackPicture(kLayoutGRBG, pic, 7, FieldMode::Progressive, frame));
    const char* const cell[2] = {"GR", "BG"};
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
            const char c = cell[y & 1][x & 1];
            const uint8_t want = pic.At(x, y)[c == 'R' ? 0 : c == 'G' ? 1 : 2];
            EXPECT_EQ(frame[size_t(y * 7 + x)], want) << x << "," << y;
        }
    }
    // 12 bits: the same samples scaled to 0..4095 in u16 LE words.
    ASSERT_TRUE(clipgen::PackPicture(kLayoutBGGRLE12, pic, 14, FieldMode::Progressive, frame));
    const uint8_t b01 = pic.At(0, 1)[1];  // BGGR: row 1 starts with green
    EXPECT_EQ(frame[14] | frame[15] << 8, std::lround(b01 * 4095.0 / 255.0));
    const uint8_t r31 = pic.At(3, 1)[0];
    EXPECT_EQ(frame[14 + 6] | frame[14 + 7] << 8, std::lround(r31 * 4095.0 / 255.0));
}

// A picture 4 pixels wide whose rows are red where `red(row)` holds and blue elsewhere, and the
// 8-bit Cr' of the two colours.
template <typename RedRow>
RgbPicture RedAndBlueRows(int32_t height, RedRow red) {
    RgbPicture pic;
    pic.width = 4;
    pic.height = height;
    pic.rgb.resize(size_t(4 * height * 3));
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            uint8_t* p = pic.At(x, y);
            p[0] = red(y) ? 255 : 0;
            p[1] = 0;
            p[2] = red(y) ? 0 : 255;
        }
    }
    return pic;
}
const uint32_t redCr = clipgen::Quantise(clipgen::RgbToYCbCr(255, 0, 0).cr, 8);
const uint32_t blueCr = clipgen::Quantise(clipgen::RgbToYCbCr(0, 0, 255).cr, 8);

TEST(Packing, InterlacedChromaComesFromOneField) {
    // Even rows red, odd rows blue: field-wise 4:2:0 chroma keeps them apart.
    const RgbPicture pic = RedAndBlueRows(8, [](int32_t y) { return y % 2 == 0; });
    std::vector<uint8_t> frame;
    ASSERT_TRUE(clipgen::PackPicture(kLayoutI420, pic, 6, FieldMode::Woven, frame));
    const size_t crPlane = 32 + 8;  // after Y' (4 x 8) and Cb (2 x 4)
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(frame[crPlane + size_t(row) * 2], row % 2 ? blueCr : redCr) << row;
    ASSERT_TRUE(clipgen::PackPicture(kLayoutI420, pic, 6, FieldMode::Progressive, frame));
    EXPECT_NE(frame[crPlane], redCr);  // frame-wise averaging mixes the fields
    EXPECT_NE(frame[crPlane], blueCr);
}

TEST(Packing, SeparatedFieldsKeepTheirChromaRowsApart) {
    // Six rows stored as fields one after the other: three red rows of the first field, then
    // three blue rows of the second. Of the three chroma rows the first field has two, the
    // second one; none mixes the fields (frame-wise pairs would mix rows 2 and 3).
    const RgbPicture pic = RedAndBlueRows(6, [](int32_t y) { return y < 3; });
    std::vector<uint8_t> frame;
    ASSERT_TRUE(clipgen::PackPicture(kLayoutI420, pic, 6, FieldMode::Separated, frame));
    const size_t crPlane = 24 + 6;  // after Y' (4 x 6) and Cb (2 x 3)
    EXPECT_EQ(frame[crPlane], redCr);
    EXPECT_EQ(frame[crPlane + 2], redCr);
    EXPECT_EQ(frame[crPlane + 4], blueCr);
}

TEST(Packing, RefusesUnknownCodesAndSmallPitches) {
    const RgbPicture pic = clipgen::RenderPicture(8, 2, 0, 0);
    std::vector<uint8_t> frame(5);
    EXPECT_FALSE(clipgen::PackPicture(0x00000001, pic, 16, FieldMode::Progressive, frame));
    EXPECT_TRUE(frame.empty());
    EXPECT_FALSE(clipgen::PackPicture(kLayoutUYVY, pic, 15, FieldMode::Progressive, frame));
    EXPECT_TRUE(clipgen::PackPicture(kLayoutUYVY, pic, -16, FieldMode::Progressive, frame));
}

// ---- pictures and fields ---------------------------------------------------------------------

TEST(Pictures, NumberAndBoxChangeWithTheFrame) {
    const RgbPicture a = clipgen::RenderPicture(96, 48, 1, 0);
    const RgbPicture b = clipgen::RenderPicture(96, 48, 2, 0);
    const RgbPicture c = clipgen::RenderPicture(96, 48, 1, 5);
    // The digits sit in the top-left corner; the box elsewhere in the bars.
    auto differ = [](const RgbPicture& p, const RgbPicture& q, int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x)
                for (int k = 0; k < 3; ++k)
                    if (p.At(x, y)[k] != q.At(x, y)[k]) return true;
        }
        return false;
    };
    EXPECT_TRUE(differ(a, b, 0, 8, 0, 8));
    EXPECT_FALSE(differ(a, b, 8, 96, 0, 48));
    EXPECT_TRUE(differ(a, c, 0, 96, 0, 24));
    EXPECT_FALSE(differ(a, c, 0, 96, 24, 48));  // ramp and sweep stay put
}

TEST(Pictures, TinyAndOddSizes) {
    for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {3, 1}, {1, 7}, {5, 3}}) {
        const RgbPicture p = clipgen::RenderPicture(w, h, 123, 9);
        EXPECT_EQ(p.rgb.size(), size_t(w * h * 3));
    }
    EXPECT_TRUE(clipgen::RenderPicture(0, 5, 0, 0).rgb.empty());
    ClipOptions o;
    o.code = kLayoutYUY2;
    o.width = 5;
    o.height = 3;
    o.lineBytes = 12;
    std::vector<uint8_t> frame;
    EXPECT_TRUE(clipgen::PackFrame(o, 0, frame));
    EXPECT_EQ(frame.size(), 36u);
}

TEST(Fields, WovenFrameTakesRowsFromTwoTimes) {
    ClipOptions o;
    o.width = 96;
    o.height = 8;
    o.fields = FieldMode::Woven;
    const RgbPicture frame = clipgen::RenderFrame(o, 3);
    const RgbPicture early = clipgen::RenderPicture(96, 8, 3, 6);
    const RgbPicture late = clipgen::RenderPicture(96, 8, 3, 7);
    for (int32_t y = 0; y < 8; ++y) {
        const RgbPicture& src = y % 2 ? late : early;
        EXPECT_TRUE(std::equal(src.At(0, y), src.At(0, y) + 96 * 3, frame.At(0, y))) << y;
    }
    o.bottomFieldFirst = true;
    const RgbPicture bff = clipgen::RenderFrame(o, 3);
    EXPECT_TRUE(std::equal(late.At(0, 0), late.At(0, 0) + 96 * 3, bff.At(0, 0)));
}

TEST(Fields, MemoryOrderSeparatesAndFlips) {
    RgbPicture shown;
    shown.width = 1;
    shown.height = 5;
    shown.rgb.resize(15);
    for (int y = 0; y < 5; ++y) shown.At(0, y)[0] = uint8_t(y);
    auto rows = [](const RgbPicture& p) {
        std::vector<int> r;
        for (int y = 0; y < p.height; ++y) r.push_back(p.At(0, y)[0]);
        return r;
    };
    ClipOptions o;
    o.fields = FieldMode::Separated;
    // The viewer splits the fields at h / 2 and keeps an odd height's last row last; bottom-up
    // clips are split after the flip.
    EXPECT_EQ(rows(clipgen::ToMemoryOrder(o, shown)), (std::vector<int>{0, 2, 1, 3, 4}));
    o.bottomFieldFirst = true;
    EXPECT_EQ(rows(clipgen::ToMemoryOrder(o, shown)), (std::vector<int>{1, 3, 0, 2, 4}));
    o.bottomFieldFirst = false;
    o.bottomUp = true;
    EXPECT_EQ(rows(clipgen::ToMemoryOrder(o, shown)), (std::vector<int>{4, 2, 3, 1, 0}));
    o.fields = FieldMode::Woven;
    EXPECT_EQ(rows(clipgen::ToMemoryOrder(o, shown)), (std::vector<int>{4, 3, 2, 1, 0}));
}

// ---- validation and viewer settings ----------------------------------------------------------

TEST(Validate, ExplainsWhatIsWrong) {
    ClipOptions o;
    o.code = kLayoutV210;
    o.width = 1280;
    o.height = 2;
    std::string error;
    EXPECT_FALSE(clipgen::ValidateClip(o, error));
    EXPECT_NE(error.find("multiple of 48"), std::string::npos) << error;
    o.lineBytes = 3456;
    EXPECT_TRUE(clipgen::ValidateClip(o, error)) << error;
    o.lineBytes = 3000;
    EXPECT_FALSE(clipgen::ValidateClip(o, error));
    EXPECT_NE(error.find("at least 3424"), std::string::npos) << error;
    o = ClipOptions{};
    o.code = kLayoutYV12;
    o.width = 16;
    o.height = 3;
    EXPECT_FALSE(clipgen::ValidateClip(o, error));
    EXPECT_NE(error.find("height"), std::string::npos) << error;
    o.code = 0x00000001;
    EXPECT_FALSE(clipgen::ValidateClip(o, error));
    EXPECT_EQ(clipgen::ClipFileSize(o), 0u);
}

TEST_P(EveryLayout, PrintedArgumentsOpenTheClipAsWritten) {
    for (bool bottomUp : {false, true}) {
        ClipOptions o;
        o.code = Code();
        o.width = 96;
        o.height = 8;
        o.filePrefix = 11;
        o.framePrefix = 22;
        o.framePostfix = 33;
        o.fields = bottomUp ? FieldMode::Separated : FieldMode::Progressive;
        o.bottomUp = bottomUp;
        std::string note;
        std::vector<std::string> args = clipgen::ViewerArguments(o, "clip.raw", &note);
        args.insert(args.begin(), "Kavlo");
        const CommandLine r = ParseCommandLine(args);
        ASSERT_EQ(r.error, "");
        ASSERT_TRUE(r.hasSettings);
        EXPECT_EQ(r.fileName, "clip.raw");
        const RawSettings& s = r.settings;
        EXPECT_EQ(+s.filePrefix, 11);
        EXPECT_EQ(+s.framePrefix, 22u);
        EXPECT_EQ(+s.framePostfix, 33u);
        EXPECT_EQ(FrameBytes(s.rawFormat), uint64_t(clipgen::ClipLineBytes(o)) * 8u);
        EXPECT_EQ(+s.rawFormat.fieldCount, bottomUp ? 2 : 1);
        EXPECT_EQ(+s.rawFormat.fieldDetail, bottomUp ? 1 : 0);
        // The code read back has the same memory layout, at most a different sample range.
        const FrameMemoryLayout* mine = FindFrameMemoryLayout(o.code);
        const FrameMemoryLayout* read = FindFrameMemoryLayout(s.rawFormat.code);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(std::memcmp(mine->planes, read->planes, sizeof mine->planes), 0);
        EXPECT_EQ(mine->byteOrder, read->byteOrder);
        EXPECT_EQ(mine->studioRange != read->studioRange,
                  !note.empty() && note.find("full-range") != std::string::npos);
        if (bottomUp) {
            EXPECT_LT(+s.rawFormat.lineBytes, 0);
        } else if (s.rawFormat.lineBytes < 0) {
            EXPECT_NE(note.find("bottom-up"), std::string::npos);
        }
    }
}

// ---- the command-line tool ---------------------------------------------------------------------

int RunTool(const std::string& args, std::string* out = nullptr) {
    const std::string cmd = std::string(KAVLO_CLIPGEN) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    const int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Tool, UsageOnBadArguments) {
    std::string out;
    EXPECT_EQ(RunTool("-l NV99 -w 8 -h 8 -o x.raw", &out), 2);
    EXPECT_NE(out.find("Usage: kavlo-clipgen"), std::string::npos);
    EXPECT_EQ(RunTool("-w 8", &out), 2);
    EXPECT_EQ(RunTool("-l YV12 -w 8 -h 3 -o x.raw", &out), 2);
    EXPECT_NE(out.find("multiple of 2"), std::string::npos);
    EXPECT_EQ(RunTool("-l YV12 -w -8 -h 4 -o x.raw", &out), 2);
}

TEST(Tool, WritesTheClipAndPrintsViewerSettings) {
    const std::string path = TempPath("tool.raw");
    std::string out;
    ASSERT_EQ(RunTool("-l UYVY -w 64 -h 4 -n 2 --file-prefix 3 --frame-prefix 1 --interlaced woven "
                      "--print-args -o " +
                          path,
                      &out),
              0);
    EXPECT_EQ(ReadFile(path).size(), 3u + 2u * (1u + 128u * 4u));
    std::remove(path.c_str());
    EXPECT_EQ(out, "-w 64 -h 4 -l UYVY -o 3 -b 1 -i " + path + "\n");

    // A path a shell would split is quoted, so `eval "args=($line)"` gets it back whole.
    const std::string spaced = TempPath("it's here.raw");
    ASSERT_EQ(RunTool("-l GRAY -w 2 -h 2 --print-args -o \"" + spaced + "\"", &out), 0);
    std::remove(spaced.c_str());
    const std::string quoted = spaced.substr(0, spaced.find('\'')) + "'\\''s here.raw'";
    EXPECT_EQ(out, "-w 2 -h 2 -l GRAY '" + quoted + "\n");
}

}  // namespace
