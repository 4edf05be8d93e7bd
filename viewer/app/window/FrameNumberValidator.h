// The input rule of the main window's frame number field: an optional minus sign and decimal
// digits, no more digits than the open file's frame numbers need plus one. Typing past the limit
// is refused; text already in the field is never cut short.
#pragma once

#include <QValidator>

#include <cstdint>

class FrameNumberValidator : public QValidator {
public:
    explicit FrameNumberValidator(QObject* parent = nullptr) : QValidator(parent) {}

    // Sets the limit for a file of `frameCount` frames: the digits of the count, at least one,
    // plus one, so that an overlong number still reads as past the end (the last frame).
    void SetFrameCount(int64_t frameCount);
    int MaxDigits() const { return maxDigits_; }

    State validate(QString& input, int& pos) const override;

private:
    int maxDigits_ = 2;
};
