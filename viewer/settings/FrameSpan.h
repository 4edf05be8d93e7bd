// Where frame n of a raw file lies: the file prefix, then for every frame its prefix, its bytes
// and its postfix. One rule for the viewer, the open plan, the settings dialog and the tool; the
// plug-in reads by the same arithmetic, and like it the file prefix is taken as the unsigned
// 32-bit number the file layout is given as (a negative stored prefix holds no frame).
#pragma once

#include "settings/RawSettings.h"

#include <cstdint>

namespace rawsettings {

struct FrameSpan {
    int64_t filePrefix = 0;    // bytes before the first frame's prefix
    int64_t framePrefix = 0;   // bytes before every frame
    int64_t frameBytes = 0;    // bytes of one frame
    int64_t framePostfix = 0;  // bytes after every frame

    // The span of a record, its frames `frameBytes` long (the record's own frame size when
    // negative).
    static FrameSpan Of(const RawSettings& record, int64_t frameBytes = -1) {
        FrameSpan span;
        span.filePrefix = static_cast<uint32_t>(record.filePrefix);
        span.framePrefix = record.framePrefix;
        span.framePostfix = record.framePostfix;
        span.frameBytes =
            frameBytes >= 0 ? frameBytes : static_cast<int64_t>(FrameBytes(record.rawFormat));
        return span;
    }

    // Bytes from the start of one frame's prefix to the next one's.
    int64_t Stride() const { return framePrefix + frameBytes + framePostfix; }
    // The offset of frame n's first byte (after its prefix).
    int64_t FrameStart(int64_t n) const { return filePrefix + n * Stride() + framePrefix; }
    // The size of a file that holds `frames` whole frames and nothing after them.
    int64_t FileBytes(int64_t frames) const { return filePrefix + frames * Stride(); }
    // Whole frames (prefix, bytes and postfix) in a file of `fileSize` bytes.
    int64_t WholeFrames(int64_t fileSize) const {
        if (Stride() <= 0 || fileSize <= filePrefix) return 0;
        return (fileSize - filePrefix) / Stride();
    }
    // Bytes after the last whole frame (the whole file after the prefix when none fits; 0 for a
    // file shorter than the prefix).
    int64_t RestBytes(int64_t fileSize) const {
        if (fileSize <= filePrefix) return 0;
        return fileSize - filePrefix - WholeFrames(fileSize) * Stride();
    }
};

}  // namespace rawsettings
