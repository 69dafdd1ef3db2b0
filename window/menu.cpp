#include "menu.h"

namespace mivra {

const std::vector<MenuItem>& MenuTable()
{
    static const std::vector<MenuItem> table = {
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
    return table;
}

}  // namespace mivra
