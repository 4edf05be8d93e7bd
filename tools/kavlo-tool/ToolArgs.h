// The arguments of kavlo-tool: a command, the tool's own "--" options, and the viewer's settings
// syntax (-w -h -l -s -o -b -e -i -seq ...) for each file, read by the viewer's own parser.
// No Qt, no files: the fuzz target runs it as it is.
#pragma once

#include "settings/CommandLine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kavlotool {

enum class Command { None, Help, Info, Export, Compare };

// Frames first .. last (0-based, both included); last < 0: up to the last frame of the file.
struct FrameRange {
    bool given = false;
    int64_t first = 0;
    int64_t last = -1;
};

enum class Channel { All, Y, Cb, Cr };

struct Request {
    Command command = Command::None;
    std::string error;  // a usage error: one line, without the program name

    bool json = false;
    FrameRange frames;

    // export
    std::string outPattern;
    bool force = false;
    Channel channel = Channel::All;
    bool splitFields = false;  // the view's F
    bool swapFields = false;   // the view's T
    int deinterlace = -1;      // the view's method number 0-3; -1: as the settings say
    bool flip = false;         // the view's V
    unsigned threads = 0;      // worker threads; 0: one per processor

    // compare
    bool guess = false;  // a file without settings or stream header is read by its best reading
    bool psnrMinGiven = false;
    double psnrMin = 0;
    // B's frame compared with A's frame n is n + offset (a decoder's delay: B starts later).
    int64_t offset = 0;

    // Each file with the settings that describe it, parsed by the viewer's parser. For compare,
    // settings given before the second file describe both files, settings after it the second
    // file alone (and the first too when nothing before the second file describes a layout).
    CommandLine first;
    CommandLine second;
};

// Parses the arguments (the program's path first).
Request ParseArguments(const std::vector<std::string>& args);

// The one-line usage printed after a usage error, and the full usage of --help.
const char* UsageLine();
const char* UsageText();

// An output file name pattern: text with at most one printf-style integer conversion (%d,
// %04d, %5d, %i, %u) and "%%" for a percent sign.
struct NamePattern {
    std::string before, after;
    bool hasNumber = false;
    bool zeroPad = false;
    int width = 0;
};
// False with a reason for a pattern with any other conversion, or more than one.
bool ParseNamePattern(const std::string& pattern, NamePattern& out, std::string& error);
std::string FormatName(const NamePattern& pattern, int64_t frame);

// "A-B", "A-" (to the end) or "A": frame numbers from 0. False for anything else.
bool ParseFrameRange(const std::string& text, FrameRange& out);

}  // namespace kavlotool
