// Opening a YUV4MPEG2 (.y4m) file without typing: its settings record from its header.
#pragma once

#include "settings/RawSettings.h"

#include <QString>

namespace kavlo {

// The settings record of a YUV4MPEG2 file, one by its extension (.y4m, any case) or by the
// signature "YUV4MPEG2 " at its start (y4m::ReadSettings on its first bytes). True with
// `settings` and a `note` on what is shown differently from the header; false with `error` set
// when the file is one (by extension or signature) but cannot be read so; false with `error`
// empty when the file is no YUV4MPEG2 file at all.
bool ReadY4mSettings(const QString& path, RawSettings& settings, QString& error, QString& note);

}  // namespace kavlo
