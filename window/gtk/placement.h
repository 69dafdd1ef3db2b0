#pragma once
// Opening the window centred on the first monitor. GTK 4 has no move call:
// on X11 the window is moved through Xlib once it has its size; on Wayland the
// compositor places windows and nothing is done.

#include <optional>

#include <gtk/gtk.h>

#include "window_size.h"

namespace mivra {

// The part of the first monitor that windows may use (without panels and
// docks, where the desktop says so), in application pixels; absent when
// there is no monitor.
std::optional<Size> FirstMonitorWorkArea(GdkDisplay* display);

// Centres the window on the first monitor once it has its size on screen.
void CentreWhenShown(GtkWindow* window);

}  // namespace mivra
