// Choice of the kernel set: the processor's features, once per process, and the table for a
// level.
#include "Kernels.h"

#include <cpuid.h>

#include <cstdlib>
#include <cstring>

namespace {

// The AVX-512 subsets the AVX-512 kernels use (F, BW, VL, DQ, VBMI), and the operating system
// saving the opmask registers and all 32 ZMM registers (XCR0 bits 5, 6 and 7 beside SSE and AVX
// state). The caller has checked OSXSAVE.
bool Avx512Usable() {
    unsigned a7 = 0, b7 = 0, c7 = 0, d7 = 0;
    if (!__get_cpuid_count(7, 0, &a7, &b7, &c7, &d7)) return false;
    const unsigned f = 1u << 16, dq = 1u << 17, bw = 1u << 30, vl = 1u << 31;
    const unsigned vbmi = 1u << 1;  // in ECX
    if ((b7 & (f | dq | bw | vl)) != (f | dq | bw | vl) || (c7 & vbmi) == 0) return false;
    unsigned lo = 0, hi = 0;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (lo & 0xE6) == 0xE6;
}

SimdLevel QueryCpu() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return SimdLevel::Scalar;
    const bool sse2 = (d & (1u << 26)) != 0;
    const bool ssse3 = (c & (1u << 9)) != 0;
    const bool osxsave = (c & (1u << 27)) != 0;
    const bool avx = (c & (1u << 28)) != 0;
    const bool fma = (c & (1u << 12)) != 0;
    bool avx2 = false;
    if (osxsave && avx) {
        // The operating system must save the upper halves of the YMM registers.
        unsigned lo = 0, hi = 0;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        if ((lo & 0x6) == 0x6) {
            unsigned a7 = 0, b7 = 0, c7 = 0, d7 = 0;
            // The AVX2 set's fused 4:2:2 kernels use FMA as well.
            if (__get_cpuid_count(7, 0, &a7, &b7, &c7, &d7)) avx2 = fma && (b7 & (1u << 5)) != 0;
        }
    }
    if (avx2 && ssse3 && Avx512Usable()) return SimdLevel::AVX512;
    if (avx2 && ssse3) return SimdLevel::AVX2;
    if (ssse3) return SimdLevel::SSSE3;
    if (sse2) return SimdLevel::SSE2;
    return SimdLevel::Scalar;
}

}  // namespace

SimdLevel CpuSimdLevel() {
    static const SimdLevel level = QueryCpu();
    return level;
}

SimdLevel DetectSimdLevel() {
    static const SimdLevel level = [] {
        SimdLevel l = CpuSimdLevel();
        if (const char* env = std::getenv("KAVLO_SIMD")) {
            SimdLevel wanted = l;
            if (!std::strcmp(env, "scalar"))
                wanted = SimdLevel::Scalar;
            else if (!std::strcmp(env, "sse2"))
                wanted = SimdLevel::SSE2;
            else if (!std::strcmp(env, "ssse3"))
                wanted = SimdLevel::SSSE3;
            else if (!std::strcmp(env, "avx2"))
                wanted = SimdLevel::AVX2;
            else if (!std::strcmp(env, "avx512"))
                wanted = SimdLevel::AVX512;
            if (int(wanted) < int(l)) l = wanted;
        }
        return l;
    }();
    return level;
}

KernelTable MakeKernelTable(SimdLevel level) {
    using namespace kernels;
    KernelTable t;
    t.level = SimdLevel::Scalar;
    t.uyvyToVuya = UyvyToVuya_Scalar;
    t.yuyvToVuya = YuyvToVuya_Scalar;
    t.vyuyToVuya = VyuyToVuya_Scalar;
    t.planar422ToVuya = Planar422ToVuya_Scalar;
    t.planar444ToVuya = Planar444ToVuya_Scalar;
    t.ayuvToVuya = AyuvToVuya_Scalar;
    t.v210ToUyvy = V210ToUyvy_Scalar;
    t.vuyaToBgr = VuyaToBgr_Scalar;
    t.vuyaLumaToGrey = VuyaLumaToGrey_Scalar;
    t.vuyaCbToGrey = VuyaCbToGrey_Scalar;
    t.vuyaCrToGrey = VuyaCrToGrey_Scalar;
    t.bgrxToBgr = BgrxToBgr_Scalar;
    t.rgbxToBgr = RgbxToBgr_Scalar;
    t.xrgbToBgr = XrgbToBgr_Scalar;
    t.rgbToBgr = RgbToBgr_Scalar;
    t.greyToBgr = GreyToBgr_Scalar;
    t.planesToBgr = PlanesToBgr_Scalar;
    t.r555ToBgr = R555ToBgr_Scalar;
    t.r565ToBgr = R565ToBgr_Scalar;
    t.studioExpand = StudioExpand_Scalar;
    t.reduce16LE = Reduce16LE_Scalar;
    t.reduce16BE = Reduce16BE_Scalar;
    t.reduceBits16LE = ReduceBits16LE_Scalar;
    t.reduceBits16BE = ReduceBits16BE_Scalar;
    t.reduceBits32LE = ReduceBits32LE_Scalar;
    t.reduceBits32BE = ReduceBits32BE_Scalar;
    t.highBytes16 = HighBytes16_Scalar;
    t.lowAddressBytes16 = LowAddressBytes16_Scalar;
    t.splitHighBytes16 = SplitHighBytes16_Scalar;
    t.chromaBlend = ChromaBlend_Scalar;
    t.verticalLowPass121 = VerticalLowPass121_Scalar;
    t.uyvyToPlanar = UyvyToPlanar_Scalar;
    t.yuyvToPlanar = YuyvToPlanar_Scalar;
    t.vyuyToPlanar = VyuyToPlanar_Scalar;
    t.vuyaDoubleToBgr = VuyaDoubleToBgr_Scalar;
    InstallColourKernel<VuyaToBgrWith_Scalar>(t);
    t.vuyaLumaAsGrey = VuyaLumaAsGrey_Scalar;
    t.vuyaCbAsGrey = VuyaCbAsGrey_Scalar;
    t.vuyaCrAsGrey = VuyaCrAsGrey_Scalar;
    t.chromaBlendFull = ChromaBlendFull_Scalar;
    // A level the processor lacks falls back to the best one it has.
    if (int(level) > int(CpuSimdLevel())) level = CpuSimdLevel();
    switch (level) {
    case SimdLevel::Scalar: break;
    case SimdLevel::SSE2: InstallSSE2(t); break;
    case SimdLevel::SSSE3: InstallSSSE3(t); break;
    case SimdLevel::AVX2: InstallAVX2(t); break;
    case SimdLevel::AVX512: InstallAVX512(t); break;
    }
    return t;
}

const KernelTable& Kernels() {
    static const KernelTable table = MakeKernelTable(DetectSimdLevel());
    return table;
}

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
    case SimdLevel::Scalar: return "scalar";
    case SimdLevel::SSE2: return "sse2";
    case SimdLevel::SSSE3: return "ssse3";
    case SimdLevel::AVX2: return "avx2";
    case SimdLevel::AVX512: return "avx512";
    }
    return "?";
}
