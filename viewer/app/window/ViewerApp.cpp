#include "app/window/ViewerApp.h"

#include "app/common/AppInfo.h"
#include "settings/CommandLine.h"
#include "settings/TerminalText.h"
#include "app/open/FileCheck.h"
#include "app/window/HelpWin.h"
#include "app/window/TerminalStart.h"
#include "app/common/Platform.h"
#include "app/open/RecentFileList.h"
#include "view/file/LocalFileName.h"
#include "TNCore.h"
#include "TNDebug.h"
#include "view/VideoBuffer.h"
#include "app/play/Playback.h"
#include "app/window/ViewerDlg.h"
#include "view/file/StoredSettings.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// A start-up error: the reason, then the file it is about.
QString StartErrorText(const QString& path, const QString& reason) {
    return QStringLiteral("Error: %1. File: %2").arg(reason, path);
}

void Print(std::FILE* stream, const QString& text) { kavlo::PrintText(stream, text); }

// A "Debug Level" (a 32-bit number) in the per-user store, when there is one.
std::optional<int> StoredDebugLevel() {
    auto store = kavlo::OpenUserSettings();
    const QVariant value = store->value(kavlo::DebugLevelKey());
    bool ok = false;
    int level = 0;
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt: level = value.toInt(&ok); break;
    case QMetaType::QString:
        // A text store keeps numbers as text: only a whole 32-bit number counts.
        level = value.toString().trimmed().toInt(&ok, 10);
        break;
    default: break;
    }
    return ok ? std::optional<int>(level) : std::nullopt;
}

// Which of the log's lines reach standard error: with a stored "Debug Level" of 3 or more all of
// them, as the core filters them (the level value lets level-4 lines of that verbosity through);
// otherwise errors and warnings alone, so that a start from a terminal stays quiet.
void ApplyLogOutput(const std::optional<int>& stored) {
    TNDebugSetOutputLevel(stored && *stored >= TN_LOG_INFO ? TN_LOG_DEBUG : TN_LOG_WARNING);
}

}  // namespace

CTNViewerApp::CTNViewerApp() : fromTerminal_(kavlo::StartedFromTerminal()) {
    // The lines of the plug-in scan reach standard error only when the stored level asks for
    // them; the level value itself is applied after the command line's file opened.
    ApplyLogOutput(StoredDebugLevel());
    // The result is not examined: a failed scan shows up later as files that do not open.
    coreOpen_ = true;
    TNCoreInitialize(nullptr);
}

CTNViewerApp::~CTNViewerApp() {
    if (coreOpen_) ExitInstance();
}

bool CTNViewerApp::ApplyStoredDebugLevel() {
    const std::optional<int> level = StoredDebugLevel();
    ApplyLogOutput(level);
    if (!level) return false;
    TNDebugSetLevelValue(*level);
    return true;
}

void CTNViewerApp::ShowUsage(const QString& error) {
    shownError_ = error;
    if (!error.isEmpty()) kavlo::WarningSound();
    CHelpWin help;
    help.SetErrorText(error);
    help.OnInitDialog();
    if (modalRuns_) RunModal(help);
}

void CTNViewerApp::ReportStartError(const QString& error) {
    if (play_) {
        // Scripts get the error on standard error and no window that waits for a person.
        shownError_ = error;
        Print(stderr, QStringLiteral("%1: %2").arg(kavlo::AppName(), error));
    } else {
        // A start from a terminal gets the error there too, where the command was typed.
        if (fromTerminal_) Print(stderr, QStringLiteral("%1: %2").arg(kavlo::AppName(), error));
        ShowUsage(error);
    }
    exitCode_ = 1;
}

QString CTNViewerApp::OpenAtStart(const QString& path, RawSettings settings,
                                  const QString& remark) {
    QString openError;
    if (mainWindow_->View()->OpenFile(&settings, path, openError, 0) != 0) {
        mainWindow_.reset();
        QString reason = kavlo::OpenFailureReason(path, openError);
        if (!remark.isEmpty()) reason += QStringLiteral("; ") + remark;
        return StartErrorText(path, reason);
    }
    mainWindow_->AfterOpen(path, settings);
    return QString();
}

QString CTNViewerApp::OpenPlanned(const QString& path, const CommandLine* parsed) {
    const bool given = parsed && parsed->hasSettings;
    if (!given) {
        const QString problem = kavlo::FileProblem(path);
        if (!problem.isEmpty()) {
            mainWindow_.reset();
            return StartErrorText(path, problem);
        }
    }
    const CMyRecentFileList& recent = *mainWindow_->RecentFiles();
    const int index = recent.Find(path);
    kavlo::StoredFile entry;
    if (index >= 0) entry = {recent[index].name, recent[index].data, recent[index].identity};
    const kavlo::OpenPlan plan =
        kavlo::PlanFileOpen(path, parsed, index >= 0 ? &entry : nullptr, !play_, false);
    RawSettings settings = plan.settings;
    switch (plan.source) {
    case kavlo::OpenSource::Given:
        // As the command line built them; a value that was no number is named if they fail.
        return OpenAtStart(
            path, parsed->settings,
            QString::fromLocal8Bit(NotNumberText(*parsed).c_str()) +
                (parsed->notNumber.empty() ? QString() : QStringLiteral(", read as 0")));
    case kavlo::OpenSource::Stored:
        if (colour_.colourGiven)
            kavlo::StoreColourChoice(settings, colour_.matrix, colour_.fullRange);
        return OpenAtStart(path, settings);
    case kavlo::OpenSource::Y4m: return OpenAtStart(path, settings);
    case kavlo::OpenSource::Ask:
        // As "/open" does: the settings dialog, and the main window whatever it ends with.
        mainWindow_->OpenByName(path);
        return QString();
    default: break;
    }
    if (!play_ && !given) {
        // The main window says why in a message box, as for a file opened from its menu.
        mainWindow_->OpenByName(path);
        return QString();
    }
    // Under -play nothing may wait for a person: what the plan refused, and why.
    mainWindow_.reset();
    return StartErrorText(path, QString::fromStdString(plan.reason));
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
    colour_.colourGiven = parsed.colourGiven;
    colour_.matrix = parsed.matrix;
    colour_.fullRange = parsed.fullRange;
    playFps_ = parsed.fps;
    mainWindow_->SetFitLargeFrames(!play_);
    // The read-ahead cache's cap: -cache MB is used and kept for the next starts.
    {
        auto store = kavlo::OpenUserSettings();
        if (parsed.cacheMB > 0)
            store->setValue(kavlo::CacheSizeKey(), static_cast<qlonglong>(parsed.cacheMB));
        bool ok = false;
        const qlonglong mb = store->value(kavlo::CacheSizeKey()).toLongLong(&ok);
        if (ok && mb >= 16 && mb <= 65536)
            mainWindow_->Playback()->SetCacheBytes(static_cast<uint64_t>(mb) << 20);
    }
    if (parsed.help) {
        // The usage asked for is no error: exit code 0.
        if (play_)
            Print(stdout, CHelpWin::BuildPrintedUsage());
        else
            ShowUsage(QString());
        return false;
    }
    if (parsed.version) {
        Print(stdout, kavlo::EarlyAnswerText(kavlo::EarlyAnswer::Version, parsed));
        return false;
    }
    QString error = QString::fromStdString(parsed.error);
    if (parsed.openTarget) {
        const QString target = kavlo::FileNameFromBytes(parsed.openTarget->c_str());
        // Under -play nothing may wait for a person: the stored settings or an error.
        if (!target.isEmpty() && play_)
            error = OpenPlanned(kavlo::AbsoluteFileName(target), nullptr);
        else if (!target.isEmpty())
            mainWindow_->OpenByName(target);
        if (!play_) error.clear();
    } else if (error.isEmpty() && !parsed.fileName.empty()) {
        // 5. Open the named file in the main window's view, by its absolute name.
        const QString fileName =
            kavlo::AbsoluteFileName(kavlo::FileNameFromBytes(parsed.fileName.c_str()));
        error = OpenPlanned(fileName, &parsed);
    }

    // 6. Anything wrong: the usage window (or standard error), then the end.
    if (!error.isEmpty()) {
        ReportStartError(error);
        return false;
    }

    // 7.-9. Qt needs no further libraries or managers; the accelerator belongs to the window.
    ApplyStoredDebugLevel();

    // 10. Play-through or the interactive window.
    if (!mainWindow_) return false;
    if (play_) {
        mainWindow_->show();
        if (modalRuns_) {
            const QString path = mainWindow_->View()->FileName();
            // The play-through's own lines (frames shown, the time, the rate) are its result.
            const int quiet = TNDebugGetOutputLevel();
            TNDebugSetOutputLevel(std::max(quiet, TN_LOG_INFO));
            const QString failure = mainWindow_->PlayThrough(playFps_);
            TNDebugSetOutputLevel(quiet);
            // A play that could not show the whole file says why, and fails.
            if (!failure.isEmpty()) ReportStartError(StartErrorText(path, failure));
        }
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
