#include "QuernModule.h"

#include "RawVideoSource.h"
#include "TNDebug.h"
#include "TNStr.h"

#include <cstdio>
#include <new>

namespace {

int32_t g_lockCount = 0;  // plain integer: LockServer is not synchronised

// The year of the build, taken from the compiler's date ("Mmm dd yyyy").
const char* BuildYear() { return &__DATE__[7]; }

void RawVideoSourceLoadHook(bool load, const TNUUID* classId);

TNClassEntry g_classTable[] = {
    {nullptr, nullptr, nullptr, nullptr, 0x00010000u, &CLSID_TNRawVideoSource,
     &TNPLUGINTYPE_RawVideoSource, &CTNRawVideoSource::CreateObject, &RawVideoSourceLoadHook},
};
constexpr int kClassCount = static_cast<int>(sizeof(g_classTable) / sizeof(g_classTable[0]));

void RawVideoSourceLoadHook(bool load, const TNUUID* classId) {
    for (TNClassEntry& e : g_classTable) {
        if (!classId || !TNIsEqual(*e.classId, *classId)) continue;
        if (load) {
            char notice[96];
            std::snprintf(notice, sizeof(notice),
                          "Copyright (C) %s Brellin GmbH. All rights reserved.", BuildYear());
            e.name = CTNStrCreateFromCString("RawVideoSource Plug-In");
            e.vendor = CTNStrCreateFromCString("Brellin GmbH");
            e.legalNotice = CTNStrCreateFromCString(notice);
            e.buildType = CTNStrCreateFromCString("(Release)");
        } else {
            CTNStrRelease(e.name);
            CTNStrRelease(e.vendor);
            CTNStrRelease(e.legalNotice);
            CTNStrRelease(e.buildType);
            e.name = e.vendor = e.legalNotice = e.buildType = nullptr;
        }
    }
}

// Library load and unload notifications: each entry's load hook runs once either way.
__attribute__((constructor)) void QuernAttach() {
    for (TNClassEntry& e : g_classTable)
        if (e.loadHook) e.loadHook(true, e.classId);
}
__attribute__((destructor)) void QuernDetach() {
    for (TNClassEntry& e : g_classTable)
        if (e.loadHook) e.loadHook(false, e.classId);
}

}  // namespace

TNClassEntry* QuernClassTable() { return g_classTable; }
int QuernClassCount() { return kClassCount; }
int32_t QuernLockCount() { return g_lockCount; }

const TNClassEntry* QuernFindClass(const TNUUID& classId) {
    for (const TNClassEntry& e : g_classTable)
        if (TNIsEqual(*e.classId, classId)) return &e;
    return nullptr;
}

TNRESULT CTNClassFactory::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    if (!iid) {
        *out = nullptr;
        return TN_E_POINTER;
    }
    void* p = nullptr;
    if (TNIsEqual(*iid, IID_ITNObject))
        p = Identity();
    else if (TNIsEqual(*iid, IID_ITNClassFactory))
        p = static_cast<ITNClassFactory*>(this);
    return TNAnswerQuery(this, p, out);
}

TNRESULT CTNClassFactory::CreateInstance(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    *out = nullptr;
    TNRESULT result = TN_OK;
    ITNObject* object = entry_->create(&result);
    if (!object) return TN_FAILED(result) ? result : TN_E_OOM;
    if (TN_FAILED(result)) {
        // Never handed out, so destroyed directly rather than through Release.
        delete static_cast<CTNObject*>(object);
        return result;
    }
    // Count 1 while asking; a refused query lets the final Release destroy the object.
    object->AddRef();
    const TNRESULT r = object->QueryInterface(iid, out);
    object->Release();
    return r;
}

TNRESULT CTNClassFactory::LockServer(bool lock) {
    g_lockCount += lock ? 1 : -1;
    return TN_OK;
}

extern "C" {

TNRESULT TNGetClassIDList(TNUUID* ids, int32_t* count) {
    if (ids) {
        for (int i = 0; i < kClassCount; ++i) ids[i] = *g_classTable[i].classId;
        return TN_OK;
    }
    if (count) {
        *count = kClassCount;
        return TN_OK;
    }
    return TN_E_POINTER;
}

TNRESULT TNGetClassObject(const TNUUID* classId, const TNUUID* iid, ITNClassFactory** out) {
    if (!classId || !iid || !out) return TN_E_POINTER;
    *out = nullptr;
    if (!TNIsEqual(*iid, IID_ITNObject) && !TNIsEqual(*iid, IID_ITNClassFactory))
        return TN_E_NOINTERFACE;
    const TNClassEntry* entry = QuernFindClass(*classId);
    if (!entry) return TN_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) CTNClassFactory(entry);
    if (!factory) return TN_E_OOM;
    factory->AddRef();
    *out = static_cast<ITNClassFactory*>(factory);
    return TN_OK;
}

TNRESULT TNCanUnloadNow(void) {
    const int32_t live = QuernLiveObjects();
    if (g_lockCount <= 0 && live == 0) return TN_OK;
    TNDebugOutputStr(TN_LOG_WARNING, 0,
                     L"TNCanUnloadNow: Cannot unload, locked: '%d', active objects: %d!",
                     g_lockCount > 0 ? 1 : 0, live);
    return TN_E_FAIL;
}

int32_t quernLiveObjectCount(void) { return QuernLiveObjects(); }

}  // extern "C"
