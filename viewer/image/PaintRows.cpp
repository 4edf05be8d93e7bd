// The paint's row kernels without vector instructions, the choice of a set, and the plan that
// picks a kernel for the columns of one paint.
#include "PaintRows.h"

#include <algorithm>
#include <cstring>

namespace paint {

namespace {

// The word of a pixel followed by at least one more readable byte: one 4-byte load, the fourth
// byte replaced by the opaque alpha.
inline uint32_t PixelWordLoad4(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t word;
    std::memcpy(&word, p, 4);
    return 0xFF000000u | word;
#else
    return PixelWord(p);
#endif
}

}  // namespace

void CopyRow_Scalar(const uint8_t* src, uint32_t* dst, int width) {
    int i = 0;
    for (; i < width - 1; ++i) dst[i] = PixelWordLoad4(src + 3 * i);
    for (; i < width; ++i) dst[i] = PixelWord(src + 3 * i);
}

void PickRow_Scalar(const uint8_t* line, int lineBytes, const int32_t* offsets, uint32_t* dst,
                    int width) {
    for (int i = 0; i < width; ++i) {
        const int32_t o = offsets[i];
        dst[i] = o + 4 <= lineBytes ? PixelWordLoad4(line + o) : PixelWord(line + o);
    }
}

void ExpandRow_Scalar(const uint32_t* words, const int32_t* bases, const int32_t* indices,
                      uint32_t* dst, int width, int /*reach*/) {
    for (int i = 0; i < width; ++i) dst[i] = words[bases[i / 8] + indices[i]];
}

RowKernels MakeRowKernels(SimdLevel level) {
    if (int(level) > int(CpuSimdLevel())) level = CpuSimdLevel();
    RowKernels k;
    k.copy = CopyRow_Scalar;
    k.pick = PickRow_Scalar;
    // Spreading a copied run costs as much as picking without a vector permute.
    k.expand = nullptr;
    if (int(level) >= int(SimdLevel::SSSE3)) {
        k.level = SimdLevel::SSSE3;
        k.copy = CopyRow_SSSE3;
    }
    if (int(level) >= int(SimdLevel::AVX2)) {  // the AVX-512 set includes AVX2
        k.level = SimdLevel::AVX2;
        k.copy = CopyRow_AVX2;
        k.pick = PickRow_AVX2;
        k.expand = ExpandRow_AVX2;
    }
    return k;
}

const RowKernels& CurrentRowKernels() {
    static const RowKernels kernels = MakeRowKernels(DetectSimdLevel());
    return kernels;
}

void RowPlan::Prepare(const int* columns, int count, int pictureWidth) {
    count_ = std::max(count, 0);
    lineBytes_ = 3 * pictureWidth;
    if (count_ == 0) {
        mode_ = Mode::Pick;
        return;
    }
    bool consecutive = true;
    for (int i = 1; i < count_ && consecutive; ++i) consecutive = columns[i] == columns[i - 1] + 1;
    first_ = columns[0];
    if (consecutive) {
        mode_ = Mode::Copy;
        return;
    }
    // A run is worth copying when every block of 8 client columns lies within 32 frame columns
    // and the run is not much longer than the row.
    const auto [low, high] = std::minmax_element(columns, columns + count_);
    bool spread = kernels_->expand != nullptr && *high - *low + 1 <= 4 * count_ + 32;
    const int blocks = (count_ + 7) / 8;
    reach_ = 1;
    if (spread) {
        bases_.resize(static_cast<size_t>(blocks));
        indices_.resize(static_cast<size_t>(count_));
        for (int b = 0; b < blocks && spread; ++b) {
            const int* block = columns + 8 * b;
            const int n = std::min(8, count_ - 8 * b);
            const auto [bl, bh] = std::minmax_element(block, block + n);
            spread = *bh - *bl <= 31;
            reach_ = std::max(reach_, *bh - *bl + 1);
            bases_[static_cast<size_t>(b)] = *bl - *low;
            for (int j = 0; j < n; ++j) indices_[static_cast<size_t>(8 * b + j)] = block[j] - *bl;
        }
    }
    if (spread) {
        mode_ = Mode::Expand;
        first_ = *low;
        span_ = *high - *low + 1;
        words_.assign(static_cast<size_t>(span_) + 32, 0);
        return;
    }
    mode_ = Mode::Pick;
    offsets_.resize(static_cast<size_t>(count_));
    for (int i = 0; i < count_; ++i) offsets_[static_cast<size_t>(i)] = 3 * columns[i];
}

void RowPlan::Row(const uint8_t* line, uint32_t* out) {
    switch (mode_) {
    case Mode::Copy: kernels_->copy(line + 3 * first_, out, count_); break;
    case Mode::Expand:
        kernels_->copy(line + 3 * first_, words_.data(), span_);
        kernels_->expand(words_.data(), bases_.data(), indices_.data(), out, count_, reach_);
        break;
    case Mode::Pick: kernels_->pick(line, lineBytes_, offsets_.data(), out, count_); break;
    }
}

}  // namespace paint
