#pragma once
// File drops on the web view: GTK's drag events, read into Drags, drive the
// portable DropWebView, so WebKit's own drop handling never sees a file drop.

#include <memory>

#include <webkit/webkit.h>

#include "drop.h"

namespace mivra {

void AttachDropTarget(WebKitWebView* view, std::weak_ptr<DropTarget> target);

}  // namespace mivra
