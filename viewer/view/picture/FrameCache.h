// The read-ahead frame cache: a reader thread reads the frames around the play position (ahead
// of it in the play direction) through a reader of its own, a render thread renders the nearest
// of them with the display switches the view shows as soon as their raw bytes are in, and both
// keep them within a memory cap, so that playback, stepping and scrubbing take frames from memory
// and the user-interface thread never waits for the file system. Reading the next frames overlaps
// rendering the nearer ones.
//
// Threads and locks:
//   - One mutex (mutex_) guards everything the three threads share: the frames (frames_), the
//     bytes they hold (bytes_), the play position, direction and loop switch, the display
//     switches and their generation, the frame count, the pending file check, the file change
//     not yet taken, the failed frame and the frames whose reads failed, the picture that could not
//     be made, and the stop flag. No reading, rendering or callback runs while it is held.
//   - The reader thread alone uses the FrameReader: it reads raw frames (nearest first) and looks
//     at the file (checks, refreshes). It stores a frame without a picture.
//   - The render thread alone uses the renderer: it takes a frame the reader stored, renders it
//     without the lock and stores it again with its picture, unless the frame left the cache or
//     the file changed meanwhile (then the picture is dropped).
//   - Each thread waits on a condition variable of its own (readWake_, renderWake_); the owner
//     waits on stored_ in WaitForPicture only, and never longer than it asked.
//   - The memory blocks (raw frame buffers and pictures) are counted in a ledger with a lock of
//     its own (Blocks::mutex): the bytes of every block made and not yet freed, and the spare
//     blocks of frames nobody holds any more. A block is handed back from whichever thread drops
//     the last reference to it. A worker may take Blocks::mutex while it holds mutex_, never the
//     other way round.
//
// Memory: the cap bounds everything the cache makes. It counts the reader's own buffer (the
// source's sample buffer a frame is read into), the renderer's scratch image, and every raw frame
// buffer and picture from the moment it is made until it is freed: those in the cache, those
// being read into or rendered, those handed out to the owner (the frame on screen) and the spare
// ones kept for the next frames. Before a new block is made, the frames the position no longer
// wants (more than kRenderAhead frames behind it while playing, beyond the frames read ahead,
// or farther than the few kept on either side while paused) are evicted, so that their blocks are
// used again rather than fresh memory. A new block is made only when it fits under the cap;
// otherwise frames farther from the position are evicted first (their blocks become spares), and
// when only nearer frames or frames the owner holds are left, the frame is not read (or, for a
// picture, rendered once a block is free). A cap too small for the fixed buffers and three rendered
// frames (the frame on screen, the next, and one being replaced) is raised to that (CapBytes() says
// the cap in force, FloorBytes() the least). The fixed buffers are the reader's and the renderer's
// scratch images: the converted frame and the field image of a frame whose fields are rearranged.
//   - Every public member is for the owner's thread (the user-interface thread); none blocks on
//     the reader (WaitForPicture waits no longer than it is told). A frame handed out
//     (CachedFrame) is immutable and shared: it stays valid while the owner holds it, whatever
//     the cache evicts.
//   - The ready callback runs on the reader or the render thread, without the lock, after a frame
//     was stored or the file changed; it must only schedule work (post an event), never call
//     back into the cache synchronously from a worker beyond the public members.
#pragma once

#include "view/picture/DisplayBitmap.h"
#include "view/picture/FrameRender.h"

#include "settings/RawSettings.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
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

// How the cache reads frames. The cache owns its reader and uses it on its reader thread only.
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

// One frame in memory: its raw bytes, and its picture when the render thread rendered it.
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
    // How many frames ahead of the position are rendered as well as read.
    static constexpr int kRenderAhead = 4;
    // How far ahead of the position frames are read while playing, by default: this many bytes
    // of raw frames (at least twice kRenderAhead frames), within the cap. Deeper reading ahead
    // would only fill more fresh memory (page faults and zeroing of every new block, on the
    // processors the rendering needs); the blocks of frames behind the position are used again
    // instead.
    static constexpr uint64_t kReadAheadBytes = uint64_t{512} << 20;

    // Starts the reader and render threads. `capBytes` bounds every byte the cache makes (see
    // above).
    FrameCache(std::unique_ptr<FrameReader> reader, uint64_t capBytes);
    ~FrameCache();  // stops and joins both threads (a read in progress is waited for)
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    // Set before the first frame is wanted; runs on either thread of the cache (see above).
    void SetReadyCallback(std::function<void()> callback);

    // The frame the owner shows or wants next, the play direction (+1, -1, or 0 when paused:
    // the frames on both sides are read) and whether playback wraps around at the ends.
    void SetPosition(int64_t frame, int direction, bool loop);
    // The display switches the pictures are rendered with; pictures of older switches stay until
    // re-rendered (Find still hands them out: compare CachedFrame::generation with Generation()).
    void SetSwitches(const ViewSwitches& switches);
    // The bytes of raw frames read ahead while playing (see kReadAheadBytes; 0: twice
    // kRenderAhead frames, enough to keep reading and rendering going for a consumer as fast as
    // they are, such as a play-through that shows every frame).
    void SetReadAheadBytes(uint64_t bytes);
    uint64_t Generation() const;

    // The frame when it is in memory, else null. Never waits for the threads.
    std::shared_ptr<const CachedFrame> Find(int64_t frame) const;
    // Frame `frame` once it has a picture of the present switches; waits for it at most `ms`
    // milliseconds (null when it did not come in that time), however long a read takes.
    std::shared_ptr<const CachedFrame> WaitForPicture(int64_t frame, int ms) const;
    // Frame `frame` could not be read (or found no room) and is not asked for again until the
    // position moves to another frame.
    bool ReadFailed(int64_t frame) const;
    // The first frame from `first` to `last` whose latest read failed (not for want of room),
    // else -1: kept until the frame is read or the file changes, wherever the position moved.
    int64_t FirstReadFailure(int64_t first, int64_t last) const;
    // Asks the reader thread to look at the file again (size, identity); TakeFileChange tells the
    // result.
    void CheckFile();
    // The change the reader thread found since the last call (None when nothing changed).
    FileChange TakeFileChange();
    // A file check asked for is not finished yet.
    bool FileCheckPending() const;
    int64_t FrameCount() const;
    // True while the reader thread has been waiting for one read for longer than `ms` milliseconds:
    // the file system is stalled, and the owner must not read the file itself either.
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
    // The reader's buffer and the renderer's scratch images, counted from the start.
    uint64_t FixedCost() const { return fixedCost_; }
    // The renderer's part of that: touched only when fields are rearranged or deinterlaced
    // (a plain frame is converted straight into its picture).
    uint64_t ScratchCost() const { return scratchCost_; }
    // The least cap: the fixed buffers and three rendered frames.
    uint64_t FloorBytes() const { return floor_; }
    // The reader thread's time in reading frames (the source's read and the copy out of its
    // buffer) and the render thread's in rendering them (conversion and field step).
    const StageTime& ReadTime() const { return readTime_; }
    const StageTime& RenderTime() const { return renderTime_; }

private:
    // The reader thread: file checks, then the nearest wanted frame not in memory.
    void ReadLoop();
    // The render thread: the nearest frame to be shown that has its raw bytes and no picture of
    // the present switches.
    void RenderLoop();
    // Under mutex_: the frame to read next, or -1.
    int64_t NextRead() const;
    // Under mutex_: the frame to render next, or null.
    std::shared_ptr<const CachedFrame> NextRender() const;
    // Under mutex_: calls visit(frame, render) for the frames wanted at the present position,
    // nearest first (while playing those ahead in the play direction, round the ends when
    // looping; while paused a few on either side), as long as their bytes fit the cap and visit
    // returns true; `render`: the frame is among the nearest, rendered as well as read.
    template <typename Visit>
    void ForWanted(const Visit& visit) const;
    // Under mutex_: how far frame f lies from the position in the play direction; frames behind
    // come after every frame ahead (kBehind plus how far behind).
    static constexpr uint64_t kBehind = uint64_t{1} << 62;
    uint64_t Distance(int64_t frame) const;
    // Under mutex_: stores a frame in place of any older one of the same index; wakes the render
    // thread and the owner waiting for it.
    void Store(std::shared_ptr<const CachedFrame> frame);
    void DropFramesFrom(int64_t first);
    // Under mutex_: wakes both threads (the position, switches or file changed).
    void WakeAll();
    // Under mutex_: evicts the frame farthest from the position when it lies farther than
    // `frame`; false when there is none.
    bool EvictFartherThan(int64_t frame);
    // Under mutex_: evicts the farthest frame the position does not want (behind it, or beyond
    // the frames read ahead); false when there is none.
    bool EvictUnwanted();
    // Under mutex_: how many frames from the position on are read while playing.
    int64_t ReadAhead() const;
    // Either thread, without mutex_: a raw buffer or a picture for frame `frame`, a spare one or
    // a new one within the cap, evicting farther frames for it; null when only nearer frames,
    // blocks in use by the other thread or frames the owner holds take up the cap.
    std::unique_ptr<AlignedBuffer> TakeRaw(int64_t frame);
    std::unique_ptr<DisplayBitmap> TakeBitmap(int64_t frame);
    // A block taken above as a shared block of a frame: back among the spares when the last
    // holder drops it.
    std::shared_ptr<const AlignedBuffer> ShareRaw(std::unique_ptr<AlignedBuffer> raw);
    std::shared_ptr<const DisplayBitmap> ShareBitmap(std::unique_ptr<DisplayBitmap> bitmap);
    template <typename T, typename Make>
    std::unique_ptr<T> Take(std::vector<std::unique_ptr<T>>* spares, uint64_t cost, int64_t frame,
                            const Make& make);

    struct Blocks;  // the ledger of raw buffers and pictures (its own lock)

    std::unique_ptr<FrameReader> reader_;  // reader thread only
    FrameRenderer renderer_;               // render thread only
    std::shared_ptr<Blocks> blocks_;
    uint64_t rawCost_ = 0;
    uint64_t bitmapCost_ = 0;
    uint64_t fixedCost_ = 0;
    uint64_t scratchCost_ = 0;
    uint64_t floor_ = 0;
    uint64_t cap_ = 0;  // fixed after construction
    SourceFrame geometry_;

    mutable std::mutex mutex_;
    std::condition_variable readWake_;        // the reader thread waits here
    std::condition_variable renderWake_;      // the render thread waits here
    mutable std::condition_variable stored_;  // the owner waits here (WaitForPicture)
    std::map<int64_t, std::shared_ptr<const CachedFrame>> frames_;  // mutex_
    uint64_t bytes_ = 0;                                            // mutex_
    int64_t position_ = 0;                                          // mutex_
    int direction_ = 0;                                             // mutex_
    bool loop_ = false;                                             // mutex_
    ViewSwitches switches_;                                         // mutex_
    uint64_t generation_ = 1;                                       // mutex_
    int64_t frameCount_ = 0;                                        // mutex_
    uint64_t readAheadBytes_ = kReadAheadBytes;                     // mutex_
    bool checkWanted_ = false;                                      // mutex_
    bool checking_ = false;                                         // mutex_
    FileChange change_ = FileChange::None;                          // mutex_
    int64_t failed_ = -1;             // mutex_: a frame that could not be read, not asked for again
    bool full_ = false;               // mutex_: failed_ found no room: no frame beyond it is asked
    std::set<int64_t> readFailures_;  // mutex_: frames whose latest read failed
    // mutex_: a picture of this frame and generation could not be made (no room, or the renderer
    // failed); not tried again until a frame is stored or evicted, or the position or switches
    // change.
    int64_t renderFailed_ = -1;
    uint64_t renderFailedGeneration_ = 0;
    uint64_t epoch_ = 0;           // mutex_: counts the file changes that dropped frames
    bool stop_ = false;            // mutex_
    std::function<void()> ready_;  // mutex_ (copied out, called without it)
    // When the read in progress started (steady clock, nanoseconds), 0 while none is: written by
    // the reader thread, read by the owner.
    std::atomic<int64_t> readStart_{0};
    StageTime readTime_;    // written by the reader thread
    StageTime renderTime_;  // written by the render thread

    std::thread readThread_;
    std::thread renderThread_;
};

}  // namespace kavlo
