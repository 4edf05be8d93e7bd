// Other matrices and ranges: the run-time colour kernels of every set against the
// single-precision reference over every Y'CbCr triple, published colour-bar values, and whole
// frames of every Y'CbCr layout with the colour flags (every path ends in the chosen matrix and
// range, grey pictures follow the range, the limits of limited range are lifted for full range).
#include "ConvertOutput.h"
#include "image/Convert.h"
#include "image/ConvertInternal.h"
#include "image/FrameMemory.h"
#include "image/Kernels.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using colour::kColourChoiceCount;
using colour::kColourChoices;

constexpr uint8_t kGuard = 0x5A;

std::vector<SimdLevel> AllLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel l :
         {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2, SimdLevel::AVX512})
        if (int(l) <= int(CpuSimdLevel())) levels.push_back(l);
    return levels;
}

// The conversion flags of a choice of colour::kColourChoices.
ConvertFlags ChoiceFlags(int choice) {
    const ConvertFlags matrix[] = {0, CONVERT_MATRIX_709, CONVERT_MATRIX_2020};
    return matrix[choice / 2] | ((choice & 1) ? CONVERT_FULL_RANGE : 0);
}

// Every (Y', Cb, Cr): each vector set's run-time kernel, and its fused 4:2:2 kernels where it
// has them, equal the reference with each choice's coefficients (the scalar set's kernel is the
// reference itself); the bindings to the choices pass those coefficients (checked on a few
// chroma rows). Lines of 65536 pixels (every Y' and
// Cb for one Cr) end in guard bytes; an odd line length leaves a scalar tail in every set.
TEST(ColourKernels, EverySetMatchesTheReferenceOverAllInputs) {
    constexpr int kPixels = 256 * 256 - 3;
    std::vector<uint8_t> line(4 * 256 * 256), ref(3 * 256 * 256);
    std::vector<uint8_t> out(3 * 256 * 256 + 64);
    std::vector<KernelTable> tables;
    for (SimdLevel l : AllLevels()) tables.push_back(MakeKernelTable(l));
    // Luma 0..255 as bytes, and as u16 LE units whose high byte it is (low bytes arbitrary).
    std::vector<uint8_t> lumaRamp(256), lumaUnits(512);
    for (int y = 0; y < 256; ++y) {
        lumaRamp[size_t(y)] = uint8_t(y);
        lumaUnits[2 * size_t(y)] = uint8_t(y * 37);
        lumaUnits[2 * size_t(y) + 1] = uint8_t(y);
    }
    for (int choice = 0; choice < kColourChoiceCount; ++choice) {
        const colour::ColourCoefficients& c = kColourChoices[choice];
        for (int cr = 0; cr < 256; ++cr) {
            for (int i = 0; i < 256 * 256; ++i) {
                uint8_t* p = &line[4 * size_t(i)];
                p[0] = uint8_t(cr), p[1] = uint8_t(i >> 8), p[2] = uint8_t(i), p[3] = 0;
                kernels::VuyaToBgrReference(p[0], p[1], p[2], &ref[3 * size_t(i)], c);
            }
            // The fused 4:2:2 kernels on a luma ramp with flat chroma (the odd pixels' filter
            // leaves it as it is): each Cb gives the reference's 256 pixels for that Cb.
            for (const KernelTable& t : tables) {
                if (!t.planar422ToBgrWith) continue;
                for (int cb = 0; cb < 256; ++cb) {
                    const std::vector<uint8_t> cbLine(128, uint8_t(cb)), crLine(128, uint8_t(cr));
                    // The same chroma as interleaved pairs, Cb first and Cr first.
                    std::vector<uint8_t> pairs[2] = {std::vector<uint8_t>(256),
                                                     std::vector<uint8_t>(256)};
                    for (size_t j = 0; j < 256; ++j) {
                        pairs[0][j] = uint8_t(j & 1 ? cr : cb);
                        pairs[1][j] = uint8_t(j & 1 ? cb : cr);
                    }
                    static const char* const kSource[] = {"", " (16-bit luma)", " (Cb, Cr pairs)",
                                                          " (Cr, Cb pairs)"};
                    for (int source = 0; source < 4; ++source) {
                        std::fill(out.begin(), out.end(), kGuard);
                        if (source == 1) {
                            t.highLuma422ToBgrWith(lumaUnits.data(), cbLine.data(), crLine.data(),
                                                   out.data(), 256, c);
                        } else if (source >= 2) {
                            t.pairs422ToBgrWith[source - 2](
                                lumaRamp.data(), pairs[source - 2].data(), out.data(), 256, c);
                        } else {
                            t.planar422ToBgrWith(lumaRamp.data(), cbLine.data(), crLine.data(),
                                                 out.data(), 256, c);
                        }
                        ASSERT_TRUE(
                            std::equal(out.begin(), out.begin() + 768, ref.begin() + 768 * cb))
                            << SimdLevelName(t.level) << " fused choice " << choice << " Cb " << cb
                            << " Cr " << cr << kSource[source];
                        ASSERT_EQ(out[768], kGuard);
                    }
                }
            }
            const bool checkBinding = cr % 85 == 0;
            for (const KernelTable& t : tables) {
                if (t.level == SimdLevel::Scalar && !checkBinding) continue;
                for (int run = 0; run < (checkBinding ? 2 : 1); ++run) {
                    std::fill(out.begin(), out.end(), kGuard);
                    if (run == 0)
                        t.vuyaToBgrWith(line.data(), out.data(), kPixels, c);
                    else
                        t.vuyaToBgrChoice[choice](line.data(), out.data(), kPixels);
                    ASSERT_TRUE(std::equal(out.begin(), out.begin() + 3 * kPixels, ref.begin()))
                        << SimdLevelName(t.level) << " choice " << choice << " Cr " << cr
                        << (run ? " (bound)" : "");
                    ASSERT_TRUE(std::all_of(out.begin() + 3 * kPixels, out.end(),
                                            [](uint8_t b) { return b == kGuard; }))
                        << SimdLevelName(t.level) << " wrote past the line";
                }
            }
        }
    }
}

// Full-range grey shows the byte as it is; the unclamped chroma blend keeps 0..255. Every set,
// odd lengths, guard bytes.
TEST(ColourKernels, FullRangeGreyAndChromaBlend) {
    std::mt19937 rng(11);
    for (SimdLevel level : AllLevels()) {
        const KernelTable t = MakeKernelTable(level);
        for (int w : {1, 15, 16, 17, 47, 100}) {
            std::vector<uint8_t> src(4 * size_t(w)), out(3 * size_t(w) + 16, kGuard);
            for (auto& b : src) b = uint8_t(rng());
            const LineKernel grey[] = {t.vuyaCrAsGrey, t.vuyaCbAsGrey, t.vuyaLumaAsGrey};
            for (int byte = 0; byte < 3; ++byte) {
                std::fill(out.begin(), out.end(), kGuard);
                grey[byte](src.data(), out.data(), w);
                for (int i = 0; i < w; ++i) {
                    for (int k = 0; k < 3; ++k)
                        ASSERT_EQ(out[3 * size_t(i) + size_t(k)], src[4 * size_t(i) + size_t(byte)])
                            << SimdLevelName(level) << " byte " << byte << " width " << w;
                }
                ASSERT_EQ(out[3 * size_t(w)], kGuard);
            }
            std::vector<uint8_t> a(static_cast<size_t>(w)), b(static_cast<size_t>(w));
            std::vector<uint8_t> mixed(static_cast<size_t>(w) + 1, kGuard);
            for (int i = 0; i < w; ++i) a[size_t(i)] = uint8_t(i % 2 ? 0 : 255), b[size_t(i)] = 3;
            t.chromaBlendFull(a.data(), b.data(), mixed.data(), w, 3, 1, 2);
            for (int i = 0; i < w; ++i)
                ASSERT_EQ(mixed[size_t(i)], (3 * a[size_t(i)] + 3 + 2) >> 2)
                    << SimdLevelName(level);
            ASSERT_EQ(mixed[size_t(w)], kGuard);
        }
    }
}

// The AVX-512 set computes B' and R' of BT.601 at limited range as one multiply-add,
// Y + U kCbToB and Y + V kCrToR rounded once, where the reference rounds the product and then
// the sum. That keeps the bytes only because no Y', chroma pair lands on the other side of a
// rounding boundary: checked here for every pair. (G' has two products and would not keep them,
// nor would B' of BT.709; those stay rounded step by step.)
TEST(ColourKernels, FusedBlueAndRedOverAllInputs) {
    using namespace colour;
    auto byte = [](float v) { return std::clamp(int(std::nearbyint(v)), 0, 255); };
    for (int y = 0; y < 256; ++y) {
        for (int c = 0; c < 256; ++c) {
            uint8_t ref[3];
            kernels::VuyaToBgrReference(uint8_t(c), uint8_t(c), uint8_t(y), ref);
            const float yy = float(y - kLumaBlack) * kLumaGain, chroma = float(c - kChromaZero);
            ASSERT_EQ(byte(std::fma(chroma, kCbToB, yy)), ref[0]) << "Y' " << y << " Cb " << c;
            ASSERT_EQ(byte(std::fma(chroma, kCrToR, yy)), ref[2]) << "Y' " << y << " Cr " << c;
        }
    }
}

// Published values: limited-range white and black, the 75 % colour bars of BT.709 (SMPTE RP 219,
// 8 bits) and BT.2020 (narrow range, 8 bits) to R'G'B' 191 / 0, full-range extremes.
TEST(ColourKernels, KnownValues) {
    auto bgr = [](int choice, int y, int cb, int cr) {
        std::vector<int> v(3);
        uint8_t o[3];
        kernels::VuyaToBgrReference(uint8_t(cr), uint8_t(cb), uint8_t(y), o,
                                    kColourChoices[choice]);
        for (int i = 0; i < 3; ++i) v[size_t(i)] = o[i];
        return v;
    };
    for (int matrix = 0; matrix < 3; ++matrix) {
        EXPECT_EQ(bgr(2 * matrix, 235, 128, 128), (std::vector<int>{255, 255, 255}));
        EXPECT_EQ(bgr(2 * matrix, 16, 128, 128), (std::vector<int>{0, 0, 0}));
        EXPECT_EQ(bgr(2 * matrix + 1, 255, 128, 128), (std::vector<int>{255, 255, 255}));
        EXPECT_EQ(bgr(2 * matrix + 1, 0, 128, 128), (std::vector<int>{0, 0, 0}));
        EXPECT_EQ(bgr(2 * matrix + 1, 100, 128, 128), (std::vector<int>{100, 100, 100}));
    }
    struct Bar {
        int y, cb, cr;
        int r, g, b;  // 1: 75 %, 0: none
    };
    const Bar bars709[] = {{180, 128, 128, 1, 1, 1}, {168, 44, 136, 1, 1, 0},
                           {145, 147, 44, 0, 1, 1},  {133, 63, 52, 0, 1, 0},
                           {63, 193, 204, 1, 0, 1},  {51, 109, 212, 1, 0, 0},
                           {28, 212, 120, 0, 0, 1}};
    const Bar bars2020[] = {{180, 128, 128, 1, 1, 1}, {171, 44, 135, 1, 1, 0},
                            {137, 151, 44, 0, 1, 1},  {127, 67, 51, 0, 1, 0},
                            {69, 189, 205, 1, 0, 1},  {59, 105, 212, 1, 0, 0},
                            {26, 212, 121, 0, 0, 1}};
    auto check = [&](int choice, const Bar& bar) {
        const std::vector<int> got = bgr(choice, bar.y, bar.cb, bar.cr);
        const int want[3] = {bar.b * 191, bar.g * 191, bar.r * 191};
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(std::abs(got[size_t(i)] - want[i]), 1)
                << "choice " << choice << " Y' " << bar.y << " component " << i;
    };
    for (const Bar& bar : bars709) check(2, bar);
    for (const Bar& bar : bars2020) check(4, bar);
    // The BT.601 reading of a BT.709 bar is visibly different: the choice matters.
    EXPECT_GT(std::abs(bgr(0, 168, 44, 136)[1] - 191), 5);
}

// ---- Whole frames ------------------------------------------------------------------------------

bool Convert(const std::vector<uint8_t>& bytes, uint32_t code, int32_t w, int32_t h, int32_t pitch,
             ConvertFlags flags, Output& out, const ConvertOptions& opt) {
    // An exactly sized heap copy, so that ASan sees any read past the frame.
    std::unique_ptr<uint8_t[]> src(new uint8_t[bytes.size()]);
    std::memcpy(src.get(), bytes.data(), bytes.size());
    return ConvertFrameWith(opt, w, h, flags, code, src.get(), pitch, kLayoutBGR3, out.data(),
                            out.pitch);
}

// Every sample of a frame set to y, cb, cr (8-bit values, scaled to the slot's width with the
// bits below them set, so that rounding and high-byte layouts both reduce them to the value).
std::vector<uint8_t> UniformFrame(uint32_t code, int32_t w, int32_t h, int32_t pitch, uint8_t y,
                                  uint8_t cb, uint8_t cr) {
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
    FrameExtent e;
    EXPECT_TRUE(GetFrameExtent(code, w, h, pitch, e));
    std::vector<uint8_t> frame(size_t(e.frameBytes), 0);
    for (int p = 0; p < l.planeCount; ++p) {
        const PlaneDesc& d = l.planes[p];
        const PlaneExtent& pe = e.planes[p];
        for (uint64_t r = 0; r < pe.rows; ++r) {
            for (uint64_t g = 0; g + d.groupBytes <= pe.rowBytes; g += d.groupBytes) {
                for (int s = 0; s < d.slotCount; ++s) {
                    const SampleSlot& slot = d.sampleSlots[s];
                    const uint32_t v = slot.component == Component::Y    ? y
                                       : slot.component == Component::Cb ? cb
                                       : slot.component == Component::Cr ? cr
                                                                         : 255;
                    const uint32_t sample = slot.bits > 8 ? (v << (slot.bits - 8)) : v;
                    WriteSample(frame.data() + pe.offset + r * pe.pitch + g, d, l.byteOrder, slot,
                                sample);
                }
            }
        }
    }
    return frame;
}

// The picture of a uniform frame: full colour in the choice's matrix and range; one component
// as grey, as it is at full range or as without colour flags at limited range (the "VUYA"
// layout's own grey values for Y' 81, Cb 90, Cr 240 worked out by hand).
void Expected(uint32_t code, ConvertFlags flags, int choice, uint8_t y, uint8_t cb, uint8_t cr,
              uint8_t* bgr) {
    const bool full = (choice & 1) != 0;
    const ConvertFlags grey = flags & (CONVERT_LUMA_ONLY | CONVERT_CB_ONLY | CONVERT_CR_ONLY);
    if (!grey) return kernels::VuyaToBgrReference(cr, cb, y, bgr, kColourChoices[choice]);
    const uint8_t x = (grey & CONVERT_LUMA_ONLY) ? y : (grey & CONVERT_CB_ONLY) ? cb : cr;
    if (full) {
        bgr[0] = bgr[1] = bgr[2] = x;
    } else if (code == kLayoutVUYA) {
        const uint8_t vuyaGrey = (grey & CONVERT_LUMA_ONLY) ? 76
                                 : (grey & CONVERT_CB_ONLY) ? 84
                                                            : 255;
        bgr[0] = bgr[1] = bgr[2] = vuyaGrey;
        if (grey == CONVERT_CB_ONLY) bgr[0] = 51;
    } else {
        bgr[0] = bgr[1] = bgr[2] = (grey & CONVERT_LUMA_ONLY) ? kernels::LumaGreyReference(x)
                                                              : kernels::ChromaGreyReference(x);
    }
}

// Every Y'CbCr layout, every matrix and range, full colour and each component as grey, every
// kernel set, progressive and woven 4:2:0: a uniform frame gives the expected pixel everywhere.
// The second sample set lies outside limited range: full range must keep it (no 235 / 240
// limits in 16-bit reduction or chroma blending).
TEST(ColourFrames, UniformFramesOfEveryYCbCrLayout) {
    struct Samples {
        uint8_t y, cb, cr;
    };
    const Samples samples[] = {{81, 90, 240}, {250, 6, 252}};
    const ConvertFlags pictures[] = {0, CONVERT_LUMA_ONLY, CONVERT_CB_ONLY, CONVERT_CR_ONLY,
                                     CONVERT_INTERLACED};
    std::vector<KernelTable> tables;
    for (SimdLevel l : AllLevels()) tables.push_back(MakeKernelTable(l));
    const int32_t h = 6;
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const uint32_t code = FrameMemoryLayouts()[i].code;
        if (FrameMemoryLayouts()[i].model != ColourModel::YCbCr) continue;
        const int32_t w = code == kLayoutV210 ? 48 : 50;
        const int32_t pitch = int32_t(MinLineBytes(code, w, h));
        for (const Samples& s : samples) {
            // The "VUYA" layout's limited-range grey values are known for the first set only.
            const std::vector<uint8_t> frame = UniformFrame(code, w, h, pitch, s.y, s.cb, s.cr);
            for (int choice = 1; choice < kColourChoiceCount; ++choice) {
                for (ConvertFlags picture : pictures) {
                    const bool greyPicture = (picture & ~CONVERT_INTERLACED) != 0;
                    if (code == kLayoutVUYA && greyPicture && !(choice & 1) && s.y != 81) continue;
                    const ConvertFlags flags = picture | ChoiceFlags(choice);
                    // Limited range reads samples beyond it with its limits: only full range is
                    // checked on the second set, where the value is the sample itself.
                    if (s.y == 250 && !(choice & 1)) continue;
                    uint8_t want[3];
                    Expected(code, flags, choice, s.y, s.cb, s.cr, want);
                    for (const KernelTable& t : tables) {
                        ConvertOptions opt;
                        opt.kernels = &t;
                        Output out(w, h);
                        ASSERT_TRUE(Convert(frame, code, w, h, pitch, flags, out, opt));
                        ASSERT_TRUE(out.GuardsIntact()) << LayoutName(code);
                        for (int y = 0; y < h; ++y) {
                            for (int x = 0; x < w; ++x) {
                                for (int c = 0; c < 3; ++c) {
                                    ASSERT_EQ(out.Px(x, y)[c], want[c])
                                        << LayoutName(code) << " flags " << flags << " "
                                        << SimdLevelName(t.level) << " pixel " << x << "," << y
                                        << " byte " << c << " Y' " << int(s.y);
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

// Random frames of every layout with colour flags: every kernel set (the scalar one too, as the
// run-time kernels are exact everywhere) and a team of threads give the same frame; R'G'B' and
// grey layouts give the frame they give without the flags.
TEST(ColourFrames, KernelSetsAgreeAndOtherModelsIgnoreTheFlags) {
    std::mt19937 rng(5);
    const KernelTable sse2 = MakeKernelTable(SimdLevel::SSE2);
    const ConvertFlags flagSets[] = {CONVERT_MATRIX_709, CONVERT_MATRIX_2020 | CONVERT_FULL_RANGE,
                                     CONVERT_FULL_RANGE | CONVERT_INTERLACED,
                                     CONVERT_FULL_RANGE | CONVERT_CB_ONLY,
                                     CONVERT_MATRIX_709 | CONVERT_MATRIX_2020 | CONVERT_LUMA_ONLY};
    for (int i = 0; i < kFrameMemoryLayoutCount; ++i) {
        const FrameMemoryLayout& l = FrameMemoryLayouts()[i];
        for (auto [w, h] : {std::pair<int, int>{97, 6}, {1, 2}, {36, 4}}) {
            const int32_t width = l.code == kLayoutV210 && w == 97 ? 96 : w;
            const int32_t pitch = int32_t(MinLineBytes(l.code, width, h)) +
                                  (l.arrangement == Arrangement::Packed ? 3 : 0);
            std::vector<uint8_t> bytes(size_t(pitch) * size_t(h));
            for (auto& b : bytes) b = uint8_t(rng());
            for (ConvertFlags flags : flagSets) {
                ConvertOptions base;
                base.kernels = &sse2;
                base.maxThreads = 1;
                Output ref(width, h);
                ASSERT_TRUE(Convert(bytes, l.code, width, h, pitch, flags, ref, base));
                if (l.model != ColourModel::YCbCr) {
                    Output plain(width, h);
                    ASSERT_TRUE(Convert(bytes, l.code, width, h, pitch,
                                        flags & ~CONVERT_COLOUR_MASK, plain, base));
                    ASSERT_EQ(ref.Pixels(), plain.Pixels()) << LayoutName(l.code);
                }
                for (SimdLevel level : AllLevels()) {
                    const KernelTable t = MakeKernelTable(level);
                    ConvertOptions opt;
                    opt.kernels = &t;
                    Output out(width, h);
                    ASSERT_TRUE(Convert(bytes, l.code, width, h, pitch, flags, out, opt));
                    ASSERT_EQ(out.Pixels(), ref.Pixels())
                        << LayoutName(l.code) << " " << SimdLevelName(level) << " flags " << flags;
                    ASSERT_TRUE(out.GuardsIntact());
                }
                ConvertOptions team = base;
                team.maxThreads = 3;
                team.parallelMinPixels = 0;
                team.followLoad = false;
                Output par(width, h);
                ASSERT_TRUE(Convert(bytes, l.code, width, h, pitch, flags, par, team));
                ASSERT_EQ(par.Pixels(), ref.Pixels()) << LayoutName(l.code) << " threads";
            }
        }
    }
}

}  // namespace
