// Media track, seeking and segment: positions, frame reads, the single buffer, segments, and
// files that change or vanish under an open source.
#include "QuernFixture.h"

#include "quern/MemAllocator.h"

#include <fcntl.h>
#include <unistd.h>

namespace quern_test {
namespace {

class Track : public QuernTest {
protected:
    // Writes `frames` frames of random bytes (plus `tail` bytes) laid out as `l` and opens them.
    void OpenFile(const Layout& l, uint64_t frames, uint64_t tail = 0, uint32_t seed = 1) {
        bytes_ = RandomBytes(l.filePrefix + frames * l.Stride() + tail, seed);
        layout_ = l;
        path_ = dir_.File("clip.raw");
        WriteFile(path_, bytes_);
        source_ = NewSource();
        ASSERT_EQ(Configure(source_.get(), l, 2, 50), TN_OK);
        TNPtr<ITNFileSource> file;
        ASSERT_EQ(Query(source_, file), TN_OK);
        Str p(path_);
        ASSERT_EQ(file->Open(p.get()), TN_OK);
        ASSERT_EQ(source_->GetTrack(0, track_.Out()), TN_OK);
        ASSERT_EQ(Query(track_, seeking_), TN_OK);
    }
    void TearDown() override {
        seeking_.reset();
        track_.reset();
        source_.reset();
        QuernTest::TearDown();
    }
    // The sample's bytes equal the file's bytes of frame `frame`.
    void ExpectFrame(ITNSample* s, int64_t frame) {
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->GetStart(), frame);
        EXPECT_EQ(s->GetEnd(), frame + 1);
        EXPECT_EQ(s->GetDataLength(), layout_.Payload());
        uint8_t* p = nullptr;
        ASSERT_EQ(s->GetPointer(&p), TN_OK);
        const uint64_t at = layout_.PixelsAt(static_cast<uint64_t>(frame));
        EXPECT_EQ(0, std::memcmp(p, bytes_.data() + at, layout_.Payload())) << "frame " << frame;
    }
    int64_t Position() {
        int64_t p = -99;
        EXPECT_EQ(seeking_->GetPosition(&p), TN_OK);
        return p;
    }

    TempDir dir_;
    std::string path_;
    std::vector<uint8_t> bytes_;
    Layout layout_{};
    TNPtr<ITNRawVideoMediaContainer> source_;
    TNPtr<ITNMediaTrack> track_;
    TNPtr<ITNSeeking> seeking_;
};

TEST_F(Track, StepsThroughThreeFrames) {
    OpenFile(Layout{4, 12, 10, 3, 5}, 3);
    EXPECT_EQ(Position(), -1);
    TNPtr<ITNSample> s;
    ASSERT_EQ(seeking_->GetCurrentSample(s.Out()), TN_OK);  // -1 is read as frame 0
    ExpectFrame(s.get(), 0);
    EXPECT_EQ(Position(), 0);
    ASSERT_EQ(seeking_->Reset(), TN_OK);
    struct Step {
        TNRESULT (ITNSeeking::*op)(ITNSample**);
        int64_t frame;
    };
    const Step steps[] = {{&ITNSeeking::GetNextSample, 0},     {&ITNSeeking::GetNextSample, 1},
                          {&ITNSeeking::GetPreviousSample, 0}, {&ITNSeeking::GetPreviousSample, 0},
                          {&ITNSeeking::GetNextSample, 1},     {&ITNSeeking::GetNextSample, 2},
                          {&ITNSeeking::GetCurrentSample, 2}};
    for (const Step& st : steps) {
        ASSERT_EQ((seeking_.get()->*st.op)(s.Out()), TN_OK) << st.frame;
        ExpectFrame(s.get(), st.frame);
        EXPECT_EQ(Position(), st.frame);
        // Stamped from the track's copies of the timing values and the source's media type.
        EXPECT_EQ(s->GetFrameDuration(), 2u);
        EXPECT_EQ(s->GetTimeScale(), 50u);
        MediaType mt;
        EXPECT_EQ(s->GetMediaType(mt.get()), TN_OK);
        EXPECT_TRUE(TNIsEqual(mt->majorType, TNMAJORTYPE_Video));
        EXPECT_EQ(mt->formatSize, 150);
    }
    // Past the end: the position is clamped to the count, and there is no whole frame there.
    EXPECT_EQ(seeking_->GetNextSample(s.Out()), static_cast<TNRESULT>(0x80CF000D));
    EXPECT_EQ(s.get(), nullptr);
    EXPECT_EQ(Position(), 3);
}

TEST_F(Track, PositionsAreClamped) {
    OpenFile(Layout{2, 4, 0, 0, 0}, 3);
    const std::pair<int64_t, int64_t> cases[] = {{10, 3}, {3, 3},         {2, 2},        {0, 0},
                                                 {-5, 0}, {INT64_MIN, 0}, {INT64_MAX, 3}};
    for (const auto& [set, got] : cases) {
        EXPECT_EQ(seeking_->SetPosition(set), TN_OK);
        EXPECT_EQ(Position(), got) << set;
    }
    EXPECT_EQ(seeking_->GetPosition(nullptr), TN_E_POINTER);
    EXPECT_EQ(seeking_->GetCurrentSample(nullptr), TN_E_POINTER);
    EXPECT_EQ(seeking_->GetNextSample(nullptr), TN_E_POINTER);
    EXPECT_EQ(seeking_->GetPreviousSample(nullptr), TN_E_POINTER);
}

// Position 3 of 3 frames reads whatever follows the last whole frame: it succeeds only when the
// bytes after it hold at least framePrefix + payload bytes.
TEST_F(Track, ReadAtTheCount) {
    OpenFile(Layout{2, 4, 0, 2, 6}, 3, 2 + 8);  // a partial fourth frame with all its pixels
    EXPECT_EQ(source_->GetFrameCount(), 3);
    seeking_->SetPosition(10);
    TNPtr<ITNSample> s;
    ASSERT_EQ(seeking_->GetCurrentSample(s.Out()), TN_OK);
    ExpectFrame(s.get(), 3);
}

TEST_F(Track, OneSampleAtATimeInTheSameBuffer) {
    OpenFile(Layout{3, 33, 0, 0, 0}, 4);  // payload 99
    TNPtr<ITNSample> first;
    ASSERT_EQ(seeking_->GetNextSample(first.Out()), TN_OK);
    EXPECT_EQ(first->GetSize(), 112u) << "rounded up to a multiple of 16";
    uint8_t* p1 = nullptr;
    first->GetPointer(&p1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p1) % 16, 0u);
    TNPtr<ITNSample> second;
    EXPECT_EQ(seeking_->GetNextSample(second.Out()), static_cast<TNRESULT>(0x80CF0002));
    EXPECT_EQ(Position(), 1) << "the position moves even though the read is refused";
    first.reset();
    ASSERT_EQ(seeking_->GetCurrentSample(second.Out()), TN_OK);
    uint8_t* p2 = nullptr;
    second->GetPointer(&p2);
    EXPECT_EQ(p1, p2);
    ExpectFrame(second.get(), 1);
}

TEST_F(Track, SegmentDescribesTheStream) {
    OpenFile(Layout{2, 4, 0, 0, 0}, 5);
    EXPECT_EQ(track_->GetSegmentCount(), 1);
    TNPtr<ITNMediaTrackSegment> a, b;
    ASSERT_EQ(track_->GetSegment(0, a.Out()), TN_OK);
    ASSERT_EQ(track_->GetSegment(7, b.Out()), TN_OK);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(track_->GetSegment(0, nullptr), TN_E_POINTER);
    EXPECT_EQ(a->GetFrameCount(), 5);
    EXPECT_EQ(a->GetFrameDuration(), 2u);
    EXPECT_EQ(a->GetTimeScale(), 50u);
    TNMediaType s1, s2;
    TNMediaTypeInit(&s1);
    TNMediaTypeInit(&s2);
    ASSERT_EQ(a->GetMediaType(&s1), TN_OK);
    ASSERT_EQ(a->GetMediaType(&s2), TN_OK);
    EXPECT_NE(s1.format, nullptr);
    EXPECT_EQ(s1.format, s2.format) << "the segment's own block, every time";
    EXPECT_EQ(a->GetMediaType(nullptr), TN_E_POINTER);
    MediaType d1, d2;
    ASSERT_EQ(track_->GetMediaType(d1.get()), TN_OK);
    ASSERT_EQ(track_->GetMediaType(d2.get()), TN_OK);
    EXPECT_NE(d1->format, d2->format) << "the track hands out a new block each call";
    EXPECT_NE(d1->format, s1.format);
    EXPECT_EQ(0, std::memcmp(d1->format, s1.format, 150));
    EXPECT_EQ(track_->GetMediaType(nullptr), TN_E_POINTER);
}

TEST_F(Track, CountsFollowTheSource) {
    OpenFile(Layout{2, 4, 0, 0, 0}, 5);
    EXPECT_EQ(track_->GetFrameCount(), 5);
    // A shorter file opened on the same source: the track reads the source's current values.
    WriteFile(dir_.File("short.raw"), RandomBytes(16, 3));
    TNPtr<ITNFileSource> file;
    ASSERT_EQ(Query(source_, file), TN_OK);
    Str p(dir_.File("short.raw"));
    ASSERT_EQ(file->Open(p.get()), TN_OK);
    EXPECT_EQ(track_->GetFrameCount(), 2);
    seeking_->SetPosition(4);
    EXPECT_EQ(Position(), 2);
}

TEST_F(Track, WithoutAFileTheReadFailsAsASeek) {
    source_ = NewSource();
    ASSERT_EQ(Configure(source_.get(), Layout{2, 4, 0, 0, 0}), TN_OK);
    ASSERT_EQ(source_->GetTrack(0, track_.Out()), TN_OK);
    ASSERT_EQ(Query(track_, seeking_), TN_OK);
    TNPtr<ITNSample> s;
    EXPECT_EQ(seeking_->GetCurrentSample(s.Out()), static_cast<TNRESULT>(0x80CF000F));
    EXPECT_EQ(s.get(), nullptr);
    // The refused sample went back: the next request gets the buffer.
    EXPECT_EQ(seeking_->GetCurrentSample(s.Out()), TN_E_SEEK);
}

TEST_F(Track, SeekingNeedsAUsableFrame) {
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        int32_t formatSize;
    };
    const Case cases[] = {
        {"no format block", {}, 0},
        {"block too short for line bytes", FormatBlock(2, 2, 4), 31},
        {"frame beyond 32 bits", FormatBlock(32768, 65536, 65536), 150},
        {"zero line bytes", FormatBlock(2, 2, 0), 150},
    };
    for (const Case& c : cases) {
        auto source = NewSource();
        MediaType mt(c.block.empty() ? FormatBlock(2, 2, 4) : c.block);
        mt->formatSize = c.formatSize;
        if (c.block.empty()) {
            std::free(mt->format);
            mt->format = nullptr;
        }
        ASSERT_EQ(source->SetMediaType(0, mt.get()), TN_OK) << c.what;
        TNPtr<ITNMediaTrack> track;
        ASSERT_EQ(source->GetTrack(0, track.Out()), TN_OK) << c.what;
        TNPtr<ITNSeeking> seeking;
        EXPECT_EQ(Query(track, seeking), TN_E_INVALIDARG) << c.what;
        EXPECT_EQ(seeking.get(), nullptr) << c.what;
    }
}

// A refused first query leaves the allocator unprepared; a later query tries again with the
// source's media type of that moment.
TEST_F(Track, SeekingQueryIsRetriedAfterARefusal) {
    source_ = NewSource();
    MediaType none(FormatBlock(2, 2, 4));
    std::free(none->format);
    none->format = nullptr;
    none->formatSize = 0;
    ASSERT_EQ(source_->SetMediaType(0, none.get()), TN_OK);
    ASSERT_EQ(source_->GetTrack(0, track_.Out()), TN_OK);
    EXPECT_EQ(Query(track_, seeking_), TN_E_INVALIDARG);
    ASSERT_EQ(Configure(source_.get(), Layout{2, 4, 0, 0, 0}), TN_OK);  // a new track for others
    ASSERT_EQ(Query(track_, seeking_), TN_OK);
    TNPtr<ITNSeeking> again;
    EXPECT_EQ(Query(track_, again), TN_OK);
    EXPECT_EQ(again.get(), seeking_.get());
}

TEST_F(Track, ReplacedAllocatorIsNotSized) {
    OpenFile(Layout{2, 4, 0, 0, 0}, 2);
    auto* mine = new CTNMemAllocator();
    auto allocator = TNPtr<ITNMemAllocator>::Share(mine);
    EXPECT_EQ(track_->SetAllocator(allocator.get()), TN_E_FAIL);
    EXPECT_EQ(track_->SetAllocator(nullptr), TN_E_POINTER);
    TNPtr<ITNSample> s;
    EXPECT_EQ(seeking_->GetCurrentSample(s.Out()), TN_E_NOTINITIALIZED);
    // A buffer smaller than the frame is refused rather than overrun.
    TNAllocatorProperties req{1, 4, 1, 1}, act{};
    ASSERT_EQ(allocator->SetProperties(&req, &act), TN_OK);
    ASSERT_EQ(allocator->Commit(), TN_OK);
    EXPECT_EQ(seeking_->GetCurrentSample(s.Out()), TN_E_FAIL);
    EXPECT_EQ(mine->FreeCount(), 1);
}

TEST_F(Track, FileBeyondFourGiB) {
    // 6300 frames of 691200 bytes after a 100-byte prefix: 4.35 GB, sparse except the last
    // frame, which holds random bytes.
    const Layout l{480, 1440, 100, 0, 0};
    const uint64_t frames = 6300;
    layout_ = l;
    path_ = dir_.File("long.raw");
    const auto last = RandomBytes(l.Payload(), 11);
    const int fd = ::open(path_.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, last.data(), last.size(), static_cast<off_t>(l.PixelsAt(frames - 1))),
              static_cast<ssize_t>(last.size()));
    ::close(fd);
    ASSERT_GT(l.PixelsAt(frames - 1), uint64_t{1} << 32);

    source_ = NewSource();
    ASSERT_EQ(Configure(source_.get(), l), TN_OK);
    TNPtr<ITNFileSource> file;
    ASSERT_EQ(Query(source_, file), TN_OK);
    Str p(path_);
    ASSERT_EQ(file->Open(p.get()), TN_OK);
    EXPECT_EQ(source_->GetFrameCount(), 6300);
    ASSERT_EQ(source_->GetTrack(0, track_.Out()), TN_OK);
    ASSERT_EQ(Query(track_, seeking_), TN_OK);
    TNPtr<ITNSample> s;
    ASSERT_EQ(seeking_->SetPosition(6299), TN_OK);
    ASSERT_EQ(seeking_->GetCurrentSample(s.Out()), TN_OK);
    uint8_t* px = nullptr;
    s->GetPointer(&px);
    EXPECT_EQ(s->GetStart(), 6299);
    EXPECT_EQ(0, std::memcmp(px, last.data(), last.size()));
    s.reset();
    ASSERT_EQ(seeking_->GetPreviousSample(s.Out()), TN_OK);  // a hole reads as zero bytes
    s->GetPointer(&px);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[l.Payload() - 1], 0);
}

TEST_F(Track, FileRemovedAfterOpenStaysReadable) {
    OpenFile(Layout{2, 4, 7, 1, 1}, 4);
    ASSERT_EQ(::unlink(path_.c_str()), 0);
    TNPtr<ITNSample> s;
    seeking_->SetPosition(3);
    ASSERT_EQ(seeking_->GetCurrentSample(s.Out()), TN_OK);
    ExpectFrame(s.get(), 3);
}

TEST_F(Track, FileTruncatedAfterOpen) {
    OpenFile(Layout{2, 4, 0, 0, 0}, 4);
    ASSERT_EQ(::truncate(path_.c_str(), 20), 0);  // frames 0, 1 whole; frame 2 half
    TNPtr<ITNSample> s;
    EXPECT_EQ(source_->GetFrameCount(), 4) << "the count stays as Open found it";
    seeking_->SetPosition(2);
    EXPECT_EQ(seeking_->GetCurrentSample(s.Out()), TN_E_READ);
    seeking_->SetPosition(3);
    EXPECT_EQ(seeking_->GetCurrentSample(s.Out()), TN_E_READ);
    EXPECT_EQ(seeking_->GetPreviousSample(s.Out()), TN_E_READ);  // frame 2, cut in half
    ASSERT_EQ(seeking_->GetPreviousSample(s.Out()), TN_OK);
    ExpectFrame(s.get(), 1);
}

}  // namespace
}  // namespace quern_test
