// The keys of the main window in one table: each row a key, the command it runs, whether the
// command's menu item names it, and the help window's line. Key handling, the menus (their
// labels after the tab and their shortcuts) and the help window all read the rows; each module
// of the window contributes its own. The view's own keys (view/KeyInput.h) stay the view's.
#pragma once

#include <QKeyCombination>
#include <QKeySequence>
#include <QList>
#include <QString>

#include <vector>

class QAction;
class QKeyEvent;
class QObject;

namespace kavlo {

// How a row's key is matched and where it shows.
enum KeyFlag : unsigned {
    // The command's menu item names the key after a tab ("Show &Y' Only\t7").
    kKeyInMenu = 1u << 0,
    // A shortcut of the command's menu action: it works while the menus are closed and the menu
    // item names it; the action's enabled state decides whether it runs.
    kKeyActionShortcut = 1u << 1,
    // A shortcut of the whole window, whatever widget of it has the focus (Ctrl+0); the menu
    // item names it after a tab.
    kKeyWindowShortcut = 1u << 2,
    // Matched with Shift held or not (the main keyboard's =/+ and -/_ keys).
    kKeyAnyShift = 1u << 3,
    // Matched whatever Alt and Meta are.
    kKeyAnyAlt = 1u << 4,
    // Matched whatever Ctrl, Shift, Alt and Meta are (the numeric pad's + and -).
    kKeyAnyModifier = 1u << 5,
    // A text field, a spin box or the menu bar with the focus keeps the key (it moves its cursor).
    kKeyNotInText = 1u << 6,
    // Without an open file the key is not the window's: it goes on to the view.
    kKeyNeedsFile = 1u << 7,
};

struct KeyRow {
    // The key with exactly these modifiers; KeypadModifier stands for the numeric pad's key. A
    // digit is the digit of the main keyboard's top row, whatever character the layout makes of
    // it (Shift+1 is the key of 1 with Shift).
    QKeyCombination key;
    // The command it runs (a Cmd, or a command of keys alone such as CmdTenFramesOn).
    int command;
    unsigned flags;
    // What the key does, in the help window; nullptr: on the line of the row before, whose text
    // then covers both keys ("Left, Right - previous, next frame").
    const char* help;
    // The platform's own keys for the command, set as shortcuts of its action as well.
    QKeySequence::StandardKey standard = QKeySequence::UnknownKey;
};

// The key a key press stands for in the rows: digits by the physical key, the numeric pad's
// keys with KeypadModifier.
QKeyCombination PressedKey(const QKeyEvent& event);
// Whether a press of `pressed` is the row's key.
bool KeyMatches(const KeyRow& row, QKeyCombination pressed);
// Whether one key press could match both rows.
bool KeysCollide(const KeyRow& a, const KeyRow& b);
// The row a key press runs, or nullptr. Rows of shortcuts are left out: their shortcuts run them.
const KeyRow* FindKeyRow(const std::vector<KeyRow>& rows, const QKeyEvent& event);

// How the menus and the help name a key: "Ctrl+Shift+O", "Right", "Keypad +".
QString KeyName(QKeyCombination key);
// The name of the first key of `command` in the rows; empty when it has none.
QString KeyNameOf(int command, const std::vector<KeyRow>& rows);
// A menu item's text: `label`, then a tab and the key that the rows show in the command's menu
// item, when there is one.
QString MenuText(const char* label, int command, const std::vector<KeyRow>& rows);
// The shortcuts of `command` in the rows (the platform's own keys included).
QList<QKeySequence> ShortcutsOf(int command, const std::vector<KeyRow>& rows);
// Gives every action below `root` whose data is a command of an action-shortcut row its
// shortcuts.
void ApplyShortcuts(QObject* root, const std::vector<KeyRow>& rows);
// The help window's lines of the rows, with "\r\n" line ends: the key names, one or two tabs
// (two for a name below 8 characters), "- " and the help text.
QString KeyHelpText(const std::vector<KeyRow>& rows);
// One line of the help in the same form.
QString KeyHelpLine(const QString& names, const QString& text);

}  // namespace kavlo
