#include "FrameMemory.h"

#include "PixelLayout.h"

#include <climits>

namespace {

using C = Component;

constexpr SampleSlot S(Component c, int pixel, int word, int shift, int bits) {
    return SampleSlot{c, uint8_t(pixel), uint8_t(word), uint8_t(shift), uint8_t(bits)};
}

// A plane whose group holds one sample per word, all of the same width and bit position.
struct PlaneBuilder {
    PlaneDesc p{};
    constexpr PlaneBuilder(int groupPixels, int groupBytes, int wordBytes, int heightDivisor) {
        p.groupPixels = uint8_t(groupPixels);
        p.groupBytes = uint8_t(groupBytes);
        p.wordBytes = uint8_t(wordBytes);
        p.heightDivisor = uint8_t(heightDivisor);
    }
    constexpr PlaneBuilder& Add(SampleSlot s) {
        p.sampleSlots[p.slotCount++] = s;
        return *this;
    }
};

// One-component plane: every word is one sample of `bits` bits at `shift`.
constexpr PlaneDesc Mono(Component c, int xDiv, int yDiv, int wordBytes, int shift, int bits) {
    return PlaneBuilder(xDiv, wordBytes, wordBytes, yDiv).Add(S(c, 0, 0, shift, bits)).p;
}

// Packed group of one pixel whose components lie in consecutive words.
constexpr PlaneDesc Pixel(int wordBytes, int groupBytes, int bits, Component c0, Component c1,
                          Component c2, int alphaWord = -1) {
    PlaneBuilder b(1, groupBytes, wordBytes, 1);
    b.Add(S(c0, 0, 0, 0, bits)).Add(S(c1, 0, 1, 0, bits)).Add(S(c2, 0, 2, 0, bits));
    if (alphaWord >= 0) b.Add(S(C::A, 0, alphaWord, 0, bits));
    return b.p;
}

// Packed 4:2:2 pair: four words, each one sample; `order` names the component of each word
// (Y0/Y1 distinguished by the pixel they belong to).
constexpr PlaneDesc Pair(int wordBytes, int shift, int bits, SampleSlot w0, SampleSlot w1,
                         SampleSlot w2, SampleSlot w3) {
    PlaneBuilder b(2, 4 * wordBytes, wordBytes, 1);
    w0.word = 0, w1.word = 1, w2.word = 2, w3.word = 3;
    for (SampleSlot* s : {&w0, &w1, &w2, &w3}) s->shift = uint8_t(shift), s->bits = uint8_t(bits);
    b.Add(w0).Add(w1).Add(w2).Add(w3);
    return b.p;
}
constexpr SampleSlot Y0() { return S(C::Y, 0, 0, 0, 0); }
constexpr SampleSlot Y1() { return S(C::Y, 1, 0, 0, 0); }
constexpr SampleSlot U() { return S(C::Cb, 0, 0, 0, 0); }
constexpr SampleSlot V() { return S(C::Cr, 0, 0, 0, 0); }

// Semi-planar chroma plane: Cb,Cr pairs of u16 words, one pair per two pixels.
constexpr PlaneDesc CbCrPairs(int yDiv, int shift, int bits) {
    return PlaneBuilder(2, 4, 2, yDiv)
        .Add(S(C::Cb, 0, 0, shift, bits))
        .Add(S(C::Cr, 0, 1, shift, bits))
        .p;
}

// Semi-planar chroma plane of 4:4:4: Cb,Cr pairs of u16 words, one pair per pixel.
constexpr PlaneDesc CbCrPairs444(int shift, int bits) {
    return PlaneBuilder(1, 4, 2, 1)
        .Add(S(C::Cb, 0, 0, shift, bits))
        .Add(S(C::Cr, 0, 1, shift, bits))
        .p;
}

// One pixel in one 32-bit word: three 10-bit samples at bits `s0`, `s1`, `s2`, and optionally a
// 2-bit alpha at bit 30.
constexpr PlaneDesc Word32(Component c0, int s0, Component c1, int s1, Component c2, int s2,
                           bool alpha = false) {
    PlaneBuilder b(1, 4, 4, 1);
    b.Add(S(c0, 0, 0, s0, 10)).Add(S(c1, 0, 0, s1, 10)).Add(S(c2, 0, 0, s2, 10));
    if (alpha) b.Add(S(C::A, 0, 0, 30, 2));
    return b.p;
}

// 8-bit semi-planar chroma plane: one pair of bytes per `xDiv` pixels, `first` then the other
// chroma component.
constexpr PlaneDesc ChromaPairs8(Component first, int xDiv, int yDiv) {
    const Component second = first == C::Cb ? C::Cr : C::Cb;
    return PlaneBuilder(xDiv, 2, 1, yDiv).Add(S(first, 0, 0, 0, 8)).Add(S(second, 0, 1, 0, 8)).p;
}

// v210: 6 pixels in four 32-bit LE words, three 10-bit samples per word at bits 0, 10, 20.
constexpr PlaneDesc V210Block() {
    PlaneBuilder b(6, 16, 4, 1);
    b.Add(S(C::Cb, 0, 0, 0, 10)).Add(S(C::Y, 0, 0, 10, 10)).Add(S(C::Cr, 0, 0, 20, 10));
    b.Add(S(C::Y, 1, 1, 0, 10)).Add(S(C::Cb, 2, 1, 10, 10)).Add(S(C::Y, 2, 1, 20, 10));
    b.Add(S(C::Cr, 2, 2, 0, 10)).Add(S(C::Y, 3, 2, 10, 10)).Add(S(C::Cb, 4, 2, 20, 10));
    b.Add(S(C::Y, 4, 3, 0, 10)).Add(S(C::Cr, 4, 3, 10, 10)).Add(S(C::Y, 5, 3, 20, 10));
    return b.p;
}

// R'G'B' in one u16 word: bit positions and widths of R', G', B'.
constexpr PlaneDesc Rgb16(int rShift, int rBits, int gShift, int gBits, int bShift, int bBits) {
    return PlaneBuilder(1, 2, 2, 1)
        .Add(S(C::R, 0, 0, rShift, rBits))
        .Add(S(C::G, 0, 0, gShift, gBits))
        .Add(S(C::B, 0, 0, bShift, bBits))
        .p;
}

// Bayer mosaic: one word per pixel, the four slots of the 2 x 2 cell in the order top-left,
// top-right, bottom-left, bottom-right (see FrameMemory.h).
constexpr PlaneDesc Mosaic(int wordBytes, int bits, Component c0, Component c1, Component c2,
                           Component c3) {
    return PlaneBuilder(1, wordBytes, wordBytes, 1)
        .Add(S(c0, 0, 0, 0, bits))
        .Add(S(c1, 1, 0, 0, bits))
        .Add(S(c2, 2, 0, 0, bits))
        .Add(S(c3, 3, 0, 0, bits))
        .p;
}
constexpr PlaneDesc MosaicRGGB(int w, int bits) { return Mosaic(w, bits, C::R, C::G, C::G, C::B); }
constexpr PlaneDesc MosaicBGGR(int w, int bits) { return Mosaic(w, bits, C::B, C::G, C::G, C::R); }
constexpr PlaneDesc MosaicGRBG(int w, int bits) { return Mosaic(w, bits, C::G, C::R, C::B, C::G); }
constexpr PlaneDesc MosaicGBRG(int w, int bits) { return Mosaic(w, bits, C::G, C::B, C::R, C::G); }

constexpr FrameMemoryLayout L(uint32_t code, Arrangement arr, ColourModel model, ByteOrder order,
                              int sampleBits, bool studio, PlaneDesc p0, PlaneDesc p1 = PlaneDesc{},
                              PlaneDesc p2 = PlaneDesc{}) {
    FrameMemoryLayout l{};
    l.code = code;
    l.arrangement = arr;
    l.model = model;
    l.byteOrder = order;
    l.sampleBits = uint8_t(sampleBits);
    l.studioRange = studio;
    l.planes[0] = p0;
    l.planes[1] = p1;
    l.planes[2] = p2;
    l.planeCount = uint8_t(p2.groupBytes ? 3 : p1.groupBytes ? 2 : 1);
    return l;
}

// Planar Y'CbCr, planes Y', Cb, Cr; chroma planes divided by xDiv and yDiv; words of wordBytes
// holding `bits` low bits.
constexpr FrameMemoryLayout PlanarYuv(uint32_t code, ByteOrder order, int xDiv, int yDiv,
                                      int wordBytes, int bits) {
    return L(code, Arrangement::Planar, ColourModel::YCbCr, order, bits, false,
             Mono(C::Y, 1, 1, wordBytes, 0, bits), Mono(C::Cb, xDiv, yDiv, wordBytes, 0, bits),
             Mono(C::Cr, xDiv, yDiv, wordBytes, 0, bits));
}

constexpr auto Packed = Arrangement::Packed;
constexpr auto Planar = Arrangement::Planar;
constexpr auto Semi = Arrangement::SemiPlanar;
constexpr auto YUV = ColourModel::YCbCr;
constexpr auto RGB = ColourModel::RGB;
constexpr auto GREY = ColourModel::Grey;
constexpr auto BAYER = ColourModel::Bayer;
constexpr auto LE = ByteOrder::Little;
constexpr auto BE = ByteOrder::Big;

static_assert(kFrameMemoryLayoutCount == kLayoutCount, "one entry per row of the catalogue");
// Catalogue order.
constexpr FrameMemoryLayout kLayouts[kFrameMemoryLayoutCount] = {
    // "YV12": planes Y' (W x H), Cr (W/2 x H/2), Cb (W/2 x H/2)
    L(kLayoutYV12, Planar, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), Mono(C::Cr, 2, 2, 1, 0, 8),
      Mono(C::Cb, 2, 2, 1, 0, 8)),
    // "I420": planes Y', Cb, Cr
    L(kLayoutI420, Planar, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), Mono(C::Cb, 2, 2, 1, 0, 8),
      Mono(C::Cr, 2, 2, 1, 0, 8)),
    // "I420LE16" / "I420BE16": u16 planes Y', Cb, Cr
    L(kLayoutI420LE16, Planar, YUV, LE, 16, false, Mono(C::Y, 1, 1, 2, 0, 16),
      Mono(C::Cb, 2, 2, 2, 0, 16), Mono(C::Cr, 2, 2, 2, 0, 16)),
    L(kLayoutI420BE16, Planar, YUV, BE, 16, false, Mono(C::Y, 1, 1, 2, 0, 16),
      Mono(C::Cb, 2, 2, 2, 0, 16), Mono(C::Cr, 2, 2, 2, 0, 16)),
    // "YV16": planes Y' (W x H), Cr (W/2 x H), Cb (W/2 x H)
    L(kLayoutYV16, Planar, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), Mono(C::Cr, 2, 1, 1, 0, 8),
      Mono(C::Cb, 2, 1, 1, 0, 8)),
    // "P010" / "P016": u16 LE Y' plane, then H/2 rows of Cb,Cr pairs; 10 bits at the top
    L(kLayoutP010, Semi, YUV, LE, 10, false, Mono(C::Y, 1, 1, 2, 6, 10), CbCrPairs(2, 6, 10)),
    L(kLayoutP016, Semi, YUV, LE, 16, false, Mono(C::Y, 1, 1, 2, 0, 16), CbCrPairs(2, 0, 16)),
    // "P210" / "P216": as above with H rows of pairs
    L(kLayoutP210, Semi, YUV, LE, 10, false, Mono(C::Y, 1, 1, 2, 6, 10), CbCrPairs(1, 6, 10)),
    L(kLayoutP216, Semi, YUV, LE, 16, false, Mono(C::Y, 1, 1, 2, 0, 16), CbCrPairs(1, 0, 16)),
    // "YUY2", "V422", "YUYV": Y'0, Cb, Y'1, Cr
    L(kLayoutYUY2, Packed, YUV, LE, 8, false, Pair(1, 0, 8, Y0(), U(), Y1(), V())),
    L(kLayoutV422, Packed, YUV, LE, 8, false, Pair(1, 0, 8, Y0(), U(), Y1(), V())),
    L(kLayoutYUYV, Packed, YUV, LE, 8, false, Pair(1, 0, 8, Y0(), U(), Y1(), V())),
    // "UYVY": Cb, Y'0, Cr, Y'1;  "VYUY": Cr, Y'0, Cb, Y'1
    L(kLayoutUYVY, Packed, YUV, LE, 8, false, Pair(1, 0, 8, U(), Y0(), V(), Y1())),
    L(kLayoutVYUY, Packed, YUV, LE, 8, false, Pair(1, 0, 8, V(), Y0(), U(), Y1())),
    // "Y210": u16 LE Y'0, Cb, Y'1, Cr with 10 bits at the top of each sample
    L(kLayoutY210, Packed, YUV, LE, 10, false, Pair(2, 6, 10, Y0(), U(), Y1(), V())),
    // "v210": 16-byte blocks of 6 pixels
    L(kLayoutV210, Packed, YUV, LE, 10, false, V210Block()),
    // "Y216": u16 LE Y'0, Cb, Y'1, Cr;  "v216": u16 LE Cb, Y'0, Cr, Y'1
    L(kLayoutY216, Packed, YUV, LE, 16, false, Pair(2, 0, 16, Y0(), U(), Y1(), V())),
    L(kLayoutV216, Packed, YUV, LE, 16, false, Pair(2, 0, 16, U(), Y0(), V(), Y1())),
    // "YV24": planes Y', Cr, Cb, all W x H
    L(kLayoutYV24, Planar, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), Mono(C::Cr, 1, 1, 1, 0, 8),
      Mono(C::Cb, 1, 1, 1, 0, 8)),
    // "VUYA": Cr, Cb, Y', A;  "AYUV": A, Y', Cb, Cr
    L(kLayoutVUYA, Packed, YUV, LE, 8, false, Pixel(1, 4, 8, C::Cr, C::Cb, C::Y, 3)),
    L(kLayoutAYUV, Packed, YUV, LE, 8, false,
      PlaneBuilder(1, 4, 1, 1)
          .Add(S(C::A, 0, 0, 0, 8))
          .Add(S(C::Y, 0, 1, 0, 8))
          .Add(S(C::Cb, 0, 2, 0, 8))
          .Add(S(C::Cr, 0, 3, 0, 8))
          .p),
    // "R555": u16 LE, R' bits 10-14, G' 5-9, B' 0-4;  "R565": R' 11-15, G' 5-10, B' 0-4
    L(kLayoutR555, Packed, RGB, LE, 5, false, Rgb16(10, 5, 5, 5, 0, 5)),
    L(kLayoutR565, Packed, RGB, LE, 6, false, Rgb16(11, 5, 5, 6, 0, 5)),
    // "BGR3": B', G', R';  "RGB3": R', G', B';  "R24C": as "BGR3" in 16-235
    L(kLayoutBGR3, Packed, RGB, LE, 8, false, Pixel(1, 3, 8, C::B, C::G, C::R)),
    L(kLayoutRGB3, Packed, RGB, LE, 8, false, Pixel(1, 3, 8, C::R, C::G, C::B)),
    L(kLayoutR24C, Packed, RGB, LE, 8, true, Pixel(1, 3, 8, C::B, C::G, C::R)),
    // "BGR444P" / "RGB444P": u16 planes R', G', B'; LE and BE
    L(kLayoutBGR444P, Planar, RGB, LE, 16, false, Mono(C::R, 1, 1, 2, 0, 16),
      Mono(C::G, 1, 1, 2, 0, 16), Mono(C::B, 1, 1, 2, 0, 16)),
    L(kLayoutRGB444P, Planar, RGB, BE, 16, false, Mono(C::R, 1, 1, 2, 0, 16),
      Mono(C::G, 1, 1, 2, 0, 16), Mono(C::B, 1, 1, 2, 0, 16)),
    // "BGR161616" / "RGB161616": u16 R', G', B'; LE and BE
    L(kLayoutBGR161616, Packed, RGB, LE, 16, false, Pixel(2, 6, 16, C::R, C::G, C::B)),
    L(kLayoutRGB161616, Packed, RGB, BE, 16, false, Pixel(2, 6, 16, C::R, C::G, C::B)),
    // "BGR4": B', G', R', unused;  "RGB4": R', G', B', unused;  "R32C": as "BGR4" in 16-235
    L(kLayoutBGR4, Packed, RGB, LE, 8, false, Pixel(1, 4, 8, C::B, C::G, C::R)),
    L(kLayoutRGB4, Packed, RGB, LE, 8, false, Pixel(1, 4, 8, C::R, C::G, C::B)),
    L(kLayoutR32C, Packed, RGB, LE, 8, true, Pixel(1, 4, 8, C::B, C::G, C::R)),
    // "BGRA": B', G', R', A;  "ARGB": A, R', G', B'
    L(kLayoutBGRA, Packed, RGB, LE, 8, false, Pixel(1, 4, 8, C::B, C::G, C::R, 3)),
    L(kLayoutARGB, Packed, RGB, LE, 8, false,
      PlaneBuilder(1, 4, 1, 1)
          .Add(S(C::A, 0, 0, 0, 8))
          .Add(S(C::R, 0, 1, 0, 8))
          .Add(S(C::G, 0, 2, 0, 8))
          .Add(S(C::B, 0, 3, 0, 8))
          .p),
    // "BGRA16161616" / "ARGB16161616": u16 R', G', B', A; LE and BE
    L(kLayoutBGRA16161616, Packed, RGB, LE, 16, false, Pixel(2, 8, 16, C::R, C::G, C::B, 3)),
    L(kLayoutARGB16161616, Packed, RGB, BE, 16, false, Pixel(2, 8, 16, C::R, C::G, C::B, 3)),
    // Grey: one byte, or one u16 LE / BE per pixel
    L(kLayoutGRAY, Packed, GREY, LE, 8, false, Mono(C::Grey, 1, 1, 1, 0, 8)),
    L(kLayoutGRAYLE16, Packed, GREY, LE, 16, false, Mono(C::Grey, 1, 1, 2, 0, 16)),
    L(kLayoutGRAYBE16, Packed, GREY, BE, 16, false, Mono(C::Grey, 1, 1, 2, 0, 16)),
    // "NV12" / "NV21": Y' plane, then H/2 rows of Cb,Cr (Cr,Cb) byte pairs, one per 2 pixels
    L(kLayoutNV12, Semi, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), ChromaPairs8(C::Cb, 2, 2)),
    L(kLayoutNV21, Semi, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), ChromaPairs8(C::Cr, 2, 2)),
    // "NV16" / "NV61": as above with H rows of pairs
    L(kLayoutNV16, Semi, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), ChromaPairs8(C::Cb, 2, 1)),
    L(kLayoutNV61, Semi, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), ChromaPairs8(C::Cr, 2, 1)),
    // "NV24" / "NV42": H rows of pairs, one per pixel
    L(kLayoutNV24, Semi, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), ChromaPairs8(C::Cb, 1, 1)),
    L(kLayoutNV42, Semi, YUV, LE, 8, false, Mono(C::Y, 1, 1, 1, 0, 8), ChromaPairs8(C::Cr, 1, 1)),
    // "YVYU": Y'0, Cr, Y'1, Cb
    L(kLayoutYVYU, Packed, YUV, LE, 8, false, Pair(1, 0, 8, Y0(), V(), Y1(), U())),
    // "I422", "I444", "Y41B", "I440": 8-bit planes Y', Cb, Cr; chroma planes W/2 x H, W x H,
    // W/4 x H and W x H/2
    PlanarYuv(kLayoutI422, LE, 2, 1, 1, 8),
    PlanarYuv(kLayoutI444, LE, 1, 1, 1, 8),
    PlanarYuv(kLayoutY41B, LE, 4, 1, 1, 8),
    PlanarYuv(kLayoutI440, LE, 1, 2, 1, 8),
    // "I4xxLE10" ... "I4xxBE16": u16 planes Y', Cb, Cr, the value in the low 10, 12 or 16 bits
    // (higher bits of a 10- or 12-bit word are not part of the sample)
    PlanarYuv(kLayoutI420LE10, LE, 2, 2, 2, 10),
    PlanarYuv(kLayoutI420LE12, LE, 2, 2, 2, 12),
    PlanarYuv(kLayoutI420BE10, BE, 2, 2, 2, 10),
    PlanarYuv(kLayoutI420BE12, BE, 2, 2, 2, 12),
    PlanarYuv(kLayoutI422LE10, LE, 2, 1, 2, 10),
    PlanarYuv(kLayoutI422LE12, LE, 2, 1, 2, 12),
    PlanarYuv(kLayoutI422LE16, LE, 2, 1, 2, 16),
    PlanarYuv(kLayoutI422BE10, BE, 2, 1, 2, 10),
    PlanarYuv(kLayoutI422BE12, BE, 2, 1, 2, 12),
    PlanarYuv(kLayoutI422BE16, BE, 2, 1, 2, 16),
    PlanarYuv(kLayoutI444LE10, LE, 1, 1, 2, 10),
    PlanarYuv(kLayoutI444LE12, LE, 1, 1, 2, 12),
    PlanarYuv(kLayoutI444LE16, LE, 1, 1, 2, 16),
    PlanarYuv(kLayoutI444BE10, BE, 1, 1, 2, 10),
    PlanarYuv(kLayoutI444BE12, BE, 1, 1, 2, 12),
    PlanarYuv(kLayoutI444BE16, BE, 1, 1, 2, 16),
    // "P410" / "P416": u16 LE Y' plane, then H rows of Cb,Cr pairs, one pair per pixel; 10 bits
    // at the top of each word, or all 16
    L(kLayoutP410, Semi, YUV, LE, 10, false, Mono(C::Y, 1, 1, 2, 6, 10), CbCrPairs444(6, 10)),
    L(kLayoutP416, Semi, YUV, LE, 16, false, Mono(C::Y, 1, 1, 2, 0, 16), CbCrPairs444(0, 16)),
    // "GRAYLE10" / "GRAYLE12": one u16 LE per pixel, the value in the low 10 or 12 bits
    L(kLayoutGRAYLE10, Packed, GREY, LE, 10, false, Mono(C::Grey, 1, 1, 2, 0, 10)),
    L(kLayoutGRAYLE12, Packed, GREY, LE, 12, false, Mono(C::Grey, 1, 1, 2, 0, 12)),
    // One pixel per 32-bit word of three 10-bit samples:
    //   "Y410": u32 LE, Cb bits 0-9, Y' 10-19, Cr 20-29, A 30-31 (the fields of ffmpeg's
    //           xv30le, whose top two bits are unused)
    //   "v410": u32 LE, Cb bits 2-11, Y' 12-21, Cr 22-31 (bits 0-1 unused)
    //   "r210": u32 BE, R' bits 20-29, G' 10-19, B' 0-9 (bits 30-31 unused)
    //   "X2R10G10B10": u32 LE, B' bits 0-9, G' 10-19, R' 20-29, bits 30-31 unused (ffmpeg's
    //           x2rgb10le, "(msb)2X 10R 10G 10B(lsb)"; libyuv's AR30 with the alpha unused)
    //   "X2B10G10R10": u32 LE, R' bits 0-9, G' 10-19, B' 20-29, bits 30-31 unused (ffmpeg's
    //           x2bgr10le, "(msb)2X 10B 10G 10R(lsb)"; libyuv's AB30 with the alpha unused)
    L(kLayoutY410, Packed, YUV, LE, 10, false, Word32(C::Cb, 0, C::Y, 10, C::Cr, 20, true)),
    L(kLayoutV410, Packed, YUV, LE, 10, false, Word32(C::Cb, 2, C::Y, 12, C::Cr, 22)),
    L(kLayoutR210, Packed, RGB, BE, 10, false, Word32(C::B, 0, C::G, 10, C::R, 20)),
    L(kLayoutX2R10G10B10, Packed, RGB, LE, 10, false, Word32(C::B, 0, C::G, 10, C::R, 20)),
    L(kLayoutX2B10G10R10, Packed, RGB, LE, 10, false, Word32(C::R, 0, C::G, 10, C::B, 20)),
    // "RGBA": R', G', B', A;  "ABGR": A, B', G', R'
    L(kLayoutRGBA, Packed, RGB, LE, 8, false, Pixel(1, 4, 8, C::R, C::G, C::B, 3)),
    L(kLayoutABGR, Packed, RGB, LE, 8, false,
      PlaneBuilder(1, 4, 1, 1)
          .Add(S(C::A, 0, 0, 0, 8))
          .Add(S(C::B, 0, 1, 0, 8))
          .Add(S(C::G, 0, 2, 0, 8))
          .Add(S(C::R, 0, 3, 0, 8))
          .p),
    // Bayer mosaics: one byte, or one u16 LE word with the sample in its low bits, per pixel
    L(kLayoutRGGB, Packed, BAYER, LE, 8, false, MosaicRGGB(1, 8)),
    L(kLayoutBGGR, Packed, BAYER, LE, 8, false, MosaicBGGR(1, 8)),
    L(kLayoutGRBG, Packed, BAYER, LE, 8, false, MosaicGRBG(1, 8)),
    L(kLayoutGBRG, Packed, BAYER, LE, 8, false, MosaicGBRG(1, 8)),
    L(kLayoutRGGBLE10, Packed, BAYER, LE, 10, false, MosaicRGGB(2, 10)),
    L(kLayoutBGGRLE10, Packed, BAYER, LE, 10, false, MosaicBGGR(2, 10)),
    L(kLayoutGRBGLE10, Packed, BAYER, LE, 10, false, MosaicGRBG(2, 10)),
    L(kLayoutGBRGLE10, Packed, BAYER, LE, 10, false, MosaicGBRG(2, 10)),
    L(kLayoutRGGBLE12, Packed, BAYER, LE, 12, false, MosaicRGGB(2, 12)),
    L(kLayoutBGGRLE12, Packed, BAYER, LE, 12, false, MosaicBGGR(2, 12)),
    L(kLayoutGRBGLE12, Packed, BAYER, LE, 12, false, MosaicGRBG(2, 12)),
    L(kLayoutGBRGLE12, Packed, BAYER, LE, 12, false, MosaicGBRG(2, 12)),
    L(kLayoutRGGBLE16, Packed, BAYER, LE, 16, false, MosaicRGGB(2, 16)),
    L(kLayoutBGGRLE16, Packed, BAYER, LE, 16, false, MosaicBGGR(2, 16)),
    L(kLayoutGRBGLE16, Packed, BAYER, LE, 16, false, MosaicGRBG(2, 16)),
    L(kLayoutGBRGLE16, Packed, BAYER, LE, 16, false, MosaicGBRG(2, 16)),
};

bool ValidSize(int32_t width, int32_t height) { return width > 0 && height > 0; }

uint64_t AbsPitch(int32_t lineBytes) {
    return lineBytes < 0 ? uint64_t(-int64_t(lineBytes)) : uint64_t(lineBytes);
}

// Tightly packed row bytes of a plane (whole groups only).
uint64_t PlanarRowBytes(const PlaneDesc& p, int32_t width) {
    return uint64_t(width) / p.groupPixels * p.groupBytes;
}

uint64_t PackedRowBytes(const PlaneDesc& p, int32_t width) {
    return (uint64_t(width) + p.groupPixels - 1) / p.groupPixels * p.groupBytes;
}

// Bytes a packed row must hold: whole groups, except that an odd width's row of 4:2:2 pairs may
// end halfway through its last pair, after two of its four words, W x 2 x wordBytes bytes in
// all (the layout's bytes per pixel times W). Those two words always hold the unpaired pixel's
// luma; its chroma is taken from the pair before it (see IsPackedPair).
uint64_t PackedRowNeed(const PlaneDesc& p, int32_t width) {
    if (IsPackedPair(p) && (width & 1))
        return uint64_t(width) / 2 * p.groupBytes + 2u * p.wordBytes;
    return PackedRowBytes(p, width);
}

}  // namespace

bool IsPackedPair(const PlaneDesc& p) {
    return p.groupPixels == 2 && p.slotCount == 4 && p.groupBytes == 4 * p.wordBytes;
}

const FrameMemoryLayout* FrameMemoryLayouts() { return kLayouts; }

const FrameMemoryLayout* FindFrameMemoryLayout(uint32_t code) {
    for (const FrameMemoryLayout& l : kLayouts)
        if (l.code == code) return &l;
    return nullptr;
}

uint64_t MinRowBytes(uint32_t code, int32_t width) {
    const FrameMemoryLayout* l = FindFrameMemoryLayout(code);
    if (!l || width <= 0) return 0;
    if (l->arrangement == Arrangement::Packed) return PackedRowNeed(l->planes[0], width);
    return PlanarRowBytes(l->planes[0], width);
}

// a x b, or UINT64_MAX when the product does not fit 64 bits.
uint64_t SaturatingMul(uint64_t a, uint64_t b) {
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return p > UINT64_MAX ? UINT64_MAX : uint64_t(p);
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

uint64_t MinFrameBytes(uint32_t code, int32_t width, int32_t height) {
    const FrameMemoryLayout* l = FindFrameMemoryLayout(code);
    if (!l || !ValidSize(width, height)) return 0;
    if (l->arrangement == Arrangement::Packed)
        return SaturatingMul(PackedRowNeed(l->planes[0], width), uint64_t(height));
    uint64_t total = 0;
    for (int i = 0; i < l->planeCount; ++i) {
        const PlaneDesc& p = l->planes[i];
        total = SaturatingAdd(
            total, SaturatingMul(PlanarRowBytes(p, width), uint64_t(height) / p.heightDivisor));
    }
    return total;
}

uint64_t MinLineBytes(uint32_t code, int32_t width, int32_t height) {
    const FrameMemoryLayout* l = FindFrameMemoryLayout(code);
    if (!l || !ValidSize(width, height)) return 0;
    if (l->arrangement == Arrangement::Packed) return PackedRowNeed(l->planes[0], width);
    const uint64_t frame = MinFrameBytes(code, width, height);
    const uint64_t h = uint64_t(height);
    return frame / h + (frame % h != 0 ? 1 : 0);
}

bool LineBytesFitLayout(uint32_t code, int32_t width, int32_t height, int32_t lineBytes) {
    if (lineBytes == 0 || lineBytes == INT32_MIN) return false;
    const uint64_t need = MinLineBytes(code, width, height);
    return need != 0 && AbsPitch(lineBytes) >= need;
}

bool GetFrameExtent(uint32_t code, int32_t width, int32_t height, int32_t lineBytes,
                    FrameExtent& out) {
    out = FrameExtent{};
    if (!LineBytesFitLayout(code, width, height, lineBytes)) return false;
    const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
    const uint64_t pitch = AbsPitch(lineBytes);
    out.frameBytes = pitch * uint64_t(height);
    out.planeCount = l.planeCount;
    if (l.arrangement == Arrangement::Packed) {
        PlaneExtent& e = out.planes[0];
        e.offset = 0;
        e.pitch = pitch;
        e.rowBytes = PackedRowNeed(l.planes[0], width);
        e.rows = uint64_t(height);
        e.size = pitch * e.rows;
        return true;
    }
    uint64_t offset = 0;
    for (int i = 0; i < l.planeCount; ++i) {
        const PlaneDesc& p = l.planes[i];
        PlaneExtent& e = out.planes[i];
        e.offset = offset;
        e.rowBytes = e.pitch = PlanarRowBytes(p, width);
        e.rows = uint64_t(height) / p.heightDivisor;
        e.size = e.pitch * e.rows;
        offset += e.size;
    }
    return true;
}

uint32_t ReadSample(const uint8_t* group, const PlaneDesc& plane, ByteOrder order,
                    const SampleSlot& slot) {
    const uint8_t* w = group + size_t(slot.word) * plane.wordBytes;
    uint32_t word = 0;
    for (int i = 0; i < plane.wordBytes; ++i) {
        const int byte = order == ByteOrder::Little ? i : plane.wordBytes - 1 - i;
        word |= uint32_t(w[byte]) << (8 * i);
    }
    const uint32_t mask = slot.bits >= 32 ? 0xFFFFFFFFu : (1u << slot.bits) - 1u;
    return (word >> slot.shift) & mask;
}

void WriteSample(uint8_t* group, const PlaneDesc& plane, ByteOrder order, const SampleSlot& slot,
                 uint32_t value) {
    uint8_t* w = group + size_t(slot.word) * plane.wordBytes;
    uint32_t word = 0;
    for (int i = 0; i < plane.wordBytes; ++i) {
        const int byte = order == ByteOrder::Little ? i : plane.wordBytes - 1 - i;
        word |= uint32_t(w[byte]) << (8 * i);
    }
    const uint32_t mask = (slot.bits >= 32 ? 0xFFFFFFFFu : (1u << slot.bits) - 1u) << slot.shift;
    word = (word & ~mask) | ((value << slot.shift) & mask);
    for (int i = 0; i < plane.wordBytes; ++i) {
        const int byte = order == ByteOrder::Little ? i : plane.wordBytes - 1 - i;
        w[byte] = uint8_t(word >> (8 * i));
    }
}
