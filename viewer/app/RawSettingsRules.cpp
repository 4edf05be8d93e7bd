#include "RawSettingsRules.h"

#include <QString>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace rawsettings {

namespace {

constexpr SizePreset kPresets[kPresetCount] = {
    {"Custom", 0, 0},
    {"4096\xC3\x97" "3112 (Full Aperture 4K)", 4096, 3112},
    {"3656\xC3\x97" "2664 (Academy 4K)", 3656, 2664},
    {"1920x1080 (HDTV)", 1920, 1080},
    {"1440x1080 (HDTV)", 1440, 1080},
    {"1408x1152 16CIF (625)", 1408, 1152},
    {"1408x960 16CIF (525)", 1408, 960},
    {"1280x720 (HDTV)", 1280, 720},
    {"1056x864 9CIF (625)", 1056, 864},
    {"1056x720 9CIF (525)", 1056, 720},
    {"960x720", 960, 720},
    {"720x576 D1 (625)", 720, 576},
    {"720x480 D1 (525)", 720, 480},
    {"704x576 4CIF (625)", 704, 576},
    {"704x480 4CIF (525)", 704, 480},
    {"640x480", 640, 480},
    {"352x288 CIF (625)", 352, 288},
    {"352x240 CIF (525)", 352, 240},
    {"176x144 QCIF (625)", 176, 144},
    {"176x120 QCIF (525)", 176, 120},
};

constexpr FieldArrangement kArrangements[kArrangementCount] = {
    {"Top Field First (Weave)", 9},
    {"Bottom Field First (Weave)", 14},
    {"Temporal Fields, Top First", 1},
    {"Temporal Fields, Bottom First", 6},
};

int64_t AbsFrameBytes(const RawVideoFormat& f) {
    return std::llabs(int64_t(f.lineBytes)) * std::llabs(int64_t(f.height));
}

}  // namespace

const SizePreset* SizePresets() { return kPresets; }
const FieldArrangement* FieldArrangements() { return kArrangements; }

int ArrangementForFieldDetail(int fieldDetail) {
    for (int i = 0; i < kArrangementCount; ++i)
        if (kArrangements[i].fieldDetail == fieldDetail) return i;
    return -1;
}

int PresetFor(int32_t width, int32_t height) {
    for (int i = 1; i < kPresetCount; ++i)
        if (kPresets[i].width == width && kPresets[i].height == height) return i;
    return 0;
}

uint32_t Multiple(uint32_t m) { return m == 0 ? 1u : m; }

RawSettings GuessSettings(int64_t fileSize) {
    RawSettings r;
    std::memset(&r, 0, sizeof r);
    r.size = kRawSettingsSize;
    r.frameDuration = 1;
    r.timeScale = 25;
    int32_t width = 0, height = 0;
    uint32_t code = 0;
    if (fileSize >= 256) {
        for (int32_t w = 720, h = 480; w >= 90; w /= 2, h /= 2) {
            if (2 * int64_t(w) * h <= fileSize) {
                width = w;
                height = h;
                code = kLayoutYUYV;
                break;
            }
        }
    }
    if (code == 0) {
        // Only reached for files below 10800 bytes, so both values fit 32 bits.
        code = kLayoutGRAY;
        width = int32_t(fileSize / 2);
        height = int32_t(fileSize - width);
    }
    BuildRawVideoFormat(r.rawFormat, width, height, code, 0, -1);
    return r;
}

int64_t WholeFrames(int64_t fileSize, int64_t filePrefix, int64_t frameBytes, int64_t framePostfix,
                    int64_t framePrefix) {
    const int64_t divisor = frameBytes + framePostfix + framePrefix;
    if (divisor <= 0) return 0;
    return (fileSize - filePrefix) / divisor;
}

int32_t ValidateWidth(const RawSettings& record, int64_t value) {
    const RawVideoFormat& f = record.rawFormat;
    const int64_t multiple = Multiple(f.widthMultiple);
    int64_t w = value >= 0 ? value - value % multiple : -((-value + multiple - 1) / multiple) * multiple;
    w = std::clamp<int64_t>(w, multiple, kMaxSize);
    RawVideoFormat scratch = f;
    if (!BuildRawVideoFormat(scratch, int32_t(w), f.height, f.code, 0, -1)) return f.width;
    if (WholeFrames(int64_t(record.fileSize), record.filePrefix, AbsFrameBytes(scratch), record.framePostfix,
                    record.framePrefix) < 1)
        return f.width;
    return int32_t(w);
}

int32_t ValidateHeight(const RawSettings& record, int64_t value) {
    const RawVideoFormat& f = record.rawFormat;
    const int64_t multiple = Multiple(f.heightMultiple);
    int64_t h = value >= 0 ? value - value % multiple : -((-value + multiple - 1) / multiple) * multiple;
    h = std::clamp<int64_t>(h, kMinSize, kMaxSize);
    const int64_t frameBytes = std::llabs(int64_t(f.lineBytes)) * h;
    if (WholeFrames(int64_t(record.fileSize), record.filePrefix, frameBytes, record.framePostfix,
                    record.framePrefix) < 1)
        return f.height;
    return int32_t(h);
}

int64_t CurrentByteCount(const RawSettings& record, ByteCount which) {
    switch (which) {
    case ByteCount::FilePrefix: return record.filePrefix;
    case ByteCount::FramePrefix: return record.framePrefix;
    case ByteCount::FramePostfix: return record.framePostfix;
    }
    return 0;
}

void SetByteCount(RawSettings& record, ByteCount which, int64_t value) {
    switch (which) {
    case ByteCount::FilePrefix: record.filePrefix = int32_t(value); break;
    case ByteCount::FramePrefix: record.framePrefix = uint32_t(value); break;
    case ByteCount::FramePostfix: record.framePostfix = uint32_t(value); break;
    }
}

int64_t ValidateByteCount(const RawSettings& record, ByteCount which, int64_t value) {
    const int64_t v = std::clamp<int64_t>(value, 0, kMaxByteCount);
    RawSettings trial = record;
    SetByteCount(trial, which, v);
    if (WholeFrames(int64_t(trial.fileSize), trial.filePrefix, AbsFrameBytes(trial.rawFormat), trial.framePostfix,
                    trial.framePrefix) < 1)
        return CurrentByteCount(record, which);
    return v;
}

bool RebuildFormat(RawSettings& candidate) {
    RawVideoFormat& f = candidate.rawFormat;
    f.aspectH = 0;
    f.aspectV = 0;
    f.cleanAperture[0] = 0;
    f.cleanAperture[1] = 0;
    f.colourSize = 0;
    f.colourPrimaries = 0;
    f.colourTransfer = 0;
    f.sampleRange = 0;
    f.reserved132 = 0;
    if (BuildRawVideoFormat(f, f.width, f.height, 0, 0, -1)) return true;
    const int32_t wm = int32_t(Multiple(f.widthMultiple));
    const int32_t hm = int32_t(Multiple(f.heightMultiple));
    const int32_t w = f.width - f.width % wm;
    const int32_t h = f.height - f.height % hm;
    return BuildRawVideoFormat(f, w, h, 0, 0, -1);
}

int64_t ReadDecimal(const QString& text, int64_t limit) {
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t') || text[i] == QLatin1Char('\n') ||
                     text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\v') || text[i] == QLatin1Char('\f')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) negative = text[i++] == QLatin1Char('-');
    int64_t value = 0;
    for (; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        const int64_t digit = text[i].unicode() - '0';
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace rawsettings
