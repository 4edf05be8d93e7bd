// The statistics of a known frame: histograms, extremes, mean and waveform columns of each
// component, deeper samples in bins of their own, and a mosaic counted by the colour of each place.
#include "analysis/FrameStatistics.h"

#include "../common/ClipTestSupport.h"

#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace kavlo;
using viewtest::FrameOf;

TEST(FrameStatistics, CountsOfAKnownFrame) {
    // UYVY 4 x 2: Cb 10, Y' 20, Cr 30, Y' 40 in the first row; all 50 in the second.
    const std::vector<uint8_t> bytes = {10, 20, 30, 40, 10, 20, 30, 40,
                                        50, 50, 50, 50, 50, 50, 50, 50};
    const FrameStatistics stats = ComputeFrameStatistics(FrameOf(bytes, kLayoutUYVY, 4, 2, 8), 2);
    ASSERT_EQ(stats.components.size(), 3u);
    const ComponentStatistics& y = stats.components[0];
    EXPECT_EQ(y.component, Component::Y);
    EXPECT_EQ(y.histogram.size(), 256u);
    EXPECT_EQ(y.samples, 8u);
    EXPECT_EQ(y.histogram[20], 2u);
    EXPECT_EQ(y.histogram[40], 2u);
    EXPECT_EQ(y.histogram[50], 4u);
    EXPECT_EQ(y.minimum, 20u);
    EXPECT_EQ(y.maximum, 50u);
    EXPECT_DOUBLE_EQ(y.mean, 40.0);
    // Two waveform columns of two frame columns each: column 0 holds pixels 0 and 1.
    EXPECT_EQ(stats.columns, 2);
    EXPECT_EQ(y.waveform[0 * kWaveformLevels + 20], 1u);
    EXPECT_EQ(y.waveform[0 * kWaveformLevels + 40], 1u);
    EXPECT_EQ(y.waveform[1 * kWaveformLevels + 50], 2u);
    const ComponentStatistics& cb = stats.components[1];
    EXPECT_EQ(cb.component, Component::Cb);
    EXPECT_EQ(cb.samples, 4u);
    EXPECT_EQ(cb.histogram[10], 2u);

    // 10-bit samples keep their own bins; 5-bit ones reach level 255 at their top.
    EXPECT_EQ(SampleLevel8(1023, 10), 255u);
    EXPECT_EQ(SampleLevel8(31, 5), 255u);
    EXPECT_EQ(SampleLevel8(0, 5), 0u);
    std::vector<uint8_t> p010(4 * 2 * 2 + 4 * 2, 0);
    p010[1] = 0xFF;  // the first Y' sample: 0xFF00 >> 6 = 1020
    p010[0] = 0x00;
    const FrameStatistics deep = ComputeFrameStatistics(FrameOf(p010, kLayoutP010, 4, 2, 12), 4);
    ASSERT_FALSE(deep.components.empty());
    EXPECT_EQ(deep.components[0].histogram.size(), 1024u);
    EXPECT_EQ(deep.components[0].histogram[1020], 1u);
    EXPECT_EQ(deep.components[0].histogram[0], 7u);

    // A mosaic counts each pixel once, under the colour of its place in the cell.
    const std::vector<uint8_t> rggb = {10, 20, 10, 20, 30, 40, 30, 40};  // R G R G / G B G B
    const FrameStatistics mosaic = ComputeFrameStatistics(FrameOf(rggb, kLayoutRGGB, 4, 2, 4), 4);
    uint64_t total = 0;
    for (const ComponentStatistics& c : mosaic.components) {
        total += c.samples;
        if (c.component == Component::R) {
            EXPECT_EQ(c.histogram[10], 2u);
        } else if (c.component == Component::G) {
            EXPECT_EQ(c.histogram[20] + c.histogram[30], 4u);
        } else {
            EXPECT_EQ(c.histogram[40], 2u);
        }
    }
    EXPECT_EQ(total, 8u);
}
