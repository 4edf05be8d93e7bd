// What every kernel set's tests share: the widths each line and frame test sweeps, one test run
// per kernel set (skipped with a message where the processor lacks the set, so that a set the
// machine would not choose still runs wherever it can), and the plain reference the sets are held
// to.
//
// The sweep: every width from 1 to four of the widest vectors (64 bytes) plus a margin, so that
// each set meets a line end after every count of whole vector steps and every remainder, for
// each of its step sizes (bytes, pairs or pixels).
#pragma once

#include "image/Kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sweep {

constexpr int kWidestVectorBytes = 64;
constexpr int kMaxWidth = 4 * kWidestVectorBytes + 24;

inline std::vector<int> Widths() {
    std::vector<int> w;
    for (int i = 1; i <= kMaxWidth; ++i) w.push_back(i);
    return w;
}

// Every kernel set, the scalar one first.
inline std::vector<SimdLevel> AllSets() {
    return {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2,
            SimdLevel::AVX512};
}
inline std::vector<SimdLevel> VectorSets() {
    return {SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2, SimdLevel::AVX512};
}

inline bool CpuHas(SimdLevel level) { return int(level) <= int(CpuSimdLevel()); }

// The parameter name of a per-set test: "avx512/..." rather than "/4".
struct SetName {
    std::string operator()(const testing::TestParamInfo<SimdLevel>& info) const {
        return SimdLevelName(info.param);
    }
};

namespace detail {
inline void VuyaToBgrExact(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i)
        kernels::VuyaToBgrReference(src[4 * i], src[4 * i + 1], src[4 * i + 2], dst + 3 * i);
}
template <int kByte, bool kLuma>
void VuyaGreyExact(const uint8_t* src, uint8_t* dst, int width) {
    for (int i = 0; i < width; ++i) {
        const uint8_t v = src[4 * i + kByte];
        dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] =
            kLuma ? kernels::LumaGreyReference(v) : kernels::ChromaGreyReference(v);
    }
}
}  // namespace detail

// The scalar set with the exact single-precision matrix and grey formulas in place of its fixed
// point ones: the table whose frames every vector set must give byte for byte.
inline KernelTable ReferenceTable() {
    KernelTable t = MakeKernelTable(SimdLevel::Scalar);
    t.vuyaToBgr = detail::VuyaToBgrExact;
    t.vuyaLumaToGrey = detail::VuyaGreyExact<2, true>;
    t.vuyaCbToGrey = detail::VuyaGreyExact<1, false>;
    t.vuyaCrToGrey = detail::VuyaGreyExact<0, false>;
    return t;
}

// The failing widths of one check, listed briefly.
inline std::string FirstWidths(const std::vector<int>& widths, size_t shown = 12) {
    std::string s = std::to_string(widths.size()) + " widths:";
    for (size_t i = 0; i < widths.size() && i < shown; ++i) s += " " + std::to_string(widths[i]);
    if (widths.size() > shown) s += " ...";
    return s;
}

}  // namespace sweep

// Skips a per-set test where the processor lacks the set.
#define SWEEP_SKIP_UNLESS_CPU_HAS(level)                                        \
    do {                                                                        \
        if (!sweep::CpuHas(level))                                              \
            GTEST_SKIP() << "this processor lacks the " << SimdLevelName(level) \
                         << " set (best: " << SimdLevelName(CpuSimdLevel())     \
                         << "): its kernels are not run here";                  \
    } while (false)
