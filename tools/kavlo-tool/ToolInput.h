// A file named on kavlo-tool's command line: its size and first bytes, the settings that read it
// (as given, or completed from the best reading of its size and first bytes), and the open file.
#pragma once

#include "ToolArgs.h"

#include "settings/FrameSizeGuess.h"
#include "settings/RawSettings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kavlotool {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // a file cannot be read or written; --psnr-min not met
constexpr int kExitUsage = 2;

struct Input {
    std::string path;  // as given
    int64_t size = 0;
    std::vector<uint8_t> start;  // the first bytes after the file prefix, for the guess
    RawSettings settings{};
    bool complete = false;  // width, height and layout were all given
    std::string guessed;    // what the guess filled in ("1920x1080 I420"), empty when nothing
};

// Examines the file: an existing, readable regular file. False with the reason ("clip.yuv: No
// such file or directory").
bool ExamineFile(const std::string& path, int64_t filePrefix, Input& out, std::string& error);

// The readings of the file that the given settings leave open, best first.
std::vector<rawsettings::FrameSizeGuess> ReadingsOf(const Input& input, const CommandLine& parsed);

// Fills in.settings from the parsed settings, completed with the best reading when width,
// height or layout are missing. False with the reason when nothing reads the file.
bool ResolveSettings(Input& in, const CommandLine& parsed, std::string& error);

// Prints "kavlo-tool: <text>" on stderr.
void PrintError(const std::string& text);

// "I420" or "code 0x12345678" for a code the catalogue lacks.
std::string LayoutText(uint32_t code);

}  // namespace kavlotool
