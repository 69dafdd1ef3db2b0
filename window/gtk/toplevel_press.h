#pragma once
// A press that hands the pointer to the window manager, which then moves or
// resizes the window with it until the button is released.

#include <optional>

#include <gtk/gtk.h>

namespace mivra {

struct ToplevelPress {
    GdkWindow* toplevel;
    GdkDevice* device;
    int rootX;  // in the screen's coordinates
    int rootY;
    guint32 time;
};

// The gesture's press at (x, y) in the widget, as the window manager's move
// and resize take it; absent when the widget lies in no realized toplevel.
std::optional<ToplevelPress> PressInToplevel(GtkGesture* gesture, GtkWidget* widget, double x, double y);

}  // namespace mivra
