// Core lifetime and component creation: the plug-in scan, the class registry and instance
// creation by class identifier.
#pragma once

#include "TNBase.h"
#include "TNStr.h"

extern "C" {
// Counted initialisation. The first call (counter at 0) scans the plug-in directory: the given
// directory, or with null the directory of the process's executable, using its "plugins"
// subdirectory when there is one. Later calls only count and return TN_OK.
TN_CORE_API TNRESULT TNCoreInitialize(const _TNStr* directory);
// Creates a component of class clsid through the registered class object and asks it for iid.
// On success *object carries one reference that the caller gives back with Release.
// TN_E_POINTER for a null argument, TN_E_NOTINITIALIZED before initialisation or after the last
// close, TN_E_CLASSNOTAVAILABLE for an unknown class.
TN_CORE_API TNRESULT TNCoreCreateInstance(const TNUUID* clsid, const TNUUID* iid, void** object);
// Balances one TNCoreInitialize; the last one releases the class objects and unloads the
// plug-in libraries. A call without an open initialisation is ignored. Always TN_OK.
TN_CORE_API TNRESULT TNCoreClose(void);
}

// Ties one initialisation of the core to the lifetime of an object. Not copyable: every object
// balances exactly the one initialisation it made itself. A failed initialisation still holds
// its count (the core stays initialised with what the scan found) until the object goes.
class TN_CORE_API CTNCore {
public:
    CTNCore();
    // Initialises as Init does and discards the result.
    explicit CTNCore(const _TNStr* directory);
    CTNCore(const CTNCore&) = delete;
    CTNCore& operator=(const CTNCore&) = delete;
    // Closes the core once if this object holds a count.
    virtual ~CTNCore();
    // Calls TNCoreInitialize; on success the object counts as initialised. Once the object holds
    // a count, further calls return TN_OK without counting again.
    virtual int32_t Init(const _TNStr* directory);
    virtual bool isInitialized() const;

private:
    bool initialized;
    bool holdsCount;  // this object's TNCoreInitialize counted; the destructor gives it back
};
