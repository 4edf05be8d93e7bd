// Wide samples in 16- and 32-bit words reduced to 8 bits: the scalar and SSE2 kernels.
#include "Kernels.h"

#include <emmintrin.h>

#include <cstddef>

namespace kernels {
namespace {

template <bool kBig>
void ReduceBits16_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                         int maxValue) {
    const uint32_t mask = (1u << bits) - 1u, half = 1u << (bits - 9);
    const int down = bits - 8;
    for (int i = 0; i < count; ++i) {
        const uint32_t lo = src[2 * i + (kBig ? 1 : 0)], hi = src[2 * i + (kBig ? 0 : 1)];
        const uint32_t v = (((hi << 8 | lo) >> shift) & mask) + half;
        const uint32_t r = v >> down;
        dst[i] = uint8_t(r < uint32_t(maxValue) ? r : uint32_t(maxValue));
    }
}

// (v + 2^(d-1)) >> d without overflowing 16-bit lanes: (v >> d) plus bit d-1 of v.
template <bool kBig>
void ReduceBits16_SSE2(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                       int maxValue) {
    const __m128i limit = _mm_set1_epi16(short(maxValue));
    const __m128i mask = _mm_set1_epi16(short((1u << bits) - 1u)), one = _mm_set1_epi16(1);
    const __m128i byShift = _mm_cvtsi32_si128(shift), byDown = _mm_cvtsi32_si128(bits - 8),
                  byHalf = _mm_cvtsi32_si128(bits - 9);
    auto eight = [&](__m128i s) {
        if (kBig) s = _mm_or_si128(_mm_slli_epi16(s, 8), _mm_srli_epi16(s, 8));
        const __m128i v = _mm_and_si128(_mm_srl_epi16(s, byShift), mask);
        const __m128i r =
            _mm_add_epi16(_mm_srl_epi16(v, byDown), _mm_and_si128(_mm_srl_epi16(v, byHalf), one));
        return _mm_min_epi16(r, limit);
    };
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(eight(a), eight(b)));
    }
    ReduceBits16_Scalar<kBig>(src + 2 * i, dst + i, count - i, shift, bits, maxValue);
}

// One field of u32 words: the rule of the 16-bit kernels.
template <bool kBig>
void ReduceBits32_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                         int maxValue) {
    const uint32_t mask = (1u << bits) - 1u, half = 1u << (bits - 9);
    const int down = bits - 8;
    for (int i = 0; i < count; ++i) {
        const uint8_t* p = src + 4 * size_t(i);
        const uint32_t w =
            kBig ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                 : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        const uint32_t r = (((w >> shift) & mask) + half) >> down;
        dst[i] = uint8_t(r < uint32_t(maxValue) ? r : uint32_t(maxValue));
    }
}

// 16 words per step: the field in 32-bit lanes (no overflow), then narrowed and limited.
template <bool kBig>
void ReduceBits32_SSE2(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                       int maxValue) {
    const __m128i limit = _mm_set1_epi16(short(maxValue));
    const __m128i mask = _mm_set1_epi32(int((1u << bits) - 1u)),
                  half = _mm_set1_epi32(int(1u << (bits - 9)));
    const __m128i byShift = _mm_cvtsi32_si128(shift), byDown = _mm_cvtsi32_si128(bits - 8);
    auto field = [&](const uint8_t* p) {
        __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (kBig) {
            const __m128i bytes = _mm_set1_epi32(0x0000FF00);
            w = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(w, 24), _mm_srli_epi32(w, 24)),
                             _mm_or_si128(_mm_and_si128(_mm_srli_epi32(w, 8), bytes),
                                          _mm_slli_epi32(_mm_and_si128(w, bytes), 8)));
        }
        const __m128i v = _mm_and_si128(_mm_srl_epi32(w, byShift), mask);
        return _mm_srl_epi32(_mm_add_epi32(v, half), byDown);
    };
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint8_t* p = src + 4 * size_t(i);
        const __m128i lo = _mm_min_epi16(_mm_packs_epi32(field(p), field(p + 16)), limit);
        const __m128i hi = _mm_min_epi16(_mm_packs_epi32(field(p + 32), field(p + 48)), limit);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
    ReduceBits32_Scalar<kBig>(src + 4 * size_t(i), dst + i, count - i, shift, bits, maxValue);
}

}  // namespace

void ReduceBits32LE_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                           int maxValue) {
    ReduceBits32_Scalar<false>(src, dst, count, shift, bits, maxValue);
}
void ReduceBits32BE_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                           int maxValue) {
    ReduceBits32_Scalar<true>(src, dst, count, shift, bits, maxValue);
}

void ReduceBits16LE_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                           int maxValue) {
    ReduceBits16_Scalar<false>(src, dst, count, shift, bits, maxValue);
}
void ReduceBits16BE_Scalar(const uint8_t* src, uint8_t* dst, int count, int shift, int bits,
                           int maxValue) {
    ReduceBits16_Scalar<true>(src, dst, count, shift, bits, maxValue);
}

void InstallWideSSE2(KernelTable& t) {
    t.reduceBits16LE = ReduceBits16_SSE2<false>;
    t.reduceBits16BE = ReduceBits16_SSE2<true>;
    t.reduceBits32LE = ReduceBits32_SSE2<false>;
    t.reduceBits32BE = ReduceBits32_SSE2<true>;
}

}  // namespace kernels
