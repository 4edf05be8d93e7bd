#include "app/compare/PsnrSequenceWindow.h"

#include "app/analysis/FrameExport.h"
#include "app/compare/PsnrSequencePlot.h"

#include "analysis/PsnrCsv.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>

namespace kavlo {

namespace {

const QString kObjectName = QStringLiteral("PsnrSequenceWindow");
const QString kTitle = QStringLiteral("PSNR of All Frames");

QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

QString WriteError(const QString& path, const QString& reason) {
    return QStringLiteral("Couldn't write %1: %2").arg(Shown(path), reason);
}

// A figure for the hover line: two decimals, "inf" for identical samples.
QString Figure(double value) {
    if (std::isinf(value)) return QStringLiteral("inf");
    return QString::number(value, 'f', 2);
}

}  // namespace

PsnrSequenceWindow::PsnrSequenceWindow(const SequenceRequest& request, QWidget* parent)
    : QWidget(parent, Qt::Window), request_(request) {
    setObjectName(kObjectName);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("%1: %2 against %3")
                       .arg(kTitle, QFileInfo(request.a.fileName).fileName(),
                            QFileInfo(request.b.fileName).fileName()));

    const QString shift =
        request.offset == 0
            ? QString()
            : QStringLiteral(" (B's frame = A's frame %1 %2)")
                  .arg(request.offset > 0 ? QStringLiteral("+") : QStringLiteral("\u2212"))
                  .arg(request.offset > 0 ? request.offset : -request.offset);
    files_ = new QLabel(QStringLiteral("A: %1\nB: %2%3")
                            .arg(Shown(request.a.fileName), Shown(request.b.fileName), shift),
                        this);
    files_->setObjectName(QStringLiteral("PsnrFiles"));
    files_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("PsnrProgress"));
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    count_ = new QLabel(QStringLiteral("0 / ? frames"), this);
    count_->setObjectName(QStringLiteral("PsnrFrameCount"));
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("PsnrCancel"));
    status_ = new QLabel(QStringLiteral("Opening the files..."), this);
    status_->setObjectName(QStringLiteral("PsnrStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    plot_ = new PsnrPlot(this);
    hover_ =
        new QLabel(QStringLiteral("Point at a frame for its figures; click to show it."), this);
    hover_->setObjectName(QStringLiteral("PsnrHover"));
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("PsnrSummary"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    export_ = new QPushButton(QStringLiteral("&Export CSV..."), this);
    export_->setObjectName(QStringLiteral("PsnrExport"));
    export_->setEnabled(false);
    auto* closeButton = new QPushButton(QStringLiteral("Close"), this);

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(count_);
    progressRow->addWidget(cancel_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(export_);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(files_);
    layout->addLayout(progressRow);
    layout->addWidget(status_);
    layout->addWidget(plot_, 1);
    layout->addWidget(hover_);
    layout->addWidget(summary_);
    layout->addLayout(buttons);
    resize(780, 500);

    connect(cancel_, &QPushButton::clicked, this, [this] { CancelRun(); });
    connect(export_, &QPushButton::clicked, this, [this] { AskAndExport(); });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(plot_, &PsnrPlot::frameChosen, this, &PsnrSequenceWindow::frameChosen);
    connect(plot_, &PsnrPlot::hovered, this, [this](qint64 frame) { ShowHovered(frame); });

    // The worker only posts: every look at the run is made here, on the window's thread. A post
    // still queued when the window goes is dropped with it.
    compare_ = std::make_unique<SequenceCompare>([this] {
        QMetaObject::invokeMethod(
            this, [this] { Update(); }, Qt::QueuedConnection);
    });
    compare_->Start(request_);
}

PsnrSequenceWindow::~PsnrSequenceWindow() {
    // Cancels and waits for the worker threads before the widgets go.
    compare_.reset();
}

bool PsnrSequenceWindow::Compares(const SequenceRequest& request) const {
    return request.a.fileName == request_.a.fileName && request.b.fileName == request_.b.fileName &&
           std::memcmp(&request.a.settings, &request_.a.settings, sizeof(RawSettings)) == 0 &&
           std::memcmp(&request.b.settings, &request_.b.settings, sizeof(RawSettings)) == 0 &&
           request.first == request_.first && request.last == request_.last &&
           request.offset == request_.offset;
}

void PsnrSequenceWindow::SetCurrentFrame(int64_t frame) { plot_->SetCurrentFrame(frame); }

void PsnrSequenceWindow::CancelRun() {
    compare_->Cancel();
    cancel_->setEnabled(false);
}

void PsnrSequenceWindow::Update() {
    state_ = compare_->Snapshot();
    if (!prepared_ && state_.total > 0) {
        prepared_ = true;
        samples_ = compare_->Samples();
        weights_ = compare_->Weights();
        QStringList names;
        for (const ComponentSamples& c : samples_.components)
            names << QString::fromLatin1(ComponentName(c.component));
        plot_->SetData(names, state_.first, state_.total, &figures_);
        files_->setText(QStringLiteral("A: %1 (%2 frames)\nB: %3 (%4 frames)")
                            .arg(Shown(request_.a.fileName))
                            .arg(state_.framesA)
                            .arg(Shown(request_.b.fileName))
                            .arg(state_.framesB));
    }
    // After the snapshot: the figures are at least as many as it says were done.
    compare_->CopyFigures(figures_.size(), figures_);
    const auto done = static_cast<int64_t>(figures_.size());
    if (state_.total > 0) {
        progress_->setValue(static_cast<int>(done * 1000 / state_.total));
        count_->setText(QStringLiteral("%1 / %2 frames").arg(done).arg(state_.total));
    }
    plot_->update();
    const QString notice =
        state_.notice.isEmpty() ? QString() : QStringLiteral(" ") + state_.notice;
    switch (state_.status) {
    case SequenceStatus::Idle:
    case SequenceStatus::Opening: status_->setText(QStringLiteral("Opening the files...")); break;
    case SequenceStatus::Running:
        status_->setText(QStringLiteral("Comparing frames %1 to %2 of A against B...%3")
                             .arg(state_.first)
                             .arg(state_.first + state_.total - 1)
                             .arg(notice));
        break;
    case SequenceStatus::Done:
        status_->setText(QStringLiteral("Frames %1 to %2 compared.%3")
                             .arg(state_.first)
                             .arg(state_.first + state_.total - 1)
                             .arg(notice));
        break;
    case SequenceStatus::Cancelled:
        status_->setText(
            state_.total > 0
                ? QStringLiteral("Cancelled after %1 of %2 frames.").arg(done).arg(state_.total)
                : QStringLiteral("Cancelled before the first frame."));
        break;
    case SequenceStatus::Failed:
        status_->setText(QStringLiteral("Stopped after %1 frames: %2").arg(done).arg(state_.error));
        break;
    }
    if (state_.Ended() && !ended_) ShowEnd();
}

void PsnrSequenceWindow::ShowEnd() {
    ended_ = true;
    cancel_->setEnabled(false);
    export_->setEnabled(!figures_.empty());
    if (!figures_.empty()) {
        const PsnrFigures summary = SummaryFigures(weights_, figures_);
        // The tool's summary line without its comment mark.
        const std::string line = PsnrSummaryLine(samples_, state_.first, figures_, summary);
        summary_->setText(QString::fromStdString(line.substr(2)));
    }
    Q_EMIT finished();
}

void PsnrSequenceWindow::ShowHovered(int64_t frame) {
    if (frame < 0) {
        hover_->setText(QStringLiteral("Point at a frame for its figures; click to show it."));
        return;
    }
    const int64_t index = frame - state_.first;
    if (index < 0 || index >= static_cast<int64_t>(figures_.size())) {
        hover_->setText(QStringLiteral("Frame %1: not compared yet.").arg(frame));
        return;
    }
    const PsnrFigures& f = figures_[static_cast<size_t>(index)];
    QString text = QStringLiteral("Frame %1: average %2 dB (MSE %3)")
                       .arg(frame)
                       .arg(Figure(f.psnrAverage), QString::number(f.mseAverage, 'f', 3));
    for (size_t c = 0; c < samples_.components.size() && c < f.psnr.size(); ++c) {
        text += QStringLiteral(", %1 %2 dB (MSE %3)")
                    .arg(QString::fromLatin1(ComponentName(samples_.components[c].component)),
                         Figure(f.psnr[c]), QString::number(f.mse[c], 'f', 3));
    }
    hover_->setText(text);
}

std::string PsnrSequenceWindow::CsvText() const {
    if (figures_.empty()) return {};
    return PsnrCsvText(samples_, state_.first, figures_, SummaryFigures(weights_, figures_));
}

bool PsnrSequenceWindow::ExportCsv(const QString& path, bool replace, QString& error) const {
    if (figures_.empty()) {
        error = QStringLiteral("No frame has been compared yet.");
        return false;
    }
    const QFileInfo info(path);
    if (info.isDir()) {
        error = WriteError(path, QStringLiteral("it is a folder"));
        return false;
    }
    if (info.exists() && !replace) {
        error = WriteError(path, QStringLiteral("the file exists already"));
        return false;
    }
    if (!info.absoluteDir().exists()) {
        error = WriteError(
            path, QStringLiteral("the folder %1 does not exist").arg(Shown(info.absolutePath())));
        return false;
    }
    const std::string text = CsvText();
    QString reason;
    if (!WriteWholeFile(path, text.data(), static_cast<qint64>(text.size()), reason)) {
        error = WriteError(path, reason);
        return false;
    }
    return true;
}

void PsnrSequenceWindow::AskAndExport() {
    const QFileInfo a(request_.a.fileName);
    const QString suggested = a.absoluteDir().filePath(
        QStringLiteral("%1_vs_%2_psnr.csv")
            .arg(a.completeBaseName(), QFileInfo(request_.b.fileName).completeBaseName()));
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), suggested,
                                     QStringLiteral("CSV files (*.csv);;All files (*)"), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) return;
    bool replace = false;
    if (QFileInfo::exists(path)) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Export CSV"),
            QStringLiteral("%1 exists already.\n\nReplace it?").arg(Shown(path)),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
        replace = true;
    }
    QString error;
    if (!ExportCsv(path, replace, error))
        QMessageBox::warning(this, QStringLiteral("Export CSV"), error);
}

void PsnrSequenceWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PsnrSequenceWindow::closeEvent(QCloseEvent* event) {
    compare_->Cancel();
    QWidget::closeEvent(event);
}

PsnrSequenceWindow* PsnrSequenceOf(QWidget* mainWindow) {
    if (!mainWindow) return nullptr;
    return mainWindow->findChild<PsnrSequenceWindow*>(kObjectName, Qt::FindDirectChildrenOnly);
}

PsnrSequenceWindow* ShowPsnrSequence(QWidget* mainWindow, const QString& fileA,
                                     const RawSettings& a, const QString& fileB,
                                     const RawSettings& b, int64_t offset) {
    SequenceRequest request;
    request.a = {fileA, a};
    request.b = {fileB, b};
    request.offset = offset;
    PsnrSequenceWindow* window = PsnrSequenceOf(mainWindow);
    if (window && !window->Compares(request)) {
        // Renamed first: the closing window is no longer the one the main window has.
        window->setObjectName(QString());
        window->hide();
        window->deleteLater();
        window = nullptr;
    }
    if (!window) window = new PsnrSequenceWindow(request, mainWindow);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace kavlo
