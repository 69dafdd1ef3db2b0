#include "app_menu.h"

#include <memory>

#include "glib_ownership.h"

namespace mivra {
namespace {

constexpr const char* kApplicationName = "Mivra";
constexpr char kMenuKey[] = "mivra-handle-menu";
constexpr char kShowMenuAction[] = "show-menu";

GtkWindow* WindowOf(GtkWidget* widget)
{
    return GTK_WINDOW(gtk_widget_get_toplevel(widget));
}

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
    case MenuAction::ZoomIn: return "zoom-in";
    case MenuAction::ZoomOut: return "zoom-out";
    case MenuAction::ZoomReset: return "zoom-reset";
    }
    return "";
}

struct ActionHandler {
    MenuAction action;
    std::function<void(MenuAction)> perform;
};

// The application action ("app." + name) that runs a menu action.
std::string ActionName(MenuAction action)
{
    return std::string("app.") + BareActionName(action);
}

// The accelerator of an item: Ctrl with the key named, or with its letter.
std::string Accelerator(const std::string& key)
{
    return "<Control>" + key;
}

std::string Accelerator(char key)
{
    return Accelerator(std::string(1, key));
}

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

// The application's accelerators act before the window hands the key to the
// focused web view.
void TakeBeforeThePage(GtkApplication* application, const MenuItem& item)
{
    const std::string accelerator = Accelerator(item.key);
    const char* accelerators[] = {accelerator.c_str(), nullptr};
    gtk_application_set_accels_for_action(application, ActionName(item.action).c_str(), accelerators);
}

void LeaveToThePage(GtkApplication* application, const MenuItem& item)
{
    const char* none[] = {nullptr};
    gtk_application_set_accels_for_action(application, ActionName(item.action).c_str(), none);
}

struct Shortcut {
    guint key;
    GdkModifierType modifiers;
    MenuAction action;
    bool anyShift;  // the key is the same with Shift or without
};

struct PageKeys {
    std::vector<Shortcut> shortcuts;
    std::function<void(MenuAction)> perform;
};

void AddShortcut(PageKeys& keys, const std::string& trigger, MenuAction action, bool anyShift = false)
{
    Shortcut shortcut{0, GdkModifierType(0), action, anyShift};
    gtk_accelerator_parse(trigger.c_str(), &shortcut.key, &shortcut.modifiers);
    keys.shortcuts.push_back(shortcut);
}

// WebKit takes every key the page has focus for, and gives a keydown the page
// left alone back to GTK, which propagates it again from the web view up
// through its ancestors; a keydown the page prevented never comes back. A
// handler on an ancestor therefore sees only the first kind (and keys pressed
// while the focus is elsewhere in the window).
gboolean OnKeyFromThePage(GtkWidget*, GdkEventKey* event, gpointer data)
{
    const auto* keys = static_cast<PageKeys*>(data);
    const guint key = gdk_keyval_to_lower(event->keyval);
    const auto modifiers = GdkModifierType(event->state & gtk_accelerator_get_default_mod_mask());
    for (const Shortcut& shortcut : keys->shortcuts) {
        const auto counted = shortcut.anyShift ? GdkModifierType(modifiers & ~GDK_SHIFT_MASK) : modifiers;
        if (shortcut.key == key && shortcut.modifiers == counted) {
            keys->perform(shortcut.action);
            return TRUE;
        }
    }
    return FALSE;
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

// The model of the table: one submenu per menu in table order, the
// application menu labelled with the application's name, a new section where
// an item has a separator above it.
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

}  // namespace

void ShowAppMenuAtPointer(GtkWidget* handle, const GdkEvent* press)
{
    if (GtkMenu* menu = HandleMenu(handle))
        gtk_menu_popup_at_pointer(menu, press);
}

// The window takes the menu key before the page, like its other window keys.
void AddMenuKey(GtkWidget* handle)
{
    GtkWindow* window = WindowOf(handle);
    g_autoptr(GSimpleAction) action = g_simple_action_new(kShowMenuAction, nullptr);
    g_signal_connect_object(action, "activate", G_CALLBACK(ShowMenuFromKeyboard), handle, GConnectFlags{});
    g_action_map_add_action(G_ACTION_MAP(window), G_ACTION(action));
    GtkApplication* application = gtk_window_get_application(window);
    const std::string key = KeyName(kMenuOpeningKey);
    const char* keys[] = {key.c_str(), nullptr};
    if (application)
        gtk_application_set_accels_for_action(application, (std::string("win.") + kShowMenuAction).c_str(), keys);
}

std::string KeyName(Key key)
{
    switch (key) {
    case Key::F6: return "F6";
    case Key::F10: return "F10";
    case Key::F11: return "F11";
    case Key::Plus: return "plus";
    case Key::Equal: return "equal";
    case Key::Minus: return "minus";
    case Key::Zero: return "0";
    case Key::KeypadPlus: return "KP_Add";
    case Key::KeypadMinus: return "KP_Subtract";
    case Key::KeypadZero: return "KP_0";
    }
    return "";
}

void InstallMenu(GtkApplication* application, GtkWidget* pageKeys, const std::vector<MenuItem>& items,
                 const std::function<void(MenuAction)>& perform)
{
    // GTK 3 makes each item's shown accelerator an application accelerator,
    // which acts before the page: the page's own are taken back below.
    g_autoptr(GMenu) model = NewMenuModel(items, kApplicationName);
    gtk_application_set_menubar(application, G_MENU_MODEL(model));
    auto afterThePage = std::make_unique<PageKeys>(PageKeys{{}, perform});
    for (const MenuItem& item : items) {
        AddAction(application, item, perform);
        if (item.windowFirst) {
            TakeBeforeThePage(application, item);
        } else {
            LeaveToThePage(application, item);
            AddShortcut(*afterThePage, Accelerator(item.key), item.action);
        }
        if (item.plainKey)
            AddShortcut(*afterThePage, KeyName(*item.plainKey), item.action);
    }
    for (const ShortcutWithoutItem& shortcut : ShortcutsWithoutItems())
        AddShortcut(*afterThePage, Accelerator(KeyName(shortcut.key)), shortcut.action, true);
    g_signal_connect_data(
        pageKeys, "key-press-event", G_CALLBACK(OnKeyFromThePage), HandToGLib(std::move(afterThePage)),
        [](gpointer data, GClosure*) { FreeFromGLib<PageKeys>(data); }, GConnectFlags{});
}

}  // namespace mivra
