#pragma once
// The page's own dialogs, translated for the Controller: file inputs and
// script dialogs (alert, confirm, prompt, before-unload) go to it with their
// answers; the page cannot open new windows.

#include <webkit2/webkit2.h>

#include "toolkit_events.h"

namespace mivra {

void AttachPageDialogs(WebKitWebView* view, PageDialogEvents events);

}  // namespace mivra
