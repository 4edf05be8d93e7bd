// Kernels checked over every input they can meet (every 16-bit word, every chroma pair, every
// Y'CbCr triple), known values, the studio-range table, and the detection of the sets.
#include "KernelGuards.h"
#include "KernelSweep.h"
#include "image/Kernels.h"
#include "image/PaintRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace kerneltest;

// The bit-field reduction of 16-bit words over every word (so every value and every pattern of
// garbage bits above the field), both byte orders, every set, against the stated rule
// min(((w >> shift) masked + 2^(bits-9)) >> (bits-8), limit); the count is odd so that every
// set ends the line with its scalar tail; guard bytes catch a write past it.
TEST(ConvertKernels, ReduceBitsOfEveryWord) {
    const int count = 65535;
    std::vector<uint8_t> le(2 * size_t(count)), be(le.size());
    for (int i = 0; i < count; ++i) {
        const unsigned word = unsigned(i) * 40503u % 65536u;  // every word but one, shuffled
        le[2 * size_t(i)] = be[2 * size_t(i) + 1] = uint8_t(word);
        le[2 * size_t(i) + 1] = be[2 * size_t(i)] = uint8_t(word >> 8);
    }
    const ExactInput inLE(le), inBE(be);
    struct Field {
        int shift, bits, limit;
    };
    std::vector<SimdLevel> levels = VectorLevels();
    levels.insert(levels.begin(), SimdLevel::Scalar);
    for (const Field f : {Field{0, 10, 235}, Field{0, 10, 255}, Field{0, 12, 240},
                          Field{0, 16, 235}, Field{6, 10, 240}, Field{4, 12, 255}}) {
        std::vector<uint8_t> want(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const unsigned word = unsigned(le[2 * size_t(i)]) | unsigned(le[2 * size_t(i) + 1])
                                                                    << 8;
            const unsigned v = (word >> f.shift) & ((1u << f.bits) - 1u);
            want[size_t(i)] =
                uint8_t(std::min((v + (1u << (f.bits - 9))) >> (f.bits - 8), unsigned(f.limit)));
        }
        for (SimdLevel level : levels) {
            const KernelTable t = MakeKernelTable(level);
            for (bool big : {false, true}) {
                Guarded out(static_cast<size_t>(count));
                (big ? t.reduceBits16BE : t.reduceBits16LE)((big ? inBE : inLE).data, out.data(),
                                                            count, f.shift, f.bits, f.limit);
                ASSERT_TRUE(out.GuardsIntact()) << SimdLevelName(level);
                ASSERT_EQ(out.Payload(), want) << SimdLevelName(level) << " big " << big
                                               << " shift " << f.shift << " bits " << f.bits;
            }
        }
    }
}

// The same rule for a field of 32-bit words, at every position the packed 10-bit layouts use,
// on random words (so random bits around the field), both byte orders, every set.
TEST(ConvertKernels, ReduceBitsOfWords32) {
    const int count = 1031;
    const std::vector<uint8_t> bytes = RandomBytes(4 * size_t(count), 17);
    const ExactInput in(bytes);
    std::vector<SimdLevel> levels = VectorLevels();
    levels.insert(levels.begin(), SimdLevel::Scalar);
    for (int shift : {0, 2, 10, 12, 20, 22}) {
        for (bool big : {false, true}) {
            std::vector<uint8_t> want(static_cast<size_t>(count));
            for (size_t i = 0; i < want.size(); ++i) {
                uint32_t w = 0;
                for (int b = 0; b < 4; ++b)
                    w |= uint32_t(bytes[4 * i + size_t(big ? 3 - b : b)]) << (8 * b);
                const uint32_t v = (w >> shift) & 0x3FFu;
                want[i] = uint8_t(std::min((v + 2u) >> 2, 240u));
            }
            for (SimdLevel level : levels) {
                const KernelTable t = MakeKernelTable(level);
                Guarded out(static_cast<size_t>(count));
                (big ? t.reduceBits32BE : t.reduceBits32LE)(in.data, out.data(), count, shift, 10,
                                                            240);
                ASSERT_TRUE(out.GuardsIntact()) << SimdLevelName(level);
                ASSERT_EQ(out.Payload(), want)
                    << SimdLevelName(level) << " big " << big << " shift " << shift;
            }
        }
    }
}

// The vertical chroma blends over every pair of bytes, with the weights of every tap the 4:2:0
// rows use (ChromaTaps.cpp) and one outside them, against the stated formula: limited to 16..240
// (chromaBlend) or not (chromaBlendFull). Every set; an odd count leaves a scalar tail; guard
// bytes catch a write past it.
TEST(ConvertKernels, ChromaBlendOverAllPairs) {
    constexpr int kCount = 256 * 256 - 1;
    std::vector<uint8_t> a(static_cast<size_t>(kCount)), b(static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) a[size_t(i)] = uint8_t(i >> 8), b[size_t(i)] = uint8_t(i);
    const ExactInput inA(a), inB(b);
    const int taps[][3] = {{1, 3, 2}, {3, 1, 2}, {1, 7, 3}, {3, 5, 3},
                           {5, 3, 3}, {7, 1, 3}, {4, 0, 2}, {100, 156, 8}};
    std::vector<SimdLevel> levels = VectorLevels();
    levels.push_back(SimdLevel::Scalar);
    for (SimdLevel level : levels) {
        const KernelTable t = MakeKernelTable(level);
        for (const auto& tap : taps) {
            for (bool full : {false, true}) {
                Guarded out(static_cast<size_t>(kCount));
                (full ? t.chromaBlendFull : t.chromaBlend)(inA.data, inB.data, out.data(), kCount,
                                                           tap[0], tap[1], tap[2]);
                ASSERT_TRUE(out.GuardsIntact()) << SimdLevelName(level);
                const std::vector<uint8_t> got = out.Payload();
                for (int i = 0; i < kCount; ++i) {
                    const int v =
                        (tap[0] * a[size_t(i)] + tap[1] * b[size_t(i)] + (1 << (tap[2] - 1))) >>
                        tap[2];
                    ASSERT_EQ(got[size_t(i)], full ? v : std::clamp(v, 16, 240))
                        << SimdLevelName(level) << " " << tap[0] << ":" << tap[1] << " a "
                        << int(a[size_t(i)]) << " b " << int(b[size_t(i)]) << " full " << full;
                }
            }
        }
    }
}

// Every Y'CbCr triple: the vector sets give the single-precision reference; the scalar fixed
// point equals it on B' and R' and differs by at most 1 on G'.
TEST(ConvertKernels, VuyaToBgrOverAllInputs) {
    const KernelTable scalar = MakeKernelTable(SimdLevel::Scalar);
    std::vector<KernelTable> vec;
    for (SimdLevel l : VectorLevels()) vec.push_back(MakeKernelTable(l));
    std::vector<uint8_t> line(4 * 256), ref(3 * 256), out(3 * 256), lumaRamp(256);
    for (int y = 0; y < 256; ++y) lumaRamp[size_t(y)] = uint8_t(y);
    int greenDiffs = 0;
    for (int cb = 0; cb < 256; ++cb) {
        for (int cr = 0; cr < 256; ++cr) {
            for (int y = 0; y < 256; ++y) {
                line[4 * size_t(y)] = uint8_t(cr);
                line[4 * size_t(y) + 1] = uint8_t(cb);
                line[4 * size_t(y) + 2] = uint8_t(y);
                line[4 * size_t(y) + 3] = 255;
                kernels::VuyaToBgrReference(uint8_t(cr), uint8_t(cb), uint8_t(y),
                                            &ref[3 * size_t(y)]);
            }
            for (const KernelTable& t : vec) {
                t.vuyaToBgr(line.data(), out.data(), 256);
                ASSERT_EQ(out, ref) << SimdLevelName(t.level) << " Cb " << cb << " Cr " << cr;
                // The fused 4:4:4 kernel computes the matrix with its own unpacking.
                if (t.planar444ToBgr) {
                    t.planar444ToBgr(lumaRamp.data(), std::vector<uint8_t>(256, uint8_t(cb)).data(),
                                     std::vector<uint8_t>(256, uint8_t(cr)).data(), out.data(),
                                     256);
                    ASSERT_EQ(out, ref)
                        << SimdLevelName(t.level) << " 4:4:4 Cb " << cb << " Cr " << cr;
                }
                // So do the fused 4:2:2 kernels, from planar lines and from packed pairs; flat
                // chroma stays flat through the odd pixels' filter.
                if (t.planar422ToBgr) {
                    t.planar422ToBgr(lumaRamp.data(), std::vector<uint8_t>(128, uint8_t(cb)).data(),
                                     std::vector<uint8_t>(128, uint8_t(cr)).data(), out.data(),
                                     256);
                    ASSERT_EQ(out, ref)
                        << SimdLevelName(t.level) << " 4:2:2 Cb " << cb << " Cr " << cr;
                }
                if (t.uyvyToBgr) {
                    std::vector<uint8_t> uyvy;
                    for (int k = 0; k < 128; ++k)
                        uyvy.insert(uyvy.end(),
                                    {uint8_t(cb), uint8_t(2 * k), uint8_t(cr), uint8_t(2 * k + 1)});
                    t.uyvyToBgr(uyvy.data(), out.data(), 256);
                    ASSERT_EQ(out, ref)
                        << SimdLevelName(t.level) << " UYVY Cb " << cb << " Cr " << cr;
                }
            }
            scalar.vuyaToBgr(line.data(), out.data(), 256);
            for (int y = 0; y < 256; ++y) {
                const size_t i = 3 * size_t(y);
                ASSERT_EQ(out[i], ref[i]) << "B' " << y << " " << cb << " " << cr;
                ASSERT_EQ(out[i + 2], ref[i + 2]) << "R' " << y << " " << cb << " " << cr;
                ASSERT_LE(std::abs(int(out[i + 1]) - int(ref[i + 1])), 1);
                greenDiffs += out[i + 1] != ref[i + 1];
            }
        }
    }
    // "a few inputs": far fewer than one in a thousand.
    EXPECT_LT(greenDiffs, 16 * 1024);
}

// The vector form of the double-precision path equals the scalar one for every Y'CbCr triple
// and every picture.
TEST(ConvertKernels, VuyaDoubleOverAllInputs) {
    const KernelTable scalar = MakeKernelTable(SimdLevel::Scalar);
    const KernelTable best = MakeKernelTable(CpuSimdLevel());
    std::vector<uint8_t> line(4 * 256), ref(3 * 256), out(3 * 256);
    for (int mode : {kVuyaFullColour, kVuyaLuma, kVuyaCb, kVuyaCr}) {
        for (int cb = 0; cb < 256; ++cb) {
            for (int cr = 0; cr < 256; ++cr) {
                for (int y = 0; y < 256; ++y) {
                    uint8_t* p = &line[4 * size_t(y)];
                    p[0] = uint8_t(cr), p[1] = uint8_t(cb), p[2] = uint8_t(y), p[3] = 0;
                }
                scalar.vuyaDoubleToBgr(line.data(), ref.data(), 256, mode);
                best.vuyaDoubleToBgr(line.data(), out.data(), 256, mode);
                ASSERT_EQ(out, ref) << "mode " << mode << " Cb " << cb << " Cr " << cr;
            }
        }
    }
}

TEST(ConvertKernels, GreyReferenceAndScalarDifference) {
    const KernelTable scalar = MakeKernelTable(SimdLevel::Scalar);
    for (int x = 0; x < 256; ++x) {
        uint8_t px[4] = {uint8_t(x), uint8_t(x), uint8_t(x), 255}, out[3];
        scalar.vuyaLumaToGrey(px, out, 1);
        EXPECT_EQ(out[0], kernels::LumaGreyReference(uint8_t(x))) << x;
        scalar.vuyaCbToGrey(px, out, 1);
        EXPECT_EQ(out[0], x == 128 ? 128 : kernels::ChromaGreyReference(uint8_t(x))) << x;
        scalar.vuyaCrToGrey(px, out, 1);
        EXPECT_EQ(out[0], x == 128 ? 128 : kernels::ChromaGreyReference(uint8_t(x))) << x;
    }
    EXPECT_EQ(kernels::ChromaGreyReference(128), 127);
    EXPECT_EQ(kernels::LumaGreyReference(126), 128);
    EXPECT_EQ(kernels::LumaGreyReference(10), 0);
    EXPECT_EQ(kernels::LumaGreyReference(250), 255);
}

// Hand-checked values of single kernels.
TEST(ConvertKernels, KnownValues) {
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2,
                            SimdLevel::AVX512}) {
        const KernelTable t = MakeKernelTable(level);
        SCOPED_TRACE(SimdLevelName(t.level));
        // UYVY chroma pairs 16, 240, 240, 16 (and more pairs so vector steps run): the odd pixel
        // of pair 1 gets (9 (240 + 240) - 16 - 16 + 8) >> 4 = 268, clamped to 255.
        std::vector<uint8_t> uyvy;
        const uint8_t cbs[] = {16, 240, 240, 16, 128, 128, 128, 128, 128, 128, 128, 128};
        for (uint8_t c : cbs) uyvy.insert(uyvy.end(), {c, 50, c, 60});
        std::vector<uint8_t> vuya(4 * 24);
        t.uyvyToVuya(uyvy.data(), vuya.data(), 24);
        EXPECT_EQ(vuya[4 * 3 + 0], 255);
        EXPECT_EQ(vuya[4 * 3 + 1], 255);
        EXPECT_EQ(vuya[4 * 3 + 2], 60);   // Y'1 of pair 1 unchanged
        EXPECT_EQ(vuya[4 * 2 + 1], 240);  // even pixel keeps the pair's own chroma
        // Odd pixel of pair 0: (9 (16 + 240) - 16 - 240 + 8) >> 4 = 128.
        EXPECT_EQ(vuya[4 * 1 + 1], 128);
        // Pair 3's odd pixel: (9 (16 + 128) - 240 - 128 + 8) >> 4 = 58.
        EXPECT_EQ(vuya[4 * 7 + 1], 58);
        // Negative sums shift toward minus infinity and clamp to 0: pairs 0, 0, 255, 0.
        const uint8_t neg[] = {255, 1, 255, 1, 0, 2, 0, 2, 0, 3, 0, 3, 255, 4, 255, 4, 0, 5, 0, 5};
        std::vector<uint8_t> nv(4 * 10);
        t.uyvyToVuya(neg, nv.data(), 10);
        // Pair 1 odd: (9 (0 + 0) - 255 - 255 + 8) >> 4 = -32 -> 0.
        EXPECT_EQ(nv[4 * 3 + 1], 0);

        // 4:2:0 blends clamp to 16..240.
        const uint8_t hi[16] = {250, 250, 250, 250, 250, 250, 250, 250,
                                250, 250, 250, 250, 250, 250, 250, 250};
        const uint8_t lo[16] = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
        uint8_t out[16];
        t.chromaBlend(hi, hi, out, 16, 1, 3, 2);
        EXPECT_EQ(out[0], 240);
        EXPECT_EQ(out[15], 240);
        t.chromaBlend(lo, lo, out, 16, 5, 3, 3);
        EXPECT_EQ(out[7], 16);
        // The rounding term: (1 x 0 + 3 x 101 + 2) >> 2 = 76.
        const uint8_t z[16] = {}, h[16] = {101, 101, 101, 101, 101, 101, 101, 101,
                                           101, 101, 101, 101, 101, 101, 101, 101};
        t.chromaBlend(z, h, out, 16, 1, 3, 2);
        EXPECT_EQ(out[3], 76);

        // v210: samples 0x3FF, 0x200, 0x004 -> top bytes 0xFF, 0x80, 0x01.
        uint8_t v210[16] = {};
        const uint32_t word = 0x3FFu | (0x200u << 10) | (0x004u << 20);
        for (int i = 0; i < 4; ++i) std::memcpy(v210 + 4 * i, &word, 4);
        uint8_t uyvyOut[12];
        t.v210ToUyvy(v210, uyvyOut, 6);
        const uint8_t want[12] = {0xFF, 0x80, 0x01, 0xFF, 0x80, 0x01,
                                  0xFF, 0x80, 0x01, 0xFF, 0x80, 0x01};
        EXPECT_EQ(0, std::memcmp(uyvyOut, want, 12));

        // VerticalLowPass121 rounds: (1 + 2 x 2 + 4 + 2) >> 2 = 2 (not 2.75 truncated by pairs).
        uint8_t a[17], m[17], b[17], o[17];
        std::memset(a, 1, 17);
        std::memset(m, 2, 17);
        std::memset(b, 4, 17);
        t.verticalLowPass121(a, m, b, o, 17);
        EXPECT_EQ(o[0], 2);
        EXPECT_EQ(o[16], 2);
        std::memset(a, 255, 17);
        std::memset(m, 255, 17);
        std::memset(b, 254, 17);
        t.verticalLowPass121(a, m, b, o, 17);
        EXPECT_EQ(o[5], 255);  // (255 + 510 + 254 + 2) >> 2 = 255, no 8-bit overflow
    }
}

TEST(ConvertKernels, StudioExpansionTable) {
    const int in[] = {0, 15, 16, 17, 126, 234, 235, 236, 255};
    const int want[] = {0, 0, 0, 1, 128, 254, 255, 255, 255};
    for (size_t i = 0; i < std::size(in); ++i)
        EXPECT_EQ(kernels::StudioExpand(uint8_t(in[i])), want[i]) << in[i];
    // Every set expands all 256 values as the table does.
    std::vector<uint8_t> all(256), out(256);
    for (int i = 0; i < 256; ++i) all[size_t(i)] = uint8_t(i);
    for (SimdLevel level : VectorLevels()) {
        MakeKernelTable(level).studioExpand(all.data(), out.data(), 256);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(out[size_t(i)], kernels::StudioExpand(uint8_t(i))) << i;
    }
}

// The table's CPUID query for the AVX-512 set agrees with the compiler's own detection (which
// also asks whether the operating system saves the ZMM state). Where the processor lacks it, the
// set is never chosen, every per-set test runs the other sets, and this test says so.
TEST(ConvertKernels, Avx512DetectionAgreesWithTheCompiler) {
    __builtin_cpu_init();
    const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                     __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                     __builtin_cpu_supports("avx512vbmi");
    EXPECT_EQ(CpuSimdLevel() == SimdLevel::AVX512, has);
    if (!has)
        GTEST_SKIP() << "no AVX-512 (F, BW, VL, DQ, VBMI) here: the AVX-512 set is never chosen "
                        "and its kernels are not tested on this machine";
    EXPECT_EQ(MakeKernelTable(SimdLevel::AVX512).level, SimdLevel::AVX512);
}

TEST(ConvertKernels, DetectionAndTables) {
    EXPECT_LE(int(DetectSimdLevel()), int(CpuSimdLevel()));
    EXPECT_EQ(Kernels().level, DetectSimdLevel());
    // KAVLO_SIMD lowers the process-wide set to the one it names (the test runs that pick a set
    // by it rely on that).
    if (const char* wanted = std::getenv("KAVLO_SIMD")) {
        bool known = false;
        for (SimdLevel l : sweep::AllSets()) {
            if (std::strcmp(wanted, SimdLevelName(l)) != 0) continue;
            known = true;
            EXPECT_EQ(DetectSimdLevel(), int(l) < int(CpuSimdLevel()) ? l : CpuSimdLevel());
            EXPECT_EQ(paint::CurrentRowKernels().level, paint::MakeRowKernels(l).level);
        }
        EXPECT_TRUE(known) << "KAVLO_SIMD=" << wanted;
    }
    // A level above the processor's falls back to what it has; every entry is filled.
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2,
                            SimdLevel::AVX512}) {
        const KernelTable t = MakeKernelTable(level);
        EXPECT_LE(int(t.level), int(CpuSimdLevel()));
        const void* const* entries = reinterpret_cast<const void* const*>(&t.uyvyToVuya);
        const size_t count =
            (sizeof(KernelTable) - offsetof(KernelTable, uyvyToVuya)) / sizeof(void*);
        // Every entry is filled, except the fused kernels that only some sets have.
        const size_t fused422 =
            (offsetof(KernelTable, planar422ToBgr) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        const size_t fused444 =
            (offsetof(KernelTable, planar444ToBgr) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        const size_t fusedLuma16 =
            (offsetof(KernelTable, lowBitsLuma422ToBgr) - offsetof(KernelTable, uyvyToVuya)) /
                sizeof(void*) +
            3;  // the last of the four low-bits luma kernels
        const size_t fusedColour =
            (offsetof(KernelTable, planar422ToBgrWith) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        const size_t fusedColourLuma16 =
            (offsetof(KernelTable, highLuma422ToBgrWith) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        // The fused packed kernels: the AVX-512 set's alone.
        const size_t fusedPacked =
            (offsetof(KernelTable, uyvyToBgr) - offsetof(KernelTable, uyvyToVuya)) / sizeof(void*);
        const size_t fusedPairs =
            (offsetof(KernelTable, pairs422ToBgr) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        for (size_t i = 0; i < count; ++i) {
            if (i == fused422 || (i >= fused444 && i <= fusedLuma16) || i == fusedColour ||
                i == fusedColourLuma16 || (i >= fusedPairs && i < fusedPairs + 4)) {
                EXPECT_EQ(entries[i] != nullptr, int(t.level) >= int(SimdLevel::AVX2)) << i;
            } else if (i >= fusedPacked && i < fusedPacked + 4) {
                EXPECT_EQ(entries[i] != nullptr, t.level == SimdLevel::AVX512) << i;
            } else {
                EXPECT_NE(entries[i], nullptr) << i;
            }
        }
    }
}

}  // namespace
