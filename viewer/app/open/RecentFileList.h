// The most recently opened raw files, each with the settings record it was last opened with,
// kept in the per-user settings store and shown in the File menu's "Recent Files" submenu.
#pragma once

#include "app/common/Commands.h"
#include "settings/OpenPlan.h"
#include "settings/RawSettings.h"
#include "view/file/StoredSettings.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

class QMenu;
class QSettings;

struct RecentFileEntry {
    QString name;     // absolute path as it was opened (older lists may hold relative ones)
    QByteArray data;  // the entry's settings record; empty when it has none
    // The file as it was when the record was stored; nothing for entries of older lists.
    std::optional<kavlo::FileIdentity> identity;
};

class CMyRecentFileList {
public:
    static constexpr int kMaxEntries = kavlo::kMaxRecentFiles;
    static constexpr int kFirstCommand = CmdRecentFirst;
    static_assert(kFirstCommand + kMaxEntries - 1 <= CmdRecentLast, "a command for every entry");
    // The largest data block an entry keeps: one settings record.
    static constexpr int kDataSize = static_cast<int>(sizeof(RawSettings));
    static constexpr int kMaxDisplayLength = 45;
    static constexpr int kMaxNameLength = kavlo::kMaxRecentNameLength;

    CMyRecentFileList();
    virtual ~CMyRecentFileList();

    CMyRecentFileList(const CMyRecentFileList&) = delete;
    CMyRecentFileList& operator=(const CMyRecentFileList&) = delete;

    virtual void Add(const RecentFileEntry& entry);
    virtual void Add(const QString& name, uint32_t size, const void* data);
    virtual void Update(const QString& name, uint32_t size, const void* data);
    virtual void Remove(int index);
    // Notes the file's identity beside the record of its entry (Add forgets it; Update, which
    // changes the record of the same file, keeps it), so that a later open can tell whether the
    // record was stored for the file there now.
    void SetIdentity(const QString& name, std::optional<kavlo::FileIdentity> identity);
    // The entry of a file: names are compared as given and in their absolute form, so a
    // relative entry is found while it leads to the same file from the working folder.
    virtual int Find(const QString& name) const;
    virtual void ReadList();
    virtual void WriteList();
    // Rebuilds the submenu that holds the item with command kFirstCommand.
    virtual void UpdateMenu(QMenu* submenu);
    virtual bool GetDisplayName(QString& text, int index, const QString* currentDirectory,
                                bool atLeastName) const;

    // The store-facing halves, also used by tests with a store of their own.
    void ReadList(QSettings& store);
    void WriteList(QSettings& store) const;

    int GetSize() const { return int(entries_.size()); }
    // Whether entry `index` holds a whole settings record to open it with.
    bool HasSettings(int index) const { return entries_[index].data.size() == kDataSize; }
    const RecentFileEntry& operator[](int index) const { return entries_[index]; }

    // Checksum stored in front of every data block.
    static uint32_t Checksum(const uint8_t* data, size_t size);

    static QString Section() { return kavlo::RecentSection(); }
    static QString NameKey(int n) { return kavlo::RecentNameKey(n); }
    static QString DataKey(const QString& nameKey) { return kavlo::RecentDataKey(nameKey); }
    // Text of the single disabled item that stands in the submenu while the list is empty.
    static QString EmptyListText() { return QStringLiteral("(Empty)"); }

private:
    QVector<RecentFileEntry> entries_;
};
