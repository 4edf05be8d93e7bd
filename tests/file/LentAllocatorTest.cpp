// Frames read straight into the caller's memory: the allocator that lends it to the raw video
// track (alone, and under the real plug-in's track), and VideoFile's reads through it, checked
// byte for byte against the file with guard bytes around the destination.
#include "../common/ClipTestSupport.h"

#include "view/file/LentAllocator.h"
#include "view/file/VideoFile.h"

#include "image/PixelLayout.h"
#include "view/file/LocalFileName.h"
#include "TNCore.h"
#include "TNStr.h"

#include <QFile>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

using namespace viewtest;
using kavlo::LentAllocator;
using kavlo::VideoFile;

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

// An allocator with one reference held by the test.
TNPtr<LentAllocator> NewAllocator(int32_t count, int32_t size) {
    auto allocator = TNPtr<LentAllocator>::Adopt(LentAllocator::Create());
    TNAllocatorProperties request{count, size, 16, 1}, actual{};
    EXPECT_EQ(allocator->SetProperties(&request, &actual), TN_OK);
    EXPECT_EQ(allocator->Commit(), TN_OK);
    return allocator;
}

uint8_t* PointerOf(const TNPtr<ITNSample>& sample) {
    uint8_t* p = nullptr;
    sample->GetPointer(&p);
    return p;
}

// Memory aligned to 64 bytes with room for guard bytes on both sides.
struct Guarded {
    explicit Guarded(size_t bytes, size_t misalign = 0)
        : block(bytes + 2 * kGuardBytes + 64, kGuard), size(bytes) {
        auto at = reinterpret_cast<uintptr_t>(block.data()) + kGuardBytes;
        at = (at + 63) & ~uintptr_t{63};
        data = reinterpret_cast<uint8_t*>(at) + misalign;
    }
    // True when nothing outside [data, data + written) changed.
    bool GuardsIntact(size_t written) const {
        for (const uint8_t* p = block.data(); p < data; ++p)
            if (*p != kGuard) return false;
        for (const uint8_t* p = data + written; p < block.data() + block.size(); ++p)
            if (*p != kGuard) return false;
        return true;
    }
    std::vector<uint8_t> block;
    size_t size;
    uint8_t* data;
};

}  // namespace

TEST(LentAllocator, WrapsLentMemoryOnlyWhenItSuitsAndElseABufferOfItsOwn) {
    auto allocator = NewAllocator(1, 100);  // rounded up to 112
    Guarded lent(128);
    TNPtr<ITNSample> sample;

    allocator->Lend(lent.data, lent.size);
    ASSERT_EQ(allocator->GetBuffer(sample.Out()), TN_OK);
    EXPECT_EQ(PointerOf(sample), lent.data);
    EXPECT_EQ(sample->GetSize(), 112u);
    EXPECT_EQ(allocator->OwnBytes(), 0u) << "nothing of its own for a suitable loan";
    // The loan ends while the sample is still held: the sample loses the memory.
    allocator->EndLend();
    uint8_t* after = lent.data;
    EXPECT_NE(sample->GetPointer(&after), TN_OK);
    EXPECT_EQ(after, nullptr);
    EXPECT_EQ(allocator->SamplesOut(), 0);
    sample.reset();

    // Misaligned, too small, or nothing lent: a buffer of its own, aligned, made once.
    const struct {
        uint8_t* memory;
        uint64_t size;
    } unsuitable[] = {{lent.data + 8, 120}, {lent.data, 111}, {nullptr, 0}};
    uint8_t* own = nullptr;
    for (const auto& u : unsuitable) {
        allocator->Lend(u.memory, u.size);
        ASSERT_EQ(allocator->GetBuffer(sample.Out()), TN_OK);
        uint8_t* p = PointerOf(sample);
        EXPECT_NE(p, lent.data);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
        if (own) {
            EXPECT_EQ(p, own) << "the same buffer again";
        }
        own = p;
        std::memset(p, 0, 112);  // the whole sample is writable
        sample.reset();
        allocator->EndLend();
    }
    EXPECT_TRUE(lent.GuardsIntact(0)) << "unsuitable lent memory is never touched";
    EXPECT_EQ(allocator->LentSamples(), 1);
    EXPECT_EQ(allocator->OwnSamples(), 3);
    EXPECT_EQ(allocator->OwnBytes(), 112u);
}

TEST(LentAllocator, KeepsTheRulesOfThePluginsPool) {
    auto allocator = TNPtr<LentAllocator>::Adopt(LentAllocator::Create());
    TNPtr<ITNSample> sample, second;
    EXPECT_EQ(allocator->GetBuffer(sample.Out()), TN_E_NOTINITIALIZED) << "before Commit";
    TNAllocatorProperties request{1, 64, 3, 1}, actual{};
    EXPECT_EQ(allocator->SetProperties(&request, &actual), TN_E_BADALIGN);
    request = {-1, 64, 16, 1};
    EXPECT_EQ(allocator->SetProperties(&request, &actual), TN_E_INVALIDARG);
    request = {1, 64, 16, 1};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), TN_OK);
    ASSERT_EQ(allocator->Commit(), TN_OK);
    EXPECT_EQ(allocator->SetProperties(&request, &actual), TN_E_BUFFERSOUTSTANDING);
    EXPECT_EQ(allocator->Commit(), TN_E_BUFFERSOUTSTANDING);

    Guarded lent(64);
    allocator->Lend(lent.data, lent.size);
    ASSERT_EQ(allocator->GetBuffer(sample.Out()), TN_OK);
    EXPECT_EQ(allocator->GetBuffer(second.Out()), TN_E_NOTINITIALIZED) << "one buffer at a time";
    // Given back explicitly, the sample has no memory any more; its Release changes nothing.
    EXPECT_EQ(allocator->ReleaseBuffer(sample.get()), TN_OK);
    EXPECT_EQ(PointerOf(sample), nullptr);
    ASSERT_EQ(allocator->GetBuffer(second.Out()), TN_OK);
    EXPECT_EQ(PointerOf(second), lent.data) << "the loan is free again";
    sample.reset();
    EXPECT_EQ(allocator->SamplesOut(), 1);
    second.reset();
    allocator->EndLend();

    // Decommitted with an own buffer out: freed when it comes back. The sample keeps the
    // allocator alive past the test's last reference.
    ASSERT_EQ(allocator->GetBuffer(sample.Out()), TN_OK);
    EXPECT_EQ(allocator->Decommit(), TN_OK);
    EXPECT_EQ(allocator->GetBuffer(second.Out()), TN_E_NOTINITIALIZED);
    allocator.reset();
    std::memset(PointerOf(sample), 1, 64);
    sample.reset();
}

// ---------------------------------------------------------------------------------------------
// Under the real plug-in's track.

namespace {

class LentReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_EQ(TNCoreInitialize(nullptr), TN_OK);
    }
    void TearDown() override {
        file_.Close();
        seeking_.reset();
        track_.reset();
        source_.reset();
        TNCoreClose();
        EXPECT_EQ(QuernLiveObjects(), 0);
    }
    Clip MakeClip(const char* name, const clipgen::ClipOptions& options) {
        return WriteClip(dir_.path(), QString::fromLatin1(name), options);
    }
    // The components as VideoFile makes them, with `allocator` given to the track before its
    // seeking interface is asked for.
    void OpenTrack(const Clip& clip, LentAllocator* allocator) {
        ASSERT_EQ(TNCoreCreateInstance(&CLSID_TNRawVideoSource, &IID_ITNBasePlugin,
                                       reinterpret_cast<void**>(source_.Out())),
                  TN_OK);
        TNPtr<ITNRawVideoMediaContainer> raw;
        ASSERT_EQ(Query(source_, raw), TN_OK);
        raw->SetFileLayout(0, clip.options.filePrefix, clip.options.framePrefix,
                           clip.options.framePostfix);
        TNMediaType type;
        TNMediaTypeInit(&type);
        type.majorType = TNMAJORTYPE_Video;
        type.subType = TNMakeRawVideoSubtype(clip.options.code);
        type.formatType = TNFORMAT_RawVideo;
        type.format =
            reinterpret_cast<uint8_t*>(const_cast<RawVideoFormat*>(&clip.settings.rawFormat));
        type.formatSize = static_cast<int32_t>(sizeof(RawVideoFormat));
        ASSERT_EQ(raw->SetMediaType(0, &type), TN_OK);
        TNPtr<ITNFileSource> file;
        ASSERT_EQ(Query(source_, file), TN_OK);
        _TNStr* path = kavlo::FileNameToCoreString(clip.path);
        ASSERT_EQ(file->Open(path), TN_OK);
        CTNStrRelease(path);
        TNPtr<ITNMediaContainer> container;
        ASSERT_EQ(Query(source_, container), TN_OK);
        ASSERT_EQ(container->GetTrack(0, track_.Out()), TN_OK);
        track_->SetAllocator(allocator);
        ASSERT_EQ(Query(track_, seeking_), TN_OK);
    }

    QTemporaryDir dir_;
    TNPtr<ITNBasePlugin> source_;
    TNPtr<ITNMediaTrack> track_;
    TNPtr<ITNSeeking> seeking_;
    VideoFile file_;
};

uint64_t PayloadOf(const Clip& clip) {
    return static_cast<uint64_t>(clipgen::ClipLineBytes(clip.options)) *
           static_cast<uint64_t>(clip.options.height);
}

// Frame n's bytes as the file holds them.
std::vector<uint8_t> FileFrame(const Clip& clip, int64_t n) {
    const clipgen::ClipOptions& o = clip.options;
    const uint64_t payload = PayloadOf(clip);
    const uint64_t stride = o.framePrefix + payload + o.framePostfix;
    QFile f(clip.path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.seek(
        static_cast<qint64>(o.filePrefix + static_cast<uint64_t>(n) * stride + o.framePrefix)));
    const QByteArray bytes = f.read(static_cast<qint64>(payload));
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool Holds(const uint8_t* memory, const std::vector<uint8_t>& expected) {
    return std::memcmp(memory, expected.data(), expected.size()) == 0;
}

}  // namespace

TEST_F(LentReadTest, TheTracksReadLandsInTheLentMemoryAndAFailedOneGivesTheSampleBack) {
    clipgen::ClipOptions o = Uyvy(30, 7, 3);  // 420 bytes a frame, not a multiple of 16
    o.filePrefix = 5;
    o.framePrefix = 3;
    o.framePostfix = 1;
    Clip clip = MakeClip("l.raw", o);
    auto allocator = TNPtr<LentAllocator>::Adopt(LentAllocator::Create());
    OpenTrack(clip, allocator.get());
    if (HasFatalFailure()) return;
    TNAllocatorProperties sized{};
    ASSERT_EQ(allocator->GetProperties(&sized), TN_OK);
    EXPECT_EQ(sized.bufferSize, 432) << "the track sized it for one frame";

    const uint64_t payload = PayloadOf(clip);
    Guarded destination(4096);
    TNPtr<ITNSample> sample;
    allocator->Lend(destination.data, destination.size);
    ASSERT_EQ(seeking_->SetPosition(2), TN_OK);
    ASSERT_EQ(seeking_->GetCurrentSample(sample.Out()), TN_OK);
    EXPECT_EQ(PointerOf(sample), destination.data);
    EXPECT_EQ(sample->GetDataLength(), payload);
    sample.reset();
    allocator->EndLend();
    EXPECT_TRUE(Holds(destination.data, FileFrame(clip, 2)));
    EXPECT_TRUE(destination.GuardsIntact(payload)) << "only the frame's bytes are written";

    // The file loses half of its last frame: the read fails after writing part of it, and the
    // sample is back, so the next read has a buffer.
    ASSERT_EQ(::truncate(clip.path.toLocal8Bit().constData(),
                         static_cast<off_t>(5 + 2 * (3 + payload + 1) + 3 + payload / 2)),
              0);
    allocator->Lend(destination.data, destination.size);
    EXPECT_NE(seeking_->GetCurrentSample(sample.Out()), TN_OK);
    EXPECT_EQ(sample.get(), nullptr);
    EXPECT_EQ(allocator->SamplesOut(), 0);
    allocator->EndLend();
    EXPECT_TRUE(destination.GuardsIntact(payload));
    allocator->Lend(destination.data, destination.size);
    ASSERT_EQ(seeking_->SetPosition(0), TN_OK);
    ASSERT_EQ(seeking_->GetCurrentSample(sample.Out()), TN_OK);
    sample.reset();
    allocator->EndLend();
    EXPECT_TRUE(Holds(destination.data, FileFrame(clip, 0)));
    EXPECT_EQ(allocator->LentSamples(), 3);
    EXPECT_EQ(allocator->OwnSamples(), 0);
}

// Every frame of several layouts, with prefixes and a postfix, read into aligned and misaligned
// destinations (the source reads into the first, the second is filled by a copy) and by
// LoadFrame: the file's bytes, and nothing written outside them.
TEST_F(LentReadTest, VideoFileReadsTheFilesBytesIntoAnyDestination) {
    struct Case {
        uint32_t code;
        int width, height;
        uint32_t filePrefix, framePrefix, framePostfix;
    };
    const Case cases[] = {{kLayoutUYVY, 30, 7, 0, 0, 0},   {kLayoutI420, 18, 10, 13, 0, 0},
                          {kLayoutNV12, 16, 6, 0, 7, 9},   {kLayoutP010, 10, 4, 2, 2, 2},
                          {kLayoutRGB3, 11, 5, 100, 1, 0}, {kLayoutV210, 48, 3, 0, 0, 5}};
    for (const Case& c : cases) {
        clipgen::ClipOptions o;
        o.code = c.code;
        o.width = c.width;
        o.height = c.height;
        o.frames = 3;
        o.filePrefix = c.filePrefix;
        o.framePrefix = c.framePrefix;
        o.framePostfix = c.framePostfix;
        const std::string name = LayoutName(c.code);
        SCOPED_TRACE(name);
        Clip clip = MakeClip((name + ".raw").c_str(), o);
        QString error;
        ASSERT_TRUE(file_.Open(&clip.settings, clip.path, error)) << error.toStdString();
        const uint64_t payload = PayloadOf(clip);
        for (size_t misalign : {size_t{0}, size_t{1}, size_t{8}}) {
            Guarded destination(file_.RawFrameBytes(), misalign);
            for (int64_t n : {int64_t{2}, int64_t{0}, int64_t{1}}) {
                ASSERT_TRUE(file_.LoadFrameInto(n, destination.data)) << n;
                EXPECT_TRUE(Holds(destination.data, FileFrame(clip, n))) << n << " " << misalign;
                EXPECT_TRUE(destination.GuardsIntact(payload)) << n << " " << misalign;
            }
        }
        for (int64_t n : {int64_t{2}, int64_t{0}}) {
            ASSERT_TRUE(file_.LoadFrame(n));
            EXPECT_TRUE(Holds(file_.RawFrame(), FileFrame(clip, n))) << n;
        }
        file_.Close();
    }
}

// A file that grows keeps its frames readable; one that shrinks under the open file fails the
// read of a frame it lost, and LoadFrame then keeps the frame it had (position and bytes).
TEST_F(LentReadTest, VideoFileFollowsAGrowingAndShrunkFile) {
    Clip clip = MakeClip("g.raw", Uyvy(32, 8, 3));
    QString error;
    ASSERT_TRUE(file_.Open(&clip.settings, clip.path, error)) << error.toStdString();
    const uint64_t payload = PayloadOf(clip);
    {
        QFile f(clip.path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(static_cast<int>(payload), '\x42'));
    }
    ASSERT_TRUE(file_.LoadFrame(2)) << "the last frame counted when it opened";
    const std::vector<uint8_t> last = FileFrame(clip, 2);
    EXPECT_TRUE(Holds(file_.RawFrame(), last));

    ASSERT_EQ(
        ::truncate(clip.path.toLocal8Bit().constData(), static_cast<off_t>(payload + payload / 2)),
        0);
    EXPECT_FALSE(file_.LoadFrame(1));
    EXPECT_EQ(file_.Position(), 2);
    EXPECT_TRUE(Holds(file_.RawFrame(), last)) << "the frame buffer keeps frame 2";
    Guarded destination(file_.RawFrameBytes());
    EXPECT_FALSE(file_.LoadFrameInto(1, destination.data));
    EXPECT_TRUE(destination.GuardsIntact(payload));
    ASSERT_TRUE(file_.LoadFrame(0)) << "the failed reads gave their samples back";
    EXPECT_TRUE(Holds(file_.RawFrame(), FileFrame(clip, 0)));
}
