// The row steps that turn a converted frame into the rows of the display bitmap: the
// arrangement of the two fields of interlaced material and the four deinterlacing filters.
//
// All of them work on whole rows of bytes. A row holds 3-byte B', G', R' pixels, but the filters
// never look at pixel boundaries: every byte is an independent 8-bit lane, so a row of L bytes is
// filtered as L separate columns.
#pragma once

#include "settings/RawSettings.h"

#include <cstddef>
#include <cstdint>

namespace kavlo {

// A row-addressed byte image that the steps read or write: row r starts at data + r * stride.
struct RowImage {
    uint8_t* data = nullptr;
    ptrdiff_t stride = 0;
    int height = 0;

    uint8_t* Row(int r) const { return data + static_cast<ptrdiff_t>(r) * stride; }
};

// How the two fields of a frame are rearranged before display.
struct FieldArrangement {
    bool separated = false;  // the converted frame holds its fields one after the other
    bool split = false;      // show the two fields one above the other
    bool swapped = false;    // the second field comes first
};

// True when the arrangement leaves the converted frame as it is (interleaved fields, shown
// interleaved, in stored order): the display rows then come straight from it.
bool ArrangementIsIdentity(const FieldArrangement& arrangement);

// Writes the field image `dst` from the converted frame `src` (both `height` rows), copying
// `rowBytes` bytes per row. With h2 = height / 2, i = 0 .. h2 - 1:
//   separated + split:        dst[i] = src[i],        dst[h2 + i] = src[h2 + i]
//   separated, woven:         dst[2i] = src[i],       dst[2i + 1] = src[h2 + i]
//   interleaved + split:      dst[i] = src[2i],       dst[h2 + i] = src[2i + 1]
//   interleaved, woven:       dst[2i] = src[2i + 1],  dst[2i + 1] = src[2i]    (swapped only)
// with the two sources of each pair exchanged when `swapped` is set. For an odd height the last
// row has no partner in either field; it keeps the converted last row. Must not be called for the
// identity arrangement.
void ArrangeFields(const RowImage& src, const RowImage& dst, size_t rowBytes,
                   const FieldArrangement& arrangement);

// The three-row kernel (above, middle, below, out, byte count) that blends fields:
// out = (above + 2 * middle + below + 2) >> 2 per byte.
using LowPass121Fn = void (*)(const uint8_t* above, const uint8_t* middle, const uint8_t* below,
                              uint8_t* out, int count);

// Copies `rowBytes` bytes of each of the `src.height` rows into `dst`.
void CopyRows(const RowImage& src, const RowImage& dst, size_t rowBytes);

// Deinterlaces `src` into `dst` (both `src.height` rows, `rowBytes` bytes each) with `method`:
//   0 blend fields: dst[r] = lowPass121(src[r - 1], src[r], src[r + 1]) with row indexes
//     clamped into the frame;
//   1 top field: even rows copied, each odd row interpolated from the top field with the 6-tap
//     filter (1, -5, 20, 20, -5, 1) / 32 over field lines j - 2 .. j + 3;
//   2 bottom field: odd rows copied, each even row interpolated from the bottom field with the
//     same filter over field lines j - 3 .. j + 2;
//   3 low-pass: dst[r] = (-src[r-2] + 2 src[r-1] + 6 src[r] + 2 src[r+1] - src[r+2] + 4) >> 3.
// Field line indexes are clamped into 0 .. height / 2 - 1, results into 0 .. 255. For an odd
// height, methods 1 and 2 copy the last row, which belongs to neither interpolated field. Returns
// false, writing nothing, for any other method number.
bool Deinterlace(uint32_t method, const RowImage& src, const RowImage& dst, size_t rowBytes,
                 LowPass121Fn lowPass121);

}  // namespace kavlo
