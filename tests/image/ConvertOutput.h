// A converted frame with guard bytes between and around the rows, for the conversion tests: each
// destination row has 3 x W bytes followed by 48 guard bytes, and 48 guard bytes precede row 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint8_t kOutputGuard = 0x5A;

struct Output {
    int32_t width, height, pitch;
    std::vector<uint8_t> buf;
    Output(int32_t w, int32_t h)
        : width(w),
          height(h),
          pitch(3 * w + 48),
          buf(size_t(pitch) * size_t(h) + 48, kOutputGuard) {}
    uint8_t* data() { return buf.data() + 48; }
    const uint8_t* Px(int x, int y) const {
        return buf.data() + 48 + size_t(y) * size_t(pitch) + 3 * size_t(x);
    }
    bool GuardsIntact() const {
        for (size_t i = 0; i < 48; ++i)
            if (buf[i] != kOutputGuard) return false;
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < 48; ++i)
                if (Px(width, y)[i] != kOutputGuard) return false;
        return true;
    }
    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> v;
        for (int y = 0; y < height; ++y) v.insert(v.end(), Px(0, y), Px(0, y) + 3 * width);
        return v;
    }
};
