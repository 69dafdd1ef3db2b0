#pragma once
// The handle over the top strip: press and drag moves the window, a double-click
// zooms or minimises it, a secondary click opens the application's menu.

#include <gtk/gtk.h>

namespace mivra {

void AttachHandleGesture(GtkWidget* handle);

}  // namespace mivra
