#pragma once
// Opening the window centred on the first monitor. On Wayland the compositor
// places windows and the move is ignored.

#include <optional>

#include <gtk/gtk.h>

#include "window_size.h"

namespace mivra {

// The part of the first monitor that windows may use (without panels and
// docks, where the desktop says so), in application pixels; absent when
// there is no monitor.
std::optional<Size> FirstMonitorWorkArea(GdkDisplay* display);

// Centres the window, not shown yet, at its opening size on the first monitor.
void CentreOnFirstMonitor(GtkWindow* window);

}  // namespace mivra
