// Files that are not regular files, for the tests that check they are refused.
#pragma once

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace testfiles {

// Binds a Unix-domain socket at `path`, which leaves a socket file there. The descriptor, or -1
// when the path is too long or the bind fails; the caller closes it.
inline int BindUnixSocket(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path)) return -1;
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (s < 0) return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

// What may stand under a name that is to be written and is no regular file.
enum class Kind { Directory, NamedPipe, Socket, CharacterDevice, LinkToPipe, DanglingLink };
inline const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::Directory: return "Directory";
    case Kind::NamedPipe: return "NamedPipe";
    case Kind::Socket: return "Socket";
    case Kind::CharacterDevice: return "CharacterDevice";
    case Kind::LinkToPipe: return "LinkToPipe";
    case Kind::DanglingLink: return "DanglingLink";
    }
    return "?";
}
constexpr Kind kKinds[] = {Kind::Directory,       Kind::NamedPipe,  Kind::Socket,
                           Kind::CharacterDevice, Kind::LinkToPipe, Kind::DanglingLink};

// Makes one at `path` (a link's target beside it, "<path>.target"). False when this user
// cannot (a device node needs root: it is /dev/full's, made in the test's own folder).
inline bool MakeNonRegular(Kind kind, const std::string& path) {
    switch (kind) {
    case Kind::Directory: return ::mkdir(path.c_str(), 0700) == 0;
    case Kind::NamedPipe: return ::mkfifo(path.c_str(), 0600) == 0;
    case Kind::Socket: {
        const int s = BindUnixSocket(path);
        if (s < 0) return false;
        ::close(s);  // the socket file stays
        return true;
    }
    case Kind::CharacterDevice: return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0;
    case Kind::LinkToPipe:
        return ::mkfifo((path + ".target").c_str(), 0600) == 0 &&
               ::symlink((path + ".target").c_str(), path.c_str()) == 0;
    case Kind::DanglingLink: return ::symlink((path + ".target").c_str(), path.c_str()) == 0;
    }
    return false;
}

// Whether `path` still is what MakeNonRegular made.
inline bool IsStill(Kind kind, const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    switch (kind) {
    case Kind::Directory: return S_ISDIR(st.st_mode);
    case Kind::NamedPipe: return S_ISFIFO(st.st_mode);
    case Kind::Socket: return S_ISSOCK(st.st_mode);
    case Kind::CharacterDevice: return S_ISCHR(st.st_mode);
    case Kind::LinkToPipe: {
        struct stat target {};
        return S_ISLNK(st.st_mode) && ::lstat((path + ".target").c_str(), &target) == 0 &&
               S_ISFIFO(target.st_mode);
    }
    case Kind::DanglingLink:
        return S_ISLNK(st.st_mode) && ::access((path + ".target").c_str(), F_OK) != 0;
    }
    return false;
}

}  // namespace testfiles
