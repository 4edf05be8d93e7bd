// Module state of the plug-in library: the class table, the lock count, the class object and
// the exported entry points.
#pragma once

#include "TNObject.h"

// One class the library offers.
struct TNClassEntry {
    _TNStr* name;  // created by the load hook at library load, released at unload
    _TNStr* vendor;
    _TNStr* legalNotice;
    _TNStr* buildType;
    uint32_t version;
    const TNUUID* classId;
    const TNUUID* pluginType;
    // Makes a new object with a count of 0 and returns its ITNObject (its CTNObject), or null.
    // May store a failure code through `result`.
    ITNObject* (*create)(TNRESULT* result);
    // true at library load, false at unload.
    void (*loadHook)(bool load, const TNUUID* classId);
};

// The class table and its length.
TNClassEntry* QuernClassTable();
int QuernClassCount();
// The entry of a class identifier, or null.
const TNClassEntry* QuernFindClass(const TNUUID& classId);
// Lock count changed by ITNClassFactory::LockServer.
int32_t QuernLockCount();

// Class object bound to one class table entry.
class CTNClassFactory : public ITNClassFactory, public CTNObject {
public:
    explicit CTNClassFactory(const TNClassEntry* entry)
        : CTNObject(L"ClassFactory"), entry_(entry) {}
    TN_OBJECT_METHODS
    // *out receives the new component's requested interface with one reference, or null.
    TNRESULT CreateInstance(const TNUUID* iid, void** out) override;
    TNRESULT LockServer(bool lock) override;

private:
    const TNClassEntry* entry_;
};

extern "C" {
TN_PLUGIN_EXPORT TNRESULT TNGetClassIDList(TNUUID* ids, int32_t* count);
// *out receives a new class object with one reference for the caller, or null.
TN_PLUGIN_EXPORT TNRESULT TNGetClassObject(const TNUUID* classId, const TNUUID* iid,
                                           ITNClassFactory** out);
TN_PLUGIN_EXPORT TNRESULT TNCanUnloadNow(void);
// Diagnostics for tests: the number of live component objects of this library.
TN_PLUGIN_EXPORT int32_t quernLiveObjectCount(void);
}
