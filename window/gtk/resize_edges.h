#pragma once
// Resize edges for a window whose page reaches its very edges. Without a
// compositor GTK would draw a solid frame inside the window and resize from
// it; the page keeps the whole window instead, so thin transparent zones over
// its edges and corners start the window manager's resize. With a compositor
// (and on Wayland) GTK resizes from the shadow outside the window, and the
// zones stay hidden; a maximised or full-screen window has none either.

#include <gtk/gtk.h>

namespace mivra {

// Adds the zones over the overlay, which fills the window.
void AddResizeEdges(GtkWindow* window, GtkOverlay* content);

}  // namespace mivra
