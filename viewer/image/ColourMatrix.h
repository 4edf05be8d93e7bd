// The BT.601 matrix from video-range Y'CbCr (Y' 16-235, Cb and Cr 16-240 around 128) to
// full-range R'G'B', in every form the conversion's kernels compute it. The scalar reference and
// every instruction-set file take their constants from here, so that all sets compute one matrix.
#pragma once

#include <cstdint>

namespace colour {

// Sample offsets: black luma and zero chroma.
constexpr int kLumaBlack = 16;
constexpr int kChromaZero = 128;

// Single precision, as the reference and the vector sets compute it, in this order:
//   Y = (y - 16) kLumaGain, U = cb - 128, V = cr - 128,
//   R' = Y + V kCrToR,  G' = (Y - U kCbToG) - V kCrToG,  B' = Y + U kCbToB,
// each rounded to nearest (ties to even). One component shown as grey is (x - 16) kLumaGain
// for Y' and (x - 16) kChromaGain for Cb or Cr.
constexpr float kLumaGain = 1.1643835f;    // 255 / 219
constexpr float kChromaGain = 1.1383928f;  // 255 / 224
constexpr float kCrToR = 1.5960268f;
constexpr float kCbToG = 0.3917623f;
constexpr float kCrToG = 0.81296766f;
constexpr float kCbToB = 2.0172322f;

// The same gains in fixed point with 22 fraction bits (the scalar set's sums need 64 bits).
constexpr int kFixBits = 22;
constexpr int64_t kFixLuma = 4883779;
constexpr int64_t kFixCrToR = 6694222;
constexpr int64_t kFixCrToG = 3409833;
constexpr int64_t kFixCbToG = 1643170;
constexpr int64_t kFixCbToB = 8460885;
constexpr int64_t kFixChroma = 4774766;
constexpr int64_t kFixHalf = int64_t(1) << (kFixBits - 1);

// Each fixed-point gain is its single-precision gain scaled by 2^22, within half a unit.
constexpr bool FixedMatches(int64_t fixed, float gain) {
    const double d = double(fixed) - double(gain) * double(int64_t(1) << kFixBits);
    return d <= 0.5 && d >= -0.5;
}
static_assert(FixedMatches(kFixLuma, kLumaGain) && FixedMatches(kFixCrToR, kCrToR) &&
                  FixedMatches(kFixCrToG, kCrToG) && FixedMatches(kFixCbToG, kCbToG) &&
                  FixedMatches(kFixCbToB, kCbToB) && FixedMatches(kFixChroma, kChromaGain),
              "fixed-point gains follow the single-precision ones");

// The "VUYA" layout's own conversion in double precision (y = Y' - 16, u = Cb - 128,
// v = Cr - 128; T truncates toward zero):
//   R' = (T(kDoubleLuma y + kDoubleCrToR v) + 128) >> 8,
//   G' = (128 - T(kDoubleCbToG u - kDoubleLuma y + kDoubleCrToG v)) >> 8,
//   B' = (T(kDoubleCbToB u + kDoubleLuma y) + 128) >> 8;
// one component as grey: T(y kFullScale / kLumaRange + 0.5) for Y', and
// T((c + kChromaRange / 2) kFullScale / kChromaRange + 0.5) for Cb and Cr (c = u or v), except
// B' = (T(kDoubleCbToB u + kDoubleCbGreyBias) + 128) >> 8 for Cb.
constexpr double kDoubleLuma = 298.082;
constexpr double kDoubleCrToR = 408.583;
constexpr double kDoubleCbToG = 100.291;
constexpr double kDoubleCrToG = 208.12;
constexpr double kDoubleCbToB = 516.411;
constexpr double kDoubleCbGreyBias = 32639.979;
constexpr double kFullScale = 255.0;
constexpr double kLumaRange = 219.0;
constexpr double kChromaRange = 224.0;

// The double-precision coefficients in thousandths, for the integer form of the "VUYA"
// full-colour conversion.
constexpr int32_t Thousandths(double v) { return int32_t(v * 1000.0 + 0.5); }
constexpr int32_t kMilliLuma = Thousandths(kDoubleLuma);
constexpr int32_t kMilliCrToR = Thousandths(kDoubleCrToR);
constexpr int32_t kMilliCbToG = Thousandths(kDoubleCbToG);
constexpr int32_t kMilliCrToG = Thousandths(kDoubleCrToG);
constexpr int32_t kMilliCbToB = Thousandths(kDoubleCbToB);
constexpr bool WholeThousandths(double v) { return double(Thousandths(v)) / 1000.0 == v; }
static_assert(WholeThousandths(kDoubleLuma) && WholeThousandths(kDoubleCrToR) &&
                  WholeThousandths(kDoubleCbToG) && WholeThousandths(kDoubleCrToG) &&
                  WholeThousandths(kDoubleCbToB),
              "the integer form computes with exactly these coefficients");

}  // namespace colour
