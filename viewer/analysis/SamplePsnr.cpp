#include "analysis/SamplePsnr.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Column order: Y', Cb, Cr; R', G', B'; grey; alpha last; a component the table gains later
// after them.
int ColumnRank(Component c) {
    switch (c) {
    case Component::Y: return 0;
    case Component::Cb: return 1;
    case Component::Cr: return 2;
    case Component::R: return 3;
    case Component::G: return 4;
    case Component::B: return 5;
    case Component::Grey: return 6;
    case Component::A: return 7;
    }
    return 8 + static_cast<int>(c);
}

// x positions (frame pixels) of the samples of one row of a plane, in compared order.
std::vector<uint64_t> RowPositions(const ComponentSamples::InPlane& p) {
    std::vector<uint64_t> xs;
    for (uint64_t g = 0; g < p.groups; ++g) {
        const std::vector<int>& pixels = g + 1 == p.groups ? p.lastGroupPixels : p.pixels;
        for (const int x : pixels) xs.push_back(g * uint64_t(p.groupPixels) + uint64_t(x));
    }
    return xs;
}

// One row of a plane's samples of the component, read through the table into `out`; base is
// the row's first byte.
void ReadRow(const FrameSamples& f, const ComponentSamples::InPlane& p, const uint8_t* base,
             std::vector<uint32_t>& out) {
    const PlaneDesc& plane = f.layout->planes[p.plane];
    out.clear();
    for (uint64_t g = 0; g < p.groups; ++g) {
        const uint8_t* group = base + g * plane.groupBytes;
        const std::vector<int>& slots = g + 1 == p.groups ? p.lastGroupSlots : p.slots;
        for (const int s : slots)
            out.push_back(ReadSample(group, plane, f.order, plane.sampleSlots[s]));
    }
}

}  // namespace

const char* ComponentName(Component c) {
    switch (c) {
    case Component::Y: return "y";
    case Component::Cb: return "cb";
    case Component::Cr: return "cr";
    case Component::R: return "r";
    case Component::G: return "g";
    case Component::B: return "b";
    case Component::A: return "a";
    case Component::Grey: return "y";
    }
    return "c";
}

bool DescribeSamples(uint32_t code, int32_t width, int32_t height, int32_t lineBytes,
                     FrameSamples& out) {
    out = FrameSamples();
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(code);
    FrameExtent extent{};
    if (!layout || !GetFrameExtent(code, width, height, lineBytes, extent)) return false;
    out.code = code;
    out.order = layout->byteOrder;
    out.layout = layout;
    const bool packed = layout->arrangement == Arrangement::Packed;

    // A Bayer mosaic is compared as its sensor samples, one component (named as a grey plane is):
    // its four cell slots lie in the same bits of each pixel's word, so the first slot reads
    // every pixel's sample whatever its colour.
    const bool mosaic = layout->model == ColourModel::Bayer;
    std::vector<Component> present;
    if (mosaic) present.push_back(layout->planes[0].sampleSlots[0].component);
    for (int pl = 0; pl < layout->planeCount && !mosaic; ++pl) {
        for (int s = 0; s < layout->planes[pl].slotCount; ++s) {
            const Component c = layout->planes[pl].sampleSlots[s].component;
            if (std::find(present.begin(), present.end(), c) == present.end()) present.push_back(c);
        }
    }
    std::stable_sort(present.begin(), present.end(),
                     [](Component a, Component b) { return ColumnRank(a) < ColumnRank(b); });

    for (const Component c : present) {
        ComponentSamples cs;
        cs.component = c;
        for (int pl = 0; pl < layout->planeCount; ++pl) {
            const PlaneDesc& plane = layout->planes[pl];
            const PlaneExtent& e = extent.planes[packed ? 0 : pl];
            ComponentSamples::InPlane where;
            where.plane = pl;
            where.offset = e.offset;
            where.pitch = e.pitch;
            where.rows = e.rows;
            where.groupPixels = plane.groupPixels;
            where.heightDivisor = packed ? 1 : plane.heightDivisor;
            where.wordBytes = plane.wordBytes;
            for (int s = 0; s < plane.slotCount; ++s) {
                if (plane.sampleSlots[s].component != c || (mosaic && s != 0)) continue;
                where.slots.push_back(s);
                cs.bits = std::max<int>(cs.bits, plane.sampleSlots[s].bits);
            }
            if (where.slots.empty()) continue;
            std::stable_sort(where.slots.begin(), where.slots.end(), [&plane](int a, int b) {
                return plane.sampleSlots[a].pixel < plane.sampleSlots[b].pixel;
            });
            const uint64_t w = uint64_t(width);
            where.groups =
                packed ? (w + plane.groupPixels - 1) / plane.groupPixels : w / plane.groupPixels;
            if (where.groups == 0 || where.rows == 0) continue;
            // A partial last group (packed layouts at a width that is no multiple of the group)
            // keeps the samples of pixels inside the frame whose words the row holds, and of a
            // horizontally subsampled component only those whose pixels all lie inside.
            const uint64_t remaining = w - (where.groups - 1) * plane.groupPixels;
            const uint64_t step = plane.groupPixels / where.slots.size();
            const uint64_t groupStart = (where.groups - 1) * plane.groupBytes;
            for (const int s : where.slots) {
                const SampleSlot& slot = plane.sampleSlots[s];
                const bool inside = slot.pixel + (step > 1 ? step : 1) <= remaining;
                const bool held =
                    groupStart + (uint64_t(slot.word) + 1) * plane.wordBytes <= e.rowBytes;
                if (inside && held) {
                    where.lastGroupSlots.push_back(s);
                    where.lastGroupPixels.push_back(slot.pixel);
                }
            }
            for (const int s : where.slots) where.pixels.push_back(plane.sampleSlots[s].pixel);
            const SampleSlot& first = plane.sampleSlots[where.slots[0]];
            where.contiguous = where.slots.size() == 1 && plane.groupBytes == plane.wordBytes &&
                               first.shift == 0 && where.lastGroupSlots.size() == 1 &&
                               ((plane.wordBytes == 1 && first.bits == 8) ||
                                (plane.wordBytes == 2 && layout->byteOrder == ByteOrder::Little));
            where.regular = where.slots.size() == 1 && where.lastGroupSlots.size() == 1 &&
                            (plane.wordBytes == 1 || plane.wordBytes == 2) &&
                            first.shift + first.bits <= 8 * plane.wordBytes;
            where.firstByte = uint64_t(first.word) * plane.wordBytes;
            where.strideBytes = plane.groupBytes;
            where.shift = first.shift;
            where.bigEndian = plane.wordBytes == 2 && layout->byteOrder == ByteOrder::Big;
            cs.count += where.rows *
                        ((where.groups - 1) * where.slots.size() + where.lastGroupSlots.size());
            cs.planes.push_back(std::move(where));
        }
        if (mosaic) cs.component = Component::Grey;
        if (cs.count > 0) out.components.push_back(std::move(cs));
    }
    return !out.components.empty();
}

bool SamplesComparable(const FrameSamples& a, const FrameSamples& b, std::string& why) {
    auto names = [](const FrameSamples& f) {
        std::string text;
        for (const ComponentSamples& c : f.components) {
            if (!text.empty()) text += ",";
            text += c.component == Component::Grey ? "grey" : ComponentName(c.component);
            text += "/" + std::to_string(c.bits);
        }
        return text;
    };
    const std::string layouts = "A holds " + names(a) + " (component/bits), B " + names(b);
    if (a.components.size() != b.components.size()) {
        why = "the layouts hold different components: " + layouts;
        return false;
    }
    for (size_t i = 0; i < a.components.size(); ++i) {
        const ComponentSamples& ca = a.components[i];
        const ComponentSamples& cb = b.components[i];
        if (ca.component != cb.component) {
            why = "the layouts hold different components: " + layouts;
            return false;
        }
        if (ca.bits != cb.bits) {
            why = "the layouts store samples of different bit depths: " + layouts;
            return false;
        }
        bool same = ca.count == cb.count && ca.planes.size() == cb.planes.size();
        for (size_t p = 0; same && p < ca.planes.size(); ++p) {
            same = ca.planes[p].rows == cb.planes[p].rows &&
                   ca.planes[p].heightDivisor == cb.planes[p].heightDivisor &&
                   RowPositions(ca.planes[p]) == RowPositions(cb.planes[p]);
        }
        if (!same) {
            why = std::string("the layouts sample component ") + ComponentName(ca.component) +
                  " at different positions (different chroma subsampling or sample grid)";
            return false;
        }
    }
    return true;
}

uint64_t SumSquares8(const uint8_t* a, const uint8_t* b, size_t count) {
    uint64_t total = 0;
    size_t i = 0;
    const __m128i zero = _mm_setzero_si128();
    // Each 32-bit lane gains at most 2 x 2 x 255^2 = 260,100 per 16 bytes: 4096 steps stay
    // below 2^31 before the lanes are added up in 64 bits.
    constexpr size_t kBlock = 16 * 4096;
    while (i + 16 <= count) {
        const size_t end = std::min(count, i + kBlock);
        __m128i acc = zero;
        for (; i + 16 <= end; i += 16) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            const __m128i dlo =
                _mm_sub_epi16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
            const __m128i dhi =
                _mm_sub_epi16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
            acc = _mm_add_epi32(acc, _mm_madd_epi16(dlo, dlo));
            acc = _mm_add_epi32(acc, _mm_madd_epi16(dhi, dhi));
        }
        alignas(16) uint32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
        total += uint64_t(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
    }
    for (; i < count; ++i) {
        const int d = int(a[i]) - int(b[i]);
        total += uint64_t(d * d);
    }
    return total;
}

uint32_t LargestDifference8(const uint8_t* a, const uint8_t* b, size_t count) {
    __m128i largest = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        largest = _mm_max_epu8(largest, _mm_or_si128(_mm_subs_epu8(va, vb), _mm_subs_epu8(vb, va)));
    }
    alignas(16) uint8_t lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), largest);
    uint32_t result = 0;
    for (const uint8_t lane : lanes) result = std::max<uint32_t>(result, lane);
    for (; i < count; ++i)
        result =
            std::max<uint32_t>(result, a[i] > b[i] ? uint32_t(a[i] - b[i]) : uint32_t(b[i] - a[i]));
    return result;
}

uint64_t SumSquares16(const uint8_t* a, const uint8_t* b, size_t count, uint16_t mask) {
    __m128i acc = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128();
    const __m128i m = _mm_set1_epi16(static_cast<short>(mask));
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i va =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 2 * i)), m);
        const __m128i vb =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 2 * i)), m);
        // |a - b| as unsigned 16 bits, its square as unsigned 32 bits, summed in 64 bits.
        const __m128i d = _mm_or_si128(_mm_subs_epu16(va, vb), _mm_subs_epu16(vb, va));
        const __m128i lo = _mm_mullo_epi16(d, d);
        const __m128i hi = _mm_mulhi_epu16(d, d);
        const __m128i p0 = _mm_unpacklo_epi16(lo, hi);
        const __m128i p1 = _mm_unpackhi_epi16(lo, hi);
        acc = _mm_add_epi64(acc, _mm_unpacklo_epi32(p0, zero));
        acc = _mm_add_epi64(acc, _mm_unpackhi_epi32(p0, zero));
        acc = _mm_add_epi64(acc, _mm_unpacklo_epi32(p1, zero));
        acc = _mm_add_epi64(acc, _mm_unpackhi_epi32(p1, zero));
    }
    alignas(16) uint64_t lanes[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
    uint64_t total = lanes[0] + lanes[1];
    for (; i < count; ++i) {
        const int va = (a[2 * i] | (a[2 * i + 1] << 8)) & mask;
        const int vb = (b[2 * i] | (b[2 * i + 1] << 8)) & mask;
        const int64_t d = va - vb;
        total += uint64_t(d * d);
    }
    return total;
}

namespace {

template <int WordBytes, bool Big>
inline uint32_t LoadWord(const uint8_t* p) {
    if constexpr (WordBytes == 1)
        return p[0];
    else if constexpr (Big)
        return uint32_t(p[0]) << 8 | p[1];
    else
        return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

template <int BytesA, bool BigA, int BytesB, bool BigB>
uint64_t StridedRun(const uint8_t* a, uint64_t strideA, int shiftA, const uint8_t* b,
                    uint64_t strideB, int shiftB, size_t count, uint32_t mask) {
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const int64_t va = int64_t((LoadWord<BytesA, BigA>(a + i * strideA) >> shiftA) & mask);
        const int64_t vb = int64_t((LoadWord<BytesB, BigB>(b + i * strideB) >> shiftB) & mask);
        const int64_t d = va - vb;
        total += uint64_t(d * d);
    }
    return total;
}

// A's word form chosen, B's by the run.
template <int BytesA, bool BigA>
uint64_t StridedRunA(const ComponentSamples::InPlane& pb, const uint8_t* a, uint64_t strideA,
                     int shiftA, const uint8_t* b, size_t count, uint32_t mask) {
    if (pb.wordBytes == 1)
        return StridedRun<BytesA, BigA, 1, false>(a, strideA, shiftA, b, pb.strideBytes, pb.shift,
                                                  count, mask);
    if (pb.bigEndian)
        return StridedRun<BytesA, BigA, 2, true>(a, strideA, shiftA, b, pb.strideBytes, pb.shift,
                                                 count, mask);
    return StridedRun<BytesA, BigA, 2, false>(a, strideA, shiftA, b, pb.strideBytes, pb.shift,
                                              count, mask);
}

}  // namespace

uint64_t SumSquaresStrided(const ComponentSamples::InPlane& pa, const uint8_t* a,
                           const ComponentSamples::InPlane& pb, const uint8_t* b, size_t count,
                           uint32_t mask) {
    a += pa.firstByte;
    b += pb.firstByte;
    if (pa.wordBytes == 1)
        return StridedRunA<1, false>(pb, a, pa.strideBytes, pa.shift, b, count, mask);
    if (pa.bigEndian) return StridedRunA<2, true>(pb, a, pa.strideBytes, pa.shift, b, count, mask);
    return StridedRunA<2, false>(pb, a, pa.strideBytes, pa.shift, b, count, mask);
}

uint64_t SumSquaredRows(const FrameSamples& a, size_t component, size_t plane, const uint8_t* rowsA,
                        const FrameSamples& b, const uint8_t* rowsB, uint64_t rows) {
    const ComponentSamples& ca = a.components[component];
    const ComponentSamples& cb = b.components[component];
    const ComponentSamples::InPlane& pa = ca.planes[plane];
    const ComponentSamples::InPlane& pb = cb.planes[plane];
    const uint16_t mask = static_cast<uint16_t>(ca.bits >= 16 ? 0xFFFF : (1u << ca.bits) - 1);
    const bool fast = pa.contiguous && pb.contiguous && pa.wordBytes == pb.wordBytes;
    const uint64_t rowBytes = pa.groups * uint64_t(pa.wordBytes);
    if (fast && pa.pitch == rowBytes && pb.pitch == rowBytes) {
        // Rows follow each other without a gap: the rows are one run of samples.
        const size_t n = static_cast<size_t>(pa.groups * rows);
        return pa.wordBytes == 1 ? SumSquares8(rowsA, rowsB, n)
                                 : SumSquares16(rowsA, rowsB, n, mask);
    }
    uint64_t sum = 0;
    std::vector<uint32_t> rowA, rowB;
    for (uint64_t r = 0; r < rows; ++r) {
        const uint8_t* ra = rowsA + r * pa.pitch;
        const uint8_t* rb = rowsB + r * pb.pitch;
        if (fast) {
            const size_t n = static_cast<size_t>(pa.groups);
            sum += pa.wordBytes == 1 ? SumSquares8(ra, rb, n) : SumSquares16(ra, rb, n, mask);
            continue;
        }
        if (pa.regular && pb.regular && pa.groups == pb.groups) {
            sum += SumSquaresStrided(pa, ra, pb, rb, static_cast<size_t>(pa.groups), mask);
            continue;
        }
        ReadRow(a, pa, ra, rowA);
        ReadRow(b, pb, rb, rowB);
        const size_t n = std::min(rowA.size(), rowB.size());
        for (size_t i = 0; i < n; ++i) {
            const int64_t d = int64_t(rowA[i]) - int64_t(rowB[i]);
            sum += uint64_t(d * d);
        }
    }
    return sum;
}

void SumSquaredDifferences(const FrameSamples& a, const uint8_t* frameA, const FrameSamples& b,
                           const uint8_t* frameB, std::vector<uint64_t>& sse) {
    sse.assign(a.components.size(), 0);
    for (size_t c = 0; c < a.components.size() && c < b.components.size(); ++c) {
        const ComponentSamples& ca = a.components[c];
        const ComponentSamples& cb = b.components[c];
        for (size_t p = 0; p < ca.planes.size() && p < cb.planes.size(); ++p)
            sse[c] += SumSquaredRows(a, c, p, frameA + ca.planes[p].offset, b,
                                     frameB + cb.planes[p].offset, ca.planes[p].rows);
    }
}

SampleDifference LargestDifference(const FrameSamples& a, const uint8_t* frameA,
                                   const FrameSamples& b, const uint8_t* frameB) {
    SampleDifference best;
    uint32_t largest = 0;
    std::vector<uint32_t> rowA, rowB;
    for (size_t c = 0; c < a.components.size() && c < b.components.size(); ++c) {
        const ComponentSamples& ca = a.components[c];
        const ComponentSamples& cb = b.components[c];
        const uint32_t mask = ca.bits >= 32 ? 0xFFFFFFFFu : (1u << ca.bits) - 1;
        for (size_t p = 0; p < ca.planes.size() && p < cb.planes.size(); ++p) {
            const ComponentSamples::InPlane& pa = ca.planes[p];
            const ComponentSamples::InPlane& pb = cb.planes[p];
            const std::vector<uint64_t> xs = RowPositions(pa);
            const bool fast = pa.contiguous && pb.contiguous && pa.wordBytes == pb.wordBytes;
            for (uint64_t r = 0; r < pa.rows && r < pb.rows; ++r) {
                if (fast && pa.wordBytes == 1 &&
                    LargestDifference8(frameA + pa.offset + r * pa.pitch,
                                       frameB + pb.offset + r * pb.pitch,
                                       static_cast<size_t>(pa.groups)) <= largest)
                    continue;  // nothing larger in this row: no need to look where
                if (fast) {
                    // One sample per byte or little-endian word: read in place.
                    const uint8_t* ra = frameA + pa.offset + r * pa.pitch;
                    const uint8_t* rb = frameB + pb.offset + r * pb.pitch;
                    const size_t n = static_cast<size_t>(pa.groups);
                    rowA.resize(n);
                    rowB.resize(n);
                    for (size_t i = 0; i < n; ++i) {
                        if (pa.wordBytes == 1) {
                            rowA[i] = ra[i];
                            rowB[i] = rb[i];
                        } else {
                            rowA[i] = (uint32_t(ra[2 * i]) | uint32_t(ra[2 * i + 1]) << 8) & mask;
                            rowB[i] = (uint32_t(rb[2 * i]) | uint32_t(rb[2 * i + 1]) << 8) & mask;
                        }
                    }
                } else {
                    ReadRow(a, pa, frameA + pa.offset + r * pa.pitch, rowA);
                    ReadRow(b, pb, frameB + pb.offset + r * pb.pitch, rowB);
                }
                const size_t n = std::min({rowA.size(), rowB.size(), xs.size()});
                for (size_t i = 0; i < n; ++i) {
                    const uint32_t d = rowA[i] > rowB[i] ? rowA[i] - rowB[i] : rowB[i] - rowA[i];
                    if (d <= largest) continue;
                    largest = d;
                    best.differs = true;
                    best.component = c;
                    best.x = xs[i];
                    best.y = r * uint64_t(pa.heightDivisor);
                    best.a = rowA[i];
                    best.b = rowB[i];
                }
            }
        }
    }
    return best;
}

PsnrWeights WeightsOf(const FrameSamples& samples) {
    PsnrWeights w;
    uint64_t total = 0;
    for (const ComponentSamples& c : samples.components) total += c.count;
    for (const ComponentSamples& c : samples.components) {
        const double peak = std::ldexp(1.0, c.bits) - 1.0;
        const double weight = total ? double(c.count) / double(total) : 0.0;
        w.peak.push_back(peak);
        w.weight.push_back(weight);
        w.averagePeak += peak * weight;
    }
    return w;
}

double PsnrOf(double mse, double peak) {
    if (mse <= 0) return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(peak * peak / mse);
}

PsnrFigures FrameFigures(const PsnrWeights& weights, const std::vector<uint64_t>& sse,
                         const FrameSamples& samples) {
    PsnrFigures f;
    for (size_t c = 0; c < samples.components.size() && c < sse.size(); ++c) {
        const double mse = double(sse[c]) / double(samples.components[c].count);
        f.mse.push_back(mse);
        f.psnr.push_back(PsnrOf(mse, weights.peak[c]));
        f.mseAverage += mse * weights.weight[c];
    }
    f.psnrAverage = PsnrOf(f.mseAverage, weights.averagePeak);
    return f;
}

PsnrFigures SummaryFigures(const PsnrWeights& weights, const std::vector<PsnrFigures>& frames) {
    PsnrFigures s;
    const size_t components = weights.peak.size();
    s.mse.assign(components, 0.0);
    if (frames.empty()) {
        s.psnr.assign(components, 0.0);
        return s;
    }
    for (const PsnrFigures& f : frames) {
        for (size_t c = 0; c < components && c < f.mse.size(); ++c) s.mse[c] += f.mse[c];
        s.mseAverage += f.mseAverage;
    }
    const double n = double(frames.size());
    for (size_t c = 0; c < components; ++c) {
        s.mse[c] /= n;
        s.psnr.push_back(PsnrOf(s.mse[c], weights.peak[c]));
    }
    s.mseAverage /= n;
    s.psnrAverage = PsnrOf(s.mseAverage, weights.averagePeak);
    return s;
}

namespace {

// One row of a plane's samples of the component as values: read in place where each sample is a
// byte or a little-endian word of its own, else through the table.
void ReadValues(const FrameSamples& f, const ComponentSamples::InPlane& p, const uint8_t* base,
                uint32_t mask, std::vector<uint32_t>& out) {
    if (!p.contiguous) {
        ReadRow(f, p, base, out);
        return;
    }
    const size_t n = static_cast<size_t>(p.groups);
    out.resize(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = p.wordBytes == 1 ? base[i]
                                  : (uint32_t(base[2 * i]) | uint32_t(base[2 * i + 1]) << 8) & mask;
}

}  // namespace

RegionDifferences DifferencesInRegion(const FrameSamples& a, const uint8_t* frameA,
                                      const FrameSamples& b, const uint8_t* frameB, uint64_t x0,
                                      uint64_t y0, uint64_t x1, uint64_t y1) {
    RegionDifferences region;
    region.sse.assign(a.components.size(), 0);
    region.count.assign(a.components.size(), 0);
    uint32_t largest = 0;
    std::vector<uint32_t> rowA, rowB;
    for (size_t c = 0; c < a.components.size() && c < b.components.size(); ++c) {
        const ComponentSamples& ca = a.components[c];
        const ComponentSamples& cb = b.components[c];
        const uint32_t mask = ca.bits >= 32 ? 0xFFFFFFFFu : (1u << ca.bits) - 1;
        for (size_t p = 0; p < ca.planes.size() && p < cb.planes.size(); ++p) {
            const ComponentSamples::InPlane& pa = ca.planes[p];
            const ComponentSamples::InPlane& pb = cb.planes[p];
            const std::vector<uint64_t> xs = RowPositions(pa);
            // The pixels of a row that one sample stands for, and the rows.
            const uint64_t across = std::max<uint64_t>(
                1, uint64_t(pa.groupPixels) / std::max<size_t>(1, pa.slots.size()));
            const uint64_t down = uint64_t(std::max(1, pa.heightDivisor));
            const uint64_t firstRow = y0 / down;
            const uint64_t endRow = std::min({(y1 + down - 1) / down, pa.rows, pb.rows});
            for (uint64_t r = firstRow; r < endRow; ++r) {
                ReadValues(a, pa, frameA + pa.offset + r * pa.pitch, mask, rowA);
                ReadValues(b, pb, frameB + pb.offset + r * pb.pitch, mask, rowB);
                const size_t n = std::min({rowA.size(), rowB.size(), xs.size()});
                for (size_t i = 0; i < n; ++i) {
                    if (xs[i] >= x1 || xs[i] + across <= x0) continue;
                    const uint32_t d = rowA[i] > rowB[i] ? rowA[i] - rowB[i] : rowB[i] - rowA[i];
                    region.sse[c] += uint64_t(d) * d;
                    ++region.count[c];
                    if (d <= largest) continue;
                    largest = d;
                    SampleDifference& best = region.largest;
                    best.differs = true;
                    best.component = c;
                    best.x = xs[i];
                    best.y = r * down;
                    best.a = rowA[i];
                    best.b = rowB[i];
                }
            }
        }
    }
    return region;
}

PsnrFigures RegionFigures(const FrameSamples& samples, const RegionDifferences& region) {
    PsnrFigures f;
    uint64_t total = 0;
    for (const uint64_t n : region.count) total += n;
    double averagePeak = 0;
    for (size_t c = 0; c < samples.components.size() && c < region.count.size(); ++c) {
        const double peak = std::ldexp(1.0, samples.components[c].bits) - 1.0;
        const double weight = total ? double(region.count[c]) / double(total) : 0.0;
        const double mse = region.count[c] ? double(region.sse[c]) / double(region.count[c]) : 0.0;
        f.mse.push_back(mse);
        f.psnr.push_back(PsnrOf(mse, peak));
        f.mseAverage += mse * weight;
        averagePeak += peak * weight;
    }
    f.psnrAverage = PsnrOf(f.mseAverage, averagePeak);
    return f;
}
