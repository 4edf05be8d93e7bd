#include "app/open/RecentFileList.h"

#include "app/open/FileCheck.h"
#include "app/common/Platform.h"
#include "view/file/LocalFileName.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QtEndian>

namespace {

// Every stored data block starts with the little-endian checksum of the record that follows.
constexpr int kChecksumSize = kavlo::kRecentChecksumBytes;

// The file name split the way the menu texts need it. Linux paths have no drive.
struct SplitName {
    QString drive;      // empty on Linux
    QString directory;  // with its trailing separator
    QString fileName;   // name and extension
};

SplitName Split(const QString& path) {
    SplitName s;
    const int slash = int(path.lastIndexOf(QLatin1Char('/')));
    s.directory = path.left(slash + 1);
    s.fileName = path.mid(slash + 1);
    return s;
}

QString WithTrailingSeparator(QString dir) {
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

// Whether two names lead to the same file: a relative name (as older lists stored them) counts
// as the file it names from the working folder.
bool SameFile(const QString& a, const QString& b) {
    return kavlo::SameFileName(a, b) ||
           kavlo::SameFileName(kavlo::AbsoluteFileName(a), kavlo::AbsoluteFileName(b));
}

// An ampersand in a file name is shown as itself, not taken as a mnemonic.
QString MenuEscaped(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

}  // namespace

CMyRecentFileList::CMyRecentFileList() = default;
CMyRecentFileList::~CMyRecentFileList() = default;

uint32_t CMyRecentFileList::Checksum(const uint8_t* data, size_t size) {
    return kavlo::RecentChecksum(data, size);
}

void CMyRecentFileList::Add(const RecentFileEntry& entry) {
    Add(entry.name, uint32_t(entry.data.size()), entry.data.constData());
    SetIdentity(entry.name, entry.identity);
}

void CMyRecentFileList::Add(const QString& name, uint32_t size, const void* data) {
    const QByteArray copy =
        (data && size) ? QByteArray(static_cast<const char*>(data), qsizetype(size)) : QByteArray();
    if (entries_.isEmpty()) {
        entries_.push_back({name, copy, std::nullopt});
        return;
    }
    const int found = Find(name);
    if (found >= 0) {
        // Later duplicates of the name go; the first one found is the one that moves.
        for (int i = GetSize() - 1; i > found; --i)
            if (SameFile(entries_[i].name, name)) entries_.remove(i);
        // The entry takes the name as given now, so a relative name stored earlier becomes the
        // absolute one the viewer opens by.
        entries_.remove(found);
        entries_.insert(0, {name, copy, std::nullopt});
        return;
    }
    if (GetSize() >= kMaxEntries) entries_.resize(kMaxEntries - 1);
    entries_.insert(0, {name, copy, std::nullopt});
}

void CMyRecentFileList::Update(const QString& name, uint32_t size, const void* data) {
    if (entries_.isEmpty()) return;
    const int found = Find(name);
    if (found < 0) return;
    entries_[found].name = name;
    entries_[found].data =
        (data && size) ? QByteArray(static_cast<const char*>(data), qsizetype(size)) : QByteArray();
}

void CMyRecentFileList::SetIdentity(const QString& name,
                                    std::optional<kavlo::FileIdentity> identity) {
    const int found = Find(name);
    if (found >= 0) entries_[found].identity = identity;
}

void CMyRecentFileList::Remove(int index) {
    if (index < 0 || index >= GetSize()) return;
    entries_.remove(index);
}

int CMyRecentFileList::Find(const QString& name) const {
    for (int i = 0; i < GetSize(); ++i)
        if (SameFile(entries_[i].name, name)) return i;
    return -1;
}

void CMyRecentFileList::ReadList() {
    auto store = kavlo::OpenUserSettings();
    ReadList(*store);
}

void CMyRecentFileList::WriteList() {
    auto store = kavlo::OpenUserSettings();
    WriteList(*store);
    store->sync();
}

void CMyRecentFileList::ReadList(QSettings& store) {
    if (!store.childGroups().contains(Section())) return;
    entries_.clear();
    for (const kavlo::StoredFile& f : kavlo::ReadStoredFiles(store))
        entries_.push_back({f.name, f.data, f.identity});
}

void CMyRecentFileList::WriteList(QSettings& store) const {
    store.beginGroup(Section());
    // The section holds the list and nothing else: everything from before goes, so that removed
    // files do not come back next time and no leftover entries (however many a store collected)
    // are read again at every start.
    store.remove(QString());
    for (int i = 0; i < GetSize(); ++i) {
        const QString nameKey = NameKey(i + 1);
        const RecentFileEntry& e = entries_[i];
        store.setValue(nameKey, kavlo::FileNameToSettingValue(e.name));
        if (!e.data.isEmpty()) {
            QByteArray block(kChecksumSize, '\0');
            qToLittleEndian<quint32>(Checksum(reinterpret_cast<const uint8_t*>(e.data.constData()),
                                              size_t(e.data.size())),
                                     block.data());
            block += e.data;
            store.setValue(DataKey(nameKey), block);
            if (e.identity)
                store.setValue(kavlo::RecentIdentityKey(nameKey),
                               QString::fromStdString(kavlo::FileIdentityText(*e.identity)));
        }
    }
    store.endGroup();
}

void CMyRecentFileList::UpdateMenu(QMenu* submenu) {
    if (!submenu) return;
    QList<QAction*> actions = submenu->actions();
    int position = -1;
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->data().toInt() == kFirstCommand) {
            position = i;
            break;
        }
    }
    if (position < 0) return;
    // Up to 15 items go, and only items of the list itself.
    for (int i = 0; i < kMaxEntries && position < actions.size(); ++i) {
        const int command = actions[position]->data().toInt();
        if (command < kFirstCommand || command >= kFirstCommand + kMaxEntries) break;
        QAction* a = actions.takeAt(position);
        submenu->removeAction(a);
        // The item may be the one whose command is running right now.
        a->deleteLater();
    }
    QAction* before = position < actions.size() ? actions[position] : nullptr;
    if (entries_.isEmpty()) {
        // One disabled item keeps the submenu's place for the next rebuild.
        auto* a = new QAction(EmptyListText(), submenu);
        a->setData(kFirstCommand);
        a->setEnabled(false);
        submenu->insertAction(before, a);
        return;
    }
    for (int i = 0; i < GetSize(); ++i) {
        QString display;
        GetDisplayName(display, i, nullptr, true);
        auto* a =
            new QAction(QStringLiteral("%1 %2").arg(i + 1).arg(MenuEscaped(display)), submenu);
        a->setData(kFirstCommand + i);
        a->setEnabled(true);
        submenu->insertAction(before, a);
    }
}

bool CMyRecentFileList::GetDisplayName(QString& text, int index, const QString* currentDirectory,
                                       bool atLeastName) const {
    if (index < 0 || index >= GetSize()) return false;
    const QString& path = entries_[index].name;
    const SplitName s = Split(path);
    const QString shortName =
        (s.fileName.size() <= kMaxDisplayLength || atLeastName) ? s.fileName : QString();
    if (currentDirectory) {
        const QString current = WithTrailingSeparator(QDir(*currentDirectory).absolutePath());
        if (kavlo::SameFileName(s.drive + s.directory, current)) {
            text = shortName;
            return true;
        }
    }
    if (path.size() <= kMaxDisplayLength) {
        text = path;
        return true;
    }
    const QString prefix = s.drive + QStringLiteral("/...");
    const QString rest = path.mid(s.drive.size());
    // The earliest separator whose tail still fits gives the longest tail.
    for (int i = 0; i < rest.size(); ++i) {
        if (rest[i] != QLatin1Char('/')) continue;
        if (prefix.size() + (rest.size() - i) <= kMaxDisplayLength) {
            text = prefix + rest.mid(i);
            return true;
        }
    }
    text = atLeastName ? s.fileName : QString();
    return true;
}
