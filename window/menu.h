#pragma once
// The menu bar: four menus, ten items and a separator, built from this one table.

#include <optional>
#include <string>
#include <vector>

namespace mivra {

enum class MenuAction {
    Hide,
    Quit,
    OpenDialog,
    Undo,
    Cut,
    Copy,
    Paste,
    SelectAll,
    Refresh,
    ToggleFullScreen,
    // Keys alone, with no item.
    ZoomIn,
    ZoomOut,
    ZoomReset,
};

// A key named by what it is; the back end names it in its own terms.
enum class Key { F6, F10, F11, Plus, Equal, Minus, Zero, KeypadPlus, KeypadMinus, KeypadZero };

struct MenuItem {
    std::string menuTitle;  // empty for the application menu
    std::string itemTitle;
    MenuAction action;
    char key;              // the shortcut is Ctrl with this letter
    bool separatorBefore;  // a separator stands between this item and the one above
    // The window takes the shortcut before the page sees it. Every other
    // shortcut is offered to the page first and acts only when the page
    // leaves the key alone (no preventDefault). Actualiser is the window's:
    // a page whose web process died can hand no key back.
    bool windowFirst;
    // A second shortcut, a key alone without Ctrl: full screen also follows
    // the key other Linux programs use for it.
    std::optional<Key> plainKey = std::nullopt;
};

// The key that opens the menu from the keyboard, the desktop's own. The
// window takes it before the page, so that a keyboard alone always reaches
// the menu.
inline constexpr Key kMenuOpeningKey = Key::F10;
// The key that moves the keyboard focus between the page and the window
// buttons, as browsers move it between the page and their own bars.
inline constexpr Key kPaneSwitchingKey = Key::F6;

// The items in menu order, then item order.
const std::vector<MenuItem>& MenuTable();

// A shortcut with no menu item: Ctrl with the key, offered to the page
// first, as the editing keys are. Shift does not count, so that Ctrl+plus is
// the same wherever a layout puts "+".
struct ShortcutWithoutItem {
    Key key;
    MenuAction action;
};

// The page's zoom, on the main keyboard and on the keypad.
const std::vector<ShortcutWithoutItem>& ShortcutsWithoutItems();

}  // namespace mivra
