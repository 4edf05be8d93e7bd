#include "Demosaic.h"

#include "DemosaicRows.h"
#include "FrameMemory.h"
#include "Kernels.h"
#include "ThreadTeam.h"

#include <emmintrin.h>
#include <omp.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kAlign = 64;

size_t RoundUp(size_t n, size_t m) { return (n + m - 1) / m * m; }

// Mirrors a neighbour's index into 0 .. n - 1 without repeating the edge (-1 -> 1, n -> n - 2);
// -1 when there is nothing to mirror onto (n = 1).
int Mirror(int i, int n) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * (n - 1) - i;
    return i >= 0 && i < n ? i : -1;
}

uint8_t Mean(unsigned sum, unsigned n) { return n ? uint8_t((sum + n / 2) / n) : 0; }

// The colours of one mosaic row: X at columns of parity xParity, green at the others; Y is the
// colour of the rows above and below. xIsRed tells which of red and blue X is.
struct RowPattern {
    int xParity;
    bool xIsRed;
};

RowPattern PatternOfRow(const PlaneDesc& plane, int y) {
    const Component first = MosaicSlot(plane, 0, y).component;
    const Component second = MosaicSlot(plane, 1, y).component;
    if (first == Component::G) return {1, second == Component::R};
    return {0, first == Component::R};
}

// Columns [from, to) of one row by the rule of Demosaic.h, pixel by pixel. a and b are the rows
// above and below (after mirroring), both nullptr in a frame of one row.
void DemosaicSpan(const uint8_t* a, const uint8_t* c, const uint8_t* b, int width, int xParity,
                  int from, int to, uint8_t* xs, uint8_t* gs, uint8_t* ys) {
    for (int x = from; x < to; ++x) {
        const int l = Mirror(x - 1, width), r = Mirror(x + 1, width);
        const bool across = l >= 0;  // neighbours along the row exist
        if ((x & 1) == xParity) {
            xs[x] = c[x];
            unsigned sum = 0, n = 0;
            if (across) sum += unsigned(c[l]) + c[r], n += 2;
            if (a) sum += unsigned(a[x]) + b[x], n += 2;
            gs[x] = Mean(sum, n);
            ys[x] = across && a ? Mean(unsigned(a[l]) + a[r] + b[l] + b[r], 4) : 0;
        } else {
            gs[x] = c[x];
            xs[x] = across ? Mean(unsigned(c[l]) + c[r], 2) : 0;
            ys[x] = a ? Mean(unsigned(a[x]) + b[x], 2) : 0;
        }
    }
}

// (p + q + r + s + 2) >> 2 of sixteen bytes.
inline __m128i Average4(__m128i p, __m128i q, __m128i r, __m128i s) {
    const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
    __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(q, zero));
    __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(q, zero));
    lo = _mm_add_epi16(lo, _mm_add_epi16(_mm_unpacklo_epi8(r, zero), _mm_unpacklo_epi8(s, zero)));
    hi = _mm_add_epi16(hi, _mm_add_epi16(_mm_unpackhi_epi8(r, zero), _mm_unpackhi_epi8(s, zero)));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
    return _mm_packus_epi16(lo, hi);
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

}  // namespace

int DemosaicInteriorSSE2(const uint8_t* a, const uint8_t* c, const uint8_t* b, int width,
                         int xParity, int x, uint8_t* xs, uint8_t* gs, uint8_t* ys) {
    // Blocks start at odd columns: byte i of a block is an X site when i's parity differs from
    // xParity.
    const __m128i evenBytes = _mm_set1_epi16(0x00FF);
    const __m128i xMask = xParity ? evenBytes : _mm_andnot_si128(evenBytes, _mm_set1_epi8(-1));
    for (; x + 17 <= width; x += 16) {
        const __m128i cl = Load(c + x - 1), cc = Load(c + x), cr = Load(c + x + 1);
        const __m128i al = Load(a + x - 1), ac = Load(a + x), ar = Load(a + x + 1);
        const __m128i bl = Load(b + x - 1), bc = Load(b + x), br = Load(b + x + 1);
        const __m128i along = _mm_avg_epu8(cl, cr);  // (W + E + 1) >> 1
        const __m128i down = _mm_avg_epu8(ac, bc);   // (N + S + 1) >> 1
        const __m128i orthogonal = Average4(cl, cr, ac, bc);
        const __m128i diagonal = Average4(al, ar, bl, br);
        Store(xs + x, Select(xMask, cc, along));
        Store(gs + x, Select(xMask, orthogonal, cc));
        Store(ys + x, Select(xMask, diagonal, down));
    }
    return x;
}

namespace {

// Samples of 10, 12 or 16 bits in u16 LE words to 8 bits (Demosaic.h): `count` words.
void ReduceScalar(const uint8_t* src, uint8_t* dst, int count, int bits) {
    const unsigned mask = (1u << bits) - 1u;
    const int shift = bits - 8;
    for (int i = 0; i < count; ++i) {
        const unsigned v = (unsigned(src[2 * i]) | (unsigned(src[2 * i + 1]) << 8)) & mask;
        dst[i] = uint8_t(std::min((v >> shift) + ((v >> (shift - 1)) & 1u), 255u));
    }
}

void ReduceSSE2(const uint8_t* src, uint8_t* dst, int count, int bits) {
    // (v >> s) + ((v >> (s - 1)) & 1) equals (v + 2^(s-1)) >> s without overflowing 16 bits;
    // 256 saturates to 255 in the pack.
    const __m128i mask = _mm_set1_epi16(int16_t((1u << bits) - 1u));
    const __m128i one = _mm_set1_epi16(1);
    const __m128i shift = _mm_cvtsi32_si128(bits - 8), shiftLess = _mm_cvtsi32_si128(bits - 9);
    auto reduce = [&](__m128i v) {
        v = _mm_and_si128(v, mask);
        return _mm_add_epi16(_mm_srl_epi16(v, shift),
                             _mm_and_si128(_mm_srl_epi16(v, shiftLess), one));
    };
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i lo = reduce(Load(src + 2 * i)), hi = reduce(Load(src + 2 * i + 16));
        Store(dst + i, _mm_packus_epi16(lo, hi));
    }
    ReduceScalar(src + 2 * i, dst + i, count - i, bits);
}

// What one worker holds: three 8-bit mosaic rows (row j in line j % 3: the rows a destination
// row needs are consecutive, so they never share a line), a bounce line for rows that their
// pitch cannot hold, and the three colour lines of the destination row.
struct Worker {
    uint8_t* line[3];
    int lineRow[3] = {-1, -1, -1};
    uint8_t* bounce;
    uint8_t* xs;
    uint8_t* gs;
    uint8_t* ys;
};

struct Mosaic {
    const uint8_t* frame;
    size_t pitch;
    int width;
    int wordBytes;
    int bits;
    bool simd;

    // The 8-bit samples of row j: straight from the frame when it holds them as they are, else
    // reduced (or copied, with zeros after a short row) into the worker's line.
    const uint8_t* Row(int j, Worker& w) const {
        const uint8_t* raw = frame + size_t(j) * pitch;
        const size_t need = size_t(width) * size_t(wordBytes);
        if (wordBytes == 1 && need <= pitch) return raw;
        const int slot = j % 3;
        uint8_t* out = w.line[slot];
        if (w.lineRow[slot] == j) return out;
        w.lineRow[slot] = j;
        uint8_t* const padded = wordBytes == 1 ? out : w.bounce;
        if (need > pitch) {
            std::memcpy(padded, raw, pitch);
            std::memset(padded + pitch, 0, need - pitch);
            raw = padded;
        }
        if (wordBytes == 1) return out;
        if (simd)
            ReduceSSE2(raw, out, width, bits);
        else
            ReduceScalar(raw, out, width, bits);
        return out;
    }
};

// One block for the call, freed when the call ends.
struct Scratch {
    uint8_t* data = nullptr;
    explicit Scratch(size_t bytes) {
        void* p = nullptr;
        if (posix_memalign(&p, kAlign, RoundUp(std::max<size_t>(bytes, 1), kAlign)) == 0)
            data = static_cast<uint8_t*>(p);
    }
    ~Scratch() { std::free(data); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

}  // namespace

bool ConvertMosaic(const ConvertOptions& options, const KernelTable& k, int32_t width,
                   int32_t height, ConvertFlags flags, const FrameMemoryLayout& layout,
                   const uint8_t* source, size_t sourcePitch, uint8_t* destination,
                   ptrdiff_t destinationPitch) {
    const PlaneDesc& plane = layout.planes[0];
    const Mosaic mosaic{source,          sourcePitch,       width,
                        plane.wordBytes, layout.sampleBits, k.level != SimdLevel::Scalar};
    const bool grey = (flags & CONVERT_MOSAIC_GREY) != 0;
    const bool avx2 = int(k.level) >= int(SimdLevel::AVX2);  // the AVX-512 set includes AVX2

    const size_t lineBytes = RoundUp(size_t(width) + 64, kAlign);
    const size_t bounceBytes = RoundUp(size_t(width) * plane.wordBytes + 64, kAlign);
    const size_t sliceBytes = 6 * lineBytes + bounceBytes;
    const int threads = TeamSize(options, int64_t(width) * height, height);
    Scratch scratch(sliceBytes * size_t(threads));
    if (!scratch.data) return false;

#pragma omp parallel num_threads(threads) if (threads > 1)
    {
        const int member = omp_get_thread_num();
        RecordTeamMember(member);
        uint8_t* slice = scratch.data + sliceBytes * size_t(member);
        Worker w;
        for (uint8_t*& l : w.line) l = slice, slice += lineBytes;
        w.xs = slice, slice += lineBytes;
        w.gs = slice, slice += lineBytes;
        w.ys = slice, slice += lineBytes;
        w.bounce = slice;
#pragma omp for schedule(static)
        for (int y = 0; y < height; ++y) {
            uint8_t* out = destination + ptrdiff_t(y) * destinationPitch;
            const uint8_t* c = mosaic.Row(y, w);
            if (grey) {
                k.greyToBgr(c, out, width);
                continue;
            }
            const uint8_t *a = nullptr, *b = nullptr;
            if (height > 1) {
                a = mosaic.Row(Mirror(y - 1, height), w);
                b = mosaic.Row(Mirror(y + 1, height), w);
            }
            const RowPattern p = PatternOfRow(plane, y);
            const uint8_t* bs = p.xIsRed ? w.ys : w.xs;
            const uint8_t* rs = p.xIsRed ? w.xs : w.ys;
            if (avx2 && a && width >= 2) {
                // The interior straight into the row; column 0 and the last columns by the rule.
                const int from = DemosaicInteriorAVX2(a, c, b, width, p.xParity, p.xIsRed, 1, out);
                DemosaicSpan(a, c, b, width, p.xParity, 0, 1, w.xs, w.gs, w.ys);
                DemosaicSpan(a, c, b, width, p.xParity, from, width, w.xs, w.gs, w.ys);
                for (int x = 0; x < width; x = x == 0 ? from : x + 1) {
                    out[3 * x] = bs[x];
                    out[3 * x + 1] = w.gs[x];
                    out[3 * x + 2] = rs[x];
                }
                continue;
            }
            int from = 0;
            if (mosaic.simd && a && width >= 2) {
                DemosaicSpan(a, c, b, width, p.xParity, 0, 1, w.xs, w.gs, w.ys);
                from = DemosaicInteriorSSE2(a, c, b, width, p.xParity, 1, w.xs, w.gs, w.ys);
            }
            DemosaicSpan(a, c, b, width, p.xParity, from, width, w.xs, w.gs, w.ys);
            k.planesToBgr(bs, w.gs, rs, out, width);
        }
    }
    return true;
}
