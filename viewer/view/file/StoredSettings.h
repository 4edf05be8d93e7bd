// The settings the viewer stored for the files it opened (the "Recent Files" section of the
// per-user store), read without the application shell, and the facts about a file that the open
// plan decides on. The shell's recent-file list reads and writes the section through these
// names; kavlo-tool only reads it.
#pragma once

#include "settings/CommandLine.h"
#include "settings/OpenPlan.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class QSettings;

namespace kavlo {

// The program's identity in the per-user store.
inline QString StoreCompanyKey() { return QStringLiteral("Brellin GmbH"); }
inline QString StoreAppName() { return QStringLiteral("Kavlo"); }
// The per-user store of the program. When a file the store would read is there but is no
// regular file (a named pipe would block every start on reading it), a store in memory only that
// reads nothing and writes nothing instead, and `unusable` (may be null) receives that file's name.
std::unique_ptr<QSettings> OpenUserStore(QString* unusable = nullptr);

// The recent-file section: "File%d" holds the name, "File%d Data" the checksum and the 208-byte
// record, "File%d Identity" the file's identity when the record was stored (FileIdentityText;
// lists written before it existed have none).
inline QString RecentSection() { return QStringLiteral("Recent Files"); }
inline QString RecentNameKey(int n) { return QStringLiteral("File%1").arg(n); }
inline QString RecentDataKey(const QString& nameKey) {
    return QStringLiteral("%1 Data").arg(nameKey);
}
inline QString RecentIdentityKey(const QString& nameKey) {
    return QStringLiteral("%1 Identity").arg(nameKey);
}
constexpr int kMaxRecentFiles = 15;
constexpr int kRecentChecksumBytes = 4;
// The longest name read back, one less than the platform's path limit.
constexpr int kMaxRecentNameLength = 4095;
// The checksum stored in front of every data block.
uint32_t RecentChecksum(const uint8_t* data, size_t size);

struct StoredFile {
    QString name;     // as stored (older lists may hold relative names)
    QByteArray data;  // the record; empty when the entry has none
    std::optional<FileIdentity> identity;
    // Whether the entry holds a whole settings record.
    bool HasSettings() const { return data.size() == static_cast<int>(sizeof(RawSettings)); }
};

// The entries of the section in their order; names that are empty, overlong or unreadable are
// skipped, data whose checksum does not match is dropped.
QVector<StoredFile> ReadStoredFiles(QSettings& store);
// The entry of an absolute file name: stored as it is, or a relative name that leads to it from
// the working folder. Null when none does.
const StoredFile* FindStoredFile(const QVector<StoredFile>& files, const QString& path);

// The identity of a file now; nothing when it cannot be examined.
std::optional<FileIdentity> IdentityOfFile(const QString& path);

// The plan for opening `path` (absolute): examines the file and reads its first `startBytes`
// bytes (at least the YUV4MPEG2 header and frame line), then decides with the command line's
// settings (may be null) and the stored entry (may be null). `mayTakeName`: see OpenRequest.
OpenPlan PlanFileOpen(const QString& path, const CommandLine* given, const StoredFile* stored,
                      bool canAsk, bool mayGuess, size_t startBytes = 8192,
                      bool mayTakeName = false);

}  // namespace kavlo
