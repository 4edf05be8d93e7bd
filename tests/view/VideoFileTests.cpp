// The open file behind the view, without a widget: geometry and frames through the real plug-in,
// the frame descriptions refused before the file is touched, and every component step failing
// in turn through a fake plug-in.
#include "ViewTestSupport.h"

#include "view/VideoFile.h"

#include "image/PixelLayout.h"
#include "TNCore.h"
#include "TNDebug.h"
#include "TNStr.h"

#include <QFile>

#include <dlfcn.h>

#include <cstring>

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
                     "frame of 1000000 x 1100 pixels"}),
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
            f.live = reinterpret_cast<int32_t (*)()>(::dlsym(f.handle, "fakeSourceLiveObjectCount"));
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
        FailureCase{"CreateInstance", 1, "coudn't create plug-in instance (TNErr: %ls)",
                    TN_E_OOM},
        FailureCase{"RawContainer", 2, "coundn't get RawVideoContainer interface (TNErr: %ls)",
                    TN_E_NOINTERFACE},
        FailureCase{"FileSource", 3,
                    "an error occured when getting the ITNPersistFile interface (TNErr: %ls)",
                    TN_E_NOINTERFACE},
        FailureCase{"MediaContainer", 4, "coudn't open container (TNErr: %ls)",
                    TN_E_NOINTERFACE},
        FailureCase{"GetTrack", 5, "coudn't get seeking interface (TNErr: %ls)",
                    TN_E_INVALIDARG},
        FailureCase{"Seeking", 6, "coudn't get seeking interface (TNErr: %ls)",
                    TN_E_NOINTERFACE},
        FailureCase{"Sample", kFailSample, "", 0}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });
