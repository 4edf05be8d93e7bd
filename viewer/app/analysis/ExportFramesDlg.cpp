#include "app/analysis/ExportFramesDlg.h"

#include "app/common/AppInfo.h"
#include "app/common/Platform.h"
#include "view/file/LocalFileName.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QVBoxLayout>

#include <limits>

namespace kavlo {

namespace {

ExportJob* g_running = nullptr;

// A frame number field's value; -1 when it holds no number.
int64_t ReadFrame(const QLineEdit* field) {
    bool ok = false;
    const qlonglong v = field->text().trimmed().toLongLong(&ok);
    return ok ? static_cast<int64_t>(v) : -1;
}

}  // namespace

ExportFramesDlg::ExportFramesDlg(const ExportRequest& base, int64_t frameCount, QWidget* parent)
    : QDialog(parent), base_(base), frameCount_(frameCount) {
    setObjectName(QStringLiteral("ExportFramesDlg"));
    setWindowTitle(QStringLiteral("Export Frames"));
    const QFileInfo source(base.sourcePath);
    stem_ =
        source.completeBaseName().isEmpty() ? QStringLiteral("frame") : source.completeBaseName();
    from_ = new QLineEdit(QStringLiteral("0"), this);
    from_->setObjectName(QStringLiteral("ExportFrom"));
    to_ = new QLineEdit(QString::number(std::max<int64_t>(frameCount - 1, 0)), this);
    to_->setObjectName(QStringLiteral("ExportTo"));
    format_ = new QComboBox(this);
    format_->setObjectName(QStringLiteral("ExportFormat"));
    format_->addItem(QStringLiteral("Image sequence (one file per frame)"));
    format_->addItem(QStringLiteral("Raw frames (one file, frames concatenated)"));
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("ExportName"));
    name_->setToolTip(QStringLiteral(
        "Image sequence: %05d stands for the frame number, the extension picks the format.\n"
        "Raw frames: the frames in the source's layout, without file or frame prefixes."));
    const QString folder = !base.folder.isEmpty() && QFileInfo(base.folder).isDir()
                               ? base.folder
                               : source.absolutePath();
    folder_ = new QLineEdit(QDir::toNativeSeparators(folder), this);
    folder_->setObjectName(QStringLiteral("ExportFolder"));
    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir =
            QFileDialog::getExistingDirectory(this, QStringLiteral("Export To"), folder_->text());
        if (!dir.isEmpty()) folder_->setText(QDir::toNativeSeparators(dir));
    });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("From frame:"), from_);
    form->addRow(QStringLiteral("To frame:"), to_);
    form->addRow(QStringLiteral("Format:"), format_);
    form->addRow(QStringLiteral("File name:"), name_);
    form->addRow(QStringLiteral("Folder:"), folderRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportFramesDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(format_, &QComboBox::currentIndexChanged, this, [this] { FormatChanged(); });
    FormatChanged();
}

void ExportFramesDlg::FormatChanged() {
    name_->setText(format_->currentIndex() == 0 ? stem_ + QStringLiteral("_%05d.png")
                                                : stem_ + QStringLiteral("_frames.raw"));
}

bool ExportFramesDlg::BuildRequest(ExportRequest& request, QString& error) const {
    request = base_;
    request.first = ReadFrame(from_);
    request.last = ReadFrame(to_);
    if (request.first < 0 || request.last < 0 || request.first >= frameCount_ ||
        request.last >= frameCount_) {
        error = QStringLiteral("The frames must be numbers from 0 to %1.").arg(frameCount_ - 1);
        return false;
    }
    if (request.last < request.first) {
        error = QStringLiteral("The last frame comes before the first.");
        return false;
    }
    request.format =
        format_->currentIndex() == 0 ? ExportFormat::ImageSequence : ExportFormat::RawFrames;
    request.pattern = name_->text().trimmed();
    request.folder = QDir::fromNativeSeparators(folder_->text().trimmed());
    if (!CheckExportPattern(request.pattern, request.format, error)) return false;
    if (!QFileInfo(request.folder).isDir()) {
        error = QStringLiteral("%1 is not a folder.").arg(folder_->text());
        return false;
    }
    // A directory, device, pipe or socket under a name is never replaced: refused before the
    // run, so that nothing of the export is written.
    return CheckExportTargets(ExportTargets(request), error);
}

void ExportFramesDlg::accept() {
    ExportRequest request;
    QString error;
    if (!BuildRequest(request, error)) {
        QMessageBox::warning(this, windowTitle(), error);
        return;
    }
    QDialog::accept();
}

// ---- The folder and the message ---------------------------------------------------------------

QString LastOutputFolder() {
    auto store = OpenUserSettings();
    QString folder;
    if (!FileNameFromSettingValue(store->value(OutputFolderKey()), &folder)) return QString();
    return QFileInfo(folder).isDir() ? folder : QString();
}

void SetLastOutputFolder(const QString& folder) {
    if (folder.isEmpty()) return;
    auto store = OpenUserSettings();
    store->setValue(OutputFolderKey(), FileNameToSettingValue(folder));
}

void ShowOutputMessage(QWidget* window, const QString& text) {
    if (!window) return;
    if (auto* bar = window->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly))
        bar->showMessage(text, 15000);
}

// ---- The run ----------------------------------------------------------------------------------

ExportJob* ExportJob::Running() { return g_running; }

bool ExportJob::Start(const ExportRequest& request, QWidget* window) {
    if (g_running) return false;
    QStringList existing;
    for (const QString& t : ExportTargets(request))
        if (QFileInfo::exists(t)) existing << t;
    if (!existing.isEmpty()) {
        const QString names =
            QDir::toNativeSeparators(existing.front()) +
            (existing.size() > 1 ? QStringLiteral("\nand %1 more").arg(existing.size() - 1)
                                 : QString());
        const auto answer = QMessageBox::question(
            window, QStringLiteral("Export Frames"),
            QStringLiteral("%1 of the files exist already:\n%2\n\nOverwrite them all?")
                .arg(existing.size())
                .arg(names),
            QMessageBox::YesToAll | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::YesToAll) return false;
    }
    auto* job = new ExportJob(request, window);
    job->Run();
    return true;
}

ExportJob::ExportJob(const ExportRequest& request, QWidget* window)
    : QObject(window), request_(request), window_(window) {
    g_running = this;
}

ExportJob::~ExportJob() {
    // The run stops and its worker is waited for (job_, the last member, goes first); the
    // progress dialog goes with the job.
    job_.Cancel();
    if (progress_) progress_->deleteLater();
    if (g_running == this) g_running = nullptr;
}

void ExportJob::Run() {
    progress_ = new QProgressDialog(QStringLiteral("Exporting frames..."), QStringLiteral("Cancel"),
                                    0, 1000, window_);
    progress_->setObjectName(QStringLiteral("ExportProgress"));
    progress_->setWindowTitle(QStringLiteral("Export Frames"));
    progress_->setWindowModality(Qt::NonModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    connect(progress_, &QProgressDialog::canceled, this, [this] { job_.Cancel(); });
    connect(&job_, &WindowJob::Progress, this, &ExportJob::ShowProgress);
    progress_->show();

    // The worker has a copy of the request and reads nothing else of the job.
    job_.Run(
        [request = request_](JobContext& context) {
            ExportCallbacks callbacks;
            // Consent was asked on the window's thread before the run.
            callbacks.askOverwrite = [](const QStringList&) {
                return OverwriteAnswer::OverwriteAll;
            };
            callbacks.progress = [&context](int64_t done, int64_t total) {
                context.Report(done, total);
                return !context.Cancelled();
            };
            return ExportFrames(request, callbacks);
        },
        [this](ExportResult result) { Done(result); });
}

void ExportJob::ShowProgress(qint64 done, qint64 total) {
    if (!progress_ || total <= 0) return;
    progress_->setValue(static_cast<int>(done * 1000 / total));
    progress_->setLabelText(QStringLiteral("Exporting frame %1 of %2...").arg(done).arg(total));
}

void ExportJob::Done(const ExportResult& result) {
    if (progress_) {
        progress_->close();
        progress_->deleteLater();
        progress_ = nullptr;
    }
    if (FramesKept(request_, result) > 0) SetLastOutputFolder(request_.folder);
    const QString message = ExportEndMessage(request_, result);
    ShowOutputMessage(window_, message);
    Q_EMIT Finished(static_cast<int>(result.status), message);
    if (result.status == ExportResult::Failed && window_) {
        // Shown without a nested event loop: the window stays as usable as during the run.
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Export Frames"), message,
                                    QMessageBox::Ok, window_);
        box->setObjectName(QStringLiteral("ExportError"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    deleteLater();
}

}  // namespace kavlo
