#include "app/open/RawSettingsRules.h"

#include "image/FrameMemory.h"
#include "settings/FrameSizeGuess.h"
#include "settings/FrameSpan.h"
#include "view/file/LocalFileName.h"

#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace rawsettings {

namespace {

constexpr SizePreset kPresets[kPresetCount] = {
    {"Custom", 0, 0},
    {"7680x4320 (8K UHD)", 7680, 4320},
    {"4096\xC3\x97"
     "3112 (Full Aperture 4K)",
     4096, 3112},
    {"4096x2160 (DCI 4K)", 4096, 2160},
    {"3840x2160 (UHD)", 3840, 2160},
    {"3656\xC3\x97"
     "2664 (Academy 4K)",
     3656, 2664},
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

// Down to a multiple of `multiple` (towards minus infinity).
int64_t RoundDown(int64_t value, int64_t multiple) {
    return value >= 0 ? value - value % multiple : -((-value + multiple - 1) / multiple) * multiple;
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

namespace {

RawSettings GuessWith(int64_t fileSize, const GuessConstraints& constraints, const uint8_t* sample,
                      size_t sampleBytes, PreferencesUsed* used) {
    RawSettings r;
    std::memset(&r, 0, sizeof r);
    r.size = kRawSettingsSize;
    r.frameDuration = 1;
    r.timeScale = 25;
    int32_t width = 0, height = 0;
    uint32_t code = 0;
    const std::vector<FrameSizeGuess> readings =
        RankFrameSizeGuesses(fileSize, constraints, sample, sampleBytes, used);
    if (!readings.empty()) {
        width = readings.front().width;
        height = readings.front().height;
        code = readings.front().code;
    } else if (fileSize >= 256) {
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
        // Only reached for files below 10800 bytes, so both values fit 32 bits; a one-byte file
        // is one pixel rather than no frame at all.
        code = kLayoutGRAY;
        width = std::max(static_cast<int32_t>(fileSize / 2), 1);
        height = std::max(static_cast<int32_t>(fileSize - width), 1);
    }
    BuildRawVideoFormat(r.rawFormat, width, height, code, 0, -1);
    return r;
}

QString SizeText(int32_t width, int32_t height) {
    return QStringLiteral("%1\u00D7%2").arg(width).arg(height);
}

QString RateText(uint32_t numerator, uint32_t denominator) {
    const double rate = static_cast<double>(numerator) / static_cast<double>(denominator);
    return QStringLiteral("%1 fps").arg(rate, 0, 'g', 6);
}

}  // namespace

RawSettings GuessSettings(int64_t fileSize, const uint8_t* sample, size_t sampleBytes) {
    return GuessWith(fileSize, {}, sample, sampleBytes, nullptr);
}

namespace {

// A padded buffer: when the name's frame size does not divide the file at any layout's own
// pitch, a padded line pitch at which it does and whose rows line up as a picture's is taken
// (in a packed layout the name gives, else a common one), and said in the note; the dialog shows
// it in its Pitch field. For the reading taken otherwise, a better pitch is only proposed.
QString PitchProposal(int64_t fileSize, const FileNameHints& hints, const PreferencesUsed& used,
                      const uint8_t* sample, size_t sampleBytes, RawSettings& r) {
    if (!sample || sampleBytes == 0) return QString();
    if (hints.HasSize() && !used.size) {
        static constexpr uint32_t kCommonPacked[] = {kLayoutGRAY, kLayoutYUYV, kLayoutUYVY,
                                                     kLayoutBGR3, kLayoutBGRA, kLayoutGRAYLE16};
        std::vector<uint32_t> codes = hints.codes;
        if (codes.empty()) codes.assign(std::begin(kCommonPacked), std::end(kCommonPacked));
        for (const uint32_t code : codes) {
            const int32_t pitch = rawsettings::ProposeLinePitch(
                sample, sampleBytes, code, hints.width, hints.height, fileSize);
            RawSettings padded = r;
            if (pitch == 0 || !BuildRawVideoFormat(padded.rawFormat, hints.width, hints.height,
                                                   code, pitch, -1)) {
                continue;
            }
            r = padded;
            return QStringLiteral(
                       "Line pitch %1 bytes: the rows of %2 %3 line up at it and the "
                       "file holds whole frames.")
                .arg(pitch)
                .arg(SizeText(hints.width, hints.height), QString::fromStdString(LayoutName(code)));
        }
        return QString();
    }
    if (GivenPitch(r) != 0) return QString();
    const int32_t pitch = rawsettings::ProposeLinePitch(
        sample, sampleBytes, r.rawFormat.code, r.rawFormat.width, r.rawFormat.height, fileSize);
    if (pitch == 0) return QString();
    return QStringLiteral(
               "The rows line up better at a line pitch of %1 bytes: enter it under "
               "Pitch if the file is a padded buffer.")
        .arg(pitch);
}

}  // namespace

RawSettings GuessSettingsWithName(int64_t fileSize, const FileNameHints& hints,
                                  const uint8_t* sample, size_t sampleBytes, QString* note) {
    GuessConstraints constraints;
    constraints.preferredWidth = hints.width;
    constraints.preferredHeight = hints.height;
    constraints.preferredCodes = hints.codes;
    PreferencesUsed used;
    RawSettings r = GuessWith(fileSize, constraints, sample, sampleBytes, &used);
    // Seconds per frame = frameDuration / timeScale: 25 fps is 1/25, 29.97 fps 1001/30000.
    if (hints.HasRate()) {
        r.frameDuration = hints.rateDenominator;
        r.timeScale = hints.rateNumerator;
    }
    if (hints.interlaced.value_or(false))
        BuildRawVideoFormat(r.rawFormat, r.rawFormat.width, r.rawFormat.height, 0, 0, 9);
    if (!note) return r;
    note->clear();
    QStringList taken, refused;
    if (hints.HasSize()) {
        if (used.size)
            taken << SizeText(hints.width, hints.height);
        else {
            refused << QStringLiteral(
                           "%1 (no layout divides the file into whole frames of that "
                           "size)")
                           .arg(SizeText(hints.width, hints.height));
        }
    }
    if (!hints.codes.empty()) {
        const QString layout = QString::fromStdString(hints.layoutText);
        if (used.codes)
            taken << layout;
        else
            refused << QStringLiteral("%1 (no such frame fits the file)").arg(layout);
    }
    if (hints.HasRate()) taken << RateText(hints.rateNumerator, hints.rateDenominator);
    if (hints.interlaced)
        taken << (*hints.interlaced ? QStringLiteral("interlaced") : QStringLiteral("progressive"));
    if (!taken.isEmpty())
        *note = QStringLiteral("From the file name: %1.").arg(taken.join(QStringLiteral(", ")));
    if (!refused.isEmpty()) {
        if (!note->isEmpty()) *note += QLatin1Char(' ');
        *note +=
            QStringLiteral("Not used from the name: %1.").arg(refused.join(QStringLiteral("; ")));
    }
    const QString pitchNote = PitchProposal(fileSize, hints, used, sample, sampleBytes, r);
    if (!pitchNote.isEmpty()) {
        if (!note->isEmpty()) *note += QLatin1Char(' ');
        *note += pitchNote;
    }
    return r;
}

FileStart ReadFileStart(const QString& path, int64_t offset, size_t sampleBytes) {
    FileStart start;
    // Not blocking: a named pipe must not hold the window up waiting for a writer.
    const int fd =
        ::open(kavlo::FileNameToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return start;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        start.usable = true;
        start.size = static_cast<int64_t>(st.st_size);
        if (offset >= 0 && offset < start.size && sampleBytes > 0) {
            const auto want = static_cast<size_t>(
                std::min<uint64_t>(sampleBytes, static_cast<uint64_t>(start.size - offset)));
            start.sample.resize(want);
            const ssize_t got = ::pread(fd, start.sample.data(), want, static_cast<off_t>(offset));
            start.sample.resize(got > 0 ? static_cast<size_t>(got) : 0);
        }
    }
    ::close(fd);
    return start;
}

int64_t WholeFrames(int64_t fileSize, int64_t filePrefix, int64_t frameBytes, int64_t framePostfix,
                    int64_t framePrefix) {
    FrameSpan span;
    span.filePrefix = filePrefix;
    span.framePrefix = framePrefix;
    span.frameBytes = frameBytes;
    span.framePostfix = framePostfix;
    return span.WholeFrames(fileSize);
}

int32_t LimitWidth(const RawSettings& record, int64_t value) {
    const int64_t multiple = Multiple(record.rawFormat.widthMultiple);
    const int64_t w = RoundDown(value, multiple);
    return static_cast<int32_t>(std::clamp<int64_t>(w, multiple, RoundDown(kMaxSize, multiple)));
}

int32_t LimitHeight(const RawSettings& record, int64_t value) {
    const int64_t h = RoundDown(value, Multiple(record.rawFormat.heightMultiple));
    return static_cast<int32_t>(std::clamp<int64_t>(h, kMinSize, kMaxSize));
}

int64_t LimitByteCount(ByteCount which, int64_t value) {
    return std::clamp<int64_t>(value, 0,
                               which == ByteCount::FilePrefix ? kMaxFilePrefix : kMaxFramePrefix);
}

int32_t ValidateWidth(const RawSettings& record, int64_t value) {
    const RawVideoFormat& f = record.rawFormat;
    const int32_t w = LimitWidth(record, value);
    RawVideoFormat scratch = f;
    if (!BuildRawVideoFormat(scratch, w, f.height, f.code, 0, -1)) return f.width;
    if (WholeFrames(int64_t(record.fileSize), record.filePrefix, AbsFrameBytes(scratch),
                    record.framePostfix, record.framePrefix) < 1)
        return f.width;
    return w;
}

int32_t ValidateHeight(const RawSettings& record, int64_t value) {
    const RawVideoFormat& f = record.rawFormat;
    const int32_t h = LimitHeight(record, value);
    const int64_t frameBytes = std::llabs(int64_t(f.lineBytes)) * h;
    if (WholeFrames(int64_t(record.fileSize), record.filePrefix, frameBytes, record.framePostfix,
                    record.framePrefix) < 1)
        return f.height;
    return h;
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
    case ByteCount::FilePrefix: record.filePrefix = static_cast<int32_t>(value); break;
    case ByteCount::FramePrefix: record.framePrefix = static_cast<uint32_t>(value); break;
    case ByteCount::FramePostfix: record.framePostfix = static_cast<uint32_t>(value); break;
    }
}

int64_t ValidateByteCount(const RawSettings& record, ByteCount which, int64_t value) {
    const int64_t v = LimitByteCount(which, value);
    RawSettings trial = record;
    SetByteCount(trial, which, v);
    if (WholeFrames(int64_t(trial.fileSize), trial.filePrefix, AbsFrameBytes(trial.rawFormat),
                    trial.framePostfix, trial.framePrefix) < 1)
        return CurrentByteCount(record, which);
    return v;
}

QString GroupedNumber(int64_t value) {
    QString digits = QString::number(value);
    const int first = value < 0 ? 1 : 0;
    for (int at = static_cast<int>(digits.size()) - 3; at > first; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}

QString FitProblem(const RawSettings& record, int64_t fileSize) {
    const RawVideoFormat& f = record.rawFormat;
    const int64_t frameBytes = AbsFrameBytes(f);
    const int64_t extra = int64_t(record.framePrefix) + int64_t(record.framePostfix);
    if (frameBytes > 0 && WholeFrames(fileSize, record.filePrefix, frameBytes, record.framePostfix,
                                      record.framePrefix) >= 1)
        return QString();
    const QString frame = QStringLiteral("%1\u00D7%2 %3")
                              .arg(f.width)
                              .arg(f.height)
                              .arg(QString::fromStdString(LayoutName(f.code)));
    if (frameBytes <= 0) return QStringLiteral("a %1 frame has no bytes to read").arg(frame);
    QString text =
        QStringLiteral("one %1 frame needs %2 bytes").arg(frame, GroupedNumber(frameBytes + extra));
    if (extra > 0) text += QStringLiteral(" with its frame prefix and postfix");
    const int64_t rest = fileSize - record.filePrefix;
    if (record.filePrefix == 0)
        text += QStringLiteral("; the file has %1").arg(GroupedNumber(fileSize));
    else if (rest > 0) {
        text += QStringLiteral("; the file has %1 after its file prefix of %2")
                    .arg(GroupedNumber(rest), GroupedNumber(record.filePrefix));
    } else {
        text += QStringLiteral("; the file prefix of %1 leaves nothing of the file's %2")
                    .arg(GroupedNumber(record.filePrefix), GroupedNumber(fileSize));
    }
    return text;
}

bool RebuildFormat(RawSettings& candidate, int32_t pitch) {
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
    bool built = BuildRawVideoFormat(f, f.width, f.height, 0, 0, -1);
    if (!built) {
        const int32_t wm = int32_t(Multiple(f.widthMultiple));
        const int32_t hm = int32_t(Multiple(f.heightMultiple));
        const int32_t w = f.width - f.width % wm;
        const int32_t h = f.height - f.height % hm;
        built = BuildRawVideoFormat(f, w, h, 0, 0, -1);
    }
    if (!built || pitch == 0) return built;
    if (!PitchProblem(candidate, pitch).isEmpty()) return false;
    f.lineBytes = pitch;
    return true;
}

int32_t GivenPitch(const RawSettings& record) {
    const RawVideoFormat& f = record.rawFormat;
    RawVideoFormat own = f;
    if (!BuildRawVideoFormat(own, f.width, f.height, f.code, 0, -1)) return 0;
    return f.lineBytes == own.lineBytes ? 0 : f.lineBytes;
}

QString PitchProblem(const RawSettings& record, int32_t pitch) {
    if (pitch == 0) return QString();
    const RawVideoFormat& f = record.rawFormat;
    if (pitch == INT32_MIN || LineBytesFitLayout(f.code, f.width, f.height, pitch))
        return pitch == INT32_MIN ? QStringLiteral("a line pitch of %1 has no size").arg(pitch)
                                  : QString();
    return QStringLiteral("a %1\u00D7%2 %3 frame needs a line pitch of at least %4 bytes")
        .arg(f.width)
        .arg(f.height)
        .arg(QString::fromStdString(LayoutName(f.code)))
        .arg(GroupedNumber(static_cast<int64_t>(MinLineBytes(f.code, f.width, f.height))));
}

int64_t ReadDecimal(const QString& text, int64_t limit) {
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t') ||
                     text[i] == QLatin1Char('\n') || text[i] == QLatin1Char('\r') ||
                     text[i] == QLatin1Char('\v') || text[i] == QLatin1Char('\f')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');
    int64_t value = 0;
    for (; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        const int64_t digit = text[i].unicode() - '0';
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return negative ? -value : value;
}

std::optional<int64_t> ParseWholeNumber(const QString& text, int64_t limit) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    const bool negative = !t.isEmpty() && t[0] == QLatin1Char('-');
    if (!t.isEmpty() && (t[0] == QLatin1Char('+') || negative)) ++i;
    if (i == t.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < QLatin1Char('0') || t[i] > QLatin1Char('9')) return std::nullopt;
        const int64_t digit = t[i].unicode() - '0';
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace rawsettings
