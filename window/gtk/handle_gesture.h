#pragma once
// The handle over the top strip: press and drag moves the window, a double-click
// zooms or minimises it, a secondary click opens the application's menu, and
// so does the menu key, for keyboard users.

#include <gtk/gtk.h>

namespace mivra {

// Called once the handle lies in its window, which gains the menu key.
void AttachHandleGesture(GtkWidget* handle);

}  // namespace mivra
