#pragma once
// What the user does to the window by hand rather than through the page:
// dragging and zooming it by the handle, its menu, dropping files on the web
// view, the page's own dialogs (file inputs, alerts) and its context menu.

#include <memory>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "drop.h"
#include "page_dialogs.h"

namespace mivra {

// Called once while the window is built, after the web view and the handle
// area exist and before the window is shown.
void AttachDirectManipulation(WebKitWebView* web, GtkWidget* handleArea, ScriptSender sendScript,
                              std::weak_ptr<DropTarget> dropTarget, PageDialogEvents dialogs);

}  // namespace mivra
