#pragma once
// The web view that shows the interface: its "native" script message channel
// and the navigation events the Controller follows.

#include <functional>
#include <string>

#include <webkit2/webkit2.h>

#include "bridge.h"
#include "toolkit.h"

namespace mivra {

struct WebViewEvents {
    // A message posted on "native" by the top frame, with its document's address.
    std::function<void(const BridgeMessage& message, const std::string& senderUri)> message;
    // A navigation about to start, `byTheUser` when the user asked for it;
    // false stops it.
    std::function<bool(const std::string& uri, bool byTheUser)> navigationRequested;
    // A navigation that failed, with the address it was to load.
    std::function<void(const std::string& uri)> navigationFailed;
    // A load that finished without failing.
    std::function<void(const std::string& uri)> finishedLoading;
    // The page's process died, and why; the view shows nothing alive.
    std::function<void(PageProcessEnd why)> processEnded;
};

// A new web view showing the background until the first page commits, with
// hardware acceleration or without; it keeps the events for its lifetime.
WebKitWebView* NewWebView(const Colour& background, WebViewEvents events, bool accelerated);

// A view being replaced reports no more events.
void SilenceWebView(WebKitWebView* web);

}  // namespace mivra
