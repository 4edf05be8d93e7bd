// The 24-bit display bitmap of the video view.
#pragma once

#include "view/file/AlignedBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

namespace kavlo {

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
