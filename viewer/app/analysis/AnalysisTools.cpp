#include "app/analysis/AnalysisTools.h"

#include "app/common/Commands.h"
#include "app/analysis/ExportFramesDlg.h"
#include "app/analysis/HistogramDock.h"
#include "view/picture/FrameImage.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>

#include <algorithm>

namespace kavlo {

const std::vector<KeyRow>& AnalysisTools::Keys() {
    static const std::vector<KeyRow> rows = {
        {Qt::CTRL | Qt::Key_S, CmdSaveFrameAs, kKeyActionShortcut,
         "save the frame as shown as an image"},
        {Qt::CTRL | Qt::Key_C, CmdCopyFrame, kKeyActionShortcut, "copy the frame as shown"},
        {Qt::CTRL | Qt::Key_E, CmdExportFrames, kKeyActionShortcut,
         "export frames (images or raw)"},
        {Qt::Key_X, CmdHexValues, kKeyInMenu, "source values in hexadecimal or decimal"},
        {Qt::Key_H, CmdHistogram, kKeyInMenu, "histogram and waveform, beside the picture"},
        {Qt::SHIFT | Qt::Key_H, CmdHistogramWindow, kKeyInMenu,
         "histogram docked or a window of its own"},
    };
    return rows;
}

AnalysisTools::AnalysisTools(WindowHost& host)
    : QObject(host.HostWidget()), host_(host), window_(host.HostWidget()), view_(host.View()) {
    // The histogram panel lives beside the view, which the window lays out; floated, it is a
    // window of its own.
    histogram_ = new HistogramDock(view_, view_->parentWidget() ? view_->parentWidget() : window_);
    histogram_->hide();
    // The histogram's keys (H and Shift+H) work from within the floating window as well.
    for (const KeyRow& row : Keys()) {
        if (row.command != CmdHistogram && row.command != CmdHistogramWindow) continue;
        auto* shortcut = new QShortcut(QKeySequence(row.key), histogram_);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        const int command = row.command;
        connect(shortcut, &QShortcut::activated, this, [this, command] { OnCommand(command); });
    }
}

void AnalysisTools::AddMenuItems() {
    QMenuBar* menuBar = host_.MenuBar();
    QMenu* fileMenu = host_.FileMenu();
    QMenu* viewMenu = host_.ViewMenu();
    // Each action belongs to its menu, where the window's look-up of actions by command finds
    // it; the key table gives the labels their keys and the actions their shortcuts.
    auto make = [](QMenu* menu, int id, const char* text, bool checkable) {
        auto* a = new QAction(MenuText(text, id, Keys()), menu);
        a->setData(id);
        a->setCheckable(checkable);
        return a;
    };
    // File: after Close, before the recent files.
    save_ = make(fileMenu, CmdSaveFrameAs, "&Save Frame As...", false);
    export_ = make(fileMenu, CmdExportFrames, "Export F&rames...", false);
    QAction* before = nullptr;
    for (QAction* a : fileMenu->actions()) {
        if (a->isSeparator()) {
            before = a;
            break;
        }
    }
    fileMenu->insertActions(before, {save_, export_});

    // Edit, before View.
    auto* edit = new QMenu(QStringLiteral("&Edit"), menuBar);
    copy_ = make(edit, CmdCopyFrame, "&Copy", false);
    edit->addAction(copy_);
    menuBar->insertMenu(viewMenu->menuAction(), edit);

    // View: the values and the histogram at the end. X and H are keys of the window, named in
    // the items' texts as the other view keys are.
    hex_ = make(viewMenu, CmdHexValues, "He&xadecimal Values", true);
    showValues_ = make(viewMenu, CmdShowValues, "Show Values When &Zoomed", true);
    histogramAction_ = make(viewMenu, CmdHistogram, "&Histogram", true);
    histogramWindow_ = make(viewMenu, CmdHistogramWindow, "Histogram as a &Window", true);
    viewMenu->addSeparator();
    viewMenu->addActions({hex_, showValues_, histogramAction_, histogramWindow_});
    // The window's own actions, so that the shortcuts work while the menus are closed.
    window_->addActions({save_, export_, copy_});
    connect(histogram_, &QDockWidget::visibilityChanged, this, [this] { UpdateMenuState(); });
    connect(histogram_, &QDockWidget::topLevelChanged, this, [this] { UpdateMenuState(); });
}

bool AnalysisTools::OnCommand(int id) {
    switch (id) {
    case CmdSaveFrameAs: SaveFrameAs(); return true;
    case CmdCopyFrame: CopyFrame(); return true;
    case CmdExportFrames: ExportFramesCommand(); return true;
    case CmdHexValues: view_->SetHexValues(!view_->HexValues()); break;
    case CmdShowValues: view_->SetShowValuesWhenZoomed(!view_->ShowValuesWhenZoomed()); break;
    case CmdHistogram: ToggleHistogram(); break;
    case CmdHistogramWindow: ToggleHistogramWindow(); break;
    default: return false;
    }
    UpdateMenuState();
    return true;
}

void AnalysisTools::UpdateMenuState() {
    if (!save_) return;
    const bool open = view_->IsOpen();
    save_->setEnabled(open && view_->Bitmap());
    copy_->setEnabled(open && view_->Bitmap());
    export_->setEnabled(open);
    // The value switches and the histogram work with no file too (they apply to the next).
    hex_->setEnabled(true);
    showValues_->setEnabled(true);
    histogramAction_->setEnabled(true);
    hex_->setChecked(view_->HexValues());
    showValues_->setChecked(view_->ShowValuesWhenZoomed());
    histogramAction_->setChecked(histogram_->isVisible());
    histogramWindow_->setEnabled(true);
    histogramWindow_->setChecked(histogram_->isFloating());
    histogram_->Refresh();
}

bool AnalysisTools::SaveFrame(const QString& path, QString& error) const {
    const DisplayBitmap* bitmap = view_->Bitmap();
    if (!view_->IsOpen() || !bitmap) {
        error = QStringLiteral("there is no frame to save");
        return false;
    }
    return WriteImageFile(DisplayBitmapImage(*bitmap), path, error);
}

bool AnalysisTools::CopyFrame() const {
    const DisplayBitmap* bitmap = view_->Bitmap();
    if (!view_->IsOpen() || !bitmap) return false;
    const QImage image = DisplayBitmapImage(*bitmap);
    if (image.isNull()) return false;
    QApplication::clipboard()->setImage(image);
    return true;
}

ExportRequest AnalysisTools::BaseExportRequest() const {
    ExportRequest request;
    request.sourcePath = view_->FileName();
    request.settings = view_->Settings();
    request.switches = view_->Switches();
    request.folder = LastOutputFolder();
    return request;
}

QString AnalysisTools::LastSaveFolder() const { return LastOutputFolder(); }

void AnalysisTools::SaveFrameAs() {
    if (!view_->IsOpen()) return;
    const QFileInfo source(view_->FileName());
    const QString last = LastOutputFolder();
    const QString folder = last.isEmpty() ? source.absolutePath() : last;
    const int64_t frame = std::max<int64_t>(view_->CurrentPosition(), 0);
    const QString suggested = QStringLiteral("%1/%2_%3.png")
                                  .arg(folder, source.completeBaseName())
                                  .arg(static_cast<qlonglong>(frame), 5, 10, QLatin1Char('0'));
    QString path = QFileDialog::getSaveFileName(window_, QStringLiteral("Save Frame As"), suggested,
                                                ImageSaveFilter());
    if (path.isEmpty()) return;
    QString error;
    if (!SaveFrame(path, error)) {
        QMessageBox::warning(window_, QStringLiteral("Save Frame As"), error);
        return;
    }
    const QFileInfo written(path);
    SetLastOutputFolder(written.absolutePath());
    ShowOutputMessage(window_, QStringLiteral("Frame %1 written to %2")
                                   .arg(frame)
                                   .arg(QDir::toNativeSeparators(written.absoluteFilePath())));
}

void AnalysisTools::ExportFramesCommand() {
    if (!view_->IsOpen()) return;
    if (ExportJob::Running()) {
        QMessageBox::information(window_, QStringLiteral("Export Frames"),
                                 QStringLiteral("An export is running already."));
        return;
    }
    ExportFramesDlg dialog(BaseExportRequest(), view_->FrameCount(), window_);
    if (dialog.exec() != QDialog::Accepted) return;
    ExportRequest request;
    QString error;
    if (!dialog.BuildRequest(request, error)) return;
    ExportJob::Start(request, window_);
}

void AnalysisTools::ToggleHistogram() {
    if (!histogram_->isVisible() && histogram_->isFloating()) PlaceHistogramWindow();
    histogram_->setVisible(!histogram_->isVisible());
}

void AnalysisTools::ToggleHistogramWindow() {
    const bool floating = !histogram_->isFloating();
    histogram_->setFloating(floating);
    if (floating) {
        PlaceHistogramWindow();
        histogram_->resize(histogram_->width(), std::max(histogram_->height(), 300));
    }
    // Either way the panel is shown: the command asks to see it docked or as a window.
    histogram_->show();
    if (floating) histogram_->raise();
}

void AnalysisTools::PlaceHistogramWindow() {
    if (histogramPlaced_) return;
    // The first time beside the main window, so that it covers none of the picture.
    histogramPlaced_ = true;
    histogram_->move(window_->frameGeometry().topRight() + QPoint(8, 0));
}

}  // namespace kavlo
