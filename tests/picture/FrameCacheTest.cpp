// The read-ahead cache: what it reads for a position and direction, its memory cap and
// eviction, pictures rendered again on a switch change, rendering that goes on while a read
// stalls, a reader that stalls, and a file that grows, shrinks, is replaced or removed while it
// is read and rendered.
#include "../common/ClipTestSupport.h"

#include "image/PixelLayout.h"
#include "view/picture/FrameCache.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

using kavlo::CachedFrame;
using kavlo::FileChange;
using kavlo::FrameCache;
using viewtest::WaitFor;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// A GRAY reader whose frame n is filled with the byte n (plus an offset that a replacement of the
// file moves on); reads of frames from `blockFrom` on may be held at a gate, and the frame count
// changes when the test says so (seen at the next Refresh).
class FakeReader : public kavlo::FrameReader {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable opened;
        bool gateOpen = true;
        int64_t count = 100;
        int64_t nextCount = 100;
        bool replace = false;
        std::atomic<int> reads{0};
        std::atomic<int> waiting{0};
        uint64_t bufferBytes = 0;  // the reader's own buffer, as the source's sample buffer
        int64_t blockFrom = 0;     // the gate holds reads of these frames only
        int offset = 0;            // added to every byte; a replacement adds 50
        int width = kWidth;
        int height = kHeight;
    };
    explicit FakeReader(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    kavlo::SourceFrame Geometry() const override {
        kavlo::SourceFrame f;
        f.width = shared_->width;
        f.height = shared_->height;
        f.code = kLayoutGRAY;
        f.lineBytes = shared_->width;
        f.sampleRange = 1;
        return f;
    }
    uint64_t FrameBytes() const override {
        return uint64_t(shared_->width) * uint64_t(shared_->height);
    }
    int64_t FrameCount() const override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        return shared_->count;
    }
    bool Read(int64_t frame, uint8_t* destination) override {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        ++shared_->waiting;
        shared_->opened.wait(lock, [&] { return shared_->gateOpen || frame < shared_->blockFrom; });
        --shared_->waiting;
        if (frame < 0 || frame >= shared_->count) return false;
        ++shared_->reads;
        std::memset(destination, static_cast<int>((frame + shared_->offset) & 0xFF), FrameBytes());
        return true;
    }
    uint64_t BufferBytes() const override { return shared_->bufferBytes; }
    FileChange Refresh() override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        const int64_t before = shared_->count;
        shared_->count = shared_->nextCount;
        if (shared_->replace) {
            shared_->replace = false;
            shared_->offset += 50;
            return FileChange::Replaced;
        }
        if (shared_->count == 0) return before ? FileChange::Gone : FileChange::None;
        return shared_->count > before   ? FileChange::Grown
               : shared_->count < before ? FileChange::Shrunk
                                         : FileChange::None;
    }

private:
    std::shared_ptr<Shared> shared_;
};

// The worker has nothing left to do when the frames it holds stop changing for a while.
void Settle(FrameCache& cache, const std::shared_ptr<FakeReader::Shared>& shared) {
    int last = -1;
    for (int quiet = 0; quiet < 20;) {
        const int reads = shared->reads.load();
        quiet = reads == last ? quiet + 1 : 0;
        last = reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    (void)cache;
}

class FrameCacheTest : public ::testing::Test {
protected:
    std::unique_ptr<FrameCache> Make(uint64_t cap) {
        auto cache = std::make_unique<FrameCache>(std::make_unique<FakeReader>(shared), cap);
        return cache;
    }
    std::shared_ptr<FakeReader::Shared> shared = std::make_shared<FakeReader::Shared>();
};

TEST_F(FrameCacheTest, ReadsAheadInThePlayDirectionWithinTheCapAndEvictsBehindFirst) {
    auto probe = Make(1);
    const uint64_t raw = probe->RawCost();
    const uint64_t rendered = probe->RenderedCost();
    // Room for the fixed buffers, the rendered frames and six raw ones.
    const uint64_t cap = probe->FixedCost() + FrameCache::kRenderAhead * rendered + 6 * raw;
    probe.reset();
    auto cache = Make(cap);
    cache->SetPosition(10, 1, false);
    ASSERT_TRUE(WaitFor([&] { return cache->Find(19) != nullptr; }));
    Settle(*cache, shared);
    EXPECT_LE(cache->BytesHeld(), cap);
    EXPECT_EQ(cache->FramesHeld(), 10u) << "4 rendered and 6 raw frames fit";
    for (int64_t f = 10; f < 20; ++f) {
        auto held = cache->Find(f);
        ASSERT_TRUE(held) << f;
        EXPECT_EQ(held->raw->data()[0], f) << "frame " << f << " holds its own bytes";
        EXPECT_EQ(held->bitmap != nullptr, f < 10 + FrameCache::kRenderAhead) << f;
    }
    EXPECT_FALSE(cache->Find(9)) << "nothing behind the position is read";
    EXPECT_FALSE(cache->Find(20)) << "nothing past the cap";

    // Playing on: the frames behind go first, the bound holds all along.
    cache->SetPosition(15, 1, false);
    ASSERT_TRUE(WaitFor([&] { return cache->Find(24) != nullptr; }));
    Settle(*cache, shared);
    EXPECT_LE(cache->BytesHeld(), cap);
    for (int64_t f = 10; f < 15; ++f) EXPECT_FALSE(cache->Find(f)) << f << " is behind";
    for (int64_t f = 15; f < 25; ++f) EXPECT_TRUE(cache->Find(f)) << f;
}

TEST_F(FrameCacheTest, TheCapCountsEveryBlockMadeAlsoThoseTheOwnerHoldsAndTheSpares) {
    shared->bufferBytes = 5000;
    auto probe = Make(1);
    // The reader's buffer and the renderer's scratch images (the converted frame, and the field
    // image of 4 bytes a pixel a frame with rearranged fields is rendered through) count from
    // the start; a cap too small for them and three rendered frames is raised to that, and
    // frames still arrive within it.
    const uint64_t fieldImage = (uint64_t{kWidth} * kHeight * 4 + 4095) & ~4095ull;
    EXPECT_EQ(probe->FixedCost(),
              5000 + ((kavlo::FrameRenderer::ScratchBytes(kWidth, kHeight) + 4095) & ~4095ull) +
                  fieldImage);
    EXPECT_EQ(probe->CapBytes(), probe->FixedCost() + 3 * probe->RenderedCost());
    EXPECT_EQ(probe->FloorBytes(), probe->CapBytes());
    // The worker may have begun reading already: at least the fixed cost, never past the cap.
    EXPECT_GE(probe->BytesCounted(), probe->FixedCost());
    EXPECT_LE(probe->BytesCounted(), probe->CapBytes());
    const uint64_t raw = probe->RawCost();
    const uint64_t rendered = probe->RenderedCost();
    const uint64_t fixed = probe->FixedCost();

    // Played forward with the owner holding the frames it showed last (the view's frame and the
    // one a tick just took), as playback does: the blocks of those frames, the spares and the
    // frames in the cache together never pass the cap, and every frame still arrives.
    for (const uint64_t cap : {probe->CapBytes(), fixed + 5 * rendered + 3 * raw}) {
        auto cache = Make(cap);
        std::shared_ptr<const CachedFrame> shown, previous;
        uint64_t most = 0;
        for (int64_t p = 0; p < 40; ++p) {
            cache->SetPosition(p, 1, false);
            ASSERT_TRUE(WaitFor([&] {
                most = std::max(most, cache->BytesCounted());
                const auto f = cache->Find(p);
                return f && f->bitmap;
            })) << "frame "
                << p << " with a cap of " << cap;
            previous = std::move(shown);
            shown = cache->Find(p);
            EXPECT_EQ(shown->raw->data()[0], p);
            most = std::max(most, cache->BytesCounted());
        }
        EXPECT_LE(most, cache->CapBytes());
        EXPECT_GE(most, cache->CapBytes() - rendered) << "the cap is used, not left empty";
        EXPECT_LE(cache->BytesHeld() + fixed, cache->BytesCounted());
    }
}

TEST_F(FrameCacheTest, PlayingReadsAheadOnlySoFarAndUsesTheBlocksOfFramesLeftBehind) {
    auto cache = Make(FrameCache::kDefaultCapBytes);
    cache->SetReadAheadBytes(0);  // twice kRenderAhead frames
    const int64_t ahead = 2 * FrameCache::kRenderAhead;
    std::shared_ptr<const CachedFrame> shown;
    uint64_t most = 0;
    for (int64_t p = 0; p < 60; ++p) {
        cache->SetPosition(p, 1, false);
        ASSERT_TRUE(WaitFor([&] {
            most = std::max(most, cache->BytesCounted());
            const auto f = cache->Find(p);
            return f && f->bitmap;
        })) << p;
        shown = cache->Find(p);
    }
    Settle(*cache, shared);
    EXPECT_TRUE(cache->Find(59 + ahead - 1));
    EXPECT_FALSE(cache->Find(59 + ahead)) << "no further than asked";
    // The frames ahead, the few kept behind, the one shown and the blocks in flight: no fresh
    // memory for every frame played, although the cap would allow it.
    const uint64_t bound =
        cache->FixedCost() + uint64_t(ahead + FrameCache::kRenderAhead + 3) * cache->RenderedCost();
    EXPECT_LE(most, bound);
    EXPECT_EQ(shared->reads.load(), 59 + ahead) << "every frame up to 59 + 7 read once";
}

TEST_F(FrameCacheTest, BackwardPlayReadsBackwardAndLoopingWrapsRoundTheEnds) {
    auto cache = Make(FrameCache::kDefaultCapBytes);
    cache->SetPosition(50, -1, false);
    ASSERT_TRUE(WaitFor([&] { return cache->Find(0) != nullptr; }));
    Settle(*cache, shared);
    EXPECT_EQ(cache->FramesHeld(), 51u) << "frames 50 down to 0, and none after 50";
    EXPECT_FALSE(cache->Find(51));
    // The rendered ones are the next to be shown backward.
    EXPECT_TRUE(WaitFor([&] { return cache->Find(47)->bitmap != nullptr; }));
    EXPECT_FALSE(cache->Find(46)->bitmap);

    auto loop = Make(FrameCache::kDefaultCapBytes);
    loop->SetPosition(98, 1, true);
    ASSERT_TRUE(WaitFor([&] { return loop->Find(97) != nullptr; }));
    EXPECT_TRUE(WaitFor([&] { return loop->Find(0) && loop->Find(0)->bitmap; }))
        << "98, 99, 0, 1 are the next four";
    EXPECT_TRUE(WaitFor([&] { return loop->Find(1) && loop->Find(1)->bitmap; }));
}

TEST_F(FrameCacheTest, PausedReadsAFewFramesOnEitherSide) {
    auto cache = Make(FrameCache::kDefaultCapBytes);
    cache->SetPosition(40, 0, false);
    ASSERT_TRUE(WaitFor([&] { return cache->Find(36) && cache->Find(44); }));
    Settle(*cache, shared);
    // (A new cache starts paused at frame 0: those frames may be there too.)
    EXPECT_FALSE(cache->Find(40 - FrameCache::kRenderAhead - 1));
    EXPECT_FALSE(cache->Find(40 + FrameCache::kRenderAhead + 1));
    EXPECT_TRUE(cache->Find(39)->bitmap && cache->Find(40)->bitmap && cache->Find(41)->bitmap)
        << "the frame and its neighbours are ready to be shown";
}

TEST_F(FrameCacheTest, ASwitchChangeRendersThePicturesAgainFromTheRawFramesKept) {
    auto cache = Make(FrameCache::kDefaultCapBytes);
    cache->SetPosition(3, 0, false);
    ASSERT_TRUE(WaitFor([&] { return cache->Find(3) && cache->Find(3)->bitmap; }));
    Settle(*cache, shared);
    const int readsBefore = shared->reads.load();
    auto before = cache->Find(3);
    const uint8_t firstByte = before->bitmap->Row(0)[0];
    const uint64_t generation = cache->Generation();
    ViewSwitches flipped;
    flipped.flipToggle = 1;
    cache->SetSwitches(flipped);
    EXPECT_EQ(cache->Generation(), generation + 1);
    cache->SetSwitches(flipped);
    EXPECT_EQ(cache->Generation(), generation + 1) << "the same switches are no change";
    ASSERT_TRUE(WaitFor([&] { return cache->Find(3)->generation == generation + 1; }));
    auto after = cache->Find(3);
    EXPECT_EQ(after->raw, before->raw) << "the raw frame is kept";
    EXPECT_NE(after->bitmap, before->bitmap);
    EXPECT_TRUE(after->bitmap->BottomUp() != before->bitmap->BottomUp());
    EXPECT_EQ(shared->reads.load(), readsBefore) << "nothing is read again";
    EXPECT_EQ(before->bitmap->Row(0)[0], firstByte) << "a frame handed out stays as it was";
}

TEST_F(FrameCacheTest, AStalledReaderNeverBlocksTheOwner) {
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->gateOpen = false;
    }
    auto cache = Make(FrameCache::kDefaultCapBytes);
    cache->SetPosition(0, 1, false);
    ASSERT_TRUE(WaitFor([&] { return shared->waiting.load() == 1; })) << "the worker is stuck";
    ASSERT_TRUE(WaitFor([&] { return cache->ReadStalled(20); })) << "and says so";
    // Everything the owner calls returns while the read hangs.
    for (int64_t f = 0; f < 50; ++f) {
        cache->SetPosition(f, 1, false);
        EXPECT_FALSE(cache->Find(f));
    }
    cache->SetSwitches(ViewSwitches{});
    cache->CheckFile();
    EXPECT_EQ(cache->FrameCount(), 100);
    EXPECT_EQ(cache->TakeFileChange(), FileChange::None);
    EXPECT_EQ(cache->FramesHeld(), 0u);
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->gateOpen = true;
    }
    shared->opened.notify_all();
    ASSERT_TRUE(WaitFor([&] { return cache->Find(49) != nullptr; }))
        << "reading goes on from the latest position";
    ASSERT_TRUE(WaitFor([&] { return !cache->ReadStalled(0); }));
}

TEST_F(FrameCacheTest, PicturesAreRenderedWhileAReadHangs) {
    // Reading and rendering overlap: the frames read are rendered (and rendered again for new
    // switches) while the reader is stuck in the read of a frame further on.
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->gateOpen = false;
        shared->blockFrom = 6;
    }
    auto cache = Make(FrameCache::kDefaultCapBytes);
    cache->SetPosition(0, 1, false);
    auto rendered = [&](uint64_t generation) {
        for (int64_t f = 0; f < FrameCache::kRenderAhead; ++f) {
            const auto held = cache->Find(f);
            if (!held || !held->bitmap || held->generation != generation) return false;
        }
        return true;
    };
    ASSERT_TRUE(WaitFor([&] { return shared->waiting.load() == 1 && rendered(1); }));
    EXPECT_FALSE(cache->Find(6));
    const auto before = cache->Find(2);
    ViewSwitches flipped;
    flipped.flipToggle = 1;
    cache->SetSwitches(flipped);
    EXPECT_TRUE(WaitFor([&] { return rendered(2); })) << "rendered again while the read hangs";
    EXPECT_EQ(shared->waiting.load(), 1) << "the read of frame 6 still hangs";
    EXPECT_NE(cache->Find(2)->bitmap, before->bitmap);
    EXPECT_EQ(cache->Find(2)->raw, before->raw);
    EXPECT_TRUE(cache->ReadStalled(0));
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->gateOpen = true;
    }
    shared->opened.notify_all();
    EXPECT_TRUE(WaitFor([&] { return cache->Find(6) != nullptr; }));
}

TEST_F(FrameCacheTest, ReplacedOrShrunkWhileBothThreadsWorkNeverShowsStaleBytes) {
    // Frames large enough that a render takes a while, replaced and cut short while the reader
    // and the renderer are busy: from the moment the owner hears of a change, every frame it
    // finds holds the file's new bytes and a picture of those bytes, and the cap holds.
    shared->width = 640;
    shared->height = 480;
    auto cache = Make(FrameCache::kDefaultCapBytes);
    kavlo::FrameRenderer reference;
    ASSERT_TRUE(reference.Reserve(640, 480));
    auto pictureOf = [&](const CachedFrame& frame) {
        std::unique_ptr<kavlo::DisplayBitmap> bitmap;
        EXPECT_TRUE(reference.Render(frame.Frame(), ViewSwitches{}, bitmap));
        return std::memcmp(bitmap->Row(0), frame.bitmap->Row(0),
                           size_t(bitmap->Stride()) * size_t(bitmap->Height())) == 0;
    };
    auto check = [&](int offset, int64_t count) {
        for (int64_t f = 0; f < 100; ++f) {
            const auto held = cache->Find(f);
            if (!held) continue;
            ASSERT_LT(f, count) << "no frame past the end";
            ASSERT_EQ(held->raw->data()[0], (f + offset) & 0xFF) << "frame " << f;
            if (held->bitmap) {
                ASSERT_TRUE(pictureOf(*held)) << "the picture of frame " << f;
            }
        }
        EXPECT_LE(cache->BytesCounted(), cache->CapBytes());
    };
    int64_t count = 100;
    for (int round = 0; round < 8; ++round) {
        cache->SetPosition(round * 5, round % 2 ? -1 : 1, false);
        ASSERT_TRUE(WaitFor([&] { return shared->reads.load() > 3 * (round + 1); }));
        const bool shrink = round % 3 == 2;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (shrink) {
                shared->nextCount = count = count - 10;
            } else {
                shared->replace = true;
            }
        }
        cache->CheckFile();
        FileChange change = FileChange::None;
        ASSERT_TRUE(WaitFor([&] {
            change = cache->TakeFileChange();
            return change != FileChange::None;
        }));
        EXPECT_EQ(change, shrink ? FileChange::Shrunk : FileChange::Replaced);
        int offset;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            offset = shared->offset;
        }
        check(offset, count);
        ASSERT_TRUE(WaitFor([&] {
            const auto f = cache->Find(round * 5);
            return f && f->bitmap;
        }));
        check(offset, count);
    }
}

TEST_F(FrameCacheTest, DestroyingTheCacheWhileAReadHangsWaitsOnlyForThatRead) {
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->gateOpen = false;
    }
    auto cache = Make(FrameCache::kDefaultCapBytes);
    cache->SetPosition(0, 1, false);
    ASSERT_TRUE(WaitFor([&] { return shared->waiting.load() == 1; }));
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->gateOpen = true;
        shared->opened.notify_all();
    });
    cache.reset();
    release.join();
    SUCCEED();
}

TEST_F(FrameCacheTest, GrowthShrinkAndReplacementReachTheOwnerAndTheFramesHeld) {
    std::atomic<int> ready{0};
    auto cache = Make(FrameCache::kDefaultCapBytes);
    cache->SetReadyCallback([&ready] { ++ready; });
    cache->SetPosition(0, 1, false);
    ASSERT_TRUE(WaitFor([&] { return cache->Find(99) != nullptr; }));

    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->nextCount = 120;
    }
    cache->CheckFile();
    ASSERT_TRUE(WaitFor([&] { return cache->FrameCount() == 120; }));
    EXPECT_EQ(cache->TakeFileChange(), FileChange::Grown);
    EXPECT_EQ(cache->TakeFileChange(), FileChange::None) << "taken once";
    ASSERT_TRUE(WaitFor([&] { return cache->Find(119) != nullptr; })) << "the new frames are read";
    EXPECT_TRUE(cache->Find(5)) << "the frames held stay";

    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->nextCount = 30;
    }
    cache->CheckFile();
    ASSERT_TRUE(WaitFor([&] { return cache->FrameCount() == 30; }));
    EXPECT_EQ(cache->TakeFileChange(), FileChange::Shrunk);
    EXPECT_FALSE(cache->Find(30)) << "no frame past the new end";
    EXPECT_FALSE(cache->Find(99));
    EXPECT_TRUE(cache->Find(29));

    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->replace = true;
    }
    auto old = cache->Find(10);
    cache->CheckFile();
    ASSERT_TRUE(WaitFor([&] { return cache->Find(10) != old; }));
    EXPECT_EQ(cache->TakeFileChange(), FileChange::Replaced);

    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->nextCount = 0;
    }
    cache->CheckFile();
    ASSERT_TRUE(WaitFor([&] { return cache->FrameCount() == 0; }));
    EXPECT_EQ(cache->TakeFileChange(), FileChange::Gone);
    EXPECT_EQ(cache->FramesHeld(), 0u);
    EXPECT_EQ(cache->BytesHeld(), 0u);
    EXPECT_GT(ready.load(), 0) << "the owner heard of it";
}

}  // namespace

// The viewer's reader on a real file that grows, shrinks, is replaced and removed.
namespace viewtest {
namespace {

class FollowedFile : public CoreFixture {};

void Append(const QString& from, const QString& to, int64_t bytes) {
    QFile source(from);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QFile target(to);
    ASSERT_TRUE(target.open(QIODevice::Append));
    ASSERT_EQ(target.write(source.read(bytes)), bytes);
}

TEST_F(FollowedFile, TheReaderFollowsTheFileOnDisk) {
    const clipgen::ClipOptions big = Uyvy(32, 16, 12);
    const Clip source = MakeClip(QStringLiteral("source.yuv"), big);
    const int64_t frameBytes = 32 * 16 * 2;
    const QString path = dir_.path() + QStringLiteral("/capture.yuv");
    Append(source.path, path, 4 * frameBytes);

    QString error;
    auto reader = kavlo::OpenVideoFileReader(source.settings, path, error);
    ASSERT_TRUE(reader) << error.toStdString();
    EXPECT_EQ(reader->FrameCount(), 4);
    EXPECT_EQ(reader->Refresh(), FileChange::None);

    // Half a frame more is no frame more.
    {
        QFile all(source.path);
        ASSERT_TRUE(all.open(QIODevice::ReadOnly));
        const QByteArray bytes = all.readAll();
        QFile target(path);
        ASSERT_TRUE(target.open(QIODevice::Append));
        target.write(bytes.mid(4 * frameBytes, frameBytes / 2));
        target.close();
        EXPECT_EQ(reader->Refresh(), FileChange::None);
        EXPECT_EQ(reader->FrameCount(), 4);
        target.open(QIODevice::Append);
        target.write(bytes.mid(4 * frameBytes + frameBytes / 2, frameBytes * 3 / 2));
    }
    EXPECT_EQ(reader->Refresh(), FileChange::Grown);
    EXPECT_EQ(reader->FrameCount(), 6);
    std::vector<uint8_t> frame(static_cast<size_t>(frameBytes));
    ASSERT_TRUE(reader->Read(5, frame.data()));
    QFile check(source.path);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    const QByteArray expected = check.readAll().mid(5 * frameBytes, frameBytes);
    EXPECT_EQ(std::memcmp(frame.data(), expected.constData(), frame.size()), 0);

    ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), 2 * frameBytes), 0);
    EXPECT_EQ(reader->Refresh(), FileChange::Shrunk);
    EXPECT_EQ(reader->FrameCount(), 2);
    EXPECT_FALSE(reader->Read(4, frame.data())) << "no stale bytes past the new end";

    // Another file renamed over the name.
    const QString other = dir_.path() + QStringLiteral("/other.yuv");
    Append(source.path, other, 8 * frameBytes);
    ASSERT_EQ(::rename(other.toLocal8Bit().constData(), path.toLocal8Bit().constData()), 0);
    EXPECT_EQ(reader->Refresh(), FileChange::Replaced);
    EXPECT_EQ(reader->FrameCount(), 8);

    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(reader->Refresh(), FileChange::Gone);
    EXPECT_EQ(reader->FrameCount(), 0);
    EXPECT_FALSE(reader->Read(0, frame.data()));
    EXPECT_EQ(reader->Refresh(), FileChange::None) << "gone once";
}

TEST_F(FollowedFile, AFileCutBelowOneFrameIsGone) {
    const clipgen::ClipOptions options = Uyvy(32, 16, 4);
    const int64_t frameBytes = 32 * 16 * 2;
    for (const int64_t size : {int64_t{0}, frameBytes - 24}) {
        SCOPED_TRACE(size);
        const Clip clip = MakeClip(QStringLiteral("cut%1.yuv").arg(size), options);
        QString error;
        auto reader = kavlo::OpenVideoFileReader(clip.settings, clip.path, error);
        ASSERT_TRUE(reader) << error.toStdString();
        ASSERT_EQ(::truncate(clip.path.toLocal8Bit().constData(), size), 0);
        EXPECT_EQ(reader->Refresh(), FileChange::Gone);
        EXPECT_EQ(reader->FrameCount(), 0);
    }
}

}  // namespace
}  // namespace viewtest
