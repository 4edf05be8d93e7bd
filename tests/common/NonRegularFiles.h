// Files that are not regular files, for the tests that check they are refused.
#pragma once

#include <sys/socket.h>
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

}  // namespace testfiles
