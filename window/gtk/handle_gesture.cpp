#include "handle_gesture.h"

#include <optional>
#include <string>

#include "handle.h"
#include "toplevel_press.h"

namespace mivra {

namespace {

constexpr char kPopoverKey[] = "mivra-handle-menu";
// Set on the drag gesture while the press under way is one that moves the window.
constexpr char kMoveArmedKey[] = "mivra-handle-move-armed";

// The desktop's choice for a double-click on a title bar ("toggle-maximize",
// "minimize", ...), as GtkWindowHandle reads it.
std::optional<std::string> DoubleClickPreference(GtkWidget* widget)
{
    g_autofree char* value = nullptr;
    g_object_get(gtk_widget_get_settings(widget), "gtk-titlebar-double-click", &value, nullptr);
    if (!value)
        return std::nullopt;
    return std::string(value);
}

GtkWindow* WindowOf(GtkWidget* widget)
{
    return GTK_WINDOW(gtk_widget_get_root(widget));
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
// then stays in a move that swallows the next click.
void OnDragUpdate(GtkGestureDrag* drag, double offsetX, double offsetY, gpointer)
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
    if (const auto press = PressInToplevel(gesture, handle, startX, startY))
        gdk_toplevel_begin_move(press->toplevel, press->device, GDK_BUTTON_PRIMARY, press->x, press->y, press->time);
}

void OnDragEnd(GtkGestureDrag* drag, double, double, gpointer)
{
    ArmMove(GTK_GESTURE(drag), false);
}

// Each menu of the menu bar becomes a labelled section, so that every item is
// one click away.
GMenuModel* MenuSections(GMenuModel* menubar)
{
    GMenu* sections = g_menu_new();
    for (int i = 0; i < g_menu_model_get_n_items(menubar); ++i) {
        g_autoptr(GMenuModel) submenu = g_menu_model_get_item_link(menubar, i, G_MENU_LINK_SUBMENU);
        if (!submenu)
            continue;
        g_autofree char* label = nullptr;
        g_menu_model_get_item_attribute(menubar, i, G_MENU_ATTRIBUTE_LABEL, "s", &label);
        g_menu_append_section(sections, label && *label ? label : nullptr, submenu);
    }
    return G_MENU_MODEL(sections);
}

GtkWidget* HandleMenu(GtkWidget* handle)
{
    if (auto* existing = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(handle), kPopoverKey)))
        return existing;
    GtkApplication* application = gtk_window_get_application(WindowOf(handle));
    GMenuModel* menubar = application ? gtk_application_get_menubar(application) : nullptr;
    if (!menubar)
        return nullptr;
    g_autoptr(GMenuModel) sections = MenuSections(menubar);
    GtkWidget* popover = gtk_popover_menu_new_from_model(sections);
    gtk_popover_set_has_arrow(GTK_POPOVER(popover), FALSE);
    gtk_widget_set_halign(popover, GTK_ALIGN_START);
    gtk_widget_set_parent(popover, handle);
    g_object_set_data_full(G_OBJECT(handle), kPopoverKey, g_object_ref(popover), g_object_unref);
    return popover;
}

void ShowMenu(GtkWidget* handle, double x, double y)
{
    GtkWidget* popover = HandleMenu(handle);
    if (!popover)
        return;
    const GdkRectangle at = {static_cast<int>(x), static_cast<int>(y), 1, 1};
    gtk_popover_set_pointing_to(GTK_POPOVER(popover), &at);
    gtk_popover_popup(GTK_POPOVER(popover));
}

void OnPressed(GtkGestureClick* click, int pressCount, double x, double y, gpointer drag)
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
        ShowMenu(handle, x, y);
        return;
    }
    const HandleAction action = HandleActionFor(pressCount, DoubleClickPreference(handle));
    ArmMove(GTK_GESTURE(drag), action == HandleAction::Drag);
    switch (action) {
    case HandleAction::Zoom: ToggleMaximised(WindowOf(handle)); break;
    case HandleAction::Minimise: gtk_window_minimize(WindowOf(handle)); break;
    case HandleAction::Drag: break;
    }
}

// The popover is the handle's child by gtk_widget_set_parent, which not every
// widget undoes as it goes (a box does); the reference kept with the handle
// lets us look before unparenting.
void OnHandleDestroyed(GtkWidget* handle, gpointer)
{
    auto* popover = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(handle), kPopoverKey));
    if (popover && gtk_widget_get_parent(popover) == handle)
        gtk_widget_unparent(popover);
}

}  // namespace

void AttachHandleGesture(GtkWidget* handle)
{
    GtkGesture* click = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), 0);
    GtkGesture* drag = gtk_gesture_drag_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
    // Grouped, both follow the press that the click gesture claims.
    gtk_gesture_group(click, drag);
    g_signal_connect(click, "pressed", G_CALLBACK(OnPressed), drag);
    g_signal_connect(drag, "drag-update", G_CALLBACK(OnDragUpdate), nullptr);
    g_signal_connect(drag, "drag-end", G_CALLBACK(OnDragEnd), nullptr);
    gtk_widget_add_controller(handle, GTK_EVENT_CONTROLLER(click));
    gtk_widget_add_controller(handle, GTK_EVENT_CONTROLLER(drag));
    g_signal_connect(handle, "destroy", G_CALLBACK(OnHandleDestroyed), nullptr);
}

}  // namespace mivra
