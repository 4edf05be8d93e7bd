#include "PluginLibrary.h"

#include "TNDebug.h"

#include <dlfcn.h>

#include <new>

PluginLibrary* PluginLibrary::Load(const std::string& nativePath, const CTNString& displayPath) {
    void* handle = ::dlopen(nativePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        const CTNString reason = CTNString::FromUtf8(why ? why : "");
        TNDebugOutputStr(TN_LOG_DEBUG, TN_LOG_DEBUG, L"Class library not loaded: '%ls': %ls",
                         displayPath.c_str(), reason.c_str());
        return nullptr;
    }
    auto* lib = new (std::nothrow) PluginLibrary(handle, displayPath);
    if (!lib) ::dlclose(handle);
    return lib;
}

PluginLibrary::PluginLibrary(void* handle, const CTNString& path) : path_(path), handle_(handle) {}

PluginLibrary::~PluginLibrary() { ::dlclose(handle_); }

void PluginLibrary::AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }

void PluginLibrary::Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void* PluginLibrary::Symbol(const char* name) const {
    ::dlerror();
    return ::dlsym(handle_, name);
}
