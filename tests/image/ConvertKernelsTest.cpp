// Line kernels: the reference formulas, the scalar set's documented differences, and every
// vector set equal to the reference on random lines with guard bytes around each output.
#include "KernelSweep.h"
#include "image/Kernels.h"
#include "image/PaintRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

std::vector<SimdLevel> VectorLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel l : {SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2, SimdLevel::AVX512})
        if (int(l) <= int(CpuSimdLevel())) levels.push_back(l);
    return levels;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
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

// How a kernel is driven in the random comparison.
struct LineCase {
    const char* name;
    size_t inBytesPerPixel2;  // input bytes for `width` pixels = f(width)
    std::function<size_t(int)> inBytes;
    std::function<size_t(int)> outBytes;
    std::function<void(const KernelTable&, const uint8_t*, uint8_t*, int)> run;
    bool scalarIsReference;  // the scalar set gives the reference results
};

size_t Pairs(int w) { return size_t((w + 1) / 2); }

const colour::ColourCoefficients& kWithCoefficients = colour::kColourChoices[2];

std::vector<LineCase> LineCases() {
    auto line = [](LineKernel KernelTable::*k) {
        return [k](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) { (t.*k)(s, d, w); };
    };
    auto planar = [](PlanarKernel KernelTable::*k, int chromaDiv) {
        // Input holds three lines one after the other: luma w, then two chroma lines.
        return [k, chromaDiv](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
            const size_t c = chromaDiv == 2 ? Pairs(w) : size_t(w);
            (t.*k)(s, s + w, s + w + c, d, w);
        };
    };
    auto luma16 = [](PlanarKernel KernelTable::*k) {
        return [k](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
            (t.*k)(s, s + 2 * w, s + 2 * w + Pairs(w), d, w);
        };
    };
    auto lowBits = [](int bits12, int big) {
        return [bits12, big](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
            t.lowBitsLuma422ToBgr[bits12][big](s, s + 2 * w, s + 2 * w + Pairs(w), d, w);
        };
    };
    return {
        {"UyvyToVuya", 0, [](int w) { return 4 * Pairs(w); }, [](int w) { return 4 * size_t(w); },
         line(&KernelTable::uyvyToVuya), true},
        {"YuyvToVuya", 0, [](int w) { return 4 * Pairs(w); }, [](int w) { return 4 * size_t(w); },
         line(&KernelTable::yuyvToVuya), true},
        {"VyuyToVuya", 0, [](int w) { return 4 * Pairs(w); }, [](int w) { return 4 * size_t(w); },
         line(&KernelTable::vyuyToVuya), true},
        {"Planar422ToVuya", 0, [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](int w) { return 4 * size_t(w); }, planar(&KernelTable::planar422ToVuya, 2), true},
        {"Planar444ToVuya", 0, [](int w) { return 3 * size_t(w); },
         [](int w) { return 4 * size_t(w); }, planar(&KernelTable::planar444ToVuya, 1), true},
        {"AyuvToVuya", 0, [](int w) { return 4 * size_t(w); }, [](int w) { return 4 * size_t(w); },
         line(&KernelTable::ayuvToVuya), true},
        {"V210ToUyvy", 0, [](int w) { return size_t((w + 5) / 6) * 16; },
         [](int w) { return 4 * Pairs(w); }, line(&KernelTable::v210ToUyvy), true},
        {"VuyaToBgr", 0, [](int w) { return 4 * size_t(w); }, [](int w) { return 3 * size_t(w); },
         line(&KernelTable::vuyaToBgr), false},
        {"VuyaLumaToGrey", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 3 * size_t(w); }, line(&KernelTable::vuyaLumaToGrey), false},
        {"VuyaCbToGrey", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 3 * size_t(w); }, line(&KernelTable::vuyaCbToGrey), false},
        {"VuyaCrToGrey", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 3 * size_t(w); }, line(&KernelTable::vuyaCrToGrey), false},
        {"BgrxToBgr", 0, [](int w) { return 4 * size_t(w); }, [](int w) { return 3 * size_t(w); },
         line(&KernelTable::bgrxToBgr), true},
        {"RgbxToBgr", 0, [](int w) { return 4 * size_t(w); }, [](int w) { return 3 * size_t(w); },
         line(&KernelTable::rgbxToBgr), true},
        {"XrgbToBgr", 0, [](int w) { return 4 * size_t(w); }, [](int w) { return 3 * size_t(w); },
         line(&KernelTable::xrgbToBgr), true},
        {"RgbToBgr", 0, [](int w) { return 3 * size_t(w); }, [](int w) { return 3 * size_t(w); },
         line(&KernelTable::rgbToBgr), true},
        {"GreyToBgr", 0, [](int w) { return size_t(w); }, [](int w) { return 3 * size_t(w); },
         line(&KernelTable::greyToBgr), true},
        {"PlanesToBgr", 0, [](int w) { return 3 * size_t(w); }, [](int w) { return 3 * size_t(w); },
         planar(&KernelTable::planesToBgr, 1), true},
        {"R555ToBgr", 0, [](int w) { return 2 * size_t(w); }, [](int w) { return 3 * size_t(w); },
         line(&KernelTable::r555ToBgr), true},
        {"R565ToBgr", 0, [](int w) { return 2 * size_t(w); }, [](int w) { return 3 * size_t(w); },
         line(&KernelTable::r565ToBgr), true},
        {"StudioExpand", 0, [](int w) { return size_t(w); }, [](int w) { return size_t(w); },
         line(&KernelTable::studioExpand), true},
        {"Reduce16LE/235", 0, [](int w) { return 2 * size_t(w); }, [](int w) { return size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.reduce16LE(s, d, w, 235);
         },
         true},
        {"Reduce16BE/240", 0, [](int w) { return 2 * size_t(w); }, [](int w) { return size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.reduce16BE(s, d, w, 240);
         },
         true},
        {"Reduce16LE/255", 0, [](int w) { return 2 * size_t(w); }, [](int w) { return size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.reduce16LE(s, d, w, 255);
         },
         true},
        {"HighBytes16", 0, [](int w) { return 2 * size_t(w); }, [](int w) { return size_t(w); },
         line(&KernelTable::highBytes16), true},
        {"LowAddressBytes16", 0, [](int w) { return 2 * size_t(w); },
         [](int w) { return size_t(w); }, line(&KernelTable::lowAddressBytes16), true},
        {"SplitHighBytes16", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 2 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.splitHighBytes16(s, d, d + w, w);
         },
         true},
        {"ChromaBlend 1:3", 0, [](int w) { return 2 * size_t(w); }, [](int w) { return size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.chromaBlend(s, s + w, d, w, 1, 3, 2);
         },
         true},
        {"ChromaBlend 5:3", 0, [](int w) { return 2 * size_t(w); }, [](int w) { return size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.chromaBlend(s, s + w, d, w, 5, 3, 3);
         },
         true},
        {"UyvyToPlanar", 0, [](int w) { return 4 * Pairs(w); },
         [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.uyvyToPlanar(s, d, d + w, d + w + Pairs(w), w);
         },
         true},
        {"YuyvToPlanar", 0, [](int w) { return 4 * Pairs(w); },
         [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.yuyvToPlanar(s, d, d + w, d + w + Pairs(w), w);
         },
         true},
        {"VyuyToPlanar", 0, [](int w) { return 4 * Pairs(w); },
         [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.vyuyToPlanar(s, d, d + w, d + w + Pairs(w), w);
         },
         true},
        {"Planar422ToBgr", 0, [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, planar(&KernelTable::planar422ToBgr, 2), false},
        {"Planar444ToBgr", 0, [](int w) { return 3 * size_t(w); },
         [](int w) { return 3 * size_t(w); }, planar(&KernelTable::planar444ToBgr, 1), false},
        // Luma from a 16-bit line: 2 x w luma bytes, then the two chroma lines.
        {"Planar422ToBgr/high16", 0, [](int w) { return 2 * size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, luma16(&KernelTable::highLuma422ToBgr), false},
        {"Planar422ToBgr/rounded16LE", 0, [](int w) { return 2 * size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, luma16(&KernelTable::roundedLumaLE422ToBgr), false},
        {"Planar422ToBgr/rounded16BE", 0, [](int w) { return 2 * size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, luma16(&KernelTable::roundedLumaBE422ToBgr), false},
        // Luma in the low 10 or 12 bits of u16 LE / BE samples, random bits above.
        {"Planar422ToBgr/low10LE", 0, [](int w) { return 2 * size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, lowBits(0, 0), false},
        {"Planar422ToBgr/low10BE", 0, [](int w) { return 2 * size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, lowBits(0, 1), false},
        {"Planar422ToBgr/low12LE", 0, [](int w) { return 2 * size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, lowBits(1, 0), false},
        {"Planar422ToBgr/low12BE", 0, [](int w) { return 2 * size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, lowBits(1, 1), false},
        // Packed pairs straight to B', G', R'.
        {"PackedToBgr/UYVY", 0, [](int w) { return 4 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, line(&KernelTable::uyvyToBgr), false},
        {"PackedToBgr/YUYV", 0, [](int w) { return 4 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, line(&KernelTable::yuyvToBgr), false},
        {"PackedToBgr/VYUY", 0, [](int w) { return 4 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, line(&KernelTable::vyuyToBgr), false},
        {"PackedToBgr/YVYU", 0, [](int w) { return 4 * Pairs(w); },
         [](int w) { return 3 * size_t(w); }, line(&KernelTable::yvyuToBgr), false},
        // Luma w, then the chroma as 2 x ceil(w / 2) bytes of interleaved pairs.
        {"Pairs422ToBgr/cb-first", 0, [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.pairs422ToBgr[0](s, s + w, d, w);
         },
         false},
        {"Pairs422ToBgr/cr-first", 0, [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.pairs422ToBgr[1](s, s + w, d, w);
         },
         false},
        // The run-time coefficient kernels, with the coefficients of BT.709 at limited range.
        {"VuyaToBgrWith/709", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.vuyaToBgrWith(s, d, w, kWithCoefficients);
         },
         true},
        {"Planar422ToBgrWith/709", 0, [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.planar422ToBgrWith(s, s + w, s + w + Pairs(w), d, w, kWithCoefficients);
         },
         false},
        {"Planar422ToBgrWith/high16", 0, [](int w) { return 2 * size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.highLuma422ToBgrWith(s, s + 2 * w, s + 2 * w + Pairs(w), d, w, kWithCoefficients);
         },
         false},
        {"Pairs422ToBgrWith/cb-first", 0, [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.pairs422ToBgrWith[0](s, s + w, d, w, kWithCoefficients);
         },
         false},
        {"Pairs422ToBgrWith/cr-first", 0, [](int w) { return size_t(w) + 2 * Pairs(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.pairs422ToBgrWith[1](s, s + w, d, w, kWithCoefficients);
         },
         false},
        {"VuyaDouble full", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.vuyaDoubleToBgr(s, d, w, kVuyaFullColour);
         },
         true},
        {"VuyaDouble luma", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.vuyaDoubleToBgr(s, d, w, kVuyaLuma);
         },
         true},
        {"VuyaDouble cb", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.vuyaDoubleToBgr(s, d, w, kVuyaCb);
         },
         true},
        {"VuyaDouble cr", 0, [](int w) { return 4 * size_t(w); },
         [](int w) { return 3 * size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.vuyaDoubleToBgr(s, d, w, kVuyaCr);
         },
         true},
        {"VerticalLowPass121", 0, [](int w) { return 3 * size_t(w); },
         [](int w) { return size_t(w); },
         [](const KernelTable& t, const uint8_t* s, uint8_t* d, int w) {
             t.verticalLowPass121(s, s + w, s + 2 * w, d, w);
         },
         true},
    };
}

// The reference output of the kernels whose scalar form is fixed point.
// With `with`, the matrix at the end is the reference with those coefficients.
std::vector<uint8_t> FloatReference(const std::string& name, const uint8_t* s, int w,
                                    const colour::ColourCoefficients* with = nullptr) {
    std::vector<uint8_t> out(3 * size_t(w));
    if (const size_t at = name.find("With/"); at != std::string::npos && !with) {
        // A run-time coefficient kernel: its BT.601 twin's reading, then the other matrix.
        const std::string twin =
            name.substr(0, at) +
            (name == "Planar422ToBgrWith/709" ? "" : "/" + name.substr(at + 5));
        return FloatReference(twin, s, w, &kWithCoefficients);
    }
    if (name == "PackedToBgr/YVYU") {
        // Cb and Cr of every pair swapped give YUYV.
        std::vector<uint8_t> yuyv(s, s + 4 * Pairs(w));
        for (size_t i = 0; i < yuyv.size(); i += 4) std::swap(yuyv[i + 1], yuyv[i + 3]);
        return FloatReference("PackedToBgr/YUYV", yuyv.data(), w, with);
    }
    if (name.rfind("PackedToBgr/", 0) == 0) {
        // The pairs split into planar lines, then the planar kernel.
        std::vector<uint8_t> planar(size_t(w) + 2 * Pairs(w));
        uint8_t* y = planar.data();
        (name == "PackedToBgr/UYVY" ? kernels::UyvyToPlanar_Scalar
         : name == "PackedToBgr/YUYV"
             ? kernels::YuyvToPlanar_Scalar
             : kernels::VyuyToPlanar_Scalar)(s, y, y + w, y + w + Pairs(w), w);
        return FloatReference("Planar422ToBgr", planar.data(), w, with);
    }
    if (name.rfind("Planar422ToBgr/", 0) == 0) {
        // The 16-bit luma line reduced as the 16-bit layouts define it, then the 8-bit kernel.
        std::vector<uint8_t> planar(size_t(w) + 2 * Pairs(w));
        if (name == "Planar422ToBgr/high16")
            kernels::HighBytes16_Scalar(s, planar.data(), w);
        else if (name.rfind("Planar422ToBgr/low", 0) == 0) {
            (name.back() == 'E' && name[name.size() - 2] == 'B' ? kernels::ReduceBits16BE_Scalar
                                                                : kernels::ReduceBits16LE_Scalar)(
                s, planar.data(), w, 0, name.find("low10") != std::string::npos ? 10 : 12, 235);
        } else {
            (name == "Planar422ToBgr/rounded16LE"
                 ? kernels::Reduce16LE_Scalar
                 : kernels::Reduce16BE_Scalar)(s, planar.data(), w, 235);
        }
        std::copy(s + 2 * w, s + 2 * w + 2 * Pairs(w), planar.begin() + w);
        return FloatReference("Planar422ToBgr", planar.data(), w, with);
    }
    if (name.rfind("Pairs422ToBgr/", 0) == 0) {
        // The pairs split into a Cb and a Cr line, then the planar kernel's reference.
        const bool crFirst = name == "Pairs422ToBgr/cr-first";
        const size_t n = Pairs(w);
        std::vector<uint8_t> planar(s, s + w + 2 * n);
        for (size_t j = 0; j < n; ++j) {
            planar[size_t(w) + j] = s[size_t(w) + 2 * j + (crFirst ? 1 : 0)];
            planar[size_t(w) + n + j] = s[size_t(w) + 2 * j + (crFirst ? 0 : 1)];
        }
        return FloatReference("Planar422ToBgr", planar.data(), w, with);
    }
    if (name == "Planar422ToBgr" || name == "Planar444ToBgr") {
        // The fused kernels equal the planar-to-VUYA kernel followed by the reference matrix.
        std::vector<uint8_t> vuya(4 * size_t(w));
        const size_t c = name == "Planar422ToBgr" ? Pairs(w) : size_t(w);
        (name == "Planar422ToBgr"
             ? kernels::Planar422ToVuya_Scalar
             : kernels::Planar444ToVuya_Scalar)(s, s + w, s + w + c, vuya.data(), w);
        return FloatReference("VuyaToBgr", vuya.data(), w, with);
    }
    for (int i = 0; i < w; ++i) {
        const uint8_t* p = s + 4 * i;
        uint8_t* d = &out[3 * size_t(i)];
        if (name == "VuyaToBgr") {
            if (with)
                kernels::VuyaToBgrReference(p[0], p[1], p[2], d, *with);
            else
                kernels::VuyaToBgrReference(p[0], p[1], p[2], d);
        } else {
            const uint8_t g = name == "VuyaLumaToGrey" ? kernels::LumaGreyReference(p[2])
                              : name == "VuyaCbToGrey" ? kernels::ChromaGreyReference(p[1])
                                                       : kernels::ChromaGreyReference(p[0]);
            d[0] = d[1] = d[2] = g;
        }
    }
    return out;
}

bool SetHasKernel(const KernelTable& t, const std::string& name) {
    // The fused kernels exist only in some sets.
    if (name.find("ToBgr") != std::string::npos &&
        (name.rfind("Planar4", 0) == 0 || name.rfind("Pairs4", 0) == 0))
        return t.planar422ToBgr != nullptr;
    if (name.rfind("PackedToBgr/", 0) == 0) return t.uyvyToBgr != nullptr;
    return true;
}

// Each set is its own test run: every kernel at every width of the sweep (and a few long lines)
// on random input in exactly sized blocks, with guard bytes around the output, against the
// scalar set where it is the reference, else against the reference formulas. A failing kernel
// lists the widths it fails at.
class KernelSetLines : public testing::TestWithParam<SimdLevel> {};

TEST_P(KernelSetLines, EveryKernelMatchesTheReferenceAtEveryWidth) {
    const SimdLevel level = GetParam();
    SWEEP_SKIP_UNLESS_CPU_HAS(level);
    const KernelTable scalar = MakeKernelTable(SimdLevel::Scalar);
    const KernelTable t = MakeKernelTable(level);
    ASSERT_EQ(t.level, level);
    std::vector<int> widths = sweep::Widths();
    widths.insert(widths.end(), {722, 1918, 1920});
    const std::vector<LineCase> cases = LineCases();
    int runs = 0;
    for (size_t ci = 0; ci < cases.size(); ++ci) {
        const LineCase& c = cases[ci];
        if (!SetHasKernel(t, c.name)) continue;
        std::vector<int> wrong, outside;
        for (int w : widths) {
            const ExactInput in(RandomBytes(c.inBytes(w), uint32_t(ci * 100003 + size_t(w))));
            std::vector<uint8_t> ref;
            if (c.scalarIsReference) {
                Guarded out(c.outBytes(w));
                c.run(scalar, in.data, out.data(), w);
                ASSERT_TRUE(out.GuardsIntact()) << c.name << " scalar, width " << w;
                ref = out.Payload();
            } else {
                ref = FloatReference(c.name, in.data, w);
            }
            Guarded out(c.outBytes(w));
            c.run(t, in.data, out.data(), w);
            ++runs;
            if (!out.GuardsIntact()) outside.push_back(w);
            if (out.Payload() != ref) wrong.push_back(w);
        }
        EXPECT_TRUE(wrong.empty())
            << c.name << " " << SimdLevelName(level) << " differs from the reference at "
            << sweep::FirstWidths(wrong);
        EXPECT_TRUE(outside.empty())
            << c.name << " " << SimdLevelName(level) << " wrote outside its line at "
            << sweep::FirstWidths(outside);
    }
    RecordProperty("runs", runs);
    std::printf("%s: %d kernel and width runs\n", SimdLevelName(level), runs);
}

INSTANTIATE_TEST_SUITE_P(ConvertKernels, KernelSetLines, testing::ValuesIn(sweep::VectorSets()),
                         sweep::SetName());

// Every Y'CbCr triple: the vector sets give the single-precision reference; the scalar fixed
// point equals it on B' and R' and differs by at most 1 on G'.
// The bit-field reduction of 16-bit words over every word (so every value and every pattern of
// garbage bits above the field), both byte orders, every set, against the stated rule
// min(((w >> shift) masked + 2^(bits-9)) >> (bits-8), limit); the count is odd so that every
// set ends the line with its scalar tail; guard bytes catch a write past it.
TEST(ConvertKernels, ReduceBitsOfEveryWord) {
    const int count = 65535;
    std::vector<uint8_t> le(2 * size_t(count)), be(le.size());
    for (int i = 0; i < count; ++i) {
        const unsigned word = unsigned(i) * 40503u % 65536u;  // every word but one, shuffled
        le[2 * size_t(i)] = be[2 * size_t(i) + 1] = uint8_t(word);
        le[2 * size_t(i) + 1] = be[2 * size_t(i)] = uint8_t(word >> 8);
    }
    const ExactInput inLE(le), inBE(be);
    struct Field {
        int shift, bits, limit;
    };
    std::vector<SimdLevel> levels = VectorLevels();
    levels.insert(levels.begin(), SimdLevel::Scalar);
    for (const Field f : {Field{0, 10, 235}, Field{0, 10, 255}, Field{0, 12, 240},
                          Field{0, 16, 235}, Field{6, 10, 240}, Field{4, 12, 255}}) {
        std::vector<uint8_t> want(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const unsigned word = unsigned(le[2 * size_t(i)]) | unsigned(le[2 * size_t(i) + 1])
                                                                    << 8;
            const unsigned v = (word >> f.shift) & ((1u << f.bits) - 1u);
            want[size_t(i)] =
                uint8_t(std::min((v + (1u << (f.bits - 9))) >> (f.bits - 8), unsigned(f.limit)));
        }
        for (SimdLevel level : levels) {
            const KernelTable t = MakeKernelTable(level);
            for (bool big : {false, true}) {
                Guarded out(static_cast<size_t>(count));
                (big ? t.reduceBits16BE : t.reduceBits16LE)((big ? inBE : inLE).data, out.data(),
                                                            count, f.shift, f.bits, f.limit);
                ASSERT_TRUE(out.GuardsIntact()) << SimdLevelName(level);
                ASSERT_EQ(out.Payload(), want) << SimdLevelName(level) << " big " << big
                                               << " shift " << f.shift << " bits " << f.bits;
            }
        }
    }
}

// The same rule for a field of 32-bit words, at every position the packed 10-bit layouts use,
// on random words (so random bits around the field), both byte orders, every set.
TEST(ConvertKernels, ReduceBitsOfWords32) {
    const int count = 1031;
    const std::vector<uint8_t> bytes = RandomBytes(4 * size_t(count), 17);
    const ExactInput in(bytes);
    std::vector<SimdLevel> levels = VectorLevels();
    levels.insert(levels.begin(), SimdLevel::Scalar);
    for (int shift : {0, 2, 10, 12, 20, 22}) {
        for (bool big : {false, true}) {
            std::vector<uint8_t> want(static_cast<size_t>(count));
            for (size_t i = 0; i < want.size(); ++i) {
                uint32_t w = 0;
                for (int b = 0; b < 4; ++b)
                    w |= uint32_t(bytes[4 * i + size_t(big ? 3 - b : b)]) << (8 * b);
                const uint32_t v = (w >> shift) & 0x3FFu;
                want[i] = uint8_t(std::min((v + 2u) >> 2, 240u));
            }
            for (SimdLevel level : levels) {
                const KernelTable t = MakeKernelTable(level);
                Guarded out(static_cast<size_t>(count));
                (big ? t.reduceBits32BE : t.reduceBits32LE)(in.data, out.data(), count, shift, 10,
                                                            240);
                ASSERT_TRUE(out.GuardsIntact()) << SimdLevelName(level);
                ASSERT_EQ(out.Payload(), want)
                    << SimdLevelName(level) << " big " << big << " shift " << shift;
            }
        }
    }
}

// The vertical chroma blends over every pair of bytes, with the weights of every tap the 4:2:0
// rows use (ChromaTaps.cpp) and one outside them, against the stated formula: limited to 16..240
// (chromaBlend) or not (chromaBlendFull). Every set; an odd count leaves a scalar tail; guard
// bytes catch a write past it.
TEST(ConvertKernels, ChromaBlendOverAllPairs) {
    constexpr int kCount = 256 * 256 - 1;
    std::vector<uint8_t> a(static_cast<size_t>(kCount)), b(static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) a[size_t(i)] = uint8_t(i >> 8), b[size_t(i)] = uint8_t(i);
    const ExactInput inA(a), inB(b);
    const int taps[][3] = {{1, 3, 2}, {3, 1, 2}, {1, 7, 3}, {3, 5, 3},
                           {5, 3, 3}, {7, 1, 3}, {4, 0, 2}, {100, 156, 8}};
    std::vector<SimdLevel> levels = VectorLevels();
    levels.push_back(SimdLevel::Scalar);
    for (SimdLevel level : levels) {
        const KernelTable t = MakeKernelTable(level);
        for (const auto& tap : taps) {
            for (bool full : {false, true}) {
                Guarded out(static_cast<size_t>(kCount));
                (full ? t.chromaBlendFull : t.chromaBlend)(inA.data, inB.data, out.data(), kCount,
                                                           tap[0], tap[1], tap[2]);
                ASSERT_TRUE(out.GuardsIntact()) << SimdLevelName(level);
                const std::vector<uint8_t> got = out.Payload();
                for (int i = 0; i < kCount; ++i) {
                    const int v =
                        (tap[0] * a[size_t(i)] + tap[1] * b[size_t(i)] + (1 << (tap[2] - 1))) >>
                        tap[2];
                    ASSERT_EQ(got[size_t(i)], full ? v : std::clamp(v, 16, 240))
                        << SimdLevelName(level) << " " << tap[0] << ":" << tap[1] << " a "
                        << int(a[size_t(i)]) << " b " << int(b[size_t(i)]) << " full " << full;
                }
            }
        }
    }
}

TEST(ConvertKernels, VuyaToBgrOverAllInputs) {
    const KernelTable scalar = MakeKernelTable(SimdLevel::Scalar);
    std::vector<KernelTable> vec;
    for (SimdLevel l : VectorLevels()) vec.push_back(MakeKernelTable(l));
    std::vector<uint8_t> line(4 * 256), ref(3 * 256), out(3 * 256), lumaRamp(256);
    for (int y = 0; y < 256; ++y) lumaRamp[size_t(y)] = uint8_t(y);
    int greenDiffs = 0;
    for (int cb = 0; cb < 256; ++cb) {
        for (int cr = 0; cr < 256; ++cr) {
            for (int y = 0; y < 256; ++y) {
                line[4 * size_t(y)] = uint8_t(cr);
                line[4 * size_t(y) + 1] = uint8_t(cb);
                line[4 * size_t(y) + 2] = uint8_t(y);
                line[4 * size_t(y) + 3] = 255;
                kernels::VuyaToBgrReference(uint8_t(cr), uint8_t(cb), uint8_t(y),
                                            &ref[3 * size_t(y)]);
            }
            for (const KernelTable& t : vec) {
                t.vuyaToBgr(line.data(), out.data(), 256);
                ASSERT_EQ(out, ref) << SimdLevelName(t.level) << " Cb " << cb << " Cr " << cr;
                // The fused 4:4:4 kernel computes the matrix with its own unpacking.
                if (t.planar444ToBgr) {
                    t.planar444ToBgr(lumaRamp.data(), std::vector<uint8_t>(256, uint8_t(cb)).data(),
                                     std::vector<uint8_t>(256, uint8_t(cr)).data(), out.data(),
                                     256);
                    ASSERT_EQ(out, ref)
                        << SimdLevelName(t.level) << " 4:4:4 Cb " << cb << " Cr " << cr;
                }
                // So do the fused 4:2:2 kernels, from planar lines and from packed pairs; flat
                // chroma stays flat through the odd pixels' filter.
                if (t.planar422ToBgr) {
                    t.planar422ToBgr(lumaRamp.data(), std::vector<uint8_t>(128, uint8_t(cb)).data(),
                                     std::vector<uint8_t>(128, uint8_t(cr)).data(), out.data(),
                                     256);
                    ASSERT_EQ(out, ref)
                        << SimdLevelName(t.level) << " 4:2:2 Cb " << cb << " Cr " << cr;
                }
                if (t.uyvyToBgr) {
                    std::vector<uint8_t> uyvy;
                    for (int k = 0; k < 128; ++k)
                        uyvy.insert(uyvy.end(),
                                    {uint8_t(cb), uint8_t(2 * k), uint8_t(cr), uint8_t(2 * k + 1)});
                    t.uyvyToBgr(uyvy.data(), out.data(), 256);
                    ASSERT_EQ(out, ref)
                        << SimdLevelName(t.level) << " UYVY Cb " << cb << " Cr " << cr;
                }
            }
            scalar.vuyaToBgr(line.data(), out.data(), 256);
            for (int y = 0; y < 256; ++y) {
                const size_t i = 3 * size_t(y);
                ASSERT_EQ(out[i], ref[i]) << "B' " << y << " " << cb << " " << cr;
                ASSERT_EQ(out[i + 2], ref[i + 2]) << "R' " << y << " " << cb << " " << cr;
                ASSERT_LE(std::abs(int(out[i + 1]) - int(ref[i + 1])), 1);
                greenDiffs += out[i + 1] != ref[i + 1];
            }
        }
    }
    // "a few inputs": far fewer than one in a thousand.
    EXPECT_LT(greenDiffs, 16 * 1024);
}

// The vector form of the double-precision path equals the scalar one for every Y'CbCr triple
// and every picture.
TEST(ConvertKernels, VuyaDoubleOverAllInputs) {
    const KernelTable scalar = MakeKernelTable(SimdLevel::Scalar);
    const KernelTable best = MakeKernelTable(CpuSimdLevel());
    std::vector<uint8_t> line(4 * 256), ref(3 * 256), out(3 * 256);
    for (int mode : {kVuyaFullColour, kVuyaLuma, kVuyaCb, kVuyaCr}) {
        for (int cb = 0; cb < 256; ++cb) {
            for (int cr = 0; cr < 256; ++cr) {
                for (int y = 0; y < 256; ++y) {
                    uint8_t* p = &line[4 * size_t(y)];
                    p[0] = uint8_t(cr), p[1] = uint8_t(cb), p[2] = uint8_t(y), p[3] = 0;
                }
                scalar.vuyaDoubleToBgr(line.data(), ref.data(), 256, mode);
                best.vuyaDoubleToBgr(line.data(), out.data(), 256, mode);
                ASSERT_EQ(out, ref) << "mode " << mode << " Cb " << cb << " Cr " << cr;
            }
        }
    }
}

TEST(ConvertKernels, GreyReferenceAndScalarDifference) {
    const KernelTable scalar = MakeKernelTable(SimdLevel::Scalar);
    for (int x = 0; x < 256; ++x) {
        uint8_t px[4] = {uint8_t(x), uint8_t(x), uint8_t(x), 255}, out[3];
        scalar.vuyaLumaToGrey(px, out, 1);
        EXPECT_EQ(out[0], kernels::LumaGreyReference(uint8_t(x))) << x;
        scalar.vuyaCbToGrey(px, out, 1);
        EXPECT_EQ(out[0], x == 128 ? 128 : kernels::ChromaGreyReference(uint8_t(x))) << x;
        scalar.vuyaCrToGrey(px, out, 1);
        EXPECT_EQ(out[0], x == 128 ? 128 : kernels::ChromaGreyReference(uint8_t(x))) << x;
    }
    EXPECT_EQ(kernels::ChromaGreyReference(128), 127);
    EXPECT_EQ(kernels::LumaGreyReference(126), 128);
    EXPECT_EQ(kernels::LumaGreyReference(10), 0);
    EXPECT_EQ(kernels::LumaGreyReference(250), 255);
}

// Hand-checked values of single kernels.
TEST(ConvertKernels, KnownValues) {
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2,
                            SimdLevel::AVX512}) {
        const KernelTable t = MakeKernelTable(level);
        SCOPED_TRACE(SimdLevelName(t.level));
        // UYVY chroma pairs 16, 240, 240, 16 (and more pairs so vector steps run): the odd pixel
        // of pair 1 gets (9 (240 + 240) - 16 - 16 + 8) >> 4 = 268, clamped to 255.
        std::vector<uint8_t> uyvy;
        const uint8_t cbs[] = {16, 240, 240, 16, 128, 128, 128, 128, 128, 128, 128, 128};
        for (uint8_t c : cbs) uyvy.insert(uyvy.end(), {c, 50, c, 60});
        std::vector<uint8_t> vuya(4 * 24);
        t.uyvyToVuya(uyvy.data(), vuya.data(), 24);
        EXPECT_EQ(vuya[4 * 3 + 0], 255);
        EXPECT_EQ(vuya[4 * 3 + 1], 255);
        EXPECT_EQ(vuya[4 * 3 + 2], 60);   // Y'1 of pair 1 unchanged
        EXPECT_EQ(vuya[4 * 2 + 1], 240);  // even pixel keeps the pair's own chroma
        // Odd pixel of pair 0: (9 (16 + 240) - 16 - 240 + 8) >> 4 = 128.
        EXPECT_EQ(vuya[4 * 1 + 1], 128);
        // Pair 3's odd pixel: (9 (16 + 128) - 240 - 128 + 8) >> 4 = 58.
        EXPECT_EQ(vuya[4 * 7 + 1], 58);
        // Negative sums shift toward minus infinity and clamp to 0: pairs 0, 0, 255, 0.
        const uint8_t neg[] = {255, 1, 255, 1, 0, 2, 0, 2, 0, 3, 0, 3, 255, 4, 255, 4, 0, 5, 0, 5};
        std::vector<uint8_t> nv(4 * 10);
        t.uyvyToVuya(neg, nv.data(), 10);
        // Pair 1 odd: (9 (0 + 0) - 255 - 255 + 8) >> 4 = -32 -> 0.
        EXPECT_EQ(nv[4 * 3 + 1], 0);

        // 4:2:0 blends clamp to 16..240.
        const uint8_t hi[16] = {250, 250, 250, 250, 250, 250, 250, 250,
                                250, 250, 250, 250, 250, 250, 250, 250};
        const uint8_t lo[16] = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
        uint8_t out[16];
        t.chromaBlend(hi, hi, out, 16, 1, 3, 2);
        EXPECT_EQ(out[0], 240);
        EXPECT_EQ(out[15], 240);
        t.chromaBlend(lo, lo, out, 16, 5, 3, 3);
        EXPECT_EQ(out[7], 16);
        // The rounding term: (1 x 0 + 3 x 101 + 2) >> 2 = 76.
        const uint8_t z[16] = {}, h[16] = {101, 101, 101, 101, 101, 101, 101, 101,
                                           101, 101, 101, 101, 101, 101, 101, 101};
        t.chromaBlend(z, h, out, 16, 1, 3, 2);
        EXPECT_EQ(out[3], 76);

        // v210: samples 0x3FF, 0x200, 0x004 -> top bytes 0xFF, 0x80, 0x01.
        uint8_t v210[16] = {};
        const uint32_t word = 0x3FFu | (0x200u << 10) | (0x004u << 20);
        for (int i = 0; i < 4; ++i) std::memcpy(v210 + 4 * i, &word, 4);
        uint8_t uyvyOut[12];
        t.v210ToUyvy(v210, uyvyOut, 6);
        const uint8_t want[12] = {0xFF, 0x80, 0x01, 0xFF, 0x80, 0x01,
                                  0xFF, 0x80, 0x01, 0xFF, 0x80, 0x01};
        EXPECT_EQ(0, std::memcmp(uyvyOut, want, 12));

        // VerticalLowPass121 rounds: (1 + 2 x 2 + 4 + 2) >> 2 = 2 (not 2.75 truncated by pairs).
        uint8_t a[17], m[17], b[17], o[17];
        std::memset(a, 1, 17);
        std::memset(m, 2, 17);
        std::memset(b, 4, 17);
        t.verticalLowPass121(a, m, b, o, 17);
        EXPECT_EQ(o[0], 2);
        EXPECT_EQ(o[16], 2);
        std::memset(a, 255, 17);
        std::memset(m, 255, 17);
        std::memset(b, 254, 17);
        t.verticalLowPass121(a, m, b, o, 17);
        EXPECT_EQ(o[5], 255);  // (255 + 510 + 254 + 2) >> 2 = 255, no 8-bit overflow
    }
}

TEST(ConvertKernels, StudioExpansionTable) {
    const int in[] = {0, 15, 16, 17, 126, 234, 235, 236, 255};
    const int want[] = {0, 0, 0, 1, 128, 254, 255, 255, 255};
    for (size_t i = 0; i < std::size(in); ++i)
        EXPECT_EQ(kernels::StudioExpand(uint8_t(in[i])), want[i]) << in[i];
    // Every set expands all 256 values as the table does.
    std::vector<uint8_t> all(256), out(256);
    for (int i = 0; i < 256; ++i) all[size_t(i)] = uint8_t(i);
    for (SimdLevel level : VectorLevels()) {
        MakeKernelTable(level).studioExpand(all.data(), out.data(), 256);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(out[size_t(i)], kernels::StudioExpand(uint8_t(i))) << i;
    }
}

// The table's CPUID query for the AVX-512 set agrees with the compiler's own detection (which
// also asks whether the operating system saves the ZMM state). Where the processor lacks it, the
// set is never chosen, every per-set test runs the other sets, and this test says so.
TEST(ConvertKernels, Avx512DetectionAgreesWithTheCompiler) {
    __builtin_cpu_init();
    const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                     __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                     __builtin_cpu_supports("avx512vbmi");
    EXPECT_EQ(CpuSimdLevel() == SimdLevel::AVX512, has);
    if (!has)
        GTEST_SKIP() << "no AVX-512 (F, BW, VL, DQ, VBMI) here: the AVX-512 set is never chosen "
                        "and its kernels are not tested on this machine";
    EXPECT_EQ(MakeKernelTable(SimdLevel::AVX512).level, SimdLevel::AVX512);
}

TEST(ConvertKernels, DetectionAndTables) {
    EXPECT_LE(int(DetectSimdLevel()), int(CpuSimdLevel()));
    EXPECT_EQ(Kernels().level, DetectSimdLevel());
    // KAVLO_SIMD lowers the process-wide set to the one it names (the test runs that pick a set
    // by it rely on that).
    if (const char* wanted = std::getenv("KAVLO_SIMD")) {
        bool known = false;
        for (SimdLevel l : sweep::AllSets()) {
            if (std::strcmp(wanted, SimdLevelName(l)) != 0) continue;
            known = true;
            EXPECT_EQ(DetectSimdLevel(), int(l) < int(CpuSimdLevel()) ? l : CpuSimdLevel());
            EXPECT_EQ(paint::CurrentRowKernels().level, paint::MakeRowKernels(l).level);
        }
        EXPECT_TRUE(known) << "KAVLO_SIMD=" << wanted;
    }
    // A level above the processor's falls back to what it has; every entry is filled.
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::SSE2, SimdLevel::SSSE3, SimdLevel::AVX2,
                            SimdLevel::AVX512}) {
        const KernelTable t = MakeKernelTable(level);
        EXPECT_LE(int(t.level), int(CpuSimdLevel()));
        const void* const* entries = reinterpret_cast<const void* const*>(&t.uyvyToVuya);
        const size_t count =
            (sizeof(KernelTable) - offsetof(KernelTable, uyvyToVuya)) / sizeof(void*);
        // Every entry is filled, except the fused kernels that only some sets have.
        const size_t fused422 =
            (offsetof(KernelTable, planar422ToBgr) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        const size_t fused444 =
            (offsetof(KernelTable, planar444ToBgr) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        const size_t fusedLuma16 =
            (offsetof(KernelTable, lowBitsLuma422ToBgr) - offsetof(KernelTable, uyvyToVuya)) /
                sizeof(void*) +
            3;  // the last of the four low-bits luma kernels
        const size_t fusedColour =
            (offsetof(KernelTable, planar422ToBgrWith) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        const size_t fusedColourLuma16 =
            (offsetof(KernelTable, highLuma422ToBgrWith) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        // The fused packed kernels: the AVX-512 set's alone.
        const size_t fusedPacked =
            (offsetof(KernelTable, uyvyToBgr) - offsetof(KernelTable, uyvyToVuya)) / sizeof(void*);
        const size_t fusedPairs =
            (offsetof(KernelTable, pairs422ToBgr) - offsetof(KernelTable, uyvyToVuya)) /
            sizeof(void*);
        for (size_t i = 0; i < count; ++i) {
            if (i == fused422 || (i >= fused444 && i <= fusedLuma16) || i == fusedColour ||
                i == fusedColourLuma16 || (i >= fusedPairs && i < fusedPairs + 4)) {
                EXPECT_EQ(entries[i] != nullptr, int(t.level) >= int(SimdLevel::AVX2)) << i;
            } else if (i >= fusedPacked && i < fusedPacked + 4) {
                EXPECT_EQ(entries[i] != nullptr, t.level == SimdLevel::AVX512) << i;
            } else {
                EXPECT_NE(entries[i], nullptr) << i;
            }
        }
    }
}

}  // namespace
