#include "app/common/Platform.h"

#include "app/common/AppInfo.h"
#include "settings/TerminalText.h"
#include "view/file/StoredSettings.h"
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

namespace {}  // namespace

std::unique_ptr<QSettings> OpenUserSettings() {
    QString unusable;
    std::unique_ptr<QSettings> store = OpenUserStore(&unusable);
    if (!unusable.isEmpty()) {
        // Said once: the program runs with the store it started with.
        static const bool told = [&unusable] {
            const std::wstring line = TerminalSafe(unusable).toStdWString();
            TNDebugOutputStr(TN_LOG_WARNING, 0,
                             L"Settings: '%ls' is not a regular file; starting without stored "
                             L"settings, and nothing is saved",
                             line.c_str());
            return true;
        }();
        (void)told;
    }
    return store;
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
