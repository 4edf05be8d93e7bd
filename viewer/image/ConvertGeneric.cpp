#include "ConvertGeneric.h"

#include <emmintrin.h>

#include <cstddef>

namespace {

// How a sample becomes 8 bits, as constants: min((v + half) >> down, limit) of the sample masked
// to its bits. Samples of 8 bits or fewer keep their value (half = down = 0, limit 255).
struct Reduction {
    uint32_t mask, half;
    int down;
    uint32_t limit;
    Reduction(const SampleSlot& s, int componentLimit)
        : mask(s.bits >= 32 ? 0xFFFFFFFFu : (1u << s.bits) - 1u),
          half(s.bits > 8 ? 1u << (s.bits - 9) : 0u),
          down(s.bits > 8 ? s.bits - 8 : 0),
          limit(s.bits > 8 ? uint32_t(componentLimit) : 255u) {}
    uint8_t operator()(uint32_t word, int shift) const {
        const uint32_t r = (((word >> shift) & mask) + half) >> down;
        return uint8_t(r < limit ? r : limit);
    }
};

template <int kBytes, bool kBig>
uint32_t LoadWord(const uint8_t* p) {
    uint32_t w = 0;
    for (int i = 0; i < kBytes; ++i) w |= uint32_t(p[kBig ? kBytes - 1 - i : i]) << (8 * i);
    return w;
}

// Every sample of component c in `groups` groups of a plane row, slot by slot: out[g x n + o] is
// the o-th of the n samples of c in group g (slots list a component's samples left to right).
template <int kBytes, bool kBig>
void ReadSlotsT(const PlaneDesc& p, Component c, const uint8_t* row, int groups, uint8_t* out,
                int limit) {
    int slots[kMaxSampleSlots], n = 0;
    for (int i = 0; i < p.slotCount; ++i)
        if (p.sampleSlots[i].component == c) slots[n++] = i;
    if (n == 0) return;
    if (n == 1) {
        // One sample per group: the common case (planes of one component, one-pixel groups).
        const SampleSlot& s = p.sampleSlots[slots[0]];
        const Reduction reduce(s, limit);
        const uint8_t* w = row + size_t(s.word) * kBytes;
        for (int g = 0; g < groups; ++g)
            out[g] = reduce(LoadWord<kBytes, kBig>(w + size_t(g) * p.groupBytes), s.shift);
        return;
    }
    for (int o = 0; o < n; ++o) {
        const SampleSlot& s = p.sampleSlots[slots[o]];
        const Reduction reduce(s, limit);
        const uint8_t* w = row + size_t(s.word) * kBytes;
        for (int g = 0; g < groups; ++g)
            out[size_t(g) * size_t(n) + size_t(o)] =
                reduce(LoadWord<kBytes, kBig>(w + size_t(g) * p.groupBytes), s.shift);
    }
}

// 4:1:1 chroma samples to a 4:2:2 line of `count` entries (ConvertGeneric.h). The main part, 16
// samples to 32 entries per step, pairs each sample with the rounded mean of it and the next
// (_mm_avg_epu8 is exactly (a + b + 1) >> 1); the end of the line follows the rule one by one.
void Expand411(const uint8_t* q, int samples, uint8_t* out, int count) {
    int m = 0;
    for (int k = 0; k + 17 <= samples && 2 * k + 32 <= count; k += 16, m += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + k));
        const __m128i mid =
            _mm_avg_epu8(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + k + 1)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + m), _mm_unpacklo_epi8(a, mid));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + m + 16), _mm_unpackhi_epi8(a, mid));
    }
    for (; m < count; ++m) {
        const int k = m / 2;
        if (samples == 0) {
            out[m] = 128;
        } else if (k >= samples) {
            out[m] = q[samples - 1];
        } else if ((m & 1) && k + 1 < samples) {
            out[m] = uint8_t((q[k] + q[k + 1] + 1) >> 1);
        } else {
            out[m] = q[k];
        }
    }
}

int CountOf(const PlaneDesc& p, Component c) {
    int n = 0;
    for (int i = 0; i < p.slotCount; ++i) n += p.sampleSlots[i].component == c ? 1 : 0;
    return n;
}

const SampleSlot& SlotOf(const PlaneDesc& p, Component c) {
    for (int i = 0; i < p.slotCount; ++i)
        if (p.sampleSlots[i].component == c) return p.sampleSlots[i];
    return p.sampleSlots[0];
}

bool IsChroma(Component c) { return c == Component::Cb || c == Component::Cr; }

// Two samples of the same width and place in 16-bit words, in groups of 4 bytes: semi-planar
// chroma pairs of wide samples.
bool EqualWidePairs(const PlaneDesc& p) {
    const SampleSlot& s = p.sampleSlots[0];
    return p.slotCount == 2 && s.bits > 8 && p.wordBytes == 2 && p.groupBytes == 4 &&
           p.sampleSlots[1].bits == s.bits && p.sampleSlots[1].shift == s.shift;
}

}  // namespace

int SampleReader::Limit(Component c) const { return fullRange_ ? 255 : ReduceLimit(c); }

int ReduceLimit(Component c) {
    switch (c) {
    case Component::Y: return 235;
    case Component::Cb:
    case Component::Cr: return 240;
    default: return 255;
    }
}

SampleReader::SampleReader(const KernelTable& k, const FrameMemoryLayout& l, int width,
                           bool fullRange)
    : k_(k), l_(l), width_(width), fullRange_(fullRange) {
    int count[8] = {};
    for (int i = l.planeCount - 1; i >= 0; --i) {
        const PlaneDesc& p = l.planes[i];
        for (int s = 0; s < p.slotCount; ++s) {
            plane_[int(p.sampleSlots[s].component)] = i;
            ++count[int(p.sampleSlots[s].component)];
        }
        if (l.arrangement == Arrangement::Packed && p.groupPixels != 1) return;
    }
    if (l.model != ColourModel::YCbCr) {
        supported_ = true;
        const PlaneDesc& p = l.planes[0];
        if (l.model != ColourModel::RGB || l.planeCount != 1 || p.groupBytes != 4 ||
            p.wordBytes != 1 || count[int(Component::R)] != 1 || count[int(Component::G)] != 1 ||
            count[int(Component::B)] != 1)
            return;
        const Component rgb[3] = {Component::R, Component::G, Component::B};
        for (int i = 0; i < 3; ++i) {
            const SampleSlot& s = SlotOf(p, rgb[i]);
            if (s.bits != 8 || s.shift != 0) return;
            byteOf_[i] = s.word;
        }
        const int r = byteOf_[0], g = byteOf_[1], b = byteOf_[2];
        if (b == 0 && g == 1 && r == 2) rgb32_ = k.bgrxToBgr;
        if (r == 0 && g == 1 && b == 2) rgb32_ = k.rgbxToBgr;
        if (r == 1 && g == 2 && b == 3) rgb32_ = k.xrgbToBgr;
        if (b == 1 && g == 2 && r == 3) rgb32_ = k.bgrxToBgr, rgb32Offset_ = 1;
        return;
    }
    const PlaneDesc& y = l.planes[plane_[int(Component::Y)]];
    const PlaneDesc& cb = l.planes[plane_[int(Component::Cb)]];
    if (count[int(Component::Cb)] == 0 || count[int(Component::Cr)] == 0) return;
    // Pixels per chroma sample across, and rows per chroma row down.
    int across = 0;
    for (int s = 0; s < cb.slotCount; ++s)
        if (cb.sampleSlots[s].component == Component::Cb) ++across;
    across = cb.groupPixels / across;
    const int down = cb.heightDivisor / y.heightDivisor;
    if (across == 2 && down == 2) shape_ = ChromaShape::Sub420;
    if (across == 2 && down == 1) shape_ = ChromaShape::Sub422;
    if (across == 4 && down == 1) shape_ = ChromaShape::Sub411;
    if (across == 1 && down == 2) shape_ = ChromaShape::Sub440;
    if (across == 1 && down == 1) shape_ = ChromaShape::Full444;
    supported_ = shape_ != ChromaShape::None;
    widePairs_ = l.arrangement == Arrangement::SemiPlanar && shape_ != ChromaShape::Sub411 &&
                 plane_[int(Component::Cb)] == plane_[int(Component::Cr)] && EqualWidePairs(cb);
}

void SampleReader::ReadSlots(Component c, const uint8_t* row, uint8_t* out) const {
    const PlaneDesc& p = l_.planes[plane_[int(c)]];
    const int groups = l_.arrangement == Arrangement::Packed
                           ? (width_ + p.groupPixels - 1) / p.groupPixels
                           : width_ / p.groupPixels;
    const bool big = l_.byteOrder == ByteOrder::Big;
    switch (p.wordBytes) {
    case 1: return ReadSlotsT<1, false>(p, c, row, groups, out, Limit(c));
    case 2:
        return big ? ReadSlotsT<2, true>(p, c, row, groups, out, Limit(c))
                   : ReadSlotsT<2, false>(p, c, row, groups, out, Limit(c));
    default:
        return big ? ReadSlotsT<4, true>(p, c, row, groups, out, Limit(c))
                   : ReadSlotsT<4, false>(p, c, row, groups, out, Limit(c));
    }
}

const uint8_t* SampleReader::Read(Component c, const uint8_t* row, uint8_t* line) const {
    const PlaneDesc& p = l_.planes[plane_[int(c)]];
    const size_t w = size_t(width_);
    const bool quarter = shape_ == ChromaShape::Sub411 && IsChroma(c);
    // 4:1:1 samples land in the line's upper part, then widen into its start.
    uint8_t* out = quarter ? line + 3 * w + 48 : line;
    const int groups = l_.arrangement == Arrangement::Packed
                           ? (width_ + p.groupPixels - 1) / p.groupPixels
                           : width_ / p.groupPixels;
    const SampleSlot& s = p.sampleSlots[0];
    const uint8_t* got = out;
    const bool same = EqualWidePairs(p);
    const Reduce16BitsKernel reduce =
        l_.byteOrder == ByteOrder::Big ? k_.reduceBits16BE : k_.reduceBits16LE;
    if (p.slotCount == 1 && p.wordBytes == 1 && s.bits == 8 && s.shift == 0) {
        got = row;  // the row's bytes are the samples
    } else if (p.slotCount == 1 && p.wordBytes == 2 && s.bits > 8) {
        reduce(row, out, groups, s.shift, s.bits, Limit(c));
    } else if (p.wordBytes == 4 && p.groupBytes == 4 && CountOf(p, c) == 1 &&
               SlotOf(p, c).bits > 8) {
        // One field of each 32-bit word (one-pixel groups of packed 10-bit samples).
        const SampleSlot& f = SlotOf(p, c);
        (l_.byteOrder == ByteOrder::Big ? k_.reduceBits32BE : k_.reduceBits32LE)(
            row, out, groups, f.shift, f.bits, Limit(c));
    } else if (same) {
        // Pairs of equal 16-bit samples (semi-planar chroma): both reduced into the line's upper
        // half as byte pairs, then the bytes of c taken out.
        uint8_t* pairs = line + 2 * w + 32;
        reduce(row, pairs, 2 * groups, s.shift, s.bits, Limit(c));
        (p.sampleSlots[0].component == c ? k_.lowAddressBytes16 : k_.highBytes16)(pairs, out,
                                                                                  groups);
    } else {
        ReadSlots(c, row, out);
    }
    if (!quarter) return got;
    Expand411(got, groups, line, (width_ + 1) / 2);
    return line;
}

void SampleReader::ReadChroma(const uint8_t* cbRow, const uint8_t* crRow, uint8_t* cbLine,
                              uint8_t* crLine, const uint8_t*& cb, const uint8_t*& cr) const {
    if (!widePairs_ || cbRow != crRow) {
        cb = Read(Component::Cb, cbRow, cbLine);
        cr = Read(Component::Cr, crRow, crLine);
        return;
    }
    // As Read's pairs of equal 16-bit samples, once for both: the reduced byte pairs in the upper
    // half of cbLine, then each component's bytes taken out into its line.
    const PlaneDesc& p = l_.planes[plane_[int(Component::Cb)]];
    const SampleSlot& s = p.sampleSlots[0];
    const int groups = width_ / p.groupPixels;
    uint8_t* pairs = cbLine + 2 * size_t(width_) + 32;
    (l_.byteOrder == ByteOrder::Big ? k_.reduceBits16BE : k_.reduceBits16LE)(
        cbRow, pairs, 2 * groups, s.shift, s.bits, Limit(Component::Cb));
    const bool cbFirst = s.component == Component::Cb;
    k_.lowAddressBytes16(pairs, cbFirst ? cbLine : crLine, groups);
    k_.highBytes16(pairs, cbFirst ? crLine : cbLine, groups);
    cb = cbLine;
    cr = crLine;
}

bool SampleReader::Rgb32ToBgr(const uint8_t* row, uint8_t* out) const {
    if (!rgb32_) return false;
    if (rgb32Offset_ == 0) {
        rgb32_(row, out, width_);
        return true;
    }
    // Read one byte on, the kernel would take a byte past the row for the last pixel: that pixel
    // is done here.
    const int last = width_ - 1;
    if (last > 0) rgb32_(row + rgb32Offset_, out, last);
    const uint8_t* px = row + 4 * size_t(last);
    uint8_t* o = out + 3 * size_t(last);
    o[0] = px[byteOf_[2]];
    o[1] = px[byteOf_[1]];
    o[2] = px[byteOf_[0]];
    return true;
}

PlanarKernel SampleReader::FusedLuma422() const {
    if (l_.arrangement != Arrangement::Planar && l_.arrangement != Arrangement::SemiPlanar)
        return nullptr;
    const PlaneDesc& p = l_.planes[plane_[int(Component::Y)]];
    const SampleSlot& s = p.sampleSlots[0];
    if (p.slotCount != 1 || p.wordBytes != 2 || p.groupPixels != 1 || s.shift != 0) return nullptr;
    const bool big = l_.byteOrder == ByteOrder::Big;
    switch (s.bits) {
    case 10: return k_.lowBitsLuma422ToBgr[0][big ? 1 : 0];
    case 12: return k_.lowBitsLuma422ToBgr[1][big ? 1 : 0];
    case 16: return big ? k_.roundedLumaBE422ToBgr : k_.roundedLumaLE422ToBgr;
    default: return nullptr;
    }
}
