#include "placement.h"

namespace mivra {

std::optional<Size> FirstMonitorWorkArea(GdkDisplay* display)
{
    GdkMonitor* first = gdk_display_get_monitor(display, 0);
    if (!first)
        return std::nullopt;
    GdkRectangle area;
    gdk_monitor_get_workarea(first, &area);
    return Size{area.width, area.height};
}

void CentreOnFirstMonitor(GtkWindow* window)
{
    GdkMonitor* first = gdk_display_get_monitor(gtk_widget_get_display(GTK_WIDGET(window)), 0);
    std::optional<Rectangle> screen;
    if (first) {
        GdkRectangle area;
        gdk_monitor_get_geometry(first, &area);
        screen = Rectangle{area.x, area.y, area.width, area.height};
    }
    int width = 0;
    int height = 0;
    gtk_window_get_size(window, &width, &height);
    const Point origin = CentredOrigin(screen, width, height);
    gtk_window_move(window, origin.x, origin.y);
}

}  // namespace mivra
