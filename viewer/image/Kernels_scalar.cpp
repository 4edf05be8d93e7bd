// The scalar kernel set: the readable reference every vector set follows. Plain loops, one
// named helper per piece of per-pixel arithmetic.
#include "Kernels.h"

#include "ColourMatrix.h"

#include <array>
#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kernels {
namespace {

uint8_t Clamp255(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
uint8_t Clamp255(int64_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// Chroma of the odd pixel of pair k: the (-1, 9, 9, -1) / 16 filter over the pairs k - 1 .. k + 2,
// indices clamped into the line. The shift of a negative sum rounds toward minus infinity.
uint8_t InterpolateChroma(int before, int here, int next, int after) {
    return Clamp255((9 * (here + next) - before - after + 8) >> 4);
}

int ClampIndex(int k, int n) { return k < 0 ? 0 : k > n - 1 ? n - 1 : k; }

void PutVuya(uint8_t* d, uint8_t cr, uint8_t cb, uint8_t y) {
    d[0] = cr;
    d[1] = cb;
    d[2] = y;
    d[3] = 255;
}

// 4:2:2 pairs with the byte positions of Y'0, Cb, Y'1 and Cr inside each 4-byte pair. Pixels
// 2k get the pair's chroma; pixels 2k + 1 the filtered chroma of the width / 2 whole pairs. An odd
// width's last pixel is the even pixel of one more pair and takes that pair's own chroma.
template <int kY0, int kCb, int kY1, int kCr>
void PackedToVuya(const uint8_t* s, uint8_t* d, int width) {
    const int n = width / 2;
    auto cb = [&](int k) { return s[4 * ClampIndex(k, n) + kCb]; };
    auto cr = [&](int k) { return s[4 * ClampIndex(k, n) + kCr]; };
    for (int k = 0; k < n; ++k) {
        const uint8_t* p = s + 4 * k;
        PutVuya(d + 8 * k, p[kCr], p[kCb], p[kY0]);
        PutVuya(d + 8 * k + 4, InterpolateChroma(cr(k - 1), cr(k), cr(k + 1), cr(k + 2)),
                InterpolateChroma(cb(k - 1), cb(k), cb(k + 1), cb(k + 2)), p[kY1]);
    }
    if (width & 1) {
        const uint8_t* p = s + 4 * n;
        PutVuya(d + 8 * n, p[kCr], p[kCb], p[kY0]);
    }
}

using namespace colour;

// Round to nearest, ties to even (the default floating-point rounding), then clamp.
uint8_t RoundClamp(float v) {
#ifdef __SSE2__
    return Clamp255(_mm_cvtss_si32(_mm_set_ss(v)));  // the rounding of the vector kernels
#else
    return Clamp255(int(std::nearbyint(v)));
#endif
}

// Fixed point with 22 fraction bits; the sums need more than 32 bits.

uint8_t FixedLumaGrey(int x) {
    return Clamp255((int64_t(x - kLumaBlack) * kFixLuma + kFixHalf) >> kFixBits);
}
uint8_t FixedChromaGrey(int x) {
    return Clamp255((int64_t(x - kLumaBlack) * kFixChroma + kFixHalf) >> kFixBits);
}

constexpr std::array<uint8_t, 256> MakeStudioTable() {
    std::array<uint8_t, 256> t{};
    for (int x = 0; x < 256; ++x) {
        const int v = (510 * x - 7941) / 438;  // truncates toward zero
        t[size_t(x)] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return t;
}
constexpr std::array<uint8_t, 256> kStudio = MakeStudioTable();

void PutGrey(uint8_t* d, uint8_t g) { d[0] = d[1] = d[2] = g; }

}  // namespace

uint8_t StudioExpand(uint8_t x) { return kStudio[x]; }

void VuyaToBgrReference(uint8_t cr, uint8_t cb, uint8_t y, uint8_t* bgr) {
    const float yy = float(int(y) - kLumaBlack) * kLumaGain;
    const float u = float(int(cb) - kChromaZero);
    const float v = float(int(cr) - kChromaZero);
    const float r = yy + v * kCrToR;
    const float g = (yy - u * kCbToG) - v * kCrToG;
    const float b = yy + u * kCbToB;
    bgr[0] = RoundClamp(b);
    bgr[1] = RoundClamp(g);
    bgr[2] = RoundClamp(r);
}

void VuyaToBgrReference(uint8_t cr, uint8_t cb, uint8_t y, uint8_t* bgr,
                        const ColourCoefficients& c) {
    const float yy = float(int(y) - c.lumaBlack) * c.lumaGain;
    const float u = float(int(cb) - kChromaZero);
    const float v = float(int(cr) - kChromaZero);
    const float r = yy + v * c.crToR;
    const float g = (yy - u * c.cbToG) - v * c.crToG;
    const float b = yy + u * c.cbToB;
    bgr[0] = RoundClamp(b);
    bgr[1] = RoundClamp(g);
    bgr[2] = RoundClamp(r);
}

uint8_t LumaGreyReference(uint8_t y) { return RoundClamp(float(int(y) - kLumaBlack) * kLumaGain); }
uint8_t ChromaGreyReference(uint8_t c) {
    return RoundClamp(float(int(c) - kLumaBlack) * kChromaGain);
}

// Reads 4 x ceil(width / 2) bytes, writes 4 x width.
void UyvyToVuya_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    PackedToVuya<1, 0, 3, 2>(src, dst, width);
}
void YuyvToVuya_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    PackedToVuya<0, 1, 2, 3>(src, dst, width);
}
void VyuyToVuya_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    PackedToVuya<1, 2, 3, 0>(src, dst, width);
}

// Reads width luma bytes and ceil(width / 2) chroma bytes per line; writes 4 x width.
void Planar422ToVuya_Scalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                            int width) {
    const int n = width / 2;
    auto b = [&](int k) { return cb[ClampIndex(k, n)]; };
    auto r = [&](int k) { return cr[ClampIndex(k, n)]; };
    for (int k = 0; k < n; ++k) {
        PutVuya(dst + 8 * k, cr[k], cb[k], y[2 * k]);
        PutVuya(dst + 8 * k + 4, InterpolateChroma(r(k - 1), r(k), r(k + 1), r(k + 2)),
                InterpolateChroma(b(k - 1), b(k), b(k + 1), b(k + 2)), y[2 * k + 1]);
    }
    if (width & 1) PutVuya(dst + 8 * n, cr[n], cb[n], y[2 * n]);
}

// Reads width bytes per line; writes 4 x width.
void Planar444ToVuya_Scalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                            int width) {
    for (int i = 0; i < width; ++i) PutVuya(dst + 4 * i, cr[i], cb[i], y[i]);
}

// Reads and writes 4 x width bytes.
void AyuvToVuya_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const uint8_t* s = src + 4 * i;
        uint8_t* d = dst + 4 * i;
        const uint8_t a = s[0], y = s[1], cb = s[2], cr = s[3];
        d[0] = cr;
        d[1] = cb;
        d[2] = y;
        d[3] = a;
    }
}

// Reads ceil(width / 6) blocks of 16 bytes; writes 4 x ceil(width / 2) bytes. Every 10-bit
// sample keeps its top 8 bits; the words' samples come out in UYVY order.
void V210ToUyvy_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    const int outBytes = 4 * ((width + 1) / 2);
    for (int o = 0; o < outBytes; o += 12, src += 16) {
        uint8_t block[12];
        for (int w = 0; w < 4; ++w) {
            uint32_t word;
            std::memcpy(&word, src + 4 * w, 4);  // little-endian host
            block[3 * w] = uint8_t(word >> 2);
            block[3 * w + 1] = uint8_t(word >> 12);
            block[3 * w + 2] = uint8_t(word >> 22);
        }
        const int n = outBytes - o < 12 ? outBytes - o : 12;
        std::memcpy(dst + o, block, size_t(n));
    }
}

// Reads 4 x width, writes 3 x width. Fixed point: equals the reference on B' and R', and on G'
// up to 1 for a few inputs.
void VuyaToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const uint8_t* s = src + 4 * i;
        const int64_t v = int(s[0]) - kChromaZero, u = int(s[1]) - kChromaZero;
        const int64_t y = int64_t(int(s[2]) - kLumaBlack) * kFixLuma;
        uint8_t* d = dst + 3 * i;
        d[0] = Clamp255((u * kFixCbToB + y + kFixHalf) >> kFixBits);
        d[1] = Clamp255((y - v * kFixCrToG - u * kFixCbToG + kFixHalf) >> kFixBits);
        d[2] = Clamp255((v * kFixCrToR + y + kFixHalf) >> kFixBits);
    }
}

// Read 4 x width, write 3 x width. Fixed point: equal to the reference except chroma 128, which
// gives 128 instead of 127.
void VuyaLumaToGrey_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) PutGrey(dst + 3 * i, FixedLumaGrey(src[4 * i + 2]));
}
void VuyaCbToGrey_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) PutGrey(dst + 3 * i, FixedChromaGrey(src[4 * i + 1]));
}
void VuyaCrToGrey_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) PutGrey(dst + 3 * i, FixedChromaGrey(src[4 * i]));
}

// Read 4 x width, write 3 x width.
void BgrxToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        dst[3 * i] = src[4 * i];
        dst[3 * i + 1] = src[4 * i + 1];
        dst[3 * i + 2] = src[4 * i + 2];
    }
}
void RgbxToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        dst[3 * i] = src[4 * i + 2];
        dst[3 * i + 1] = src[4 * i + 1];
        dst[3 * i + 2] = src[4 * i];
    }
}
void XrgbToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        dst[3 * i] = src[4 * i + 3];
        dst[3 * i + 1] = src[4 * i + 2];
        dst[3 * i + 2] = src[4 * i + 1];
    }
}

// Read and write 3 x width.
void RgbToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const uint8_t r = src[3 * i], g = src[3 * i + 1], b = src[3 * i + 2];
        dst[3 * i] = b;
        dst[3 * i + 1] = g;
        dst[3 * i + 2] = r;
    }
}

// Read width, write 3 x width.
void GreyToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) PutGrey(dst + 3 * i, src[i]);
}

// Read width bytes of each plane, write 3 x width.
void PlanesToBgr_Scalar(const uint8_t* b, const uint8_t* g, const uint8_t* r, uint8_t* dst,
                        int width) {
    for (int i = 0; i < width; ++i) {
        dst[3 * i] = b[i];
        dst[3 * i + 1] = g[i];
        dst[3 * i + 2] = r[i];
    }
}

// Read 2 x width, write 3 x width. The top bits of each channel, no low-bit fill.
void R555ToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const unsigned p = unsigned(src[2 * i]) | (unsigned(src[2 * i + 1]) << 8);
        dst[3 * i] = uint8_t((p << 3) & 0xF8);
        dst[3 * i + 1] = uint8_t((p >> 2) & 0xF8);
        dst[3 * i + 2] = uint8_t((p >> 7) & 0xF8);
    }
}
void R565ToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const unsigned p = unsigned(src[2 * i]) | (unsigned(src[2 * i + 1]) << 8);
        dst[3 * i] = uint8_t((p << 3) & 0xF8);
        dst[3 * i + 1] = uint8_t((p >> 3) & 0xFC);
        dst[3 * i + 2] = uint8_t((p >> 8) & 0xF8);
    }
}

// Read and write `count` bytes; src == dst allowed.
void StudioExpand_Scalar(const uint8_t* src, uint8_t* dst, int count) {
    for (int i = 0; i < count; ++i) dst[i] = kStudio[src[i]];
}

// Read 2 x count, write count: min((s + 128) >> 8, maxValue).
void Reduce16LE_Scalar(const uint8_t* src, uint8_t* dst, int count, int maxValue) {
    for (int i = 0; i < count; ++i) {
        const int s = int(src[2 * i]) | (int(src[2 * i + 1]) << 8);
        const int v = (s + 128) >> 8;
        dst[i] = uint8_t(v < maxValue ? v : maxValue);
    }
}
void Reduce16BE_Scalar(const uint8_t* src, uint8_t* dst, int count, int maxValue) {
    for (int i = 0; i < count; ++i) {
        const int s = (int(src[2 * i]) << 8) | int(src[2 * i + 1]);
        const int v = (s + 128) >> 8;
        dst[i] = uint8_t(v < maxValue ? v : maxValue);
    }
}

// Read 2 x count, write count.
void HighBytes16_Scalar(const uint8_t* src, uint8_t* dst, int count) {
    for (int i = 0; i < count; ++i) dst[i] = src[2 * i + 1];
}
void LowAddressBytes16_Scalar(const uint8_t* src, uint8_t* dst, int count) {
    for (int i = 0; i < count; ++i) dst[i] = src[2 * i];
}

// Read 4 x pairs, write `pairs` bytes to each line.
void SplitHighBytes16_Scalar(const uint8_t* src, uint8_t* cb, uint8_t* cr, int pairs) {
    for (int i = 0; i < pairs; ++i) {
        cb[i] = src[4 * i + 1];
        cr[i] = src[4 * i + 3];
    }
}

// Read `count` bytes of each line, write `count`.
void ChromaBlend_Scalar(const uint8_t* a, const uint8_t* b, uint8_t* out, int count, int wa, int wb,
                        int shift) {
    const int round = 1 << (shift - 1);
    for (int i = 0; i < count; ++i) {
        const int v = (wa * a[i] + wb * b[i] + round) >> shift;
        out[i] = uint8_t(v < 16 ? 16 : v > 240 ? 240 : v);
    }
}

namespace {
template <int kY0, int kCb, int kY1, int kCr>
void PackedToPlanar(const uint8_t* s, uint8_t* y, uint8_t* cb, uint8_t* cr, int width) {
    const int pairs = (width + 1) / 2;
    for (int k = 0; k < pairs; ++k) {
        const uint8_t* p = s + 4 * k;
        cb[k] = p[kCb];
        cr[k] = p[kCr];
        y[2 * k] = p[kY0];
        if (2 * k + 1 < width) y[2 * k + 1] = p[kY1];
    }
}
}  // namespace

// Read 4 x ceil(width / 2); write width luma bytes and ceil(width / 2) of each chroma line.
void UyvyToPlanar_Scalar(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr, int width) {
    PackedToPlanar<1, 0, 3, 2>(src, y, cb, cr, width);
}
void YuyvToPlanar_Scalar(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr, int width) {
    PackedToPlanar<0, 1, 2, 3>(src, y, cb, cr, width);
}
void VyuyToPlanar_Scalar(const uint8_t* src, uint8_t* y, uint8_t* cb, uint8_t* cr, int width) {
    PackedToPlanar<1, 2, 3, 0>(src, y, cb, cr, width);
}

// Read 4 x width, write 3 x width. T() truncates toward zero; the shifts are arithmetic.
void VuyaDoubleToBgr_Scalar(const uint8_t* src, uint8_t* dst, int width, int mode) {
    auto T = [](double v) { return int(v); };
    for (int i = 0; i < width; ++i) {
        const uint8_t* s = src + 4 * i;
        const double y = int(s[2]) - kLumaBlack, u = int(s[1]) - kChromaZero,
                     v = int(s[0]) - kChromaZero;
        int r, g, b;
        switch (mode) {
        case kVuyaLuma: r = g = b = T(y * kFullScale / kLumaRange + 0.5); break;
        case kVuyaCb:
            r = g = T((u + kChromaRange / 2) * kFullScale / kChromaRange + 0.5);
            b = (T(kDoubleCbToB * u + kDoubleCbGreyBias) + 128) >> 8;
            break;
        case kVuyaCr:
            r = g = b = T((v + kChromaRange / 2) * kFullScale / kChromaRange + 0.5);
            break;
        default:
            r = (T(kDoubleLuma * y + kDoubleCrToR * v) + 128) >> 8;
            g = (128 - T(kDoubleCbToG * u - kDoubleLuma * y + kDoubleCrToG * v)) >> 8;
            b = (T(kDoubleCbToB * u + kDoubleLuma * y) + 128) >> 8;
            break;
        }
        uint8_t* d = dst + 3 * i;
        d[0] = Clamp255(b);
        d[1] = Clamp255(g);
        d[2] = Clamp255(r);
    }
}

// Read `count` bytes of each line, write `count`.
void VerticalLowPass121_Scalar(const uint8_t* above, const uint8_t* middle, const uint8_t* below,
                               uint8_t* out, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = uint8_t((above[i] + 2 * middle[i] + below[i] + 2) >> 2);
}

// Read 4 x width, write 3 x width: the reference itself.
void VuyaToBgrWith_Scalar(const uint8_t* src, uint8_t* dst, int width,
                          const ColourCoefficients& c) {
    for (int i = 0; i < width; ++i)
        VuyaToBgrReference(src[4 * i], src[4 * i + 1], src[4 * i + 2], dst + 3 * i, c);
}

// Read 4 x width, write 3 x width.
void VuyaLumaAsGrey_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) PutGrey(dst + 3 * i, src[4 * i + 2]);
}
void VuyaCbAsGrey_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) PutGrey(dst + 3 * i, src[4 * i + 1]);
}
void VuyaCrAsGrey_Scalar(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) PutGrey(dst + 3 * i, src[4 * i]);
}

// Read `count` bytes of each line, write `count`; the blend of two bytes needs no limit.
void ChromaBlendFull_Scalar(const uint8_t* a, const uint8_t* b, uint8_t* out, int count, int wa,
                            int wb, int shift) {
    const int round = 1 << (shift - 1);
    for (int i = 0; i < count; ++i) out[i] = Clamp255((wa * a[i] + wb * b[i] + round) >> shift);
}

}  // namespace kernels
