#include "view/file/LentAllocator.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace kavlo {
namespace {

bool IsZeroOrPowerOfTwo(int32_t v) { return v >= 0 && (v & (v - 1)) == 0; }

int32_t EffectiveAlignment(const TNAllocatorProperties& p) {
    return std::max(p.alignment, p.minimumAlignment);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The sample: memory it does not own (lent, or a buffer of the allocator's) and the frame's
// description the track writes into it. It holds a reference to its allocator, which therefore
// outlives it, and gives its memory back when its last reference goes.

class LentAllocator::Sample final : public ITNSample {
public:
    Sample(LentAllocator* allocator, uint8_t* memory, uint32_t size, bool lent)
        : allocator_(allocator), memory_(memory), size_(size), lent_(lent) {
        allocator_->AddRef();
        TNMediaTypeInit(&mediaType_);
    }

    uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t Release() override {
        const uint32_t n = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (n != 0) return n;
        allocator_->ReleaseBuffer(this);
        LentAllocator* allocator = allocator_;
        delete this;
        allocator->Release();
        return 0;
    }
    TNRESULT QueryInterface(const TNUUID* iid, void** out) override {
        if (!out) return TN_E_POINTER;
        *out = nullptr;
        if (!iid) return TN_E_POINTER;
        if (!TNIsEqual(*iid, IID_ITNSample) && !TNIsEqual(*iid, IID_ITNObject))
            return TN_E_NOINTERFACE;
        AddRef();
        *out = static_cast<ITNSample*>(this);
        return TN_OK;
    }

    uint32_t GetSize() override { return size_; }
    TNRESULT GetPointer(uint8_t** out) override {
        if (!out) return TN_E_POINTER;
        *out = memory_;
        // A sample whose memory went back has none to offer.
        return memory_ ? TN_OK : TN_E_FAIL;
    }
    TNRESULT GetMediaType(TNMediaType* out) override {
        if (!out) return TN_E_POINTER;
        if (!TNMediaTypeIsSet(&mediaType_)) return TN_FALSE;
        (void)TNMediaTypeCopy(out, &mediaType_);
        TNMediaTypeReset(&mediaType_);
        return TN_OK;
    }
    TNRESULT SetMediaType(const TNMediaType* type) override {
        if (!type) return TN_E_POINTER;
        if (type == &mediaType_) return TN_OK;
        return TNMediaTypeCopy(&mediaType_, type);
    }
    int64_t GetStart() override { return start_; }
    TNRESULT SetStart(int64_t start) override {
        start_ = start;
        return TN_OK;
    }
    int64_t GetEnd() override { return end_; }
    TNRESULT SetEnd(int64_t end) override {
        end_ = end;
        return TN_OK;
    }
    uint32_t GetFrameDuration() override { return frameDuration_; }
    TNRESULT SetFrameDuration(uint32_t value) override {
        frameDuration_ = value;
        return TN_OK;
    }
    uint32_t GetTimeScale() override { return timeScale_; }
    TNRESULT SetTimeScale(uint32_t value) override {
        timeScale_ = value;
        return TN_OK;
    }
    uint32_t GetDataLength() override { return dataLength_; }
    TNRESULT SetDataLength(uint32_t length) override {
        dataLength_ = length;
        return TN_OK;
    }

    // The allocator's side, under its lock.
    uint8_t* Memory() const { return memory_; }
    bool Lent() const { return lent_; }
    void Detach() {
        memory_ = nullptr;
        size_ = 0;
    }

private:
    ~Sample() { TNMediaTypeFreeFormat(&mediaType_); }

    std::atomic<uint32_t> refs_{0};
    LentAllocator* allocator_;  // one reference held
    uint8_t* memory_;
    uint32_t size_;
    const bool lent_;
    uint32_t dataLength_ = 0;
    int64_t start_ = 0;
    int64_t end_ = 0;
    uint32_t frameDuration_ = 0;
    uint32_t timeScale_ = 0;
    TNMediaType mediaType_;
};

// ---------------------------------------------------------------------------------------------
// The allocator

LentAllocator* LentAllocator::Create() { return new (std::nothrow) LentAllocator(); }

LentAllocator::~LentAllocator() {
    // Every sample held a reference: none is out any more.
    for (uint8_t* buffer : own_) std::free(buffer);
}

uint32_t LentAllocator::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t LentAllocator::Release() {
    const uint32_t n = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0) delete this;
    return n;
}

TNRESULT LentAllocator::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (!iid) return TN_E_POINTER;
    if (!TNIsEqual(*iid, IID_ITNMemAllocator) && !TNIsEqual(*iid, IID_ITNObject))
        return TN_E_NOINTERFACE;
    AddRef();
    *out = static_cast<ITNMemAllocator*>(this);
    return TN_OK;
}

TNRESULT LentAllocator::SetProperties(const TNAllocatorProperties* request,
                                      TNAllocatorProperties* actual) {
    if (!request || !actual) return TN_E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    // As the pool: refused while committed or while a sample is out, since a buffer coming back
    // must still fit what is handed out.
    if (committed_ || !out_.empty()) return TN_E_BUFFERSOUTSTANDING;
    if (!IsZeroOrPowerOfTwo(request->alignment) || !IsZeroOrPowerOfTwo(request->minimumAlignment))
        return TN_E_BADALIGN;
    const int32_t a = EffectiveAlignment(*request);
    if (request->bufferCount < 0 || request->bufferSize < 0 || a == 0) return TN_E_INVALIDARG;
    const int64_t rounded = (int64_t{request->bufferSize} + a - 1) & ~int64_t{a - 1};
    if (rounded > INT32_MAX) return TN_E_INVALIDARG;
    props_ = *request;
    props_.bufferSize = static_cast<int32_t>(rounded);
    *actual = props_;
    return TN_OK;
}

TNRESULT LentAllocator::GetProperties(TNAllocatorProperties* out) {
    if (!out) return TN_E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *out = props_;
    return TN_OK;
}

TNRESULT LentAllocator::Commit() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (committed_ || !out_.empty()) return TN_E_BUFFERSOUTSTANDING;
    // Room for the bookkeeping of every sample now, so that handing one out never fails on it.
    try {
        const size_t count = static_cast<size_t>(props_.bufferCount);
        out_.reserve(count);
        spare_.reserve(count);
        own_.reserve(count);
    } catch (const std::bad_alloc&) {
        return TN_E_OOM;
    }
    committed_ = true;
    return TN_OK;
}

TNRESULT LentAllocator::Decommit() {
    std::lock_guard<std::mutex> lock(mutex_);
    committed_ = false;
    FreeSpareBuffersLocked();
    return TN_OK;
}

void LentAllocator::FreeSpareBuffersLocked() {
    for (uint8_t* buffer : spare_) {
        std::free(buffer);
        own_.erase(std::find(own_.begin(), own_.end(), buffer));
    }
    spare_.clear();
}

bool LentAllocator::SuitsLocked(const uint8_t* memory, uint64_t size) const {
    if (!committed_ || !memory) return false;
    const auto alignment = static_cast<uintptr_t>(std::max(EffectiveAlignment(props_), 1));
    return size >= static_cast<uint64_t>(props_.bufferSize) &&
           reinterpret_cast<uintptr_t>(memory) % alignment == 0;
}

bool LentAllocator::Suits(const uint8_t* memory, uint64_t size) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return SuitsLocked(memory, size);
}

void LentAllocator::Lend(uint8_t* memory, uint64_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lentHolder_) TakeBackLocked(lentHolder_);
    lent_ = memory;
    lentSize_ = size;
}

void LentAllocator::EndLend() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lentHolder_) TakeBackLocked(lentHolder_);
    lent_ = nullptr;
    lentSize_ = 0;
}

TNRESULT LentAllocator::GetBuffer(ITNSample** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!committed_ || out_.size() >= static_cast<size_t>(props_.bufferCount))
        return TN_E_NOTINITIALIZED;
    const auto size = static_cast<uint32_t>(props_.bufferSize);
    const bool lent = !lentHolder_ && SuitsLocked(lent_, lentSize_);
    uint8_t* memory = lent_;
    if (!lent) {
        if (!spare_.empty()) {
            memory = spare_.back();
        } else {
            // posix_memalign wants a power of two that is a multiple of the pointer size.
            size_t alignment = static_cast<size_t>(EffectiveAlignment(props_));
            if (alignment < sizeof(void*)) alignment = sizeof(void*);
            const size_t bytes = size > 0 ? size : 1;
            void* p = nullptr;
            if (posix_memalign(&p, alignment, bytes) != 0 || !p) return TN_E_OOM;
            memory = static_cast<uint8_t*>(p);
            own_.push_back(memory);  // reserved at Commit up to bufferCount
            spare_.push_back(memory);
            ownBufferBytes_ = bytes;
        }
    }
    auto* sample = new (std::nothrow) Sample(this, memory, size, lent);
    if (!sample) return TN_E_OOM;  // a buffer of its own stays spare
    if (!lent) spare_.pop_back();
    out_.push_back(sample);
    if (lent) lentHolder_ = sample;
    (lent ? lentSamples_ : ownSamples_).fetch_add(1, std::memory_order_relaxed);
    sample->AddRef();
    *out = sample;
    return TN_OK;
}

TNRESULT LentAllocator::ReleaseBuffer(ITNSample* sample) {
    if (!sample) return TN_E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find(out_.begin(), out_.end(), sample);
    if (it != out_.end()) TakeBackLocked(*it);
    return TN_OK;
}

void LentAllocator::TakeBackLocked(Sample* sample) {
    const auto it = std::find(out_.begin(), out_.end(), sample);
    if (it == out_.end()) return;
    out_.erase(it);
    uint8_t* memory = sample->Memory();
    sample->Detach();
    if (sample->Lent()) {
        lentHolder_ = nullptr;
    } else if (committed_) {
        spare_.push_back(memory);
    } else {
        // Decommitted while the sample was out: the buffer goes now.
        std::free(memory);
        own_.erase(std::find(own_.begin(), own_.end(), memory));
    }
}

int32_t LentAllocator::SamplesOut() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int32_t>(out_.size());
}

uint64_t LentAllocator::OwnBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint64_t>(own_.size()) * ownBufferBytes_;
}

}  // namespace kavlo
