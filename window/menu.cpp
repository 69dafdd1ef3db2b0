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
        {"Presentation", "Plein ecran", MenuAction::ToggleFullScreen, 'f', false, false, Key::F11},
    };
    return table;
}

const std::vector<ShortcutWithoutItem>& ShortcutsWithoutItems()
{
    static const std::vector<ShortcutWithoutItem> table = {
        {Key::Plus, MenuAction::ZoomIn},          {Key::Equal, MenuAction::ZoomIn},
        {Key::KeypadPlus, MenuAction::ZoomIn},    {Key::Minus, MenuAction::ZoomOut},
        {Key::KeypadMinus, MenuAction::ZoomOut},  {Key::Zero, MenuAction::ZoomReset},
        {Key::KeypadZero, MenuAction::ZoomReset},
    };
    return table;
}

}  // namespace mivra
