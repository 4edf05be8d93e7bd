// Fuzzes the file-name reader: any bytes as a path. Hints that are handed out must be usable as
// they are: sizes in range and together, a rate with both parts, layouts of the catalogue.
#include "settings/FileNameHints.h"

#include "image/PixelLayout.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const rawsettings::FileNameHints h = rawsettings::ReadFileNameHints(path);
    if ((h.width == 0) != (h.height == 0)) std::abort();
    if (h.width < 0 || h.width > 16384 || h.height < 0 || h.height > 16384) std::abort();
    if ((h.rateNumerator == 0) != (h.rateDenominator == 0)) std::abort();
    if (h.HasRate() && h.rateNumerator > 1000ull * h.rateDenominator) std::abort();
    for (const uint32_t code : h.codes)
        if (LayoutName(code).empty()) std::abort();
    if (!h.codes.empty() && h.layoutText.empty()) std::abort();
    return 0;
}
