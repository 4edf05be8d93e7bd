// The video view's rendering and painting: the frame read last converted (and its fields
// arranged or deinterlaced) into the display bitmap, and the visible part of that bitmap painted
// at the current zoom by the view's mapping.
#include "VideoBuffer.h"

#include "image/PaintRows.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace kavlo;

// ---------------------------------------------------------------------------------------------
// Rendering

ptrdiff_t CVideoBuffer::ConvertedStride() const { return renderer_.ConvertedStride(); }

void CVideoBuffer::RenderFrame() {
    if (!file_.IsOpen()) return;
    // A frame from the read-ahead cache is rendered from its own raw bytes; the view's bitmap
    // then replaces the cache's picture.
    if (cached_) {
        renderer_.Render(cached_->Frame(), switches_, bitmap_);
        cachedPicture_ = false;
        RenderReference();
        return;
    }
    renderer_.Render(file_.Frame(), switches_, bitmap_);
    RenderReference();
    Q_EMIT FrameRendered();
}

// ---------------------------------------------------------------------------------------------
// Painting

void CVideoBuffer::PaintBackground(QPainter& painter, const QRect& client, const QRect& picture) {
    if (!IsOpen()) {
        painter.fillRect(client, palette().color(QPalette::Button));
        return;
    }
    // The owner's background (the dialog's) around the picture.
    const QBrush brush =
        parentWidget() ? parentWidget()->palette().brush(QPalette::Window) : palette().window();
    const QRect inside = picture.intersected(client);
    if (inside.isEmpty()) {
        painter.fillRect(client, brush);
        return;
    }
    painter.fillRect(
        QRect(client.left(), client.top(), client.width(), inside.top() - client.top()), brush);
    painter.fillRect(QRect(client.left(), inside.bottom() + 1, client.width(),
                           client.bottom() - inside.bottom()),
                     brush);
    painter.fillRect(
        QRect(client.left(), inside.top(), inside.left() - client.left(), inside.height()), brush);
    painter.fillRect(
        QRect(inside.right() + 1, inside.top(), client.right() - inside.right(), inside.height()),
        brush);
}

namespace {

// Where the picture's rows can be stored straight into the image the painter paints on: the
// raster engine paints on an RGB32 or premultiplied ARGB32 image (the window's backing store, or
// the image or pixmap that render() and grab() paint on), only a whole-pixel translation lies
// between the painter's coordinates and the image's, nothing clips or blends, and the paint's
// clip takes in the whole rectangle. The address of the rectangle's first pixel and the image's
// line length then; null otherwise, and the picture goes through the scratch image and
// drawImage, which would only copy the same words.
uchar* DirectRows(QPainter& painter, const QRect& rect, qsizetype* bytesPerLine) {
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster) return nullptr;
    auto* image = dynamic_cast<QImage*>(engine->paintDevice());
    if (!image || (image->format() != QImage::Format_RGB32 &&
                   image->format() != QImage::Format_ARGB32_Premultiplied))
        return nullptr;
    if (painter.hasClipping() || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return nullptr;
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate) return nullptr;
    const int dx = static_cast<int>(transform.dx()), dy = static_cast<int>(transform.dy());
    if (dx != transform.dx() || dy != transform.dy()) return nullptr;
    const QRect target = rect.translated(dx, dy);
    if (!image->rect().contains(target)) return nullptr;
    const QRegion clip = engine->systemClip();  // device coordinates; empty when not in use
    if (!clip.isEmpty() && !QRegion(target).subtracted(clip).isEmpty()) return nullptr;
    *bytesPerLine = image->bytesPerLine();
    // The engine paints into this memory from begin() on; bits() could detach a shared image
    // from it.
    return const_cast<uchar*>(image->constBits()) + target.top() * *bytesPerLine +
           target.left() * 4;
}

}  // namespace

void CVideoBuffer::PaintPicture(QPainter& painter, const QRect& visible) {
    // Nearest-neighbour scaling of exactly the visible part: every client pixel takes the frame
    // pixel that mapToImage gives for it, so the cost follows the window, not the zoom.
    const int vw = visible.width();
    const int vh = visible.height();
    qsizetype stride = 0;
    uchar* rows = DirectRows(painter, visible, &stride);
    const bool direct = rows != nullptr;
    if (!direct) {
        if (scratch_.width() < vw || scratch_.height() < vh) {
            scratch_ = QImage(std::max(vw, scratch_.width()), std::max(vh, scratch_.height()),
                              QImage::Format_RGB32);
            if (scratch_.isNull()) return;
        }
        rows = scratch_.bits();
        stride = scratch_.bytesPerLine();
    }
    const DisplayBitmap& bitmap = *Bitmap();
    const int lastX = PictureWidth() - 1;
    const int lastY = bitmap.Height() - 1;

    // The frame column of every visible column and the frame line of every visible row, found
    // once per paint by mapToImage's formula with the picture's place taken once.
    const QRect picture = PictureRect();
    std::vector<int> columns(static_cast<size_t>(vw));
    for (int i = 0; i < vw; ++i) {
        const double x =
            ToPicture(visible.left() + i - picture.left(), PictureWidth(), total_.width());
        columns[static_cast<size_t>(i)] = std::clamp(static_cast<int>(x), 0, lastX);
    }
    // The row kernels suited to these columns: a copy at zoom 1, a spread run from zoom 1/2 up,
    // single pixels below.
    paint::RowPlan plan;
    plan.Prepare(columns.data(), vw, lastX + 1);
    int previousLine = -1;
    for (int j = 0; j < vh; ++j) {
        const double line =
            ToPicture(visible.top() + j - picture.top(), file_.Height(), total_.height());
        const int y = std::clamp(static_cast<int>(line), 0, lastY);
        uchar* row = rows + j * stride;
        if (y == previousLine) {
            std::memcpy(row, row - stride, static_cast<size_t>(vw) * 4);
            continue;
        }
        previousLine = y;
        plan.Row(bitmap.LineOnScreen(y), reinterpret_cast<uint32_t*>(row));
    }
    if (!direct) painter.drawImage(visible.topLeft(), scratch_, QRect(0, 0, vw, vh));
}

void CVideoBuffer::paintEvent(QPaintEvent*) {
    if (!fitDone_) {
        fitDone_ = true;
        FitToClient();
    }
    QPainter painter(viewport());
    // Draw in device pixels: zoom 1 is one frame pixel per device pixel.
    const qreal dpr = viewport()->devicePixelRatioF();
    painter.scale(1.0 / dpr, 1.0 / dpr);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);

    const QSize clientSize = ClientSize();
    const QRect client(QPoint(0, 0), clientSize);
    const QRect picture = PictureRect();
    PaintBackground(painter, client, picture);
    if (IsOpen()) {
        const QRect visible = picture.intersected(client);
        if (!visible.isEmpty()) {
            if (Bitmap()) {
                PaintPicture(painter, visible);
                if (showValues_ && !fitMode_ && zoom_ >= kValueOverlayZoom)
                    PaintValues(painter, visible);
            } else {
                painter.fillRect(visible, Qt::black);
            }
        }
        PaintCompareRegion(painter);
    }
    if (input_.Drag() == DragRectangle) {
        const QRect zoomRect = input_.ZoomRectangle();
        QPen pen(Qt::black);
        pen.setStyle(Qt::DotLine);
        pen.setWidth(1);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(zoomRect.left(), zoomRect.top(),
                               std::max(0, zoomRect.right() - zoomRect.left() - 1),
                               std::max(0, zoomRect.bottom() - zoomRect.top() - 1)));
    }
}
