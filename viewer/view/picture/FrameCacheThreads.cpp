// The two threads of the read-ahead cache: the reader thread reads raw frames nearest first and
// follows the file, the render thread renders the nearest frames as soon as their bytes are in.
// FrameCache.h says which lock guards what and how the cap bounds both.
#include "view/picture/FrameCache.h"

#include <algorithm>
#include <chrono>

namespace kavlo {

namespace {

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How long the render thread waits before it tries again for a picture block that the frames in
// use took (the owner may hand one back without telling the cache).
constexpr std::chrono::milliseconds kNoRoomRetry{5};

}  // namespace

int64_t FrameCache::ReadAhead() const {
    const uint64_t frames = std::max<uint64_t>(readAheadBytes_ / std::max<uint64_t>(rawCost_, 1),
                                               uint64_t{2} * kRenderAhead);
    return std::max<int64_t>(1, std::min<int64_t>(frameCount_, static_cast<int64_t>(frames)));
}

template <typename Visit>
void FrameCache::ForWanted(const Visit& visit) const {
    const int64_t count = frameCount_;
    if (count <= 0 || !geometry_.width) return;
    const int64_t wanted = direction_ == 0 ? 2 * kRenderAhead + 1 : ReadAhead();
    const int renderCount = direction_ == 0 ? 3 : kRenderAhead;
    uint64_t budget = cap_ - fixedCost_;
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
                return;
            }
        }
        const bool render = i < renderCount;
        const uint64_t cost = render ? rawCost_ + bitmapCost_ : rawCost_;
        if (cost > budget && i > 0) return;
        budget -= std::min(cost, budget);
        if (!visit(frame, render)) return;
    }
}

int64_t FrameCache::NextRead() const {
    int64_t next = -1;
    ForWanted([&](int64_t frame, bool) {
        if (frames_.count(frame)) return true;
        // A frame that failed is skipped; one that found no room ends the reading ahead.
        if (frame == failed_) return !full_;
        next = frame;
        return false;
    });
    return next;
}

std::shared_ptr<const CachedFrame> FrameCache::NextRender() const {
    std::shared_ptr<const CachedFrame> next;
    ForWanted([&](int64_t frame, bool render) {
        if (!render) return false;
        const auto it = frames_.find(frame);
        if (it == frames_.end()) return true;  // not read yet: the reader brings it
        const CachedFrame& held = *it->second;
        if (held.bitmap && held.generation == generation_) return true;
        if (frame == renderFailed_ && generation_ == renderFailedGeneration_) return true;
        next = it->second;
        return false;
    });
    return next;
}

void FrameCache::ReadLoop() {
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
            // Frames past a new end, or of a file that is no more, must never be shown; a
            // picture being rendered from them is dropped when it is done (the epoch moved on).
            if (change != FileChange::Grown) {
                DropFramesFrom(change == FileChange::Shrunk ? count : 0);
                ++epoch_;
            }
            // A replacement or loss outweighs a size change the owner has not seen yet.
            if (change_ == FileChange::None || change != FileChange::Grown) change_ = change;
            failed_ = -1;
            full_ = false;
            readFailures_.clear();
            renderWake_.notify_all();
            stored_.notify_all();
            std::function<void()> ready = ready_;
            lock.unlock();
            if (ready) ready();
            lock.lock();
            continue;
        }
        const int64_t frame = NextRead();
        if (frame < 0) {
            readWake_.wait(lock);
            continue;
        }
        const uint64_t epoch = epoch_;
        lock.unlock();

        std::unique_ptr<AlignedBuffer> raw = TakeRaw(frame);
        const bool room = raw != nullptr;
        bool ok = room;
        if (ok) {
            const int64_t start = Now();
            readStart_.store(start);
            ok = reader_->Read(frame, raw->data());
            readStart_.store(0);
            readTime_.Add(Now() - start);
        }
        auto entry = std::make_shared<CachedFrame>();
        entry->index = frame;
        entry->geometry = geometry_;
        // A buffer that was not read into goes back among the spares.
        if (raw) entry->raw = ShareRaw(std::move(raw));
        if (!ok) entry->raw.reset();

        lock.lock();
        if (!ok) {
            // Not asked for again until the position moves; no room: nor any frame beyond it.
            failed_ = frame;
            full_ = !room;
            if (room && epoch == epoch_) readFailures_.insert(frame);
            stored_.notify_all();
            continue;
        }
        // Read before the file shrank or was replaced: not what the file holds now.
        if (epoch != epoch_ || frame >= frameCount_) continue;
        readFailures_.erase(frame);
        Store(std::move(entry));
        std::function<void()> ready = ready_;
        lock.unlock();
        if (ready) ready();
        lock.lock();
    }
}

void FrameCache::RenderLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const std::shared_ptr<const CachedFrame> held = NextRender();
        if (!held) {
            renderWake_.wait(lock);
            continue;
        }
        const ViewSwitches switches = switches_;
        const uint64_t generation = generation_;
        const uint64_t epoch = epoch_;
        lock.unlock();

        std::unique_ptr<DisplayBitmap> bitmap = TakeBitmap(held->index);
        const bool room = bitmap != nullptr;
        bool rendered = false;
        if (room) {
            const int64_t start = Now();
            rendered = renderer_.Render(held->Frame(), switches, bitmap);
            renderTime_.Add(Now() - start);
        }
        // A picture that is not stored goes back among the spares.
        std::shared_ptr<const DisplayBitmap> picture;
        if (bitmap) picture = ShareBitmap(std::move(bitmap));

        lock.lock();
        if (!room) {
            // The blocks are taken by nearer frames, the frame being read or those the owner
            // holds: tried again when a frame is stored, the position moves or a while passed.
            renderWake_.wait_for(lock, kNoRoomRetry);
            continue;
        }
        if (!rendered) {
            renderFailed_ = held->index;
            renderFailedGeneration_ = generation;
            stored_.notify_all();
            continue;
        }
        // Stored only while the frame is still in the cache with the bytes it was rendered from
        // and the file did not change under it.
        const auto it = frames_.find(held->index);
        if (epoch != epoch_ || it == frames_.end() || it->second->raw != held->raw) continue;
        auto entry = std::make_shared<CachedFrame>(*it->second);
        entry->bitmap = std::move(picture);
        entry->generation = generation;
        Store(std::move(entry));
        std::function<void()> ready = ready_;
        lock.unlock();
        if (ready) ready();
        lock.lock();
    }
}

}  // namespace kavlo
