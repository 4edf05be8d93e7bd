// Reference-counted image storage: the conversion's intermediate planes and the view's converted
// and field images. An ImageBuffer owns its storage or borrows someone else's; a CTNImage
// handle holds one counted reference to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

struct ImageBuffer {
    uint32_t borrowed = 0;  // 0: storage belongs to the block; 1: to someone else
    uint32_t width = 0;     // pixels
    uint32_t height = 0;
    int32_t lineBytes = 0;  // byte distance between rows
    uint32_t bitsPerPixel = 0;
    uint32_t size = 0;      // lineBytes x height
    uint32_t capacity = 0;  // bytes available in the storage
    uint32_t rowAlignment = 16;
    uint32_t storageAlignment = 1;  // 1 for owned storage, 4096 for the view's frame store
    uint8_t* storage = nullptr;     // first byte of row 0
    std::vector<void*> planes;      // kept empty by this system
    std::atomic<int32_t> refs{1};
};

// A new empty image (no storage), one reference. nullptr when memory is short.
ImageBuffer* ImageBufferCreateEmpty();
// A new owned image: lineBytes = (W x B / 8) rounded up to 16, size = capacity =
// lineBytes x H, storage 16-byte aligned; W or H of 0 gives an empty image. One reference.
// nullptr when memory is short or the size does not fit 32 bits.
ImageBuffer* ImageBufferCreate(uint32_t width, uint32_t height, uint32_t bitsPerPixel);
// A new block over borrowed storage (borrowed = 1, storage alignment 4096); the caller keeps
// the storage alive while the block lives and may adjust any field. One reference.
ImageBuffer* ImageBufferWrap(uint8_t* storage, uint32_t width, uint32_t height, int32_t lineBytes,
                             uint32_t bitsPerPixel, uint32_t capacity);
// Counted references; at zero the owned storage, the plane list and the block are freed.
// Both accept nullptr. Release returns the remaining count.
void ImageBufferAddRef(ImageBuffer* image);
int32_t ImageBufferRelease(ImageBuffer* image);

// Handle holding one reference (or none). Its destructor releases it.
class CTNImage {
public:
    CTNImage() = default;
    // Takes over the reference the caller holds.
    static CTNImage Adopt(ImageBuffer* image);
    // Takes a new reference.
    static CTNImage Share(ImageBuffer* image);
    static CTNImage Create(uint32_t width, uint32_t height, uint32_t bitsPerPixel);
    static CTNImage Borrow(uint8_t* storage, uint32_t width, uint32_t height, int32_t lineBytes,
                           uint32_t bitsPerPixel, uint32_t capacity);

    CTNImage(const CTNImage& other);
    CTNImage(CTNImage&& other) noexcept;
    CTNImage& operator=(CTNImage other) noexcept;
    virtual ~CTNImage();

    void Reset();
    ImageBuffer* get() const { return image_; }
    ImageBuffer* operator->() const { return image_; }
    explicit operator bool() const { return image_ != nullptr; }

private:
    ImageBuffer* image_ = nullptr;
};
