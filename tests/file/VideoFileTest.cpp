// The open file behind the view, without a widget: geometry and frames through the real plug-in,
// the frame descriptions refused before the file is touched, and every component step failing
// in turn through a fake plug-in.
#include "../common/ClipTestSupport.h"

#include "../common/NonRegularFiles.h"

#include "view/file/VideoFile.h"

#include "image/PixelLayout.h"
#include "TNCore.h"
#include "TNDebug.h"
#include "TNStr.h"

#include <QDir>
#include <QFile>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

using namespace viewtest;
using kavlo::VideoFile;

namespace {

// The core started with the real plug-in, and the leak check after the test.
class FileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(QuernLiveObjects(), 0) << "the real plug-in is loadable";
        ASSERT_TRUE(dir_.isValid());
        ASSERT_EQ(TNCoreInitialize(nullptr), TN_OK);
    }
    void TearDown() override {
        file_.Close();
        TNCoreClose();
        EXPECT_EQ(QuernLiveObjects(), 0);
    }
    Clip MakeClip(const char* name, const clipgen::ClipOptions& options) {
        return WriteClip(dir_.path(), QString::fromLatin1(name), options);
    }
    void Open(Clip& clip) {
        QString error;
        ASSERT_TRUE(file_.Open(&clip.settings, clip.path, error)) << error.toStdString();
    }

    QTemporaryDir dir_;
    VideoFile file_;
};

}  // namespace

TEST_F(FileFixture, ReadsFramesByNumberAndForgetsEverythingOnClose) {
    clipgen::ClipOptions o = Uyvy(32, 8, 3);
    o.bottomUp = true;
    Clip clip = MakeClip("a.raw", o);
    clip.settings.mirrorVertical = 1;
    Open(clip);
    EXPECT_EQ(file_.Width(), 32);
    EXPECT_EQ(file_.Height(), 8);
    EXPECT_EQ(file_.LineBytes(), 64) << "the pitch without its sign";
    EXPECT_EQ(file_.LayoutCode(), kLayoutUYVY);
    EXPECT_EQ(file_.StoredFlags().bottomUp, 1);
    EXPECT_EQ(file_.StoredFlags().flip, 1);
    EXPECT_EQ(file_.FrameCount(), 3);
    EXPECT_EQ(file_.TimeScale(), 25u);
    EXPECT_EQ(file_.Position(), -1) << "no frame read yet";

    std::vector<uint8_t> expected;
    ASSERT_TRUE(clipgen::PackFrame(o, 2, expected));
    ASSERT_TRUE(file_.LoadFrame(2));
    EXPECT_EQ(file_.Position(), 2);
    ASSERT_GE(file_.RawFrameBytes(), expected.size());
    EXPECT_EQ(std::memcmp(file_.RawFrame(), expected.data(), expected.size()), 0);
    EXPECT_FALSE(file_.LoadFrame((int64_t{1} << 32) + 1))
        << "a 64-bit frame number beyond the end, not frame 1";
    EXPECT_EQ(file_.Position(), 2);

    file_.Close();
    EXPECT_FALSE(file_.IsOpen());
    EXPECT_EQ(file_.Width(), 0);
    EXPECT_EQ(file_.Height(), 0);
    EXPECT_EQ(file_.LineBytes(), 0);
    EXPECT_EQ(file_.StoredFlags().bottomUp + file_.StoredFlags().flip, 0);
    EXPECT_EQ(file_.FrameCount(), 0);
    EXPECT_EQ(file_.Position(), -1);
    EXPECT_FALSE(file_.LoadFrame(0));
    EXPECT_EQ(QuernLiveObjects(), 1) << "only the core's class object";
}

TEST_F(FileFixture, OpenWritesFileSizeAndTrailingBytesBack) {
    clipgen::ClipOptions o = Uyvy(32, 8, 3);
    o.filePrefix = 10;
    o.framePrefix = 3;
    o.framePostfix = 5;
    Clip clip = MakeClip("e.raw", o);
    Open(clip);
    EXPECT_EQ(clip.settings.fileSize, 10u + 3u * (3u + 512u + 5u));
    EXPECT_EQ(clip.settings.trailingBytes, 0);
    EXPECT_EQ(file_.Settings().fileSize, clip.settings.fileSize);

    QFile file(clip.path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("x", 1);
    file.close();
    Open(clip);
    EXPECT_EQ(clip.settings.trailingBytes, 1);
    EXPECT_EQ(file_.FrameCount(), 3);
}

// An odd width of packed 4:2:2 at the layout's bytes per pixel: each row ends after the last
// pixel's luma, and the frames read are the bytes the clip generator wrote.
TEST_F(FileFixture, OddWidthPairsOpenAtTheirBytesPerPixel) {
    clipgen::ClipOptions o = Uyvy(97, 63, 2);
    o.lineBytes = 194;
    Clip clip = MakeClip("odd.raw", o);
    Open(clip);
    EXPECT_EQ(file_.LineBytes(), 194);
    EXPECT_EQ(file_.FrameCount(), 2);
    std::vector<uint8_t> expected;
    ASSERT_TRUE(clipgen::PackFrame(o, 1, expected));
    ASSERT_EQ(expected.size(), 194u * 63u);
    ASSERT_TRUE(file_.LoadFrame(1));
    EXPECT_EQ(std::memcmp(file_.RawFrame(), expected.data(), expected.size()), 0);
}

// ---- Files refused with a reason ---------------------------------------------------------------

namespace {

long PeakResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

// A file too short for one frame is refused with the numbers, before any frame buffer is
// allocated: a mistyped size on a small file must not commit gigabytes.
TEST_F(FileFixture, FileWithoutAWholeFrameIsRefusedBeforeItsBuffer) {
    Clip clip = MakeClip("h.raw", Uyvy(32, 8, 1));
    const QString path = dir_.filePath(QStringLiteral("clip.yuv"));
    auto writeFile = [&](qint64 bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_TRUE(file.resize(bytes));
    };
    auto refusal = [&](RawSettings s) {
        QString error;
        EXPECT_FALSE(file_.Open(&s, path, error));
        EXPECT_FALSE(file_.IsOpen());
        EXPECT_EQ(file_.RawFrameBytes(), 0u);
        EXPECT_EQ(QuernLiveObjects(), 1) << "every component released";
        return error.toStdString();
    };
    RawSettings pal = clip.settings;
    pal.rawFormat.width = 720;
    pal.rawFormat.height = 576;
    pal.rawFormat.lineBytes = 1440;
    writeFile(100);
    EXPECT_EQ(refusal(pal), "clip.yuv has 100 bytes; one 720\u00d7576 UYVY frame needs 829,440");
    writeFile(0);
    EXPECT_EQ(refusal(pal), "clip.yuv has 0 bytes; one 720\u00d7576 UYVY frame needs 829,440");
    // One frame's pixels, but not its prefixes and postfix.
    writeFile(829440);
    pal.filePrefix = 10;
    pal.framePrefix = 3;
    pal.framePostfix = 5;
    EXPECT_EQ(refusal(pal),
              "clip.yuv has 829,440 bytes; one 720\u00d7576 UYVY frame needs "
              "829,458 (file prefix 10, frame prefix 3, frame 829,440, frame "
              "postfix 5)");

    // 30000 x 30000 grey on 9 bytes: refused without touching the 900 MB a frame would take.
    writeFile(9);
    RawSettings huge = clip.settings;
    huge.rawFormat.code = kLayoutGRAY;
    huge.rawFormat.width = 30000;
    huge.rawFormat.height = 30000;
    huge.rawFormat.lineBytes = 30000;
    const long before = PeakResidentKiB();
    EXPECT_EQ(refusal(huge).rfind("clip.yuv has 9 bytes; one 30000\u00d730000 GRAY frame needs "
                                  "900,000,000",
                                  0),
              0u);
    EXPECT_LT(PeakResidentKiB() - before, 32 * 1024) << "KiB more at the peak";
}

// What is not a regular file is refused, and the text says what it is. The plug-in's text stays
// first.
TEST_F(FileFixture, NonRegularFilesAreRefusedWithTheReason) {
    Clip clip = MakeClip("h.raw", Uyvy(32, 8, 1));
    const std::string fifo = dir_.filePath(QStringLiteral("pipe.raw")).toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = dir_.filePath(QStringLiteral("s.raw")).toStdString();
    const int s = testfiles::BindUnixSocket(socketPath);
    ASSERT_GE(s, 0);
    QDir(dir_.path()).mkdir(QStringLiteral("sub.raw"));

    const struct {
        QString path;
        TNRESULT result;
        const char* reason;
    } cases[] = {
        {dir_.filePath(QStringLiteral("sub.raw")), TN_E_ISDIRECTORY, "sub.raw is a directory"},
        {QString::fromStdString(fifo), TN_E_NOTSUPPORTED,
         "pipe.raw is not a regular file (it is a named pipe)"},
        {QString::fromStdString(socketPath), TN_E_NOTSUPPORTED,
         "s.raw is not a regular file (it is a socket)"},
        {QStringLiteral("/dev/zero"), TN_E_NOTSUPPORTED,
         "zero is not a regular file (it is a character device)"},
        {QStringLiteral("/dev/null"), TN_E_NOTSUPPORTED,
         "null is not a regular file (it is a character device)"},
        {QStringLiteral("/proc/self/stat"), TN_E_NOTSUPPORTED,
         "stat is not a regular file (it is made up by the kernel)"},
    };
    for (const auto& c : cases) {
        RawSettings settings = clip.settings;
        QString error;
        EXPECT_FALSE(file_.Open(&settings, c.path, error)) << c.path.toStdString();
        EXPECT_EQ(error.toStdString(),
                  (WithResult("coudn't video open file (TNErr: %ls): ", c.result) +
                   QString::fromLatin1(c.reason))
                      .toStdString());
        EXPECT_FALSE(file_.IsOpen());
    }
    ::close(s);
}

TEST_F(FileFixture, UnreadableFileSaysPermissionDenied) {
    Clip clip = MakeClip("locked.raw", Uyvy(32, 8, 1));
    EXPECT_EQ(kavlo::FileOpenReason(clip.path, TN_E_FILEACCESS),
              QStringLiteral("permission denied: locked.raw cannot be read"));
    EXPECT_EQ(kavlo::FileOpenReason(clip.path, TN_E_FAIL), QString()) << "a readable file";
    if (::geteuid() == 0) GTEST_SKIP() << "root reads files regardless of their mode";
    QFile::setPermissions(clip.path, QFileDevice::Permissions());
    QString error;
    EXPECT_FALSE(file_.Open(&clip.settings, clip.path, error));
    EXPECT_EQ(error, WithResult("coudn't video open file (TNErr: %ls): ", TN_E_FILEACCESS) +
                         QStringLiteral("permission denied: locked.raw cannot be read"));
}

// ---- Frame descriptions refused before the file is touched -----------------------------------

struct GeometryCase {
    const char* name;
    uint32_t code;
    int32_t width, height, lineBytes;
    const char* textStart;
};

class GeometryTest : public FileFixture, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(GeometryTest, RefusedWithAClearText) {
    const GeometryCase c = GetParam();
    Clip clip = MakeClip("h.raw", Uyvy(32, 8, 2));
    Open(clip);
    RawSettings s = clip.settings;
    s.rawFormat.code = c.code;
    s.rawFormat.width = c.width;
    s.rawFormat.height = c.height;
    s.rawFormat.lineBytes = c.lineBytes;
    QString error;
    EXPECT_FALSE(file_.Open(&s, clip.path, error));
    EXPECT_TRUE(error.startsWith(QString::fromLatin1(c.textStart))) << error.toStdString();
    EXPECT_FALSE(file_.IsOpen());
    EXPECT_EQ(file_.Width(), 0);
    EXPECT_EQ(QuernLiveObjects(), 1) << "no component was created";
}

INSTANTIATE_TEST_SUITE_P(
    BadFrames, GeometryTest,
    ::testing::Values(
        GeometryCase{"ZeroWidth", kLayoutUYVY, 0, 8, 64, "invalid frame size 0 x 8"},
        GeometryCase{"NegativeWidth", kLayoutUYVY, -32, 8, 64, "invalid frame size -32 x 8"},
        GeometryCase{"ZeroHeight", kLayoutUYVY, 32, 0, 64, "invalid frame size 32 x 0"},
        GeometryCase{"NegativeHeight", kLayoutUYVY, 32, -8, 64, "invalid frame size 32 x -8"},
        GeometryCase{"PackedPitchTooSmall", kLayoutUYVY, 32, 8, 63,
                     "line pitch of 63 bytes is too small for a row of 32 pixels in layout UYVY "
                     "(it needs at least 64 bytes)"},
        GeometryCase{"BottomUpPitchTooSmall", kLayoutBGR3, 32, 8, -95,
                     "line pitch of 95 bytes is too small"},
        GeometryCase{"ZeroPitch", kLayoutGRAY, 32, 8, 0, "line pitch of 0 bytes"},
        GeometryCase{"PlanesDoNotFit", kLayoutYV12, 64, 8, 80,
                     "frame of 640 bytes (line pitch 80 x height 8) is too small for the planes "
                     "of layout YV12 at 64 x 8 (they need 768 bytes)"},
        GeometryCase{"WiderThanTheConversion", kLayoutGRAY, (1 << 24) + 2, 1, (1 << 24) + 2,
                     "frame width 16777218 is larger than the widest frame that can be shown"},
        GeometryCase{"BuffersTooLarge", kLayoutGRAY, 70000, 70000, 70000,
                     "frame of 70000 x 70000 pixels at a line pitch of 70000 bytes is too large"},
        GeometryCase{"DisplayBufferTooLarge", kLayoutGRAY, 1000000, 1100, 1000000,
                     "frame of 1000000 x 1100 pixels"},
        // Frames between 2 and 4 GiB are refused as the plug-in would refuse them, before the
        // view allocates a buffer for one.
        GeometryCase{"LargerThanThePlugInReads", kLayoutGRAY, 16, 1000, 2147484,
                     "frame of 16 x 1000 pixels at a line pitch of 2147484 bytes is too large: "
                     "its 2,147,484,000 bytes are more than the 2,147,483,632 bytes a frame may "
                     "have"},
        GeometryCase{"OddWidthPitchCutsTheLastLuma", kLayoutUYVY, 97, 63, 193,
                     "line pitch of 193 bytes is too small for a row of 97 pixels in layout UYVY "
                     "(it needs at least 194 bytes)"},
        GeometryCase{"WidthNotAMultipleOfTheBlock", kLayoutV210, 721, 8, 1923,
                     "line pitch of 1923 bytes is too small for a row of 721 pixels in layout "
                     "v210 (it needs at least 1936 bytes): width 721 is not a multiple of 6: v210 "
                     "needs a width that is a multiple of 6 or a line pitch of at least 1,936 "
                     "bytes"}),
    [](const ::testing::TestParamInfo<GeometryCase>& p) { return std::string(p.param.name); });

// ---- Components that fail, one step at a time -------------------------------------------------

namespace {

struct FakePlugin {
    void* handle = nullptr;
    void (*configure)(int32_t failure, int32_t frameBytes) = nullptr;
    int32_t (*live)() = nullptr;
    int32_t (*references)() = nullptr;
};

const FakePlugin& Fake() {
    static const FakePlugin fake = [] {
        FakePlugin f;
        f.handle = ::dlopen(KAVLO_FAKE_PLUGIN_DIR "/fakesource.dll", RTLD_NOW | RTLD_LOCAL);
        if (f.handle) {
            f.configure = reinterpret_cast<void (*)(int32_t, int32_t)>(
                ::dlsym(f.handle, "fakeSourceConfigure"));
            f.live =
                reinterpret_cast<int32_t (*)()>(::dlsym(f.handle, "fakeSourceLiveObjectCount"));
            f.references =
                reinterpret_cast<int32_t (*)()>(::dlsym(f.handle, "fakeSourceReferenceCount"));
        }
        return f;
    }();
    return fake;
}

constexpr int32_t kFakeFrameBytes = 32 * 8 * 2;
constexpr int32_t kFailSample = 7;

// The core started with the fake plug-in in place of the real one.
class FakeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Fake().configure && Fake().live && Fake().references) << ::dlerror();
        ASSERT_TRUE(dir_.isValid());
        _TNStr* directory = CTNStrCreateFromCString(KAVLO_FAKE_PLUGIN_DIR);
        ASSERT_EQ(TNCoreInitialize(directory), TN_OK);
        CTNStrRelease(directory);
        clip_ = WriteClip(dir_.path(), QStringLiteral("i.raw"), Uyvy(32, 8, 2));
    }
    void TearDown() override {
        file_.Close();
        Fake().configure(0, 0);
        TNCoreClose();
        EXPECT_EQ(Fake().live(), 0);
    }
    QTemporaryDir dir_;
    Clip clip_;
    VideoFile file_;
};

}  // namespace

TEST_F(FakeFileTest, FailedReadKeepsThePositionSoTheFrameCanBeRetried) {
    Fake().configure(0, kFakeFrameBytes);
    QString error;
    ASSERT_TRUE(file_.Open(&clip_.settings, clip_.path, error)) << error.toStdString();
    Fake().configure(kFailSample, kFakeFrameBytes);
    EXPECT_FALSE(file_.LoadFrame(0));
    EXPECT_EQ(file_.Position(), -1) << "still before the first frame";
    Fake().configure(0, kFakeFrameBytes);
    ASSERT_TRUE(file_.LoadFrame(0));
    Fake().configure(kFailSample, kFakeFrameBytes);
    EXPECT_FALSE(file_.LoadFrame(1));
    EXPECT_EQ(file_.Position(), 0) << "the frame in the buffer is still frame 0";
    Fake().configure(0, kFakeFrameBytes);
    EXPECT_TRUE(file_.LoadFrame(1)) << "the same frame again, now readable";
    EXPECT_EQ(file_.Position(), 1);
}

struct FailureCase {
    const char* name;
    int32_t failure;  // the step of the fake source that fails
    const char* format;
    TNRESULT result;
};

class ComponentFailureTest : public FakeFileTest,
                             public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ComponentFailureTest, GivesItsTextAndBackEveryReference) {
    const FailureCase c = GetParam();
    Fake().configure(c.failure, kFakeFrameBytes);
    const int32_t before = Fake().live();  // the core's class object
    const int32_t referencesBefore = Fake().references();
    QString error;
    const bool opened = file_.Open(&clip_.settings, clip_.path, error);
    if (c.failure == 0 || c.failure == kFailSample) {
        // Opening reads no frame: a failing read shows only when a frame is asked for.
        ASSERT_TRUE(opened) << error.toStdString();
        EXPECT_EQ(Fake().live(), before + 2) << "exactly the source and the track stay";
        EXPECT_EQ(Fake().references(), referencesBefore + 2)
            << "one reference on the source, one on the seeking interface";
        EXPECT_EQ(file_.LoadFrame(1), c.failure == 0);
        EXPECT_EQ(Fake().references(), referencesBefore + 2) << "the sample went back";
        file_.Close();
    } else {
        EXPECT_FALSE(opened);
        EXPECT_EQ(error, WithResult(c.format, c.result));
        EXPECT_FALSE(file_.IsOpen());
        EXPECT_EQ(file_.Width(), 0);
    }
    EXPECT_EQ(Fake().live(), before);
    EXPECT_EQ(Fake().references(), referencesBefore);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, ComponentFailureTest,
    ::testing::Values(
        FailureCase{"NoFailure", 0, "", 0},
        FailureCase{"CreateInstance", 1, "coudn't create plug-in instance (TNErr: %ls)", TN_E_OOM},
        FailureCase{"RawContainer", 2, "coundn't get RawVideoContainer interface (TNErr: %ls)",
                    TN_E_NOINTERFACE},
        FailureCase{"FileSource", 3,
                    "an error occured when getting the ITNPersistFile interface (TNErr: %ls)",
                    TN_E_NOINTERFACE},
        FailureCase{"MediaContainer", 4, "coudn't open container (TNErr: %ls)", TN_E_NOINTERFACE},
        FailureCase{"GetTrack", 5, "coudn't get seeking interface (TNErr: %ls)", TN_E_INVALIDARG},
        FailureCase{"Seeking", 6, "coudn't get seeking interface (TNErr: %ls)", TN_E_NOINTERFACE},
        FailureCase{"Sample", kFailSample, "", 0}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });
