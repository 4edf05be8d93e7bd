#include "app/analysis/AnalysisTools.h"

#include "app/common/Commands.h"
#include "app/analysis/AnalysisViews.h"
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
    static const std::vector<KeyRow> rows = [] {
        std::vector<KeyRow> all = {
            {Qt::CTRL | Qt::Key_S, CmdSaveFrameAs, kKeyActionShortcut,
             "save the frame as shown as an image"},
            {Qt::CTRL | Qt::Key_C, CmdCopyFrame, kKeyActionShortcut, "copy the frame as shown"},
            {Qt::CTRL | Qt::Key_E, CmdExportFrames, kKeyActionShortcut,
             "export frames (images or raw)"},
            {Qt::Key_X, CmdHexValues, kKeyInMenu, "source values in hexadecimal or decimal"},
        };
        for (const AnalysisView& view : AnalysisViews())
            all.insert(all.end(), view.keys.begin(), view.keys.end());
        return all;
    }();
    return rows;
}

AnalysisTools::AnalysisTools(WindowHost& host)
    : QObject(host.HostWidget()), host_(host), window_(host.HostWidget()), view_(host.View()) {
    // The views' panels live beside the view, in the strip the window lays out; floated, each
    // is a window of its own.
    QWidget* parent = host.ClientArea() ? host.ClientArea() : window_;
    for (const AnalysisView& view : AnalysisViews()) {
        AnalysisDock* dock = view.makeDock(view_, parent);
        dock->hide();
        // The views' keys work from within each panel as well, floating or docked.
        for (const AnalysisView& other : AnalysisViews()) {
            for (const KeyRow& row : other.keys) {
                auto* shortcut = new QShortcut(QKeySequence(row.key), dock);
                shortcut->setContext(Qt::WidgetWithChildrenShortcut);
                const int command = row.command;
                connect(shortcut, &QShortcut::activated, this,
                        [this, command] { OnCommand(command); });
            }
        }
        panels_.push_back(ViewPanel{&view, dock});
    }
}

AnalysisDock* AnalysisTools::Panel(int showCommand) const {
    for (const ViewPanel& panel : panels_)
        if (panel.view->showCommand == showCommand) return panel.dock;
    return nullptr;
}

HistogramDock* AnalysisTools::Histogram() const {
    return qobject_cast<HistogramDock*>(Panel(CmdHistogram));
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

    // View: the values, then each analysis view's two items, at the end. X and H are keys of
    // the window, named in the items' texts as the other view keys are.
    hex_ = make(viewMenu, CmdHexValues, "He&xadecimal Values", true);
    showValues_ = make(viewMenu, CmdShowValues, "Show Values When &Zoomed", true);
    for (ViewPanel& panel : panels_) {
        panel.show = make(viewMenu, panel.view->showCommand, panel.view->showLabel, true);
        panel.window = make(viewMenu, panel.view->windowCommand, panel.view->windowLabel, true);
    }
    viewMenu->addSeparator();
    viewMenu->addActions({hex_, showValues_});
    for (const ViewPanel& panel : panels_) viewMenu->addActions({panel.show, panel.window});
    // The window's own actions, so that the shortcuts work while the menus are closed.
    window_->addActions({save_, export_, copy_});
    for (const ViewPanel& panel : panels_) {
        connect(panel.dock, &QDockWidget::visibilityChanged, this, [this] { UpdateMenuState(); });
        connect(panel.dock, &QDockWidget::topLevelChanged, this, [this] { UpdateMenuState(); });
        // Docked, the panel takes its place in the window's strip beside the picture.
        host_.AddSidePanel(panel.dock, panel.view->dockedWidth);
    }
}

bool AnalysisTools::OnCommand(int id) {
    for (ViewPanel& panel : panels_) {
        if (id != panel.view->showCommand && id != panel.view->windowCommand) continue;
        if (id == panel.view->showCommand)
            TogglePanel(panel);
        else
            TogglePanelWindow(panel);
        UpdateMenuState();
        return true;
    }
    switch (id) {
    case CmdSaveFrameAs: SaveFrameAs(); return true;
    case CmdCopyFrame: CopyFrame(); return true;
    case CmdExportFrames: ExportFramesCommand(); return true;
    case CmdHexValues: view_->SetHexValues(!view_->HexValues()); break;
    case CmdShowValues: view_->SetShowValuesWhenZoomed(!view_->ShowValuesWhenZoomed()); break;
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
    // The value switches and the views' panels work with no file too (they apply to the next).
    hex_->setEnabled(true);
    showValues_->setEnabled(true);
    hex_->setChecked(view_->HexValues());
    showValues_->setChecked(view_->ShowValuesWhenZoomed());
    for (const ViewPanel& panel : panels_) {
        panel.show->setEnabled(true);
        panel.show->setChecked(panel.dock->isVisible());
        panel.window->setEnabled(true);
        panel.window->setChecked(panel.dock->isFloating());
        panel.dock->Refresh();
    }
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

void AnalysisTools::TogglePanel(ViewPanel& panel) {
    AnalysisDock* dock = panel.dock;
    if (!dock->isVisible() && dock->isFloating()) PlacePanelWindow(panel);
    dock->setVisible(!dock->isVisible());
}

void AnalysisTools::TogglePanelWindow(ViewPanel& panel) {
    AnalysisDock* dock = panel.dock;
    const bool floating = !dock->isFloating();
    dock->setFloating(floating);
    if (floating) {
        PlacePanelWindow(panel);
        dock->resize(dock->width(), std::max(dock->height(), 300));
    }
    // Either way the panel is shown: the command asks to see it docked or as a window.
    dock->show();
    if (floating) dock->raise();
}

void AnalysisTools::PlacePanelWindow(ViewPanel& panel) {
    if (panel.placed) return;
    // The first time beside the main window, so that it covers none of the picture; the views'
    // windows one step apart in the list's order, so that none hides another's title.
    panel.placed = true;
    const int step = static_cast<int>(&panel - panels_.data()) * 24;
    panel.dock->move(window_->frameGeometry().topRight() + QPoint(8 + step, step));
}

}  // namespace kavlo
