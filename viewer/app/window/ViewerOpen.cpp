// The main window's opening of files: by name, from the recent list with stored settings or
// through the settings dialog, and what follows an open (title, controls, recent entry).
#include "app/window/ViewerDlg.h"

#include "app/analysis/AnalysisTools.h"
#include "app/common/AppInfo.h"
#include "app/open/FileCheck.h"
#include "app/window/FrameNumberValidator.h"
#include "app/common/Platform.h"
#include "app/open/RawSettingsDlg.h"
#include "app/open/RawSettingsRules.h"
#include "app/open/OpenFileDialog.h"
#include "app/play/Playback.h"
#include "app/open/RecentFileList.h"
#include "view/file/LocalFileName.h"
#include "view/file/StoredSettings.h"
#include "TNDebug.h"
#include "view/picture/FieldRender.h"
#include "view/KeyInput.h"
#include "view/VideoBuffer.h"
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QLayout>
#include <QScreen>
#include <QShortcut>
#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

namespace {

// Message box text: the stored messages end their lines with \r.
QString ForMessageBox(QString text) { return text.replace(QLatin1Char('\r'), QLatin1Char('\n')); }

}  // namespace

void CTNViewerDlg::AfterOpen(const QString& path, const RawSettings& settings) {
    recent_->Add(path, kRawSettingsSize, &settings);
    // What the file is now, so that a later open can tell whether the record still fits it.
    recent_->SetIdentity(path, kavlo::IdentityOfFile(path));
    kavlo::AddToRecentDocuments(path);
    UpdateWindowState();
    FitWindowToVideo();
    // A frame larger than the screen opens fitted to the window (not under -play, which shows
    // every frame at 100% as it always did).
    if (!fitLargeFrames_) return;
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize room = s ? s->availableGeometry().size() * s->devicePixelRatio() : QSize();
    if (room.isValid() &&
        (view_->FrameWidth() > room.width() || view_->FrameHeight() > room.height())) {
        view_->ZoomToFit();
        UpdateWindowState();
    }
}

void CTNViewerDlg::ShowLoadError(const QString& path, const QString& reason) {
    QMessageBox::critical(this, kavlo::AppName(), ForMessageBox(LoadErrorText(path, reason)));
}

void CTNViewerDlg::OfferRemoval(int index, const QString& path, const QString& reason) {
    const auto answer = QMessageBox::critical(this, kavlo::AppName(),
                                              ForMessageBox(LoadErrorRemoveText(path, reason)),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) return;
    recent_->Remove(index);
    UpdateMenuState();
}

namespace {

// The open plan's reason as a sentence of its own.
QString Sentence(const std::string& reason) {
    QString text = QString::fromStdString(reason);
    if (text.isEmpty()) return text;
    text[0] = text[0].toUpper();
    if (!text.endsWith(QLatin1Char('.'))) text += QLatin1Char('.');
    return text;
}

}  // namespace

void CTNViewerDlg::FailOpen(const QString& path, int offerRemoval, const QString& reason) {
    view_->CloseFile();
    UpdateWindowState();
    if (offerRemoval >= 0)
        OfferRemoval(offerRemoval, path, reason);
    else
        ShowLoadError(path, reason);
}

void CTNViewerDlg::OpenPlanned(const QString& path, int index, int offerRemoval) {
    kavlo::StoredFile entry;
    const kavlo::StoredFile* stored = nullptr;
    if (index >= 0 && index < recent_->GetSize()) {
        const RecentFileEntry& e = (*recent_)[index];
        entry = {e.name, e.data, e.identity};
        stored = &entry;
    }
    const kavlo::OpenPlan plan = kavlo::PlanFileOpen(path, nullptr, stored, true, false);
    QString error;
    switch (plan.source) {
    case kavlo::OpenSource::Refuse: FailOpen(path, offerRemoval, Sentence(plan.reason)); return;
    case kavlo::OpenSource::Ask:
        // A file seen for the first time needs no explanation; stored settings asked for again
        // do.
        OpenWithDialog(path, offerRemoval, plan.settings,
                       stored && stored->HasSettings() ? Sentence(plan.reason) : QString());
        return;
    default: break;
    }
    // A YUV4MPEG2 header or settings stored that still fit the file: no dialog.
    RawSettings settings = plan.settings;
    if (view_->OpenFile(&settings, path, error, 0) != 0) {
        FailOpen(path, offerRemoval, kavlo::OpenFailureReason(path, error));
        return;
    }
    AfterOpen(path, settings);
    if (plan.source == kavlo::OpenSource::Y4m && !plan.reason.empty())
        statusBar_->showMessage(QString::fromStdString(plan.reason), 10000);
}

void CTNViewerDlg::OpenWithDialog(const QString& path, int offerRemoval, const RawSettings& start,
                                  const QString& reason) {
    QString error;
    CRawSettingsDlg dialog(this);
    dialog.SetOpenReason(reason);
    const int result = dialog.RunForFile(path, start, error, 0);
    if (result == CRawSettingsDlg::kResultCancel) return;
    bool opened = false;
    RawSettings settings = dialog.Settings();
    if (result == CRawSettingsDlg::kResultOk)
        opened = view_->OpenFile(&settings, path, error, 0) == 0;
    if (opened) {
        AfterOpen(path, settings);
        return;
    }
    // Also reached when the dialog could not be shown at all, so that the request never
    // ends without a word.
    const QString failure = kavlo::OpenFailureReason(path, error);
    if (offerRemoval >= 0) {
        FailOpen(path, offerRemoval, failure);
        return;
    }
    if (!view_->IsOpen()) UpdateWindowState();
    ShowLoadError(path, failure);
}

void CTNViewerDlg::OpenByName(const QString& name) {
    const QString path = kavlo::AbsoluteFileName(name);
    const int index = recent_->Find(path);
    // A failed open offers to drop the entry only when it held settings to open with.
    OpenPlanned(path, index, index >= 0 && recent_->HasSettings(index) ? index : -1);
}

void CTNViewerDlg::OpenRecent(int index) {
    if (index < 0 || index >= recent_->GetSize()) return;
    // An entry stored with a relative name opens while it leads to a file from here; it is
    // remembered by its absolute name from then on.
    OpenPlanned(kavlo::AbsoluteFileName((*recent_)[index].name), index, index);
}

void CTNViewerDlg::OnProperties() {
    if (!view_->IsOpen()) return;
    const QString path = view_->FileName();
    RawSettings copy = view_->Settings();
    QString error;
    CRawSettingsDlg dialog(this);
    const int result = dialog.RunForFile(path, copy, error, view_->CurrentPosition());
    if (result == CRawSettingsDlg::kResultCancel) return;
    if (result != CRawSettingsDlg::kResultOk) {
        // The file went away or shrank since it was opened: the dialog could not show it.
        ShowLoadError(path, kavlo::OpenFailureReason(path, error));
        return;
    }
    RawSettings settings = dialog.Settings();
    if (view_->OpenFile(&settings, path, error, dialog.ResultFrame()) != 0) {
        UpdateWindowState();
        ShowLoadError(path, kavlo::OpenFailureReason(path, error));
        return;
    }
    recent_->Update(path, kRawSettingsSize, &settings);
    recent_->SetIdentity(path, kavlo::IdentityOfFile(path));
    UpdateWindowState();
    FitWindowToVideo();
}

void CTNViewerDlg::OnOpenCommand() {
    CLosslessFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(
        {QStringLiteral(
             "RAW Video Files (*.raw *.bin *.dat *.yuv* *.rgb *.420 *.422 *.yv12 *.yv16 *.y4m)"),
         QStringLiteral("All Files (*)")});
    if (view_->IsOpen()) dialog.selectFile(view_->FileName());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        OpenByName(dialog.ChosenFile());
        return;
    }
    menuBar_->update();
}

// ---- Frame slider and frame field ----------------------------------------------------------
