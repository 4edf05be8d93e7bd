// The three commands of kavlo-tool. Each returns the exit status and prints its own errors.
#pragma once

#include "ToolArgs.h"
#include "ToolInput.h"

#include "analysis/SamplePsnr.h"
#include "view/file/VideoFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kavlotool {

int RunInfo(const Request& request, Input& input, const CommandLine& parsed);
int RunExport(const Request& request, Input& input);
int RunCompare(const Request& request, Input& first, Input& second);

// The export's output pattern read, and the image format its names' suffix asks for ("png",
// "ppm", or another that Qt writes); false with the reason for a bad pattern or a suffix that
// names no format.
bool ParseOutputPattern(const std::string& text, NamePattern& pattern, std::string& format,
                        std::string& error);

// Opens the file with the input's settings (a copy: the open writes the file size into it).
// False with the reason.
bool OpenVideo(const Input& input, kavlo::VideoFile& file, std::string& error);

// The frames of `range` in a file of `frameCount` frames; false with the reason when the range
// lies past the end.
bool ResolveRange(const FrameRange& range, int64_t frameCount, int64_t& first, int64_t& last,
                  std::string& error);

// The figures of frames first .. last of two opened inputs whose samples compare (samplesA,
// samplesB), on `threads` workers (0: one per core), each reading its frames with pread in bands
// of rows. `compared`, when given, is called on the worker's thread after each frame's figures.
// False with the reason of the earliest frame that could not be read ("b.yuv shrank to 3 frames
// at frame 3" when a file no longer holds a frame it held at the open). Frame n of A is compared
// with frame n + offset of B (first .. last are A's, each with a B frame).
bool CompareFrames(const Input& a, const Input& b, const FrameSamples& samplesA,
                   const FrameSamples& samplesB, int64_t first, int64_t last, unsigned threads,
                   std::vector<PsnrFigures>& figures, std::string& error,
                   const std::function<void(int64_t)>& compared = {}, int64_t offset = 0);

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& text);
// A number as printed in the reports: fixed with `decimals` decimals, "inf" for infinity.
std::string Number(double value, int decimals);

}  // namespace kavlotool
