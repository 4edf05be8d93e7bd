#include "PluginLibrary.h"

#include "TNDebug.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
using ElfHeader = Elf64_Ehdr;
using ProgramHeader = Elf64_Phdr;
constexpr unsigned char kElfClass = ELFCLASS64;
#else
using ElfHeader = Elf32_Ehdr;
using ProgramHeader = Elf32_Phdr;
constexpr unsigned char kElfClass = ELFCLASS32;
#endif

bool ReadAt(int fd, void* to, size_t bytes, uint64_t at) {
    auto* p = static_cast<char*>(to);
    while (bytes > 0) {
        const ssize_t got = ::pread(fd, p, bytes, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        at += static_cast<uint64_t>(got);
        bytes -= static_cast<size_t>(got);
    }
    return true;
}

// Whether the file is a whole shared object of this process's kind, as far as the loader maps
// it: the ELF header, the program headers and the file range of every segment lie within the
// file. The loader maps segments by those ranges and touches them while it relocates: a file
// cut short (a copy still being written) would end the process with SIGBUS inside dlopen. The
// reason in words otherwise.
bool CoversItsSegments(const std::string& path, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat st {};
    ElfHeader header{};
    const bool measured = ::fstat(fd, &st) == 0;
    const auto size = static_cast<uint64_t>(measured ? st.st_size : 0);
    bool ok = false;
    if (!measured) {
        why = std::strerror(errno);
    } else if (size < sizeof header || !ReadAt(fd, &header, sizeof header, 0)) {
        why = "the file (" + std::to_string(size) + " bytes) ends inside its ELF header";
    } else if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
               header.e_ident[EI_CLASS] != kElfClass) {
        why = "not an ELF shared object of this platform";
    } else if (header.e_phentsize != sizeof(ProgramHeader) || header.e_phnum == 0) {
        why = "the ELF header describes no program headers";
    } else if (header.e_phoff > size ||
               uint64_t(header.e_phnum) * sizeof(ProgramHeader) > size - header.e_phoff) {
        why = "the file (" + std::to_string(size) + " bytes) ends before its program headers";
    } else {
        std::vector<ProgramHeader> segments(header.e_phnum);
        ok = ReadAt(fd, segments.data(), segments.size() * sizeof(ProgramHeader), header.e_phoff);
        if (!ok) why = "its program headers cannot be read";
        for (size_t i = 0; ok && i < segments.size(); ++i) {
            const ProgramHeader& s = segments[i];
            if (s.p_filesz == 0) continue;
            if (s.p_offset > size || s.p_filesz > size - s.p_offset) {
                why = "the file (" + std::to_string(size) + " bytes) ends before segment " +
                      std::to_string(i) + " (bytes " + std::to_string(s.p_offset) + " to " +
                      std::to_string(uint64_t(s.p_offset) + s.p_filesz) + ")";
                ok = false;
            }
        }
    }
    ::close(fd);
    return ok;
}

void LogNotLoaded(const CTNString& displayPath, const std::string& why) {
    const CTNString reason = CTNString::FromUtf8(why);
    TNDebugOutputStr(TN_LOG_DEBUG, TN_LOG_DEBUG, L"Class library not loaded: '%ls': %ls",
                     displayPath.c_str(), reason.c_str());
}

}  // namespace

PluginLibrary* PluginLibrary::Load(const std::string& nativePath, const CTNString& displayPath) {
    std::string why;
    if (!CoversItsSegments(nativePath, why)) {
        LogNotLoaded(displayPath, why);
        return nullptr;
    }
    void* handle = ::dlopen(nativePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = ::dlerror();
        LogNotLoaded(displayPath, error ? error : "");
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
