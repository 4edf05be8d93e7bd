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
//   - The reader and the renderer belong to the worker thread alone.
//   - The memory blocks (raw frame buffers and pictures) are counted in a ledger with a lock of
//     its own (Blocks::mutex): the bytes of every block made and not yet freed, and the spare
//     blocks of frames nobody holds any more. A block is handed back from whichever thread drops
//     the last reference to it. The worker may take Blocks::mutex while it holds mutex_, never
//     the other way round.
//
// Memory: the cap bounds everything the cache makes. It counts the reader's own buffer (the
// source's sample buffer a frame is read into), the renderer's scratch image, and every raw frame
// buffer and picture from the moment it is made until it is freed: those in the cache, those
// handed out to the owner (the frame on screen) and the spare ones kept for the next frames. A
// new block is made only when it fits under the cap; otherwise frames farther from the position
// are evicted first (their blocks become spares), and when only nearer frames or frames the
// owner holds are left, the frame is not read. A cap too small for the fixed buffers and three
// rendered frames (the frame on screen, the next, and one being replaced) is raised to that
// (CapBytes() says the cap in force).
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
    // Bytes the reader keeps for itself to read a frame (counted against the cache's cap).
    virtual uint64_t BufferBytes() const { return 0; }
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

// Time spent in one stage of playback (steady clock): how often, in all and the longest. Written
// by one thread, read by any (atomics).
struct StageTime {
    std::atomic<int64_t> count{0};
    std::atomic<int64_t> totalNs{0};
    std::atomic<int64_t> maxNs{0};
    void Add(int64_t ns) {
        count.fetch_add(1, std::memory_order_relaxed);
        totalNs.fetch_add(ns, std::memory_order_relaxed);
        if (ns > maxNs.load(std::memory_order_relaxed)) maxNs.store(ns, std::memory_order_relaxed);
    }
};

class FrameCache {
public:
    // The default memory cap: 2 GiB, a few seconds of 2160p (about 2.5 s of 4:2:0 8-bit at 60
    // frames per second, 5 s at 30, with the nearest frames rendered; 0.8 s of 4320p 4:2:0 at
    // 30), but never more than a quarter of the machine's memory (DefaultCapBytes()).
    static constexpr uint64_t kDefaultCapBytes = uint64_t{2048} << 20;
    static uint64_t DefaultCapBytes();
    // How many frames ahead of the position the worker renders as well as reads.
    static constexpr int kRenderAhead = 4;

    // Starts the worker. `capBytes` bounds every byte the cache makes (see above).
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
    // The bytes of the frames in the cache (raw and rendered).
    uint64_t BytesHeld() const;
    // Every byte counted against the cap: the fixed buffers, and the raw buffers and pictures
    // made and not freed (in the cache, held by the owner, or spare). Never above CapBytes().
    uint64_t BytesCounted() const;
    size_t FramesHeld() const;
    // The bytes a frame of this cache costs: raw, and raw plus picture.
    uint64_t RawCost() const { return rawCost_; }
    uint64_t RenderedCost() const { return rawCost_ + bitmapCost_; }
    // The reader's buffer and the renderer's scratch image, counted from the start.
    uint64_t FixedCost() const { return fixedCost_; }
    // The worker's time in reading frames (the source's read and the copy out of its buffer)
    // and in rendering them (conversion and field step).
    const StageTime& ReadTime() const { return readTime_; }
    const StageTime& RenderTime() const { return renderTime_; }

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
    // Under mutex_: stores a frame in place of any older one of the same index.
    void Store(std::shared_ptr<const CachedFrame> frame);
    void DropFramesFrom(int64_t first);
    // Under mutex_: evicts the frame farthest from the position when it lies farther than
    // `frame`; false when there is none.
    bool EvictFartherThan(int64_t frame);
    // Worker, without mutex_: a raw buffer or a picture for frame `frame`, a spare one or a new
    // one within the cap, evicting farther frames for it; null when only nearer frames or frames
    // the owner holds take up the cap.
    std::unique_ptr<AlignedBuffer> TakeRaw(int64_t frame);
    std::unique_ptr<DisplayBitmap> TakeBitmap(int64_t frame);
    template <typename T, typename Make>
    std::unique_ptr<T> Take(std::vector<std::unique_ptr<T>>* spares, uint64_t cost, int64_t frame,
                            const Make& make);

    struct Blocks;  // the ledger of raw buffers and pictures (its own lock)

    std::unique_ptr<FrameReader> reader_;  // worker only
    FrameRenderer renderer_;               // worker only
    std::shared_ptr<Blocks> blocks_;
    uint64_t rawCost_ = 0;
    uint64_t bitmapCost_ = 0;
    uint64_t fixedCost_ = 0;
    uint64_t cap_ = 0;  // fixed after construction
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
    bool full_ = false;            // mutex_: failed_ found no room: no frame beyond it is asked
    uint64_t epoch_ = 0;           // mutex_: counts the file changes that dropped frames
    bool stop_ = false;            // mutex_
    std::function<void()> ready_;  // mutex_ (copied out, called without it)
    // When the read in progress started (steady clock, nanoseconds), 0 while none is: written by
    // the worker, read by the owner.
    std::atomic<int64_t> readStart_{0};
    StageTime readTime_;    // written by the worker
    StageTime renderTime_;  // written by the worker

    std::thread worker_;
};

}  // namespace kavlo
