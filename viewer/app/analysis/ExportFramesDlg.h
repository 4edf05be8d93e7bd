// File > Export Frames: the dialog that asks for the range, the format, the file name and the
// folder, and the job that runs the export on a worker thread behind a progress dialog with
// Cancel, the main window usable meanwhile.
#pragma once

#include "app/analysis/FrameExport.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>
#include <thread>

class QComboBox;
class QLineEdit;
class QProgressDialog;

namespace kavlo {

class ExportFramesDlg : public QDialog {
    Q_OBJECT
public:
    // `base` fills the request's source, settings and switches; the dialog sets the rest, with
    // the whole file as the range and the source's folder as the target.
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

// One export run: asks once about existing files, then writes on a worker thread and reports
// the end in a message box. Deletes itself when done.
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
    void Done(const ExportResult& result);

    ExportRequest request_;
    QPointer<QWidget> window_;
    QProgressDialog* progress_ = nullptr;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
};

}  // namespace kavlo
