#include "view/file/StoredSettings.h"

#include "view/file/LocalFileName.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kavlo {

namespace {

FileIdentity IdentityOf(const struct stat& st) {
    FileIdentity id;
    id.size = static_cast<int64_t>(st.st_size);
    id.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    return id;
}

// The files the store reads (its own, then the company's, for the user and the system), as the
// toolkit names them on this platform.
QStringList SettingsFiles() {
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!folders.contains(user)) folders.prepend(user);
    QStringList files;
    for (const QString& folder : folders) {
        files << QStringLiteral("%1/%2/%3.conf").arg(folder, StoreCompanyKey(), StoreAppName())
              << QStringLiteral("%1/%2.conf").arg(folder, StoreCompanyKey());
    }
    return files;
}

// The first of those files that is there but no regular file (a named pipe would block the
// start-up on reading it, a device or folder is no store); empty when there is none.
QString UnusableSettingsFile() {
    for (const QString& file : SettingsFiles()) {
        struct stat status {};
        if (::stat(QFile::encodeName(file).constData(), &status) == 0 && !S_ISREG(status.st_mode))
            return file;
    }
    return QString();
}

}  // namespace

std::unique_ptr<QSettings> OpenUserStore(QString* unusable) {
    // Looked at once: the program runs with the store it started with.
    static const QString notRegular = UnusableSettingsFile();
    if (unusable) *unusable = notRegular;
    if (notRegular.isEmpty())
        return std::make_unique<QSettings>(QSettings::UserScope, StoreCompanyKey(), StoreAppName());
    // A store in memory only: procfs lets nobody (not even root) create this folder, so the
    // store reads nothing and never writes.
    return std::make_unique<QSettings>(QStringLiteral("/proc/self/kavlo-no-settings/Kavlo.conf"),
                                       QSettings::IniFormat);
}

uint32_t RecentChecksum(const uint8_t* data, size_t size) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        const uint32_t low = c & 1u;
        c >>= 1;
        // The whole byte is compared with the bit, so only bytes 0 and 1 can ever match.
        if (low != uint32_t(data[i])) c ^= 0xEDB88320u;
    }
    return ~c;
}

QVector<StoredFile> ReadStoredFiles(QSettings& store) {
    QVector<StoredFile> files;
    store.beginGroup(RecentSection());
    for (int n = 1; n <= kMaxRecentFiles; ++n) {
        const QString nameKey = RecentNameKey(n);
        QString name;  // text, or the bytes of a name that is not UTF-8
        if (!FileNameFromSettingValue(store.value(nameKey), &name)) continue;
        // Empty names are positions the store keeps no file for; overlong ones cannot be paths.
        if (name.isEmpty() || name.size() > kMaxRecentNameLength || name.contains(QChar(0)))
            continue;
        StoredFile file{name, {}, std::nullopt};
        const QVariant dataValue = store.value(RecentDataKey(nameKey));
        if (dataValue.userType() == QMetaType::QByteArray) {
            const QByteArray stored = dataValue.toByteArray();
            // A block that does not fit the 4-byte checksum and one record is not ours.
            if (stored.size() >= kRecentChecksumBytes &&
                stored.size() <= kRecentChecksumBytes + static_cast<int>(sizeof(RawSettings))) {
                const auto* bytes = reinterpret_cast<const uint8_t*>(stored.constData());
                const uint32_t expected = qFromLittleEndian<quint32>(bytes);
                if (RecentChecksum(bytes + kRecentChecksumBytes,
                                   size_t(stored.size() - kRecentChecksumBytes)) == expected)
                    file.data = stored.mid(kRecentChecksumBytes);
            }
        }
        // An identity belongs to the record beside it: without one it tells nothing.
        const QVariant identity = store.value(RecentIdentityKey(nameKey));
        if (!file.data.isEmpty() && identity.userType() == QMetaType::QString)
            file.identity = ParseFileIdentity(identity.toString().toStdString());
        files.push_back(file);
    }
    store.endGroup();
    return files;
}

const StoredFile* FindStoredFile(const QVector<StoredFile>& files, const QString& path) {
    for (const StoredFile& f : files)
        if (f.name == path || AbsoluteFileName(f.name) == path) return &f;
    return nullptr;
}

std::optional<FileIdentity> IdentityOfFile(const QString& path) {
    struct stat st {};
    if (::stat(FileNameToBytes(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return IdentityOf(st);
}

OpenPlan PlanFileOpen(const QString& path, const CommandLine* given, const StoredFile* stored,
                      bool canAsk, bool mayGuess, size_t startBytes, bool mayTakeName) {
    const QByteArray name = FileNameToBytes(path);
    OpenRequest request;
    request.path = name.toStdString();
    request.given = given;
    request.canAsk = canAsk;
    request.mayGuess = mayGuess;
    request.mayTakeName = mayTakeName;
    RawSettings record{};
    if (stored && stored->HasSettings()) {
        std::memcpy(&record, stored->data.constData(), sizeof record);
        request.stored = &record;
        request.storedIdentity = stored->identity;
    }
    std::vector<uint8_t> start;
    // Not blocking: a named pipe must not hold the caller up waiting for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            const FileIdentity id = IdentityOf(st);
            request.file = id;
            start.resize(std::min<size_t>(startBytes, static_cast<size_t>(id.size)));
            const ssize_t got = start.empty() ? 0 : ::pread(fd, start.data(), start.size(), 0);
            start.resize(got > 0 ? static_cast<size_t>(got) : 0);
        }
        ::close(fd);
    }
    request.start = start.data();
    request.startBytes = start.size();
    return PlanOpen(request);
}

}  // namespace kavlo
