#pragma once
// The page's context menu (secondary click, Shift+F10, the Menu key).

#include <webkit2/webkit2.h>

namespace mivra {

// Keeps the menu's editing items (cut, copy, paste, select all, spelling) in
// order, with a separator only between two of them; everything WebKit adds
// for a browser (back, forward, stop, reload, links and media in new windows,
// downloads, the inspector) goes. Answers whether anything is left to show.
bool KeepEditingItems(WebKitContextMenu* menu);

// WebKit's menu is limited to its editing items, and none opens when none is left.
void LimitPageContextMenu(WebKitWebView* view);

}  // namespace mivra
