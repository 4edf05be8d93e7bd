// PSNR of raw frames on their stored samples, at their native bit depth, per component.
//
// The numbers are those of ffmpeg's psnr filter:
//   MSE_c  = sum over the samples of component c of (a - b)^2 / number of samples of c
//   PSNR_c = 10 log10(peak_c^2 / MSE_c), peak_c = 2^bits_c - 1; infinite when MSE_c = 0
//   the frame's average: MSE_avg = sum_c w_c MSE_c and PSNR_avg = 10 log10(peak_avg^2 /
//   MSE_avg), with w_c = samples of c / samples of all components (a 4:2:0 frame weighs Y' 4/6
//   and Cb, Cr 1/6 each) and peak_avg = sum_c w_c peak_c
//   over several frames (the summary): PSNR_c of the mean MSE_c of the frames, PSNR_avg of the
//   mean MSE_avg, and the lowest frame PSNR_avg (ffmpeg's "min").
// Samples are read where the frame-memory table says they lie (ReadSample), so every layout of
// the catalogue is measured; planes of 8-bit bytes and of little-endian 16-bit words take a
// fast path that sums the squared differences in 64 bits with SSE2.
#pragma once

#include "image/FrameMemory.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where the samples of one component of a W x H frame lie in one layout, in the order in which
// they are compared: rows top to bottom as stored, pixels left to right.
struct ComponentSamples {
    Component component = Component::Y;
    int bits = 0;
    // Per plane holding the component (one for every layout of today).
    struct InPlane {
        int plane = 0;
        uint64_t offset = 0;  // of the plane in the frame
        uint64_t pitch = 0;
        uint64_t rows = 0;
        uint64_t groups = 0;  // whole or partial groups per row
        // The slots of this component in a group, by pixel, and which of them the last group
        // of a row holds (a partial group at an odd width keeps only the samples it holds
        // whole).
        std::vector<int> slots;
        std::vector<int> lastGroupSlots;
        // The frame pixel of the group each of those slots belongs to.
        std::vector<int> pixels;
        std::vector<int> lastGroupPixels;
        int groupPixels = 1;
        int heightDivisor = 1;
        // Fast path: one sample per group in a whole byte (8 bits) or a whole little-endian
        // 16-bit word at bit 0 (any bits up to 16).
        bool contiguous = false;
        int wordBytes = 1;
        // Regular: one sample per group, inside one byte or one 16-bit word (any bit position,
        // either byte order), as in P010's planes or interleaved Cb/Cr pairs; such runs are
        // read with a stride instead of sample by sample through the table.
        bool regular = false;
        uint64_t firstByte = 0;    // of the sample in its group
        uint64_t strideBytes = 0;  // from one group to the next
        int shift = 0;
        bool bigEndian = false;
    };
    std::vector<InPlane> planes;
    uint64_t count = 0;  // samples of the component in a frame
};

struct FrameSamples {
    uint32_t code = 0;
    ByteOrder order = ByteOrder::Little;
    const FrameMemoryLayout* layout = nullptr;
    std::vector<ComponentSamples> components;  // in the order of the columns
};

// The components of layout `code` at W x H and line pitch lineBytes, in column order (Y', Cb,
// Cr; R', G', B'; grey; then alpha). False for a layout the table does not describe or a pitch
// too small for it.
bool DescribeSamples(uint32_t code, int32_t width, int32_t height, int32_t lineBytes,
                     FrameSamples& out);

// Whether frames of A and B can be compared sample by sample: the same components, each with
// the same bits and at the same positions. The reason in words otherwise.
bool SamplesComparable(const FrameSamples& a, const FrameSamples& b, std::string& why);

// Column name of a component: y, cb, cr, r, g, b, a; grey is "y" as ffmpeg names it.
const char* ComponentName(Component c);

// Sums of squared differences of each component of two frames (in the order of a's
// components), frames as stored (frameBytes of each at least its extent).
void SumSquaredDifferences(const FrameSamples& a, const uint8_t* frameA, const FrameSamples& b,
                           const uint8_t* frameB, std::vector<uint64_t>& sse);
// The part of those sums that `rows` rows of one plane give: of a's component `component` in
// its plane entry `plane` (and b's same entry), rows counted from the ones rowsA and rowsB point
// at (their first bytes), each row at the plane's pitch from the one before. A frame read in
// bands of rows sums its bands with this; frames as a whole give the same sums.
uint64_t SumSquaredRows(const FrameSamples& a, size_t component, size_t plane, const uint8_t* rowsA,
                        const FrameSamples& b, const uint8_t* rowsB, uint64_t rows);

// The largest absolute difference of two frames' samples and where it lies. Ties go to the
// first in compared order: components in column order, then rows, then pixels. x is the frame
// pixel of the sample (a subsampled chroma sample: the first pixel of those it covers), y the
// memory row (a chroma row of a 4:2:0 plane: row x its height divisor, the top row it covers).
struct SampleDifference {
    bool differs = false;  // false: every sample is equal (the rest is then zero)
    size_t component = 0;  // index into a's components
    uint64_t x = 0;
    uint64_t y = 0;
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t Magnitude() const { return a > b ? a - b : b - a; }
};
SampleDifference LargestDifference(const FrameSamples& a, const uint8_t* frameA,
                                   const FrameSamples& b, const uint8_t* frameB);

// The squared differences of `count` bytes, or of `count` little-endian 16-bit words masked
// with `mask`, summed in 64 bits. For the fast path and its tests.
uint64_t SumSquares8(const uint8_t* a, const uint8_t* b, size_t count);
uint64_t SumSquares16(const uint8_t* a, const uint8_t* b, size_t count, uint16_t mask);
// The squared differences of `count` samples of two regular runs (see InPlane::regular),
// starting at the rows' first samples, each masked with `mask` after its shift.
uint64_t SumSquaresStrided(const ComponentSamples::InPlane& pa, const uint8_t* a,
                           const ComponentSamples::InPlane& pb, const uint8_t* b, size_t count,
                           uint32_t mask);
// The largest absolute difference of `count` bytes (SSE2), which lets the search for the
// largest difference skip the rows that hold none larger than the one found.
uint32_t LargestDifference8(const uint8_t* a, const uint8_t* b, size_t count);

// The PSNR figures of one frame or of a summary.
struct PsnrFigures {
    std::vector<double> mse;  // per component
    std::vector<double> psnr;
    double mseAverage = 0;
    double psnrAverage = 0;
};

// Peaks and weights of the components of a layout.
struct PsnrWeights {
    std::vector<double> peak;
    std::vector<double> weight;
    double averagePeak = 0;
};
PsnrWeights WeightsOf(const FrameSamples& samples);

// 10 log10(peak^2 / mse); +infinity for mse 0.
double PsnrOf(double mse, double peak);
PsnrFigures FrameFigures(const PsnrWeights& weights, const std::vector<uint64_t>& sse,
                         const FrameSamples& samples);
// The summary of frames: PSNR of the mean MSE per component and of the mean average MSE.
PsnrFigures SummaryFigures(const PsnrWeights& weights, const std::vector<PsnrFigures>& frames);

// The differences of two frames within a rectangle of frame pixels, x0 <= x < x1 and
// y0 <= y < y1 in memory rows (the rectangle already clamped to the frame). A sample counts when
// the pixels it stands for overlap the rectangle: a 4:2:0 chroma sample its 2x2 pixels, a 4:2:2
// or 4:1:1 one its 2 or 4 pixels of a row, so that every component has samples in any rectangle
// of at least one pixel, and a rectangle on even pixel bounds holds exactly the chroma of its
// pixels. Per component (in a's order): the squared differences, the samples counted, and the
// largest difference as LargestDifference reports it (ties to the first in compared order).
struct RegionDifferences {
    std::vector<uint64_t> sse;
    std::vector<uint64_t> count;
    SampleDifference largest;
};
RegionDifferences DifferencesInRegion(const FrameSamples& a, const uint8_t* frameA,
                                      const FrameSamples& b, const uint8_t* frameB, uint64_t x0,
                                      uint64_t y0, uint64_t x1, uint64_t y1);
// The figures of those differences: MSE and PSNR per component over the samples counted, the
// average weighing each component by its share of them.
PsnrFigures RegionFigures(const FrameSamples& samples, const RegionDifferences& region);
