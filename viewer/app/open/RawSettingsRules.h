// The arithmetic of the raw video settings dialog, kept free of widgets: the guess for a file
// without settings, whole-frame checks and why a frame does not fit, validation of new values,
// reading typed numbers, presets and field arrangements.
#pragma once

#include "settings/FileNameHints.h"
#include "settings/RawSettings.h"

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace rawsettings {

struct SizePreset {
    const char* name;  // UTF-8
    int32_t width;
    int32_t height;
};
constexpr int kPresetCount = 23;
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

// Width and height: the conversion takes rows of up to 2^24 pixels, and the same bound serves
// the height. Whether the view can hold the frame's buffers (4 GiB each at most) is its open's
// own check, whose reason the dialog shows.
constexpr int32_t kMinSize = 2;
constexpr int32_t kMaxSize = 1 << 24;
// The size trackbars end at 8192, the widest common frame (8K DCI): over the whole range a
// trackbar could not be moved by single values. The edits and arrows reach kMaxSize.
constexpr int32_t kMaxSliderSize = 8192;
// The byte counts up to what their record fields hold.
constexpr int64_t kMaxFilePrefix = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxFramePrefix = std::numeric_limits<uint32_t>::max();

// How much of a file the guess looks at: its first 256 KiB after the file prefix.
constexpr size_t kGuessSampleBytes = 256 * 1024;

// The settings a file without usable settings starts with: the best reading of the file by its
// size and first bytes (`sample`, may be null) among the common frame sizes and layouts; when
// none holds a frame, YUYV sizes halving from 720 x 480, else GRAY file size / 2 by the rest.
RawSettings GuessSettings(int64_t fileSize, const uint8_t* sample = nullptr,
                          size_t sampleBytes = 0);
// The same guess with what the file's name says (ReadFileNameHints) as preferences: its size and
// layout when they fit the file (see GuessConstraints), its frame rate and interlacing always.
// `note` (may be null) receives what was taken from the name and what was not and why; empty
// when the name says nothing.
RawSettings GuessSettingsWithName(int64_t fileSize, const FileNameHints& hints,
                                  const uint8_t* sample, size_t sampleBytes, QString* note);

// What the dialog needs of a file before it opens: whether it is an existing, readable,
// non-empty regular file, its size, and up to `sampleBytes` bytes from `offset` (one read, so a
// slow file holds the window up once at most). The name is opened by its bytes.
struct FileStart {
    bool usable = false;
    int64_t size = 0;
    std::vector<uint8_t> sample;
};
FileStart ReadFileStart(const QString& path, int64_t offset, size_t sampleBytes);

// Whole frames in a file of fileSize bytes: (fileSize - filePrefix) / (frameBytes + post + pre),
// 0 when the divisor is not positive.
int64_t WholeFrames(int64_t fileSize, int64_t filePrefix, int64_t frameBytes, int64_t framePostfix,
                    int64_t framePrefix);

// A width or height multiple of 0 is taken as 1.
uint32_t Multiple(uint32_t m);

// A new value brought into range: width and height rounded down to the layout's multiple and
// limited to their range, byte counts limited to 0 .. their field's maximum.
int32_t LimitWidth(const RawSettings& record, int64_t value);
int32_t LimitHeight(const RawSettings& record, int64_t value);
enum class ByteCount { FilePrefix, FramePrefix, FramePostfix };
int64_t LimitByteCount(ByteCount which, int64_t value);

// Validation of a new value against the record; each returns the limited value, or the current
// one when the limited value leaves no whole frame or no valid format. fileSize is the record's
// fileSize.
int32_t ValidateWidth(const RawSettings& record, int64_t value);
int32_t ValidateHeight(const RawSettings& record, int64_t value);
int64_t CurrentByteCount(const RawSettings& record, ByteCount which);
int64_t ValidateByteCount(const RawSettings& record, ByteCount which, int64_t value);
void SetByteCount(RawSettings& record, ByteCount which, int64_t value);

// Why the record's settings hold no whole frame of a file of `fileSize` bytes, for the user:
// "one 720×480 YUYV frame needs 691,200 bytes; the file has 6,144". Empty when at least one
// whole frame fits.
QString FitProblem(const RawSettings& record, int64_t fileSize);
// A number with a comma between groups of three digits: 6144 -> "6,144".
QString GroupedNumber(int64_t value);

// Steps 2 and 3 of an apply: rebuild the candidate's format block from its own width, height and
// code so that derived values are recomputed; false when no valid block results. `pitch` 0 takes
// the layout's own line pitch; any other value is kept (negative: rows stored bottom-up) when a
// row of the layout fits in it.
bool RebuildFormat(RawSettings& candidate, int32_t pitch = 0);

// The line pitch a record holds beyond its layout's own: 0 when it is the layout's own pitch (or
// the record describes no frame), else the record's signed pitch.
int32_t GivenPitch(const RawSettings& record);

// Why `pitch` cannot hold a row of the record's layout and width; empty when it can (0 always
// can: the layout's own pitch).
QString PitchProblem(const RawSettings& record, int32_t pitch);

// Reads a decimal number the way atoi does: leading blanks, an optional sign, digits up to the
// first other character; no digits give 0. Saturates at +-limit instead of overflowing.
int64_t ReadDecimal(const QString& text, int64_t limit = std::numeric_limits<int32_t>::max());
// A typed whole number: blanks around an optional sign and at least one digit, nothing else.
// Saturates at +-limit. Nothing for any other text, so that it is refused rather than read as
// some number.
std::optional<int64_t> ParseWholeNumber(const QString& text,
                                        int64_t limit = std::numeric_limits<int64_t>::max());

// A frame number as a frame slider's position: 0 .. INT_MAX, the most a slider can reach.
inline int FrameSliderPosition(int64_t frame) {
    return static_cast<int>(std::clamp<int64_t>(frame, 0, std::numeric_limits<int>::max()));
}

}  // namespace rawsettings
