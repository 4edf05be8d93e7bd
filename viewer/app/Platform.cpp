#include "Platform.h"

#include "AppInfo.h"
#include "settings/TerminalText.h"
#include "TNDebug.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

// Resources of a static library are registered by name from outside any namespace.
static void RegisterShellResources() { Q_INIT_RESOURCE(kavlo); }

namespace kavlo {

void InitResources() {
    static const bool once = (RegisterShellResources(), true);
    (void)once;
}

namespace {

// The files the store reads (its own, then the company's, for the user and the system), as the
// toolkit names them on this platform.
QStringList SettingsFiles() {
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!folders.contains(user)) folders.prepend(user);
    QStringList files;
    for (const QString& folder : folders) {
        files << QStringLiteral("%1/%2/%3.conf").arg(folder, CompanyKey(), AppName())
              << QStringLiteral("%1/%2.conf").arg(folder, CompanyKey());
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

std::unique_ptr<QSettings> OpenUserSettings() {
    // Looked at once: the program runs with the store it started with.
    static const QString unusable = UnusableSettingsFile();
    if (unusable.isEmpty())
        return std::make_unique<QSettings>(QSettings::UserScope, CompanyKey(), AppName());
    static const bool told = [] {
        const std::wstring line = TerminalSafe(unusable).toStdWString();
        TNDebugOutputStr(TN_LOG_WARNING, 0,
                         L"Settings: '%ls' is not a regular file; starting without stored "
                         L"settings, and nothing is saved",
                         line.c_str());
        return true;
    }();
    (void)told;
    // A store in memory only: procfs lets nobody (not even root) create this folder, so the
    // store reads nothing and never writes.
    return std::make_unique<QSettings>(QStringLiteral("/proc/self/kavlo-no-settings/Kavlo.conf"),
                                       QSettings::IniFormat);
}

void WarningSound() { QApplication::beep(); }

void AddToRecentDocuments(const QString& path) {
    // The Linux desktops keep their recent-document lists themselves; nothing to tell them.
    (void)path;
}

bool OpenWebPage(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

QString TerminalSafe(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return QString::fromStdString(
        TerminalSafeText(std::string_view(bytes.constData(), size_t(bytes.size()))));
}

uint64_t ResidentBytes() {
    // The second figure of /proc/self/statm: resident pages.
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    unsigned long long size = 0, resident = 0;
    const bool read = std::fscanf(statm, "%llu %llu", &size, &resident) == 2;
    std::fclose(statm);
    const long page = ::sysconf(_SC_PAGESIZE);
    return read && page > 0 ? resident * static_cast<uint64_t>(page) : 0;
}

QString ProgramDirectory() {
    char buffer[PATH_MAX];
    if (::realpath("/proc/self/exe", buffer))
        return QFileInfo(QFile::decodeName(buffer)).absolutePath();
    return QCoreApplication::applicationDirPath();
}

bool SameFileName(const QString& a, const QString& b) {
#ifdef _WIN32
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

}  // namespace kavlo
