#include "view/file/AlignedBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace kavlo {

bool AlignedBuffer::Allocate(uint64_t size, size_t alignment) {
    Reset();
    if (size == 0 || alignment == 0) return false;
    const uint64_t a = alignment;
    if (size > std::numeric_limits<uint64_t>::max() - (a - 1)) return false;
    const uint64_t rounded = (size + a - 1) / a * a;
    if (rounded > std::numeric_limits<size_t>::max() ||
        rounded > static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max())) {
        return false;
    }
    // Zero filled: the row padding the conversion never writes is then defined, and the display
    // shows black where nothing has been converted yet. Large blocks are mapped pages, which the
    // system zeroes when they are first touched: a frame buffer costs memory only as frames are
    // written into it, not all at once when a file is opened.
    const size_t bytes = static_cast<size_t>(rounded);
    const long page = ::sysconf(_SC_PAGESIZE);
    if (bytes >= kMappedMinBytes && page > 0 && static_cast<size_t>(page) % alignment == 0) {
        const size_t whole =
            (bytes + static_cast<size_t>(page) - 1) & ~(static_cast<size_t>(page) - 1);
        const bool huge = whole >= 2 * kHugeBytes;
        void* p = ::mmap(nullptr, huge ? whole + kHugeBytes : whole, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
        auto* start = static_cast<uint8_t*>(p);
        if (huge) {
            // Keep the 2 MiB-aligned part; the pages before and after it go back at once.
            const uintptr_t base = reinterpret_cast<uintptr_t>(p);
            const uintptr_t aligned = (base + kHugeBytes - 1) & ~uintptr_t{kHugeBytes - 1};
            const size_t head = static_cast<size_t>(aligned - base);
            if (head) ::munmap(p, head);
            if (kHugeBytes - head) ::munmap(start + head + whole, kHugeBytes - head);
            start += head;
        }
        mapped_ = true;
        data_ = start;
        size_ = rounded;
        return true;
    }
    void* p = nullptr;
    if (posix_memalign(&p, alignment, bytes) != 0 || !p) return false;
    std::memset(p, 0, bytes);
    data_ = static_cast<uint8_t*>(p);
    size_ = rounded;
    return true;
}

void AlignedBuffer::Reset() {
    if (mapped_) {
        ::munmap(data_, static_cast<size_t>(size_));
    } else {
        std::free(data_);
    }
    mapped_ = false;
    data_ = nullptr;
    size_ = 0;
}

}  // namespace kavlo
