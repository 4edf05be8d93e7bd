// Captures what is written to file descriptor 2 while the object is capturing: the debug log's
// channel. Writes go to an unlinked temporary file, so nothing can block.
#pragma once

#include <string>
#include <vector>

class StderrCapture {
public:
    StderrCapture();   // starts capturing
    ~StderrCapture();  // stops, if still capturing
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written since the start or the last Take, as bytes; keeps capturing.
    std::string Take();
    // Stops capturing and returns what was not taken yet.
    std::string Stop();

private:
    int saved_ = -1;
    int file_ = -1;
    long long offset_ = 0;
};

// The text split at line feeds; every element is one line without its line feed. A missing
// final line feed leaves a last element that is not a complete line.
std::vector<std::string> SplitLines(const std::string& text);
// Number of lines equal to the expected one.
int CountLines(const std::vector<std::string>& lines, const std::string& line);
// Number of lines that contain the given text.
int CountContaining(const std::vector<std::string>& lines, const std::string& text);
// "'<program>': [<pid>] <level>: " as this process writes it.
std::string LinePrefix(const std::string& levelName);
// The program's file name as the log shows it.
std::string ProgramFileName();
