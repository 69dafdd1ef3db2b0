#include "placement.h"

#include <gdk/x11/gdkx.h>

namespace mivra {
namespace {

GdkMonitor* NewFirstMonitor(GdkDisplay* display)
{
    return GDK_MONITOR(g_list_model_get_item(gdk_display_get_monitors(display), 0));
}

std::optional<Rectangle> FirstMonitor(GdkDisplay* display)
{
    g_autoptr(GdkMonitor) first = NewFirstMonitor(display);
    if (!first)
        return std::nullopt;
    GdkRectangle area;
    gdk_monitor_get_geometry(first, &area);
    return Rectangle{area.x, area.y, area.width, area.height};
}

// The surface learns its real size from the first layout after it is shown.
void CentreOnFirstLayout(GdkSurface* surface, int width, int height, gpointer)
{
    g_signal_handlers_disconnect_by_func(surface, reinterpret_cast<gpointer>(CentreOnFirstLayout), nullptr);
    GdkDisplay* display = gdk_surface_get_display(surface);
    const Point origin = CentredOrigin(FirstMonitor(display), width, height);
    // X works in device pixels, GDK in application pixels.
    const int scale = gdk_surface_get_scale_factor(surface);
    XMoveWindow(gdk_x11_display_get_xdisplay(display), gdk_x11_surface_get_xid(surface), origin.x * scale,
                origin.y * scale);
}

void CentreWhenLaidOut(GtkWidget* window, gpointer)
{
    g_signal_handlers_disconnect_by_func(window, reinterpret_cast<gpointer>(CentreWhenLaidOut), nullptr);
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window));
    if (GDK_IS_X11_SURFACE(surface))
        g_signal_connect(surface, "layout", G_CALLBACK(CentreOnFirstLayout), nullptr);
}

}  // namespace

// GTK 4 reports a work area on X11 only; elsewhere the whole monitor stands in.
std::optional<Size> FirstMonitorWorkArea(GdkDisplay* display)
{
    g_autoptr(GdkMonitor) first = NewFirstMonitor(display);
    if (!first)
        return std::nullopt;
    GdkRectangle area;
    if (GDK_IS_X11_MONITOR(first))
        gdk_x11_monitor_get_workarea(first, &area);
    else
        gdk_monitor_get_geometry(first, &area);
    return Size{area.width, area.height};
}

void CentreWhenShown(GtkWindow* window)
{
    g_signal_connect(window, "realize", G_CALLBACK(CentreWhenLaidOut), nullptr);
}

}  // namespace mivra
