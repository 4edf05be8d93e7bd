// Speed of the frame conversion for every layout at 1920x1080 and 3840x2160, next to libyuv,
// libswscale (to BGR24) and a floor that only reads the source frame and writes the
// destination, all in one run.
//
// Frames are cold: each benchmark cycles through a pool of source and destination frames much
// larger than the last-level cache, so every iteration reads from and writes to memory.
// Names: <who>/<layout>/<width>x<height>[/<threads>], e.g. kavlo/UYVY/1920x1080/1t.
#include "image/ConvertInternal.h"
#include "image/FrameMemory.h"
#include "image/Kernels.h"
#include "image/PixelLayout.h"

#include <benchmark/benchmark.h>
#include <emmintrin.h>
#include <omp.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#include <libyuv.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr size_t kPoolBytes = size_t(64) << 20;  // four times a 16 MiB last-level cache

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

// Source and destination frames, rotated one step per iteration.
struct Pool {
    std::vector<Aligned> src, dst;
    size_t srcBytes, dstBytes;
    size_t next = 0;
    Pool(size_t sBytes, size_t dBytes) : srcBytes(sBytes), dstBytes(dBytes) {
        const size_t n = std::max<size_t>(3, kPoolBytes / (sBytes + dBytes) + 1);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (size_t i = 0; i < n; ++i) {
            src.emplace_back(sBytes);
            dst.emplace_back(dBytes);
            // Random-looking bytes (xorshift), so no layout sees a uniform picture.
            uint64_t* words = reinterpret_cast<uint64_t*>(src.back().p);
            for (size_t k = 0; k < sBytes / 8; ++k) {
                x ^= x << 13, x ^= x >> 7, x ^= x << 17;
                words[k] = x;
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
    int w, h;
    int32_t pitch;
    FrameExtent extent;
};

Frame MakeFrame(uint32_t code, int w, int h) {
    Frame f{code, w, h, 0, {}};
    RawVideoFormat fmt{};
    if (!BuildRawVideoFormat(fmt, w, h, code, 0, 0)) {
        // v210 needs a width that is a multiple of 48: pad the pitch as a file would.
        const int32_t pitch = int32_t((w + 47) / 48 * 128);
        BuildRawVideoFormat(fmt, w, h, code, pitch, 0);
    }
    f.pitch = fmt.lineBytes;
    GetFrameExtent(code, w, h, f.pitch, f.extent);
    return f;
}

size_t DstPitch(int w) { return (3 * size_t(w) + 47) / 48 * 48; }

void SetCounters(benchmark::State& state, const Frame& f) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.extent.frameBytes));
}

// kernels: a kernel set other than the process's best (nullptr: the best).
void KavloWith(benchmark::State& state, uint32_t code, int w, int h, int threads,
               const KernelTable* kernels) {
    const Frame f = MakeFrame(code, w, h);
    Pool pool(f.extent.frameBytes, DstPitch(w) * size_t(h));
    // threads > 0: a team of exactly that size; 0: what ConvertFrame does by default (all
    // processors, the runtime shrinking the team while the machine is busy).
    ConvertOptions opt;
    opt.maxThreads = threads;
    opt.followLoad = threads == 0;
    opt.kernels = kernels;
    for (auto _ : state) {
        auto [s, d] = pool.Next();
        if (!ConvertFrameWith(opt, w, h, 0, code, s, f.pitch, kLayoutBGR3, d, int32_t(DstPitch(w))))
            state.SkipWithError("conversion failed");
        benchmark::ClobberMemory();
    }
    SetCounters(state, f);
}

void Kavlo(benchmark::State& state, uint32_t code, int w, int h, int threads) {
    KavloWith(state, code, w, h, threads, nullptr);
}

// Reads every byte of the source frame and writes every byte of the destination rows.
void Floor(benchmark::State& state, uint32_t code, int w, int h) {
    const Frame f = MakeFrame(code, w, h);
    const size_t dp = DstPitch(w);
    Pool pool(f.extent.frameBytes, dp * size_t(h));
    const size_t srcRow = f.extent.frameBytes / size_t(h);
    for (auto _ : state) {
        auto [s, d] = pool.Next();
        for (int r = 0; r < h; ++r) {
            const uint8_t* sr = s + size_t(r) * srcRow;
            __m128i acc = _mm_setzero_si128();
            for (size_t i = 0; i + 16 <= srcRow; i += 16)
                acc = _mm_xor_si128(acc, _mm_load_si128(reinterpret_cast<const __m128i*>(sr + i)));
            uint8_t* dr = d + size_t(r) * dp;
            for (size_t i = 0; i + 16 <= dp; i += 16)
                _mm_store_si128(reinterpret_cast<__m128i*>(dr + i), acc);
        }
        benchmark::ClobberMemory();
    }
    SetCounters(state, f);
}

// libyuv: the closest function for the layout (filtered chroma where it has it for 4:2:0).
using YuvFn = std::function<void(const Frame&, const uint8_t*, uint8_t*)>;

YuvFn LibyuvFor(uint32_t code, std::string& variant) {
    using namespace libyuv;
    auto p = [](const Frame& f, const uint8_t* s, int i) { return s + f.extent.planes[i].offset; };
    auto p16 = [](const Frame& f, const uint8_t* s, int i) {
        return reinterpret_cast<const uint16_t*>(s + f.extent.planes[i].offset);
    };
    switch (code) {
    case kLayoutI420:
    case kLayoutYV12: {
        const bool yv12 = code == kLayoutYV12;
        variant = "I420ToRGB24MatrixFilter(bilinear)";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I420ToRGB24MatrixFilter(p(f, s, 0), f.w, p(f, s, yv12 ? 2 : 1), f.w / 2,
                                    p(f, s, yv12 ? 1 : 2), f.w / 2, d, int(DstPitch(f.w)),
                                    &kYuvI601Constants, f.w, f.h, kFilterBilinear);
        };
    }
    case kLayoutI420LE16:
    case kLayoutI420BE16:
        variant = "I010ToARGBMatrixFilter(bilinear)";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I010ToARGBMatrixFilter(p16(f, s, 0), f.w, p16(f, s, 1), f.w / 2, p16(f, s, 2), f.w / 2,
                                   d, 4 * f.w, &kYuvI601Constants, f.w, f.h, kFilterBilinear);
        };
    case kLayoutP010:
    case kLayoutP016:
        variant = "P010ToARGBMatrixFilter(bilinear)";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            P010ToARGBMatrixFilter(p16(f, s, 0), f.w, p16(f, s, 1), f.w, d, 4 * f.w,
                                   &kYuvI601Constants, f.w, f.h, kFilterBilinear);
        };
    case kLayoutP210:
    case kLayoutP216:
        variant = "P210ToARGBMatrix";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            P210ToARGBMatrix(p16(f, s, 0), f.w, p16(f, s, 1), f.w, d, 4 * f.w, &kYuvI601Constants,
                             f.w, f.h);
        };
    case kLayoutYV16:
        variant = "I422ToRGB24";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I422ToRGB24(p(f, s, 0), f.w, p(f, s, 2), f.w / 2, p(f, s, 1), f.w / 2, d,
                        int(DstPitch(f.w)), f.w, f.h);
        };
    case kLayoutYV24:
        variant = "I444ToRGB24";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I444ToRGB24(p(f, s, 0), f.w, p(f, s, 2), f.w, p(f, s, 1), f.w, d, int(DstPitch(f.w)),
                        f.w, f.h);
        };
    case kLayoutYUY2:
    case kLayoutV422:
    case kLayoutYUYV:
        variant = "YUY2ToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            YUY2ToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutUYVY:
        variant = "UYVYToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            UYVYToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutBGR3:
        variant = "CopyPlane";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            CopyPlane(s, f.pitch, d, int(DstPitch(f.w)), 3 * f.w, f.h);
        };
    case kLayoutRGB3:
        variant = "RAWToRGB24";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            RAWToRGB24(s, f.pitch, d, int(DstPitch(f.w)), f.w, f.h);
        };
    case kLayoutBGR4:
    case kLayoutBGRA:
        variant = "ARGBToRGB24";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            ARGBToRGB24(s, f.pitch, d, int(DstPitch(f.w)), f.w, f.h);
        };
    case kLayoutRGB4:
        variant = "ARGBToRAW";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            ARGBToRAW(s, f.pitch, d, int(DstPitch(f.w)), f.w, f.h);
        };
    case kLayoutR555:
        variant = "ARGB1555ToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            ARGB1555ToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutR565:
        variant = "RGB565ToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            RGB565ToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutBGRA16161616:
        variant = "AB64ToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            AB64ToARGB(reinterpret_cast<const uint16_t*>(s), f.pitch / 2, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutNV12:
        variant = "NV12ToRGB24";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            NV12ToRGB24(p(f, s, 0), f.w, p(f, s, 1), f.w, d, int(DstPitch(f.w)), f.w, f.h);
        };
    case kLayoutNV21:
        variant = "NV21ToRGB24";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            NV21ToRGB24(p(f, s, 0), f.w, p(f, s, 1), f.w, d, int(DstPitch(f.w)), f.w, f.h);
        };
    case kLayoutI422:
        variant = "I422ToRGB24";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I422ToRGB24(p(f, s, 0), f.w, p(f, s, 1), f.w / 2, p(f, s, 2), f.w / 2, d,
                        int(DstPitch(f.w)), f.w, f.h);
        };
    case kLayoutI444:
        variant = "I444ToRGB24";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I444ToRGB24(p(f, s, 0), f.w, p(f, s, 1), f.w, p(f, s, 2), f.w, d, int(DstPitch(f.w)),
                        f.w, f.h);
        };
    case kLayoutI420LE10:
        variant = "I010ToARGBMatrixFilter(bilinear)";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I010ToARGBMatrixFilter(p16(f, s, 0), f.w, p16(f, s, 1), f.w / 2, p16(f, s, 2), f.w / 2,
                                   d, 4 * f.w, &kYuvI601Constants, f.w, f.h, kFilterBilinear);
        };
    case kLayoutI420LE12:
        variant = "I012ToARGBMatrix";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I012ToARGBMatrix(p16(f, s, 0), f.w, p16(f, s, 1), f.w / 2, p16(f, s, 2), f.w / 2, d,
                             4 * f.w, &kYuvI601Constants, f.w, f.h);
        };
    case kLayoutI422LE10:
        variant = "I210ToARGBMatrixFilter(linear)";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I210ToARGBMatrixFilter(p16(f, s, 0), f.w, p16(f, s, 1), f.w / 2, p16(f, s, 2), f.w / 2,
                                   d, 4 * f.w, &kYuvI601Constants, f.w, f.h, kFilterLinear);
        };
    case kLayoutI444LE10:
        variant = "I410ToARGBMatrix";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            I410ToARGBMatrix(p16(f, s, 0), f.w, p16(f, s, 1), f.w, p16(f, s, 2), f.w, d, 4 * f.w,
                             &kYuvI601Constants, f.w, f.h);
        };
    case kLayoutX2R10G10B10:
        variant = "AR30ToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            AR30ToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutX2B10G10R10:
        variant = "AB30ToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            AB30ToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutRGBA:
        // libyuv names bytes R, G, B, A in memory "ABGR".
        variant = "ABGRToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            ABGRToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutABGR:
        // libyuv names bytes A, B, G, R in memory "RGBA".
        variant = "RGBAToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            RGBAToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    case kLayoutGRAY:
        variant = "J400ToARGB";
        return [=](const Frame& f, const uint8_t* s, uint8_t* d) {
            J400ToARGB(s, f.pitch, d, 4 * f.w, f.w, f.h);
        };
    default: return nullptr;
    }
}

void Libyuv(benchmark::State& state, uint32_t code, int w, int h) {
    std::string variant;
    const YuvFn fn = LibyuvFor(code, variant);
    const Frame f = MakeFrame(code, w, h);
    Pool pool(f.extent.frameBytes, 4 * size_t(w) * size_t(h));
    for (auto _ : state) {
        auto [s, d] = pool.Next();
        fn(f, s, d);
        benchmark::ClobberMemory();
    }
    state.SetLabel(variant);
    SetCounters(state, f);
}

AVPixelFormat SwsFormat(uint32_t code) {
    switch (code) {
    case kLayoutYV12:
    case kLayoutI420: return AV_PIX_FMT_YUV420P;
    case kLayoutI420LE16: return AV_PIX_FMT_YUV420P16LE;
    case kLayoutI420BE16: return AV_PIX_FMT_YUV420P16BE;
    case kLayoutYV16: return AV_PIX_FMT_YUV422P;
    case kLayoutP010: return AV_PIX_FMT_P010LE;
    case kLayoutP016: return AV_PIX_FMT_P016LE;
    case kLayoutP210: return AV_PIX_FMT_P210LE;
    case kLayoutP216: return AV_PIX_FMT_P216LE;
    case kLayoutYUY2:
    case kLayoutV422:
    case kLayoutYUYV: return AV_PIX_FMT_YUYV422;
    case kLayoutUYVY: return AV_PIX_FMT_UYVY422;
    case kLayoutY210: return AV_PIX_FMT_Y210LE;
    case kLayoutYV24: return AV_PIX_FMT_YUV444P;
    case kLayoutR555: return AV_PIX_FMT_RGB555LE;
    case kLayoutR565: return AV_PIX_FMT_RGB565LE;
    case kLayoutBGR3:
    case kLayoutR24C: return AV_PIX_FMT_BGR24;
    case kLayoutRGB3: return AV_PIX_FMT_RGB24;
    case kLayoutBGR444P: return AV_PIX_FMT_GBRP16LE;
    case kLayoutRGB444P: return AV_PIX_FMT_GBRP16BE;
    case kLayoutBGR161616: return AV_PIX_FMT_RGB48LE;
    case kLayoutRGB161616: return AV_PIX_FMT_RGB48BE;
    case kLayoutBGR4:
    case kLayoutR32C: return AV_PIX_FMT_BGR0;
    case kLayoutRGB4: return AV_PIX_FMT_RGB0;
    case kLayoutBGRA: return AV_PIX_FMT_BGRA;
    case kLayoutARGB: return AV_PIX_FMT_ARGB;
    case kLayoutBGRA16161616: return AV_PIX_FMT_RGBA64LE;
    case kLayoutARGB16161616: return AV_PIX_FMT_RGBA64BE;
    case kLayoutGRAY: return AV_PIX_FMT_GRAY8;
    case kLayoutGRAYLE16: return AV_PIX_FMT_GRAY16LE;
    case kLayoutGRAYBE16: return AV_PIX_FMT_GRAY16BE;
    case kLayoutI422: return AV_PIX_FMT_YUV422P;
    case kLayoutI444: return AV_PIX_FMT_YUV444P;
    case kLayoutY41B: return AV_PIX_FMT_YUV411P;
    case kLayoutI440: return AV_PIX_FMT_YUV440P;
    case kLayoutI420LE10: return AV_PIX_FMT_YUV420P10LE;
    case kLayoutI420LE12: return AV_PIX_FMT_YUV420P12LE;
    case kLayoutI420BE10: return AV_PIX_FMT_YUV420P10BE;
    case kLayoutI420BE12: return AV_PIX_FMT_YUV420P12BE;
    case kLayoutI422LE10: return AV_PIX_FMT_YUV422P10LE;
    case kLayoutI422LE12: return AV_PIX_FMT_YUV422P12LE;
    case kLayoutI422LE16: return AV_PIX_FMT_YUV422P16LE;
    case kLayoutI422BE10: return AV_PIX_FMT_YUV422P10BE;
    case kLayoutI422BE12: return AV_PIX_FMT_YUV422P12BE;
    case kLayoutI422BE16: return AV_PIX_FMT_YUV422P16BE;
    case kLayoutI444LE10: return AV_PIX_FMT_YUV444P10LE;
    case kLayoutI444LE12: return AV_PIX_FMT_YUV444P12LE;
    case kLayoutI444LE16: return AV_PIX_FMT_YUV444P16LE;
    case kLayoutI444BE10: return AV_PIX_FMT_YUV444P10BE;
    case kLayoutI444BE12: return AV_PIX_FMT_YUV444P12BE;
    case kLayoutI444BE16: return AV_PIX_FMT_YUV444P16BE;
    case kLayoutP410: return AV_PIX_FMT_P410LE;
    case kLayoutP416: return AV_PIX_FMT_P416LE;
    case kLayoutGRAYLE10: return AV_PIX_FMT_GRAY10LE;
    case kLayoutGRAYLE12: return AV_PIX_FMT_GRAY12LE;
    case kLayoutX2R10G10B10: return AV_PIX_FMT_X2RGB10LE;
    case kLayoutX2B10G10R10: return AV_PIX_FMT_X2BGR10LE;
    case kLayoutRGBA: return AV_PIX_FMT_RGBA;
    case kLayoutABGR: return AV_PIX_FMT_ABGR;
    case kLayoutRGGB: return AV_PIX_FMT_BAYER_RGGB8;
    case kLayoutBGGR: return AV_PIX_FMT_BAYER_BGGR8;
    case kLayoutGRBG: return AV_PIX_FMT_BAYER_GRBG8;
    case kLayoutGBRG: return AV_PIX_FMT_BAYER_GBRG8;
    case kLayoutRGGBLE16: return AV_PIX_FMT_BAYER_RGGB16LE;
    case kLayoutBGGRLE16: return AV_PIX_FMT_BAYER_BGGR16LE;
    case kLayoutGRBGLE16: return AV_PIX_FMT_BAYER_GRBG16LE;
    case kLayoutGBRGLE16: return AV_PIX_FMT_BAYER_GBRG16LE;
    default: return AV_PIX_FMT_NONE;
    }
}

void Swscale(benchmark::State& state, uint32_t code, int w, int h) {
    const Frame f = MakeFrame(code, w, h);
    const AVPixelFormat fmt = SwsFormat(code);
    SwsContext* ctx =
        sws_getContext(w, h, fmt, w, h, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    if (!ctx) {
        state.SkipWithError("no swscale context");
        return;
    }
    Pool pool(f.extent.frameBytes, DstPitch(w) * size_t(h));
    // Plane order of the swscale formats: Y, U, V or G, B, R.
    int order[3] = {0, 1, 2};
    if (code == kLayoutYV12 || code == kLayoutYV16 || code == kLayoutYV24)
        order[1] = 2, order[2] = 1;
    if (code == kLayoutBGR444P || code == kLayoutRGB444P) order[0] = 1, order[1] = 2, order[2] = 0;
    for (auto _ : state) {
        auto [s, d] = pool.Next();
        const uint8_t* planes[4] = {};
        int strides[4] = {};
        for (int i = 0; i < f.extent.planeCount; ++i) {
            planes[i] = s + f.extent.planes[order[i]].offset;
            strides[i] = int(f.extent.planes[order[i]].pitch);
        }
        uint8_t* dplanes[4] = {d};
        int dstrides[4] = {int(DstPitch(w))};
        sws_scale(ctx, planes, strides, 0, h, dplanes, dstrides);
        benchmark::ClobberMemory();
    }
    sws_freeContext(ctx);
    SetCounters(state, f);
}

// One 1920-pixel line converted again and again by one kernel of the process-wide table, all
// data in the first-level cache: the arithmetic of the kernel without memory traffic. Reported
// per line; the table multiplies by 1080 (one 1080p frame).
enum class LineKernelId {
    Matrix444,
    Matrix422,
    PairSplit,
    HighLuma422,
    RoundedLuma422,
    ChromaBlend,
    VuyaDouble,
    PackedFused
};

void Line(benchmark::State& state, LineKernelId id) {
    const KernelTable& k = Kernels();
    const int w = 1920;
    std::vector<uint8_t> a(4 * size_t(w) + 64), b(size_t(w) + 64), c(size_t(w) + 64),
        d(4 * size_t(w) + 64);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (auto* v : {&a, &b, &c})
        for (uint8_t& byte : *v) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            byte = uint8_t(x);
        }
    for (auto _ : state) {
        switch (id) {
        case LineKernelId::Matrix444:
            k.planar444ToBgr(a.data(), b.data(), c.data(), d.data(), w);
            break;
        case LineKernelId::Matrix422:
            k.planar422ToBgr(a.data(), b.data(), c.data(), d.data(), w);
            break;
        case LineKernelId::PairSplit:
            k.uyvyToPlanar(a.data(), d.data(), b.data(), c.data(), w);
            break;
        case LineKernelId::HighLuma422:
            k.highLuma422ToBgr(a.data(), b.data(), c.data(), d.data(), w);
            break;
        case LineKernelId::RoundedLuma422:
            k.roundedLumaLE422ToBgr(a.data(), b.data(), c.data(), d.data(), w);
            break;
        case LineKernelId::ChromaBlend:
            k.chromaBlend(b.data(), c.data(), d.data(), w / 2, 1, 3, 2);
            break;
        case LineKernelId::VuyaDouble:
            k.vuyaDoubleToBgr(a.data(), d.data(), w, kVuyaFullColour);
            break;
        case LineKernelId::PackedFused: k.uyvyToBgr(a.data(), d.data(), w); break;
        }
        benchmark::ClobberMemory();
    }
}

void RegisterAll() {
    const std::pair<int, int> sizes[] = {{1920, 1080}, {3840, 2160}};
    const int cores = omp_get_num_procs();
    // Above AVX2, the AVX2 set too (one thread), so that the two sets compare in one run.
    static const KernelTable avx2 = MakeKernelTable(SimdLevel::AVX2);
    const bool both = int(Kernels().level) > int(SimdLevel::AVX2);
    for (auto [w, h] : sizes)
        for (int i = 0; i < kLayoutCount; ++i) {
            const PixelLayoutInfo& info = LayoutCatalogue()[i];
            const std::string tail =
                std::string("/") + info.name + "/" + std::to_string(w) + "x" + std::to_string(h);
            const uint32_t code = info.code;
            benchmark::RegisterBenchmark(("kavlo" + tail + "/1t").c_str(), Kavlo, code, w, h, 1)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            if (both)
                benchmark::RegisterBenchmark(("kavlo-avx2" + tail + "/1t").c_str(), KavloWith, code,
                                             w, h, 1, &avx2)
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(
                ("kavlo" + tail + "/" + std::to_string(cores) + "t").c_str(), Kavlo, code, w, h,
                cores)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("kavlo" + tail + "/auto").c_str(), Kavlo, code, w, h, 0)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("floor" + tail).c_str(), Floor, code, w, h)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            std::string variant;
            if (LibyuvFor(code, variant))
                benchmark::RegisterBenchmark(("libyuv" + tail).c_str(), Libyuv, code, w, h)
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
            const AVPixelFormat fmt = SwsFormat(code);
            if (fmt != AV_PIX_FMT_NONE && sws_isSupportedInput(fmt))
                benchmark::RegisterBenchmark(("swscale" + tail).c_str(), Swscale, code, w, h)
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
        }
    const std::pair<const char*, LineKernelId> lines[] = {
        {"line/planar444ToBgr", LineKernelId::Matrix444},
        {"line/planar422ToBgr", LineKernelId::Matrix422},
        {"line/uyvyToPlanar", LineKernelId::PairSplit},
        {"line/highLuma422ToBgr", LineKernelId::HighLuma422},
        {"line/roundedLumaLE422ToBgr", LineKernelId::RoundedLuma422},
        {"line/chromaBlend", LineKernelId::ChromaBlend},
        {"line/vuyaDoubleToBgr", LineKernelId::VuyaDouble},
    };
    for (const auto& [name, id] : lines)
        benchmark::RegisterBenchmark(name, Line, id)->UseRealTime()->Unit(benchmark::kMicrosecond);
    if (Kernels().uyvyToBgr)
        benchmark::RegisterBenchmark("line/uyvyToBgr", Line, LineKernelId::PackedFused)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
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
