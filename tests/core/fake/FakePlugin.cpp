// A small plug-in library for the registry tests. Built several times with different
// definitions:
//   FAKE_TAG            the library's tag, a wide literal
//   FAKE_OFFER_B        also offer CLSID_FakeB (every build offers CLSID_FakeA)
//   FAKE_NO_CANUNLOAD   lack the TNCanUnloadNow entry point, so the library is no plug-in
// Class objects and components count themselves in the live-object count; class objects and
// the library's unloading announce themselves in the debug log, so tests can see them go.
#include "FakePlugin.h"
#include "TNDebug.h"

#include <atomic>
#include <new>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<int> g_liveObjects{0};
int g_locks = 0;

const wchar_t* ClassNameOf(const TNUUID& clsid) {
    return TNIsEqual(clsid, CLSID_FakeA) ? L"A" : L"B";
}

bool Offers(const TNUUID& clsid) {
#ifdef FAKE_OFFER_B
    if (TNIsEqual(clsid, CLSID_FakeB)) return true;
#endif
    return TNIsEqual(clsid, CLSID_FakeA);
}

// Reference counting shared by the fake plug-in's objects: one count, deleted at zero.
template <class Interface>
class FakeCounted : public Interface {
public:
    virtual ~FakeCounted() = default;
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override {
        const uint32_t n = --refs_;
        if (n != 0) return n;
        refs_ = 1;
        delete this;
        return 0;
    }

private:
    std::atomic<uint32_t> refs_{0};
};

class FakeObject : public FakeCounted<IFakeTag> {
public:
    explicit FakeObject(const TNUUID& clsid) : clsid_(clsid) { ++g_liveObjects; }
    ~FakeObject() override { --g_liveObjects; }

    TNRESULT QueryInterface(const TNUUID* iid, void** out) override {
        if (!out) return TN_E_POINTER;
        *out = nullptr;
        if (!TNIsEqual(*iid, IID_IFakeTag) && !TNIsEqual(*iid, IID_ITNObject))
            return TN_E_NOINTERFACE;
        *out = static_cast<IFakeTag*>(this);
        AddRef();
        return TN_OK;
    }
    const wchar_t* Tag() override { return FAKE_TAG; }
    const wchar_t* ClassName() override { return ClassNameOf(clsid_); }

private:
    TNUUID clsid_;
};

class FakeFactory : public FakeCounted<ITNClassFactory> {
public:
    explicit FakeFactory(const TNUUID& clsid) : clsid_(clsid) { ++g_liveObjects; }
    ~FakeFactory() override {
        TNDebugOutputStr(TN_LOG_INFO, 0, L"FakePlugin %ls: class object %ls released", FAKE_TAG,
                         ClassNameOf(clsid_));
        --g_liveObjects;
    }

    TNRESULT QueryInterface(const TNUUID* iid, void** out) override {
        if (!out) return TN_E_POINTER;
        *out = nullptr;
        if (!TNIsEqual(*iid, IID_ITNClassFactory) && !TNIsEqual(*iid, IID_ITNObject))
            return TN_E_NOINTERFACE;
        *out = static_cast<ITNClassFactory*>(this);
        AddRef();
        return TN_OK;
    }
    // Asked for IID_ITNClassFactory, hands out the class object itself, so that a test can hold
    // a reference to it past the core's close.
    TNRESULT CreateInstance(const TNUUID* iid, void** out) override {
        if (!out) return TN_E_POINTER;
        *out = nullptr;
        if (TNIsEqual(*iid, IID_ITNClassFactory)) return QueryInterface(iid, out);
        auto* object = new (std::nothrow) FakeObject(clsid_);
        if (!object) return TN_E_OOM;
        object->AddRef();
        const TNRESULT r = object->QueryInterface(iid, out);
        object->Release();
        return r;
    }
    TNRESULT LockServer(bool lock) override {
        g_locks += lock ? 1 : -1;
        return TN_OK;
    }

private:
    TNUUID clsid_;
};

__attribute__((destructor)) void AnnounceUnload() {
    TNDebugOutputStr(TN_LOG_INFO, 0, L"FakePlugin %ls: unloaded", FAKE_TAG);
}

}  // namespace

FAKE_EXPORT TNRESULT TNGetClassIDList(TNUUID* ids, int32_t* count) {
    if (ids) {
        ids[0] = CLSID_FakeA;
#ifdef FAKE_OFFER_B
        ids[1] = CLSID_FakeB;
#endif
        return TN_OK;
    }
    if (!count) return TN_E_POINTER;
#ifdef FAKE_OFFER_B
    *count = 2;
#else
    *count = 1;
#endif
    return TN_OK;
}

FAKE_EXPORT TNRESULT TNGetClassObject(const TNUUID* clsid, const TNUUID* iid,
                                      ITNClassFactory** out) {
    if (!clsid || !iid || !out) return TN_E_POINTER;
    *out = nullptr;
    if (!TNIsEqual(*iid, IID_ITNClassFactory) && !TNIsEqual(*iid, IID_ITNObject))
        return TN_E_NOINTERFACE;
    if (!Offers(*clsid)) return TN_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) FakeFactory(*clsid);
    if (!factory) return TN_E_OOM;
    factory->AddRef();
    *out = factory;
    return TN_OK;
}

#ifndef FAKE_NO_CANUNLOAD
FAKE_EXPORT TNRESULT TNCanUnloadNow(void) {
    if (g_locks <= 0 && g_liveObjects.load() == 0) return TN_OK;
    TNDebugOutputStr(TN_LOG_WARNING, 0,
                     L"TNCanUnloadNow: Cannot unload, locked: '%d', active objects: %d!",
                     g_locks > 0 ? 1 : 0, g_liveObjects.load());
    return TN_E_FAIL;
}
#endif
