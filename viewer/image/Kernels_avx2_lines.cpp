// AVX2 kernels that move and reduce bytes without the colour matrix: 16-bit samples to 8 bits,
// high bytes, v210 blocks, packed 4:2:2 split into planes, the chroma blend, the vertical low-pass
// and 4-byte R'G'B' pixels to 3. Installed by InstallAVX2.
#include "Kernels.h"
#include "Kernels_x86_inl.h"
#include "Kernels_avx2_inl.h"

#include <immintrin.h>

#include <algorithm>

namespace kernels {
namespace {

// (s + 128) >> 8 on u16 lanes without overflow: the high byte plus bit 7.
inline __m256i Round16x16(__m256i s) {
    return _mm256_add_epi16(_mm256_srli_epi16(s, 8),
                            _mm256_and_si256(_mm256_srli_epi16(s, 7), _mm256_set1_epi16(1)));
}

// Two vectors of 16-bit values to 32 bytes in order (packus works per 128-bit half).
inline __m256i PackInOrder(__m256i a, __m256i b) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
}

// 16-bit samples to 8 bits, 32 per step. Read 2 x count, write count.
template <bool kBig>
void Reduce16_AVX2(const uint8_t* src, uint8_t* dst, int count, int maxValue) {
    const __m256i limit = _mm256_set1_epi16(short(maxValue));
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1,
                                          0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i a = Load256(src + 2 * i), b = Load256(src + 2 * i + 32);
        if (kBig) a = _mm256_shuffle_epi8(a, swap), b = _mm256_shuffle_epi8(b, swap);
        Store256(dst + i, PackInOrder(_mm256_min_epi16(Round16x16(a), limit),
                                      _mm256_min_epi16(Round16x16(b), limit)));
    }
    (kBig ? Reduce16BE_Scalar : Reduce16LE_Scalar)(src + 2 * i, dst + i, count - i, maxValue);
}

// High bytes of u16 LE samples, 32 per step. Read 2 x count, write count.
void HighBytes16_AVX2(const uint8_t* src, uint8_t* dst, int count) {
    int i = 0;
    for (; i + 32 <= count; i += 32)
        Store256(dst + i, PackInOrder(_mm256_srli_epi16(Load256(src + 2 * i), 8),
                                      _mm256_srli_epi16(Load256(src + 2 * i + 32), 8)));
    HighBytes16_Scalar(src + 2 * i, dst + i, count - i);
}

// Interleaved u16 LE (Cb, Cr) pairs to two lines of high bytes, 16 pairs per step.
// Read 4 x pairs, write `pairs` to each line.
void SplitHighBytes16_AVX2(const uint8_t* src, uint8_t* cb, uint8_t* cr, int pairs) {
    const __m256i m = _mm256_set1_epi32(0xFF);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int i = 0;
    for (; i + 16 <= pairs; i += 16) {
        const __m256i a = Load256(src + 4 * i), b = Load256(src + 4 * i + 32);
        const __m256i u = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(a, 8), m),
                                             _mm256_and_si256(_mm256_srli_epi32(b, 8), m));
        const __m256i v = _mm256_packs_epi32(_mm256_srli_epi32(a, 24), _mm256_srli_epi32(b, 24));
        const __m256i uv = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(u, v), order);
        Store(cb + i, _mm256_castsi256_si128(uv));
        Store(cr + i, _mm256_extracti128_si256(uv, 1));
    }
    SplitHighBytes16_Scalar(src + 4 * i, cb + i, cr + i, pairs - i);
}

// v210 to UYVY, two blocks (12 pixels) per 256-bit vector: every word's three samples keep
// their top bytes, each lane drops the fourth byte of its words, and one dword permutation
// joins the two lanes' 12 bytes. The 32-byte store runs 8 bytes ahead; the next step or the
// scalar tail writes them again, and the loop keeps the whole store inside the line.
// Reads ceil(width / 6) blocks; writes 4 x ceil(width / 2) bytes.
void V210ToUyvy_AVX2(const uint8_t* src, uint8_t* dst, int width) {
    const int outBytes = 4 * ((width + 1) / 2);
    const __m256i m0 = _mm256_set1_epi32(0xFF), m1 = _mm256_set1_epi32(0xFF00),
                  m2 = _mm256_set1_epi32(0xFF0000);
    const __m256i drop = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                          1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    int o = 0;
    for (; o + 32 <= outBytes; o += 24, src += 32) {
        const __m256i w = Load256(src);
        const __m256i t =
            _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(w, 2), m0),
                                            _mm256_and_si256(_mm256_srli_epi32(w, 4), m1)),
                            _mm256_and_si256(_mm256_srli_epi32(w, 6), m2));
        Store256(dst + o, _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(t, drop), join));
    }
    const int done = o / 2;
    if (done < width) V210ToUyvy_Scalar(src, dst + o, width - done);
}

// 4:2:2 pairs to planar lines, 16 pairs per step (see the SSE2 set for the byte positions).
template <bool kChromaOdd, bool kCbFirst>
void PackedToPlanar_AVX2(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr, int width,
                         void (*tail)(const uint8_t*, uint8_t*, uint8_t*, uint8_t*, int)) {
    const __m256i low = _mm256_set1_epi16(0xFF);
    const int n = width / 2;
    int k = 0;
    for (; k + 16 <= n; k += 16) {
        const __m256i a = Load256(src + 4 * k), b = Load256(src + 4 * k + 32);
        const __m256i even = PackInOrder(_mm256_and_si256(a, low), _mm256_and_si256(b, low));
        const __m256i odd = PackInOrder(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
        const __m256i luma = kChromaOdd ? even : odd;
        const __m256i chroma = kChromaOdd ? odd : even;
        // Chroma bytes alternate first, second: split them into two lines of 16.
        const __m256i split =
            PackInOrder(_mm256_and_si256(chroma, low), _mm256_srli_epi16(chroma, 8));
        Store256(y + 2 * k, luma);
        const __m128i first = _mm256_castsi256_si128(split),
                      second = _mm256_extracti128_si256(split, 1);
        Store(cb + k, kCbFirst ? first : second);
        Store(cr + k, kCbFirst ? second : first);
    }
    tail(src + 4 * k, y + 2 * k, cb + k, cr + k, width - 2 * k);
}

void UyvyToPlanar_AVX2(const uint8_t* s, uint8_t* y, uint8_t* cb, uint8_t* cr, int w) {
    PackedToPlanar_AVX2<false, true>(s, y, cb, cr, w, UyvyToPlanar_Scalar);
}
void YuyvToPlanar_AVX2(const uint8_t* s, uint8_t* y, uint8_t* cb, uint8_t* cr, int w) {
    PackedToPlanar_AVX2<true, true>(s, y, cb, cr, w, YuyvToPlanar_Scalar);
}
void VyuyToPlanar_AVX2(const uint8_t* s, uint8_t* y, uint8_t* cb, uint8_t* cr, int w) {
    PackedToPlanar_AVX2<false, false>(s, y, cb, cr, w, VyuyToPlanar_Scalar);
}

// 4:2:0 chroma rows blended and clamped to 16..240 (kStudio) or 0..255, 32 per step (unpacking
// and packing within each 128-bit half keeps the byte order). The bytes of the two rows are
// interleaved and one multiply-add of unsigned bytes by the byte weights (wa, wb) gives
// wa x a + wb x b in each 16-bit lane: exact while both weights fit a signed byte and the sum
// fits a signed 16-bit lane, which every tap meets (weights up to 7, shift up to 3); other
// weights take the scalar code. Read `count` bytes of each line, write `count`.
template <bool kStudio>
void ChromaBlend_AVX2(const uint8_t* a, const uint8_t* b, uint8_t* out, int count, int wa, int wb,
                      int shift) {
    int i = 0;
    if (wa >= 0 && wb >= 0 && wa <= 127 && wb <= 127 && 255 * (wa + wb) <= 32767) {
        const __m256i weights = _mm256_set1_epi16(short(wa | (wb << 8)));
        const __m256i round = _mm256_set1_epi16(short(1 << (shift - 1)));
        const __m128i sh = _mm_cvtsi32_si128(shift);
        auto mix = [&](__m256i pairs) {
            return _mm256_srl_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(pairs, weights), round),
                                    sh);
        };
        for (; i + 32 <= count; i += 32) {
            const __m256i x = Load256(a + i), y = Load256(b + i);
            const __m256i v = _mm256_packus_epi16(mix(_mm256_unpacklo_epi8(x, y)),
                                                  mix(_mm256_unpackhi_epi8(x, y)));
            Store256(out + i, kStudio ? _mm256_min_epu8(_mm256_max_epu8(v, _mm256_set1_epi8(16)),
                                                        _mm256_set1_epi8(char(240)))
                                      : v);
        }
    }
    (kStudio ? ChromaBlend_Scalar : ChromaBlendFull_Scalar)(a + i, b + i, out + i, count - i, wa,
                                                            wb, shift);
}

// (above + 2 middle + below + 2) >> 2, 32 bytes per step. Read and write `count` bytes.
void VerticalLowPass121_AVX2(const uint8_t* above, const uint8_t* middle, const uint8_t* below,
                             uint8_t* out, int count) {
    const __m256i zero = _mm256_setzero_si256(), two = _mm256_set1_epi16(2);
    auto f = [&](__m256i p, __m256i q, __m256i r) {
        return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(p, _mm256_slli_epi16(q, 1)),
                                                  _mm256_add_epi16(r, two)),
                                 2);
    };
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i a = Load256(above + i), m = Load256(middle + i), b = Load256(below + i);
        Store256(out + i,
                 _mm256_packus_epi16(f(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(m, zero),
                                       _mm256_unpacklo_epi8(b, zero)),
                                     f(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(m, zero),
                                       _mm256_unpackhi_epi8(b, zero))));
    }
    VerticalLowPass121_Scalar(above + i, middle + i, below + i, out + i, count - i);
}

// 4-byte pixels to 3-byte B', G', R', eight pixels per step: an in-lane byte shuffle leaves 12
// bytes at the start of each 128-bit lane, a dword permutation closes the gap, and a 32-byte
// store writes the 24 bytes plus 8 that the next step (or the scalar tail) overwrites. The
// steps stop while those 8 bytes still lie inside the row. kB0..kB2: source bytes of B', G', R'.
template <int kB0, int kB1, int kB2>
void FourToThree_AVX2(const uint8_t* src, uint8_t* dst, int width,
                      void (*tail)(const uint8_t*, uint8_t*, int)) {
    auto lane = [](int p) {
        return _mm_setr_epi8(char(p + kB0), char(p + kB1), char(p + kB2), char(p + 4 + kB0),
                             char(p + 4 + kB1), char(p + 4 + kB2), char(p + 8 + kB0),
                             char(p + 8 + kB1), char(p + 8 + kB2), char(p + 12 + kB0),
                             char(p + 12 + kB1), char(p + 12 + kB2), -128, -128, -128, -128);
    };
    const __m256i shuffle = _mm256_broadcastsi128_si256(lane(0));
    const __m256i close = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    int i = 0;
    for (; i + 11 <= width; i += 8)
        Store256(dst + 3 * i, _mm256_permutevar8x32_epi32(
                                  _mm256_shuffle_epi8(Load256(src + 4 * i), shuffle), close));
    tail(src + 4 * i, dst + 3 * i, width - i);
}

void BgrxToBgr_AVX2(const uint8_t* s, uint8_t* d, int w) {
    FourToThree_AVX2<0, 1, 2>(s, d, w, BgrxToBgr_Scalar);
}
void RgbxToBgr_AVX2(const uint8_t* s, uint8_t* d, int w) {
    FourToThree_AVX2<2, 1, 0>(s, d, w, RgbxToBgr_Scalar);
}
void XrgbToBgr_AVX2(const uint8_t* s, uint8_t* d, int w) {
    FourToThree_AVX2<3, 2, 1>(s, d, w, XrgbToBgr_Scalar);
}

}  // namespace

void InstallLinesAVX2(KernelTable& t) {
    t.reduce16LE = Reduce16_AVX2<false>;
    t.reduce16BE = Reduce16_AVX2<true>;
    t.highBytes16 = HighBytes16_AVX2;
    t.splitHighBytes16 = SplitHighBytes16_AVX2;
    t.v210ToUyvy = V210ToUyvy_AVX2;
    t.uyvyToPlanar = UyvyToPlanar_AVX2;
    t.yuyvToPlanar = YuyvToPlanar_AVX2;
    t.vyuyToPlanar = VyuyToPlanar_AVX2;
    t.chromaBlend = ChromaBlend_AVX2<true>;
    t.chromaBlendFull = ChromaBlend_AVX2<false>;
    t.verticalLowPass121 = VerticalLowPass121_AVX2;
    t.bgrxToBgr = BgrxToBgr_AVX2;
    t.rgbxToBgr = RgbxToBgr_AVX2;
    t.xrgbToBgr = XrgbToBgr_AVX2;
}

}  // namespace kernels
