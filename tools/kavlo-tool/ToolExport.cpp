// kavlo-tool export: frames rendered exactly as the view renders them (VideoFile and
// FrameRenderer with the view's switches), written as PNG or binary PPM, frames in parallel.
#include "ToolCommands.h"

#include "view/DisplayBitmap.h"
#include "view/FieldRender.h"
#include "view/FrameRender.h"

#include "PngWrite.h"

#include <omp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool EndsWithPpm(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".ppm";
}

// The picture of a bitmap as the view shows it, top line first, as PPM or PNG bytes.
bool Encode(const kavlo::DisplayBitmap& bitmap, int width, bool ppm, std::vector<uint8_t>& out) {
    const int height = bitmap.Height();
    if (ppm) {
        const std::string header =
            "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
        const size_t rowBytes = size_t(width) * 3;
        out.resize(header.size() + rowBytes * size_t(height));
        uint8_t* p = out.data();
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

// Writes `bytes` to a temporary file beside `name` and renames it to `name` when complete, so
// that no half-written file ever carries the name. Without `force` an existing file is kept.
bool WriteFileAtomically(const std::string& name, const std::vector<uint8_t>& bytes, bool force,
                         std::string& error) {
    const size_t slash = name.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::string temp =
        folder + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
        std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()) % 1000000);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "cannot write " + name + ": " + std::strerror(errno);
        return false;
    }
    const uint8_t* p = bytes.data();
    size_t left = bytes.size();
    int failure = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failure = errno;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        ::unlink(temp.c_str());
        error = "cannot write " + name + ": " + std::strerror(failure);
        return false;
    }
    int renamed = 0;
    if (force) {
        renamed = ::rename(temp.c_str(), name.c_str());
    } else {
        renamed = ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
        if (renamed != 0 && errno == EINVAL) {
            // A file system without the no-replace rename: a hard link refuses to replace too.
            renamed = ::link(temp.c_str(), name.c_str());
            if (renamed == 0) ::unlink(temp.c_str());
        }
    }
    if (renamed != 0) {
        const int why = errno;
        ::unlink(temp.c_str());
        error = why == EEXIST ? name + " exists (--force overwrites it)"
                              : "cannot write " + name + ": " + std::strerror(why);
        return false;
    }
    return true;
}

}  // namespace

int RunExport(const Request& request, Input& input) {
    std::string error;
    NamePattern pattern;
    if (!ParseNamePattern(request.outPattern, pattern, error)) {
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
    const bool ppm = EndsWithPpm(request.outPattern);
    const ViewSwitches switches = SwitchesFor(request, input.settings);

    // Every name is checked before anything is written: an existing file stops the export.
    if (!request.force) {
        for (int64_t n = first; n <= last; ++n) {
            const std::string name = FormatName(pattern, n);
            struct stat st {};
            if (::lstat(name.c_str(), &st) == 0) {
                PrintError(name + " exists (--force overwrites it)");
                return kExitFailed;
            }
        }
    }

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
            const std::string name = FormatName(pattern, n);
            if (!Encode(*w.bitmap, w.file.Width(), ppm, bytes)) {
                fail("cannot encode " + name);
                return;
            }
            std::string writeError;
            if (!WriteFileAtomically(name, bytes, request.force, writeError)) {
                fail(writeError);
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
