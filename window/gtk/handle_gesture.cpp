#include "handle_gesture.h"

#include <optional>
#include <string>

#include "handle.h"
#include "menu.h"
#include "toplevel_press.h"

namespace mivra {

namespace {

constexpr char kMenuKey[] = "mivra-handle-menu";
constexpr char kClickKey[] = "mivra-handle-click";
constexpr char kDragKey[] = "mivra-handle-drag";
// Set on the drag gesture while the press under way is one that moves the window.
constexpr char kMoveArmedKey[] = "mivra-handle-move-armed";
constexpr char kShowMenuAction[] = "show-menu";

// The desktop's choice for a double-click on a title bar ("toggle-maximize",
// "minimize", ...), as GTK's own title bars read it.
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

// Built on first use, from the application's menu bar; it goes with the handle.
GtkMenu* HandleMenu(GtkWidget* handle)
{
    if (auto* existing = static_cast<GtkMenu*>(g_object_get_data(G_OBJECT(handle), kMenuKey)))
        return existing;
    GtkApplication* application = gtk_window_get_application(WindowOf(handle));
    GMenuModel* menubar = application ? gtk_application_get_menubar(application) : nullptr;
    if (!menubar)
        return nullptr;
    g_autoptr(GMenuModel) sections = MenuSections(menubar);
    GtkMenu* menu = GTK_MENU(gtk_menu_new_from_model(sections));
    gtk_menu_attach_to_widget(menu, handle, nullptr);
    g_object_set_data(G_OBJECT(handle), kMenuKey, menu);
    return menu;
}

void ShowMenuAtPointer(GtkWidget* handle, const GdkEvent* press)
{
    if (GtkMenu* menu = HandleMenu(handle))
        gtk_menu_popup_at_pointer(menu, press);
}

// Below the handle's start, with its first item selected, as a menu bar
// opens its menu. The menu starts with a section's title, which cannot be
// selected: the first item that can is.
void ShowMenuFromKeyboard(GSimpleAction*, GVariant*, gpointer handle)
{
    GtkMenu* menu = HandleMenu(GTK_WIDGET(handle));
    if (!menu)
        return;
    gtk_menu_popup_at_widget(menu, GTK_WIDGET(handle), GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
    gtk_menu_shell_select_first(GTK_MENU_SHELL(menu), TRUE);
}

// The window takes the menu key before the page, like its other window keys.
void AddMenuKey(GtkWidget* handle)
{
    GtkWindow* window = WindowOf(handle);
    g_autoptr(GSimpleAction) action = g_simple_action_new(kShowMenuAction, nullptr);
    g_signal_connect_object(action, "activate", G_CALLBACK(ShowMenuFromKeyboard), handle, GConnectFlags{});
    g_action_map_add_action(G_ACTION_MAP(window), G_ACTION(action));
    GtkApplication* application = gtk_window_get_application(window);
    const char* keys[] = {kMenuOpeningKey, nullptr};
    if (application)
        gtk_application_set_accels_for_action(application, (std::string("win.") + kShowMenuAction).c_str(), keys);
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
        ShowMenuAtPointer(handle, gtk_gesture_get_last_event(
                                      gesture, gtk_gesture_single_get_current_sequence(GTK_GESTURE_SINGLE(click))));
        return;
    }
    const HandleAction action = HandleActionFor(pressCount, DoubleClickPreference(handle));
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
    AddMenuKey(handle);
}

}  // namespace mivra
