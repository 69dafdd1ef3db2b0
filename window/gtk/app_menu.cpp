#include "app_menu.h"

#include <memory>

#include "glib_ownership.h"

namespace mivra {
namespace {

constexpr const char* kApplicationName = "Mivra";

const char* BareActionName(MenuAction action)
{
    switch (action) {
    case MenuAction::Hide: return "hide";
    case MenuAction::Quit: return "quit";
    case MenuAction::OpenDialog: return "open-dialog";
    case MenuAction::Undo: return "undo";
    case MenuAction::Cut: return "cut";
    case MenuAction::Copy: return "copy";
    case MenuAction::Paste: return "paste";
    case MenuAction::SelectAll: return "select-all";
    case MenuAction::Refresh: return "refresh";
    case MenuAction::ToggleFullScreen: return "toggle-full-screen";
    }
    return "";
}

struct ActionHandler {
    MenuAction action;
    std::function<void(MenuAction)> perform;
};

void OnActivate(GSimpleAction*, GVariant*, gpointer data)
{
    auto* handler = static_cast<ActionHandler*>(data);
    handler->perform(handler->action);
}

void AddAction(GtkApplication* application, const MenuItem& item, const std::function<void(MenuAction)>& perform)
{
    g_autoptr(GSimpleAction) action = g_simple_action_new(BareActionName(item.action), nullptr);
    g_signal_connect_data(
        action, "activate", G_CALLBACK(OnActivate),
        HandToGLib(std::make_unique<ActionHandler>(ActionHandler{item.action, perform})),
        [](gpointer data, GClosure*) { FreeFromGLib<ActionHandler>(data); }, GConnectFlags{});
    g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(action));
}

// The application's accelerators act in the capture phase, before the
// focused web view sees the key.
void TakeBeforeThePage(GtkApplication* application, const MenuItem& item)
{
    const std::string accelerator = Accelerator(item.key);
    const char* accelerators[] = {accelerator.c_str(), nullptr};
    gtk_application_set_accels_for_action(application, ActionName(item.action).c_str(), accelerators);
}

void AddShortcut(GtkShortcutController* shortcuts, const std::string& trigger, MenuAction action)
{
    gtk_shortcut_controller_add_shortcut(shortcuts, gtk_shortcut_new(gtk_shortcut_trigger_parse_string(trigger.c_str()),
                                                                     gtk_named_action_new(ActionName(action).c_str())));
}

// WebKit hands a keydown the page left alone back to GTK, which dispatches it
// again from the window; a keydown the page prevented never comes back. A
// controller in the bubble phase therefore sees only the first kind (and
// keys pressed while the focus is outside the web view).
GtkShortcutController* NewShortcutsAfterThePage(GtkWindow* window)
{
    GtkEventController* shortcuts = gtk_shortcut_controller_new();
    gtk_event_controller_set_propagation_phase(shortcuts, GTK_PHASE_BUBBLE);
    gtk_widget_add_controller(GTK_WIDGET(window), shortcuts);
    return GTK_SHORTCUT_CONTROLLER(shortcuts);
}

}  // namespace

std::string ActionName(MenuAction action)
{
    return std::string("app.") + BareActionName(action);
}

std::string Accelerator(char key)
{
    return std::string("<Control>") + key;
}

GMenu* NewMenuModel(const std::vector<MenuItem>& items, const std::string& applicationName)
{
    GMenu* model = g_menu_new();
    g_autoptr(GMenu) submenu = nullptr;
    g_autoptr(GMenu) section = nullptr;
    const std::string* menuTitle = nullptr;
    const auto closeSubmenu = [&] {
        if (!submenu)
            return;
        g_menu_append_section(submenu, nullptr, G_MENU_MODEL(section));
        g_menu_append_submenu(model, menuTitle->empty() ? applicationName.c_str() : menuTitle->c_str(),
                              G_MENU_MODEL(submenu));
        g_clear_object(&section);
        g_clear_object(&submenu);
    };
    for (const MenuItem& item : items) {
        if (!menuTitle || *menuTitle != item.menuTitle) {
            closeSubmenu();
            menuTitle = &item.menuTitle;
            submenu = g_menu_new();
            section = g_menu_new();
        } else if (item.separatorBefore) {
            g_menu_append_section(submenu, nullptr, G_MENU_MODEL(section));
            g_clear_object(&section);
            section = g_menu_new();
        }
        g_autoptr(GMenuItem) entry = g_menu_item_new(item.itemTitle.c_str(), ActionName(item.action).c_str());
        // Shown beside the item whether the window or the page is offered the key first.
        g_menu_item_set_attribute(entry, "accel", "s", Accelerator(item.key).c_str());
        g_menu_append_item(section, entry);
    }
    closeSubmenu();
    return model;
}

void InstallMenu(GtkApplication* application, GtkWindow* window, const std::vector<MenuItem>& items,
                 std::function<void(MenuAction)> perform)
{
    GtkShortcutController* afterThePage = NewShortcutsAfterThePage(window);
    for (const MenuItem& item : items) {
        AddAction(application, item, perform);
        if (item.windowFirst)
            TakeBeforeThePage(application, item);
        else
            AddShortcut(afterThePage, Accelerator(item.key), item.action);
        if (!item.plainKey.empty())
            AddShortcut(afterThePage, item.plainKey, item.action);
    }
    g_autoptr(GMenu) model = NewMenuModel(items, kApplicationName);
    gtk_application_set_menubar(application, G_MENU_MODEL(model));
}

}  // namespace mivra
