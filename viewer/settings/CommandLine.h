// The viewer's command line: settings and a file name in any order; or "/open" and a file name;
// or a request for the usage.
#pragma once

#include "settings/ColourChoice.h"
#include "settings/RawSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Error texts shown in the usage window.
extern const char* const kErrNotEnoughArguments;  // "Error: Not enougth arguments."
extern const char* const kErrUnknownSetting;      // "Error: Unknown setting or option."
extern const char* const kErrNegativeOffset;      // "Error: Negative offsets are not allowed."
extern const char* const kErrOffsetTooLarge;      // "Error: Offset too large."
extern const char* const kErrWidth;               // "Error: Wrong or missing width."
extern const char* const kErrHeight;              // "Error: Wrong or missing height."
extern const char* const kErrStride;              // "Error: Wrong or missing stride."
extern const char* const kErrLayout;              // "Error: Unknown pixel layout." (-l last)
extern const char* const kErrTwoFiles;            // "Error: More than one file name given."
extern const char* const kErrMatrix;              // -matrix without 601, 709, 2020 or auto
extern const char* const kErrRange;               // -range without limited or full

// A keyword accepted after -l: the code it selects and whether rows are stored bottom-up.
struct LayoutKeyword {
    const char* keyword;
    uint32_t code;
    bool bottomUp;
};
constexpr int kLayoutKeywordCount = 106;
// The keyword table in the order it is searched.
const LayoutKeyword* LayoutKeywords();
// ffmpeg's pixel-format names of layouts of the catalogue ("yuv420p10le", "p010le", ...), which
// -l accepts in any case after the keywords: a name equal to a keyword is the keyword.
constexpr int kLayoutAliasCount = 48;
const LayoutKeyword* LayoutAliases();
// The other names -l accepts for a layout code, comma-separated: keywords that name no row of
// the catalogue ("RGB0" for the bytes of "RGB4") and ffmpeg's names, each with " (top-down)"
// when its rows are top-down but the keyword of the row's own name stores them bottom-up.
std::string LayoutOtherNames(uint32_t code);
// Looks a -l value up: "v216" and "v210" only as written, every other keyword in any case, then
// the aliases in any case.
std::optional<LayoutKeyword> FindLayoutKeyword(const std::string& value);
// The names of catalogue rows nearest to a -l value that names no layout, nearest first: by the
// edit distance (insertions, deletions, substitutions) without regard to case, ties in catalogue
// order; at most `count` of them.
std::vector<std::string> NearestLayoutNames(const std::string& value, size_t count);
// The error for a -l value that names no layout, with the value and the three nearest names:
// "Error: Unknown pixel layout 'I42O' (nearest: I420, I422, I440)."
std::string UnknownLayoutText(const std::string& value);

struct CommandLine {
    std::string error;                      // empty when all is well
    std::string fileName;                   // empty when none was given
    size_t fileIndex = 0;                   // the file name's place in the arguments (0: none)
    std::optional<std::string> openTarget;  // the argument after "/open" (empty: none given)

    // Values as read (before any record is built).
    int64_t filePrefix = 0;    // -o
    int64_t framePrefix = 0;   // -b
    int64_t framePostfix = 0;  // -e
    int32_t width = 0;
    int32_t height = 0;
    int32_t lineBytes = 0;  // -s
    uint32_t code = 0;      // -l

    bool interlaced = false;        // -i
    bool fieldSequence = false;     // -seq, -tmp
    bool deinterlace = false;       // -d
    bool mirrorVertical = false;    // -mv
    bool mirrorHorizontal = false;  // -mh
    bool play = false;              // -play, anywhere (even after an error or "/open")
    double fps = 0.0;               // -fps R: with -play, at R frames per second (0: unthrottled)
    int64_t cacheMB = 0;            // -cache MB: the read-ahead cache's cap (0: the stored one)
    bool bottomUp = false;          // the -l keyword stores rows bottom-up
    bool help = false;              // -help, --help, -? or a lone -h: show the usage
    std::string helpSwitch;         // the argument that asked for the usage ("-?", "--help", ...)
    bool version = false;           // --version: say the program's version
    // -matrix 601|709|2020|auto and -range limited|full (any case): the colour of Y'CbCr
    // samples. They describe no layout: a file opened with its stored settings takes them over
    // those settings' choice.
    kavlo::MatrixChoice matrix = kavlo::MatrixChoice::BT601;
    bool fullRange = false;
    bool colourGiven = false;
    // An option that describes the file's layout was given (-w -h -l -s -o -b -e -i -seq -tmp).
    // Without one the file opens with the settings stored for it, or asks for them.
    bool formatGiven = false;

    // The first number option (-o -b -e -w -h -s) whose value is not a whole number as written,
    // with that value: "-w abc". A value given that is no whole number is an error ("Error:
    // 'abc' is not a number (-w abc)."); what remains noted here without an error is an offset
    // option left without a value at the end ("-o", read as 0), which the tool refuses.
    std::string notNumber;

    // `settings` is valid: a file name and a format option were given and no error occurred.
    bool hasSettings = false;
    RawSettings settings{};
};

// Parses the arguments (the program's own path first). Never reads past the list; stops at the
// first error or at "/open" followed by a target. Options may follow the file name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// What is wrong with parsed.notNumber, for an error message: "'abc' is not a number (-w abc)",
// or "-o needs a number" for an option without a value. Empty when every number was one.
std::string NotNumberText(const CommandLine& parsed);

// Builds the raw settings record from parsed values: the format block through
// BuildRawVideoFormat, or the fallback fill when the builder refuses the values.
RawSettings BuildRawSettings(const CommandLine& parsed);
