#pragma once
// The one window: no system title bar, the web view filling the content, and
// over its top edge a strip with the window buttons and the handle area.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "toolkit.h"
#include "window_size.h"

namespace mivra {

struct MainWindow {
    GtkWindow* window;
    GtkWidget* content;     // holds every widget that takes keys: the page's keys come back through it
    GtkStack* pages;        // the web view, or the window's own failure in its place
    GtkWidget* handleArea;  // the strip's empty part, where the window is dragged
    GtkSpinner* working;    // hidden until the window has work in progress
};

// Lays the window out around the web view, no smaller than `minimum`; the
// window is not shown yet.
MainWindow BuildMainWindow(GtkApplication* application, const WindowDescription& description, WebKitWebView* web,
                           Size minimum);

}  // namespace mivra
