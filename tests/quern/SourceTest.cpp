// Raw video source: media type checks, frame geometry, opening files and the error codes.
#include "QuernFixture.h"

#include "../common/NonRegularFiles.h"

#include "quern/FileAccess.h"
#include "quern/RawVideoSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quern_test {
namespace {

class Source : public QuernTest {
protected:
    void SetUp() override {
        QuernTest::SetUp();
        source_ = NewSource();
        ASSERT_TRUE(source_);
        ASSERT_EQ(Query(source_, file_), TN_OK);
    }
    void TearDown() override {
        file_.reset();
        source_.reset();
        QuernTest::TearDown();
    }
    TNRESULT Open(const std::string& path) {
        Str s(path);
        return file_->Open(s.get());
    }
    // A file of `size` bytes (sparse: nothing is written).
    std::string SizedFile(const char* name, off_t size) {
        const std::string p = dir_.File(name);
        const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        return p;
    }

    TempDir dir_;
    TNPtr<ITNRawVideoMediaContainer> source_;
    TNPtr<ITNFileSource> file_;
};

TEST_F(Source, MediaTypeChecks) {
    MediaType good(FormatBlock(720, 480, 1440, 0xDEADBEEFu), 0xDEADBEEFu);
    EXPECT_EQ(source_->SetMediaType(0, nullptr), TN_E_POINTER);
    EXPECT_EQ(source_->SetMediaType(1, good.get()), TN_E_FAIL);
    {
        MediaType mt(FormatBlock(720, 480, 1440));
        mt->majorType = TNUUID_NULL;
        EXPECT_EQ(source_->SetMediaType(0, mt.get()), static_cast<TNRESULT>(0x80CF0001));
    }
    {
        MediaType mt(FormatBlock(720, 480, 1440));
        mt->formatType = TNUUID_NULL;
        EXPECT_EQ(source_->SetMediaType(0, mt.get()), TN_E_NOTSUPPORTED);
    }
    for (int byte = 4; byte < 16; ++byte) {
        MediaType mt(FormatBlock(720, 480, 1440));
        reinterpret_cast<uint8_t*>(&mt->subType)[byte] ^= 0x01;
        EXPECT_EQ(source_->SetMediaType(0, mt.get()), TN_E_FAIL) << "subtype byte " << byte;
    }
    TNPtr<ITNMediaTrack> track;
    EXPECT_EQ(source_->GetTrack(0, track.Out()), TN_E_FAIL) << "no track before a media type";
    // Any layout code is accepted: only the subtype's last twelve bytes are compared.
    EXPECT_EQ(source_->SetMediaType(0, good.get()), TN_OK);
    EXPECT_EQ(source_->GetTrack(0, nullptr), TN_E_POINTER);
    EXPECT_EQ(source_->GetTrack(1, track.Out()), TN_E_FAIL);
    EXPECT_EQ(track.get(), nullptr);
    // The source keeps its own copy of the format block.
    ASSERT_EQ(source_->GetTrack(0, track.Out()), TN_OK);
    MediaType copy;
    ASSERT_EQ(track->GetMediaType(copy.get()), TN_OK);
    EXPECT_NE(copy->format, good->format);
    EXPECT_EQ(0, std::memcmp(copy->format, good->format, 150));
    EXPECT_EQ(TNRawVideoSubtypeCode(copy->subType), 0xDEADBEEFu);
}

TEST_F(Source, TwoGetTrackCallsShareOneTrack) {
    ASSERT_EQ(Configure(source_.get(), Layout{480, 1440, 0, 0, 0}), TN_OK);
    TNPtr<ITNMediaTrack> a, b;
    ASSERT_EQ(source_->GetTrack(0, a.Out()), TN_OK);
    ASSERT_EQ(source_->GetTrack(0, b.Out()), TN_OK);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a->AddRef(), 4u);  // the source's, a's, b's and this one
    a->Release();
    // A new media type makes a new track; the old one stays usable by its holder.
    ASSERT_EQ(Configure(source_.get(), Layout{2, 4, 0, 0, 0}), TN_OK);
    TNPtr<ITNMediaTrack> c;
    ASSERT_EQ(source_->GetTrack(0, c.Out()), TN_OK);
    EXPECT_NE(c.get(), a.get());
    EXPECT_EQ(a->GetSegmentCount(), 1);
}

struct GeometryCase {
    const char* name;
    Layout layout;
    off_t fileSize;
    int64_t frames;
    int64_t pixelsOfFrame2;  // offset of frame 2's pixels, -1 to skip
};

class Geometry : public Source, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(Geometry, FrameCountAndOffsets) {
    const GeometryCase& g = GetParam();
    ASSERT_EQ(Configure(source_.get(), g.layout), TN_OK);
    ASSERT_EQ(Open(SizedFile("g.raw", g.fileSize)), TN_OK);
    EXPECT_TRUE(source_->IsOpen());
    EXPECT_EQ(source_->GetFrameCount(), g.frames);
    auto* src = static_cast<CTNRawVideoSource*>(source_.get());
    if (g.pixelsOfFrame2 >= 0) {
        int64_t at = -1;
        ASSERT_TRUE(src->FrameOffset(2, &at));
        EXPECT_EQ(at, g.pixelsOfFrame2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Source, Geometry,
    ::testing::Values(
        GeometryCase{"exact", {480, 1440, 0, 0, 0}, 2073600, 3, 1382400},
        GeometryCase{"one byte more", {480, 1440, 0, 0, 0}, 2073601, 3, -1},
        GeometryCase{"one byte less", {480, 1440, 0, 0, 0}, 2073599, 2, -1},
        GeometryCase{"bottom-up rows", {480, -1440, 0, 0, 0}, 2073600, 3, 1382400},
        GeometryCase{"prefixes", {480, 1440, 100, 8, 4}, 100 + 3 * 691212, 3, 1382532},
        GeometryCase{"last postfix cut", {480, 1440, 100, 8, 4}, 100 + 2 * 691212 + 691208, 2, -1},
        GeometryCase{"shorter than one frame", {480, 1440, 0, 0, 0}, 691199, 0, -1},
        GeometryCase{"empty file", {480, 1440, 0, 0, 0}, 0, 0, -1},
        GeometryCase{"shorter than the file prefix", {2, 4, 1000, 0, 0}, 999, 0, -1},
        GeometryCase{"only the file prefix", {2, 4, 1000, 0, 0}, 1000, 0, -1},
        // 65536 x 65536 bytes does not fit 32 bits: no frames rather than a wrapped size.
        GeometryCase{"frame beyond 32 bits", {65536, 65536, 0, 0, 0}, 1 << 20, 0, -1},
        // 2^31 - 16 bytes is the largest frame the samples can carry.
        GeometryCase{"largest frame", {1, 0x7FFFFFF0, 0, 0, 0}, 0x7FFFFFF0, 1, -1},
        GeometryCase{"just too large", {1, 0x7FFFFFF1, 0, 0, 0}, 0x7FFFFFF1, 0, -1},
        GeometryCase{"zero height", {0, 1440, 0, 0, 0}, 1 << 20, 0, -1},
        GeometryCase{"negative height", {-480, 1440, 0, 0, 0}, 1 << 20, 0, -1},
        // Prefix + payload + postfix above 4 GiB needs a 64-bit stride.
        GeometryCase{"stride beyond 32 bits",
                     {1, 0x7FFFFFF0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu},
                     int64_t{0x7FFFFFF0} + 2 * int64_t{0xFFFFFFFF},
                     1,
                     -1}),
    [](const ::testing::TestParamInfo<GeometryCase>& param) {
        std::string n = param.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST_F(Source, OpenWithoutMediaTypeAndLayoutAfterOpen) {
    const std::string p = SizedFile("a.raw", 2073600);
    ASSERT_EQ(Open(p), TN_OK);
    EXPECT_EQ(source_->GetFrameCount(), 0);
    TNPtr<ITNMediaTrack> track;
    EXPECT_EQ(source_->GetTrack(0, track.Out()), TN_E_FAIL);

    ASSERT_EQ(Configure(source_.get(), Layout{480, 1440, 0, 0, 0}), TN_OK);
    EXPECT_EQ(source_->GetFrameCount(), 0) << "geometry is worked out only by Open";
    ASSERT_EQ(Open(p), TN_OK);
    EXPECT_EQ(source_->GetFrameCount(), 3);
    ASSERT_EQ(source_->SetFileLayout(0, 691200, 0, 0), TN_OK);
    EXPECT_EQ(source_->GetFrameCount(), 3);
    ASSERT_EQ(Open(p), TN_OK);
    EXPECT_EQ(source_->GetFrameCount(), 2);
}

TEST_F(Source, SettersAndLabel) {
    EXPECT_EQ(source_->SetFrameDuration(1, 5), TN_E_FAIL);
    EXPECT_EQ(source_->SetTimeScale(-1, 5), TN_E_FAIL);
    EXPECT_EQ(source_->SetFileLayout(2, 1, 2, 3), TN_E_FAIL);
    EXPECT_EQ(source_->SetFrameDuration(0, 1001), TN_OK);
    EXPECT_EQ(source_->SetTimeScale(0, 30000), TN_OK);
    EXPECT_EQ(source_->GetFrameDuration(), 1001u);
    EXPECT_EQ(source_->GetTimeScale(), 30000u);
    EXPECT_EQ(source_->GetLabel(), nullptr);
    {
        Str label("camera 1");
        EXPECT_EQ(source_->SetLabel(label.get()), TN_OK);
    }
    // The source holds its own reference: the text outlives the caller's.
    EXPECT_EQ(Utf8(source_->GetLabel()), "camera 1");
    EXPECT_EQ(source_->SetLabel(nullptr), TN_OK);
    EXPECT_EQ(source_->GetLabel(), nullptr);
    EXPECT_EQ(source_->SetOption(0xFFFFFFFFu), TN_OK);
}

TEST_F(Source, ErrorsOfOpen) {
    ASSERT_EQ(Configure(source_.get(), Layout{2, 4, 0, 0, 0}), TN_OK);
    const std::string good = SizedFile("good.raw", 80);
    ASSERT_EQ(Open(good), TN_OK);
    EXPECT_EQ(source_->GetFrameCount(), 10);

    struct Case {
        const char* what;
        std::string path;
        TNRESULT expected;
    };
    ::mkdir(dir_.File("sub").c_str(), 0755);
    const Case cases[] = {
        {"missing", dir_.File("missing.raw"), static_cast<TNRESULT>(0x80CF000A)},
        {"missing directory", dir_.File("nowhere/x.raw"), TN_E_FILENOTFOUND},
        {"directory", dir_.path(), TN_E_ISDIRECTORY},
        {"subdirectory", dir_.File("sub"), TN_E_ISDIRECTORY},
        {"file used as directory", good + "/x", TN_E_FAIL},  // ENOTDIR
    };
    for (const Case& c : cases) {
        Str path(c.path);
        EXPECT_EQ(file_->Open(path.get()), c.expected) << c.what;
        EXPECT_FALSE(source_->IsOpen()) << c.what;
        EXPECT_EQ(file_->GetFileName(), path.get()) << c.what << ": the name is replaced anyway";
        EXPECT_EQ(source_->GetFrameCount(), 10) << c.what << ": count unchanged";
    }
    EXPECT_EQ(file_->Open(nullptr), TN_E_POINTER);
}

// Only regular files are read: a named pipe, a device, a socket or a /proc entry would open as a
// file of no frames (and a device like /dev/zero would still give frames of zeros).
TEST_F(Source, NonRegularFilesAreRefused) {
    ASSERT_EQ(Configure(source_.get(), Layout{2, 4, 0, 0, 0}), TN_OK);
    const std::string fifo = dir_.File("pipe.raw");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = dir_.File("s.raw");
    const int s = testfiles::BindUnixSocket(socketPath);
    ASSERT_GE(s, 0);
    for (const std::string& path : {fifo, socketPath, std::string("/dev/zero"),
                                    std::string("/dev/null"), std::string("/proc/self/stat")}) {
        EXPECT_EQ(Open(path), TN_E_NOTSUPPORTED) << path;
        EXPECT_FALSE(source_->IsOpen()) << path;
    }
    ::close(s);
}

TEST_F(Source, UnreadableFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads files regardless of their mode";
    const std::string p = SizedFile("locked.raw", 80);
    ::chmod(p.c_str(), 0);
    EXPECT_EQ(Open(p), TN_E_FILEACCESS);
    EXPECT_FALSE(source_->IsOpen());
}

TEST(OpenErrors, ErrorNumbersMapToResultCodes) {
    const std::pair<int, TNRESULT> table[] = {
        {ENOENT, static_cast<TNRESULT>(0x80CF000A)},
        {EACCES, static_cast<TNRESULT>(0x80CF0006)},
        {EEXIST, static_cast<TNRESULT>(0x80CF0007)},
        {EISDIR, static_cast<TNRESULT>(0x80CF0008)},
        {EMFILE, static_cast<TNRESULT>(0x80CF0009)},
        {ENOSPC, static_cast<TNRESULT>(0x80CF000B)},
        {EPERM, TN_E_FAIL},
        {ENOTDIR, TN_E_FAIL},
        {ELOOP, TN_E_FAIL},
    };
    for (const auto& [e, r] : table) EXPECT_EQ(QuernMapOpenError(e), r) << "errno " << e;
}

TEST_F(Source, NonAsciiPath) {
    ASSERT_EQ(Configure(source_.get(), Layout{2, 4, 0, 0, 0}), TN_OK);
    SizedFile("Bild \xC3\xA4\xE2\x82\xAC.raw", 16);  // "Bild ä€.raw" in UTF-8
    const std::wstring wide = L"/Bild \u00E4\u20AC.raw";
    std::wstring full(dir_.path().begin(), dir_.path().end());
    full += wide;
    Str path(full.c_str());
    EXPECT_EQ(file_->Open(path.get()), TN_OK);
    EXPECT_EQ(source_->GetFrameCount(), 2);
}

// Descriptor 0 is a file like any other: a source that gets it must count as open and read it.
TEST_F(Source, FileOnDescriptorZero) {
    ASSERT_EQ(Configure(source_.get(), Layout{2, 4, 0, 0, 0}), TN_OK);
    const auto bytes = RandomBytes(24, 7);
    WriteFile(dir_.File("zero.raw"), bytes);
    const int saved = ::dup(0);  // -1 when the test runs without standard input
    if (saved >= 0) ::close(0);
    const TNRESULT r = Open(dir_.File("zero.raw"));
    const bool open = source_->IsOpen();
    TNRESULT read = TN_E_FAIL;
    std::vector<uint8_t> got;
    {
        TNPtr<ITNMediaTrack> track;
        TNPtr<ITNSeeking> seeking;
        TNPtr<ITNSample> sample;
        if (TN_SUCCEEDED(source_->GetTrack(0, track.Out())) &&
            TN_SUCCEEDED(Query(track, seeking))) {
            seeking->SetPosition(2);
            read = seeking->GetCurrentSample(sample.Out());
            uint8_t* p = nullptr;
            if (sample && TN_SUCCEEDED(sample->GetPointer(&p))) got.assign(p, p + 8);
        }
    }
    const bool zeroWasTaken = ::fcntl(0, F_GETFD) != -1;
    file_.reset();
    source_.reset();  // closes descriptor 0
    if (saved >= 0) {
        ::dup2(saved, 0);
        ::close(saved);
    }
    ASSERT_TRUE(zeroWasTaken) << "the file should have landed on descriptor 0";
    EXPECT_EQ(r, TN_OK);
    EXPECT_TRUE(open);
    EXPECT_EQ(read, TN_OK);
    EXPECT_EQ(got, std::vector<uint8_t>(bytes.begin() + 16, bytes.end()));
}

TEST_F(Source, OpeningReadsNothingAndClosesThePreviousFile) {
    ASSERT_EQ(Configure(source_.get(), Layout{480, 1440, 0, 0, 0}), TN_OK);
    const std::string p = SizedFile("big.raw", off_t{6} << 30);  // 6 GiB, sparse
    auto fdCount = [] {
        int n = 0;
        for (auto& e : std::filesystem::directory_iterator("/proc/self/fd")) (void)e, ++n;
        return n;
    };
    const int before = fdCount();
    ASSERT_EQ(Open(p), TN_OK);
    EXPECT_EQ(fdCount(), before + 1);
    EXPECT_EQ(source_->GetFrameCount(), (int64_t{6} << 30) / 691200);
    ASSERT_EQ(Open(p), TN_OK);
    EXPECT_EQ(fdCount(), before + 1) << "a second Open closes the first file";
    EXPECT_EQ(Open(dir_.File("none")), TN_E_FILENOTFOUND);
    EXPECT_EQ(fdCount(), before);
}

}  // namespace
}  // namespace quern_test
