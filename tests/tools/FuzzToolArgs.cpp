// Fuzzes kavlo-tool's argument parsing: the input is split into arguments at NUL bytes, the
// first being the command.
#include "ToolArgs.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args = {"kavlo-tool"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(char(data[i]));
        }
    }
    if (!current.empty()) args.push_back(current);
    args.shrink_to_fit();  // reading past the list is then an AddressSanitizer report

    using namespace kavlotool;
    const Request r = ParseArguments(args);
    if (!r.error.empty()) {
        if (r.command == Command::Help) std::abort();
        if (r.error.find('\n') != std::string::npos) std::abort();  // one line
        return 0;
    }
    switch (r.command) {
    case Command::Help: break;
    case Command::Info:
        if (r.first.fileName.empty()) std::abort();
        break;
    case Command::Export: {
        if (r.first.fileName.empty() || r.outPattern.empty()) std::abort();
        NamePattern pattern;
        std::string error;
        if (ParseNamePattern(r.outPattern, pattern, error)) {
            const std::string name = FormatName(pattern, r.frames.first);
            if (pattern.hasNumber && name.size() < pattern.before.size() + pattern.after.size())
                std::abort();
        }
        break;
    }
    case Command::Compare:
        if (r.first.fileName.empty() || r.second.fileName.empty()) std::abort();
        if (r.first.hasSettings != r.first.formatGiven) std::abort();
        break;
    case Command::None: std::abort();
    }
    if (r.frames.given && r.frames.last >= 0 && r.frames.last < r.frames.first) std::abort();
    if (r.deinterlace > 3) std::abort();
    return 0;
}
