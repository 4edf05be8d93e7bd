// The main window's analysis commands: File > Save Frame As and Export Frames, Edit > Copy, and
// in the View menu the source values in hexadecimal, the values drawn on zoomed pixels and the
// histogram panel (beside the picture, or a window of its own). The window hands its menus,
// commands and keys here.
#pragma once

#include "app/analysis/FrameExport.h"

#include <QObject>
#include <QString>

class CVideoBuffer;
class QAction;
class QKeyEvent;
class QMenu;
class QMenuBar;
class QWidget;

namespace kavlo {

class HistogramDock;

class AnalysisTools : public QObject {
    Q_OBJECT
public:
    AnalysisTools(QWidget* window, CVideoBuffer* view);
    // Adds the items to the File and View menus and an Edit menu before the View menu.
    void AddMenuItems(QMenuBar* menuBar, QMenu* fileMenu, QMenu* viewMenu);
    // Runs one of the analysis commands; false for any other identifier.
    bool OnCommand(int id);
    // X (hexadecimal values) and H (histogram) without modifiers; true when the key was one.
    bool HandleKey(QKeyEvent* event);
    // Enabled states and check marks, from the view.
    void UpdateMenuState();

    // What the commands do, without asking for a file name.
    bool SaveFrame(const QString& path, QString& error) const;
    bool CopyFrame() const;
    // The export request of the open file with the view's switches, and the folder last written
    // to (LastOutputFolder(), empty when none); range and file name unset.
    ExportRequest BaseExportRequest() const;
    HistogramDock* Histogram() const { return histogram_; }
    // The folder Save Frame As or Export Frames last wrote to (the file dialogs start there),
    // kept in the per-user store.
    QString LastSaveFolder() const;

private:
    void SaveFrameAs();
    void ExportFramesCommand();
    void ToggleHistogram();
    void ToggleHistogramWindow();
    void PlaceHistogramWindow();

    QWidget* window_;
    CVideoBuffer* view_;
    HistogramDock* histogram_ = nullptr;
    QAction* save_ = nullptr;
    QAction* copy_ = nullptr;
    QAction* export_ = nullptr;
    QAction* hex_ = nullptr;
    QAction* showValues_ = nullptr;
    QAction* histogramAction_ = nullptr;
    QAction* histogramWindow_ = nullptr;
    bool histogramPlaced_ = false;
};

}  // namespace kavlo
