// File > Export Frames: the dialog that asks for the range, the format, the file name and the
// folder, and the job that runs the export on a worker thread behind a progress dialog with
// Cancel, the main window usable meanwhile. The folder last written to (by Export Frames or Save
// Frame As) is kept in the per-user store and offered next time.
#pragma once

#include "app/analysis/FrameExport.h"
#include "app/common/WindowJob.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

class QComboBox;
class QLineEdit;
class QProgressDialog;

namespace kavlo {

class ExportFramesDlg : public QDialog {
    Q_OBJECT
public:
    // `base` fills the request's source, settings and switches; the dialog sets the rest, with
    // the whole file as the range and `base.folder` as the target's folder while it is one (the
    // folder last written to), else the source's folder.
    ExportFramesDlg(const ExportRequest& base, int64_t frameCount, QWidget* parent = nullptr);

    // The request as the fields stand; false with the reason when they do not make one.
    bool BuildRequest(ExportRequest& request, QString& error) const;
    QLineEdit* FromField() const { return from_; }
    QLineEdit* ToField() const { return to_; }
    QComboBox* FormatBox() const { return format_; }
    QLineEdit* NameField() const { return name_; }
    QLineEdit* FolderField() const { return folder_; }

    void accept() override;

private:
    void FormatChanged();

    ExportRequest base_;
    int64_t frameCount_;
    QString stem_;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QComboBox* format_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* folder_ = nullptr;
};

// The folder Save Frame As or Export Frames last wrote to, from the per-user store; empty when
// none is stored or it is no folder any more.
QString LastOutputFolder();
void SetLastOutputFolder(const QString& folder);
// Shows `text` in the status bar of `window` for a while (nothing when it has none).
void ShowOutputMessage(QWidget* window, const QString& text);

// One export run: asks once about existing files, then writes on a worker thread and reports
// the end ("N frames written to FOLDER") in the window's status bar, a failure in a message box
// too. Remembers the folder when a frame was written. Deletes itself when done; deleted with the
// window, it stops the run and waits for the worker.
class ExportJob : public QObject {
    Q_OBJECT
public:
    // False (and nothing started) when the user declined to overwrite.
    static bool Start(const ExportRequest& request, QWidget* window);
    ~ExportJob() override;

    // The job running now, if any (one at a time).
    static ExportJob* Running();

Q_SIGNALS:
    void Finished(int status, const QString& message);

private:
    ExportJob(const ExportRequest& request, QWidget* window);
    void Run();
    void ShowProgress(qint64 done, qint64 total);
    void Done(const ExportResult& result);

    ExportRequest request_;
    QPointer<QWidget> window_;
    QPointer<QProgressDialog> progress_;
    // Last: destroyed, and joined, first.
    WindowJob job_;
};

}  // namespace kavlo
