// The viewer's main window: the video view, a frame slider and a frame number field under a
// menu bar and above a status bar, with the keyboard table, dropped files and the window title
// that carries the probe.
#pragma once

#include "app/common/Commands.h"
#include "app/common/KeyTable.h"
#include "app/common/WindowHost.h"
#include "settings/ColourChoice.h"
#include "settings/OpenPlan.h"
#include "settings/RawSettings.h"

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class CMyRecentFileList;
namespace kavlo {
class AnalysisTools;
class CompareTools;
class PlayControls;
class WindowModule;
}  // namespace kavlo
class CPlayback;
class CVideoBuffer;
class FrameNumberValidator;
class QAction;
class QDockWidget;
class QLineEdit;
class QMenu;
class QMenuBar;
class QLabel;
class QSlider;
class QStatusBar;

class CTNViewerDlg : public QDialog, public kavlo::WindowHost {
    Q_OBJECT
public:
    static constexpr int kIdSlider = 1003;
    static constexpr int kIdFrameField = 1004;
    static constexpr int kIdView = 1007;
    static constexpr int kIdLicense = 1037;  // the licence text of the About box
    static constexpr int kInitialWidth = 800;
    static constexpr int kInitialHeight = 600;
    static constexpr int kMinWidth = 400;
    static constexpr int kMinHeight = 300;

    explicit CTNViewerDlg(QWidget* parent = nullptr);
    ~CTNViewerDlg() override;

    // Opens a file with the settings stored for it, or else asks for them; the name is made
    // absolute first. Failures are reported with the file's name and the reason.
    void OpenByName(const QString& path);
    void OpenRecent(int index);
    void UpdateTitle(CVideoBuffer* view, const QString& status);
    // Title, frame slider and field, and menus, all from the view's present state.
    void UpdateWindowState() override;
    void UpdateFrameControls() override;
    // The status bar: "Frame n / N" (n as in the frame field), zoom, layout and frame size, probe.
    void UpdateStatusBar() override;
    // Shows frame `frame` clamped into the file, with slider, field and status bar following.
    void GoToFrame(int64_t frame) override;
    void UpdateMenuState() override;
    // The check marks of the View menu, from the view's display switches.
    void UpdateCheckMarks();
    void FitWindowToVideo();
    // The command line's play-through and its frame loop (kavlo::PlayControls).
    QString PlayThrough(double fps = 0.0);
    int64_t PlayFrames(int64_t first, int64_t end, QString* error = nullptr);
    // Runs a menu command by its identifier, as the menus, keys and accelerator do.
    void OnCommand(int id) override;
    // The window's key table: its own rows, then those of playback, analysis and compare. Menus,
    // key handling and the help window all read it.
    static const std::vector<kavlo::KeyRow>& KeyTable();
    // The window's own rows of the key table (the view commands, zoom, files, Ctrl+G, Esc, F1).
    static const std::vector<kavlo::KeyRow>& OwnKeys();

    // The follow-up of every successful open: title, recent list, controls, size, menus.
    void AfterOpen(const QString& path, const RawSettings& settings);
    // Whether AfterOpen fits a frame larger than the screen to the window (on by default).
    void SetFitLargeFrames(bool on) { fitLargeFrames_ = on; }
    // Sizes the window and sets title, controls and menus; runs once, before the first show.
    void OnInitDialog();

    QWidget* HostWidget() override { return this; }
    QWidget* ClientArea() const override { return client_; }
    CVideoBuffer* View() const override { return view_; }
    CMyRecentFileList* RecentFiles() const override { return recent_.get(); }
    kavlo::AnalysisTools* Analysis() const { return analysis_; }
    kavlo::CompareTools* Compare() const { return compare_; }
    kavlo::PlayControls* Play() const { return play_; }
    QSlider* FrameSlider() const override { return slider_; }
    QLineEdit* FrameField() const override { return frameField_; }
    QMenuBar* MenuBar() const override { return menuBar_; }
    QMenu* FileMenu() const override { return fileMenu_; }
    QMenu* ViewMenu() const override { return viewMenu_; }
    QStatusBar* StatusBar() const override { return statusBar_; }
    void AddSidePanel(QDockWidget* panel, int dockedWidth) override;
    // The texts of the status bar's fields.
    QString StatusFrameText() const;
    QString StatusZoomText() const;
    QString StatusFormatText() const;
    QString StatusProbeText() const;
    // The modes that change the picture, in words ("Cb' only, fields split"); empty when none.
    QString StatusModesText() const;
    // The time code (hh:mm:ss.mmm at the playback rate) and playback fields.
    QString StatusTimeText() const;
    QString StatusPlayText() const;
    static QString TimeCode(int64_t frame, double rate);
    CPlayback* Playback() const;
    QLineEdit* RateField() const;
    QMenu* RecentMenu() const { return recentMenu_; }
    QAction* Action(int id) const override;
    int64_t FrameCountCopy() const { return frameCount_; }
    bool Minimized() const { return minimized_; }
    static bool CtrlDown();

    // The texts of the string table.
    static QString OpenFilter();
    static QString LoadErrorText();
    static QString LoadErrorRemoveText();
    // The same texts naming the file and the reason it did not load.
    static QString LoadErrorText(const QString& path, const QString& reason);
    static QString LoadErrorRemoveText(const QString& path, const QString& reason);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static void StatusCallback(void* context, CVideoBuffer* view, const QString& text);
    void BuildMenus();
    void LayoutControls(QSize client);
    // Gives the side panels that are shown and docked a strip at the right of the view, side by
    // side in the order they were added, each at its docked width and as tall as the view; the
    // view gets its width back when none is. Widens the window by the strip's growth where the
    // screen has room, so that the picture keeps its size, and gives that width back as the
    // strip narrows.
    void ArrangeSidePanels();
    bool PreTranslateMessage(QObject* target, QEvent* event);
    bool HandleFrameFieldKey(QKeyEvent* event);
    // A text field of the window other than the frame field (the rate field, the compare
    // offset): it keeps every key it uses; Return and Escape give the keys back to the picture.
    bool TextFieldHasFocus() const;
    bool HandleTextFieldKey(QKeyEvent* event);
    // A key of the key table: runs its command; true when consumed.
    bool HandleWindowKey(QKeyEvent* event);
    int StatusBarHeight() const;
    QString ModesText() const;
    // The probe's row above the status bar at a window width, and the rows' places; returns
    // the client area left between menu bar and probe row.
    int ProbeRowHeight(int width) const;
    QSize LayoutRows();
    void OnSliderMoved(int position);
    void OnFrameFieldFocusLost();
    void OnOpenCommand();
    void OnProperties();
    void ShowAbout();
    void ShowKeys();
    // Opens `path` as the open plan says, with recent entry `index` (-1: none) as what is
    // stored for it; on failure shows the load error, or the removal offer for recent entry
    // `offerRemoval` (-1 for none).
    void OpenPlanned(const QString& path, int index, int offerRemoval);
    // Asks the settings dialog, starting from `start` (all zero: the dialog's guess) with
    // `reason` in its note, and opens.
    void OpenWithDialog(const QString& path, int offerRemoval, const RawSettings& start,
                        const QString& reason);
    // Closes the view and shows the reason (or offers the removal of entry `offerRemoval`).
    void FailOpen(const QString& path, int offerRemoval, const QString& reason);
    void OfferRemoval(int index, const QString& path, const QString& reason);
    void ShowLoadError(const QString& path, const QString& reason);
    // Sets the open file's colour matrix and range and remembers them with its recent entry.
    void SetColour(kavlo::MatrixChoice matrix, bool fullRange);

    CVideoBuffer* view_ = nullptr;
    QSlider* slider_ = nullptr;
    QLineEdit* frameField_ = nullptr;
    FrameNumberValidator* frameValidator_ = nullptr;
    QWidget* client_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* statusFrame_ = nullptr;
    QLabel* statusZoom_ = nullptr;
    QLabel* statusFormat_ = nullptr;
    QLabel* statusProbe_ = nullptr;
    QLabel* statusModes_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    std::unique_ptr<CMyRecentFileList> recent_;
    kavlo::AnalysisTools* analysis_ = nullptr;
    struct SidePanel {
        QPointer<QDockWidget> panel;
        int dockedWidth;
    };
    std::vector<SidePanel> sidePanels_;  // in the order they were added, left to right docked
    int sidePanelStrip_ = 0;             // width taken from the view for the docked side panels
    QPoint sidePanelGrowth_;  // how much the window widened (x) and moved left (y) for them
    kavlo::CompareTools* compare_ = nullptr;
    kavlo::PlayControls* play_ = nullptr;
    // The modules in the order they get their turn: playback, analysis, compare.
    std::vector<kavlo::WindowModule*> modules_;
    int64_t frameCount_ = 999;
    QRect clientRect_;
    bool minimized_ = false;
    bool initialised_ = false;
    bool filterInstalled_ = false;
    bool updatingControls_ = false;
    bool fitLargeFrames_ = true;
};
