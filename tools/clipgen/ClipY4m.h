// Synthetic clips as YUV4MPEG2 (.y4m) streams: the stream header, then each frame of the clip
// behind a "FRAME" line. The picture is the raw clip's (ClipGen.h), so a test can compare what
// the viewer shows of a .y4m file with RenderFrame.
#pragma once

#include "ClipGen.h"

#include <cstdint>
#include <string>

namespace clipgen {

struct Y4mOptions {
    uint32_t rateNumerator = 25;  // F tag: frames per second = numerator / denominator
    uint32_t rateDenominator = 1;
    uint32_t aspectNumerator = 0;  // A tag; 0:0 writes none
    uint32_t aspectDenominator = 0;
    // Frame `parameterFrame` gets "FRAME <frameParameters>" (a longer frame line); -1: none.
    int32_t parameterFrame = -1;
    std::string frameParameters;
};

// The C tag of a layout ("I420" -> "420jpeg", "I422" -> "422", "GRAY" -> "mono",
// "I420LE10" -> "420p10", ...); empty for a layout a YUV4MPEG2 stream cannot hold.
std::string Y4mColourSpace(uint32_t code);

// The stream header with its '\n': "YUV4MPEG2 W.. H.. F..:.. I.. [A..:..] C..".
std::string Y4mStreamHeader(const ClipOptions& options, const Y4mOptions& y4m);

// Writes the clip as a YUV4MPEG2 stream. The clip must be progressive or woven, top-down, at
// its computed pitch, without prefixes or postfixes, in a layout Y4mColourSpace knows.
bool WriteY4mClip(const ClipOptions& options, const Y4mOptions& y4m, const std::string& path,
                  std::string& error);

}  // namespace clipgen
