// The video view's pictures: the frame read last converted (and its fields arranged or
// deinterlaced) into the display bitmap, the visible part of that bitmap painted at the current
// zoom by the view's mapping, the reference B rendered beside it for the compare modes, and the
// source values drawn on the pixels of a zoomed picture; and the view's part in playback (frames
// from the read-ahead cache, the file opened again, fitting the picture to the window).
#include "VideoBuffer.h"

#include "image/PaintRows.h"
#include "view/picture/SourceProbe.h"
#include "ViewGeometry.h"

#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>
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

// ---------------------------------------------------------------------------------------------
// The video view's reference: B opened beside the file shown, rendered with it at every frame
// and switch change, and the picture of the compare mode shown in place of A's.
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

// ---------------------------------------------------------------------------------------------
// The source values on the pixels of a zoomed picture: from kValueOverlayZoom up every visible
// pixel shows its source samples, one line per component, in black or white by the luminance
// of the pixel as displayed. Only the pixels the window shows are read, so the cost follows the
// window, not the frame.
void CVideoBuffer::SetHexValues(bool hex) {
    if (hexValues_ == hex) return;
    hexValues_ = hex;
    RefreshProbe();
    viewport()->update();
}

void CVideoBuffer::SetShowValuesWhenZoomed(bool on) {
    if (showValues_ == on) return;
    showValues_ = on;
    viewport()->update();
}

CVideoBuffer::ValueOverlayPlan CVideoBuffer::PlanValueOverlay(double cellW, double cellH,
                                                              int lineCount, int valueChars) {
    ValueOverlayPlan plan;
    if (lineCount <= 0 || valueChars <= 0) return plan;
    // Character cells are about 0.62 of the font's pixel size wide; a line is a label of two
    // characters, a space and the value, or the value alone; half a line of room is kept.
    const auto fit = [&](int lines, int chars) {
        return std::min(cellH / (lines + 0.5), cellW / (0.62 * chars));
    };
    int lines = lineCount;
    if (fit(lines, valueChars) < kLegibleValuePixels) lines = 1;
    if (fit(lines, valueChars) < kLegibleValuePixels) return plan;
    const double labelled = fit(lines, valueChars + 5);
    plan.lines = lines;
    plan.labels = labelled >= kLegibleValuePixels;
    plan.fontPixels = static_cast<int>(std::floor(plan.labels ? labelled : fit(lines, valueChars)));
    return plan;
}

void CVideoBuffer::PaintValues(QPainter& painter, const QRect& visible) {
    // With a reference: B's samples on B's picture, A's on A's (the left half side by side),
    // none on a difference.
    SourceFrame frame = CurrentFrame();
    const DisplayBitmap* picture = bitmap_.get();
    if (reference_.IsOpen() && reference_.Mode() == CompareMode::B) {
        frame = reference_.Frame();
        picture = reference_.Picture();
    } else if (reference_.IsOpen() && reference_.Mode() != CompareMode::A &&
               reference_.Mode() != CompareMode::SideBySide) {
        return;
    }
    if (!frame.bytes || !picture) return;
    const DisplayBitmap& bitmap = *picture;
    const QPointF first = mapToImage(QPointF(visible.topLeft()));
    const QPointF last = mapToImage(QPointF(visible.right(), visible.bottom()));
    const int x0 = std::clamp(static_cast<int>(first.x()), 0, frame.width - 1);
    const int y0 = std::clamp(static_cast<int>(first.y()), 0, bitmap.Height() - 1);
    const int x1 = std::clamp(static_cast<int>(last.x()), 0, frame.width - 1);
    const int y1 = std::clamp(static_cast<int>(last.y()), 0, bitmap.Height() - 1);

    const QPointF origin = mapToView(QPointF(x0, y0));
    const QPointF next = mapToView(QPointF(x0 + 1, y0 + 1));
    const double cellW = next.x() - origin.x();
    const double cellH = next.y() - origin.y();

    painter.save();
    painter.setClipRect(visible);
    // One font for the whole paint, from the first pixel's lines (every pixel of a frame has as
    // many samples): labels where they fit at a readable size, the values alone otherwise.
    const SourceValues firstValues = ProbeDisplayedPixel(frame, switches_, x0, y0);
    const qsizetype lineCount = SourceValueLines(firstValues, hexValues_).size();
    if (lineCount == 0) {
        painter.restore();
        return;
    }
    // The widest line: a label of two characters, a space and the widest value of the depth.
    int valueChars = 1;
    for (int i = 0; i < firstValues.count; ++i) {
        const ProbeSample top{firstValues.samples[i].component, firstValues.samples[i].bits,
                              firstValues.samples[i].bits >= 32
                                  ? 0xFFFFFFFFu
                                  : (1u << firstValues.samples[i].bits) - 1u};
        valueChars = std::max(valueChars, static_cast<int>(SampleText(top, hexValues_).size()));
    }
    // Only what can be read: every line, or the first alone (Y', R' or grey), named by a label
    // on each pixel or by the legend in the corner.
    const ValueOverlayPlan plan =
        PlanValueOverlay(cellW, cellH, static_cast<int>(lineCount), valueChars);
    if (plan.lines == 0) {
        painter.restore();
        return;
    }
    const bool labels = plan.labels;
    QFont font = painter.font();
    font.setPixelSize(plan.fontPixels);
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const double lineHeight = metrics.height();
    const int tileW = std::max(1, static_cast<int>(std::ceil(cellW)));
    const int tileH = std::max(1, static_cast<int>(std::ceil(lineHeight)));

    // Each distinct line is drawn once per paint into a tile, in black and in white, and the
    // tiles are copied onto the pixels: neighbouring pixels share most of their values.
    QHash<QString, QImage> tiles;
    auto tileOf = [&](const QString& text, bool dark) -> const QImage& {
        const QString key = text + (dark ? QLatin1Char('d') : QLatin1Char('l'));
        auto it = tiles.find(key);
        if (it != tiles.end()) return *it;
        QImage tile(tileW, tileH, QImage::Format_ARGB32_Premultiplied);
        tile.fill(Qt::transparent);
        QPainter p(&tile);
        p.setFont(font);
        p.setPen(dark ? Qt::black : Qt::white);
        p.drawText(QRectF(0, 0, tileW, tileH), Qt::AlignCenter, text);
        return *tiles.insert(key, tile);
    };

    for (int y = y0; y <= y1; ++y) {
        const uint8_t* line = bitmap.LineOnScreen(y);
        for (int x = x0; x <= x1; ++x) {
            const SourceValues values = ProbeDisplayedPixel(frame, switches_, x, y);
            if (!values.valid) continue;
            const uint8_t* p = line + 3 * x;
            const bool dark = 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0] >= 128.0;
            const QPointF topLeft = mapToView(QPointF(x, y));
            const int shown = std::min(values.count, plan.lines);
            double top = topLeft.y() + (cellH - lineHeight * shown) / 2.0;
            const double left = topLeft.x() + (cellW - tileW) / 2.0;
            for (int i = 0; i < shown; ++i, top += lineHeight) {
                const ProbeSample& sample = values.samples[i];
                QString text = SampleText(sample, hexValues_);
                if (labels && sample.component != Component::Grey)
                    text = ComponentLabel(sample.component) + QLatin1Char(' ') + text;
                painter.drawImage(QPointF(std::round(left), std::round(top)), tileOf(text, dark));
            }
        }
    }
    // Without labels on the pixels, a legend says which line is which component.
    if (!labels && firstValues.count > 0 && firstValues.samples[0].component != Component::Grey) {
        QStringList names;
        for (int i = 0; i < std::min(firstValues.count, plan.lines); ++i)
            names << ComponentLabel(firstValues.samples[i].component);
        const QString legend =
            (plan.lines < firstValues.count ? QStringLiteral("Values: %1 (zoom in for all)")
                                            : QStringLiteral("Lines: %1"))
                .arg(names.join(QStringLiteral(" / ")));
        QFont legendFont = painter.font();
        legendFont.setPixelSize(std::max(11, plan.fontPixels));
        painter.setFont(legendFont);
        const QFontMetrics lm(legendFont, painter.device());
        const QRect box =
            lm.boundingRect(legend)
                .adjusted(-4, -2, 4, 2)
                .translated(visible.topLeft() - lm.boundingRect(legend).topLeft() + QPoint(8, 6));
        painter.fillRect(box, QColor(255, 255, 255, 220));
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignCenter, legend);
    }
    painter.restore();
}

// ---------------------------------------------------------------------------------------------
// The video view's part in playback: frames shown from the read-ahead cache, the file opened
// again when it grew or shrank, and fitting the picture to the window.
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
