#pragma once
// The page's own dialogs, translated for the Controller: file inputs and
// script dialogs (alert, confirm, prompt, before-unload) go to it with their
// answers; the page cannot open new windows.

#include <functional>
#include <optional>
#include <string>

#include <webkit2/webkit2.h>

#include "toolkit.h"

namespace mivra {

struct PageDialogEvents {
    // Each answer must be called exactly once.
    std::function<void(std::function<void(std::optional<std::string>)> answer)> fileInput;
    std::function<void(PageDialog dialog, const std::string& message, std::function<void(bool confirmed)> answered)>
        scriptDialog;
};

void AttachPageDialogs(WebKitWebView* view, PageDialogEvents events);

}  // namespace mivra
