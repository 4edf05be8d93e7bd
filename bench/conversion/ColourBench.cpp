// Speed of the conversion with another matrix or range (BT.709 limited and full, BT.2020) next
// to the default BT.601 limited-range path, libyuv's matrix variants and libswscale with its
// colorspace details set, for I420, NV12, UYVY and P010 at 3840x2160. Frames are cold (a pool of
// frames much larger than the last-level cache), as in ConvertBench.cpp.
// Names: <who>/<layout>/<colour>[/<threads>], e.g. kavlo/I420/709full/2t.
#include "image/ConvertInternal.h"
#include "image/FrameMemory.h"
#include "image/Kernels.h"
#include "image/PixelLayout.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#include <libyuv.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr size_t kPoolBytes = size_t(64) << 20;
constexpr int kW = 3840, kH = 2160;

struct Aligned {
    uint8_t* p = nullptr;
    explicit Aligned(size_t n) {
        void* q = nullptr;
        if (posix_memalign(&q, 4096, n) == 0) p = static_cast<uint8_t*>(q);
    }
    ~Aligned() { std::free(p); }
    Aligned(Aligned&& o) noexcept : p(std::exchange(o.p, nullptr)) {}
    Aligned(const Aligned&) = delete;
};

// Source frames of Y'CbCr samples within limited range (so no picture is a clamped one), and
// destination frames, rotated one step per iteration.
struct Pool {
    std::vector<Aligned> src, dst;
    size_t next = 0;
    Pool(size_t sBytes, size_t dBytes) {
        const size_t n = std::max<size_t>(3, kPoolBytes / (sBytes + dBytes) + 1);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (size_t i = 0; i < n; ++i) {
            src.emplace_back(sBytes);
            dst.emplace_back(dBytes);
            for (size_t k = 0; k < sBytes; ++k) {
                x ^= x << 13, x ^= x >> 7, x ^= x << 17;
                src.back().p[k] = uint8_t(16 + (x >> 56) % 220);
            }
            std::memset(dst.back().p, 0, dBytes);
        }
    }
    std::pair<const uint8_t*, uint8_t*> Next() {
        const size_t i = next++ % src.size();
        return {src[i].p, dst[i].p};
    }
};

struct Frame {
    uint32_t code;
    int32_t pitch;
    FrameExtent extent;
};

Frame MakeFrame(uint32_t code) {
    Frame f{code, 0, {}};
    RawVideoFormat fmt{};
    BuildRawVideoFormat(fmt, kW, kH, code, 0, 0);
    f.pitch = fmt.lineBytes;
    GetFrameExtent(code, kW, kH, f.pitch, f.extent);
    return f;
}

size_t DstPitch() { return (3 * size_t(kW) + 47) / 48 * 48; }

struct Colour {
    const char* name;
    ConvertFlags flags;
    const libyuv::YuvConstants* yuv;
    int swsSpace;
    int swsFullRange;
};
const Colour kColours[] = {
    {"601", 0, &libyuv::kYuvI601Constants, SWS_CS_ITU601, 0},
    {"709", CONVERT_MATRIX_709, &libyuv::kYuvH709Constants, SWS_CS_ITU709, 0},
    {"709full", CONVERT_MATRIX_709 | CONVERT_FULL_RANGE, &libyuv::kYuvF709Constants, SWS_CS_ITU709,
     1},
    {"2020", CONVERT_MATRIX_2020, &libyuv::kYuv2020Constants, SWS_CS_BT2020, 0},
};

void Kavlo(benchmark::State& state, uint32_t code, ConvertFlags flags, int threads) {
    const Frame f = MakeFrame(code);
    Pool pool(f.extent.frameBytes, DstPitch() * size_t(kH));
    ConvertOptions opt;
    opt.maxThreads = threads;
    opt.followLoad = false;
    for (auto _ : state) {
        auto [s, d] = pool.Next();
        if (!ConvertFrameWith(opt, kW, kH, flags, code, s, f.pitch, kLayoutBGR3, d,
                              int32_t(DstPitch())))
            state.SkipWithError("conversion failed");
        benchmark::ClobberMemory();
    }
}

void Libyuv(benchmark::State& state, uint32_t code, const libyuv::YuvConstants* m) {
    using namespace libyuv;
    const Frame f = MakeFrame(code);
    Pool pool(f.extent.frameBytes, 4 * size_t(kW) * size_t(kH));
    auto plane = [&](const uint8_t* s, int i) { return s + f.extent.planes[i].offset; };
    for (auto _ : state) {
        auto [s, d] = pool.Next();
        switch (code) {
        case kLayoutI420:
            I420ToRGB24Matrix(plane(s, 0), kW, plane(s, 1), kW / 2, plane(s, 2), kW / 2, d,
                              int(DstPitch()), m, kW, kH);
            break;
        case kLayoutNV12:
            NV12ToRGB24Matrix(plane(s, 0), kW, plane(s, 1), kW, d, int(DstPitch()), m, kW, kH);
            break;
        case kLayoutP010:
            P010ToARGBMatrix(reinterpret_cast<const uint16_t*>(plane(s, 0)), kW,
                             reinterpret_cast<const uint16_t*>(plane(s, 1)), kW, d, 4 * kW, m, kW,
                             kH);
            break;
        default: state.SkipWithError("no libyuv matrix function"); return;
        }
        benchmark::ClobberMemory();
    }
}

void Swscale(benchmark::State& state, uint32_t code, int space, int fullRange) {
    const Frame f = MakeFrame(code);
    const AVPixelFormat fmt = code == kLayoutI420   ? AV_PIX_FMT_YUV420P
                              : code == kLayoutNV12 ? AV_PIX_FMT_NV12
                              : code == kLayoutUYVY ? AV_PIX_FMT_UYVY422
                                                    : AV_PIX_FMT_P010LE;
    SwsContext* ctx =
        sws_getContext(kW, kH, fmt, kW, kH, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    if (!ctx) {
        state.SkipWithError("no swscale context");
        return;
    }
    const int* table = sws_getCoefficients(space);
    sws_setColorspaceDetails(ctx, table, fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);
    Pool pool(f.extent.frameBytes, DstPitch() * size_t(kH));
    for (auto _ : state) {
        auto [s, d] = pool.Next();
        const uint8_t* planes[4] = {};
        int strides[4] = {};
        for (int i = 0; i < f.extent.planeCount; ++i) {
            planes[i] = s + f.extent.planes[i].offset;
            strides[i] = int(f.extent.planes[i].pitch);
        }
        uint8_t* dplanes[4] = {d};
        int dstrides[4] = {int(DstPitch())};
        sws_scale(ctx, planes, strides, 0, kH, dplanes, dstrides);
        benchmark::ClobberMemory();
    }
    sws_freeContext(ctx);
}

void RegisterAll() {
    const uint32_t codes[] = {kLayoutI420, kLayoutNV12, kLayoutUYVY, kLayoutP010};
    for (uint32_t code : codes) {
        const std::string layout = LayoutName(code);
        for (const Colour& c : kColours) {
            const std::string tail = "/" + layout + "/" + c.name;
            for (int threads : {1, 2})
                benchmark::RegisterBenchmark(
                    ("kavlo" + tail + "/" + std::to_string(threads) + "t").c_str(), Kavlo, code,
                    c.flags, threads)
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
            if (code != kLayoutUYVY)
                benchmark::RegisterBenchmark(("libyuv" + tail).c_str(), Libyuv, code, c.yuv)
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("swscale" + tail).c_str(), Swscale, code, c.swsSpace,
                                         c.swsFullRange)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("kernel set", SimdLevelName(Kernels().level));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
