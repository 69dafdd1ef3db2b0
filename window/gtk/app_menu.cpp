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
    g_signal_connect_data(action, "activate", G_CALLBACK(OnActivate),
                          HandToGLib(std::make_unique<ActionHandler>(ActionHandler{item.action, perform})),
                          [](gpointer data, GClosure*) { FreeFromGLib<ActionHandler>(data); }, GConnectFlags{});
    g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(action));
    const std::string accelerator = Accelerator(item.key);
    const char* accelerators[] = {accelerator.c_str(), nullptr};
    gtk_application_set_accels_for_action(application, ActionName(item.action).c_str(), accelerators);
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
        g_menu_append(section, item.itemTitle.c_str(), ActionName(item.action).c_str());
    }
    closeSubmenu();
    return model;
}

void InstallMenu(GtkApplication* application, const std::vector<MenuItem>& items,
                 std::function<void(MenuAction)> perform)
{
    for (const MenuItem& item : items)
        AddAction(application, item, perform);
    g_autoptr(GMenu) model = NewMenuModel(items, kApplicationName);
    gtk_application_set_menubar(application, G_MENU_MODEL(model));
}

}  // namespace mivra
