#include "FileAccess.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
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

TNRESULT QuernFileOpen(const char* path, int* fd, int64_t* size) {
    *fd = kNoFile;
    // O_NONBLOCK keeps a named pipe from blocking the caller until a writer appears; it has no
    // effect on regular files.
    int f;
    do {
        f = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (f < 0 && errno == EINTR);
    if (f < 0) return QuernMapOpenError(errno);
    // Linux opens directories read-only without complaint; they are no files to read frames from.
    // The size comes from the descriptor, so it belongs to the very file that was opened.
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
        if (n == 0) return TN_E_READ;   // end of file before the frame's last byte
        done += static_cast<uint32_t>(n);
    }
    return TN_OK;
}

void QuernFileClose(int fd) {
    if (fd != kNoFile) ::close(fd);
}
