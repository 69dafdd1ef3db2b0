#include "toplevel_press.h"

namespace mivra {

std::optional<ToplevelPress> PressInToplevel(GtkGesture* gesture, GtkWidget* widget, double x, double y)
{
    GtkNative* native = gtk_widget_get_native(widget);
    GdkSurface* surface = gtk_native_get_surface(native);
    if (!GDK_IS_TOPLEVEL(surface))
        return std::nullopt;
    double nativeX = 0;
    double nativeY = 0;
    gtk_widget_translate_coordinates(widget, GTK_WIDGET(native), x, y, &nativeX, &nativeY);
    double offsetX = 0;
    double offsetY = 0;
    gtk_native_get_surface_transform(native, &offsetX, &offsetY);
    return ToplevelPress{GDK_TOPLEVEL(surface), gtk_gesture_get_device(gesture), nativeX + offsetX, nativeY + offsetY,
                         gtk_event_controller_get_current_event_time(GTK_EVENT_CONTROLLER(gesture))};
}

}  // namespace mivra
