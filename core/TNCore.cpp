// Plug-in discovery, the class registry, instance creation and the counted core lifetime.
#include "TNCore.h"

#include "CTNString.h"
#include "PluginLibrary.h"
#include "ProcessInfo.h"
#include "TNDebug.h"
#include "TNFileName.h"
#include "TNInterfaces.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// Registry order: the 16 identifier bytes as unsigned bytes, first byte first.
struct UuidByteLess {
    bool operator()(const TNUUID& a, const TNUUID& b) const { return TNUUIDLess(a, b); }
};

struct ClassEntry {
    PluginLibraryRef library;                // keeps the providing library loaded
    ITNClassFactory* classObject = nullptr;  // the registry's one reference
    TNCanUnloadNowFn canUnloadNow = nullptr;
};

using ClassRegistry = std::map<TNUUID, ClassEntry, UuidByteLess>;

// A library claiming more classes than this reports a broken count, not a real list; taking it
// at its word would mean an identifier array of many gigabytes.
constexpr int32_t kMaxClassesPerLibrary = 1 << 16;

// Exists while the core is initialised. The first TNCoreInitialize and the last TNCoreClose
// must not run concurrently with other core calls, so the pointers themselves are plain.
std::atomic<int32_t>* g_initCount = nullptr;
ClassRegistry* g_registry = nullptr;

bool IsInitialized() {
    return g_initCount != nullptr && g_initCount->load(std::memory_order_acquire) != 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A regular file, or a symbolic link to one.
bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string JoinPath(const std::string& dir, const char* name) {
    std::string p = dir;
    if (p.empty() || p.back() != '/') p += '/';
    p += name;
    return p;
}

// The directory argument as the bytes of a native path: UTF-8, with escaped undecodable bytes
// (lone surrogates U+DC80..U+DCFF) turned back into those bytes. False when the text holds any
// other unpaired surrogate and so names no file.
bool DirectoryArgumentToNative(const _TNStr* directory, std::string* out) {
    const auto* units = reinterpret_cast<const char16_t*>(CTNStrGetString(directory));
    return tn_file_name::ToBytes(units, static_cast<size_t>(CTNStrGetLength(directory)), out);
}

// A path made absolute against the working directory, without trailing separators (the root
// keeps its one). False when the result would not fit PATH_MAX.
bool MakeAbsolute(const std::string& path, std::string* out) {
    std::string abs;
    if (!path.empty() && path[0] == '/') {
        abs = path;
    } else {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd)) return false;
        abs = cwd;
        if (!path.empty()) abs = JoinPath(abs, path.c_str());
    }
    while (abs.size() > 1 && abs.back() == '/') abs.pop_back();
    if (abs.size() >= PATH_MAX) return false;
    *out = std::move(abs);
    return true;
}

// The directory of the process's executable: its path up to the last separator, without it,
// except that an executable in the root directory gives the root.
bool ExecutableDirectory(std::string* out) {
    const std::string exe = ExecutablePath();
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return false;
    return MakeAbsolute(slash == 0 ? std::string("/") : exe.substr(0, slash), out);
}

// Loads one candidate library and registers the classes it offers. Class objects that are not
// registered are released here, and the scan's reference to the library is dropped on return,
// so a library that registered nothing is unloaded at once.
void ScanLibrary(const std::string& nativePath, ClassRegistry& registry) {
    const CTNString displayPath = CTNString::FromUtf8(nativePath);
    const PluginLibraryRef library =
        PluginLibraryRef::Adopt(PluginLibrary::Load(nativePath, displayPath));
    if (!library) return;
    TNDebugOutputStr(TN_LOG_INFO, 0, L"Class library loaded: '%ls'", displayPath.c_str());

    auto getClassIdList = reinterpret_cast<TNGetClassIDListFn>(library->Symbol("TNGetClassIDList"));
    auto getClassObject = reinterpret_cast<TNGetClassObjectFn>(library->Symbol("TNGetClassObject"));
    auto canUnloadNow = reinterpret_cast<TNCanUnloadNowFn>(library->Symbol("TNCanUnloadNow"));
    if (!getClassIdList || !getClassObject || !canUnloadNow) {
        TNDebugOutputStr(TN_LOG_DEBUG, TN_LOG_DEBUG,
                         L"Class library '%ls' lacks an entry point (TNGetClassIDList, "
                         L"TNGetClassObject, TNCanUnloadNow); not a plug-in",
                         displayPath.c_str());
        return;
    }

    int32_t count = 0;
    if (TN_FAILED(getClassIdList(nullptr, &count)) || count <= 0 || count > kMaxClassesPerLibrary)
        return;
    std::unique_ptr<TNUUID[]> ids(new (std::nothrow) TNUUID[static_cast<size_t>(count)]());
    if (!ids) return;
    // Fills the array; its result is not examined. The count is passed as a copy so that the
    // loop stays within the array even if the library changes it.
    int32_t ignoredCount = count;
    getClassIdList(ids.get(), &ignoredCount);

    for (int32_t i = 0; i < count; ++i) {
        ITNClassFactory* classObject = nullptr;
        getClassObject(&ids[static_cast<size_t>(i)], &IID_ITNClassFactory, &classObject);
        if (!classObject) continue;
        const TNUUID& clsid = ids[static_cast<size_t>(i)];
        if (registry.count(clsid) != 0) {
            // The first library scanned keeps the class; this class object is not needed.
            // Released now, while the scan still holds its reference to the library.
            classObject->Release();
            continue;
        }
        ClassEntry entry;
        entry.library = library;
        entry.classObject = classObject;
        entry.canUnloadNow = canUnloadNow;
        try {
            registry.emplace(clsid, std::move(entry));
        } catch (const std::bad_alloc&) {
            classObject->Release();
        }
    }
}

// Fills the registry from the plug-in directory below base (or base itself).
TNRESULT ScanPlugins(const std::string& base, ClassRegistry& registry) {
    const std::string plugins = JoinPath(base, "plugins");
    const std::string scanDir = IsDirectory(plugins) ? plugins : base;

    DIR* dir = ::opendir(scanDir.c_str());
    if (!dir) return TN_E_FAIL;
    // Candidates are collected first so that loading libraries cannot disturb the enumeration.
    std::vector<std::string> candidates;
    bool anyMatch = false;
    while (const dirent* e = ::readdir(dir)) {
        if (::fnmatch("*.dll", e->d_name, 0) != 0) continue;
        // A directory, named pipe or device named *.dll is a match too, though it is skipped:
        // only regular files are loaded, since dlopen on a named pipe waits for a writer for
        // ever and would stall the start-up with it.
        anyMatch = true;
        const std::string path = JoinPath(scanDir, e->d_name);
        if (!IsRegularFile(path)) continue;
        candidates.push_back(path);
    }
    ::closedir(dir);
    if (!anyMatch) return TN_E_FAIL;

    for (const std::string& path : candidates) ScanLibrary(path, registry);
    return TN_OK;
}

// The first initialisation's work: create the registry and scan.
TNRESULT StartCore(const _TNStr* directory) {
    TNDebugOutputStr(TN_LOG_INFO, 0, L"TNCore: initializing core library");

    g_registry = new (std::nothrow) ClassRegistry;
    if (!g_registry) {
        TNDebugOutputStr(TN_LOG_ERROR, 0, L"TNCore: couldn't create class list");
        return TN_E_FAIL;
    }

    std::string base;
    bool haveBase = false;
    if (directory) {
        std::string given;
        haveBase = DirectoryArgumentToNative(directory, &given) && MakeAbsolute(given, &base);
    } else {
        haveBase = ExecutableDirectory(&base);
    }
    if (!haveBase || TN_FAILED(ScanPlugins(base, *g_registry))) {
        TNDebugOutputStr(TN_LOG_ERROR, 0, L"TNCore: an error occured during plug-in scan");
        return TN_E_FAIL;
    }
    return TN_OK;
}

// Releases the class objects, warns about libraries that still have live objects, unloads the
// libraries and frees the registry.
void ShutDownCore() {
    TNDebugOutputStr(TN_LOG_INFO, 0, L"TNCoreClose: closing core library");
    if (g_registry) {
        // All class objects go first: a library that provides several classes holds live
        // objects until the last of its class objects is released, and must not be reported
        // as busy because of its own class objects.
        std::vector<uint32_t> remaining;
        remaining.reserve(g_registry->size());
        for (auto& [clsid, entry] : *g_registry) {
            remaining.push_back(entry.classObject->Release());
            entry.classObject = nullptr;
        }
        size_t i = 0;
        for (auto& [clsid, entry] : *g_registry) {
            // TNCanUnloadNow is asked only when the class object itself is gone.
            if (remaining[i++] != 0 || TN_FAILED(entry.canUnloadNow()))
                TNDebugOutputStr(TN_LOG_WARNING, 0,
                                 L"Class library not unloaded, has active objects.");
        }
        // Removing the entries drops the library references; each library is unloaded with
        // the last entry it provided.
        delete g_registry;
        g_registry = nullptr;
    }
    delete g_initCount;
    g_initCount = nullptr;
}

// TNCoreInitialize; *counted tells whether the call took a count that a TNCoreClose must give
// back (every call does, except when the counter itself cannot be created).
TNRESULT InitializeCounted(const _TNStr* directory, bool* counted) {
    *counted = false;
    if (!g_initCount) {
        g_initCount = new (std::nothrow) std::atomic<int32_t>(0);
        if (!g_initCount) return TN_E_OOM;
    }
    *counted = true;
    if (g_initCount->fetch_add(1, std::memory_order_acq_rel) != 0) return TN_OK;
    return StartCore(directory);
}

}  // namespace

extern "C" {

TNRESULT TNCoreInitialize(const _TNStr* directory) {
    bool counted = false;
    return InitializeCounted(directory, &counted);
}

TNRESULT TNCoreCreateInstance(const TNUUID* clsid, const TNUUID* iid, void** object) {
    if (!clsid || !iid || !object) return TN_E_POINTER;
    *object = nullptr;
    if (!IsInitialized()) return TN_E_NOTINITIALIZED;
    if (!g_registry) return TN_E_CLASSNOTAVAILABLE;
    const auto it = g_registry->find(*clsid);
    if (it == g_registry->end()) return TN_E_CLASSNOTAVAILABLE;
    // The caller owns what is created; the core takes no reference of its own.
    return it->second.classObject->CreateInstance(iid, object);
}

TNRESULT TNCoreClose(void) {
    // Without an open initialisation there is nothing to balance.
    if (!g_initCount) return TN_OK;
    const int32_t before = g_initCount->fetch_sub(1, std::memory_order_acq_rel);
    if (before == 1) {
        ShutDownCore();
    } else if (before < 1) {
        g_initCount->fetch_add(1, std::memory_order_acq_rel);  // not open: undo, ignore
    }
    return TN_OK;
}

}  // extern "C"

CTNCore::CTNCore() : initialized(false), holdsCount(false) {}

CTNCore::CTNCore(const _TNStr* directory) : initialized(false), holdsCount(false) {
    CTNCore::Init(directory);
}

CTNCore::~CTNCore() {
    if (holdsCount) TNCoreClose();
}

int32_t CTNCore::Init(const _TNStr* directory) {
    // One object holds at most one count, since its destructor closes once. A failed first
    // initialisation still counts (the core stays initialised with what the scan found), so a
    // later Init on the same object behaves as a further TNCoreInitialize would, returning
    // TN_OK, without counting again.
    if (holdsCount) {
        initialized = true;
        return TN_OK;
    }
    const TNRESULT r = InitializeCounted(directory, &holdsCount);
    if (TN_SUCCEEDED(r)) initialized = true;
    return r;
}

bool CTNCore::isInitialized() const { return initialized; }
