// Comparing the file shown (A) with a reference file (B) of the same frame size: B opened and
// read by a VideoFile of its own, rendered by a FrameRenderer of its own with the view's display
// switches (so that what is compared is shown alike), and the two pictures shown one at a time,
// side by side, or as their difference. No widget: the view composes through it and the tests
// check the pictures it makes.
#pragma once

#include "view/picture/DisplayBitmap.h"
#include "view/picture/FrameCache.h"
#include "view/picture/FrameRender.h"
#include "view/file/VideoFile.h"

#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>

namespace kavlo {

enum class CompareMode : uint8_t {
    A,                // the file alone
    B,                // the reference alone
    SideBySide,       // A left, B right, in one picture twice as wide
    Difference,       // |A - B| x gain per displayed channel, clamped to 255
    SignedDifference  // 128 + gain x (A - B) per displayed channel, clamped to 0 .. 255
};

// The amplifications of the difference views, and the one a reference starts with.
constexpr int kDifferenceGains[] = {1, 2, 4, 8, 16, 32, 64};
constexpr int kDefaultDifferenceGain = 4;

// What is shown, in words: "A", "B", "A | B", "|A−B|×4", "128+4·(A−B)".
QString CompareModeText(CompareMode mode, int gain);

// The picture of `mode` from A's and B's pictures, top-down, into `out` (kept when it has the
// size already). b null, or a picture of another size than a: the reference has no such frame,
// and black stands in its place (B, the right half, and both differences). False when no
// bitmap can be had; never used for CompareMode::A, which is a itself.
bool ComposeComparison(CompareMode mode, int gain, const DisplayBitmap& a, const DisplayBitmap* b,
                       std::unique_ptr<DisplayBitmap>& out);

// A rectangle drawn on the picture for figures of its own: in displayed pixels of A's picture
// (for the pictures' figures) and in the raw frame's pixels and memory rows (for the stored
// samples').
struct CompareRegion {
    QRect shown;
    QRect stored;
};

class ReferenceFile {
public:
    // Opens fileName with `settings` (written back as VideoFile::Open does) and refuses a file
    // whose frames are not width x height; errorText says why. A refused file leaves the
    // reference as it was before (closed, or the reference open before).
    bool Open(RawSettings* settings, const QString& fileName, int width, int height,
              QString& errorText);
    void Close();
    bool IsOpen() const { return file_->IsOpen(); }
    const VideoFile& File() const { return *file_; }

    // B's frame for A's frame n is n + Offset() (a decoder's delay: B starts later); 0 at every
    // open. State of the open pair alone, never stored. Call Render again after a change.
    int64_t Offset() const { return offset_; }
    void SetOffset(int64_t offset) { offset_ = offset; }

    // Takes B's frame for A's frame `frame` (frame + Offset()) from the reference's read-ahead
    // cache (its picture too when rendered
    // with `switches`), else reads it on this thread when another is in the buffer, and renders
    // it; then composes the picture of the mode with A's picture. A frame beyond the reference's
    // end (or one that cannot be read) leaves HasFrame() false. The cache reads ahead in the
    // direction the frames asked for go, so that playback finds B's frames in memory as A's.
    void Render(int64_t frame, const ViewSwitches& switches, const DisplayBitmap* a);
    // Composes again from the pictures rendered last (a new mode, gain or A picture).
    void Compose(const DisplayBitmap* a);

    CompareMode Mode() const { return mode_; }
    int Gain() const { return gain_; }
    // Change what is shown; call Compose afterwards.
    void SetMode(CompareMode mode) { mode_ = mode; }
    void SetGain(int gain) { gain_ = gain; }

    // B's frame asked for last (A's frame + Offset()) and whether the reference holds it.
    int64_t FrameAsked() const { return asked_; }
    bool HasFrame() const { return hasFrame_; }
    // B's raw frame as read (bytes null without a frame) and its picture (null without one).
    SourceFrame Frame() const;
    const DisplayBitmap* Picture() const {
        if (!hasFrame_) return nullptr;
        return cachedPicture_ ? cached_->bitmap.get() : bitmap_.get();
    }
    // The picture shown for A's picture `a`: a itself in mode A, else the composed one.
    const DisplayBitmap* Shown(const DisplayBitmap* a) const {
        return mode_ == CompareMode::A ? a : composed_.get();
    }
    // Width of the picture shown for frames `width` pixels wide.
    int PictureWidth(int width) const {
        return mode_ == CompareMode::SideBySide ? 2 * width : width;
    }

private:
    std::unique_ptr<VideoFile> file_ = std::make_unique<VideoFile>();
    std::unique_ptr<FrameRenderer> renderer_ = std::make_unique<FrameRenderer>();
    std::unique_ptr<DisplayBitmap> bitmap_;
    std::unique_ptr<DisplayBitmap> composed_;
    // Its own reader on a worker thread; null when it could not be started (frames are then
    // read here). Declared after the file so that it stops first.
    std::unique_ptr<FrameCache> cache_;
    std::shared_ptr<const CachedFrame> cached_;  // the frame shown, when from the cache
    bool cachedPicture_ = false;                 // its picture is the cache's
    CompareMode mode_ = CompareMode::A;
    int gain_ = kDefaultDifferenceGain;
    int64_t offset_ = 0;
    int64_t asked_ = -1;
    int64_t loaded_ = -1;
    bool hasFrame_ = false;
    int direction_ = 0;
};

// The read-ahead cache's memory cap for a reference: a quarter of the file's default.
constexpr uint64_t kReferenceCacheBytes = FrameCache::kDefaultCapBytes / 4;

}  // namespace kavlo
