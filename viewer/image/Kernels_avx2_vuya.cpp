// The "VUYA" layout's own double-precision conversion in AVX2: full colour in integers where
// they give the double-precision result, the rest in double precision; and the VUYA line kernel
// with run-time coefficients (other matrices and ranges). Compiled with -mavx2 like
// Kernels_avx2.cpp, which installs them.
#include "ColourMatrix.h"
#include "Kernels.h"
#include "Kernels_avx2_inl.h"

namespace kernels {

using namespace colour;

namespace {

// The "VUYA" full-colour conversion in integers, eight pixels per vector. Each double-precision
// result is (T(s / 1000) + 128) >> 8 (or (128 - T(q / 1000)) >> 8 for G') of an integer sum of
// samples times the constants in thousandths; after clamping to 0..255 that is
// floor(n / 256000) of n = s + 128000 (n = 128000 - q), for either sign. floor(n / 256000) is
// floor(floor(n / 256) / 1000), and the second division is done as a float product: the
// quotient (m + 0.5) / 1000 lies at least 1/2000 from an integer, far beyond float error for
// |m| < 2^20. The two differ only where the double-precision expression lands exactly on an
// integer boundary and rounds across it; of all 2^24 inputs that happens for G' alone, at n a
// multiple of 256000. Eight pixels holding such an n take the double-precision code instead.
KAVLO_STEP __m256i Div256000(__m256i n) {
    const __m256 m = _mm256_cvtepi32_ps(_mm256_srai_epi32(n, 8));
    return _mm256_cvttps_epi32(
        _mm256_mul_ps(_mm256_add_ps(m, _mm256_set1_ps(0.5f)), _mm256_set1_ps(0.001f)));
}

// Eight pixels; false (nothing computed) when one of them sits on a G' boundary.
KAVLO_STEP bool VuyaIntegerToBgr8(__m256i px, __m256i& b, __m256i& g, __m256i& r) {
    const __m256i mask = _mm256_set1_epi32(0xFF);
    const __m256i cr = _mm256_and_si256(px, mask);
    const __m256i cb = _mm256_and_si256(_mm256_srli_epi32(px, 8), mask);
    const __m256i yy = _mm256_mullo_epi32(_mm256_and_si256(_mm256_srli_epi32(px, 16), mask),
                                          _mm256_set1_epi32(kMilliLuma));
    auto k = [](int v) { return _mm256_set1_epi32(v); };
    auto mul = [](__m256i a, int c) { return _mm256_mullo_epi32(a, _mm256_set1_epi32(c)); };
    // The offsets fold in the sample offsets (Y' - 16, Cb - 128, Cr - 128) and the rounding.
    constexpr int kLuma16 = kMilliLuma * kLumaBlack;
    const __m256i nG = _mm256_sub_epi32(
        _mm256_add_epi32(
            yy, k(128000 + kMilliCbToG * kChromaZero - kLuma16 + kMilliCrToG * kChromaZero)),
        _mm256_add_epi32(mul(cb, kMilliCbToG), mul(cr, kMilliCrToG)));
    g = Div256000(nG);
    if (!_mm256_testz_si256(_mm256_cmpeq_epi32(nG, mul(g, 256000)), _mm256_cmpeq_epi32(nG, nG)))
        return false;
    r = Div256000(_mm256_add_epi32(_mm256_add_epi32(yy, mul(cr, kMilliCrToR)),
                                   k(128000 - kLuma16 - kMilliCrToR * kChromaZero)));
    b = Div256000(_mm256_add_epi32(_mm256_add_epi32(yy, mul(cb, kMilliCbToB)),
                                   k(128000 - kLuma16 - kMilliCbToB * kChromaZero)));
    return true;
}

// VuyaToBgr8 with run-time coefficients, in the order of the reference with coefficients.
struct ColourVectors8 {
    __m256i black;
    __m256 gain, crToR, cbToG, crToG, cbToB;
    explicit ColourVectors8(const ColourCoefficients& c)
        : black(_mm256_set1_epi32(c.lumaBlack)),
          gain(_mm256_set1_ps(c.lumaGain)),
          crToR(_mm256_set1_ps(c.crToR)),
          cbToG(_mm256_set1_ps(c.cbToG)),
          crToG(_mm256_set1_ps(c.crToG)),
          cbToB(_mm256_set1_ps(c.cbToB)) {}
};

KAVLO_STEP void VuyaToBgr8With(__m256i px, const ColourVectors8& c, __m256i& b, __m256i& g,
                               __m256i& r) {
    const __m256i mask = _mm256_set1_epi32(0xFF);
    const __m256i zero = _mm256_set1_epi32(kChromaZero);
    const __m256 v = _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_and_si256(px, mask), zero));
    const __m256 u = _mm256_cvtepi32_ps(
        _mm256_sub_epi32(_mm256_and_si256(_mm256_srli_epi32(px, 8), mask), zero));
    const __m256 yy =
        _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(
                          _mm256_and_si256(_mm256_srli_epi32(px, 16), mask), c.black)),
                      c.gain);
    r = _mm256_cvtps_epi32(_mm256_add_ps(yy, _mm256_mul_ps(v, c.crToR)));
    g = _mm256_cvtps_epi32(
        _mm256_sub_ps(_mm256_sub_ps(yy, _mm256_mul_ps(u, c.cbToG)), _mm256_mul_ps(v, c.crToG)));
    b = _mm256_cvtps_epi32(_mm256_add_ps(yy, _mm256_mul_ps(u, c.cbToB)));
}

}  // namespace

// The double-precision "VUYA" conversion, four pixels per vector: the same IEEE operations in
// the same order as the scalar version (no FMA), truncation by cvttpd.
// Reads 4 x width, writes 3 x width.
void VuyaDoubleToBgr_AVX2(const uint8_t* src, uint8_t* dst, int width, int mode) {
    const __m128i mask = _mm_set1_epi32(0xFF);
    auto d = [](double v) { return _mm256_set1_pd(v); };
    auto T = [](__m256d v) { return _mm256_cvttpd_epi32(v); };
    auto shift8 = [](__m128i v) {
        return _mm_srai_epi32(_mm_add_epi32(v, _mm_set1_epi32(128)), 8);
    };
    auto four = [&](const uint8_t* p, __m128i& b, __m128i& g, __m128i& r) {
        const __m128i px = Load(p);
        const __m128i zero = _mm_set1_epi32(kChromaZero);
        const __m256d v = _mm256_cvtepi32_pd(_mm_sub_epi32(_mm_and_si128(px, mask), zero));
        const __m256d u =
            _mm256_cvtepi32_pd(_mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(px, 8), mask), zero));
        const __m256d y = _mm256_cvtepi32_pd(
            _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(px, 16), mask), _mm_set1_epi32(kLumaBlack)));
        // One component as grey: (c + offset) x 255 / range + 0.5, truncated.
        auto grey = [&](__m256d c, double offset, double range) {
            return T(_mm256_add_pd(
                _mm256_div_pd(_mm256_mul_pd(_mm256_add_pd(c, d(offset)), d(kFullScale)), d(range)),
                d(0.5)));
        };
        switch (mode) {
        case kVuyaLuma:
            r = g = b = T(_mm256_add_pd(
                _mm256_div_pd(_mm256_mul_pd(y, d(kFullScale)), d(kLumaRange)), d(0.5)));
            break;
        case kVuyaCb:
            r = g = grey(u, kChromaRange / 2, kChromaRange);
            b = shift8(T(_mm256_add_pd(_mm256_mul_pd(u, d(kDoubleCbToB)), d(kDoubleCbGreyBias))));
            break;
        case kVuyaCr: r = g = b = grey(v, kChromaRange / 2, kChromaRange); break;
        default: {
            const __m256d yy = _mm256_mul_pd(y, d(kDoubleLuma));
            r = shift8(T(_mm256_add_pd(yy, _mm256_mul_pd(v, d(kDoubleCrToR)))));
            g = _mm_srai_epi32(
                _mm_sub_epi32(_mm_set1_epi32(128),
                              T(_mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(u, d(kDoubleCbToG)), yy),
                                              _mm256_mul_pd(v, d(kDoubleCrToG))))),
                8);
            b = shift8(T(_mm256_add_pd(_mm256_mul_pd(u, d(kDoubleCbToB)), yy)));
            break;
        }
        }
    };
    int i = 0;
    if (mode == kVuyaFullColour) {
        for (; i + 16 <= width; i += 16) {
            __m256i b0, g0, r0, b1, g1, r1;
            if (VuyaIntegerToBgr8(Load256(src + 4 * i), b0, g0, r0) &&
                VuyaIntegerToBgr8(Load256(src + 4 * i + 32), b1, g1, r1))
                StoreBgr16(dst + 3 * i, b0, b1, g0, g1, r0, r1);
            else
                VuyaDoubleToBgr_Scalar(src + 4 * i, dst + 3 * i, 16, mode);
        }
    }
    for (; i + 16 <= width; i += 16) {
        __m128i b[4], g[4], r[4];
        for (int q = 0; q < 4; ++q) four(src + 4 * (i + 4 * q), b[q], g[q], r[q]);
        auto pack = [](const __m128i* x) {
            return _mm_packus_epi16(_mm_packs_epi32(x[0], x[1]), _mm_packs_epi32(x[2], x[3]));
        };
        StoreBgr48(dst + 3 * i, pack(b), pack(g), pack(r));
    }
    VuyaDoubleToBgr_Scalar(src + 4 * i, dst + 3 * i, width - i, mode);
}

// Reads 4 x width, writes 3 x width; 16 pixels per step.
void VuyaToBgrWith_AVX2(const uint8_t* src, uint8_t* dst, int width,
                        const ColourCoefficients& coefficients) {
    const ColourVectors8 c(coefficients);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        __m256i b0, g0, r0, b1, g1, r1;
        VuyaToBgr8With(Load256(src + 4 * i), c, b0, g0, r0);
        VuyaToBgr8With(Load256(src + 4 * i + 32), c, b1, g1, r1);
        StoreBgr16(dst + 3 * i, b0, b1, g0, g1, r0, r1);
    }
    for (; i < width; ++i)
        VuyaToBgrReference(src[4 * i], src[4 * i + 1], src[4 * i + 2], dst + 3 * i, coefficients);
}

}  // namespace kernels
