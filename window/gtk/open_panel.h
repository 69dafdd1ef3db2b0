#pragma once
// The open panel, modal to the window. GTK has no chooser that picks files
// and folders in one dialog, so this one is built on
// GtkFileChooserDialog: with files and folders allowed, the confirming button
// takes a selected folder as it is, "Choisir ce dossier" takes the folder
// shown, and a ".fcpxmld" folder is taken whole when it is activated.

#include <gtk/gtk.h>

#include "toolkit.h"

namespace mivra {

// done runs exactly once, after the dialog is gone, with the chosen path or
// nothing.
void ShowOpenPanel(GtkWindow* parent, const OpenPanelDescription& description, PanelCompletion done);

// A folder that a project panel takes as one item instead of entering it.
bool IsPackageItem(GFile* file);

}  // namespace mivra
