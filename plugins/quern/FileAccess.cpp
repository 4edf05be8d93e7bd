#include "FileAccess.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

TNRESULT QuernMapOpenError(int error) {
    switch (error) {
    case ENOENT: return TN_E_FILENOTFOUND;
    case EACCES: return TN_E_FILEACCESS;
    case EEXIST: return TN_E_FILEEXISTS;
    case EISDIR: return TN_E_ISDIRECTORY;
    case EMFILE: return TN_E_TOOMANYOPENFILES;
    case ENOSPC: return TN_E_NOSPACE;
    default: return TN_E_FAIL;
    }
}

bool QuernIsKernelFileSystem(int fd) {
    // The kernel's files under /proc and /sys call themselves regular files of size 0, yet
    // reading them gives text made up on the spot.
    constexpr decltype(statfs::f_type) kProc = 0x9fa0, kSys = 0x62656572;
    struct statfs fs;
    return ::fstatfs(fd, &fs) == 0 && (fs.f_type == kProc || fs.f_type == kSys);
}

TNRESULT QuernFileOpen(const char* path, int* fd, int64_t* size) {
    *fd = kNoFile;
    // Only regular files hold frames at fixed offsets. Anything else (a device, a named pipe, a
    // socket, a /proc entry with no size) is refused before it is opened: opening some devices
    // has effects of their own, and a socket cannot be opened at all.
    struct stat named;
    if (::stat(path, &named) != 0) return QuernMapOpenError(errno);
    if (S_ISDIR(named.st_mode)) return TN_E_ISDIRECTORY;
    if (!S_ISREG(named.st_mode)) return TN_E_NOTSUPPORTED;
    // O_NONBLOCK: a named pipe put in the file's place after the check does not block the caller
    // until a writer appears (the descriptor's check below refuses it); no effect on regular
    // files.
    int f;
    do {
        f = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (f < 0 && errno == EINTR);
    if (f < 0) return QuernMapOpenError(errno);
    // The descriptor is checked again, as the name may name something else by now (Linux opens
    // directories read-only without complaint). The size comes from the descriptor, so it
    // belongs to the very file that was opened.
    struct stat st;
    if (::fstat(f, &st) != 0) {
        const int e = errno;
        ::close(f);
        return e == ENOENT ? TN_E_FILENOTFOUND : TN_E_FAIL;
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(f);
        return TN_E_ISDIRECTORY;
    }
    if (!S_ISREG(st.st_mode) || QuernIsKernelFileSystem(f)) {
        ::close(f);
        return TN_E_NOTSUPPORTED;
    }
    (void)::posix_fadvise(f, 0, 0, POSIX_FADV_RANDOM);
    *fd = f;
    *size = static_cast<int64_t>(st.st_size);
    return TN_OK;
}

TNRESULT QuernFileReadAt(int fd, int64_t offset, uint8_t* buffer, uint32_t length) {
    if (fd == kNoFile || offset < 0 || offset > INT64_MAX - static_cast<int64_t>(length))
        return TN_E_SEEK;
    uint32_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, buffer + done, length - done,
                                  static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            // An offset the descriptor cannot seek to is a seek failure, as with lseek.
            if (errno == ESPIPE || errno == EINVAL || errno == EOVERFLOW || errno == EBADF)
                return TN_E_SEEK;
            return TN_E_READ;
        }
        if (n == 0) return TN_E_READ;  // end of file before the frame's last byte
        done += static_cast<uint32_t>(n);
    }
    return TN_OK;
}

void QuernFileClose(int fd) {
    if (fd != kNoFile) ::close(fd);
}
