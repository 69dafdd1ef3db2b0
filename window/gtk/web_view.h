#pragma once
// The web view that shows the interface: its "native" script message channel
// and the navigation events the Controller follows.

#include <webkit2/webkit2.h>

#include "colour.h"
#include "toolkit_events.h"

namespace mivra {

// A new web view showing the background until the first page commits, with
// hardware acceleration or without; it keeps the events for its lifetime.
WebKitWebView* NewWebView(const Colour& background, WebViewEvents events, bool accelerated);

// A view being replaced reports no more events.
void SilenceWebView(WebKitWebView* web);

}  // namespace mivra
