// Translations of the GTK adapters that need no display: script messages,
// the centring rule, the menu model and the package rule of the panels.

#include <set>
#include <string>
#include <vector>

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <jsc/jsc.h>

#include "app_menu.h"
#include "open_panel.h"
#include "placement.h"
#include "script_message.h"

namespace mivra {
namespace {

BridgeMessage MessageOf(const char* script)
{
    g_autoptr(JSCContext) context = jsc_context_new();
    g_autoptr(JSCValue) body = jsc_context_evaluate(context, script, -1);
    return MessageFromValue(body);
}

TEST(ScriptMessageTest, StringKeysAreRead)
{
    const BridgeMessage message =
        MessageOf("({action: 'folder', path: '/tmp/a \"b\"', pour: 'travail', url: 'https://x.fr', other: 'z'})");
    EXPECT_TRUE(message.isObject);
    EXPECT_EQ(message.strings.size(), 4u);
    EXPECT_EQ(message.strings.at("action"), "folder");
    EXPECT_EQ(message.strings.at("path"), "/tmp/a \"b\"");
    EXPECT_EQ(message.strings.at("pour"), "travail");
    EXPECT_EQ(message.strings.at("url"), "https://x.fr");
    EXPECT_TRUE(message.nonStrings.empty());
}

TEST(ScriptMessageTest, StringsHoldingANulAreNotStrings)
{
    const BridgeMessage message = MessageOf("({action: 'autorises\\u0000x', url: 'https://x.fr/\\u0000evil'})");
    EXPECT_TRUE(message.strings.empty());
    EXPECT_EQ(message.nonStrings, (std::set<std::string>{"action", "url"}));
}

TEST(ScriptMessageTest, KeysWithOtherValuesAreSetApart)
{
    const BridgeMessage message = MessageOf("({action: 'grant', path: 3, pour: null, url: ['https://x.fr']})");
    EXPECT_TRUE(message.isObject);
    EXPECT_EQ(message.strings.size(), 1u);
    EXPECT_EQ(message.nonStrings, (std::set<std::string>{"path", "pour", "url"}));
}

TEST(ScriptMessageTest, OnlyPlainObjectsAreObjects)
{
    for (const char* body : {"'pick'", "42", "null", "undefined", "true", "(() => { const a = ['x']; a.action = 'pick'; return a; })()"}) {
        const BridgeMessage message = MessageOf(body);
        EXPECT_FALSE(message.isObject) << body;
        EXPECT_TRUE(message.strings.empty()) << body;
    }
    EXPECT_TRUE(MessageOf("({})").isObject);
}

TEST(PlacementTest, CentresOnTheWholeScreen)
{
    const Point origin = CentredOrigin(Rectangle{0, 0, 1920, 1080}, 1080, 740);
    EXPECT_EQ(origin.x, 420);
    EXPECT_EQ(origin.y, 170);
    const Point beside = CentredOrigin(Rectangle{1920, 0, 1280, 1024}, 1080, 740);
    EXPECT_EQ(beside.x, 2020);
    EXPECT_EQ(beside.y, 142);
}

TEST(PlacementTest, WithoutAScreenCentresOnTheOrigin)
{
    const Point origin = CentredOrigin(std::nullopt, 1081, 740);
    EXPECT_EQ(origin.x, -541);
    EXPECT_EQ(origin.y, -370);
}

struct MenuEntry {
    std::string label;
    std::string action;
};

std::string Attribute(GMenuModel* model, int item, const char* name)
{
    g_autofree char* value = nullptr;
    return g_menu_model_get_item_attribute(model, item, name, "s", &value) ? value : "";
}

// Each submenu as its label and its sections of items.
std::vector<std::pair<std::string, std::vector<std::vector<MenuEntry>>>> Read(GMenuModel* model)
{
    std::vector<std::pair<std::string, std::vector<std::vector<MenuEntry>>>> menus;
    for (int m = 0; m < g_menu_model_get_n_items(model); ++m) {
        g_autoptr(GMenuModel) submenu = g_menu_model_get_item_link(model, m, G_MENU_LINK_SUBMENU);
        auto& menu = menus.emplace_back(Attribute(model, m, G_MENU_ATTRIBUTE_LABEL), std::vector<std::vector<MenuEntry>>{});
        for (int s = 0; submenu && s < g_menu_model_get_n_items(submenu); ++s) {
            g_autoptr(GMenuModel) section = g_menu_model_get_item_link(submenu, s, G_MENU_LINK_SECTION);
            auto& entries = menu.second.emplace_back();
            for (int i = 0; section && i < g_menu_model_get_n_items(section); ++i)
                entries.push_back({Attribute(section, i, G_MENU_ATTRIBUTE_LABEL),
                                   Attribute(section, i, G_MENU_ATTRIBUTE_ACTION)});
        }
    }
    return menus;
}

TEST(MenuModelTest, FourMenusInTableOrderWithTheSeparatorAsASection)
{
    g_autoptr(GMenu) model = NewMenuModel(MenuTable(), "Mivra");
    const auto menus = Read(G_MENU_MODEL(model));
    ASSERT_EQ(menus.size(), 4u);
    EXPECT_EQ(menus[0].first, "Mivra");
    ASSERT_EQ(menus[0].second.size(), 2u);
    EXPECT_EQ(menus[0].second[0][0].label, "Masquer Mivra");
    EXPECT_EQ(menus[0].second[1][0].label, "Quitter Mivra");
    EXPECT_EQ(menus[0].second[1][0].action, "app.quit");
    EXPECT_EQ(menus[1].first, "Fichier");
    EXPECT_EQ(menus[1].second[0][0].label, "Ouvrir un projet...");
    EXPECT_EQ(menus[1].second[0][0].action, ActionName(MenuAction::OpenDialog));
    EXPECT_EQ(menus[2].first, "Edition");
    ASSERT_EQ(menus[2].second.size(), 1u);
    EXPECT_EQ(menus[2].second[0].size(), 5u);
    EXPECT_EQ(menus[2].second[0][4].label, "Tout selectionner");
    EXPECT_EQ(menus[3].first, "Presentation");
    EXPECT_EQ(menus[3].second[0][1].label, "Plein ecran");
}

TEST(MenuModelTest, EveryActionHasItsOwnNameAndCtrlShortcut)
{
    std::set<std::string> names;
    for (const MenuItem& item : MenuTable())
        names.insert(ActionName(item.action));
    EXPECT_EQ(names.size(), MenuTable().size());
    EXPECT_EQ(Accelerator('o'), "<Control>o");
}

TEST(OpenPanelTest, OnlyFoldersNamedAsProjectsAreItems)
{
    g_autofree char* root = g_dir_make_tmp("mivra-panel-XXXXXX", nullptr);
    const std::string bundle = std::string(root) + "/Projet A.FCPXMLD";
    const std::string plain = std::string(root) + "/plain";
    const std::string file = std::string(root) + "/file.fcpxmld";
    g_mkdir(bundle.c_str(), 0700);
    g_mkdir(plain.c_str(), 0700);
    g_file_set_contents(file.c_str(), "x", -1, nullptr);

    const auto item = [](const std::string& path) {
        g_autoptr(GFile) gfile = g_file_new_for_path(path.c_str());
        return IsPackageItem(gfile);
    };
    EXPECT_TRUE(item(bundle));
    EXPECT_FALSE(item(plain));
    EXPECT_FALSE(item(file));
    EXPECT_FALSE(item(std::string(root) + "/missing.fcpxmld"));

    g_remove(file.c_str());
    g_rmdir(plain.c_str());
    g_rmdir(bundle.c_str());
    g_rmdir(root);
}

}  // namespace
}  // namespace mivra
