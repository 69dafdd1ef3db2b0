#pragma once
// The save panel: a file chooser in save mode, modal to the window.

#include <gtk/gtk.h>

#include "toolkit.h"

namespace mivra {

// done runs once, with the path typed or picked, or nothing on cancel. The
// panel asks nothing before replacing a file: the caller does.
void ShowSavePanel(GtkWindow* parent, const SavePanelDescription& description, PanelCompletion done);

}  // namespace mivra
