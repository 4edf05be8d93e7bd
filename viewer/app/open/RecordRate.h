// The frame rate a settings record stores: seconds per frame = frameDuration / timeScale, and a
// record with either of them 0 has no rate of its own (playback then shows 25 frames per
// second). Read, written and typed here for the settings dialog and playback.
#pragma once

#include "settings/RawSettings.h"

#include <QString>

#include <optional>

namespace kavlo {

constexpr double kMinFrameRate = 0.1;
constexpr double kMaxFrameRate = 1000.0;
constexpr double kUnsetFrameRate = 25.0;  // shown and played when the record has no rate

// The record's rate in frames per second; 0 when it has none.
double StoredFrameRate(const RawSettings& record);
// Writes `fps` (kMinFrameRate .. kMaxFrameRate) into the record as a fraction: whole rates as
// 1/N, the NTSC family (23.976, 29.97, 59.94, ...) as 1001/(N x 1000), any other to a
// thousandth of a frame per second. 0 clears the rate (both fields 0). False, with the record
// unchanged, for a rate outside the range.
bool StoreFrameRate(RawSettings& record, double fps);
// The rate as the settings dialog shows it ("25", "29.97"); empty when the record has none.
QString FrameRateText(const RawSettings& record);
// A typed rate: empty text is 0 (no rate of the file's own); else a number from kMinFrameRate
// to kMaxFrameRate. Nothing, with `reason` saying why, for anything else.
std::optional<double> ParseFrameRate(const QString& text, QString& reason);

}  // namespace kavlo
