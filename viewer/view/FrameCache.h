// The read-ahead frame cache: a worker thread reads the frames around the play position (ahead
// of it in the play direction) through a reader of its own, renders the nearest of them with the
// display switches the view shows, and keeps them within a memory cap, so that playback,
// stepping and scrubbing take frames from memory and the user-interface thread never waits for
// the file system.
//
// Threads and locks:
//   - One mutex (mutex_) guards everything the two sides share: the frames (frames_), the bytes
//     they hold (bytes_), the play position, direction and loop switch, the display switches and
//     their generation, the frame count, the pending file check, the file change not yet taken,
//     the failed frame and the stop flag. No reading, rendering or callback runs while it is held.
//   - The reader, the renderer and the spare buffers belong to the worker thread alone.
//   - Every public member is for the owner's thread (the user-interface thread); none blocks on
//     the reader. A frame handed out (CachedFrame) is immutable and shared: it stays valid while
//     the owner holds it, whatever the cache evicts.
//   - The ready callback runs on the worker thread, without the lock, after a frame was stored or
//     the file changed; it must only schedule work (post an event), never call back into the
//     cache synchronously from the worker beyond the public members.
#pragma once

#include "DisplayBitmap.h"
#include "FrameRender.h"

#include "settings/RawSettings.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kavlo {

// What a look at the file found.
enum class FileChange {
    None,      // same file, same frame count
    Grown,     // more whole frames than before
    Shrunk,    // fewer whole frames (the frames past the new end are gone from the cache)
    Replaced,  // another file under the same name (every cached frame is dropped)
    Gone,      // no whole frame can be read any more
};

// How the worker reads frames. The cache owns its reader and uses it on the worker thread only.
class FrameReader {
public:
    virtual ~FrameReader() = default;
    // The frame geometry (bytes null) and the bytes of one raw frame.
    virtual SourceFrame Geometry() const = 0;
    virtual uint64_t FrameBytes() const = 0;
    virtual int64_t FrameCount() const = 0;
    // Reads frame `frame` into `destination` (FrameBytes() bytes). False when it cannot.
    virtual bool Read(int64_t frame, uint8_t* destination) = 0;
    // Looks at the file again (size and identity) and follows it.
    virtual FileChange Refresh() = 0;
};

// The reader of the viewer: a VideoFile of its own, opened with the record the view opened.
std::unique_ptr<FrameReader> OpenVideoFileReader(const RawSettings& settings,
                                                 const QString& fileName, QString& errorText);

// One frame in memory: its raw bytes, and its picture when the worker rendered it.
struct CachedFrame {
    int64_t index = 0;
    SourceFrame geometry;  // bytes null: see Frame()
    std::shared_ptr<const AlignedBuffer> raw;
    std::shared_ptr<const DisplayBitmap> bitmap;  // null until rendered
    uint64_t generation = 0;                      // of the switches the bitmap was rendered with

    SourceFrame Frame() const {
        SourceFrame f = geometry;
        f.bytes = raw ? raw->data() : nullptr;
        return f;
    }
};

class FrameCache {
public:
    // The default memory cap: 1 GiB, about 2.5 s of 2160p 4:2:0 at 30 frames per second with
    // the nearest frames rendered, and the upper bound the viewer suggests.
    static constexpr uint64_t kDefaultCapBytes = uint64_t{1024} << 20;
    // How many frames ahead of the position the worker renders as well as reads.
    static constexpr int kRenderAhead = 4;

    // Starts the worker. `capBytes` bounds the bytes of the frames held (raw and rendered).
    FrameCache(std::unique_ptr<FrameReader> reader, uint64_t capBytes);
    ~FrameCache();  // stops and joins the worker
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    // Set before the first frame is wanted; runs on the worker thread (see above).
    void SetReadyCallback(std::function<void()> callback);

    // The frame the owner shows or wants next, the play direction (+1, -1, or 0 when paused:
    // the frames on both sides are read) and whether playback wraps around at the ends.
    void SetPosition(int64_t frame, int direction, bool loop);
    // The display switches the pictures are rendered with; pictures of older switches stay until
    // re-rendered (Find still hands them out: compare CachedFrame::generation with Generation()).
    void SetSwitches(const ViewSwitches& switches);
    uint64_t Generation() const;

    // The frame when it is in memory, else null. Never waits for the worker.
    std::shared_ptr<const CachedFrame> Find(int64_t frame) const;
    // Asks the worker to look at the file again (size, identity); TakeFileChange tells the result.
    void CheckFile();
    // The change the worker found since the last call (None when nothing changed).
    FileChange TakeFileChange();
    // A file check asked for is not finished yet.
    bool FileCheckPending() const;
    int64_t FrameCount() const;
    // True while the worker has been waiting for one read for longer than `ms` milliseconds: the
    // file system is stalled, and the owner must not read the file itself either.
    bool ReadStalled(int64_t ms) const;

    // The frame geometry (bytes null); fixed for the cache's life.
    const SourceFrame& Geometry() const { return geometry_; }
    uint64_t CapBytes() const { return cap_; }
    uint64_t BytesHeld() const;
    size_t FramesHeld() const;
    // The bytes a frame of this cache costs: raw, and raw plus picture.
    uint64_t RawCost() const { return rawCost_; }
    uint64_t RenderedCost() const { return rawCost_ + bitmapCost_; }

private:
    struct Task {
        enum Kind { None, Read, Render } kind = None;
        int64_t frame = -1;
        bool render = false;
        std::shared_ptr<const CachedFrame> existing;  // Render: the frame to render again
    };
    void Run();
    // Under mutex_: the next thing to do for the present position, or None.
    Task NextTask();
    // Under mutex_: how far frame f lies from the position in the play direction; frames behind
    // come after every frame ahead.
    uint64_t Distance(int64_t frame) const;
    // Under mutex_: stores a frame, evicting the farther frames until it fits the cap; false
    // (nothing stored) when only nearer frames could make room.
    bool Store(std::shared_ptr<const CachedFrame> frame);
    void DropFramesFrom(int64_t first);

    struct Pools;  // buffers of evicted frames, for the next ones (their own lock)

    std::unique_ptr<FrameReader> reader_;  // worker only
    FrameRenderer renderer_;               // worker only
    std::shared_ptr<Pools> pools_;
    const uint64_t cap_;
    uint64_t rawCost_ = 0;
    uint64_t bitmapCost_ = 0;
    SourceFrame geometry_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::map<int64_t, std::shared_ptr<const CachedFrame>> frames_;  // mutex_
    uint64_t bytes_ = 0;                                            // mutex_
    int64_t position_ = 0;                                          // mutex_
    int direction_ = 0;                                             // mutex_
    bool loop_ = false;                                             // mutex_
    ViewSwitches switches_;                                         // mutex_
    uint64_t generation_ = 1;                                       // mutex_
    int64_t frameCount_ = 0;                                        // mutex_
    bool checkWanted_ = false;                                      // mutex_
    bool checking_ = false;                                         // mutex_
    FileChange change_ = FileChange::None;                          // mutex_
    int64_t failed_ = -1;          // mutex_: a frame that could not be read, not asked for again
    uint64_t epoch_ = 0;           // mutex_: counts the file changes that dropped frames
    bool stop_ = false;            // mutex_
    std::function<void()> ready_;  // mutex_ (copied out, called without it)
    // When the read in progress started (steady clock, nanoseconds), 0 while none is: written by
    // the worker, read by the owner.
    std::atomic<int64_t> readStart_{0};

    std::thread worker_;
};

}  // namespace kavlo
