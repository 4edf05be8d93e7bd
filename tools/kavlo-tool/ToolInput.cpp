#include "ToolInput.h"

#include "settings/FrameSizeGuess.h"
#include "settings/TerminalText.h"
#include "image/PixelLayout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kavlotool {

namespace {

// As much of the file's start as the settings dialog's guess looks at.
constexpr size_t kStartBytes = 256 * 1024;

}  // namespace

void PrintError(const std::string& text) {
    // File names come into these messages as given: never raw bytes that drive the terminal.
    std::fprintf(stderr, "kavlo-tool: %s\n", kavlo::TerminalSafeText(text).c_str());
}

std::string LayoutText(uint32_t code) {
    const std::string name = LayoutName(code);
    if (!name.empty()) return name;
    char text[32];
    std::snprintf(text, sizeof text, "code 0x%08x", code);
    return text;
}

bool ExamineFile(const std::string& path, int64_t filePrefix, Input& out, std::string& error) {
    out.path = path;
    // Not blocking: opening a named pipe would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + (S_ISDIR(st.st_mode) ? ": is a directory" : ": is not a regular file");
        ::close(fd);
        return false;
    }
    out.size = static_cast<int64_t>(st.st_size);
    out.start.resize(kStartBytes);
    const ssize_t got = ::pread(fd, out.start.data(), out.start.size(), filePrefix);
    const int readError = errno;
    ::close(fd);
    if (got < 0) {
        error = path + ": " + std::strerror(readError);
        return false;
    }
    out.start.resize(static_cast<size_t>(got));
    return true;
}

std::vector<rawsettings::FrameSizeGuess> ReadingsOf(const Input& input, const CommandLine& parsed) {
    rawsettings::GuessConstraints constraints;
    constraints.width = parsed.width;
    constraints.height = parsed.height;
    constraints.code = parsed.code;
    constraints.filePrefix = parsed.filePrefix;
    return rawsettings::RankFrameSizeGuesses(input.size, constraints, input.start.data(),
                                             input.start.size());
}

bool ResolveSettings(Input& in, const CommandLine& parsed, std::string& error) {
    in.complete = parsed.width > 0 && parsed.height > 0 && parsed.code != 0;
    if (in.complete) {
        in.settings = BuildRawSettings(parsed);
        return true;
    }
    const std::vector<rawsettings::FrameSizeGuess> readings = ReadingsOf(in, parsed);
    if (readings.empty()) {
        error = in.path + ": no common frame size and layout" +
                (parsed.formatGiven ? std::string(" that fits the settings given") : "") +
                " holds a whole frame of its " + std::to_string(in.size) +
                " bytes: give -w, -h and -l";
        return false;
    }
    const rawsettings::FrameSizeGuess& best = readings.front();
    CommandLine completed = parsed;
    completed.width = best.width;
    completed.height = best.height;
    completed.code = best.code;
    in.settings = BuildRawSettings(completed);
    in.guessed = std::to_string(best.width) + "x" + std::to_string(best.height) + " " +
                 LayoutText(best.code);
    return true;
}

}  // namespace kavlotool
