#pragma once
// The window's last size and the page's zoom, kept between runs in a key file
// under the user's state folder ($XDG_STATE_HOME/mivra/window.ini, else
// ~/.local/state).

#include <optional>
#include <string>

#include <gtk/gtk.h>

#include "window_size.h"

namespace mivra {

// Opens the window at the size kept under the group (else `opening`), fitted
// to the work area, then keeps each size it settles at and, as the window is
// destroyed, a size still waiting.
void RestoreAndKeepSize(GtkWindow* window, const std::string& group, Size opening, const std::optional<Size>& workArea);

// The page's zoom kept under the group beside the size, one per display (the
// monitor the window shows on, known by its model and its size in pixels):
// as written, empty when none was.
std::string LoadKeptZoom(const std::string& group, GtkWindow* window);
void KeepZoom(const std::string& group, GtkWindow* window, double zoom);

}  // namespace mivra
