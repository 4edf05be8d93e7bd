// The video view's rendering and painting: the frame read last converted (and its fields
// arranged or deinterlaced) into the display bitmap, and the visible part of that bitmap painted
// at the current zoom by the view's mapping.
#include "VideoBuffer.h"

#include "image/Convert.h"
#include "image/ImageBuffer.h"

#include <QPaintEvent>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace kavlo;

namespace {

constexpr uint32_t kDestinationBGR3 = 0x33524742;  // "BGR3"

// Row stride of a 32-bit image `width` pixels wide, rounded down as the image storage does.
ptrdiff_t ImageStride32(int width) {
    return static_cast<ptrdiff_t>((static_cast<int64_t>(width) * 4 + 15) & ~int64_t(15));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Rendering

ptrdiff_t CVideoBuffer::ConvertedStride() const { return ImageStride32(file_.Width() + 4); }

void CVideoBuffer::RenderFrame() {
    if (!file_.IsOpen()) return;
    const int w = file_.Width();
    const int h = file_.Height();
    const StoredFrameFlags& stored_ = file_.StoredFlags();

    // The converted image lives in the view's display buffer, 4 pixels wider and 16 rows taller
    // than the frame so that the conversion may finish whole groups.
    const ptrdiff_t convertedStride = ConvertedStride();
    CTNImage converted = CTNImage::Borrow(
        rgbBuffer_.data(), static_cast<uint32_t>(w + 4), static_cast<uint32_t>(h + 16),
        static_cast<int32_t>(convertedStride), 32, static_cast<uint32_t>(rgbBuffer_.size()));
    if (!converted) return;
    converted->size = static_cast<uint32_t>(convertedStride * (h + 16));
    converted->rowAlignment = 16;
    converted->storageAlignment = 4096;

    // Interlaced 4:2:0 chroma is upsampled within each field: the fields alternate row by row,
    // or, stored one after the other, each field's chroma rows follow the first field's.
    const bool fieldsSeparated = (stored_.fieldsSeparated ^ switches_.separatedToggle) != 0;
    uint32_t flags = 0;
    if ((stored_.interlaced ^ switches_.interlaceToggle) != 0)
        flags |= fieldsSeparated ? CONVERT_FIELDS_SEPARATED : CONVERT_INTERLACED;
    if (switches_.filter1) flags |= CONVERT_FILTER_1;
    if (switches_.filter2) flags |= CONVERT_FILTER_2;
    if (switches_.filter3) flags |= CONVERT_FILTER_3;
    if (switches_.lumaOnly) flags |= CONVERT_LUMA_ONLY;
    if (switches_.cbOnly) flags |= CONVERT_CB_ONLY;
    if (switches_.crOnly) flags |= CONVERT_CR_ONLY;
    if (switches_.mosaicGrey) flags |= CONVERT_MOSAIC_GREY;
    if (file_.SampleRange() == 2) flags |= CONVERT_RGB_STUDIO_RANGE;

    const bool bottomUp = ((stored_.bottomUp ^ stored_.flip) ^ switches_.flipToggle) != 0;
    // The bitmap is kept from frame to frame (a new one per frame would cost an allocation, page
    // faults and a clear of the whole picture each time); every path below writes all its rows.
    if (!bitmap_ || bitmap_->PictureWidth() != w || bitmap_->Height() != h) {
        bitmap_.reset();
        bitmap_ = DisplayBitmap::Create(w, h, bottomUp);
        if (!bitmap_) return;
    }
    bitmap_->SetBottomUp(bottomUp);

    FieldArrangement arrangement;
    arrangement.separated = fieldsSeparated;
    arrangement.split = switches_.splitFields != 0;
    arrangement.swapped = switches_.swappedFieldOrder != 0;
    const bool deinterlace = switches_.deinterlace && !switches_.splitFields;
    // Without a field step the converted rows are the picture: convert straight into the
    // bitmap (the conversion writes exactly 3 x W bytes a row, the bitmap's rows hold at least
    // that) and save a copy of the whole picture per frame.
    const bool direct = ArrangementIsIdentity(arrangement) && !deinterlace;
    uint8_t* destination = direct ? bitmap_->Row(0) : converted->storage;
    const int32_t destinationPitch = direct ? static_cast<int32_t>(bitmap_->Stride())
                                            : static_cast<int32_t>(converted->lineBytes);
    // A frame the conversion could not produce (no scratch memory) shows black, never the
    // previous frame's picture.
    if (!ConvertFrame(w, h, flags, file_.LayoutCode(), file_.RawFrame(), file_.LineBytes(),
                      kDestinationBGR3, destination, destinationPitch)) {
        bitmap_->Clear();
        return;
    }
    if (direct) return;

    const RowImage source{converted->storage, converted->lineBytes, h};
    RowImage result = source;
    CTNImage field;
    if (!ArrangementIsIdentity(arrangement)) {
        field = CTNImage::Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 32);
        if (!field || !field->storage) {  // no field image: black rather than a stale picture
            bitmap_->Clear();
            return;
        }
        const RowImage fieldRows{field->storage, field->lineBytes, h};
        ArrangeFields(source, fieldRows, static_cast<size_t>(fieldRows.stride), arrangement);
        result = fieldRows;
    }

    const RowImage out{bitmap_->Row(0), static_cast<ptrdiff_t>(bitmap_->Stride()), h};
    const size_t rowBytes = bitmap_->Stride();
    if (!deinterlace) {
        CopyRows(result, out, rowBytes);
    } else {
        // An unknown method writes nothing: the picture is black.
        if (!Deinterlace(switches_.deinterlaceMethod, result, out, rowBytes, &VerticalLowPass121)) {
            bitmap_->Clear();
        }
    }
}

// ---------------------------------------------------------------------------------------------
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

void CVideoBuffer::PaintPicture(QPainter& painter, const QRect& visible) {
    // Nearest-neighbour scaling of exactly the visible part: every client pixel takes the frame
    // pixel that mapToImage gives for it, so the cost follows the window, not the zoom.
    const int vw = visible.width();
    const int vh = visible.height();
    if (scratch_.width() < vw || scratch_.height() < vh) {
        scratch_ = QImage(std::max(vw, scratch_.width()), std::max(vh, scratch_.height()),
                          QImage::Format_RGB32);
        if (scratch_.isNull()) return;
    }
    const DisplayBitmap& bitmap = *bitmap_;
    const int lastX = file_.Width() - 1;
    const int lastY = bitmap.Height() - 1;

    // Source byte offset of every visible column, found once per paint.
    std::vector<int> columns(static_cast<size_t>(vw));
    for (int i = 0; i < vw; ++i) {
        const int x = static_cast<int>(mapToImage(QPointF(visible.left() + i, 0)).x());
        columns[static_cast<size_t>(i)] = 3 * std::clamp(x, 0, lastX);
    }
    // At zoom 1 the visible columns are consecutive frame pixels: each is read as one 32-bit
    // word (its three bytes and the next pixel's first, replaced by the opaque alpha); the last
    // one of a row takes the byte path so that nothing past the bitmap is read.
    const bool consecutive = columns.back() - columns.front() == 3 * (vw - 1);
    int previousLine = -1;
    for (int j = 0; j < vh; ++j) {
        const int y =
            std::clamp(static_cast<int>(mapToImage(QPointF(0, visible.top() + j)).y()), 0, lastY);
        auto* out = reinterpret_cast<uint32_t*>(scratch_.scanLine(j));
        if (y == previousLine) {
            std::memcpy(out, scratch_.constScanLine(j - 1), static_cast<size_t>(vw) * 4);
            continue;
        }
        previousLine = y;
        const uint8_t* line = bitmap.LineOnScreen(y);
        int first = 0;
        if (consecutive) {
            const uint8_t* p = line + columns.front();
            for (; first < vw - 1; ++first, p += 3) {
                uint32_t word;
                std::memcpy(&word, p, 4);
                out[first] = 0xFF000000u | qFromLittleEndian(word);
            }
        }
        for (int i = first; i < vw; ++i) {
            const uint8_t* p = line + columns[static_cast<size_t>(i)];
            out[i] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
        }
    }
    painter.drawImage(visible.topLeft(), scratch_, QRect(0, 0, vw, vh));
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
            if (bitmap_) {
                PaintPicture(painter, visible);
            } else {
                painter.fillRect(visible, Qt::black);
            }
        }
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
