#include "Platform.h"

#include "AppInfo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

#include <climits>
#include <cstdlib>

// Resources of a static library are registered by name from outside any namespace.
static void RegisterShellResources() { Q_INIT_RESOURCE(kavlo); }

namespace kavlo {

void InitResources() {
    static const bool once = (RegisterShellResources(), true);
    (void)once;
}

std::unique_ptr<QSettings> OpenUserSettings() {
    return std::make_unique<QSettings>(QSettings::UserScope, CompanyKey(), AppName());
}

void WarningSound() { QApplication::beep(); }

void AddToRecentDocuments(const QString& path) {
    // The Linux desktops keep their recent-document lists themselves; nothing to tell them.
    (void)path;
}

bool OpenWebPage(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

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
