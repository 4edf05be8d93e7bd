// The arithmetic of the raw video settings dialog, kept free of widgets: the guess for a file
// without settings, whole-frame checks, validation of new values, presets and field arrangements.
#pragma once

#include "settings/RawSettings.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace rawsettings {

struct SizePreset {
    const char* name;  // UTF-8
    int32_t width;
    int32_t height;
};
constexpr int kPresetCount = 20;
const SizePreset* SizePresets();

struct FieldArrangement {
    const char* text;
    uint8_t fieldDetail;
};
constexpr int kArrangementCount = 4;
const FieldArrangement* FieldArrangements();

// The list entry for a field detail value; -1 when no entry stands for it.
int ArrangementForFieldDetail(int fieldDetail);
// Preset 1-19 whose size equals width x height; 0 ("Custom") when none does.
int PresetFor(int32_t width, int32_t height);

constexpr int32_t kMinSize = 2;
constexpr int32_t kMaxSize = 4096;
constexpr int32_t kMaxStepSize = 8192;
constexpr int64_t kMaxByteCount = 65535;

// The settings a file without usable settings starts with (YUYV sizes halving from 720 x 480,
// else GRAY file size / 2 by the rest).
RawSettings GuessSettings(int64_t fileSize);

// Whole frames in a file of fileSize bytes: (fileSize - filePrefix) / (frameBytes + post + pre),
// 0 when the divisor is not positive.
int64_t WholeFrames(int64_t fileSize, int64_t filePrefix, int64_t frameBytes, int64_t framePostfix,
                    int64_t framePrefix);

// A width or height multiple of 0 is taken as 1.
uint32_t Multiple(uint32_t m);

// Validation of a new value against the record; each returns the value to use (the current one
// when the new one leaves no whole frame or no valid format). fileSize is the record's fileSize.
int32_t ValidateWidth(const RawSettings& record, int64_t value);
int32_t ValidateHeight(const RawSettings& record, int64_t value);
enum class ByteCount { FilePrefix, FramePrefix, FramePostfix };
int64_t CurrentByteCount(const RawSettings& record, ByteCount which);
int64_t ValidateByteCount(const RawSettings& record, ByteCount which, int64_t value);
void SetByteCount(RawSettings& record, ByteCount which, int64_t value);

// Steps 2 and 3 of an apply: rebuild the candidate's format block from its own width, height and
// code so that derived values are recomputed; false when no valid block results.
bool RebuildFormat(RawSettings& candidate);

// Reads a decimal number the way atoi does: leading blanks, an optional sign, digits up to the
// first other character; no digits give 0. Saturates at +-limit instead of overflowing.
int64_t ReadDecimal(const QString& text, int64_t limit = std::numeric_limits<int32_t>::max());

// A frame number as a frame slider's position: 0 .. INT_MAX, the most a slider can reach.
inline int FrameSliderPosition(int64_t frame) {
    return static_cast<int>(std::clamp<int64_t>(frame, 0, std::numeric_limits<int>::max()));
}

}  // namespace rawsettings
