// kavlo-tool compare: PSNR and MSE per frame and component of two raw files, on the stored
// samples (see analysis/SamplePsnr.h for the formulas), frames in parallel.
#include "ToolCommands.h"

#include "analysis/PsnrCsv.h"
#include "analysis/SamplePsnr.h"

#include "image/PixelLayout.h"
#include "settings/FrameSpan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kavlotool {

namespace {

// Reads frames of one file by the record's file layout: file prefix, then per frame the frame
// prefix, the frame's bytes and the frame postfix (as the raw video source does). Frames are read
// with pread, in bands of rows, never mapped: a file cut short while it is compared ends the read
// with the number of frames it still holds instead of a fault on a page past its new end, and
// the tool holds no more of the files than the bands in its buffers.
class FrameReader {
public:
    FrameReader() = default;
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;
    ~FrameReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Open(const Input& input, std::string& error) {
        path_ = input.path;
        fd_ = ::open(input.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error = input.path + ": " + std::strerror(errno);
            return false;
        }
        span_ = rawsettings::FrameSpan::Of(input.settings);
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
        return true;
    }
    uint64_t FrameSize() const { return uint64_t(span_.frameBytes); }
    // Asks the kernel to read frame n into the page cache in the background (nothing for a
    // frame past the end), so that a file not yet cached is read while earlier frames are
    // summed: frames taken in turn by several workers are no sequential reading that the
    // kernel's own read-ahead would follow.
    // A frame whose last byte is cached already is taken as cached whole (the advice would cost
    // a walk over its pages).
    void Prefetch(int64_t n) const {
        const int64_t at = span_.FrameStart(n);
        char last = 0;
        iovec byte{&last, 1};
        if (::preadv2(fd_, &byte, 1, static_cast<off_t>(at + span_.frameBytes - 1), RWF_NOWAIT) ==
            1)
            return;
        ::posix_fadvise(fd_, static_cast<off_t>(at), static_cast<off_t>(span_.frameBytes),
                        POSIX_FADV_WILLNEED);
    }
    // `bytes` bytes from byte `at` of frame n into `to`; false with the reason when the file no
    // longer holds them or cannot be read.
    bool Read(int64_t n, uint64_t at, size_t bytes, uint8_t* to, std::string& error) const {
        auto offset = static_cast<off_t>(span_.FrameStart(n) + int64_t(at));
        while (bytes > 0) {
            const ssize_t got = ::pread(fd_, to, bytes, offset);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error = path_ + ": frame " + std::to_string(n) +
                        " cannot be read: " + std::strerror(errno);
                return false;
            }
            if (got == 0) {
                error = path_ + " shrank to " + std::to_string(FramesNow()) + " frames at frame " +
                        std::to_string(n);
                return false;
            }
            to += got;
            offset += got;
            bytes -= static_cast<size_t>(got);
        }
        return true;
    }

private:
    // Whole frames at the file's size now, counted as the open counts them.
    int64_t FramesNow() const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return 0;
        return span_.WholeFrames(st.st_size);
    }

    std::string path_;
    int fd_ = -1;
    rawsettings::FrameSpan span_;
};

// The rows of a frame that are read together: one plane of A and the plane of B that holds the
// same components, with the plane entries of the components in them (component, entry index).
struct PlanePair {
    uint64_t offsetA = 0, offsetB = 0;
    uint64_t pitchA = 0, pitchB = 0;
    uint64_t rows = 0;
    std::vector<std::pair<size_t, size_t>> entries;
};

// Components that share a plane in both layouts (the Cb and Cr of NV12, the three of YUY2) share
// one pair, so that their rows are read once.
std::vector<PlanePair> PlanePairsOf(const FrameSamples& a, const FrameSamples& b) {
    std::vector<PlanePair> pairs;
    for (size_t c = 0; c < a.components.size() && c < b.components.size(); ++c) {
        const ComponentSamples& ca = a.components[c];
        const ComponentSamples& cb = b.components[c];
        for (size_t p = 0; p < ca.planes.size() && p < cb.planes.size(); ++p) {
            const ComponentSamples::InPlane& pa = ca.planes[p];
            const ComponentSamples::InPlane& pb = cb.planes[p];
            auto same = [&](const PlanePair& pair) {
                return pair.offsetA == pa.offset && pair.offsetB == pb.offset &&
                       pair.pitchA == pa.pitch && pair.pitchB == pb.pitch && pair.rows == pa.rows;
            };
            auto it = std::find_if(pairs.begin(), pairs.end(), same);
            if (it == pairs.end()) {
                PlanePair pair;
                pair.offsetA = pa.offset;
                pair.offsetB = pb.offset;
                pair.pitchA = pa.pitch;
                pair.pitchB = pb.pitch;
                pair.rows = pa.rows;
                it = pairs.insert(pairs.end(), pair);
            }
            it->entries.emplace_back(c, p);
        }
    }
    return pairs;
}

// Bytes of each file read at a time. A band of both files stays in the cache (the core's second
// level and the shared third) while its squared differences are summed after the copy out of
// the page cache; of 128 KiB to 16 MiB, bands of 1 to 2 MiB compared 4K frames fastest.
constexpr uint64_t kBandBytes = 1024 * 1024;

// One worker's reading and summing of frames: two files' readers and one band buffer each.
class FrameComparer {
public:
    // `ahead`: how many frames after the one it compares a worker has read ahead; B's frame
    // n + `offset` is compared with A's frame n.
    FrameComparer(const FrameSamples& a, const FrameSamples& b, int64_t ahead, int64_t offset)
        : a_(a), b_(b), pairs_(PlanePairsOf(a, b)), ahead_(ahead), offset_(offset) {}
    bool Open(const Input& a, const Input& b, std::string& error) {
        return readerA_.Open(a, error) && readerB_.Open(b, error);
    }
    // The sums of squared differences of frame n, component by component.
    bool Compare(int64_t n, std::vector<uint64_t>& sse, std::string& error) {
        sse.assign(a_.components.size(), 0);
        if (!prefetched_) {
            readerA_.Prefetch(n);
            readerB_.Prefetch(n + offset_);
            prefetched_ = true;
        }
        readerA_.Prefetch(n + ahead_);
        readerB_.Prefetch(n + offset_ + ahead_);
        for (const PlanePair& pair : pairs_) {
            const uint64_t widest = std::max<uint64_t>({pair.pitchA, pair.pitchB, 1});
            const uint64_t band = std::max<uint64_t>(1, kBandBytes / widest);
            for (uint64_t row = 0; row < pair.rows; row += band) {
                const uint64_t rows = std::min(band, pair.rows - row);
                // The band's rows, the last one only as far as the frame reaches.
                const uint64_t atA = pair.offsetA + row * pair.pitchA;
                const uint64_t atB = pair.offsetB + row * pair.pitchB;
                const uint64_t bytesA = std::min(rows * pair.pitchA, readerA_.FrameSize() - atA);
                const uint64_t bytesB = std::min(rows * pair.pitchB, readerB_.FrameSize() - atB);
                if (bandA_.size() < bytesA) bandA_.resize(bytesA);
                if (bandB_.size() < bytesB) bandB_.resize(bytesB);
                if (!readerA_.Read(n, atA, bytesA, bandA_.data(), error) ||
                    !readerB_.Read(n + offset_, atB, bytesB, bandB_.data(), error))
                    return false;
                for (const auto& [c, p] : pair.entries)
                    sse[c] += SumSquaredRows(a_, c, p, bandA_.data(), b_, bandB_.data(), rows);
            }
        }
        return true;
    }

private:
    const FrameSamples& a_;
    const FrameSamples& b_;
    std::vector<PlanePair> pairs_;
    int64_t ahead_;
    int64_t offset_;
    bool prefetched_ = false;
    FrameReader readerA_, readerB_;
    std::vector<uint8_t> bandA_, bandB_;
};

// Infinity is the text "inf" (JSON has no number for it).
std::string JsonNumber(double value, int decimals) {
    const std::string text = Number(value, decimals);
    return text == "inf" ? "\"inf\"" : text;
}

void PrintJson(const Input& a, const Input& b, const FrameSamples& samples, int64_t first,
               const std::vector<PsnrFigures>& frames, const PsnrFigures& summary, int64_t minFrame,
               int64_t maxFrame, int64_t offset) {
    auto figures = [&samples](const PsnrFigures& f, bool psnr) {
        std::string text = "{\"avg\": " + JsonNumber(psnr ? f.psnrAverage : f.mseAverage, 6);
        for (size_t c = 0; c < samples.components.size(); ++c)
            text += std::string(", \"") + ComponentName(samples.components[c].component) +
                    "\": " + JsonNumber(psnr ? f.psnr[c] : f.mse[c], 6);
        return text + "}";
    };
    std::printf("{\"a\": %s, \"b\": %s, ", JsonString(a.path).c_str(), JsonString(b.path).c_str());
    // Frame numbers are A's; B's frame is A's + offset (said only when it is not 0).
    if (offset != 0) std::printf("\"offset\": %" PRId64 ", ", offset);
    std::printf("\"components\": [");
    for (size_t c = 0; c < samples.components.size(); ++c)
        std::printf("%s\"%s\"", c ? ", " : "", ComponentName(samples.components[c].component));
    std::printf("],\n \"frames\": [");
    for (size_t i = 0; i < frames.size(); ++i) {
        std::printf("%s\n  {\"frame\": %" PRId64 ", \"mse\": %s, \"psnr\": %s}", i ? "," : "",
                    first + int64_t(i), figures(frames[i], false).c_str(),
                    figures(frames[i], true).c_str());
    }
    std::printf(
        "],\n \"summary\": {\"frames\": %zu, \"mse\": %s, \"psnr\": %s, \"min\": {\"frame\": "
        "%" PRId64 ", \"psnr\": %s}, \"max\": {\"frame\": %" PRId64 ", \"psnr\": %s}}}\n",
        frames.size(), figures(summary, false).c_str(), figures(summary, true).c_str(), minFrame,
        JsonNumber(frames[size_t(minFrame - first)].psnrAverage, 6).c_str(), maxFrame,
        JsonNumber(frames[size_t(maxFrame - first)].psnrAverage, 6).c_str());
}

}  // namespace

bool CompareFrames(const Input& a, const Input& b, const FrameSamples& samplesA,
                   const FrameSamples& samplesB, int64_t first, int64_t last, unsigned threads,
                   std::vector<PsnrFigures>& figures, std::string& error,
                   const std::function<void(int64_t)>& compared, int64_t offset) {
    const PsnrWeights weights = WeightsOf(samplesA);
    const int64_t frames = last - first + 1;
    figures.assign(static_cast<size_t>(std::max<int64_t>(frames, 0)), PsnrFigures());
    if (frames <= 0) return true;
    unsigned workers = threads ? threads : std::thread::hardware_concurrency();
    workers = static_cast<unsigned>(std::clamp<int64_t>(workers, 1, frames));
    std::atomic<int64_t> next{first};
    std::atomic<bool> stop{false};
    std::mutex errorLock;
    std::string firstError;
    int64_t failedFrame = last + 1;
    auto work = [&]() {
        // Each worker asks for the frame it will likely take after the next round of all.
        FrameComparer comparer(samplesA, samplesB, 2 * int64_t(workers), offset);
        std::string text;
        std::vector<uint64_t> sse;
        int64_t n = -1;
        bool ok = comparer.Open(a, b, text);
        while (ok && !stop) {
            n = next++;
            if (n > last) return;
            ok = comparer.Compare(n, sse, text);
            if (!ok) break;
            figures[size_t(n - first)] = FrameFigures(weights, sse, samplesA);
            if (compared) compared(n);
        }
        if (!ok) {
            // The earliest frame that failed is the one reported, whichever worker met it.
            std::lock_guard<std::mutex> lock(errorLock);
            if (firstError.empty() || n < failedFrame) {
                firstError = text;
                failedFrame = n;
            }
            stop = true;
        }
    };
    std::vector<std::thread> pool;
    for (unsigned i = 1; i < workers; ++i) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    if (firstError.empty()) return true;
    error = firstError;
    return false;
}

int RunCompare(const Request& request, Input& a, Input& b) {
    std::string error;
    int64_t countA = 0, countB = 0;
    int32_t width = 0, height = 0;
    {
        // The open checks the geometry and counts the frames as the viewer does.
        kavlo::VideoFile fileA, fileB;
        if (!OpenVideo(a, fileA, error) || !OpenVideo(b, fileB, error)) {
            PrintError(error);
            return kExitFailed;
        }
        if (fileA.Width() != fileB.Width() || fileA.Height() != fileB.Height()) {
            PrintError("the frame sizes differ: " + a.path + " is " +
                       std::to_string(fileA.Width()) + "x" + std::to_string(fileA.Height()) + ", " +
                       b.path + " is " + std::to_string(fileB.Width()) + "x" +
                       std::to_string(fileB.Height()));
            return kExitFailed;
        }
        countA = fileA.FrameCount();
        countB = fileB.FrameCount();
        width = fileA.Width();
        height = fileA.Height();
    }
    FrameSamples samplesA, samplesB;
    const RawVideoFormat& fa = a.settings.rawFormat;
    const RawVideoFormat& fb = b.settings.rawFormat;
    if (!DescribeSamples(fa.code, width, height, fa.lineBytes, samplesA) ||
        !DescribeSamples(fb.code, width, height, fb.lineBytes, samplesB)) {
        PrintError("the samples of layout " + LayoutText(samplesA.layout ? fb.code : fa.code) +
                   " are not described");
        return kExitFailed;
    }
    std::string why;
    if (!SamplesComparable(samplesA, samplesB, why)) {
        PrintError(LayoutText(fa.code) + " and " + LayoutText(fb.code) +
                   " cannot be compared: " + why);
        return kExitFailed;
    }
    // A's frames n whose B frame n + offset exists: from max(0, -offset) to
    // min(countA, countB - offset) - 1.
    const int64_t offset = request.offset;
    const int64_t overlapFirst = std::max<int64_t>(0, -offset);
    const int64_t overlapEnd = std::min(countA, countB - offset);
    if (offset != 0 && overlapEnd <= overlapFirst) {
        PrintError("--offset " + std::to_string(offset) + " leaves no frame of " + a.path + " (" +
                   std::to_string(countA) + " frames) with a frame of " + b.path + " (" +
                   std::to_string(countB) + " frames): B's frame = A's frame + offset");
        return kExitUsage;
    }
    const int64_t common = overlapEnd - overlapFirst;
    if (offset == 0 && countA != countB) {
        PrintError("warning: " + a.path + " has " + std::to_string(countA) + " frames, " + b.path +
                   " " + std::to_string(countB) + ": comparing the first " +
                   std::to_string(common));
    }
    int64_t first = 0, last = 0;
    FrameRange range = request.frames;
    if (range.given) {
        // The frames asked for are A's, counted from the first that has a B frame.
        if (range.first < overlapFirst) {
            PrintError("frame " + std::to_string(range.first) +
                       " of A has no frame of B at offset " + std::to_string(offset) +
                       ": the first that has is " + std::to_string(overlapFirst));
            return kExitUsage;
        }
        range.first -= overlapFirst;
        if (range.last >= 0) range.last -= overlapFirst;
    }
    if (!ResolveRange(range, common, first, last, error)) {
        PrintError(error);
        return kExitUsage;
    }
    first += overlapFirst;
    last += overlapFirst;
    if (offset != 0) {
        PrintError("comparing " + std::to_string(last - first + 1) + " frames: " + a.path + " " +
                   std::to_string(first) + "-" + std::to_string(last) + " with " + b.path + " " +
                   std::to_string(first + offset) + "-" + std::to_string(last + offset) +
                   " (B = A " + (offset > 0 ? "+ " : "- ") +
                   std::to_string(offset > 0 ? offset : -offset) + ")");
    }

    std::vector<PsnrFigures> figures;
    if (!CompareFrames(a, b, samplesA, samplesB, first, last, request.threads, figures, error, {},
                       offset)) {
        PrintError(error);
        return kExitFailed;
    }

    const PsnrWeights weights = WeightsOf(samplesA);
    // ffmpeg's min and max: the frames with the highest and the lowest average MSE.
    const PsnrExtremes extremes = FindPsnrExtremes(figures);
    const int64_t minFrame = first + static_cast<int64_t>(extremes.minIndex);
    const int64_t maxFrame = first + static_cast<int64_t>(extremes.maxIndex);
    const PsnrFigures summary = SummaryFigures(weights, figures);
    if (request.json) {
        PrintJson(a, b, samplesA, first, figures, summary, minFrame, maxFrame, offset);
    } else {
        std::fputs(PsnrCsvText(samplesA, first, figures, summary).c_str(), stdout);
    }
    std::fflush(stdout);
    if (request.psnrMinGiven) {
        const double lowest = figures[size_t(minFrame - first)].psnrAverage;
        if (lowest < request.psnrMin) {
            PrintError("frame " + std::to_string(minFrame) + " has a PSNR of " + Number(lowest, 2) +
                       " dB, below --psnr-min " + Number(request.psnrMin, 2));
            return kExitFailed;
        }
    }
    return kExitOk;
}

}  // namespace kavlotool
