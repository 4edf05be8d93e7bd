// Which image format a file is written in: the one its name's suffix names, among those Qt's
// image writers write. One rule for the viewer's Save Frame As and Export Frames and for the
// command-line tool's export; a name whose suffix names no format is refused, never written in
// some other format than it says.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kavlo {

// The lower-case suffixes of the formats Qt's image writers write ("bmp", "jpg", "png", "ppm",
// ...), sorted.
QStringList WritableImageExtensions();
// The format a file name's suffix names, in lower case ("png", "bmp", "jpeg", ...); empty when no
// writer knows it or the name has no suffix.
QByteArray ImageFormatOfName(const QString& name);
// The message for a name whose suffix names no format: the name and the accepted suffixes.
QString UnknownImageFormatError(const QString& name);

}  // namespace kavlo
