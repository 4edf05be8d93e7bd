// Storage of the video view: page-aligned frame buffers and the 24-bit display bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
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

// The picture as the view paints it: rows of 3-byte B', G', R' pixels, `width` rounded up to a
// multiple of 4 pixels so that every row is a whole number of 32-bit words. A bottom-up bitmap
// holds the bottom line of the picture in its first row of memory; a top-down one the top line.
// A new bitmap is all zero (black).
class DisplayBitmap {
public:
    // Null when the size cannot be represented or allocated.
    static std::unique_ptr<DisplayBitmap> Create(int pictureWidth, int height, bool bottomUp);

    int PictureWidth() const { return pictureWidth_; }
    int Width() const { return width_; }  // pictureWidth rounded up to a multiple of 4
    int Height() const { return height_; }
    bool BottomUp() const { return bottomUp_; }
    size_t Stride() const { return stride_; }  // Width() * 3 bytes

    // Reused from frame to frame: the orientation may change without a new allocation.
    void SetBottomUp(bool bottomUp) { bottomUp_ = bottomUp; }
    // Back to all black.
    void Clear();

    // Row `r` in memory order.
    uint8_t* Row(int r) const { return bits_.data() + static_cast<size_t>(r) * stride_; }
    // The memory row that shows picture line y (0 = top line on screen).
    int MemoryRowOfLine(int y) const { return bottomUp_ ? height_ - 1 - y : y; }
    const uint8_t* LineOnScreen(int y) const { return Row(MemoryRowOfLine(y)); }

private:
    DisplayBitmap() = default;

    AlignedBuffer bits_;
    int pictureWidth_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool bottomUp_ = false;
    size_t stride_ = 0;
};

}  // namespace kavlo
