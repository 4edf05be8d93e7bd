// Opening files in the view and loading frames through the real plug-in: what the view shows
// and keeps. The file's own checks and error texts are in VideoFileTest.cpp.
#include "ViewTestSupport.h"

#include "image/PixelLayout.h"
#include "TNCore.h"
#include "TNDebug.h"

using namespace viewtest;

namespace {}  // namespace

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
    EXPECT_EQ(error,
              WithResult("coudn't create plug-in instance (TNErr: %ls)", TN_E_NOTINITIALIZED));
    EXPECT_FALSE(view_->IsOpen());
    ASSERT_EQ(TNCoreInitialize(nullptr), TN_OK);
}
