// What the program settles before its windowing toolkit starts: the usage and the version asked
// for on a terminal, and a start that has no display to show a window on, which the toolkit would
// end with an abort. Also the one way the shell prints text to standard output and error.
#pragma once

#include "settings/CommandLine.h"

#include <QString>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kavlo {

// Where the program starts.
struct StartPlace {
    bool display = true;          // the toolkit can reach a display
    bool stdoutTerminal = false;  // standard output is a terminal
};

enum class EarlyAnswer {
    None,     // the toolkit starts; the rest is the application's start-up
    Usage,    // the usage on standard output, exit code 0
    Version,  // the version on standard output, exit code 0
    Refusal,  // a message on standard error, exit code 1: no window can be shown
};

// Decides what a start with these arguments does before the toolkit. --help, -help and a lone -h
// print the usage wherever the program runs; -? prints it on a terminal or without a display,
// and keeps the usage window of a start from the desktop; under -play every help request prints.
// Without a display, an error of the command line or the lack of a display is refused on
// standard error.
EarlyAnswer DecideEarlyAnswer(const CommandLine& parsed, const StartPlace& place);

// Whether the toolkit's platform can reach a display: a platform named by -platform or
// QT_QPA_PLATFORM other than xcb needs none the environment tells of (offscreen, wayland,
// eglfs, ...); xcb needs DISPLAY; with none named, DISPLAY or WAYLAND_DISPLAY must be set.
// Null or empty texts count as unset.
bool DisplayReachable(const std::vector<std::string>& args, const char* platform,
                      const char* display, const char* waylandDisplay);

// The text of an early answer, for the given parse; empty for EarlyAnswer::None.
QString EarlyAnswerText(EarlyAnswer answer, const CommandLine& parsed);

// Parses the arguments, decides and prints the early answer; its exit code when the program
// ends here, nothing when the toolkit is to start.
std::optional<int> AnswerBeforeToolkit(const std::vector<std::string>& args);

// Whether the program was started from a terminal: its standard input or error is one.
bool StartedFromTerminal();

// Writes `text` and a line feed (unless it ends with one) with "\n" line ends. On standard
// error the bytes that could drive a terminal are escaped.
void PrintText(std::FILE* stream, QString text);

}  // namespace kavlo
