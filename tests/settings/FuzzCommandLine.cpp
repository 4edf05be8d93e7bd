// Fuzzes the command-line parser and the record building: the input is split into arguments
// at NUL bytes.
#include "settings/CommandLine.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args = {"kavlo"};
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

    const CommandLine r = ParseCommandLine(args);
    if (!r.error.empty() && r.hasSettings) std::abort();
    if (r.openTarget && r.hasSettings) std::abort();
    if (r.hasSettings) {
        const RawSettings& s = r.settings;
        if (s.size != 208 || s.rawFormat.size != 150) std::abort();
        if (s.filePrefix < 0) std::abort();
        if (r.bottomUp && s.rawFormat.lineBytes > 0) std::abort();
        (void)FrameBytes(s.rawFormat);
    }
    return 0;
}
