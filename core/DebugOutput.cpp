#include "DebugOutput.h"

#include <unistd.h>

#include <cerrno>

void WriteDebugBytes(const char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(STDERR_FILENO, bytes, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes += n;
        count -= static_cast<size_t>(n);
    }
}

void WriteOutOfMemoryNotice() {
    static const char kNotice[] = "CTNString:vprintf: out of memory error\n";
    WriteDebugBytes(kNotice, sizeof(kNotice) - 1);
}
