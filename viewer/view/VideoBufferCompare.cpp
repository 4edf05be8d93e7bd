// The video view's reference: B opened beside the file shown, rendered with it at every frame
// and switch change, and the picture of the compare mode shown in place of A's.
#include "VideoBuffer.h"

#include "view/picture/SourceProbe.h"
#include "ViewGeometry.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

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
    region_ = QRect();
    regionArmed_ = regionDragging_ = false;
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
    region_ = QRect();
    regionArmed_ = regionDragging_ = false;
    RefreshProbe();
}

void CVideoBuffer::SetReferenceOffset(int64_t offset) {
    if (!reference_.IsOpen() || offset == reference_.Offset()) return;
    reference_.SetOffset(offset);
    RenderReference();
    RefreshProbe();
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// The compare rectangle

std::optional<CompareRegion> CVideoBuffer::CompareRegionOfFrame() const {
    const QRect shown = CompareRegionRect();
    if (shown.isEmpty()) return std::nullopt;
    const int height = file_.Height();
    const int top = SourceRowOfDisplayedLine(shown.top(), height, file_.StoredFlags(), switches_);
    const int bottom =
        SourceRowOfDisplayedLine(shown.bottom(), height, file_.StoredFlags(), switches_);
    QRect stored = shown;
    stored.setTop(std::min(top, bottom));
    stored.setBottom(std::max(top, bottom));
    return CompareRegion{shown, stored};
}

void CVideoBuffer::SetCompareRegion(const QRect& framePixels) {
    const QRect clamped = ClampRect(framePixels);
    if (!reference_.IsOpen() || clamped == region_) return;
    region_ = clamped;
    viewport()->update();
    Q_EMIT CompareRegionChanged();
}

void CVideoBuffer::ClearCompareRegion() {
    regionArmed_ = false;
    regionDragging_ = false;
    if (region_.isEmpty()) return;
    region_ = QRect();
    viewport()->update();
    Q_EMIT CompareRegionChanged();
}

QRect CVideoBuffer::ClampRect(const QRect& rect) const {
    const QRect clamped = rect.normalized() & QRect(0, 0, file_.Width(), file_.Height());
    return clamped.isEmpty() ? QRect() : clamped;
}

QPoint CVideoBuffer::FramePixelAt(QPoint client) const {
    const QPointF at = mapToImage(QPointF(client));
    int x = static_cast<int>(std::floor(at.x()));
    const int y = static_cast<int>(std::floor(at.y()));
    const int width = file_.Width();
    if (reference_.Mode() == CompareMode::SideBySide && x >= width) x -= width;
    return QPoint(std::clamp(x, 0, std::max(width - 1, 0)),
                  std::clamp(y, 0, std::max(file_.Height() - 1, 0)));
}

bool CVideoBuffer::RegionButtonDown(QMouseEvent* event) {
    // Shift with a left drag, or the armed command: only where the view's own modes (pan with
    // space, zoom with Ctrl) are not on, so that no drag of theirs changes meaning.
    if (event->button() != Qt::LeftButton || !reference_.IsOpen() || fitMode_ ||
        input_.Mode() != MouseNone || !Bitmap())
        return false;
    if (!regionArmed_ && !(event->modifiers() & Qt::ShiftModifier)) return false;
    regionArmed_ = false;
    regionDragging_ = true;
    regionStart_ = FramePixelAt(ClientPointOf(event->position()));
    SetCompareRegion(QRect(regionStart_, regionStart_));
    return true;
}

bool CVideoBuffer::RegionMouseMove(QPoint client) {
    if (!regionDragging_) return false;
    const QPoint at = FramePixelAt(client);
    SetCompareRegion(
        QRect(QPoint(std::min(at.x(), regionStart_.x()), std::min(at.y(), regionStart_.y())),
              QPoint(std::max(at.x(), regionStart_.x()), std::max(at.y(), regionStart_.y()))));
    return true;
}

bool CVideoBuffer::RegionButtonUp(QMouseEvent* event) {
    if (!regionDragging_ || event->button() != Qt::LeftButton) return false;
    regionDragging_ = false;
    return true;
}

void CVideoBuffer::PaintCompareRegion(QPainter& painter) {
    const QRect r = CompareRegionRect();
    if (r.isEmpty()) return;
    QPen pen(Qt::yellow);
    pen.setStyle(Qt::DashLine);
    pen.setWidth(1);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // On A, and side by side on B's half too.
    const int halves = reference_.Mode() == CompareMode::SideBySide ? 2 : 1;
    for (int h = 0; h < halves; ++h) {
        const int dx = h * file_.Width();
        const QPointF topLeft = mapToView(QPointF(r.left() + dx, r.top()));
        const QPointF bottomRight = mapToView(QPointF(r.right() + 1 + dx, r.bottom() + 1));
        painter.drawRect(QRectF(topLeft, bottomRight).toAlignedRect().adjusted(0, 0, -1, -1));
    }
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
