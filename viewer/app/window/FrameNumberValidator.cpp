#include "app/window/FrameNumberValidator.h"

#include <algorithm>

void FrameNumberValidator::SetFrameCount(int64_t frameCount) {
    int digits = 0;
    for (int64_t n = frameCount; n > 0; n /= 10) ++digits;
    const int limit = std::max(digits, 1) + 1;
    if (limit == maxDigits_) return;
    maxDigits_ = limit;
    Q_EMIT changed();
}

QValidator::State FrameNumberValidator::validate(QString& input, int& /*pos*/) const {
    const qsizetype start = input.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (qsizetype i = start; i < input.size(); ++i)
        if (input[i] < QLatin1Char('0') || input[i] > QLatin1Char('9')) return Invalid;
    return input.size() - start <= maxDigits_ ? Acceptable : Invalid;
}
