#pragma once
// The web view that shows the interface: its "native" script message channel
// and the navigation events the Controller follows.

#include <functional>
#include <string>

#include <webkit/webkit.h>

#include "bridge.h"
#include "toolkit.h"

namespace mivra {

struct WebViewEvents {
    // A message posted on "native", with the address of the page shown.
    std::function<void(const BridgeMessage& message, const std::string& pageUri)> message;
    std::function<void()> navigationFailed;
    // A load that finished without failing.
    std::function<void(const std::string& uri)> finishedLoading;
};

// A new web view with the background behind the page; it keeps the events
// for its lifetime.
WebKitWebView* NewWebView(const Colour& background, WebViewEvents events);

}  // namespace mivra
