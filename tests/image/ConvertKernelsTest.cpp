// Line kernels: the reference formulas, the scalar set's documented differences, and every
// vector set equal to the reference on random lines with guard bytes around each output.
#include "KernelGuards.h"
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

using namespace kerneltest;

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

}  // namespace
