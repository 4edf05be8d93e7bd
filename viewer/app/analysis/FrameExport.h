// Writing frames to files, without a widget: one image by its file name's extension, and the
// export of a range of frames as an image sequence or as raw frames. Every file is written under
// a temporary name in its folder and renamed when whole, so that no half-written file ever
// stands under a final name (a cancelled run, a full disk, a crash), and only a regular file is
// ever replaced (view/SafeWrite.h).
#pragma once

#include "settings/RawSettings.h"
#include "view/picture/FrameRender.h"
#include "view/file/ImageFileFormat.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace kavlo {

// A file dialog filter of those formats, PNG first.
QString ImageSaveFilter();
// Writes `image` to `path` in the format its extension names (ImageFormatOfName). False with a
// message naming the file for an unknown or missing extension, a target that is not a regular
// file, and any failure to write.
bool WriteImageFile(const QImage& image, const QString& path, QString& error);
// Writes `size` bytes to a temporary file beside `path`, renamed to it when whole, replacing a
// regular file there; unbuffered, so that a write the system cuts short (a full disk, a file size
// limit) is seen and leaves no file. False with the reason otherwise.
bool WriteWholeFile(const QString& path, const char* data, qint64 size, QString& reason);

enum class ExportFormat {
    ImageSequence,  // one image per frame, named by a pattern with the frame number
    RawFrames,      // one file of the frames' bytes, concatenated (no file or frame prefixes
                    // and postfixes), in the source's layout and pitch
};

struct ExportRequest {
    QString sourcePath;
    RawSettings settings{};  // the record the file is open with
    ViewSwitches switches;   // what the images show: channel, fields, deinterlacing, flip
    int64_t first = 0;       // frame range, both ends included
    int64_t last = 0;
    ExportFormat format = ExportFormat::ImageSequence;
    QString folder;
    // ImageSequence: a file name with one %d, or %0Nd for N digits, where the frame number goes
    // ("clip_%05d.png"); its extension picks the image format. RawFrames: the file name.
    QString pattern;
};

// Whether the pattern can name the files of the export; the error says what is wrong.
bool CheckExportPattern(const QString& pattern, ExportFormat format, QString& error);
// The pattern with the frame number in place of its %d or %0Nd.
QString ExportFileName(const QString& pattern, int64_t frame);
// The paths the export writes, in order.
QStringList ExportTargets(const ExportRequest& request);
// Whether every target is a new name or a regular file (or a link to one); the error names the
// first that is not, and what it is.
bool CheckExportTargets(const QStringList& targets, QString& error);

enum class OverwriteAnswer { OverwriteAll, Cancel };

struct ExportCallbacks {
    // Asked once, before anything is written, when some of the targets exist already.
    std::function<OverwriteAnswer(const QStringList& existing)> askOverwrite;
    // After every frame; returning false cancels the run.
    std::function<bool(int64_t done, int64_t total)> progress;
};

struct ExportResult {
    enum Status { Done, Cancelled, Failed };
    Status status = Failed;
    int64_t framesWritten = 0;
    QString error;  // Failed: what went wrong, naming the file
};

// How many of the frames written stay in files: all of an image sequence's, those of a raw file
// only when the run was done (an unfinished raw file is discarded).
int64_t FramesKept(const ExportRequest& request, const ExportResult& result);
// What the end of a run says: "4 frames written to FOLDER.", "Export cancelled: 2 frames written
// to FOLDER.", "The export stopped: ERROR. 1 frame written to FOLDER.", and "no frame written"
// where none stays.
QString ExportEndMessage(const ExportRequest& request, const ExportResult& result);

// Runs the export on the calling thread with a file and a renderer of its own. A failure stops
// the run; files finished before it stay, the one being written is discarded. Temporary files
// that a killed earlier run left for these targets are removed first.
ExportResult ExportFrames(const ExportRequest& request, const ExportCallbacks& callbacks);

}  // namespace kavlo
