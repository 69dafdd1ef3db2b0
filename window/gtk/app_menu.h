#pragma once
// The menu table as the application's menu model, actions and accelerators.
// The model is the application's menubar; the window does not draw it over
// the page, it is reached from the handle instead: a secondary click there
// opens it, and so does the menu key, for keyboard users.

#include <functional>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "menu.h"

namespace mivra {

// GTK's name of a key.
std::string KeyName(Key key);

// Actions and shortcuts of the table on the application: an item marked
// windowFirst takes its key before the page, every other item only when the
// page leaves its keydown alone, as the key comes back through `pageKeys`, an
// ancestor of the web view; F11 also toggles full screen, and the shortcuts
// without items (zoom) come the same way.
void InstallMenu(GtkApplication* application, GtkWidget* pageKeys, const std::vector<MenuItem>& items,
                 const std::function<void(MenuAction)>& perform);

// The application's menu as sections at the pointer, attached to the handle.
void ShowAppMenuAtPointer(GtkWidget* handle, const GdkEvent* press);

// The menu key opens the same menu below the handle; called once the handle
// lies in its window.
void AddMenuKey(GtkWidget* handle);

}  // namespace mivra
