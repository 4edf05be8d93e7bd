#include "app/analysis/HistogramDock.h"

#include "view/picture/SourceProbe.h"
#include "view/VideoBuffer.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace kavlo {

namespace {

constexpr int kMaxWaveformColumns = 1024;

QColor ComponentColour(Component c) {
    switch (c) {
    // Cb is drawn in B's blue and Cr in R's red.
    case Component::R:
    case Component::Cr: return QColor(220, 60, 60);
    case Component::G: return QColor(60, 180, 60);
    case Component::B:
    case Component::Cb: return QColor(70, 110, 230);
    default: return QColor(200, 200, 200);
    }
}

}  // namespace

HistogramPlot::HistogramPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(256, 128);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HistogramPlot::SetData(const ComponentStatistics* component, int columns, bool waveform) {
    component_ = component;
    columns_ = columns;
    waveform_ = waveform;
    update();
}

void HistogramPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!component_ || component_->samples == 0) return;
    const QColor colour = ComponentColour(component_->component);
    if (waveform_) {
        // Columns x levels, level 255 at the top; brightness by the log of the count.
        QImage image(columns_, kWaveformLevels, QImage::Format_RGB32);
        image.fill(Qt::black);
        uint32_t peak = 1;
        for (uint32_t c : component_->waveform) peak = std::max(peak, c);
        const double scale = 255.0 / std::log1p(static_cast<double>(peak));
        for (int x = 0; x < columns_; ++x) {
            const uint32_t* counts =
                component_->waveform.data() + static_cast<size_t>(x) * kWaveformLevels;
            for (int l = 0; l < kWaveformLevels; ++l) {
                if (counts[l] == 0) continue;
                const int v = std::clamp(
                    static_cast<int>(64.0 +
                                     0.75 * scale * std::log1p(static_cast<double>(counts[l]))),
                    0, 255);
                image.setPixel(x, kWaveformLevels - 1 - l,
                               qRgb(v * colour.red() / 255, v * colour.green() / 255,
                                    v * colour.blue() / 255));
            }
        }
        painter.drawImage(rect(), image);
        return;
    }
    // Bars, as many as the width allows: neighbouring bins are summed.
    const auto& bins = component_->histogram;
    const int w = std::max(width(), 1);
    const size_t perBar =
        std::max<size_t>(1, (bins.size() + static_cast<size_t>(w) - 1) / static_cast<size_t>(w));
    const size_t bars = (bins.size() + perBar - 1) / perBar;
    std::vector<uint64_t> sums(bars, 0);
    for (size_t i = 0; i < bins.size(); ++i) sums[i / perBar] += bins[i];
    const uint64_t peak = std::max<uint64_t>(1, *std::max_element(sums.begin(), sums.end()));
    const double barWidth = static_cast<double>(w) / static_cast<double>(bars);
    for (size_t b = 0; b < bars; ++b) {
        const double h = static_cast<double>(sums[b]) / static_cast<double>(peak) * height();
        painter.fillRect(
            QRectF(static_cast<double>(b) * barWidth, height() - h, std::max(barWidth, 1.0), h),
            colour);
    }
}

HistogramDock::HistogramDock(CVideoBuffer* view, QWidget* parent)
    : AnalysisDock(QStringLiteral("Histogram"), parent), view_(view) {
    setObjectName(QStringLiteral("HistogramDock"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);
    auto* body = new QWidget(this);
    component_ = new QComboBox(body);
    component_->setObjectName(QStringLiteral("HistogramComponent"));
    mode_ = new QComboBox(body);
    mode_->setObjectName(QStringLiteral("HistogramMode"));
    mode_->addItems({QStringLiteral("Histogram"), QStringLiteral("Waveform")});
    summary_ = new QLabel(body);
    summary_->setObjectName(QStringLiteral("HistogramSummary"));
    plot_ = new HistogramPlot(body);
    // Docked, the panel is as tall as the picture, which may be small.
    plot_->setMinimumSize(120, 40);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Component:"), body));
    controls->addWidget(component_);
    controls->addWidget(mode_);
    controls->addStretch(1);
    auto* layout = new QVBoxLayout(body);
    layout->addLayout(controls);
    layout->addWidget(plot_, 1);
    layout->addWidget(summary_);
    setWidget(body);
    // Docked at the right of the picture (the main window lays it out: it has no dock areas of
    // a main window); the title bar's float button, or Shift+H, makes it a window of its own.
    resize(kDockedWidth, 300);

    connect(component_, &QComboBox::currentIndexChanged, this, [this] { ShowSelected(); });
    connect(mode_, &QComboBox::currentIndexChanged, this, [this] { ShowSelected(); });
    connect(view_, &CVideoBuffer::FrameRendered, this, [this] { Refresh(); });
}

// The job, the last member, waits for its worker before the panel goes.
HistogramDock::~HistogramDock() = default;

void HistogramDock::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    Refresh();
}

void HistogramDock::Refresh() {
    if (!isVisible() || !plot_) return;
    if (!view_->IsOpen()) {
        stats_ = FrameStatistics();
        component_->clear();
        ShowSelected();
        return;
    }
    if (job_.Busy()) {
        pending_ = true;
        return;
    }
    SourceFrame frame = view_->CurrentFrame();
    if (!frame.bytes) return;
    // The worker reads a copy: the view's frame buffer changes with the next frame.
    const size_t size = static_cast<size_t>(frame.lineBytes) * static_cast<size_t>(frame.height);
    std::vector<uint8_t> bytes(frame.bytes, frame.bytes + size);
    Start(std::move(bytes), frame);
}

void HistogramDock::Start(std::vector<uint8_t> bytes, const SourceFrame& frame) {
    pending_ = false;
    // The worker reads its own copy of the frame; the result comes back on the window's thread.
    auto shared = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    job_.Run(
        [shared, frame](JobContext&) {
            SourceFrame copy = frame;
            copy.bytes = shared->data();
            return ComputeFrameStatistics(copy, kMaxWaveformColumns);
        },
        [this](FrameStatistics result) { Finished(std::move(result)); });
}

void HistogramDock::Finished(FrameStatistics result) {
    // The selection survives a new result with the same components.
    const QString selected = component_->currentText();
    stats_ = std::move(result);
    QStringList names;
    for (const ComponentStatistics& c : stats_.components) names << ComponentLabel(c.component);
    QStringList current;
    for (int i = 0; i < component_->count(); ++i) current << component_->itemText(i);
    if (names != current) {
        const QSignalBlocker block(component_);
        component_->clear();
        component_->addItems(names);
        const int keep = static_cast<int>(names.indexOf(selected));
        component_->setCurrentIndex(keep >= 0 ? keep : 0);
    }
    ShowSelected();
    Q_EMIT StatisticsReady();
    if (pending_) Refresh();
}

QString HistogramDock::SummaryText() const { return summary_->text(); }

void HistogramDock::ShowSelected() {
    const int i = component_->currentIndex();
    if (i < 0 || i >= static_cast<int>(stats_.components.size())) {
        plot_->SetData(nullptr, 0, false);
        summary_->clear();
        return;
    }
    const ComponentStatistics& c = stats_.components[static_cast<size_t>(i)];
    plot_->SetData(&c, stats_.columns, mode_->currentIndex() == 1);
    summary_->setText(QStringLiteral("%1, %2 bits: min %3, max %4, mean %5, %6 samples")
                          .arg(ComponentLabel(c.component))
                          .arg(c.bits)
                          .arg(c.minimum)
                          .arg(c.maximum)
                          .arg(c.mean, 0, 'f', 2)
                          .arg(static_cast<qulonglong>(c.samples)));
}

}  // namespace kavlo
