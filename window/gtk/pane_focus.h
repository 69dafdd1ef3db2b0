#pragma once
// The keyboard reaches the window buttons: they take the focus, the pane key
// moves it between them and the page, and Tab goes on from them straight to
// the page's first control.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace mivra {

// Called once the window holds the page and the header bar of its buttons.
void AttachPaneFocus(GtkWindow* window, WebKitWebView* page, GtkHeaderBar* buttons);

}  // namespace mivra
