#include "resize_edges.h"

#include <array>

#include "toplevel_press.h"
#include "window_state.h"

namespace mivra {
namespace {

constexpr int kEdge = 4;     // as thick as GTK's own frame without a compositor
constexpr int kCorner = 12;  // corners are easier to catch
constexpr char kZonesKey[] = "mivra-resize-zones";
constexpr char kPressKey[] = "mivra-resize-press";

struct Zone {
    GdkWindowEdge edge;
    GtkAlign halign;
    GtkAlign valign;
    const char* cursor;
};

// Edges first, corners after, so that the corners lie above the edges.
constexpr std::array<Zone, 8> kZones = {{
    {GDK_WINDOW_EDGE_NORTH, GTK_ALIGN_FILL, GTK_ALIGN_START, "n-resize"},
    {GDK_WINDOW_EDGE_SOUTH, GTK_ALIGN_FILL, GTK_ALIGN_END, "s-resize"},
    {GDK_WINDOW_EDGE_WEST, GTK_ALIGN_START, GTK_ALIGN_FILL, "w-resize"},
    {GDK_WINDOW_EDGE_EAST, GTK_ALIGN_END, GTK_ALIGN_FILL, "e-resize"},
    {GDK_WINDOW_EDGE_NORTH_WEST, GTK_ALIGN_START, GTK_ALIGN_START, "nw-resize"},
    {GDK_WINDOW_EDGE_NORTH_EAST, GTK_ALIGN_END, GTK_ALIGN_START, "ne-resize"},
    {GDK_WINDOW_EDGE_SOUTH_WEST, GTK_ALIGN_START, GTK_ALIGN_END, "sw-resize"},
    {GDK_WINDOW_EDGE_SOUTH_EAST, GTK_ALIGN_END, GTK_ALIGN_END, "se-resize"},
}};

int SideFor(GtkAlign align)
{
    return align == GTK_ALIGN_FILL ? -1 : kEdge;
}

// The window manager resizes the window from that edge until the button is released.
void OnPressed(GtkGestureMultiPress* click, int, double x, double y, gpointer edge)
{
    GtkGesture* gesture = GTK_GESTURE(click);
    const auto press = PressInToplevel(gesture, gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(click)), x, y);
    if (!press)
        return;
    gtk_gesture_set_state(gesture, GTK_EVENT_SEQUENCE_CLAIMED);
    gdk_window_begin_resize_drag_for_device(press->toplevel, static_cast<GdkWindowEdge>(GPOINTER_TO_INT(edge)),
                                            press->device, GDK_BUTTON_PRIMARY, press->rootX, press->rootY, press->time);
}

void SetCursor(GtkWidget* zone, gpointer name)
{
    g_autoptr(GdkCursor) cursor = gdk_cursor_new_from_name(gtk_widget_get_display(zone), static_cast<char*>(name));
    gdk_window_set_cursor(gtk_widget_get_window(zone), cursor);
}

// An event box with a window of its own, which carries the edge's cursor.
GtkWidget* NewZone(const Zone& zone)
{
    GtkWidget* widget = gtk_event_box_new();
    const bool corner = zone.halign != GTK_ALIGN_FILL && zone.valign != GTK_ALIGN_FILL;
    gtk_widget_set_size_request(widget, corner ? kCorner : SideFor(zone.halign),
                                corner ? kCorner : SideFor(zone.valign));
    gtk_widget_set_halign(widget, zone.halign);
    gtk_widget_set_valign(widget, zone.valign);
    g_signal_connect(widget, "realize", G_CALLBACK(SetCursor), const_cast<char*>(zone.cursor));
    // Only the pointer uses it: screen readers skip it as a redundant object.
    atk_object_set_role(gtk_widget_get_accessible(widget), ATK_ROLE_REDUNDANT_OBJECT);
    GtkGesture* click = gtk_gesture_multi_press_new(widget);
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), GDK_BUTTON_PRIMARY);
    g_signal_connect(click, "pressed", G_CALLBACK(OnPressed), GINT_TO_POINTER(zone.edge));
    g_object_set_data_full(G_OBJECT(widget), kPressKey, click, g_object_unref);
    return widget;
}

void ShowZonesWhenUseful(GtkWindow* window)
{
    const bool useful = !gdk_screen_is_composited(gtk_widget_get_screen(GTK_WIDGET(window))) && !FillsTheScreen(window);
    auto* zones = static_cast<GPtrArray*>(g_object_get_data(G_OBJECT(window), kZonesKey));
    for (guint i = 0; i < zones->len; ++i)
        gtk_widget_set_visible(GTK_WIDGET(g_ptr_array_index(zones, i)), useful);
}

gboolean OnWindowState(GtkWidget* window, GdkEventWindowState*, gpointer)
{
    ShowZonesWhenUseful(GTK_WINDOW(window));
    return FALSE;
}

void OnCompositedChanged(GdkScreen*, gpointer window)
{
    ShowZonesWhenUseful(GTK_WINDOW(window));
}

}  // namespace

void AddResizeEdges(GtkWindow* window, GtkOverlay* content)
{
    GPtrArray* zones = g_ptr_array_new();
    for (const Zone& zone : kZones) {
        GtkWidget* widget = NewZone(zone);
        gtk_overlay_add_overlay(content, widget);
        g_ptr_array_add(zones, widget);
    }
    // The overlay holds the zones; the list only names them.
    g_object_set_data_full(G_OBJECT(window), kZonesKey, zones, reinterpret_cast<GDestroyNotify>(g_ptr_array_unref));
    g_signal_connect(window, "window-state-event", G_CALLBACK(OnWindowState), nullptr);
    g_signal_connect_object(gtk_widget_get_screen(GTK_WIDGET(window)), "composited-changed",
                            G_CALLBACK(OnCompositedChanged), window, GConnectFlags{});
    ShowZonesWhenUseful(window);
}

}  // namespace mivra
