#include "app/open/RecordRate.h"

#include <QLocale>

#include <cmath>
#include <cstdint>
#include <numeric>

namespace kavlo {

double StoredFrameRate(const RawSettings& record) {
    if (record.frameDuration == 0 || record.timeScale == 0) return 0.0;
    return static_cast<double>(record.timeScale) / static_cast<double>(record.frameDuration);
}

bool StoreFrameRate(RawSettings& record, double fps) {
    if (fps == 0.0) {
        record.frameDuration = 0;
        record.timeScale = 0;
        return true;
    }
    if (!(fps >= kMinFrameRate && fps <= kMaxFrameRate)) return false;
    uint64_t duration = 1000;
    uint64_t scale = static_cast<uint64_t>(std::llround(fps * 1000.0));
    const double ntsc = fps * 1.001;
    if (std::fabs(fps - std::round(fps)) > 1e-9 && std::fabs(ntsc - std::round(ntsc)) < 5e-4) {
        duration = 1001;
        scale = static_cast<uint64_t>(std::llround(ntsc)) * 1000;
    }
    const uint64_t common = std::gcd(duration, scale);
    record.frameDuration = static_cast<uint32_t>(duration / common);
    record.timeScale = static_cast<uint32_t>(scale / common);
    return true;
}

QString FrameRateText(const RawSettings& record) {
    const double fps = StoredFrameRate(record);
    // To a thousandth, as rates are typed: 30000/1001 shows as 29.97, 24000/1001 as 23.976.
    return fps > 0.0 ? QString::number(std::round(fps * 1000.0) / 1000.0, 'g', 10) : QString();
}

std::optional<double> ParseFrameRate(const QString& text, QString& reason) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return 0.0;
    bool ok = false;
    const double fps = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(fps)) {
        reason = QStringLiteral("Frame rate: \"%1\" is not a number").arg(t);
        return std::nullopt;
    }
    if (!(fps >= kMinFrameRate && fps <= kMaxFrameRate)) {
        reason = QStringLiteral("Frame rate: %1 is not between %2 and %3 frames per second")
                     .arg(t)
                     .arg(kMinFrameRate)
                     .arg(kMaxFrameRate);
        return std::nullopt;
    }
    return fps;
}

}  // namespace kavlo
