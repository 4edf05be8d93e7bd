#include "Convert.h"

#include "ChromaTaps.h"
#include "ConvertGeneric.h"
#include "ConvertInternal.h"
#include "ConvertRows.h"
#include "Demosaic.h"
#include "FrameMemory.h"
#include "Kernels.h"
#include "PixelLayout.h"
#include "ThreadTeam.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

using namespace convert_rows;

// The matrix and range of the flags as an index of colour::kColourChoices; 0 is BT.601 at limited
// range, the picture without colour flags.
int ColourChoice(ConvertFlags flags) {
    const int matrix = (flags & CONVERT_MATRIX_2020) ? 2 : (flags & CONVERT_MATRIX_709) ? 1 : 0;
    return 2 * matrix + ((flags & CONVERT_FULL_RANGE) ? 1 : 0);
}

bool FullRange(ConvertFlags flags) { return (flags & CONVERT_FULL_RANGE) != 0; }

// One component shown as grey.
bool GreyPicture(ConvertFlags flags) {
    return (flags & (CONVERT_LUMA_ONLY | CONVERT_CB_ONLY | CONVERT_CR_ONLY)) != 0;
}

// The last step of every Y'CbCr path: a VUYA line to the picture. Another matrix or range takes
// the kernel with that choice's coefficients; full-range grey shows the sample as it is.
LineKernel FinalKernel(const KernelTable& k, ConvertFlags flags) {
    const bool full = FullRange(flags);
    if (flags & CONVERT_LUMA_ONLY) return full ? k.vuyaLumaAsGrey : k.vuyaLumaToGrey;
    if (flags & CONVERT_CB_ONLY) return full ? k.vuyaCbAsGrey : k.vuyaCbToGrey;
    if (flags & CONVERT_CR_ONLY) return full ? k.vuyaCrAsGrey : k.vuyaCrToGrey;
    const int choice = ColourChoice(flags);
    return choice == 0 ? k.vuyaToBgr : k.vuyaToBgrChoice[choice];
}

// Picture of the double-precision "VUYA" path for the flags (Y' wins over Cb, Cb over Cr).
int VuyaModeFor(ConvertFlags flags) {
    if (flags & CONVERT_LUMA_ONLY) return kVuyaLuma;
    if (flags & CONVERT_CB_ONLY) return kVuyaCb;
    if (flags & CONVERT_CR_ONLY) return kVuyaCr;
    return kVuyaFullColour;
}

// Planes of a planar or semi-planar layout, tightly packed from the start of the frame.
struct Planes {
    const uint8_t* plane[kMaxPlanes] = {};
    size_t pitch[kMaxPlanes] = {};
    size_t rows[kMaxPlanes] = {};
    Component first[kMaxPlanes] = {};  // component of each plane's first sample
};

Planes LocatePlanes(const FrameMemoryLayout& l, const uint8_t* frame, int width, int height) {
    Planes p;
    size_t offset = 0;
    for (int i = 0; i < l.planeCount; ++i) {
        const PlaneDesc& d = l.planes[i];
        p.plane[i] = frame + offset;
        p.pitch[i] = size_t(width) / d.groupPixels * d.groupBytes;
        p.rows[i] = size_t(height) / d.heightDivisor;
        p.first[i] = d.sampleSlots[0].component;
        offset += p.pitch[i] * p.rows[i];
    }
    return p;
}

int PlaneOf(const Planes& p, int count, Component c) {
    for (int i = 0; i < count; ++i)
        if (p.first[i] == c) return i;
    return 0;
}

// An odd width's last pixel has no chroma column of its own in planar layouts: it takes the
// last column's value, or neutral 128 when the line has no chroma at all (W = 1).
void ExtendChroma(uint8_t* line, int chromaWidth, int width) {
    if (!(width & 1)) return;
    line[chromaWidth] = chromaWidth > 0 ? line[chromaWidth - 1] : 128;
}

struct Context {
    const ConvertOptions& opt;
    const KernelTable& k;
    int width, height;
    ConvertFlags flags;
    const uint8_t* src;
    size_t pitch;
    uint8_t* dst;
    ptrdiff_t dstPitch;
    uint8_t* Out(int r) const { return dst + ptrdiff_t(r) * dstPitch; }
};

// The picture the fused kernels compute: full colour with BT.601 at limited range. Every other
// picture takes the VUYA line and FinalKernel.
bool FullColour(ConvertFlags flags) { return !GreyPicture(flags) && ColourChoice(flags) == 0; }

// Full colour with another matrix or range: the fused kernels with run-time coefficients where the
// set has them (they compute exactly the VUYA line and FinalKernel), else that path.
bool OtherColour(ConvertFlags flags) { return !GreyPicture(flags) && ColourChoice(flags) != 0; }
const colour::ColourCoefficients& Coefficients(ConvertFlags flags) {
    return colour::kColourChoices[ColourChoice(flags)];
}

// Planar 4:2:2 lines of row r to the destination: the fused kernel where the set has one and
// the picture is in full colour, else the VUYA line and the final kernel.
void Finish422(const Context& c, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
               const Lines& s, int r) {
    if (c.k.planar422ToBgr && FullColour(c.flags)) {
        c.k.planar422ToBgr(y, cb, cr, c.Out(r), c.width);
        return;
    }
    if (c.k.planar422ToBgrWith && OtherColour(c.flags)) {
        c.k.planar422ToBgrWith(y, cb, cr, c.Out(r), c.width, Coefficients(c.flags));
        return;
    }
    c.k.planar422ToVuya(y, cb, cr, s.vuya, c.width);
    FinalKernel(c.k, c.flags)(s.vuya, c.Out(r), c.width);
}

// Planar 4:4:4 lines of row r to the destination: the fused kernel where the set has one and the
// picture is in full colour, else the VUYA line and the final kernel.
void Finish444(const Context& c, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
               const Lines& s, int r) {
    if (c.k.planar444ToBgr && FullColour(c.flags)) {
        c.k.planar444ToBgr(y, cb, cr, c.Out(r), c.width);
        return;
    }
    c.k.planar444ToVuya(y, cb, cr, s.vuya, c.width);
    FinalKernel(c.k, c.flags)(s.vuya, c.Out(r), c.width);
}

// Luma rows that a fused kernel reads as they lie in the frame (16-bit units, see KernelTable),
// used for full-colour pictures when the set has that kernel; otherwise rows come through the
// path's 8-bit luma lines.
struct RawLuma {
    PlanarKernel kernel = nullptr;
    const uint8_t* plane = nullptr;
    size_t pitch = 0;
    ColourPlanarKernel colourKernel = nullptr;  // the same for OtherColour pictures
};

// Row r of 4:2:2 planar chroma lines to the destination, with the raw luma kernel where it
// applies, else through Finish422 on the 8-bit luma line luma(r, line).
template <class Luma>
void Finish422Raw(const Context& c, const RawLuma& raw, Luma& luma, const uint8_t* cb,
                  const uint8_t* cr, const Lines& s, int r) {
    if (raw.kernel && FullColour(c.flags)) {
        raw.kernel(raw.plane + size_t(r) * raw.pitch, cb, cr, c.Out(r), c.width);
        return;
    }
    if (raw.colourKernel && OtherColour(c.flags)) {
        raw.colourKernel(raw.plane + size_t(r) * raw.pitch, cb, cr, c.Out(r), c.width,
                         Coefficients(c.flags));
        return;
    }
    Finish422(c, luma(r, s.luma), cb, cr, s, r);
}

// The two chroma rows output row r of a 4:2:0 or 4:4:0 frame blends, and the blend of the range.
ChromaTaps TapsOf(const Context& c, int r, int chromaRows) {
    if (c.flags & CONVERT_FIELDS_SEPARATED) return SeparatedTaps(r, chromaRows, c.height);
    return ChromaTapsFor(r, chromaRows, c.height, (c.flags & CONVERT_INTERLACED) != 0);
}
ChromaBlendKernel BlendOf(const Context& c) {
    return FullRange(c.flags) ? c.k.chromaBlendFull : c.k.chromaBlend;
}

// Semi-planar 8-bit chroma pairs (Cr at the lower address with crFirst) read as they lie by the
// set's pairs kernels: full colour, or another matrix or range, where the set has them.
bool PairsApply(const Context& c, bool crFirst) {
    return (FullColour(c.flags) && c.k.pairs422ToBgr[crFirst ? 1 : 0]) ||
           (OtherColour(c.flags) && c.k.pairs422ToBgrWith[crFirst ? 1 : 0]);
}
void FinishPairs(const Context& c, const uint8_t* y, const uint8_t* pairs, bool crFirst, int r) {
    if (FullColour(c.flags))
        c.k.pairs422ToBgr[crFirst ? 1 : 0](y, pairs, c.Out(r), c.width);
    else
        c.k.pairs422ToBgrWith[crFirst ? 1 : 0](y, pairs, c.Out(r), c.width, Coefficients(c.flags));
}

// An odd width's last pixel in a line of pairs: the last pair again, or neutral chroma (W = 1).
void ExtendPairs(uint8_t* line, int pairs, int width) {
    if (!(width & 1)) return;
    line[2 * pairs] = pairs > 0 ? line[2 * pairs - 2] : 128;
    line[2 * pairs + 1] = pairs > 0 ? line[2 * pairs - 1] : 128;
}

// 8-bit semi-planar 4:2:0 (rows = chroma rows) or 4:2:2 (rows = 0 and fourTwoTwo) through the
// pairs kernels (PairsApply). A 4:2:0 output row blends its two chroma rows of pairs as they lie:
// the blend works byte by byte, so the blended pairs are the pairs of the blended Cb and Cr
// lines, and no pass splits the pairs into lines first.
bool RunPairs(const Context& c, const uint8_t* luma, const uint8_t* chroma, int rows,
              bool fourTwoTwo, bool crFirst) {
    const int cw = c.width / 2;
    const size_t pitch = 2 * size_t(cw);
    return ForEachRow(c.opt, c.width, c.height, 0, [&](int r, const Lines& s) {
        const uint8_t* y = luma + size_t(r) * size_t(c.width);
        const uint8_t* pairs = s.a;
        if (fourTwoTwo) {
            pairs = chroma + size_t(r) * pitch;
            if (c.width & 1) {
                std::memcpy(s.a, pairs, pitch);
                ExtendPairs(s.a, cw, c.width);
                pairs = s.a;
            }
        } else if (rows == 0 || cw == 0) {
            std::memset(s.a, 128, pitch + 2);
        } else {
            const ChromaTaps t = TapsOf(c, r, rows);
            BlendOf(c)(chroma + size_t(t.a) * pitch, chroma + size_t(t.b) * pitch, s.a, int(pitch),
                       t.wa, t.wb, t.shift);
            ExtendPairs(s.a, cw, c.width);
        }
        FinishPairs(c, y, pairs, crFirst, r);
    });
}

// 4:2:0: the chroma rows of the source come through fetch(j, cbOut, crOut), which returns
// pointers to 8-bit chroma rows j (either straight into the frame or into the given lines);
// luma rows through luma(r, lineOut). With fullWidth the chroma rows have W samples (4:4:0)
// and end in Finish444.
template <class Luma, class Fetch>
bool Run420(const Context& c, int chromaRows, Luma luma, Fetch fetch, RawLuma raw = {},
            bool fullWidth = false) {
    const int cw = fullWidth ? c.width : c.width / 2;
    return ForEachRow(c.opt, c.width, c.height, 0, [&](int r, const Lines& s) {
        uint8_t* cb = s.a;
        uint8_t* cr = s.b;
        if (chromaRows == 0 || cw == 0) {
            std::memset(cb, 128, size_t(cw) + 1);
            std::memset(cr, 128, size_t(cw) + 1);
        } else {
            const ChromaTaps t = TapsOf(c, r, chromaRows);
            // Consecutive output rows share source chroma rows: a row this worker fetched for
            // the previous output row is still in its slot and is not fetched (reduced) again.
            ChromaSlot* slot = s.slots;
            uint8_t* const lines[2][2] = {{s.c, s.d}, {s.e, s.f}};
            auto find = [&](int j) { return slot[0].row == j ? 0 : slot[1].row == j ? 1 : -1; };
            auto fill = [&](int i, int j) {
                fetch(j, lines[i][0], lines[i][1], slot[i].cb, slot[i].cr);
                slot[i].row = j;
            };
            int sa = find(t.a), sb = find(t.b);
            if (sa < 0) {
                sa = sb == 0 ? 1 : 0;
                fill(sa, t.a);
            }
            if (sb < 0) {
                sb = t.a == t.b ? sa : 1 - sa;
                if (sb != sa) fill(sb, t.b);
            }
            const uint8_t* cbA = slot[sa].cb;
            const uint8_t* crA = slot[sa].cr;
            const uint8_t* cbB = slot[sb].cb;
            const uint8_t* crB = slot[sb].cr;
            const ChromaBlendKernel blend = BlendOf(c);
            blend(cbA, cbB, cb, cw, t.wa, t.wb, t.shift);
            blend(crA, crB, cr, cw, t.wa, t.wb, t.shift);
            ExtendChroma(cb, cw, c.width);
            ExtendChroma(cr, cw, c.width);
        }
        if (fullWidth) return Finish444(c, luma(r, s.luma), cb, cr, s, r);
        Finish422Raw(c, raw, luma, cb, cr, s, r);
    });
}

// 4:2:2 planar from 8-bit chroma rows given by fetch(r, cbLine, crLine, cbOut, crOut).
template <class Luma, class Fetch>
bool Run422(const Context& c, Luma luma, Fetch fetch, RawLuma raw = {}) {
    const int cw = c.width / 2;
    return ForEachRow(c.opt, c.width, c.height, 0, [&](int r, const Lines& s) {
        const uint8_t *cb, *cr;
        fetch(r, s.a, s.b, cb, cr);
        if (c.width & 1) {
            // Give the last pixel a chroma column: copy into the lines and extend them.
            if (cb != s.a) std::memcpy(s.a, cb, size_t(cw));
            if (cr != s.b) std::memcpy(s.b, cr, size_t(cw));
            ExtendChroma(s.a, cw, c.width);
            ExtendChroma(s.b, cw, c.width);
            cb = s.a;
            cr = s.b;
        }
        Finish422Raw(c, raw, luma, cb, cr, s, r);
    });
}

// Layouts read through the frame-memory table (ConvertGeneric.h), ending in the same final
// steps as the paths above. rowOf(plane, r, bounce) gives row r of a plane (packed rows may go
// through the worker's bounce line); need is the bounce line's size.
template <class RowOf>
bool ConvertTableDriven(const Context& c, const FrameMemoryLayout& l, size_t need, RowOf rowOf) {
    const SampleReader rd(c.k, l, c.width, FullRange(c.flags));
    if (!rd.Supported()) return false;
    using C = Component;
    auto read = [&](C comp, int r, uint8_t* line, uint8_t* bounce) {
        return rd.Read(comp, rowOf(rd.PlaneOf(comp), r, bounce), line);
    };
    auto luma = [&](int r, uint8_t* line) { return read(C::Y, r, line, nullptr); };
    auto chroma = [&](int j, uint8_t* cbLine, uint8_t* crLine, const uint8_t*& cb,
                      const uint8_t*& cr) {
        rd.ReadChroma(rowOf(rd.PlaneOf(C::Cb), j, nullptr), rowOf(rd.PlaneOf(C::Cr), j, nullptr),
                      cbLine, crLine, cb, cr);
    };
    const int chromaRows = c.height / l.planes[rd.PlaneOf(C::Cb)].heightDivisor;
    // Planar 16-bit luma that a fused kernel reads as it lies (tightly packed rows of 2 x W).
    RawLuma raw;
    if (need == 0 && rd.FusedLuma422())
        raw = RawLuma{rd.FusedLuma422(), rowOf(rd.PlaneOf(C::Y), 0, nullptr), 2 * size_t(c.width)};
    switch (rd.Shape()) {
    case ChromaShape::Sub420: return Run420(c, chromaRows, luma, chroma, raw);
    case ChromaShape::Sub440: return Run420(c, chromaRows, luma, chroma, {}, true);
    case ChromaShape::Sub422:
    case ChromaShape::Sub411: return Run422(c, luma, chroma, raw);
    case ChromaShape::Full444:
        return ForEachRow(c.opt, c.width, c.height, need, [&](int r, const Lines& s) {
            const uint8_t *cb, *cr;
            if (need == 0) {
                rd.ReadChroma(rowOf(rd.PlaneOf(C::Cb), r, nullptr),
                              rowOf(rd.PlaneOf(C::Cr), r, nullptr), s.a, s.b, cb, cr);
            } else {
                cb = read(C::Cb, r, s.a, s.bounce);
                cr = read(C::Cr, r, s.b, s.bounce);
            }
            Finish444(c, read(C::Y, r, s.luma, s.bounce), cb, cr, s, r);
        });
    case ChromaShape::None: break;
    }
    if (l.model == ColourModel::Grey) {
        return ForEachRow(c.opt, c.width, c.height, need, [&](int r, const Lines& s) {
            c.k.greyToBgr(read(C::Grey, r, s.a, s.bounce), c.Out(r), c.width);
        });
    }
    return ForEachRow(c.opt, c.width, c.height, need, [&](int r, const Lines& s) {
        if (!rd.Rgb32ToBgr(rowOf(0, r, s.bounce), c.Out(r))) {
            const uint8_t* red = read(C::R, r, s.a, s.bounce);
            const uint8_t* green = read(C::G, r, s.b, s.bounce);
            c.k.planesToBgr(read(C::B, r, s.c, s.bounce), green, red, c.Out(r), c.width);
        }
        if (l.studioRange) c.k.studioExpand(c.Out(r), c.Out(r), 3 * c.width);
    });
}

bool ConvertPlanar(const Context& c, const FrameMemoryLayout& l) {
    const uint64_t need = MinFrameBytes(l.code, c.width, c.height);
    const uint64_t have = uint64_t(c.pitch) * uint64_t(c.height);
    // A frame too short for its planes is read as if zeros followed it.
    const uint8_t* frame = c.src;
    ScratchBlock padded(need > have ? size_t(need) : 0);
    if (need > have) {
        if (!padded.get()) return false;
        std::memcpy(padded.get(), c.src, size_t(have));
        std::memset(padded.get() + have, 0, size_t(need - have));
        frame = padded.get();
    }
    const Planes p = LocatePlanes(l, frame, c.width, c.height);
    const KernelTable& k = c.k;
    const int w = c.width, cw = c.width / 2;
    const int yp = PlaneOf(p, l.planeCount, Component::Y);
    const int cbp = PlaneOf(p, l.planeCount, Component::Cb);
    const int crp = PlaneOf(p, l.planeCount, Component::Cr);
    auto row = [&](int plane, size_t r) { return p.plane[plane] + r * p.pitch[plane]; };
    // 8-bit chroma pairs of a semi-planar layout into a Cb and a Cr line: the byte at the lower
    // address of each pair is Cb in NV12, NV16 and NV24, Cr in NV21, NV61 and NV42.
    const bool crFirst = l.planeCount > 1 && l.planes[1].sampleSlots[0].component == Component::Cr;
    auto splitPairs = [&](const uint8_t* pairs, uint8_t* cb, uint8_t* cr, int count) {
        k.lowAddressBytes16(pairs, crFirst ? cr : cb, count);
        k.highBytes16(pairs, crFirst ? cb : cr, count);
    };
    // Chroma row j of a 4:2:0 or 4:2:2 semi-planar layout, split into the given lines.
    auto fetchPairs = [&](int j, uint8_t* cbLine, uint8_t* crLine, const uint8_t*& cb,
                          const uint8_t*& cr) {
        splitPairs(row(1, size_t(j)), cbLine, crLine, cw);
        cb = cbLine;
        cr = crLine;
    };

    switch (l.code) {
    case kLayoutYV12:
    case kLayoutI420:
        return Run420(
            c, int(p.rows[cbp]), [&](int r, uint8_t*) { return row(yp, size_t(r)); },
            [&](int j, uint8_t*, uint8_t*, const uint8_t*& cb, const uint8_t*& cr) {
                cb = row(cbp, size_t(j));
                cr = row(crp, size_t(j));
            });
    case kLayoutI420LE16:
    case kLayoutI420BE16: {
        const Reduce16Kernel reduce = l.code == kLayoutI420LE16 ? k.reduce16LE : k.reduce16BE;
        const int lumaMax = FullRange(c.flags) ? 255 : 235;
        const int chromaMax = FullRange(c.flags) ? 255 : 240;
        return Run420(
            c, int(p.rows[cbp]),
            [&](int r, uint8_t* line) {
                reduce(row(yp, size_t(r)), line, w, lumaMax);
                return static_cast<const uint8_t*>(line);
            },
            [&](int j, uint8_t* cbLine, uint8_t* crLine, const uint8_t*& cb, const uint8_t*& cr) {
                reduce(row(cbp, size_t(j)), cbLine, cw, chromaMax);
                reduce(row(crp, size_t(j)), crLine, cw, chromaMax);
                cb = cbLine;
                cr = crLine;
            },
            RawLuma{l.code == kLayoutI420LE16 ? k.roundedLumaLE422ToBgr : k.roundedLumaBE422ToBgr,
                    p.plane[yp], p.pitch[yp]});
    }
    case kLayoutP010:
    case kLayoutP016:
        return Run420(
            c, int(p.rows[1]),
            [&](int r, uint8_t* line) {
                k.highBytes16(row(0, size_t(r)), line, w);
                return static_cast<const uint8_t*>(line);
            },
            [&](int j, uint8_t* cbLine, uint8_t* crLine, const uint8_t*& cb, const uint8_t*& cr) {
                k.splitHighBytes16(row(1, size_t(j)), cbLine, crLine, cw);
                cb = cbLine;
                cr = crLine;
            },
            RawLuma{k.highLuma422ToBgr, p.plane[0], p.pitch[0], k.highLuma422ToBgrWith});
    case kLayoutYV16:
        return Run422(
            c, [&](int r, uint8_t*) { return row(yp, size_t(r)); },
            [&](int r, uint8_t*, uint8_t*, const uint8_t*& cb, const uint8_t*& cr) {
                cb = row(cbp, size_t(r));
                cr = row(crp, size_t(r));
            });
    case kLayoutP210:
    case kLayoutP216:
        return Run422(
            c,
            [&](int r, uint8_t* line) {
                k.highBytes16(row(0, size_t(r)), line, w);
                return static_cast<const uint8_t*>(line);
            },
            [&](int r, uint8_t* cbLine, uint8_t* crLine, const uint8_t*& cb, const uint8_t*& cr) {
                k.splitHighBytes16(row(1, size_t(r)), cbLine, crLine, cw);
                cb = cbLine;
                cr = crLine;
            },
            RawLuma{k.highLuma422ToBgr, p.plane[0], p.pitch[0], k.highLuma422ToBgrWith});
    case kLayoutNV12:
    case kLayoutNV21:
        if (PairsApply(c, crFirst))
            return RunPairs(c, p.plane[0], p.plane[1], int(p.rows[1]), false, crFirst);
        return Run420(
            c, int(p.rows[1]), [&](int r, uint8_t*) { return row(0, size_t(r)); }, fetchPairs);
    case kLayoutNV16:
    case kLayoutNV61:
        if (PairsApply(c, crFirst)) return RunPairs(c, p.plane[0], p.plane[1], 0, true, crFirst);
        return Run422(
            c, [&](int r, uint8_t*) { return row(0, size_t(r)); }, fetchPairs);
    case kLayoutYV24:
    case kLayoutNV24:
    case kLayoutNV42: {
        return ForEachRow(c.opt, w, c.height, 0, [&](int r, const Lines& s) {
            const uint8_t *cb = s.a, *cr = s.b;
            if (l.arrangement == Arrangement::SemiPlanar) {
                splitPairs(row(1, size_t(r)), s.a, s.b, w);
            } else {
                cb = row(cbp, size_t(r));
                cr = row(crp, size_t(r));
            }
            Finish444(c, row(yp, size_t(r)), cb, cr, s, r);
        });
    }
    case kLayoutBGR444P:
    case kLayoutRGB444P: {
        const Reduce16Kernel reduce = l.code == kLayoutBGR444P ? k.reduce16LE : k.reduce16BE;
        const int rp = PlaneOf(p, l.planeCount, Component::R);
        const int gp = PlaneOf(p, l.planeCount, Component::G);
        const int bp = PlaneOf(p, l.planeCount, Component::B);
        return ForEachRow(c.opt, w, c.height, 0, [&](int r, const Lines& s) {
            reduce(row(rp, size_t(r)), s.a, w, 255);
            reduce(row(gp, size_t(r)), s.b, w, 255);
            reduce(row(bp, size_t(r)), s.c, w, 255);
            k.planesToBgr(s.c, s.b, s.a, c.Out(r), w);
        });
    }
    default:
        return ConvertTableDriven(c, l, 0, [&](int plane, int r, uint8_t*) {
            return static_cast<const uint8_t*>(row(plane, size_t(r)));
        });
    }
}

bool ConvertPacked(const Context& c, const FrameMemoryLayout& l) {
    const KernelTable& k = c.k;
    const int w = c.width;
    // Bytes of the row's whole groups: what the line kernels read.
    const PlaneDesc& plane = l.planes[0];
    const size_t need = (size_t(w) + plane.groupPixels - 1) / plane.groupPixels * plane.groupBytes;
    PackedRows rows{c.src, c.pitch, need};
    if (IsPackedPair(plane) && (w & 1) && c.pitch < need && c.pitch >= MinRowBytes(l.code, w)) {
        rows.pairs = &plane;
        rows.order = l.byteOrder;
    }
    const LineKernel final = FinalKernel(k, c.flags);
    const bool studio = (c.flags & CONVERT_RGB_STUDIO_RANGE) != 0;
    const size_t outBytes = 3 * size_t(w);
    const int pairSamples = 4 * ((w + 1) / 2);  // u16 samples of a 16-bit 4:2:2 row

    // A path that turns a source row into the VUYA line, then the final kernel.
    auto viaVuya = [&](auto toVuya) {
        return ForEachRow(c.opt, w, c.height, need, [&](int r, const Lines& s) {
            toVuya(rows.Row(r, s.bounce), s);
            final(s.vuya, c.Out(r), w);
        });
    };
    // A path that writes the destination row directly.
    auto direct = [&](auto toBgr) {
        return ForEachRow(c.opt, w, c.height, need, [&](int r, const Lines& s) {
            toBgr(rows.Row(r, s.bounce), c.Out(r), s);
        });
    };

    // 8-bit 4:2:2 pairs (after any unpacking into line a): the fused packed kernel of the pair
    // order where the set has one, or split into planar lines and the fused kernel, or the VUYA
    // kernel of the pair order and the final kernel.
    const bool fused = k.planar422ToBgr && FullColour(c.flags);
    const bool fusedOther = k.planar422ToBgrWith && OtherColour(c.flags);
    auto packed422 = [&](auto unpack, LineKernel toVuya, KernelTable::SplitKernel split,
                         LineKernel toBgr) {
        return ForEachRow(c.opt, w, c.height, need, [&](int r, const Lines& s) {
            const uint8_t* pairs = unpack(rows.Row(r, s.bounce), s);
            if (toBgr && FullColour(c.flags)) {
                toBgr(pairs, c.Out(r), w);
            } else if (fused) {
                split(pairs, s.b, s.c, s.d, w);
                k.planar422ToBgr(s.b, s.c, s.d, c.Out(r), w);
            } else if (fusedOther) {
                split(pairs, s.b, s.c, s.d, w);
                k.planar422ToBgrWith(s.b, s.c, s.d, c.Out(r), w, Coefficients(c.flags));
            } else {
                toVuya(pairs, s.vuya, w);
                final(s.vuya, c.Out(r), w);
            }
        });
    };
    auto asIs = [](const uint8_t* src, const Lines&) { return src; };
    auto highBytes = [&](const uint8_t* src, const Lines& s) {
        k.highBytes16(src, s.a, pairSamples);
        return static_cast<const uint8_t*>(s.a);
    };

    switch (l.code) {
    case kLayoutYUY2:
    case kLayoutV422:
    case kLayoutYUYV: return packed422(asIs, k.yuyvToVuya, k.yuyvToPlanar, k.yuyvToBgr);
    case kLayoutUYVY: return packed422(asIs, k.uyvyToVuya, k.uyvyToPlanar, k.uyvyToBgr);
    case kLayoutVYUY: return packed422(asIs, k.vyuyToVuya, k.vyuyToPlanar, k.vyuyToBgr);
    case kLayoutYVYU:
        // Y'0 Cr Y'1 Cb: the set's fused kernel of that order, or the chroma bytes of each pair
        // swapped into line a give YUYV.
        if (k.yvyuToBgr && FullColour(c.flags))
            return packed422(asIs, k.yuyvToVuya, k.yuyvToPlanar, k.yvyuToBgr);
        return packed422(
            [&](const uint8_t* src, const Lines& s) {
                const size_t bytes = size_t((w + 1) / 2) * 4;
                for (size_t i = 0; i < bytes; i += 4) {
                    s.a[i] = src[i];
                    s.a[i + 1] = src[i + 3];
                    s.a[i + 2] = src[i + 2];
                    s.a[i + 3] = src[i + 1];
                }
                return static_cast<const uint8_t*>(s.a);
            },
            k.yuyvToVuya, k.yuyvToPlanar, k.yuyvToBgr);
    case kLayoutY210:
    case kLayoutY216: return packed422(highBytes, k.yuyvToVuya, k.yuyvToPlanar, k.yuyvToBgr);
    case kLayoutV216: return packed422(highBytes, k.uyvyToVuya, k.uyvyToPlanar, k.uyvyToBgr);
    case kLayoutV210:
        return packed422(
            [&](const uint8_t* src, const Lines& s) {
                k.v210ToUyvy(src, s.a, w);
                return static_cast<const uint8_t*>(s.a);
            },
            k.uyvyToVuya, k.uyvyToPlanar, k.uyvyToBgr);
    case kLayoutAYUV:
        return viaVuya([&](const uint8_t* src, const Lines& s) { k.ayuvToVuya(src, s.vuya, w); });
    case kLayoutVUYA:
        // The layout's own double-precision conversion is BT.601 at limited range; its pixels
        // are VUYA lines, so any other matrix or range takes the final kernel on them.
        if (FullRange(c.flags) || (!GreyPicture(c.flags) && ColourChoice(c.flags) != 0))
            return direct(
                [&](const uint8_t* src, uint8_t* out, const Lines&) { final(src, out, w); });
        return direct([&](const uint8_t* src, uint8_t* out, const Lines&) {
            k.vuyaDoubleToBgr(src, out, w, VuyaModeFor(c.flags));
        });
    case kLayoutBGR3:
        return direct([&](const uint8_t* src, uint8_t* out, const Lines&) {
            if (studio)
                k.studioExpand(src, out, int(outBytes));
            else
                CopyRow(src, out, outBytes);
        });
    case kLayoutR24C:
        return direct([&](const uint8_t* src, uint8_t* out, const Lines&) {
            k.studioExpand(src, out, int(outBytes));
        });
    case kLayoutRGB3:
        return direct(
            [&](const uint8_t* src, uint8_t* out, const Lines&) { k.rgbToBgr(src, out, w); });
    case kLayoutBGR4:
    case kLayoutBGRA:
    case kLayoutR32C: {
        const bool expand = studio || l.code == kLayoutR32C;
        return direct([&](const uint8_t* src, uint8_t* out, const Lines&) {
            k.bgrxToBgr(src, out, w);
            if (expand) k.studioExpand(out, out, int(outBytes));
        });
    }
    case kLayoutRGB4:
        return direct(
            [&](const uint8_t* src, uint8_t* out, const Lines&) { k.rgbxToBgr(src, out, w); });
    case kLayoutARGB:
        return direct(
            [&](const uint8_t* src, uint8_t* out, const Lines&) { k.xrgbToBgr(src, out, w); });
    case kLayoutR555:
        return direct(
            [&](const uint8_t* src, uint8_t* out, const Lines&) { k.r555ToBgr(src, out, w); });
    case kLayoutR565:
        return direct(
            [&](const uint8_t* src, uint8_t* out, const Lines&) { k.r565ToBgr(src, out, w); });
    case kLayoutBGR161616:
    case kLayoutRGB161616: {
        const Reduce16Kernel reduce = l.code == kLayoutBGR161616 ? k.reduce16LE : k.reduce16BE;
        return direct([&](const uint8_t* src, uint8_t* out, const Lines& s) {
            reduce(src, s.a, 3 * w, 255);
            k.rgbToBgr(s.a, out, w);
        });
    }
    case kLayoutBGRA16161616:
    case kLayoutARGB16161616: {
        const Reduce16Kernel reduce = l.code == kLayoutBGRA16161616 ? k.reduce16LE : k.reduce16BE;
        return direct([&](const uint8_t* src, uint8_t* out, const Lines& s) {
            reduce(src, s.a, 4 * w, 255);
            k.rgbxToBgr(s.a, out, w);
        });
    }
    case kLayoutGRAY:
        return direct(
            [&](const uint8_t* src, uint8_t* out, const Lines&) { k.greyToBgr(src, out, w); });
    case kLayoutGRAYLE16:
        return direct([&](const uint8_t* src, uint8_t* out, const Lines& s) {
            k.reduce16LE(src, s.a, w, 255);
            k.greyToBgr(s.a, out, w);
        });
    case kLayoutGRAYBE16:
        return direct([&](const uint8_t* src, uint8_t* out, const Lines& s) {
            k.lowAddressBytes16(src, s.a, w);
            k.greyToBgr(s.a, out, w);
        });
    default:
        // Packed rows are asked for with the worker's bounce line: the reader takes no packed
        // layout whose chroma is subsampled, the only paths that ask without one.
        return ConvertTableDriven(c, l, need, [&](int, int r, uint8_t* bounce) {
            return bounce ? rows.Row(r, bounce) : nullptr;
        });
    }
}

}  // namespace

bool ConvertFrameWith(const ConvertOptions& options, int32_t width, int32_t height,
                      ConvertFlags flags, uint32_t sourceCode, const uint8_t* source,
                      int32_t sourceLineBytes, uint32_t destinationCode, uint8_t* destination,
                      int32_t destinationLineBytes) {
    if (destinationCode != kLayoutBGR3) return false;
    if (width <= 0 || height <= 0 || width > kConvertMaxWidth || !source || !destination)
        return false;
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(sourceCode);
    if (!layout) return false;
    const KernelTable& k = options.kernels ? *options.kernels : Kernels();
    const size_t pitch =
        sourceLineBytes < 0 ? size_t(-int64_t(sourceLineBytes)) : size_t(sourceLineBytes);
    const Context c{options, k,           width,
                    height,  flags,       source,
                    pitch,   destination, ptrdiff_t(destinationLineBytes)};
    if (layout->model == ColourModel::Bayer)
        return ConvertMosaic(options, k, width, height, flags, *layout, source, pitch, destination,
                             ptrdiff_t(destinationLineBytes));
    if (layout->arrangement == Arrangement::Packed) return ConvertPacked(c, *layout);
    return ConvertPlanar(c, *layout);
}

bool ConvertFrame(int32_t width, int32_t height, ConvertFlags flags, uint32_t sourceCode,
                  const uint8_t* source, int32_t sourceLineBytes, uint32_t destinationCode,
                  uint8_t* destination, int32_t destinationLineBytes) {
    return ConvertFrameWith(ConvertOptions{}, width, height, flags, sourceCode, source,
                            sourceLineBytes, destinationCode, destination, destinationLineBytes);
}

void VerticalLowPass121(const uint8_t* above, const uint8_t* middle, const uint8_t* below,
                        uint8_t* out, int count) {
    Kernels().verticalLowPass121(above, middle, below, out, count);
}
