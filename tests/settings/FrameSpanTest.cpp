#include "settings/FrameSpan.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using rawsettings::FrameSpan;

RawSettings Record(int32_t filePrefix, uint32_t framePrefix, uint32_t framePostfix) {
    RawSettings r;
    std::memset(&r, 0, sizeof r);
    r.size = kRawSettingsSize;
    EXPECT_TRUE(BuildRawVideoFormat(r.rawFormat, 16, 8, kLayoutGRAY, 0, -1));  // 128 bytes
    r.filePrefix = filePrefix;
    r.framePrefix = framePrefix;
    r.framePostfix = framePostfix;
    return r;
}

struct SpanCase {
    int32_t filePrefix;
    uint32_t framePrefix, framePostfix;
    int64_t fileSize;
    int64_t frames, rest, start2;
};

class FrameSpanCases : public ::testing::TestWithParam<SpanCase> {};

// Frames, rest bytes and where frame 2 starts, as the plug-in reads the file: a negative stored
// prefix is the unsigned number the plug-in is given, so it holds no frame.
TEST_P(FrameSpanCases, FramesRestAndOffsets) {
    const SpanCase c = GetParam();
    const FrameSpan span = FrameSpan::Of(Record(c.filePrefix, c.framePrefix, c.framePostfix));
    EXPECT_EQ(span.WholeFrames(c.fileSize), c.frames);
    EXPECT_EQ(span.RestBytes(c.fileSize), c.rest);
    // The whole frames and the rest make up the file (a file shorter than its prefix aside).
    if (c.fileSize > span.filePrefix) {
        EXPECT_EQ(span.FileBytes(c.frames) + c.rest, c.fileSize);
    }
    if (c.start2 >= 0) {
        EXPECT_EQ(span.FrameStart(2), c.start2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FrameSpan, FrameSpanCases,
    ::testing::Values(SpanCase{0, 0, 0, 3 * 128, 3, 0, 256},
                      SpanCase{10, 4, 2, 10 + 3 * 134 + 5, 3, 5, 10 + 2 * 134 + 4},
                      SpanCase{500, 0, 0, 499, 0, 0, -1}, SpanCase{0, 0, 0, 127, 0, 127, -1},
                      SpanCase{-1, 0, 0, 1 << 20, 0, 0, -1}));

}  // namespace
