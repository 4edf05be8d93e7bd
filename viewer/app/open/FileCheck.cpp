#include "app/open/FileCheck.h"

#include "app/common/Platform.h"
#include "view/file/LocalFileName.h"
#include "TNDebug.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kavlo {

QString FileProblem(const QString& path) {
    if (path.isEmpty()) return QStringLiteral("no file name was given");
    const QByteArray bytes = FileNameToBytes(path);
    struct stat info {};
    if (::stat(bytes.constData(), &info) != 0) return QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return QStringLiteral("it is a folder, not a file");
    if (!S_ISREG(info.st_mode)) return QStringLiteral("it is not a regular file");
    if (::access(bytes.constData(), R_OK) != 0) return QString::fromLocal8Bit(std::strerror(errno));
    if (info.st_size == 0) return QStringLiteral("the file is empty");
    return QString();
}

QString WithoutResultCode(const QString& text, bool reasonFollows) {
    const QString mark = QStringLiteral(" (TNErr: ");
    const qsizetype at = text.indexOf(mark);
    if (at < 0) return text;
    // The code's own text may hold parentheses ("Invalid Argument(s)").
    qsizetype end = at + 1;
    for (int depth = 0; end < text.size(); ++end) {
        if (text[end] == QLatin1Char('(')) ++depth;
        if (text[end] == QLatin1Char(')') && --depth == 0) break;
    }
    if (end >= text.size()) return text;
    const QString rest = text.mid(end + 1);
    if (!reasonFollows && rest.trimmed().isEmpty()) return text;  // the code is the only reason
    return text.left(at) + rest;
}

QString OpenFailureReason(const QString& path, const QString& openError) {
    const QString problem = FileProblem(path);
    if (openError.isEmpty())
        return problem.isEmpty() ? QStringLiteral("the file cannot be read with these settings")
                                 : problem;
    // The result code of the step that failed is for the log when words say what was wrong.
    const QString shown = WithoutResultCode(openError, !problem.isEmpty());
    if (shown != openError) {
        const std::wstring file = TerminalSafe(path).toStdWString();
        const std::wstring line = TerminalSafe(openError).toStdWString();
        TNDebugOutputStr(TN_LOG_INFO, 0, L"Open: '%ls': %ls", file.c_str(), line.c_str());
    }
    if (problem.isEmpty()) return shown;
    // A step whose code was its last word is followed by the problem as by its reason.
    const bool bare = shown != openError && openError.endsWith(QLatin1Char(')'));
    return shown + (bare ? QStringLiteral(": ") : QStringLiteral("; ")) + problem;
}

}  // namespace kavlo
