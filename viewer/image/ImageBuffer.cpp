#include "ImageBuffer.h"

#include <cstdlib>
#include <new>
#include <utility>

ImageBuffer* ImageBufferCreateEmpty() { return new (std::nothrow) ImageBuffer; }

ImageBuffer* ImageBufferCreate(uint32_t width, uint32_t height, uint32_t bitsPerPixel) {
    ImageBuffer* image = ImageBufferCreateEmpty();
    if (!image) return nullptr;
    image->width = width;
    image->height = height;
    image->bitsPerPixel = bitsPerPixel;
    if (width == 0 || height == 0) return image;
    const uint64_t line = (uint64_t(width) * bitsPerPixel / 8 + 15) / 16 * 16;
    const uint64_t size = line * height;
    void* p = nullptr;
    if (line > uint64_t(INT32_MAX) || size > UINT32_MAX || size == 0 ||
        posix_memalign(&p, 16, size_t(size)) != 0) {
        delete image;
        return nullptr;
    }
    image->lineBytes = int32_t(line);
    image->size = image->capacity = uint32_t(size);
    image->storage = static_cast<uint8_t*>(p);
    return image;
}

ImageBuffer* ImageBufferWrap(uint8_t* storage, uint32_t width, uint32_t height, int32_t lineBytes,
                             uint32_t bitsPerPixel, uint32_t capacity) {
    ImageBuffer* image = ImageBufferCreateEmpty();
    if (!image) return nullptr;
    image->borrowed = 1;
    image->width = width;
    image->height = height;
    image->lineBytes = lineBytes;
    image->bitsPerPixel = bitsPerPixel;
    const int64_t absLine = lineBytes < 0 ? -int64_t(lineBytes) : lineBytes;
    image->size = uint32_t(uint64_t(absLine) * height);
    image->capacity = capacity;
    image->storageAlignment = 4096;
    image->storage = storage;
    return image;
}

void ImageBufferAddRef(ImageBuffer* image) {
    if (image) image->refs.fetch_add(1, std::memory_order_relaxed);
}

int32_t ImageBufferRelease(ImageBuffer* image) {
    if (!image) return 0;
    const int32_t left = image->refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        if (!image->borrowed) std::free(image->storage);
        delete image;
    }
    return left;
}

CTNImage CTNImage::Adopt(ImageBuffer* image) {
    CTNImage h;
    h.image_ = image;
    return h;
}

CTNImage CTNImage::Share(ImageBuffer* image) {
    ImageBufferAddRef(image);
    return Adopt(image);
}

CTNImage CTNImage::Create(uint32_t width, uint32_t height, uint32_t bitsPerPixel) {
    return Adopt(ImageBufferCreate(width, height, bitsPerPixel));
}

CTNImage CTNImage::Borrow(uint8_t* storage, uint32_t width, uint32_t height, int32_t lineBytes,
                          uint32_t bitsPerPixel, uint32_t capacity) {
    return Adopt(ImageBufferWrap(storage, width, height, lineBytes, bitsPerPixel, capacity));
}

CTNImage::CTNImage(const CTNImage& other) : image_(other.image_) { ImageBufferAddRef(image_); }
CTNImage::CTNImage(CTNImage&& other) noexcept : image_(std::exchange(other.image_, nullptr)) {}
CTNImage& CTNImage::operator=(CTNImage other) noexcept {
    std::swap(image_, other.image_);
    return *this;
}
CTNImage::~CTNImage() { Reset(); }

void CTNImage::Reset() {
    if (ImageBuffer* old = std::exchange(image_, nullptr)) ImageBufferRelease(old);
}
