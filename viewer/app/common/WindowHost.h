// What the main window offers the modules that make it up (playback, analysis, compare): its
// menus, status bar and view, the strip of side panels beside the view, its command dispatch
// and the updates that follow a change. The modules reach the window through this and nothing
// else.
#pragma once

#include <cstdint>

class CMyRecentFileList;
class CVideoBuffer;
class QAction;
class QDockWidget;
class QLineEdit;
class QMenu;
class QMenuBar;
class QSlider;
class QStatusBar;
class QWidget;

namespace kavlo {

class WindowHost {
public:
    // The window itself: parent of the modules' dialogs, message boxes and shortcuts.
    virtual QWidget* HostWidget() = 0;
    // The area under the menu bar that holds the view, the frame slider and the frame field.
    virtual QWidget* ClientArea() const = 0;
    virtual CVideoBuffer* View() const = 0;
    virtual QMenuBar* MenuBar() const = 0;
    virtual QMenu* FileMenu() const = 0;
    virtual QMenu* ViewMenu() const = 0;
    virtual QStatusBar* StatusBar() const = 0;
    virtual QSlider* FrameSlider() const = 0;
    virtual QLineEdit* FrameField() const = 0;
    virtual CMyRecentFileList* RecentFiles() const = 0;
    // The menu item of a command (none for a popup), or nullptr.
    virtual QAction* Action(int id) const = 0;
    // Runs a command as the menus, keys and tool bar do.
    virtual void OnCommand(int id) = 0;
    virtual void UpdateMenuState() = 0;
    virtual void UpdateStatusBar() = 0;
    virtual void UpdateFrameControls() = 0;
    // Title, frame controls and menus, all from the view's present state.
    virtual void UpdateWindowState() = 0;
    // Takes `panel` (a child of ClientArea(), hidden until its module shows it) into the strip
    // at the right of the view: while it is shown and not a window of its own it sits there,
    // `dockedWidth` wide and as tall as the view, the docked panels side by side in the order
    // they were added.
    // A panel that closes gives the keys back to the picture.
    virtual void AddSidePanel(QDockWidget* panel, int dockedWidth) = 0;
    // Shows frame `frame` clamped into the file, with slider, field and status bar following.
    virtual void GoToFrame(int64_t frame) = 0;

protected:
    ~WindowHost() = default;
};

}  // namespace kavlo
