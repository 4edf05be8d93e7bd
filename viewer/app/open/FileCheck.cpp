#include "app/open/FileCheck.h"

#include "view/file/LocalFileName.h"

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

QString OpenFailureReason(const QString& path, const QString& openError) {
    const QString problem = FileProblem(path);
    if (openError.isEmpty())
        return problem.isEmpty() ? QStringLiteral("the file cannot be read with these settings")
                                 : problem;
    return problem.isEmpty() ? openError : QStringLiteral("%1; %2").arg(openError, problem);
}

}  // namespace kavlo
