#pragma once
// The keyboard reaches the window buttons: they take the focus, the pane key
// moves it between them and the page, and Tab goes on from them straight to
// the page's first control.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace mivra {

// Called once the window holds its pages (the web view or the window's own
// failure, whichever shows) and the header bar of its buttons.
void AttachPaneFocus(GtkWindow* window, GtkStack* pages, GtkHeaderBar* buttons);

// Tab into each web view that the pages hold.
void FollowPageFocus(WebKitWebView* page);

}  // namespace mivra
