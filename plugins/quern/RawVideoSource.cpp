#include "RawVideoSource.h"

#include "FileAccess.h"
#include "QuernModule.h"
#include "RawVideoMediaTrack.h"
#include "TNFileName.h"
#include "TNStr.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace {

// Fields of the raw video format block that the source reads.
constexpr int32_t kFormatHeightOffset = 12;
constexpr int32_t kFormatLineBytesOffset = 28;
constexpr int32_t kFormatFieldsEnd = kFormatLineBytesOffset + 4;

int32_t ReadI32(const uint8_t* block, int32_t offset) {
    int32_t v;
    std::memcpy(&v, block + offset, sizeof(v));
    return v;
}

const TNClassEntry& SourceEntry() { return *QuernFindClass(CLSID_TNRawVideoSource); }

}  // namespace

bool RawVideoFramePayload(const TNMediaType& type, uint32_t* payload) {
    *payload = 0;
    if (!type.format || type.formatSize < kFormatFieldsEnd) return false;
    const int64_t height = ReadI32(type.format, kFormatHeightOffset);
    int64_t lineBytes = ReadI32(type.format, kFormatLineBytesOffset);
    if (lineBytes < 0) lineBytes = -lineBytes;  // negative: rows stored bottom-up
    const int64_t bytes = lineBytes * height;   // both below 2^31: no overflow in 64 bits
    if (bytes <= 0 || bytes > static_cast<int64_t>(kMaxFramePayload)) return false;
    *payload = static_cast<uint32_t>(bytes);
    return true;
}

ITNObject* CTNRawVideoSource::CreateObject(TNRESULT* /*result*/) {
    auto* source = new (std::nothrow) CTNRawVideoSource();
    return source ? source->Identity() : nullptr;
}

CTNRawVideoSource::CTNRawVideoSource() : CTNObject(L"RawVideoSource"), fd_(kNoFile) {
    TNMediaTypeInit(&mediaType_);
}

CTNRawVideoSource::~CTNRawVideoSource() {
    if (track_) track_->Release();
    CloseFile();
    CTNStrRelease(label_);
    CTNStrRelease(fileName_);
    TNMediaTypeFreeFormat(&mediaType_);
}

TNRESULT CTNRawVideoSource::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    if (!iid) {
        *out = nullptr;
        return TN_E_POINTER;
    }
    void* p = nullptr;
    if (TNIsEqual(*iid, IID_ITNBasePlugin))
        p = static_cast<ITNBasePlugin*>(this);
    else if (TNIsEqual(*iid, IID_ITNFileSource))
        p = static_cast<ITNFileSource*>(this);
    else if (TNIsEqual(*iid, IID_ITNMediaContainer))
        p = static_cast<ITNMediaContainer*>(static_cast<ITNRawVideoMediaContainer*>(this));
    else if (TNIsEqual(*iid, IID_ITNRawVideoMediaContainer))
        p = static_cast<ITNRawVideoMediaContainer*>(this);
    else if (TNIsEqual(*iid, IID_ITNObject))
        p = Identity();
    return TNAnswerQuery(this, p, out);
}

// ITNBasePlugin

const TNUUID* CTNRawVideoSource::GetPluginType() { return SourceEntry().pluginType; }
_TNStr* CTNRawVideoSource::GetName() { return SourceEntry().name; }
_TNStr* CTNRawVideoSource::GetVendor() { return SourceEntry().vendor; }
_TNStr* CTNRawVideoSource::GetLegalNotice() { return SourceEntry().legalNotice; }
_TNStr* CTNRawVideoSource::GetBuildType() { return SourceEntry().buildType; }
uint32_t CTNRawVideoSource::GetVersion() { return SourceEntry().version; }

// ITNFileSource

void CTNRawVideoSource::CloseFile() {
    QuernFileClose(fd_);
    fd_ = kNoFile;
}

TNRESULT CTNRawVideoSource::Open(_TNStr* path) {
    if (!path) return TN_E_POINTER;
    CloseFile();
    // The name is replaced even when the opening below fails.
    _TNStr* name = CTNStrCopyString(path);
    CTNStrRelease(fileName_);
    fileName_ = name;

    // The name's bytes as the file system stores them: escaped undecodable bytes (lone
    // surrogates U+DC80..U+DCFF) become those bytes again, so names that are not UTF-8 open too.
    std::string native;
    const auto* units = reinterpret_cast<const char16_t*>(CTNStrGetString(path));
    try {
        if (!tn_file_name::ToBytes(units, static_cast<size_t>(CTNStrGetLength(path)), &native))
            return TN_E_INVALIDARG;
    } catch (const std::bad_alloc&) {
        return TN_E_OOM;
    }
    int64_t size = 0;
    const TNRESULT r = QuernFileOpen(native.c_str(), &fd_, &size);
    if (TN_SUCCEEDED(r)) {
        fileSize_ = size;
        ComputeGeometry();
    }
    return r;
}

_TNStr* CTNRawVideoSource::GetFileName() { return fileName_; }

void CTNRawVideoSource::ComputeGeometry() {
    if (!TNMediaTypeIsSet(&mediaType_) || !mediaType_.format) return;
    uint32_t payload = 0;
    if (!RawVideoFramePayload(mediaType_, &payload)) {
        // A frame that the samples cannot carry: no frame can be read.
        payload_ = 0;
        frameStride_ = 0;
        frameCount_ = 0;
        return;
    }
    payload_ = payload;
    geomFilePrefix_ = filePrefix_;
    geomFramePrefix_ = framePrefix_;
    frameStride_ = uint64_t{framePostfix_} + framePrefix_ + payload;
    if (fileSize_ < static_cast<int64_t>(filePrefix_))
        frameCount_ = 0;  // not even the file prefix is complete
    else
        frameCount_ =
            (fileSize_ - static_cast<int64_t>(filePrefix_)) / static_cast<int64_t>(frameStride_);
}

bool CTNRawVideoSource::FrameOffset(int64_t index, int64_t* offset) const {
    if (index < 0 || frameStride_ == 0) return false;
    int64_t at;
    if (__builtin_mul_overflow(index, static_cast<int64_t>(frameStride_), &at)) return false;
    if (__builtin_add_overflow(at, int64_t{geomFramePrefix_} + geomFilePrefix_, &at)) return false;
    *offset = at;
    return true;
}

TNRESULT CTNRawVideoSource::ReadAt(int64_t offset, uint8_t* buffer, uint32_t length) const {
    return QuernFileReadAt(fd_, offset, buffer, length);
}

// ITNMediaContainer

_TNStr* CTNRawVideoSource::GetLabel() { return label_; }
bool CTNRawVideoSource::IsOpen() { return fd_ != kNoFile; }

TNRESULT CTNRawVideoSource::GetTrack(int32_t index, ITNMediaTrack** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (index != 0 || !track_) return TN_E_FAIL;
    track_->AddRef();
    *out = static_cast<ITNMediaTrack*>(track_);
    return TN_OK;
}

int64_t CTNRawVideoSource::GetFrameCount() { return frameCount_; }
uint32_t CTNRawVideoSource::GetFrameDuration() { return frameDuration_; }
uint32_t CTNRawVideoSource::GetTimeScale() { return timeScale_; }

// ITNRawVideoMediaContainer

TNRESULT CTNRawVideoSource::SetMediaType(int32_t index, const TNMediaType* type) {
    if (!type) return TN_E_POINTER;
    if (index != 0) return TN_E_FAIL;
    if (!TNIsEqual(type->majorType, TNMAJORTYPE_Video)) return TN_E_NOTSUPPORTED;
    if (!TNIsEqual(type->formatType, TNFORMAT_RawVideo)) return TN_E_NOTSUPPORTED;
    if (!TNIsRawVideoSubtype(type->subType)) return TN_E_FAIL;

    // Copy first, so that running out of memory leaves the source as it was.
    TNMediaType copy;
    TNMediaTypeInit(&copy);
    if (type != &mediaType_) {
        if (TN_FAILED(TNMediaTypeCopy(&copy, type))) {
            TNMediaTypeFreeFormat(&copy);
            return TN_E_OOM;
        }
        std::swap(copy, mediaType_);  // copy now holds the previous media type
    }
    CTNRawVideoMediaTrack* track = nullptr;
    const TNRESULT r = CTNRawVideoMediaTrack::Create(this, &track);
    if (TN_FAILED(r)) {
        if (type != &mediaType_) std::swap(copy, mediaType_);
        TNMediaTypeFreeFormat(&copy);
        return r;
    }
    TNMediaTypeFreeFormat(&copy);
    if (track_) track_->Release();
    track_ = track;  // Create handed over one reference
    return TN_OK;
}

TNRESULT CTNRawVideoSource::SetLabel(_TNStr* label) {
    _TNStr* held = label ? CTNStrCopyString(label) : nullptr;
    CTNStrRelease(label_);
    label_ = held;
    return TN_OK;
}

TNRESULT CTNRawVideoSource::SetOption(uint32_t value) {
    option_ = value;
    return TN_OK;
}

TNRESULT CTNRawVideoSource::SetFrameDuration(int32_t index, uint32_t value) {
    if (index != 0) return TN_E_FAIL;
    frameDuration_ = value;
    return TN_OK;
}

TNRESULT CTNRawVideoSource::SetTimeScale(int32_t index, uint32_t value) {
    if (index != 0) return TN_E_FAIL;
    timeScale_ = value;
    return TN_OK;
}

TNRESULT CTNRawVideoSource::SetFileLayout(int32_t index, uint32_t filePrefix, uint32_t framePrefix,
                                          uint32_t framePostfix) {
    if (index != 0) return TN_E_FAIL;
    filePrefix_ = filePrefix;
    framePrefix_ = framePrefix;
    framePostfix_ = framePostfix;
    return TN_OK;
}
