// YUV4MPEG2 (.y4m) files: the stream header ("YUV4MPEG2 W352 H288 F30000:1001 Ip A1:1 C420jpeg")
// and the first frame line read into a settings record, so that such a file opens without typing.
// The record reads the file as a raw file: the header is the file prefix, each "FRAME" line the
// frame prefix. Frames whose lines carry their own parameters (a longer line than the first
// frame's) cannot be read that way; the view checks each frame's line as it reads it.
#pragma once

#include "settings/RawSettings.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace y4m {

// The stream header and a frame line end at their '\n' within this many bytes.
constexpr size_t kMaxLineBytes = 4096;
constexpr char kMagic[] = "YUV4MPEG2 ";
constexpr size_t kMagicBytes = sizeof(kMagic) - 1;

// True when the bytes start with the stream signature "YUV4MPEG2 ".
bool HasMagic(const uint8_t* bytes, size_t size);

struct Stream {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t rateNumerator = 0;  // F: frames per second = numerator / denominator; 0 unknown
    uint32_t rateDenominator = 0;
    char interlace =
        'p';  // I: p progressive, t top field first, b bottom first, m mixed, ? unknown
    uint32_t aspectNumerator = 0;  // A: pixel aspect; 0 unknown
    uint32_t aspectDenominator = 0;
    std::string colourSpace = "420jpeg";  // C, as written (the default when absent)
    std::string layoutName;               // the catalogue layout the colour space is read as
    size_t headerBytes = 0;               // the stream header with its '\n'
};

// Reads the stream header from the file's first bytes. False with `error` naming what is wrong
// (no signature, no end of line within kMaxLineBytes, a missing or bad W or H, a bad F, I or A,
// a colour space that has no layout such as 444alpha). X tags and unknown tag letters are skipped.
bool ParseHeader(const uint8_t* bytes, size_t size, Stream& stream, std::string& error);

// The layout name a C value is read as ("420jpeg" -> "I420", "422p10" -> "I422LE10",
// "mono12" -> "GRAYLE12"); empty for a colour space with no layout. The 4:2:0 sitings
// (jpeg, paldv, mpeg2) are all read as I420: chroma siting differences are not shown.
std::string LayoutNameFor(const std::string& colourSpace);

// The length of the frame line at the start of `bytes` (its '\n' included): the line must start
// with "FRAME" and end within kMaxLineBytes. 0 with `error` otherwise.
size_t FrameLineBytes(const uint8_t* bytes, size_t size, std::string& error);

// The settings record of a file whose first bytes (at least the header and the first frame line)
// are `bytes`: file prefix = header, frame prefix = the first frame line, interlacing from I
// (t: top field first woven, b: bottom field first woven), F as seconds per frame
// (frameDuration / timeScale, 25 fps when F is absent), A as the pixel aspect. False with
// `error` when the header is malformed, no frame line follows it or the catalogue lacks the
// layout; `note` says what is shown differently from what the header says (mixed or unknown
// interlacing shown progressive, chroma siting).
bool ReadSettings(const uint8_t* bytes, size_t size, RawSettings& settings, std::string& error,
                  std::string& note);

}  // namespace y4m
