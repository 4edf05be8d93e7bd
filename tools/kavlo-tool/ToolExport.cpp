// kavlo-tool export: frames rendered exactly as the view renders them (VideoFile and
// FrameRenderer with the view's switches), written in the image format the names' suffix asks
// for (PNG and binary PPM by writers of the tool's own, the other formats by Qt's), frames in
// parallel.
#include "ToolCommands.h"

#include "view/picture/DisplayBitmap.h"
#include "view/picture/FieldRender.h"
#include "view/picture/FrameRender.h"
#include "view/file/ImageFileFormat.h"
#include "view/file/SafeWrite.h"

#include "PngWrite.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kavlotool {

// zlib level of the PNG files: level 1 writes a 1080p frame of the clip generator in about 10 ms
// as about 130 KB (ffmpeg's PNG encoder with its defaults, level 6: 40 KB, in about twice the
// processor time).
constexpr int kPngZlibLevel = 1;

namespace {

ViewSwitches SwitchesFor(const Request& request, const RawSettings& settings) {
    // As the view starts a file: deinterlacing from the record, everything else off.
    ViewSwitches s;
    s.deinterlace = settings.deinterlace ? 1 : 0;
    s.deinterlaceMethod = settings.deinterlaceMethod;
    if (request.deinterlace >= 0) {
        s.deinterlace = 1;
        s.deinterlaceMethod = static_cast<uint32_t>(request.deinterlace);
    }
    s.flipToggle = request.flip ? 1 : 0;
    s.splitFields = request.splitFields ? 1 : 0;
    s.swappedFieldOrder = request.swapFields ? 1 : 0;
    s.lumaOnly = request.channel == Channel::Y ? 1 : 0;
    s.cbOnly = request.channel == Channel::Cb ? 1 : 0;
    s.crOnly = request.channel == Channel::Cr ? 1 : 0;
    return s;
}

// The picture of a bitmap as the view shows it, top line first, as the bytes of a file in
// `format`.
bool Encode(const kavlo::DisplayBitmap& bitmap, int width, const std::string& format,
            std::vector<uint8_t>& out) {
    const int height = bitmap.Height();
    if (format == "ppm") {
        const std::string header =
            "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
        const size_t rowBytes = size_t(width) * 3;
        out.resize(header.size() + rowBytes * size_t(height));
        uint8_t* p = out.data();
        // The header's text without its terminator: the pixels follow it.
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
        std::memcpy(p, header.data(), header.size());
        p += header.size();
        for (int y = 0; y < height; ++y, p += rowBytes) {
            const uint8_t* line = bitmap.LineOnScreen(y);
            for (int x = 0; x < width; ++x) {
                p[3 * x] = line[3 * x + 2];
                p[3 * x + 1] = line[3 * x + 1];
                p[3 * x + 2] = line[3 * x];
            }
        }
        return true;
    }
    out.clear();
    if (format != "png") {
        QImage image(width, height, QImage::Format_RGB888);
        if (image.isNull()) return false;
        for (int y = 0; y < height; ++y) {
            const uint8_t* line = bitmap.LineOnScreen(y);
            uint8_t* rgb = image.scanLine(y);
            for (int x = 0; x < width; ++x) {
                rgb[3 * x] = line[3 * x + 2];
                rgb[3 * x + 1] = line[3 * x + 1];
                rgb[3 * x + 2] = line[3 * x];
            }
        }
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, QByteArray::fromStdString(format));
        if (!writer.write(image)) return false;
        out.assign(encoded.begin(), encoded.end());
        return true;
    }
    return WritePng(
        width, height, kPngZlibLevel,
        [&bitmap, width](int y, uint8_t* rgb) {
            const uint8_t* line = bitmap.LineOnScreen(y);
            for (int x = 0; x < width; ++x) {
                rgb[3 * x] = line[3 * x + 2];
                rgb[3 * x + 1] = line[3 * x + 1];
                rgb[3 * x + 2] = line[3 * x];
            }
        },
        out);
}

}  // namespace

bool ParseOutputPattern(const std::string& text, NamePattern& pattern, std::string& format,
                        std::string& error) {
    if (!ParseNamePattern(text, pattern, error)) return false;
    const QString name = QFile::decodeName(QByteArray::fromStdString(FormatName(pattern, 0)));
    format = kavlo::ImageFormatOfName(name).toStdString();
    if (format.empty()) {
        error = kavlo::UnknownImageFormatError(QFile::decodeName(QByteArray::fromStdString(text)))
                    .toStdString();
        return false;
    }
    return true;
}

int RunExport(const Request& request, Input& input) {
    std::string error;
    NamePattern pattern;
    std::string format;
    if (!ParseOutputPattern(request.outPattern, pattern, format, error)) {
        PrintError(error);
        return kExitUsage;
    }
    kavlo::VideoFile probe;
    if (!OpenVideo(input, probe, error)) {
        PrintError(error);
        return kExitFailed;
    }
    int64_t first = 0, last = 0;
    if (!ResolveRange(request.frames, probe.FrameCount(), first, last, error)) {
        PrintError(error);
        return kExitUsage;
    }
    if (!pattern.hasNumber && last > first) {
        PrintError("the pattern " + request.outPattern +
                   " has no %d for the frame number, and several frames are asked for");
        return kExitUsage;
    }
    const ViewSwitches switches = SwitchesFor(request, input.settings);

    // Every name is checked before anything is written: anything but a regular file under a
    // name stops the export, --force or not (a rename would put a file in place of a device, a
    // pipe or a socket), and so does an existing file without --force.
    std::vector<std::string> names;
    for (int64_t n = first; n <= last; ++n) {
        names.push_back(FormatName(pattern, n));
        std::string writePath, reason;
        const kavlo::WriteTarget target = kavlo::CheckWriteTarget(names.back(), writePath, reason);
        if (target == kavlo::WriteTarget::Refused) {
            PrintError("cannot write " + names.back() + ": " + reason);
            return kExitFailed;
        }
        if (target == kavlo::WriteTarget::Regular && !request.force) {
            PrintError(names.back() + " exists (--force overwrites it)");
            return kExitFailed;
        }
    }
    // What an earlier run of this export left when it was killed outright.
    kavlo::RemoveStaleTempFiles(names);

    const int64_t frames = last - first + 1;
    unsigned workers = request.threads ? request.threads : std::thread::hardware_concurrency();
    workers = static_cast<unsigned>(std::clamp<int64_t>(workers, 1, frames));
    // One file and one renderer per worker: frames are independent, and each open file has
    // one reader. The conversion inside a worker runs on that worker alone.
    struct Worker {
        kavlo::VideoFile file;
        kavlo::FrameRenderer renderer;
        std::unique_ptr<kavlo::DisplayBitmap> bitmap;
    };
    std::vector<std::unique_ptr<Worker>> team;
    for (unsigned i = 0; i < workers; ++i) {
        auto w = std::make_unique<Worker>();
        if (!OpenVideo(input, w->file, error)) {
            PrintError(error);
            return kExitFailed;
        }
        if (!w->renderer.Reserve(w->file.Width(), w->file.Height())) {
            PrintError(input.path + ": not enough memory to render a frame");
            return kExitFailed;
        }
        team.push_back(std::move(w));
    }

    std::atomic<int64_t> next{first};
    std::atomic<bool> stop{false};
    std::mutex errorLock;
    std::string firstError;
    auto fail = [&](const std::string& text) {
        std::lock_guard<std::mutex> lock(errorLock);
        if (firstError.empty()) firstError = text;
        stop = true;
    };
    auto work = [&](Worker& w) {
        // Frames are the unit of parallel work: with several workers each converts on its own
        // thread, without a team of its own that would compete for the same processors.
        if (workers > 1) omp_set_num_threads(1);
        std::vector<uint8_t> bytes;
        for (;;) {
            if (stop) return;
            const int64_t n = next++;
            if (n > last) return;
            if (!w.file.LoadFrame(n)) {
                fail(input.path + ": frame " + std::to_string(n) + " cannot be read");
                return;
            }
            if (!w.renderer.Render(w.file.Frame(), switches, w.bitmap) || !w.bitmap) {
                fail(input.path + ": frame " + std::to_string(n) + " cannot be rendered");
                return;
            }
            const std::string& name = names[static_cast<size_t>(n - first)];
            if (!Encode(*w.bitmap, w.file.Width(), format, bytes)) {
                fail("cannot encode " + name);
                return;
            }
            // Written under a temporary name and renamed when complete, so that no half-written
            // file ever carries the name; without --force an existing file is kept.
            std::string reason;
            bool exists = false;
            if (!kavlo::WriteFileSafely(name, bytes.data(), bytes.size(), request.force, false,
                                        reason, &exists)) {
                fail(exists ? name + " exists (--force overwrites it)"
                            : "cannot write " + name + ": " + reason);
                return;
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < workers; ++i) threads.emplace_back(work, std::ref(*team[i]));
    work(*team[0]);
    for (std::thread& t : threads) t.join();
    if (!firstError.empty()) {
        PrintError(firstError);
        return kExitFailed;
    }
    std::printf("%lld frame%s written: %s .. %s\n", static_cast<long long>(frames),
                frames == 1 ? "" : "s", FormatName(pattern, first).c_str(),
                FormatName(pattern, last).c_str());
    return kExitOk;
}

}  // namespace kavlotool
