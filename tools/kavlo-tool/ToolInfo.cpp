// kavlo-tool info, and what the commands share: opening a file, frame ranges, JSON texts.
#include "ToolCommands.h"

#include "image/PixelLayout.h"
#include "analysis/PsnrCsv.h"
#include "view/file/LocalFileName.h"

#include <QByteArray>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

namespace kavlotool {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Number(double value, int decimals) { return PsnrNumberText(value, decimals); }

bool OpenVideo(const Input& input, kavlo::VideoFile& file, std::string& error) {
    RawSettings settings = input.settings;
    const QString name = kavlo::FileNameFromBytes(QByteArray::fromStdString(input.path));
    QString why;
    if (!file.Open(&settings, name, why)) {
        error = input.path + ": " +
                (why.isEmpty() ? std::string("cannot be opened") : why.toStdString());
        return false;
    }
    return true;
}

bool ResolveRange(const FrameRange& range, int64_t frameCount, int64_t& first, int64_t& last,
                  std::string& error) {
    first = range.given ? range.first : 0;
    last = range.given && range.last >= 0 ? range.last : frameCount - 1;
    if (first >= frameCount || last >= frameCount) {
        error = "frames " + std::to_string(first) + "-" + std::to_string(last) +
                " lie past the last frame, " + std::to_string(frameCount - 1) +
                " (frames count from 0)";
        return false;
    }
    return true;
}

namespace {

const char* FieldText(const RawVideoFormat& f) {
    if (f.fieldCount != 2) return "progressive";
    switch (f.fieldDetail) {
    case 1: return "interlaced, fields one after the other, top field first";
    case 6: return "interlaced, fields one after the other, bottom field first";
    case 14: return "interlaced, woven, bottom field first";
    default: return "interlaced, woven, top field first";
    }
}

std::string Description(uint32_t code) {
    for (int i = 0; i < kLayoutCount; ++i)
        if (LayoutCatalogue()[i].code == code) return LayoutCatalogue()[i].description;
    return std::string();
}

void PrintReadings(const Request& request, const Input& input,
                   const std::vector<rawsettings::FrameSizeGuess>& readings) {
    constexpr size_t kShown = 8;
    const size_t shown = std::min(readings.size(), kShown);
    if (request.json) {
        std::printf("{\"file\": %s, \"file_bytes\": %" PRId64 ", \"readings\": [",
                    JsonString(input.path).c_str(), input.size);
        for (size_t i = 0; i < shown; ++i) {
            const rawsettings::FrameSizeGuess& g = readings[i];
            std::printf(
                "%s\n  {\"width\": %d, \"height\": %d, \"layout\": %s, \"frame_bytes\": "
                "%" PRId64 ", \"frames\": %" PRId64 ", \"rest_bytes\": %" PRId64 "}",
                i ? "," : "", g.width, g.height, JsonString(LayoutText(g.code)).c_str(),
                g.frameBytes, g.frames, g.restBytes);
        }
        std::printf("]}\n");
        return;
    }
    std::printf("%s: %" PRId64 " bytes; the likeliest readings, best first:\n", input.path.c_str(),
                input.size);
    for (size_t i = 0; i < shown; ++i) {
        const rawsettings::FrameSizeGuess& g = readings[i];
        std::printf("  %zu. -w %d -h %d -l %s: %" PRId64 " frames of %" PRId64 " bytes, %" PRId64
                    " rest bytes\n",
                    i + 1, g.width, g.height, LayoutText(g.code).c_str(), g.frames, g.frameBytes,
                    g.restBytes);
    }
    if (readings.empty()) std::printf("  none: no common frame size holds a whole frame\n");
}

}  // namespace

int RunInfo(const Request& request, Input& input, const CommandLine& parsed) {
    if (!input.complete) {
        PrintReadings(request, input, ReadingsOf(input, parsed));
        return kExitOk;
    }
    kavlo::VideoFile file;
    std::string error;
    if (!OpenVideo(input, file, error)) {
        PrintError(error);
        return kExitFailed;
    }
    const RawSettings& s = file.Settings();
    const RawVideoFormat& f = s.rawFormat;
    const uint64_t frameBytes = FrameBytes(f);
    const bool bottomUp = f.lineBytes < 0;
    if (request.json) {
        std::printf(
            "{\"file\": %s, \"file_bytes\": %" PRIu64
            ", \"width\": %d, \"height\": %d, "
            "\"layout\": %s, \"line_bytes\": %d, \"bottom_up\": %s, \"fields\": %s, "
            "\"file_prefix\": %d, \"frame_prefix\": %u, \"frame_postfix\": %u, \"frame_bytes\": "
            "%" PRIu64 ", \"frames\": %" PRId64 ", \"rest_bytes\": %" PRId64 "}\n",
            JsonString(input.path).c_str(), s.fileSize, file.Width(), file.Height(),
            JsonString(LayoutText(f.code)).c_str(), f.lineBytes, bottomUp ? "true" : "false",
            JsonString(FieldText(f)).c_str(), s.filePrefix, s.framePrefix, s.framePostfix,
            frameBytes, file.FrameCount(), s.trailingBytes);
        return kExitOk;
    }
    std::printf("file: %s\n", input.path.c_str());
    std::printf("file bytes: %" PRIu64 "\n", s.fileSize);
    std::printf("size: %dx%d\n", file.Width(), file.Height());
    std::printf("layout: %s (%s)\n", LayoutText(f.code).c_str(), Description(f.code).c_str());
    std::printf("line bytes: %d%s\n", f.lineBytes, bottomUp ? " (rows stored bottom-up)" : "");
    std::printf("fields: %s\n", FieldText(f));
    std::printf("file prefix: %d, frame prefix: %u, frame postfix: %u\n", s.filePrefix,
                s.framePrefix, s.framePostfix);
    std::printf("frame bytes: %" PRIu64 "\n", frameBytes);
    std::printf("frames: %" PRId64 "\n", file.FrameCount());
    std::printf("rest bytes: %" PRId64 "\n", s.trailingBytes);
    return kExitOk;
}

}  // namespace kavlotool
