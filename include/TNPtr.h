// Owning pointer for component references: every reference it holds is given back exactly once.
//
//   TNPtr<ITNSample> s;                       // empty
//   seeking->GetCurrentSample(s.Out());       // receiver owns the reference handed out
//   auto p = TNPtr<ITNObject>::Share(raw);    // takes a new reference (AddRef)
//   auto q = TNPtr<ITNObject>::Adopt(raw);    // takes over a reference already counted
//   TNPtr<ITNSeeking> seek; Query(track.get(), seek);   // typed QueryInterface
#pragma once

#include "TNInterfaces.h"

#include <cstddef>
#include <utility>

template <class T>
class TNPtr {
public:
    TNPtr() = default;
    TNPtr(std::nullptr_t) {}
    // Takes over a reference the caller already owns (no AddRef).
    static TNPtr Adopt(T* p) {
        TNPtr r;
        r.p_ = p;
        return r;
    }
    // Takes a new reference of its own (AddRef).
    static TNPtr Share(T* p) {
        if (p) p->AddRef();
        return Adopt(p);
    }
    TNPtr(const TNPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    TNPtr(TNPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    TNPtr& operator=(TNPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~TNPtr() { reset(); }

    // Gives the reference back (Release) and becomes empty.
    void reset() {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // Hands the reference to the caller without releasing it.
    T* Detach() { return std::exchange(p_, nullptr); }
    // For "T** out" parameters: releases what is held first; the receiver owns the result.
    T** Out() {
        reset();
        return &p_;
    }
    // The same slot as void**, for QueryInterface-style parameters.
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Typed QueryInterface: asks `from` for interface I and stores the result (with its reference,
// or null on refusal) in `to`, releasing what `to` held before.
template <class I, class From>
TNRESULT Query(From* from, TNPtr<I>& to) {
    if (!from) {
        to.reset();
        return TN_E_POINTER;
    }
    return from->QueryInterface(&IidOf<I>(), to.OutVoid());
}
template <class I, class From>
TNRESULT Query(const TNPtr<From>& from, TNPtr<I>& to) {
    return Query<I>(from.get(), to);
}
