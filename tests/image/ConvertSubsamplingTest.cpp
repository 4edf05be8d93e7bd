// Chroma subsamplings that only the table-driven path reads: 4:1:1 becomes a 4:2:2 line by the
// rule of ConvertGeneric.h, and 4:4:0 is blended down the rows exactly as 4:2:0 is, with the
// interlaced and separated-field flags too.
#include "image/ConvertInternal.h"
#include "image/Kernels.h"
#include "image/PixelLayout.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> Convert(const KernelTable& k, uint32_t code, std::vector<uint8_t> frame,
                             int32_t w, int32_t h, int32_t pitch, uint32_t flags) {
    ConvertOptions opt;
    opt.kernels = &k;
    std::vector<uint8_t> out(size_t(3 * w) * size_t(h), 0xA5);
    EXPECT_TRUE(ConvertFrameWith(opt, w, h, flags, code, frame.data(), pitch, kLayoutBGR3,
                                 out.data(), 3 * w));
    return out;
}

std::vector<SimdLevel> Levels() {
    std::vector<SimdLevel> v;
    for (SimdLevel l :
         {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2, SimdLevel::AVX512})
        if (int(l) <= int(CpuSimdLevel())) v.push_back(l);
    return v;
}

const uint32_t kFlags[] = {0,
                           CONVERT_LUMA_ONLY,
                           CONVERT_CB_ONLY,
                           CONVERT_CR_ONLY,
                           CONVERT_INTERLACED,
                           CONVERT_FIELDS_SEPARATED};

// The 4:2:2 line of 4:1:1 samples q: 2k -> q[k], 2k+1 -> the rounded midpoint of q[k] and
// q[k+1], or q[k] at the end; entries past the samples repeat the last (128 with none).
std::vector<uint8_t> Widen411(const std::vector<uint8_t>& q, int entries) {
    std::vector<uint8_t> out;
    const int n = int(q.size());
    for (int m = 0; m < entries; ++m) {
        const int k = m / 2;
        if (n == 0)
            out.push_back(128);
        else if (k >= n)
            out.push_back(q[size_t(n - 1)]);
        else if ((m & 1) && k + 1 < n)
            out.push_back(uint8_t((q[size_t(k)] + q[size_t(k + 1)] + 1) / 2));
        else
            out.push_back(q[size_t(k)]);
    }
    return out;
}

// Y41B and the I422 frame whose chroma lines are the Y41B lines widened by the rule convert
// alike: every flag, every set, widths that are and are not multiples of 4, odd ones, and
// widths with no chroma sample at all.
TEST(ConvertSubsampling, FourOneOneWidensToFourTwoTwo) {
    std::mt19937 rng(3);
    for (int32_t w : {16, 18, 17, 9, 5, 3, 1, 70, 137}) {
        const int32_t h = 3, qw = w / 4, cw = w / 2;
        std::vector<uint8_t> luma(size_t(w * h)), cb(size_t(qw * h)), cr(cb.size());
        for (auto* plane : {&luma, &cb, &cr})
            for (uint8_t& b : *plane) b = uint8_t(rng());
        std::vector<uint8_t> y41b = luma, i422 = luma;
        y41b.insert(y41b.end(), cb.begin(), cb.end());
        y41b.insert(y41b.end(), cr.begin(), cr.end());
        for (const std::vector<uint8_t>* plane : {&cb, &cr}) {
            for (int32_t r = 0; r < h; ++r) {
                const std::vector<uint8_t> q(plane->begin() + r * qw,
                                             plane->begin() + (r + 1) * qw);
                const std::vector<uint8_t> line = Widen411(q, cw);
                i422.insert(i422.end(), line.begin(), line.end());
            }
        }
        // Both frames at the smallest pitch of their own layout.
        const int32_t p411 = int32_t((y41b.size() + size_t(h) - 1) / size_t(h));
        const int32_t p422 = int32_t((i422.size() + size_t(h) - 1) / size_t(h));
        y41b.resize(size_t(p411 * h));
        i422.resize(size_t(p422 * h));
        for (SimdLevel level : Levels()) {
            const KernelTable k = MakeKernelTable(level);
            for (uint32_t flags : kFlags) {
                ASSERT_EQ(Convert(k, kLayoutY41B, y41b, w, h, p411, flags),
                          Convert(k, kLayoutI422, i422, w, h, p422, flags))
                    << "width " << w << " flags " << flags << " " << SimdLevelName(level);
            }
        }
    }
    // The rule itself, for one row: samples 10 and 21 give 10, 16, 21, 21.
    EXPECT_EQ(Widen411({10, 21}, 4), (std::vector<uint8_t>{10, 16, 21, 21}));
}

// I440 with chroma that is constant along each row equals I420 with the same chroma rows:
// both blend chroma rows down the frame by the same taps, progressive, interlaced or
// separated, and the rest of their paths are exact.
TEST(ConvertSubsampling, FourFourZeroBlendsRowsLikeFourTwoZero) {
    std::mt19937 rng(4);
    for (auto [w, h] : {std::pair<int32_t, int32_t>{16, 8}, {6, 6}, {4, 2}, {17, 12}, {40, 10}}) {
        const int32_t ch = h / 2;
        std::vector<uint8_t> luma(size_t(w * h));
        for (uint8_t& b : luma) b = uint8_t(rng());
        std::vector<uint8_t> i440 = luma, i420 = luma;
        for (int plane = 0; plane < 2; ++plane) {
            for (int32_t r = 0; r < ch; ++r) {
                const uint8_t v = uint8_t(16 + rng() % 225);
                i440.insert(i440.end(), size_t(w), v);
                i420.insert(i420.end(), size_t(w / 2), v);
            }
        }
        const int32_t p440 = int32_t((i440.size() + size_t(h) - 1) / size_t(h));
        const int32_t p420 = int32_t((i420.size() + size_t(h) - 1) / size_t(h));
        i440.resize(size_t(p440 * h));
        i420.resize(size_t(p420 * h));
        for (SimdLevel level : Levels()) {
            const KernelTable k = MakeKernelTable(level);
            for (uint32_t flags : kFlags) {
                ASSERT_EQ(Convert(k, kLayoutI440, i440, w, h, p440, flags),
                          Convert(k, kLayoutI420, i420, w, h, p420, flags))
                    << w << "x" << h << " flags " << flags << " " << SimdLevelName(level);
            }
        }
    }
}

}  // namespace
