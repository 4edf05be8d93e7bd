// File names that are not UTF-8 (a clip saved under an ISO 8859-1 name): carried from the
// command line, a drop, the file dialog's lossy answer and the recent list to the plug-in, which
// must open the very file named.
#include "app/open/RawSettingsDlg.h"
#include "app/open/RecentFileList.h"
#include "app/window/ViewerApp.h"
#include "app/window/ViewerDlg.h"
#include "ShellTestSupport.h"
#include "TNStr.h"
#include "view/file/LocalFileName.h"
#include "view/VideoBuffer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

// QString from UTF-16 units, lone surrogates included.
QString Units(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// A generated clip renamed to `name` (bytes) beside where it was made; the new path's bytes, or
// empty on failure.
QByteArray ClipNamed(const QByteArray& name, int32_t frames) {
    const QString made =
        shelltest::Clip(QStringLiteral("unnamed.raw"), kLayoutGRAY, 32, 16, frames);
    if (made.isEmpty()) return {};
    const QByteArray from = QFile::encodeName(made);
    const QByteArray to = from.left(from.lastIndexOf('/') + 1) + name;
    return std::rename(from.constData(), to.constData()) == 0 ? to : QByteArray();
}

// Removes the paths given (by their bytes) with everything below them when it goes: Qt's own
// removal cannot reach names that are not UTF-8.
struct RemoveOnExit {
    std::vector<QByteArray> paths;
    ~RemoveOnExit() {
        std::error_code ec;
        for (const QByteArray& p : paths) std::filesystem::remove_all(p.toStdString(), ec);
    }
};

bool MakeFile(const QByteArray& path) {
    FILE* f = std::fopen(path.constData(), "wb");
    return f && std::fclose(f) == 0;
}

TEST(LocalFileName, BytesTextAndCoreStringKeepTheName) {
    const QByteArray bytes("/clips/caf\xE9 \xC3\xA9.raw");
    const QString name = kavlo::FileNameFromBytes(bytes);
    EXPECT_EQ(name, Units(u"/clips/caf\xDCE9 \u00E9.raw"));
    EXPECT_EQ(kavlo::FileNameToBytes(name), bytes);
    _TNStr* core = kavlo::FileNameToCoreString(name);
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(QString::fromUtf16(CTNStrGetString(core), CTNStrGetLength(core)), name);
    CTNStrRelease(core);
}

TEST(LocalFileName, DialogNamesDecodedLossilyFindTheirFiles) {
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    const QByteArray folder = base + "/d\xE9j\xE0";
    const RemoveOnExit cleanup{{folder}};
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const QByteArray clip = folder + "/caf\xE9.raw";
    ASSERT_TRUE(MakeFile(clip));
    ASSERT_TRUE(MakeFile(folder + "/a\xE8.raw"));
    ASSERT_TRUE(MakeFile(folder + "/a\xE9.raw"));
    const QByteArray replacement("\xEF\xBF\xBD");  // U+FFFD as a real name
    ASSERT_TRUE(MakeFile(base + "/x" + replacement + ".raw"));

    const QString lossy = QFile::decodeName(clip);
    ASSERT_TRUE(lossy.contains(QChar::ReplacementCharacter));
    EXPECT_EQ(kavlo::FileNameToBytes(kavlo::ResolveLossyFileName(lossy)), clip);
    // Two names that decode alike: no guess.
    const QString twice = QFile::decodeName(folder + "/a\xE9.raw");
    EXPECT_EQ(kavlo::ResolveLossyFileName(twice), twice);
    // A name that really holds U+FFFD, and one that matches nothing, stay as they are.
    const QString real = QFile::decodeName(base + "/x" + replacement + ".raw");
    EXPECT_EQ(kavlo::ResolveLossyFileName(real), real);
    const QString missing = QFile::decodeName(folder + "/none\xE9.raw");
    EXPECT_EQ(kavlo::ResolveLossyFileName(missing), missing);
}

TEST(LocalFileName, DroppedUrlsKeepTheirBytes) {
    EXPECT_EQ(kavlo::FileNameFromUrl(QUrl(QStringLiteral("file:///clips/caf%E9%20x.raw"))),
              Units(u"/clips/caf\xDCE9 x.raw"));
    const QString utf8 = QStringLiteral("/clips/caf\u00E9 #1.raw");
    EXPECT_EQ(kavlo::FileNameFromUrl(QUrl::fromLocalFile(utf8)), utf8);
}

TEST(LocalFileName, RecentListKeepsNamesThatAreNotUtf8ThroughTheSettingsFile) {
    QTemporaryDir dir;
    const QString written = dir.filePath(QStringLiteral("written.ini"));
    const QString copy = dir.filePath(QStringLiteral("copy.ini"));
    const QString latin1 = Units(u"/clips/caf\xDCE9.raw");
    const QString utf8 = QStringLiteral("/clips/caf\u00E9.raw");
    {
        CMyRecentFileList list;
        const RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 32, 16);
        list.Add(utf8, sizeof s, &s);
        list.Add(latin1, sizeof s, &s);
        QSettings store(written, QSettings::IniFormat);
        list.WriteList(store);
        store.sync();
        ASSERT_EQ(store.status(), QSettings::NoError);
    }
    // A copy under another name is read from the file, not from the settings object's cache.
    ASSERT_TRUE(QFile::copy(written, copy));
    QSettings store(copy, QSettings::IniFormat);
    // A UTF-8 name is stored as text, as names always were.
    EXPECT_EQ(store.value(QStringLiteral("Recent Files/File2")).userType(), QMetaType::QString);
    CMyRecentFileList back;
    back.ReadList(store);
    ASSERT_EQ(back.GetSize(), 2);
    EXPECT_EQ(kavlo::FileNameToBytes(back[0].name), QByteArray("/clips/caf\xE9.raw"));
    EXPECT_EQ(back[1].name, utf8);
    EXPECT_EQ(back[0].data.size(), CMyRecentFileList::kDataSize);
}

// The whole way: the command line's bytes to the plug-in, the recent list across a restart,
// and a drop of the file's URL.
TEST(NonUtf8Names, CommandLineRecentListAndDropOpenTheClip) {
    shelltest::ClearSettings();
    const QByteArray clip = ClipNamed("caf\xE9.raw", 3);
    const RemoveOnExit cleanup{{clip}};
    ASSERT_FALSE(clip.isEmpty());
    ASSERT_FALSE(ClipNamed("caf\xC3\xA9.raw", 5).isEmpty());  // reads the same when decoded lossily
    const QString name = kavlo::FileNameFromBytes(clip);
    {
        CTNViewerApp app;
        app.SetModalRuns(false);
        EXPECT_FALSE(
            app.InitInstance({"/usr/bin/Kavlo", "-w32", "-h16", "-lGRAY", clip.toStdString()}));
        EXPECT_TRUE(app.ShownError().isEmpty()) << app.ShownError().toStdString();
        ASSERT_NE(app.MainWindow(), nullptr);
        EXPECT_TRUE(app.MainWindow()->View()->IsOpen());
        EXPECT_EQ(app.MainWindow()->View()->FrameCount(), 3);
        EXPECT_EQ(app.MainWindow()->View()->FileName(), name);
    }
    {
        CTNViewerDlg window;  // reads the list the first one wrote
        ASSERT_GE(window.RecentFiles()->GetSize(), 1);
        EXPECT_EQ(kavlo::FileNameToBytes((*window.RecentFiles())[0].name), clip);
        window.OpenByName((*window.RecentFiles())[0].name);  // with the stored settings
        EXPECT_EQ(window.View()->FrameCount(), 3);
        window.View()->CloseFile();

        // The settings dialog measures the file by its bytes, too (32 x 16 GRAY: 512 per frame).
        CRawSettingsDlg settings(&window);
        RawSettings none;
        std::memset(&none, 0, sizeof none);
        QString error;
        settings.Prepare(name, none, error, 0);
        EXPECT_EQ(settings.FileSize(), 3 * 512);

        QMimeData mime;
        mime.setUrls({QUrl::fromEncoded("file://" + clip.toPercentEncoding("/"))});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        window.show();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        QCoreApplication::sendEvent(&window, &drop);
        QTRY_VERIFY(window.View()->IsOpen());  // the open follows once the drop has ended
        EXPECT_EQ(window.View()->FrameCount(), 3);
        EXPECT_EQ(window.View()->FileName(), name);
    }
    shelltest::ClearSettings();
}

// The Open command's dialog shows the clip's name decoded lossily; choosing that name opens the
// clip under its lossless name instead of ending in "File not found".
TEST(NonUtf8Names, OpenDialogChoosesTheClipByItsLossyName) {
    shelltest::ClearSettings();
    const QByteArray clip = ClipNamed("caf\xE9.raw", 3);
    const RemoveOnExit cleanup{{clip}};
    ASSERT_FALSE(clip.isEmpty());
    CTNViewerDlg window;
    const RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 32, 16);
    window.RecentFiles()->Add(kavlo::FileNameFromBytes(clip), sizeof s, &s);
    // Shared with the pollers, which outlive the test when no refusal comes: the next modal
    // window of the process (another test's) must find neither a dead string nor a dead dialog.
    auto refused = std::make_shared<QString>();
    shelltest::OnNextModal([&clip, refused](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QFile::decodeName(clip));
        // A refusal comes as a message box; it is noted and everything is closed.
        const QPointer<QFileDialog> alive(dialog);
        shelltest::OnNextModal([refused, alive](QWidget* m) {
            if (!alive) return;
            if (auto* box = qobject_cast<QMessageBox*>(m)) {
                *refused = box->text();
                box->close();
            }
            QTimer::singleShot(0, alive, [alive] {
                if (alive) alive->reject();
            });
        });
        static_cast<QDialog*>(dialog)->accept();
    });
    window.OnCommand(CmdOpen);
    EXPECT_TRUE(refused->isEmpty()) << refused->toStdString();
    EXPECT_TRUE(window.View()->IsOpen());
    EXPECT_EQ(kavlo::FileNameToBytes(window.View()->FileName()), clip);
    shelltest::ClearSettings();
}

}  // namespace
