// Common base of every component of the plug-in: one atomic reference count per object, shared
// by all of its interfaces, and the module's count of live objects.
#pragma once

#include "TNInterfaces.h"

#include <atomic>
#include <cstdint>

// Number of component objects of this library that exist right now (class objects included).
int32_t QuernLiveObjects();

// Holds the object's name for diagnostics and keeps the module's live-object count: +1 for every
// construction, -1 for every destruction.
class CTNBaseObject {
public:
    explicit CTNBaseObject(const wchar_t* name);
    ~CTNBaseObject();
    CTNBaseObject(const CTNBaseObject&) = delete;
    CTNBaseObject& operator=(const CTNBaseObject&) = delete;

    const wchar_t* ObjectName() const { return name_; }

private:
    const wchar_t* name_;  // a string literal of the derived class
};

// The reference count and the three ITNObject operations. Slots: AddRef, Release,
// QueryInterface, then the virtual destructor. A new object has a count of 0; its creator takes
// the first reference.
class CTNObject : public ITNObject, public CTNBaseObject {
public:
    explicit CTNObject(const wchar_t* name) : CTNBaseObject(name) {}
    uint32_t AddRef() override;
    uint32_t Release() override;
    // Answers only IID_ITNObject; every component class replaces it.
    TNRESULT QueryInterface(const TNUUID* iid, void** out) override;
    virtual ~CTNObject() = default;

    // The object's identity: the ITNObject of its CTNObject.
    ITNObject* Identity() { return static_cast<ITNObject*>(this); }
    uint32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint32_t> refs_{0};
};

// Declares the one AddRef/Release/QueryInterface of a component class: the final overrider for
// every interface base, all forwarding to the object's single CTNObject count.
#define TN_OBJECT_METHODS                                        \
    uint32_t AddRef() override { return CTNObject::AddRef(); }   \
    uint32_t Release() override { return CTNObject::Release(); } \
    TNRESULT QueryInterface(const TNUUID* iid, void** out) override;

// Stores `p` (or null) in *out; takes a reference on success.
TNRESULT TNAnswerQuery(CTNObject* self, void* p, void** out);
