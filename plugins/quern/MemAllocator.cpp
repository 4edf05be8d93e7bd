#include "MemAllocator.h"

#include <cstdlib>
#include <new>

namespace {

bool IsZeroOrPowerOfTwo(int32_t v) { return v >= 0 && (v & (v - 1)) == 0; }

int32_t EffectiveAlignment(const TNAllocatorProperties& p) {
    return p.alignment > p.minimumAlignment ? p.alignment : p.minimumAlignment;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Allocator

CTNMemAllocator::CTNMemAllocator() : CTNObject(L"MemAllocator") {}

CTNMemAllocator::~CTNMemAllocator() {
    DecommitWork();
    std::free(freeList_);
    std::free(inUseList_);
    std::free(inUseOwners_);
}

TNRESULT CTNMemAllocator::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (!iid) return TN_E_POINTER;
    void* p = nullptr;
    if (TNIsEqual(*iid, IID_ITNMemAllocator))
        p = static_cast<ITNMemAllocator*>(this);
    else if (TNIsEqual(*iid, IID_ITNObject))
        p = Identity();
    return TNAnswerQuery(this, p, out);
}

TNRESULT CTNMemAllocator::SetProperties(const TNAllocatorProperties* request,
                                        TNAllocatorProperties* actual) {
    if (!request || !actual) return TN_E_POINTER;
    // Refused while any buffer exists, lent ones included: a lent buffer returns to the free list
    // later and must still match the size the pool hands out.
    if (freeCount_ > 0 || inUseCount_ > 0) return TN_E_BUFFERSOUTSTANDING;
    if (!IsZeroOrPowerOfTwo(request->alignment) || !IsZeroOrPowerOfTwo(request->minimumAlignment))
        return TN_E_BADALIGN;
    // Requests the pool cannot honour: negative sizes, no alignment at all, or a size that
    // would no longer fit 32 bits once rounded up.
    const int32_t a = EffectiveAlignment(*request);
    if (request->bufferCount < 0 || request->bufferSize < 0 || a == 0) return TN_E_INVALIDARG;
    const int64_t rounded = (int64_t{request->bufferSize} + a - 1) & ~int64_t{a - 1};
    if (rounded > INT32_MAX) return TN_E_INVALIDARG;
    props_ = *request;
    props_.bufferSize = static_cast<int32_t>(rounded);
    *actual = props_;
    return TN_OK;
}

TNRESULT CTNMemAllocator::GetProperties(TNAllocatorProperties* out) {
    if (!out) return TN_E_POINTER;
    *out = props_;
    return TN_OK;
}

TNRESULT CTNMemAllocator::Commit() { return CommitWork(); }

TNRESULT CTNMemAllocator::Decommit() { return DecommitWork(); }

TNRESULT CTNMemAllocator::CommitWork() {
    if (inUseCount_ > 0 || freeCount_ > 0) return TN_E_BUFFERSOUTSTANDING;
    const int32_t count = props_.bufferCount;
    if (count > capacity_) {
        const size_t bytes = sizeof(uint8_t*) * static_cast<size_t>(count);
        auto** freeList = static_cast<uint8_t**>(std::malloc(bytes));
        auto** inUseList = static_cast<uint8_t**>(std::malloc(bytes));
        // A list of pointers to the samples that own the buffers.
        // NOLINTNEXTLINE(bugprone-sizeof-expression)
        const size_t ownerBytes = sizeof(ITNSample*) * static_cast<size_t>(count);
        auto** owners = static_cast<ITNSample**>(std::malloc(ownerBytes));
        if (!freeList || !inUseList || !owners) {
            std::free(freeList);
            std::free(inUseList);
            std::free(owners);
            return TN_E_OOM;
        }
        std::free(freeList_);
        std::free(inUseList_);
        std::free(inUseOwners_);
        freeList_ = freeList;
        inUseList_ = inUseList;
        inUseOwners_ = owners;
        capacity_ = count;
    }
    // posix_memalign wants a power of two that is a multiple of the pointer size.
    size_t align = static_cast<size_t>(EffectiveAlignment(props_));
    if (align < sizeof(void*)) align = sizeof(void*);
    const size_t size = props_.bufferSize > 0 ? static_cast<size_t>(props_.bufferSize) : 1;
    for (int32_t i = 0; i < count; ++i) {
        void* p = nullptr;
        if (posix_memalign(&p, align, size) != 0 || !p) {
            DecommitWork();
            return TN_E_OOM;
        }
        freeList_[freeCount_++] = static_cast<uint8_t*>(p);
    }
    return TN_OK;
}

TNRESULT CTNMemAllocator::DecommitWork() {
    for (int32_t i = 0; i < freeCount_; ++i) std::free(freeList_[i]);
    freeCount_ = 0;
    return TN_OK;
}

TNRESULT CTNMemAllocator::GetBuffer(ITNSample** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (freeCount_ == 0) return TN_E_NOTINITIALIZED;
    uint8_t* buffer = freeList_[freeCount_ - 1];
    auto* sample =
        new (std::nothrow) CTNSample(this, buffer, static_cast<uint32_t>(props_.bufferSize));
    if (!sample) return TN_E_OOM;  // the buffer stays in the free list
    --freeCount_;
    inUseList_[inUseCount_] = buffer;
    inUseOwners_[inUseCount_] = sample;
    ++inUseCount_;
    sample->AddRef();
    *out = static_cast<ITNSample*>(sample);
    return TN_OK;
}

TNRESULT CTNMemAllocator::ReleaseBuffer(ITNSample* sample) {
    if (!sample) return TN_E_POINTER;
    uint8_t* buffer = nullptr;
    const TNRESULT r = sample->GetPointer(&buffer);
    if (TN_FAILED(r)) return r;
    for (int32_t i = 0; i < inUseCount_; ++i) {
        if (inUseList_[i] != buffer || inUseOwners_[i] != sample) continue;
        for (int32_t j = i + 1; j < inUseCount_; ++j) {
            inUseList_[j - 1] = inUseList_[j];
            inUseOwners_[j - 1] = inUseOwners_[j];
        }
        --inUseCount_;
        freeList_[freeCount_++] = buffer;
        break;
    }
    return TN_OK;
}

// ---------------------------------------------------------------------------------------------
// Sample

CTNSample::CTNSample(CTNMemAllocator* allocator, uint8_t* buffer, uint32_t size)
    : CTNObject(L"Sample"), allocator_(allocator), buffer_(buffer), size_(size) {
    TNMediaTypeInit(&mediaType_);
}

CTNSample::~CTNSample() { TNMediaTypeFreeFormat(&mediaType_); }

uint32_t CTNSample::Release() {
    allocator_->ReleaseBuffer(this);
    return CTNObject::Release();
}

TNRESULT CTNSample::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (!iid) return TN_E_POINTER;
    void* p = nullptr;
    if (TNIsEqual(*iid, IID_ITNSample))
        p = static_cast<ITNSample*>(this);
    else if (TNIsEqual(*iid, IID_ITNObject))
        p = Identity();
    return TNAnswerQuery(this, p, out);
}

uint32_t CTNSample::GetSize() { return size_; }

TNRESULT CTNSample::GetPointer(uint8_t** out) {
    if (!out) return TN_E_POINTER;
    *out = buffer_;
    return TN_OK;
}

TNRESULT CTNSample::GetMediaType(TNMediaType* out) {
    if (!out) return TN_E_POINTER;
    if (!TNMediaTypeIsSet(&mediaType_)) return TN_FALSE;
    // The result of the copy is not reported: on exhaustion out's format is simply null.
    (void)TNMediaTypeCopy(out, &mediaType_);
    TNMediaTypeReset(&mediaType_);
    return TN_OK;
}

TNRESULT CTNSample::SetMediaType(const TNMediaType* type) {
    if (!type) return TN_E_POINTER;
    if (type == &mediaType_) return TN_OK;
    // An out-of-memory copy leaves the sample without a format block; say so rather than
    // reporting success for a media type the sample does not hold.
    return TNMediaTypeCopy(&mediaType_, type);
}

int64_t CTNSample::GetStart() { return start_; }
TNRESULT CTNSample::SetStart(int64_t start) {
    start_ = start;
    return TN_OK;
}
int64_t CTNSample::GetEnd() { return end_; }
TNRESULT CTNSample::SetEnd(int64_t end) {
    end_ = end;
    return TN_OK;
}
uint32_t CTNSample::GetFrameDuration() { return frameDuration_; }
TNRESULT CTNSample::SetFrameDuration(uint32_t value) {
    frameDuration_ = value;
    return TN_OK;
}
uint32_t CTNSample::GetTimeScale() { return timeScale_; }
TNRESULT CTNSample::SetTimeScale(uint32_t value) {
    timeScale_ = value;
    return TN_OK;
}
uint32_t CTNSample::GetDataLength() { return dataLength_; }
TNRESULT CTNSample::SetDataLength(uint32_t length) {
    dataLength_ = length;
    return TN_OK;
}
