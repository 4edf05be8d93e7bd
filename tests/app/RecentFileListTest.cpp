// The recent-file list: order of use, the stored form with its checksum, menu texts.
#include "app/open/RecentFileList.h"
#include "settings/RawSettings.h"
#include "ShellTestSupport.h"

#include <QAction>
#include <QMenu>
#include <QSettings>

#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray Record(char fill) { return QByteArray(CMyRecentFileList::kDataSize, fill); }

QStringList Names(const CMyRecentFileList& list) {
    QStringList names;
    for (int i = 0; i < list.GetSize(); ++i) names << list[i].name;
    return names;
}

void AddRecord(CMyRecentFileList& list, const QString& name, char fill) {
    const QByteArray r = Record(fill);
    list.Add(name, uint32_t(r.size()), r.constData());
}

class RecentFileListTest : public ::testing::Test {
protected:
    void SetUp() override { shelltest::ClearSettings(); }
};

struct ChecksumCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t expected;
};

TEST(RecentChecksum, KnownValues) {
    const ChecksumCase cases[] = {
        {"empty", {}, 0u},
        {"208 zero bytes", std::vector<uint8_t>(208, 0), 0xAFECBE32u},
        {"bytes 00 01", {0x00, 0x01}, 0xB6DC4190u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMyRecentFileList::Checksum(c.bytes.data(), c.bytes.size()), c.expected)
            << c.name;
    // Any byte other than 0 and 1 counts as unequal to the bit, so 2 and 0xFF checksum alike.
    const uint8_t two = 2, ff = 0xFF;
    EXPECT_EQ(CMyRecentFileList::Checksum(&two, 1), CMyRecentFileList::Checksum(&ff, 1));
}

TEST_F(RecentFileListTest, SixteenthFileDropsTheOldest) {
    CMyRecentFileList list;
    for (int i = 1; i <= 16; ++i) AddRecord(list, QStringLiteral("/clips/f%1.raw").arg(i), char(i));
    ASSERT_EQ(list.GetSize(), 15);
    EXPECT_EQ(list[0].name, QStringLiteral("/clips/f16.raw"));
    EXPECT_EQ(list[14].name, QStringLiteral("/clips/f2.raw"));
    EXPECT_EQ(list.Find(QStringLiteral("/clips/f1.raw")), -1);

    auto store = shelltest::Store();
    list.WriteList(*store);
    store->beginGroup(CMyRecentFileList::Section());
    EXPECT_TRUE(store->contains(QStringLiteral("File15")));
    EXPECT_FALSE(store->contains(QStringLiteral("File16")));
    store->endGroup();
}

TEST_F(RecentFileListTest, AddingTheThirdMovesItToTheTopWithNewData) {
    CMyRecentFileList list;
    AddRecord(list, QStringLiteral("/c/a.raw"), 'a');
    AddRecord(list, QStringLiteral("/c/b.raw"), 'b');
    AddRecord(list, QStringLiteral("/c/c.raw"), 'c');
    AddRecord(list, QStringLiteral("/c/a.raw"), 'z');
    EXPECT_EQ(Names(list), (QStringList{"/c/a.raw", "/c/c.raw", "/c/b.raw"}));
    EXPECT_EQ(list[0].data, Record('z'));
    EXPECT_EQ(list[1].data, Record('c'));
}

TEST_F(RecentFileListTest, AddingTheFirstAgainReplacesItsData) {
    CMyRecentFileList list;
    AddRecord(list, QStringLiteral("/c/a.raw"), 'a');
    AddRecord(list, QStringLiteral("/c/b.raw"), 'b');
    AddRecord(list, QStringLiteral("/c/b.raw"), 'q');
    EXPECT_EQ(Names(list), (QStringList{"/c/b.raw", "/c/a.raw"}));
    EXPECT_EQ(list[0].data, Record('q'));
}

TEST_F(RecentFileListTest, NamesDifferingOnlyByCaseAreDifferentFiles) {
    CMyRecentFileList list;
    AddRecord(list, QStringLiteral("/v/a.raw"), 'a');
    AddRecord(list, QStringLiteral("/v/A.RAW"), 'b');
    EXPECT_EQ(Names(list), (QStringList{"/v/A.RAW", "/v/a.raw"}));
    EXPECT_EQ(list.Find(QStringLiteral("/v/A.raw")), -1);
    EXPECT_EQ(list.Find(QStringLiteral("/v/a.raw")), 1);
}

TEST_F(RecentFileListTest, UpdateReplacesInPlaceAndIgnoresUnknownNames) {
    CMyRecentFileList list;
    AddRecord(list, QStringLiteral("/c/a.raw"), 'a');
    AddRecord(list, QStringLiteral("/c/b.raw"), 'b');
    const QByteArray q = Record('q');
    list.Update(QStringLiteral("/c/a.raw"), uint32_t(q.size()), q.constData());
    EXPECT_EQ(Names(list), (QStringList{"/c/b.raw", "/c/a.raw"}));
    EXPECT_EQ(list[1].data, q);
    list.Update(QStringLiteral("/c/x.raw"), uint32_t(q.size()), q.constData());
    EXPECT_EQ(Names(list), (QStringList{"/c/b.raw", "/c/a.raw"}));
    EXPECT_EQ(list[0].data, Record('b'));
}

TEST_F(RecentFileListTest, RemoveMovesLaterEntriesUpAndIgnoresBadIndexes) {
    CMyRecentFileList list;
    for (const char* n : {"/a", "/b", "/c"}) AddRecord(list, QString::fromLatin1(n), 'x');
    list.Remove(3);
    list.Remove(-1);
    EXPECT_EQ(list.GetSize(), 3);
    list.Remove(1);
    EXPECT_EQ(Names(list), (QStringList{"/c", "/a"}));
}

TEST_F(RecentFileListTest, StoredFormRoundTripsWithLittleEndianChecksum) {
    CMyRecentFileList list;
    AddRecord(list, QStringLiteral("/c/one.raw"), '\0');
    list.Add(QStringLiteral("/c/nodata.raw"), 0, nullptr);
    auto store = shelltest::Store();
    list.WriteList(*store);

    store->beginGroup(CMyRecentFileList::Section());
    EXPECT_EQ(store->value(QStringLiteral("File1")).toString(), QStringLiteral("/c/nodata.raw"));
    EXPECT_FALSE(store->contains(QStringLiteral("File1 Data")));
    const QByteArray data = store->value(QStringLiteral("File2 Data")).toByteArray();
    ASSERT_EQ(data.size(), 4 + 208);
    // 208 zero bytes checksum to 0xAFECBE32, stored lowest byte first.
    EXPECT_EQ(data.left(4), QByteArray("\x32\xBE\xEC\xAF", 4));
    store->endGroup();

    CMyRecentFileList back;
    back.ReadList(*store);
    ASSERT_EQ(back.GetSize(), 2);
    EXPECT_EQ(back[0].name, QStringLiteral("/c/nodata.raw"));
    EXPECT_TRUE(back[0].data.isEmpty());
    EXPECT_EQ(back[1].data, Record('\0'));
}

// The file's identity is a value of its own beside the record, which stays as it was; a record
// that is replaced forgets it, an update of the record keeps it, and an entry without a record
// keeps none.
TEST_F(RecentFileListTest, IdentityIsStoredBesideTheUntouchedRecord) {
    const kavlo::FileIdentity id{1520640, 1765000000000000001, 2049, 77};
    CMyRecentFileList list;
    AddRecord(list, QStringLiteral("/c/one.raw"), '\1');
    AddRecord(list, QStringLiteral("/c/two.raw"), '\2');
    list.Add(QStringLiteral("/c/nodata.raw"), 0, nullptr);
    list.SetIdentity(QStringLiteral("/c/one.raw"), id);
    list.SetIdentity(QStringLiteral("/c/two.raw"), id);
    list.SetIdentity(QStringLiteral("/c/nodata.raw"), id);
    const QByteArray record = Record('\3');
    list.Update(QStringLiteral("/c/one.raw"), uint32_t(record.size()), record.constData());
    AddRecord(list, QStringLiteral("/c/two.raw"), '\2');  // stored anew: no identity yet
    auto store = shelltest::Store();
    list.WriteList(*store);
    store->beginGroup(CMyRecentFileList::Section());
    EXPECT_EQ(store->value(QStringLiteral("File3 Identity")).toString(),
              QStringLiteral("1520640 1765000000000000001 2049 77"));
    EXPECT_EQ(store->value(QStringLiteral("File3 Data")).toByteArray().size(), 4 + 208);
    EXPECT_FALSE(store->contains(QStringLiteral("File1 Identity")));  // two.raw, added anew
    EXPECT_FALSE(store->contains(QStringLiteral("File2 Identity")));  // nodata.raw
    store->endGroup();
    CMyRecentFileList back;
    back.ReadList(*store);
    ASSERT_EQ(back.GetSize(), 3);
    EXPECT_FALSE(back[0].identity);
    EXPECT_FALSE(back[1].identity);
    ASSERT_TRUE(back[2].identity);
    EXPECT_EQ(back[2].identity->inode, 77u);
    EXPECT_EQ(back[2].data, record);
}

TEST_F(RecentFileListTest, CorruptedDataReadsBackAsEntryWithoutSettings) {
    CMyRecentFileList list;
    // A real record: mostly zero bytes, which the checksum tells apart from any other value.
    const RawSettings settings = shelltest::SettingsFor(kLayoutUYVY, 720, 576);
    list.Add(QStringLiteral("/c/a.raw"), sizeof settings, &settings);
    AddRecord(list, QStringLiteral("/c/b.raw"), 'b');
    auto store = shelltest::Store();
    list.WriteList(*store);
    store->beginGroup(CMyRecentFileList::Section());
    QByteArray data = store->value(QStringLiteral("File2 Data")).toByteArray();
    ASSERT_EQ(data[4 + 203], '\0');  // a reserved byte of the record
    data[4 + 203] = '\x05';
    store->setValue(QStringLiteral("File2 Data"), data);
    store->endGroup();

    CMyRecentFileList back;
    back.ReadList(*store);
    ASSERT_EQ(back.GetSize(), 2);
    EXPECT_EQ(back[0].data, Record('b'));
    EXPECT_EQ(back[1].name, QStringLiteral("/c/a.raw"));
    EXPECT_TRUE(back[1].data.isEmpty());
}

TEST_F(RecentFileListTest, RemovedFilesDoNotComeBackAfterWriting) {
    CMyRecentFileList list;
    for (int i = 1; i <= 5; ++i) AddRecord(list, QStringLiteral("/f%1").arg(i), char(i));
    auto store = shelltest::Store();
    list.WriteList(*store);
    list.Remove(0);
    list.Remove(0);
    list.WriteList(*store);
    CMyRecentFileList back;
    back.ReadList(*store);
    EXPECT_EQ(Names(back), (QStringList{"/f3", "/f2", "/f1"}));
    store->beginGroup(CMyRecentFileList::Section());
    EXPECT_FALSE(store->contains(QStringLiteral("File4")));
    EXPECT_FALSE(store->contains(QStringLiteral("File5 Data")));
    store->endGroup();
}

TEST_F(RecentFileListTest, WritingDropsEveryEntryPastTheListAndKeepsTheListAsItReads) {
    // A store that collected many more positions than the list holds, each with its data.
    auto store = shelltest::Store();
    store->beginGroup(CMyRecentFileList::Section());
    for (int n = 1; n <= 40; ++n) {
        const QString key = CMyRecentFileList::NameKey(n);
        store->setValue(key, QStringLiteral("/many/f%1.raw").arg(n));
        store->setValue(CMyRecentFileList::DataKey(key), QByteArray(4, 'x'));
    }
    store->endGroup();
    CMyRecentFileList list;
    list.ReadList(*store);
    ASSERT_EQ(list.GetSize(), CMyRecentFileList::kMaxEntries);
    list.WriteList(*store);

    store->beginGroup(CMyRecentFileList::Section());
    QStringList expected;
    for (int n = 1; n <= CMyRecentFileList::kMaxEntries; ++n)
        expected << CMyRecentFileList::NameKey(n);
    QStringList keys = store->childKeys();
    keys.sort();
    expected.sort();
    EXPECT_EQ(keys, expected);  // the 4-byte blocks held no record: no data keys either
    store->endGroup();
    CMyRecentFileList back;
    back.ReadList(*store);
    EXPECT_EQ(Names(back), Names(list));
}

TEST_F(RecentFileListTest, ReadSkipsEmptyAndInvalidNamesWithoutGaps) {
    auto store = shelltest::Store();
    store->beginGroup(CMyRecentFileList::Section());
    store->setValue(QStringLiteral("File1"), QString());
    store->setValue(QStringLiteral("File2"), QStringLiteral("/x/two.raw"));
    store->setValue(QStringLiteral("File3"), QByteArray("not a string"));
    store->setValue(QStringLiteral("File7"), QStringLiteral("/x/seven.raw"));
    store->setValue(QStringLiteral("File16"), QStringLiteral("/x/sixteen.raw"));
    store->endGroup();
    CMyRecentFileList list;
    list.ReadList(*store);
    EXPECT_EQ(Names(list), (QStringList{"/x/two.raw", "/x/seven.raw"}));
}

TEST_F(RecentFileListTest, MissingSectionLeavesTheListAlone) {
    CMyRecentFileList list;
    AddRecord(list, QStringLiteral("/kept"), 'k');
    auto store = shelltest::Store();
    list.ReadList(*store);
    EXPECT_EQ(Names(list), QStringList{"/kept"});
}

struct DisplayCase {
    const char* name;
    QString path;
    bool atLeastName;
    QString expected;
};

TEST(RecentDisplayName, ShortensLongPathsToTheLongestFittingTail) {
    const QString p45 =
        QStringLiteral("/") + QString(39, QLatin1Char('d')) + QStringLiteral("/a.ra");
    const QString p46 =
        QStringLiteral("/") + QString(39, QLatin1Char('d')) + QStringLiteral("/a.raw");
    const QString deep =
        QStringLiteral("/videos/archive/2024/interlaced/tests/clip.raw");  // 46 chars
    const QString longName =
        QStringLiteral("/d/") + QString(50, QLatin1Char('n')) + QStringLiteral(".raw");
    const DisplayCase cases[] = {
        {"45 characters in full", p45, true, p45},
        {"46 characters, one long folder", p46, true, QStringLiteral("/.../a.raw")},
        {"longest tail that fits", deep, true,
         QStringLiteral("/.../archive/2024/interlaced/tests/clip.raw")},
        {"no tail fits, name wanted", longName, true,
         QString(50, QLatin1Char('n')) + QStringLiteral(".raw")},
        {"no tail fits, name not wanted", longName, false, QString()},
    };
    ASSERT_EQ(p45.size(), 45);
    ASSERT_EQ(deep.size(), 46);
    for (const auto& c : cases) {
        CMyRecentFileList list;
        list.Add(c.path, 0, nullptr);
        QString text = QStringLiteral("unset");
        EXPECT_TRUE(list.GetDisplayName(text, 0, nullptr, c.atLeastName)) << c.name;
        EXPECT_EQ(text, c.expected) << c.name;
        if (c.expected != list[0].name.mid(list[0].name.lastIndexOf(QLatin1Char('/')) + 1)) {
            EXPECT_LE(text.size(), 45) << c.name;
        }
    }
}

TEST(RecentDisplayName, CurrentDirectoryGivesTheBareNameAndBadIndexFails) {
    CMyRecentFileList list;
    list.Add(QStringLiteral("/work/clips/a.yuv"), 0, nullptr);
    const QString dir = QStringLiteral("/work/clips");
    QString text;
    EXPECT_TRUE(list.GetDisplayName(text, 0, &dir, true));
    EXPECT_EQ(text, QStringLiteral("a.yuv"));
    const QString other = QStringLiteral("/work");
    EXPECT_TRUE(list.GetDisplayName(text, 0, &other, true));
    EXPECT_EQ(text, QStringLiteral("/work/clips/a.yuv"));
    EXPECT_FALSE(list.GetDisplayName(text, 1, nullptr, true));
    EXPECT_FALSE(list.GetDisplayName(text, -1, nullptr, true));
}

TEST(RecentMenu, EmptyListShowsOneDisabledItemAndKeepsItsPlace) {
    QMenu menu;
    QAction* dummy = menu.addAction(QStringLiteral("Dummy"));
    dummy->setData(CMyRecentFileList::kFirstCommand);
    QAction* after = menu.addAction(QStringLiteral("after"));
    after->setData(1);

    CMyRecentFileList list;
    list.UpdateMenu(&menu);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_FALSE(menu.actions()[0]->isEnabled());
    EXPECT_EQ(menu.actions()[0]->data().toInt(), CMyRecentFileList::kFirstCommand);

    list.Add(QStringLiteral("/c/one.raw"), 0, nullptr);
    list.Add(QStringLiteral("/c/two&three.raw"), 0, nullptr);
    list.UpdateMenu(&menu);
    ASSERT_EQ(menu.actions().size(), 3);
    EXPECT_EQ(menu.actions()[0]->text(), QStringLiteral("1 /c/two&&three.raw"));
    EXPECT_EQ(menu.actions()[1]->text(), QStringLiteral("2 /c/one.raw"));
    EXPECT_EQ(menu.actions()[1]->data().toInt(), CmdRecentFirst + 1);
    EXPECT_TRUE(menu.actions()[1]->isEnabled());
    EXPECT_EQ(menu.actions()[2], after);

    list.Remove(0);
    list.Remove(0);
    list.UpdateMenu(&menu);
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_FALSE(menu.actions()[0]->isEnabled());
}

}  // namespace
