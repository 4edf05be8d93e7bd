// The AVX-512 kernel set: the fused 4:2:2 kernels (chroma from planar lines, semi-planar pairs
// or packed pairs; luma from 8-bit lines, packed pairs or 16-bit samples) in 64-byte vectors,
// with byte permutations (VBMI) doing the unpacking that the AVX2 set does with shifts, masks
// and a separate split pass. Every other kernel is the AVX2 set's. Only the Kernels_avx512*.cpp
// files are compiled with the AVX-512 flags, and without contracting products into sums: every
// product is rounded on its own, as the reference computes it, except where a multiply-add is
// written out because it is proven to give the same bytes for every input (B' and R' of BT.601
// at limited range). Results are the other sets' bit for bit.

// gcc's AVX-512 intrinsics start some results from an uninitialised vector (the headers'
// _mm512_undefined_* idiom), which its -Wmaybe-uninitialized reports once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "ColourMatrix.h"
#include "Kernels.h"
#include "Kernels_x86_inl.h"

#include <immintrin.h>

#include <algorithm>
#include <array>

namespace kernels {
namespace {

using namespace colour;

#define KAVLO_STEP512 inline __attribute__((always_inline))

// One step converts 16 pairs (32 pixels). Its chroma comes as a 64-byte "window": Cb of the
// pairs k - 1 .. k + 17 in bytes 0..18, Cr of the same pairs in bytes 32..50, and in bytes 30
// and 31 the constant bytes 0x00 and 0x4B from which the permutations below build floats.
constexpr int kWindowPairs = 19;
constexpr int kCrBase = 32;
constexpr int kZeroByte = 30;
constexpr int kExponentByte = 31;

using Index = std::array<uint8_t, 64>;

inline __m512i LoadIndex(const Index& i) { return _mm512_loadu_si512(i.data()); }

// Word w of a vector of 32 16-bit lanes after _mm512_packus_epi16(v, v): its byte position.
constexpr int PackedWordByte(int w) { return 16 * (w / 8) + w % 8; }

// The 9 (c0 + c1) and -(c-1 + c2) operands of the chroma filter as byte pairs for
// _mm512_maddubs_epi16: word j (Cb of pair k + j) and word 16 + j (Cr).
constexpr Index MakeFilterIndex(int first, int second) {
    Index x{};
    for (int j = 0; j < 16; ++j) {
        x[size_t(2 * j)] = uint8_t(1 + j + first);
        x[size_t(2 * j + 1)] = uint8_t(1 + j + second);
        x[size_t(32 + 2 * j)] = uint8_t(kCrBase + 1 + j + first);
        x[size_t(33 + 2 * j)] = uint8_t(kCrBase + 1 + j + second);
    }
    return x;
}
constexpr Index kNearIndex = MakeFilterIndex(0, 1);  // pairs k + j and k + j + 1
constexpr Index kFarIndex = MakeFilterIndex(-1, 2);  // pairs k + j - 1 and k + j + 2

// The chroma of pixels 16 h .. 16 h + 15 of component `comp` (0: Cb, 1: Cr) as floats
// 2^23 + value, from the window (indices 0..63) and the packed filtered odd chroma (64..127):
// even pixels take their pair's own chroma, odd pixels the filtered one.
constexpr Index MakeChromaFloatIndex(int comp, int h) {
    Index x{};
    for (int d = 0; d < 16; ++d) {
        const int i = 16 * h + d, j = i / 2;
        x[size_t(4 * d)] =
            uint8_t((i & 1) ? 64 + PackedWordByte(16 * comp + j) : comp * kCrBase + 1 + j);
        x[size_t(4 * d + 1)] = x[size_t(4 * d + 2)] = kZeroByte;
        x[size_t(4 * d + 3)] = kExponentByte;
    }
    return x;
}
constexpr std::array<Index, 4> kChromaFloatIndex = {
    MakeChromaFloatIndex(0, 0), MakeChromaFloatIndex(0, 1), MakeChromaFloatIndex(1, 0),
    MakeChromaFloatIndex(1, 1)};

// Luma of pixels 16 h .. 16 h + 15 as floats 2^23 + value from a luma vector (indices 0..63;
// byteOf(i) is pixel i's byte) and the constant vector of 0x00, 0x4B (64, 65).
template <class ByteOf>
constexpr Index MakeLumaFloatIndex(int h, ByteOf byteOf) {
    Index x{};
    for (int d = 0; d < 16; ++d) {
        x[size_t(4 * d)] = uint8_t(byteOf(16 * h + d));
        x[size_t(4 * d + 1)] = x[size_t(4 * d + 2)] = 64;
        x[size_t(4 * d + 3)] = 65;
    }
    return x;
}

// The rounded results leave the matrix as the bits of floats 1.5 x 2^23 + n (RoundedBits), so
// the low 16 bits of each 32-bit lane are n as a signed 16-bit integer and the high 16 bits a
// positive value above 255. _mm512_packus_epi16 (v0, v1) of two such vectors therefore gives n
// limited to 0..255 at the even bytes (the high words give 255 at the odd bytes): pixel i
// (lane i % 16 of vector i / 16) at this byte.
constexpr int PackedPixelByte(int i) {
    const int e = i % 16;
    return 16 * (e / 4) + (i / 16 ? 8 : 0) + 2 * (e % 4);
}
// Output bytes 64 part .. 64 part + 63 of 32 pixels B', G', R' from the B'G' byte pairs (B' at
// the even bytes, G' at the odd ones, 0..63) and the R' bytes (64..127).
constexpr Index MakeStoreIndex(int part) {
    Index x{};
    for (int b = 0; b < 64; ++b) {
        const int o = 64 * part + b;
        if (o >= 96) break;
        const int i = o / 3, c = o % 3;
        x[size_t(b)] = uint8_t(c == 0   ? PackedPixelByte(i)
                               : c == 1 ? PackedPixelByte(i) + 1
                                        : 64 + PackedPixelByte(i));
    }
    return x;
}
constexpr Index kStoreIndex0 = MakeStoreIndex(0);
constexpr Index kStoreIndex1 = MakeStoreIndex(1);

// The matrices: BT.601 at limited range from ColourMatrix.h, or the run-time coefficients of any
// matrix and range; both with their scalar reference for the line's ends.
struct Bt601Limited512 {
    // B' and R' may be computed as one multiply-add, Y + U kCbToB and Y + V kCrToR rounded once:
    // for this matrix that gives the bytes of the reference's separately rounded product and sum
    // for every Y' and chroma byte (ConvertKernels.FusedBlueAndRedOverAllInputs). G' may not.
    static constexpr bool kFuseBlueRed = true;
    KAVLO_STEP512 float Black() const { return float(kLumaBlack); }
    KAVLO_STEP512 __m512 Gain() const { return _mm512_set1_ps(kLumaGain); }
    KAVLO_STEP512 __m512 CrToR() const { return _mm512_set1_ps(kCrToR); }
    KAVLO_STEP512 __m512 CbToG() const { return _mm512_set1_ps(kCbToG); }
    KAVLO_STEP512 __m512 CrToG() const { return _mm512_set1_ps(kCrToG); }
    KAVLO_STEP512 __m512 CbToB() const { return _mm512_set1_ps(kCbToB); }
    void Ref(uint8_t cr, uint8_t cb, uint8_t y, uint8_t* bgr) const {
        VuyaToBgrReference(cr, cb, y, bgr);
    }
};
struct RunTimeMatrix512 {
    // Not every matrix keeps its bytes with a multiply-add (BT.709 at limited range does not).
    static constexpr bool kFuseBlueRed = false;
    const ColourCoefficients& c;
    __m512 gain, crToR, cbToG, crToG, cbToB;
    explicit RunTimeMatrix512(const ColourCoefficients& k)
        : c(k),
          gain(_mm512_set1_ps(k.lumaGain)),
          crToR(_mm512_set1_ps(k.crToR)),
          cbToG(_mm512_set1_ps(k.cbToG)),
          crToG(_mm512_set1_ps(k.crToG)),
          cbToB(_mm512_set1_ps(k.cbToB)) {}
    KAVLO_STEP512 float Black() const { return float(c.lumaBlack); }
    KAVLO_STEP512 __m512 Gain() const { return gain; }
    KAVLO_STEP512 __m512 CrToR() const { return crToR; }
    KAVLO_STEP512 __m512 CbToG() const { return cbToG; }
    KAVLO_STEP512 __m512 CrToG() const { return crToG; }
    KAVLO_STEP512 __m512 CbToB() const { return cbToB; }
    void Ref(uint8_t cr, uint8_t cb, uint8_t y, uint8_t* bgr) const {
        VuyaToBgrReference(cr, cb, y, bgr, c);
    }
};

// Chroma sources: Cb(j) and Cr(j) of pair j, and the window of the step at pair k (which reads
// the pairs k - 1 .. k + 17 and nothing else).

// Two planar chroma lines.
struct ChromaLines {
    const uint8_t* cb;
    const uint8_t* cr;
    uint8_t Cb(int j) const { return cb[j]; }
    uint8_t Cr(int j) const { return cr[j]; }
    KAVLO_STEP512 __m512i Window(int k) const {
        // Bytes past the 19 loaded ones come from `fill` (0x4B in byte 31) or are zero.
        const __m256i fill = _mm256_set_epi32(0x4B000000, 0, 0, 0, 0, 0, 0, 0);
        const __mmask32 loaded = (1u << kWindowPairs) - 1u;
        const __m256i lo = _mm256_mask_loadu_epi8(fill, loaded, cb + k - 1);
        const __m256i hi = _mm256_maskz_loadu_epi8(loaded, cr + k - 1);
        return _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
    }
};

// Packed pairs with Cb and Cr at bytes kCb and kCr of each 4-byte pair.
template <int kCb, int kCr>
struct ChromaPairs {
    const uint8_t* s;
    uint8_t Cb(int j) const { return s[4 * j + kCb]; }
    uint8_t Cr(int j) const { return s[4 * j + kCr]; }
    static constexpr Index MakeWindowIndex() {
        Index x{};
        for (int t = 0; t < kWindowPairs; ++t) {
            x[size_t(t)] = uint8_t(4 * t + kCb);
            x[size_t(kCrBase + t)] = uint8_t(4 * t + kCr);
        }
        // The constant bytes: bytes 12 and 13 of the second load, which stops after 12 bytes.
        x[kZeroByte] = 64 + 12;
        x[kExponentByte] = 64 + 13;
        return x;
    }
    static constexpr Index kWindowIndex = MakeWindowIndex();
    KAVLO_STEP512 __m512i Window(int k) const {
        const uint8_t* p = s + 4 * (k - 1);
        const __m512i fill = _mm512_setr_epi32(0, 0, 0, 0x4B00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
        const __m512i first = _mm512_loadu_si512(p);
        const __m512i rest = _mm512_mask_loadu_epi8(fill, __mmask64(0xFFF), p + 64);
        return _mm512_permutex2var_epi8(first, LoadIndex(kWindowIndex), rest);
    }
};

// Semi-planar chroma: one line of 2-byte pairs, Cb at byte kCb and Cr at byte kCr of each.
template <int kCb, int kCr>
struct ChromaInterleaved {
    const uint8_t* s;
    uint8_t Cb(int j) const { return s[2 * j + kCb]; }
    uint8_t Cr(int j) const { return s[2 * j + kCr]; }
    static constexpr Index MakeWindowIndex() {
        Index x{};
        for (int t = 0; t < kWindowPairs; ++t) {
            x[size_t(t)] = uint8_t(2 * t + kCb);
            x[size_t(kCrBase + t)] = uint8_t(2 * t + kCr);
        }
        // The constant bytes: bytes 38 and 39 of the load, which stops after 38 bytes.
        x[kZeroByte] = 2 * kWindowPairs;
        x[kExponentByte] = 2 * kWindowPairs + 1;
        return x;
    }
    static constexpr Index kWindowIndex = MakeWindowIndex();
    KAVLO_STEP512 __m512i Window(int k) const {
        const __m512i fill =
            _mm512_setr_epi32(0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4B000000, 0, 0, 0, 0, 0, 0);
        const __mmask64 loaded = (__mmask64(1) << (2 * kWindowPairs)) - 1u;
        const __m512i v = _mm512_mask_loadu_epi8(fill, loaded, s + 2 * (k - 1));
        return _mm512_permutexvar_epi8(LoadIndex(kWindowIndex), v);
    }
};

// Luma sources: At(i) is the luma of pixel i; Vector(k) the vector holding the luma of the 32
// pixels of the step at pair k, pixel i at byte ByteOf(i).

// Luma bytes of packed pairs at bytes kY0 and kY1 of each pair.
template <int kY0, int kY1>
struct LumaPairs {
    const uint8_t* s;
    uint8_t At(int i) const { return s[4 * (i / 2) + ((i & 1) ? kY1 : kY0)]; }
    static constexpr int ByteOf(int i) { return 4 * (i / 2) + ((i & 1) ? kY1 : kY0); }
    KAVLO_STEP512 __m512i Vector(int k) const { return _mm512_loadu_si512(s + 4 * k); }
};

// An 8-bit luma line.
struct LumaLine {
    const uint8_t* p;
    uint8_t At(int i) const { return p[i]; }
    static constexpr int ByteOf(int i) { return i; }
    KAVLO_STEP512 __m512i Vector(int k) const {
        return _mm512_castsi256_si512(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2 * k)));
    }
};

// Luma from 16-bit samples: kHigh the high byte of u16 LE samples; kRoundLE / kRoundBE
// min((s + 128) >> 8, 235) of u16 LE / BE samples; kLow10 / kLow12 the low 10 or 12 bits of
// u16 samples (kBig: BE), the bits above dropped, min((v + 2^(bits-9)) >> (bits-8), 235).
enum LumaUnit512 { kHigh, kRound, kLow10, kLow12 };

template <LumaUnit512 kUnit, bool kBig>
struct LumaUnits {
    const uint8_t* p;
    uint8_t At(int i) const {
        const int lo = p[2 * i + (kBig ? 1 : 0)], hi = p[2 * i + (kBig ? 0 : 1)];
        const int s = hi << 8 | lo;
        switch (kUnit) {
        case kHigh: return uint8_t(hi);
        case kRound: return uint8_t(std::min((s + 128) >> 8, 235));
        case kLow10: return uint8_t(std::min(((s & 0x3FF) + 2) >> 2, 235));
        case kLow12:
        default: return uint8_t(std::min(((s & 0xFFF) + 8) >> 4, 235));
        }
    }
    static constexpr int ByteOf(int i) { return kUnit == kHigh ? 2 * i + 1 : 2 * i; }
    KAVLO_STEP512 __m512i Vector(int k) const {
        __m512i s = _mm512_loadu_si512(p + 4 * k);
        if (kUnit == kHigh) return s;
        if (kBig) s = _mm512_or_si512(_mm512_srli_epi16(s, 8), _mm512_slli_epi16(s, 8));
        constexpr int bits = kUnit == kLow10 ? 10 : kUnit == kLow12 ? 12 : 16;
        if constexpr (bits < 16) s = _mm512_and_si512(s, _mm512_set1_epi16(short((1 << bits) - 1)));
        // (v + 2^(bits-9)) >> (bits-8) without overflow: v >> (bits-8) plus bit bits-9.
        const __m512i r = _mm512_add_epi16(
            _mm512_srli_epi16(s, unsigned(bits - 8)),
            _mm512_and_si512(_mm512_srli_epi16(s, unsigned(bits - 9)), _mm512_set1_epi16(1)));
        return _mm512_min_epu16(r, _mm512_set1_epi16(235));
    }
};

template <class Luma>
struct LumaIndex {
    static constexpr Index kLo = MakeLumaFloatIndex(0, Luma::ByteOf);
    static constexpr Index kHi = MakeLumaFloatIndex(1, Luma::ByteOf);
};

// x rounded to an integer n (to nearest, ties to even, as _mm512_cvtps_epi32 rounds) for
// |x| < 2^22, as the bits of the float 1.5 x 2^23 + n: adding 1.5 x 2^23 leaves a sum whose unit
// is 1, so the sum's own rounding is the rounding to an integer, and n sits in its low bits.
KAVLO_STEP512 __m512i RoundedBits(__m512 x) {
    return _mm512_castps_si512(_mm512_add_ps(x, _mm512_set1_ps(12582912.0f)));
}

// B', G', R' of 16 pixels (RoundedBits) from floats 2^23 + Y', Cb, Cr, in the reference's
// operations and order.
template <class M>
KAVLO_STEP512 void Matrix16(__m512i yBits, __m512i cbBits, __m512i crBits, const M& m, __m512i& b,
                            __m512i& g, __m512i& r) {
    const __m512 two23 = _mm512_set1_ps(8388608.0f);
    const __m512 chromaOffset = _mm512_set1_ps(8388608.0f + float(kChromaZero));
    const __m512 yy = _mm512_mul_ps(
        _mm512_sub_ps(_mm512_castsi512_ps(yBits), _mm512_add_ps(two23, _mm512_set1_ps(m.Black()))),
        m.Gain());
    const __m512 u = _mm512_sub_ps(_mm512_castsi512_ps(cbBits), chromaOffset);
    const __m512 v = _mm512_sub_ps(_mm512_castsi512_ps(crBits), chromaOffset);
    if constexpr (M::kFuseBlueRed) {
        r = RoundedBits(_mm512_fmadd_ps(v, m.CrToR(), yy));
        b = RoundedBits(_mm512_fmadd_ps(u, m.CbToB(), yy));
    } else {
        r = RoundedBits(_mm512_add_ps(yy, _mm512_mul_ps(v, m.CrToR())));
        b = RoundedBits(_mm512_add_ps(yy, _mm512_mul_ps(u, m.CbToB())));
    }
    g = RoundedBits(
        _mm512_sub_ps(_mm512_sub_ps(yy, _mm512_mul_ps(u, m.CbToG())), _mm512_mul_ps(v, m.CrToG())));
}

// Sixteen pairs from pair k: the chroma filter on both components at once (byte pairs
// multiplied and summed by maddubs), the floats built by permutations, the matrix, and 96 bytes
// stored.
template <class Luma, class M>
KAVLO_STEP512 void Step(const Luma& y, __m512i window, uint8_t* dst, int k, const M& m) {
    const __m512i near9 = _mm512_maddubs_epi16(
        _mm512_permutexvar_epi8(LoadIndex(kNearIndex), window), _mm512_set1_epi8(9));
    const __m512i farNeg = _mm512_maddubs_epi16(
        _mm512_permutexvar_epi8(LoadIndex(kFarIndex), window), _mm512_set1_epi8(-1));
    // (9 (c0 + c1) - c-1 - c2 + 8) >> 4, arithmetic, as the rounded high half of the product
    // with 2^11: (s 2^11 + 2^14) >> 15 (s is at most 9 x 510 in magnitude, so the product fits
    // 32 bits); the pack clamps it to 0..255.
    const __m512i filtered =
        _mm512_mulhrs_epi16(_mm512_add_epi16(near9, farNeg), _mm512_set1_epi16(1 << 11));
    const __m512i odd = _mm512_packus_epi16(filtered, filtered);
    const __m512i lumaVector = y.Vector(k);
    const __m512i constants = _mm512_set1_epi32(0x4B00);
    __m512i b[2], g[2], r[2];
    for (int h = 0; h < 2; ++h) {
        const __m512i yBits = _mm512_permutex2var_epi8(
            lumaVector, LoadIndex(h ? LumaIndex<Luma>::kHi : LumaIndex<Luma>::kLo), constants);
        const __m512i cbBits =
            _mm512_permutex2var_epi8(window, LoadIndex(kChromaFloatIndex[size_t(h)]), odd);
        const __m512i crBits =
            _mm512_permutex2var_epi8(window, LoadIndex(kChromaFloatIndex[size_t(2 + h)]), odd);
        Matrix16(yBits, cbBits, crBits, m, b[h], g[h], r[h]);
    }
    // B' at the even bytes, G' moved from the even to the odd bytes, R' at the even bytes.
    const __m512i bp = _mm512_packus_epi16(b[0], b[1]);
    const __m512i gp = _mm512_slli_epi16(_mm512_packus_epi16(g[0], g[1]), 8);
    const __m512i bg = _mm512_mask_mov_epi8(gp, __mmask64(0x5555555555555555u), bp);
    const __m512i rr = _mm512_packus_epi16(r[0], r[1]);
    uint8_t* d = dst + 6 * k;
    _mm512_storeu_si512(d, _mm512_permutex2var_epi8(bg, LoadIndex(kStoreIndex0), rr));
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(d + 64),
        _mm512_castsi512_si256(_mm512_permutex2var_epi8(bg, LoadIndex(kStoreIndex1), rr)));
}

// The window of the first step of a line (pairs -1 .. 17, pair -1 clamped to pair 0) from the
// window of pairs 0 .. 18, and of its last step at pair n - 16 (pairs n - 17 .. n + 1, pairs n
// and n + 1 clamped to n - 1) from the window of pairs n - 19 .. n - 1. The constant bytes stay.
constexpr Index MakeEdgeIndex(bool last) {
    Index x{};
    for (int b = 0; b < 64; ++b) x[size_t(b)] = uint8_t(b);
    for (int t = 0; t < kWindowPairs; ++t) {
        const int from = last ? std::min(t + 2, kWindowPairs - 1) : std::max(t - 1, 0);
        x[size_t(t)] = uint8_t(from);
        x[size_t(kCrBase + t)] = uint8_t(kCrBase + from);
    }
    return x;
}
constexpr Index kFirstWindowIndex = MakeEdgeIndex(false);
constexpr Index kLastWindowIndex = MakeEdgeIndex(true);

// A 4:2:2 line to B', G', R', sixteen pairs per vector step; the steps at the line's ends clamp
// the filter's neighbours with a permutation of their window. Lines of fewer than 19 pairs, whose
// window would reach past both ends, and an odd width's last pixel go through scalar code. Reads
// the luma of width pixels and ceil(width / 2) pairs of chroma; writes 3 x width.
template <class Luma, class Chroma, class M>
void Fused422ToBgr_AVX512(const Luma y, const Chroma c, uint8_t* dst, int width, const M& m) {
    const int n = width / 2;
    if (n >= kWindowPairs) {
        // A window at pair k holds the chroma of pairs k - 1 .. k + 17.
        Step(y, _mm512_permutexvar_epi8(LoadIndex(kFirstWindowIndex), c.Window(1)), dst, 0, m);
        // Inner steps until the last step (at pair n - 16) covers the rest. An inner step's
        // window must end by pair n - 1, so it starts at pair n - 18 at the latest: the step
        // that would start at n - 17 (where n - 17 is a multiple of 16) starts one pair early.
        // Steps may cover pairs already written, with the same values.
        for (int k = 16; k < n - 16; k += 16) {
            const int at = std::min(k, n - kWindowPairs + 1);
            Step(y, c.Window(at), dst, at, m);
        }
        Step(y, _mm512_permutexvar_epi8(LoadIndex(kLastWindowIndex), c.Window(n - 18)), dst, n - 16,
             m);
    } else {
        for (int k = 0; k < n; ++k) {
            uint8_t px[8];
            Pair422(
                px, k, n, [&](int j) { return c.Cb(j); }, [&](int j) { return c.Cr(j); },
                [&](int i) { return y.At(i); });
            m.Ref(px[0], px[1], px[2], dst + 6 * k);
            m.Ref(px[4], px[5], px[6], dst + 6 * k + 3);
        }
    }
    if (width & 1) m.Ref(c.Cr(n), c.Cb(n), y.At(2 * n), dst + 6 * n);
}

void Planar422ToBgr_AVX512(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                           int width) {
    Fused422ToBgr_AVX512(LumaLine{y}, ChromaLines{cb, cr}, dst, width, Bt601Limited512{});
}

void Planar422ToBgrWith_AVX512(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                               int width, const ColourCoefficients& c) {
    Fused422ToBgr_AVX512(LumaLine{y}, ChromaLines{cb, cr}, dst, width, RunTimeMatrix512(c));
}

template <LumaUnit512 kUnit, bool kBig>
void Units422ToBgr_AVX512(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                          int width) {
    Fused422ToBgr_AVX512(LumaUnits<kUnit, kBig>{y}, ChromaLines{cb, cr}, dst, width,
                         Bt601Limited512{});
}

void HighLuma422ToBgrWith_AVX512(const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                                 uint8_t* dst, int width, const ColourCoefficients& c) {
    Fused422ToBgr_AVX512(LumaUnits<kHigh, false>{y}, ChromaLines{cb, cr}, dst, width,
                         RunTimeMatrix512(c));
}

// An 8-bit luma line with semi-planar chroma pairs (kCb 0: Cb first; 1: Cr first).
template <int kCb>
void Pairs422ToBgr_AVX512(const uint8_t* y, const uint8_t* pairs, uint8_t* dst, int width) {
    Fused422ToBgr_AVX512(LumaLine{y}, ChromaInterleaved<kCb, 1 - kCb>{pairs}, dst, width,
                         Bt601Limited512{});
}

template <int kCb>
void Pairs422ToBgrWith_AVX512(const uint8_t* y, const uint8_t* pairs, uint8_t* dst, int width,
                              const ColourCoefficients& c) {
    Fused422ToBgr_AVX512(LumaLine{y}, ChromaInterleaved<kCb, 1 - kCb>{pairs}, dst, width,
                         RunTimeMatrix512(c));
}

// Packed pairs with Y'0, Cb, Y'1, Cr at the given bytes of each pair.
template <int kY0, int kCb, int kY1, int kCr>
void PackedToBgr_AVX512(const uint8_t* src, uint8_t* dst, int width) {
    Fused422ToBgr_AVX512(LumaPairs<kY0, kY1>{src}, ChromaPairs<kCb, kCr>{src}, dst, width,
                         Bt601Limited512{});
}

}  // namespace

void InstallAVX512(KernelTable& t) {
    InstallAVX2(t);
    t.level = SimdLevel::AVX512;
    t.planar422ToBgr = Planar422ToBgr_AVX512;
    t.planar422ToBgrWith = Planar422ToBgrWith_AVX512;
    t.pairs422ToBgr[0] = Pairs422ToBgr_AVX512<0>;
    t.pairs422ToBgr[1] = Pairs422ToBgr_AVX512<1>;
    t.pairs422ToBgrWith[0] = Pairs422ToBgrWith_AVX512<0>;
    t.pairs422ToBgrWith[1] = Pairs422ToBgrWith_AVX512<1>;
    t.highLuma422ToBgr = Units422ToBgr_AVX512<kHigh, false>;
    t.highLuma422ToBgrWith = HighLuma422ToBgrWith_AVX512;
    t.roundedLumaLE422ToBgr = Units422ToBgr_AVX512<kRound, false>;
    t.roundedLumaBE422ToBgr = Units422ToBgr_AVX512<kRound, true>;
    t.lowBitsLuma422ToBgr[0][0] = Units422ToBgr_AVX512<kLow10, false>;
    t.lowBitsLuma422ToBgr[0][1] = Units422ToBgr_AVX512<kLow10, true>;
    t.lowBitsLuma422ToBgr[1][0] = Units422ToBgr_AVX512<kLow12, false>;
    t.lowBitsLuma422ToBgr[1][1] = Units422ToBgr_AVX512<kLow12, true>;
    t.uyvyToBgr = PackedToBgr_AVX512<1, 0, 3, 2>;
    t.yuyvToBgr = PackedToBgr_AVX512<0, 1, 2, 3>;
    t.vyuyToBgr = PackedToBgr_AVX512<1, 2, 3, 0>;
    t.yvyuToBgr = PackedToBgr_AVX512<0, 3, 2, 1>;
}

}  // namespace kernels
