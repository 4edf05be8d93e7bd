// Guessing how to read a headerless file from its size: which common frame size and pixel layout
// divide it into whole frames. The one ranking that every guess of a frame size goes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rawsettings {

// One way of reading a file: a frame size and layout at the layout's own line pitch.
struct FrameSizeGuess {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t code = 0;       // layout code
    int64_t frameBytes = 0;  // bytes of one frame
    int64_t frames = 0;      // whole frames in the file
    int64_t restBytes = 0;   // bytes after the last whole frame
};

// What is already known about the file (from its name or a header); 0 means unknown.
struct GuessConstraints {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t code = 0;
    int64_t filePrefix = 0;  // bytes before the first frame

    // Preferences, from a file name: not certainties. A preferred size is used when a reading of
    // that size leaves no rest bytes (or when no reading of any size does and one of that size
    // holds a frame); preferred layouts likewise among the readings left. Used preferences rank
    // their readings first; preferred layouts among themselves in the order given, before the
    // picture's continuity decides between layouts whose frames have the same byte size.
    int32_t preferredWidth = 0;
    int32_t preferredHeight = 0;
    std::vector<uint32_t> preferredCodes;
};

// Which preferences of GuessConstraints the ranking used.
struct PreferencesUsed {
    bool size = false;
    bool codes = false;
};

// A frame count above this is not a plausible reading of a file (more than 11 hours at 25 frames
// per second): a tiny frame size read from a large file.
constexpr int64_t kPlausibleFrameLimit = 1000000;

// Every reading of a file of `fileSize` bytes by a common frame size (QCIF to 8K, the settings
// dialog's presets among them) and a common layout that holds at least one frame, best first:
//   1. readings into whole frames with no rest bytes before the others;
//   2. then those with a plausible frame count (at most kPlausibleFrameLimit);
//   3. then, when `sample` holds the file's first bytes after the file prefix, readings whose
//      rows lie under each other as a picture's rows do (see PictureContinuity): file sizes alone
//      cannot tell 25 PAL frames from 5 HD ones, or one 8K frame from 16 HD ones;
//   4. then the more common frame size, then the more common layout.
// Preferences that fit the file (see GuessConstraints) come before all of these; `used` (may be
// null) says which did.
// Layouts whose frames have the same byte size appear one after the other in the layouts' order.
// Empty when no reading holds a frame.
std::vector<FrameSizeGuess> RankFrameSizeGuesses(int64_t fileSize,
                                                 const GuessConstraints& constraints = {},
                                                 const uint8_t* sample = nullptr,
                                                 size_t sampleBytes = 0,
                                                 PreferencesUsed* used = nullptr);

// How much the first plane of a picture in layout `code` changes from one row to the next when
// rows are `pitch` bytes apart, and from one group of samples to the next: the mean absolute
// difference of each sample (scaled to 8 bits) from the same sample of the group below and of the
// next group, over windows across the first rows of `sample`. A real picture is smooth at its
// true pitch and layout and rough at wrong ones. Negative when it cannot be measured (unknown
// code, fewer than two rows or groups).
// `rowBytes` (0: the pitch) limits the groups measured to the first bytes of each row, so that
// the padding of a padded row does not count as picture.
double PictureContinuity(const uint8_t* sample, size_t sampleBytes, uint32_t code, size_t pitch,
                         size_t rowBytes = 0);

// A line pitch larger than the layout's own at which the rows of a W x H frame of packed layout
// `code` line up as a picture's rows do, read from `sample` (the first bytes of a frame): a
// padded buffer, such as capture or FPGA output whose rows start every 4,096 bytes. Candidates
// are the row rounded up to 16 to 4,096 bytes and to powers of two; one is proposed only when
// its rows continue at most half as roughly as at the layout's own pitch, the sample holds four
// of its rows, and (`payloadBytes` > 0) the frames at that pitch divide `payloadBytes` exactly.
// 0 when there is none, for planar layouts (their planes are packed tightly whatever the pitch)
// and when the picture cannot be measured.
int32_t ProposeLinePitch(const uint8_t* sample, size_t sampleBytes, uint32_t code, int32_t width,
                         int32_t height, int64_t payloadBytes);

}  // namespace rawsettings
