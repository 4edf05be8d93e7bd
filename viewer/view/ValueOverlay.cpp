// The source values on the pixels of a zoomed picture: from kValueOverlayZoom up every visible
// pixel shows its source samples, one line per component, in black or white by the luminance
// of the pixel as displayed. Only the pixels the window shows are read, so the cost follows the
// window, not the frame.
#include "VideoBuffer.h"

#include "view/picture/SourceProbe.h"

#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QStringList>

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
