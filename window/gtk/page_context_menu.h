#pragma once
// The page's context menu (secondary click, Shift+F10, the Menu key).

#include <webkit2/webkit2.h>

namespace mivra {

// WebKit's menu is limited to its editing items, and none opens when none is left.
void LimitPageContextMenu(WebKitWebView* view);

}  // namespace mivra
