#pragma once
// File drops on the web view: GTK's drag signals, read into Drags, drive the
// portable DropWebView, so WebKit's own drop handling never sees a file drop.

#include <webkit2/webkit2.h>

#include "drop.h"

namespace mivra {

// The page hears of the hover through `sendScript`, the evaluator of every
// script sent to it.
void AttachDropTarget(WebKitWebView* view, ScriptSender sendScript, DropReceiver receive);

}  // namespace mivra
