// The view shows the frames of the read-ahead cache and renders their own bytes on a switch, and
// a reload follows the file on disk.
#include "ViewTestSupport.h"

#include "view/picture/FrameCache.h"

#include <QByteArray>

#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

using kavlo::FrameCache;

namespace viewtest {
namespace {

class FollowedFile : public ViewFixture {};

QByteArray Picture(const kavlo::DisplayBitmap* bitmap) {
    if (!bitmap) return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(bitmap->Row(0)),
                      static_cast<qsizetype>(bitmap->Stride()) * bitmap->Height());
}

TEST_F(FollowedFile, TheViewShowsCachedFramesAndRendersTheirOwnBytesOnASwitch) {
    Clip clip = MakeClip(QStringLiteral("cached.yuv"), Uyvy(32, 16, 12));
    Open(clip);
    QString error;
    auto reader = kavlo::OpenVideoFileReader(clip.settings, clip.path, error);
    ASSERT_TRUE(reader) << error.toStdString();
    FrameCache cache(std::move(reader), FrameCache::kDefaultCapBytes);
    cache.SetSwitches(view_->Switches());
    cache.SetPosition(5, 0, false);
    ASSERT_TRUE(WaitFor([&] { return cache.Find(5) && cache.Find(5)->bitmap; }));
    auto five = cache.Find(5);
    ASSERT_TRUE(view_->ShowCachedFrame(five, five->generation == cache.Generation()));
    EXPECT_EQ(view_->CurrentPosition(), 5);
    EXPECT_EQ(view_->Bitmap(), five->bitmap.get()) << "the cache's picture, no conversion";
    EXPECT_FALSE(view_->LoadFrame(5)) << "already shown";

    // A switch renders the cached frame's bytes, not the frame in the file's buffer (0).
    view_->ToggleFlip();
    const QByteArray flippedFive = Picture(view_->Bitmap());
    EXPECT_NE(view_->Bitmap(), five->bitmap.get());
    ASSERT_TRUE(view_->LoadFrame(0)) << "the file's own frame again";
    EXPECT_EQ(view_->CurrentPosition(), 0);
    ASSERT_TRUE(view_->LoadFrame(5));
    EXPECT_EQ(Picture(view_->Bitmap()), flippedFive);

    // A picture of older switches is not shown as it is.
    view_->LoadFrame(0);
    ASSERT_TRUE(view_->ShowCachedFrame(five, false));
    EXPECT_EQ(Picture(view_->Bitmap()), flippedFive);
}

TEST_F(FollowedFile, ReloadFollowsTheFileAndClampsThePosition) {
    Clip clip = MakeClip(QStringLiteral("reload.yuv"), Uyvy(32, 16, 12));
    Open(clip, 10);
    const QByteArray before = Picture(view_->Bitmap());
    const int64_t frameBytes = 32 * 16 * 2;
    ASSERT_EQ(::truncate(clip.path.toLocal8Bit().constData(), 6 * frameBytes), 0);
    QString error;
    ASSERT_TRUE(view_->ReloadFile(error)) << error.toStdString();
    EXPECT_EQ(view_->FrameCount(), 6);
    EXPECT_EQ(view_->CurrentPosition(), 5);
    EXPECT_NE(Picture(view_->Bitmap()), before);
    ASSERT_EQ(::truncate(clip.path.toLocal8Bit().constData(), frameBytes / 2), 0);
    EXPECT_FALSE(view_->ReloadFile(error));
    EXPECT_FALSE(view_->IsOpen()) << "nothing of the old bytes stays on screen";
    EXPECT_EQ(view_->Bitmap(), nullptr);
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace viewtest
