// The GTK adapters' own rules, run without a display: script messages, the
// menu model, the page's context menu, the panels' package rule, the kept
// size and blocks run later or in the background.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include "app_menu.h"
#include "bridge_channel.h"
#include "gtk_toolkit.h"
#include "kept_size.h"
#include "open_panel.h"
#include "page_context_menu.h"

namespace mivra {
namespace {

using namespace std::chrono_literals;
// "{key=value ...} [keys of other values]", or "-" for no object, "-!" for one that carries keys anyway.
std::string Shown(const BridgeMessage& message)
{
    if (!message.isObject)
        return message.strings.empty() && message.nonStrings.empty() ? "-" : "-!";
    std::string text = "{";
    for (const auto& [key, value] : message.strings)
        text += " " + key + "=" + value;
    text += " } [";
    for (const std::string& key : message.nonStrings)
        text += " " + key;
    return text + " ]";
}

TEST(ScriptMessageTest, StringKeysAreReadOtherValuesAndStringsHoldingANulAreSetApart)
{
    g_autoptr(JSCContext) context = jsc_context_new();
    const auto read = [&](const char* script) {
        g_autoptr(JSCValue) body = jsc_context_evaluate(context, script, -1);
        return MessageFromValue(body);
    };
    const std::pair<const char*, std::string> objects[] = {
        {"({action: 'folder', path: '/tmp/a \"b\"', pour: 'travail', url: 'https://x.fr', other: 'z'})",
         "{ action=folder path=/tmp/a \"b\" pour=travail url=https://x.fr } [ ]"},
        {"({action: 'grant', path: 3, pour: null, url: ['https://x.fr']})", "{ action=grant } [ path pour url ]"},
        {"({action: 'autorises\\u0000x', url: 'https://x.fr/\\u0000evil'})", "{ } [ action url ]"},
        {"({})", "{ } [ ]"}};
    for (const auto& [body, shown] : objects)
        EXPECT_EQ(Shown(read(body)), shown) << body;
    for (const char* body :
         {"'pick'", "42", "null", "undefined", "true", "(() => { const a = ['x']; a.action = 'pick'; return a; })()"})
        EXPECT_EQ(Shown(read(body)), "-") << body;
    // Relayed from the page's frames: the message and its sender.
    const auto relayed = [&](const char* posted) {
        g_autoptr(JSCValue) value = jsc_context_evaluate(context, posted, -1);
        const ChannelMessage message = ReadChannelMessage(value);
        return message.sender + " " + Shown(message.message);
    };
    EXPECT_EQ(relayed("({from: 'http://127.0.0.1:8790/a', message: {action: 'grant', path: null}})"),
              "http://127.0.0.1:8790/a { action=grant } [ path ]");
    for (const char* other : {"({action: 'pick'})", "({from: 3, message: 'pick'})", "'pick'", "null"})
        EXPECT_EQ(relayed(other), " -") << other;
}

// The actions of a menu model's items, depth first.
void CollectActions(GMenuModel* model, std::vector<std::string>& actions)
{
    for (int i = 0; i < g_menu_model_get_n_items(model); ++i) {
        g_autofree char* action = nullptr;
        if (g_menu_model_get_item_attribute(model, i, G_MENU_ATTRIBUTE_ACTION, "s", &action))
            actions.emplace_back(action);
        for (const char* kind : {G_MENU_LINK_SUBMENU, G_MENU_LINK_SECTION}) {
            g_autoptr(GMenuModel) link = g_menu_model_get_item_link(model, i, kind);
            if (link)
                CollectActions(link, actions);
        }
    }
}

TEST(MenuModelTest, EachItemInTableOrderActivatesItsOwnAction)
{
    g_autoptr(GMenu) model = NewMenuModel(MenuTable(), "Mivra");
    std::vector<std::string> actions, expected;
    CollectActions(G_MENU_MODEL(model), actions);
    for (const MenuItem& item : MenuTable())
        expected.push_back(ActionName(item.action));
    EXPECT_EQ(actions, expected);
}

// WebKit's menu for a text field on a page with a history: the browser's items
// go, the editing items stay in order with a separator only between two of them.
TEST(PageContextMenuTest, OnlyTheEditingItemsStay)
{
    constexpr auto kSeparator = WEBKIT_CONTEXT_MENU_ACTION_NO_ACTION;
    using Actions = std::vector<WebKitContextMenuAction>;
    const auto kept = [&](const Actions& actions) {
        g_autoptr(WebKitContextMenu) menu = webkit_context_menu_new();
        for (const auto action : actions)
            webkit_context_menu_append(menu, action == kSeparator
                                                 ? webkit_context_menu_item_new_separator()
                                                 : webkit_context_menu_item_new_from_stock_action(action));
        const bool shown = KeepEditingItems(menu);
        Actions left;
        for (GList* item = webkit_context_menu_get_items(menu); item; item = item->next)
            left.push_back(webkit_context_menu_item_get_stock_action(WEBKIT_CONTEXT_MENU_ITEM(item->data)));
        EXPECT_EQ(shown, !left.empty());
        return left;
    };
    EXPECT_EQ(kept({WEBKIT_CONTEXT_MENU_ACTION_GO_BACK, WEBKIT_CONTEXT_MENU_ACTION_RELOAD, kSeparator,
                    WEBKIT_CONTEXT_MENU_ACTION_CUT, WEBKIT_CONTEXT_MENU_ACTION_COPY, kSeparator, kSeparator,
                    WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL,
                    kSeparator, WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT}),
              (Actions{WEBKIT_CONTEXT_MENU_ACTION_CUT, WEBKIT_CONTEXT_MENU_ACTION_COPY, kSeparator,
                       WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL}));
    EXPECT_EQ(kept({WEBKIT_CONTEXT_MENU_ACTION_GO_BACK, WEBKIT_CONTEXT_MENU_ACTION_STOP, kSeparator,
                    WEBKIT_CONTEXT_MENU_ACTION_RELOAD}),
              Actions{});
}

class TemporaryFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_autofree char* made = g_dir_make_tmp("mivra-gtk-test-XXXXXX", nullptr);
        ASSERT_NE(made, nullptr);
        root_ = made;
    }
    void TearDown() override
    {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    std::string root_;
};

using OpenPanelTest = TemporaryFolder;

TEST_F(OpenPanelTest, OnlyFoldersNamedAsProjectsAreItems)
{
    g_mkdir((root_ + "/Projet A.FCPXMLD").c_str(), 0700);
    g_mkdir((root_ + "/plain").c_str(), 0700);
    g_file_set_contents((root_ + "/file.fcpxmld").c_str(), "x", -1, nullptr);
    for (const auto& [name, item] : std::vector<std::pair<std::string, bool>>{
             {"/Projet A.FCPXMLD", true}, {"/plain", false}, {"/file.fcpxmld", false}, {"/missing.fcpxmld", false}}) {
        g_autoptr(GFile) file = g_file_new_for_path((root_ + name).c_str());
        EXPECT_EQ(IsPackageItem(file), item) << name;
    }
}

using KeptSizeTest = TemporaryFolder;

TEST_F(KeptSizeTest, ASizeComesBackPerGroupAndDamagedFilesGiveNone)
{
    const std::string file = root_ + "/mivra/window.ini";
    const auto kept = [&](const char* group) {
        const auto size = LoadKeptSize(file, group);
        return size ? size->width * 10000 + size->height : 0;
    };
    EXPECT_EQ(kept("MivraMain"), 0);
    KeepSize(file, "Other", {950, 700});
    KeepSize(file, "MivraMain", {1000, 640});
    KeepSize(file, "MivraMain", {1280, 800});
    EXPECT_EQ(kept("MivraMain"), 12800800);
    EXPECT_EQ(kept("Other"), 9500700);
    EXPECT_EQ(kept("Absent"), 0);
    for (const char* text : {"[MivraMain]\nwidth=wide\nheight=700\n", "[MivraMain]\nwidth=900\n",
                             "[MivraMain]\nwidth=0\nheight=700\n", "[MivraMain]\nwidth=-900\nheight=700\n",
                             "[MivraMain]\nwidth=900\nheight=99999999\n", "not a key file \x01"}) {
        std::ofstream(file) << text;
        EXPECT_EQ(kept("MivraMain"), 0) << text;
    }
    g_autofree char* expected = g_build_filename(g_get_user_state_dir(), "mivra", "window.ini", nullptr);
    EXPECT_EQ(KeptSizeFile(), expected);
}

TEST(GtkToolkitBlocksTest, ALaterBlockRunsOnceAndIsReleasedBackgroundWorkRunsOffTheMainThreadItsEndOnIt)
{
    GtkToolkit toolkit(nullptr);
    GThread* const main = g_thread_self();
    GThread* worker = nullptr;
    GThread* finisher = nullptr;
    bool waited = false;
    auto captured = std::make_shared<int>(0);
    toolkit.runLater(40ms, [captured] { ++*captured; });
    toolkit.runLater(200ms, [&] { waited = true; });
    toolkit.runInBackground([&] { worker = g_thread_self(); }, [&] { finisher = g_thread_self(); });
    while (!waited || !finisher)
        g_main_context_iteration(nullptr, TRUE);
    EXPECT_EQ(*captured, 1);
    EXPECT_EQ(captured.use_count(), 1);  // the only check of a leaked block: leak detection is off in CI
    EXPECT_NE(worker, main);
    EXPECT_EQ(finisher, main);
}

}  // namespace
}  // namespace mivra
