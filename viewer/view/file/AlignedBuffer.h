// Page-aligned blocks for frames: the raw frame buffers of the open file and the bitmaps and
// scratch images made from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace kavlo {

// A zero-filled block of `size` bytes rounded up to a multiple of the alignment and starting at
// an address aligned to it. Empty when the size cannot be represented or allocated.
class AlignedBuffer {
public:
    AlignedBuffer() = default;
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    ~AlignedBuffer() { Reset(); }

    // Replaces the block. False (and empty) when the rounded size overflows or allocation fails.
    bool Allocate(uint64_t size, size_t alignment = 4096);
    void Reset();

    uint8_t* data() const { return data_; }
    uint64_t size() const { return size_; }  // the rounded size
    explicit operator bool() const { return data_ != nullptr; }
    // Exchanges the blocks of two buffers.
    void Swap(AlignedBuffer& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(mapped_, other.mapped_);
    }

    // Blocks of this size or more are mapped pages, zeroed by the system on first touch: they
    // cost memory only as they are written. Smaller blocks are zero-filled when allocated.
    static constexpr size_t kMappedMinBytes = size_t{1} << 20;

private:
    // Blocks of this size or more start on a 2 MiB boundary, so that a system which gives huge
    // pages to anonymous memory by itself can fault a frame in 2 MiB steps. They are not asked
    // for (no MADV_HUGEPAGE): where the system compacts memory on demand for such requests, a
    // block made right after a large file was written stalled the reader and the renderer for
    // 100-450 ms while memory was compacted (dropped frames in the first play of a new clip).
    static constexpr size_t kHugeBytes = size_t{2} << 20;

    uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    bool mapped_ = false;
};

}  // namespace kavlo
