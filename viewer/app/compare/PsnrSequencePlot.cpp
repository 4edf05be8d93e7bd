#include "app/compare/PsnrSequencePlot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kavlo {

namespace {

// Margins around the finite range: the legend and the infinity band above it, the value labels
// on the left, the frame labels below.
constexpr double kLeft = 52;
constexpr double kRight = 14;
constexpr double kLegend = 20;
constexpr double kBand = 16;
constexpr double kBottom = 22;
// The range shown when no value is finite (every frame identical).
constexpr double kDefaultLow = 20;
constexpr double kDefaultHigh = 60;

// The PSNR of one series of a frame: -1 the average, else the component's column.
double ValueOf(const PsnrFigures& f, int series) {
    if (series < 0) return f.psnrAverage;
    const auto c = static_cast<size_t>(series);
    return c < f.psnr.size() ? f.psnr[c] : std::numeric_limits<double>::quiet_NaN();
}

double NiceStep(double raw) {
    if (!(raw > 0) || !std::isfinite(raw)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw * (1 - 1e-9)) return m * power;
    return 10 * power;
}

QPolygonF InfinityMarker(double x, double y) {
    QPolygonF marker;
    marker << QPointF(x, y - 4) << QPointF(x + 4, y + 3) << QPointF(x - 4, y + 3);
    return marker;
}

}  // namespace

QColor PsnrSeriesColour(const QString& component) {
    if (component == QLatin1String("y")) return QColor(200, 200, 200);
    if (component == QLatin1String("cb") || component == QLatin1String("b"))
        return QColor(80, 130, 240);
    if (component == QLatin1String("cr") || component == QLatin1String("r"))
        return QColor(230, 70, 70);
    if (component == QLatin1String("g")) return QColor(70, 190, 70);
    if (component == QLatin1String("a")) return QColor(150, 110, 200);
    return QColor(250, 210, 60);  // the average
}

// ---- Scale ------------------------------------------------------------------------------------

PsnrPlotScale PsnrPlotScale::Fit(const QRectF& area, int64_t first, int64_t count,
                                 const std::vector<PsnrFigures>& frames) {
    PsnrPlotScale s;
    s.area = area;
    s.first = first;
    s.count = std::max<int64_t>(count, 1);
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const PsnrFigures& f : frames) {
        auto take = [&](double v) {
            if (!std::isfinite(v)) return;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        };
        take(f.psnrAverage);
        for (const double v : f.psnr) take(v);
    }
    if (lo > hi) {
        s.low = kDefaultLow;
        s.high = kDefaultHigh;
    } else if (hi - lo < 1e-9) {
        s.low = lo - 1;
        s.high = hi + 1;
    } else {
        const double step = NiceStep((hi - lo) / 5);
        s.low = std::floor(lo / step) * step;
        s.high = std::ceil(hi / step) * step;
    }
    return s;
}

double PsnrPlotScale::X(int64_t frame) const {
    return area.left() +
           (static_cast<double>(frame - first) + 0.5) * area.width() / static_cast<double>(count);
}

double PsnrPlotScale::Y(double psnr) const {
    if (std::isinf(psnr) && psnr > 0) return InfinityY();
    return area.top() + (high - psnr) / (high - low) * area.height();
}

int64_t PsnrPlotScale::FrameAt(double x) const {
    if (area.width() <= 0) return first;
    const double column = std::floor((x - area.left()) * static_cast<double>(count) / area.width());
    const double clamped = std::clamp(column, 0.0, static_cast<double>(count - 1));
    return first + static_cast<int64_t>(clamped);
}

double PsnrPlotScale::TickStep(int maxTicks) const {
    return NiceStep((high - low) / std::max(maxTicks, 1));
}

// ---- Widget -----------------------------------------------------------------------------------

PsnrPlot::PsnrPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PsnrPlot"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PsnrPlot::SetData(const QStringList& components, int64_t first, int64_t count,
                       const std::vector<PsnrFigures>* frames) {
    components_ = components;
    first_ = first;
    count_ = count;
    frames_ = frames;
    update();
}

void PsnrPlot::SetCurrentFrame(int64_t frame) {
    if (frame == current_) return;
    current_ = frame;
    update();
}

QRectF PsnrPlot::PlotArea() const {
    const double w = std::max(1.0, width() - kLeft - kRight);
    const double h = std::max(1.0, height() - kLegend - kBand - kBottom);
    return QRectF(kLeft, kLegend + kBand, w, h);
}

PsnrPlotScale PsnrPlot::Scale() const {
    static const std::vector<PsnrFigures> none;
    PsnrPlotScale s = PsnrPlotScale::Fit(PlotArea(), first_, count_, frames_ ? *frames_ : none);
    s.infinityBand = kBand;
    return s;
}

int64_t PsnrPlot::FrameUnder(const QPointF& pos) const {
    const QRectF area = PlotArea();
    if (count_ <= 0 || pos.x() < area.left() || pos.x() >= area.right() ||
        pos.y() < area.top() - kBand || pos.y() > area.bottom())
        return -1;
    return Scale().FrameAt(pos.x());
}

void PsnrPlot::mouseMoveEvent(QMouseEvent* event) { Point(FrameUnder(event->position())); }

void PsnrPlot::leaveEvent(QEvent*) { Point(-1); }

void PsnrPlot::Point(int64_t frame) {
    if (frame == hover_) return;
    hover_ = frame;
    update();
    Q_EMIT hovered(frame);
}

void PsnrPlot::keyPressEvent(QKeyEvent* event) {
    if (count_ <= 0 || event->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int64_t last = first_ + count_ - 1;
    const int64_t from = hover_ >= 0 ? hover_ : std::clamp(current_, first_, last);
    const int64_t page = std::max<int64_t>(1, count_ / 10);
    switch (event->key()) {
    case Qt::Key_Left: Point(std::max(first_, from - 1)); break;
    case Qt::Key_Right: Point(std::min(last, from + 1)); break;
    case Qt::Key_PageUp: Point(std::max(first_, from - page)); break;
    case Qt::Key_PageDown: Point(std::min(last, from + page)); break;
    case Qt::Key_Home: Point(first_); break;
    case Qt::Key_End: Point(last); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (hover_ >= 0) Q_EMIT frameChosen(hover_);
        break;
    default: QWidget::keyPressEvent(event); return;
    }
}

void PsnrPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int64_t frame = FrameUnder(event->position());
    if (frame >= 0) Q_EMIT frameChosen(frame);
}

void PsnrPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 16, 16));
    const PsnrPlotScale scale = Scale();
    DrawAxes(painter, scale);
    DrawLegend(painter);
    if (count_ <= 0) return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(QRectF(scale.area.left(), scale.area.top() - kBand, scale.area.width(),
                               scale.area.height() + kBand));
    if (frames_ && !frames_->empty()) {
        for (int c = 0; c < components_.size(); ++c) DrawSeries(painter, scale, c);
        DrawSeries(painter, scale, -1);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    const double top = scale.area.top() - kBand;
    if (hover_ >= 0) {
        painter.setPen(QPen(QColor(255, 255, 255, 90), 1));
        painter.drawLine(QPointF(scale.X(hover_), top),
                         QPointF(scale.X(hover_), scale.area.bottom()));
    }
    if (current_ >= first_ && current_ < first_ + count_) {
        painter.setPen(QPen(QColor(255, 150, 40), 1, Qt::DashLine));
        painter.drawLine(QPointF(scale.X(current_), top),
                         QPointF(scale.X(current_), scale.area.bottom()));
    }
}

void PsnrPlot::DrawAxes(QPainter& painter, const PsnrPlotScale& scale) const {
    const QRectF& area = scale.area;
    const QFontMetricsF metrics(font());
    painter.setPen(QColor(60, 60, 60));
    painter.drawRect(area);
    // The infinity band above the finite range.
    const QRectF band(area.left(), area.top() - kBand, area.width(), kBand);
    painter.fillRect(band, QColor(34, 34, 46));
    painter.setPen(QColor(170, 170, 170));
    painter.drawText(QRectF(0, band.top(), kLeft - 6, kBand), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("inf"));

    // Values: dB labels at whole steps, a faint grid line each.
    const int maxTicks = std::max(2, static_cast<int>(area.height() / (metrics.height() * 1.6)));
    const double step = scale.TickStep(maxTicks);
    for (double v = std::ceil(scale.low / step) * step; v <= scale.high + step * 1e-6; v += step) {
        const double y = scale.Y(v);
        painter.setPen(QColor(45, 45, 45));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(QColor(170, 170, 170));
        painter.drawText(QRectF(0, y - metrics.height() / 2, kLeft - 6, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 6));
    }
    painter.drawText(QRectF(4, 2, kLeft, kLegend - 2), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("dB"));

    // Frames: numbers at whole steps along the bottom.
    if (count_ <= 0) return;
    const double labelWidth = metrics.horizontalAdvance(QString::number(first_ + count_ - 1)) + 16;
    const double perLabel = std::max(1.0, area.width() / labelWidth);
    const auto frameStep =
        static_cast<int64_t>(std::max(1.0, NiceStep(static_cast<double>(count_) / perLabel)));
    const int64_t start = (first_ + frameStep - 1) / frameStep * frameStep;
    for (int64_t f = start; f < first_ + count_; f += frameStep) {
        const double x = scale.X(f);
        painter.setPen(QColor(60, 60, 60));
        painter.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 3));
        painter.setPen(QColor(170, 170, 170));
        painter.drawText(QRectF(x - labelWidth / 2, area.bottom() + 3, labelWidth, kBottom - 3),
                         Qt::AlignHCenter | Qt::AlignTop, QString::number(f));
    }
}

void PsnrPlot::DrawSeries(QPainter& painter, const PsnrPlotScale& scale, int series) const {
    const QColor colour =
        PsnrSeriesColour(series < 0 ? QString() : components_[static_cast<qsizetype>(series)]);
    const std::vector<PsnrFigures>& frames = *frames_;
    const auto shown = static_cast<int64_t>(
        std::min<size_t>(frames.size(), static_cast<size_t>(std::max<int64_t>(count_, 0))));
    const int columns = std::max(1, static_cast<int>(scale.area.width()));
    painter.setPen(QPen(colour, series < 0 ? 2.0 : 1.0));
    painter.setBrush(colour);

    // One run of connected points per stretch of finite values; with more frames than pixel
    // columns, each column's lowest and highest value (the envelope).
    QPolygonF run;
    std::vector<QPolygonF> markers;
    auto flush = [&] {
        if (run.size() == 1) painter.drawPoint(run.front());
        if (run.size() > 1) painter.drawPolyline(run);
        run.clear();
    };
    if (shown <= 2 * columns) {
        for (int64_t i = 0; i < shown; ++i) {
            const double v = ValueOf(frames[static_cast<size_t>(i)], series);
            const double x = scale.X(first_ + i);
            if (std::isfinite(v)) {
                run << QPointF(x, scale.Y(v));
                continue;
            }
            flush();
            if (std::isinf(v) && v > 0) markers.push_back(InfinityMarker(x, scale.InfinityY()));
        }
    } else {
        int64_t i = 0;
        for (int column = 0; column < columns && i < shown; ++column) {
            const auto end = std::min<int64_t>(
                shown, static_cast<int64_t>(static_cast<double>(column + 1) *
                                            static_cast<double>(count_) / columns));
            double lo = std::numeric_limits<double>::infinity(), hi = -lo;
            bool infinite = false;
            for (; i < end; ++i) {
                const double v = ValueOf(frames[static_cast<size_t>(i)], series);
                if (std::isfinite(v)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                } else if (std::isinf(v) && v > 0) {
                    infinite = true;
                }
            }
            const double x = scale.area.left() + column + 0.5;
            if (infinite) markers.push_back(InfinityMarker(x, scale.InfinityY()));
            if (lo > hi) {
                flush();
                continue;
            }
            run << QPointF(x, scale.Y(hi)) << QPointF(x, scale.Y(lo));
        }
    }
    flush();
    painter.setPen(Qt::NoPen);
    for (const QPolygonF& m : markers) painter.drawPolygon(m);
    painter.setBrush(Qt::NoBrush);
}

void PsnrPlot::DrawLegend(QPainter& painter) const {
    const QFontMetricsF metrics(font());
    double x = kLeft;
    const double y = kLegend / 2;
    auto entry = [&](const QColor& colour, const QString& name, double thickness) {
        painter.setPen(QPen(colour, thickness));
        painter.drawLine(QPointF(x, y), QPointF(x + 16, y));
        painter.setPen(QColor(200, 200, 200));
        const double w = metrics.horizontalAdvance(name);
        painter.drawText(QRectF(x + 20, 0, w + 2, kLegend), Qt::AlignLeft | Qt::AlignVCenter, name);
        x += 20 + w + 14;
    };
    for (const QString& c : components_) entry(PsnrSeriesColour(c), c, 1.0);
    entry(PsnrSeriesColour(QString()), QStringLiteral("average"), 2.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 200, 200));
    painter.drawPolygon(InfinityMarker(x + 4, y));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QColor(200, 200, 200));
    painter.drawText(QRectF(x + 12, 0, width() - x, kLegend), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("inf: identical (MSE 0), drawn in the top band"));
}

}  // namespace kavlo
