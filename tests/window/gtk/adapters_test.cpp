// The GTK adapters' own rules, run without a display: script messages, the
// centring, the menu model, the panels' package rule, the kept size and
// deferred blocks on the main loop.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
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
#include "placement.h"

namespace mivra {
namespace {

using namespace std::chrono_literals;
using Keys = std::set<std::string>;

BridgeMessage MessageOf(const char* script)
{
    g_autoptr(JSCContext) context = jsc_context_new();
    g_autoptr(JSCValue) body = jsc_context_evaluate(context, script, -1);
    return MessageFromValue(body);
}

TEST(ScriptMessageTest, StringKeysAreReadOtherValuesAndStringsHoldingANulAreSetApart)
{
    const BridgeMessage message =
        MessageOf("({action: 'folder', path: '/tmp/a \"b\"', pour: 'travail', url: 'https://x.fr', other: 'z'})");
    EXPECT_TRUE(message.isObject);
    EXPECT_EQ(message.strings,
              (std::map<std::string, std::string>{
                  {"action", "folder"}, {"path", "/tmp/a \"b\""}, {"pour", "travail"}, {"url", "https://x.fr"}}));
    EXPECT_TRUE(message.nonStrings.empty());
    const BridgeMessage other = MessageOf("({action: 'grant', path: 3, pour: null, url: ['https://x.fr']})");
    EXPECT_EQ(other.strings.size(), 1u);
    EXPECT_EQ(other.nonStrings, (Keys{"path", "pour", "url"}));
    const BridgeMessage nul = MessageOf("({action: 'autorises\\u0000x', url: 'https://x.fr/\\u0000evil'})");
    EXPECT_TRUE(nul.strings.empty());
    EXPECT_EQ(nul.nonStrings, (Keys{"action", "url"}));
    for (const char* body :
         {"'pick'", "42", "null", "undefined", "true", "(() => { const a = ['x']; a.action = 'pick'; return a; })()"}) {
        EXPECT_FALSE(MessageOf(body).isObject) << body;
        EXPECT_TRUE(MessageOf(body).strings.empty()) << body;
    }
    EXPECT_TRUE(MessageOf("({})").isObject);
}

TEST(ChannelMessageTest, TheRelayedMessageAndItsSenderAreReadAndAnythingElseIsNoMessage)
{
    g_autoptr(JSCContext) context = jsc_context_new();
    const auto read = [&](const char* script) {
        g_autoptr(JSCValue) posted = jsc_context_evaluate(context, script, -1);
        return ReadChannelMessage(posted);
    };
    const ChannelMessage relayed = read("({from: 'http://127.0.0.1:8790/a', message: {action: 'grant', path: null}})");
    EXPECT_EQ(relayed.sender, "http://127.0.0.1:8790/a");
    EXPECT_EQ(relayed.message.strings, (std::map<std::string, std::string>{{"action", "grant"}}));
    EXPECT_EQ(relayed.message.nonStrings, (Keys{"path"}));
    for (const char* other : {"({action: 'pick'})", "({from: 3, message: 'pick'})", "'pick'", "null"}) {
        const ChannelMessage refused = read(other);
        EXPECT_FALSE(refused.message.isObject) << other;
        EXPECT_EQ(refused.sender, "") << other;
    }
}

std::string Attribute(GMenuModel* model, int item, const char* name = G_MENU_ATTRIBUTE_LABEL)
{
    g_autofree char* value = nullptr;
    g_menu_model_get_item_attribute(model, item, name, "s", &value);
    return value ? value : "";
}

TEST(MenuModelTest, FourMenusInTableOrderWithTheSeparatorAsASectionAndOwnActions)
{
    g_autoptr(GMenu) model = NewMenuModel(MenuTable(), "Mivra");
    GMenuModel* bar = G_MENU_MODEL(model);
    std::string read;  // "Menu: item item / item; ", sections apart
    std::size_t entry = 0;
    for (int m = 0; m < g_menu_model_get_n_items(bar); ++m) {
        g_autoptr(GMenuModel) submenu = g_menu_model_get_item_link(bar, m, G_MENU_LINK_SUBMENU);
        read += Attribute(bar, m) + ":";
        for (int s = 0; submenu && s < g_menu_model_get_n_items(submenu); ++s) {
            g_autoptr(GMenuModel) section = g_menu_model_get_item_link(submenu, s, G_MENU_LINK_SECTION);
            read += s ? " /" : "";
            for (int i = 0; section && i < g_menu_model_get_n_items(section); ++i, ++entry) {
                read += " " + Attribute(section, i);
                EXPECT_EQ(Attribute(section, i, G_MENU_ATTRIBUTE_ACTION), ActionName(MenuTable().at(entry).action));
            }
        }
        read += "; ";
    }
    EXPECT_EQ(read, "Mivra: Masquer Mivra / Quitter Mivra; Fichier: Ouvrir un projet...; Edition: Annuler Couper "
                    "Copier Coller Tout selectionner; Presentation: Actualiser Plein ecran; ");
}

// WebKit's menu for a text field on a page with a history: the browser's items
// go, the editing items stay in order with a separator only between two of them.
TEST(PageContextMenuTest, OnlyTheEditingItemsStay)
{
    constexpr auto kSeparator = WEBKIT_CONTEXT_MENU_ACTION_NO_ACTION;
    const auto menuOf = [&](std::initializer_list<WebKitContextMenuAction> actions) {
        WebKitContextMenu* menu = webkit_context_menu_new();
        for (const auto action : actions)
            webkit_context_menu_append(menu, action == kSeparator
                                                 ? webkit_context_menu_item_new_separator()
                                                 : webkit_context_menu_item_new_from_stock_action(action));
        return menu;
    };
    g_autoptr(WebKitContextMenu) field =
        menuOf({WEBKIT_CONTEXT_MENU_ACTION_GO_BACK, WEBKIT_CONTEXT_MENU_ACTION_RELOAD, kSeparator,
                WEBKIT_CONTEXT_MENU_ACTION_CUT, WEBKIT_CONTEXT_MENU_ACTION_COPY, kSeparator, kSeparator,
                WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW, WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL, kSeparator,
                WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT});
    EXPECT_TRUE(KeepEditingItems(field));
    std::vector<WebKitContextMenuAction> kept;
    for (GList* item = webkit_context_menu_get_items(field); item; item = item->next)
        kept.push_back(webkit_context_menu_item_get_stock_action(WEBKIT_CONTEXT_MENU_ITEM(item->data)));
    EXPECT_EQ(kept, (std::vector{WEBKIT_CONTEXT_MENU_ACTION_CUT, WEBKIT_CONTEXT_MENU_ACTION_COPY, kSeparator,
                                 WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL}));
    g_autoptr(WebKitContextMenu) page = menuOf({WEBKIT_CONTEXT_MENU_ACTION_GO_BACK, WEBKIT_CONTEXT_MENU_ACTION_STOP,
                                                kSeparator, WEBKIT_CONTEXT_MENU_ACTION_RELOAD});
    EXPECT_FALSE(KeepEditingItems(page));
    EXPECT_EQ(webkit_context_menu_get_n_items(page), 0u);
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

TEST(RunInBackgroundTest, WorkRunsOffTheMainThreadAndItsCompletionOnTheMainLoop)
{
    GtkToolkit toolkit(nullptr);
    GThread* main = g_thread_self();
    GThread* worker = nullptr;
    bool doneOnMain = false;
    g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
    toolkit.runInBackground([&] { worker = g_thread_self(); },
                            [&] { doneOnMain = g_thread_self() == main && worker != nullptr, g_main_loop_quit(loop); });
    g_main_loop_run(loop);
    EXPECT_NE(worker, main);
    EXPECT_TRUE(doneOnMain);
}

TEST(RunLaterTest, BlocksRunOnceInDueOrderAndAreReleased)
{
    GtkToolkit toolkit(nullptr);
    std::vector<int> ran;
    auto captured = std::make_shared<int>(0);
    const gint64 start = g_get_monotonic_time();
    gint64 firstRanAt = 0;
    toolkit.runLater(120ms, [&ran, captured] { ran.push_back(2); });
    toolkit.runLater(40ms, [&] { ran.push_back(1), firstRanAt = g_get_monotonic_time(); });
    EXPECT_TRUE(ran.empty());
    g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add_full(
        G_PRIORITY_LOW, 300, [](gpointer l) { return g_main_loop_quit(static_cast<GMainLoop*>(l)), G_SOURCE_REMOVE; },
        loop, nullptr);
    g_main_loop_run(loop);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_GE(firstRanAt - start, 40'000);
    EXPECT_EQ(captured.use_count(), 1);
}

}  // namespace
}  // namespace mivra
