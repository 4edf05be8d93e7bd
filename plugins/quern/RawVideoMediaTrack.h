// The one media track of a raw video source, with seeking that reads any frame into a sample,
// and the track's single segment.
#pragma once

#include "TNObject.h"

class CTNRawVideoSource;
class CTNRawVideoMediaTrackSegment;

class CTNRawVideoMediaTrack : public ITNMediaTrack, public ITNSeeking, public CTNObject {
public:
    // Makes a track for `source` with its segment and allocator; *out receives one reference.
    // The track refers to the source without a reference: the source must outlive it.
    static TNRESULT Create(CTNRawVideoSource* source, CTNRawVideoMediaTrack** out);

    ~CTNRawVideoMediaTrack() override;

    TN_OBJECT_METHODS

    // ITNMediaTrack
    TNRESULT GetMediaType(TNMediaType* out) override;  // deep copy: caller owns the block
    int32_t GetSegmentCount() override;
    TNRESULT GetSegment(int32_t index, ITNMediaTrackSegment** out) override;  // out owns a ref
    int64_t GetFrameCount() override;
    uint32_t GetFrameDuration() override;
    uint32_t GetTimeScale() override;
    TNRESULT SetAllocator(ITNMemAllocator* allocator) override;

    // ITNSeeking
    TNRESULT Reset() override;
    TNRESULT GetCurrentSample(ITNSample** out) override;   // out owns a reference
    TNRESULT GetPreviousSample(ITNSample** out) override;  // out owns a reference
    TNRESULT GetNextSample(ITNSample** out) override;      // out owns a reference
    TNRESULT GetPosition(int64_t* out) override;
    TNRESULT SetPosition(int64_t position) override;

private:
    explicit CTNRawVideoMediaTrack(CTNRawVideoSource* source);
    // Sizes and commits the allocator for one frame on the first query for ITNSeeking.
    TNRESULT PrepareAllocator();
    TNRESULT ReadFrame(int64_t index, ITNSample** out);

    CTNRawVideoSource* source_;                        // not referenced
    CTNRawVideoMediaTrackSegment* segment_ = nullptr;  // one reference held
    ITNMemAllocator* allocator_ = nullptr;             // one reference held
    bool allocatorReady_ = false;
    int64_t position_ = -1;  // -1: before the first frame
    uint32_t frameDuration_;
    uint32_t timeScale_;
};

class CTNRawVideoMediaTrackSegment : public ITNMediaTrackSegment, public CTNObject {
public:
    // Makes the segment of `track`, copying the track's media type; *out receives one reference.
    static TNRESULT Create(CTNRawVideoMediaTrack* track, CTNRawVideoMediaTrackSegment** out);

    ~CTNRawVideoMediaTrackSegment() override;

    TN_OBJECT_METHODS

    // Shallow copy: out->format points at the segment's own block.
    TNRESULT GetMediaType(TNMediaType* out) override;
    int64_t GetFrameCount() override;
    uint32_t GetFrameDuration() override;
    uint32_t GetTimeScale() override;

private:
    explicit CTNRawVideoMediaTrackSegment(CTNRawVideoMediaTrack* track);

    CTNRawVideoMediaTrack* track_;  // not referenced: the track holds the segment
    TNMediaType mediaType_;
};
