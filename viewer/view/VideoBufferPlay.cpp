// The video view's part in playback: frames shown from the read-ahead cache, the file opened
// again when it grew or shrank, and fitting the picture to the window.
#include "VideoBuffer.h"

#include "ViewGeometry.h"

#include <algorithm>

using namespace kavlo;

bool CVideoBuffer::ShowCachedFrame(std::shared_ptr<const CachedFrame> frame, bool current) {
    if (!file_.IsOpen() || !frame || !frame->raw || frame->geometry.width != file_.Width() ||
        frame->geometry.height != file_.Height())
        return false;
    cached_ = std::move(frame);
    file_.ClearLoadError();
    if (current && cached_->bitmap) {
        cachedPicture_ = true;
        RenderReference();
    } else {
        RenderFrame();
    }
    if (mouseInside_) RefreshProbe();
    viewport()->update();
    return true;
}

bool CVideoBuffer::ReloadFile(QString& errorText) {
    if (!file_.IsOpen()) return false;
    RawSettings settings = file_.Settings();
    const QString name = file_.FileName();
    const int64_t position = std::max<int64_t>(CurrentPosition(), 0);
    cached_.reset();
    // The picture of the frame shown stays until a frame of the file as it is now replaces it;
    // a file with no whole frame left shows nothing rather than bytes it no longer holds.
    if (!file_.Open(&settings, name, errorText)) {
        CloseFile();
        return false;
    }
    if (!file_.LoadFrame(std::min(position, file_.FrameCount() - 1))) {
        errorText = QStringLiteral("couldn't load frame %1").arg(position);
        CloseFile();
        return false;
    }
    RenderFrame();
    if (mouseInside_) RefreshProbe();
    viewport()->update();
    return true;
}

void CVideoBuffer::SetFitToWindow(bool on) {
    if (on) {
        ZoomToFit();
    } else {
        fitWindow_ = false;
    }
}

void CVideoBuffer::ZoomToFit() {
    if (!IsOpen() || fitMode_) return;
    const QSize client = ClientSize();
    const int w = PictureWidth();
    if (client.isEmpty() || w <= 0 || file_.Height() <= 0) return;
    const double zoom =
        std::clamp(std::min(double(client.width()) / w, double(client.height()) / file_.Height()),
                   kMinZoom, kMaxZoom);
    if (zoom != zoom_ || !fitWindow_) ZoomAbout(zoom, QPoint(w / 2, file_.Height() / 2));
    fitWindow_ = true;
}
