// The raw video source: reads a headerless file of equally sized frames, laid out as
//   filePrefix, then per frame: framePrefix, payload (the pixels), framePostfix.
#pragma once

#include "TNObject.h"

class CTNRawVideoMediaTrack;

// The largest frame whose size fits the 32-bit buffer size of the allocator and the samples once
// rounded up to the buffers' 16-byte alignment.
constexpr uint32_t kMaxFramePayload = 0x7FFFFFF0u;

// Bytes of one frame's pixels: |line bytes| (offset 28) x height (offset 12) of the media
// type's raw video format block, computed in 64 bits. False when the media type has no block
// large enough to hold those fields, or when the product is 0, negative or above
// kMaxFramePayload.
bool RawVideoFramePayload(const TNMediaType& type, uint32_t* payload);

class CTNRawVideoSource : public ITNBasePlugin,
                          public ITNFileSource,
                          public ITNRawVideoMediaContainer,
                          public CTNObject {
public:
    // The class table's create function: a new source with a count of 0, or null.
    static ITNObject* CreateObject(TNRESULT* result);

    CTNRawVideoSource();
    ~CTNRawVideoSource() override;

    TN_OBJECT_METHODS

    // ITNBasePlugin: the class entry's constant information; strings are borrowed.
    const TNUUID* GetPluginType() override;
    _TNStr* GetName() override;
    _TNStr* GetVendor() override;
    _TNStr* GetLegalNotice() override;
    _TNStr* GetBuildType() override;
    uint32_t GetVersion() override;

    // ITNFileSource
    TNRESULT Open(_TNStr* path) override;
    _TNStr* GetFileName() override;  // borrowed, or null

    // ITNMediaContainer
    _TNStr* GetLabel() override;  // borrowed, or null
    bool IsOpen() override;
    TNRESULT GetTrack(int32_t index, ITNMediaTrack** out) override;  // out owns a reference
    int64_t GetFrameCount() override;
    uint32_t GetFrameDuration() override;
    uint32_t GetTimeScale() override;

    // ITNRawVideoMediaContainer
    TNRESULT SetMediaType(int32_t index, const TNMediaType* type) override;
    TNRESULT SetLabel(_TNStr* label) override;
    TNRESULT SetOption(uint32_t value) override;
    TNRESULT SetFrameDuration(int32_t index, uint32_t value) override;
    TNRESULT SetTimeScale(int32_t index, uint32_t value) override;
    TNRESULT SetFileLayout(int32_t index, uint32_t filePrefix, uint32_t framePrefix,
                           uint32_t framePostfix) override;

    // For the track.
    const TNMediaType& MediaType() const { return mediaType_; }
    uint32_t Payload() const { return payload_; }
    // File offset of the first pixel of frame `index`; false when it cannot be represented.
    bool FrameOffset(int64_t index, int64_t* offset) const;
    // Reads `length` bytes at `offset` of the open file (TN_E_SEEK with no file open).
    TNRESULT ReadAt(int64_t offset, uint8_t* buffer, uint32_t length) const;

private:
    void ComputeGeometry();
    void CloseFile();

    TNMediaType mediaType_;
    CTNRawVideoMediaTrack* track_ = nullptr;  // one reference held
    _TNStr* fileName_ = nullptr;              // one reference held
    _TNStr* label_ = nullptr;                 // one reference held
    int fd_;                                  // kNoFile when no file is open
    int64_t fileSize_ = 0;
    uint32_t option_ = 0;
    uint32_t frameDuration_ = 0;
    uint32_t timeScale_ = 0;
    uint32_t filePrefix_ = 0;
    uint32_t framePrefix_ = 0;
    uint32_t framePostfix_ = 0;
    // Geometry as of the last successful Open. The stride and the count are 64-bit, so large
    // frames or long files never wrap.
    uint32_t payload_ = 0;
    uint32_t geomFilePrefix_ = 0;
    uint32_t geomFramePrefix_ = 0;
    uint64_t frameStride_ = 0;
    int64_t frameCount_ = 0;
};
