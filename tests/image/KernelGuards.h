// What the line-kernel tests share: input copied to the end of an exactly sized block (ASan
// reports a read past a kernel's stated extent), output with guard bytes around it, random
// lines, and the vector sets this processor has.
#pragma once

#include "image/Kernels.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace kerneltest {

inline constexpr uint8_t kGuard = 0xA5;
inline constexpr size_t kGuardBytes = 64;

inline std::vector<SimdLevel> VectorLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel l : {SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2, SimdLevel::AVX512})
        if (int(l) <= int(CpuSimdLevel())) levels.push_back(l);
    return levels;
}

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

// An input line copied to the end of an exactly sized heap block, so that ASan reports any
// read past the extent a kernel states.
struct ExactInput {
    std::unique_ptr<uint8_t[]> block;
    const uint8_t* data;
    explicit ExactInput(const std::vector<uint8_t>& bytes)
        : block(new uint8_t[bytes.size() + 1]), data(block.get() + 1) {
        std::memcpy(block.get() + 1, bytes.data(), bytes.size());
    }
};

// Output with guard bytes before and after `bytes`.
struct Guarded {
    std::vector<uint8_t> buf;
    size_t bytes;
    explicit Guarded(size_t n) : buf(n + 2 * kGuardBytes, kGuard), bytes(n) {}
    uint8_t* data() { return buf.data() + kGuardBytes; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kGuardBytes; ++i)
            if (buf[i] != kGuard || buf[kGuardBytes + bytes + i] != kGuard) return false;
        return true;
    }
    std::vector<uint8_t> Payload() const {
        return {buf.begin() + kGuardBytes, buf.begin() + ptrdiff_t(kGuardBytes + bytes)};
    }
};

}  // namespace kerneltest
