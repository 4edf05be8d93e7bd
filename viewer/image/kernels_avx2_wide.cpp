// Wide samples in 16-bit words reduced to 8 bits: the AVX2 kernels (compiled with -mavx2).
#include "Kernels.h"

#include <immintrin.h>

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

}  // namespace

void InstallWideAVX2(KernelTable& t) {
    t.reduceBits16LE = ReduceBits16_AVX2<false>;
    t.reduceBits16BE = ReduceBits16_AVX2<true>;
}

}  // namespace kernels
