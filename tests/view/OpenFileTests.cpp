// Opening files, loading frames and every error text of OpenFile: through the real plug-in, and
// through a fake one that fails at each component step in turn.
#include "ViewTestSupport.h"

#include "image/PixelLayout.h"
#include "TNCore.h"
#include "TNDebug.h"
#include "TNStr.h"

#include <QFile>

#include <dlfcn.h>

using namespace viewtest;

namespace {

clipgen::ClipOptions Uyvy(int w, int h, int frames) {
    clipgen::ClipOptions o;
    o.code = kLayoutUYVY;
    o.width = w;
    o.height = h;
    o.frames = frames;
    return o;
}

QString WithResult(const char* format, TNRESULT result) {
    QString text = QString::fromLatin1(format);
    text.replace(QLatin1String("%ls"), QString::fromWCharArray(TNGetErrorString(result)));
    return text;
}

}  // namespace

TEST_F(ViewFixture, RecordOfTheWrongSizeFailsWithoutTouchingTheOpenFile) {
    Clip clip = MakeClip("a.raw", Uyvy(32, 8, 2));
    Open(clip);
    for (uint32_t size : {207u, 209u, 0u}) {
        RawSettings other = clip.settings;
        other.size = size;
        QString error = QStringLiteral("unchanged");
        EXPECT_EQ(view_->OpenFile(&other, clip.path, error, 0), -1);
        EXPECT_EQ(error, QStringLiteral("unchanged"));
        EXPECT_TRUE(view_->IsOpen());
        EXPECT_EQ(view_->FileName(), clip.path);
    }
    QString error;
    EXPECT_EQ(view_->OpenFile(nullptr, clip.path, error, 0), -1);
    EXPECT_TRUE(view_->IsOpen());
}

TEST_F(ViewFixture, MissingFileGivesFileNotFoundAndLeavesNoFile) {
    Clip clip = MakeClip("b.raw", Uyvy(32, 8, 2));
    Open(clip);
    QString error;
    RawSettings settings = clip.settings;
    EXPECT_EQ(view_->OpenFile(&settings, dir_.filePath("missing.raw"), error, 0), -1);
    EXPECT_EQ(error, WithResult("coudn't video open file (TNErr: %ls)", TN_E_FILENOTFOUND));
    EXPECT_TRUE(error.contains(QStringLiteral("File not found"))) << error.toStdString();
    EXPECT_FALSE(view_->IsOpen());
    EXPECT_EQ(view_->Bitmap(), nullptr);
    EXPECT_EQ(view_->FrameCount(), 0);
}

TEST_F(ViewFixture, StartFrameIsClampedIntoTheFile) {
    Clip clip = MakeClip("c.raw", Uyvy(32, 8, 3));
    Open(clip, -5);
    EXPECT_EQ(view_->CurrentPosition(), 0);
    EXPECT_EQ(view_->FrameCount(), 3);

    QString error;
    EXPECT_EQ(view_->OpenFile(&clip.settings, clip.path, error, 99), -1);
    EXPECT_EQ(error, QStringLiteral("couldn't load first frame"));
    EXPECT_FALSE(view_->IsOpen());
}

TEST_F(ViewFixture, LoadFrameOnlyChangesForANewValidFrame) {
    Clip clip = MakeClip("d.raw", Uyvy(32, 8, 3));
    Open(clip, 1);
    const Converted frame1 = ConvertClipFrame(clip.options, 1, 0);
    EXPECT_EQ(std::memcmp(view_->Bitmap()->Row(3), frame1.Row(3), 96), 0);

    EXPECT_FALSE(view_->LoadFrame(1)) << "already shown";
    EXPECT_TRUE(view_->LoadFrame(2));
    EXPECT_EQ(view_->CurrentPosition(), 2);
    const Converted frame2 = ConvertClipFrame(clip.options, 2, 0);
    EXPECT_EQ(std::memcmp(view_->Bitmap()->Row(3), frame2.Row(3), 96), 0);

    const kavlo::DisplayBitmap* shown = view_->Bitmap();
    EXPECT_FALSE(view_->LoadFrame(3)) << "the frame count passes the check, the read fails";
    EXPECT_FALSE(view_->LoadFrame(4));
    EXPECT_EQ(view_->Bitmap(), shown) << "a failed load changes nothing";
    EXPECT_EQ(std::memcmp(view_->Bitmap()->Row(3), frame2.Row(3), 96), 0);
    EXPECT_EQ(view_->CurrentPosition(), 2) << "the position of the picture shown";
    EXPECT_FALSE(view_->LoadFrame(2)) << "still the frame shown";

    view_->CloseFile();
    EXPECT_FALSE(view_->LoadFrame(0));
}

TEST_F(ViewFixture, OpenWritesFileSizeAndTrailingBytesBack) {
    clipgen::ClipOptions o = Uyvy(32, 8, 3);
    o.filePrefix = 10;
    o.framePrefix = 3;
    o.framePostfix = 5;
    Clip clip = MakeClip("e.raw", o);
    Open(clip);
    EXPECT_EQ(clip.settings.fileSize, 10u + 3u * (3u + 512u + 5u));
    EXPECT_EQ(clip.settings.trailingBytes, 0);
    EXPECT_EQ(view_->Settings().fileSize, clip.settings.fileSize);

    QFile file(clip.path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("x", 1);
    file.close();
    Open(clip);
    EXPECT_EQ(clip.settings.trailingBytes, 1);
    EXPECT_EQ(view_->FrameCount(), 3);
}

TEST_F(ViewFixture, CloseFileReleasesEverything) {
    Clip clip = MakeClip("f.raw", Uyvy(32, 8, 2));
    Open(clip);
    EXPECT_GT(QuernLiveObjects(), 1) << "source, track and allocator are alive";
    view_->CloseFile();
    EXPECT_FALSE(view_->IsOpen());
    EXPECT_EQ(view_->Bitmap(), nullptr);
    EXPECT_TRUE(view_->FileName().isEmpty());
    EXPECT_EQ(view_->Settings().size, 0u);
    EXPECT_EQ(view_->CurrentPosition(), -1);
    EXPECT_EQ(QuernLiveObjects(), 1) << "only the core's class object";
    view_->CloseFile();  // harmless twice
}

TEST_F(ViewFixture, CloseFileForgetsTheFrameSize) {
    Clip clip = MakeClip("size.raw", Uyvy(64, 32, 2));
    Open(clip);
    view_->CloseFile();
    EXPECT_EQ(view_->FrameWidth(), 0);
    EXPECT_EQ(view_->FrameHeight(), 0);
    view_->SetZoom(2.0);
    view_->ActualSize();
    EXPECT_EQ(view_->ZoomedSize(), QSize(0, 0)) << "nothing to scroll without a file";
}

TEST_F(ViewFixture, CoreThatIsNotInitialisedCannotCreateTheSource) {
    Clip clip = MakeClip("g.raw", Uyvy(32, 8, 2));
    TNCoreClose();
    QString error;
    EXPECT_EQ(view_->OpenFile(&clip.settings, clip.path, error, 0), -1);
    EXPECT_EQ(error, WithResult("coudn't create plug-in instance (TNErr: %ls)",
                                TN_E_NOTINITIALIZED));
    EXPECT_FALSE(view_->IsOpen());
    ASSERT_EQ(TNCoreInitialize(nullptr), TN_OK);
}

// ---- Frame descriptions the view refuses before touching the file ----------------------------

struct GeometryCase {
    const char* name;
    uint32_t code;
    int32_t width, height, lineBytes;
    const char* textStart;
};

class GeometryTest : public ViewFixture, public ::testing::WithParamInterface<GeometryCase> {};

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
    EXPECT_EQ(view_->OpenFile(&s, clip.path, error, 0), -1);
    EXPECT_TRUE(error.startsWith(QString::fromLatin1(c.textStart))) << error.toStdString();
    EXPECT_FALSE(view_->IsOpen());
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

}  // namespace

struct FailureCase {
    const char* name;
    int32_t failure;  // the step of the fake source that fails
    const char* format;
    TNRESULT result;
};

class ComponentFailureTest : public ::testing::TestWithParam<FailureCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(Fake().configure && Fake().live && Fake().references) << ::dlerror();
        ASSERT_TRUE(dir_.isValid());
        _TNStr* directory = CTNStrCreateFromCString(KAVLO_FAKE_PLUGIN_DIR);
        ASSERT_EQ(TNCoreInitialize(directory), TN_OK);
        CTNStrRelease(directory);
        view_ = std::make_unique<CVideoBuffer>();
    }
    void TearDown() override {
        view_.reset();
        Fake().configure(0, 0);
        TNCoreClose();
        EXPECT_EQ(Fake().live(), 0);
    }
    QTemporaryDir dir_;
    std::unique_ptr<CVideoBuffer> view_;
};

TEST_P(ComponentFailureTest, GivesItsTextAndBackEveryReference) {
    const FailureCase c = GetParam();
    Clip clip = WriteClip(dir_.path(), QStringLiteral("i.raw"), Uyvy(32, 8, 2));
    Fake().configure(c.failure, 32 * 8 * 2);
    const int32_t before = Fake().live();  // the core's class object
    const int32_t referencesBefore = Fake().references();
    QString error;
    const int result = view_->OpenFile(&clip.settings, clip.path, error, 0);
    if (c.failure == 0) {
        EXPECT_EQ(result, 0) << error.toStdString();
        EXPECT_EQ(Fake().live(), before + 2) << "exactly the source and the track stay";
        EXPECT_EQ(Fake().references(), referencesBefore + 2)
            << "one reference on the source, one on the seeking interface";
        EXPECT_TRUE(view_->LoadFrame(1));
        EXPECT_EQ(Fake().references(), referencesBefore + 2) << "the sample went back";
        view_->CloseFile();
    } else {
        EXPECT_EQ(result, -1);
        const QString expected = c.result == 0 ? QString::fromLatin1(c.format)
                                               : WithResult(c.format, c.result);
        EXPECT_EQ(error, expected);
        EXPECT_FALSE(view_->IsOpen());
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
        FailureCase{"FirstSample", 7, "couldn't load first frame", 0}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

TEST_F(ComponentFailureTest, FailedReadKeepsThePositionSoTheFrameCanBeRetried) {
    Clip clip = WriteClip(dir_.path(), QStringLiteral("j.raw"), Uyvy(32, 8, 2));
    Fake().configure(0, 32 * 8 * 2);
    QString error;
    ASSERT_EQ(view_->OpenFile(&clip.settings, clip.path, error, 0), 0) << error.toStdString();
    Fake().configure(7, 32 * 8 * 2);
    EXPECT_FALSE(view_->LoadFrame(1));
    EXPECT_EQ(view_->CurrentPosition(), 0) << "the frame shown is still frame 0";
    Fake().configure(0, 32 * 8 * 2);
    EXPECT_TRUE(view_->LoadFrame(1)) << "the same frame again, now readable";
    EXPECT_EQ(view_->CurrentPosition(), 1);
}
