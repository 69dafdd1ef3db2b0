#include "menu.h"

namespace mivra {

const std::vector<MenuItem>& MenuTable()
{
    static const std::vector<MenuItem> table = {
        {"", "Masquer Mivra", MenuAction::Hide, 'h', false, false},
        {"", "Quitter Mivra", MenuAction::Quit, 'q', true, true},
        {"Fichier", "Ouvrir un projet...", MenuAction::OpenDialog, 'o', false, true},
        {"Edition", "Annuler", MenuAction::Undo, 'z', false, false},
        {"Edition", "Couper", MenuAction::Cut, 'x', false, false},
        {"Edition", "Copier", MenuAction::Copy, 'c', false, false},
        {"Edition", "Coller", MenuAction::Paste, 'v', false, false},
        {"Edition", "Tout selectionner", MenuAction::SelectAll, 'a', false, false},
        {"Presentation", "Actualiser", MenuAction::Refresh, 'r', false, true},
        {"Presentation", "Plein ecran", MenuAction::ToggleFullScreen, 'f', false, false, "F11"},
    };
    return table;
}

const std::vector<ShortcutWithoutItem>& ShortcutsWithoutItems()
{
    static const std::vector<ShortcutWithoutItem> table = {
        {"plus", MenuAction::ZoomIn},    {"equal", MenuAction::ZoomIn},        {"KP_Add", MenuAction::ZoomIn},
        {"minus", MenuAction::ZoomOut},  {"KP_Subtract", MenuAction::ZoomOut}, {"0", MenuAction::ZoomReset},
        {"KP_0", MenuAction::ZoomReset},
    };
    return table;
}

}  // namespace mivra
