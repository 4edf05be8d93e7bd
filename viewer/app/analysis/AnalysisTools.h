// The main window's analysis commands: File > Save Frame As and Export Frames, Edit > Copy, and
// in the View menu the source values in hexadecimal, the values drawn on zoomed pixels and the
// panels of the analysis views (AnalysisViews(): beside the picture, or windows of their own).
// A module of the main window: it reaches the window through its host interface.
#pragma once

#include "app/analysis/FrameExport.h"
#include "app/common/WindowHost.h"
#include "app/common/WindowModule.h"

#include <QObject>
#include <QString>

#include <vector>

class CVideoBuffer;
class QAction;
class QMenu;
class QWidget;

namespace kavlo {

class AnalysisDock;
struct AnalysisView;
class HistogramDock;

class AnalysisTools : public QObject, public WindowModule {
    Q_OBJECT
public:
    explicit AnalysisTools(WindowHost& host);
    // The module's rows of the key table: Ctrl+S, Ctrl+C, Ctrl+E, X, then the analysis views'
    // rows (the histogram's H and Shift+H), which work within the views' panels as well.
    static const std::vector<KeyRow>& Keys();
    // Adds the items to the File and View menus and an Edit menu before the View menu.
    void AddMenuItems() override;
    // Runs one of the analysis commands; false for any other identifier.
    bool OnCommand(int id) override;
    // Enabled states and check marks, from the view.
    void UpdateMenuState() override;
    const std::vector<KeyRow>& KeyRows() const override { return Keys(); }

    // What the commands do, without asking for a file name.
    bool SaveFrame(const QString& path, QString& error) const;
    bool CopyFrame() const;
    // The export request of the open file with the view's switches, and the folder last written
    // to (LastOutputFolder(), empty when none); range and file name unset.
    ExportRequest BaseExportRequest() const;
    // The panel of the view whose show command is `showCommand`, or nullptr.
    AnalysisDock* Panel(int showCommand) const;
    HistogramDock* Histogram() const;
    // The folder Save Frame As or Export Frames last wrote to (the file dialogs start there),
    // kept in the per-user store.
    QString LastSaveFolder() const;

private:
    void SaveFrameAs();
    void ExportFramesCommand();
    // A view's panel and its two menu items.
    struct ViewPanel {
        const AnalysisView* view;
        AnalysisDock* dock;
        QAction* show = nullptr;
        QAction* window = nullptr;
        bool placed = false;  // has been a window of its own, placed beside the main window
    };
    void TogglePanel(ViewPanel& panel);
    void TogglePanelWindow(ViewPanel& panel);
    void PlacePanelWindow(ViewPanel& panel);

    WindowHost& host_;
    QWidget* window_;
    CVideoBuffer* view_;
    std::vector<ViewPanel> panels_;  // one per analysis view, in the list's order
    QAction* save_ = nullptr;
    QAction* copy_ = nullptr;
    QAction* export_ = nullptr;
    QAction* hex_ = nullptr;
    QAction* showValues_ = nullptr;
};

}  // namespace kavlo
