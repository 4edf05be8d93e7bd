// The AVX2 kernel set: eight single-precision lanes for the Y'CbCr to R'G'B' matrix and the grey
// kernels, 32-byte steps for the 4:2:2 reconstruction. Only the Kernels_avx2*.cpp files are
// compiled with -mavx2 (and no FMA: every product is rounded on its own, as the reference
// computes it). Results are the SSE2 set's, bit for bit.
#include "ColourMatrix.h"
#include "Kernels.h"
#include "Kernels_x86_inl.h"
#include "Kernels_avx2_inl.h"

#include <immintrin.h>

#include <algorithm>

namespace kernels {
namespace {

using namespace colour;

inline void VuyaToBgr8(__m256i px, __m256i& b, __m256i& g, __m256i& r) {
    const __m256i mask = _mm256_set1_epi32(0xFF);
    const __m256i zero = _mm256_set1_epi32(kChromaZero);
    const __m256 v = _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_and_si256(px, mask), zero));
    const __m256i cb = _mm256_and_si256(_mm256_srli_epi32(px, 8), mask);
    const __m256 u = _mm256_cvtepi32_ps(_mm256_sub_epi32(cb, zero));
    const __m256 yy = _mm256_mul_ps(
        _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_and_si256(_mm256_srli_epi32(px, 16), mask),
                                            _mm256_set1_epi32(kLumaBlack))),
        _mm256_set1_ps(kLumaGain));
    r = _mm256_cvtps_epi32(_mm256_add_ps(yy, _mm256_mul_ps(v, _mm256_set1_ps(kCrToR))));
    g = _mm256_cvtps_epi32(
        _mm256_sub_ps(_mm256_sub_ps(yy, _mm256_mul_ps(u, _mm256_set1_ps(kCbToG))),
                      _mm256_mul_ps(v, _mm256_set1_ps(kCrToG))));
    b = _mm256_cvtps_epi32(_mm256_add_ps(yy, _mm256_mul_ps(u, _mm256_set1_ps(kCbToB))));
}

// Reads 4 x width, writes 3 x width; 16 pixels per step.
void VuyaToBgr_AVX2(const uint8_t* src, uint8_t* dst, int width) {
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        __m256i b0, g0, r0, b1, g1, r1;
        VuyaToBgr8(Load256(src + 4 * i), b0, g0, r0);
        VuyaToBgr8(Load256(src + 4 * i + 32), b1, g1, r1);
        StoreBgr16(dst + 3 * i, b0, b1, g0, g1, r0, r1);
    }
    for (; i < width; ++i)
        VuyaToBgrReference(src[4 * i], src[4 * i + 1], src[4 * i + 2], dst + 3 * i);
}

template <int kByte>
void GreyFromVuya_AVX2(const uint8_t* src, uint8_t* dst, int width) {
    const __m256 gain = _mm256_set1_ps(kByte == 2 ? kLumaGain : kChromaGain);
    const __m256i mask = _mm256_set1_epi32(0xFF);
    auto grey8 = [&](const uint8_t* p) {
        const __m256i x = _mm256_and_si256(_mm256_srli_epi32(Load256(p), 8 * kByte), mask);
        return Narrow(_mm256_cvtps_epi32(_mm256_mul_ps(
            _mm256_cvtepi32_ps(_mm256_sub_epi32(x, _mm256_set1_epi32(kLumaBlack))), gain)));
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
            dst + 8 * k, k, n, [&](int j) { return cb[j]; }, [&](int j) { return cr[j]; },
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
            const __m128i yaLo = _mm_unpacklo_epi8(luma, ones),
                          yaHi = _mm_unpackhi_epi8(luma, ones);
            const __m128i cLo = _mm_unpacklo_epi16(even, odd), cHi = _mm_unpackhi_epi16(even, odd);
            uint8_t* dh = d + 64 * h;
            Store256(dh, _mm256_setr_m128i(_mm_unpacklo_epi16(cLo, yaLo),
                                           _mm_unpackhi_epi16(cLo, yaLo)));
            Store256(dh + 32, _mm256_setr_m128i(_mm_unpacklo_epi16(cHi, yaHi),
                                                _mm_unpackhi_epi16(cHi, yaHi)));
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

// The matrix of the fused kernels. Bt601Limited: the constants of ColourMatrix.h, as before;
// RunTimeMatrix: the coefficients of any matrix and range (the same numbers for BT.601 limited),
// in every lane. Both give the lanes and the scalar reference of their matrix.
struct Bt601Limited {
    // B' and R' as one multiply-add each (Y + U kCbToB, Y + V kCrToR rounded once) give the
    // reference's bytes for every input of this matrix
    // (ColourKernels.FusedBlueAndRedOverAllInputs).
    static constexpr bool kFuseBlueRed = true;
    KAVLO_STEP float Black() const { return float(kLumaBlack); }
    KAVLO_STEP __m256 Gain() const { return _mm256_set1_ps(kLumaGain); }
    KAVLO_STEP __m256 CrToR() const { return _mm256_set1_ps(kCrToR); }
    KAVLO_STEP __m256 CbToG() const { return _mm256_set1_ps(kCbToG); }
    KAVLO_STEP __m256 CrToG() const { return _mm256_set1_ps(kCrToG); }
    KAVLO_STEP __m256 CbToB() const { return _mm256_set1_ps(kCbToB); }
    void Ref(uint8_t cr, uint8_t cb, uint8_t y, uint8_t* bgr) const {
        VuyaToBgrReference(cr, cb, y, bgr);
    }
};
struct RunTimeMatrix {
    // Not every matrix keeps its bytes with a multiply-add (BT.709 at limited range does not).
    static constexpr bool kFuseBlueRed = false;
    const ColourCoefficients& c;
    __m256 gain, crToR, cbToG, crToG, cbToB;
    explicit RunTimeMatrix(const ColourCoefficients& k)
        : c(k),
          gain(_mm256_set1_ps(k.lumaGain)),
          crToR(_mm256_set1_ps(k.crToR)),
          cbToG(_mm256_set1_ps(k.cbToG)),
          crToG(_mm256_set1_ps(k.crToG)),
          cbToB(_mm256_set1_ps(k.cbToB)) {}
    KAVLO_STEP float Black() const { return float(c.lumaBlack); }
    KAVLO_STEP __m256 Gain() const { return gain; }
    KAVLO_STEP __m256 CrToR() const { return crToR; }
    KAVLO_STEP __m256 CbToG() const { return cbToG; }
    KAVLO_STEP __m256 CrToG() const { return crToG; }
    KAVLO_STEP __m256 CbToB() const { return cbToB; }
    void Ref(uint8_t cr, uint8_t cb, uint8_t y, uint8_t* bgr) const {
        VuyaToBgrReference(cr, cb, y, bgr, c);
    }
};

// Y + C k for B' and R': one multiply-add where the matrix allows it, else the reference's
// rounded product and sum.
template <class M>
KAVLO_STEP __m256 BlueRed(__m256 yy, __m256 c, __m256 k, const M&) {
    if constexpr (M::kFuseBlueRed) return _mm256_fmadd_ps(c, k, yy);
    return _mm256_add_ps(yy, _mm256_mul_ps(c, k));
}

// B', G', R' of eight pixels from Y', Cb, Cr as 32-bit integers, in the reference's order.
template <class M>
inline void YuvToBgr8(__m256i y, __m256i cb, __m256i cr, __m256i& b, __m256i& g, __m256i& r,
                      const M& m) {
    const __m256 yy =
        _mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(y), _mm256_set1_ps(m.Black())), m.Gain());
    const __m256 zero = _mm256_set1_ps(float(kChromaZero));
    const __m256 u = _mm256_sub_ps(_mm256_cvtepi32_ps(cb), zero);
    const __m256 v = _mm256_sub_ps(_mm256_cvtepi32_ps(cr), zero);
    r = _mm256_cvtps_epi32(BlueRed(yy, v, m.CrToR(), m));
    g = _mm256_cvtps_epi32(
        _mm256_sub_ps(_mm256_sub_ps(yy, _mm256_mul_ps(u, m.CbToG())), _mm256_mul_ps(v, m.CrToG())));
    b = _mm256_cvtps_epi32(BlueRed(yy, u, m.CbToB(), m));
}

// Sixteen pixels: luma bytes, chroma as 16-bit lanes (pixels 0..7 and 8..15).
template <class M>
inline void Store16Bgr(uint8_t* dst, __m128i luma, __m128i u0, __m128i u1, __m128i v0, __m128i v1,
                       const M& m) {
    __m256i b0, g0, r0, b1, g1, r1;
    YuvToBgr8(_mm256_cvtepu8_epi32(luma), _mm256_cvtepu16_epi32(u0), _mm256_cvtepu16_epi32(v0), b0,
              g0, r0, m);
    YuvToBgr8(_mm256_cvtepu8_epi32(_mm_srli_si128(luma, 8)), _mm256_cvtepu16_epi32(u1),
              _mm256_cvtepu16_epi32(v1), b1, g1, r1, m);
    StoreBgr16(dst, b0, b1, g0, g1, r0, r1);
}

// Bytes 0..31 of B', G' and R' (each in pixel order) to 96 bytes B', G', R', ...: the 128-bit
// spread on both halves at once, then the halves regrouped into three 32-byte stores.
KAVLO_STEP void StoreBgr96(uint8_t* dst, __m256i b, __m256i g, __m256i r) {
    auto m = [](int comp, int chunk) {
        return _mm256_broadcastsi128_si256(M(kSpread[size_t(comp)][size_t(chunk)]));
    };
    // Written out (no loop over the chunks) so that the three results stay in registers.
    const __m256i v0 = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(b, m(0, 0)), _mm256_shuffle_epi8(g, m(1, 0))),
        _mm256_shuffle_epi8(r, m(2, 0)));
    const __m256i v1 = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(b, m(0, 1)), _mm256_shuffle_epi8(g, m(1, 1))),
        _mm256_shuffle_epi8(r, m(2, 1)));
    const __m256i v2 = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(b, m(0, 2)), _mm256_shuffle_epi8(g, m(1, 2))),
        _mm256_shuffle_epi8(r, m(2, 2)));
    Store256(dst, _mm256_permute2x128_si256(v0, v1, 0x20));
    Store256(dst + 32, _mm256_permute2x128_si256(v2, v0, 0x30));
    Store256(dst + 64, _mm256_permute2x128_si256(v1, v2, 0x31));
}

// Sixteen 16-bit samples 0..255 to two vectors of exact floats x - bias: each sample becomes the
// low half of the single 2^23 + x (exponent bits 0x4B00 above it), and one subtraction of the
// exact 2^23 + bias leaves x - bias. Replaces widening, int-to-float conversion and subtraction.
// The float lanes hold samples 0-3 | 8-11 and 4-7 | 12-15 of the input's halves.
KAVLO_STEP void Biased(__m256i x16, float bias, __m256& lo, __m256& hi) {
    const __m256i exponent = _mm256_set1_epi16(0x4B00);
    const __m256 offset = _mm256_set1_ps(8388608.0f + bias);
    lo = _mm256_sub_ps(_mm256_castsi256_ps(_mm256_unpacklo_epi16(x16, exponent)), offset);
    hi = _mm256_sub_ps(_mm256_castsi256_ps(_mm256_unpackhi_epi16(x16, exponent)), offset);
}

// B', G', R' of sixteen pixels as 16-bit lanes (saturated from the rounded 32-bit results) from
// Y', Cb, Cr as 16-bit lanes 0..255; the operations and their order are those of the reference.
template <class M>
KAVLO_STEP void YuvToBgr16(__m256i y, __m256i cb, __m256i cr, __m256i& b, __m256i& g, __m256i& r,
                           const M& m) {
    __m256 yl, yh, ul, uh, vl, vh;
    Biased(y, m.Black(), yl, yh);
    Biased(cb, float(kChromaZero), ul, uh);
    Biased(cr, float(kChromaZero), vl, vh);
    const __m256 ky = m.Gain(), kr = m.CrToR(), kgu = m.CbToG(), kgv = m.CrToG(), kb = m.CbToB();
    const __m256 yyl = _mm256_mul_ps(yl, ky), yyh = _mm256_mul_ps(yh, ky);
    r = _mm256_packs_epi32(_mm256_cvtps_epi32(BlueRed(yyl, vl, kr, m)),
                           _mm256_cvtps_epi32(BlueRed(yyh, vh, kr, m)));
    g = _mm256_packs_epi32(
        _mm256_cvtps_epi32(
            _mm256_sub_ps(_mm256_sub_ps(yyl, _mm256_mul_ps(ul, kgu)), _mm256_mul_ps(vl, kgv))),
        _mm256_cvtps_epi32(
            _mm256_sub_ps(_mm256_sub_ps(yyh, _mm256_mul_ps(uh, kgu)), _mm256_mul_ps(vh, kgv))));
    b = _mm256_packs_epi32(_mm256_cvtps_epi32(BlueRed(yyl, ul, kb, m)),
                           _mm256_cvtps_epi32(BlueRed(yyh, uh, kb, m)));
}

// Thirty-two pixels to 96 bytes. The samples come as 16-bit lanes in the order in-lane byte
// unpacking gives: the "A" vectors hold pixels 0-7 | 16-23, the "B" vectors pixels 8-15 | 24-31.
// The unsigned packing of A with B then gives bytes 0..31 in order.
template <class M>
KAVLO_STEP void Yuv32ToBgr(uint8_t* dst, __m256i yA, __m256i yB, __m256i uA, __m256i uB, __m256i vA,
                           __m256i vB, const M& m) {
    __m256i bA, gA, rA, bB, gB, rB;
    YuvToBgr16(yA, uA, vA, bA, gA, rA, m);
    YuvToBgr16(yB, uB, vB, bB, gB, rB, m);
    StoreBgr96(dst, _mm256_packus_epi16(bA, bB), _mm256_packus_epi16(gA, gB),
               _mm256_packus_epi16(rA, rB));
}

// Luma sources of the fused 4:2:2 kernel. Each gives the luma of pixel i (At), sixteen luma
// bytes from pixel i (Bytes16), and 32 luma values from pixel i as 16-bit lanes in the order of
// in-lane byte unpacking: pixels 0-7 | 16-23 in a, 8-15 | 24-31 in b (Wide32).

// An 8-bit luma line.
struct LumaBytes {
    const uint8_t* p;
    uint8_t At(int i) const { return p[i]; }
    KAVLO_STEP __m128i Bytes16(int i) const { return Load(p + i); }
    KAVLO_STEP void Wide32(int i, __m256i& a, __m256i& b) const {
        const __m256i l = Load256(p + i), zero = _mm256_setzero_si256();
        a = _mm256_unpacklo_epi8(l, zero);
        b = _mm256_unpackhi_epi8(l, zero);
    }
};

// Luma taken from 16-bit samples, one per pixel, without a separate pass: kHigh: the high byte
// of u16 LE samples; kRoundLE / kRoundBE: min((s + 128) >> 8, 235) of u16 LE / BE samples.
enum LumaUnit { kHigh, kRoundLE, kRoundBE };

template <LumaUnit kUnit>
struct LumaUnits {
    const uint8_t* p;
    KAVLO_STEP static __m256i Eight(__m256i s) {
        switch (kUnit) {
        case kHigh: return _mm256_srli_epi16(s, 8);
        case kRoundLE:
        case kRoundBE:
        default: {
            if (kUnit == kRoundBE) {
                s = _mm256_shuffle_epi8(
                    s, _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0,
                                        3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
            }
            const __m256i rounded =
                _mm256_add_epi16(_mm256_srli_epi16(s, 8),
                                 _mm256_and_si256(_mm256_srli_epi16(s, 7), _mm256_set1_epi16(1)));
            return _mm256_min_epi16(rounded, _mm256_set1_epi16(235));
        }
        }
    }
    uint8_t At(int i) const {
        const int lo = p[2 * i], hi = p[2 * i + 1];
        switch (kUnit) {
        case kHigh: return uint8_t(hi);
        case kRoundLE: return uint8_t(std::min(((hi << 8 | lo) + 128) >> 8, 235));
        case kRoundBE:
        default: return uint8_t(std::min(((lo << 8 | hi) + 128) >> 8, 235));
        }
    }
    KAVLO_STEP __m128i Bytes16(int i) const {
        const __m256i e = Eight(Load256(p + 2 * i));
        return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(e, e), 0x08));
    }
    KAVLO_STEP void Wide32(int i, __m256i& a, __m256i& b) const {
        const __m256i e0 = Eight(Load256(p + 2 * i)), e1 = Eight(Load256(p + 2 * i + 32));
        a = _mm256_permute2x128_si256(e0, e1, 0x20);
        b = _mm256_permute2x128_si256(e0, e1, 0x31);
    }
};

// Chroma sources of the fused 4:2:2 kernel. Each gives Cb and Cr of pair j (Cb, Cr), and the
// Cb and Cr of sixteen (Wide16) or eight (Wide8) pairs from pair j as 16-bit lanes in pair order.

// Two 8-bit chroma lines.
struct ChromaLines {
    const uint8_t* cb;
    const uint8_t* cr;
    uint8_t Cb(int j) const { return cb[j]; }
    uint8_t Cr(int j) const { return cr[j]; }
    KAVLO_STEP void Wide16(int j, __m256i& u, __m256i& v) const {
        u = _mm256_cvtepu8_epi16(Load(cb + j));
        v = _mm256_cvtepu8_epi16(Load(cr + j));
    }
    KAVLO_STEP void Wide8(int j, __m128i& u, __m128i& v) const {
        u = _mm_unpacklo_epi8(Load8(cb + j), _mm_setzero_si128());
        v = _mm_unpacklo_epi8(Load8(cr + j), _mm_setzero_si128());
    }
};

// One line of interleaved 8-bit chroma pairs, Cb at the lower address of each pair (NV12's
// order) or, with kCrFirst, Cr (NV21's). A pair is one 16-bit lane as loaded: its low byte and
// its high byte are the two components, so no separate pass splits the line.
template <bool kCrFirst>
struct ChromaPairs {
    const uint8_t* p;
    uint8_t Cb(int j) const { return p[2 * j + (kCrFirst ? 1 : 0)]; }
    uint8_t Cr(int j) const { return p[2 * j + (kCrFirst ? 0 : 1)]; }
    KAVLO_STEP void Wide16(int j, __m256i& u, __m256i& v) const {
        const __m256i x = Load256(p + 2 * j);
        const __m256i low = _mm256_and_si256(x, _mm256_set1_epi16(0xFF));
        const __m256i high = _mm256_srli_epi16(x, 8);
        u = kCrFirst ? high : low;
        v = kCrFirst ? low : high;
    }
    KAVLO_STEP void Wide8(int j, __m128i& u, __m128i& v) const {
        const __m128i x = Load(p + 2 * j);
        const __m128i low = _mm_and_si128(x, _mm_set1_epi16(0xFF));
        const __m128i high = _mm_srli_epi16(x, 8);
        u = kCrFirst ? high : low;
        v = kCrFirst ? low : high;
    }
};

// 4:2:2 to B', G', R' from a luma source and a chroma source, without a VUYA line. Reads the
// luma of width pixels and the chroma of ceil(width / 2) pairs; writes 3 x width.
template <class Luma, class Chroma, class M>
void Fused422ToBgr_AVX2(const Luma y, const Chroma c, uint8_t* dst, int width, const M& m) {
    const int n = width / 2;
    const __m128i zero = _mm_setzero_si128();
    auto scalarPair = [&](int k) {
        uint8_t px[8];
        Pair422(
            px, k, n, [&](int j) { return c.Cb(j); }, [&](int j) { return c.Cr(j); },
            [&](int i) { return y.At(i); });
        m.Ref(px[0], px[1], px[2], dst + 6 * k);
        m.Ref(px[4], px[5], px[6], dst + 6 * k + 3);
    };
    int k = 0;
    if (n > 0) {
        scalarPair(0);
        k = 1;
    }
    const __m128i hi = _mm_set1_epi16(255);
    // Sixteen pairs per step: the chroma filter on 16-bit lanes of whole 256-bit vectors.
    auto odd16 = [&](__m256i before, __m256i even, __m256i next, __m256i after) {
        const __m256i s = _mm256_add_epi16(even, next);
        const __m256i nine = _mm256_add_epi16(_mm256_slli_epi16(s, 3), s);
        const __m256i v = _mm256_srai_epi16(
            _mm256_sub_epi16(_mm256_sub_epi16(_mm256_add_epi16(nine, _mm256_set1_epi16(8)), before),
                             after),
            4);
        return _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()),
                                _mm256_set1_epi16(255));
    };
    for (; k + 18 <= n; k += 16) {
        __m256i cbBefore, crBefore, cbEven, crEven, cbNext, crNext, cbAfter, crAfter;
        c.Wide16(k - 1, cbBefore, crBefore);
        c.Wide16(k, cbEven, crEven);
        c.Wide16(k + 1, cbNext, crNext);
        c.Wide16(k + 2, cbAfter, crAfter);
        const __m256i cbOdd = odd16(cbBefore, cbEven, cbNext, cbAfter);
        const __m256i crOdd = odd16(crBefore, crEven, crNext, crAfter);
        // Lane 0 holds pairs k..k+7 (pixels 0..15), lane 1 pairs k+8..k+15 (pixels 16..31):
        // interleaving gives pixels 0-7 | 16-23 and 8-15 | 24-31, as the luma unpacking does.
        __m256i lumaA, lumaB;
        y.Wide32(2 * k, lumaA, lumaB);
        Yuv32ToBgr(dst + 6 * k, lumaA, lumaB, _mm256_unpacklo_epi16(cbEven, cbOdd),
                   _mm256_unpackhi_epi16(cbEven, cbOdd), _mm256_unpacklo_epi16(crEven, crOdd),
                   _mm256_unpackhi_epi16(crEven, crOdd), m);
    }
    // Eight pairs from pair j (1 <= j, j + 10 <= n).
    auto step8 = [&](int j) {
        __m128i cbBefore, crBefore, cbEven, crEven, cbNext, crNext, cbAfter, crAfter;
        c.Wide8(j - 1, cbBefore, crBefore);
        c.Wide8(j, cbEven, crEven);
        c.Wide8(j + 1, cbNext, crNext);
        c.Wide8(j + 2, cbAfter, crAfter);
        const __m128i cbOdd = _mm_min_epi16(
            _mm_max_epi16(Interpolate16(cbBefore, cbEven, cbNext, cbAfter), zero), hi);
        const __m128i crOdd = _mm_min_epi16(
            _mm_max_epi16(Interpolate16(crBefore, crEven, crNext, crAfter), zero), hi);
        Store16Bgr(dst + 6 * j, y.Bytes16(2 * j), _mm_unpacklo_epi16(cbEven, cbOdd),
                   _mm_unpackhi_epi16(cbEven, cbOdd), _mm_unpacklo_epi16(crEven, crOdd),
                   _mm_unpackhi_epi16(crEven, crOdd), m);
    };
    for (; k + 10 <= n; k += 8) step8(k);
    // The last whole step again, overlapping pairs already written with the same values, so
    // that only the two pairs whose neighbours are clamped remain for scalar code.
    if (k < n - 2 && n - 10 >= 1) {
        step8(n - 10);
        k = n - 2;
    }
    for (; k < n; ++k) scalarPair(k);
    if (width & 1) m.Ref(c.Cr(n), c.Cb(n), y.At(2 * n), dst + 6 * n);
}

// Planar 4:2:2 lines straight to B', G', R': the VUYA line of Planar422ToVuya is never stored.
// Reads width luma bytes and ceil(width / 2) bytes of each chroma line; writes 3 x width.
void Planar422ToBgr_AVX2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                         int width) {
    Fused422ToBgr_AVX2(LumaBytes{y}, ChromaLines{cb, cr}, dst, width, Bt601Limited{});
}

// The same with the coefficients of any matrix and range.
void Planar422ToBgrWith_AVX2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                             int width, const ColourCoefficients& c) {
    Fused422ToBgr_AVX2(LumaBytes{y}, ChromaLines{cb, cr}, dst, width, RunTimeMatrix(c));
}

// Planar 4:2:2 with the chroma in one line of interleaved pairs (ChromaPairs): reads width luma
// bytes and 2 x ceil(width / 2) pair bytes; writes 3 x width.
template <bool kCrFirst>
void Pairs422ToBgr_AVX2(const uint8_t* y, const uint8_t* pairs, uint8_t* dst, int width) {
    Fused422ToBgr_AVX2(LumaBytes{y}, ChromaPairs<kCrFirst>{pairs}, dst, width, Bt601Limited{});
}
template <bool kCrFirst>
void Pairs422ToBgrWith_AVX2(const uint8_t* y, const uint8_t* pairs, uint8_t* dst, int width,
                            const ColourCoefficients& c) {
    Fused422ToBgr_AVX2(LumaBytes{y}, ChromaPairs<kCrFirst>{pairs}, dst, width, RunTimeMatrix(c));
}

// The same with luma from 16-bit units (see LumaUnit): reads 2 x width luma bytes.
template <LumaUnit kUnit>
void Units422ToBgr_AVX2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                        int width) {
    Fused422ToBgr_AVX2(LumaUnits<kUnit>{y}, ChromaLines{cb, cr}, dst, width, Bt601Limited{});
}

// Luma from the high bytes of u16 LE units with the coefficients of any matrix and range.
void HighLuma422ToBgrWith_AVX2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                               int width, const ColourCoefficients& c) {
    Fused422ToBgr_AVX2(LumaUnits<kHigh>{y}, ChromaLines{cb, cr}, dst, width, RunTimeMatrix(c));
}

// Luma in the low kBits bits of u16 LE / BE samples, the bits above dropped:
// min((v + 2^(kBits-9)) >> (kBits-8), 235), the rule of the table-driven reader (ConvertGeneric.h).
template <int kBits, bool kBig>
struct LumaLowBits {
    const uint8_t* p;
    KAVLO_STEP static __m256i Eight(__m256i s) {
        if (kBig) {
            s = _mm256_shuffle_epi8(
                s, _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3,
                                    2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
        }
        const __m256i v = _mm256_and_si256(s, _mm256_set1_epi16(short((1 << kBits) - 1)));
        const __m256i r = _mm256_add_epi16(
            _mm256_srli_epi16(v, kBits - 8),
            _mm256_and_si256(_mm256_srli_epi16(v, kBits - 9), _mm256_set1_epi16(1)));
        return _mm256_min_epi16(r, _mm256_set1_epi16(235));
    }
    uint8_t At(int i) const {
        const int lo = p[2 * i + (kBig ? 1 : 0)], hi = p[2 * i + (kBig ? 0 : 1)];
        const int v = (hi << 8 | lo) & ((1 << kBits) - 1);
        return uint8_t(std::min((v + (1 << (kBits - 9))) >> (kBits - 8), 235));
    }
    KAVLO_STEP __m128i Bytes16(int i) const {
        const __m256i e = Eight(Load256(p + 2 * i));
        return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(e, e), 0x08));
    }
    KAVLO_STEP void Wide32(int i, __m256i& a, __m256i& b) const {
        const __m256i e0 = Eight(Load256(p + 2 * i)), e1 = Eight(Load256(p + 2 * i + 32));
        a = _mm256_permute2x128_si256(e0, e1, 0x20);
        b = _mm256_permute2x128_si256(e0, e1, 0x31);
    }
};

template <int kBits, bool kBig>
void LowBits422ToBgr_AVX2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                          int width) {
    Fused422ToBgr_AVX2(LumaLowBits<kBits, kBig>{y}, ChromaLines{cb, cr}, dst, width,
                       Bt601Limited{});
}

// Planar 4:4:4 lines straight to B', G', R'. Reads width bytes of each line; writes 3 x width.
void Planar444ToBgr_AVX2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                         int width) {
    const __m128i zero = _mm_setzero_si128();
    const __m256i zero256 = _mm256_setzero_si256();
    int i = 0;
    for (; i + 32 <= width; i += 32) {
        const __m256i l = Load256(y + i), u = Load256(cb + i), v = Load256(cr + i);
        Yuv32ToBgr(dst + 3 * i, _mm256_unpacklo_epi8(l, zero256), _mm256_unpackhi_epi8(l, zero256),
                   _mm256_unpacklo_epi8(u, zero256), _mm256_unpackhi_epi8(u, zero256),
                   _mm256_unpacklo_epi8(v, zero256), _mm256_unpackhi_epi8(v, zero256),
                   Bt601Limited{});
    }
    for (; i + 16 <= width; i += 16) {
        const __m128i u = Load(cb + i), v = Load(cr + i);
        Store16Bgr(dst + 3 * i, Load(y + i), _mm_unpacklo_epi8(u, zero), _mm_unpackhi_epi8(u, zero),
                   _mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero), Bt601Limited{});
    }
    for (; i < width; ++i) VuyaToBgrReference(cr[i], cb[i], y[i], dst + 3 * i);
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
    t.planar422ToBgr = Planar422ToBgr_AVX2;
    t.planar444ToBgr = Planar444ToBgr_AVX2;
    t.highLuma422ToBgr = Units422ToBgr_AVX2<kHigh>;
    t.roundedLumaLE422ToBgr = Units422ToBgr_AVX2<kRoundLE>;
    t.roundedLumaBE422ToBgr = Units422ToBgr_AVX2<kRoundBE>;
    t.lowBitsLuma422ToBgr[0][0] = LowBits422ToBgr_AVX2<10, false>;
    t.lowBitsLuma422ToBgr[0][1] = LowBits422ToBgr_AVX2<10, true>;
    t.lowBitsLuma422ToBgr[1][0] = LowBits422ToBgr_AVX2<12, false>;
    t.lowBitsLuma422ToBgr[1][1] = LowBits422ToBgr_AVX2<12, true>;
    t.planar422ToBgrWith = Planar422ToBgrWith_AVX2;
    t.highLuma422ToBgrWith = HighLuma422ToBgrWith_AVX2;
    t.pairs422ToBgr[0] = Pairs422ToBgr_AVX2<false>;
    t.pairs422ToBgr[1] = Pairs422ToBgr_AVX2<true>;
    t.pairs422ToBgrWith[0] = Pairs422ToBgrWith_AVX2<false>;
    t.pairs422ToBgrWith[1] = Pairs422ToBgrWith_AVX2<true>;
    t.vuyaDoubleToBgr = VuyaDoubleToBgr_AVX2;
    InstallWideAVX2(t);
    InstallLinesAVX2(t);
    InstallColourKernel<VuyaToBgrWith_AVX2>(t);
}

}  // namespace kernels
