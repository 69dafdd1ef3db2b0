#include "handle_gesture.h"

#include <string_view>

#include "app_menu.h"
#include "handle.h"
#include "toplevel_press.h"

namespace mivra {

namespace {

constexpr char kClickKey[] = "mivra-handle-click";
constexpr char kDragKey[] = "mivra-handle-drag";
// Set on the drag gesture while the press under way is one that moves the window.
constexpr char kMoveArmedKey[] = "mivra-handle-move-armed";

// The desktop's choice for a double-click on a title bar ("toggle-maximize",
// "minimize", ...), as GTK's own title bars read it.
bool DoubleClickMinimises(GtkWidget* widget)
{
    g_autofree char* value = nullptr;
    g_object_get(gtk_widget_get_settings(widget), "gtk-titlebar-double-click", &value, nullptr);
    return value && std::string_view(value) == "minimize";
}

GtkWindow* WindowOf(GtkWidget* widget)
{
    return GTK_WINDOW(gtk_widget_get_toplevel(widget));
}

void ToggleMaximised(GtkWindow* window)
{
    if (gtk_window_is_maximized(window))
        gtk_window_unmaximize(window);
    else
        gtk_window_maximize(window);
}

void ArmMove(GtkGesture* drag, bool armed)
{
    g_object_set_data(G_OBJECT(drag), kMoveArmedKey, GINT_TO_POINTER(armed));
}

bool MoveArmed(GtkGesture* drag)
{
    return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(drag), kMoveArmedKey));
}

// Hands the pointer to the window manager, which moves the window with it
// until the button is released. This waits for the pointer to leave the drag
// threshold with the button still down: handed over at the press, a quick
// click could be released before the window manager takes the pointer, which
// then stays in a move that swallows the next click. The release goes to the
// window manager: both gestures are reset first, as GTK's own title bars do,
// or they keep the press under way and lose the next double-click.
void OnDragUpdate(GtkGestureDrag* drag, double offsetX, double offsetY, gpointer click)
{
    GtkGesture* gesture = GTK_GESTURE(drag);
    GtkWidget* handle = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(drag));
    if (!MoveArmed(gesture) ||
        !gtk_drag_check_threshold(handle, 0, 0, static_cast<int>(offsetX), static_cast<int>(offsetY)))
        return;
    ArmMove(gesture, false);
    double startX = 0;
    double startY = 0;
    gtk_gesture_drag_get_start_point(drag, &startX, &startY);
    const auto press = PressInToplevel(gesture, handle, startX, startY);
    if (!press)
        return;
    gtk_event_controller_reset(GTK_EVENT_CONTROLLER(click));
    gtk_event_controller_reset(GTK_EVENT_CONTROLLER(drag));
    gdk_window_begin_move_drag_for_device(press->toplevel, press->device, GDK_BUTTON_PRIMARY, press->rootX,
                                          press->rootY, press->time);
}

void OnDragEnd(GtkGestureDrag* drag, double, double, gpointer)
{
    ArmMove(GTK_GESTURE(drag), false);
}

void OnPressed(GtkGestureMultiPress* click, int pressCount, double, double, gpointer drag)
{
    GtkGesture* gesture = GTK_GESTURE(click);
    GtkWidget* handle = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(click));
    const guint button = gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(click));
    if (button != GDK_BUTTON_PRIMARY && button != GDK_BUTTON_SECONDARY) {
        gtk_gesture_set_state(gesture, GTK_EVENT_SEQUENCE_DENIED);
        return;
    }
    gtk_gesture_set_state(gesture, GTK_EVENT_SEQUENCE_CLAIMED);

    if (button == GDK_BUTTON_SECONDARY) {
        ShowAppMenuAtPointer(handle, gtk_gesture_get_last_event(
                                         gesture, gtk_gesture_single_get_current_sequence(GTK_GESTURE_SINGLE(click))));
        return;
    }
    const HandleAction action = HandleActionFor(pressCount, DoubleClickMinimises(handle));
    ArmMove(GTK_GESTURE(drag), action == HandleAction::Drag);
    switch (action) {
    case HandleAction::Zoom: ToggleMaximised(WindowOf(handle)); break;
    case HandleAction::Minimise: gtk_window_iconify(WindowOf(handle)); break;
    case HandleAction::Drag: break;
    }
}

}  // namespace

void AttachHandleGesture(GtkWidget* handle)
{
    GtkGesture* click = gtk_gesture_multi_press_new(handle);
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), 0);
    GtkGesture* drag = gtk_gesture_drag_new(handle);
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
    // Grouped, both follow the press that the click gesture claims.
    gtk_gesture_group(click, drag);
    g_signal_connect(click, "pressed", G_CALLBACK(OnPressed), drag);
    g_signal_connect(drag, "drag-update", G_CALLBACK(OnDragUpdate), click);
    g_signal_connect(drag, "drag-end", G_CALLBACK(OnDragEnd), nullptr);
    // GTK 3's gestures belong to whoever made them: they go with the handle.
    g_object_set_data_full(G_OBJECT(handle), kClickKey, click, g_object_unref);
    g_object_set_data_full(G_OBJECT(handle), kDragKey, drag, g_object_unref);
}

}  // namespace mivra
