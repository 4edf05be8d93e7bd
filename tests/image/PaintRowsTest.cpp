// The paint's row kernels and plan against the plain rule (each client column takes the 32-bit
// word of its frame pixel, 0xFF R' G' B') for every kernel set the processor has: odd and large
// widths, lines that end (or start) at an inaccessible page so that any read outside them
// faults, guard words around the destination, and column tables of every zoom as well as
// random, repeating and falling ones.
#include "KernelSweep.h"
#include "image/PaintRows.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kGuardWord = 0x5A5A5A5Au;
constexpr int kGuardWords = 16;

uint32_t Rule(const uint8_t* line, int column) {
    const uint8_t* p = line + 3 * column;
    return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// The distinct row kernel sets of this processor.
std::vector<paint::RowKernels> AllSets() {
    std::vector<paint::RowKernels> sets;
    for (SimdLevel l : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2,
                        SimdLevel::AVX512}) {
        const paint::RowKernels k = paint::MakeRowKernels(l);
        if (sets.empty() || sets.back().level != k.level) sets.push_back(k);
    }
    return sets;
}

// `size` random bytes between two inaccessible pages: at the end of the readable pages
// (atEnd) or at their start, so that a read just past either end faults.
class FencedBytes {
public:
    FencedBytes(size_t size, bool atEnd, std::mt19937& rng) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t inner = (size + page - 1) / page * page + page;
        mapped_ = inner + 2 * page;
        void* m =
            mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(m, MAP_FAILED);
        base_ = static_cast<uint8_t*>(m);
        mprotect(base_, page, PROT_NONE);
        mprotect(base_ + page + inner, page, PROT_NONE);
        data_ = atEnd ? base_ + page + inner - size : base_ + page;
        for (size_t i = 0; i < size; ++i) data_[i] = static_cast<uint8_t>(rng());
    }
    FencedBytes(const FencedBytes&) = delete;
    FencedBytes& operator=(const FencedBytes&) = delete;
    ~FencedBytes() { munmap(base_, mapped_); }
    const uint8_t* data() const { return data_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t mapped_ = 0;
};

// A destination row with guard words on both sides.
struct GuardedRow {
    std::vector<uint32_t> words;
    explicit GuardedRow(int width)
        : words(static_cast<size_t>(width) + 2 * kGuardWords, kGuardWord) {}
    uint32_t* data() { return words.data() + kGuardWords; }
    bool GuardsIntact() const {
        for (int i = 0; i < kGuardWords; ++i)
            if (words[size_t(i)] != kGuardWord || words[words.size() - 1 - size_t(i)] != kGuardWord)
                return false;
        return true;
    }
};

std::vector<int> Widths() {
    std::vector<int> widths = sweep::Widths();
    for (int w : {1280, 1921, 3841}) widths.push_back(w);
    return widths;
}

// The row kernel sets there are (a level without its own set uses the one below), each its own
// test run of the kernel tests below.
class RowKernelSet : public testing::TestWithParam<SimdLevel> {
protected:
    // The set of the parameter's level (the test skips first where the processor lacks it).
    paint::RowKernels Set() const {
        const paint::RowKernels k = paint::MakeRowKernels(GetParam());
        EXPECT_EQ(k.level, GetParam());
        return k;
    }
};

std::string Name(const paint::RowKernels& k) { return SimdLevelName(k.level); }

TEST_P(RowKernelSet, CopyGivesEveryPixelWordAndReadsOnlyItsBytes) {
    SWEEP_SKIP_UNLESS_CPU_HAS(GetParam());
    std::mt19937 rng(7);
    for (const paint::RowKernels& k : {Set()}) {
        for (int width : Widths()) {
            for (bool atEnd : {true, false}) {
                FencedBytes line(3 * size_t(width), atEnd, rng);
                GuardedRow out(width);
                k.copy(line.data(), out.data(), width);
                for (int i = 0; i < width; ++i)
                    ASSERT_EQ(out.data()[i], Rule(line.data(), i))
                        << Name(k) << " width " << width << " pixel " << i;
                ASSERT_TRUE(out.GuardsIntact()) << Name(k) << " width " << width;
            }
        }
    }
}

// Column tables of the view's mapping: client column i of a picture scrolled by `start` shows
// frame column (start + i) x pictureWidth / zoomedWidth.
std::vector<int> ZoomColumns(int count, int start, int pictureWidth, double zoom) {
    const int zoomed = static_cast<int>(pictureWidth * zoom);
    std::vector<int> c(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int x = static_cast<int>(double(start + i) * pictureWidth / zoomed);
        c[size_t(i)] = std::clamp(x, 0, pictureWidth - 1);
    }
    return c;
}

TEST_P(RowKernelSet, PickTakesAnyOffsetsUpToTheLastPixel) {
    SWEEP_SKIP_UNLESS_CPU_HAS(GetParam());
    std::mt19937 rng(11);
    for (const paint::RowKernels& k : {Set()}) {
        for (int width : Widths()) {
            const int pictureWidth = 1 + static_cast<int>(rng() % 97);
            std::uniform_int_distribution<int> column(0, pictureWidth - 1);
            std::vector<std::vector<int>> tables(4, std::vector<int>(size_t(width)));
            for (int i = 0; i < width; ++i) {
                tables[0][size_t(i)] = column(rng);                                     // random
                tables[1][size_t(i)] = pictureWidth - 1 - i % pictureWidth;             // falling
                tables[2][size_t(i)] = std::max(0, pictureWidth - 1 - int(rng() % 2));  // last two
                tables[3][size_t(i)] = std::min(i * 3 / 2, pictureWidth - 1);  // rising, stops
            }
            FencedBytes line(3 * size_t(pictureWidth), true, rng);
            for (const std::vector<int>& table : tables) {
                std::vector<int32_t> offsets(table.size());
                for (size_t i = 0; i < table.size(); ++i) offsets[i] = 3 * table[i];
                GuardedRow out(width);
                k.pick(line.data(), 3 * pictureWidth, offsets.data(), out.data(), width);
                for (int i = 0; i < width; ++i)
                    ASSERT_EQ(out.data()[i], Rule(line.data(), table[size_t(i)]))
                        << Name(k) << " width " << width << " column " << i;
                ASSERT_TRUE(out.GuardsIntact()) << Name(k) << " width " << width;
            }
        }
    }
}

// The spread of a run of words over a row, where a set has one: dst[i] = words[bases[i / 8] +
// indices[i]] for random bases and indices within every reach, the words padded as the kernel
// may read them.
TEST_P(RowKernelSet, ExpandSpreadsTheRunAtEveryWidth) {
    SWEEP_SKIP_UNLESS_CPU_HAS(GetParam());
    const paint::RowKernels k = Set();
    if (!k.expand) GTEST_SKIP() << Name(k) << " has no spreading kernel: rows are picked";
    std::mt19937 rng(13);
    for (int width : Widths()) {
        for (int reach : {1, 8, 17, 32}) {
            const int blocks = (width + 7) / 8;
            std::vector<int32_t> bases(static_cast<size_t>(blocks)),
                indices(static_cast<size_t>(width));
            for (int b = 0; b < blocks; ++b) bases[size_t(b)] = b * 3 + int(rng() % 5);
            for (int32_t& i : indices) i = int32_t(rng() % unsigned(reach));
            std::vector<uint32_t> words(size_t(*std::max_element(bases.begin(), bases.end())) + 32);
            for (uint32_t& w : words) w = uint32_t(rng());
            GuardedRow out(width);
            k.expand(words.data(), bases.data(), indices.data(), out.data(), width, reach);
            for (int i = 0; i < width; ++i)
                ASSERT_EQ(out.data()[i], words[size_t(bases[size_t(i / 8)] + indices[size_t(i)])])
                    << Name(k) << " width " << width << " reach " << reach << " column " << i;
            ASSERT_TRUE(out.GuardsIntact()) << Name(k) << " width " << width;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PaintRows, RowKernelSet,
                         testing::Values(SimdLevel::Scalar, SimdLevel::SSSE3, SimdLevel::AVX2),
                         sweep::SetName());

bool Consecutive(const std::vector<int>& columns) {
    for (size_t i = 1; i < columns.size(); ++i)
        if (columns[i] != columns[i - 1] + 1) return false;
    return true;
}

// Runs a plan on the columns against the rule; returns the mode it chose.
paint::RowPlan::Mode CheckPlan(const paint::RowKernels& k, const std::vector<int>& columns,
                               int pictureWidth, std::mt19937& rng, const std::string& what) {
    paint::RowPlan plan(k);
    const int count = static_cast<int>(columns.size());
    plan.Prepare(columns.data(), count, pictureWidth);
    FencedBytes line(3 * size_t(pictureWidth), true, rng);
    for (int pass = 0; pass < 2; ++pass) {  // the run copied in the first pass is overwritten
        GuardedRow out(count);
        plan.Row(line.data(), out.data());
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(out.data()[i], Rule(line.data(), columns[size_t(i)]))
                << Name(k) << " " << what << " column " << i;
            if (out.data()[i] != Rule(line.data(), columns[size_t(i)])) return plan.PlanMode();
        }
        EXPECT_TRUE(out.GuardsIntact()) << Name(k) << " " << what;
    }
    return plan.PlanMode();
}

TEST(PaintRows, PlanFollowsTheViewsMappingAtEveryZoom) {
    std::mt19937 rng(3);
    using Mode = paint::RowPlan::Mode;
    for (const paint::RowKernels& k : AllSets()) {
        for (double zoom : {1.0 / 16, 0.2, 1.0 / 4, 0.3, 0.47, 0.5, 2.0 / 3, 0.99, 1.0, 1.5, 2.0,
                            3.0, 7.3, 16.0, 32.0}) {
            for (int pictureWidth : {1, 5, 67, 1923}) {
                const int zoomed = static_cast<int>(pictureWidth * zoom);
                if (zoomed < 1) continue;
                for (int count : {1, 7, 8, 9, 33, 1280}) {
                    const int visible = std::min(count, zoomed);
                    for (int start : {0, zoomed - visible, (zoomed - visible) / 3}) {
                        const std::string what = "zoom " + std::to_string(zoom) + " picture " +
                                                 std::to_string(pictureWidth) + " count " +
                                                 std::to_string(visible) + " start " +
                                                 std::to_string(start);
                        const std::vector<int> columns =
                            ZoomColumns(visible, start, pictureWidth, zoom);
                        const Mode mode = CheckPlan(k, columns, pictureWidth, rng, what);
                        if (Consecutive(columns)) {
                            EXPECT_EQ(mode, Mode::Copy) << what;
                        } else if (k.expand && zoom >= 0.25 && visible >= 2) {
                            EXPECT_EQ(mode, Mode::Expand) << Name(k) << " " << what;
                        } else if (zoom <= 0.2 && visible >= 8) {
                            EXPECT_EQ(mode, Mode::Pick) << Name(k) << " " << what;
                        }
                    }
                }
            }
        }
    }
}

TEST(PaintRows, PlanTakesRandomRepeatingAndFallingColumns) {
    std::mt19937 rng(5);
    for (const paint::RowKernels& k : AllSets()) {
        for (int count : {1, 2, 8, 15, 16, 17, 70, 1000}) {
            const int pictureWidth = 40 + static_cast<int>(rng() % 2000);
            // Within 8, 16 and 32 columns of a moving centre, up and down: spread by one, two
            // and four windows where a set can.
            std::vector<std::vector<int>> near(3, std::vector<int>(static_cast<size_t>(count)));
            std::vector<int> any(static_cast<size_t>(count)), falling(static_cast<size_t>(count));
            for (int i = 0; i < count; ++i) {
                const int centre = (i / 8) * 5 % (pictureWidth - 32);
                for (size_t r = 0; r < 3; ++r)
                    near[r][size_t(i)] = centre + static_cast<int>(rng() % (8u << r));
                any[size_t(i)] = static_cast<int>(rng() % unsigned(pictureWidth));
                falling[size_t(i)] = std::max(0, pictureWidth - 1 - i / 3);
            }
            const std::string n = " count " + std::to_string(count);
            for (size_t r = 0; r < 3; ++r) {
                const auto mode = CheckPlan(k, near[r], pictureWidth, rng, "near" + n);
                if (k.expand && !Consecutive(near[r])) {
                    EXPECT_EQ(mode, paint::RowPlan::Mode::Expand) << n;
                }
            }
            CheckPlan(k, any, pictureWidth, rng, "random" + n);
            CheckPlan(k, falling, pictureWidth, rng, "falling" + n);
        }
        // One plan prepared again for other columns keeps nothing of the first.
        paint::RowPlan plan(k);
        const std::vector<int> wide = ZoomColumns(100, 0, 400, 0.25);
        const std::vector<int> narrow = ZoomColumns(100, 10, 50, 2.0);
        FencedBytes line(3 * 400, true, rng);
        plan.Prepare(wide.data(), 100, 400);
        plan.Prepare(narrow.data(), 100, 400);
        GuardedRow out(100);
        plan.Row(line.data(), out.data());
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(out.data()[i], Rule(line.data(), narrow[size_t(i)])) << Name(k) << " " << i;
    }
}

}  // namespace
