#include "app/analysis/FrameExport.h"

#include "view/picture/FrameImage.h"
#include "view/file/LocalFileName.h"
#include "view/file/SafeWrite.h"
#include "view/file/VideoFile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>

#include <memory>
#include <string>
#include <vector>

namespace kavlo {

namespace {

// One %d or %0Nd (N up to 18) in a pattern.
const QRegularExpression& NumberField() {
    static const QRegularExpression field(QStringLiteral("%(0[1-9][0-9]?)?d"));
    return field;
}

QString WriteError(const QString& path, const QString& reason) {
    return QStringLiteral("couldn't write %1: %2").arg(QDir::toNativeSeparators(path), reason);
}

std::string LocalPath(const QString& path) { return FileNameToBytes(path).toStdString(); }

QString Reason(const std::string& reason) { return QString::fromLocal8Bit(reason); }

// The image encoded in memory, then written in a temporary file beside `path` and renamed to
// it when whole.
bool SaveImage(const QImage& image, const QString& path, const QByteArray& format, QString& error) {
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image)) {
        error = WriteError(path, writer.errorString());
        return false;
    }
    QString reason;
    if (!WriteWholeFile(path, encoded.constData(), encoded.size(), reason)) {
        error = WriteError(path, reason);
        return false;
    }
    return true;
}

}  // namespace

QString ImageSaveFilter() {
    QStringList filters{QStringLiteral("PNG image (*.png)")};
    for (const QString& e : WritableImageExtensions())
        if (e != QLatin1String("png"))
            filters << QStringLiteral("%1 image (*.%2)").arg(e.toUpper(), e);
    return filters.join(QStringLiteral(";;"));
}

bool WriteWholeFile(const QString& path, const char* data, qint64 size, QString& reason) {
    std::string why;
    if (!WriteFileSafely(LocalPath(path), data, static_cast<size_t>(size), true, true, why)) {
        reason = Reason(why);
        return false;
    }
    return true;
}

bool WriteImageFile(const QImage& image, const QString& path, QString& error) {
    const QByteArray format = ImageFormatOfName(path);
    if (format.isEmpty()) {
        error = UnknownImageFormatError(path);
        return false;
    }
    if (image.isNull()) {
        error = WriteError(path, QStringLiteral("there is no picture"));
        return false;
    }
    return SaveImage(image, path, format, error);
}

bool CheckExportPattern(const QString& pattern, ExportFormat format, QString& error) {
    if (pattern.isEmpty()) {
        error = QStringLiteral("the file name is empty");
        return false;
    }
    if (pattern.contains(QLatin1Char('/')) || pattern.contains(QLatin1Char('\\'))) {
        error = QStringLiteral("the file name must not name a folder: %1").arg(pattern);
        return false;
    }
    if (format == ExportFormat::RawFrames) return true;
    const qsizetype fields = pattern.count(NumberField());
    if (fields != 1 || pattern.count(QLatin1Char('%')) != 1) {
        error =
            QStringLiteral("the file name needs exactly one %d or %05d for the frame number: %1")
                .arg(pattern);
        return false;
    }
    if (ImageFormatOfName(ExportFileName(pattern, 0)).isEmpty()) {
        error = UnknownImageFormatError(pattern);
        return false;
    }
    return true;
}

QString ExportFileName(const QString& pattern, int64_t frame) {
    const QRegularExpressionMatch m = NumberField().match(pattern);
    if (!m.hasMatch()) return pattern;
    const int digits = m.captured(1).isEmpty() ? 0 : m.captured(1).toInt();
    QString name = pattern;
    name.replace(
        m.capturedStart(), m.capturedLength(),
        QStringLiteral("%1").arg(static_cast<qlonglong>(frame), digits, 10, QLatin1Char('0')));
    return name;
}

QStringList ExportTargets(const ExportRequest& request) {
    const QDir folder(request.folder);
    if (request.format == ExportFormat::RawFrames) return {folder.filePath(request.pattern)};
    QStringList paths;
    for (int64_t n = request.first; n <= request.last; ++n)
        paths << folder.filePath(ExportFileName(request.pattern, n));
    return paths;
}

bool CheckExportTargets(const QStringList& targets, QString& error) {
    for (const QString& t : targets) {
        std::string writePath, reason;
        if (CheckWriteTarget(LocalPath(t), writePath, reason) == WriteTarget::Refused) {
            error = WriteError(t, Reason(reason));
            return false;
        }
    }
    return true;
}

int64_t FramesKept(const ExportRequest& request, const ExportResult& result) {
    if (request.format == ExportFormat::RawFrames && result.status != ExportResult::Done) return 0;
    return result.framesWritten;
}

QString ExportEndMessage(const ExportRequest& request, const ExportResult& result) {
    const int64_t kept = FramesKept(request, result);
    QString written = kept == 0
                          ? QStringLiteral("no frame written")
                          : QStringLiteral("%1 %2 written to %3")
                                .arg(kept)
                                .arg(kept == 1 ? QStringLiteral("frame") : QStringLiteral("frames"),
                                     QDir::toNativeSeparators(request.folder));
    if (kept < result.framesWritten) written += QStringLiteral(" (a raw file is kept only whole)");
    switch (result.status) {
    case ExportResult::Done: break;
    case ExportResult::Cancelled: return QStringLiteral("Export cancelled: %1.").arg(written);
    case ExportResult::Failed:
        return QStringLiteral("The export stopped: %1. %2.")
            .arg(result.error, written.left(1).toUpper() + written.mid(1));
    }
    return written.left(1).toUpper() + written.mid(1) + QLatin1Char('.');
}

ExportResult ExportFrames(const ExportRequest& request, const ExportCallbacks& callbacks) {
    ExportResult result;
    QString error;
    if (!CheckExportPattern(request.pattern, request.format, error)) {
        result.error = error;
        return result;
    }
    const QFileInfo folderInfo(request.folder);
    if (!folderInfo.isDir()) {
        result.error =
            QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(request.folder));
        return result;
    }

    RawSettings settings = request.settings;
    VideoFile file;
    if (!file.Open(&settings, request.sourcePath, error)) {
        result.error = QStringLiteral("couldn't open %1: %2")
                           .arg(QDir::toNativeSeparators(request.sourcePath), error);
        return result;
    }
    if (request.first < 0 || request.last < request.first || request.last >= file.FrameCount()) {
        result.error = QStringLiteral("the frames %1 to %2 are not all in the file (0 to %3)")
                           .arg(request.first)
                           .arg(request.last)
                           .arg(file.FrameCount() - 1);
        return result;
    }

    const QStringList targets = ExportTargets(request);
    QStringList existing;
    for (const QString& t : targets)
        if (QFileInfo::exists(t)) existing << t;
    if (!existing.isEmpty() && (!callbacks.askOverwrite || callbacks.askOverwrite(existing) !=
                                                               OverwriteAnswer::OverwriteAll)) {
        result.status = ExportResult::Cancelled;
        return result;
    }

    // What an earlier run killed outright left for these names.
    std::vector<std::string> localTargets;
    for (const QString& t : targets) localTargets.push_back(LocalPath(t));
    RemoveStaleTempFiles(localTargets);

    const int64_t total = request.last - request.first + 1;
    FrameRenderer renderer;
    std::unique_ptr<DisplayBitmap> bitmap;
    std::unique_ptr<SafeFile> raw;
    QByteArray imageFormat;
    std::string reason;
    if (request.format == ExportFormat::RawFrames) {
        raw = std::make_unique<SafeFile>();
        if (!raw->Open(localTargets.front(), reason)) {
            result.error = WriteError(targets.front(), Reason(reason));
            return result;
        }
    } else {
        imageFormat = ImageFormatOfName(targets.front());
        if (!renderer.Reserve(file.Width(), file.Height())) {
            result.error = QStringLiteral("couldn't allocate the frame image");
            return result;
        }
    }
    const auto frameBytes =
        static_cast<qint64>(file.LineBytes()) * static_cast<qint64>(file.Height());

    for (int64_t n = request.first; n <= request.last; ++n) {
        if (!file.LoadFrame(n)) {
            result.error = QStringLiteral("couldn't read frame %1 of %2")
                               .arg(n)
                               .arg(QDir::toNativeSeparators(request.sourcePath));
            return result;  // an unfinished raw file is discarded with its SafeFile
        }
        if (raw) {
            if (!raw->Write(file.RawFrame(), static_cast<size_t>(frameBytes), reason)) {
                result.error = WriteError(targets.front(), Reason(reason));
                return result;
            }
        } else {
            if (!renderer.Render(file.Frame(), request.switches, bitmap) || !bitmap) {
                result.error = QStringLiteral("couldn't render frame %1").arg(n);
                return result;
            }
            const QString& path = targets[static_cast<qsizetype>(n - request.first)];
            if (!SaveImage(DisplayBitmapImage(*bitmap), path, imageFormat, error)) {
                result.error = error;
                return result;
            }
        }
        ++result.framesWritten;
        if (callbacks.progress && !callbacks.progress(result.framesWritten, total)) {
            result.status = ExportResult::Cancelled;
            return result;
        }
    }
    if (raw && !raw->Commit(true, true, reason)) {
        result.error = WriteError(targets.front(), Reason(reason));
        return result;
    }
    result.status = ExportResult::Done;
    return result;
}

}  // namespace kavlo
