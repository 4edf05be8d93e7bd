// Component interfaces, identifiers and the records passed between the core, the raw video
// source plug-in and the viewer.
//
// The deliverables are built separately and call one another through virtual-function slots, so
// the order of the operations in every interface below is part of the binary contract: new
// operations may only ever be appended to the most derived interface, never inserted.
//
// Every interface is a pure abstract class without data whose destructor is protected and not
// virtual: it occupies no slot, and nobody can delete a component through an interface pointer.
// Components are destroyed only by the Release that gives back their last reference.
#pragma once

#include "TNBase.h"
#include "TNStr.h"

#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// Identifiers. Written as data1-data2-data3-data4[0..1]-data4[2..7]; data1..data3 are stored in
// native (little-endian) byte order, so e.g. IID_ITNObject is, byte by byte, eight zero bytes
// followed by 54 4E 00 00 00 00 42 4C.

inline constexpr TNUUID TNUUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline constexpr TNUUID IID_ITNObject = {
    0x00000000, 0x0000, 0x0000, {0x54, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x42, 0x4C}};
inline constexpr TNUUID IID_ITNClassFactory = {
    0x00000001, 0x0000, 0x0000, {0x54, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x42, 0x4C}};
inline constexpr TNUUID IID_ITNBasePlugin = {
    0xBF0AA5E1, 0xB7D5, 0x473C, {0xAE, 0x50, 0x6A, 0x02, 0xBD, 0x38, 0xBA, 0x70}};
inline constexpr TNUUID IID_ITNSample = {
    0xA85901D7, 0x4B7E, 0x7597, {0x9F, 0x72, 0x49, 0xA0, 0x3A, 0xBD, 0x34, 0xB7}};
inline constexpr TNUUID IID_ITNMemAllocator = {
    0x38C5AA9B, 0x8B2C, 0x4EE6, {0x8A, 0x5C, 0x2C, 0xF6, 0x3B, 0x1A, 0xB9, 0x50}};
inline constexpr TNUUID IID_ITNSeeking = {
    0x2BA3E32C, 0x47E1, 0x9628, {0xA8, 0xE2, 0x15, 0xA2, 0xDD, 0x57, 0xB8, 0xF2}};
inline constexpr TNUUID IID_ITNMediaTrackSegment = {
    0x782E07A9, 0x4992, 0xEE2D, {0x70, 0x5C, 0x40, 0xAB, 0x9D, 0x3F, 0x43, 0xA4}};
inline constexpr TNUUID IID_ITNMediaTrack = {
    0xBAC3B428, 0x40B2, 0x7BAF, {0x13, 0x60, 0x58, 0x80, 0x86, 0xBA, 0x81, 0x65}};
inline constexpr TNUUID IID_ITNFileSource = {
    0x4DA9243C, 0x45C3, 0x48AA, {0x27, 0xD4, 0x59, 0xB5, 0xDF, 0xDD, 0x0A, 0xF0}};
inline constexpr TNUUID IID_ITNMediaContainer = {
    0x6A36AD5E, 0x4EC1, 0x62D7, {0x21, 0x71, 0x71, 0x9A, 0x6C, 0x8D, 0xE3, 0x86}};
inline constexpr TNUUID IID_ITNRawVideoMediaContainer = {
    0x5FFCED9E, 0x9081, 0x44F7, {0x97, 0xF9, 0x2E, 0x95, 0x33, 0x2D, 0x26, 0x1A}};

// Class of the raw video source component.
inline constexpr TNUUID CLSID_TNRawVideoSource = {
    0xED3F5A8C, 0x4704, 0x401C, {0xB1, 0x38, 0x90, 0x61, 0x1C, 0x46, 0xB0, 0xC5}};
// Plug-in type that the raw video source reports through ITNBasePlugin::GetPluginType.
inline constexpr TNUUID TNPLUGINTYPE_RawVideoSource = {
    0x242618BB, 0x48F5, 0xCDB8, {0x1D, 0x91, 0x19, 0xBD, 0xCB, 0xAF, 0xB1, 0xD7}};
// Major type of a raw video media type.
inline constexpr TNUUID TNMAJORTYPE_Video = {
    0x6C77B6BE, 0x49C4, 0xAAA7, {0x54, 0xFC, 0xCB, 0x86, 0xCF, 0x38, 0x64, 0x24}};
// Format type: the format block is a raw video format block.
inline constexpr TNUUID TNFORMAT_RawVideo = {
    0xA7CA1F3C, 0x4DA8, 0x1FAE, {0xB8, 0x7D, 0x29, 0xB5, 0x27, 0xB1, 0xBE, 0x3E}};
// Subtype template of raw video: data1 holds the pixel layout code. The remaining twelve bytes
// are always 8D 45 B6 59 6B 1F FB 8A 88 5B 11 E2.
inline constexpr TNUUID TNSUBTYPE_RawVideo = {
    0x00000000, 0x458D, 0x59B6, {0x6B, 0x1F, 0xFB, 0x8A, 0x88, 0x5B, 0x11, 0xE2}};

// The raw video subtype of a pixel layout code.
inline TNUUID TNMakeRawVideoSubtype(uint32_t layoutCode) {
    TNUUID id = TNSUBTYPE_RawVideo;
    id.data1 = layoutCode;
    return id;
}
// True when the subtype is a raw video subtype (its last twelve bytes match the template),
// whatever layout code it carries.
inline bool TNIsRawVideoSubtype(const TNUUID& id) {
    return std::memcmp(reinterpret_cast<const uint8_t*>(&id) + 4,
                       reinterpret_cast<const uint8_t*>(&TNSUBTYPE_RawVideo) + 4, 12) == 0;
}
// The pixel layout code stored in a raw video subtype.
inline uint32_t TNRawVideoSubtypeCode(const TNUUID& id) { return id.data1; }

// ---------------------------------------------------------------------------------------------
// Records.

// Description of a stream's data. The format block belongs to the record that points to it; it
// is allocated with malloc and freed with free on the C heap that all deliverables share.
struct TNMediaType {
    uint32_t size;             // byte size of this record (72)
    TNUUID majorType;          // TNMAJORTYPE_Video, or TNUUID_NULL when it describes nothing
    TNUUID subType;            // TNSUBTYPE_RawVideo with the pixel layout code
    uint8_t fixedSizeSamples;  // 1 in every record the system creates
    uint32_t reserved;         // 0
    TNUUID formatType;         // TNFORMAT_RawVideo
    int32_t formatSize;        // byte size of the format block, 0 when there is none
    uint8_t* format;           // the format block (malloc), or null
};
static_assert(sizeof(TNMediaType) == 72, "TNMediaType is 72 bytes on a 64-bit target");

// Buffer pool configuration of an allocator.
struct TNAllocatorProperties {
    int32_t bufferCount;
    int32_t bufferSize;  // rounded up to a multiple of the larger alignment
    int32_t alignment;
    int32_t minimumAlignment;
};
static_assert(sizeof(TNAllocatorProperties) == 16, "four 32-bit fields");

// An empty media type: all zero except size and fixedSizeSamples. Overwrites the record without
// freeing anything; use it on fresh records only.
inline void TNMediaTypeInit(TNMediaType* mt) {
    std::memset(mt, 0, sizeof(*mt));
    mt->size = static_cast<uint32_t>(sizeof(TNMediaType));
    mt->fixedSizeSamples = 1;
}

// A media type is set when it names a major type.
inline bool TNMediaTypeIsSet(const TNMediaType* mt) {
    return mt != nullptr && !TNIsEqual(mt->majorType, TNUUID_NULL);
}

// Frees the record's format block and clears the pointer and size.
inline void TNMediaTypeFreeFormat(TNMediaType* mt) {
    if (!mt) return;
    std::free(mt->format);
    mt->format = nullptr;
    mt->formatSize = 0;
}

// Frees the format block and makes the record empty again.
inline void TNMediaTypeReset(TNMediaType* mt) {
    if (!mt) return;
    std::free(mt->format);
    TNMediaTypeInit(mt);
}

// Deep copy: frees dst's own format block first (so dst must be initialised), copies every
// field and duplicates src's format block. On allocation failure dst->format is null and the
// result is TN_E_OOM. Copying a record onto itself changes nothing.
inline TNRESULT TNMediaTypeCopy(TNMediaType* dst, const TNMediaType* src) {
    if (!dst || !src) return TN_E_POINTER;
    if (dst == src) return TN_OK;
    std::free(dst->format);
    *dst = *src;
    dst->format = nullptr;
    if (src->format && src->formatSize > 0) {
        auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(src->formatSize)));
        if (!block) return TN_E_OOM;
        std::memcpy(block, src->format, static_cast<size_t>(src->formatSize));
        dst->format = block;
    }
    return TN_OK;
}

// ---------------------------------------------------------------------------------------------
// Interfaces, operations in slot order.

struct ITNMediaTrack;
struct ITNMediaTrackSegment;
struct ITNSample;
struct ITNMemAllocator;

// Slots 0-2 of every interface. An interface pointer handed out through an out-pointer carries
// one reference for the receiver.
struct ITNObject {
    virtual uint32_t AddRef() = 0;                                       // 0: the new count
    virtual uint32_t Release() = 0;                                      // 1: remaining count
    virtual TNRESULT QueryInterface(const TNUUID* iid, void** out) = 0;  // 2: out owns a ref

protected:
    ~ITNObject() = default;
};

// Class object of a plug-in library.
struct ITNClassFactory : ITNObject {
    // 3: a new component; *out receives one reference (null on failure).
    virtual TNRESULT CreateInstance(const TNUUID* iid, void** out) = 0;
    virtual TNRESULT LockServer(bool lock) = 0;  // 4: always TN_OK

protected:
    ~ITNClassFactory() = default;
};

// Primary interface of a plug-in's top-level component. The strings are borrowed.
struct ITNBasePlugin : ITNObject {
    virtual const TNUUID* GetPluginType() = 0;  // 3
    virtual _TNStr* GetName() = 0;              // 4
    virtual _TNStr* GetVendor() = 0;            // 5
    virtual _TNStr* GetLegalNotice() = 0;       // 6
    virtual _TNStr* GetBuildType() = 0;         // 7
    virtual uint32_t GetVersion() = 0;          // 8

protected:
    ~ITNBasePlugin() = default;
};

struct ITNFileSource : ITNObject {
    virtual TNRESULT Open(_TNStr* path) = 0;  // 3
    virtual _TNStr* GetFileName() = 0;        // 4: borrowed, or null

protected:
    ~ITNFileSource() = default;
};

struct ITNMediaContainer : ITNObject {
    virtual _TNStr* GetLabel() = 0;                                     // 3: borrowed, or null
    virtual bool IsOpen() = 0;                                          // 4
    virtual TNRESULT GetTrack(int32_t index, ITNMediaTrack** out) = 0;  // 5: out owns a ref
    virtual int64_t GetFrameCount() = 0;                                // 6
    virtual uint32_t GetFrameDuration() = 0;                            // 7
    virtual uint32_t GetTimeScale() = 0;                                // 8

protected:
    ~ITNMediaContainer() = default;
};

struct ITNRawVideoMediaContainer : ITNMediaContainer {
    virtual TNRESULT SetMediaType(int32_t index, const TNMediaType* type) = 0;  // 9
    virtual TNRESULT SetLabel(_TNStr* label) = 0;                               // 10
    virtual TNRESULT SetOption(uint32_t value) = 0;                             // 11
    virtual TNRESULT SetFrameDuration(int32_t index, uint32_t value) = 0;       // 12
    virtual TNRESULT SetTimeScale(int32_t index, uint32_t value) = 0;           // 13
    virtual TNRESULT SetFileLayout(int32_t index, uint32_t filePrefix, uint32_t framePrefix,
                                   uint32_t framePostfix) = 0;  // 14

protected:
    ~ITNRawVideoMediaContainer() = default;
};

struct ITNMediaTrack : ITNObject {
    // 3: deep copy into an initialised record; the caller owns the copied format block.
    virtual TNRESULT GetMediaType(TNMediaType* out) = 0;
    virtual int32_t GetSegmentCount() = 0;                                       // 4
    virtual TNRESULT GetSegment(int32_t index, ITNMediaTrackSegment** out) = 0;  // 5
    virtual int64_t GetFrameCount() = 0;                                         // 6
    virtual uint32_t GetFrameDuration() = 0;                                     // 7
    virtual uint32_t GetTimeScale() = 0;                                         // 8
    virtual TNRESULT SetAllocator(ITNMemAllocator* allocator) = 0;               // 9

protected:
    ~ITNMediaTrack() = default;
};

struct ITNSeeking : ITNObject {
    virtual TNRESULT Reset() = 0;                             // 3
    virtual TNRESULT GetCurrentSample(ITNSample** out) = 0;   // 4: out owns a ref
    virtual TNRESULT GetPreviousSample(ITNSample** out) = 0;  // 5: out owns a ref
    virtual TNRESULT GetNextSample(ITNSample** out) = 0;      // 6: out owns a ref
    virtual TNRESULT GetPosition(int64_t* out) = 0;           // 7
    virtual TNRESULT SetPosition(int64_t position) = 0;       // 8

protected:
    ~ITNSeeking() = default;
};

struct ITNMediaTrackSegment : ITNObject {
    // 3: shallow copy; out->format stays the segment's block (neither free nor keep it).
    virtual TNRESULT GetMediaType(TNMediaType* out) = 0;
    virtual int64_t GetFrameCount() = 0;      // 4
    virtual uint32_t GetFrameDuration() = 0;  // 5
    virtual uint32_t GetTimeScale() = 0;      // 6

protected:
    ~ITNMediaTrackSegment() = default;
};

struct ITNSample : ITNObject {
    virtual uint32_t GetSize() = 0;                  // 3: buffer capacity
    virtual TNRESULT GetPointer(uint8_t** out) = 0;  // 4: borrowed buffer
    // 5: hands the media type over once (deep copy); TN_FALSE when there is none.
    virtual TNRESULT GetMediaType(TNMediaType* out) = 0;
    virtual TNRESULT SetMediaType(const TNMediaType* type) = 0;  // 6
    virtual int64_t GetStart() = 0;                              // 7
    virtual TNRESULT SetStart(int64_t start) = 0;                // 8
    virtual int64_t GetEnd() = 0;                                // 9
    virtual TNRESULT SetEnd(int64_t end) = 0;                    // 10
    virtual uint32_t GetFrameDuration() = 0;                     // 11
    virtual TNRESULT SetFrameDuration(uint32_t value) = 0;       // 12
    virtual uint32_t GetTimeScale() = 0;                         // 13
    virtual TNRESULT SetTimeScale(uint32_t value) = 0;           // 14
    virtual uint32_t GetDataLength() = 0;                        // 15
    virtual TNRESULT SetDataLength(uint32_t length) = 0;         // 16

protected:
    ~ITNSample() = default;
};

struct ITNMemAllocator : ITNObject {
    virtual TNRESULT Commit() = 0;                    // 3
    virtual TNRESULT Decommit() = 0;                  // 4: always TN_OK
    virtual TNRESULT GetBuffer(ITNSample** out) = 0;  // 5: out owns a ref
    virtual TNRESULT SetProperties(const TNAllocatorProperties* request,
                                   TNAllocatorProperties* actual) = 0;  // 6
    virtual TNRESULT GetProperties(TNAllocatorProperties* out) = 0;     // 7
    virtual TNRESULT ReleaseBuffer(ITNSample* sample) = 0;              // 8

protected:
    ~ITNMemAllocator() = default;
};

// ---------------------------------------------------------------------------------------------
// The three entry points every plug-in library exports by these names (plain C functions).
//   TNGetClassIDList(ids or null, count or null)
//   TNGetClassObject(class id, interface id (IID_ITNObject or IID_ITNClassFactory), out)
//   TNCanUnloadNow()
typedef TNRESULT (*TNGetClassIDListFn)(TNUUID* ids, int32_t* count);
typedef TNRESULT (*TNGetClassObjectFn)(const TNUUID* clsid, const TNUUID* iid,
                                       ITNClassFactory** out);
typedef TNRESULT (*TNCanUnloadNowFn)(void);

// ---------------------------------------------------------------------------------------------
// The identifier of each interface, for typed queries (see TNPtr.h).
template <class I>
const TNUUID& IidOf();
template <>
inline const TNUUID& IidOf<ITNObject>() {
    return IID_ITNObject;
}
template <>
inline const TNUUID& IidOf<ITNClassFactory>() {
    return IID_ITNClassFactory;
}
template <>
inline const TNUUID& IidOf<ITNBasePlugin>() {
    return IID_ITNBasePlugin;
}
template <>
inline const TNUUID& IidOf<ITNFileSource>() {
    return IID_ITNFileSource;
}
template <>
inline const TNUUID& IidOf<ITNMediaContainer>() {
    return IID_ITNMediaContainer;
}
template <>
inline const TNUUID& IidOf<ITNRawVideoMediaContainer>() {
    return IID_ITNRawVideoMediaContainer;
}
template <>
inline const TNUUID& IidOf<ITNMediaTrack>() {
    return IID_ITNMediaTrack;
}
template <>
inline const TNUUID& IidOf<ITNSeeking>() {
    return IID_ITNSeeking;
}
template <>
inline const TNUUID& IidOf<ITNMediaTrackSegment>() {
    return IID_ITNMediaTrackSegment;
}
template <>
inline const TNUUID& IidOf<ITNSample>() {
    return IID_ITNSample;
}
template <>
inline const TNUUID& IidOf<ITNMemAllocator>() {
    return IID_ITNMemAllocator;
}
