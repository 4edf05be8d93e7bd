// SSE2 building blocks shared by the vector kernel files. Everything here has internal linkage
// so that each file gets its own copy compiled with its own instruction set: a copy built with
// -mssse3 can never be picked by the linker for the SSE2 file.
#pragma once

#include "ColourMatrix.h"
#include "Kernels.h"

#include <emmintrin.h>
#ifdef __SSSE3__
#include <tmmintrin.h>
#endif

#include <array>

#include <cstdint>

namespace {

inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Load8(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Four vectors of 12 valid bytes each (bytes 12..15 zero) to 48 contiguous bytes.
inline void Store4x12(uint8_t* dst, __m128i a, __m128i b, __m128i c, __m128i d) {
    Store(dst, _mm_or_si128(a, _mm_slli_si128(b, 12)));
    Store(dst + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    Store(dst + 32, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
}

// Four 4-byte pixels with the payload in bytes 0..2 of each to 12 bytes (bytes 12..15 zero).
inline __m128i Compact4to3(__m128i v) {
    const __m128i lowPixel = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i highPixel =
        _mm_set_epi32(0x0000FFFF, int(0xFF000000u), 0x0000FFFF, int(0xFF000000u));
    // In each 64-bit lane: bytes 0..2 stay, bytes 4..6 move to 3..5.
    const __m128i keep = _mm_and_si128(v, lowPixel);
    const __m128i moved = _mm_and_si128(_mm_srli_epi64(v, 8), highPixel);
    const __m128i lanes = _mm_or_si128(keep, moved);  // bytes 0..5 and 8..13 valid
    const __m128i lo = _mm_and_si128(lanes, _mm_set_epi32(0, 0, 0x0000FFFF, -1));
    const __m128i hi =
        _mm_and_si128(_mm_srli_si128(lanes, 2), _mm_set_epi32(0, -1, int(0xFFFF0000u), 0));
    return _mm_or_si128(lo, hi);
}

// 16 B', 16 G', 16 R' bytes to 48 bytes B', G', R'.
inline void StoreBgr48_SSE2(uint8_t* dst, __m128i b, __m128i g, __m128i r) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
    const __m128i r0Lo = _mm_unpacklo_epi8(r, zero), r0Hi = _mm_unpackhi_epi8(r, zero);
    Store4x12(dst, Compact4to3(_mm_unpacklo_epi16(bgLo, r0Lo)),
              Compact4to3(_mm_unpackhi_epi16(bgLo, r0Lo)),
              Compact4to3(_mm_unpacklo_epi16(bgHi, r0Hi)),
              Compact4to3(_mm_unpackhi_epi16(bgHi, r0Hi)));
}

// Chroma of the odd pixel of every pair, on 16-bit lanes: (9 (c0 + c1) - cm1 - c2 + 8) >> 4 with
// an arithmetic shift; the caller clamps to 0..255 when it packs.
inline __m128i Interpolate16(__m128i cm1, __m128i c0, __m128i c1, __m128i c2) {
    const __m128i s = _mm_add_epi16(c0, c1);
    const __m128i nine = _mm_add_epi16(_mm_slli_epi16(s, 3), s);
    const __m128i v = _mm_sub_epi16(_mm_sub_epi16(_mm_add_epi16(nine, _mm_set1_epi16(8)), cm1), c2);
    return _mm_srai_epi16(v, 4);
}

inline uint8_t ClampByte(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
inline int ClampPair(int k, int n) { return k < 0 ? 0 : k > n - 1 ? n - 1 : k; }

// One pair of a 4:2:2 line in scalar code (the line's ends, where neighbours are clamped).
// Chroma of pair k is read through cb(k) / cr(k), luma of pixel i through y(i).
template <class CbFn, class CrFn, class YFn>
inline void Pair422(uint8_t* d, int k, int n, CbFn cb, CrFn cr, YFn y) {
    auto interp = [&](auto c) {
        const int v = (9 * (c(ClampPair(k, n)) + c(ClampPair(k + 1, n))) - c(ClampPair(k - 1, n)) -
                       c(ClampPair(k + 2, n)) + 8) >>
                      4;
        return ClampByte(v);
    };
    d[0] = cr(k);
    d[1] = cb(k);
    d[2] = y(2 * k);
    d[3] = 255;
    d[4] = interp(cr);
    d[5] = interp(cb);
    d[6] = y(2 * k + 1);
    d[7] = 255;
}

// Byte positions of Y'0, Cb, Y'1, Cr inside a 4-byte packed pair.
template <int kY0, int kCb, int kY1, int kCr>
inline void PackedPair(const uint8_t* s, uint8_t* dst, int k, int n) {
    Pair422(
        dst + 8 * k, k, n, [&](int j) { return s[4 * j + kCb]; },
        [&](int j) { return s[4 * j + kCr]; },
        [&](int i) { return s[4 * (i / 2) + ((i & 1) ? kY1 : kY0)]; });
}

// Last pixel of an odd width: its own pair's chroma.
template <int kY0, int kCb, int kY1, int kCr>
inline void PackedOddTail(const uint8_t* s, uint8_t* dst, int width) {
    (void)kY1;
    const int n = width / 2;
    if (!(width & 1)) return;
    uint8_t* d = dst + 8 * n;
    d[0] = s[4 * n + kCr];
    d[1] = s[4 * n + kCb];
    d[2] = s[4 * n + kY0];
    d[3] = 255;
}

// 4:2:2 packed pairs to VUYA, four pairs per step. Each 32-bit lane holds one pair; the chroma
// of the pair and of its neighbours (loaded again at pair offsets -1, +1, +2) sits in 16-bit
// lanes as (Cb, Cr) or (Cr, Cb), and the filter runs on both components at once.
// Reads 4 x ceil(width / 2) bytes; writes 4 x width bytes.
template <int kY0, int kCb, int kY1, int kCr>
inline void PackedToVuya_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    const int n = width / 2;
    const __m128i low = _mm_set1_epi32(0x00FF00FF);
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    // Chroma bytes of each pair as 16-bit lanes, Cb/Cr positions 0/2 or 1/3.
    auto chroma = [&](const uint8_t* p) {
        const __m128i v = Load(p);
        return (kCb & 1) ? _mm_srli_epi16(v, 8) : _mm_and_si128(v, low);
    };
    // From 32-bit lanes holding the chroma words to lanes Cr | Cb << 8 in the low 16 bits.
    auto crcb = [&](__m128i c) {
        const __m128i first = _mm_and_si128(c, _mm_set1_epi32(0xFF));
        const __m128i second = _mm_srli_epi32(c, 16);
        // Cb first in the pair (kCb < kCr): Cr is the second word.
        return kCb < kCr ? _mm_or_si128(second, _mm_slli_epi32(first, 8))
                         : _mm_or_si128(first, _mm_slli_epi32(second, 8));
    };
    int k = 0;
    if (n > 0) {
        PackedPair<kY0, kCb, kY1, kCr>(src, dst, 0, n);
        k = 1;
    }
    for (; k + 6 <= n; k += 4) {
        const uint8_t* p = src + 4 * k;
        const __m128i v = Load(p);
        const __m128i c0 = (kCb & 1) ? _mm_srli_epi16(v, 8) : _mm_and_si128(v, low);
        const __m128i odd = Interpolate16(chroma(p - 4), c0, chroma(p + 4), chroma(p + 8));
        // Clamp to 0..255 per 16-bit lane.
        const __m128i oddClamped =
            _mm_min_epi16(_mm_max_epi16(odd, _mm_setzero_si128()), _mm_set1_epi16(255));
        const __m128i y0 = _mm_and_si128(_mm_srli_epi32(v, 8 * kY0), _mm_set1_epi32(0xFF));
        const __m128i y1 = _mm_and_si128(_mm_srli_epi32(v, 8 * kY1), _mm_set1_epi32(0xFF));
        const __m128i even = _mm_or_si128(_mm_or_si128(crcb(c0), _mm_slli_epi32(y0, 16)), alpha);
        const __m128i oddPx =
            _mm_or_si128(_mm_or_si128(crcb(oddClamped), _mm_slli_epi32(y1, 16)), alpha);
        Store(dst + 8 * k, _mm_unpacklo_epi32(even, oddPx));
        Store(dst + 8 * k + 16, _mm_unpackhi_epi32(even, oddPx));
    }
    for (; k < n; ++k) PackedPair<kY0, kCb, kY1, kCr>(src, dst, k, n);
    PackedOddTail<kY0, kCb, kY1, kCr>(src, dst, width);
}

// Planar 4:2:2 lines to VUYA, eight pairs per step.
// Reads width luma bytes and ceil(width / 2) bytes of each chroma line; writes 4 x width.
inline void Planar422ToVuya_SSE2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                                 uint8_t* dst, int width) {
    const int n = width / 2;
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi8(-1);
    auto wide = [&](const uint8_t* p) { return _mm_unpacklo_epi8(Load8(p), zero); };
    auto scalarPair = [&](int k) {
        Pair422(
            dst + 8 * k, k, n, [&](int j) { return cb[j]; }, [&](int j) { return cr[j]; },
            [&](int i) { return y[i]; });
    };
    int k = 0;
    if (n > 0) {
        scalarPair(0);
        k = 1;
    }
    for (; k + 10 <= n; k += 8) {
        const __m128i cbOdd =
            Interpolate16(wide(cb + k - 1), wide(cb + k), wide(cb + k + 1), wide(cb + k + 2));
        const __m128i crOdd =
            Interpolate16(wide(cr + k - 1), wide(cr + k), wide(cr + k + 1), wide(cr + k + 2));
        const __m128i even = _mm_unpacklo_epi8(Load8(cr + k), Load8(cb + k));
        const __m128i odd =
            _mm_unpacklo_epi8(_mm_packus_epi16(crOdd, crOdd), _mm_packus_epi16(cbOdd, cbOdd));
        const __m128i luma = Load(y + 2 * k);
        const __m128i yaLo = _mm_unpacklo_epi8(luma, ones), yaHi = _mm_unpackhi_epi8(luma, ones);
        const __m128i cLo = _mm_unpacklo_epi16(even, odd), cHi = _mm_unpackhi_epi16(even, odd);
        uint8_t* d = dst + 8 * k;
        Store(d, _mm_unpacklo_epi16(cLo, yaLo));
        Store(d + 16, _mm_unpackhi_epi16(cLo, yaLo));
        Store(d + 32, _mm_unpacklo_epi16(cHi, yaHi));
        Store(d + 48, _mm_unpackhi_epi16(cHi, yaHi));
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

// Four VUYA pixels to B', G', R' as 32-bit integers, in single precision with ties to even
// (the default rounding mode), in exactly the order of VuyaToBgrReference.
inline void VuyaToBgr4(__m128i px, __m128i& b, __m128i& g, __m128i& r) {
    using namespace colour;
    const __m128i mask = _mm_set1_epi32(0xFF);
    const __m128i zero = _mm_set1_epi32(kChromaZero);
    const __m128 v = _mm_cvtepi32_ps(_mm_sub_epi32(_mm_and_si128(px, mask), zero));
    const __m128 u =
        _mm_cvtepi32_ps(_mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(px, 8), mask), zero));
    const __m128 yy =
        _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(px, 16), mask),
                                                 _mm_set1_epi32(kLumaBlack))),
                   _mm_set1_ps(kLumaGain));
    r = _mm_cvtps_epi32(_mm_add_ps(yy, _mm_mul_ps(v, _mm_set1_ps(kCrToR))));
    g = _mm_cvtps_epi32(_mm_sub_ps(_mm_sub_ps(yy, _mm_mul_ps(u, _mm_set1_ps(kCbToG))),
                                   _mm_mul_ps(v, _mm_set1_ps(kCrToG))));
    b = _mm_cvtps_epi32(_mm_add_ps(yy, _mm_mul_ps(u, _mm_set1_ps(kCbToB))));
}

// 16 VUYA pixels to 16 bytes each of B', G', R' (clamped to 0..255 by saturating packs).
inline void VuyaToBgr16(const uint8_t* s, __m128i& b, __m128i& g, __m128i& r) {
    __m128i bb[4], gg[4], rr[4];
    for (int i = 0; i < 4; ++i) VuyaToBgr4(Load(s + 16 * i), bb[i], gg[i], rr[i]);
    b = _mm_packus_epi16(_mm_packs_epi32(bb[0], bb[1]), _mm_packs_epi32(bb[2], bb[3]));
    g = _mm_packus_epi16(_mm_packs_epi32(gg[0], gg[1]), _mm_packs_epi32(gg[2], gg[3]));
    r = _mm_packus_epi16(_mm_packs_epi32(rr[0], rr[1]), _mm_packs_epi32(rr[2], rr[3]));
}

// The coefficients of one matrix and range in every lane, for the run-time colour kernels.
struct ColourVectors {
    __m128i black;
    __m128 gain, crToR, cbToG, crToG, cbToB;
    explicit ColourVectors(const colour::ColourCoefficients& c)
        : black(_mm_set1_epi32(c.lumaBlack)),
          gain(_mm_set1_ps(c.lumaGain)),
          crToR(_mm_set1_ps(c.crToR)),
          cbToG(_mm_set1_ps(c.cbToG)),
          crToG(_mm_set1_ps(c.crToG)),
          cbToB(_mm_set1_ps(c.cbToB)) {}
};

// VuyaToBgr4 with run-time coefficients, in the order of the reference with coefficients.
inline void VuyaToBgr4With(__m128i px, const ColourVectors& c, __m128i& b, __m128i& g, __m128i& r) {
    const __m128i mask = _mm_set1_epi32(0xFF);
    const __m128i zero = _mm_set1_epi32(colour::kChromaZero);
    const __m128 v = _mm_cvtepi32_ps(_mm_sub_epi32(_mm_and_si128(px, mask), zero));
    const __m128 u =
        _mm_cvtepi32_ps(_mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(px, 8), mask), zero));
    const __m128 yy = _mm_mul_ps(
        _mm_cvtepi32_ps(_mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(px, 16), mask), c.black)),
        c.gain);
    r = _mm_cvtps_epi32(_mm_add_ps(yy, _mm_mul_ps(v, c.crToR)));
    g = _mm_cvtps_epi32(_mm_sub_ps(_mm_sub_ps(yy, _mm_mul_ps(u, c.cbToG)), _mm_mul_ps(v, c.crToG)));
    b = _mm_cvtps_epi32(_mm_add_ps(yy, _mm_mul_ps(u, c.cbToB)));
}

// 16 VUYA pixels to 16 grey bytes round((x - 16) * gain) from the byte at `byteIndex`.
inline __m128i Grey16(const uint8_t* s, int byteIndex, float gain) {
    const __m128i mask = _mm_set1_epi32(0xFF);
    const __m128 f = _mm_set1_ps(gain);
    __m128i q[4];
    for (int i = 0; i < 4; ++i) {
        const __m128i x =
            _mm_and_si128(_mm_srl_epi32(Load(s + 16 * i), _mm_cvtsi32_si128(8 * byteIndex)), mask);
        q[i] = _mm_cvtps_epi32(
            _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(x, _mm_set1_epi32(colour::kLumaBlack))), f));
    }
    return _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
}

// How 16 pixels become 48 bytes of B', G', R' in the SSE2 set: by shifts and masks. The
// SSSE3 set's byte shuffles (Bgr48ByShuffles below) store the same bytes.
struct Bgr48ByShifts {
    static void Bgr(uint8_t* dst, __m128i b, __m128i g, __m128i r) {
        StoreBgr48_SSE2(dst, b, g, r);
    }
    static void Grey(uint8_t* dst, __m128i g) { StoreBgr48_SSE2(dst, g, g, g); }
};

// Line kernels that the SSE2 and SSSE3 sets share, written once for a store `Out` (one of the
// Bgr48By... structs). Each file instantiates them with its own instruction set.

// Reads 4 x width, writes 3 x width; 16 pixels per step.
template <class Out>
inline void VuyaToBgrLine(const uint8_t* src, uint8_t* dst, int width) {
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        __m128i b, g, r;
        VuyaToBgr16(src + 4 * i, b, g, r);
        Out::Bgr(dst + 3 * i, b, g, r);
    }
    for (; i < width; ++i)
        kernels::VuyaToBgrReference(src[4 * i], src[4 * i + 1], src[4 * i + 2], dst + 3 * i);
}

// VuyaToBgrLine with run-time coefficients. Reads 4 x width, writes 3 x width; 16 pixels per
// step.
template <class Out>
inline void VuyaToBgrWithLine(const uint8_t* src, uint8_t* dst, int width,
                              const colour::ColourCoefficients& coefficients) {
    const ColourVectors c(coefficients);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        __m128i bb[4], gg[4], rr[4];
        for (int j = 0; j < 4; ++j)
            VuyaToBgr4With(Load(src + 4 * i + 16 * j), c, bb[j], gg[j], rr[j]);
        Out::Bgr(dst + 3 * i,
                 _mm_packus_epi16(_mm_packs_epi32(bb[0], bb[1]), _mm_packs_epi32(bb[2], bb[3])),
                 _mm_packus_epi16(_mm_packs_epi32(gg[0], gg[1]), _mm_packs_epi32(gg[2], gg[3])),
                 _mm_packus_epi16(_mm_packs_epi32(rr[0], rr[1]), _mm_packs_epi32(rr[2], rr[3])));
    }
    for (; i < width; ++i)
        kernels::VuyaToBgrReference(src[4 * i], src[4 * i + 1], src[4 * i + 2], dst + 3 * i,
                                    coefficients);
}

// One VUYA byte (2: Y', 1: Cb, 0: Cr) as grey as it is. Reads 4 x width, writes 3 x width.
template <class Out, int kByte>
inline void ByteFromVuyaLine(const uint8_t* src, uint8_t* dst, int width) {
    const __m128i mask = _mm_set1_epi32(0xFF);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        __m128i q[4];
        for (int j = 0; j < 4; ++j)
            q[j] = _mm_and_si128(_mm_srli_epi32(Load(src + 4 * i + 16 * j), 8 * kByte), mask);
        Out::Grey(dst + 3 * i,
                  _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3])));
    }
    for (; i < width; ++i) dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = src[4 * i + kByte];
}

// One VUYA byte (2: Y', 1: Cb, 0: Cr) as grey. Reads 4 x width, writes 3 x width.
template <class Out, int kByte>
inline void GreyFromVuyaLine(const uint8_t* src, uint8_t* dst, int width) {
    const float gain = kByte == 2 ? colour::kLumaGain : colour::kChromaGain;
    int i = 0;
    for (; i + 16 <= width; i += 16) Out::Grey(dst + 3 * i, Grey16(src + 4 * i, kByte, gain));
    for (; i < width; ++i) {
        const uint8_t x = src[4 * i + kByte];
        dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] =
            kByte == 2 ? kernels::LumaGreyReference(x) : kernels::ChromaGreyReference(x);
    }
}

// Reads width, writes 3 x width.
template <class Out>
inline void GreyToBgrLine(const uint8_t* src, uint8_t* dst, int width) {
    int i = 0;
    for (; i + 16 <= width; i += 16) Out::Grey(dst + 3 * i, Load(src + i));
    kernels::GreyToBgr_Scalar(src + i, dst + 3 * i, width - i);
}

// Reads width bytes of each plane, writes 3 x width.
template <class Out>
inline void PlanesToBgrLine(const uint8_t* b, const uint8_t* g, const uint8_t* r, uint8_t* dst,
                            int width) {
    int i = 0;
    for (; i + 16 <= width; i += 16) Out::Bgr(dst + 3 * i, Load(b + i), Load(g + i), Load(r + i));
    kernels::PlanesToBgr_Scalar(b + i, g + i, r + i, dst + 3 * i, width - i);
}

#ifdef __SSSE3__
// Byte-shuffle helpers, only in files built with SSSE3 or above.
using Mask = std::array<int8_t, 16>;

inline __m128i M(const Mask& m) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(m.data()));
}

// Masks that spread 16 bytes of one component over the 48 bytes of 16 B', G', R' pixels:
// kSpread[component][chunk] picks, for each byte of output chunk `chunk`, the source byte of that
// component or nothing (0x80).
constexpr std::array<std::array<Mask, 3>, 3> MakeSpread() {
    std::array<std::array<Mask, 3>, 3> s{};
    for (int comp = 0; comp < 3; ++comp) {
        for (int chunk = 0; chunk < 3; ++chunk) {
            for (int i = 0; i < 16; ++i) {
                const int j = 16 * chunk + i;
                s[size_t(comp)][size_t(chunk)][size_t(i)] = int8_t(j % 3 == comp ? j / 3 : -128);
            }
        }
    }
    return s;
}
constexpr auto kSpread = MakeSpread();

inline void StoreBgr48(uint8_t* dst, __m128i b, __m128i g, __m128i r) {
    for (int c = 0; c < 3; ++c) {
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, M(kSpread[0][size_t(c)])),
                                                    _mm_shuffle_epi8(g, M(kSpread[1][size_t(c)]))),
                                       _mm_shuffle_epi8(r, M(kSpread[2][size_t(c)])));
        Store(dst + 16 * c, v);
    }
}

// One grey byte to three.
constexpr std::array<Mask, 3> MakeGreySpread() {
    std::array<Mask, 3> s{};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 16; ++i) s[size_t(c)][size_t(i)] = int8_t((16 * c + i) / 3);
    return s;
}
constexpr auto kGreySpread = MakeGreySpread();

inline void StoreGrey48(uint8_t* dst, __m128i g) {
    for (int c = 0; c < 3; ++c) Store(dst + 16 * c, _mm_shuffle_epi8(g, M(kGreySpread[size_t(c)])));
}

// The SSSE3 set's store of 16 pixels as 48 bytes.
struct Bgr48ByShuffles {
    static void Bgr(uint8_t* dst, __m128i b, __m128i g, __m128i r) { StoreBgr48(dst, b, g, r); }
    static void Grey(uint8_t* dst, __m128i g) { StoreGrey48(dst, g); }
};

#endif  // __SSSE3__

}  // namespace
