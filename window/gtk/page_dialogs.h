#pragma once
// The page's own dialogs: file inputs and alerts go to the Controller; confirm,
// prompt and before-unload get their default answer without a dialog; the page
// cannot open new windows.

#include <memory>

#include <webkit/webkit.h>

#include "controller.h"

namespace mivra {

void AttachPageDialogs(WebKitWebView* view, std::weak_ptr<Controller> controller);

}  // namespace mivra
