#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handle.h"
#include "menu.h"

namespace mivra {
namespace {

TEST(Handle, DoubleClickZoomsUnlessTheDesktopSaysMinimize)
{
    EXPECT_EQ(HandleActionFor(2, std::nullopt), HandleAction::Zoom);
    EXPECT_EQ(HandleActionFor(2, "toggle-maximize"), HandleAction::Zoom);
    EXPECT_EQ(HandleActionFor(2, "Minimize"), HandleAction::Zoom);
    EXPECT_EQ(HandleActionFor(2, "minimize"), HandleAction::Minimise);
}

TEST(Handle, EveryOtherClickCountDrags)
{
    for (int clicks : {0, 1, 3, 4})
        EXPECT_EQ(HandleActionFor(clicks, "minimize"), HandleAction::Drag) << clicks;
}

TEST(Menu, FourMenusElevenEntriesInOrder)
{
    struct Expected {
        std::string menu;
        std::string item;
        MenuAction action;
        char key;
        bool separatorBefore;
    };
    const std::vector<Expected> expected = {
        {"", "Masquer Mivra", MenuAction::Hide, 'h', false},
        {"", "Quitter Mivra", MenuAction::Quit, 'q', true},
        {"Fichier", "Ouvrir un projet...", MenuAction::OpenDialog, 'o', false},
        {"Edition", "Annuler", MenuAction::Undo, 'z', false},
        {"Edition", "Couper", MenuAction::Cut, 'x', false},
        {"Edition", "Copier", MenuAction::Copy, 'c', false},
        {"Edition", "Coller", MenuAction::Paste, 'v', false},
        {"Edition", "Tout selectionner", MenuAction::SelectAll, 'a', false},
        {"Presentation", "Actualiser", MenuAction::Refresh, 'r', false},
        {"Presentation", "Plein ecran", MenuAction::ToggleFullScreen, 'f', false},
    };
    const std::vector<MenuItem>& table = MenuTable();
    ASSERT_EQ(table.size(), expected.size());  // ten items and one separator
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(expected[i].item);
        EXPECT_EQ(table[i].menuTitle, expected[i].menu);
        EXPECT_EQ(table[i].itemTitle, expected[i].item);
        EXPECT_EQ(table[i].action, expected[i].action);
        EXPECT_EQ(table[i].key, expected[i].key);
        EXPECT_EQ(table[i].separatorBefore, expected[i].separatorBefore);
    }
}

}  // namespace
}  // namespace mivra
