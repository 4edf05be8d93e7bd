#include "FileCheck.h"

#include "view/LocalFileName.h"

#include <QDir>

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

QString AbsoluteFileName(const QString& path) {
    if (path.isEmpty()) return path;
    if (path.startsWith(QLatin1Char('/'))) return QDir::cleanPath(path);
    std::string folder(4096, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        // No working folder to go by (it was removed, or is out of reach): the name as given.
        if (errno != ERANGE || folder.size() > (1u << 20)) return QDir::cleanPath(path);
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    return QDir::cleanPath(FileNameFromBytes(QByteArray::fromStdString(folder)) + QLatin1Char('/') +
                           path);
}

}  // namespace kavlo
