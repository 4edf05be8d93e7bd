// Line kernels of the frame conversion and the table that selects one set of them for the
// processor.
//
// Every kernel converts one line and keeps no state. Widths are pixel counts (or sample / byte
// counts where named so). Each kernel states what it reads and writes:
//   - a kernel reads exactly the input bytes its width implies, never more, so it may run on the
//     last row of a frame;
//   - a kernel whose output is a B', G', R' line writes exactly 3 x width bytes; intermediate
//     kernels (VUYA lines, UYVY lines, 8-bit lines) write exactly their output extent too.
// Vector sets therefore finish a line with scalar code rather than with a whole last group.
#pragma once

#include "ColourMatrix.h"

#include <cstdint>

enum class SimdLevel { Scalar, SSE2, SSSE3, AVX2, AVX512 };

// One source line to one destination line of `width` pixels.
using LineKernel = void (*)(const uint8_t* src, uint8_t* dst, int width);
// Three 8-bit lines (luma and two chroma lines) to one VUYA line.
using PlanarKernel = void (*)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                              int width);
// out[i] = clamp((wa * a[i] + wb * b[i] + 2^(shift-1)) >> shift, 16, 240), wa + wb = 2^shift.
using ChromaBlendKernel = void (*)(const uint8_t* a, const uint8_t* b, uint8_t* out, int count,
                                   int wa, int wb, int shift);
// 16-bit samples to 8 bits: min((s + 128) >> 8, maxValue), `count` samples.
using Reduce16Kernel = void (*)(const uint8_t* src, uint8_t* dst, int count, int maxValue);
// Samples of `bits` bits (9 to 16) at bit `shift` of u16 words to 8 bits: v = (s >> shift) masked
// to `bits` bits, then min((v + 2^(bits-9)) >> (bits-8), maxValue); `count` samples, reads
// 2 x count bytes, writes count.
using Reduce16BitsKernel = void (*)(const uint8_t* src, uint8_t* dst, int count, int shift,
                                    int bits, int maxValue);
// A VUYA line to B', G', R' with the coefficients of a matrix and range (ColourMatrix.h).
using ColourKernel = void (*)(const uint8_t* src, uint8_t* dst, int width,
                              const colour::ColourCoefficients& coefficients);
// Three lines to one B', G', R' line with the coefficients of a matrix and range.
using ColourPlanarKernel = void (*)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                                    uint8_t* dst, int width,
                                    const colour::ColourCoefficients& coefficients);
// A luma line and a line of interleaved 8-bit chroma pairs to one B', G', R' line (with the
// coefficients of a matrix and range).
using PairsKernel = void (*)(const uint8_t* y, const uint8_t* pairs, uint8_t* dst, int width);
using ColourPairsKernel = void (*)(const uint8_t* y, const uint8_t* pairs, uint8_t* dst, int width,
                                   const colour::ColourCoefficients& coefficients);
// Three lines to one: the vertical (1, 2, 1) / 4 filter on `count` bytes.
using LowPassKernel = void (*)(const uint8_t* above, const uint8_t* middle, const uint8_t* below,
                               uint8_t* out, int count);

struct KernelTable {
    SimdLevel level = SimdLevel::Scalar;

    // 4:2:2 pairs to VUYA lines; the odd pixel's chroma comes from the (-1, 9, 9, -1) / 16
    // filter. Read ceil(width / 2) pairs (4 bytes each); write 4 x width bytes.
    LineKernel uyvyToVuya = nullptr;
    LineKernel yuyvToVuya = nullptr;
    LineKernel vyuyToVuya = nullptr;
    // The same from planar lines: read width luma bytes and ceil(width / 2) bytes of each chroma
    // line; write 4 x width bytes.
    PlanarKernel planar422ToVuya = nullptr;
    // 4:4:4 planar lines to VUYA (A = 255): read width bytes of each line; write 4 x width.
    PlanarKernel planar444ToVuya = nullptr;
    // A, Y', Cb, Cr pixels to Cr, Cb, Y', A: read and write 4 x width bytes.
    LineKernel ayuvToVuya = nullptr;
    // v210 blocks to UYVY pairs: read ceil(width / 6) blocks of 16 bytes; write
    // 2 x ceil(width / 2) bytes.
    LineKernel v210ToUyvy = nullptr;

    // VUYA line to B', G', R' (full colour or one component as grey): read 4 x width, write
    // 3 x width.
    LineKernel vuyaToBgr = nullptr;
    LineKernel vuyaLumaToGrey = nullptr;
    LineKernel vuyaCbToGrey = nullptr;
    LineKernel vuyaCrToGrey = nullptr;

    // 4-byte pixels to B', G', R': B', G', R', x / R', G', B', x / x, R', G', B'. Read 4 x width,
    // write 3 x width.
    LineKernel bgrxToBgr = nullptr;
    LineKernel rgbxToBgr = nullptr;
    LineKernel xrgbToBgr = nullptr;
    // R', G', B' to B', G', R': read and write 3 x width.
    LineKernel rgbToBgr = nullptr;
    // Grey bytes to B' = G' = R': read width, write 3 x width.
    LineKernel greyToBgr = nullptr;
    // Three 8-bit planes to B', G', R': read width bytes of each, write 3 x width.
    PlanarKernel planesToBgr = nullptr;
    // 15- and 16-bit R'G'B' (u16 LE) to B', G', R' without low-bit fill: read 2 x width,
    // write 3 x width.
    LineKernel r555ToBgr = nullptr;
    LineKernel r565ToBgr = nullptr;
    // 16-235 expansion E() of every byte, in place allowed: read and write `width` bytes.
    LineKernel studioExpand = nullptr;

    // 8-bit samples from 16-bit ones. `count` samples, reads 2 x count bytes, writes count.
    Reduce16Kernel reduce16LE = nullptr;          // u16 LE, rounded and limited
    Reduce16Kernel reduce16BE = nullptr;          // u16 BE, rounded and limited
    Reduce16BitsKernel reduceBits16LE = nullptr;  // any bit field of u16 LE words, rounded
    Reduce16BitsKernel reduceBits16BE = nullptr;  // the same of u16 BE words
    // The same rule for one field of u32 words (LE / BE): reads 4 x count, writes count.
    Reduce16BitsKernel reduceBits32LE = nullptr;
    Reduce16BitsKernel reduceBits32BE = nullptr;
    LineKernel highBytes16 = nullptr;        // u16 LE: the high byte, no rounding (width = count)
    LineKernel lowAddressBytes16 = nullptr;  // the byte at the lower address of each pair
    // Interleaved u16 LE (Cb, Cr) pairs to two lines of high bytes: `width` pairs.
    void (*splitHighBytes16)(const uint8_t* src, uint8_t* cb, uint8_t* cr, int pairs) = nullptr;

    ChromaBlendKernel chromaBlend = nullptr;
    LowPassKernel verticalLowPass121 = nullptr;

    // 4:2:2 packed pairs to planar lines: read 4 x ceil(width / 2) bytes; write width luma
    // bytes and ceil(width / 2) bytes to each chroma line.
    using SplitKernel = void (*)(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr,
                                 int width);
    SplitKernel uyvyToPlanar = nullptr;
    SplitKernel yuyvToPlanar = nullptr;
    SplitKernel vyuyToPlanar = nullptr;

    // Fused full-colour kernels: exactly planar422ToVuya / planar444ToVuya followed by
    // vuyaToBgr, without the VUYA line. Same reads as those, write 3 x width. Only sets whose
    // vuyaToBgr gives the reference have them; nullptr elsewhere.
    PlanarKernel planar422ToBgr = nullptr;
    PlanarKernel planar444ToBgr = nullptr;
    // planar422ToBgr with luma read from a 16-bit luma line (2 x width bytes), so that no
    // separate 8-bit luma line is made: its high bytes (u16 LE), or min((s + 128) >> 8, 235) of
    // its u16 LE / BE samples. Same chroma reads and writes as planar422ToBgr.
    PlanarKernel highLuma422ToBgr = nullptr;
    PlanarKernel roundedLumaLE422ToBgr = nullptr;
    PlanarKernel roundedLumaBE422ToBgr = nullptr;
    // The same with luma in the low 10 ([0]) or 12 ([1]) bits of u16 LE ([.][0]) or BE ([.][1])
    // samples, bits above dropped: min((v + 2^(bits-9)) >> (bits-8), 235).
    PlanarKernel lowBitsLuma422ToBgr[2][2] = {};

    // The "VUYA" layout's own conversion in double precision (VuyaMode says which picture):
    // read 4 x width, write 3 x width.
    void (*vuyaDoubleToBgr)(const uint8_t* src, uint8_t* dst, int width, int mode) = nullptr;

    // Other matrices and ranges. VUYA line to B', G', R' with run-time coefficients: exactly
    // VuyaToBgrReference with them in every set. Read 4 x width, write 3 x width.
    ColourKernel vuyaToBgrWith = nullptr;
    // vuyaToBgrWith bound to each colour::kColourChoices entry (2 x matrix + 1 for full range).
    LineKernel vuyaToBgrChoice[colour::kColourChoiceCount] = {};
    // One VUYA byte shown as grey as it is (full-range samples): read 4 x width, write 3 x width.
    LineKernel vuyaLumaAsGrey = nullptr;
    LineKernel vuyaCbAsGrey = nullptr;
    LineKernel vuyaCrAsGrey = nullptr;
    // chromaBlend limited to 0..255 instead of 16..240 (full-range chroma).
    ChromaBlendKernel chromaBlendFull = nullptr;
    // planar422ToBgr and highLuma422ToBgr with run-time coefficients: exactly planar422ToVuya
    // (of the high bytes) followed by vuyaToBgrWith. Same reads and writes as those; nullptr in
    // sets without them.
    ColourPlanarKernel planar422ToBgrWith = nullptr;
    ColourPlanarKernel highLuma422ToBgrWith = nullptr;

    // Fused packed 4:2:2 kernels: exactly the split kernel of the pair order (uyvyToPlanar, ...)
    // followed by planar422ToBgr, without the planar lines. Read 4 x ceil(width / 2) bytes, write
    // 3 x width. nullptr in sets without them.
    LineKernel uyvyToBgr = nullptr;
    LineKernel yuyvToBgr = nullptr;
    LineKernel vyuyToBgr = nullptr;
    LineKernel yvyuToBgr = nullptr;  // Y'0, Cr, Y'1, Cb: yuyvToPlanar of the Cb/Cr-swapped pairs
    // planar422ToBgr and planar422ToBgrWith with the chroma in one line of interleaved 8-bit
    // pairs, as semi-planar layouts store it: [0] Cb at the lower address of each pair, [1] Cr.
    // Exactly those kernels on the two lines the pairs split into, without splitting them. Read
    // width luma bytes and 2 x ceil(width / 2) pair bytes; write 3 x width. nullptr in sets
    // without planar422ToBgr.
    PairsKernel pairs422ToBgr[2] = {};
    ColourPairsKernel pairs422ToBgrWith[2] = {};
};

// Pictures of the double-precision "VUYA" conversion.
enum VuyaMode { kVuyaFullColour = 0, kVuyaLuma = 1, kVuyaCb = 2, kVuyaCr = 3 };

// The best level this processor supports, found with CPUID once per process (AVX2: AVX2 and FMA;
// AVX512: F, BW, VL, DQ and VBMI, with the opmask and ZMM state enabled by the operating system).
// The environment variable KAVLO_SIMD (scalar, sse2, ssse3, avx2 or avx512) may lower it, never
// raise it.
SimdLevel DetectSimdLevel();
// The highest level the processor supports, ignoring KAVLO_SIMD.
SimdLevel CpuSimdLevel();
// A table of the given level (lower sets where a level has no kernel of its own). Touches no
// global state; tests build every level the processor supports.
KernelTable MakeKernelTable(SimdLevel level);
// The process-wide table for DetectSimdLevel(), built on first use (thread-safe).
const KernelTable& Kernels();
const char* SimdLevelName(SimdLevel level);

// Reference formulas shared by the kernel sets.
namespace kernels {

// E(x) = clamp(T((510 x - 7941) / 438), 0, 255): 16-235 to 0-255.
uint8_t StudioExpand(uint8_t x);

// The exact (single precision, ties to even) B', G', R' of one Y'CbCr sample, as every vector
// set computes it.
void VuyaToBgrReference(uint8_t cr, uint8_t cb, uint8_t y, uint8_t* bgr);
// The same with the coefficients of any matrix and range, in the same order and precision.
void VuyaToBgrReference(uint8_t cr, uint8_t cb, uint8_t y, uint8_t* bgr,
                        const colour::ColourCoefficients& c);
uint8_t LumaGreyReference(uint8_t y);
uint8_t ChromaGreyReference(uint8_t c);

// Scalar set, always present.
void UyvyToVuya_Scalar(const uint8_t* src, uint8_t* dst, int width);
void YuyvToVuya_Scalar(const uint8_t* src, uint8_t* dst, int width);
void VyuyToVuya_Scalar(const uint8_t* src, uint8_t* dst, int width);
void Planar422ToVuya_Scalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                            int width);
void Planar444ToVuya_Scalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                            int width);
void AyuvToVuya_Scalar(const uint8_t* src, uint8_t* dst, int width);
void V210ToUyvy_Scalar(const uint8_t* src, uint8_t* dst, int width);
void VuyaToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width);
void VuyaLumaToGrey_Scalar(const uint8_t* src, uint8_t* dst, int width);
void VuyaCbToGrey_Scalar(const uint8_t* src, uint8_t* dst, int width);
void VuyaCrToGrey_Scalar(const uint8_t* src, uint8_t* dst, int width);
void BgrxToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width);
void RgbxToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width);
void XrgbToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width);
void RgbToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width);
void GreyToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width);
void PlanesToBgr_Scalar(const uint8_t* b, const uint8_t* g, const uint8_t* r, uint8_t* dst,
                        int width);
void R555ToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width);
void R565ToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width);
void StudioExpand_Scalar(const uint8_t* src, uint8_t* dst, int count);
void Reduce16LE_Scalar(const uint8_t* src, uint8_t* dst, int count, int maxValue);
void Reduce16BE_Scalar(const uint8_t* src, uint8_t* dst, int count, int maxValue);
void ReduceBits16LE_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                           int maxValue);
void ReduceBits16BE_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                           int maxValue);
void ReduceBits32LE_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                           int maxValue);
void ReduceBits32BE_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                           int maxValue);
void HighBytes16_Scalar(const uint8_t* src, uint8_t* dst, int count);
void LowAddressBytes16_Scalar(const uint8_t* src, uint8_t* dst, int count);
void SplitHighBytes16_Scalar(const uint8_t* src, uint8_t* cb, uint8_t* cr, int pairs);
void ChromaBlend_Scalar(const uint8_t* a, const uint8_t* b, uint8_t* out, int count, int wa, int wb,
                        int shift);
void UyvyToPlanar_Scalar(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr, int width);
void YuyvToPlanar_Scalar(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr, int width);
void VyuyToPlanar_Scalar(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr, int width);
void VuyaDoubleToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width, int mode);
void VerticalLowPass121_Scalar(const uint8_t* above, const uint8_t* middle, const uint8_t* below,
                               uint8_t* out, int count);
void VuyaToBgrWith_Scalar(const uint8_t* src, uint8_t* dst, int width,
                          const colour::ColourCoefficients& c);
void VuyaLumaAsGrey_Scalar(const uint8_t* src, uint8_t* dst, int width);
void VuyaCbAsGrey_Scalar(const uint8_t* src, uint8_t* dst, int width);
void VuyaCrAsGrey_Scalar(const uint8_t* src, uint8_t* dst, int width);
void ChromaBlendFull_Scalar(const uint8_t* a, const uint8_t* b, uint8_t* out, int count, int wa,
                            int wb, int shift);

// A set's run-time colour kernel bound to one choice of colour::kColourChoices.
template <ColourKernel kKernel, int kChoice>
void ColourChoiceKernel(const uint8_t* src, uint8_t* dst, int width) {
    kKernel(src, dst, width, colour::kColourChoices[kChoice]);
}
// Installs a set's run-time colour kernel and its bindings to every choice.
template <ColourKernel kKernel>
void InstallColourKernel(KernelTable& t) {
    static_assert(colour::kColourChoiceCount == 6, "one binding per choice");
    t.vuyaToBgrWith = kKernel;
    t.vuyaToBgrChoice[0] = ColourChoiceKernel<kKernel, 0>;
    t.vuyaToBgrChoice[1] = ColourChoiceKernel<kKernel, 1>;
    t.vuyaToBgrChoice[2] = ColourChoiceKernel<kKernel, 2>;
    t.vuyaToBgrChoice[3] = ColourChoiceKernel<kKernel, 3>;
    t.vuyaToBgrChoice[4] = ColourChoiceKernel<kKernel, 4>;
    t.vuyaToBgrChoice[5] = ColourChoiceKernel<kKernel, 5>;
}

// Fills the entries a vector set replaces; entries it leaves alone keep the lower set's kernel.
void InstallSSE2(KernelTable& table);
void InstallSSSE3(KernelTable& table);
void InstallAVX2(KernelTable& table);
// The kernels of wide samples in 16-bit words (Kernels_wide.cpp, Kernels_avx2_wide.cpp).
void InstallWideSSE2(KernelTable& table);
void InstallWideAVX2(KernelTable& table);
// The byte-moving AVX2 kernels (Kernels_avx2_lines.cpp).
void InstallLinesAVX2(KernelTable& table);
// The AVX-512 set (Kernels_avx512*.cpp): the AVX2 set with AVX-512 kernels where they pay.
void InstallAVX512(KernelTable& table);

}  // namespace kernels
