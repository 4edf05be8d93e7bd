#include "Y4mHeader.h"

#include "FileNameHints.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

namespace y4m {

namespace {

constexpr int64_t kMaxDimension = 1 << 24;

// A whole decimal number 1..limit with nothing after it.
std::optional<uint32_t> PositiveNumber(std::string_view text, uint64_t limit) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v == 0 || v > limit) return std::nullopt;
    return static_cast<uint32_t>(v);
}

// "n:d" with both whole numbers; "0:0" (unknown) gives 0:0. False when malformed.
bool ReadRatio(std::string_view text, uint32_t& n, uint32_t& d) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view a = text.substr(0, colon), b = text.substr(colon + 1);
    if (a == "0" && b == "0") {
        n = d = 0;
        return true;
    }
    const auto x = PositiveNumber(a, 0xFFFFFFFFu), y = PositiveNumber(b, 0xFFFFFFFFu);
    if (!x || !y) return false;
    n = *x;
    d = *y;
    return true;
}

std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) out += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (text.size() > 40) out += "...";
    return out;
}

}  // namespace

bool HasMagic(const uint8_t* bytes, size_t size) {
    return bytes && size >= kMagicBytes && std::memcmp(bytes, kMagic, kMagicBytes) == 0;
}

std::string LayoutNameFor(const std::string& c) {
    if (c == "420jpeg" || c == "420paldv" || c == "420mpeg2" || c == "420") return "I420";
    if (c == "422") return "I422";
    if (c == "444") return "I444";
    if (c == "411") return "Y41B";
    if (c == "mono") return "GRAY";
    for (const char* chroma : {"420", "422", "444"}) {
        for (const char* bits : {"10", "12", "16"}) {
            if (c == std::string(chroma) + "p" + bits)
                return std::string("I") + chroma + "LE" + bits;
        }
    }
    if (c == "mono10" || c == "mono12" || c == "mono16") return "GRAYLE" + c.substr(4);
    return std::string();
}

bool ParseHeader(const uint8_t* bytes, size_t size, Stream& stream, std::string& error) {
    stream = Stream();
    if (!HasMagic(bytes, size)) {
        error = "the file does not start with the YUV4MPEG2 signature";
        return false;
    }
    const size_t limit = std::min(size, kMaxLineBytes);
    const void* end = std::memchr(bytes, '\n', limit);
    if (!end) {
        error = size < kMaxLineBytes ? "the YUV4MPEG2 header has no end of line"
                                     : "the YUV4MPEG2 header is longer than 4096 bytes";
        return false;
    }
    const size_t lineBytes = static_cast<size_t>(static_cast<const uint8_t*>(end) - bytes);
    const std::string_view line(reinterpret_cast<const char*>(bytes), lineBytes);
    stream.headerBytes = lineBytes + 1;
    bool haveWidth = false, haveHeight = false;
    size_t at = kMagicBytes;
    while (at < line.size()) {
        size_t next = line.find(' ', at);
        if (next == std::string_view::npos) next = line.size();
        const std::string_view tag = line.substr(at, next - at);
        at = next + 1;
        if (tag.empty()) continue;
        const std::string_view value = tag.substr(1);
        switch (tag[0]) {
        case 'W':
        case 'H': {
            const auto v = PositiveNumber(value, kMaxDimension);
            if (!v) {
                error = "the YUV4MPEG2 header's " + std::string(1, tag[0]) + " tag \"" +
                        Printable(tag) + "\" is no size from 1 to 16777216";
                return false;
            }
            (tag[0] == 'W' ? stream.width : stream.height) = static_cast<int32_t>(*v);
            (tag[0] == 'W' ? haveWidth : haveHeight) = true;
            break;
        }
        case 'F':
            if (!ReadRatio(value, stream.rateNumerator, stream.rateDenominator)) {
                error = "the YUV4MPEG2 header's frame rate \"" + Printable(tag) +
                        "\" is not F<numerator>:<denominator>";
                return false;
            }
            break;
        case 'A':
            if (!ReadRatio(value, stream.aspectNumerator, stream.aspectDenominator)) {
                error = "the YUV4MPEG2 header's pixel aspect \"" + Printable(tag) +
                        "\" is not A<width>:<height>";
                return false;
            }
            break;
        case 'I':
            if (value.size() != 1 || std::strchr("ptbm?", value[0]) == nullptr) {
                error = "the YUV4MPEG2 header's interlacing \"" + Printable(tag) +
                        "\" is none of Ip, It, Ib, Im, I?";
                return false;
            }
            stream.interlace = value[0];
            break;
        case 'C': stream.colourSpace = std::string(value.substr(0, 64)); break;
        default: break;  // X tags carry application data; unknown tags are skipped
        }
    }
    if (!haveWidth || !haveHeight) {
        error = haveWidth ? "the YUV4MPEG2 header has no height (H tag)"
                          : "the YUV4MPEG2 header has no width (W tag)";
        return false;
    }
    stream.layoutName = LayoutNameFor(stream.colourSpace);
    if (stream.layoutName.empty()) {
        error =
            "the YUV4MPEG2 colour space C" + Printable(stream.colourSpace) + " is not supported";
        return false;
    }
    return true;
}

size_t FrameLineBytes(const uint8_t* bytes, size_t size, std::string& error) {
    if (size < 6 || std::memcmp(bytes, "FRAME", 5) != 0) {
        error = "no FRAME line follows the YUV4MPEG2 header";
        return 0;
    }
    const void* end = std::memchr(bytes, '\n', std::min(size, kMaxLineBytes));
    if (!end) {
        error = "the first FRAME line has no end of line within 4096 bytes";
        return 0;
    }
    return static_cast<size_t>(static_cast<const uint8_t*>(end) - bytes) + 1;
}

bool ReadSettings(const uint8_t* bytes, size_t size, RawSettings& settings, std::string& error,
                  std::string& note) {
    note.clear();
    Stream s;
    if (!ParseHeader(bytes, size, s, error)) return false;
    const std::optional<uint32_t> code = rawsettings::LayoutCodeByName(s.layoutName);
    if (!code) {
        error = "the YUV4MPEG2 colour space C" + s.colourSpace + " is read as the layout " +
                s.layoutName + ", which this build does not have";
        return false;
    }
    const size_t frameLine = FrameLineBytes(bytes + s.headerBytes, size - s.headerBytes, error);
    if (frameLine == 0) return false;

    std::memset(&settings, 0, sizeof settings);
    settings.size = kRawSettingsSize;
    settings.filePrefix = static_cast<int32_t>(s.headerBytes);
    settings.framePrefix = static_cast<uint32_t>(frameLine);
    // Seconds per frame = frameDuration / timeScale, as everywhere in the record.
    settings.frameDuration = s.rateNumerator ? s.rateDenominator : 1;
    settings.timeScale = s.rateNumerator ? s.rateNumerator : 25;
    const int32_t fieldDetail = s.interlace == 't' ? 9 : s.interlace == 'b' ? 14 : 0;
    if (!BuildRawVideoFormat(settings.rawFormat, s.width, s.height, *code, 0, fieldDetail)) {
        error = "the YUV4MPEG2 header's " + std::to_string(s.width) + "x" +
                std::to_string(s.height) + " " + s.layoutName +
                " frames cannot be read (subsampled layouts need even sizes)";
        return false;
    }
    if (s.aspectNumerator != 0) {
        settings.rawFormat.aspectH = s.aspectNumerator;
        settings.rawFormat.aspectV = s.aspectDenominator;
    }
    if (s.interlace == 'm') note = "mixed interlacing (Im) is shown progressive";
    if (s.interlace == '?') note = "unknown interlacing (I?) is shown progressive";
    // The view places 4:2:0 chroma one way for all; the other sitings are named.
    if (s.colourSpace == "420mpeg2" || s.colourSpace == "420paldv") {
        if (!note.empty()) note += "; ";
        note += "C" + s.colourSpace + " chroma siting is not shown (read as I420)";
    }
    return true;
}

}  // namespace y4m
