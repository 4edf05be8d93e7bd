// The memory allocator a VideoFile gives its raw video track: before each read the file lends it
// the memory the frame must go to, and the sample the track takes from GetBuffer wraps exactly
// that memory, so that the track's file read lands in the destination and nothing is copied
// after it.
//
// It keeps the rules of the plug-in's own pool that the track relies on: SetProperties sizes it
// (refused while it is committed or a sample is out), Commit makes GetBuffer work, at most
// bufferCount samples are out at a time, and a sample is never larger than its memory. Lent
// memory is taken only when it is aligned to the properties' alignment and holds at least their
// buffer size; otherwise, and when nothing is lent, the sample gets a buffer of the allocator's
// own (made on first need and kept for the next reads), and the file copies the frame out of it.
//
// Lent memory is the lender's again at EndLend: a sample that still wraps it loses it there (its
// pointer is null from then on), so it is never written after the read returns.
//
// Thread rules: one allocator per VideoFile, so one reader at a time. Its state is guarded by a
// lock of its own all the same, as a sample may be released from any thread.
#pragma once

#include "TNInterfaces.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kavlo {

class LentAllocator final : public ITNMemAllocator {
public:
    // A new allocator holding one reference for the caller; null when memory is exhausted.
    static LentAllocator* Create();

    uint32_t AddRef() override;
    uint32_t Release() override;
    TNRESULT QueryInterface(const TNUUID* iid, void** out) override;

    TNRESULT Commit() override;
    TNRESULT Decommit() override;  // always TN_OK
    // A sample over the lent memory when it suits, else over a buffer of the allocator's own;
    // out owns a reference.
    TNRESULT GetBuffer(ITNSample** out) override;
    TNRESULT SetProperties(const TNAllocatorProperties* request,
                           TNAllocatorProperties* actual) override;
    TNRESULT GetProperties(TNAllocatorProperties* out) override;
    // Takes a sample's memory back (the sample is left without any); harmless for a sample
    // whose memory went back already or that is not this allocator's.
    TNRESULT ReleaseBuffer(ITNSample* sample) override;

    // Lends `size` bytes at `memory` to the next GetBuffer, until EndLend.
    void Lend(uint8_t* memory, uint64_t size);
    // Takes the lent memory back, from the sample that wraps it too.
    void EndLend();
    // True when memory at `memory` of `size` bytes would be taken: committed, aligned, and at
    // least the buffer size.
    bool Suits(const uint8_t* memory, uint64_t size) const;

    // Samples handed out over lent memory and over buffers of its own, since it was made.
    int64_t LentSamples() const { return lentSamples_.load(std::memory_order_relaxed); }
    int64_t OwnSamples() const { return ownSamples_.load(std::memory_order_relaxed); }
    // Samples out now, and bytes of the buffers of its own that exist.
    int32_t SamplesOut() const;
    uint64_t OwnBytes() const;

private:
    class Sample;
    LentAllocator() = default;
    ~LentAllocator();
    bool SuitsLocked(const uint8_t* memory, uint64_t size) const;
    // Gives the sample's memory back: a buffer of its own to the free list, lent memory to the
    // lender. The caller holds the lock.
    void TakeBackLocked(Sample* sample);
    void FreeSpareBuffersLocked();

    std::atomic<uint32_t> refs_{1};
    mutable std::mutex mutex_;  // guards everything below but the counters
    TNAllocatorProperties props_{0, 0, 0, 0};
    bool committed_ = false;
    uint8_t* lent_ = nullptr;
    uint64_t lentSize_ = 0;
    Sample* lentHolder_ = nullptr;  // the sample over the lent memory, if any
    std::vector<Sample*> out_;      // samples that hold memory (not referenced)
    std::vector<uint8_t*> spare_;   // buffers of its own that no sample holds
    std::vector<uint8_t*> own_;     // every buffer of its own
    size_t ownBufferBytes_ = 0;     // the size each of them was made with
    std::atomic<int64_t> lentSamples_{0};
    std::atomic<int64_t> ownSamples_{0};
};

}  // namespace kavlo
