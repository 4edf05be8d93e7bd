// The colour matrix and sample range a file's Y'CbCr samples are read with, as the settings
// record stores them (RawSettings.h: bytes 202 and 203), and the conversion flags they give.
#pragma once

#include "settings/RawSettings.h"

#include "image/Convert.h"

#include <cstdint>

namespace kavlo {

// The matrix choice of a file. Stored values; any other stored value reads as BT601.
enum class MatrixChoice : uint8_t {
    BT601 = 0,  // the default, and every record written before the choice existed
    BT709 = 1,
    BT2020 = 2,     // non-constant luminance
    Automatic = 3,  // the format block's colourMatrix code (ColourMatrixOfCode)
};
constexpr int kMatrixChoiceCount = 4;

// The byte of the matrix choice and of the range choice (0 limited, 1 full; any other value reads
// as limited) in RawSettings::reserved202.
constexpr int kMatrixChoiceByte = 0;
constexpr int kRangeChoiceByte = 1;

inline MatrixChoice StoredMatrixChoice(const RawSettings& s) {
    const uint8_t v = s.reserved202[kMatrixChoiceByte];
    return v < kMatrixChoiceCount ? static_cast<MatrixChoice>(v) : MatrixChoice::BT601;
}
inline bool StoredFullRange(const RawSettings& s) { return s.reserved202[kRangeChoiceByte] == 1; }

inline void StoreColourChoice(RawSettings& s, MatrixChoice matrix, bool fullRange) {
    s.reserved202[kMatrixChoiceByte] = static_cast<uint8_t>(matrix);
    s.reserved202[kRangeChoiceByte] = fullRange ? 1 : 0;
}

// The matrix an ITU-T H.273 MatrixCoefficients code names, as one of BT601, BT709, BT2020:
// 1 BT.709; 5 and 6 BT.601; 9 and 10 BT.2020; anything else BT.601.
inline MatrixChoice ColourMatrixOfCode(uint32_t code) {
    switch (code) {
    case 1: return MatrixChoice::BT709;
    case 9:
    case 10: return MatrixChoice::BT2020;
    default: return MatrixChoice::BT601;
    }
}

// The matrix in use: the choice, or for Automatic the format block's code.
inline MatrixChoice ResolveMatrix(MatrixChoice choice, uint32_t formatMatrixCode) {
    return choice == MatrixChoice::Automatic ? ColourMatrixOfCode(formatMatrixCode) : choice;
}

// The conversion flags of a matrix in use (not Automatic) and a range.
inline ConvertFlags ColourConvertFlags(MatrixChoice matrix, bool fullRange) {
    ConvertFlags flags = fullRange ? CONVERT_FULL_RANGE : 0;
    if (matrix == MatrixChoice::BT709) flags |= CONVERT_MATRIX_709;
    if (matrix == MatrixChoice::BT2020) flags |= CONVERT_MATRIX_2020;
    return flags;
}

// The conversion flags the record asks for; 0 for a record with both bytes zero.
inline ConvertFlags ColourConvertFlags(const RawSettings& s) {
    return ColourConvertFlags(ResolveMatrix(StoredMatrixChoice(s), s.rawFormat.colourMatrix),
                              StoredFullRange(s));
}

// "BT.601", "BT.709", "BT.2020", "Automatic".
inline const char* MatrixChoiceName(MatrixChoice m) {
    switch (m) {
    case MatrixChoice::BT709: return "BT.709";
    case MatrixChoice::BT2020: return "BT.2020";
    case MatrixChoice::Automatic: return "Automatic";
    default: return "BT.601";
    }
}

// What colour flags convert with, as the status text shows it: "BT.709 full", "BT.601 limited".
inline const char* ColourFlagsText(ConvertFlags flags) {
    static const char* const kTexts[] = {"BT.601 limited", "BT.601 full",     "BT.709 limited",
                                         "BT.709 full",    "BT.2020 limited", "BT.2020 full"};
    const int matrix = (flags & CONVERT_MATRIX_2020) ? 2 : (flags & CONVERT_MATRIX_709) ? 1 : 0;
    return kTexts[2 * matrix + ((flags & CONVERT_FULL_RANGE) ? 1 : 0)];
}

}  // namespace kavlo
