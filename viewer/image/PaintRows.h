// Rows of the video view's paint: 3-byte B', G', R' pixels of the display bitmap to the 32-bit
// words of the painted picture, 0xFF000000 | R' << 16 | G' << 8 | B' (bytes B', G', R', 0xFF in
// memory), with nearest-neighbour column choice. One set of row kernels per instruction set,
// chosen by the same level as the conversion kernels (Kernels.h, KAVLO_SIMD). No Qt.
#pragma once

#include "Kernels.h"

#include <cstdint>
#include <vector>

namespace paint {

// The painted word of the pixel whose B', G', R' bytes start at p. Internal linkage: the files
// built with other instruction sets each keep their own copy.
namespace {
inline uint32_t PixelWord(const uint8_t* p) {
    return 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[0]};
}
}  // namespace

// `width` consecutive pixels: reads exactly 3 x width bytes from src, writes width words.
using CopyRowKernel = void (*)(const uint8_t* src, uint32_t* dst, int width);
// dst[i] = the pixel at byte offset offsets[i] of line, for any offsets with
// 0 <= offsets[i] <= lineBytes - 3 (repeating, rising or falling). Reads bytes of line below
// lineBytes only; writes width words.
using PickRowKernel = void (*)(const uint8_t* line, int lineBytes, const int32_t* offsets,
                               uint32_t* dst, int width);
// dst[i] = words[bases[i / 8] + indices[i]] with indices[i] in 0 .. reach - 1 (reach at most
// 32): the words of a run of consecutive pixels spread over the row. Reads words[bases[b] ..
// bases[b] + 31] of every block b of 8 (the caller pads `words`), writes width words.
using ExpandRowKernel = void (*)(const uint32_t* words, const int32_t* bases,
                                 const int32_t* indices, uint32_t* dst, int width, int reach);

struct RowKernels {
    SimdLevel level = SimdLevel::Scalar;
    CopyRowKernel copy = nullptr;
    PickRowKernel pick = nullptr;
    ExpandRowKernel expand = nullptr;  // nullptr in sets where picking is as fast
};

// The set of the given level (lower sets where a level has none of its own; never above what
// the processor supports), and the process-wide one of DetectSimdLevel().
RowKernels MakeRowKernels(SimdLevel level);
const RowKernels& CurrentRowKernels();

// The kernels of each set, for the tests.
void CopyRow_Scalar(const uint8_t* src, uint32_t* dst, int width);
void PickRow_Scalar(const uint8_t* line, int lineBytes, const int32_t* offsets, uint32_t* dst,
                    int width);
void ExpandRow_Scalar(const uint32_t* words, const int32_t* bases, const int32_t* indices,
                      uint32_t* dst, int width, int reach);
void CopyRow_SSSE3(const uint8_t* src, uint32_t* dst, int width);
void CopyRow_AVX2(const uint8_t* src, uint32_t* dst, int width);
void PickRow_AVX2(const uint8_t* line, int lineBytes, const int32_t* offsets, uint32_t* dst,
                  int width);
void ExpandRow_AVX2(const uint32_t* words, const int32_t* bases, const int32_t* indices,
                    uint32_t* dst, int width, int reach);

// The columns of one paint, prepared once for all its rows: client column i shows frame column
// columns[i]. Consecutive columns (zoom 1) are copied; columns that stay within 32 pixels in
// every block of 8 (zoom 1/4 and above) are copied once as a run of words and spread; any others
// are picked one by one.
class RowPlan {
public:
    explicit RowPlan(const RowKernels& kernels = CurrentRowKernels()) : kernels_(&kernels) {}

    // columns: `count` frame columns, each in 0 .. pictureWidth - 1.
    void Prepare(const int* columns, int count, int pictureWidth);
    // Fills `count` words of out from the line's pixels; reads no byte of the line at or past
    // pixel pictureWidth.
    void Row(const uint8_t* line, uint32_t* out);

    enum class Mode { Copy, Expand, Pick };
    Mode PlanMode() const { return mode_; }

private:
    const RowKernels* kernels_;
    Mode mode_ = Mode::Pick;
    int count_ = 0;
    int first_ = 0;  // the first frame column copied (Copy, Expand)
    int span_ = 0;   // the columns copied (Expand)
    int reach_ = 0;  // the largest index + 1 (Expand)
    int lineBytes_ = 0;
    std::vector<int32_t> offsets_;  // Pick: byte offsets
    std::vector<int32_t> bases_;    // Expand: per block of 8, relative to first_
    std::vector<int32_t> indices_;  // Expand: per column, relative to its block's base
    std::vector<uint32_t> words_;   // Expand: the copied run, padded by 32 words
};

}  // namespace paint
