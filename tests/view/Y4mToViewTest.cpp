// YUV4MPEG2 clips from the generator, opened as a user's file is: the header read into a settings
// record by the application's parser, the file opened in the view. The screen shows exactly what
// the same clip stored raw shows (whose picture GeneratorToViewTest compares with the
// generator's); each frame's FRAME line is checked as the frame is read.
#include "ViewTestSupport.h"

#include "settings/FileNameHints.h"
#include "settings/Y4mHeader.h"
#include "clipgen/ClipY4m.h"
#include "image/Convert.h"
#include "image/PixelLayout.h"

#include <QFile>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace viewtest;

namespace {

class Y4mToView : public ViewFixture {
protected:
    // Writes the clip as a .y4m file and reads its settings from its first bytes.
    Clip MakeY4m(const char* name, const clipgen::ClipOptions& o,
                 const clipgen::Y4mOptions& y4m = {}) {
        Clip clip;
        clip.options = o;
        clip.path = dir_.filePath(QString::fromUtf8(name));
        std::string error, note;
        EXPECT_TRUE(clipgen::WriteY4mClip(o, y4m, clip.path.toStdString(), error)) << error;
        QFile file(clip.path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray start = file.read(2 * y4m::kMaxLineBytes);
        EXPECT_TRUE(y4m::ReadSettings(reinterpret_cast<const uint8_t*>(start.constData()),
                                      static_cast<size_t>(start.size()), clip.settings, error,
                                      note))
            << error;
        return clip;
    }

    // The frame on screen equals the raw clip's frame converted.
    void ExpectFrame(const clipgen::ClipOptions& o, int n) {
        const Converted want = ConvertClipFrame(o, n, 0);
        const kavlo::DisplayBitmap* bitmap = view_->Bitmap();
        ASSERT_NE(bitmap, nullptr);
        ASSERT_EQ(bitmap->Height(), o.height);
        for (int y = 0; y < o.height; ++y)
            ASSERT_EQ(std::memcmp(bitmap->Row(y), want.Row(y), size_t(3 * o.width)), 0)
                << "frame " << n << ", row " << y;
    }
};

clipgen::ClipOptions Options(uint32_t code, int frames) {
    clipgen::ClipOptions o;
    o.code = code;
    o.width = 96;
    o.height = 36;
    o.frames = frames;
    return o;
}

TEST_F(Y4mToView, GeneratedStreamsShowWhatTheirRawClipsShow) {
    std::string missing;
    for (const char* name : {"I420", "GRAY", "I422", "I444", "I420LE10", "I422LE10", "GRAYLE16"}) {
        SCOPED_TRACE(name);
        const auto code = rawsettings::LayoutCodeByName(name);
        if (!code) {
            missing += std::string(" ") + name;
            continue;
        }
        const clipgen::ClipOptions o = Options(*code, 3);
        Clip clip = MakeY4m((std::string(name) + ".y4m").c_str(), o);
        Open(clip);
        EXPECT_EQ(view_->FrameCount(), 3);
        ExpectFrame(o, 0);
        ASSERT_TRUE(view_->LoadFrame(2));
        ExpectFrame(o, 2);
        view_->CloseFile();
    }
    if (!missing.empty()) GTEST_SKIP() << "the catalogue lacks" << missing;
}

// A frame whose line carries parameters is refused with the reason, and so is every frame it
// shifts; the frames before it still read, and a good frame clears the reason.
TEST_F(Y4mToView, FramesWithTheirOwnParametersAreRefusedByName) {
    clipgen::Y4mOptions y4m;
    y4m.parameterFrame = 2;
    y4m.frameParameters = "Ixyz";
    const clipgen::ClipOptions o = Options(kLayoutI420, 4);
    Clip clip = MakeY4m("params.y4m", o, y4m);
    Open(clip);
    EXPECT_TRUE(view_->LoadErrorText().isEmpty());
    ASSERT_TRUE(view_->LoadFrame(1));
    EXPECT_FALSE(view_->LoadFrame(2));
    EXPECT_EQ(view_->LoadErrorText(),
              QStringLiteral("frame 2's FRAME line is 11 bytes, the first frame's 6; frames with "
                             "their own parameters are not supported"));
    EXPECT_EQ(view_->CurrentPosition(), 1);
    EXPECT_FALSE(view_->LoadFrame(3));
    EXPECT_TRUE(view_->LoadErrorText().startsWith(
        QStringLiteral("frame 3 does not start with a FRAME line")));
    ASSERT_TRUE(view_->LoadFrame(0));
    EXPECT_TRUE(view_->LoadErrorText().isEmpty());
    ExpectFrame(o, 0);
}

// The same record on a raw file (no signature) reads its frame prefixes as bytes to skip.
TEST_F(Y4mToView, RawFilesWithFramePrefixesAreNotChecked) {
    clipgen::ClipOptions o = Options(kLayoutI420, 3);
    o.filePrefix = 40;
    o.framePrefix = 6;
    Clip clip = MakeClip("prefixed.raw", o);
    Open(clip);
    ASSERT_TRUE(view_->LoadFrame(2));
    EXPECT_TRUE(view_->LoadErrorText().isEmpty());
}

// ffmpeg's own .y4m of the same frames, when ffmpeg is installed: the header and frame lines of
// another writer open the same way.
TEST_F(Y4mToView, StreamsWrittenByFfmpegOpen) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    const clipgen::ClipOptions o = Options(kLayoutI420, 2);
    Clip raw = MakeClip("frames.yuv", o);
    const QString out = dir_.filePath(QStringLiteral("ffmpeg.y4m"));
    const std::string command =
        "ffmpeg -v error -y -f rawvideo -pix_fmt yuv420p -s 96x36 -r 30000/1001 -i '" +
        raw.path.toStdString() + "' -f yuv4mpegpipe '" + out.toStdString() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray start = file.read(2 * y4m::kMaxLineBytes);
    Clip clip;
    clip.options = o;
    clip.path = out;
    std::string error, note;
    ASSERT_TRUE(y4m::ReadSettings(reinterpret_cast<const uint8_t*>(start.constData()),
                                  static_cast<size_t>(start.size()), clip.settings, error, note))
        << error;
    EXPECT_EQ(clip.settings.timeScale, 30000u);
    EXPECT_EQ(clip.settings.frameDuration, 1001u);
    Open(clip);
    EXPECT_EQ(view_->FrameCount(), 2);
    ASSERT_TRUE(view_->LoadFrame(1));
    ExpectFrame(o, 1);
}

}  // namespace
