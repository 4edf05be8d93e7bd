// The video view's reference: B opened beside the file shown, rendered with it at every frame
// and switch change, and the picture of the compare mode shown in place of A's.
#include "VideoBuffer.h"

#include "view/picture/SourceProbe.h"
#include "ViewGeometry.h"

using namespace kavlo;

bool CVideoBuffer::OpenReference(RawSettings* settings, const QString& fileName,
                                 QString& errorText) {
    if (!file_.IsOpen()) {
        errorText = QStringLiteral("open a file first: the reference is compared with it");
        return false;
    }
    const int widthBefore = PictureWidth();
    if (!reference_.Open(settings, fileName, file_.Width(), file_.Height(), errorText))
        return false;
    RenderReference();
    if (PictureWidth() != widthBefore) SetCompareMode(reference_.Mode());
    RefreshProbe();
    viewport()->update();
    return true;
}

void CVideoBuffer::CloseReference() {
    if (!reference_.IsOpen()) return;
    const CompareMode mode = reference_.Mode();
    SetCompareMode(CompareMode::A);
    reference_.Close();
    // The next reference opens in the mode chosen last.
    reference_.SetMode(mode);
    RefreshProbe();
}

void CVideoBuffer::RenderReference() {
    if (reference_.IsOpen()) reference_.Render(CurrentPosition(), switches_, PictureA());
}

void CVideoBuffer::SetCompareMode(CompareMode mode) {
    const int widthBefore = PictureWidth();
    reference_.SetMode(mode);
    reference_.Compose(PictureA());
    const int width = PictureWidth();
    if (width != widthBefore && file_.IsOpen()) {
        // Side by side doubles the picture's width: the zoom and the scroll position stay, the
        // scroll area takes the new width (or the fit follows it).
        const QPoint position = ScrollPosition();
        if (fitMode_) {
            FitToClient();
        } else if (fitWindow_) {
            fitWindow_ = false;
            ZoomToFit();
        } else {
            SetScrollSizes(QSize(ZoomedExtent(width, zoom_), ZoomedExtent(file_.Height(), zoom_)),
                           QSize(ScrollLineSize(zoom_), ScrollLineSize(zoom_)));
            ScrollToPosition(position);
        }
    }
    RefreshProbe();
    viewport()->update();
}

void CVideoBuffer::SetDifferenceGain(int gain) {
    reference_.SetGain(gain);
    reference_.Compose(PictureA());
    RefreshProbe();
    viewport()->update();
}

QString CVideoBuffer::ComparedSourceValues(int x, int y) const {
    const int width = file_.Width();
    auto valuesOfB = [&](int bx) {
        if (!reference_.HasFrame())
            return QStringLiteral("B: no frame %1 in the reference").arg(reference_.FrameAsked());
        return QStringLiteral("B: ") +
               FormatSourceValues(ProbeDisplayedPixel(reference_.Frame(), switches_, bx, y),
                                  hexValues_, bx, y);
    };
    auto valuesOfA = [&]() {
        return QStringLiteral("A: ") +
               FormatSourceValues(ProbeDisplayedPixel(CurrentFrame(), switches_, x, y), hexValues_,
                                  x, y);
    };
    switch (reference_.Mode()) {
    case CompareMode::A: return valuesOfA();
    case CompareMode::B: return valuesOfB(x);
    case CompareMode::SideBySide: return x < width ? valuesOfA() : valuesOfB(x - width);
    case CompareMode::Difference:
    case CompareMode::SignedDifference: return valuesOfA() + QStringLiteral("  ") + valuesOfB(x);
    }
    return QString();
}
