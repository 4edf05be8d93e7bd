// File names that are not UTF-8, carried through the viewer without loss.
//
// Linux file names are bytes. Qt decodes them as UTF-8 and puts U+FFFD in place of bytes that do
// not decode, which loses the name: "caf\xE9.raw" (ISO 8859-1) comes back as "caf\uFFFD.raw",
// a file that does not exist. Here such bytes become lone surrogates U+DC80..U+DCFF in the
// QString instead (see TNFileName.h), which turn back into the same bytes wherever the name
// reaches the file system: in the plug-in, and in the functions below.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

class QUrl;
struct _TNStr;

namespace kavlo {

// The text of a file name's bytes (a command-line argument, a directory entry).
QString FileNameFromBytes(const QByteArray& bytes);
// The bytes of a file name. Text with a surrogate that stands for no byte (which no file name
// decodes to) is encoded as Qt encodes it.
QByteArray FileNameToBytes(const QString& name);
// The core string the plug-in opens: the UTF-16 units of the name as they are. The caller owns
// the reference; null when memory runs out.
_TNStr* FileNameToCoreString(const QString& name);

// A path Qt decoded lossily (the file dialog's answer) made a name of the file it meant: every
// component that does not exist and holds U+FFFD is looked up among the raw names of its folder
// by their lossy decoding. A unique match takes its place; otherwise, or when nothing needs
// resolving, the path comes back unchanged.
QString ResolveLossyFileName(const QString& path);

// The local path of a dropped file URL, its percent escapes taken as the name's bytes (a
// URL's toLocalFile decodes them as UTF-8, lossily).
QString FileNameFromUrl(const QUrl& url);

// A file name as a settings value: the text itself when the name is UTF-8 (as names have always
// been stored), its bytes when it is not, since the settings file keeps no lone surrogate.
QVariant FileNameToSettingValue(const QString& name);
// The name of a settings value of either form; false for any other value, bytes that are UTF-8
// included (only names that are not UTF-8 are stored as bytes).
bool FileNameFromSettingValue(const QVariant& value, QString* name);

// The size of the named file; false when it cannot be examined.
bool LocalFileSize(const QString& name, qint64* size);

// The absolute, clean form of a file name: a relative name is taken from the working folder,
// "." and ".." and doubled separators go. Names that are not UTF-8 stay lossless (the working
// folder is read as bytes). An empty name stays empty.
QString AbsoluteFileName(const QString& path);

}  // namespace kavlo
