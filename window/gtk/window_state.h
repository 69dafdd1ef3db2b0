#pragma once
// The window's state as the window manager last reported it. GTK 3 keeps
// maximised as a property but full screen only in the GdkWindow's state, so
// both are read from there.

#include <gtk/gtk.h>

namespace mivra {

// False before the window is realized.
inline bool HasState(GtkWindow* window, GdkWindowState state)
{
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window));
    return surface && (gdk_window_get_state(surface) & state);
}

// Maximised or full screen: its size is the screen's, not one of its own.
inline bool FillsTheScreen(GtkWindow* window)
{
    return HasState(window, GdkWindowState(GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN));
}

}  // namespace mivra
