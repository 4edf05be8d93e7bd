#include "view/picture/CompareRender.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kavlo {

QString CompareModeText(CompareMode mode, int gain) {
    switch (mode) {
    case CompareMode::A: return QStringLiteral("A");
    case CompareMode::B: return QStringLiteral("B");
    case CompareMode::SideBySide: return QStringLiteral("A | B");
    case CompareMode::Difference: return QStringLiteral("|A\u2212B|\u00D7%1").arg(gain);
    case CompareMode::SignedDifference: return QStringLiteral("128+%1\u00B7(A\u2212B)").arg(gain);
    }
    return QString();
}

bool ComposeComparison(CompareMode mode, int gain, const DisplayBitmap& a, const DisplayBitmap* b,
                       std::unique_ptr<DisplayBitmap>& out) {
    const int width = a.PictureWidth();
    const int height = a.Height();
    if (b && (b->PictureWidth() != width || b->Height() != height)) b = nullptr;
    const int outWidth = mode == CompareMode::SideBySide ? 2 * width : width;
    if (!out || out->PictureWidth() != outWidth || out->Height() != height)
        out = DisplayBitmap::Create(outWidth, height, false);
    if (!out) return false;
    out->SetBottomUp(false);
    const size_t bytes = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        const uint8_t* pa = a.LineOnScreen(y);
        const uint8_t* pb = b ? b->LineOnScreen(y) : nullptr;
        uint8_t* o = out->Row(y);
        switch (mode) {
        case CompareMode::A: std::memcpy(o, pa, bytes); break;
        case CompareMode::B:
            if (pb) {
                std::memcpy(o, pb, bytes);
            } else {
                std::memset(o, 0, bytes);
            }
            break;
        case CompareMode::SideBySide:
            std::memcpy(o, pa, bytes);
            if (pb) {
                std::memcpy(o + bytes, pb, bytes);
            } else {
                std::memset(o + bytes, 0, bytes);
            }
            break;
        case CompareMode::Difference:
        case CompareMode::SignedDifference: {
            if (!pb) {
                std::memset(o, 0, bytes);
                break;
            }
            const bool signedView = mode == CompareMode::SignedDifference;
            for (size_t i = 0; i < bytes; ++i) {
                const int d = int(pa[i]) - int(pb[i]);
                const int v = signedView ? 128 + gain * d : gain * std::abs(d);
                o[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
            }
            break;
        }
        }
    }
    return true;
}

bool ReferenceFile::Open(RawSettings* settings, const QString& fileName, int width, int height,
                         QString& errorText) {
    // Opened beside the reference open now, which stays until the new one is good.
    auto next = std::make_unique<VideoFile>();
    if (!next->Open(settings, fileName, errorText)) return false;
    if (next->Width() != width || next->Height() != height) {
        errorText = QStringLiteral(
                        "the reference's frames are %1x%2, those of the file shown "
                        "%3x%4: only frames of the same size can be compared")
                        .arg(next->Width())
                        .arg(next->Height())
                        .arg(width)
                        .arg(height);
        return false;
    }
    auto renderer = std::make_unique<FrameRenderer>();
    if (!renderer->Reserve(width, height)) {
        errorText = QStringLiteral("couldn't allocate the reference's display buffer");
        return false;
    }
    Close();
    file_ = std::move(next);
    renderer_ = std::move(renderer);
    QString cacheError;
    if (auto reader = OpenVideoFileReader(*settings, fileName, cacheError))
        cache_ = std::make_unique<FrameCache>(std::move(reader), kReferenceCacheBytes);
    return true;
}

void ReferenceFile::Close() {
    cached_.reset();
    cachedPicture_ = false;
    cache_.reset();
    direction_ = 0;
    file_->Close();
    renderer_->Release();
    bitmap_.reset();
    composed_.reset();
    asked_ = -1;
    loaded_ = -1;
    hasFrame_ = false;
    offset_ = 0;
}

SourceFrame ReferenceFile::Frame() const {
    if (!hasFrame_) return SourceFrame{};
    return cached_ ? cached_->Frame() : file_->Frame();
}

void ReferenceFile::Render(int64_t frameOfA, const ViewSwitches& switches, const DisplayBitmap* a) {
    if (!file_->IsOpen()) return;
    // No frame of A (-1) asks for no frame of B, whatever the offset.
    const int64_t frame = frameOfA < 0 ? -1 : frameOfA + offset_;
    if (asked_ >= 0 && frame != asked_) direction_ = frame > asked_ ? 1 : -1;
    asked_ = frame;
    hasFrame_ = false;
    cached_.reset();
    cachedPicture_ = false;
    if (frame >= 0 && frame < file_->FrameCount()) {
        if (cache_) {
            cache_->SetPosition(frame, direction_, false);
            cache_->SetSwitches(switches);
            cached_ = cache_->Find(frame);
        }
        if (cached_) {
            cachedPicture_ = cached_->bitmap && cached_->generation == cache_->Generation();
            hasFrame_ = cachedPicture_ || renderer_->Render(cached_->Frame(), switches, bitmap_);
        } else if (frame == loaded_ || file_->LoadFrame(frame)) {
            loaded_ = frame;
            hasFrame_ = renderer_->Render(file_->Frame(), switches, bitmap_);
        }
    }
    Compose(a);
}

void ReferenceFile::Compose(const DisplayBitmap* a) {
    if (!file_->IsOpen() || !a || mode_ == CompareMode::A) return;
    if (!ComposeComparison(mode_, gain_, *a, Picture(), composed_)) composed_.reset();
}

}  // namespace kavlo
