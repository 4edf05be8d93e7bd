// A file named on kavlo-tool's command line: its size and first bytes, and the settings that read
// it, decided by the viewer's open plan (its YUV4MPEG2 header, the settings given, the settings
// the viewer stored for it, or the best reading of its name, size and first bytes).
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
    bool complete = false;  // settings given, stored or in a header: nothing was guessed
    std::string guessed;    // why the reading was taken, when it was guessed; empty otherwise
};

// Examines the file: an existing, readable regular file. False with the reason ("clip.yuv: No
// such file or directory").
bool ExamineFile(const std::string& path, int64_t filePrefix, Input& out, std::string& error);

// The readings of the file that the given settings leave open, best first.
std::vector<rawsettings::FrameSizeGuess> ReadingsOf(const Input& input, const CommandLine& parsed);

// Fills in.settings as the viewer's open plan decides for the file, with the parsed settings and
// what the viewer stored for the file (read-only). `mayGuess`: a file without settings is read
// by its best reading. Returns kExitOk, or the exit status with the reason in `error`
// (kExitUsage when only settings are missing, kExitFailed otherwise). `note` receives what
// standard error should say about the reading (the guess, a header that overrides settings).
int ResolveSettings(Input& in, const CommandLine& parsed, bool mayGuess, std::string& error,
                    std::string& note);

// Prints "kavlo-tool: <text>" on stderr.
void PrintError(const std::string& text);

// "I420" or "code 0x12345678" for a code the catalogue lacks.
std::string LayoutText(uint32_t code);

}  // namespace kavlotool
