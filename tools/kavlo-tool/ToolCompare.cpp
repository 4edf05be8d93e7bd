// kavlo-tool compare: PSNR and MSE per frame and component of two raw files, on the stored
// samples (see image/SamplePsnr.h for the formulas), frames in parallel.
#include "ToolCommands.h"

#include "image/PsnrCsv.h"
#include "image/SamplePsnr.h"

#include "image/PixelLayout.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace kavlotool {

namespace {

// Reads frames of one file by the record's file layout: file prefix, then per frame the frame
// prefix, |line bytes| x height bytes and the frame postfix (as the raw video source does).
// The file is mapped and its frames are read where they lie, which saves copying every byte
// through a read buffer; a file that cannot be mapped is read with pread instead. The file was
// measured when it was opened: a file cut short while it is compared is not provided for.
class FrameReader {
public:
    ~FrameReader() {
        if (map_) ::munmap(map_, mapBytes_);
        if (fd_ >= 0) ::close(fd_);
    }
    bool Open(const Input& input, int64_t frames, std::string& error) {
        path_ = input.path;
        fd_ = ::open(input.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error = input.path + ": " + std::strerror(errno);
            return false;
        }
        const RawSettings& s = input.settings;
        frameBytes_ = FrameBytes(s.rawFormat);
        stride_ = uint64_t(s.framePrefix) + frameBytes_ + s.framePostfix;
        first_ = uint64_t(uint32_t(s.filePrefix)) + s.framePrefix;
        const uint64_t end = first_ + uint64_t(frames - 1) * stride_ + frameBytes_;
        struct stat st {};
        if (frames > 0 && ::fstat(fd_, &st) == 0 && uint64_t(st.st_size) >= end) {
            void* map = ::mmap(nullptr, static_cast<size_t>(end), PROT_READ, MAP_SHARED, fd_, 0);
            if (map != MAP_FAILED) {
                map_ = static_cast<uint8_t*>(map);
                mapBytes_ = static_cast<size_t>(end);
                ::madvise(map_, mapBytes_, MADV_SEQUENTIAL);
                return true;
            }
        }
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
        buffer_.resize(static_cast<size_t>(frameBytes_));
        return true;
    }
    // Frame n, or null with the reason.
    const uint8_t* Read(int64_t n, std::string& error) {
        const uint64_t at = first_ + uint64_t(n) * stride_;
        if (map_) {
            if (at + frameBytes_ <= mapBytes_) return map_ + at;
            error = path_ + ": frame " + std::to_string(n) + " lies past the end of the file";
            return nullptr;
        }
        uint8_t* p = buffer_.data();
        size_t left = buffer_.size();
        auto offset = static_cast<off_t>(at);
        while (left > 0) {
            const ssize_t got = ::pread(fd_, p, left, offset);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                error = path_ + ": frame " + std::to_string(n) + " cannot be read" +
                        (got < 0 ? std::string(": ") + std::strerror(errno) : "");
                return nullptr;
            }
            p += got;
            offset += got;
            left -= static_cast<size_t>(got);
        }
        return buffer_.data();
    }

private:
    std::string path_;
    int fd_ = -1;
    uint64_t frameBytes_ = 0, stride_ = 0, first_ = 0;
    uint8_t* map_ = nullptr;
    size_t mapBytes_ = 0;
    std::vector<uint8_t> buffer_;
};

// Infinity is the text "inf" (JSON has no number for it).
std::string JsonNumber(double value, int decimals) {
    const std::string text = Number(value, decimals);
    return text == "inf" ? "\"inf\"" : text;
}

void PrintJson(const Input& a, const Input& b, const FrameSamples& samples, int64_t first,
               const std::vector<PsnrFigures>& frames, const PsnrFigures& summary, int64_t minFrame,
               int64_t maxFrame) {
    auto figures = [&samples](const PsnrFigures& f, bool psnr) {
        std::string text = "{\"avg\": " + JsonNumber(psnr ? f.psnrAverage : f.mseAverage, 6);
        for (size_t c = 0; c < samples.components.size(); ++c)
            text += std::string(", \"") + ComponentName(samples.components[c].component) +
                    "\": " + JsonNumber(psnr ? f.psnr[c] : f.mse[c], 6);
        return text + "}";
    };
    std::printf("{\"a\": %s, \"b\": %s, \"components\": [", JsonString(a.path).c_str(),
                JsonString(b.path).c_str());
    for (size_t c = 0; c < samples.components.size(); ++c)
        std::printf("%s\"%s\"", c ? ", " : "", ComponentName(samples.components[c].component));
    std::printf("],\n \"frames\": [");
    for (size_t i = 0; i < frames.size(); ++i)
        std::printf("%s\n  {\"frame\": %" PRId64 ", \"mse\": %s, \"psnr\": %s}", i ? "," : "",
                    first + int64_t(i), figures(frames[i], false).c_str(),
                    figures(frames[i], true).c_str());
    std::printf(
        "],\n \"summary\": {\"frames\": %zu, \"mse\": %s, \"psnr\": %s, \"min\": {\"frame\": "
        "%" PRId64 ", \"psnr\": %s}, \"max\": {\"frame\": %" PRId64 ", \"psnr\": %s}}}\n",
        frames.size(), figures(summary, false).c_str(), figures(summary, true).c_str(), minFrame,
        JsonNumber(frames[size_t(minFrame - first)].psnrAverage, 6).c_str(), maxFrame,
        JsonNumber(frames[size_t(maxFrame - first)].psnrAverage, 6).c_str());
}

}  // namespace

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
    const int64_t common = std::min(countA, countB);
    if (countA != countB)
        PrintError("warning: " + a.path + " has " + std::to_string(countA) + " frames, " + b.path +
                   " " + std::to_string(countB) + ": comparing the first " +
                   std::to_string(common));
    int64_t first = 0, last = 0;
    if (!ResolveRange(request.frames, common, first, last, error)) {
        PrintError(error);
        return kExitUsage;
    }

    const PsnrWeights weights = WeightsOf(samplesA);
    const int64_t frames = last - first + 1;
    std::vector<PsnrFigures> figures(static_cast<size_t>(frames));
    unsigned workers = request.threads ? request.threads : std::thread::hardware_concurrency();
    workers = static_cast<unsigned>(std::clamp<int64_t>(workers, 1, frames));
    std::atomic<int64_t> next{first};
    std::atomic<bool> stop{false};
    std::mutex errorLock;
    std::string firstError;
    auto work = [&]() {
        FrameReader readerA, readerB;
        std::string text;
        std::vector<uint64_t> sse;
        bool ok = readerA.Open(a, last + 1, text) && readerB.Open(b, last + 1, text);
        while (ok && !stop) {
            const int64_t n = next++;
            if (n > last) return;
            const uint8_t* frameA = readerA.Read(n, text);
            const uint8_t* frameB = frameA ? readerB.Read(n, text) : nullptr;
            if (!frameB) {
                ok = false;
                break;
            }
            SumSquaredDifferences(samplesA, frameA, samplesB, frameB, sse);
            figures[size_t(n - first)] = FrameFigures(weights, sse, samplesA);
        }
        if (!ok) {
            std::lock_guard<std::mutex> lock(errorLock);
            if (firstError.empty()) firstError = text;
            stop = true;
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < workers; ++i) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    if (!firstError.empty()) {
        PrintError(firstError);
        return kExitFailed;
    }

    // ffmpeg's min and max: the frames with the highest and the lowest average MSE.
    const PsnrExtremes extremes = FindPsnrExtremes(figures);
    const int64_t minFrame = first + static_cast<int64_t>(extremes.minIndex);
    const int64_t maxFrame = first + static_cast<int64_t>(extremes.maxIndex);
    const PsnrFigures summary = SummaryFigures(weights, figures);
    if (request.json) {
        PrintJson(a, b, samplesA, first, figures, summary, minFrame, maxFrame);
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
