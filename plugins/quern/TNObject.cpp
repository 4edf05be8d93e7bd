#include "TNObject.h"

namespace {
std::atomic<int32_t> g_liveObjects{0};
}

int32_t QuernLiveObjects() { return g_liveObjects.load(std::memory_order_acquire); }

CTNBaseObject::CTNBaseObject(const wchar_t* name) : name_(name) {
    g_liveObjects.fetch_add(1, std::memory_order_acq_rel);
}

CTNBaseObject::~CTNBaseObject() { g_liveObjects.fetch_sub(1, std::memory_order_acq_rel); }

uint32_t CTNObject::AddRef() {
    const uint32_t n = refs_.fetch_add(1, std::memory_order_relaxed) + 1;
    return n == 0 ? 1 : n;  // a wrapped count still reports a live object
}

uint32_t CTNObject::Release() {
    const uint32_t n = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n != 0) return n;
    // Teardown may take and drop references to this object again; a count of 1 keeps those from
    // starting a second destruction.
    refs_.store(1, std::memory_order_relaxed);
    delete this;
    return 0;
}

TNRESULT CTNObject::QueryInterface(const TNUUID* iid, void** out) {
    if (!out) return TN_E_POINTER;
    if (!iid) {
        *out = nullptr;
        return TN_E_POINTER;
    }
    void* p = nullptr;
    if (TNIsEqual(*iid, IID_ITNObject)) p = Identity();
    return TNAnswerQuery(this, p, out);
}

TNRESULT TNAnswerQuery(CTNObject* self, void* p, void** out) {
    *out = p;
    if (!p) return TN_E_NOINTERFACE;
    self->AddRef();
    return TN_OK;
}
