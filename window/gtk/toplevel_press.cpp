#include "toplevel_press.h"

namespace mivra {

std::optional<ToplevelPress> PressInToplevel(GtkGesture* gesture, GtkWidget* widget, double x, double y)
{
    GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
    GdkWindow* surface = gtk_widget_is_toplevel(toplevel) ? gtk_widget_get_window(toplevel) : nullptr;
    int windowX = 0;
    int windowY = 0;
    if (!surface || !gtk_widget_translate_coordinates(widget, toplevel, static_cast<int>(x), static_cast<int>(y),
                                                      &windowX, &windowY))
        return std::nullopt;
    ToplevelPress press{surface, gtk_gesture_get_device(gesture), 0, 0, GDK_CURRENT_TIME};
    gdk_window_get_root_coords(surface, windowX, windowY, &press.rootX, &press.rootY);
    const GdkEvent* event = gtk_gesture_get_last_event(gesture, gtk_gesture_get_last_updated_sequence(gesture));
    if (event)
        press.time = gdk_event_get_time(event);
    return press;
}

}  // namespace mivra
