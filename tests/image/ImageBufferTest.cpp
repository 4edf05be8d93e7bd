// Reference counts and geometry of the image storage.
#include "image/ImageBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(ImageBuffer, OwnedGeometryAndAlignment) {
    struct Case {
        uint32_t w, h, bpp;
        int32_t line;
    };
    const Case cases[] = {
        {1, 1, 12, 16}, {721, 3, 16, 1456}, {1920, 2, 32, 7680}, {5, 4, 24, 16}, {6, 1, 24, 32}};
    for (const Case& c : cases) {
        CTNImage img = CTNImage::Create(c.w, c.h, c.bpp);
        ASSERT_TRUE(img);
        EXPECT_EQ(img->lineBytes, c.line) << c.w << "x" << c.bpp;
        EXPECT_EQ(img->size, uint32_t(c.line) * c.h);
        EXPECT_EQ(img->capacity, img->size);
        EXPECT_EQ(img->borrowed, 0u);
        EXPECT_EQ(img->rowAlignment, 16u);
        EXPECT_EQ(img->storageAlignment, 1u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(img->storage) % 16, 0u);
        img->storage[img->size - 1] = 1;  // the whole size is usable
        EXPECT_TRUE(img->planes.empty());
    }
    CTNImage empty = CTNImage::Create(0, 10, 32);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->storage, nullptr);
    EXPECT_EQ(empty->size, 0u);
    // A size that does not fit 32 bits is refused, not wrapped.
    EXPECT_FALSE(CTNImage::Create(70000, 70000, 32));
}

TEST(ImageBuffer, ReferenceCounting) {
    ImageBuffer* raw = ImageBufferCreate(8, 8, 32);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->refs.load(), 1);
    {
        CTNImage a = CTNImage::Adopt(raw);  // takes the creation reference
        EXPECT_EQ(raw->refs.load(), 1);
        CTNImage b = a;
        EXPECT_EQ(raw->refs.load(), 2);
        CTNImage c = CTNImage::Share(raw);
        EXPECT_EQ(raw->refs.load(), 3);
        c.Reset();
        EXPECT_EQ(raw->refs.load(), 2);
        CTNImage d = std::move(b);
        EXPECT_FALSE(b);  // NOLINT: moved-from handle holds nothing
        EXPECT_EQ(raw->refs.load(), 2);
        ImageBufferAddRef(raw);
        EXPECT_EQ(ImageBufferRelease(raw), 2);
    }
    // Both handles released: the block is gone (LeakSanitizer would report it otherwise).
    EXPECT_EQ(ImageBufferRelease(nullptr), 0);
}

TEST(ImageBuffer, BorrowedStorageIsNotFreed) {
    std::vector<uint8_t> store(4096 * 2);
    {
        CTNImage img = CTNImage::Borrow(store.data(), 100, 2, -400, 32, uint32_t(store.size()));
        ASSERT_TRUE(img);
        EXPECT_EQ(img->borrowed, 1u);
        EXPECT_EQ(img->storageAlignment, 4096u);
        EXPECT_EQ(img->size, 800u);
        EXPECT_EQ(img->capacity, store.size());
        EXPECT_EQ(img->storage, store.data());
    }
    store[0] = 1;  // still ours
    EXPECT_EQ(store[0], 1);
}

}  // namespace
