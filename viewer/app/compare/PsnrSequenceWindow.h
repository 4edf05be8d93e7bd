// The PSNR of every frame of two files: a window of its own beside the main window (not modal,
// one per main window) that compares file A against file B on worker threads (view/
// SequenceCompare) while the viewer stays usable. It shows the progress ("n / N frames", Cancel),
// the per-frame plot (PsnrSequencePlot.h), the figures of the frame under the pointer, the
// summary as `kavlo-tool compare` prints it, and exports the figures as the tool's CSV. A click
// on the plot chooses a frame (frameChosen) for the main window to show; the main window tells
// the window its current frame (SetCurrentFrame). Escape closes it, which cancels the run. The
// window reads the files through readers of its own: the main window may close its file.
#pragma once

#include "analysis/SamplePsnr.h"
#include "settings/RawSettings.h"
#include "analysis/SequenceCompare.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kavlo {

class PsnrPlot;

class PsnrSequenceWindow : public QWidget {
    Q_OBJECT
public:
    // Starts comparing at once. `parent` is the main window (the window stays a window of its
    // own, closed with it).
    PsnrSequenceWindow(const SequenceRequest& request, QWidget* parent);
    ~PsnrSequenceWindow() override;

    // Marks the main window's frame in the plot.
    void SetCurrentFrame(int64_t frame);
    // Whether the window compares these files with these records.
    bool Compares(const SequenceRequest& request) const;

    // Writes the figures of the frames compared as the tool's CSV to `path`, atomically (a
    // temporary file beside it, renamed when whole). An existing file is replaced only when
    // `replace`; false with the reason otherwise, and on any failure, which leaves no file
    // behind. What Export CSV writes after asking for the name.
    bool ExportCsv(const QString& path, bool replace, QString& error) const;
    // The CSV text of the frames compared (empty before the first frame).
    std::string CsvText() const;

    // The run's state as the window shows it.
    const SequenceSnapshot& State() const { return state_; }
    const std::vector<PsnrFigures>& Figures() const { return figures_; }
    PsnrPlot* Plot() const { return plot_; }
    QProgressBar* ProgressBar() const { return progress_; }
    QLabel* ProgressLabel() const { return count_; }
    QLabel* StatusLabel() const { return status_; }
    QLabel* SummaryLabel() const { return summary_; }
    QLabel* HoverLabel() const { return hover_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* ExportButton() const { return export_; }

    // Stops the run after the frame in progress (the Cancel button).
    void CancelRun();

Q_SIGNALS:
    // The user clicked frame `frame` in the plot.
    void frameChosen(qint64 frame);
    // The run has ended (done, cancelled or failed); State() says how.
    void finished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Update();
    void ShowEnd();
    void ShowHovered(int64_t frame);
    void AskAndExport();

    SequenceRequest request_;
    std::unique_ptr<SequenceCompare> compare_;
    SequenceSnapshot state_;
    FrameSamples samples_;
    PsnrWeights weights_;
    std::vector<PsnrFigures> figures_;
    bool prepared_ = false;
    bool ended_ = false;

    QLabel* files_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* status_ = nullptr;
    PsnrPlot* plot_ = nullptr;
    QLabel* hover_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* export_ = nullptr;
};

// Opens the PSNR window of `mainWindow` on file A (`a`) against file B (`b`), all frames in
// common (A's frame n against B's frame n + offset), and returns it. A window already comparing
// the same files with the same records and offset is raised; one comparing others is closed and
// replaced.
PsnrSequenceWindow* ShowPsnrSequence(QWidget* mainWindow, const QString& fileA,
                                     const RawSettings& a, const QString& fileB,
                                     const RawSettings& b, int64_t offset = 0);
// The PSNR window of `mainWindow`, null when none is open (to tell it the current frame).
PsnrSequenceWindow* PsnrSequenceOf(QWidget* mainWindow);

}  // namespace kavlo
