// Rows of the frame conversion: the call's scratch memory, each worker's lines, the row loop
// shared by a team of threads, and the reading of packed rows that their pitch cannot hold.
// Internal to Convert.cpp.
#pragma once

#include "ConvertInternal.h"
#include "FrameMemory.h"
#include "ThreadTeam.h"

#include <emmintrin.h>
#include <omp.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace convert_rows {

constexpr size_t kAlign = 64;

inline size_t RoundUp(size_t n, size_t m) { return (n + m - 1) / m * m; }

// One aligned block for the whole call; freed when the call ends.
class ScratchBlock {
public:
    explicit ScratchBlock(size_t bytes) {
        void* p = nullptr;
        if (bytes != 0 && posix_memalign(&p, kAlign, RoundUp(bytes, kAlign)) == 0)
            data_ = static_cast<uint8_t*>(p);
    }
    ~ScratchBlock() { std::free(data_); }
    ScratchBlock(const ScratchBlock&) = delete;
    ScratchBlock& operator=(const ScratchBlock&) = delete;
    uint8_t* get() const { return data_; }

private:
    uint8_t* data_ = nullptr;
};

// A chroma row pair fetched for a 4:2:0 frame: which source row it is, and where its two lines
// are (in the frame itself or in the worker's lines).
struct ChromaSlot {
    int row = -1;
    const uint8_t* cb = nullptr;
    const uint8_t* cr = nullptr;
};

// Per-worker scratch lines, carved from one slice of the call's scratch block.
struct Lines {
    uint8_t* vuya;    // 4 x W (+ slack): the VUYA line
    uint8_t* luma;    // an 8-bit luma line
    uint8_t* bounce;  // a source row that its pitch cannot hold, zero-padded
    uint8_t* a;       // 8-bit lines of at least W bytes each
    uint8_t* b;
    uint8_t* c;
    uint8_t* d;
    uint8_t* e;
    uint8_t* f;
    ChromaSlot* slots;  // two slots: rows held by lines c/d and e/f
};

struct Layout {
    size_t lineBytes;    // one intermediate line: up to 4 bytes per pixel, rounded
    size_t bounceBytes;  // the widest source row, rounded
    size_t sliceBytes;   // everything one worker needs
};

// Copies one row. Rows of a few kilobytes are copied with 16-byte vector moves: glibc's memcpy
// takes its string-move path at these sizes, which measured about 15 % slower on whole frames.
inline void CopyRow(const uint8_t* src, uint8_t* dst, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
    std::memcpy(dst + i, src + i, n - i);
}

inline Layout PlanLines(int width, size_t rowNeed) {
    Layout l;
    // Intermediate lines hold up to 4 bytes per pixel (16-bit reductions of 4:2:2 pairs).
    l.lineBytes = RoundUp(4 * size_t(width) + 64, kAlign);
    l.bounceBytes = RoundUp(rowNeed + 64, kAlign);
    l.sliceBytes = 2 * l.lineBytes + l.bounceBytes + 6 * l.lineBytes + kAlign;
    return l;
}

inline Lines CarveLines(uint8_t* slice, const Layout& l) {
    Lines s;
    s.vuya = slice;
    s.luma = slice + l.lineBytes;
    slice += 2 * l.lineBytes;
    s.bounce = slice;
    slice += l.bounceBytes;
    uint8_t** rest[] = {&s.a, &s.b, &s.c, &s.d, &s.e, &s.f};
    for (uint8_t** p : rest) {
        *p = slice;
        slice += l.lineBytes;
    }
    static_assert(2 * sizeof(ChromaSlot) <= kAlign, "chroma slots fit their room");
    s.slots = new (slice) ChromaSlot[2];
    return s;
}

// Runs body(row, lines) for every row, as a static work-sharing loop. A team of threads works
// when the frame is large enough; each worker has its own scratch slice, and no row depends on
// another, so the result does not depend on the team. False when scratch memory is missing
// (then no row has run).
template <class Body>
bool ForEachRow(const ConvertOptions& opt, int width, int height, size_t rowNeed, Body body) {
    const int threads = TeamSize(opt, int64_t(width) * height, height);
    const Layout plan = PlanLines(width, rowNeed);
    ScratchBlock scratch(plan.sliceBytes * size_t(threads));
    if (!scratch.get()) return false;
    uint8_t* base = scratch.get();
#pragma omp parallel num_threads(threads) if (threads > 1)
    {
        const int member = omp_get_thread_num();
        RecordTeamMember(member);
        const Lines lines = CarveLines(base + plan.sliceBytes * size_t(member), plan);
#pragma omp for schedule(static)
        for (int r = 0; r < height; ++r) body(r, lines);
    }
    return true;
}

// The unpaired last pixel of an odd-width row of 4:2:2 pairs whose row stops inside the last
// pair (FrameMemory.h, "Rows and pitches"): the chroma words of that pair become those of the
// pair before it, or neutral chroma when there is none (W = 1). `row` is the bounce line.
inline void BorrowLastChroma(uint8_t* row, size_t lastPair, const PlaneDesc& p, ByteOrder order) {
    uint8_t* pair = row + lastPair;
    for (int i = 0; i < p.slotCount; ++i) {
        const SampleSlot& slot = p.sampleSlots[i];
        if (slot.component != Component::Cb && slot.component != Component::Cr) continue;
        uint8_t* word = pair + size_t(slot.word) * p.wordBytes;
        if (lastPair >= p.groupBytes) {
            std::memcpy(word, word - p.groupBytes, p.wordBytes);
        } else {
            std::memset(word, 0, p.wordBytes);
            WriteSample(pair, p, order, slot, 1u << (slot.bits - 1));
        }
    }
}

// Rows of a packed layout. A row whose pitch is shorter than the bytes of its whole groups is
// read through the worker's bounce line: the row's own bytes, then zeros; an odd-width row of
// 4:2:2 pairs that holds its last pixel's luma gets that pixel's chroma from BorrowLastChroma.
struct PackedRows {
    const uint8_t* frame;
    size_t pitch;
    size_t need;
    const PlaneDesc* pairs = nullptr;  // set when the last pair's chroma is borrowed
    ByteOrder order = ByteOrder::Little;
    const uint8_t* Row(int r, uint8_t* bounce) const {
        const uint8_t* p = frame + size_t(r) * pitch;
        if (need <= pitch) return p;
        std::memcpy(bounce, p, pitch);
        std::memset(bounce + pitch, 0, need - pitch);
        if (pairs) BorrowLastChroma(bounce, need - pairs->groupBytes, *pairs, order);
        return bounce;
    }
};

}  // namespace convert_rows
