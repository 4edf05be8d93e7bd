// The histogram panel: the distribution of the current frame's source samples per component
// (histogram), or per column (waveform), with a component selector. It follows the view: every
// rendering of a new frame (or of the same frame with other switches) asks for new statistics,
// computed on a worker thread from a copy of the frame, so that the window never waits for them.
#pragma once

#include "analysis/FrameStatistics.h"
#include "app/analysis/AnalysisDock.h"
#include "app/common/WindowJob.h"

#include <QWidget>

#include <vector>

class CVideoBuffer;
class QComboBox;
class QLabel;

namespace kavlo {

// Draws the statistics of one component: bars of its histogram, or its waveform as an image
// whose brightness grows with the count at each column and level.
class HistogramPlot : public QWidget {
    Q_OBJECT
public:
    explicit HistogramPlot(QWidget* parent = nullptr);
    void SetData(const ComponentStatistics* component, int columns, bool waveform);
    QSize sizeHint() const override { return QSize(360, 200); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ComponentStatistics* component_ = nullptr;
    int columns_ = 0;
    bool waveform_ = false;
};

class HistogramDock : public AnalysisDock {
    Q_OBJECT
public:
    // Width of the panel beside the picture while docked.
    static constexpr int kDockedWidth = 380;

    HistogramDock(CVideoBuffer* view, QWidget* parent);
    ~HistogramDock() override;

    // Asks for the statistics of the view's frame (nothing while hidden or with no file).
    void Refresh() override;
    // The statistics shown (empty before the first result) and whether a computation runs.
    const FrameStatistics& Statistics() const { return stats_; }
    bool Busy() const { return job_.Busy(); }
    // The component selector's entries and the display mode.
    QComboBox* ComponentBox() const { return component_; }
    QComboBox* ModeBox() const { return mode_; }
    QString SummaryText() const;

Q_SIGNALS:
    // A new result is shown.
    void StatisticsReady();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Start(std::vector<uint8_t> bytes, const SourceFrame& frame);
    void Finished(FrameStatistics result);
    void ShowSelected();

    CVideoBuffer* view_;
    QComboBox* component_ = nullptr;
    QComboBox* mode_ = nullptr;
    QLabel* summary_ = nullptr;
    HistogramPlot* plot_ = nullptr;
    FrameStatistics stats_;
    bool pending_ = false;  // the frame changed while the worker ran: compute again when done
    // Last: destroyed, and joined, before the rest of the panel.
    WindowJob job_;
};

}  // namespace kavlo
