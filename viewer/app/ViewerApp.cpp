#include "ViewerApp.h"

#include "AppInfo.h"
#include "CommandLine.h"
#include "HelpWin.h"
#include "Platform.h"
#include "RecentFileList.h"
#include "view/LocalFileName.h"
#include "TNCore.h"
#include "TNDebug.h"
#include "view/VideoBuffer.h"
#include "ViewerDlg.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QSettings>

#include <string>
#include <vector>

CTNViewerApp::CTNViewerApp() {
    // The result is not examined: a failed scan shows up later as files that do not open.
    coreOpen_ = true;
    TNCoreInitialize(nullptr);
}

CTNViewerApp::~CTNViewerApp() {
    if (coreOpen_) ExitInstance();
}

bool CTNViewerApp::ApplyStoredDebugLevel() {
    auto store = kavlo::OpenUserSettings();
    const QVariant value = store->value(kavlo::DebugLevelKey());
    bool ok = false;
    int level = 0;
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
        level = value.toInt(&ok);
        break;
    case QMetaType::QString:
        // A text store keeps numbers as text: only a whole 32-bit number counts.
        level = value.toString().trimmed().toInt(&ok, 10);
        break;
    default: break;
    }
    if (!ok) return false;
    TNDebugSetLevelValue(level);
    return true;
}

void CTNViewerApp::ShowUsage(const QString& error) {
    shownError_ = error;
    kavlo::WarningSound();
    CHelpWin help;
    help.SetErrorText(error);
    help.OnInitDialog();
    if (modalRuns_) RunModal(help);
}

void CTNViewerApp::RunModal(QDialog& window) {
    // The window's own modal run would end on a toolkit exit request as well, but would keep its
    // code to itself; a loop of our own hands it on.
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, [&loop] { loop.exit(0); });
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    exitCode_ = loop.exec(QEventLoop::DialogExec);
}

bool CTNViewerApp::InitInstance(const std::vector<std::string>& args) {
    // 1. Identity in the per-user settings store.
    QCoreApplication::setApplicationName(kavlo::AppName());
    QCoreApplication::setOrganizationName(kavlo::CompanyKey());
    kavlo::InitResources();
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/kavlo/icons/kavlo.png")));

    // 2. The arguments arrive as a list already (8-bit text, as the file system spells names).
    // 3. The main window object, without its window being shown.
    mainWindow_ = std::make_unique<CTNViewerDlg>();

    // 4. Parse.
    CommandLine parsed = ParseCommandLine(args);
    play_ = parsed.play;
    QString error = QString::fromStdString(parsed.error);
    if (parsed.openTarget) {
        if (!parsed.openTarget->empty()) mainWindow_->OpenByName(kavlo::FileNameFromBytes(parsed.openTarget->c_str()));
        error.clear();
    } else if (error.isEmpty() && !parsed.fileName.empty() && parsed.hasSettings) {
        // 5. Open the named file in the main window's view.
        RawSettings settings = parsed.settings;
        const QString fileName = kavlo::FileNameFromBytes(parsed.fileName.c_str());
        QString openError;
        if (mainWindow_->View()->OpenFile(&settings, fileName, openError, 0) != 0) {
            mainWindow_.reset();
            error = QStringLiteral("Error: %1.").arg(openError);
        } else {
            mainWindow_->AfterOpen(fileName, settings);
        }
    }

    // 6. Anything wrong: the usage window, then the end.
    if (!error.isEmpty()) {
        ShowUsage(error);
        return false;
    }

    // 7.-9. Qt needs no further libraries or managers; the accelerator belongs to the window.
    ApplyStoredDebugLevel();

    // 10. Play-through or the interactive window.
    if (!mainWindow_) return false;
    if (play_) {
        mainWindow_->show();
        if (modalRuns_) mainWindow_->PlayThrough();
        return false;
    }
    if (modalRuns_) RunModal(*mainWindow_);
    return false;
}

int CTNViewerApp::ExitInstance() {
    mainWindow_.reset();
    if (coreOpen_) {
        TNCoreClose();
        coreOpen_ = false;
    }
    return exitCode_;
}
