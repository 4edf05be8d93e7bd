#include "FrameCache.h"

#include "LocalFileName.h"
#include "VideoFile.h"

#include <sys/stat.h>

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
    int64_t FrameCount() const override { return file_.FrameCount(); }

    bool Read(int64_t frame, uint8_t* destination) override {
        if (!file_.IsOpen() || frame < 0 || frame >= file_.FrameCount()) return false;
        return file_.LoadFrameInto(frame, destination);
    }

    FileChange Refresh() override {
        struct stat status {};
        if (::stat(FileNameToBytes(fileName_).constData(), &status) != 0) return Lose();
        const bool replaced = status.st_ino != inode_ || status.st_dev != device_;
        if (!replaced && status.st_size == size_ && file_.IsOpen()) return FileChange::None;
        // The source measured the file when it opened it: a fresh one measures it again.
        const int64_t before = file_.FrameCount();
        RawSettings copy = settings_;
        QString error;
        if (!file_.Open(&copy, fileName_, error)) return Lose();
        Identify();
        const int64_t after = file_.FrameCount();
        if (replaced) return FileChange::Replaced;
        if (after > before) return FileChange::Grown;
        if (after < before) return FileChange::Shrunk;
        return FileChange::None;
    }

private:
    FileChange Lose() {
        const bool wasOpen = file_.IsOpen();
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

// ---- Buffers handed back by evicted frames -----------------------------------------------------

// The raw buffers and bitmaps of frames nobody holds any more go back here (from whichever
// thread dropped the last reference) and are used again for the next frames: a fresh block per
// frame would cost page faults and zero-filling of the whole frame each time.
struct FrameCache::Pools {
    static constexpr size_t kKeep = 4;
    std::mutex mutex;  // guards the two lists
    std::vector<std::unique_ptr<AlignedBuffer>> raw;
    std::vector<std::unique_ptr<DisplayBitmap>> bitmaps;

    template <typename T>
    static std::shared_ptr<const T> Share(const std::shared_ptr<Pools>& pools,
                                          std::unique_ptr<T> item,
                                          std::vector<std::unique_ptr<T>> Pools::*list) {
        std::weak_ptr<Pools> weak = pools;
        return std::shared_ptr<const T>(item.release(), [weak, list](const T* p) {
            std::unique_ptr<T> owned(const_cast<T*>(p));
            if (auto alive = weak.lock()) {
                std::lock_guard<std::mutex> lock(alive->mutex);
                if ((alive.get()->*list).size() < kKeep)
                    (alive.get()->*list).push_back(std::move(owned));
            }
        });
    }
    template <typename T>
    std::unique_ptr<T> Take(std::vector<std::unique_ptr<T>> Pools::*list) {
        std::lock_guard<std::mutex> lock(mutex);
        if ((this->*list).empty()) return nullptr;
        std::unique_ptr<T> item = std::move((this->*list).back());
        (this->*list).pop_back();
        return item;
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

FrameCache::FrameCache(std::unique_ptr<FrameReader> reader, uint64_t capBytes)
    : reader_(std::move(reader)), pools_(std::make_shared<Pools>()), cap_(capBytes) {
    geometry_ = reader_->Geometry();
    frameCount_ = reader_->FrameCount();
    rawCost_ = (reader_->FrameBytes() + 4095) & ~uint64_t{4095};
    const uint64_t width = static_cast<uint64_t>(std::max(geometry_.width, 0));
    bitmapCost_ =
        ((width + 3) & ~uint64_t{3}) * 3 * static_cast<uint64_t>(std::max(geometry_.height, 0));
    renderer_.Reserve(geometry_.width, geometry_.height);
    worker_ = std::thread([this] { Run(); });
}

FrameCache::~FrameCache() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
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
        // A frame that failed is tried again once the position moved on.
        if (frame != failed_) failed_ = -1;
    }
    wake_.notify_all();
}

void FrameCache::SetSwitches(const ViewSwitches& switches) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (SameSwitches(switches, switches_)) return;
        switches_ = switches;
        ++generation_;
    }
    wake_.notify_all();
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

void FrameCache::CheckFile() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        checkWanted_ = true;
    }
    wake_.notify_all();
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

size_t FrameCache::FramesHeld() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
}

uint64_t FrameCache::Distance(int64_t frame) const {
    constexpr uint64_t kBehind = uint64_t{1} << 62;
    if (direction_ == 0) {
        const int64_t d = frame - position_;
        return static_cast<uint64_t>(d < 0 ? -d : d);
    }
    int64_t d = (frame - position_) * direction_;
    if (loop_ && frameCount_ > 0) d = ((d % frameCount_) + frameCount_) % frameCount_;
    return d >= 0 ? static_cast<uint64_t>(d) : kBehind + static_cast<uint64_t>(-d);
}

FrameCache::Task FrameCache::NextTask() {
    const int64_t count = frameCount_;
    if (count <= 0 || !geometry_.width) return {};
    // The frames wanted, nearest first: while playing those ahead in the play direction (round
    // the ends when looping), while paused a few on either side. They are taken while their
    // bytes fit the cap; the nearest ones are rendered as well.
    const int64_t wanted = direction_ == 0 ? 2 * kRenderAhead + 1 : count;
    const int renderCount = direction_ == 0 ? 3 : kRenderAhead;
    uint64_t budget = cap_;
    for (int64_t i = 0; i < wanted; ++i) {
        int64_t frame;
        if (direction_ == 0) {
            frame = (i % 2) ? position_ + (i + 1) / 2 : position_ - i / 2;
            if (frame < 0 || frame >= count) continue;
        } else {
            frame = position_ + direction_ * i;
            if (loop_) {
                frame = ((frame % count) + count) % count;
            } else if (frame < 0 || frame >= count) {
                break;
            }
        }
        const bool render = i < renderCount;
        const uint64_t cost = render ? rawCost_ + bitmapCost_ : rawCost_;
        if (cost > budget && i > 0) break;
        budget -= std::min(cost, budget);
        const auto it = frames_.find(frame);
        if (it == frames_.end()) {
            if (frame == failed_) continue;
            Task task;
            task.kind = Task::Read;
            task.frame = frame;
            task.render = render;
            return task;
        }
        const CachedFrame& held = *it->second;
        if (render && (!held.bitmap || held.generation != generation_)) {
            Task task;
            task.kind = Task::Render;
            task.frame = frame;
            task.render = true;
            task.existing = it->second;
            return task;
        }
    }
    return {};
}

bool FrameCache::Store(std::shared_ptr<const CachedFrame> frame) {
    auto cost = [this](const CachedFrame& f) { return rawCost_ + (f.bitmap ? bitmapCost_ : 0); };
    const auto same = frames_.find(frame->index);
    if (same != frames_.end()) {
        bytes_ -= cost(*same->second);
        frames_.erase(same);
    }
    const uint64_t need = cost(*frame);
    const uint64_t distance = Distance(frame->index);
    while (bytes_ + need > cap_ && !frames_.empty()) {
        auto farthest = frames_.begin();
        uint64_t far = Distance(farthest->first);
        for (auto it = std::next(frames_.begin()); it != frames_.end(); ++it) {
            const uint64_t d = Distance(it->first);
            if (d > far) {
                far = d;
                farthest = it;
            }
        }
        // Nearer frames stay; the new one is kept only when it is the position itself.
        if (far <= distance && distance != 0) return false;
        bytes_ -= cost(*farthest->second);
        frames_.erase(farthest);
    }
    bytes_ += need;
    frames_.emplace(frame->index, std::move(frame));
    return true;
}

void FrameCache::DropFramesFrom(int64_t first) {
    auto cost = [this](const CachedFrame& f) { return rawCost_ + (f.bitmap ? bitmapCost_ : 0); };
    for (auto it = frames_.lower_bound(first); it != frames_.end();) {
        bytes_ -= cost(*it->second);
        it = frames_.erase(it);
    }
}

void FrameCache::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (checkWanted_) {
            checkWanted_ = false;
            checking_ = true;
            lock.unlock();
            const FileChange change = reader_->Refresh();
            const int64_t count = reader_->FrameCount();
            lock.lock();
            checking_ = false;
            if (change == FileChange::None) continue;
            frameCount_ = count;
            // Frames past a new end, or of a file that is no more, must never be shown.
            if (change != FileChange::Grown) {
                DropFramesFrom(change == FileChange::Shrunk ? count : 0);
                ++epoch_;
            }
            // A replacement or loss outweighs a size change the owner has not seen yet.
            if (change_ == FileChange::None || change != FileChange::Grown) change_ = change;
            failed_ = -1;
            std::function<void()> ready = ready_;
            lock.unlock();
            if (ready) ready();
            lock.lock();
            continue;
        }
        Task task = NextTask();
        if (task.kind == Task::None) {
            wake_.wait(lock);
            continue;
        }
        const ViewSwitches switches = switches_;
        const uint64_t generation = generation_;
        const uint64_t epoch = epoch_;
        lock.unlock();

        auto entry = std::make_shared<CachedFrame>();
        entry->index = task.frame;
        entry->geometry = geometry_;
        bool ok = true;
        if (task.kind == Task::Read) {
            std::unique_ptr<AlignedBuffer> raw = pools_->Take(&Pools::raw);
            if (!raw) {
                raw = std::make_unique<AlignedBuffer>();
                ok = raw->Allocate(reader_->FrameBytes());
            }
            readStart_.store(SteadyNow());
            ok = ok && reader_->Read(task.frame, raw->data());
            readStart_.store(0);
            if (ok) entry->raw = Pools::Share(pools_, std::move(raw), &Pools::raw);
        } else {
            entry->raw = task.existing->raw;
            entry->bitmap = task.existing->bitmap;
            entry->generation = task.existing->generation;
        }
        if (ok && task.render) {
            std::unique_ptr<DisplayBitmap> bitmap = pools_->Take(&Pools::bitmaps);
            if (renderer_.Render(entry->Frame(), switches, bitmap) && bitmap) {
                entry->bitmap = Pools::Share(pools_, std::move(bitmap), &Pools::bitmaps);
                entry->generation = generation;
            }
        }

        lock.lock();
        if (!ok) {
            failed_ = task.frame;
            continue;
        }
        // Read before the file shrank or was replaced: not what the file holds now.
        if (epoch != epoch_ || task.frame >= frameCount_) continue;
        if (!Store(entry)) {
            // No room without giving up nearer frames: not read again until the position moves.
            failed_ = task.frame;
            continue;
        }
        std::function<void()> ready = ready_;
        lock.unlock();
        if (ready) ready();
        lock.lock();
    }
}

}  // namespace kavlo
