// What a raw file's name and the names of its folders say about its frames: size, frame rate,
// interlacing and pixel layout. Engineers name captures "crowd_run_1080p50.yuv" or
// "out_3840x2160_yuv420p10le.raw"; the guess takes these words as strong preferences.
//
// Tokenising rule. Each path component (the file name with its extension, then its folders,
// nearest first) is cut into words at every character that is not an ASCII letter or digit; a
// '.' between digits stays inside the word when letters follow the fraction ("29.97fps"). A
// word is then read as runs of digits and runs of letters ("1080p50" = 1080, p, 50):
//   - a size is digits 'x', 'X' or '*' digits, each 16..16384, with no digit run touching it
//     ("a1920x1080b" is a size, "x264" and "20231080" are not);
//   - a standard height followed by 'p' or 'i' ("720p", "1080i", "2160p"), optionally with a
//     rate behind it ("1080p50"); a bare 720, 1080, 2160 or 4320 between letters ("foo1080bar")
//     as a weaker hint; named sizes are whole words ("4k", "uhd", "cif", "pal", "vga", ...);
//   - a rate is a number before "fps" or "hz", a number before 'p' or 'i' that is no standard
//     height ("60p", "25i"), or a bare common rate right after the size word
//     ("BQTerrace_1920x1080_60"); "Ni" counts fields when N >= 48 ("50i" = 25 frames per second);
//   - a layout is a whole word that the command line's -l lookup knows ("nv12", "uyvy", and the
//     pixel-format aliases as they are added), else it is composed from pieces: "yuv", "rgb",
//     "gray"/"grey"/"mono", chroma "420"/"422"/"444"/"411"/"440", depth "8bit", "10bit", "10b",
//     "p10" after a chroma word, and "le"/"be".
// Within one component an explicit size beats a standard height, which beats a named size, which
// beats a bare height; across components the nearest one that says something wins, for each of
// size, rate, interlacing and each layout piece separately. Only the two nearest folders count,
// so the names of disks and home folders higher up ("/mnt/hd/...") say nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rawsettings {

struct FileNameHints {
    int32_t width = 0;  // 0: the name says no size
    int32_t height = 0;
    // Frames per second = rateNumerator / rateDenominator; both 0 when the name says none.
    uint32_t rateNumerator = 0;
    uint32_t rateDenominator = 0;
    std::optional<bool> interlaced;  // "1080i", "25i": true; "1080p", "60p": false
    // Layout codes the name points at, most likely first; only codes the catalogue has.
    std::vector<uint32_t> codes;
    // The layout as the name spells it ("I420LE10", "nv12", "4:2:2 8-bit"), for messages.
    std::string layoutText;

    bool HasSize() const { return width > 0 && height > 0; }
    bool HasRate() const { return rateNumerator > 0 && rateDenominator > 0; }
    bool Empty() const { return !HasSize() && !HasRate() && !interlaced && codes.empty(); }
};

// Reads the hints of a path (UTF-8 or any 8-bit bytes; '/' separates components). Only the last
// 4096 bytes are read.
FileNameHints ReadFileNameHints(std::string_view path);

// The catalogue code of a layout name ("I420LE10"), any case; nothing when the catalogue does not
// have it. Names are looked up at run time so that rows added to the catalogue are found.
std::optional<uint32_t> LayoutCodeByName(std::string_view name);

}  // namespace rawsettings
