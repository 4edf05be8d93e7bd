#include "view/picture/DisplayBitmap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace kavlo {

std::unique_ptr<DisplayBitmap> DisplayBitmap::Create(int pictureWidth, int height, bool bottomUp) {
    if (pictureWidth <= 0 || height <= 0) return nullptr;
    const uint64_t width = (static_cast<uint64_t>(pictureWidth) + 3) / 4 * 4;
    const uint64_t stride = width * 3;
    const uint64_t bytes = stride * static_cast<uint64_t>(height);
    // The bitmap is never larger than the view's display buffer, whose size is held in 32 bits.
    if (width > static_cast<uint64_t>(std::numeric_limits<int>::max()) ||
        bytes > std::numeric_limits<uint32_t>::max()) {
        return nullptr;
    }
    std::unique_ptr<DisplayBitmap> bitmap(new (std::nothrow) DisplayBitmap());
    if (!bitmap) return nullptr;
    // Zeroed; large blocks come as pages the system zeroes when first touched.
    if (!bitmap->bits_.Allocate(bytes, 64)) return nullptr;
    bitmap->pictureWidth_ = pictureWidth;
    bitmap->width_ = static_cast<int>(width);
    bitmap->height_ = height;
    bitmap->bottomUp_ = bottomUp;
    bitmap->stride_ = static_cast<size_t>(stride);
    return bitmap;
}

void DisplayBitmap::Clear() {
    std::memset(bits_.data(), 0, stride_ * static_cast<size_t>(height_));
}

}  // namespace kavlo
