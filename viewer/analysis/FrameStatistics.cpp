#include "analysis/FrameStatistics.h"

#include <algorithm>
#include <limits>

namespace kavlo {

uint32_t SampleLevel8(uint32_t value, int bits) {
    if (bits >= 8) return value >> (bits - 8);
    const uint32_t top = (1u << bits) - 1u;
    return (std::min(value, top) * 255u + top / 2u) / top;
}

FrameStatistics ComputeFrameStatistics(const SourceFrame& frame, int maxColumns) {
    FrameStatistics stats;
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(frame.code);
    FrameExtent extent{};
    if (!layout || !frame.bytes || maxColumns <= 0 ||
        !GetFrameExtent(frame.code, frame.width, frame.height, frame.lineBytes, extent))
        return stats;
    const int width = frame.width;
    stats.columns = std::min(width, maxColumns);

    // One entry per component the layout carries, the widest slot's depth.
    int index[8];
    std::fill(std::begin(index), std::end(index), -1);
    uint8_t depth[8] = {};
    for (int p = 0; p < layout->planeCount; ++p) {
        for (int s = 0; s < layout->planes[p].slotCount; ++s) {
            const SampleSlot& slot = layout->planes[p].sampleSlots[s];
            const auto c = static_cast<size_t>(slot.component);
            depth[c] = std::max(depth[c], slot.bits);
        }
    }
    for (size_t c = 0; c < 8; ++c) {
        if (depth[c] == 0) continue;
        ComponentStatistics cs;
        cs.component = static_cast<Component>(c);
        cs.bits = depth[c];
        cs.binShift = std::max(0, cs.bits - 12);
        cs.histogram.assign(size_t{1} << (cs.bits - cs.binShift), 0);
        cs.waveform.assign(static_cast<size_t>(stats.columns) * kWaveformLevels, 0);
        cs.minimum = std::numeric_limits<uint32_t>::max();
        index[c] = static_cast<int>(stats.components.size());
        stats.components.push_back(std::move(cs));
    }

    // The waveform column of every frame column.
    std::vector<uint32_t> columnOf(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        columnOf[static_cast<size_t>(x)] =
            static_cast<uint32_t>(static_cast<int64_t>(x) * stats.columns / width) *
            kWaveformLevels;
    }

    std::vector<double> sums(stats.components.size(), 0.0);
    for (int p = 0; p < layout->planeCount; ++p) {
        const PlaneDesc& plane = layout->planes[p];
        const PlaneExtent& pe = extent.planes[p];
        if (plane.groupBytes == 0) continue;
        const bool pairs = IsPackedPair(plane);
        const bool mosaic = layout->model == ColourModel::Bayer;
        const uint64_t groups = (pe.rowBytes + plane.groupBytes - 1) / plane.groupBytes;
        for (uint64_t r = 0; r < pe.rows; ++r) {
            const uint8_t* row = frame.bytes + pe.offset + r * pe.pitch;
            for (uint64_t g = 0; g < groups; ++g) {
                const uint8_t* group = row + g * plane.groupBytes;
                const bool cutPair = pairs && (g + 1) * plane.groupBytes > pe.rowBytes;
                const uint64_t firstX = g * plane.groupPixels;
                for (int s = 0; s < plane.slotCount; ++s) {
                    const SampleSlot& slot = plane.sampleSlots[s];
                    // A mosaic's pixel holds only the slot of its place in the 2 x 2 cell (whose
                    // `pixel` is that place, not a pixel of the group).
                    if (mosaic && &slot != &MosaicSlot(plane, int64_t(g), int64_t(r))) continue;
                    const uint64_t x = firstX + (mosaic ? 0 : slot.pixel);
                    // Samples past the frame's width, and the unused words of a pair cut short
                    // at an odd width, are not pixels of the picture.
                    if (x >= static_cast<uint64_t>(width) ||
                        (cutPair &&
                         (slot.component == Component::Cb || slot.component == Component::Cr)) ||
                        g * plane.groupBytes + (slot.word + 1u) * plane.wordBytes > pe.rowBytes)
                        continue;
                    const int ci = index[static_cast<size_t>(slot.component)];
                    ComponentStatistics& cs = stats.components[static_cast<size_t>(ci)];
                    const uint32_t value = ReadSample(group, plane, layout->byteOrder, slot);
                    ++cs.histogram[value >> cs.binShift];
                    ++cs.waveform[columnOf[x] + SampleLevel8(value, slot.bits)];
                    ++cs.samples;
                    cs.minimum = std::min(cs.minimum, value);
                    cs.maximum = std::max(cs.maximum, value);
                    sums[static_cast<size_t>(ci)] += value;
                }
            }
        }
    }
    for (size_t i = 0; i < stats.components.size(); ++i) {
        ComponentStatistics& cs = stats.components[i];
        if (cs.samples == 0) {
            cs.minimum = 0;
            continue;
        }
        cs.mean = sums[i] / static_cast<double>(cs.samples);
    }
    return stats;
}

}  // namespace kavlo
