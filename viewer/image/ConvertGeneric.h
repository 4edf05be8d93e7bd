// The table-driven reading of frames: samples of any layout of the frame-memory table read into
// 8-bit lines, one component at a time, so that the frame conversion (Convert.cpp) can end them
// in the same final kernels as every other path. A layout that this reader understands needs
// no code of its own: its row in FrameMemory.cpp is enough.
//
// What it reads
//   - planar and semi-planar Y'CbCr of any subsampling the final steps know: 4:2:0, 4:2:2,
//     4:1:1, 4:4:0 and 4:4:4 (ChromaShape);
//   - packed layouts whose group is one pixel: Y'CbCr 4:4:4, R'G'B' and grey;
//   - words of 1, 2 or 4 bytes in either byte order, samples anywhere inside their word.
//
// The 8-bit rule (ReduceSample): a sample of b bits is first masked to its b bits (bits above
// them in its word, e.g. garbage in the top six bits of a 10-bit sample in a 16-bit word, are
// not part of it and never wrap or spill into the value). Then
//   b <= 8:  the value as it is (8-bit samples are not limited, as on every 8-bit path);
//   b > 8:   min((v + 2^(b-9)) >> (b-8), limit), limit = 235 for Y', 240 for Cb and Cr,
//            255 for R', G', B' and grey; e.g. 10 bits: min((v + 2) >> 2, limit);
//            16 bits: min((v + 128) >> 8, limit), the rule of today's 16-bit planar paths.
//
// 4:1:1 chroma (one sample per four pixels, sited on the first of them) becomes a 4:2:2 line
// before the 4:2:2 step: entry 2k is sample k, entry 2k + 1 is (sample k + sample k+1 + 1) >> 1,
// the midpoint, or sample k again at the end of the line; an entry past the last sample repeats
// it (neutral 128 when the line has none). 4:4:0 chroma is blended vertically like 4:2:0.
#pragma once

#include "FrameMemory.h"
#include "Kernels.h"

#include <cstdint>

enum class ChromaShape : uint8_t { Sub420, Sub422, Sub411, Sub440, Full444, None };

// The 8-bit value of a `bits`-bit sample already masked to its bits (see above).
inline uint8_t ReduceSample(uint32_t v, int bits, int limit) {
    if (bits <= 8) return uint8_t(v);
    const uint32_t r = (v + (1u << (bits - 9))) >> (bits - 8);
    return uint8_t(r < uint32_t(limit) ? r : uint32_t(limit));
}
// The limit of a component (235 Y', 240 Cb and Cr, 255 otherwise).
int ReduceLimit(Component c);

class SampleReader {
public:
    // fullRange: Y'CbCr samples are full range (CONVERT_FULL_RANGE), so wide samples are reduced
    // with the limit 255 for every component instead of 235 / 240.
    SampleReader(const KernelTable& k, const FrameMemoryLayout& l, int width,
                 bool fullRange = false);

    // False when the layout is one this reader cannot read (a packed group of several pixels,
    // a subsampling with no final step).
    bool Supported() const { return supported_; }
    ChromaShape Shape() const { return shape_; }
    // The plane that holds a component (0 when none does).
    int PlaneOf(Component c) const { return plane_[int(c)]; }

    // Component c of one row of its plane (`row`: the row's first byte; a packed row must
    // hold its whole groups) as 8-bit samples: W for Y', R', G', B' and grey, the chroma
    // samples of the row for Cb and Cr (ceil(W / 2) of them, a 4:2:2 line, for 4:1:1). Returns
    // the row itself when its bytes already are those samples, else `line`, which must hold
    // 4 x W + 64 bytes (its upper half is scratch).
    const uint8_t* Read(Component c, const uint8_t* row, uint8_t* line) const;

    // Cb and Cr of one row each (both the same row when one plane holds them), as Read gives
    // them: into cbLine and crLine or in place. Semi-planar pairs of wide words are reduced in
    // one pass for both components and then split, rather than reduced once per component.
    void ReadChroma(const uint8_t* cbRow, const uint8_t* crRow, uint8_t* cbLine, uint8_t* crLine,
                    const uint8_t*& cb, const uint8_t*& cr) const;

    // The fused 4:2:2 kernel of the set that reads this layout's luma plane as it lies (u16
    // words of 10, 12 or 16 low bits: KernelTable), or nullptr.
    PlanarKernel FusedLuma422() const;

    // 8-bit R'G'B' in 4-byte pixels whose bytes one of the 4-byte R'G'B' kernels reads
    // (B'G'R'x, R'G'B'x, xR'G'B', or xB'G'R' read one byte on): the W pixels of a row straight
    // to B', G', R'. False, with nothing written, for any other layout.
    bool Rgb32ToBgr(const uint8_t* row, uint8_t* out) const;

private:
    void ReadSlots(Component c, const uint8_t* row, uint8_t* out) const;
    int Limit(Component c) const;  // the reduction's limit of a component

    const KernelTable& k_;
    const FrameMemoryLayout& l_;
    int width_;
    bool fullRange_;
    bool supported_ = false;
    bool widePairs_ = false;  // one semi-planar plane holds (Cb, Cr) pairs of equal wide words
    ChromaShape shape_ = ChromaShape::None;
    int plane_[8] = {};
    LineKernel rgb32_ = nullptr;  // the kernel Rgb32ToBgr uses, and where its bytes start
    int rgb32Offset_ = 0;
    int byteOf_[3] = {};  // bytes of R', G', B' in a pixel
};
