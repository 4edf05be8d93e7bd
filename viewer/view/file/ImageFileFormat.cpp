#include "view/file/ImageFileFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>

namespace kavlo {

QStringList WritableImageExtensions() {
    QStringList list;
    for (const QByteArray& f : QImageWriter::supportedImageFormats())
        list << QString::fromLatin1(f).toLower();
    list.removeDuplicates();
    list.sort();
    return list;
}

QByteArray ImageFormatOfName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    return !suffix.isEmpty() && WritableImageExtensions().contains(suffix) ? suffix.toLatin1()
                                                                           : QByteArray();
}

QString UnknownImageFormatError(const QString& name) {
    const QString suffix = QFileInfo(name).suffix();
    return QStringLiteral("%1: %2; use one of: %3")
        .arg(QDir::toNativeSeparators(name),
             suffix.isEmpty() ? QStringLiteral("no image format in the name")
                              : QStringLiteral("unknown image format \"%1\"").arg(suffix),
             WritableImageExtensions().join(QStringLiteral(", ")));
}

}  // namespace kavlo
