#include "RawVideoMediaTrack.h"

#include "MemAllocator.h"
#include "RawVideoSource.h"
#include "TNPtr.h"

#include <new>

// ---------------------------------------------------------------------------------------------
// Track

CTNRawVideoMediaTrack::CTNRawVideoMediaTrack(CTNRawVideoSource* source)
    : CTNObject(L"RawVideoMediaTrack"),
      source_(source),
      frameDuration_(source->GetFrameDuration()),
      timeScale_(source->GetTimeScale()) {}

TNRESULT CTNRawVideoMediaTrack::Create(CTNRawVideoSource* source, CTNRawVideoMediaTrack** out) {
    *out = nullptr;
    auto* track = new (std::nothrow) CTNRawVideoMediaTrack(source);
    if (!track) return TN_E_OOM;
    track->AddRef();
    TNRESULT r = CTNRawVideoMediaTrackSegment::Create(track, &track->segment_);
    if (TN_SUCCEEDED(r)) {
        auto* allocator = new (std::nothrow) CTNMemAllocator();
        if (allocator) {
            allocator->AddRef();
            track->allocator_ = allocator;
        } else {
            r = TN_E_OOM;
        }
    }
    if (TN_FAILED(r)) {
        track->Release();
        return r;
    }
    *out = track;
    return TN_OK;
}

CTNRawVideoMediaTrack::~CTNRawVideoMediaTrack() {
    if (segment_) segment_->Release();
    if (allocator_) {
        allocator_->Decommit();
        allocator_->Release();
    }
}

TNRESULT CTNRawVideoMediaTrack::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (!iid) return TN_E_POINTER;
    void* p = nullptr;
    if (TNIsEqual(*iid, IID_ITNMediaTrack)) {
        p = static_cast<ITNMediaTrack*>(this);
    } else if (TNIsEqual(*iid, IID_ITNSeeking)) {
        const TNRESULT r = PrepareAllocator();
        if (TN_FAILED(r)) return r;
        p = static_cast<ITNSeeking*>(this);
    } else if (TNIsEqual(*iid, IID_ITNObject)) {
        p = Identity();
    }
    return TNAnswerQuery(this, p, out);
}

TNRESULT CTNRawVideoMediaTrack::PrepareAllocator() {
    if (allocatorReady_) return TN_OK;
    // One buffer as large as a frame's pixels. A source without a usable frame description
    // (no format block, or a frame too large for the 32-bit buffer size) cannot size it.
    uint32_t payload = 0;
    if (!RawVideoFramePayload(source_->MediaType(), &payload)) return TN_E_INVALIDARG;
    TNAllocatorProperties request{1, static_cast<int32_t>(payload), 16, 1};
    TNAllocatorProperties actual{};
    TNRESULT r = allocator_->SetProperties(&request, &actual);
    if (TN_FAILED(r)) return r;
    r = allocator_->Commit();
    if (TN_FAILED(r)) return r;
    allocatorReady_ = true;
    return TN_OK;
}

TNRESULT CTNRawVideoMediaTrack::GetMediaType(TNMediaType* out) {
    if (!out) return TN_E_POINTER;
    return TNMediaTypeCopy(out, &source_->MediaType());
}

int32_t CTNRawVideoMediaTrack::GetSegmentCount() { return 1; }

TNRESULT CTNRawVideoMediaTrack::GetSegment(int32_t /*index*/, ITNMediaTrackSegment** out) {
    if (!out) return TN_E_POINTER;
    segment_->AddRef();
    *out = static_cast<ITNMediaTrackSegment*>(segment_);
    return TN_OK;
}

int64_t CTNRawVideoMediaTrack::GetFrameCount() { return source_->GetFrameCount(); }
uint32_t CTNRawVideoMediaTrack::GetFrameDuration() { return source_->GetFrameDuration(); }
uint32_t CTNRawVideoMediaTrack::GetTimeScale() { return source_->GetTimeScale(); }

TNRESULT CTNRawVideoMediaTrack::SetAllocator(ITNMemAllocator* allocator) {
    if (!allocator) return TN_E_POINTER;
    allocator->AddRef();
    allocator_->Decommit();
    allocator_->Release();
    allocator_ = allocator;
    // The replacement is in force, but the track does not size it: the caller configures it.
    return TN_E_FAIL;
}

TNRESULT CTNRawVideoMediaTrack::Reset() {
    position_ = -1;
    return TN_OK;
}

TNRESULT CTNRawVideoMediaTrack::SetPosition(int64_t position) {
    const int64_t count = source_->GetFrameCount();
    position_ = position < 0 ? 0 : (position > count ? count : position);
    return TN_OK;
}

TNRESULT CTNRawVideoMediaTrack::GetPosition(int64_t* out) {
    if (!out) return TN_E_POINTER;
    *out = position_;
    return TN_OK;
}

TNRESULT CTNRawVideoMediaTrack::GetCurrentSample(ITNSample** out) {
    if (!out) return TN_E_POINTER;
    return ReadFrame(position_, out);
}

TNRESULT CTNRawVideoMediaTrack::GetPreviousSample(ITNSample** out) {
    if (!out) return TN_E_POINTER;
    return ReadFrame(position_ - 1, out);
}

TNRESULT CTNRawVideoMediaTrack::GetNextSample(ITNSample** out) {
    if (!out) return TN_E_POINTER;
    return ReadFrame(position_ + 1, out);
}

TNRESULT CTNRawVideoMediaTrack::ReadFrame(int64_t index, ITNSample** out) {
    *out = nullptr;
    SetPosition(index);
    TNPtr<ITNSample> sample;
    TNRESULT r = allocator_->GetBuffer(sample.Out());
    if (TN_FAILED(r)) return r;
    if (!sample) return TN_E_FAIL;

    const uint32_t payload = source_->Payload();
    sample->SetMediaType(&source_->MediaType());
    sample->SetTimeScale(timeScale_);
    sample->SetFrameDuration(frameDuration_);
    sample->SetDataLength(payload);
    sample->SetStart(position_);
    sample->SetEnd(position_ + 1);

    uint8_t* buffer = nullptr;
    r = sample->GetPointer(&buffer);
    if (TN_FAILED(r)) return r;
    // The buffer was sized for the frame when the allocator was prepared; a frame that has grown
    // since (a new media type on the source, or an allocator set from outside) must not
    // overrun it.
    if (payload > sample->GetSize()) return TN_E_FAIL;

    int64_t offset = 0;
    if (!source_->FrameOffset(position_, &offset)) return TN_E_SEEK;
    r = source_->ReadAt(offset, buffer, payload);
    if (TN_FAILED(r)) return r;
    *out = sample.Detach();
    return TN_OK;
}

// ---------------------------------------------------------------------------------------------
// Segment

CTNRawVideoMediaTrackSegment::CTNRawVideoMediaTrackSegment(CTNRawVideoMediaTrack* track)
    : CTNObject(L"RawVideoMediaTrackSegment"), track_(track) {
    TNMediaTypeInit(&mediaType_);
}

TNRESULT CTNRawVideoMediaTrackSegment::Create(CTNRawVideoMediaTrack* track,
                                              CTNRawVideoMediaTrackSegment** out) {
    *out = nullptr;
    auto* segment = new (std::nothrow) CTNRawVideoMediaTrackSegment(track);
    if (!segment) return TN_E_OOM;
    segment->AddRef();
    const TNRESULT r = track->GetMediaType(&segment->mediaType_);
    if (TN_FAILED(r)) {
        segment->Release();
        return r;
    }
    *out = segment;
    return TN_OK;
}

CTNRawVideoMediaTrackSegment::~CTNRawVideoMediaTrackSegment() {
    TNMediaTypeFreeFormat(&mediaType_);
}

TNRESULT CTNRawVideoMediaTrackSegment::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (!iid) return TN_E_POINTER;
    void* p = nullptr;
    if (TNIsEqual(*iid, IID_ITNMediaTrackSegment))
        p = static_cast<ITNMediaTrackSegment*>(this);
    else if (TNIsEqual(*iid, IID_ITNObject))
        p = Identity();
    return TNAnswerQuery(this, p, out);
}

TNRESULT CTNRawVideoMediaTrackSegment::GetMediaType(TNMediaType* out) {
    if (!out) return TN_E_POINTER;
    *out = mediaType_;
    return TN_OK;
}

int64_t CTNRawVideoMediaTrackSegment::GetFrameCount() { return track_->GetFrameCount(); }
uint32_t CTNRawVideoMediaTrackSegment::GetFrameDuration() { return track_->GetFrameDuration(); }
uint32_t CTNRawVideoMediaTrackSegment::GetTimeScale() { return track_->GetTimeScale(); }
