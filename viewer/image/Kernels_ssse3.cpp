// The SSSE3 kernel set: byte shuffles (pshufb) replace the shift-and-mask sequences of the SSE2
// set wherever bytes are rearranged. Only this file is compiled with -mssse3. Results are the
// SSE2 set's, bit for bit. The line kernels that differ from the SSE2 ones only in the store of
// 48 bytes are written once in Kernels_x86_inl.h and instantiated here with the shuffle store.
#include "Kernels.h"
#include "Kernels_x86_inl.h"

#include <array>

namespace kernels {
namespace {

// 4-byte pixels to 3-byte pixels taking bytes b0, b1, b2 of each.
constexpr Mask FourToThreeMask(int b0, int b1, int b2) {
    Mask m{};
    for (int p = 0; p < 4; ++p) {
        m[size_t(3 * p)] = int8_t(4 * p + b0);
        m[size_t(3 * p + 1)] = int8_t(4 * p + b1);
        m[size_t(3 * p + 2)] = int8_t(4 * p + b2);
    }
    for (int i = 12; i < 16; ++i) m[size_t(i)] = -128;
    return m;
}

template <int kB0, int kB1, int kB2>
void FourToThree(const uint8_t* src, uint8_t* dst, int width,
                 void (*tail)(const uint8_t*, uint8_t*, int)) {
    static constexpr Mask kMask = FourToThreeMask(kB0, kB1, kB2);
    const __m128i m = M(kMask);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        const uint8_t* s = src + 4 * i;
        Store4x12(dst + 3 * i, _mm_shuffle_epi8(Load(s), m), _mm_shuffle_epi8(Load(s + 16), m),
                  _mm_shuffle_epi8(Load(s + 32), m), _mm_shuffle_epi8(Load(s + 48), m));
    }
    tail(src + 4 * i, dst + 3 * i, width - i);
}

void BgrxToBgr_SSSE3(const uint8_t* s, uint8_t* d, int w) {
    FourToThree<0, 1, 2>(s, d, w, BgrxToBgr_Scalar);
}
void RgbxToBgr_SSSE3(const uint8_t* s, uint8_t* d, int w) {
    FourToThree<2, 1, 0>(s, d, w, RgbxToBgr_Scalar);
}
void XrgbToBgr_SSSE3(const uint8_t* s, uint8_t* d, int w) {
    FourToThree<3, 2, 1>(s, d, w, XrgbToBgr_Scalar);
}

// Masks that swap the first and third byte of every 3-byte pixel across 48 bytes:
// kSwap[out][in] picks, for each byte of output chunk `out`, its byte from input chunk `in`.
constexpr std::array<std::array<Mask, 3>, 3> MakeSwap() {
    std::array<std::array<Mask, 3>, 3> m{};
    for (int out = 0; out < 3; ++out) {
        for (int in = 0; in < 3; ++in) {
            for (int i = 0; i < 16; ++i) {
                const int j = 16 * out + i, from = 3 * (j / 3) + 2 - j % 3;
                m[size_t(out)][size_t(in)][size_t(i)] = int8_t(from / 16 == in ? from % 16 : -128);
            }
        }
    }
    return m;
}
constexpr auto kSwap = MakeSwap();

// Read and write 3 x width; 16 pixels (three vectors) per step.
void RgbToBgr_SSSE3(const uint8_t* src, uint8_t* dst, int width) {
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        const uint8_t* s = src + 3 * i;
        const __m128i a = Load(s), b = Load(s + 16), c = Load(s + 32);
        uint8_t* d = dst + 3 * i;
        Store(d, _mm_or_si128(_mm_shuffle_epi8(a, M(kSwap[0][0])),
                              _mm_shuffle_epi8(b, M(kSwap[0][1]))));
        Store(d + 16, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, M(kSwap[1][0])),
                                                _mm_shuffle_epi8(b, M(kSwap[1][1]))),
                                   _mm_shuffle_epi8(c, M(kSwap[1][2]))));
        Store(d + 32, _mm_or_si128(_mm_shuffle_epi8(b, M(kSwap[2][1])),
                                   _mm_shuffle_epi8(c, M(kSwap[2][2]))));
    }
    RgbToBgr_Scalar(src + 3 * i, dst + 3 * i, width - i);
}

void AyuvToVuya_SSSE3(const uint8_t* src, uint8_t* dst, int width) {
    const __m128i m = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    int i = 0;
    for (; i + 4 <= width; i += 4) Store(dst + 4 * i, _mm_shuffle_epi8(Load(src + 4 * i), m));
    AyuvToVuya_Scalar(src + 4 * i, dst + 4 * i, width - i);
}

}  // namespace

void InstallSSSE3(KernelTable& t) {
    InstallSSE2(t);
    t.level = SimdLevel::SSSE3;
    t.vuyaToBgr = VuyaToBgrLine<Bgr48ByShuffles>;
    t.vuyaLumaToGrey = GreyFromVuyaLine<Bgr48ByShuffles, 2>;
    t.vuyaCbToGrey = GreyFromVuyaLine<Bgr48ByShuffles, 1>;
    t.vuyaCrToGrey = GreyFromVuyaLine<Bgr48ByShuffles, 0>;
    InstallColourKernel<VuyaToBgrWithLine<Bgr48ByShuffles>>(t);
    t.vuyaLumaAsGrey = ByteFromVuyaLine<Bgr48ByShuffles, 2>;
    t.vuyaCbAsGrey = ByteFromVuyaLine<Bgr48ByShuffles, 1>;
    t.vuyaCrAsGrey = ByteFromVuyaLine<Bgr48ByShuffles, 0>;
    t.bgrxToBgr = BgrxToBgr_SSSE3;
    t.rgbxToBgr = RgbxToBgr_SSSE3;
    t.xrgbToBgr = XrgbToBgr_SSSE3;
    t.rgbToBgr = RgbToBgr_SSSE3;
    t.greyToBgr = GreyToBgrLine<Bgr48ByShuffles>;
    t.planesToBgr = PlanesToBgrLine<Bgr48ByShuffles>;
    t.ayuvToVuya = AyuvToVuya_SSSE3;
}

}  // namespace kernels
