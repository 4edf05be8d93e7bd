// Fuzzes the YUV4MPEG2 header parser and the settings record it builds: any bytes as a file's
// start. A record that is handed out must describe a stream the viewer can read.
#include "settings/Y4mHeader.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes: reading past it is an AddressSanitizer report.
    const std::vector<uint8_t> bytes(data, data + size);
    RawSettings s{};
    std::string error, note;
    const bool ok = y4m::ReadSettings(bytes.data(), bytes.size(), s, error, note);
    if (ok == !error.empty()) std::abort();
    if (!ok) return 0;
    if (s.size != 208 || s.rawFormat.size != 150) std::abort();
    if (s.filePrefix <= 10 || static_cast<size_t>(s.filePrefix) > y4m::kMaxLineBytes) std::abort();
    if (s.framePrefix < 6 || s.framePrefix > y4m::kMaxLineBytes) std::abort();
    if (static_cast<size_t>(s.filePrefix) + s.framePrefix > size) std::abort();
    if (s.frameDuration == 0 || s.timeScale == 0) std::abort();
    if (s.rawFormat.width <= 0 || s.rawFormat.height <= 0 || s.rawFormat.lineBytes <= 0)
        std::abort();
    return 0;
}
