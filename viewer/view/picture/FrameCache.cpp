#include "view/picture/FrameCache.h"

#include "view/file/LocalFileName.h"
#include "view/file/VideoFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

namespace kavlo {

// ---- The reader of the viewer ------------------------------------------------------------------

namespace {

class VideoFileReader : public FrameReader {
public:
    bool Open(const RawSettings& settings, const QString& fileName, QString& errorText) {
        settings_ = settings;
        fileName_ = fileName;
        RawSettings copy = settings;
        if (!file_.Open(&copy, fileName, errorText)) return false;
        Identify();
        return true;
    }

    SourceFrame Geometry() const override {
        SourceFrame f = file_.Frame();
        f.bytes = nullptr;
        return f;
    }
    uint64_t FrameBytes() const override { return frameBytes_; }
    // The source reads each frame straight into the cache's block (aligned, and as large as the
    // file's frame buffer), with no sample buffer between. What remains is the file's own frame
    // buffer, which this reader never writes: a mapped one costs nothing, a smaller one was
    // zero-filled when the file was opened.
    uint64_t BufferBytes() const override {
        const uint64_t block = (frameBytes_ + 4095) & ~uint64_t{4095};
        return block < AlignedBuffer::kMappedMinBytes ? block : 0;
    }
    int64_t FrameCount() const override { return file_.FrameCount(); }

    bool Read(int64_t frame, uint8_t* destination) override {
        if (!file_.IsOpen() || frame < 0 || frame >= file_.FrameCount()) return false;
        return file_.LoadFrameInto(frame, destination);
    }

    FileChange Refresh() override {
        struct stat status {};
        if (::stat(FileNameToBytes(fileName_).constData(), &status) != 0)
            return Lose(file_.IsOpen());
        const bool replaced = status.st_ino != inode_ || status.st_dev != device_;
        if (!replaced && status.st_size == size_ && file_.IsOpen()) return FileChange::None;
        // The source measured the file when it opened it: a fresh one measures it again.
        const int64_t before = file_.FrameCount();
        const bool wasOpen = file_.IsOpen();
        RawSettings copy = settings_;
        QString error;
        // Opening closes the file first: whether it was open must be known before.
        if (!file_.Open(&copy, fileName_, error)) return Lose(wasOpen);
        Identify();
        const int64_t after = file_.FrameCount();
        if (replaced) return FileChange::Replaced;
        if (after > before) return FileChange::Grown;
        if (after < before) return FileChange::Shrunk;
        return FileChange::None;
    }

private:
    // The file can no longer be opened: Gone when it was open until now.
    FileChange Lose(bool wasOpen) {
        file_.Close();
        inode_ = 0;
        device_ = 0;
        size_ = -1;
        return wasOpen ? FileChange::Gone : FileChange::None;
    }
    void Identify() {
        frameBytes_ =
            static_cast<uint64_t>(file_.Height()) * static_cast<uint64_t>(file_.LineBytes());
        struct stat status {};
        if (::stat(FileNameToBytes(fileName_).constData(), &status) == 0) {
            inode_ = status.st_ino;
            device_ = status.st_dev;
            size_ = status.st_size;
        }
    }

    VideoFile file_;
    RawSettings settings_{};
    QString fileName_;
    uint64_t frameBytes_ = 0;
    ino_t inode_ = 0;
    dev_t device_ = 0;
    off_t size_ = -1;
};

}  // namespace

std::unique_ptr<FrameReader> OpenVideoFileReader(const RawSettings& settings,
                                                 const QString& fileName, QString& errorText) {
    auto reader = std::make_unique<VideoFileReader>();
    if (!reader->Open(settings, fileName, errorText)) return nullptr;
    return reader;
}

// ---- The ledger of raw buffers and pictures ---------------------------------------------------

// Every raw buffer and picture the cache makes is counted here from the moment it is made until
// it is freed. The blocks of frames nobody holds any more come back here (from whichever thread
// dropped the last reference) as spares for the next frames: a fresh block per frame would cost
// page faults and zero-filling of the whole frame each time, and a block given back to the
// system could not be told from one still counted. Spares are freed only to make room for a
// block of the other kind, or with the cache.
struct FrameCache::Blocks {
    std::mutex mutex;   // guards the three below
    uint64_t live = 0;  // bytes of the blocks made and not freed
    std::vector<std::unique_ptr<AlignedBuffer>> raw;
    std::vector<std::unique_ptr<DisplayBitmap>> bitmaps;

    template <typename T>
    static std::shared_ptr<const T> Share(const std::shared_ptr<Blocks>& blocks,
                                          std::unique_ptr<T> item,
                                          std::vector<std::unique_ptr<T>> Blocks::*list) {
        std::weak_ptr<Blocks> weak = blocks;
        return std::shared_ptr<const T>(item.release(), [weak, list](const T* p) {
            std::unique_ptr<T> owned(const_cast<T*>(p));
            // After the cache is gone the block is simply freed.
            if (auto ledger = weak.lock()) {
                std::lock_guard<std::mutex> lock(ledger->mutex);
                (ledger.get()->*list).push_back(std::move(owned));
            }
        });
    }
};

// ---- The cache ---------------------------------------------------------------------------------

namespace {

int64_t SteadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool SameSwitches(const ViewSwitches& a, const ViewSwitches& b) {
    return a.flipToggle == b.flipToggle && a.splitFields == b.splitFields &&
           a.separatedToggle == b.separatedToggle && a.interlaceToggle == b.interlaceToggle &&
           a.swappedFieldOrder == b.swappedFieldOrder && a.filter1 == b.filter1 &&
           a.filter2 == b.filter2 && a.filter3 == b.filter3 && a.method2Label == b.method2Label &&
           a.lumaOnly == b.lumaOnly && a.cbOnly == b.cbOnly && a.crOnly == b.crOnly &&
           a.deinterlace == b.deinterlace && a.deinterlaceMethod == b.deinterlaceMethod;
}

}  // namespace

uint64_t FrameCache::DefaultCapBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return kDefaultCapBytes;
    const uint64_t quarter = static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) / 4;
    return std::min(kDefaultCapBytes, std::max(quarter, uint64_t{256} << 20));
}

FrameCache::FrameCache(std::unique_ptr<FrameReader> reader, uint64_t capBytes)
    : reader_(std::move(reader)), blocks_(std::make_shared<Blocks>()) {
    geometry_ = reader_->Geometry();
    frameCount_ = reader_->FrameCount();
    rawCost_ = (reader_->FrameBytes() + 4095) & ~uint64_t{4095};
    const uint64_t width = static_cast<uint64_t>(std::max(geometry_.width, 0));
    // Both kinds of block are counted in whole pages, as they are mapped.
    bitmapCost_ =
        ((((width + 3) & ~uint64_t{3}) * 3 * static_cast<uint64_t>(std::max(geometry_.height, 0)) +
          4095) &
         ~uint64_t{4095});
    uint64_t scratch = 0;
    if (renderer_.Reserve(geometry_.width, geometry_.height)) {
        scratch = (FrameRenderer::ScratchBytes(geometry_.width, geometry_.height) + 4095) &
                  ~uint64_t{4095};
        // A frame whose fields are rearranged is rendered through a field image of 4 bytes a
        // pixel as well, made for each picture.
        scratch += (width * 4 * static_cast<uint64_t>(std::max(geometry_.height, 0)) + 4095) &
                   ~uint64_t{4095};
    }
    scratchCost_ = scratch;
    fixedCost_ = scratch + reader_->BufferBytes();
    floor_ = fixedCost_ + 3 * (rawCost_ + bitmapCost_);
    cap_ = std::max(capBytes, floor_);
    readThread_ = std::thread([this] { ReadLoop(); });
    renderThread_ = std::thread([this] { RenderLoop(); });
}

FrameCache::~FrameCache() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    WakeAll();
    renderThread_.join();
    readThread_.join();
}

void FrameCache::WakeAll() {
    readWake_.notify_all();
    renderWake_.notify_all();
}

void FrameCache::SetReadyCallback(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_ = std::move(callback);
}

void FrameCache::SetPosition(int64_t frame, int direction, bool loop) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int d = direction > 0 ? 1 : direction < 0 ? -1 : 0;
        if (frame == position_ && d == direction_ && loop == loop_) return;
        position_ = frame;
        direction_ = d;
        loop_ = loop;
        // A frame that could not be read is tried again once the position moved on to another
        // frame; one that found no room at any move (the owner may have let go of frames).
        if (frame != failed_ || full_) failed_ = -1;
        full_ = false;
        renderFailed_ = -1;
    }
    WakeAll();
}

void FrameCache::SetSwitches(const ViewSwitches& switches) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (SameSwitches(switches, switches_)) return;
        switches_ = switches;
        ++generation_;
    }
    WakeAll();
}

void FrameCache::SetReadAheadBytes(uint64_t bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        readAheadBytes_ = bytes;
    }
    WakeAll();
}

uint64_t FrameCache::Generation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation_;
}

std::shared_ptr<const CachedFrame> FrameCache::Find(int64_t frame) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = frames_.find(frame);
    return it == frames_.end() ? nullptr : it->second;
}

std::shared_ptr<const CachedFrame> FrameCache::WaitForPicture(int64_t frame, int ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    std::shared_ptr<const CachedFrame> found;
    stored_.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)), [&] {
        const auto it = frames_.find(frame);
        if (it == frames_.end()) return frame == failed_;
        // A picture the renderer could not make is not waited for: the raw frame is handed out.
        if ((it->second->bitmap && it->second->generation == generation_) ||
            (frame == renderFailed_ && generation_ == renderFailedGeneration_)) {
            found = it->second;
            return true;
        }
        return false;
    });
    return found;
}

bool FrameCache::ReadFailed(int64_t frame) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frame == failed_;
}

int64_t FrameCache::FirstReadFailure(int64_t first, int64_t last) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = readFailures_.lower_bound(first);
    return it != readFailures_.end() && *it <= last ? *it : -1;
}

void FrameCache::CheckFile() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        checkWanted_ = true;
    }
    readWake_.notify_all();
}

FileChange FrameCache::TakeFileChange() {
    std::lock_guard<std::mutex> lock(mutex_);
    const FileChange change = change_;
    change_ = FileChange::None;
    return change;
}

bool FrameCache::FileCheckPending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return checkWanted_ || checking_;
}

int64_t FrameCache::FrameCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frameCount_;
}

bool FrameCache::ReadStalled(int64_t ms) const {
    const int64_t start = readStart_.load();
    return start != 0 && SteadyNow() - start > ms * 1000000;
}

uint64_t FrameCache::BytesHeld() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

uint64_t FrameCache::BytesCounted() const {
    std::lock_guard<std::mutex> lock(blocks_->mutex);
    return fixedCost_ + blocks_->live;
}

size_t FrameCache::FramesHeld() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
}

uint64_t FrameCache::Distance(int64_t frame) const {
    if (direction_ == 0) {
        const int64_t d = frame - position_;
        return static_cast<uint64_t>(d < 0 ? -d : d);
    }
    int64_t d = (frame - position_) * direction_;
    if (loop_ && frameCount_ > 0) d = ((d % frameCount_) + frameCount_) % frameCount_;
    return d >= 0 ? static_cast<uint64_t>(d) : kBehind + static_cast<uint64_t>(-d);
}

void FrameCache::Store(std::shared_ptr<const CachedFrame> frame) {
    auto cost = [this](const CachedFrame& f) { return rawCost_ + (f.bitmap ? bitmapCost_ : 0); };
    const auto same = frames_.find(frame->index);
    if (same != frames_.end()) {
        bytes_ -= cost(*same->second);
        frames_.erase(same);
    }
    bytes_ += cost(*frame);
    frames_.emplace(frame->index, std::move(frame));
    renderWake_.notify_one();
    stored_.notify_all();
}

bool FrameCache::EvictFartherThan(int64_t frame) {
    auto cost = [this](const CachedFrame& f) { return rawCost_ + (f.bitmap ? bitmapCost_ : 0); };
    const uint64_t distance = Distance(frame);
    auto farthest = frames_.end();
    uint64_t far = 0;
    for (auto it = frames_.begin(); it != frames_.end(); ++it) {
        const uint64_t d = Distance(it->first);
        if (it->first != frame && d > distance && (farthest == frames_.end() || d > far)) {
            far = d;
            farthest = it;
        }
    }
    if (farthest == frames_.end()) return false;
    bytes_ -= cost(*farthest->second);
    frames_.erase(farthest);  // its blocks become spares unless the owner holds the frame
    return true;
}

bool FrameCache::EvictUnwanted() {
    auto cost = [this](const CachedFrame& f) { return rawCost_ + (f.bitmap ? bitmapCost_ : 0); };
    // While playing, the few frames just behind the position stay as well: the owner may show
    // the latest of them when the frame due is late.
    const uint64_t span =
        direction_ == 0 ? uint64_t{kRenderAhead} : static_cast<uint64_t>(ReadAhead() - 1);
    const uint64_t behind = kBehind + kRenderAhead;
    auto farthest = frames_.end();
    uint64_t far = 0;
    for (auto it = frames_.begin(); it != frames_.end(); ++it) {
        const uint64_t d = Distance(it->first);
        const bool unwanted = d < kBehind ? d > span : d > behind;
        if (unwanted && (farthest == frames_.end() || d > far)) {
            far = d;
            farthest = it;
        }
    }
    if (farthest == frames_.end()) return false;
    bytes_ -= cost(*farthest->second);
    frames_.erase(farthest);
    return true;
}

template <typename T, typename Make>
std::unique_ptr<T> FrameCache::Take(std::vector<std::unique_ptr<T>>* spares, uint64_t cost,
                                    int64_t frame, const Make& make) {
    for (;;) {
        bool reserved = false;
        std::unique_ptr<AlignedBuffer> freeRaw;
        std::unique_ptr<DisplayBitmap> freeBitmap;
        {
            std::lock_guard<std::mutex> lock(blocks_->mutex);
            if (!spares->empty()) {
                std::unique_ptr<T> item = std::move(spares->back());
                spares->pop_back();
                return item;
            }
        }
        {
            // A frame the position no longer wants gives its blocks before a new one is made.
            std::lock_guard<std::mutex> lock(mutex_);
            if (EvictUnwanted()) continue;
        }
        {
            std::lock_guard<std::mutex> lock(blocks_->mutex);
            if (fixedCost_ + blocks_->live + cost <= cap_) {
                blocks_->live += cost;
                reserved = true;
            } else if (!blocks_->raw.empty()) {
                // A spare of the other kind makes room (freed below, without the lock).
                freeRaw = std::move(blocks_->raw.back());
                blocks_->raw.pop_back();
                blocks_->live -= rawCost_;
            } else if (!blocks_->bitmaps.empty()) {
                freeBitmap = std::move(blocks_->bitmaps.back());
                blocks_->bitmaps.pop_back();
                blocks_->live -= bitmapCost_;
            }
        }
        if (reserved) {
            std::unique_ptr<T> item = make();
            if (!item) {
                std::lock_guard<std::mutex> lock(blocks_->mutex);
                blocks_->live -= cost;
            }
            return item;
        }
        if (freeRaw || freeBitmap) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!EvictFartherThan(frame)) return nullptr;
    }
}

std::unique_ptr<AlignedBuffer> FrameCache::TakeRaw(int64_t frame) {
    return Take(&blocks_->raw, rawCost_, frame, [this]() -> std::unique_ptr<AlignedBuffer> {
        auto raw = std::make_unique<AlignedBuffer>();
        if (!raw->Allocate(reader_->FrameBytes())) return nullptr;
        return raw;
    });
}

std::unique_ptr<DisplayBitmap> FrameCache::TakeBitmap(int64_t frame) {
    return Take(&blocks_->bitmaps, bitmapCost_, frame,
                [this] { return DisplayBitmap::Create(geometry_.width, geometry_.height, false); });
}

std::shared_ptr<const AlignedBuffer> FrameCache::ShareRaw(std::unique_ptr<AlignedBuffer> raw) {
    return Blocks::Share(blocks_, std::move(raw), &Blocks::raw);
}

std::shared_ptr<const DisplayBitmap> FrameCache::ShareBitmap(
    std::unique_ptr<DisplayBitmap> bitmap) {
    return Blocks::Share(blocks_, std::move(bitmap), &Blocks::bitmaps);
}

void FrameCache::DropFramesFrom(int64_t first) {
    auto cost = [this](const CachedFrame& f) { return rawCost_ + (f.bitmap ? bitmapCost_ : 0); };
    for (auto it = frames_.lower_bound(first); it != frames_.end();) {
        bytes_ -= cost(*it->second);
        it = frames_.erase(it);
    }
}

}  // namespace kavlo
