// The page-aligned memory of the frame buffers: its rounding, and the sizes it refuses.
#include "view/file/AlignedBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace kavlo;

TEST(AlignedBuffer, RoundsToPagesAndRefusesUnrepresentableSizes) {
    AlignedBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(5000));
    EXPECT_EQ(buffer.size(), 8192u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % 4096, 0u);
    EXPECT_FALSE(buffer.Allocate(~uint64_t(0)));
    EXPECT_FALSE(buffer);
}
