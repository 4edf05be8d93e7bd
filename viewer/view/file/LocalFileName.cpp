#include "view/file/LocalFileName.h"

#include "TNFileName.h"
#include "TNStr.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QUrl>

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include <string>

namespace kavlo {

namespace {

const char16_t* Units(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}
size_t UnitCount(const QString& text) { return static_cast<size_t>(text.size()); }

bool Exists(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

// The one entry of `folder` whose name Qt decodes to `shown`; empty when none or several do.
QByteArray UniqueLossyMatch(const QByteArray& folder, const QString& shown) {
    DIR* dir = ::opendir(folder.isEmpty() ? "/" : folder.constData());
    if (!dir) return {};
    QByteArray match;
    int matches = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (QFile::decodeName(e->d_name) != shown) continue;
        match = e->d_name;
        ++matches;
    }
    ::closedir(dir);
    return matches == 1 ? match : QByteArray();
}

}  // namespace

QString FileNameFromBytes(const QByteArray& bytes) {
    const std::u16string text =
        tn_file_name::FromBytes(bytes.constData(), static_cast<size_t>(bytes.size()));
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray FileNameToBytes(const QString& name) {
    std::string bytes;
    if (!tn_file_name::ToBytes(Units(name), UnitCount(name), &bytes))
        return QFile::encodeName(name);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

_TNStr* FileNameToCoreString(const QString& name) {
    // Filled from the units directly: a detour through wchar_t would turn the escapes into
    // U+FFFD, since lone surrogates are no code points.
    static_assert(sizeof(TNChar) == sizeof(QChar), "both are UTF-16 units");
    return CTNStrCreateFromBuffer(reinterpret_cast<const TNChar*>(name.utf16()),
                                  static_cast<int>(name.size()));
}

QString ResolveLossyFileName(const QString& path) {
    if (!path.startsWith(QLatin1Char('/')) || !path.contains(QChar::ReplacementCharacter) ||
        Exists(FileNameToBytes(path)))
        return path;
    QByteArray resolved;  // empty for the root
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        QByteArray next = resolved + '/' + FileNameToBytes(part);
        if (part.contains(QChar::ReplacementCharacter) && !Exists(next)) {
            const QByteArray match = UniqueLossyMatch(resolved, part);
            if (match.isEmpty()) return path;
            next = resolved + '/' + match;
        }
        resolved = next;
    }
    return FileNameFromBytes(resolved);
}

QString FileNameFromUrl(const QUrl& url) {
    // A file on another host keeps the form toLocalFile gives it ("//host/path").
    if (!url.isLocalFile() || !url.host().isEmpty()) return url.toLocalFile();
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return bytes.isEmpty() ? url.toLocalFile() : FileNameFromBytes(bytes);
}

QVariant FileNameToSettingValue(const QString& name) {
    if (!tn_file_name::HasEscapes(Units(name), UnitCount(name))) return name;
    return FileNameToBytes(name);
}

bool FileNameFromSettingValue(const QVariant& value, QString* name) {
    if (value.userType() == QMetaType::QString) {
        *name = value.toString();
        return true;
    }
    if (value.userType() != QMetaType::QByteArray) return false;
    // Only the bytes of a name that is not UTF-8 are this form: any other byte value is none of
    // ours and stays ignored, as it always was.
    const QString decoded = FileNameFromBytes(value.toByteArray());
    if (!tn_file_name::HasEscapes(Units(decoded), UnitCount(decoded))) return false;
    *name = decoded;
    return true;
}

bool LocalFileSize(const QString& name, qint64* size) {
    struct stat st {};
    if (::stat(FileNameToBytes(name).constData(), &st) != 0) return false;
    *size = static_cast<qint64>(st.st_size);
    return true;
}

QString AbsoluteFileName(const QString& path) {
    if (path.isEmpty()) return path;
    if (path.startsWith(QLatin1Char('/'))) return QDir::cleanPath(path);
    std::string folder(4096, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        // No working folder to go by (it was removed, or is out of reach): the name as given.
        if (errno != ERANGE || folder.size() > (1u << 20)) return QDir::cleanPath(path);
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    return QDir::cleanPath(FileNameFromBytes(QByteArray::fromStdString(folder)) + QLatin1Char('/') +
                           path);
}

}  // namespace kavlo
