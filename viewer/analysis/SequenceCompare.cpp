#include "analysis/SequenceCompare.h"

#include "view/file/VideoFile.h"

#include "image/PixelLayout.h"

#include <QDir>

#include <algorithm>
#include <new>
#include <string>

namespace kavlo {

namespace {

QString Shown(const QString& fileName) { return QDir::toNativeSeparators(fileName); }

QString LayoutText(uint32_t code) {
    const std::string name = LayoutName(code);
    if (!name.empty()) return QString::fromStdString(name);
    return QStringLiteral("code 0x%1").arg(code, 8, 16, QLatin1Char('0'));
}

// Opens one file with a copy of its record (the open writes the file size into it).
bool OpenOne(const SequenceInput& input, const char* which, VideoFile& file, QString& error) {
    RawSettings settings = input.settings;
    QString why;
    if (file.Open(&settings, input.fileName, why)) return true;
    error = QStringLiteral("%1 (%2) cannot be opened%3")
                .arg(QString::fromLatin1(which), Shown(input.fileName),
                     why.isEmpty() ? QString() : QStringLiteral(": ") + why);
    return false;
}

// Why frame n of a file was not read.
QString ReadError(const char* which, const VideoFile& file, int64_t frame) {
    QString text = QStringLiteral("frame %1 of %2 (%3) cannot be read")
                       .arg(frame)
                       .arg(QString::fromLatin1(which), Shown(file.FileName()));
    if (!file.LoadError().isEmpty()) text += QStringLiteral(": ") + file.LoadError();
    return text;
}

}  // namespace

SequenceCompare::SequenceCompare(std::function<void()> notify) : job_(std::move(notify)) {}

SequenceCompare::~SequenceCompare() {
    Cancel();
    Wait();
}

bool SequenceCompare::Start(const SequenceRequest& request) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_.status != SequenceStatus::Idle || job_.Started()) return false;
        state_.status = SequenceStatus::Opening;
    }
    request_ = request;
    return job_.Start([this](JobContext& job) { Run(job); });
}

void SequenceCompare::Cancel() {
    job_.Cancel();
    // Taken between the flag and the wake-up, so that a worker about to wait sees the flag.
    { std::lock_guard<std::mutex> lock(ringMutex_); }
    ringChanged_.notify_all();
}

void SequenceCompare::Wait() { job_.Wait(); }

SequenceSnapshot SequenceCompare::Snapshot() const {
    // Re-arms the notify callback before the state is read: figures published after this read
    // call again.
    job_.State();
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void SequenceCompare::CopyFigures(size_t from, std::vector<PsnrFigures>& out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (from < figures_.size())
        out.insert(out.end(), figures_.begin() + static_cast<ptrdiff_t>(from), figures_.end());
}

FrameSamples SequenceCompare::Samples() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return samplesA_;
}

PsnrWeights SequenceCompare::Weights() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return weights_;
}

void SequenceCompare::Fail(JobContext& job, const QString& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.error = error;
        state_.status = SequenceStatus::Failed;
    }
    job.Notify();
}

void SequenceCompare::Finish(JobContext& job, SequenceStatus status) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.status = status;
    }
    job.Notify();
}

void SequenceCompare::Run(JobContext& job) {
    VideoFile fileA, fileB;
    if (!Prepare(job, fileA, fileB)) return;
    Compare(job, fileA, fileB);
}

bool SequenceCompare::Prepare(JobContext& job, VideoFile& fileA, VideoFile& fileB) {
    QString error;
    if (!OpenOne(request_.a, "A", fileA, error) || !OpenOne(request_.b, "B", fileB, error)) {
        Fail(job, error);
        return false;
    }
    if (job.Cancelled()) {
        Finish(job, SequenceStatus::Cancelled);
        return false;
    }
    if (fileA.Width() != fileB.Width() || fileA.Height() != fileB.Height()) {
        Fail(job, QStringLiteral("The frame sizes differ: A (%1) is %2x%3, B (%4) is %5x%6.")
                      .arg(Shown(request_.a.fileName))
                      .arg(fileA.Width())
                      .arg(fileA.Height())
                      .arg(Shown(request_.b.fileName))
                      .arg(fileB.Width())
                      .arg(fileB.Height()));
        return false;
    }
    const RawVideoFormat& fa = request_.a.settings.rawFormat;
    const RawVideoFormat& fb = request_.b.settings.rawFormat;
    FrameSamples samplesA, samplesB;
    if (!DescribeSamples(fa.code, fileA.Width(), fileA.Height(), fa.lineBytes, samplesA) ||
        !DescribeSamples(fb.code, fileB.Width(), fileB.Height(), fb.lineBytes, samplesB)) {
        Fail(job, QStringLiteral("The samples of layout %1 are not described.")
                      .arg(LayoutText(samplesA.layout ? fb.code : fa.code)));
        return false;
    }
    std::string why;
    if (!SamplesComparable(samplesA, samplesB, why)) {
        Fail(job, QStringLiteral("%1 and %2 cannot be compared: %3.")
                      .arg(LayoutText(fa.code), LayoutText(fb.code), QString::fromStdString(why)));
        return false;
    }

    const int64_t countA = fileA.FrameCount();
    const int64_t countB = fileB.FrameCount();
    // A's frames n with a B frame n + offset: overlapFirst .. overlapEnd - 1.
    const int64_t offset = request_.offset;
    const int64_t overlapFirst = std::max<int64_t>(0, -offset);
    const int64_t overlapEnd = std::max(overlapFirst, std::min(countA, countB - offset));
    const int64_t common = overlapEnd - overlapFirst;
    const int64_t first =
        request_.last < 0 ? std::max(request_.first, overlapFirst) : request_.first;
    const int64_t last = request_.last < 0 ? overlapEnd - 1 : request_.last;
    QString notice;
    if (offset != 0) {
        notice = QStringLiteral("B's frame = A's frame %1 %2: A's frames %3 to %4 have one.")
                     .arg(offset > 0 ? QStringLiteral("+") : QStringLiteral("\u2212"))
                     .arg(offset > 0 ? offset : -offset)
                     .arg(overlapFirst)
                     .arg(overlapEnd - 1);
    } else if (countA != countB) {
        notice = QStringLiteral("A has %1 frames, B %2: the first %3 are compared.")
                     .arg(countA)
                     .arg(countB)
                     .arg(common);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.framesA = countA;
        state_.framesB = countB;
        state_.notice = notice;
    }
    if (common == 0 && offset != 0) {
        Fail(job,
             QStringLiteral("No frame of A has one in B at an offset of %1: A has %2 frames, B %3.")
                 .arg(offset)
                 .arg(countA)
                 .arg(countB));
        return false;
    }
    if (first < overlapFirst || first > last || last >= overlapEnd) {
        Fail(job, QStringLiteral("Frames %1 to %2 cannot be compared: the files have %3 frames in "
                                 "common (%4 to %5).")
                      .arg(first)
                      .arg(last)
                      .arg(common)
                      .arg(overlapFirst)
                      .arg(overlapEnd - 1));
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        samplesA_ = samplesA;
        samplesB_ = samplesB;
        weights_ = WeightsOf(samplesA);
        state_.first = first;
        state_.total = last - first + 1;
        state_.status = SequenceStatus::Running;
        try {
            figures_.reserve(static_cast<size_t>(state_.total));
        } catch (const std::bad_alloc&) {
            // Grown as the frames come instead.
        }
    }
    job.Notify();
    return true;
}

void SequenceCompare::ReadAhead(VideoFile& fileB, std::vector<std::vector<uint8_t>>& ring,
                                int64_t first, int64_t total) {
    for (int64_t i = 0; i < total; ++i) {
        {
            std::unique_lock<std::mutex> lock(ringMutex_);
            ringChanged_.wait(lock, [&] {
                return ringStop_ || Cancelled() || ringRead_ - ringUsed_ < kRingFrames;
            });
            if (ringStop_ || Cancelled()) return;
        }
        std::vector<uint8_t>& slot = ring[static_cast<size_t>(i % kRingFrames)];
        const bool read = fileB.LoadFrameInto(first + i, slot.data());
        {
            std::lock_guard<std::mutex> lock(ringMutex_);
            if (read) {
                ++ringRead_;
            } else {
                ringFailed_ = i;
                ringError_ = ReadError("B", fileB, first + i);
            }
        }
        ringChanged_.notify_all();
        if (!read) return;
    }
}

void SequenceCompare::Compare(JobContext& job, VideoFile& fileA, VideoFile& fileB) {
    int64_t first = 0, total = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        first = state_.first;
        total = state_.total;
    }
    std::vector<uint8_t> frameA;
    std::vector<std::vector<uint8_t>> ring;
    try {
        frameA.resize(fileA.RawFrameBytes());
        ring.assign(kRingFrames, std::vector<uint8_t>(fileB.RawFrameBytes()));
    } catch (const std::bad_alloc&) {
        Fail(job, QStringLiteral("Not enough memory for the frames of A and B."));
        return;
    }
    // B's frames are read from A's first + the offset.
    std::thread reader(
        [=, &fileB, &ring] { ReadAhead(fileB, ring, first + request_.offset, total); });
    auto stopReader = [this, &reader] {
        {
            std::lock_guard<std::mutex> lock(ringMutex_);
            ringStop_ = true;
        }
        ringChanged_.notify_all();
        reader.join();
    };

    std::vector<uint64_t> sse;
    int64_t done = 0;
    for (int64_t i = 0; i < total; ++i) {
        if (job.Cancelled()) break;
        if (!fileA.LoadFrameInto(first + i, frameA.data())) {
            const QString error = ReadError("A", fileA, first + i);
            stopReader();
            Fail(job, error);
            return;
        }
        const uint8_t* frameB = nullptr;
        {
            std::unique_lock<std::mutex> lock(ringMutex_);
            ringChanged_.wait(lock,
                              [&] { return job.Cancelled() || ringRead_ > i || ringFailed_ == i; });
            if (ringFailed_ == i) {
                const QString error = ringError_;
                lock.unlock();
                stopReader();
                Fail(job, error);
                return;
            }
            if (ringRead_ > i) frameB = ring[static_cast<size_t>(i % kRingFrames)].data();
        }
        if (!frameB) break;  // cancelled while waiting
        SumSquaredDifferences(samplesA_, frameA.data(), samplesB_, frameB, sse);
        PsnrFigures figures = FrameFigures(weights_, sse, samplesA_);
        {
            std::lock_guard<std::mutex> lock(ringMutex_);
            ++ringUsed_;
        }
        ringChanged_.notify_all();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            figures_.push_back(std::move(figures));
            state_.done = i + 1;
        }
        done = i + 1;
        job.Notify();
    }
    stopReader();
    Finish(job, done == total ? SequenceStatus::Done : SequenceStatus::Cancelled);
}

}  // namespace kavlo
