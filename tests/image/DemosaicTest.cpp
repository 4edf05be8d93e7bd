// Bayer mosaics: the demosaic against a plain reference of the rule in Demosaic.h (every cell
// order, bit depth, kernel set and team size; tiny, odd and short frames), the grey switch, the
// 8-bit reduction of wide samples and what the other display flags do to a mosaic.
#include "KernelSweep.h"
#include "image/ConvertInternal.h"
#include "image/FrameMemory.h"
#include "image/Kernels.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr int kGuardBytes = 32;

std::vector<uint32_t> MosaicCodes() {
    std::vector<uint32_t> codes;
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i)
        if (FrameMemoryLayouts()[i].model == ColourModel::Bayer)
            codes.push_back(FrameMemoryLayouts()[i].code);
    return codes;
}

std::vector<SimdLevel> AllLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel l :
         {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2, SimdLevel::AVX512})
        if (int(l) <= int(CpuSimdLevel())) levels.push_back(l);
    return levels;
}

// The frame in an exactly sized heap block, so that ASan sees any read beyond it.
struct Frame {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size;
    explicit Frame(const std::vector<uint8_t>& v) : bytes(new uint8_t[v.size()]), size(v.size()) {
        std::memcpy(bytes.get(), v.data(), v.size());
    }
};

// Destination rows of 3 x W bytes, each followed by guard bytes, with guards before row 0.
struct Picture {
    int w, h, pitch;
    std::vector<uint8_t> buf;
    Picture(int width, int height)
        : w(width),
          h(height),
          pitch(3 * width + kGuardBytes),
          buf(size_t(kGuardBytes) + size_t(pitch) * size_t(height), kGuard) {}
    uint8_t* Row(int y) { return buf.data() + kGuardBytes + size_t(y) * size_t(pitch); }
    const uint8_t* Px(int x, int y) const {
        return buf.data() + kGuardBytes + size_t(y) * size_t(pitch) + 3 * size_t(x);
    }
    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> v;
        for (int y = 0; y < h; ++y) v.insert(v.end(), Px(0, y), Px(0, y) + 3 * w);
        return v;
    }
    bool GuardsIntact() const {
        for (int i = 0; i < kGuardBytes; ++i)
            if (buf[size_t(i)] != kGuard) return false;
        for (int y = 0; y < h; ++y)
            for (int i = 0; i < kGuardBytes; ++i)
                if (Px(w, y)[i] != kGuard) return false;
        return true;
    }
};

struct RunWith {
    SimdLevel level = SimdLevel::Scalar;
    int threads = 1;
};

Picture Convert(uint32_t code, int w, int h, int32_t pitch, uint32_t flags, const Frame& frame,
                RunWith run = {}) {
    const KernelTable table = MakeKernelTable(run.level);
    ConvertOptions opt;
    opt.kernels = &table;
    opt.maxThreads = run.threads;
    opt.parallelMinPixels = run.threads > 1 ? 0 : opt.parallelMinPixels;
    opt.followLoad = false;
    Picture out(w, h);
    EXPECT_TRUE(ConvertFrameWith(opt, w, h, flags, code, frame.bytes.get(), pitch, kLayoutBGR3,
                                 out.Row(0), out.pitch));
    EXPECT_TRUE(out.GuardsIntact()) << LayoutName(code) << " " << w << "x" << h;
    return out;
}

// ---- the reference ----------------------------------------------------------------------------

// Colour letters of the cell, row by row, from the layout's name ("GRBGLE12" -> "GRBG").
char CellColour(uint32_t code, int x, int y) {
    return LayoutName(code)[size_t(2 * (y & 1) + (x & 1))];
}

int Bits(uint32_t code) { return FindFrameMemoryLayout(code)->sampleBits; }

// 8-bit samples of the frame as the rule reads them: row y from y x pitch, bytes past a short
// row zero, words masked to their bits and rounded half up to 8 bits.
std::vector<int> ReferenceSamples(uint32_t code, int w, int h, size_t pitch,
                                  const std::vector<uint8_t>& frame) {
    const int bits = Bits(code), bytes = bits > 8 ? 2 : 1;
    std::vector<int> s(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            auto byteAt = [&](size_t i) -> unsigned {
                return i < pitch ? frame[size_t(y) * pitch + i] : 0u;
            };
            unsigned v = byteAt(size_t(x) * size_t(bytes));
            if (bytes == 2) v |= byteAt(size_t(x) * 2 + 1) << 8;
            v &= (1u << bits) - 1u;
            if (bits > 8) v = std::min((v + (1u << (bits - 9))) >> (bits - 8), 255u);
            s[size_t(y) * size_t(w) + size_t(x)] = int(v);
        }
    }
    return s;
}

// B', G', R' of every pixel by the bilinear rule, written out plainly.
std::vector<uint8_t> ReferenceDemosaic(uint32_t code, int w, int h, const std::vector<int>& s) {
    auto mirror = [](int i, int n) {
        if (i < 0) i = -i;
        if (i >= n) i = 2 * (n - 1) - i;
        return i;
    };
    // Mean of the taps that lie inside the frame after mirroring (none: 0).
    auto mean = [&](int x, int y, std::initializer_list<std::pair<int, int>> taps) {
        int sum = 0, n = 0;
        for (auto [dx, dy] : taps) {
            const int xx = mirror(x + dx, w), yy = mirror(y + dy, h);
            if (xx < 0 || xx >= w || yy < 0 || yy >= h) continue;
            sum += s[size_t(yy) * size_t(w) + size_t(xx)];
            ++n;
        }
        return n ? (sum + n / 2) / n : 0;
    };
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int rgb[3];  // R, G, B
            auto index = [](char c) { return c == 'R' ? 0 : c == 'G' ? 1 : 2; };
            const char own = CellColour(code, x, y);
            const int self = s[size_t(y) * size_t(w) + size_t(x)];
            rgb[index(own)] = self;
            if (own == 'G') {
                // The row's other colour from left and right, the column's from above and below.
                rgb[index(CellColour(code, x + 1, y))] = mean(x, y, {{-1, 0}, {1, 0}});
                rgb[index(CellColour(code, x, y + 1))] = mean(x, y, {{0, -1}, {0, 1}});
            } else {
                rgb[1] = mean(x, y, {{-1, 0}, {1, 0}, {0, -1}, {0, 1}});
                rgb[index(CellColour(code, x + 1, y + 1))] =
                    mean(x, y, {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}});
            }
            out.insert(out.end(), {uint8_t(rgb[2]), uint8_t(rgb[1]), uint8_t(rgb[0])});
        }
    }
    return out;
}

std::vector<uint8_t> ReferenceGrey(int w, int h, const std::vector<int>& s) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i) out.insert(out.end(), 3, uint8_t(s[i]));
    return out;
}

// ---- against the reference --------------------------------------------------------------------

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{1, 1},  {2, 2},  {3, 3},  {1, 6},   {7, 1},  {2, 5},  {5, 2},
                           {18, 4}, {33, 5}, {36, 7}, {101, 9}, {64, 3}, {200, 3}};

// Every cell order and depth, every size, pitches with slack and rows short of their samples,
// random bytes (garbage in unused high bits included): every kernel set and a team of three give
// the reference's bytes, demosaiced and as grey, and nothing beyond 3 x W bytes per row.
TEST(Demosaic, MatchesTheReference) {
    std::mt19937 rng(11);
    for (const uint32_t code : MosaicCodes()) {
        const int bytes = Bits(code) > 8 ? 2 : 1;
        for (const Size& size : kSizes) {
            const int32_t need = size.w * bytes;
            for (const int32_t pitch : {need, need + 5, std::max(1, need - 3)}) {
                std::vector<uint8_t> raw(size_t(pitch) * size_t(size.h));
                for (uint8_t& b : raw) b = uint8_t(rng());
                const Frame frame(raw);
                const std::vector<int> samples =
                    ReferenceSamples(code, size.w, size.h, size_t(pitch), raw);
                const std::vector<uint8_t> colour =
                    ReferenceDemosaic(code, size.w, size.h, samples);
                const std::vector<uint8_t> grey = ReferenceGrey(size.w, size.h, samples);
                for (const SimdLevel level : AllLevels()) {
                    for (const int threads : {1, 3}) {
                        SCOPED_TRACE(LayoutName(code) + " " + std::to_string(size.w) + "x" +
                                     std::to_string(size.h) + " pitch " + std::to_string(pitch) +
                                     " " + SimdLevelName(level) + " threads " +
                                     std::to_string(threads));
                        const RunWith run{level, threads};
                        ASSERT_EQ(Convert(code, size.w, size.h, pitch, 0, frame, run).Pixels(),
                                  colour);
                        ASSERT_EQ(
                            Convert(code, size.w, size.h, pitch, CONVERT_MOSAIC_GREY, frame, run)
                                .Pixels(),
                            grey);
                    }
                }
            }
        }
    }
}

// Each kernel set is its own test run: every cell order and depth at every width of the sweep,
// an odd height, the smallest pitch (a padded one at every third width), against the reference
// (demosaiced, and as grey at every fourth width).
class DemosaicSet : public testing::TestWithParam<SimdLevel> {};

TEST_P(DemosaicSet, EveryWidthMatchesTheReference) {
    const SimdLevel level = GetParam();
    SWEEP_SKIP_UNLESS_CPU_HAS(level);
    std::mt19937 rng(23);
    const int h = 3;
    for (const uint32_t code : MosaicCodes()) {
        const int bytes = Bits(code) > 8 ? 2 : 1;
        std::vector<int> wrong;
        for (const int w : sweep::Widths()) {
            bool bad = false;
            {
                const int32_t pitch = w * bytes + (w % 3 == 0 ? 5 : 0);
                std::vector<uint8_t> raw(size_t(pitch) * size_t(h));
                for (uint8_t& b : raw) b = uint8_t(rng());
                const Frame frame(raw);
                const std::vector<int> samples = ReferenceSamples(code, w, h, size_t(pitch), raw);
                bad |= Convert(code, w, h, pitch, 0, frame, {level}).Pixels() !=
                       ReferenceDemosaic(code, w, h, samples);
                if (w % 4 == 0) {
                    bad |=
                        Convert(code, w, h, pitch, CONVERT_MOSAIC_GREY, frame, {level}).Pixels() !=
                        ReferenceGrey(w, h, samples);
                }
            }
            if (bad) wrong.push_back(w);
        }
        EXPECT_TRUE(wrong.empty())
            << LayoutName(code) << " " << SimdLevelName(level) << " differs from the reference at "
            << sweep::FirstWidths(wrong);
    }
}

INSTANTIATE_TEST_SUITE_P(Demosaic, DemosaicSet, testing::ValuesIn(sweep::AllSets()),
                         sweep::SetName());

// ---- known values -----------------------------------------------------------------------------

// A mosaic sampled from one colour demosaics to that colour everywhere, borders included, for
// every cell order, depth and odd size; a 1 x 1 frame keeps its one sample and has no other
// colour.
TEST(Demosaic, FlatColourStaysFlat) {
    const uint8_t r = 201, g = 77, b = 18;
    for (const uint32_t code : MosaicCodes()) {
        const int bits = Bits(code), bytes = bits > 8 ? 2 : 1;
        for (const Size& size : {Size{2, 2}, Size{3, 3}, Size{9, 5}, Size{40, 6}}) {
            std::vector<uint8_t> raw(size_t(size.w * bytes * size.h));
            for (int y = 0; y < size.h; ++y) {
                for (int x = 0; x < size.w; ++x) {
                    const char c = CellColour(code, x, y);
                    // 8-bit values at the top of the sample's bits reduce back to themselves.
                    const unsigned v = unsigned(c == 'R' ? r : c == 'G' ? g : b) << (bits - 8);
                    const size_t at = size_t(y * size.w + x) * size_t(bytes);
                    raw[at] = uint8_t(v);
                    if (bytes == 2) raw[at + 1] = uint8_t(v >> 8);
                }
            }
            const Frame frame(raw);
            for (const SimdLevel level : AllLevels()) {
                const Picture out =
                    Convert(code, size.w, size.h, size.w * bytes, 0, frame, {level});
                for (int y = 0; y < size.h; ++y) {
                    for (int x = 0; x < size.w; ++x) {
                        const uint8_t* px = out.Px(x, y);
                        ASSERT_TRUE(px[0] == b && px[1] == g && px[2] == r)
                            << LayoutName(code) << " " << SimdLevelName(level) << " pixel " << x
                            << "," << y << ": " << int(px[0]) << " " << int(px[1]) << " "
                            << int(px[2]);
                    }
                }
            }
        }
    }
    const Frame one(std::vector<uint8_t>{200});
    const Picture red = Convert(kLayoutRGGB, 1, 1, 1, 0, one);
    EXPECT_EQ(red.Pixels(), (std::vector<uint8_t>{0, 0, 200}));
    const Picture green = Convert(kLayoutGBRG, 1, 1, 1, 0, one);
    EXPECT_EQ(green.Pixels(), (std::vector<uint8_t>{0, 200, 0}));
}

// Wide samples: the bits above a 10- or 12-bit sample are ignored, and the 8-bit value is the
// sample rounded half up and limited to 255.
TEST(Demosaic, WideSamplesAreMaskedAndRounded) {
    struct Case {
        uint32_t code;
        uint16_t word;
        uint8_t grey;
    } cases[] = {
        {kLayoutRGGBLE10, 0x0001, 0},   {kLayoutRGGBLE10, 0x0002, 1},
        {kLayoutRGGBLE10, 0x0005, 1},   {kLayoutRGGBLE10, 0x0006, 2},
        {kLayoutRGGBLE10, 0x03FF, 255}, {kLayoutRGGBLE10, 0xFC02, 1},
        {kLayoutRGGBLE10, 0xFFFF, 255}, {kLayoutRGGBLE10, 0x0400, 0},
        {kLayoutGRBGLE12, 0x0008, 1},   {kLayoutGRBGLE12, 0x0007, 0},
        {kLayoutGRBGLE12, 0xF7F8, 128}, {kLayoutGRBGLE12, 0x0FFF, 255},
        {kLayoutGBRGLE16, 0x007F, 0},   {kLayoutGBRGLE16, 0x0080, 1},
        {kLayoutGBRGLE16, 0xFF7F, 255}, {kLayoutGBRGLE16, 0xFFFF, 255},
        {kLayoutGBRGLE16, 0x7F80, 128},
    };
    for (const Case& c : cases) {
        // 40 equal words: the vector reduction and its scalar tail both see the value.
        std::vector<uint8_t> raw;
        for (int i = 0; i < 40 * 2; ++i)
            raw.insert(raw.end(), {uint8_t(c.word), uint8_t(c.word >> 8)});
        const Frame frame(raw);
        for (const SimdLevel level : AllLevels()) {
            const Picture grey = Convert(c.code, 40, 2, 80, CONVERT_MOSAIC_GREY, frame, {level});
            const Picture colour = Convert(c.code, 40, 2, 80, 0, frame, {level});
            for (int x = 0; x < 40; ++x) {
                for (int i = 0; i < 3; ++i) {
                    ASSERT_EQ(grey.Px(x, 1)[i], c.grey)
                        << LayoutName(c.code) << " word " << c.word << " " << SimdLevelName(level);
                    ASSERT_EQ(colour.Px(x, 1)[i], c.grey);  // every colour has the same samples
                }
            }
        }
    }
}

// The grey switch shows each site's own sample; the Y'/Cb/Cr and studio-range flags leave a
// mosaic alone; and the grey switch leaves every other layout alone.
TEST(Demosaic, DisplayFlags) {
    // RGGB cell R 10, G 20 / G 30, B 40 repeated over 4 x 2.
    const std::vector<uint8_t> cell = {10, 20, 10, 20, 30, 40, 30, 40};
    const Frame frame(cell);
    const Picture grey = Convert(kLayoutRGGB, 4, 2, 4, CONVERT_MOSAIC_GREY, frame);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(grey.Px(x, y)[1], cell[size_t(y * 4 + x)]) << x << "," << y;
    const std::vector<uint8_t> plain = Convert(kLayoutRGGB, 4, 2, 4, 0, frame).Pixels();
    // Rows stored bottom-up are read in memory order all the same.
    EXPECT_EQ(Convert(kLayoutRGGB, 4, 2, -4, 0, frame).Pixels(), plain);
    for (const uint32_t flags :
         {CONVERT_LUMA_ONLY, CONVERT_CB_ONLY, CONVERT_CR_ONLY, CONVERT_RGB_STUDIO_RANGE,
          CONVERT_INTERLACED, CONVERT_FIELDS_SEPARATED})
        EXPECT_EQ(Convert(kLayoutRGGB, 4, 2, 4, flags, frame).Pixels(), plain) << flags;
    // Grey wins over the channel flags.
    EXPECT_EQ(
        Convert(kLayoutRGGB, 4, 2, 4, CONVERT_MOSAIC_GREY | CONVERT_LUMA_ONLY, frame).Pixels(),
        grey.Pixels());

    std::mt19937 rng(3);
    std::vector<uint8_t> raw(size_t(8 * 4 * 4));
    for (uint8_t& b : raw) b = uint8_t(rng());
    const Frame other(raw);
    for (const uint32_t code : {kLayoutBGR3, kLayoutUYVY, kLayoutI420, kLayoutGRAY}) {
        const int32_t pitch = int32_t(MinLineBytes(code, 8, 4));
        EXPECT_EQ(Convert(code, 8, 4, pitch, CONVERT_MOSAIC_GREY, other).Pixels(),
                  Convert(code, 8, 4, pitch, 0, other).Pixels())
            << LayoutName(code);
    }
}

}  // namespace
