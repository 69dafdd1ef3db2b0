#pragma once
// The page's own dialogs; each answer is called exactly once. A file input
// gets one item or nothing. Of the script dialogs only an alert is shown,
// answered once the user closes it; a confirm is declined and a prompt
// cancelled (the page's script gets null); leaving the page is always
// allowed, so reloads and quitting are never held up by the page.

#include <functional>
#include <optional>
#include <string>

#include "toolkit.h"
#include "toolkit_events.h"

namespace mivra {

void RunFileInput(Toolkit& toolkit, std::function<void(std::optional<std::string>)> answer);
void RunPageDialog(Toolkit& toolkit, PageDialog dialog, const std::string& message,
                   std::function<void(bool confirmed)> answered);

}  // namespace mivra
