// One loaded plug-in library, shared by the class entries it provided. The library stays
// loaded while any reference exists and is unloaded by the release of the last one.
#pragma once

#include "CTNString.h"

#include <atomic>
#include <cstdint>
#include <string>

class PluginLibrary {
public:
    // Loads the library at nativePath (dlopen, RTLD_NOW | RTLD_LOCAL) once its ELF header shows
    // that the file holds its program headers and every segment's file range (a truncated file
    // would fault inside dlopen). Returns a record with one reference, or null when the library
    // cannot be loaded (the reason goes to the debug log at level 4). displayPath is the path as
    // the log shows it.
    static PluginLibrary* Load(const std::string& nativePath, const CTNString& displayPath);

    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    void AddRef();
    // Gives back one reference; the last one unloads the library and frees the record.
    void Release();

    // The exported symbol, or null when the library lacks it.
    void* Symbol(const char* name) const;
    const CTNString& Path() const { return path_; }

private:
    PluginLibrary(void* handle, const CTNString& path);
    ~PluginLibrary();

    std::atomic<int32_t> refs_{1};
    CTNString path_;
    void* handle_;
};

// Owning reference to a PluginLibrary.
class PluginLibraryRef {
public:
    PluginLibraryRef() = default;
    // Takes over a reference the caller owns.
    static PluginLibraryRef Adopt(PluginLibrary* lib) {
        PluginLibraryRef r;
        r.lib_ = lib;
        return r;
    }
    PluginLibraryRef(const PluginLibraryRef& o) : lib_(o.lib_) {
        if (lib_) lib_->AddRef();
    }
    PluginLibraryRef(PluginLibraryRef&& o) noexcept : lib_(o.lib_) { o.lib_ = nullptr; }
    PluginLibraryRef& operator=(PluginLibraryRef o) noexcept {
        PluginLibrary* t = lib_;
        lib_ = o.lib_;
        o.lib_ = t;
        return *this;
    }
    ~PluginLibraryRef() { reset(); }
    void reset() {
        if (lib_) {
            PluginLibrary* l = lib_;
            lib_ = nullptr;
            l->Release();
        }
    }
    PluginLibrary* get() const { return lib_; }
    PluginLibrary* operator->() const { return lib_; }
    explicit operator bool() const { return lib_ != nullptr; }

private:
    PluginLibrary* lib_ = nullptr;
};
