// The demosaic's row loop with AVX2: 32 pixels a step, the same arithmetic as the SSE2 loop.
#include "DemosaicRows.h"
#include "Kernels_x86_inl.h"

#include <immintrin.h>

#include <cstddef>

namespace {

inline __m256i Load32(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// (p + q + r + s + 2) >> 2 of 32 bytes. Unpacking and packing both work within 128-bit lanes,
// so the bytes come back in their places.
inline __m256i Average4(__m256i p, __m256i q, __m256i r, __m256i s) {
    const __m256i zero = _mm256_setzero_si256(), two = _mm256_set1_epi16(2);
    __m256i lo = _mm256_add_epi16(_mm256_unpacklo_epi8(p, zero), _mm256_unpacklo_epi8(q, zero));
    __m256i hi = _mm256_add_epi16(_mm256_unpackhi_epi8(p, zero), _mm256_unpackhi_epi8(q, zero));
    lo = _mm256_add_epi16(
        lo, _mm256_add_epi16(_mm256_unpacklo_epi8(r, zero), _mm256_unpacklo_epi8(s, zero)));
    hi = _mm256_add_epi16(
        hi, _mm256_add_epi16(_mm256_unpackhi_epi8(r, zero), _mm256_unpackhi_epi8(s, zero)));
    lo = _mm256_srli_epi16(_mm256_add_epi16(lo, two), 2);
    hi = _mm256_srli_epi16(_mm256_add_epi16(hi, two), 2);
    return _mm256_packus_epi16(lo, hi);
}

}  // namespace

int DemosaicInteriorAVX2(const uint8_t* a, const uint8_t* c, const uint8_t* b, int width,
                         int xParity, bool xIsRed, int x, uint8_t* bgr) {
    // Blocks start at odd columns: byte i is an X site when i's parity differs from xParity.
    const __m256i evenBytes = _mm256_set1_epi16(0x00FF);
    const __m256i xMask =
        xParity ? evenBytes : _mm256_andnot_si256(evenBytes, _mm256_set1_epi8(-1));
    for (; x + 33 <= width; x += 32) {
        const __m256i cl = Load32(c + x - 1), cc = Load32(c + x), cr = Load32(c + x + 1);
        const __m256i al = Load32(a + x - 1), ac = Load32(a + x), ar = Load32(a + x + 1);
        const __m256i bl = Load32(b + x - 1), bc = Load32(b + x), br = Load32(b + x + 1);
        const __m256i along = _mm256_avg_epu8(cl, cr);
        const __m256i down = _mm256_avg_epu8(ac, bc);
        const __m256i orthogonal = Average4(cl, cr, ac, bc);
        const __m256i diagonal = Average4(al, ar, bl, br);
        const __m256i xs = _mm256_blendv_epi8(along, cc, xMask);
        const __m256i gs = _mm256_blendv_epi8(cc, orthogonal, xMask);
        const __m256i ys = _mm256_blendv_epi8(down, diagonal, xMask);
        const __m256i bs = xIsRed ? ys : xs, rs = xIsRed ? xs : ys;
        uint8_t* out = bgr + 3 * size_t(x);
        StoreBgr48(out, _mm256_castsi256_si128(bs), _mm256_castsi256_si128(gs),
                   _mm256_castsi256_si128(rs));
        StoreBgr48(out + 48, _mm256_extracti128_si256(bs, 1), _mm256_extracti128_si256(gs, 1),
                   _mm256_extracti128_si256(rs, 1));
    }
    return x;
}
