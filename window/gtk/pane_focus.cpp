#include "pane_focus.h"

#include <memory>
#include <string>
#include <vector>

#include "app_menu.h"
#include "glib_ownership.h"
#include "menu.h"

namespace mivra {
namespace {

constexpr char kSwitchPaneAction[] = "switch-pane";

struct Panes {
    GtkStack* pages;
    GtkHeaderBar* buttons;
};

// The header bar keeps its window buttons as internal children.
void CollectWindowButtons(GtkWidget* widget, std::vector<GtkWidget*>& found)
{
    if (GTK_IS_BUTTON(widget) && gtk_style_context_has_class(gtk_widget_get_style_context(widget), "titlebutton")) {
        found.push_back(widget);
        return;
    }
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer list) {
                CollectWindowButtons(child, *static_cast<std::vector<GtkWidget*>*>(list));
            },
            &found);
}

std::vector<GtkWidget*> ButtonWidgets(GtkHeaderBar* buttons)
{
    std::vector<GtkWidget*> found;
    CollectWindowButtons(GTK_WIDGET(buttons), found);
    return found;
}

// Screen readers skip redundant objects: what the header bar holds beside
// its buttons (an empty title, a separator) is only drawn.
void HideDecoration(GtkWidget* widget, gpointer)
{
    if (GTK_IS_BUTTON(widget))
        return;
    g_autoptr(GList) children = GTK_IS_CONTAINER(widget) ? gtk_container_get_children(GTK_CONTAINER(widget)) : nullptr;
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), HideDecoration, nullptr);
    if (!children)
        atk_object_set_role(gtk_widget_get_accessible(widget), ATK_ROLE_REDUNDANT_OBJECT);
}

// GTK makes window buttons that the keyboard cannot reach, and makes them
// again when the window's state changes their set. A click leaves the focus
// where it was, in the page.
void LetTheKeyboardReach(GtkHeaderBar* buttons)
{
    for (GtkWidget* button : ButtonWidgets(buttons)) {
        gtk_widget_set_can_focus(button, TRUE);
        gtk_widget_set_focus_on_click(button, FALSE);
    }
    gtk_container_forall(GTK_CONTAINER(buttons), HideDecoration, nullptr);
}

gboolean OnWindowState(GtkWidget*, GdkEventWindowState*, gpointer buttons)
{
    LetTheKeyboardReach(GTK_HEADER_BAR(buttons));
    return FALSE;
}

// The web view takes the focus itself; the window's failure gives it to its button.
void FocusPage(GtkStack* pages)
{
    GtkWidget* page = gtk_stack_get_visible_child(pages);
    if (WEBKIT_IS_WEB_VIEW(page))
        gtk_widget_grab_focus(page);
    else if (page)
        gtk_widget_child_focus(page, GTK_DIR_TAB_FORWARD);
}

// From the buttons to the page; from anywhere else to the first button.
void OnSwitchPane(GSimpleAction*, GVariant*, gpointer data)
{
    const auto* panes = static_cast<Panes*>(data);
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(gtk_widget_get_toplevel(GTK_WIDGET(panes->pages))));
    const std::vector<GtkWidget*> buttons = ButtonWidgets(panes->buttons);
    if (buttons.empty() || (focus && gtk_widget_is_ancestor(focus, GTK_WIDGET(panes->buttons))))
        FocusPage(panes->pages);
    else
        gtk_widget_grab_focus(buttons.front());
}

// GTK's Tab from the window buttons into the view focuses the view itself,
// where the page shows no focus: a stop that nobody sees. The page takes the
// same key instead, and focuses its first control (its last, backwards).
gboolean OnPageFocus(GtkWidget* page, GtkDirectionType direction, gpointer)
{
    if (gtk_widget_has_focus(page) || (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD))
        return FALSE;
    g_autoptr(GdkEvent) key = gtk_get_current_event();
    if (!key || key->type != GDK_KEY_PRESS)
        return FALSE;
    gtk_widget_grab_focus(page);
    gtk_widget_event(page, key);
    return TRUE;
}

// Taken before the page, like the window's other keys.
void AddPaneKey(GtkWindow* window, GtkStack* pages, GtkHeaderBar* buttons)
{
    g_autoptr(GSimpleAction) action = g_simple_action_new(kSwitchPaneAction, nullptr);
    g_signal_connect_data(
        action, "activate", G_CALLBACK(OnSwitchPane), HandToGLib(std::make_unique<Panes>(Panes{pages, buttons})),
        [](gpointer data, GClosure*) { FreeFromGLib<Panes>(data); }, GConnectFlags{});
    g_action_map_add_action(G_ACTION_MAP(window), G_ACTION(action));
    const std::string key = KeyName(kPaneSwitchingKey);
    const char* keys[] = {key.c_str(), nullptr};
    if (GtkApplication* application = gtk_window_get_application(window))
        gtk_application_set_accels_for_action(application, (std::string("win.") + kSwitchPaneAction).c_str(), keys);
}

}  // namespace

void AttachPaneFocus(GtkWindow* window, GtkStack* pages, GtkHeaderBar* buttons)
{
    LetTheKeyboardReach(buttons);
    g_signal_connect_object(window, "window-state-event", G_CALLBACK(OnWindowState), buttons, G_CONNECT_AFTER);
    AddPaneKey(window, pages, buttons);
}

void FollowPageFocus(WebKitWebView* page)
{
    g_signal_connect(page, "focus", G_CALLBACK(OnPageFocus), nullptr);
}

}  // namespace mivra
