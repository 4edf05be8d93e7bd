// AVX2 building blocks shared by the AVX2 kernel files (Kernels_avx2*.cpp, the only files
// compiled with -mavx2). Internal linkage, like Kernels_x86_inl.h.
#pragma once

#include "Kernels_x86_inl.h"

#include <immintrin.h>

#include <cstdint>

namespace kernels {

// The "VUYA" layout's own conversion (Kernels_avx2_vuya.cpp): read 4 x width, write 3 x width.
void VuyaDoubleToBgr_AVX2(const uint8_t* src, uint8_t* dst, int width, int mode);
// A VUYA line with the coefficients of any matrix and range (Kernels_avx2_vuya.cpp): read
// 4 x width, write 3 x width.
void VuyaToBgrWith_AVX2(const uint8_t* src, uint8_t* dst, int width,
                        const colour::ColourCoefficients& coefficients);

namespace {

// The per-step helpers must be inlined into their loops: called out of line they pass their
// vectors through memory, which costs more than the work they do.
#define KAVLO_STEP inline __attribute__((always_inline))

inline __m256i Load256(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void Store256(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// Eight 32-bit lanes to eight 16-bit values in order.
inline __m128i Narrow(__m256i v) {
    return _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// B', G', R' of 16 pixels as 32-bit integers (pixels 0..7 in b0, 8..15 in b1) to 48 bytes,
// saturated to 0..255. The in-lane packs leave the pixels in the order 0-3, 8-11 | 4-7, 12-15
// per component; one dword permutation restores it.
inline void StoreBgr16(uint8_t* dst, __m256i b0, __m256i b1, __m256i g0, __m256i g1, __m256i r0,
                       __m256i r1) {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i bg = _mm256_permutevar8x32_epi32(
        _mm256_packus_epi16(_mm256_packs_epi32(b0, b1), _mm256_packs_epi32(g0, g1)), order);
    const __m256i rw = _mm256_packs_epi32(r0, r1);
    const __m256i rr = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(rw, rw), order);
    StoreBgr48(dst, _mm256_castsi256_si128(bg), _mm256_extracti128_si256(bg, 1),
               _mm256_castsi256_si128(rr));
}

}  // namespace
}  // namespace kernels
