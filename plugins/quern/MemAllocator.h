// A pool of aligned buffers of one size, lent out as samples, and the sample component.
#pragma once

#include "TNObject.h"

class CTNMemAllocator : public ITNMemAllocator, public CTNObject {
public:
    CTNMemAllocator();
    ~CTNMemAllocator() override;

    TN_OBJECT_METHODS

    TNRESULT Commit() override;
    TNRESULT Decommit() override;                  // always TN_OK
    TNRESULT GetBuffer(ITNSample** out) override;  // out owns a reference
    TNRESULT SetProperties(const TNAllocatorProperties* request,
                           TNAllocatorProperties* actual) override;
    TNRESULT GetProperties(TNAllocatorProperties* out) override;
    TNRESULT ReleaseBuffer(ITNSample* sample) override;

    // The work behind Commit and Decommit.
    virtual TNRESULT CommitWork();
    virtual TNRESULT DecommitWork();

    // Buffers ready to lend and buffers lent out (for diagnostics).
    int32_t FreeCount() const { return freeCount_; }
    int32_t InUseCount() const { return inUseCount_; }

private:
    TNAllocatorProperties props_{0, 0, 0, 0};
    // Both lists hold at most the number of buffers made by the last Commit, so their storage is
    // allocated once there and moving a buffer between them never allocates.
    uint8_t** freeList_ = nullptr;   // the last one is lent first
    uint8_t** inUseList_ = nullptr;  // in the order they were lent
    // The sample each in-use buffer was lent to. A buffer is taken back only from the sample
    // that holds it: a sample released again after its buffer went to another sample must not
    // return that buffer a second time, or two samples would share it.
    ITNSample** inUseOwners_ = nullptr;
    int32_t freeCount_ = 0;
    int32_t inUseCount_ = 0;
    int32_t capacity_ = 0;
};

class CTNSample : public ITNSample, public CTNObject {
public:
    CTNSample(CTNMemAllocator* allocator, uint8_t* buffer, uint32_t size);
    ~CTNSample() override;

    uint32_t AddRef() override { return CTNObject::AddRef(); }
    // Every Release first gives the buffer back to the allocator; only the first one finds it
    // still lent.
    uint32_t Release() override;
    TNRESULT QueryInterface(const TNUUID* iid, void** out) override;

    uint32_t GetSize() override;
    TNRESULT GetPointer(uint8_t** out) override;       // borrowed buffer
    TNRESULT GetMediaType(TNMediaType* out) override;  // hands the media type over once
    TNRESULT SetMediaType(const TNMediaType* type) override;
    int64_t GetStart() override;
    TNRESULT SetStart(int64_t start) override;
    int64_t GetEnd() override;
    TNRESULT SetEnd(int64_t end) override;
    uint32_t GetFrameDuration() override;
    TNRESULT SetFrameDuration(uint32_t value) override;
    uint32_t GetTimeScale() override;
    TNRESULT SetTimeScale(uint32_t value) override;
    uint32_t GetDataLength() override;
    TNRESULT SetDataLength(uint32_t length) override;

private:
    CTNMemAllocator* allocator_;  // not referenced: the allocator outlives its samples
    uint8_t* buffer_;             // lent by the allocator, not owned
    uint32_t size_;
    uint32_t dataLength_ = 0;
    int64_t start_ = 0;
    int64_t end_ = 0;
    uint32_t frameDuration_ = 0;
    uint32_t timeScale_ = 0;
    TNMediaType mediaType_;
};
