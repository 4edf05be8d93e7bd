// One part of the main window (playback, analysis, compare): it adds its menu items, tool bar
// parts and status fields, runs its commands, keeps its menu state and brings its rows of the
// window's key table. The window holds the modules and hands them each of these in turn.
#pragma once

#include "app/common/KeyTable.h"

#include <vector>

namespace kavlo {

class WindowModule {
public:
    // Adds the module's menu items (and tool bar parts, status fields) to the host's.
    virtual void AddMenuItems() = 0;
    // Runs one of the module's commands; false for any other identifier.
    virtual bool OnCommand(int id) = 0;
    // A key of the module's rows was pressed: runs its command (by default as its menu item
    // does); true when the key was consumed.
    virtual bool OnKey(int command) { return OnCommand(command); }
    // Enabled states and check marks of the module's menu items.
    virtual void UpdateMenuState() = 0;
    // The module's rows of the window's key table.
    virtual const std::vector<KeyRow>& KeyRows() const = 0;
    // The window's client area changed size by dx, dy: the module's controls follow it.
    virtual void MoveControls(int dx, int dy) {
        (void)dx;
        (void)dy;
    }
    // The status bar is being brought up to date: the module's fields follow.
    virtual void RefreshStatus() {}

protected:
    ~WindowModule() = default;
};

}  // namespace kavlo
