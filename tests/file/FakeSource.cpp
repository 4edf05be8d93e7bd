// A raw video source plug-in that fails on purpose, one step at a time, so that the view's error
// texts for components that misbehave can be reached. It registers the real source's class
// identifier; the view tests load it from a directory of its own instead of the real plug-in.
//
// Every object counts itself in the library's live-object count, so the tests can check that the
// view gives back every reference on every failure path.
#include "TNBase.h"
#include "TNInterfaces.h"

#include <atomic>
#include <cstring>
#include <new>
#include <vector>

namespace {

std::atomic<int32_t> gLive{0};
std::atomic<int32_t> gReferences{0};  // references held on all objects of this library
int32_t gFailure = 0;
int32_t gFrameBytes = 0;

enum Failure : int32_t {
    kFailNone = 0,
    kFailCreate = 1,          // the class object refuses to create the source
    kFailRawContainer = 2,    // no ITNRawVideoMediaContainer
    kFailFileSource = 3,      // no ITNFileSource
    kFailMediaContainer = 4,  // no ITNMediaContainer (the raw container answers)
    kFailGetTrack = 5,        // GetTrack fails
    kFailSeeking = 6,         // the track has no ITNSeeking
    kFailSample = 7,          // GetCurrentSample fails
};

class Counted {
public:
    Counted() { ++gLive; }
    virtual ~Counted() { --gLive; }
    uint32_t AddRefImpl() {
        ++gReferences;
        return ++refs_;
    }
    uint32_t ReleaseImpl() {
        --gReferences;
        const uint32_t n = --refs_;
        if (n == 0) delete this;
        return n;
    }

private:
    std::atomic<uint32_t> refs_{0};
};

#define FAKE_OBJECT_METHODS                               \
    uint32_t AddRef() override { return AddRefImpl(); }   \
    uint32_t Release() override { return ReleaseImpl(); } \
    TNRESULT QueryInterface(const TNUUID* iid, void** out) override;

class FakeSample final : public ITNSample, public Counted {
public:
    FakeSample() : data_(static_cast<size_t>(gFrameBytes), 0x80) {}
    FAKE_OBJECT_METHODS
    uint32_t GetSize() override { return static_cast<uint32_t>(data_.size()); }
    TNRESULT GetPointer(uint8_t** out) override {
        *out = data_.data();
        return TN_OK;
    }
    TNRESULT GetMediaType(TNMediaType*) override { return TN_FALSE; }
    TNRESULT SetMediaType(const TNMediaType*) override { return TN_OK; }
    int64_t GetStart() override { return 0; }
    TNRESULT SetStart(int64_t) override { return TN_OK; }
    int64_t GetEnd() override { return 1; }
    TNRESULT SetEnd(int64_t) override { return TN_OK; }
    uint32_t GetFrameDuration() override { return 1; }
    TNRESULT SetFrameDuration(uint32_t) override { return TN_OK; }
    uint32_t GetTimeScale() override { return 25; }
    TNRESULT SetTimeScale(uint32_t) override { return TN_OK; }
    uint32_t GetDataLength() override { return static_cast<uint32_t>(data_.size()); }
    TNRESULT SetDataLength(uint32_t) override { return TN_OK; }

private:
    std::vector<uint8_t> data_;
};

TNRESULT FakeSample::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (TNIsEqual(*iid, IID_ITNSample) || TNIsEqual(*iid, IID_ITNObject)) {
        *out = static_cast<ITNSample*>(this);
        AddRef();
        return TN_OK;
    }
    return TN_E_NOINTERFACE;
}

class FakeTrack final : public ITNMediaTrack, public ITNSeeking, public Counted {
public:
    FAKE_OBJECT_METHODS
    TNRESULT GetMediaType(TNMediaType*) override { return TN_OK; }
    int32_t GetSegmentCount() override { return 1; }
    TNRESULT GetSegment(int32_t, ITNMediaTrackSegment** out) override {
        *out = nullptr;
        return TN_E_NOTIMPL;
    }
    int64_t GetFrameCount() override { return 2; }
    uint32_t GetFrameDuration() override { return 1; }
    uint32_t GetTimeScale() override { return 25; }
    TNRESULT SetAllocator(ITNMemAllocator*) override { return TN_OK; }

    TNRESULT Reset() override {
        position_ = -1;
        return TN_OK;
    }
    TNRESULT GetCurrentSample(ITNSample** out) override {
        *out = nullptr;
        if (gFailure == kFailSample) return TN_E_READ;
        auto* sample = new (std::nothrow) FakeSample();
        if (!sample) return TN_E_OOM;
        sample->AddRef();
        *out = sample;
        return TN_OK;
    }
    TNRESULT GetPreviousSample(ITNSample** out) override { return GetCurrentSample(out); }
    TNRESULT GetNextSample(ITNSample** out) override { return GetCurrentSample(out); }
    TNRESULT GetPosition(int64_t* out) override {
        *out = position_;
        return TN_OK;
    }
    TNRESULT SetPosition(int64_t position) override {
        position_ = position;
        return TN_OK;
    }

private:
    int64_t position_ = -1;
};

TNRESULT FakeTrack::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (TNIsEqual(*iid, IID_ITNMediaTrack) || TNIsEqual(*iid, IID_ITNObject)) {
        *out = static_cast<ITNMediaTrack*>(this);
    } else if (TNIsEqual(*iid, IID_ITNSeeking) && gFailure != kFailSeeking) {
        *out = static_cast<ITNSeeking*>(this);
    }
    if (!*out) return TN_E_NOINTERFACE;
    AddRef();
    return TN_OK;
}

class FakeSource final : public ITNBasePlugin,
                         public ITNFileSource,
                         public ITNRawVideoMediaContainer,
                         public Counted {
public:
    FAKE_OBJECT_METHODS
    const TNUUID* GetPluginType() override { return &TNPLUGINTYPE_RawVideoSource; }
    _TNStr* GetName() override { return nullptr; }
    _TNStr* GetVendor() override { return nullptr; }
    _TNStr* GetLegalNotice() override { return nullptr; }
    _TNStr* GetBuildType() override { return nullptr; }
    uint32_t GetVersion() override { return 0x00010000; }

    TNRESULT Open(_TNStr*) override { return TN_OK; }
    _TNStr* GetFileName() override { return nullptr; }

    _TNStr* GetLabel() override { return nullptr; }
    bool IsOpen() override { return true; }
    TNRESULT GetTrack(int32_t, ITNMediaTrack** out) override {
        *out = nullptr;
        if (gFailure == kFailGetTrack) return TN_E_INVALIDARG;
        auto* track = new (std::nothrow) FakeTrack();
        if (!track) return TN_E_OOM;
        track->AddRef();
        *out = track;
        return TN_OK;
    }
    int64_t GetFrameCount() override { return 2; }
    uint32_t GetFrameDuration() override { return 1; }
    uint32_t GetTimeScale() override { return 25; }
    TNRESULT SetMediaType(int32_t, const TNMediaType*) override { return TN_OK; }
    TNRESULT SetLabel(_TNStr*) override { return TN_OK; }
    TNRESULT SetOption(uint32_t) override { return TN_OK; }
    TNRESULT SetFrameDuration(int32_t, uint32_t) override { return TN_OK; }
    TNRESULT SetTimeScale(int32_t, uint32_t) override { return TN_OK; }
    TNRESULT SetFileLayout(int32_t, uint32_t, uint32_t, uint32_t) override { return TN_OK; }
};

TNRESULT FakeSource::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (TNIsEqual(*iid, IID_ITNBasePlugin) || TNIsEqual(*iid, IID_ITNObject)) {
        *out = static_cast<ITNBasePlugin*>(this);
    } else if (TNIsEqual(*iid, IID_ITNFileSource) && gFailure != kFailFileSource) {
        *out = static_cast<ITNFileSource*>(this);
    } else if (TNIsEqual(*iid, IID_ITNRawVideoMediaContainer) && gFailure != kFailRawContainer) {
        *out = static_cast<ITNRawVideoMediaContainer*>(this);
    } else if (TNIsEqual(*iid, IID_ITNMediaContainer) && gFailure != kFailMediaContainer) {
        *out = static_cast<ITNMediaContainer*>(static_cast<ITNRawVideoMediaContainer*>(this));
    }
    if (!*out) return TN_E_NOINTERFACE;
    AddRef();
    return TN_OK;
}

class FakeFactory final : public ITNClassFactory, public Counted {
public:
    FAKE_OBJECT_METHODS
    TNRESULT CreateInstance(const TNUUID* iid, void** out) override {
        if (!out) return TN_E_POINTER;
        *out = nullptr;
        if (gFailure == kFailCreate) return TN_E_OOM;
        auto* source = new (std::nothrow) FakeSource();
        if (!source) return TN_E_OOM;
        source->AddRef();
        const TNRESULT r = source->QueryInterface(iid, out);
        source->Release();
        return r;
    }
    TNRESULT LockServer(bool) override { return TN_OK; }
};

TNRESULT FakeFactory::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    if (TNIsEqual(*iid, IID_ITNClassFactory) || TNIsEqual(*iid, IID_ITNObject)) {
        *out = static_cast<ITNClassFactory*>(this);
        AddRef();
        return TN_OK;
    }
    return TN_E_NOINTERFACE;
}

}  // namespace

extern "C" {
TN_PLUGIN_EXPORT TNRESULT TNGetClassIDList(TNUUID* ids, int32_t* count) {
    if (ids) {
        ids[0] = CLSID_TNRawVideoSource;
        return TN_OK;
    }
    if (count) {
        *count = 1;
        return TN_OK;
    }
    return TN_E_POINTER;
}

TN_PLUGIN_EXPORT TNRESULT TNGetClassObject(const TNUUID* clsid, const TNUUID* iid,
                                           ITNClassFactory** out) {
    if (!clsid || !iid || !out) return TN_E_POINTER;
    *out = nullptr;
    if (!TNIsEqual(*clsid, CLSID_TNRawVideoSource)) return TN_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) FakeFactory();
    if (!factory) return TN_E_OOM;
    factory->AddRef();
    *out = factory;
    return TN_OK;
}

TN_PLUGIN_EXPORT TNRESULT TNCanUnloadNow(void) { return gLive.load() == 0 ? TN_OK : TN_E_FAIL; }

// Test controls: which step fails, and the byte count of the frames the samples carry.
TN_PLUGIN_EXPORT void fakeSourceConfigure(int32_t failure, int32_t frameBytes) {
    gFailure = failure;
    gFrameBytes = frameBytes;
}
TN_PLUGIN_EXPORT int32_t fakeSourceLiveObjectCount(void) { return gLive.load(); }
TN_PLUGIN_EXPORT int32_t fakeSourceReferenceCount(void) { return gReferences.load(); }
}
