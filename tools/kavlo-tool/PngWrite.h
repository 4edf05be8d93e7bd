// A PNG writer for 8-bit R'G'B' pictures: rows unfiltered (filter type 0), one zlib stream at a
// chosen level. Qt's PNG writer tries every row filter on every row, which costs more than the
// whole rendering of a frame; this writer spends its time on the deflate alone.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace kavlotool {

// Appends the PNG file of a width x height picture to `out`; `row(y, rgb)` fills the 3 x width
// bytes of picture line y (top first). False when zlib refuses (level out of 0-9, no memory).
bool WritePng(int width, int height, int zlibLevel,
              const std::function<void(int y, uint8_t* rgb)>& row, std::vector<uint8_t>& out);

}  // namespace kavlotool
