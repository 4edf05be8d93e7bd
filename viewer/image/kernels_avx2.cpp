// The AVX2 kernel set: eight single-precision lanes for the Y'CbCr to R'G'B' matrix and the grey
// kernels, 32-byte steps for the 4:2:2 reconstruction. Only this file is compiled with -mavx2
// (and no FMA: every product is rounded on its own, as the reference computes it). Results
// are the SSE2 set's, bit for bit.
#include "Kernels.h"
#include "kernels_x86_inl.h"

#include <immintrin.h>

namespace kernels {
namespace {

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

inline void VuyaToBgr8(__m256i px, __m256i& b, __m256i& g, __m256i& r) {
    const __m256i mask = _mm256_set1_epi32(0xFF);
    const __m256 v =
        _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_and_si256(px, mask), _mm256_set1_epi32(128)));
    const __m256 u = _mm256_cvtepi32_ps(_mm256_sub_epi32(
        _mm256_and_si256(_mm256_srli_epi32(px, 8), mask), _mm256_set1_epi32(128)));
    const __m256 yy = _mm256_mul_ps(
        _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_and_si256(_mm256_srli_epi32(px, 16), mask),
                                            _mm256_set1_epi32(16))),
        _mm256_set1_ps(1.1643835f));
    r = _mm256_cvtps_epi32(_mm256_add_ps(yy, _mm256_mul_ps(v, _mm256_set1_ps(1.5960268f))));
    g = _mm256_cvtps_epi32(
        _mm256_sub_ps(_mm256_sub_ps(yy, _mm256_mul_ps(u, _mm256_set1_ps(0.3917623f))),
                      _mm256_mul_ps(v, _mm256_set1_ps(0.81296766f))));
    b = _mm256_cvtps_epi32(_mm256_add_ps(yy, _mm256_mul_ps(u, _mm256_set1_ps(2.0172322f))));
}

// Reads 4 x width, writes 3 x width; 16 pixels per step.
void VuyaToBgr_AVX2(const uint8_t* src, uint8_t* dst, int width) {
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        __m256i b0, g0, r0, b1, g1, r1;
        VuyaToBgr8(Load256(src + 4 * i), b0, g0, r0);
        VuyaToBgr8(Load256(src + 4 * i + 32), b1, g1, r1);
        StoreBgr48(dst + 3 * i, _mm_packus_epi16(Narrow(b0), Narrow(b1)),
                   _mm_packus_epi16(Narrow(g0), Narrow(g1)),
                   _mm_packus_epi16(Narrow(r0), Narrow(r1)));
    }
    for (; i < width; ++i)
        VuyaToBgrReference(src[4 * i], src[4 * i + 1], src[4 * i + 2], dst + 3 * i);
}

template <int kByte>
void GreyFromVuya_AVX2(const uint8_t* src, uint8_t* dst, int width) {
    const __m256 gain = _mm256_set1_ps(kByte == 2 ? 1.1643835f : 1.1383928f);
    const __m256i mask = _mm256_set1_epi32(0xFF);
    auto grey8 = [&](const uint8_t* p) {
        const __m256i x = _mm256_and_si256(_mm256_srli_epi32(Load256(p), 8 * kByte), mask);
        return Narrow(_mm256_cvtps_epi32(
            _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(x, _mm256_set1_epi32(16))), gain)));
    };
    int i = 0;
    for (; i + 16 <= width; i += 16)
        StoreGrey48(dst + 3 * i, _mm_packus_epi16(grey8(src + 4 * i), grey8(src + 4 * i + 32)));
    for (; i < width; ++i) {
        const uint8_t x = src[4 * i + kByte];
        dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] =
            kByte == 2 ? LumaGreyReference(x) : ChromaGreyReference(x);
    }
}

// (9 (c0 + c1) - cm1 - c2 + 8) >> 4 on 16-bit lanes, arithmetic shift.
inline __m256i Interpolate16x16(__m256i cm1, __m256i c0, __m256i c1, __m256i c2) {
    const __m256i s = _mm256_add_epi16(c0, c1);
    const __m256i nine = _mm256_add_epi16(_mm256_slli_epi16(s, 3), s);
    return _mm256_srai_epi16(
        _mm256_sub_epi16(_mm256_sub_epi16(_mm256_add_epi16(nine, _mm256_set1_epi16(8)), cm1), c2),
        4);
}

// Planar 4:2:2 lines to VUYA, sixteen pairs per step; the line's ends as in the SSE2 set.
// Reads width luma bytes and ceil(width / 2) bytes of each chroma line; writes 4 x width.
void Planar422ToVuya_AVX2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                          int width) {
    const int n = width / 2;
    auto wide = [](const uint8_t* p) { return _mm256_cvtepu8_epi16(Load(p)); };
    auto scalarPair = [&](int k) {
        Pair422(
            dst, k, n, [&](int j) { return cb[j]; }, [&](int j) { return cr[j]; },
            [&](int i) { return y[i]; });
    };
    int k = 0;
    if (n > 0) {
        scalarPair(0);
        k = 1;
    }
    const __m128i ones = _mm_set1_epi8(-1);
    for (; k + 18 <= n; k += 16) {
        const __m256i cbOdd =
            Interpolate16x16(wide(cb + k - 1), wide(cb + k), wide(cb + k + 1), wide(cb + k + 2));
        const __m256i crOdd =
            Interpolate16x16(wide(cr + k - 1), wide(cr + k), wide(cr + k + 1), wide(cr + k + 2));
        // Clamp and narrow to bytes in order (packus works per 128-bit half).
        const __m256i both = _mm256_permute4x64_epi64(_mm256_packus_epi16(crOdd, cbOdd), 0xD8);
        const __m128i crOdd8 = _mm256_castsi256_si128(both);
        const __m128i cbOdd8 = _mm256_extracti128_si256(both, 1);
        const __m128i cr8 = Load(cr + k), cb8 = Load(cb + k);
        uint8_t* d = dst + 8 * k;
        for (int h = 0; h < 2; ++h) {
            const __m128i even = h ? _mm_unpackhi_epi8(cr8, cb8) : _mm_unpacklo_epi8(cr8, cb8);
            const __m128i odd =
                h ? _mm_unpackhi_epi8(crOdd8, cbOdd8) : _mm_unpacklo_epi8(crOdd8, cbOdd8);
            const __m128i luma = Load(y + 2 * k + 16 * h);
            const __m128i yaLo = _mm_unpacklo_epi8(luma, ones), yaHi = _mm_unpackhi_epi8(luma, ones);
            const __m128i cLo = _mm_unpacklo_epi16(even, odd), cHi = _mm_unpackhi_epi16(even, odd);
            uint8_t* dh = d + 64 * h;
            Store256(dh, _mm256_setr_m128i(_mm_unpacklo_epi16(cLo, yaLo), _mm_unpackhi_epi16(cLo, yaLo)));
            Store256(dh + 32, _mm256_setr_m128i(_mm_unpacklo_epi16(cHi, yaHi), _mm_unpackhi_epi16(cHi, yaHi)));
        }
    }
    for (; k < n; ++k) scalarPair(k);
    if (width & 1) {
        uint8_t* d = dst + 8 * n;
        d[0] = cr[n];
        d[1] = cb[n];
        d[2] = y[2 * n];
        d[3] = 255;
    }
}

}  // namespace

void InstallAVX2(KernelTable& t) {
    InstallSSSE3(t);
    t.level = SimdLevel::AVX2;
    t.vuyaToBgr = VuyaToBgr_AVX2;
    t.vuyaLumaToGrey = GreyFromVuya_AVX2<2>;
    t.vuyaCbToGrey = GreyFromVuya_AVX2<1>;
    t.vuyaCrToGrey = GreyFromVuya_AVX2<0>;
    t.planar422ToVuya = Planar422ToVuya_AVX2;
}

}  // namespace kernels
