#pragma once
// The window's last size and the page's zoom, kept between runs in a key file
// under the user's state folder ($XDG_STATE_HOME/mivra/window.ini, else
// ~/.local/state).

#include <optional>
#include <string>

#include <gtk/gtk.h>

#include "window_size.h"

namespace mivra {

// The key file that keeps the sizes.
std::string KeptSizeFile();

// The size kept under the group, when one was kept and is usable.
std::optional<Size> LoadKeptSize(const std::string& file, const std::string& group);

// Writes the size under the group, keeping the file's other groups. Failures
// are dropped: a size that cannot be kept only costs the next run its size.
void KeepSize(const std::string& file, const std::string& group, Size size);

// The page's zoom kept beside the size, one per display (the monitor the
// window shows on, known by its model and its size in pixels): as written,
// empty when none was.
std::string LoadKeptZoom(const std::string& file, const std::string& group, GtkWindow* window);
void KeepZoom(const std::string& file, const std::string& group, GtkWindow* window, double zoom);

// Opens the window at the size kept under the group (else `opening`), fitted
// to the work area, then keeps each size it settles at and, as the window is
// destroyed, a size still waiting.
void RestoreAndKeepSize(GtkWindow* window, const std::string& group, Size opening, const std::optional<Size>& workArea);

}  // namespace mivra
