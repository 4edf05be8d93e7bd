// Wide samples in 16- and 32-bit words reduced to 8 bits: the AVX2 kernels (compiled with
// -mavx2).
#include "Kernels.h"

#include <immintrin.h>

#include <cstddef>

namespace kernels {
namespace {

// The rule of ReduceBits16LE_Scalar, 32 samples per step; the scalar kernel ends the line.
template <bool kBig>
void ReduceBits16_AVX2(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                       int maxValue) {
    const __m256i limit = _mm256_set1_epi16(short(maxValue));
    const __m256i mask = _mm256_set1_epi16(short((1u << bits) - 1u)), one = _mm256_set1_epi16(1);
    const __m128i byShift = _mm_cvtsi32_si128(shift), byDown = _mm_cvtsi32_si128(bits - 8),
                  byHalf = _mm_cvtsi32_si128(bits - 9);
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1,
                                          0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    auto eight = [&](__m256i s) {
        if (kBig) s = _mm256_shuffle_epi8(s, swap);
        const __m256i v = _mm256_and_si256(_mm256_srl_epi16(s, byShift), mask);
        const __m256i r = _mm256_add_epi16(_mm256_srl_epi16(v, byDown),
                                           _mm256_and_si256(_mm256_srl_epi16(v, byHalf), one));
        return _mm256_min_epi16(r, limit);
    };
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i + 32));
        // packus works per 128-bit half; one permutation puts the bytes in order.
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(dst + i),
            _mm256_permute4x64_epi64(_mm256_packus_epi16(eight(a), eight(b)), 0xD8));
    }
    (kBig ? ReduceBits16BE_Scalar : ReduceBits16LE_Scalar)(src + 2 * i, dst + i, count - i, shift,
                                                           bits, maxValue);
}

// One field of u32 words, 32 per step: the field in 32-bit lanes, narrowed, limited, and the
// in-lane packing undone by one dword permutation.
template <bool kBig>
void ReduceBits32_AVX2(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                       int maxValue) {
    const __m256i limit = _mm256_set1_epi16(short(maxValue));
    const __m256i mask = _mm256_set1_epi32(int((1u << bits) - 1u)),
                  half = _mm256_set1_epi32(int(1u << (bits - 9)));
    const __m128i byShift = _mm_cvtsi32_si128(shift), byDown = _mm_cvtsi32_si128(bits - 8);
    const __m256i swap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3,
                                          2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    auto field = [&](const uint8_t* p) {
        __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        if (kBig) w = _mm256_shuffle_epi8(w, swap);
        const __m256i v = _mm256_and_si256(_mm256_srl_epi32(w, byShift), mask);
        return _mm256_srl_epi32(_mm256_add_epi32(v, half), byDown);
    };
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const uint8_t* p = src + 4 * size_t(i);
        const __m256i ab = _mm256_min_epi16(_mm256_packs_epi32(field(p), field(p + 32)), limit);
        const __m256i cd =
            _mm256_min_epi16(_mm256_packs_epi32(field(p + 64), field(p + 96)), limit);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                            _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd), order));
    }
    (kBig ? ReduceBits32BE_Scalar : ReduceBits32LE_Scalar)(src + 4 * size_t(i), dst + i, count - i,
                                                           shift, bits, maxValue);
}

}  // namespace

void InstallWideAVX2(KernelTable& t) {
    t.reduceBits16LE = ReduceBits16_AVX2<false>;
    t.reduceBits16BE = ReduceBits16_AVX2<true>;
    t.reduceBits32LE = ReduceBits32_AVX2<false>;
    t.reduceBits32BE = ReduceBits32_AVX2<true>;
}

}  // namespace kernels
