// The BT.601 matrix from video-range Y'CbCr (Y' 16-235, Cb and Cr 16-240 around 128) to
// full-range R'G'B', in every form the conversion's kernels compute it. The scalar reference and
// every instruction-set file take their constants from here, so that all sets compute one matrix.
// At the end: the run-time coefficients of the other matrices (BT.709, BT.2020) and ranges.
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

// ---- Other matrices and ranges ------------------------------------------------------------

// The coefficients of one matrix and range, for the kernels that take them at run time. Single
// precision in the order of the BT.601 reference above:
//   Y = (y - lumaBlack) lumaGain, U = cb - 128, V = cr - 128,
//   R' = Y + V crToR,  G' = (Y - U cbToG) - V crToG,  B' = Y + U cbToB,
// each rounded to nearest (ties to even) and clamped to 0..255.
struct ColourCoefficients {
    int32_t lumaBlack;
    float lumaGain;
    float crToR;
    float cbToG;
    float crToG;
    float cbToB;
};

// Kr and Kb of a matrix. The gains are computed in double precision and rounded once to single.
// Limited range: Y' 16-235 and C 16-240 at 8 bits, so luma gains 255 / 219 and chroma 255 / 224;
// full range: Y' 0-255 and C 0-255 around 128, gains 1.
constexpr ColourCoefficients MakeColourCoefficients(double kr, double kb, bool fullRange) {
    const double kg = 1.0 - kr - kb;
    const double c = fullRange ? 1.0 : 255.0 / 224.0;
    return ColourCoefficients{fullRange ? 0 : kLumaBlack,
                              float(fullRange ? 1.0 : 255.0 / 219.0),
                              float(2.0 * (1.0 - kr) * c),
                              float(2.0 * kb * (1.0 - kb) / kg * c),
                              float(2.0 * kr * (1.0 - kr) / kg * c),
                              float(2.0 * (1.0 - kb) * c)};
}

// The matrices by index: 0 BT.601, 1 BT.709, 2 BT.2020 (non-constant luminance).
constexpr int kMatrixCount = 3;
constexpr double kMatrixKr[kMatrixCount] = {0.299, 0.2126, 0.2627};
constexpr double kMatrixKb[kMatrixCount] = {0.114, 0.0722, 0.0593};

// Every choice of matrix and range: index 2 x matrix + (1 for full range).
constexpr int kColourChoiceCount = 2 * kMatrixCount;
constexpr ColourCoefficients ColourChoiceCoefficients(int choice) {
    return MakeColourCoefficients(kMatrixKr[choice / 2], kMatrixKb[choice / 2], (choice & 1) != 0);
}
inline constexpr ColourCoefficients kColourChoices[kColourChoiceCount] = {
    ColourChoiceCoefficients(0), ColourChoiceCoefficients(1), ColourChoiceCoefficients(2),
    ColourChoiceCoefficients(3), ColourChoiceCoefficients(4), ColourChoiceCoefficients(5)};

// BT.601 at limited range is the matrix of the constants above, to the last bit.
static_assert(kColourChoices[0].lumaBlack == kLumaBlack &&
                  kColourChoices[0].lumaGain == kLumaGain && kColourChoices[0].crToR == kCrToR &&
                  kColourChoices[0].cbToG == kCbToG && kColourChoices[0].crToG == kCrToG &&
                  kColourChoices[0].cbToB == kCbToB,
              "one derivation for every matrix");

}  // namespace colour
