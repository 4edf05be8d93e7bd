#include "Y4mFile.h"

#include "RawSettingsRules.h"
#include "settings/Y4mHeader.h"

#include <string>

namespace kavlo {

namespace {

bool HasY4mExtension(const QString& path) {
    return path.endsWith(QStringLiteral(".y4m"), Qt::CaseInsensitive);
}

}  // namespace

bool ReadY4mSettings(const QString& path, RawSettings& settings, QString& error, QString& note) {
    error.clear();
    note.clear();
    // The header and the first frame line, each at most kMaxLineBytes.
    const rawsettings::FileStart start =
        rawsettings::ReadFileStart(path, 0, 2 * y4m::kMaxLineBytes);
    const bool magic = y4m::HasMagic(start.sample.data(), start.sample.size());
    if (!magic && !HasY4mExtension(path)) return false;
    if (!start.usable) return false;  // the caller's own checks say why
    std::string why, remark;
    if (!y4m::ReadSettings(start.sample.data(), start.sample.size(), settings, why, remark)) {
        error = QString::fromStdString(why);
        return false;
    }
    note = QString::fromStdString(remark);
    return true;
}

}  // namespace kavlo
