#include "page_context_menu.h"

#include <vector>

#include "glib_ownership.h"

namespace mivra {
namespace {

bool IsEditing(WebKitContextMenuAction action)
{
    switch (action) {
    case WEBKIT_CONTEXT_MENU_ACTION_CUT:
    case WEBKIT_CONTEXT_MENU_ACTION_COPY:
    case WEBKIT_CONTEXT_MENU_ACTION_PASTE:
    case WEBKIT_CONTEXT_MENU_ACTION_PASTE_AS_PLAIN_TEXT:
    case WEBKIT_CONTEXT_MENU_ACTION_DELETE:
    case WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL:
    case WEBKIT_CONTEXT_MENU_ACTION_INSERT_EMOJI:
    case WEBKIT_CONTEXT_MENU_ACTION_SPELLING_GUESS:
    case WEBKIT_CONTEXT_MENU_ACTION_NO_GUESSES_FOUND:
    case WEBKIT_CONTEXT_MENU_ACTION_IGNORE_SPELLING:
    case WEBKIT_CONTEXT_MENU_ACTION_LEARN_SPELLING: return true;
    default: return false;
    }
}

// Keeps the menu's editing items (cut, copy, paste, select all, spelling) in
// order, with a separator only between two of them; everything WebKit adds
// for a browser (back, forward, stop, reload, links and media in new windows,
// downloads, the inspector) goes. Answers whether anything is left to show.
bool KeepEditingItems(WebKitContextMenu* menu)
{
    std::vector<Owned<WebKitContextMenuItem>> kept;
    bool separatorPending = false;
    for (GList* entry = webkit_context_menu_get_items(menu); entry; entry = entry->next) {
        auto* item = WEBKIT_CONTEXT_MENU_ITEM(entry->data);
        if (webkit_context_menu_item_is_separator(item)) {
            separatorPending = !kept.empty();
            continue;
        }
        if (!IsEditing(webkit_context_menu_item_get_stock_action(item)))
            continue;
        if (separatorPending)
            kept.emplace_back(WEBKIT_CONTEXT_MENU_ITEM(g_object_ref_sink(webkit_context_menu_item_new_separator())));
        separatorPending = false;
        kept.emplace_back(WEBKIT_CONTEXT_MENU_ITEM(g_object_ref(item)));
    }
    webkit_context_menu_remove_all(menu);
    for (const auto& item : kept)
        webkit_context_menu_append(menu, item.get());
    return !kept.empty();
}

gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*, gpointer)
{
    return !KeepEditingItems(menu);
}

}  // namespace

void LimitPageContextMenu(WebKitWebView* view)
{
    g_signal_connect(view, "context-menu", G_CALLBACK(OnContextMenu), nullptr);
}

}  // namespace mivra
