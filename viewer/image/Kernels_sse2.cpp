// The SSE2 kernel set (SSE2 is part of every x86-64 processor). Each kernel works on whole
// vector steps while they fit inside the line and finishes the line with the scalar reference,
// so no kernel reads or writes past the extents stated in Kernels.h. Floating-point kernels
// compute exactly the reference (single precision, ties to even).
#include "Kernels.h"
#include "Kernels_x86_inl.h"

namespace kernels {
namespace {

void UyvyToVuya_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    PackedToVuya_SSE2<1, 0, 3, 2>(src, dst, width);
}
void YuyvToVuya_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    PackedToVuya_SSE2<0, 1, 2, 3>(src, dst, width);
}
void VyuyToVuya_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    PackedToVuya_SSE2<1, 2, 3, 0>(src, dst, width);
}
void Planar422_SSE2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                    int width) {
    Planar422ToVuya_SSE2(y, cb, cr, dst, width);
}

// Reads width bytes of each line, writes 4 x width; 16 pixels per step.
void Planar444ToVuya_SSE2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                          int width) {
    const __m128i ones = _mm_set1_epi8(-1);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        const __m128i vu = Load(cr + i), uu = Load(cb + i), yy = Load(y + i);
        const __m128i cLo = _mm_unpacklo_epi8(vu, uu), cHi = _mm_unpackhi_epi8(vu, uu);
        const __m128i yaLo = _mm_unpacklo_epi8(yy, ones), yaHi = _mm_unpackhi_epi8(yy, ones);
        uint8_t* d = dst + 4 * i;
        Store(d, _mm_unpacklo_epi16(cLo, yaLo));
        Store(d + 16, _mm_unpackhi_epi16(cLo, yaLo));
        Store(d + 32, _mm_unpacklo_epi16(cHi, yaHi));
        Store(d + 48, _mm_unpackhi_epi16(cHi, yaHi));
    }
    Planar444ToVuya_Scalar(y + i, cb + i, cr + i, dst + 4 * i, width - i);
}

// Reads and writes 4 x width; 4 pixels per step.
void AyuvToVuya_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    int i = 0;
    for (; i + 4 <= width; i += 4) {
        const __m128i v = Load(src + 4 * i);
        // Reverse the bytes of each 32-bit lane: swap bytes in words, then swap words.
        const __m128i w = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        Store(dst + 4 * i, _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, 0xB1), 0xB1));
    }
    AyuvToVuya_Scalar(src + 4 * i, dst + 4 * i, width - i);
}

// Reads ceil(width / 6) blocks; writes 4 x ceil(width / 2) bytes. Four blocks (24 pixels) per
// step: each 32-bit word gives its three samples' top bytes, then the fourth byte is dropped.
void V210ToUyvy_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    const int outBytes = 4 * ((width + 1) / 2);
    const __m128i m0 = _mm_set1_epi32(0xFF), m1 = _mm_set1_epi32(0xFF00),
                  m2 = _mm_set1_epi32(0xFF0000);
    auto block = [&](const uint8_t* p) {
        const __m128i w = Load(p);
        return Compact4to3(_mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(w, 2), m0),
                                                     _mm_and_si128(_mm_srli_epi32(w, 4), m1)),
                                        _mm_and_si128(_mm_srli_epi32(w, 6), m2)));
    };
    int o = 0;
    for (; o + 48 <= outBytes; o += 48, src += 64)
        Store4x12(dst + o, block(src), block(src + 16), block(src + 32), block(src + 48));
    // Remaining pixels: the line's pixel count minus those done (24 per step).
    const int done = o / 2;
    if (done < width) V210ToUyvy_Scalar(src, dst + o, width - done);
}

// 4-byte pixels to B', G', R'; `Swizzle` moves the payload into bytes 0..2 of each lane.
template <class Swizzle>
void FourToThree_SSE2(const uint8_t* src, uint8_t* dst, int width, Swizzle swz,
                      void (*tail)(const uint8_t*, uint8_t*, int)) {
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        const uint8_t* s = src + 4 * i;
        Store4x12(dst + 3 * i, Compact4to3(swz(Load(s))), Compact4to3(swz(Load(s + 16))),
                  Compact4to3(swz(Load(s + 32))), Compact4to3(swz(Load(s + 48))));
    }
    tail(src + 4 * i, dst + 3 * i, width - i);
}

void BgrxToBgr_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    FourToThree_SSE2(
        src, dst, width, [](__m128i v) { return v; }, BgrxToBgr_Scalar);
}
void RgbxToBgr_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    FourToThree_SSE2(
        src, dst, width,
        [](__m128i v) {
            const __m128i g = _mm_and_si128(v, _mm_set1_epi32(0xFF00));
            const __m128i r = _mm_and_si128(_mm_slli_epi32(v, 16), _mm_set1_epi32(0xFF0000));
            const __m128i b = _mm_and_si128(_mm_srli_epi32(v, 16), _mm_set1_epi32(0xFF));
            return _mm_or_si128(_mm_or_si128(g, r), b);
        },
        RgbxToBgr_Scalar);
}
void XrgbToBgr_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    FourToThree_SSE2(
        src, dst, width,
        [](__m128i v) {
            const __m128i b = _mm_srli_epi32(v, 24);
            const __m128i g = _mm_and_si128(_mm_srli_epi32(v, 8), _mm_set1_epi32(0xFF00));
            const __m128i r = _mm_and_si128(_mm_slli_epi32(v, 8), _mm_set1_epi32(0xFF0000));
            return _mm_or_si128(_mm_or_si128(g, r), b);
        },
        XrgbToBgr_Scalar);
}

// Read 2 x width, write 3 x width; 16 pixels per step.
template <bool k565>
void Rgb16ToBgr_SSE2(const uint8_t* src, uint8_t* dst, int width) {
    const __m128i f8 = _mm_set1_epi16(0xF8), fc = _mm_set1_epi16(k565 ? 0xFC : 0xF8);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        const __m128i p0 = Load(src + 2 * i), p1 = Load(src + 2 * i + 16);
        auto b = [&](__m128i p) { return _mm_and_si128(_mm_slli_epi16(p, 3), f8); };
        auto g = [&](__m128i p) { return _mm_and_si128(_mm_srli_epi16(p, k565 ? 3 : 2), fc); };
        auto r = [&](__m128i p) { return _mm_and_si128(_mm_srli_epi16(p, k565 ? 8 : 7), f8); };
        StoreBgr48_SSE2(dst + 3 * i, _mm_packus_epi16(b(p0), b(p1)), _mm_packus_epi16(g(p0), g(p1)),
                        _mm_packus_epi16(r(p0), r(p1)));
    }
    (k565 ? R565ToBgr_Scalar : R555ToBgr_Scalar)(src + 2 * i, dst + 3 * i, width - i);
}

// E(x) = (max(x - 16, 0) * 9539 + 4096) >> 13, saturated to 255: equal to the table for every
// byte (the tests check all 256). Read and write `count` bytes; 16 per step.
void StudioExpand_SSE2(const uint8_t* src, uint8_t* dst, int count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i coef = _mm_set_epi16(4096, 9539, 4096, 9539, 4096, 9539, 4096, 9539);
    const __m128i one = _mm_set1_epi16(1);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i t = _mm_subs_epu8(Load(src + i), _mm_set1_epi8(16));
        const __m128i lo = _mm_unpacklo_epi8(t, zero), hi = _mm_unpackhi_epi8(t, zero);
        auto expand = [&](__m128i w) {
            const __m128i a = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(w, one), coef), 13);
            const __m128i b = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(w, one), coef), 13);
            return _mm_packs_epi32(a, b);
        };
        Store(dst + i, _mm_packus_epi16(expand(lo), expand(hi)));
    }
    StudioExpand_Scalar(src + i, dst + i, count - i);
}

// (s + 128) >> 8 on u16 lanes without overflow: the high byte plus bit 7.
inline __m128i Round16(__m128i s) {
    return _mm_add_epi16(_mm_srli_epi16(s, 8),
                         _mm_and_si128(_mm_srli_epi16(s, 7), _mm_set1_epi16(1)));
}
inline __m128i SwapBytes16(__m128i s) {
    return _mm_or_si128(_mm_slli_epi16(s, 8), _mm_srli_epi16(s, 8));
}

template <bool kBig>
void Reduce16_SSE2(const uint8_t* src, uint8_t* dst, int count, int maxValue) {
    const __m128i limit = _mm_set1_epi16(short(maxValue));
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128i a = Load(src + 2 * i), b = Load(src + 2 * i + 16);
        if (kBig) a = SwapBytes16(a), b = SwapBytes16(b);
        Store(dst + i,
              _mm_packus_epi16(_mm_min_epi16(Round16(a), limit), _mm_min_epi16(Round16(b), limit)));
    }
    (kBig ? Reduce16BE_Scalar : Reduce16LE_Scalar)(src + 2 * i, dst + i, count - i, maxValue);
}

void HighBytes16_SSE2(const uint8_t* src, uint8_t* dst, int count) {
    int i = 0;
    for (; i + 16 <= count; i += 16)
        Store(dst + i, _mm_packus_epi16(_mm_srli_epi16(Load(src + 2 * i), 8),
                                        _mm_srli_epi16(Load(src + 2 * i + 16), 8)));
    HighBytes16_Scalar(src + 2 * i, dst + i, count - i);
}
void LowAddressBytes16_SSE2(const uint8_t* src, uint8_t* dst, int count) {
    const __m128i m = _mm_set1_epi16(0xFF);
    int i = 0;
    for (; i + 16 <= count; i += 16)
        Store(dst + i, _mm_packus_epi16(_mm_and_si128(Load(src + 2 * i), m),
                                        _mm_and_si128(Load(src + 2 * i + 16), m)));
    LowAddressBytes16_Scalar(src + 2 * i, dst + i, count - i);
}

// Read 4 x pairs, write `pairs` to each line; 8 pairs per step.
void SplitHighBytes16_SSE2(const uint8_t* src, uint8_t* cb, uint8_t* cr, int pairs) {
    const __m128i m = _mm_set1_epi32(0xFF);
    int i = 0;
    for (; i + 8 <= pairs; i += 8) {
        const __m128i a = Load(src + 4 * i), b = Load(src + 4 * i + 16);
        const __m128i u = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 8), m),
                                          _mm_and_si128(_mm_srli_epi32(b, 8), m));
        const __m128i v = _mm_packs_epi32(_mm_srli_epi32(a, 24), _mm_srli_epi32(b, 24));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + i), _mm_packus_epi16(u, u));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + i), _mm_packus_epi16(v, v));
    }
    SplitHighBytes16_Scalar(src + 4 * i, cb + i, cr + i, pairs - i);
}

// kStudio: the result is limited to 16..240 (chromaBlend), else to 0..255 (chromaBlendFull).
template <bool kStudio>
void ChromaBlend_SSE2(const uint8_t* a, const uint8_t* b, uint8_t* out, int count, int wa, int wb,
                      int shift) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i va = _mm_set1_epi16(short(wa)), vb = _mm_set1_epi16(short(wb));
    const __m128i round = _mm_set1_epi16(short(1 << (shift - 1)));
    const __m128i sh = _mm_cvtsi32_si128(shift);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i x = Load(a + i), y = Load(b + i);
        auto mix = [&](__m128i p, __m128i q) {
            return _mm_srl_epi16(
                _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(p, va), _mm_mullo_epi16(q, vb)), round),
                sh);
        };
        const __m128i v =
            _mm_packus_epi16(mix(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero)),
                             mix(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero)));
        Store(out + i,
              kStudio ? _mm_min_epu8(_mm_max_epu8(v, _mm_set1_epi8(16)), _mm_set1_epi8(char(240)))
                      : v);
    }
    (kStudio ? ChromaBlend_Scalar : ChromaBlendFull_Scalar)(a + i, b + i, out + i, count - i, wa,
                                                            wb, shift);
}

void VerticalLowPass121_SSE2(const uint8_t* above, const uint8_t* middle, const uint8_t* below,
                             uint8_t* out, int count) {
    const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = Load(above + i), m = Load(middle + i), b = Load(below + i);
        auto f = [&](__m128i p, __m128i q, __m128i r) {
            return _mm_srli_epi16(
                _mm_add_epi16(_mm_add_epi16(p, _mm_slli_epi16(q, 1)), _mm_add_epi16(r, two)), 2);
        };
        Store(out + i, _mm_packus_epi16(f(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(m, zero),
                                          _mm_unpacklo_epi8(b, zero)),
                                        f(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(m, zero),
                                          _mm_unpackhi_epi8(b, zero))));
    }
    VerticalLowPass121_Scalar(above + i, middle + i, below + i, out + i, count - i);
}

// 4:2:2 pairs to planar lines, eight pairs per step. kCbFirst: Cb is the first chroma byte of
// the pair; kChromaOdd: the chroma bytes are the odd bytes (Y' first).
template <bool kChromaOdd, bool kCbFirst>
void PackedToPlanar_SSE2(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr, int width,
                         void (*tail)(const uint8_t*, uint8_t*, uint8_t*, uint8_t*, int)) {
    const __m128i low = _mm_set1_epi16(0xFF);
    const int n = width / 2;
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m128i a = Load(src + 4 * k), b = Load(src + 4 * k + 16);
        const __m128i luma = kChromaOdd
                                 ? _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low))
                                 : _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        const __m128i chroma = kChromaOdd
                                   ? _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8))
                                   : _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low));
        const __m128i first = _mm_packus_epi16(_mm_and_si128(chroma, low), _mm_setzero_si128());
        const __m128i second = _mm_packus_epi16(_mm_srli_epi16(chroma, 8), _mm_setzero_si128());
        Store(y + 2 * k, luma);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + k), kCbFirst ? first : second);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + k), kCbFirst ? second : first);
    }
    tail(src + 4 * k, y + 2 * k, cb + k, cr + k, width - 2 * k);
}

void UyvyToPlanar_SSE2(const uint8_t* s, uint8_t* y, uint8_t* cb, uint8_t* cr, int w) {
    PackedToPlanar_SSE2<false, true>(s, y, cb, cr, w, UyvyToPlanar_Scalar);
}
void YuyvToPlanar_SSE2(const uint8_t* s, uint8_t* y, uint8_t* cb, uint8_t* cr, int w) {
    PackedToPlanar_SSE2<true, true>(s, y, cb, cr, w, YuyvToPlanar_Scalar);
}
void VyuyToPlanar_SSE2(const uint8_t* s, uint8_t* y, uint8_t* cb, uint8_t* cr, int w) {
    PackedToPlanar_SSE2<false, false>(s, y, cb, cr, w, VyuyToPlanar_Scalar);
}

}  // namespace

void InstallSSE2(KernelTable& t) {
    t.uyvyToPlanar = UyvyToPlanar_SSE2;
    t.yuyvToPlanar = YuyvToPlanar_SSE2;
    t.vyuyToPlanar = VyuyToPlanar_SSE2;
    t.level = SimdLevel::SSE2;
    t.uyvyToVuya = UyvyToVuya_SSE2;
    t.yuyvToVuya = YuyvToVuya_SSE2;
    t.vyuyToVuya = VyuyToVuya_SSE2;
    t.planar422ToVuya = Planar422_SSE2;
    t.planar444ToVuya = Planar444ToVuya_SSE2;
    t.ayuvToVuya = AyuvToVuya_SSE2;
    t.v210ToUyvy = V210ToUyvy_SSE2;
    t.vuyaToBgr = VuyaToBgrLine<Bgr48ByShifts>;
    t.vuyaLumaToGrey = GreyFromVuyaLine<Bgr48ByShifts, 2>;
    t.vuyaCbToGrey = GreyFromVuyaLine<Bgr48ByShifts, 1>;
    t.vuyaCrToGrey = GreyFromVuyaLine<Bgr48ByShifts, 0>;
    t.bgrxToBgr = BgrxToBgr_SSE2;
    t.rgbxToBgr = RgbxToBgr_SSE2;
    t.xrgbToBgr = XrgbToBgr_SSE2;
    t.greyToBgr = GreyToBgrLine<Bgr48ByShifts>;
    t.planesToBgr = PlanesToBgrLine<Bgr48ByShifts>;
    t.r555ToBgr = Rgb16ToBgr_SSE2<false>;
    t.r565ToBgr = Rgb16ToBgr_SSE2<true>;
    t.studioExpand = StudioExpand_SSE2;
    t.reduce16LE = Reduce16_SSE2<false>;
    t.reduce16BE = Reduce16_SSE2<true>;
    InstallWideSSE2(t);
    t.highBytes16 = HighBytes16_SSE2;
    t.lowAddressBytes16 = LowAddressBytes16_SSE2;
    t.splitHighBytes16 = SplitHighBytes16_SSE2;
    t.chromaBlend = ChromaBlend_SSE2<true>;
    t.chromaBlendFull = ChromaBlend_SSE2<false>;
    InstallColourKernel<VuyaToBgrWithLine<Bgr48ByShifts>>(t);
    t.vuyaLumaAsGrey = ByteFromVuyaLine<Bgr48ByShifts, 2>;
    t.vuyaCbAsGrey = ByteFromVuyaLine<Bgr48ByShifts, 1>;
    t.vuyaCrAsGrey = ByteFromVuyaLine<Bgr48ByShifts, 0>;
    t.verticalLowPass121 = VerticalLowPass121_SSE2;
}

}  // namespace kernels
