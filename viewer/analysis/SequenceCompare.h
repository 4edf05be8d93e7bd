// The PSNR of every frame of two raw files (A, the file under test, and B, the reference), each
// read with its own settings record, computed on worker threads while the caller goes on: the
// per-frame figures of analysis/SamplePsnr.h (the numbers of `kavlo-tool compare`), published as
// they come, with the progress, and cancellable at any time.
//
// The frames compared are the common ones, 0 .. min(frames of A, frames of B) - 1 (or the range
// asked for within them); the notice says so when the frame counts differ. With an offset k,
// A's frames n whose B frame n + k exists. A run stops at the
// first error and says why: a file that cannot be opened, frames of different sizes, layouts
// whose samples cannot be compared (SamplesComparable's reason), a frame that cannot be read
// (which one, of which file); the frames compared before it stay published.
//
// Threads and locks:
//   - Every public member is for the owner's thread (one thread, normally the user-interface
//     thread). None of them waits for the file system but Wait() and the destructor, which wait
//     for the worker threads to end; the destructor cancels first, so it waits at most for the
//     read in progress.
//   - Two worker threads per run: the compare thread (the run's BackgroundJob) opens both files,
//     reads the frames of A and compares; the reader thread, which the compare thread starts and
//     joins before the run returns, reads the frames of B ahead into a ring of kRingFrames
//     buffers. Each VideoFile and frame buffer belongs to one of them alone.
//   - mutex_ guards the published state: status, frame counts, range, components, figures, done,
//     error and notice. No reading or comparing runs while it is held, nor the callback.
//   - ringMutex_ guards the ring between the two worker threads (frames read, frames consumed,
//     the failed frame of B, the stop flag); ringChanged_ signals its changes.
//   - The cancel flag is the job's (atomic): set by Cancel(), which then takes ringMutex_, so that
//     a wait in the ring wakes.
//   - The notify callback is the job's: it runs on the compare thread with no lock held, after
//     new figures or a change of status, and once more when the run returns; it must only
//     schedule work (post an event to the owner's thread). It runs again only after the owner
//     has taken a Snapshot(), so that a burst of frames makes one call.
#pragma once

#include "analysis/SamplePsnr.h"
#include "settings/RawSettings.h"
#include "view/file/BackgroundJob.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kavlo {

class VideoFile;

// One of the two files: its name and the record that reads it.
struct SequenceInput {
    QString fileName;
    RawSettings settings{};
};

struct SequenceRequest {
    SequenceInput a;  // the file under test
    SequenceInput b;  // the reference
    int64_t first = 0;
    int64_t last = -1;  // -1: to the last common frame
    // B's frame compared with A's frame n is n + offset. first and last are A's frames; with
    // last -1 the range starts at the first frame of A that has one in B, if later than first.
    int64_t offset = 0;
};

enum class SequenceStatus {
    Idle,       // not started
    Opening,    // opening the files and checking that they compare
    Running,    // comparing frames
    Done,       // every frame of the range compared
    Cancelled,  // stopped by Cancel(); the frames done stay
    Failed,     // stopped by an error (see error); the frames done stay
};

struct SequenceSnapshot {
    SequenceStatus status = SequenceStatus::Idle;
    int64_t framesA = 0;  // whole frames of each file (0 until they are open)
    int64_t framesB = 0;
    int64_t first = 0;  // the first frame of the range
    int64_t total = 0;  // frames of the range (0 until the files are open)
    int64_t done = 0;   // frames compared: first .. first + done - 1
    QString error;      // why the run failed
    QString notice;     // what the user should know about the range ("A has 10 frames, ...")

    bool Ended() const {
        return status == SequenceStatus::Done || status == SequenceStatus::Cancelled ||
               status == SequenceStatus::Failed;
    }
};

class SequenceCompare {
public:
    // Frames of B read ahead of the comparison.
    static constexpr int kRingFrames = 3;

    explicit SequenceCompare(std::function<void()> notify = {});
    ~SequenceCompare();
    SequenceCompare(const SequenceCompare&) = delete;
    SequenceCompare& operator=(const SequenceCompare&) = delete;

    // Starts the run on the worker threads and returns at once; every check of the files is made
    // there. One run per instance: false when started before.
    bool Start(const SequenceRequest& request);
    // Asks the run to stop after the frame in progress; returns at once.
    void Cancel();
    // Waits until the run has ended (for tests and the command line; the window never waits).
    void Wait();

    SequenceSnapshot Snapshot() const;
    // Appends the figures of frames first + from .. first + done - 1 to `out`.
    void CopyFigures(size_t from, std::vector<PsnrFigures>& out) const;
    // The components compared (A's, in column order) and their weights, once the status has
    // passed Opening without failing; empty before.
    FrameSamples Samples() const;
    PsnrWeights Weights() const;

private:
    void Run(JobContext& job);
    // Opens and checks both files and fixes the range; false after publishing the failure.
    bool Prepare(JobContext& job, VideoFile& fileA, VideoFile& fileB);
    void Compare(JobContext& job, VideoFile& fileA, VideoFile& fileB);
    void ReadAhead(VideoFile& fileB, std::vector<std::vector<uint8_t>>& ring, int64_t first,
                   int64_t total);
    void Fail(JobContext& job, const QString& error);
    void Finish(JobContext& job, SequenceStatus status);
    bool Cancelled() const { return job_.CancelRequested(); }

    SequenceRequest request_;  // written by Start before the thread starts, then read only

    mutable std::mutex mutex_;
    SequenceSnapshot state_;
    // Written once by the compare thread (under mutex_) before the status becomes Running; the
    // compare thread reads them without the lock afterwards.
    FrameSamples samplesA_, samplesB_;
    PsnrWeights weights_;
    // Guarded by mutex_.
    std::vector<PsnrFigures> figures_;

    std::mutex ringMutex_;
    std::condition_variable ringChanged_;
    int64_t ringRead_ = 0;     // frames of B read (relative to the first)
    int64_t ringUsed_ = 0;     // frames of B compared and given back
    int64_t ringFailed_ = -1;  // relative frame of B that could not be read
    QString ringError_;        // why
    bool ringStop_ = false;    // the compare thread stopped: the reader stops too

    // Last: the destructor has joined it, and it goes before what its worker used.
    BackgroundJob job_;
};

}  // namespace kavlo
