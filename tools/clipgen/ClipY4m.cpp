#include "ClipY4m.h"

#include "image/PixelLayout.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace clipgen {

std::string Y4mColourSpace(uint32_t code) {
    // Names, not codes: rows the catalogue gains later are found by their names.
    static constexpr const char* kTags[][2] = {
        {"I420", "420jpeg"},    {"I422", "422"},        {"I444", "444"},
        {"Y41B", "411"},        {"GRAY", "mono"},       {"I420LE10", "420p10"},
        {"I420LE12", "420p12"}, {"I420LE16", "420p16"}, {"I422LE10", "422p10"},
        {"I422LE12", "422p12"}, {"I422LE16", "422p16"}, {"I444LE10", "444p10"},
        {"I444LE12", "444p12"}, {"I444LE16", "444p16"}, {"GRAYLE10", "mono10"},
        {"GRAYLE12", "mono12"}, {"GRAYLE16", "mono16"},
    };
    const std::string name = LayoutName(code);
    for (const auto& tag : kTags)
        if (name == tag[0]) return tag[1];
    return std::string();
}

std::string Y4mStreamHeader(const ClipOptions& o, const Y4mOptions& y4m) {
    const char interlace = o.fields == FieldMode::Woven ? (o.bottomFieldFirst ? 'b' : 't') : 'p';
    std::string header = "YUV4MPEG2 W" + std::to_string(o.width) + " H" + std::to_string(o.height) +
                         " F" + std::to_string(y4m.rateNumerator) + ":" +
                         std::to_string(y4m.rateDenominator) + " I" + interlace;
    if (y4m.aspectNumerator != 0)
        header += " A" + std::to_string(y4m.aspectNumerator) + ":" +
                  std::to_string(y4m.aspectDenominator);
    return header + " C" + Y4mColourSpace(o.code) + "\n";
}

bool WriteY4mClip(const ClipOptions& o, const Y4mOptions& y4m, const std::string& path,
                  std::string& error) {
    if (!ValidateClip(o, error)) return false;
    if (Y4mColourSpace(o.code).empty()) {
        error = "a YUV4MPEG2 stream cannot hold " + LayoutName(o.code) + " frames";
        return false;
    }
    if (o.fields == FieldMode::Separated || o.bottomUp || o.lineBytes != 0 || o.filePrefix != 0 ||
        o.framePrefix != 0 || o.framePostfix != 0) {
        error =
            "a YUV4MPEG2 stream holds top-down progressive or woven frames at their own "
            "pitch, without prefixes or postfixes";
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    const auto put = [&file](const void* bytes, size_t size) {
        return size == 0 || std::fwrite(bytes, 1, size, file.get()) == size;
    };
    const std::string header = Y4mStreamHeader(o, y4m);
    bool ok = put(header.data(), header.size());
    std::vector<uint8_t> frame;
    for (int32_t n = 0; ok && n < o.frames; ++n) {
        const std::string line =
            n == y4m.parameterFrame ? "FRAME " + y4m.frameParameters + "\n" : "FRAME\n";
        ok = PackFrame(o, n, frame) && put(line.data(), line.size()) &&
             put(frame.data(), frame.size());
    }
    if (std::fflush(file.get()) != 0) ok = false;
    if (!ok) error = "cannot write " + path;
    return ok;
}

}  // namespace clipgen
