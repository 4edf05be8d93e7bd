// Histograms and waveforms of a raw frame's samples at their native bit depth, per component,
// read by the frame-memory description. No widget and no Qt: the histogram window computes them
// on a worker thread.
#pragma once

#include "view/picture/FrameRender.h"

#include "image/FrameMemory.h"

#include <cstdint>
#include <vector>

namespace kavlo {

struct ComponentStatistics {
    Component component = Component::Grey;
    uint8_t bits = 0;
    // Sample value >> binShift is the histogram bin: every value its own bin up to 12 bits,
    // 4096 bins for deeper samples.
    int binShift = 0;
    std::vector<uint64_t> histogram;
    // The waveform: for each of `columns` runs of frame columns the count of samples at each
    // of 256 levels (the sample scaled to 8 bits), column c's level l at c x 256 + l.
    std::vector<uint32_t> waveform;
    uint64_t samples = 0;
    uint32_t minimum = 0;
    uint32_t maximum = 0;
    double mean = 0.0;
};

struct FrameStatistics {
    int columns = 0;                              // waveform columns
    std::vector<ComponentStatistics> components;  // in the order Y', Cb, Cr, R', G', B', A, grey
};

constexpr int kWaveformLevels = 256;

// The statistics of every sample of `frame` (layout, geometry and pitch as the view reads it).
// The waveform has min(width, maxColumns) columns. Empty for an unknown layout.
FrameStatistics ComputeFrameStatistics(const SourceFrame& frame, int maxColumns);

// The 8-bit level of a sample of `bits` bits (0 .. 255).
uint32_t SampleLevel8(uint32_t value, int bits);

}  // namespace kavlo
