#include "view/picture/FieldRender.h"

#include <algorithm>
#include <cstring>

namespace kavlo {
namespace {

// Row loops of whole frames run on a worker team only when a frame is large enough to gain from
// it; every iteration writes its own output row, so the result never depends on the team size.
constexpr size_t kParallelBytes = size_t(1) << 20;

inline int ClampIndex(int i, int last) { return i < 0 ? 0 : (i > last ? last : i); }

inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Six-tap field interpolation (1, -5, 20, 20, -5, 1) / 32 of one output row from six field rows.
void SixTapRow(const uint8_t* const in[6], uint8_t* out, size_t n) {
    const uint8_t* a = in[0];
    const uint8_t* b = in[1];
    const uint8_t* c = in[2];
    const uint8_t* d = in[3];
    const uint8_t* e = in[4];
    const uint8_t* f = in[5];
    for (size_t i = 0; i < n; ++i) {
        const int v = a[i] - 5 * b[i] + 20 * c[i] + 20 * d[i] - 5 * e[i] + f[i] + 16;
        out[i] = ClampByte(v >> 5);  // arithmetic shift: rounds towards minus infinity
    }
}

// Five-tap vertical low-pass (-1, 2, 6, 2, -1) / 8 of one output row.
void LowPassRow(const uint8_t* const in[5], uint8_t* out, size_t n) {
    const uint8_t* a = in[0];
    const uint8_t* b = in[1];
    const uint8_t* c = in[2];
    const uint8_t* d = in[3];
    const uint8_t* e = in[4];
    for (size_t i = 0; i < n; ++i) {
        const int v = -a[i] + 2 * b[i] + 6 * c[i] + 2 * d[i] - e[i] + 4;
        out[i] = ClampByte(v >> 3);
    }
}

}  // namespace

bool ArrangementIsIdentity(const FieldArrangement& a) {
    return !a.separated && !a.split && !a.swapped;
}

void ArrangeFields(const RowImage& src, const RowImage& dst, size_t rowBytes,
                   const FieldArrangement& a) {
    const int h = std::min(src.height, dst.height);
    const int h2 = h / 2;
    const bool parallel = static_cast<size_t>(h) * rowBytes >= kParallelBytes;
#pragma omp parallel for schedule(static) if (parallel)
    for (int i = 0; i < h2; ++i) {
        // The two source rows of field line i: first-field row, second-field row.
        const int first = a.separated ? i : 2 * i;
        const int second = a.separated ? h2 + i : 2 * i + 1;
        const int upper = a.swapped ? second : first;
        const int lower = a.swapped ? first : second;
        // Destination rows: one above the other when split, interleaved otherwise.
        const int dstUpper = a.split ? i : 2 * i;
        const int dstLower = a.split ? h2 + i : 2 * i + 1;
        std::memcpy(dst.Row(dstUpper), src.Row(upper), rowBytes);
        std::memcpy(dst.Row(dstLower), src.Row(lower), rowBytes);
    }
    if (h % 2 != 0) std::memcpy(dst.Row(h - 1), src.Row(h - 1), rowBytes);
}

void CopyRows(const RowImage& src, const RowImage& dst, size_t rowBytes) {
    for (int r = 0; r < src.height; ++r) std::memcpy(dst.Row(r), src.Row(r), rowBytes);
}

bool Deinterlace(uint32_t method, const RowImage& src, const RowImage& dst, size_t rowBytes,
                 LowPass121Fn lowPass121) {
    const int h = src.height;
    const int last = h - 1;
    const int h2 = h / 2;
    const bool parallel = static_cast<size_t>(h) * rowBytes >= kParallelBytes;
    switch (method) {
    case kDeinterlaceBlendFields:
#pragma omp parallel for schedule(static) if (parallel)
        for (int r = 0; r < h; ++r) {
            lowPass121(src.Row(ClampIndex(r - 1, last)), src.Row(r),
                       src.Row(ClampIndex(r + 1, last)), dst.Row(r), static_cast<int>(rowBytes));
        }
        return true;
    case kDeinterlaceTopField:
    case kDeinterlaceBottomField: {
        // The kept field: rows 2k (top) or 2k + 1 (bottom). Output row of field line j that is
        // interpolated: 2j + 1 (top) or 2j (bottom), from field lines j - 2 .. j + 3 (top) or
        // j - 3 .. j + 2 (bottom).
        const int parity = method == kDeinterlaceTopField ? 0 : 1;
        const int firstTap = method == kDeinterlaceTopField ? -2 : -3;
#pragma omp parallel for schedule(static) if (parallel)
        for (int j = 0; j < h2; ++j) {
            std::memcpy(dst.Row(2 * j + parity), src.Row(2 * j + parity), rowBytes);
            const uint8_t* taps[6];
            for (int t = 0; t < 6; ++t) {
                taps[t] = src.Row(2 * ClampIndex(j + firstTap + t, h2 - 1) + parity);
            }
            SixTapRow(taps, dst.Row(2 * j + 1 - parity), rowBytes);
        }
        if (h % 2 != 0) std::memcpy(dst.Row(last), src.Row(last), rowBytes);
        return true;
    }
    case kDeinterlaceLowPass:
#pragma omp parallel for schedule(static) if (parallel)
        for (int r = 0; r < h; ++r) {
            const uint8_t* taps[5];
            for (int t = 0; t < 5; ++t) taps[t] = src.Row(ClampIndex(r - 2 + t, last));
            LowPassRow(taps, dst.Row(r), rowBytes);
        }
        return true;
    default: return false;
    }
}

}  // namespace kavlo
