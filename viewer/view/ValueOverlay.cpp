// The source values on the pixels of a zoomed picture: from kValueOverlayZoom up every visible
// pixel shows its source samples, one line per component, in black or white by the luminance
// of the pixel as displayed. Only the pixels the window shows are read, so the cost follows the
// window, not the frame.
#include "VideoBuffer.h"

#include "SourceProbe.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace kavlo;

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

void CVideoBuffer::PaintValues(QPainter& painter, const QRect& visible) {
    const SourceFrame frame = file_.Frame();
    if (!frame.bytes || !bitmap_) return;
    const DisplayBitmap& bitmap = *bitmap_;
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
    QFont font = painter.font();
    for (int y = y0; y <= y1; ++y) {
        const uint8_t* line = bitmap.LineOnScreen(y);
        for (int x = x0; x <= x1; ++x) {
            QStringList lines =
                SourceValueLines(ProbeDisplayedPixel(frame, switches_, x, y), hexValues_);
            if (lines.isEmpty()) continue;
            // Labels only where they fit at a readable size; the values alone otherwise.
            auto widest = [&lines] {
                qsizetype n = 1;
                for (const QString& l : lines) n = std::max(n, l.size());
                return static_cast<double>(n);
            };
            const double rows = static_cast<double>(lines.size()) + 0.5;
            double size = std::min(cellH / rows, cellW / (0.62 * widest()));
            if (size < 7.0) {
                for (QString& l : lines) l = l.section(QLatin1Char(' '), -1);
                size = std::min(cellH / rows, cellW / (0.62 * widest()));
            }
            font.setPixelSize(std::max(4, static_cast<int>(std::floor(size))));
            painter.setFont(font);
            const uint8_t* p = line + 3 * x;
            const double luminance = 0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0];
            painter.setPen(luminance >= 128.0 ? Qt::black : Qt::white);
            const QPointF topLeft = mapToView(QPointF(x, y));
            const QRectF cell(topLeft, QSizeF(cellW, cellH));
            painter.drawText(cell, Qt::AlignCenter, lines.join(QLatin1Char('\n')));
        }
    }
    painter.restore();
}
