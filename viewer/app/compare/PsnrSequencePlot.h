// The per-frame PSNR plot of the sequence window: PSNR in dB over the frame number, one line per
// component and a thicker one for the frame's average, drawn with QPainter. Infinite PSNR (the
// frames or components are identical) has no place on a dB axis: it is drawn in a band above the
// finite range, with a marker, and the legend says so. The y axis fits the finite values shown,
// with labels; the current frame is marked; the pointer shows a frame's figures (hovered) and a
// click chooses the frame (frameChosen). From the keyboard, Left/Right, Page Up/Down, Home and
// End move the pointed frame and Enter chooses it.
#pragma once

#include "analysis/SamplePsnr.h"

#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace kavlo {

// Where frames and values lie in the plot: frame f of the range takes the column
// [left + (f - first) w / count, left + (f - first + 1) w / count) of the area and is drawn at
// its centre; a PSNR of `high` dB lies at the area's top, `low` at its bottom; infinity in the
// band of `infinityBand` pixels above the area.
struct PsnrPlotScale {
    QRectF area;  // the finite range
    int64_t first = 0;
    int64_t count = 1;
    double low = 0;  // dB
    double high = 1;
    double infinityBand = 14;

    // The range of the finite PSNR values of `frames` (every component and the average), widened
    // to whole steps; a default range when no value is finite, 1 dB either side of a single value.
    static PsnrPlotScale Fit(const QRectF& area, int64_t first, int64_t count,
                             const std::vector<PsnrFigures>& frames);
    double X(int64_t frame) const;
    // The y of a PSNR value; infinity at the middle of the band above the area.
    double Y(double psnr) const;
    double InfinityY() const { return area.top() - infinityBand / 2; }
    // The frame whose column holds x, clamped to the range.
    int64_t FrameAt(double x) const;
    // The step between labelled values (1, 2 or 5 times a power of ten) for at most `maxTicks`.
    double TickStep(int maxTicks) const;
};

class PsnrPlot : public QWidget {
    Q_OBJECT
public:
    explicit PsnrPlot(QWidget* parent = nullptr);

    // The components' names (columns of the figures), the frame range and the figures of its
    // first frames (kept by the caller, valid until the next SetData; may be fewer than count).
    void SetData(const QStringList& components, int64_t first, int64_t count,
                 const std::vector<PsnrFigures>* frames);
    // Marks `frame` (-1: none).
    void SetCurrentFrame(int64_t frame);
    int64_t CurrentFrame() const { return current_; }
    // The scale of the last painting (or of the widget's size when not painted yet).
    PsnrPlotScale Scale() const;
    // The area of the finite range within the widget.
    QRectF PlotArea() const;
    QSize sizeHint() const override { return QSize(640, 280); }
    QSize minimumSizeHint() const override { return QSize(240, 140); }

Q_SIGNALS:
    void frameChosen(qint64 frame);
    // The frame under the pointer; -1 when it left the plot.
    void hovered(qint64 frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void DrawAxes(QPainter& painter, const PsnrPlotScale& scale) const;
    void DrawSeries(QPainter& painter, const PsnrPlotScale& scale, int series) const;
    void DrawLegend(QPainter& painter) const;
    int64_t FrameUnder(const QPointF& pos) const;
    void Point(int64_t frame);

    QStringList components_;
    int64_t first_ = 0;
    int64_t count_ = 0;
    const std::vector<PsnrFigures>* frames_ = nullptr;
    int64_t current_ = -1;
    int64_t hover_ = -1;
};

// Colour of a component's line by its column name (y, cb, cr, r, g, b, a) and of the average.
QColor PsnrSeriesColour(const QString& component);

}  // namespace kavlo
